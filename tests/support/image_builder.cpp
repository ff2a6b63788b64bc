// Test helper: building small PE32+ images.
#include "tests/support/image_builder.h"

#include <algorithm>
#include <deque>

#include "pe/resource_tree.h"

namespace tarvex::testing {

using namespace pe;

namespace {
uint32_t mapped(const SectionPlan& s) { return s.virtual_size ? s.virtual_size : static_cast<uint32_t>(s.data.size()); }
uint32_t raw_size(const ImagePlan& plan, const SectionPlan& s) {
  return static_cast<uint32_t>(align_up(s.data.size(), plan.file_alignment));
}
}  // namespace

uint32_t section_rva(const ImagePlan& plan, size_t index) {
  uint64_t rva = align_up(plan.size_of_headers, plan.section_alignment);
  for (size_t i = 0; i < index; ++i) rva += align_up(mapped(plan.sections[i]), plan.section_alignment);
  return static_cast<uint32_t>(rva);
}

uint32_t overlay_offset(const ImagePlan& plan) {
  uint32_t at = plan.size_of_headers;
  for (const SectionPlan& s : plan.sections) at += raw_size(plan, s);
  return at;
}

// Every field is written at its offset from the PE Format document, independently of
// the structures that the code under test reads them with.
Bytes build_image(const ImagePlan& plan) {
  Bytes b(plan.size_of_headers, 0);
  b[0] = 'M';
  b[1] = 'Z';
  put32(b, 0x3C, 0x40);
  b[0x40] = 'P';
  b[0x41] = 'E';
  const size_t coff = 0x44, opt = coff + 20;
  put16(b, coff, plan.machine);
  put16(b, coff + 2, static_cast<uint16_t>(plan.sections.size()));
  if (plan.symbols_in_overlay) put32(b, coff + 8, overlay_offset(plan));
  put16(b, coff + 16, 240);
  put16(b, coff + 18, 0x22);  // executable, large address aware
  put16(b, opt, plan.magic);
  put32(b, opt + 32, plan.section_alignment);  // SectionAlignment
  put32(b, opt + 36, plan.file_alignment);     // FileAlignment
  put16(b, opt + 48, 5);                       // subsystem version 5.2
  put16(b, opt + 50, 2);
  put32(b, opt + 60, plan.size_of_headers);  // SizeOfHeaders
  put16(b, opt + 68, plan.subsystem);
  put32(b, opt + 108, 16);                           // NumberOfRvaAndSizes
  for (const auto& [index, d] : plan.directories) {  // the data directories
    put32(b, opt + 112 + index * 8, d.rva);
    put32(b, opt + 112 + index * 8 + 4, d.size);
  }
  uint32_t initialized = 0;
  for (size_t i = 0; i < plan.sections.size(); ++i) {
    const SectionPlan& s = plan.sections[i];
    const size_t h = kSectionTable + i * kSectionHeaderSize;
    std::copy_n(s.name.begin(), std::min<size_t>(8, s.name.size()), b.begin() + h);
    put32(b, h + 8, mapped(s));                         // VirtualSize
    put32(b, h + 12, section_rva(plan, i));             // VirtualAddress
    put32(b, h + 16, raw_size(plan, s));                // SizeOfRawData
    put32(b, h + 20, static_cast<uint32_t>(b.size()));  // PointerToRawData
    put32(b, h + 36, s.characteristics);
    if (s.characteristics & kScnInitializedData) initialized += raw_size(plan, s);
    b.insert(b.end(), s.data.begin(), s.data.end());
    b.resize(align_up(b.size(), plan.file_alignment), 0);
  }
  put32(b, opt + 8, initialized);                               // SizeOfInitializedData
  put32(b, opt + 56, section_rva(plan, plan.sections.size()));  // SizeOfImage
  b.insert(b.end(), plan.overlay.begin(), plan.overlay.end());
  put32(b, opt + 64, pe_checksum(b, opt + 64));  // CheckSum
  return b;
}

Bytes resource_section(const std::vector<Resource>& resources, const ImagePlan& plan, size_t index) {
  Bytes out;
  build_resource_section(resources, section_rva(plan, index), &out);
  return out;
}

Resource text_resource(ResourceKey type, ResourceKey name, uint32_t language, const std::string& text) {
  // The bytes must outlive the list; tests keep a handful, so a never-shrinking store will do.
  static std::deque<std::string> store;
  store.push_back(text);
  const auto* data = reinterpret_cast<const uint8_t*>(store.back().data());
  return {std::move(type), std::move(name), ResourceKey::of_id(language), 0, data, static_cast<uint32_t>(text.size())};
}

}  // namespace tarvex::testing
