// Reading an .ico file with every size and offset checked, and putting its images in
// the place of an image's own icons.
#include "pe/icon_resources.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tarvex::pe {

namespace {

constexpr uint16_t kIconFileType = 1;
constexpr uint16_t kCursorFileType = 2;

// An image is either a whole PNG file, stored as it is, or a bitmap without its file
// header: a bitmap header, the colour table, the colour rows, then the rows of the
// 1-bit mask. The header's height counts both kinds of rows.
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// BITMAPCOREHEADER, with 3-byte colour table entries.
struct BitmapCoreHeader {
  le32 size;
  le16 width;
  le16 height;
  le16 planes;
  le16 bit_count;
};
static_assert(sizeof(BitmapCoreHeader) == 12);

// BITMAPINFOHEADER, with 4-byte colour table entries.
struct BitmapInfoHeader {
  le32 size;
  le32 width;   // signed
  le32 height;  // signed
  le16 planes;
  le16 bit_count;
  le32 compression;
  le32 size_image;
  le32 x_pixels_per_meter;
  le32 y_pixels_per_meter;
  le32 colors_used;
  le32 colors_important;
};
static_assert(sizeof(BitmapInfoHeader) == 40);
// The sizes of BITMAPINFOHEADER, BITMAPV4HEADER and BITMAPV5HEADER, the headers that
// begin with BITMAPINFOHEADER's fields.
constexpr uint32_t kInfoHeaderSize = 40, kV4HeaderSize = 108, kV5HeaderSize = 124;

constexpr uint32_t kUncompressed = 0;  // BI_RGB, the only form an icon bitmap takes
// Icons are at most 256 pixels wide; far larger sizes only make the arithmetic overflow.
constexpr int64_t kMaxSide = 0x10000;

std::string image_name(size_t index) { return "image " + std::to_string(index + 1); }

// One bitmap row: whole 32-bit words.
uint64_t row_bytes(uint64_t width, uint64_t bits) { return (width * bits + 31) / 32 * 4; }

struct Bitmap {
  uint64_t header_size = 0;
  int64_t width = 0, height = 0;  // height counts colour and mask rows
  uint64_t bits = 0;
  uint64_t table_bytes = 0;
};

Error read_bitmap_header(const IconImage& image, const std::string& name, Bitmap* b) {
  le32 header_size;
  BitmapCoreHeader core;
  if (read_checked(image.data, image.size, 0, &core) && core.size == sizeof core) {
    *b = {core.size, core.width, core.height, core.bit_count, 0};
    b->table_bytes = b->bits <= 8 ? (uint64_t{1} << b->bits) * 3 : 0;
    return {};
  }
  BitmapInfoHeader h;
  if (!read_checked(image.data, image.size, 0, &header_size)) header_size = 0;
  const bool known = header_size == kInfoHeaderSize || header_size == kV4HeaderSize || header_size == kV5HeaderSize;
  if (!known || header_size > image.size || !read_checked(image.data, image.size, 0, &h))
    return fail(name + " is neither a PNG image nor a bitmap");
  if (h.compression != kUncompressed) return fail(name + " is a compressed bitmap, which an icon cannot hold");
  *b = {h.size, static_cast<int32_t>(uint32_t{h.width}), static_cast<int32_t>(uint32_t{h.height}), h.bit_count, 0};
  uint64_t colors = std::min<uint32_t>(h.colors_used, 256);
  if (colors == 0 && b->bits <= 8) colors = uint64_t{1} << b->bits;
  b->table_bytes = colors * 4;
  return {};
}

// The bitmap's own header must describe no more bytes than the image holds; the mask
// may be left out, as Windows then takes the image as wholly opaque.
Error check_image(const IconImage& image, size_t index) {
  if (image.size >= sizeof kPngSignature && memcmp(image.data, kPngSignature, sizeof kPngSignature) == 0) return {};
  const std::string name = image_name(index);
  Bitmap b;
  TARVEX_TRY(read_bitmap_header(image, name, &b));
  if (b.bits != 1 && b.bits != 4 && b.bits != 8 && b.bits != 16 && b.bits != 24 && b.bits != 32)
    return fail(name + " is a bitmap of " + std::to_string(b.bits) + " bits per pixel");
  if (b.width < 1 || b.height < 2 || b.width > kMaxSide || b.height > 2 * kMaxSide)
    return fail(name + " is a bitmap of " + std::to_string(b.width) + " by " + std::to_string(b.height / 2) +
                " pixels");
  const uint64_t needed = b.header_size + b.table_bytes + row_bytes(b.width, b.bits) * (b.height / 2);
  if (needed > image.size)
    return fail(name + " holds " + std::to_string(image.size) + " bytes, fewer than the " + std::to_string(needed) +
                " that its " + std::to_string(b.width) + " by " + std::to_string(b.height / 2) + " bitmap at " +
                std::to_string(b.bits) + " bits per pixel needs");
  return {};
}

}  // namespace

Error read_icon_file(const Bytes& file, IconResources* result) {
  *result = IconResources();
  IconResources found;  // handed over only when the whole file is good
  if (file.size() < sizeof(IconDirectory))
    return fail("it is " + std::to_string(file.size()) + " bytes long, too short for an icon header");
  IconDirectory head;
  TARVEX_TRY(read_at(file, 0, &head, "the icon header"));
  if (head.reserved != 0) return fail("its header's reserved field is " + std::to_string(head.reserved) + ", not 0");
  if (head.type == kCursorFileType) return fail("it is a cursor, not an icon");
  if (head.type != kIconFileType)
    return fail("its header's type is " + std::to_string(head.type) + ", not 1 (an icon)");
  // A 16-bit count leaves every image an RT_ICON id of its own, from 1 to 65535.
  const size_t count = head.count;
  if (count == 0) return fail("it holds no images");
  const uint64_t directory_end = sizeof(IconDirectory) + uint64_t{count} * sizeof(IconFileEntry);
  if (directory_end > file.size())
    return fail("it is " + std::to_string(file.size()) + " bytes long, too short for the directory of its " +
                std::to_string(count) + " images");

  std::vector<uint64_t> offsets;
  for (size_t i = 0; i < count; ++i) {
    IconFileEntry entry;
    TARVEX_TRY(read_at(file, sizeof(IconDirectory) + i * sizeof(IconFileEntry), &entry, "the icon directory"));
    const uint64_t offset = entry.image_offset, size = entry.image.bytes_in_resource;
    if (size == 0) return fail(image_name(i) + " is empty");
    if (offset < directory_end) return fail(image_name(i) + " overlaps the icon's header and directory");
    if (offset + size > file.size())
      return fail(image_name(i) + " (bytes " + std::to_string(offset) + " to " + std::to_string(offset + size) +
                  ") lies outside the file of " + std::to_string(file.size()) + " bytes");
    found.images.push_back({entry.image, file.data() + offset, static_cast<uint32_t>(size)});
    offsets.push_back(offset);
  }
  // Sorted by where they start, each image must end before the next one starts.
  std::vector<size_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return offsets[a] < offsets[b]; });
  for (size_t k = 1; k < count; ++k) {
    const size_t before = order[k - 1], after = order[k];
    if (offsets[before] + found.images[before].size > offsets[after])
      return fail(image_name(std::max(before, after)) + " overlaps " + image_name(std::min(before, after)));
  }
  for (size_t i = 0; i < count; ++i) TARVEX_TRY(check_image(found.images[i], i));

  found.group.resize(sizeof(IconDirectory) + count * sizeof(IconGroupEntry));
  write_at(found.group, 0, IconDirectory{0, kIconFileType, static_cast<uint16_t>(count)});
  for (size_t i = 0; i < count; ++i)
    write_at(found.group, sizeof(IconDirectory) + i * sizeof(IconGroupEntry),
             IconGroupEntry{found.images[i].header, static_cast<uint16_t>(i + 1)});
  *result = std::move(found);
  return {};
}

void replace_icon(std::vector<Resource>& resources, const IconResources& icon) {
  const ResourceKey group_type = ResourceKey::of_id(kIconGroupType), image_type = ResourceKey::of_id(kIconType);
  // Explorer shows the first group in directory order; the new one takes its place.
  ResourceKey name = ResourceKey::of_id(1), language = ResourceKey::of_id(0);
  const Resource* first = nullptr;
  for (const Resource& r : resources) {
    if (!(r.type == group_type)) continue;
    if (!first || key_before(r.name, first->name) || (r.name == first->name && key_before(r.language, first->language)))
      first = &r;
  }
  if (first) {
    name = first->name;
    language = first->language;
  }
  resources.erase(std::remove_if(resources.begin(), resources.end(),
                                 [&](const Resource& r) { return r.type == group_type || r.type == image_type; }),
                  resources.end());
  resources.push_back({group_type, name, language, 0, icon.group.data(), static_cast<uint32_t>(icon.group.size())});
  for (size_t i = 0; i < icon.images.size(); ++i)
    resources.push_back({image_type, ResourceKey::of_id(static_cast<uint32_t>(i + 1)), language, 0, icon.images[i].data,
                         icon.images[i].size});
}

}  // namespace tarvex::pe
