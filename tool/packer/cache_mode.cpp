// Cache mode, packer side: template checks, the payload's key and the cache record.
#include "tool/packer/cache_mode.h"

#include <cstring>

#include "payload/cache_record.h"
#include "payload/format.h"
#include "pe/resource_tree.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/sha256.h"

namespace tarvex::packer {

namespace {

// The variables the Launcher's expansion knows.
constexpr const char* kVariables[] = {"TEMP",     "PROGRAM",   "PROGRAM_BASE", "PROGRAM_DIR", "PID",  "HOME",
                                      "CACHE_DIR", "COMPANY", "PRODUCT",      "VERSION",     "TIME"};

bool same_name(const std::u16string& name, const char* known) {
  if (name.size() != strlen(known)) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != static_cast<char16_t>(known[i])) return false;
  }
  return true;
}

void put_u32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put_units(Bytes& out, const std::u16string& text) {
  put_u32(out, static_cast<uint32_t>(text.size()));
  for (char16_t unit : text) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
}

}  // namespace

Failure check_cache_template(const std::u16string& folder_template) {
  if (folder_template.empty()) return fail("the folder template is empty");
  size_t open = std::u16string::npos;
  for (size_t i = 0; i < folder_template.size(); ++i) {
    const char16_t c = folder_template[i];
    if (c == u'{') {
      if (open != std::u16string::npos) return fail("a \"{\" inside a variable reference");
      open = i;
    } else if (c == u'}') {
      if (open == std::u16string::npos) return fail("a \"}\" outside a variable reference");
      const std::u16string name = folder_template.substr(open + 1, i - open - 1);
      open = std::u16string::npos;
      bool known = false;
      for (const char* variable : kVariables) known = known || same_name(name, variable);
      if (!known) return fail("{" + utf16_to_utf8(name) + "} is not a template variable");
      if (same_name(name, "PID") || same_name(name, "TIME"))
        return fail("{" + utf16_to_utf8(name) + "} changes at every start, so the folder would never be reused");
    }
  }
  if (open != std::u16string::npos) return fail("a variable reference is not closed");
  if (folder_template.size() > payload::kMaxCacheTemplateUnits - 1 - payload::kCacheKeyDigits)
    return fail("the folder template is longer than a path can be");
  // A relative folder would follow the current folder of whoever starts the program.
  const bool absolute = folder_template[0] == u'{' || (folder_template.size() >= 3 && folder_template[1] == u':' &&
                                                       folder_template[2] == u'\\') ||
                        folder_template.compare(0, 2, u"\\\\") == 0;
  if (!absolute) return fail("the folder must be absolute: a drive, a \\\\server share or a variable first");
  return {};
}

std::string payload_key(const Bytes& payload_resource) {
  return sha256_hex(payload_resource.data(), payload_resource.size()).substr(0, payload::kCacheKeyDigits);
}

std::u16string keyed_template(const std::u16string& folder_template, const std::string& key) {
  std::u16string keyed = folder_template;
  while (!keyed.empty() && keyed.back() == u'\\') keyed.pop_back();
  keyed += u'\\';
  keyed.append(key.begin(), key.end());
  return keyed;
}

Bytes build_cache_record(const std::u16string& keyed, const std::vector<AppFile>& files) {
  Bytes record(std::begin(payload::kCacheRecordMagic), std::end(payload::kCacheRecordMagic));
  put_units(record, keyed);
  put_u32(record, static_cast<uint32_t>(files.size()));
  for (const AppFile& file : files) {
    put_units(record, file.name);
    put_u32(record, static_cast<uint32_t>(file.size));
    put_u32(record, static_cast<uint32_t>(file.size >> 32));
  }
  return record;
}

std::string describe_mode(const Bytes& file) {
  pe::Image image;
  std::vector<pe::Resource> resources;
  if (pe::parse_image(file, &image) || pe::read_resources(file, image, &resources)) return "unknown";
  const pe::ResourceKey type = pe::ResourceKey::of_id(payload::kResourceType);
  const pe::ResourceKey id = pe::ResourceKey::of_id(payload::kCacheRecordId);
  for (const pe::Resource& r : resources) {
    if (!(r.type == type) || !(r.name == id)) continue;
    payload::CacheRecordReader record;
    WideBuffer<payload::kMaxCacheTemplateUnits + 1> text;
    if (!record.open(r.data, r.size) || !record.read_template(text)) return "cache, damaged record";
    return "cache, folder " + utf16_to_utf8(to_utf16(text.c_str(), text.size())) + ", " +
           std::to_string(record.entry_count()) + " files recorded";
  }
  return "temporary";
}

}  // namespace tarvex::packer
