// The resources of an image as a flat list, and a resource section built from such a list.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pe/pe_image.h"

namespace tarvex::pe {

// A type, name or language: an integer id or a UTF-16 string.
struct ResourceKey {
  bool named = false;
  uint32_t id = 0;
  std::u16string text;

  static ResourceKey of_id(uint32_t id) { return {false, id, {}}; }
  static ResourceKey of_name(std::u16string text) { return {true, 0, std::move(text)}; }
  bool operator==(const ResourceKey& other) const {
    return named == other.named && (named ? text == other.text : id == other.id);
  }
};

// Directory order (PE Format, Resource Directory Table): named entries first, by name;
// then id entries, ascending.
bool key_before(const ResourceKey& a, const ResourceKey& b);

// One resource. The bytes are not owned: they point into the image or the buffer the
// caller keeps alive while the list is in use.
struct Resource {
  ResourceKey type;
  ResourceKey name;
  ResourceKey language;
  uint32_t code_page = 0;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

// Walks the resource directory of `image` (type, name, language) into a flat list.
// An image without a resource directory yields an empty list.
Error read_resources(const Bytes& file, const Image& image, std::vector<Resource>* resources);

// False when a directory table would need more than 65535 named or 65535 id entries,
// more than its 16-bit counts can hold.
bool resource_tables_fit(const std::vector<Resource>& resources);

// The size in bytes of the section that build_resource_section lays down.
uint64_t resource_section_size(const std::vector<Resource>& resources);

// Appends a complete resource section for `resources`, to be loaded at `section_rva`:
// the directory tables (root, types, names, languages), then the name strings, then
// the data entries, then the data, each item 8-byte aligned.
void build_resource_section(const std::vector<Resource>& resources, uint32_t section_rva, Bytes* out);

}  // namespace tarvex::pe
