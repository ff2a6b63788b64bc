// Reading, editing and writing a version record.
#include "pe/version_record.h"

#include <algorithm>

#include "support/little_endian.h"

namespace tarvex::pe {

namespace {

// VS_FIXEDFILEINFO's fields after the versions: flags mask, flags, OS, type, subtype.
constexpr size_t kFixedFlagsMask = 24, kFixedOs = 32, kFixedType = 36;
constexpr uint32_t kOsNtWindows32 = 0x40004, kTypeApplication = 1;
// Neutral language, Unicode code page: the table key and the translation.
constexpr char16_t kNeutralUnicodeKey[] = u"000004b0";
constexpr uint32_t kNeutralUnicode = 1200u << 16;

void put_fixed32(VersionRecord& record, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) record.fixed[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::u16string key_text(const VersionNode& node) {
  std::u16string text;
  for (size_t i = 0; i < node.key_units; ++i) text += static_cast<char16_t>(version_u16(node.key + 2 * i));
  return text;
}

std::u16string value_text(const VersionNode& node) {
  std::u16string text;
  for (size_t i = 0; 2 * i + 1 < node.value_bytes; ++i) {
    const char16_t unit = static_cast<char16_t>(version_u16(node.value + 2 * i));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

// Writes one node around what `body` appends after the key: value, then children.
// False when the node outgrows its 16-bit length.
template <typename Body>
bool write_node(Bytes& out, const std::u16string& key, uint16_t type, uint16_t value_length, Body body) {
  const size_t start = out.size();
  out.resize(start + 6);
  for (char16_t unit : key) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  out.resize((out.size() + 3) & ~size_t{3}, 0);
  if (!body()) return false;
  const size_t length = out.size() - start;
  if (length > 0xFFFF) return false;
  store_le<uint16_t>(out.data() + start, static_cast<uint16_t>(length));
  store_le<uint16_t>(out.data() + start + 2, value_length);
  store_le<uint16_t>(out.data() + start + 4, type);
  return true;
}

void pad4(Bytes& out) { out.resize((out.size() + 3) & ~size_t{3}, 0); }

bool write_string(Bytes& out, const VersionString& s) {
  if (s.value.size() + 1 > 0xFFFF) return false;
  return write_node(out, s.name, 1, static_cast<uint16_t>(s.value.size() + 1), [&] {
    for (char16_t unit : s.value) {
      out.push_back(static_cast<uint8_t>(unit));
      out.push_back(static_cast<uint8_t>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return true;
  });
}

}  // namespace

VersionRecord empty_version_record() {
  VersionRecord record;
  put_fixed32(record, 0, kFixedInfoSignature);
  put_fixed32(record, 4, 0x00010000);
  put_fixed32(record, kFixedFlagsMask, 0x3F);
  put_fixed32(record, kFixedOs, kOsNtWindows32);
  put_fixed32(record, kFixedType, kTypeApplication);
  return record;
}

Error read_version_record(const uint8_t* data, size_t size, VersionRecord* record) {
  *record = VersionRecord();
  VersionNode root;
  if (!read_version_node(data, size, &root) || !version_key_is(root, "VS_VERSION_INFO"))
    return fail("its version record does not start with VS_VERSION_INFO");
  const uint8_t* fixed = version_fixed_info(data, size);
  if (!fixed) return fail("its version record has no fixed part");
  std::copy(fixed, fixed + kFixedInfoSize, record->fixed.begin());
  const bool well_formed = each_version_child(root, [&](const VersionNode& block) {
    if (version_key_is(block, "StringFileInfo")) {
      return each_version_child(block, [&](const VersionNode& table) {
        record->tables.push_back({key_text(table), {}});
        return each_version_child(table, [&](const VersionNode& entry) {
          record->tables.back().strings.push_back({key_text(entry), value_text(entry)});
          return true;
        });
      });
    }
    if (version_key_is(block, "VarFileInfo")) {
      return each_version_child(block, [&](const VersionNode& var) {
        if (version_key_is(var, "Translation"))
          for (size_t at = 0; at + 4 <= var.value_bytes; at += 4)
            record->translations.push_back(version_u32(var.value + at));
        return true;
      });
    }
    return true;
  });
  if (!well_formed) return fail("its version record is malformed");
  return {};
}

Error build_version_record(const VersionRecord& record, Bytes* out) {
  out->clear();
  Bytes& o = *out;
  const bool fits = write_node(o, u"VS_VERSION_INFO", 0, kFixedInfoSize, [&] {
    o.insert(o.end(), record.fixed.begin(), record.fixed.end());
    pad4(o);
    if (!record.tables.empty() && !write_node(o, u"StringFileInfo", 1, 0, [&] {
          for (const VersionTable& table : record.tables) {
            pad4(o);
            if (!write_node(o, table.key, 1, 0, [&] {
                  for (const VersionString& s : table.strings) {
                    pad4(o);
                    if (!write_string(o, s)) return false;
                  }
                  return true;
                }))
              return false;
          }
          return true;
        }))
      return false;
    pad4(o);
    if (record.translations.empty()) return true;
    if (record.translations.size() * 4 > 0xFFFF) return false;
    return write_node(o, u"VarFileInfo", 1, 0, [&] {
      return write_node(o, u"Translation", 0, static_cast<uint16_t>(record.translations.size() * 4), [&] {
        for (uint32_t t : record.translations)
          for (int i = 0; i < 4; ++i) o.push_back(static_cast<uint8_t>(t >> (8 * i)));
        return true;
      });
    });
  });
  if (!fits) {
    out->clear();
    return fail("its text is too long for a version record (65535 bytes at most in all)");
  }
  return {};
}

void set_version_string(VersionRecord& record, const std::u16string& name, const std::u16string& value) {
  if (record.tables.empty()) {
    record.tables.push_back({kNeutralUnicodeKey, {}});
    if (record.translations.empty()) record.translations.push_back(kNeutralUnicode);
  }
  for (VersionTable& table : record.tables) {
    auto it = std::find_if(table.strings.begin(), table.strings.end(),
                           [&](const VersionString& s) { return s.name == name; });
    if (it != table.strings.end()) it->value = value;
    else table.strings.push_back({name, value});
  }
}

const std::u16string* version_string(const VersionRecord& record, const std::u16string& name) {
  if (record.tables.empty()) return nullptr;
  for (const VersionString& s : record.tables.front().strings)
    if (s.name == name) return &s.value;
  return nullptr;
}

Error parse_version_numbers(const std::string& text, std::array<uint16_t, 4>* numbers) {
  size_t at = 0;
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0 && (at >= text.size() || text[at++] != '.')) break;
    uint32_t value = 0;
    const size_t first = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - first < 6)
      value = value * 10 + static_cast<uint32_t>(text[at++] - '0');
    if (at == first || value > 0xFFFF) return fail("each of the four numbers must be 0 to 65535");
    (*numbers)[i] = static_cast<uint16_t>(value);
    if (i == 3 && at == text.size()) return {};
  }
  return fail("it must be four numbers A.B.C.D");
}

void set_version_numbers(VersionRecord& record, const std::array<uint16_t, 4>& n) {
  const uint32_t high = static_cast<uint32_t>(n[0]) << 16 | n[1], low = static_cast<uint32_t>(n[2]) << 16 | n[3];
  for (size_t at : {kFixedFileVersion, kFixedProductVersion}) {
    put_fixed32(record, at, high);
    put_fixed32(record, at + 4, low);
  }
  std::u16string text;
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0) text += u'.';
    for (char c : std::to_string(n[i])) text += static_cast<char16_t>(c);
  }
  set_version_string(record, u"FileVersion", text);
  set_version_string(record, u"ProductVersion", text);
}

std::string fixed_product_version(const VersionRecord& record) {
  const uint32_t high = version_u32(record.fixed.data() + kFixedProductVersion);
  const uint32_t low = version_u32(record.fixed.data() + kFixedProductVersion + 4);
  return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16) + "." +
         std::to_string(low & 0xFFFF);
}

const Resource* find_version_resource(const std::vector<Resource>& resources) {
  for (const Resource& r : resources)
    if (r.type == ResourceKey::of_id(kVersionType)) return &r;
  return nullptr;
}

void replace_version_resource(std::vector<Resource>& resources, const Bytes& record) {
  const Resource* old = find_version_resource(resources);
  Resource added{ResourceKey::of_id(kVersionType),    ResourceKey::of_id(1), ResourceKey::of_id(0), 0, record.data(),
                 static_cast<uint32_t>(record.size())};
  if (old) {
    added.name = old->name;
    added.language = old->language;
  }
  resources.erase(std::remove_if(resources.begin(), resources.end(),
                                 [](const Resource& r) { return r.type == ResourceKey::of_id(kVersionType); }),
                  resources.end());
  resources.push_back(added);
}

}  // namespace tarvex::pe
