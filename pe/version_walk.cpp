// Walking a version record in place.
#include "pe/version_walk.h"

namespace tarvex::pe {

namespace {

size_t align4(size_t at) { return (at + 3) & ~size_t{3}; }

}  // namespace

bool read_version_node(const uint8_t* data, size_t size, VersionNode* node) {
  if (size < 6) return false;
  const size_t length = version_u16(data);
  const size_t value_length = version_u16(data + 2);
  node->type = version_u16(data + 4);
  if (length < 6 || length > size) return false;
  node->length = length;
  node->key = data + 6;
  size_t at = 6;
  while (at + 2 <= length && version_u16(data + at) != 0) at += 2;
  if (at + 2 > length) return false;
  node->key_units = (at - 6) / 2;
  at = align4(at + 2);
  // Producers differ on whether a text value's length counts units or bytes: what
  // lies past the node's end is never taken.
  size_t value_bytes = node->type == 1 ? value_length * 2 : value_length;
  if (at > length) at = length;
  if (value_bytes > length - at) value_bytes = length - at;
  node->value = data + at;
  node->value_bytes = value_bytes;
  at = align4(at + value_bytes);
  if (at > length) at = length;
  node->children = data + at;
  node->children_bytes = length - at;
  return true;
}

bool version_key_is(const VersionNode& node, const char* key) {
  size_t i = 0;
  for (; key[i]; ++i)
    if (i >= node.key_units || version_u16(node.key + 2 * i) != static_cast<unsigned char>(key[i])) return false;
  return i == node.key_units;
}

const uint8_t* version_fixed_info(const uint8_t* record, size_t size) {
  VersionNode root;
  if (!read_version_node(record, size, &root) || root.value_bytes < kFixedInfoSize) return nullptr;
  return version_u32(root.value) == kFixedInfoSignature ? root.value : nullptr;
}

bool find_version_string(const uint8_t* record, size_t size, const char* name, const uint8_t** text, size_t* units) {
  VersionNode root;
  if (!read_version_node(record, size, &root)) return false;
  bool found = false;
  each_version_child(root, [&](const VersionNode& block) {
    if (!version_key_is(block, "StringFileInfo")) return true;
    each_version_child(block, [&](const VersionNode& table) {
      each_version_child(table, [&](const VersionNode& entry) {
        if (!version_key_is(entry, name)) return true;
        size_t n = entry.value_bytes / 2;
        while (n > 0 && version_u16(entry.value + 2 * (n - 1)) == 0) --n;
        *text = entry.value;
        *units = n;
        found = true;
        return false;
      });
      return false;  // the first table only
    });
    return false;
  });
  return found;
}

}  // namespace tarvex::pe
