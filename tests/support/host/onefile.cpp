// Test helper (host): building onefile executables.
#include "tests/support/host/onefile.h"

#include <sys/stat.h>

#include "pe/resource_rebuild.h"
#include "tests/support/host/wine_run.h"
#include "tool/packer/cache_mode.h"

namespace tarvex::e2e {

std::string launcher_exe() { return windows_program("launcher/tarvex-launcher.exe"); }
std::string test_module_dll() { return windows_program("tests/e2e/test_module.dll"); }
std::string no_entry_module_dll() { return windows_program("tests/e2e/no_entry_module.dll"); }
std::string test_program_exe() { return windows_program("tests/e2e/test_program.exe"); }
std::string helper_dll(const std::string& kind) { return windows_program("tests/e2e/helper_" + kind + ".dll"); }

Bytes file_bytes(const std::string& path) {
  std::string s = read_file(path);
  return Bytes(s.begin(), s.end());
}

bool make_onefile_from_resource(const Bytes& resource, const std::string& out, bool console) {
  Bytes image;
  if (pe::attach_payload(file_bytes(launcher_exe()), resource, &image)) return false;
  pe::Image headers;
  if (console && pe::parse_image(image, &headers)) return false;
  if (console) pe::set_subsystem(image, headers, pe::kSubsystemWindowsCui);
  if (!write_file(out, std::string(image.begin(), image.end()))) return false;
  return chmod(out.c_str(), 0755) == 0;
}

bool make_onefile(const std::vector<PayloadEntry>& entries, const std::string& out, bool console) {
  WriterOptions options;
  options.level = 3;
  options.checksum = true;
  return make_onefile_from_resource(build_payload(entries, options), out, console);
}

std::string make_cached_onefile(const std::vector<PayloadEntry>& entries, const std::string& folder_template,
                                const std::string& out, bool console) {
  WriterOptions options;
  options.level = 3;
  options.checksum = true;
  const Bytes payload = build_payload(entries, options);
  std::vector<packer::AppFile> files;
  for (const PayloadEntry& e : entries) files.push_back({e.name, {}, e.content.size()});
  const std::string key = packer::payload_key(payload);
  const Bytes record = packer::build_cache_record(
      packer::keyed_template(std::u16string(folder_template.begin(), folder_template.end()), key), files);
  Bytes image;
  const pe::ResourceEdit edit = [&](std::vector<pe::Resource>& resources) {
    TARVEX_TRY(pe::put_payload(resources, payload));
    return pe::put_cache_record(resources, record);
  };
  if (pe::rebuild_resources(file_bytes(launcher_exe()), edit, &image)) return "";
  pe::Image headers;
  if (console && pe::parse_image(image, &headers)) return "";
  if (console) pe::set_subsystem(image, headers, pe::kSubsystemWindowsCui);
  if (!write_file(out, std::string(image.begin(), image.end())) || chmod(out.c_str(), 0755) != 0) return "";
  return key;
}

std::vector<std::string> extraction_dirs() { return list_dir(wine_temp_dir(), "onefile_"); }

}  // namespace tarvex::e2e
