// Damaged images: truncated and bit-flipped headers and resource trees are refused, or
// give an image that reads back with the payload; damaged .ico files are refused, or
// give images inside the file; never a crash. Built with the address and
// undefined-behaviour sanitizers.
#include <gtest/gtest.h>

#include <random>

#include "pe/icon_resources.h"
#include "pe/resource_rebuild.h"
#include "pe/resource_tree.h"
#include "tests/support/host/wine_run.h"
#include "tests/support/icon_builder.h"
#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

using namespace pe;

struct Base {
  std::string name;
  Bytes file;
  size_t headers = 0;  // SizeOfHeaders
  size_t tree = 0;     // file offset of the resource directory
  size_t tree_size = 0;
};

Base describe(const std::string& name, Bytes file) {
  Base base{name, std::move(file)};
  Image image;
  const Error failure = parse_image(base.file, &image);
  EXPECT_FALSE(failure) << name << ": " << failure.reason;
  base.headers = image.size_of_headers;
  const DataDirectory d = image.directory(kResourceDirectory);
  if (d.rva && rva_to_offset(image, d.rva, d.size, &base.tree)) base.tree_size = d.size;
  return base;
}

std::vector<Base> bases() {
  testing::ImagePlan plan;
  plan.sections = {{".text", Bytes(0x40, 0xC3)}, {".rsrc", {}}, {".reloc", Bytes(0x20, 1)}};
  plan.sections[1].data = testing::resource_section(
      {testing::text_resource(ResourceKey::of_name(u"KIND"), ResourceKey::of_name(u"NAME"), 0, "named"),
       testing::text_resource(ResourceKey::of_id(10), ResourceKey::of_id(27), 0, "old"),
       testing::text_resource(ResourceKey::of_id(16), ResourceKey::of_id(1), 0x409, "version")},
      plan, 1);
  plan.directories = {{kResourceDirectory, {testing::section_rva(plan, 1), uint32_t(plan.sections[1].data.size())}},
                      {kDebugDirectory, {testing::section_rva(plan, 2), kDebugEntrySize}}};
  plan.overlay = Bytes(100, 0xAB);
  plan.symbols_in_overlay = true;
  std::vector<Base> list = {describe("built", testing::build_image(plan))};
  for (const char* program : {"tool_rich", "tool_has27", "tool_has27_languages"}) {
    const std::string data = e2e::read_file(e2e::windows_bin_dir() + "/tests/tool/" + program + ".exe");
    EXPECT_FALSE(data.empty()) << program;
    if (!data.empty()) list.push_back(describe(program, Bytes(data.begin(), data.end())));
  }
  return list;
}

// Either a refusal with a reason and no output, or an image that parses and carries the
// payload as its one resource 27.
void attach_damaged(const Bytes& input) {
  static const Bytes payload = {'W', 'Q', 'J', 1, 2, 3};
  Bytes out;
  if (Error failure = attach_payload(input, payload, &out)) {
    ASSERT_FALSE(failure.reason.empty());
    ASSERT_TRUE(out.empty());
    return;
  }
  Image image;
  std::vector<Resource> resources;
  Error failure = parse_image(out, &image);
  ASSERT_FALSE(failure) << failure.reason;
  failure = read_resources(out, image, &resources);
  ASSERT_FALSE(failure) << failure.reason;
  int payloads = 0, found = 0;
  for (const Resource& r : resources) {
    if (!(r.type == ResourceKey::of_id(10) && r.name == ResourceKey::of_id(27))) continue;
    ++payloads;
    found += r.language == ResourceKey::of_id(0) && Bytes(r.data, r.data + r.size) == payload;
  }
  ASSERT_EQ(payloads, 1);
  ASSERT_EQ(found, 1);
}

TEST(PeFuzz, TruncatedImages) {
  for (const Base& base : bases()) {
    SCOPED_TRACE(base.name);
    const size_t dense = std::min(base.file.size(), std::max(base.headers, base.tree + base.tree_size) + 64);
    for (size_t length = 0; length < base.file.size(); length += length < dense ? 1 : 997) {
      SCOPED_TRACE(length);
      ASSERT_NO_FATAL_FAILURE(attach_damaged(Bytes(base.file.begin(), base.file.begin() + length)));
    }
  }
}

TEST(PeFuzz, FlippedBitsInHeadersAndResourceTree) {
  std::mt19937 random(27);
  for (const Base& base : bases()) {
    SCOPED_TRACE(base.name);
    std::vector<size_t> offsets;
    for (size_t i = 0; i < base.headers; ++i) offsets.push_back(i);
    for (size_t i = base.tree; i < base.tree + std::min<size_t>(base.tree_size, 0x400); ++i) offsets.push_back(i);
    // Every bit of the small built image; a fixed random sample of the larger real ones.
    const size_t flips = base.file.size() < 0x4000 ? offsets.size() * 8 : 3000;
    Bytes file = base.file;
    for (size_t k = 0; k < flips; ++k) {
      const size_t at = flips == offsets.size() * 8 ? offsets[k / 8] : offsets[random() % offsets.size()];
      const uint8_t bit = static_cast<uint8_t>(1u << (flips == offsets.size() * 8 ? k % 8 : random() % 8));
      SCOPED_TRACE(at);
      file[at] ^= bit;
      ASSERT_NO_FATAL_FAILURE(attach_damaged(file));
      file[at] ^= bit;
    }
  }
}

TEST(PeFuzz, RandomWordsInHeadersAndResourceTree) {
  std::mt19937 random(10);
  for (const Base& base : bases()) {
    SCOPED_TRACE(base.name);
    for (int k = 0; k < 3000; ++k) {
      Bytes file = base.file;
      const bool in_tree = base.tree_size >= 4 && random() % 2;
      const size_t at = in_tree ? base.tree + random() % (std::min<size_t>(base.tree_size, 0x400) - 3)
                                : random() % (base.headers - 3);
      const uint32_t value = random() % 4 == 0 ? random() % 64 : static_cast<uint32_t>(random());
      SCOPED_TRACE(at);
      put32(file, at, value);
      ASSERT_NO_FATAL_FAILURE(attach_damaged(file));
    }
  }
}

// Either a refusal with a reason and nothing read, or images that lie apart inside
// the file and a group that lists each of them.
void read_damaged_icon(const Bytes& file) {
  IconResources icon;
  if (Error failure = read_icon_file(file, &icon)) {
    ASSERT_FALSE(failure.reason.empty());
    ASSERT_TRUE(icon.images.empty() && icon.group.empty());
    return;
  }
  ASSERT_FALSE(icon.images.empty());
  ASSERT_EQ(icon.group.size(), 6 + 14 * icon.images.size());
  std::vector<std::pair<const uint8_t*, const uint8_t*>> ranges;
  for (const IconImage& image : icon.images) {
    ASSERT_TRUE(image.data >= file.data() + 6 && image.data + image.size <= file.data() + file.size());
    ranges.emplace_back(image.data, image.data + image.size);
  }
  std::sort(ranges.begin(), ranges.end());
  for (size_t k = 1; k < ranges.size(); ++k) ASSERT_LE(ranges[k - 1].second, ranges[k].first);
}

TEST(IconFuzz, TruncatedAndFlippedIcons) {
  const Bytes icon = testing::icon_file(testing::mixed_icon());
  for (size_t length = 0; length < icon.size(); ++length) {
    SCOPED_TRACE(length);
    ASSERT_NO_FATAL_FAILURE(read_damaged_icon(Bytes(icon.begin(), icon.begin() + length)));
  }
  // Every bit of the header, the directory and the start of each image (its bitmap
  // header, or the PNG signature).
  std::vector<size_t> offsets;
  for (size_t i = 0; i < testing::icon_entry(4); ++i) offsets.push_back(i);
  for (size_t k = 0; k < 4; ++k)
    for (size_t i = 0; i < 48; ++i) offsets.push_back(get32(icon, testing::icon_entry(k) + testing::kEntryOffset) + i);
  Bytes file = icon;
  for (size_t at : offsets)
    for (int bit = 0; bit < 8; ++bit) {
      SCOPED_TRACE(at * 8 + bit);
      file[at] ^= static_cast<uint8_t>(1 << bit);
      ASSERT_NO_FATAL_FAILURE(read_damaged_icon(file));
      file[at] ^= static_cast<uint8_t>(1 << bit);
    }
}

}  // namespace
}  // namespace tarvex
