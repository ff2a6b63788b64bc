// The first payload file's kind, from its PE headers as written to the folder.
#include "launcher/program_kind.h"

#include <windows.h>

#include <cstdint>

#include "support/little_endian.h"
#include "support/unique_handle.h"

namespace tarvex {

namespace {

// Linkers put the headers within the first few hundred bytes; an image whose headers
// lie beyond this is taken as a module.
constexpr DWORD kHeadBytes = 4096;
constexpr uint32_t kPeOffsetField = 0x3C;
constexpr uint32_t kMachineField = 4;           // from the "PE\0\0" signature
constexpr uint32_t kCharacteristicsField = 22;  // likewise

}  // namespace

bool is_program_file(const wchar_t* path) {
  Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr));
  static unsigned char head[kHeadBytes];
  DWORD got = 0;
  if (!file || !ReadFile(file.get(), head, kHeadBytes, &got, nullptr)) return false;
  le16 mz, machine, characteristics;
  le32 pe, signature;
  if (!read_checked(head, got, 0, &mz) || mz != IMAGE_DOS_SIGNATURE) return false;
  if (!read_checked(head, got, kPeOffsetField, &pe)) return false;
  if (!read_checked(head, got, pe, &signature) || signature != IMAGE_NT_SIGNATURE) return false;
  if (!read_checked(head, got, uint64_t{pe} + kMachineField, &machine) ||
      !read_checked(head, got, uint64_t{pe} + kCharacteristicsField, &characteristics))
    return false;
  return machine == IMAGE_FILE_MACHINE_AMD64 && !(characteristics & IMAGE_FILE_DLL);
}

}  // namespace tarvex
