// The payload container: where it is stored, how it is laid out, and its limits.
// Shared by the Launcher, the payload writer and the packer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tarvex::payload {

// The payload is resource RT_RCDATA 27, language neutral, of the Launcher image.
inline constexpr uint16_t kResourceType = 10;  // RT_RCDATA
inline constexpr uint16_t kResourceId = 27;
inline constexpr uint16_t kResourceLanguage = 0;
// Present (RT_RCDATA 29, starting with the magic), the windowed Launcher shows no
// progress window; it belongs to the Launcher copy, like its icon and subsystem.
inline constexpr uint16_t kNoProgressId = 29;
inline constexpr unsigned char kNoProgressMagic[4] = {'T', 'X', 'N', 'P'};

// Resource layout: signature, one or more Zstandard frames, 8-byte trailer holding
// the offset of the trailer itself (3 + frame length), little-endian.
inline constexpr unsigned char kSignature[3] = {'W', 'Q', 'J'};
inline constexpr size_t kSignatureSize = sizeof(kSignature);
inline constexpr size_t kTrailerSize = 8;

// Entry stream: UTF-16LE name ended by 0x0000, 64-bit little-endian size, content;
// after the last entry the end marker, an empty name.
inline constexpr size_t kNameUnitSize = 2;
inline constexpr size_t kSizeFieldSize = 8;
inline constexpr uint16_t kNameSeparator = 0x005C;  // backslash

// Limits readers impose.
inline constexpr size_t kMaxNameUnits = 1023;  // before the terminator
inline constexpr unsigned kMaxWindowLog = 27;  // decoder default limit
inline constexpr unsigned kMinWindowLog = 10;
inline constexpr uint64_t kMaxResourceSize = 0xFFFFFFFFull;  // 32-bit SizeofResource

// Reader buffers.
inline constexpr size_t kReaderOutputSize = 131072;
inline constexpr size_t kWriteSliceSize = 32768;

}  // namespace tarvex::payload
