// `tarvex pack`: check the Launcher and the icon, walk the folder, check --main, compress,
// rebuild the Launcher copy's resources, write.
#include <thread>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "tool/attach.h"
#include "tool/file_io.h"
#include "tool/icon_resources.h"
#include "tool/packer/app_folder.h"
#include "tool/packer/cache_mode.h"
#include "tool/packer/commands.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/entry_stream.h"
#include "tool/packer/host_paths.h"
#include "tool/packer/module_check.h"
#include "tool/packer/own_location.h"
#include "tool/packer/shipper_look.h"

namespace tarvex::packer {

namespace {

fs::path default_output(const fs::path& app) {
  std::error_code ec;
  fs::path name = fs::weakly_canonical(fs::absolute(app, ec), ec).filename();
  if (name.empty()) name = "app";
  return fs::current_path(ec) / (name.native() + fs::path(".exe").native());
}

// The entry name of --main: a path relative to the folder, or an absolute one inside it.
Failure main_entry_name(const fs::path& app, std::string text, std::u16string* name) {
#ifndef _WIN32
  for (char& c : text)
    if (c == '\\') c = '/';
#endif
  fs::path path = path_from_utf8(text);
  std::error_code ec;
  if (path.is_absolute()) path = path.lexically_normal().lexically_relative(fs::absolute(app, ec).lexically_normal());
  else path = path.lexically_normal();
  if (path.empty() || path == "." || *path.begin() == "..")
    return fail("--main names a file outside the application folder");
  name->clear();
  for (const fs::path& component : path) {
    std::u16string unit_text;
    if (!name_to_utf16(component, &unit_text)) return fail("--main is not valid UTF-8");
    if (!name->empty()) *name += u'\\';
    *name += unit_text;
  }
  return {};
}

// The output is a console program only when asked for, whatever the Launcher copy was.
Failure set_launcher_subsystem(Bytes& launcher, bool console) {
  pe::Image image;
  TARVEX_TRY(pe::parse_image(launcher, &image));
  pe::set_subsystem(launcher, image, console ? pe::kSubsystemWindowsCui : pe::kSubsystemWindowsGui);
  return {};
}

std::string megabytes(uint64_t bytes) {
  char text[32];
  snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace

int run_pack(const PackOptions& options) {
  // The Launcher first: a wrong one is caught before any compression work.
  fs::path launcher;
  if (!options.launcher.empty()) launcher = path_from_utf8(options.launcher);
  else if (!installed_launcher(&launcher))
    return report(fail("the folder of the running tarvex is unknown"), msg::kToolBadLauncher, kLauncherFileName);
  const std::string launcher_path = display_path(launcher);
  Bytes launcher_image;
  if (Failure f = read_whole_file(launcher_path, &launcher_image)) return report(f, msg::kToolBadLauncher);
  if (Failure f = check_launcher_image(launcher_image)) return report(f, msg::kToolBadLauncher, launcher_path);
  if (Failure f = set_launcher_subsystem(launcher_image, options.console))
    return report(f, msg::kToolBadLauncher, launcher_path);

  // The cache folder's template, checked before any compression work.
  std::u16string cache_template;
  if (options.cache) {
    const std::string text = options.cache_dir_set ? options.cache_dir : kDefaultCacheTemplate;
    if (!utf8_to_utf16(text, &cache_template)) return report(fail(text, "not valid UTF-8"), msg::kToolBadCacheDir);
    if (Failure f = check_cache_template(cache_template)) return report(f, msg::kToolBadCacheDir, text);
  }

  // The icon's images point into its file, which therefore lives to the end.
  Bytes icon_file;
  pe::IconResources icon;
  if (!options.icon.empty()) {
    const std::string icon_path = display_path(path_from_utf8(options.icon));
    if (Failure f = read_whole_file(icon_path, &icon_file)) return report(f, msg::kToolBadIcon);
    if (Failure f = pe::read_icon_file(icon_file, &icon)) return report(f, msg::kToolBadIcon, icon_path);
  }

  const fs::path app = path_from_utf8(options.app_dir);
  const fs::path output = options.output.empty() ? default_output(app) : path_from_utf8(options.output);
  AppFolder folder;
  if (Failure f = walk_app_folder(app, output, &folder)) return report(f, msg::kToolCannotPack);

  std::u16string main_name;
  if (Failure f = main_entry_name(app, options.main, &main_name)) return report(f, msg::kToolCannotPack, options.main);
  if (!put_first(&folder, main_name))
    return report(fail(display_path(app / path_from_utf8(options.main)), "--main names no file of the application folder"),
                  msg::kToolCannotPack);
  Bytes module;
  const std::string module_path = display_path(folder.files.front().path);
  if (Failure f = read_whole_file(module_path, &module)) return report(f, msg::kToolCannotPack);
  if (Failure f = check_main_module(module)) return report(f, msg::kToolCannotPack, module_path);
  // A program as --main lends the packed file its look; its bytes live to the end.
  pe::ProgramLook program_look;
  const pe::ProgramLook* program = nullptr;
  pe::Image module_image;
  if (!pe::parse_image(module, &module_image) && !(module_image.characteristics & pe::kFileDll) &&
      !pe::read_program_look(module, &program_look))
    program = &program_look;
  if (!program) module = Bytes();

  ShipperLook look;
  if (Failure f = make_shipper_look(options, program, display_path(output.filename()), &look)) return report(f);
  if (Failure f = set_launcher_subsystem(launcher_image, look.subsystem == pe::kSubsystemWindowsCui))
    return report(f, msg::kToolBadLauncher, launcher_path);

  for (const fs::path& empty : folder.empty_folders) error_printf(stderr, msg::kToolEmptyFolder, display_path(empty).c_str());
  if (folder.left_out_output) error_printf(stderr, msg::kToolOutputLeftOut, display_path(output).c_str());

  Compression compression;
  compression.level = options.level;
  compression.workers = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  if (compression.workers < 1) compression.workers = 1;
  compression.checksum = options.checksum;
  Bytes resource;
  if (Failure f = compress_entries(folder.files, compression, &resource))
    return report(f, msg::kToolCannotPack, display_path(app));

  Bytes cache_record;
  if (options.cache)
    cache_record = build_cache_record(keyed_template(cache_template, payload_key(resource)), folder.files);
  const ResourceEdit edit = [&](std::vector<pe::Resource>& resources) {
    TARVEX_TRY(put_payload(resources, resource));
    if (options.cache) TARVEX_TRY(put_cache_record(resources, cache_record));
    put_shipper_look(resources, look, options.no_progress);
    if (!options.icon.empty()) pe::replace_icon(resources, icon);
    return Failure();
  };
  Bytes image;
  if (Failure f = rebuild_resources(launcher_image, edit, &image)) return report(f, msg::kToolBadLauncher, launcher_path);
  launcher_image = Bytes();
  const uint64_t payload_size = resource.size();
  resource = Bytes();
  if (Failure f = replace_file(display_path(output), image, launcher_path)) return report(f, msg::kToolCannotWrite);

  printf("Packed %zu files (%s) into %s: %s, payload %s.\n", folder.files.size(),
         megabytes(entry_stream_size(folder.files)).c_str(), display_path(output).c_str(), megabytes(image.size()).c_str(),
         megabytes(payload_size).c_str());
  return 0;
}

}  // namespace tarvex::packer
