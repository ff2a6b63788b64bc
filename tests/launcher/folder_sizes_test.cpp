// One folder's file sizes from one listing: names matched as the file system does.
#include "launcher/folder_sizes.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"
#include "tests/support/windows/process.h"

namespace {

TEST(FolderSizes, AnswerAsAQueryOfEachFileWould) {
  const std::wstring dir = tarvex::test::make_temp_dir(L"tvx_sizes");
  ASSERT_FALSE(dir.empty());
  ASSERT_TRUE(tarvex::test::write_file(dir + L"\\Seven.txt", "1234567"));
  ASSERT_TRUE(CreateDirectoryW((dir + L"\\sub").c_str(), nullptr));
  tarvex::WideBuffer<4096> path;
  path.assign(dir.c_str(), tarvex::kInvariant);
  ASSERT_TRUE(tarvex::list_folder_sizes(path));
  EXPECT_EQ(path.c_str(), dir) << "the folder's path comes back as it was";
  const struct {
    const wchar_t* name;
    uint64_t size;
    bool present;
  } rows[] = {{L"Seven.txt", 7, true},
              {L"SEVEN.TXT", 7, true},
              {L"Seven.txt", 6, false},
              {L"eight.txt", 0, false},
              {L"sub", 0, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(tarvex::test::narrow(row.name));
    EXPECT_EQ(tarvex::listed_file_has_size(row.name, row.size), row.present);
  }
  tarvex::test::remove_tree(dir);
  EXPECT_FALSE(tarvex::list_folder_sizes(path)) << "a folder that is gone cannot be listed";
}

}  // namespace
