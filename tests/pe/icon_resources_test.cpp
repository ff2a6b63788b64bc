// Icons: .ico files of every kind of image read byte for byte into the documented group
// layout, and an image's own icon groups and images replaced with none left over.
#include "pe/icon_resources.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/icon_builder.h"
#include "tests/support/image_builder.h"

namespace tarvex::pe {
namespace {

using testing::IconImagePlan;
using testing::text_resource;

Bytes bytes_of(const Resource& r) { return Bytes(r.data, r.data + r.size); }

TEST(IconFile, ImagesOfEveryKindAreKeptByteForByte) {
  const struct {
    const char* label;
    std::vector<IconImagePlan> plans;
  } cases[] = {
      {"mixed, one PNG", testing::mixed_icon()},
      {"bitmap without its mask", {{32, 32, false, false, false}}},
      {"1 and 24 bits, and 256 pixels written as 0", {{16, 1}, {20, 24}, {256, 32, true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const Bytes file = testing::icon_file(c.plans);
    IconResources icon;
    const Error failure = read_icon_file(file, &icon);
    ASSERT_FALSE(failure) << failure.reason;
    ASSERT_EQ(icon.images.size(), c.plans.size());
    for (size_t k = 0; k < c.plans.size(); ++k)
      EXPECT_EQ(Bytes(icon.images[k].data, icon.images[k].data + icon.images[k].size),
                testing::icon_file_image(file, k))
          << k;
    EXPECT_EQ(icon.group, testing::expected_icon_group(file));
  }
}

TEST(IconFile, RefusesImagesShortOfWhatTheirHeadersDescribe) {
  const size_t image = 6 + 16;  // the one image's offset
  const struct {
    const char* label;
    IconImagePlan plan;
    std::function<void(Bytes&)> damage;
    const char* reason;
  } cases[] = {
      // An 8-bit BITMAPINFOHEADER image with colours_used 0 needs all 256 four-byte entries.
      {"8 bits without the colour table",
       {16, 8},
       [](Bytes& b) {
         b.erase(b.begin() + image + 40, b.begin() + image + 40 + 256 * 4);
         put32(b, testing::icon_entry(0) + testing::kEntrySize, 360);
       },
       "image 1 holds 360 bytes, fewer than the 1320 that its 16 by 16 bitmap at 8 bits per pixel needs"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Bytes file = testing::icon_file({c.plan});
    c.damage(file);
    IconResources icon;
    EXPECT_EQ(read_icon_file(file, &icon).reason, c.reason);
    EXPECT_TRUE(icon.images.empty());
  }
}

TEST(ReplaceIcon, TakesThePlaceOfEveryGroupAndImage) {
  const ResourceKey group = ResourceKey::of_id(kIconGroupType), image = ResourceKey::of_id(kIconType);
  const std::vector<Resource> others = {
      text_resource(ResourceKey::of_id(16), ResourceKey::of_id(1), 0, "version record"),
      text_resource(ResourceKey::of_id(24), ResourceKey::of_id(1), 0, "<assembly/>"),
      text_resource(ResourceKey::of_id(10), ResourceKey::of_id(27), 0, "payload")};
  auto with = [&](std::vector<Resource> icons) {
    std::vector<Resource> list = others;
    list.insert(list.begin() + 1, icons.begin(), icons.end());
    return list;
  };
  const struct {
    const char* label;
    std::vector<Resource> before;
    ResourceKey name;  // of the new group
    uint32_t language;
  } cases[] = {
      {"the Launcher's one group and four images",
       with({text_resource(group, ResourceKey::of_id(1), 0, "old group"),
             text_resource(image, ResourceKey::of_id(1), 0, "1"), text_resource(image, ResourceKey::of_id(2), 0, "2"),
             text_resource(image, ResourceKey::of_id(3), 0, "3"), text_resource(image, ResourceKey::of_id(4), 0, "4")}),
       ResourceKey::of_id(1), 0},
      {"no icon at all", with({}), ResourceKey::of_id(1), 0},
      // Named entries come first in a directory, so that group is the one shown.
      {"two groups, the named one in German",
       with({text_resource(group, ResourceKey::of_id(2), 0x409, "english group"),
             text_resource(group, ResourceKey::of_name(u"APP"), 0x407, "german group"),
             text_resource(image, ResourceKey::of_id(7), 0x407, "7"),
             text_resource(image, ResourceKey::of_id(5), 0x409, std::string(100, '5'))}),
       ResourceKey::of_name(u"APP"), 0x407},
  };
  const Bytes file = testing::icon_file(testing::mixed_icon());
  IconResources icon;
  ASSERT_FALSE(read_icon_file(file, &icon));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<Resource> resources = c.before;
    replace_icon(resources, icon);
    std::vector<Resource> kept, groups, images;
    for (const Resource& r : resources) (r.type == group ? groups : r.type == image ? images : kept).push_back(r);
    ASSERT_EQ(kept.size(), others.size());
    for (size_t k = 0; k < kept.size(); ++k) {
      EXPECT_TRUE(kept[k].type == others[k].type && kept[k].name == others[k].name);
      EXPECT_EQ(bytes_of(kept[k]), bytes_of(others[k]));
    }
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_TRUE(groups[0].name == c.name);
    EXPECT_TRUE(groups[0].language == ResourceKey::of_id(c.language));
    EXPECT_EQ(bytes_of(groups[0]), testing::expected_icon_group(file));
    ASSERT_EQ(images.size(), 4u) << "every earlier image is gone";
    for (size_t k = 0; k < images.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_TRUE(images[k].name == ResourceKey::of_id(static_cast<uint32_t>(k + 1)));
      EXPECT_TRUE(images[k].language == ResourceKey::of_id(c.language));
      EXPECT_EQ(bytes_of(images[k]), testing::icon_file_image(file, k));
    }
  }
}

}  // namespace
}  // namespace tarvex::pe
