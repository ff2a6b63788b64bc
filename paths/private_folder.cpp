// Security for a folder that only the running user may use.
#include "paths/private_folder.h"

#include <aclapi.h>

#include "support/system_library.h"
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
  decltype(&SetSecurityDescriptorOwner) set_security_descriptor_owner;
  decltype(&SetSecurityDescriptorSacl) set_security_descriptor_sacl;
  decltype(&AddMandatoryAce) add_mandatory_ace;
  decltype(&GetSecurityInfo) get_security_info;
};
Advapi g_advapi;
bool g_advapi_bound = false;

HMODULE g_advapi_module = nullptr;

// Null, with GetLastError set, when the function is found nowhere.
FARPROC find_function(const char* name) {
  // kernelbase is in every process already; advapi32 comes from the system folder.
  HMODULE kernelbase = GetModuleHandleW(L"kernelbase.dll");
  FARPROC found = kernelbase ? GetProcAddress(kernelbase, name) : nullptr;
  if (!found && !g_advapi_module) g_advapi_module = load_system_library(L"advapi32.dll");
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
  // GetSecurityInfo is advapi32's alone; it is bound where it is used.
  g_advapi_bound = bind(g_advapi.open_process_token, "OpenProcessToken") &&
                   bind(g_advapi.get_token_information, "GetTokenInformation") && bind(g_advapi.copy_sid, "CopySid") &&
                   bind(g_advapi.initialize_acl, "InitializeAcl") &&
                   bind(g_advapi.add_access_allowed_ace_ex, "AddAccessAllowedAceEx") &&
                   bind(g_advapi.initialize_security_descriptor, "InitializeSecurityDescriptor") &&
                   bind(g_advapi.set_security_descriptor_dacl, "SetSecurityDescriptorDacl") &&
                   bind(g_advapi.set_security_descriptor_control, "SetSecurityDescriptorControl") &&
                   bind(g_advapi.equal_sid, "EqualSid") &&
                   bind(g_advapi.set_security_descriptor_owner, "SetSecurityDescriptorOwner") &&
                   bind(g_advapi.set_security_descriptor_sacl, "SetSecurityDescriptorSacl") &&
                   bind(g_advapi.add_mandatory_ace, "AddMandatoryAce");
  return g_advapi_bound;
}

// Well-known SIDs, written out: S-1-16-12288 (High), S-1-5-18 (SYSTEM),
// S-1-5-32-544 (Administrators), S-1-5-80-956008885-... (TrustedInstaller).
struct WellKnownSid {
  BYTE revision;
  BYTE count;
  SID_IDENTIFIER_AUTHORITY authority;
  DWORD sub[6];
};
constexpr WellKnownSid kHighLabel = {
    SID_REVISION, 1, {SECURITY_MANDATORY_LABEL_AUTHORITY}, {SECURITY_MANDATORY_HIGH_RID}};
constexpr WellKnownSid kTrustedOwners[] = {
    {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID}},
    {SID_REVISION, 2, {SECURITY_NT_AUTHORITY}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}},
    {SID_REVISION, 6, {SECURITY_NT_AUTHORITY}, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}},
};

PSID sid_of(const WellKnownSid& sid) { return const_cast<WellKnownSid*>(&sid); }

DWORD last_sub_authority(const void* sid) {
  const SID* s = static_cast<const SID*>(sid);
  return s->SubAuthorityCount ? s->SubAuthority[s->SubAuthorityCount - 1] : 0;
}

bool token_information(TOKEN_INFORMATION_CLASS type, void* out, DWORD size) {
  if (!bind_advapi()) return false;
  HANDLE raw = nullptr;
  if (!g_advapi.open_process_token(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  Handle token(raw);
  DWORD written = 0;
  return g_advapi.get_token_information(token.get(), type, out, size, &written) != 0;
}

bool token_is_elevated() {
  TOKEN_ELEVATION elevation = {};
  return token_information(TokenElevation, &elevation, sizeof elevation) && elevation.TokenIsElevated;
}

// Whether the owner of `object` is the running user or one of `sids`.
bool owner_among(HANDLE object, const WellKnownSid* sids, size_t count) {
  UserSid user;
  if (!current_user_sid(user) || !bind(g_advapi.get_security_info, "GetSecurityInfo")) return false;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (g_advapi.get_security_info(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                                 &descriptor) != ERROR_SUCCESS)
    return false;
  LocalMemory owned(descriptor);
  if (!owner) return false;
  if (g_advapi.equal_sid(owner, user.get())) return true;
  for (size_t i = 0; i < count; ++i)
    if (g_advapi.equal_sid(owner, sid_of(sids[i]))) return true;
  return false;
}

}  // namespace

bool current_user_sid(UserSid& sid) {
  alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  if (!token_information(TokenUser, user, sizeof user)) return false;
  return g_advapi.copy_sid(sizeof sid.storage, sid.get(), reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
}

bool make_private_folder_security(PrivateFolderSecurity& security) {
  return make_private_folder_security(security, token_is_elevated());
}

bool make_private_folder_security(PrivateFolderSecurity& security, bool high_label) {
  if (!current_user_sid(security.user)) return false;
  // The buffer fits one allowing ACE for the largest SID, so these cannot fail.
  ACL* acl = reinterpret_cast<ACL*>(security.acl);
  g_advapi.initialize_acl(acl, sizeof security.acl, ACL_REVISION);
  g_advapi.add_access_allowed_ace_ex(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                                     security.user.get());
  g_advapi.initialize_security_descriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION);
  g_advapi.set_security_descriptor_dacl(&security.descriptor, TRUE, acl, FALSE);
  g_advapi.set_security_descriptor_control(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  g_advapi.set_security_descriptor_owner(&security.descriptor, security.user.get(), FALSE);
  if (high_label) {
    ACL* label = reinterpret_cast<ACL*>(security.label);
    g_advapi.initialize_acl(label, sizeof security.label, ACL_REVISION);
    g_advapi.add_mandatory_ace(label, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                               SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, sid_of(kHighLabel));
    g_advapi.set_security_descriptor_sacl(&security.descriptor, TRUE, label, FALSE);
  }
  security.attributes = {sizeof security.attributes, &security.descriptor, FALSE};
  return true;
}

bool owned_by_current_user(HANDLE object) { return owner_among(object, nullptr, 0); }

bool owned_by_user_or_system(HANDLE object) {
  return owner_among(object, kTrustedOwners, sizeof kTrustedOwners / sizeof kTrustedOwners[0]);
}

DWORD process_integrity() {
  alignas(TOKEN_MANDATORY_LABEL) unsigned char label[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
  if (!token_information(TokenIntegrityLevel, label, sizeof label)) return 0;
  return last_sub_authority(reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label)->Label.Sid);
}

DWORD object_integrity(HANDLE object) {
  if (!bind_advapi() || !bind(g_advapi.get_security_info, "GetSecurityInfo")) return 0;
  PACL sacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (g_advapi.get_security_info(object, SE_FILE_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, &sacl,
                                 &descriptor) != ERROR_SUCCESS)
    return 0;
  LocalMemory owned(descriptor);
  // The ACEs follow the ACL header, each as long as its header says.
  const unsigned char* at = reinterpret_cast<const unsigned char*>(sacl) + sizeof(ACL);
  for (WORD i = 0; sacl && i < sacl->AceCount; ++i) {
    const ACE_HEADER* header = reinterpret_cast<const ACE_HEADER*>(at);
    if (header->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE)
      return last_sub_authority(&reinterpret_cast<const SYSTEM_MANDATORY_LABEL_ACE*>(at)->SidStart);
    at += header->AceSize;
  }
  return SECURITY_MANDATORY_MEDIUM_RID;
}

}  // namespace tarvex
