// The resource tree: a round trip through a built section, the order the loader relies
// on, and trees that the reader refuses.
#include "pe/resource_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/support/image_builder.h"

namespace tarvex::pe {
namespace {

using testing::ImagePlan;
using testing::text_resource;

std::vector<Resource> sample() {
  std::vector<Resource> list = {
      text_resource(ResourceKey::of_id(16), ResourceKey::of_id(1), 0x409, "version record"),
      text_resource(ResourceKey::of_name(u"TARVEXDATA"), ResourceKey::of_name(u"beta"), 0, "lower"),
      text_resource(ResourceKey::of_name(u"TARVEXDATA"), ResourceKey::of_name(u"BETA"), 0, "upper"),
      text_resource(ResourceKey::of_name(u"TARVEXDATA"), ResourceKey::of_id(7), 0, "seven"),
      text_resource(ResourceKey::of_id(10), ResourceKey::of_id(27), 0x407, "german"),
      text_resource(ResourceKey::of_id(10), ResourceKey::of_id(27), 0, "neutral"),
      text_resource(ResourceKey::of_id(10), ResourceKey::of_name(u"ALPHA"), 0, ""),
      text_resource(ResourceKey::of_id(3), ResourceKey::of_id(2), 0x409, "odd"),
      text_resource(ResourceKey::of_id(3), ResourceKey::of_id(1), 0x409, std::string(1000, 'i')),
  };
  list[0].code_page = 1252;
  return list;
}

std::string describe(const ResourceKey& key) {
  if (!key.named) return "#" + std::to_string(key.id);
  return std::string(key.text.begin(), key.text.end());
}

// Every resource as one comparable line, sorted.
std::vector<std::string> describe(const std::vector<Resource>& list) {
  std::vector<std::string> lines;
  for (const Resource& r : list)
    lines.push_back(describe(r.type) + " " + describe(r.name) + " " + describe(r.language) + " cp" +
                    std::to_string(r.code_page) + " " + std::string(r.data, r.data + r.size));
  std::sort(lines.begin(), lines.end());
  return lines;
}

ImagePlan with_resources(const std::vector<Resource>& list) {
  ImagePlan plan;
  plan.sections = {{".text", Bytes(0x40, 0xC3)}, {".rsrc", {}}};
  plan.sections[1].data = testing::resource_section(list, plan, 1);
  plan.directories = {
      {kResourceDirectory, {testing::section_rva(plan, 1), static_cast<uint32_t>(plan.sections[1].data.size())}}};
  return plan;
}

// Raw views of a built section, read independently of the reader under test.
struct Table {
  uint16_t named, ids;
  std::vector<std::pair<uint32_t, uint32_t>> entries;
};
Table table_at(const Bytes& s, size_t at) {
  Table t{get16(s, at + 12), get16(s, at + 14), {}};
  for (size_t i = 0; i < size_t{t.named} + t.ids; ++i)
    t.entries.push_back({get32(s, at + 16 + 8 * i), get32(s, at + 20 + 8 * i)});
  return t;
}
std::string name_at(const Bytes& s, uint32_t field) {
  if (!(field & 0x80000000u)) return "#" + std::to_string(field);
  const size_t at = field & 0x7FFFFFFFu;
  std::string text;
  for (size_t k = 0; k < get16(s, at); ++k) text += static_cast<char>(get16(s, at + 2 + 2 * k));
  return text;
}
std::vector<std::string> names_of(const Bytes& s, const Table& t) {
  std::vector<std::string> names;
  for (const auto& e : t.entries) names.push_back(name_at(s, e.first));
  return names;
}

TEST(ResourceTree, ReadsBackEveryResourceOfABuiltSection) {
  const std::vector<Resource> list = sample();
  const Bytes file = testing::build_image(with_resources(list));
  Image image;
  ASSERT_FALSE(parse_image(file, &image));
  std::vector<Resource> read;
  const Error failure = read_resources(file, image, &read);
  ASSERT_FALSE(failure) << failure.reason;
  EXPECT_EQ(describe(read), describe(list));
  EXPECT_EQ(resource_section_size({}), 16u);  // an empty root table
}

TEST(ResourceTree, ImageWithoutResourcesHasNone) {
  ImagePlan plan;
  plan.sections = {{".text", Bytes(0x40, 0xC3)}};
  const Bytes file = testing::build_image(plan);
  Image image;
  ASSERT_FALSE(parse_image(file, &image));
  std::vector<Resource> read = {testing::text_resource(ResourceKey::of_id(1), ResourceKey::of_id(1), 0, "stale")};
  EXPECT_FALSE(read_resources(file, image, &read));
  EXPECT_TRUE(read.empty());
}

TEST(ResourceTree, TablesAreInLoaderOrderAndDataIsAligned) {
  const uint32_t rva = 0x5000;
  Bytes s;
  build_resource_section(sample(), rva, &s);
  const Table root = table_at(s, 0);
  EXPECT_EQ(root.named, 1);
  EXPECT_EQ(root.ids, 3);
  EXPECT_EQ(names_of(s, root), (std::vector<std::string>{"TARVEXDATA", "#3", "#10", "#16"}));

  const Table data_names = table_at(s, root.entries[0].second & 0x7FFFFFFFu);
  EXPECT_EQ(data_names.named, 2);
  EXPECT_EQ(names_of(s, data_names), (std::vector<std::string>{"BETA", "beta", "#7"}));
  const Table rcdata = table_at(s, root.entries[2].second & 0x7FFFFFFFu);
  EXPECT_EQ(names_of(s, rcdata), (std::vector<std::string>{"ALPHA", "#27"}));
  const Table languages = table_at(s, rcdata.entries[1].second & 0x7FFFFFFFu);
  EXPECT_EQ(names_of(s, languages), (std::vector<std::string>{"#0", "#1031"}));

  // Data entries (no high bit) point at 8-aligned data after every table and string.
  const uint32_t first_entry = languages.entries[0].second;
  EXPECT_EQ(first_entry & 0x80000000u, 0u);
  EXPECT_EQ(first_entry % 8, 0u);
  const uint32_t data_rva = get32(s, first_entry);
  EXPECT_EQ(data_rva % 8, 0u);
  EXPECT_GT(data_rva - rva, first_entry);
  EXPECT_EQ(get32(s, first_entry + 4), 7u);
  EXPECT_EQ(std::string(s.begin() + (data_rva - rva), s.begin() + (data_rva - rva) + 7), "neutral");
}

TEST(ResourceTree, TablesHoldAtMost65535EntriesOfEachKind) {
  auto rcdata = [](ResourceKey name) {
    return Resource{ResourceKey::of_id(10), std::move(name), ResourceKey::of_id(0)};
  };
  std::vector<Resource> list;
  for (uint32_t id = 0; id < 0xFFFF; ++id) list.push_back(rcdata(ResourceKey::of_id(id)));
  EXPECT_TRUE(resource_tables_fit(list));
  list.push_back(rcdata(ResourceKey::of_name(u"NAMED")));  // counted apart from the ids
  EXPECT_TRUE(resource_tables_fit(list));
  list.push_back(rcdata(ResourceKey::of_id(0xFFFF)));
  EXPECT_FALSE(resource_tables_fit(list));
}

TEST(ResourceTree, RefusesMalformedTrees) {
  const ImagePlan plan = with_resources(sample());
  const Bytes good = testing::build_image(plan);
  const size_t root = 0x600;  // after 0x400 bytes of headers and 0x200 of .text
  const Bytes& tree = plan.sections[1].data;
  // Root entry 0 leads to TARVEXDATA's table, whose first entry leads to a language table.
  const uint32_t names = get32(tree, 20) & 0x7FFFFFFFu;
  const uint32_t languages = get32(tree, names + 20) & 0x7FFFFFFFu;
  const uint32_t data_entry = get32(tree, languages + 20);
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    const char* reason;
  } cases[] = {
      {"table that leads back to the root", [&](Bytes& b) { put32(b, root + 20, 0x80000000u); }, "one table twice"},
      {"table past the section", [&](Bytes& b) { put32(b, root + 20, 0x80001000u); }, "outside its section"},
      {"entry count past the section", [&](Bytes& b) { put16(b, root + 14, 0xFFFF); }, "outside its section"},
      {"data where a table belongs", [&](Bytes& b) { put32(b, root + 20, names); }, "three levels"},
      {"table where data belongs", [&](Bytes& b) { put32(b, root + languages + 20, 0x80000000u | names); },
       "three levels"},
      {"name string past the section", [&](Bytes& b) { put32(b, root + 16, 0x80000FFEu); }, "name lies outside"},
      {"data outside the file", [&](Bytes& b) { put32(b, root + data_entry, 0x00F00000u); }, "lies outside the file"},
      {"data larger than its section", [&](Bytes& b) { put32(b, root + data_entry + 4, 0x10000u); },
       "lies outside the file"},
      {"directory outside every section", [&](Bytes& b) { put32(b, 0x44 + 20 + 112 + 8 * kResourceDirectory, 0x9000); },
       "outside the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = good;
    c.damage(file);
    Image image;
    ASSERT_FALSE(parse_image(file, &image));
    std::vector<Resource> read;
    const Error failure = read_resources(file, image, &read);
    EXPECT_TRUE(failure);
    EXPECT_NE(failure.reason.find(c.reason), std::string::npos) << failure.reason;
  }
}

}  // namespace
}  // namespace tarvex::pe
