// The private folder's security as the system reads it back.
#include "paths/private_folder.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "paths/directories.h"
#include "support/unique_handle.h"
#include "tests/support/windows/process.h"

namespace {

std::string sid_text(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "?";
  tarvex::LocalMemory owned(text);
  return tarvex::test::narrow(text);
}

// One allowing ACE for the user, full access, inherited by files and folders below,
// and a protected DACL. Wine keeps a folder's access in its Unix mode and shows a
// DACL derived from it: never protected, SYSTEM beside the owner, and an Everyone
// entry unless the mode keeps others out. A folder made with the default security
// shows that entry.
TEST(PrivateFolder, DescriptorReadsBackAsSet) {
  const std::wstring base = tarvex::test::make_temp_dir(L"paths_private");
  const std::wstring dir = base + L"\\mine";
  tarvex::PrivateFolderSecurity security;
  ASSERT_TRUE(tarvex::make_private_folder_security(security));
  ASSERT_TRUE(tarvex::make_new_dir(dir.c_str(), &security.attributes)) << GetLastError();

  tarvex::Handle folder(CreateFileW(dir.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(folder);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(folder.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  tarvex::LocalMemory owned(descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  ASSERT_NE(dacl, nullptr);

  int user_aces = 0;
  std::vector<std::string> others;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    PSID sid = &ace->SidStart;
    if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(sid, security.user.get())) {
      ++user_aces;
      EXPECT_EQ(ace->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
      EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    } else {
      others.push_back(sid_text(sid));
    }
  }
  EXPECT_EQ(user_aces, 1);
  if (tarvex::test::under_wine()) {
    for (const std::string& other : others) EXPECT_EQ(other, "S-1-5-18") << "LocalSystem is the only other entry";
  } else {
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    EXPECT_TRUE(others.empty());
  }
  folder.reset();
  tarvex::test::remove_tree(base);
}

// Wine takes a folder's owner from its Unix owner. Another account's folder: one made
// here and given to uid 4321, which only root may do; for anyone else, the Unix root.
TEST(PrivateFolder, OwnerMustBeTheRunningUser) {
  const std::wstring mine = tarvex::test::make_temp_dir(L"paths_owner");
  const std::wstring unix_theirs = L"/tmp/tarvex_owner_" + std::to_wstring(GetCurrentProcessId());
  std::wstring theirs = L"Z:" + unix_theirs;
  for (wchar_t& c : theirs) c = c == L'/' ? L'\\' : c;
  ASSERT_TRUE(CreateDirectoryW(theirs.c_str(), nullptr));
  tarvex::test::ProcessOptions chown;
  chown.application = L"Z:\\bin\\chown";
  chown.command_line = L"chown 4321 " + unix_theirs;
  const bool given = tarvex::test::run_process(chown).exit_code == 0;
  const struct {
    std::wstring folder;
    bool owned;
  } rows[] = {{mine, true}, {given ? theirs : L"Z:\\", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(tarvex::test::narrow(row.folder));
    tarvex::Handle folder(CreateFileW(row.folder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(folder);
    EXPECT_EQ(tarvex::owned_by_current_user(folder.get()), row.owned);
  }
  tarvex::test::remove_tree(mine);
  tarvex::test::remove_tree(theirs);
}

}  // namespace
