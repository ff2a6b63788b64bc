// `tarvex pack`: check the Launcher and the icon, walk the folder, check --main, compress,
// rebuild the Launcher copy's resources, write.
#include <thread>

#include "pe/icon_resources.h"
#include "pe/resource_rebuild.h"
#include "tool/file_io.h"
#include "tool/messages.h"
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

// What the steps of a pack hand on to the next ones.
struct Packing {
  std::string launcher_path;
  Bytes launcher;  // the Launcher copy, subsystem set
  std::u16string cache_template;
  Bytes icon_file;  // the icon's images point into it, so it lives to the end
  pe::IconResources icon;
  fs::path app, output;
  AppFolder folder;  // the module first
  Bytes payload;     // the payload resource
  Bytes cache_record;
  Bytes image;   // the executable to write
  Bytes module;  // a program as --main: its look points into it
  pe::ProgramLook program_look;
  bool main_is_program = false;
  ShipperLook look;
};

// The Launcher first: a wrong one is caught before any compression work.
Failure load_launcher(const PackOptions& options, Packing* p) {
  fs::path launcher;
  if (!options.launcher.empty()) launcher = path_from_utf8(options.launcher);
  else if (!installed_launcher(&launcher))
    return Failure(kLauncherFileName, tool_msg::kBadLauncher, "the folder of the running tarvex is unknown");
  p->launcher_path = display_path(launcher);
  TARVEX_TRY(about(read_whole_file(p->launcher_path, &p->launcher), tool_msg::kBadLauncher, p->launcher_path));
  TARVEX_TRY(about(check_launcher_image(p->launcher), tool_msg::kBadLauncher, p->launcher_path));
  return about(set_launcher_subsystem(p->launcher, options.console), tool_msg::kBadLauncher, p->launcher_path);
}

// The cache folder's template, checked before any compression work.
Failure read_cache_template(const PackOptions& options, Packing* p) {
  if (!options.cache) return {};
  const std::string text = options.cache_dir_set ? options.cache_dir : kDefaultCacheTemplate;
  const std::string shown = "--cache-dir '" + text + "'";
  if (!utf8_to_utf16(text, &p->cache_template)) return Failure(shown, tool_msg::kNothing, "not valid UTF-8");
  TARVEX_TRY(about(check_cache_template(p->cache_template), tool_msg::kNothing, shown));
  if (!rooted_in_user_folder(p->cache_template)) warn(shown, tool_msg::kCacheDirShared);
  return {};
}

Failure load_icon(const PackOptions& options, Packing* p) {
  if (options.icon.empty()) return {};
  const std::string icon_path = display_path(path_from_utf8(options.icon));
  TARVEX_TRY(about(read_whole_file(icon_path, &p->icon_file), tool_msg::kBadIcon, icon_path));
  return about(pe::read_icon_file(p->icon_file, &p->icon), tool_msg::kBadIcon, icon_path);
}

// The application's files, the module named by --main first and checked.
Failure collect_files(const PackOptions& options, Packing* p) {
  p->app = path_from_utf8(options.app_dir);
  p->output = options.output.empty() ? default_output(p->app) : path_from_utf8(options.output);
  TARVEX_TRY(about(walk_app_folder(p->app, p->output, &p->folder), tool_msg::kCannotPack, {}));
  std::u16string main_name;
  TARVEX_TRY(about(main_entry_name(p->app, options.main, &main_name), tool_msg::kCannotPack, options.main));
  if (!put_first(&p->folder, main_name)) {
    const fs::path main_path = p->app / path_from_utf8(options.main);
    std::error_code ec;
    // The walk left the output out; when that is the module, the output would replace it.
    if (p->folder.left_out_output && fs::equivalent(main_path, p->output, ec))
      return Failure(display_path(p->output), tool_msg::kCannotPack,
                     "-o names the --main module, which the output would replace");
    return Failure(display_path(main_path), tool_msg::kCannotPack, "--main names no file of the application folder");
  }
  Bytes& module = p->module;
  const std::string module_path = display_path(p->folder.files.front().path);
  TARVEX_TRY(about(read_whole_file(module_path, &module), tool_msg::kCannotPack, module_path));
  TARVEX_TRY(about(check_main_module(module), tool_msg::kCannotPack, module_path));
  // A program as --main lends the packed file its look; its bytes live to the end.
  pe::Image image;
  p->main_is_program = !pe::parse_image(module, &image) && !(image.characteristics & pe::kFileDll) &&
                       !pe::read_program_look(module, &p->program_look);
  if (!p->main_is_program) module = Bytes();
  return {};
}

// The version record, the manifest, the icon and the subsystem, before any compression work.
Failure make_look(const PackOptions& options, Packing* p) {
  TARVEX_TRY(make_shipper_look(options, p->main_is_program ? &p->program_look : nullptr,
                               display_path(p->output.filename()), &p->look));
  return about(set_launcher_subsystem(p->launcher, p->look.subsystem == pe::kSubsystemWindowsCui),
               tool_msg::kBadLauncher, p->launcher_path);
}

void warn_left_out(const Packing& p) {
  for (const fs::path& empty : p.folder.empty_folders) warn(display_path(empty), tool_msg::kEmptyFolderLeftOut);
  if (p.folder.left_out_output) warn(display_path(p.output), tool_msg::kOutputLeftOut);
}

Failure compress(const PackOptions& options, Packing* p) {
  Compression compression;
  compression.level = options.level;
  compression.workers = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  if (compression.workers < 1) compression.workers = 1;
  compression.checksum = options.checksum;
  TARVEX_TRY(
      about(compress_entries(p->folder.files, compression, &p->payload), tool_msg::kCannotPack, display_path(p->app)));
  if (options.cache)
    p->cache_record = build_cache_record(keyed_template(p->cache_template, payload_key(p->payload)), p->folder.files);
  return {};
}

// The Launcher copy with the payload, the cache record and the icon in its resources.
Failure build_image(const PackOptions& options, Packing* p) {
  const pe::ResourceEdit edit = [&](std::vector<pe::Resource>& resources) {
    TARVEX_TRY(pe::put_payload(resources, p->payload));
    if (options.cache) TARVEX_TRY(pe::put_cache_record(resources, p->cache_record));
    put_shipper_look(resources, p->look, options.no_progress);
    if (!options.icon.empty()) pe::replace_icon(resources, p->icon);
    return pe::Error();
  };
  return about(pe::rebuild_resources(p->launcher, edit, &p->image), tool_msg::kBadLauncher, p->launcher_path);
}

}  // namespace

int run_pack(const PackOptions& options) {
  Packing p;
  Failure f = load_launcher(options, &p);
  if (!f) f = read_cache_template(options, &p);
  if (!f) f = load_icon(options, &p);
  if (!f) f = collect_files(options, &p);
  if (!f) f = make_look(options, &p);
  if (f) return report(f);
  warn_left_out(p);
  f = compress(options, &p);
  if (!f) f = build_image(options, &p);
  if (f) return report(f);
  p.launcher = Bytes();
  const uint64_t payload_size = p.payload.size();
  p.payload = Bytes();
  if (Failure written = replace_file(display_path(p.output), p.image, p.launcher_path))
    return report(written, tool_msg::kCannotWrite);

  printf("Packed %zu files (%s) into %s: %s, payload %s.\n", p.folder.files.size(),
         megabytes(entry_stream_size(p.folder.files)).c_str(), display_path(p.output).c_str(),
         megabytes(p.image.size()).c_str(), megabytes(payload_size).c_str());
  return 0;
}

}  // namespace tarvex::packer
