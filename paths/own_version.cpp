// Reading the executable's own version record.
#include "paths/own_version.h"

#include <windows.h>

#include <cwchar>

#include "paths/build_values.h"
#include "pe/version_walk.h"

namespace tarvex {

namespace {

constexpr size_t kFieldCapacity = 256;

struct Field {
  const char* record_name;  // null: the fixed product version
  const wchar_t* fallback;
  wchar_t text[kFieldCapacity];
  bool read;
};

Field g_fields[] = {
    {"CompanyName", TARVEX_WIDEN(TARVEX_COMPANY), {}, false},
    {"ProductName", TARVEX_WIDEN(TARVEX_PRODUCT), {}, false},
    {nullptr, TARVEX_WIDEN(TARVEX_VERSION), {}, false},
};

void append_number(wchar_t* text, size_t* at, unsigned value) {
  wchar_t digits[6];
  size_t n = 0;
  do digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
  while ((value /= 10) != 0);
  while (n > 0) text[(*at)++] = digits[--n];
}

// Fills `field` from the record; false when the record does not give it.
bool read_field(Field& field) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const uint8_t* record = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (!record) return false;
  const size_t size = SizeofResource(nullptr, resource);
  if (!field.record_name) {
    const uint8_t* fixed = pe::version_fixed_info(record, size);
    if (!fixed) return false;
    const uint32_t high = pe::version_u32(fixed + pe::kFixedProductVersion);
    const uint32_t low = pe::version_u32(fixed + pe::kFixedProductVersion + 4);
    const unsigned numbers[4] = {high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF};
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
      if (i > 0) field.text[at++] = L'.';
      append_number(field.text, &at, numbers[i]);
    }
    field.text[at] = L'\0';
    return true;
  }
  const uint8_t* text = nullptr;
  size_t units = 0;
  if (!pe::find_version_string(record, size, field.record_name, &text, &units) || units == 0 || units >= kFieldCapacity)
    return false;
  for (size_t i = 0; i < units; ++i) field.text[i] = static_cast<wchar_t>(pe::version_u16(text + 2 * i));
  field.text[units] = L'\0';
  return true;
}

bool unfit_for_name(wchar_t c) { return c < 0x20 || wcschr(L"<>:\"/\\|?*", c) != nullptr; }

}  // namespace

const wchar_t* own_version_field(OwnField which) {
  Field& field = g_fields[static_cast<int>(which)];
  if (!field.read) {
    if (!read_field(field)) wcscpy(field.text, field.fallback);
    field.read = true;
  }
  return field.text;
}

bool append_own_folder_name(OwnField which, WideText& out) {
  const wchar_t* text = own_version_field(which);
  size_t kept = wcslen(text);
  while (kept > 0 && (text[kept - 1] == L'.' || text[kept - 1] == L' ')) --kept;
  for (size_t i = 0; text[i]; ++i)
    if (!out.try_append(i >= kept || unfit_for_name(text[i]) ? L'_' : text[i])) return false;
  return true;
}

}  // namespace tarvex
