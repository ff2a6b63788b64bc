// The payload writer: the bytes it lays down.
#include "payload/writer.h"

#include <gtest/gtest.h>

#include "payload/format.h"

namespace tarvex {
namespace {

TEST(Writer, EntryStreamMatchesTheWorkedExample) {
  Bytes stream = encode_entry_stream({{u"x\\y", {0x68, 0x69}}});
  Bytes expected = {0x78, 0, 0x5C, 0, 0x79, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x68, 0x69, 0, 0};
  EXPECT_EQ(stream, expected);
}

TEST(Writer, NonAsciiNamesAreUtf16LittleEndian) {
  Bytes stream = encode_entry_stream({{u"\u00e9\U0001F600", {}}});
  Bytes expected = {0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(stream, expected);
}

TEST(Writer, ResourceHasSignatureFrameAndTrailerHoldingItsOffset) {
  WriterOptions options;
  options.window_log = 27;
  Bytes r = build_payload({{u"m.dll", Bytes(100, 7)}}, options);
  ASSERT_GT(r.size(), 3u + 6 + 8);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 3), Bytes({'W', 'Q', 'J'}));
  // Magic, then descriptor 0x00 (no size, no checksum, no dictionary) and a 2^27 window.
  EXPECT_EQ(Bytes(r.begin() + 3, r.begin() + 9), Bytes({0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x88}));
  uint64_t trailer = 0;
  for (int i = 7; i >= 0; --i) trailer = trailer << 8 | r[r.size() - 8 + i];
  EXPECT_EQ(trailer, r.size() - 8);
}

TEST(Writer, ChecksumOptionSetsTheDescriptorBit) {
  WriterOptions options;
  options.checksum = true;
  Bytes r = build_payload({{u"m.dll", Bytes(100, 7)}}, options);
  EXPECT_EQ(r[7] & 0x04, 0x04);
  EXPECT_EQ(r[7] & 0xC0, 0x00);  // still no content size
}

TEST(Writer, WindowIsTheSmallestFittingPowerOfTwoWithinLimits) {
  struct Case {
    uint64_t size;
    unsigned log;
  } cases[] = {{0, 10},          {1, 10},
               {1024, 10},       {1025, 11},
               {1u << 20, 20},   {(1u << 20) + 1, 21},
               {1ull << 27, 27}, {(1ull << 27) + 1, 27},
               {1ull << 40, 27}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(window_log_for(c.size), c.log);
  }
}

TEST(Writer, SmallPayloadDeclaresASmallWindow) {
  Bytes r = build_payload({{u"m.dll", Bytes(3000, 1)}});  // stream of 3024 bytes: 2^12
  EXPECT_EQ(r[3 + 4], 0x00);
  EXPECT_EQ(r[3 + 5], (12 - 10) << 3);
}

}  // namespace
}  // namespace tarvex
