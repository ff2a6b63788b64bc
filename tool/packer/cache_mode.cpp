// Cache mode, packer side: template checks, the payload's key and the cache record.
#include "tool/packer/cache_mode.h"

#include "payload/cache_record.h"
#include "payload/cache_record_writer.h"
#include "payload/format.h"
#include "payload/template_variables.h"
#include "pe/resource_tree.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/sha256.h"

namespace tarvex::packer {

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
      const payload::TemplateVariableInfo* variable = payload::find_template_variable(name.data(), name.size());
      if (!variable) return fail("{" + utf16_to_utf8(name) + "} is not a template variable");
      if (variable->changes_every_start)
        return fail("{" + utf16_to_utf8(name) + "} changes at every start, so the folder would never be reused");
    }
  }
  if (open != std::u16string::npos) return fail("a variable reference is not closed");
  if (folder_template.size() > payload::kMaxCacheTemplateUnits - 1 - payload::kCacheKeyDigits)
    return fail("the folder template is longer than a path can be");
  // A relative folder would follow the current folder of whoever starts the program.
  const bool absolute = folder_template[0] == u'{' ||
                        (folder_template.size() >= 3 && folder_template[1] == u':' && folder_template[2] == u'\\') ||
                        folder_template.compare(0, 2, u"\\\\") == 0;
  if (!absolute) return fail("the folder must be absolute: a drive, a \\\\server share or a variable first");
  return {};
}

bool rooted_in_user_folder(const std::u16string& folder_template) {
  const size_t end = folder_template.find(u'}');
  if (folder_template.empty() || folder_template[0] != u'{' || end == std::u16string::npos) return false;
  const payload::TemplateVariableInfo* variable = payload::find_template_variable(folder_template.data() + 1, end - 1);
  using payload::TemplateVariable;
  return variable && (variable->id == TemplateVariable::kCacheDir || variable->id == TemplateVariable::kHome ||
                      variable->id == TemplateVariable::kTemp);
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
  std::vector<payload::CacheRecordEntry> entries;
  for (const AppFile& file : files) entries.push_back({file.name, file.size});
  return payload::build_cache_record(keyed, entries);
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
