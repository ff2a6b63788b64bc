// The folder walk on a real file system: order, sizes, empty folders, and every refusal.
#include "tool/packer/app_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tool/packer/entry_names.h"

namespace tarvex::packer {
namespace {

namespace fs = std::filesystem;

class AppFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = fs::temp_directory_path() / ("tarvex_walk_" + std::to_string(random()));
    app_ = root_ / "app";
    fs::create_directories(app_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void file(const fs::path& relative, const std::string& content = "x") {
    fs::create_directories((app_ / relative).parent_path());
    std::ofstream(app_ / relative, std::ios::binary) << content;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const AppFile& f : folder_.files) out.push_back(utf16_to_utf8(f.name));
    return out;
  }
  // Whether the walk succeeded; a failure is kept in refusal_.
  bool walk(const fs::path& leave_out = {}) {
    refusal_ = walk_app_folder(app_, leave_out, &folder_);
    return !refusal_;
  }

  fs::path root_, app_;
  AppFolder folder_;
  Failure refusal_;
};

TEST_F(AppFolderTest, TreeOrderSizesAndMainFirst) {
  file("b.txt", "12345");
  file("a/z.txt");
  file("a/b/c.txt", "");
  file("a b.txt");
  file("A_upper.txt");
  fs::create_directories(app_ / "empty");
  ASSERT_TRUE(walk()) << refusal_.reason;
  // Names compare unit by unit inside each folder, so "a\..." comes before "a b.txt".
  EXPECT_EQ(names(), (std::vector<std::string>{"A_upper.txt", "a\\b\\c.txt", "a\\z.txt", "a b.txt", "b.txt"}));
  EXPECT_EQ(folder_.files[4].size, 5u);
  EXPECT_EQ(folder_.files[1].size, 0u);
  ASSERT_EQ(folder_.empty_folders.size(), 1u);
  EXPECT_EQ(folder_.empty_folders[0].filename(), "empty");

  // name (2 per unit + terminator) + 8-byte size + content for each, then the end marker.
  EXPECT_EQ(entry_stream_size(folder_.files),
            2u + (24 + 8 + 1) + (20 + 8) + (16 + 8 + 1) + (16 + 8 + 1) + (12 + 8 + 5));

  EXPECT_TRUE(put_first(&folder_, u"A\\Z.TXT"));
  EXPECT_EQ(names(), (std::vector<std::string>{"a\\z.txt", "A_upper.txt", "a\\b\\c.txt", "a b.txt", "b.txt"}));
  EXPECT_FALSE(put_first(&folder_, u"a\\y.txt"));
}

TEST_F(AppFolderTest, OutputInsideTheFolderIsLeftOut) {
  file("app.dll");
  file("app.exe");
  ASSERT_TRUE(walk(app_ / "app.exe"));
  EXPECT_EQ(names(), std::vector<std::string>{"app.dll"});
  EXPECT_TRUE(folder_.left_out_output);
}

TEST_F(AppFolderTest, MissingOrNotAFolder) {
  fs::remove_all(app_);
  EXPECT_FALSE(walk());
  EXPECT_EQ(refusal_.reason, "no such folder");
  std::ofstream(app_) << "file";
  EXPECT_FALSE(walk());
  EXPECT_EQ(refusal_.reason, "not a folder");
}

#ifndef _WIN32
// Windows cannot even create these: device names, and paths this long without the
// long-path prefix.
TEST_F(AppFolderTest, DeviceNameAndLongNames) {
  file("data/nul.txt");
  EXPECT_FALSE(walk());
  EXPECT_NE(refusal_.reason.find("device name"), std::string::npos);
  EXPECT_NE(refusal_.path.find("nul.txt"), std::string::npos);
  fs::remove_all(app_ / "data");

  // Six folders of 200 units: over 1023 units in all, though each component and the
  // host path are fine.
  fs::path deep;
  for (int i = 0; i < 6; ++i) deep /= std::string(200, static_cast<char>('a' + i));
  file(deep / "f.txt");
  EXPECT_FALSE(walk());
  EXPECT_NE(refusal_.reason.find("1023"), std::string::npos) << refusal_.reason;
}

// Names and links that a Linux file system allows and Windows does not.
TEST_F(AppFolderTest, RefusalsOnHostFileSystems) {
  struct Case {
    const char* label;
    void (*make)(const fs::path& app, const fs::path& outside);
    const char* reason;
  } cases[] = {
      {"colon", [](const fs::path& a, const fs::path&) { std::ofstream(a / "ab:c.txt"); }, "':'"},
      {"backslash", [](const fs::path& a, const fs::path&) { std::ofstream(a / "a\\b"); }, "'\\'"},
      {"question mark", [](const fs::path& a, const fs::path&) { std::ofstream(a / "why?"); }, "'?'"},
      {"control", [](const fs::path& a, const fs::path&) { std::ofstream(a / "bell\x07"); }, "U+0007"},
      {"trailing dot", [](const fs::path& a, const fs::path&) { std::ofstream(a / "readme."); }, "dot or a space"},
      {"trailing space folder",
       [](const fs::path& a, const fs::path&) {
         fs::create_directories(a / "d " / "x");
         std::ofstream(a / "d " / "x" / "f");
       },
       "dot or a space"},
      {"bad UTF-8", [](const fs::path& a, const fs::path&) { std::ofstream(a / "caf\xE9.txt"); }, "not valid UTF-8"},
      {"same but case",
       [](const fs::path& a, const fs::path&) {
         std::ofstream(a / "Readme.txt");
         std::ofstream(a / "README.TXT");
       },
       "letter case"},
      {"same but accent case",
       [](const fs::path& a, const fs::path&) {
         std::ofstream(a / "\xC3\x89t\xC3\xA9");
         std::ofstream(a / "\xC3\xA9t\xC3\xA9");
       },
       "letter case"},
      {"file and folder",
       [](const fs::path& a, const fs::path&) {
         std::ofstream(a / "data");
         fs::create_directory(a / "DATA");
         std::ofstream(a / "DATA" / "x");
       },
       "folder of the same name"},
      {"link outside", [](const fs::path& a, const fs::path& o) { fs::create_symlink(o, a / "link"); },
       "outside the application folder"},
      {"link to outside folder",
       [](const fs::path& a, const fs::path& o) { fs::create_directory_symlink(o.parent_path(), a / "up"); },
       "outside the application folder"},
      {"dangling link", [](const fs::path& a, const fs::path&) { fs::create_symlink(a / "gone", a / "link"); },
       "cannot be found"},
      {"link loop",
       [](const fs::path& a, const fs::path&) {
         fs::create_directory(a / "d");
         fs::create_directory_symlink(a, a / "d" / "loop");
       },
       "folder that contains it"},
      {"fifo", [](const fs::path& a, const fs::path&) { mkfifo((a / "pipe").c_str(), 0600); },
       "neither a regular file"},
  };
  const fs::path outside = root_ / "outside.txt";
  std::ofstream(outside) << "secret";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(app_);
    fs::create_directories(app_);
    file("app.dll");
    c.make(app_, outside);
    EXPECT_FALSE(walk());
    EXPECT_NE(refusal_.reason.find(c.reason), std::string::npos) << refusal_.reason;
    EXPECT_NE(refusal_.path.find(app_.string()), std::string::npos) << refusal_.path;
  }
}

TEST_F(AppFolderTest, LinksInsideAreFollowed) {
  file("lib/real.dll", "abc");
  fs::create_symlink(app_ / "lib" / "real.dll", app_ / "alias.dll");
  fs::create_directory_symlink("lib", app_ / "lib2");
  ASSERT_TRUE(walk()) << refusal_.path << ": " << refusal_.reason;
  EXPECT_EQ(names(), (std::vector<std::string>{"alias.dll", "lib\\real.dll", "lib2\\real.dll"}));
  EXPECT_EQ(folder_.files[0].size, 3u);
}
#endif

}  // namespace
}  // namespace tarvex::packer
