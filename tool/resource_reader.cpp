// Reading a three-level resource directory (type, name, language) into a flat list.
#include "tool/resource_tree.h"

#include <algorithm>
#include <set>

namespace tarvex::pe {

namespace {

constexpr int kLevels = 3;  // type, name, language

class TreeReader {
 public:
  TreeReader(const Bytes& file, const Image& image, size_t base, uint64_t limit, std::vector<Resource>* out)
      : file_(file), image_(image), base_(base), limit_(limit), out_(out) {}

  bool walk(uint32_t offset, int level, ResourceKey* keys, std::string* error) {
    if (!inside(offset, kDirectoryHeaderSize)) return fail(error, "a resource directory lies outside its section");
    if (!seen_.insert(offset).second) return fail(error, "the resource directory refers to one table twice");
    const size_t at = base_ + offset;
    const uint64_t count = uint64_t{get16(file_, at + 12)} + get16(file_, at + 14);
    if (!inside(uint64_t{offset} + kDirectoryHeaderSize, count * kDirectoryEntrySize))
      return fail(error, "a resource directory lies outside its section");
    for (uint64_t i = 0; i < count; ++i) {
      const size_t entry = at + kDirectoryHeaderSize + static_cast<size_t>(i) * kDirectoryEntrySize;
      const uint32_t name = get32(file_, entry), target = get32(file_, entry + 4);
      if (!read_key(name, &keys[level], error)) return false;
      const bool subdirectory = (target & kHighBit) != 0;
      if (subdirectory != (level + 1 < kLevels)) return fail(error, "the resource directory is not three levels deep");
      if (subdirectory) {
        if (!walk(target & ~kHighBit, level + 1, keys, error)) return false;
      } else if (!read_leaf(target, keys, error)) {
        return false;
      }
    }
    return true;
  }

 private:
  bool inside(uint64_t offset, uint64_t size) const { return base_ + offset + size <= limit_; }

  static bool fail(std::string* error, const char* reason) {
    *error = reason;
    return false;
  }

  bool read_key(uint32_t field, ResourceKey* key, std::string* error) {
    if (!(field & kHighBit)) {
      *key = ResourceKey::of_id(field);
      return true;
    }
    const uint32_t offset = field & ~kHighBit;
    if (!inside(offset, 2)) return fail(error, "a resource name lies outside its section");
    const uint64_t length = get16(file_, base_ + offset);
    if (!inside(uint64_t{offset} + 2, length * 2)) return fail(error, "a resource name lies outside its section");
    std::u16string text;
    for (uint64_t k = 0; k < length; ++k) text += static_cast<char16_t>(get16(file_, base_ + offset + 2 + k * 2));
    *key = ResourceKey::of_name(std::move(text));
    return true;
  }

  bool read_leaf(uint32_t offset, const ResourceKey* keys, std::string* error) {
    if (!inside(offset, kDataEntrySize)) return fail(error, "a resource data entry lies outside its section");
    const size_t at = base_ + offset;
    Resource r{keys[0], keys[1], keys[2], get32(file_, at + 8), nullptr, get32(file_, at + 4)};
    size_t data = 0;
    if (!rva_to_offset(image_, get32(file_, at), r.size, &data))
      return fail(error, "the data of a resource lies outside the file");
    r.data = file_.data() + data;
    out_->push_back(std::move(r));
    return true;
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

bool read_resources(const Bytes& file, const Image& image, std::vector<Resource>* resources, std::string* error) {
  resources->clear();
  const DataDirectory directory = image.directory(kResourceDirectory);
  if (directory.rva == 0) return true;
  size_t base = 0;
  const Section* section = image.section_for(directory.rva, kDirectoryHeaderSize);
  if (!section || !rva_to_offset(image, directory.rva, kDirectoryHeaderSize, &base)) {
    *error = "the resource directory lies outside the file";
    return false;
  }
  const uint64_t in_file = std::min(section->raw_size, section->mapped_size());
  TreeReader reader(file, image, base, uint64_t{section->raw_pointer} + in_file, resources);
  ResourceKey keys[kLevels];
  return reader.walk(0, 0, keys, error);
}

}  // namespace tarvex::pe
