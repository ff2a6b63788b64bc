// Security for a folder that only the running user may use.
#include "paths/private_folder.h"

#include <aclapi.h>

#include "support/system_library.h"
#include "support/unique_handle.h"

namespace tarvex {

namespace {

// advapi32, bound on first use: importing it would load it and the DLLs behind it
// at every start of either role (tens of milliseconds a process under Wine), and
// only the parent role needs it, once.
struct Advapi {
  decltype(&OpenProcessToken) open_process_token;
  decltype(&GetTokenInformation) get_token_information;
  decltype(&CopySid) copy_sid;
  decltype(&InitializeAcl) initialize_acl;
  decltype(&AddAccessAllowedAceEx) add_access_allowed_ace_ex;
  decltype(&InitializeSecurityDescriptor) initialize_security_descriptor;
  decltype(&SetSecurityDescriptorDacl) set_security_descriptor_dacl;
  decltype(&SetSecurityDescriptorControl) set_security_descriptor_control;
  decltype(&GetSecurityInfo) get_security_info;
  decltype(&EqualSid) equal_sid;
};
Advapi g_advapi;
bool g_advapi_bound = false;

template <typename F>
void bind(HMODULE module, F& function, const char* name) {
  function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (!function) g_advapi_bound = false;
}

// False, with GetLastError set, when advapi32 or one of its functions is missing.
bool bind_advapi() {
  if (g_advapi_bound) return true;
  // A known DLL: the loader takes it from the system folder only.
  HMODULE module = load_system_library(L"advapi32.dll");
  if (!module) return false;
  g_advapi_bound = true;
  bind(module, g_advapi.open_process_token, "OpenProcessToken");
  bind(module, g_advapi.get_token_information, "GetTokenInformation");
  bind(module, g_advapi.copy_sid, "CopySid");
  bind(module, g_advapi.initialize_acl, "InitializeAcl");
  bind(module, g_advapi.add_access_allowed_ace_ex, "AddAccessAllowedAceEx");
  bind(module, g_advapi.initialize_security_descriptor, "InitializeSecurityDescriptor");
  bind(module, g_advapi.set_security_descriptor_dacl, "SetSecurityDescriptorDacl");
  bind(module, g_advapi.set_security_descriptor_control, "SetSecurityDescriptorControl");
  bind(module, g_advapi.get_security_info, "GetSecurityInfo");
  bind(module, g_advapi.equal_sid, "EqualSid");
  return g_advapi_bound;
}

}  // namespace

bool current_user_sid(UserSid& sid) {
  if (!bind_advapi()) return false;
  HANDLE raw = nullptr;
  if (!g_advapi.open_process_token(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  Handle token(raw);
  alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!g_advapi.get_token_information(token.get(), TokenUser, user, sizeof user, &size)) return false;
  return g_advapi.copy_sid(sizeof sid.storage, sid.get(), reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
}

bool make_private_folder_security(PrivateFolderSecurity& security) {
  if (!current_user_sid(security.user)) return false;
  // The buffer fits one allowing ACE for the largest SID, so these cannot fail.
  ACL* acl = reinterpret_cast<ACL*>(security.acl);
  g_advapi.initialize_acl(acl, sizeof security.acl, ACL_REVISION);
  g_advapi.add_access_allowed_ace_ex(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                                     security.user.get());
  g_advapi.initialize_security_descriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION);
  g_advapi.set_security_descriptor_dacl(&security.descriptor, TRUE, acl, FALSE);
  g_advapi.set_security_descriptor_control(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  security.attributes = {sizeof security.attributes, &security.descriptor, FALSE};
  return true;
}

bool owned_by_current_user(HANDLE object) {
  UserSid user;
  if (!current_user_sid(user)) return false;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (g_advapi.get_security_info(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                 nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  const bool same = owner && g_advapi.equal_sid(owner, user.get());
  LocalFree(descriptor);
  return same;
}

}  // namespace tarvex
