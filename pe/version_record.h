// The version record of an image (its RT_VERSION resource) as the packer edits it:
// read from bytes, changed field by field, and written back.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/error.h"
#include "pe/resource_tree.h"
#include "pe/version_walk.h"

namespace tarvex::pe {

inline constexpr uint32_t kVersionType = 16;  // RT_VERSION

struct VersionString {
  std::u16string name;
  std::u16string value;
};

// One string table: its key names language and code page as 8 hex digits.
struct VersionTable {
  std::u16string key;
  std::vector<VersionString> strings;
};

struct VersionRecord {
  std::array<uint8_t, kFixedInfoSize> fixed{};
  std::vector<VersionTable> tables;
  std::vector<uint32_t> translations;  // language in the low half, code page in the high
};

// An application's record with nothing in it yet: the fixed part of a program for
// Windows NT, version 0.0.0.0, and no table.
VersionRecord empty_version_record();

// Reads a record; a failure says what is malformed.
Error read_version_record(const uint8_t* data, size_t size, VersionRecord* record);

// The record as resource bytes; refused when a part outgrows the 16-bit lengths.
Error build_version_record(const VersionRecord& record, Bytes* out);

// Sets `name` to `value` in every string table, adding it where missing. A record
// without a table gets one for neutral language and Unicode, with its translation.
void set_version_string(VersionRecord& record, const std::u16string& name, const std::u16string& value);

// The value of `name` in the first table, or null.
const std::u16string* version_string(const VersionRecord& record, const std::u16string& name);

// "A.B.C.D" with each number at most 65535, into `numbers`; a failure says why not.
Error parse_version_numbers(const std::string& text, std::array<uint16_t, 4>* numbers);

// The file and product version, in the fixed part and as the strings FileVersion and
// ProductVersion.
void set_version_numbers(VersionRecord& record, const std::array<uint16_t, 4>& numbers);

// The product version of the fixed part as "A.B.C.D".
std::string fixed_product_version(const VersionRecord& record);

// The first RT_VERSION resource of a list, or null.
const Resource* find_version_resource(const std::vector<Resource>& resources);

// Removes every RT_VERSION resource and adds `record` under the name and language of
// the first one removed (id 1, neutral, when there was none). The list then points
// into `record`.
void replace_version_resource(std::vector<Resource>& resources, const Bytes& record);

}  // namespace tarvex::pe
