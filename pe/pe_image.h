// PE32+ x86-64 image headers: bounds-checked parsing and the fields the packer rewrites.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/error.h"
#include "pe/pe_layout.h"

namespace tarvex::pe {

inline constexpr uint16_t kMachineAmd64 = 0x8664;
inline constexpr uint16_t kMagicPe32Plus = 0x20B;
inline constexpr size_t kSectionHeaderSize = sizeof(SectionHeader);
inline constexpr size_t kDebugEntrySize = sizeof(DebugDirectoryEntry);

// PE Format, Optional Header Data Directories (Image Only): the slots the packer looks at.
inline constexpr size_t kExportDirectory = 0;
inline constexpr size_t kResourceDirectory = 2;
inline constexpr size_t kCertificateDirectory = 4;  // a file offset, not an RVA
inline constexpr size_t kDebugDirectory = 6;

// Where the checksum lies in the optional header; pe_checksum skips it.
inline constexpr size_t kCheckSumField = offsetof(OptionalHeader64, check_sum);

// PE Format, Characteristics (of the COFF file header).
inline constexpr uint16_t kFileDll = 0x2000;
// PE Format, Section Flags.
inline constexpr uint32_t kScnInitializedData = 0x00000040;
inline constexpr uint32_t kScnMemRead = 0x40000000;
// PE Format, Windows Subsystem.
inline constexpr uint16_t kSubsystemWindowsGui = 2;
inline constexpr uint16_t kSubsystemWindowsCui = 3;

struct Section {
  std::string name;  // the 8 stored bytes up to the first NUL ("/4" for a long name)
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
  // The loader maps VirtualSize bytes, or SizeOfRawData when VirtualSize is 0.
  uint32_t mapped_size() const { return virtual_size ? virtual_size : raw_size; }
};

struct Image {
  size_t coff_header = 0;       // file offset of the COFF file header (after "PE\0\0")
  size_t optional_header = 0;   // file offset of the optional header
  size_t data_directories = 0;  // file offset of the first data directory
  size_t section_table = 0;     // file offset of the first section header
  uint32_t section_alignment = 0;
  uint32_t file_alignment = 0;
  uint32_t size_of_image = 0;
  uint32_t size_of_headers = 0;
  uint32_t size_of_initialized_data = 0;
  uint32_t symbol_table_pointer = 0;  // COFF symbols, usually after the last section
  uint16_t characteristics = 0;       // of the COFF file header
  uint16_t subsystem = 0;
  std::vector<DataDirectory> directories;
  std::vector<Section> sections;  // in table order, which is ascending address order
  uint64_t raw_end = 0;           // end of the headers or of the furthest section data

  DataDirectory directory(size_t index) const {
    return index < directories.size() ? directories[index] : DataDirectory{};
  }
  // The section whose mapped range holds [rva, rva + size), or null.
  const Section* section_for(uint32_t rva, uint32_t size) const;
};

// Reads the headers of a PE32+ x86-64 image; every field used later is checked to lie
// inside the file.
Error parse_image(const Bytes& file, Image* image);

// File offset of the bytes at [rva, rva + size), when a section holds them all in its raw data.
bool rva_to_offset(const Image& image, uint32_t rva, uint64_t size, size_t* offset);

// The names in the export name table, in table order; none without an export directory.
Error read_export_names(const Bytes& file, const Image& image, std::vector<std::string>* names);

// The optional header's Subsystem field: set it, and bring the checksum up to date.
void set_subsystem(Bytes& file, const Image& image, uint16_t subsystem);

// The PE checksum: the 16-bit one's-complement sum of the file read as little-endian
// words, with the checksum field counted as zero, plus the file length.
uint32_t pe_checksum(const Bytes& file, size_t checksum_offset);

inline uint64_t align_up(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

}  // namespace tarvex::pe
