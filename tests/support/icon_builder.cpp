// Test helper: building .ico files. Fields are written at their documented offsets,
// independently of the structures the code under test reads them with.
#include "tests/support/icon_builder.h"

#include <algorithm>

#include "pe/pe_image.h"

namespace tarvex::testing {

namespace {

void append16(Bytes& b, uint16_t v) {
  b.resize(b.size() + 2);
  put16(b, b.size() - 2, v);
}
void append32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  put32(b, b.size() - 4, v);
}
void append32_big(Bytes& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

uint8_t shade(const IconImagePlan& plan, uint32_t x, uint32_t y, uint32_t channel) {
  return static_cast<uint8_t>(x * 7 + y * 13 + channel * 61 + plan.side * 3 + plan.bits);
}

// A PNG whose zlib stream holds stored (uncompressed) deflate blocks.
Bytes png_image(const IconImagePlan& plan) {
  Bytes raw;
  for (uint32_t y = 0; y < plan.side; ++y) {
    raw.push_back(0);  // filter: none
    for (uint32_t x = 0; x < plan.side; ++x)
      for (uint32_t c = 0; c < 4; ++c) raw.push_back(c == 3 ? 255 : shade(plan, x, y, c));
  }
  Bytes z = {0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(raw.size() - at, 65535);
    z.push_back(at + n == raw.size() ? 1 : 0);  // the last block says so
    append16(z, static_cast<uint16_t>(n));
    append16(z, static_cast<uint16_t>(~n));
    z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
    at += n;
  } while (at < raw.size());
  append32_big(z, b << 16 | a);

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char* kind, const Bytes& data) {
    append32_big(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), kind, kind + 4);
    png.insert(png.end(), data.begin(), data.end());
    append32_big(png, crc32(png.data() + start, png.size() - start));
  };
  Bytes header;
  append32_big(header, plan.side);
  append32_big(header, plan.side);
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter variants, no interlace
  chunk("IHDR", header);
  chunk("IDAT", z);
  chunk("IEND", {});
  return png;
}

uint32_t row_bytes(uint32_t width, uint32_t bits) { return (width * bits + 31) / 32 * 4; }

Bytes bitmap_image(const IconImagePlan& plan) {
  Bytes b;
  if (plan.core_header) {
    append32(b, 12);
    append16(b, static_cast<uint16_t>(plan.side));
    append16(b, static_cast<uint16_t>(2 * plan.side));
    append16(b, 1);
    append16(b, plan.bits);
  } else {
    append32(b, 40);
    append32(b, plan.side);
    append32(b, 2 * plan.side);  // colour rows and mask rows
    append16(b, 1);
    append16(b, plan.bits);
    b.resize(b.size() + 24, 0);  // no compression, sizes and colour counts left to the defaults
  }
  if (plan.bits <= 8)
    for (uint32_t k = 0; k < (1u << plan.bits); ++k)
      for (uint32_t c = 0; c < (plan.core_header ? 3u : 4u); ++c) b.push_back(c == 3 ? 0 : shade(plan, k, k, c));
  const uint32_t row = row_bytes(plan.side, plan.bits);
  for (uint32_t y = 0; y < plan.side; ++y)
    for (uint32_t k = 0; k < row; ++k) b.push_back(shade(plan, k, y, 0));
  if (plan.mask) b.resize(b.size() + size_t{row_bytes(plan.side, 1)} * plan.side, 0);
  return b;
}

}  // namespace

Bytes icon_image(const IconImagePlan& plan) { return plan.png ? png_image(plan) : bitmap_image(plan); }

Bytes icon_file(const std::vector<IconImagePlan>& plans) {
  Bytes file;
  append16(file, 0);
  append16(file, 1);
  append16(file, static_cast<uint16_t>(plans.size()));
  Bytes images;
  for (const IconImagePlan& plan : plans) {
    const Bytes image = icon_image(plan);
    file.push_back(static_cast<uint8_t>(plan.side % 256));
    file.push_back(static_cast<uint8_t>(plan.side % 256));
    file.push_back(static_cast<uint8_t>(plan.bits < 8 ? 1u << plan.bits : 0));
    file.push_back(0);
    append16(file, 1);
    append16(file, plan.bits);
    append32(file, static_cast<uint32_t>(image.size()));
    append32(file, static_cast<uint32_t>(6 + 16 * plans.size() + images.size()));
    images.insert(images.end(), image.begin(), image.end());
  }
  file.insert(file.end(), images.begin(), images.end());
  return file;
}

std::vector<IconImagePlan> mixed_icon() { return {{16, 4}, {24, 8, false, true}, {32, 32}, {48, 32, true}}; }

Bytes icon_file_image(const Bytes& icon, size_t index) {
  const size_t at = get32(icon, icon_entry(index) + kEntryOffset);
  return Bytes(icon.begin() + at, icon.begin() + at + get32(icon, icon_entry(index) + kEntrySize));
}

Bytes expected_icon_group(const Bytes& icon) {
  Bytes group(icon.begin(), icon.begin() + 6);
  for (size_t i = 0; i < get16(icon, 4); ++i) {
    group.insert(group.end(), icon.begin() + icon_entry(i), icon.begin() + icon_entry(i) + 12);
    append16(group, static_cast<uint16_t>(i + 1));
  }
  return group;
}

}  // namespace tarvex::testing
