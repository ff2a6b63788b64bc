// Cache mode, packer side: SHA-256 against published vectors, the folder template's
// checks, and the cache record read back by the reader the Launcher uses.
#include <gtest/gtest.h>

#include <string>

#include "payload/cache_record.h"
#include "payload/format.h"
#include "tool/packer/cache_mode.h"
#include "tool/packer/entry_names.h"
#include "tool/packer/sha256.h"

namespace tarvex::packer {
namespace {

std::string hex_of(const std::string& text) {
  return sha256_hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(Sha256, KnownVectors) {
  struct Case {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrst"
       "u",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // 55, 56 and 64 bytes: the padding fits one block, just misses it, and needs a whole one.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.size());
    EXPECT_EQ(hex_of(c.input), c.digest);
  }
  const Bytes payload = {'W', 'Q', 'J', 1, 2, 3};
  EXPECT_EQ(payload_key(payload), sha256_hex(payload.data(), payload.size()).substr(0, payload::kCacheKeyDigits));
}

std::u16string u16(const std::string& text) {
  std::u16string out;
  EXPECT_TRUE(utf8_to_utf16(text, &out));
  return out;
}

TEST(CacheTemplate, AcceptsAbsoluteFoldersOfKnownVariables) {
  for (const char* ok : {kDefaultCacheTemplate, "{cache_dir}\\x", "{HOME}\\{Product} {VERSION}", "{TEMP}",
                         "C:\\Apps\\cache", "\\\\server\\share\\c", "{PROGRAM_DIR}\\.cache", "{PROGRAM_BASE}"}) {
    SCOPED_TRACE(ok);
    EXPECT_FALSE(check_cache_template(u16(ok)));
  }
}

TEST(CacheTemplate, RefusesWhatTheLauncherCouldNotUseOrWouldNeverReuse) {
  struct Case {
    const char* folder_template;
    const char* reason;
  } cases[] = {
      {"", "empty"},
      {"{TMP}\\x", "{TMP} is not a template variable"},
      {"{}\\x", "{} is not a template variable"},
      {"{CACHE_DIR}\\{PID}", "{PID} changes at every start"},
      {"{CACHE_DIR}\\{time}", "{time} changes at every start"},
      {"{CACHE_DIR\\x", "not closed"},
      {"{CACHE_DIR}}\\x", "outside a variable reference"},
      {"{CA{CHE_DIR}", "inside a variable reference"},
      {"cache\\x", "absolute"},
      {"C:cache", "absolute"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder_template);
    const Failure f = check_cache_template(u16(c.folder_template));
    EXPECT_TRUE(f);
    EXPECT_NE(f.reason.find(c.reason), std::string::npos) << f.reason;
  }
  EXPECT_TRUE(check_cache_template(u"C:\\" + std::u16string(payload::kMaxCacheTemplateUnits, u'x')));
}

TEST(CacheTemplate, KeyBecomesTheLastFolder) {
  EXPECT_EQ(keyed_template(u"{CACHE_DIR}\\a", "0123"), u"{CACHE_DIR}\\a\\0123");
  EXPECT_EQ(keyed_template(u"C:\\a\\\\", "0123"), u"C:\\a\\0123");
}

std::vector<AppFile> sample_files() {
  return {{u"app.dll", {}, 1234}, {u"data\\caf\u00e9.txt", {}, 0}, {u"big.bin", {}, 0x123456789ull}};
}

TEST(CacheRecord, ReadsBackWhatThePackerWrote) {
  const Bytes record = build_cache_record(u"{CACHE_DIR}\\k\\00ff", sample_files());
  payload::CacheRecordReader reader;
  ASSERT_TRUE(reader.open(record.data(), record.size()));
  WideBuffer<payload::kMaxCacheTemplateUnits + 1> folder;
  ASSERT_TRUE(reader.read_template(folder));
  EXPECT_EQ(to_utf16(folder.c_str(), folder.size()), u"{CACHE_DIR}\\k\\00ff");
  ASSERT_EQ(reader.entry_count(), 3u);
  for (int pass = 0; pass < 2; ++pass) {
    reader.rewind();
    WideBuffer<payload::kMaxNameUnits + 1> name;
    uint64_t size = 0;
    for (const AppFile& file : sample_files()) {
      ASSERT_TRUE(reader.next_entry(name, &size));
      EXPECT_EQ(to_utf16(name.c_str(), name.size()), file.name);
      EXPECT_EQ(size, file.size);
    }
    EXPECT_FALSE(reader.next_entry(name, &size));
  }
  WideBuffer<8> small;
  EXPECT_FALSE(reader.read_template(small));
}

TEST(CacheRecord, RefusesEveryCutAndDamagedField) {
  const Bytes record = build_cache_record(u"C:\\c\\key", sample_files());
  payload::CacheRecordReader reader;
  for (size_t cut = 0; cut < record.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_FALSE(reader.open(record.data(), cut));
  }
  Bytes longer = record;
  longer.push_back(0);
  EXPECT_FALSE(reader.open(longer.data(), longer.size())) << "bytes after the last entry";
  struct Change {
    const char* label;
    size_t at;
    uint8_t value;
  } changes[] = {
      {"magic", 0, 'X'},
      {"version", 3, '2'},
      {"template length zero", 4, 0},
      {"entry count zero", 4 + 4 + 2 * 8, 0},
      {"name length zero", 4 + 4 + 2 * 8 + 4, 0},
      {"name length beyond the record", 4 + 4 + 2 * 8 + 4 + 1, 0x40},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.label);
    Bytes damaged = record;
    damaged[c.at] = c.value;
    EXPECT_FALSE(reader.open(damaged.data(), damaged.size()));
  }
  EXPECT_TRUE(reader.open(record.data(), record.size())) << "the changes above are what made it fail";
  const Bytes long_name =
      build_cache_record(u"C:\\c\\key", {{std::u16string(payload::kMaxNameUnits + 1, u'n'), {}, 1}});
  EXPECT_FALSE(reader.open(long_name.data(), long_name.size())) << "a name longer than an entry name can be";
}

}  // namespace
}  // namespace tarvex::packer
