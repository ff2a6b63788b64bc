// Security for a folder that only the running user may use.
#include "paths/private_folder.h"

#include <aclapi.h>

#include "support/unique_handle.h"

namespace tarvex {

namespace {

// The security functions, bound on first use. kernelbase, in every process already,
// exports most of them on Windows 8 and later and under Wine; advapi32 is loaded only
// for what it lacks (GetSecurityInfo, and everything on Windows 7): importing or
// loading it would load it and the DLLs behind it (tens of milliseconds a process
// under Wine).
struct Advapi {
  decltype(&OpenProcessToken) open_process_token;
  decltype(&GetTokenInformation) get_token_information;
  decltype(&CopySid) copy_sid;
  decltype(&InitializeAcl) initialize_acl;
  decltype(&AddAccessAllowedAceEx) add_access_allowed_ace_ex;
  decltype(&InitializeSecurityDescriptor) initialize_security_descriptor;
  decltype(&SetSecurityDescriptorDacl) set_security_descriptor_dacl;
  decltype(&SetSecurityDescriptorControl) set_security_descriptor_control;
  decltype(&EqualSid) equal_sid;
  decltype(&GetSecurityInfo) get_security_info;
};
Advapi g_advapi;
bool g_advapi_bound = false;

HMODULE g_advapi_module = nullptr;

// Null, with GetLastError set, when the function is found nowhere.
FARPROC find_function(const char* name) {
  // Both are known DLLs: the loader takes them from the system folder only.
  HMODULE kernelbase = GetModuleHandleW(L"kernelbase.dll");
  FARPROC found = kernelbase ? GetProcAddress(kernelbase, name) : nullptr;
  if (!found && !g_advapi_module) g_advapi_module = LoadLibraryW(L"advapi32.dll");
  if (!found && g_advapi_module) found = GetProcAddress(g_advapi_module, name);
  return found;
}

template <typename F>
bool bind(F& function, const char* name) {
  if (!function) function = reinterpret_cast<F>(reinterpret_cast<void*>(find_function(name)));
  return function != nullptr;
}

bool bind_advapi() {
  if (g_advapi_bound) return true;
  g_advapi_bound = bind(g_advapi.open_process_token, "OpenProcessToken") &&
                   bind(g_advapi.get_token_information, "GetTokenInformation") &&
                   bind(g_advapi.copy_sid, "CopySid") && bind(g_advapi.initialize_acl, "InitializeAcl") &&
                   bind(g_advapi.add_access_allowed_ace_ex, "AddAccessAllowedAceEx") &&
                   bind(g_advapi.initialize_security_descriptor, "InitializeSecurityDescriptor") &&
                   bind(g_advapi.set_security_descriptor_dacl, "SetSecurityDescriptorDacl") &&
                   bind(g_advapi.set_security_descriptor_control, "SetSecurityDescriptorControl") &&
                   bind(g_advapi.equal_sid, "EqualSid");
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
  if (!current_user_sid(user) || !bind(g_advapi.get_security_info, "GetSecurityInfo")) return false;
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
