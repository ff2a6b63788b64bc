// An application's icon: an .ico file checked and read into the icon images (RT_ICON)
// and the icon group (RT_GROUP_ICON) that take the place of an image's own.
#pragma once
#include <cstdint>
#include <vector>

#include "pe/resource_tree.h"

namespace tarvex::pe {

inline constexpr uint32_t kIconType = 3;        // RT_ICON
inline constexpr uint32_t kIconGroupType = 14;  // RT_GROUP_ICON

// The structures below are those of Microsoft's documentation of icons ("Icons" in
// the Win32 menus-and-resources guide, and the ICONDIR/GRPICONDIR layouts it gives).

// The head of an .ico file, and of an icon group resource: reserved 0, type 1 (an
// icon; 2 is a cursor), then the number of images.
struct IconDirectory {
  le16 reserved;
  le16 type;
  le16 count;
};
static_assert(sizeof(IconDirectory) == 6);

// What the file and the group say alike about one image.
struct IconImageHeader {
  uint8_t width;  // 0 means 256
  uint8_t height;
  uint8_t color_count;
  uint8_t reserved;
  le16 planes;
  le16 bit_count;
  le32 bytes_in_resource;  // the image's size
};
static_assert(sizeof(IconImageHeader) == 12);

// One image in the .ico file's directory: where its bytes lie in the file.
struct IconFileEntry {
  IconImageHeader image;
  le32 image_offset;
};
static_assert(sizeof(IconFileEntry) == 16);

// One image in a group resource: the RT_ICON id that holds its bytes.
struct IconGroupEntry {
  IconImageHeader image;
  le16 id;
};
static_assert(sizeof(IconGroupEntry) == 14);

struct IconImage {
  IconImageHeader header;
  const uint8_t* data = nullptr;  // into the .ico bytes
  uint32_t size = 0;
};

// The resources an .ico file becomes: image k is RT_ICON k + 1, and the group lists
// them in the file's order.
struct IconResources {
  std::vector<IconImage> images;
  Bytes group;  // IconDirectory, then one IconGroupEntry per image
};

// Checks `file` as an .ico file and reads it into `icon`, whose images point into
// `file`. A failure says what is wrong with the file, in words, and leaves `icon` empty.
Error read_icon_file(const Bytes& file, IconResources* icon);

// Removes every icon group and icon image from `resources` and adds those of `icon`,
// the group under the name and language of the first group removed (id 1, neutral,
// when there was none) and the images in the same language. The list then points
// into `icon`.
void replace_icon(std::vector<Resource>& resources, const IconResources& icon);

}  // namespace tarvex::pe
