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
  alignas(8) unsigned char label[sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) + SECURITY_MAX_SID_SIZE];
};

// Fills `security`, with the user as owner, set explicitly: an elevated
// administrator's default owner would be Administrators. When `high_label` is set,
// also a High mandatory label that keeps lower processes from writing, inherited
// below: the same user's non-elevated processes cannot change what an elevated run
// loads. False when the user's SID cannot be had, with GetLastError set.
bool make_private_folder_security(PrivateFolderSecurity& security, bool high_label);
// The same, labelled when the process's token is elevated.
bool make_private_folder_security(PrivateFolderSecurity& security);

// The integrity level (the label SID's last sub-authority) of this process, and of
// the open object `object` (opened with READ_CONTROL): its label's, or Medium for an
// object without one, as the system takes it. 0 when it cannot be read.
DWORD process_integrity();
DWORD object_integrity(HANDLE object);

// Whether the owner of the open file or folder `object` (opened with READ_CONTROL) is
// the running user. False too when the owner cannot be read.
bool owned_by_current_user(HANDLE object);

// Whether the owner is the running user, SYSTEM, Administrators or TrustedInstaller:
// an account that cannot be turned against the user.
bool owned_by_user_or_system(HANDLE object);

}  // namespace tarvex
