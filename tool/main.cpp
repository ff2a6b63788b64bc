// The command-line tool `tarvex`: argument parsing and dispatch to its commands.
#include <CLI/CLI.hpp>
#include <string>

#include "tool/attach_command.h"

int main(int argc, char** argv) {
  CLI::App app{"Tarvex turns a Windows application folder into one executable built on the Tarvex Launcher.", "tarvex"};
  app.set_version_flag("--version", "tarvex " TARVEX_TOOL_VERSION);
  app.require_subcommand(1);
  // CLI11 would take "/path" for an option on Windows; Wine hands programs such paths.
  app.allow_windows_style_options(false);

  std::string exe, payload, out;
  CLI::App* attach = app.add_subcommand(
      "attach", "Store the bytes of a ready payload file, unchanged, as the payload resource of a copy of EXE.");
  attach->add_option("EXE", exe, "The executable to copy, usually the Launcher tarvex-launcher.exe.")->required();
  attach->add_option("--payload", payload, "The payload file.")->required();
  attach->add_option("-o,--output", out, "The executable to write; it may be EXE itself.")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (attach->parsed()) return tarvex::run_attach(exe, payload, out);
  return 2;
}
