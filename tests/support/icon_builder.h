// Test helper: .ico files made here, with images of each kind an icon holds (bitmaps with
// either header, with and without a mask, and PNG files), and byte-level patches of them.
#pragma once
#include <cstdint>
#include <vector>

#include "pe/pe_layout.h"
#include "tests/support/le_bytes.h"

namespace tarvex::testing {

struct IconImagePlan {
  uint32_t side;             // width and height in pixels
  uint16_t bits;             // per pixel
  bool png = false;          // a PNG file (RGBA, 8 bits per channel) instead of a bitmap
  bool core_header = false;  // BITMAPCOREHEADER instead of BITMAPINFOHEADER
  bool mask = true;          // the bitmap's 1-bit mask rows
};

// One image's bytes; each plan draws different pixels.
Bytes icon_image(const IconImagePlan& plan);
// An .ico file: header, directory, then the images in the order given.
Bytes icon_file(const std::vector<IconImagePlan>& plans);
// Several images of different kinds, one of them a PNG (the largest).
std::vector<IconImagePlan> mixed_icon();

// Where the directory entry of image `index` lies in an .ico file, and its fields.
inline constexpr size_t icon_entry(size_t index) { return 6 + 16 * index; }
inline constexpr size_t kEntrySize = 8;     // bytes_in_resource, from the entry
inline constexpr size_t kEntryOffset = 12;  // image_offset, from the entry

// The image bytes that entry `index` of `icon` names.
Bytes icon_file_image(const Bytes& icon, size_t index);
// The group resource for `icon` as the documentation lays it out: the 6-byte header,
// then per image the entry's first 12 bytes and the RT_ICON id, index + 1.
Bytes expected_icon_group(const Bytes& icon);

}  // namespace tarvex::testing
