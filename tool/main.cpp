// The command-line tool `tarvex`: argument parsing and dispatch to its commands.
#include <CLI/CLI.hpp>
#include <string>

#include "tool/attach_command.h"
#include "tool/packer/commands.h"

#ifdef _WIN32
#include <cwchar>
#include <vector>

#include "tool/packer/entry_names.h"
#endif

// argv holds UTF-8 text on both sides.
static int tarvex_main(int argc, char** argv) {
  CLI::App app{"Tarvex turns a Windows application folder into one executable built on the Tarvex Launcher.", "tarvex"};
  app.set_version_flag("--version", "tarvex " TARVEX_TOOL_VERSION);
  app.require_subcommand(1);
  // CLI11 would take "/path" for an option on Windows; Wine hands programs such paths.
  app.allow_windows_style_options(false);
  app.footer("Exit codes: 0 success, 1 usage error, 2 failure (one line naming the file and the reason).");

  tarvex::packer::PackOptions pack_options;
  bool no_check = false;
  CLI::App* pack =
      app.add_subcommand("pack", "Pack APP_DIR into a copy of the Launcher: one executable that runs the application.");
  pack->add_option("APP_DIR", pack_options.app_dir, "The application folder: every regular file below it is packed.")
      ->required();
  pack->add_option("--main", pack_options.main,
                   "The DLL, relative to APP_DIR, that exports run_code; it is stored first and started.")
      ->required();
  pack->add_option("-o,--output", pack_options.output,
                   "The executable to write. Default: APP_DIR's name + \".exe\" in the current folder.");
  pack->add_option("--launcher", pack_options.launcher,
                   "The Launcher to copy. Default: tarvex-launcher.exe in the folder of this tarvex.");
  pack->add_option("--level", pack_options.level, "Zstandard compression level, 1 to 22. Default: 19.")
      ->check(CLI::Range(1, 22));
  pack->add_option(
          "--threads", pack_options.threads,
          "Compression threads, 1 to 256. Default: one per processor core. The bytes written do not depend on it.")
      ->check(CLI::Range(1, 256));
  pack->add_flag("--no-check", no_check,
                 "Leave the content checksum out of the frame; the Launcher then cannot verify what it extracts.");
  pack->add_flag("--console", pack_options.console,
                 "Make a console program: cmd and PowerShell wait for it, it shares their console, and its exit code "
                 "reaches %ERRORLEVEL% and $LASTEXITCODE. Default: a GUI program, which gets no console of its own.");
  pack->add_option("--icon", pack_options.icon,
                   "An .ico file whose images, byte for byte, replace the Launcher's icon (PNG images included).");
  pack->add_flag("--cache", pack_options.cache,
                 "Extract once into a persistent folder of the user's and reuse it at later starts (see "
                 "--cache-dir). Default: extract into a temporary folder at every start and remove it at the end.");
  CLI::Option* cache_dir =
      pack->add_option("--cache-dir", pack_options.cache_dir,
                       "The cache folder as a template of {CACHE_DIR}, {HOME}, {TEMP}, {COMPANY}, {PRODUCT}, "
                       "{VERSION}, {PROGRAM}, {PROGRAM_BASE} or {PROGRAM_DIR}; a key of the payload is appended as "
                       "its last folder. Implies --cache. Default: {CACHE_DIR}\\{COMPANY}\\{PRODUCT}\\{VERSION}.");
  pack->add_option("--company", pack_options.company, "The company in the version record (CompanyName).");
  pack->add_option("--product", pack_options.product,
                   "The product in the version record (ProductName) and the manifest's identity. Default: the "
                   "output's file name without .exe.");
  pack->add_option("--app-version", pack_options.app_version,
                   "The file and product version A.B.C.D, each number 0 to 65535. Default: 1.0.0.0.");
  pack->add_option("--description", pack_options.description,
                   "The description in the version record (FileDescription), which Task Manager shows. Default: "
                   "the product.");
  pack->add_option("--copyright", pack_options.copyright, "The copyright in the version record (LegalCopyright).");
  pack->add_option("--version-from", pack_options.version_from,
                   "A Windows executable or DLL whose whole version record is taken; the options above override "
                   "single fields of it.");
  CLI::Option* level =
      pack->add_option(
              "--execution-level", pack_options.execution_level,
              "What the manifest asks Windows for: asInvoker, highestAvailable or requireAdministrator. Default: "
              "asInvoker, or the level of a program given as --main.")
          ->check(CLI::IsMember({"asInvoker", "highestAvailable", "requireAdministrator"}));
  CLI::Option* dpi =
      pack->add_option(
              "--dpi-aware", pack_options.dpi_aware,
              "The DPI awareness the manifest states: unaware, system or permonitorv2. Default: none stated, so "
              "that the application may choose its own at run time.")
          ->check(CLI::IsMember({"unaware", "system", "permonitorv2"}));
  pack->add_option("--manifest", pack_options.manifest, "A well-formed XML file that replaces the whole manifest.")
      ->excludes(level)
      ->excludes(dpi);
  pack->add_flag("--no-progress", pack_options.no_progress,
                 "Show no progress window while a windowed program's first extraction takes long.");
  pack->footer("The same folder and options give the same bytes on every run and every machine.");

  std::string list_exe;
  CLI::App* list = app.add_subcommand(
      "list", "Show each payload entry of a packed executable with its size, and the payload's figures.");
  list->add_option("EXE", list_exe, "The packed executable.")->required();

  std::string extract_exe, extract_dir;
  CLI::App* extract = app.add_subcommand(
      "extract", "Write the payload entries of a packed executable below DIR, as the Launcher would.");
  extract->add_option("EXE", extract_exe, "The packed executable.")->required();
  extract->add_option("DIR", extract_dir, "The folder to create; it must not exist or be empty.")->required();

  std::string exe, payload, out;
  CLI::App* attach = app.add_subcommand(
      "attach", "Store the bytes of a ready payload file, unchanged, as the payload resource of a copy of EXE.");
  attach->add_option("EXE", exe, "The executable to copy, usually the Launcher tarvex-launcher.exe.")->required();
  attach->add_option("--payload", payload, "The payload file.")->required();
  attach->add_option("-o,--output", out, "The executable to write; it may be EXE itself.")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 1;
  }
  if (pack->parsed()) {
    pack_options.checksum = !no_check;
    pack_options.cache_dir_set = cache_dir->count() > 0;
    if (pack_options.cache_dir_set) pack_options.cache = true;
    return tarvex::packer::run_pack(pack_options);
  }
  if (list->parsed()) return tarvex::packer::run_list(list_exe);
  if (extract->parsed()) return tarvex::packer::run_extract(extract_exe, extract_dir);
  if (attach->parsed()) return tarvex::run_attach(exe, payload, out);
  return 1;
}

#ifdef _WIN32
// The wide entry (linked with -municode): the narrow argv would come in the ANSI code
// page, which cannot hold every file name. An unpaired surrogate becomes U+FFFD.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> texts;
  for (int i = 0; i < argc; ++i)
    texts.push_back(tarvex::packer::utf16_to_utf8(tarvex::packer::to_utf16(argv[i], std::wcslen(argv[i]))));
  std::vector<char*> utf8_argv;
  for (std::string& text : texts) utf8_argv.push_back(text.data());
  utf8_argv.push_back(nullptr);
  return tarvex_main(argc, utf8_argv.data());
}
#else
int main(int argc, char** argv) { return tarvex_main(argc, argv); }
#endif
