// PE32+ x86-64 header parsing with every read checked against the file size.
#include "tool/pe_image.h"

#include <cstdio>

namespace tarvex::pe {

namespace {

constexpr size_t kDosHeaderSize = 64;
constexpr size_t kLfanewField = 0x3C;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kMaxDirectories = 16;  // the loader ignores slots past these
constexpr uint32_t kMaxFileAlignment = 0x10000;
constexpr uint32_t kMaxSectionAlignment = 0x10000000;

bool is_power_of_two(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool fail(std::string* error, const std::string& reason) {
  *error = reason;
  return false;
}

std::string hex(uint32_t v) {
  char text[16];
  snprintf(text, sizeof text, "0x%x", v);
  return text;
}

// Export directory table: the name count and the RVA of the name pointer table.
constexpr size_t kExportTableSize = 40;
constexpr size_t kExportNameCount = 24;
constexpr size_t kExportNamePointers = 32;
constexpr size_t kMaxExportNameLength = 4096;

}  // namespace

const Section* Image::section_for(uint32_t rva, uint32_t size) const {
  for (const Section& s : sections) {
    uint64_t start = s.virtual_address, end = start + s.mapped_size();
    if (rva >= start && uint64_t{rva} + size <= end) return &s;
  }
  return nullptr;
}

bool rva_to_offset(const Image& image, uint32_t rva, uint32_t size, size_t* offset) {
  for (const Section& s : image.sections) {
    // Raw bytes past VirtualSize are not mapped; mapped bytes past the raw data are zeros
    // that the file does not hold.
    uint64_t in_file = s.raw_size < s.mapped_size() ? s.raw_size : s.mapped_size();
    uint64_t start = s.virtual_address;
    if (rva >= start && uint64_t{rva} + size <= start + in_file) {
      *offset = static_cast<size_t>(s.raw_pointer + (rva - start));
      return true;
    }
  }
  return false;
}

bool parse_image(const Bytes& file, Image* image, std::string* error) {
  const uint64_t n = file.size();
  if (n < kDosHeaderSize) return fail(error, "not a PE32+ x86-64 image: too short for an MZ header");
  if (file[0] != 'M' || file[1] != 'Z') return fail(error, "not a PE32+ x86-64 image: no MZ signature");
  const uint64_t pe = get32(file, kLfanewField);
  if (pe + 4 + kCoffHeaderSize + 2 > n)
    return fail(error, "not a PE32+ x86-64 image: the PE header lies outside the file");
  if (file[pe] != 'P' || file[pe + 1] != 'E' || file[pe + 2] != 0 || file[pe + 3] != 0)
    return fail(error, "not a PE32+ x86-64 image: no PE signature");

  Image img;
  img.coff_header = static_cast<size_t>(pe + 4);
  img.optional_header = img.coff_header + kCoffHeaderSize;
  const uint16_t machine = get16(file, img.coff_header);
  if (machine != kMachineAmd64) return fail(error, "not a PE32+ x86-64 image: machine type " + hex(machine));
  const uint16_t magic = get16(file, img.optional_header);
  if (magic != kMagicPe32Plus) return fail(error, "not a PE32+ x86-64 image: optional header magic " + hex(magic));

  const size_t section_count = get16(file, img.coff_header + 2);
  img.symbol_table_pointer = get32(file, img.coff_header + 8);
  const size_t optional_size = get16(file, img.coff_header + 16);
  if (optional_size < kOptDataDirectories || img.optional_header + optional_size > n)
    return fail(error, "the optional header is too small or lies outside the file");

  const size_t opt = img.optional_header;
  img.size_of_initialized_data = get32(file, opt + kOptSizeOfInitializedData);
  img.section_alignment = get32(file, opt + kOptSectionAlignment);
  img.file_alignment = get32(file, opt + kOptFileAlignment);
  img.size_of_image = get32(file, opt + kOptSizeOfImage);
  img.size_of_headers = get32(file, opt + kOptSizeOfHeaders);
  if (!is_power_of_two(img.file_alignment) || img.file_alignment > kMaxFileAlignment ||
      !is_power_of_two(img.section_alignment) || img.section_alignment > kMaxSectionAlignment ||
      img.section_alignment < img.file_alignment)
    return fail(error, "unusable section or file alignment");

  uint64_t directory_count = get32(file, opt + kOptNumberOfRvaAndSizes);
  if (directory_count > kMaxDirectories) directory_count = kMaxDirectories;
  if (kOptDataDirectories + directory_count * 8 > optional_size)
    return fail(error, "the data directories do not fit the optional header");
  for (size_t i = 0; i < directory_count; ++i) {
    size_t at = opt + kOptDataDirectories + i * 8;
    img.directories.push_back({get32(file, at), get32(file, at + 4)});
  }

  img.section_table = opt + optional_size;
  const uint64_t table_end = img.section_table + uint64_t{section_count} * kSectionHeaderSize;
  if (table_end > img.size_of_headers || img.size_of_headers > n)
    return fail(error, "the section table or SizeOfHeaders lies outside the file");

  img.raw_end = img.size_of_headers;
  uint64_t next_free_address = 0;
  for (size_t i = 0; i < section_count; ++i) {
    const size_t at = img.section_table + i * kSectionHeaderSize;
    Section s;
    for (size_t k = 0; k < 8 && file[at + k] != 0; ++k) s.name += static_cast<char>(file[at + k]);
    s.virtual_size = get32(file, at + 8);
    s.virtual_address = get32(file, at + 12);
    s.raw_size = get32(file, at + 16);
    s.raw_pointer = get32(file, at + 20);
    s.characteristics = get32(file, at + 36);
    const uint64_t end_address = uint64_t{s.virtual_address} + s.mapped_size();
    if (s.virtual_address < next_free_address || end_address > 0xFFFFFFFFu)
      return fail(error, "section '" + s.name + "' overlaps another or lies outside the address space");
    next_free_address = align_up(end_address, img.section_alignment);
    if (s.raw_size != 0) {
      const uint64_t raw_end = uint64_t{s.raw_pointer} + s.raw_size;
      if (s.raw_pointer < img.size_of_headers)
        return fail(error, "the data of section '" + s.name + "' overlaps the headers");
      if (raw_end > n) return fail(error, "the data of section '" + s.name + "' lies outside the file");
      if (raw_end > img.raw_end) img.raw_end = raw_end;
    }
    img.sections.push_back(s);
  }
  *image = std::move(img);
  return true;
}

bool read_export_names(const Bytes& file, const Image& image, std::vector<std::string>* names, std::string* error) {
  names->clear();
  const DataDirectory d = image.directory(kExportDirectory);
  if (!d.present()) return true;
  size_t table = 0;
  if (!rva_to_offset(image, d.rva, kExportTableSize, &table)) {
    *error = "the export directory lies outside the file's sections";
    return false;
  }
  const uint32_t count = get32(file, table + kExportNameCount);
  size_t pointers = 0;
  if (count > file.size() / 4 || !rva_to_offset(image, get32(file, table + kExportNamePointers), count * 4, &pointers)) {
    *error = "the export name table lies outside the file's sections";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    size_t at = 0;
    if (!rva_to_offset(image, get32(file, pointers + 4 * size_t{i}), 1, &at)) {
      *error = "an export name lies outside the file's sections";
      return false;
    }
    std::string name;
    while (at < file.size() && file[at] != 0 && name.size() < kMaxExportNameLength) name += static_cast<char>(file[at++]);
    names->push_back(name);
  }
  return true;
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
    else
      word = byte_at(i) | byte_at(i + 1) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + n);
}

}  // namespace tarvex::pe
