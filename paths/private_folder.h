// Security for a folder that only the running user may use, and the user's SID.
#pragma once
#include <windows.h>

namespace tarvex {

// A SID in storage of its own.
struct UserSid {
  alignas(8) unsigned char storage[SECURITY_MAX_SID_SIZE];
  PSID get() { return storage; }
};

// The running user's SID, as the process token names it. False when the token
// cannot be read, with GetLastError telling why.
bool current_user_sid(UserSid& sid);

// Security attributes for CreateDirectoryW: the running user has full access,
// inherited by every file and folder below; nothing is inherited from the folders
// above (a protected DACL), so no other account gets in through them. The members
// point at each other: made in place, never copied.
struct PrivateFolderSecurity {
  PrivateFolderSecurity() = default;
  PrivateFolderSecurity(const PrivateFolderSecurity&) = delete;
  PrivateFolderSecurity& operator=(const PrivateFolderSecurity&) = delete;

  SECURITY_ATTRIBUTES attributes;
  SECURITY_DESCRIPTOR descriptor;
  UserSid user;
  alignas(8) unsigned char acl[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
};

// Fills `security`; false when the user's SID cannot be had, with GetLastError set.
bool make_private_folder_security(PrivateFolderSecurity& security);

// Whether the owner of the open file or folder `object` (opened with READ_CONTROL) is
// the running user. False too when the owner cannot be read.
bool owned_by_current_user(HANDLE object);

}  // namespace tarvex
