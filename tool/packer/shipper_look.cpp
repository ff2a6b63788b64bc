// Working out a packed executable's version record, manifest, icon and subsystem.
#include "tool/packer/shipper_look.h"

#include <algorithm>

#include "payload/format.h"
#include "pe/manifest.h"
#include "pe/xml_check.h"
#include "tool/file_io.h"
#include "tool/messages.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/host_paths.h"

namespace tarvex::packer {

namespace {

constexpr uint8_t kNoProgressRecord[] = {payload::kNoProgressMagic[0], payload::kNoProgressMagic[1],
                                         payload::kNoProgressMagic[2], payload::kNoProgressMagic[3]};

Failure read_version_from(const std::string& path_text, ShipperLook* look, pe::VersionRecord* record) {
  const std::string path = display_path(path_from_utf8(path_text));
  if (Failure f = read_whole_file(path, &look->version_from_file)) return about(f, tool_msg::kBadVersionFrom, path);
  pe::ProgramLook other;
  if (Failure f = pe::read_program_look(look->version_from_file, &other))
    return about(f, tool_msg::kBadVersionFrom, path);
  if (!other.has_version) return about(fail("it has no readable version record"), tool_msg::kBadVersionFrom, path);
  *record = other.version;
  return {};
}

std::u16string utf16(const std::string& text) {
  std::u16string out;
  if (!utf8_to_utf16(text, &out))
    for (char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out;
}

}  // namespace

Failure make_shipper_look(const PackOptions& o, const pe::ProgramLook* program, const std::string& output_name,
                          ShipperLook* look) {
  std::array<uint16_t, 4> numbers{};
  if (!o.app_version.empty())
    if (Failure f = pe::parse_version_numbers(o.app_version, &numbers))
      return about(f, tool_msg::kBadAppVersion, o.app_version);

  // The record to start from: a file's, the program's, or a new one named after the output.
  pe::VersionRecord record = pe::empty_version_record();
  const bool inherited = !o.version_from.empty() || (program && program->has_version);
  if (!o.version_from.empty()) TARVEX_TRY(read_version_from(o.version_from, look, &record));
  else if (program && program->has_version) record = program->version;
  std::u16string product = utf16(o.product);
  if (product.empty() && !inherited) {
    const size_t dot = output_name.rfind('.');
    product = utf16(output_name.substr(0, dot == 0 ? std::string::npos : dot));
  }
  if (!product.empty()) {
    pe::set_version_string(record, u"ProductName", product);
    if (o.description.empty()) pe::set_version_string(record, u"FileDescription", product);
  }
  if (!o.company.empty()) pe::set_version_string(record, u"CompanyName", utf16(o.company));
  if (!o.description.empty()) pe::set_version_string(record, u"FileDescription", utf16(o.description));
  if (!o.copyright.empty()) pe::set_version_string(record, u"LegalCopyright", utf16(o.copyright));
  pe::set_version_string(record, u"OriginalFilename", utf16(output_name));
  if (!o.app_version.empty()) pe::set_version_numbers(record, numbers);
  else if (!inherited) pe::set_version_numbers(record, {1, 0, 0, 0});
  if (Failure f = pe::build_version_record(record, &look->version)) return about(f, tool_msg::kBadRecord, output_name);

  if (!o.manifest.empty()) {
    const std::string path = display_path(path_from_utf8(o.manifest));
    if (Failure f = read_whole_file(path, &look->manifest_file)) return about(f, tool_msg::kBadManifest, path);
    look->manifest.assign(look->manifest_file.begin(), look->manifest_file.end());
    if (Failure f = pe::check_xml(look->manifest)) return about(f, tool_msg::kBadManifest, path);
  } else {
    pe::ManifestSettings settings;
    const std::u16string* name = pe::version_string(record, u"ProductName");
    settings.product = name ? *name : product;
    settings.version = pe::fixed_product_version(record);
    if (!o.execution_level.empty()) settings.execution_level = o.execution_level;
    else if (program && !program->execution_level.empty()) settings.execution_level = program->execution_level;
    settings.dpi_aware = o.dpi_aware;
    look->manifest = pe::build_manifest(settings);
  }

  if (program && program->has_icon) {
    look->icon = program->icon;
    look->has_icon = true;
  }
  look->subsystem = o.console ? pe::kSubsystemWindowsCui : pe::kSubsystemWindowsGui;
  if (!o.console && program && program->subsystem == pe::kSubsystemWindowsCui) look->subsystem = program->subsystem;
  return {};
}

void put_shipper_look(std::vector<pe::Resource>& resources, const ShipperLook& look, bool no_progress) {
  pe::replace_version_resource(resources, look.version);
  pe::replace_manifest_resource(resources, look.manifest);
  if (look.has_icon) pe::replace_icon(resources, look.icon);
  const pe::ResourceKey type = pe::ResourceKey::of_id(payload::kResourceType);
  const pe::ResourceKey id = pe::ResourceKey::of_id(payload::kNoProgressId);
  resources.erase(std::remove_if(resources.begin(), resources.end(),
                                 [&](const pe::Resource& r) { return r.type == type && r.name == id; }),
                  resources.end());
  if (no_progress)
    resources.push_back(
        {type, id, pe::ResourceKey::of_id(payload::kResourceLanguage), 0, kNoProgressRecord, sizeof kNoProgressRecord});
}

}  // namespace tarvex::packer
