// Test helper: small PE32+ images laid out the way a linker lays them out.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "pe/pe_image.h"
#include "pe/resource_tree.h"
#include "tests/support/le_bytes.h"

namespace tarvex::testing {

struct SectionPlan {
  std::string name;
  Bytes data;
  uint32_t virtual_size = 0;  // 0: the data size
  uint32_t characteristics = pe::kScnInitializedData | pe::kScnMemRead;
};

struct ImagePlan {
  uint16_t machine = pe::kMachineAmd64;
  uint16_t magic = pe::kMagicPe32Plus;
  uint32_t file_alignment = 0x200;
  uint32_t section_alignment = 0x1000;
  uint32_t size_of_headers = 0x400;
  uint16_t subsystem = pe::kSubsystemWindowsCui;
  std::vector<SectionPlan> sections;  // at ascending addresses, data in the same order
  std::vector<std::pair<size_t, pe::DataDirectory>> directories;
  Bytes overlay;                    // bytes after the last section's data
  bool symbols_in_overlay = false;  // PointerToSymbolTable at the overlay's first byte
};

// The address the builder gives section `index`; a section's contents may depend on it.
uint32_t section_rva(const ImagePlan& plan, size_t index);
// Where the builder puts the section table and where the overlay starts in the file.
inline constexpr size_t kSectionTable = 0x40 + 4 + 20 + 240;
uint32_t overlay_offset(const ImagePlan& plan);

// The image, with a correct checksum.
Bytes build_image(const ImagePlan& plan);

// A resource section for `resources` at the address of section `index`.
Bytes resource_section(const std::vector<pe::Resource>& resources, const ImagePlan& plan, size_t index);

// Resources made from literal text, for short tables.
pe::Resource text_resource(pe::ResourceKey type, pe::ResourceKey name, uint32_t language, const std::string& text);

}  // namespace tarvex::testing
