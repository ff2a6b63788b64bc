// PE32+ x86-64 header parsing with every read checked against the file size.
#include "pe/pe_image.h"

#include <cstdio>

namespace tarvex::pe {

namespace {

// PE Format, MS-DOS Stub (Image Only) and Signature (Image Only): the offset of the
// "PE\0\0" signature lies at 0x3C; the COFF file header follows the signature.
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kLfanewField = 0x3C;
constexpr size_t kSignatureSize = 4;
constexpr size_t kMaxDirectories = 16;  // the loader ignores slots past these
constexpr uint32_t kMaxFileAlignment = 0x10000;
constexpr uint32_t kMaxSectionAlignment = 0x10000000;
constexpr size_t kMaxExportNameLength = 4096;

bool is_power_of_two(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::string hex(uint32_t v) {
  char text[16];
  snprintf(text, sizeof text, "0x%x", v);
  return text;
}

}  // namespace

const Section* Image::section_for(uint32_t rva, uint32_t size) const {
  for (const Section& s : sections) {
    uint64_t start = s.virtual_address, end = start + s.mapped_size();
    if (rva >= start && uint64_t{rva} + size <= end) return &s;
  }
  return nullptr;
}

bool rva_to_offset(const Image& image, uint32_t rva, uint64_t size, size_t* offset) {
  for (const Section& s : image.sections) {
    // Raw bytes past VirtualSize are not mapped; mapped bytes past the raw data are zeros
    // that the file does not hold (PE Format, Section Table (Section Headers)).
    uint64_t in_file = s.raw_size < s.mapped_size() ? s.raw_size : s.mapped_size();
    uint64_t start = s.virtual_address;
    if (rva >= start && uint64_t{rva} + size <= start + in_file) {
      *offset = static_cast<size_t>(s.raw_pointer + (rva - start));
      return true;
    }
  }
  return false;
}

Error parse_image(const Bytes& file, Image* image) {
  const uint64_t n = file.size();
  if (n < kDosHeaderSize) return fail("not a PE32+ x86-64 image: too short for an MZ header");
  if (file[0] != 'M' || file[1] != 'Z') return fail("not a PE32+ x86-64 image: no MZ signature");
  le32 lfanew;
  TARVEX_TRY(read_at(file, kLfanewField, &lfanew, "the PE header offset"));
  const uint64_t pe = lfanew;
  // The magic, the first field of the optional header, is read before its size is known.
  if (pe + kSignatureSize + sizeof(CoffFileHeader) + 2 > n)
    return fail("not a PE32+ x86-64 image: the PE header lies outside the file");
  if (file[pe] != 'P' || file[pe + 1] != 'E' || file[pe + 2] != 0 || file[pe + 3] != 0)
    return fail("not a PE32+ x86-64 image: no PE signature");

  Image img;
  img.coff_header = static_cast<size_t>(pe + kSignatureSize);
  img.optional_header = img.coff_header + sizeof(CoffFileHeader);
  CoffFileHeader coff;
  TARVEX_TRY(read_at(file, img.coff_header, &coff, "the COFF file header"));
  if (coff.machine != kMachineAmd64) return fail("not a PE32+ x86-64 image: machine type " + hex(coff.machine));
  le16 magic;
  TARVEX_TRY(read_at(file, img.optional_header, &magic, "the optional header"));
  if (magic != kMagicPe32Plus) return fail("not a PE32+ x86-64 image: optional header magic " + hex(uint16_t{magic}));

  const size_t section_count = coff.number_of_sections;
  img.symbol_table_pointer = coff.pointer_to_symbol_table;
  img.characteristics = coff.characteristics;
  const size_t optional_size = coff.size_of_optional_header;
  if (optional_size < sizeof(OptionalHeader64) || img.optional_header + optional_size > n)
    return fail("the optional header is too small or lies outside the file");

  OptionalHeader64 opt;
  TARVEX_TRY(read_at(file, img.optional_header, &opt, "the optional header"));
  img.size_of_initialized_data = opt.size_of_initialized_data;
  img.section_alignment = opt.section_alignment;
  img.file_alignment = opt.file_alignment;
  img.size_of_image = opt.size_of_image;
  img.size_of_headers = opt.size_of_headers;
  img.subsystem = opt.subsystem;
  if (!is_power_of_two(img.file_alignment) || img.file_alignment > kMaxFileAlignment ||
      !is_power_of_two(img.section_alignment) || img.section_alignment > kMaxSectionAlignment ||
      img.section_alignment < img.file_alignment)
    return fail("unusable section or file alignment");

  // PE Format, Optional Header Data Directories (Image Only): NumberOfRvaAndSizes
  // entries follow the fixed fields, within SizeOfOptionalHeader.
  uint64_t directory_count = opt.number_of_rva_and_sizes;
  if (directory_count > kMaxDirectories) directory_count = kMaxDirectories;
  if (sizeof(OptionalHeader64) + directory_count * sizeof(DataDirectory) > optional_size)
    return fail("the data directories do not fit the optional header");
  img.data_directories = img.optional_header + sizeof(OptionalHeader64);
  for (size_t i = 0; i < directory_count; ++i) {
    DataDirectory d;
    TARVEX_TRY(read_at(file, img.data_directories + i * sizeof(DataDirectory), &d, "a data directory"));
    img.directories.push_back(d);
  }

  // PE Format, Section Table (Section Headers): the table follows the optional header
  // immediately, whatever its size.
  img.section_table = img.optional_header + optional_size;
  const uint64_t table_end = img.section_table + uint64_t{section_count} * sizeof(SectionHeader);
  if (table_end > img.size_of_headers || img.size_of_headers > n)
    return fail("the section table or SizeOfHeaders lies outside the file");

  img.raw_end = img.size_of_headers;
  uint64_t next_free_address = 0;
  for (size_t i = 0; i < section_count; ++i) {
    SectionHeader h;
    TARVEX_TRY(read_at(file, img.section_table + i * sizeof(SectionHeader), &h, "a section header"));
    Section s;
    for (size_t k = 0; k < sizeof h.name && h.name[k] != 0; ++k) s.name += static_cast<char>(h.name[k]);
    s.virtual_size = h.virtual_size;
    s.virtual_address = h.virtual_address;
    s.raw_size = h.size_of_raw_data;
    s.raw_pointer = h.pointer_to_raw_data;
    s.characteristics = h.characteristics;
    const uint64_t end_address = uint64_t{s.virtual_address} + s.mapped_size();
    if (s.virtual_address < next_free_address || end_address > 0xFFFFFFFFu)
      return fail("section '" + s.name + "' overlaps another or lies outside the address space");
    next_free_address = align_up(end_address, img.section_alignment);
    if (s.raw_size != 0) {
      const uint64_t raw_end = uint64_t{s.raw_pointer} + s.raw_size;
      if (s.raw_pointer < img.size_of_headers) return fail("the data of section '" + s.name + "' overlaps the headers");
      if (raw_end > n) return fail("the data of section '" + s.name + "' lies outside the file");
      if (raw_end > img.raw_end) img.raw_end = raw_end;
    }
    img.sections.push_back(s);
  }
  *image = std::move(img);
  return {};
}

Error read_export_names(const Bytes& file, const Image& image, std::vector<std::string>* names) {
  names->clear();
  const DataDirectory d = image.directory(kExportDirectory);
  if (!d.present()) return {};
  size_t table = 0;
  if (!rva_to_offset(image, d.rva, sizeof(ExportDirectoryTable), &table))
    return fail("the export directory lies outside the file's sections");
  ExportDirectoryTable exports;
  TARVEX_TRY(read_at(file, table, &exports, "the export directory"));
  // In 64 bits: a count of 2^30 or more must not wrap the table's size into a small one.
  const uint64_t count = exports.number_of_name_pointers;
  size_t pointers = 0;
  if (!rva_to_offset(image, exports.name_pointer_rva, count * 4, &pointers))
    return fail("the export name table lies outside the file's sections");
  for (uint64_t i = 0; i < count; ++i) {
    le32 name_rva;
    TARVEX_TRY(read_at(file, pointers + 4 * i, &name_rva, "the export name table"));
    size_t at = 0;
    if (!rva_to_offset(image, name_rva, 1, &at)) return fail("an export name lies outside the file's sections");
    std::string name;
    while (at < file.size() && file[at] != 0 && name.size() < kMaxExportNameLength)
      name += static_cast<char>(file[at++]);
    names->push_back(name);
  }
  return {};
}

void set_subsystem(Bytes& file, const Image& image, uint16_t subsystem) {
  update_at<OptionalHeader64>(file, image.optional_header, [&](OptionalHeader64& h) { h.subsystem = subsystem; });
  const size_t checksum = image.optional_header + kCheckSumField;
  update_at<OptionalHeader64>(file, image.optional_header,
                              [&](OptionalHeader64& h) { h.check_sum = pe_checksum(file, checksum); });
}

uint32_t pe_checksum(const Bytes& file, size_t checksum_offset) {
  const size_t n = file.size();
  const uint8_t* b = file.data();
  auto byte_at = [&](size_t k) -> uint32_t {
    return k >= n || (k >= checksum_offset && k < checksum_offset + 4) ? 0 : b[k];
  };
  uint64_t sum = 0;
  for (size_t i = 0; i < n; i += 2) {
    uint32_t word;
    if (i + 1 < n && (i + 1 < checksum_offset || i >= checksum_offset + 4))
      word = b[i] | static_cast<uint32_t>(b[i + 1]) << 8;
    else word = byte_at(i) | byte_at(i + 1) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + n);
}

}  // namespace tarvex::pe
