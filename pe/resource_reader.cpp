// Reading a three-level resource directory (type, name, language) into a flat list.
#include "pe/resource_tree.h"

#include <algorithm>
#include <set>

namespace tarvex::pe {

namespace {

constexpr int kLevels = 3;  // type, name, language

class TreeReader {
 public:
  TreeReader(const Bytes& file, const Image& image, size_t base, uint64_t limit, std::vector<Resource>* out)
      : file_(file), image_(image), base_(base), limit_(limit), out_(out) {}

  Error walk(uint32_t offset, int level, ResourceKey* keys) {
    if (!inside(offset, sizeof(ResourceDirectoryTable))) return fail("a resource directory lies outside its section");
    if (!seen_.insert(offset).second) return fail("the resource directory refers to one table twice");
    const size_t at = base_ + offset;
    ResourceDirectoryTable table;
    TARVEX_TRY(read_at(file_, at, &table, "a resource directory"));
    const uint64_t count = uint64_t{table.number_of_name_entries} + table.number_of_id_entries;
    if (!inside(uint64_t{offset} + sizeof table, count * sizeof(ResourceDirectoryEntry)))
      return fail("a resource directory lies outside its section");
    for (uint64_t i = 0; i < count; ++i) {
      ResourceDirectoryEntry entry;
      TARVEX_TRY(
          read_at(file_, at + sizeof table + i * sizeof(ResourceDirectoryEntry), &entry, "a resource directory"));
      TARVEX_TRY(read_key(entry.name, &keys[level]));
      const bool subdirectory = (entry.offset & kHighBit) != 0;
      if (subdirectory != (level + 1 < kLevels)) return fail("the resource directory is not three levels deep");
      if (subdirectory) TARVEX_TRY(walk(entry.offset & ~kHighBit, level + 1, keys));
      else TARVEX_TRY(read_leaf(entry.offset, keys));
    }
    return {};
  }

 private:
  bool inside(uint64_t offset, uint64_t size) const { return base_ + offset + size <= limit_; }

  // PE Format, Resource Directory String: a 16-bit length, then that many UTF-16 units.
  Error read_key(uint32_t field, ResourceKey* key) {
    if (!(field & kHighBit)) {
      *key = ResourceKey::of_id(field);
      return {};
    }
    const uint32_t offset = field & ~kHighBit;
    if (!inside(offset, 2)) return fail("a resource name lies outside its section");
    le16 length;
    TARVEX_TRY(read_at(file_, base_ + offset, &length, "a resource name"));
    if (!inside(uint64_t{offset} + 2, uint64_t{length} * 2)) return fail("a resource name lies outside its section");
    std::u16string text;
    for (uint64_t k = 0; k < length; ++k) {
      le16 unit;
      TARVEX_TRY(read_at(file_, base_ + offset + 2 + k * 2, &unit, "a resource name"));
      text += static_cast<char16_t>(uint16_t{unit});
    }
    *key = ResourceKey::of_name(std::move(text));
    return {};
  }

  Error read_leaf(uint32_t offset, const ResourceKey* keys) {
    if (!inside(offset, sizeof(ResourceDataEntry))) return fail("a resource data entry lies outside its section");
    ResourceDataEntry entry;
    TARVEX_TRY(read_at(file_, base_ + offset, &entry, "a resource data entry"));
    Resource r{keys[0], keys[1], keys[2], entry.codepage, nullptr, entry.size};
    size_t data = 0;
    if (!rva_to_offset(image_, entry.data_rva, r.size, &data))
      return fail("the data of a resource lies outside the file");
    r.data = file_.data() + data;
    out_->push_back(std::move(r));
    return {};
  }

  const Bytes& file_;
  const Image& image_;
  const size_t base_;     // file offset of the root directory; tree offsets count from here
  const uint64_t limit_;  // end of the section data in the file
  std::vector<Resource>* out_;
  std::set<uint32_t> seen_;
};

}  // namespace

bool key_before(const ResourceKey& a, const ResourceKey& b) {
  // The loader binary-searches names by plain UTF-16 code-unit comparison, then ids.
  if (a.named != b.named) return a.named;
  return a.named ? a.text < b.text : a.id < b.id;
}

Error read_resources(const Bytes& file, const Image& image, std::vector<Resource>* resources) {
  resources->clear();
  const DataDirectory directory = image.directory(kResourceDirectory);
  if (directory.rva == 0) return {};
  size_t base = 0;
  const Section* section = image.section_for(directory.rva, sizeof(ResourceDirectoryTable));
  if (!section || !rva_to_offset(image, directory.rva, sizeof(ResourceDirectoryTable), &base))
    return fail("the resource directory lies outside the file");
  const uint64_t in_file = std::min(section->raw_size, section->mapped_size());
  TreeReader reader(file, image, base, uint64_t{section->raw_pointer} + in_file, resources);
  ResourceKey keys[kLevels];
  return reader.walk(0, 0, keys);
}

}  // namespace tarvex::pe
