// The first payload file's kind, from its PE headers as written to the folder.
#include "launcher/program_kind.h"

#include <windows.h>

#include <cstdint>

#include "support/unique_handle.h"

namespace tarvex {

namespace {

// Linkers put the headers within the first few hundred bytes; an image whose headers
// lie beyond this is taken as a module.
constexpr DWORD kHeadBytes = 4096;
constexpr uint32_t kPeOffsetField = 0x3C;
constexpr uint32_t kMachineField = 4;           // from the "PE\0\0" signature
constexpr uint32_t kCharacteristicsField = 22;  // likewise

uint32_t read_le(const unsigned char* at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

}  // namespace

bool is_program_file(const wchar_t* path) {
  Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr));
  static unsigned char head[kHeadBytes];
  DWORD got = 0;
  if (!file || !ReadFile(file.get(), head, kHeadBytes, &got, nullptr)) return false;
  if (got < kPeOffsetField + 4 || head[0] != 'M' || head[1] != 'Z') return false;
  const uint32_t pe = read_le(head + kPeOffsetField, 4);
  if (pe > got || got - pe < kCharacteristicsField + 2) return false;
  if (read_le(head + pe, 4) != IMAGE_NT_SIGNATURE) return false;
  return read_le(head + pe + kMachineField, 2) == IMAGE_FILE_MACHINE_AMD64 &&
         !(read_le(head + pe + kCharacteristicsField, 2) & IMAGE_FILE_DLL);
}

}  // namespace tarvex
