// The payload reader over well-formed, foreign and damaged frames.
#include "payload/reader.h"

#include <gtest/gtest.h>
#include <zstd_errors.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "payload/format.h"
#include "payload/writer.h"

namespace tarvex {

// Failures print by name in test output.
void PrintTo(PayloadStatus status, std::ostream* out) {
  static const char* const kNames[] = {"ok", "no memory", "decode", "truncated", "name too long"};
  *out << kNames[static_cast<int>(status.failure)];
  if (status.zstd_error) *out << " (zstd error " << status.zstd_error << ")";
}
bool operator==(PayloadStatus a, PayloadStatus b) { return a.failure == b.failure && a.zstd_error == b.zstd_error; }

namespace {

Bytes read_fixture(const char* name) {
  std::string path = std::string(TARVEX_FIXTURES) + "/" + name;
  Bytes out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return out;
  unsigned char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  fclose(f);
  return out;
}

Bytes pattern(size_t n, unsigned seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& v : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v = static_cast<uint8_t>(x % 7 == 0 ? x >> 8 : 'a' + x % 3);  // compressible, not trivial
  }
  return b;
}

Bytes compress(const Bytes& stream, WriterOptions options = {}) {
  PayloadCompressor c(options);
  c.write(stream.data(), stream.size());
  return c.finish();
}

class ReaderTest : public ::testing::Test {
 protected:
  void TearDown() override { reader_.close(); }
  // Opens the reader on resource bytes (signature included, as the Launcher sees them).
  // The reader decodes in place, so the bytes must outlive the reading.
  void open_resource(const Bytes& resource) {
    ASSERT_TRUE(
        reader_.open(resource.data() + payload::kSignatureSize, resource.size() - payload::kSignatureSize).ok());
  }
  // Keeps the resource alive while the reader works on it.
  void open(Bytes resource) {
    resource_ = std::move(resource);
    open_resource(resource_);
  }
  PayloadStatus read(void* out, uint64_t count) { return reader_.read(out, count); }
  // Reads the whole stream as 2-byte name units, 8-byte sizes and content slices.
  PayloadStatus walk(Bytes* stream_out) {
    for (;;) {
      uint8_t unit[2];
      bool first = true, empty = false;
      for (;;) {
        if (PayloadStatus s = read(unit, 2); !s.ok()) return s;
        stream_out->insert(stream_out->end(), unit, unit + 2);
        if (unit[0] == 0 && unit[1] == 0) {
          empty = first;
          break;
        }
        first = false;
      }
      if (empty) return kPayloadOk;
      uint8_t size_bytes[8];
      if (PayloadStatus s = read(size_bytes, 8); !s.ok()) return s;
      stream_out->insert(stream_out->end(), size_bytes, size_bytes + 8);
      uint64_t size = 0;
      for (int i = 7; i >= 0; --i) size = size << 8 | size_bytes[i];
      static uint8_t slice[payload::kWriteSliceSize];
      while (size > 0) {
        uint64_t n = size < sizeof slice ? size : sizeof slice;
        if (PayloadStatus s = read(slice, n); !s.ok()) return s;
        stream_out->insert(stream_out->end(), slice, slice + n);
        size -= n;
      }
    }
  }
  PayloadReader reader_;
  Bytes resource_;
};

constexpr PayloadStatus kTruncated{PayloadFailure::kTruncated, 0};
constexpr PayloadStatus decode_failure(ZSTD_ErrorCode code) {
  return {PayloadFailure::kDecode, static_cast<uint16_t>(code)};
}

TEST_F(ReaderTest, WholeStreamThroughEndMarkerLeavesTrailerUnconsumed) {
  std::vector<PayloadEntry> entries = {
      {u"main.dll", pattern(1000, 1)}, {u"data\\big.bin", pattern(400000, 2)}, {u"empty", {}}};
  Bytes stream = encode_entry_stream(entries);
  Bytes resource = build_payload(entries);
  open_resource(resource);
  Bytes got;
  EXPECT_EQ(walk(&got), kPayloadOk);
  EXPECT_EQ(got, stream);
  EXPECT_EQ(reader_.input_consumed(), resource.size() - payload::kSignatureSize - payload::kTrailerSize);
}

TEST_F(ReaderTest, SizeFieldSplitAcrossTwoDecoderOutputsArrivesInOrder) {
  // Name of 4 units + terminator (10 bytes) and content chosen so that the second
  // entry's size field starts 3 bytes before the end of the first 131072-byte output.
  const size_t content = payload::kReaderOutputSize - 3 - 10 - 8 - 10;
  std::vector<PayloadEntry> entries = {{u"abcd", pattern(content, 3)}, {u"efgh", pattern(77, 4)}};
  Bytes stream = encode_entry_stream(entries);
  ASSERT_EQ(stream[payload::kReaderOutputSize - 3 - 10], 'e');
  open(build_payload(entries));
  Bytes head(payload::kReaderOutputSize - 3);
  ASSERT_EQ(read(head.data(), head.size()), kPayloadOk);
  uint8_t size_bytes[8];
  ASSERT_EQ(read(size_bytes, 8), kPayloadOk);
  EXPECT_EQ(Bytes(size_bytes, size_bytes + 8), Bytes(stream.begin() + head.size(), stream.begin() + head.size() + 8));
  EXPECT_EQ(size_bytes[0], 77);
}

TEST_F(ReaderTest, ReadLargerThanOneOutputBuffer) {
  Bytes stream = pattern(3 * payload::kReaderOutputSize + 17, 5);
  open(compress(stream));
  Bytes got(stream.size());
  ASSERT_EQ(read(got.data(), got.size()), kPayloadOk);
  EXPECT_EQ(got, stream);
}

TEST_F(ReaderTest, CallsThatProduceNothingAreFollowedByMoreCalls) {
  // A skippable frame and an empty frame yield no bytes; the data follows them.
  Bytes stream = encode_entry_stream({{u"x", pattern(10, 6)}});
  Bytes empty_frame = compress({});
  Bytes data_frame = compress(stream);
  Bytes frames = {0x50, 0x2A, 0x4D, 0x18, 4, 0, 0, 0, 1, 2, 3, 4};
  frames.insert(frames.end(), empty_frame.begin() + 3, empty_frame.end() - 8);
  frames.insert(frames.end(), data_frame.begin() + 3, data_frame.end() - 8);
  open(wrap_frame(frames));
  Bytes got;
  EXPECT_EQ(walk(&got), kPayloadOk);
  EXPECT_EQ(got, stream);
}

TEST_F(ReaderTest, TwoConsecutiveFramesReadLikeOne) {
  Bytes stream = encode_entry_stream({{u"a\\b", pattern(200000, 7)}, {u"c", pattern(5, 8)}});
  Bytes first(stream.begin(), stream.begin() + 100001), second(stream.begin() + 100001, stream.end());
  Bytes f1 = compress(first), f2 = compress(second);
  Bytes frames(f1.begin() + 3, f1.end() - 8);
  frames.insert(frames.end(), f2.begin() + 3, f2.end() - 8);
  open(wrap_frame(frames));
  Bytes got;
  EXPECT_EQ(walk(&got), kPayloadOk);
  EXPECT_EQ(got, stream);
}

TEST_F(ReaderTest, BadMagicIsNoticedOnFirstReadNotAtOpen) {
  Bytes resource = build_payload({{u"m", pattern(10, 9)}});
  resource[3] ^= 0x01;
  open_resource(resource);
  uint8_t unit[2];
  EXPECT_EQ(read(unit, 2), decode_failure(ZSTD_error_prefix_unknown));
}

TEST_F(ReaderTest, PayloadCutAtEveryOffsetIsTruncated) {
  std::vector<PayloadEntry> entries = {{u"m.dll", pattern(300, 10)}, {u"d\\e", pattern(7000, 11)}};
  Bytes stream = encode_entry_stream(entries);
  Bytes full = build_payload(entries, WriterOptions{3, 0, true, 0});
  const size_t frame_end = full.size() - payload::kTrailerSize;
  const size_t checksum_start = frame_end - 4;
  for (size_t cut = payload::kSignatureSize; cut < frame_end; ++cut) {
    SCOPED_TRACE(cut);
    Bytes resource(full.begin(), full.begin() + cut);
    open_resource(resource);
    Bytes got;
    const PayloadStatus status = walk(&got);
    if (cut >= checksum_start) {
      // Only the checksum is missing: the end marker comes before it, so every byte
      // was delivered, and it is the right one.
      EXPECT_EQ(status, kPayloadOk);
      EXPECT_EQ(got, stream);
    } else {
      EXPECT_EQ(status, kTruncated);
    }
    reader_.close();
  }
}

TEST_F(ReaderTest, FlippedBitsNeverGoUnnoticedWithChecksum) {
  Bytes stream = encode_entry_stream({{u"m.dll", pattern(5000, 12)}});
  Bytes full = build_payload({{u"m.dll", pattern(5000, 12)}}, WriterOptions{3, 0, true, 0});
  const size_t frame_end = full.size() - payload::kTrailerSize;
  int decode_failures = 0;
  for (size_t at = payload::kSignatureSize; at < frame_end; ++at) {
    for (int bit : {0, 3, 7}) {
      SCOPED_TRACE(std::to_string(at) + ":" + std::to_string(bit));
      Bytes damaged = full;
      damaged[at] ^= static_cast<uint8_t>(1u << bit);
      open_resource(damaged);
      Bytes got;
      const PayloadStatus status = walk(&got);
      // Either the decoder notices, or the damage did not change a single byte of the
      // result (an unused header bit); never a wrong result. A changed block size may
      // leave the decoder waiting for input that never comes.
      if (status.ok()) {
        EXPECT_EQ(got, stream);
      } else if (status.failure == PayloadFailure::kDecode) {
        EXPECT_NE(status.zstd_error, 0);
        ++decode_failures;
      } else {
        EXPECT_EQ(status, kTruncated);
      }
      reader_.close();
    }
  }
  EXPECT_GT(decode_failures, 0);
}

TEST_F(ReaderTest, ReadingPastTheEndMarkerIsADecodeFailure) {
  Bytes resource = build_payload({});
  open_resource(resource);
  uint8_t unit[2];
  ASSERT_EQ(read(unit, 2), kPayloadOk);
  EXPECT_EQ(unit[0] | unit[1], 0);
  // The trailer follows the frame, and it is no frame.
  EXPECT_EQ(read(unit, 2), decode_failure(ZSTD_error_prefix_unknown));
}

TEST(PayloadFailureMessage, EachFailureHasTheLaunchersLine) {
  EXPECT_STREQ(payload_failure_message(PayloadFailure::kNoMemory), "Error, couldn't allocate memory.");
  EXPECT_STREQ(payload_failure_message(PayloadFailure::kDecode), "Error, couldn't decode attached data.");
  EXPECT_STREQ(payload_failure_message(PayloadFailure::kTruncated), "Error, couldn't decode attached data.");
  EXPECT_STREQ(payload_failure_message(PayloadFailure::kNameTooLong),
               "Error, a payload entry name does not fit 1023 characters.");
}

struct ForeignFrame {
  const char* file;
  PayloadStatus status;
};
void PrintTo(const ForeignFrame& frame, std::ostream* out) { *out << frame.file; }

class ForeignFrameTest : public ReaderTest, public ::testing::WithParamInterface<ForeignFrame> {};

TEST_P(ForeignFrameTest, ZstdToolFrame) {
  Bytes frame = read_fixture(GetParam().file);
  Bytes expected = read_fixture("stream.bin");
  ASSERT_FALSE(frame.empty());
  ASSERT_FALSE(expected.empty());
  open(wrap_frame(frame));
  Bytes got;
  EXPECT_EQ(walk(&got), GetParam().status);
  if (GetParam().status.ok()) {
    EXPECT_EQ(got, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, ForeignFrameTest,
                         ::testing::Values(ForeignFrame{"checksum_and_size.zst", kPayloadOk},
                                           ForeignFrame{"skippable_first.zst", kPayloadOk},
                                           ForeignFrame{"bad_checksum.zst", decode_failure(ZSTD_error_checksum_wrong)},
                                           ForeignFrame{"window_2_28.zst",
                                                        decode_failure(ZSTD_error_frameParameter_windowTooLarge)}),
                         [](const auto& info) {
                           std::string n = info.param.file;
                           return n.substr(0, n.find('.'));
                         });

}  // namespace
}  // namespace tarvex
