// Attaching a payload to built images: where the tree goes, what the headers say
// afterwards, what moves and what stays, and what is refused.
#include "pe/resource_rebuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "payload/format.h"
#include "pe/resource_tree.h"
#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

using namespace pe;
using testing::ImagePlan;
using testing::text_resource;

constexpr size_t kCoff = 0x44, kOpt = kCoff + 20;

std::vector<Resource> earlier_resources() {
  return {text_resource(ResourceKey::of_id(16), ResourceKey::of_id(1), 0x409, "version record"),
          text_resource(ResourceKey::of_id(24), ResourceKey::of_id(1), 0x409, "<assembly/>"),
          text_resource(ResourceKey::of_name(u"TARVEXDATA"), ResourceKey::of_name(u"ALPHA"), 0, "alpha"),
          text_resource(ResourceKey::of_id(10), ResourceKey::of_id(27), 0, "old payload"),
          text_resource(ResourceKey::of_id(10), ResourceKey::of_id(27), 0x409, "english payload, removed"),
          text_resource(ResourceKey::of_id(10), ResourceKey::of_id(27), 0x407, "german payload, removed"),
          text_resource(ResourceKey::of_id(10), ResourceKey::of_id(26), 0x409, "neighbour of the payload, kept")};
}

// .text, then the given sections; a resource section named ".rsrc" gets the earlier resources.
ImagePlan image_with(const std::vector<std::string>& names) {
  ImagePlan plan;
  plan.sections.push_back({".text", Bytes(0x300, 0xC3), 0, 0x60000020});
  for (const std::string& name : names) plan.sections.push_back({name, Bytes(0x80, 0x5A)});
  for (size_t i = 0; i < plan.sections.size(); ++i) {
    if (plan.sections[i].name != ".rsrc") continue;
    plan.sections[i].data = testing::resource_section(earlier_resources(), plan, i);
    plan.directories.push_back(
        {kResourceDirectory, {testing::section_rva(plan, i), uint32_t(plan.sections[i].data.size())}});
  }
  return plan;
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct Attached {
  Bytes file;
  Image image;
  std::vector<Resource> resources;
};

bool is_payload(const Resource& r) {
  return r.type == ResourceKey::of_id(payload::kResourceType) && r.name == ResourceKey::of_id(payload::kResourceId);
}

// Attaches, then checks what must hold for every result: it parses, its checksum,
// image size and initialized-data size are right, the tree lies at the start of the
// one section named ".rsrc", and it holds one payload, language neutral.
void attach_checked(const Bytes& input, const Bytes& payload, Attached* a) {
  Error failure = attach_payload(input, payload, &a->file);
  ASSERT_FALSE(failure) << failure.reason;
  failure = parse_image(a->file, &a->image);
  ASSERT_FALSE(failure) << failure.reason;
  failure = read_resources(a->file, a->image, &a->resources);
  ASSERT_FALSE(failure) << failure.reason;
  const Image& image = a->image;
  EXPECT_EQ(get32(a->file, kOpt + 64), pe_checksum(a->file, kOpt + 64));
  const Section& last = image.sections.back();
  EXPECT_EQ(image.size_of_image,
            align_up(uint64_t{last.virtual_address} + last.mapped_size(), image.section_alignment));
  uint64_t initialized = 0;
  int named_rsrc = 0;
  for (const Section& s : image.sections) {
    if (s.characteristics & kScnInitializedData) initialized += s.raw_size;
    if (s.name == ".rsrc") ++named_rsrc;
    EXPECT_EQ(s.raw_pointer % image.file_alignment, 0u) << s.name;
    EXPECT_EQ(s.raw_size % image.file_alignment, 0u) << s.name;
  }
  EXPECT_EQ(image.size_of_initialized_data, initialized);
  EXPECT_EQ(named_rsrc, 1);
  const Section* tree = image.section_for(image.directory(kResourceDirectory).rva, 16);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->name, ".rsrc");
  EXPECT_EQ(tree->virtual_address, image.directory(kResourceDirectory).rva);
  EXPECT_EQ(tree->virtual_size, image.directory(kResourceDirectory).size);
  // A loader can map the payload from the file instead of reading it.
  EXPECT_EQ(tree->raw_pointer % 0x1000, 0u);

  int payloads = 0;
  for (const Resource& r : a->resources) {
    if (!is_payload(r)) continue;
    ++payloads;
    EXPECT_EQ(r.language, ResourceKey::of_id(payload::kResourceLanguage));
    EXPECT_EQ(Bytes(r.data, r.data + r.size), payload);
  }
  EXPECT_EQ(payloads, 1);
}

std::string key_text(const ResourceKey& key) {
  return key.named ? std::string(key.text.begin(), key.text.end()) : "#" + std::to_string(key.id);
}

// The resources other than the payload (in any language), as comparable lines.
std::vector<std::string> kept(const std::vector<Resource>& list) {
  std::vector<std::string> lines;
  for (const Resource& r : list) {
    if (is_payload(r)) continue;
    lines.push_back(key_text(r.type) + "/" + key_text(r.name) + "/" + key_text(r.language) + ":" +
                    std::string(r.data, r.data + r.size));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(Attach, WithoutResourcesAppendsASectionAfterTheLast) {
  const ImagePlan plan = image_with({".data", ".reloc"});
  const Bytes input = testing::build_image(plan);
  Attached a;
  ASSERT_NO_FATAL_FAILURE(attach_checked(input, bytes_of("payload"), &a));
  ASSERT_EQ(a.image.sections.size(), 4u);
  const Section& added = a.image.sections[3];
  EXPECT_EQ(added.virtual_address, testing::section_rva(plan, 3));
  EXPECT_EQ(added.raw_pointer, align_up(input.size(), 0x1000));
  EXPECT_EQ(added.characteristics, kScnInitializedData | kScnMemRead);
  EXPECT_EQ(a.resources.size(), 1u);
  // Section data before the new section is untouched.
  EXPECT_TRUE(std::equal(input.begin() + 0x400, input.end(), a.file.begin() + 0x400));
}

TEST(Attach, RebuildsALastResourceSectionWhereItIsAndKeepsTheOtherResources) {
  const ImagePlan plan = image_with({".data", ".rsrc"});
  const Bytes input = testing::build_image(plan);
  Attached big, small;
  ASSERT_NO_FATAL_FAILURE(attach_checked(input, Bytes(5000, 0x11), &big));
  ASSERT_NO_FATAL_FAILURE(attach_checked(big.file, bytes_of("x"), &small));
  for (const Attached* a : {&big, &small}) {
    ASSERT_EQ(a->image.sections.size(), 3u);
    EXPECT_EQ(a->image.sections[2].virtual_address, testing::section_rva(plan, 2));
    EXPECT_EQ(kept(a->resources), kept(earlier_resources()));
  }
  EXPECT_LT(small.file.size(), big.file.size());
  Image before;
  ASSERT_FALSE(parse_image(input, &before));
  // The payloads in other languages are gone: the section holds the other resources and
  // the one payload, no more. (The file itself may grow: see below.)
  std::vector<Resource> expected;
  for (const Resource& r : earlier_resources())
    if (!is_payload(r)) expected.push_back(r);
  expected.push_back(text_resource(ResourceKey::of_id(10), ResourceKey::of_id(27), 0, "x"));
  EXPECT_EQ(small.image.sections[2].virtual_size, resource_section_size(expected));
  // The rebuilt section starts on a page.
  EXPECT_EQ(small.image.sections[2].raw_pointer, align_up(before.sections[2].raw_pointer, 0x1000));
}

TEST(Attach, ResourcesInAMiddleSectionMoveToANewLastSectionOnce) {
  const ImagePlan plan = image_with({".rsrc", ".reloc"});
  const Bytes input = testing::build_image(plan);
  Attached once, twice;
  ASSERT_NO_FATAL_FAILURE(attach_checked(input, Bytes(3000, 0x22), &once));
  ASSERT_NO_FATAL_FAILURE(attach_checked(once.file, Bytes(3000, 0x22), &twice));
  ASSERT_EQ(once.image.sections.size(), 4u);
  EXPECT_EQ(once.image.sections[1].name, ".oldrsrc");
  EXPECT_EQ(once.image.sections[3].name, ".rsrc");
  EXPECT_EQ(kept(once.resources), kept(earlier_resources()));
  // The old section keeps its bytes; only its name and the data directory changed.
  const Section& old = once.image.sections[1];
  EXPECT_TRUE(
      std::equal(plan.sections[1].data.begin(), plan.sections[1].data.end(), once.file.begin() + old.raw_pointer));
  EXPECT_EQ(twice.file, once.file);
}

// Debug directory in .data (file offset 0x800, after 0x400 bytes of headers and of .text):
// one entry whose data lies past the sections, one inside .data.
constexpr uint32_t kDataInFile = 0x800;

ImagePlan with_overlay_and_debug_data(const std::vector<std::string>& names) {
  ImagePlan plan = image_with(names);
  plan.overlay = Bytes(777, 0);
  for (size_t i = 0; i < plan.overlay.size(); ++i) plan.overlay[i] = static_cast<uint8_t>(i * 7 + 1);
  plan.symbols_in_overlay = true;
  Bytes& data = plan.sections[1].data;
  data.assign(2 * kDebugEntrySize, 0);
  put32(data, 16, 100);
  put32(data, 24, testing::overlay_offset(plan) + 16);
  put32(data, kDebugEntrySize + 16, 8);
  put32(data, kDebugEntrySize + 24, kDataInFile + 4);
  plan.directories.push_back({kDebugDirectory, {testing::section_rva(plan, 1), uint32_t(data.size())}});
  return plan;
}

TEST(Attach, OverlayMovesBehindTheNewDataAndPointersIntoItFollow) {
  for (const auto& names : {std::vector<std::string>{".data"}, std::vector<std::string>{".data", ".rsrc"}}) {
    SCOPED_TRACE(names.size() == 1 ? "new section" : "rebuilt section");
    const ImagePlan plan = with_overlay_and_debug_data(names);
    const Bytes input = testing::build_image(plan);
    Attached a;
    ASSERT_NO_FATAL_FAILURE(attach_checked(input, Bytes(10000, 0x33), &a));
    const size_t overlay = a.file.size() - plan.overlay.size();
    EXPECT_EQ(overlay, a.image.raw_end);
    EXPECT_TRUE(std::equal(plan.overlay.begin(), plan.overlay.end(), a.file.begin() + overlay));
    EXPECT_EQ(a.image.symbol_table_pointer, overlay);
    EXPECT_EQ(get32(a.file, kDataInFile + 24), overlay + 16);
    EXPECT_EQ(get32(a.file, kDataInFile + kDebugEntrySize + 24), kDataInFile + 4);
  }
}

TEST(Attach, ALastResourceSectionThatOtherDataPointsIntoIsNotRebuilt) {
  ImagePlan plan = image_with({".rsrc"});
  // The debug directory sits in the resource section's last bytes.
  plan.directories.push_back({kDebugDirectory, {testing::section_rva(plan, 1) + 0x40, 0}});
  Attached a;
  ASSERT_NO_FATAL_FAILURE(attach_checked(testing::build_image(plan), bytes_of("p"), &a));
  ASSERT_EQ(a.image.sections.size(), 3u);
  EXPECT_EQ(a.image.sections[1].name, ".oldrsrc");
}

TEST(Attach, RefusesAndWritesNothing) {
  ImagePlan no_room = image_with({".data", ".reloc", ".pdata"});
  no_room.size_of_headers = 0x200;  // the table ends at 0x1E8: no room for 40 more bytes
  struct Case {
    const char* name;
    Bytes input;
    const char* reason;
  } cases[] = {
      {"signed",
       [] {
         ImagePlan s = image_with({".data"});
         s.directories.push_back({kCertificateDirectory, {0x800, 0x100}});
         return testing::build_image(s);
       }(),
       "Authenticode signature"},
      {"no room for a section header", testing::build_image(no_room), "no room for one more section header"},
      {"used bytes after the section table",
       [] {
         Bytes b = testing::build_image(image_with({".data"}));
         b[testing::kSectionTable + 2 * kSectionHeaderSize + 39] = 1;
         return b;
       }(),
       "no room for one more section header"},
      {"PE32",
       [] {
         Bytes b = testing::build_image(image_with({".data"}));
         put16(b, kOpt, 0x10B);
         return b;
       }(),
       "not a PE32+ x86-64 image"},
      {"broken resource tree",
       [] {
         ImagePlan s = image_with({".rsrc"});
         put32(s.sections[1].data, 20, 0x80000000u);
         return testing::build_image(s);
       }(),
       "one table twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out = {1, 2, 3};
    const Error failure = attach_payload(c.input, bytes_of("payload"), &out);
    EXPECT_TRUE(failure);
    EXPECT_NE(failure.reason.find(c.reason), std::string::npos) << failure.reason;
    EXPECT_TRUE(out.empty());
  }
}

TEST(Attach, FullHeadersAreNoObstacleWhenTheResourceSectionIsRebuilt) {
  ImagePlan plan;
  plan.size_of_headers = 0x200;
  plan.sections = {{".text", Bytes(0x10, 0xC3)}, {".data", Bytes(0x10, 1)}, {".reloc", Bytes(0x10, 2)}, {".rsrc", {}}};
  plan.sections[3].data = testing::resource_section(earlier_resources(), plan, 3);
  plan.directories = {{kResourceDirectory, {testing::section_rva(plan, 3), uint32_t(plan.sections[3].data.size())}}};
  Attached a;
  ASSERT_NO_FATAL_FAILURE(attach_checked(testing::build_image(plan), bytes_of("payload"), &a));
  EXPECT_EQ(a.image.sections.size(), 4u);
  EXPECT_EQ(kept(a.resources), kept(earlier_resources()));
}

}  // namespace
}  // namespace tarvex
