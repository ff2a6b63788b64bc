// Storing a payload resource: rebuild the resource tree, place it, fix up the headers.
#include "tool/attach.h"

#include <algorithm>
#include <vector>

#include "payload/format.h"
#include "tool/resource_tree.h"

namespace tarvex {

namespace {

using namespace pe;

constexpr uint8_t kNewSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
// binutils (objdump, windres) read resources from the section named ".rsrc", not through
// the data directory; a resource section left behind is renamed so that they find ours.
constexpr uint8_t kOldSectionName[8] = {'.', 'o', 'l', 'd', 'r', 's', 'r', 'c'};
constexpr uint64_t kMaxFileOffset = 0xFFFFFFFFu;  // section and debug pointers are 32-bit
// Wine maps a section's data straight from the file only when its file offset is a
// multiple of the page size; from any other offset it reads the whole section into
// memory at every process start, so the payload's section starts on a page.
constexpr uint64_t kPageSize = 0x1000;
// Debug directory entry: SizeOfData at 16, PointerToRawData (a file offset) at 24.
constexpr size_t kDebugSizeField = 16;
constexpr size_t kDebugPointerField = 24;

bool refuse(std::string* error, const char* reason) {
  *error = reason;
  return false;
}

bool overlaps(uint64_t a, uint64_t a_size, uint64_t b, uint64_t b_size) { return a < b + b_size && b < a + a_size; }

// File offsets of the debug directory entries that lie in section data.
std::vector<size_t> debug_entries(const Image& image) {
  std::vector<size_t> entries;
  const DataDirectory d = image.directory(kDebugDirectory);
  size_t at = 0;
  if (d.rva == 0 || !rva_to_offset(image, d.rva, d.size, &at)) return entries;
  for (size_t k = 0; k + kDebugEntrySize <= d.size; k += kDebugEntrySize) entries.push_back(at + k);
  return entries;
}

// The last section may be rebuilt where it stands when it is a resource section that
// the tree starts at, its data comes last in the file, and nothing else points into it.
bool can_rebuild_last(const Bytes& file, const Image& image) {
  if (image.sections.empty()) return false;
  const Section& s = image.sections.back();
  if (s.name != ".rsrc" || image.directory(kResourceDirectory).rva != s.virtual_address) return false;
  if (s.raw_size == 0 || uint64_t{s.raw_pointer} + s.raw_size != image.raw_end) return false;
  for (size_t i = 0; i < image.directories.size(); ++i) {
    const DataDirectory d = image.directories[i];
    if (i == kResourceDirectory || i == kCertificateDirectory || !d.present()) continue;
    if (overlaps(d.rva, std::max<uint32_t>(d.size, 1), s.virtual_address, s.mapped_size())) return false;
  }
  if (image.symbol_table_pointer != 0 && overlaps(image.symbol_table_pointer, 1, s.raw_pointer, s.raw_size))
    return false;
  for (size_t entry : debug_entries(image)) {
    const uint32_t pointer = get32(file, entry + kDebugPointerField);
    const uint32_t size = get32(file, entry + kDebugSizeField);
    if (pointer != 0 && overlaps(pointer, std::max<uint32_t>(size, 1), s.raw_pointer, s.raw_size)) return false;
  }
  return true;
}

// One more section header fits when the bytes after the table, still inside the
// headers, are unused (zero).
bool has_room_for_section_header(const Bytes& file, const Image& image) {
  const size_t at = image.section_table + image.sections.size() * kSectionHeaderSize;
  if (image.sections.size() >= 0xFFFF || at + kSectionHeaderSize > image.size_of_headers) return false;
  return std::all_of(file.begin() + at, file.begin() + at + kSectionHeaderSize, [](uint8_t b) { return b == 0; });
}

// Where the rebuilt tree goes.
struct Placement {
  bool rebuild_last = false;  // the last section is rebuilt; otherwise one is appended
  uint64_t rva = 0;           // address of the tree
  uint64_t raw_pointer = 0;   // where its data starts in the file
  uint64_t head = 0;          // bytes of the input kept unchanged in front of it
  uint64_t section_size = 0;
  uint64_t raw_size = 0;
  uint64_t image_size = 0;
};

bool place_tree(const Bytes& file, const Image& image, uint64_t section_size, Placement* p, std::string* error) {
  p->rebuild_last = can_rebuild_last(file, image);
  if (p->rebuild_last) {
    const Section& s = image.sections.back();
    p->rva = s.virtual_address;
    p->head = s.raw_pointer;
    p->raw_pointer = align_up(s.raw_pointer, std::max<uint64_t>(image.file_alignment, kPageSize));
  } else {
    if (!has_room_for_section_header(file, image))
      return refuse(error, "its headers have no room for one more section header");
    const uint64_t end = image.sections.empty()
                             ? image.size_of_headers
                             : uint64_t{image.sections.back().virtual_address} + image.sections.back().mapped_size();
    p->rva = align_up(end, image.section_alignment);
    p->head = image.raw_end;
    p->raw_pointer = align_up(image.raw_end, std::max<uint64_t>(image.file_alignment, kPageSize));
  }
  p->section_size = section_size;
  p->raw_size = align_up(section_size, image.file_alignment);
  p->image_size = align_up(p->rva + section_size, image.section_alignment);
  const uint64_t overlay = file.size() - image.raw_end;
  if (p->image_size > 0xFFFFFFFFu || p->raw_pointer + p->raw_size + overlay > kMaxFileOffset)
    return refuse(error, "the result would not fit the 32-bit limits of an image");
  return true;
}

// Section table, sizes, resource directory and the file offsets that pointed into the
// overlay, which now starts behind the new section data. The checksum comes last.
void update_headers(const Bytes& file, const Image& image, const Placement& p, Bytes* out) {
  Bytes& o = *out;
  const size_t coff = image.coff_header, opt = image.optional_header;
  const size_t count = image.sections.size();
  size_t header = image.section_table + count * kSectionHeaderSize;
  uint64_t initialized = image.size_of_initialized_data;
  if (p.rebuild_last) {
    header -= kSectionHeaderSize;
    const Section& s = image.sections.back();
    if (s.characteristics & kScnInitializedData) initialized -= std::min<uint64_t>(initialized, s.raw_size);
  } else {
    std::copy(std::begin(kNewSectionName), std::end(kNewSectionName), o.begin() + header);
    put32(o, header + 36, kScnInitializedData | kScnMemRead);
    put16(o, coff + 2, static_cast<uint16_t>(count + 1));
  }
  put32(o, header + 8, static_cast<uint32_t>(p.section_size));
  put32(o, header + 12, static_cast<uint32_t>(p.rva));
  put32(o, header + 16, static_cast<uint32_t>(p.raw_size));
  put32(o, header + 20, static_cast<uint32_t>(p.raw_pointer));
  for (size_t i = 0; i + (p.rebuild_last ? 1 : 0) < count; ++i) {
    if (image.sections[i].name == ".rsrc")
      std::copy(std::begin(kOldSectionName), std::end(kOldSectionName),
                o.begin() + image.section_table + i * kSectionHeaderSize);
  }

  initialized = std::min<uint64_t>(initialized + p.raw_size, 0xFFFFFFFFu);
  put32(o, opt + kOptSizeOfInitializedData, static_cast<uint32_t>(initialized));
  put32(o, opt + kOptSizeOfImage, static_cast<uint32_t>(p.image_size));
  put32(o, opt + kOptDataDirectories + kResourceDirectory * 8, static_cast<uint32_t>(p.rva));
  put32(o, opt + kOptDataDirectories + kResourceDirectory * 8 + 4, static_cast<uint32_t>(p.section_size));

  const uint64_t old_overlay = image.raw_end, new_overlay = p.raw_pointer + p.raw_size;
  auto moved = [&](uint32_t pointer) {
    return pointer >= old_overlay && pointer < file.size() ? static_cast<uint32_t>(pointer - old_overlay + new_overlay)
                                                           : pointer;
  };
  if (image.symbol_table_pointer != 0) put32(o, coff + 8, moved(image.symbol_table_pointer));
  for (size_t entry : debug_entries(image)) {
    if (entry + kDebugEntrySize <= p.head)
      put32(o, entry + kDebugPointerField, moved(get32(file, entry + kDebugPointerField)));
  }
  put32(o, opt + kOptCheckSum, pe_checksum(o, opt + kOptCheckSum));
}

}  // namespace

bool attach_payload(const Bytes& file, const Bytes& payload, Bytes* out, std::string* error) {
  out->clear();
  Image image;
  if (!parse_image(file, &image, error)) return false;
  if (image.directory(kCertificateDirectory).present())
    return refuse(error, "it carries an Authenticode signature, which would no longer match (sign after attaching)");
  if (image.directories.size() <= kResourceDirectory)
    return refuse(error, "its optional header has no resource directory");
  if (payload.size() > payload::kMaxResourceSize) return refuse(error, "the payload is 4 GiB or larger");

  std::vector<Resource> resources;
  if (!read_resources(file, image, &resources, error)) return false;
  const ResourceKey type = ResourceKey::of_id(payload::kResourceType);
  const ResourceKey id = ResourceKey::of_id(payload::kResourceId);
  const ResourceKey language = ResourceKey::of_id(payload::kResourceLanguage);
  resources.erase(
      std::remove_if(resources.begin(), resources.end(),
                     [&](const Resource& r) { return r.type == type && r.name == id && r.language == language; }),
      resources.end());
  resources.push_back({type, id, language, 0, payload.data(), static_cast<uint32_t>(payload.size())});

  if (!resource_tables_fit(resources)) return refuse(error, "it has more resources of one kind than a table can list");
  Placement p;
  if (!place_tree(file, image, resource_section_size(resources), &p, error)) return false;
  out->reserve(static_cast<size_t>(p.raw_pointer + p.raw_size + (file.size() - image.raw_end)));
  out->assign(file.begin(), file.begin() + static_cast<size_t>(p.head));
  out->resize(static_cast<size_t>(p.raw_pointer), 0);
  build_resource_section(resources, static_cast<uint32_t>(p.rva), out);
  out->resize(static_cast<size_t>(p.raw_pointer + p.raw_size), 0);
  out->insert(out->end(), file.begin() + static_cast<size_t>(image.raw_end), file.end());
  update_headers(file, image, p, out);
  return true;
}

}  // namespace tarvex
