// The on-disk structures of a PE32+ image that the packer reads and writes, each
// defined once and shared by parsing and updating. Fields are little-endian integers
// stored as bytes, in file order with no padding, so a structure's size is its size
// in the file; read_at and write_at copy one out of and into the file bytes, and
// neither goes past the file's end. The
// comments name the section of Microsoft's "PE Format" document that defines each.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "pe/error.h"
#include "support/bytes.h"
#include "support/little_endian.h"

namespace tarvex::pe {

// PE Format, COFF File Header (Object and Image).
struct CoffFileHeader {
  le16 machine;
  le16 number_of_sections;
  le32 time_date_stamp;
  le32 pointer_to_symbol_table;  // a file offset; 0 when there are no COFF symbols
  le32 number_of_symbols;
  le16 size_of_optional_header;
  le16 characteristics;
};
static_assert(sizeof(CoffFileHeader) == 20);

// PE Format, Optional Header Standard Fields and Optional Header Windows-Specific
// Fields, PE32+ form: everything before the data directories.
struct OptionalHeader64 {
  le16 magic;
  uint8_t major_linker_version;
  uint8_t minor_linker_version;
  le32 size_of_code;
  le32 size_of_initialized_data;
  le32 size_of_uninitialized_data;
  le32 address_of_entry_point;
  le32 base_of_code;
  le64 image_base;
  le32 section_alignment;
  le32 file_alignment;
  le16 major_operating_system_version;
  le16 minor_operating_system_version;
  le16 major_image_version;
  le16 minor_image_version;
  le16 major_subsystem_version;
  le16 minor_subsystem_version;
  le32 win32_version_value;
  le32 size_of_image;
  le32 size_of_headers;
  le32 check_sum;
  le16 subsystem;  // PE Format, Windows Subsystem
  le16 dll_characteristics;
  le64 size_of_stack_reserve;
  le64 size_of_stack_commit;
  le64 size_of_heap_reserve;
  le64 size_of_heap_commit;
  le32 loader_flags;
  le32 number_of_rva_and_sizes;
};
static_assert(sizeof(OptionalHeader64) == 112);

// PE Format, Optional Header Data Directories (Image Only).
struct DataDirectory {
  le32 rva;
  le32 size;
  bool present() const { return rva != 0 || size != 0; }
};
static_assert(sizeof(DataDirectory) == 8);

// PE Format, Section Table (Section Headers).
struct SectionHeader {
  uint8_t name[8];  // NUL-padded; "/4" and the like point into the COFF string table
  le32 virtual_size;
  le32 virtual_address;
  le32 size_of_raw_data;
  le32 pointer_to_raw_data;
  le32 pointer_to_relocations;
  le32 pointer_to_linenumbers;
  le16 number_of_relocations;
  le16 number_of_linenumbers;
  le32 characteristics;
};
static_assert(sizeof(SectionHeader) == 40);

// PE Format, Debug Directory (Image Only): one entry of the table.
struct DebugDirectoryEntry {
  le32 characteristics;
  le32 time_date_stamp;
  le16 major_version;
  le16 minor_version;
  le32 type;
  le32 size_of_data;
  le32 address_of_raw_data;
  le32 pointer_to_raw_data;  // a file offset, which moves when the data behind it moves
};
static_assert(sizeof(DebugDirectoryEntry) == 28);

// PE Format, Export Directory Table.
struct ExportDirectoryTable {
  le32 export_flags;
  le32 time_date_stamp;
  le16 major_version;
  le16 minor_version;
  le32 name_rva;
  le32 ordinal_base;
  le32 address_table_entries;
  le32 number_of_name_pointers;
  le32 export_address_table_rva;
  le32 name_pointer_rva;
  le32 ordinal_table_rva;
};
static_assert(sizeof(ExportDirectoryTable) == 40);

// PE Format, Resource Directory Table: the header; its entries follow it, the named
// ones first.
struct ResourceDirectoryTable {
  le32 characteristics;
  le32 time_date_stamp;
  le16 major_version;
  le16 minor_version;
  le16 number_of_name_entries;
  le16 number_of_id_entries;
};
static_assert(sizeof(ResourceDirectoryTable) == 16);

// PE Format, Resource Directory Entries. With the high bit set, `name` is the offset
// of a length-prefixed UTF-16 string and `offset` that of another directory table;
// without it, `name` is an integer id and `offset` that of a data entry. Offsets count
// from the start of the resource directory.
inline constexpr uint32_t kHighBit = 0x80000000u;
struct ResourceDirectoryEntry {
  le32 name;
  le32 offset;
};
static_assert(sizeof(ResourceDirectoryEntry) == 8);

// PE Format, Resource Data Entry.
struct ResourceDataEntry {
  le32 data_rva;
  le32 size;
  le32 codepage;
  le32 reserved;
};
static_assert(sizeof(ResourceDataEntry) == 16);

// Copies the T at `at` into `value`; a failure, saying that `what` lies outside the
// file, when it does not lie wholly inside.
template <class T>
Error read_at(const Bytes& file, uint64_t at, T* value, const char* what) {
  if (!read_checked(file.data(), file.size(), at, value)) return fail(std::string(what) + " lies outside the file");
  return {};
}
// Writes the T at `at`; nothing when it would not lie wholly inside the file, which
// the writers size beforehand.
template <class T>
void write_at(Bytes& file, uint64_t at, const T& value) {
  if (fits_within(file.size(), at, sizeof value)) memcpy(file.data() + at, &value, sizeof value);
}
// Reads the T at `at`, lets `change` alter it, and writes it back; nothing when it
// does not lie wholly inside the file.
template <class T, class Change>
void update_at(Bytes& file, uint64_t at, Change change) {
  T value;
  if (!read_checked(file.data(), file.size(), at, &value)) return;
  change(value);
  write_at(file, at, value);
}

}  // namespace tarvex::pe
