// Compressing a folder's files and reading them back with the Launcher's reader.
#include "tool/packer/entry_stream.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader
#include <gtest/gtest.h>
#include <zstd.h>

#include <fstream>
#include <random>

#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "support/wide_buffer.h"
#include "tool/packer/payload_resource.h"

namespace tarvex::packer {
namespace {

namespace fs = std::filesystem;

class EntryStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("tarvex_stream_" + std::to_string(random()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void add(const std::u16string& name, const std::string& content) {
    const fs::path path = dir_ / std::to_string(files_.size());
    std::ofstream(path, std::ios::binary) << content;
    files_.push_back({name, path, content.size()});
    contents_.push_back(content);
  }
  Bytes pack(const Compression& compression) {
    Bytes resource;
    const Failure failure = compress_entries(files_, compression, &resource);
    EXPECT_FALSE(failure) << failure.path << ": " << failure.reason;
    return resource;
  }

  fs::path dir_;
  std::vector<AppFile> files_;
  std::vector<std::string> contents_;
};

ZSTD_frameHeader frame_header(const Bytes& resource) {
  ZSTD_frameHeader header{};
  EXPECT_EQ(ZSTD_getFrameHeader(&header, resource.data() + 3, resource.size() - 3), 0u);
  return header;
}

TEST_F(EntryStreamTest, ReadsBackInOrderThroughTheLauncherReader) {
  std::mt19937 random(7);
  std::string big(300000, '\0');
  for (char& c : big) c = static_cast<char>(random() % 7);  // compressible, spans several reader buffers
  add(u"main.dll", "MZ module");
  add(u"data\\empty.txt", "");
  add(u"data\\big.bin", big);
  add(u"\u00e9t\u00e9\\\U0001F600.txt", "unicode");
  const Bytes resource = pack({3, 1, true});
  ASSERT_GT(resource.size(), 11u);
  EXPECT_EQ(std::string(resource.begin(), resource.begin() + 3), "WQJ");

  ScopedPayloadReader reader;
  ASSERT_TRUE(reader.open(resource.data() + 3, resource.size() - 3).ok());
  WideBuffer<payload::kMaxNameUnits + 1> name;
  for (size_t i = 0; i < files_.size(); ++i) {
    ASSERT_TRUE(next_entry_name(reader, name).ok());
    EXPECT_EQ(std::u16string(name.c_str(), name.c_str() + name.size()), files_[i].name);
    uint64_t size = 0;
    ASSERT_TRUE(next_entry_size(reader, &size).ok());
    ASSERT_EQ(size, contents_[i].size());
    std::string content(contents_[i].size(), '\0');
    if (!content.empty()) {
      ASSERT_TRUE(reader.read(content.data(), content.size()).ok());
    }
    EXPECT_EQ(content, contents_[i]);
  }
  ASSERT_TRUE(next_entry_name(reader, name).ok());
  EXPECT_TRUE(name.empty());
}

TEST_F(EntryStreamTest, FrameParameters) {
  add(u"m.dll", "abc");
  const uint64_t stream = entry_stream_size(files_);
  const ZSTD_frameHeader with = frame_header(pack({19, 2, true}));
  EXPECT_EQ(with.windowSize, 1u << payload::kMinWindowLog) << "a tiny stream still gets the smallest window";
  EXPECT_TRUE(with.checksumFlag);
  EXPECT_EQ(with.dictID, 0u);
  EXPECT_EQ(with.frameContentSize, ZSTD_CONTENTSIZE_UNKNOWN);
  EXPECT_FALSE(frame_header(pack({19, 2, false})).checksumFlag);

  // A stream one byte over 2^10 needs the next window.
  files_.clear();
  add(u"m.dll", std::string(1024 - (stream - 3), 'x'));
  EXPECT_EQ(entry_stream_size(files_), 1024u);
  EXPECT_EQ(frame_header(pack({3, 1, true})).windowSize, 1024u);
  files_.clear();
  add(u"m.dll", std::string(1025 - (stream - 3), 'x'));
  EXPECT_EQ(frame_header(pack({3, 1, true})).windowSize, 2048u);
}

TEST_F(EntryStreamTest, SameBytesForAnyWorkerCount) {
  std::mt19937 random(11);
  for (int i = 0; i < 20; ++i) {
    std::string content(20000 + random() % 50000, '\0');
    for (char& c : content) c = static_cast<char>('a' + random() % 20);
    add(u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i)), content);
  }
  const Bytes one = pack({5, 1, true});
  EXPECT_EQ(pack({5, 1, true}), one);
  EXPECT_EQ(pack({5, 3, true}), one);
}

TEST_F(EntryStreamTest, FileChangedAfterTheWalkIsRefused) {
  add(u"m.dll", "abc");
  std::ofstream(files_[0].path, std::ios::binary | std::ios::app) << "more";
  Bytes resource;
  Failure failure = compress_entries(files_, {3, 1, true}, &resource);
  EXPECT_TRUE(failure);
  EXPECT_NE(failure.reason.find("changed"), std::string::npos);
  fs::remove(files_[0].path);
  failure = compress_entries(files_, {3, 1, true}, &resource);
  EXPECT_TRUE(failure);
  EXPECT_NE(failure.path.find(files_[0].path.filename().string()), std::string::npos);
}

}  // namespace
}  // namespace tarvex::packer
