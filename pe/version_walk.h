// Walking a version record (the VS_VERSIONINFO tree of an RT_VERSION resource) in place,
// without allocation: shared by the Launcher and the packer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tarvex::pe {

// One node: 16-bit length, value length and type, a NUL-ended UTF-16 key, then the
// value and the children, each starting on a 4-byte boundary of the record.
struct VersionNode {
  const uint8_t* key = nullptr;  // UTF-16LE units, `key_units` of them, NUL not counted
  size_t key_units = 0;
  uint16_t type = 0;  // 1: the value is text, 0: binary
  const uint8_t* value = nullptr;
  size_t value_bytes = 0;  // for text, the units times two, NUL included
  const uint8_t* children = nullptr;
  size_t children_bytes = 0;
  size_t length = 0;  // the whole node; the next sibling starts 4-aligned after it
};

// Reads the node at the start of [data, data + size), `data` being 4-byte aligned in the
// record. False when a length runs outside the range or the key has no end.
bool read_version_node(const uint8_t* data, size_t size, VersionNode* node);

// Whether the node's key is the ASCII text `key`.
bool version_key_is(const VersionNode& node, const char* key);

// Calls `visit` with each child of `parent` in order, until it returns false.
// False when a child is malformed.
template <typename Visit>
bool each_version_child(const VersionNode& parent, Visit visit) {
  size_t at = 0;
  while (at + 6 <= parent.children_bytes) {
    VersionNode child;
    if (!read_version_node(parent.children + at, parent.children_bytes - at, &child)) return false;
    if (!visit(child)) return true;
    at += (child.length + 3) & ~size_t{3};
  }
  return true;
}

// The fixed part (VS_FIXEDFILEINFO, 52 bytes) of a record, or null when absent.
const uint8_t* version_fixed_info(const uint8_t* record, size_t size);

// The string `name` of the first string table of a record: `*units` UTF-16 units at
// `*text`, the NUL not counted. False when the record has no such string.
bool find_version_string(const uint8_t* record, size_t size, const char* name, const uint8_t** text, size_t* units);

inline constexpr size_t kFixedInfoSize = 52;
inline constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
// Offsets in the fixed part: the file and the product version, each as two 32-bit
// halves (most significant first), the high 16 bits of each half the first number.
inline constexpr size_t kFixedFileVersion = 8;
inline constexpr size_t kFixedProductVersion = 16;

inline uint16_t version_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t version_u32(const uint8_t* p) {
  return static_cast<uint32_t>(version_u16(p)) | static_cast<uint32_t>(version_u16(p + 2)) << 16;
}

}  // namespace tarvex::pe
