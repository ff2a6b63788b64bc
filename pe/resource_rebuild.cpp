// Rebuilding the resources: edit the list, rebuild the tree, place it, fix up the headers.
#include "pe/resource_rebuild.h"

#include <algorithm>
#include <vector>

#include "payload/cache_record.h"
#include "payload/format.h"

namespace tarvex::pe {

namespace {

constexpr uint8_t kNewSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
// binutils (objdump, windres) read resources from the section named ".rsrc", not through
// the data directory; a resource section left behind is renamed so that they find ours.
constexpr uint8_t kOldSectionName[8] = {'.', 'o', 'l', 'd', 'r', 's', 'r', 'c'};
constexpr uint64_t kMaxFileOffset = 0xFFFFFFFFu;  // section and debug pointers are 32-bit
// Wine maps a section's data straight from the file only when its file offset is a
// multiple of the page size; from any other offset it reads the whole section into
// memory at every process start, so the payload's section starts on a page.
constexpr uint64_t kPageSize = 0x1000;

bool overlaps(uint64_t a, uint64_t a_size, uint64_t b, uint64_t b_size) { return a < b + b_size && b < a + a_size; }

// File offsets of the debug directory entries that lie in section data.
std::vector<size_t> debug_entries(const Image& image) {
  std::vector<size_t> entries;
  const DataDirectory d = image.directory(kDebugDirectory);
  size_t at = 0;
  if (d.rva == 0 || !rva_to_offset(image, d.rva, d.size, &at)) return entries;
  for (size_t k = 0; k + sizeof(DebugDirectoryEntry) <= d.size; k += sizeof(DebugDirectoryEntry))
    entries.push_back(at + k);
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
  for (size_t at : debug_entries(image)) {
    DebugDirectoryEntry entry;
    if (read_at(file, at, &entry, "a debug directory entry")) return false;
    const uint32_t pointer = entry.pointer_to_raw_data;
    if (pointer != 0 && overlaps(pointer, std::max<uint32_t>(entry.size_of_data, 1), s.raw_pointer, s.raw_size))
      return false;
  }
  return true;
}

// One more section header fits when the bytes after the table, still inside the
// headers, are unused (zero).
bool has_room_for_section_header(const Bytes& file, const Image& image) {
  const size_t at = image.section_table + image.sections.size() * sizeof(SectionHeader);
  if (image.sections.size() >= 0xFFFF || at + sizeof(SectionHeader) > image.size_of_headers) return false;
  return std::all_of(file.begin() + at, file.begin() + at + sizeof(SectionHeader), [](uint8_t b) { return b == 0; });
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

Error place_tree(const Bytes& file, const Image& image, uint64_t section_size, Placement* p) {
  p->rebuild_last = can_rebuild_last(file, image);
  if (p->rebuild_last) {
    const Section& s = image.sections.back();
    p->rva = s.virtual_address;
    p->head = s.raw_pointer;
    p->raw_pointer = align_up(s.raw_pointer, std::max<uint64_t>(image.file_alignment, kPageSize));
  } else {
    if (!has_room_for_section_header(file, image)) return fail("its headers have no room for one more section header");
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
    return fail("the result would not fit the 32-bit limits of an image");
  return {};
}

// Section table, sizes, resource directory and the file offsets that pointed into the
// overlay, which now starts behind the new section data. The checksum comes last.
void update_headers(const Bytes& file, const Image& image, const Placement& p, Bytes* out) {
  Bytes& o = *out;
  const size_t count = image.sections.size();
  size_t header = image.section_table + count * sizeof(SectionHeader);
  uint64_t initialized = image.size_of_initialized_data;
  SectionHeader section{};  // a new one starts all zero
  if (p.rebuild_last) {
    header -= sizeof(SectionHeader);
    if (read_at(o, header, &section, "the last section header")) return;
    const Section& s = image.sections.back();
    if (s.characteristics & kScnInitializedData) initialized -= std::min<uint64_t>(initialized, s.raw_size);
  } else {
    std::copy(std::begin(kNewSectionName), std::end(kNewSectionName), section.name);
    section.characteristics = kScnInitializedData | kScnMemRead;
    update_at<CoffFileHeader>(o, image.coff_header,
                              [&](CoffFileHeader& h) { h.number_of_sections = static_cast<uint16_t>(count + 1); });
  }
  section.virtual_size = static_cast<uint32_t>(p.section_size);
  section.virtual_address = static_cast<uint32_t>(p.rva);
  section.size_of_raw_data = static_cast<uint32_t>(p.raw_size);
  section.pointer_to_raw_data = static_cast<uint32_t>(p.raw_pointer);
  write_at(o, header, section);
  for (size_t i = 0; i + (p.rebuild_last ? 1 : 0) < count; ++i) {
    if (image.sections[i].name == ".rsrc")
      update_at<SectionHeader>(o, image.section_table + i * sizeof(SectionHeader), [](SectionHeader& h) {
        std::copy(std::begin(kOldSectionName), std::end(kOldSectionName), h.name);
      });
  }

  initialized = std::min<uint64_t>(initialized + p.raw_size, 0xFFFFFFFFu);
  update_at<OptionalHeader64>(o, image.optional_header, [&](OptionalHeader64& h) {
    h.size_of_initialized_data = static_cast<uint32_t>(initialized);
    h.size_of_image = static_cast<uint32_t>(p.image_size);
  });
  write_at(o, image.data_directories + kResourceDirectory * sizeof(DataDirectory),
           DataDirectory{static_cast<uint32_t>(p.rva), static_cast<uint32_t>(p.section_size)});

  const uint64_t old_overlay = image.raw_end, new_overlay = p.raw_pointer + p.raw_size;
  auto moved = [&](uint32_t pointer) {
    return pointer >= old_overlay && pointer < file.size() ? static_cast<uint32_t>(pointer - old_overlay + new_overlay)
                                                           : pointer;
  };
  if (image.symbol_table_pointer != 0)
    update_at<CoffFileHeader>(o, image.coff_header, [&](CoffFileHeader& h) {
      h.pointer_to_symbol_table = moved(image.symbol_table_pointer);
    });
  for (size_t entry : debug_entries(image)) {
    DebugDirectoryEntry before;
    if (entry + sizeof(DebugDirectoryEntry) <= p.head && !read_at(file, entry, &before, "a debug directory entry"))
      update_at<DebugDirectoryEntry>(
          o, entry, [&](DebugDirectoryEntry& e) { e.pointer_to_raw_data = moved(before.pointer_to_raw_data); });
  }
  const size_t checksum = image.optional_header + kCheckSumField;
  update_at<OptionalHeader64>(o, image.optional_header,
                              [&](OptionalHeader64& h) { h.check_sum = pe_checksum(o, checksum); });
}

bool is_cache_record(const Resource& r) {
  return r.size >= sizeof payload::kCacheRecordMagic &&
         std::equal(std::begin(payload::kCacheRecordMagic), std::end(payload::kCacheRecordMagic), r.data);
}

// Removes resource RT_RCDATA `id` in every language; with `records_only`, only those
// that hold a cache record.
void remove_rcdata(std::vector<Resource>& resources, uint16_t id, bool records_only) {
  const ResourceKey type = ResourceKey::of_id(payload::kResourceType);
  const ResourceKey name = ResourceKey::of_id(id);
  resources.erase(std::remove_if(resources.begin(), resources.end(),
                                 [&](const Resource& r) {
                                   return r.type == type && r.name == name && (!records_only || is_cache_record(r));
                                 }),
                  resources.end());
}

}  // namespace

Error put_payload(std::vector<Resource>& resources, const Bytes& payload) {
  if (payload.size() > payload::kMaxResourceSize) return fail("the payload is 4 GiB or larger");
  // Every language of the payload resource goes: the loader picks among languages by
  // the user's settings, so a copy left in another language could be the one it runs.
  // A cache record goes too: it describes the payload it was made for, not this one.
  // Resource 28 of a program of its own, which does not start with the record's magic,
  // is that program's business and stays.
  remove_rcdata(resources, payload::kResourceId, false);
  remove_rcdata(resources, payload::kCacheRecordId, true);
  resources.push_back({ResourceKey::of_id(payload::kResourceType), ResourceKey::of_id(payload::kResourceId),
                       ResourceKey::of_id(payload::kResourceLanguage), 0, payload.data(),
                       static_cast<uint32_t>(payload.size())});
  return {};
}

Error put_cache_record(std::vector<Resource>& resources, const Bytes& record) {
  remove_rcdata(resources, payload::kCacheRecordId, false);
  resources.push_back({ResourceKey::of_id(payload::kResourceType), ResourceKey::of_id(payload::kCacheRecordId),
                       ResourceKey::of_id(payload::kResourceLanguage), 0, record.data(),
                       static_cast<uint32_t>(record.size())});
  return {};
}

Error rebuild_resources(const Bytes& file, const ResourceEdit& edit, Bytes* out) {
  out->clear();
  Image image;
  TARVEX_TRY(parse_image(file, &image));
  if (image.directory(kCertificateDirectory).present())
    return fail("it carries an Authenticode signature, which would no longer match (sign after attaching)");
  if (image.directories.size() <= kResourceDirectory) return fail("its optional header has no resource directory");

  std::vector<Resource> resources;
  TARVEX_TRY(read_resources(file, image, &resources));
  TARVEX_TRY(edit(resources));

  if (!resource_tables_fit(resources)) return fail("it has more resources of one kind than a table can list");
  Placement p;
  TARVEX_TRY(place_tree(file, image, resource_section_size(resources), &p));
  out->reserve(static_cast<size_t>(p.raw_pointer + p.raw_size + (file.size() - image.raw_end)));
  out->assign(file.begin(), file.begin() + static_cast<size_t>(p.head));
  out->resize(static_cast<size_t>(p.raw_pointer), 0);
  build_resource_section(resources, static_cast<uint32_t>(p.rva), out);
  out->resize(static_cast<size_t>(p.raw_pointer + p.raw_size), 0);
  out->insert(out->end(), file.begin() + static_cast<size_t>(image.raw_end), file.end());
  update_headers(file, image, p, out);
  return {};
}

Error attach_payload(const Bytes& file, const Bytes& payload, Bytes* out) {
  return rebuild_resources(
      file, [&](std::vector<Resource>& resources) { return put_payload(resources, payload); }, out);
}

}  // namespace tarvex::pe
