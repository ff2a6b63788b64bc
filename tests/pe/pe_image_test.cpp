// PE header parsing: what it reads from a well-formed image, what it refuses, the checksum.
#include "pe/pe_image.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/image_builder.h"

namespace tarvex::pe {
namespace {

using testing::ImagePlan;

ImagePlan two_sections() {
  ImagePlan plan;
  plan.sections = {{".text", Bytes(0x300, 0xC3), 0, 0x60000020}, {".data", Bytes(0x10, 1), 0x2000}};
  plan.directories = {{kDebugDirectory, {0x2000, 28}}};
  plan.overlay = Bytes(5, 0xEE);
  plan.symbols_in_overlay = true;
  return plan;
}

TEST(PeImage, ReadsHeadersSectionsAndDirectories) {
  const ImagePlan plan = two_sections();
  const Bytes file = testing::build_image(plan);
  Image image;
  const Error failure = parse_image(file, &image);
  ASSERT_FALSE(failure) << failure.reason;
  EXPECT_EQ(image.section_alignment, 0x1000u);
  EXPECT_EQ(image.file_alignment, 0x200u);
  EXPECT_EQ(image.size_of_headers, 0x400u);
  EXPECT_EQ(image.size_of_image, 0x4000u);  // headers, .text, two pages of .data
  ASSERT_EQ(image.sections.size(), 2u);
  EXPECT_EQ(image.sections[1].name, ".data");
  EXPECT_EQ(image.sections[1].virtual_address, 0x2000u);
  EXPECT_EQ(image.sections[1].mapped_size(), 0x2000u);
  EXPECT_EQ(image.sections[1].raw_pointer, 0x800u);
  EXPECT_EQ(image.raw_end, 0xA00u);
  EXPECT_EQ(image.symbol_table_pointer, 0xA00u);
  EXPECT_EQ(image.characteristics, 0x22);
  EXPECT_EQ(image.subsystem, kSubsystemWindowsCui);
  EXPECT_EQ(image.directory(kDebugDirectory).rva, 0x2000u);
  EXPECT_FALSE(image.directory(kCertificateDirectory).present());
  EXPECT_FALSE(image.directory(40).present());

  size_t offset = 0;
  EXPECT_TRUE(rva_to_offset(image, 0x2004, 8, &offset));
  EXPECT_EQ(offset, 0x804u);
  EXPECT_TRUE(rva_to_offset(image, 0x21FF, 1, &offset));  // the padding of the raw data
  // Mapped but past the raw data: zeros the file does not hold.
  EXPECT_FALSE(rva_to_offset(image, 0x2200, 1, &offset));
  EXPECT_FALSE(rva_to_offset(image, 0x1FFF, 2, &offset));
}

TEST(PeImage, RefusesWhatIsNotAWellFormedPe32PlusX64Image) {
  const Bytes good = testing::build_image(two_sections());
  const size_t coff = 0x44, opt = coff + 20, table = testing::kSectionTable;
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    const char* reason;
  } cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, "too short"},
      {"no MZ", [](Bytes& b) { b[1] = 'X'; }, "no MZ signature"},
      {"PE header past the end", [](Bytes& b) { put32(b, 0x3C, static_cast<uint32_t>(b.size() - 10)); }, "outside"},
      {"no PE signature", [](Bytes& b) { b[0x41] = 'X'; }, "no PE signature"},
      {"i386", [&](Bytes& b) { put16(b, coff, 0x14C); }, "not a PE32+ x86-64 image: machine type 0x14c"},
      {"ARM64", [&](Bytes& b) { put16(b, coff, 0xAA64); }, "machine type 0xaa64"},
      {"PE32", [&](Bytes& b) { put16(b, opt, 0x10B); }, "not a PE32+ x86-64 image: optional header magic 0x10b"},
      {"optional header too small", [&](Bytes& b) { put16(b, coff + 16, 100); }, "optional header"},
      {"directories overflow", [&](Bytes& b) { put16(b, coff + 16, 112 + 8); }, "data directories"},
      {"file alignment", [&](Bytes& b) { put32(b, opt + 36, 0x300); }, "alignment"},
      {"section below file alignment", [&](Bytes& b) { put32(b, opt + 32, 0x100); }, "alignment"},
      {"section table past headers", [&](Bytes& b) { put16(b, coff + 2, 30); }, "section table"},
      {"headers past the end", [&](Bytes& b) { b.resize(0x300); }, "SizeOfHeaders"},
      {"section data past the end", [&](Bytes& b) { put32(b, table + 40 + 16, 0x10000); }, "'.data' lies outside"},
      {"section data in the headers", [&](Bytes& b) { put32(b, table + 20, 0x200); }, "'.text' overlaps the headers"},
      {"sections overlap", [&](Bytes& b) { put32(b, table + 40 + 12, 0x1200); }, "overlaps"},
      {"section past 4 GiB", [&](Bytes& b) { put32(b, table + 40 + 12, 0xFFFFF000); }, "address space"},
      {"export names whose table size wraps 32 bits",
       [&](Bytes& b) {
         put32(b, opt + 112, 0x2000), put32(b, opt + 116, 40);            // the export directory at .data's start
         put32(b, 0x800 + 24, 0x40000001), put32(b, 0x800 + 32, 0x2000);  // count * 4 wraps to 4
       },
       "the export name table lies outside the file's sections"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = good;
    c.damage(file);
    Image image;
    std::vector<std::string> names;
    Error failure = parse_image(file, &image);
    if (!failure) failure = read_export_names(file, image, &names);
    EXPECT_TRUE(failure);
    EXPECT_NE(failure.reason.find(c.reason), std::string::npos) << failure.reason;
  }
}

TEST(PeImage, SubsystemIsWrittenAndTheChecksumFollows) {
  Bytes file = testing::build_image(two_sections());
  Image image;
  ASSERT_FALSE(parse_image(file, &image));
  const size_t field = image.optional_header + 68, checksum = image.optional_header + 64;
  for (uint16_t subsystem : {kSubsystemWindowsGui, kSubsystemWindowsCui}) {
    SCOPED_TRACE(subsystem);
    set_subsystem(file, image, subsystem);
    EXPECT_EQ(get16(file, field), subsystem);
    EXPECT_EQ(get32(file, checksum), pe_checksum(file, checksum));
    Image again;
    ASSERT_FALSE(parse_image(file, &again));
    EXPECT_EQ(again.subsystem, subsystem);
  }
  Bytes expected = testing::build_image(two_sections());
  EXPECT_EQ(file, expected) << "back at the console subsystem, the bytes are the builder's own";
}

TEST(PeImage, ChecksumFoldsCarriesSkipsItsFieldAndAddsTheLength) {
  struct Case {
    Bytes file;
    size_t field;
    uint32_t sum;
  } cases[] = {
      {{}, 100, 0},
      {{0x01, 0x02, 0x03}, 100, 0x0201 + 0x0003 + 3},  // odd length: the last byte is a low half
      {{0xFF, 0xFF, 0x02, 0x00}, 100, 0x0002 + 4},     // 0xFFFF + 2 carries round to 2
      {{9, 9, 9, 9, 0x05, 0x06}, 0, 0x0605 + 6},       // the field counts as zero
      {{1, 0, 9, 9, 9, 9, 2, 0}, 2, 3 + 8},
      {{1, 9, 9, 9, 9, 0, 0, 0}, 1, 1 + 8},  // a field at an odd offset
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.size());
    EXPECT_EQ(pe_checksum(c.file, c.field), c.sum);
  }
}

}  // namespace
}  // namespace tarvex::pe
