// The module that end-to-end tests put first in their payloads. Its arguments are
// commands, run left to right:
//   args              print every argument as  arg[i]=<its UTF-8 bytes in hex>
//   env               print the TARVEX_ variables as  NAME=<value> (or NAME unset)
//   parent_prefix T   put T before the value of TARVEX_ONEFILE_PARENT
//   kill_parent       terminate the process that TARVEX_ONEFILE_PARENT names (exit code 9)
//   list              print every file below the module's folder: relative path, size, FNV-1a 64 hash
//   exists PATH       print  exists PATH=1  or  =0
//   sleep MS          sleep
//   touch PATH        create an empty file
//   waitfor PATH      wait (up to 60 s) until PATH exists
//   ignore-ctrl-c     from now on, take console events as handled: the process
//                     goes on, and the Launcher's own handlers never see them
//   readonly NAME     give NAME, in the module's folder, the read-only attribute
//   dacl              print the module folder's DACL as  FOLDER_DACL=<SDDL>  and the
//                     running user as  USER_SID=<SID>
//   relaunch ARG...   start this onefile executable again with the rest of the
//                     arguments, wait, print  relaunch exit=<code>; ends the command list
//   spawn EXE ARG...  the same for another program
//   start EXE ARG...  start EXE with the rest of the arguments and return 0 at once
//   pid PATH          write this process's id to PATH
//   load NAME         LoadLibraryW(NAME); print  load NAME=<its helper_id()>  or
//                     load NAME=error <code>
//   icon              print what the loader and the shell find of this executable's icon:
//                     icon_groups=<ExtractIconExW's count>, then for 16, 32 and 48 pixels
//                     icon N=<the RT_ICON id that LookupIconIdFromDirectoryEx picks from
//                     group 1> <width>x<height of the icon that LoadImageW loads>
//   crash             access violation
//   exit N            return N (a 32-bit value, decimal or 0x hex, may be negative)
// Without an exit command it returns 0.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include "tests/support/command_line_quote.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

void print_utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  out += '\n';
  fwrite(out.data(), 1, out.size(), stdout);
  fflush(stdout);
}

// Hex keeps line feeds and other control characters of an argument off the output's lines.
std::wstring hex_utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  std::wstring out;
  for (unsigned char c : bytes) {
    out += L"0123456789abcdef"[c >> 4];
    out += L"0123456789abcdef"[c & 15];
  }
  return out;
}

std::wstring module_dir() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&module_dir), &self);
  wchar_t path[4096];
  DWORD n = GetModuleFileNameW(self, path, 4096);
  std::wstring p(path, n);
  return p.substr(0, p.rfind(L'\\'));
}

unsigned long long fnv1a(const std::wstring& path, unsigned long long* size) {
  unsigned long long hash = 0xcbf29ce484222325ull;
  *size = 0;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  static unsigned char buffer[1 << 16];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got; ++i) hash = (hash ^ buffer[i]) * 0x100000001b3ull;
    *size += got;
  }
  CloseHandle(h);
  return hash;
}

void list(const std::wstring& root, const std::wstring& relative) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      list(root, relative + name + L"\\");
    } else {
      unsigned long long size = 0;
      unsigned long long hash = fnv1a(root + L"\\" + relative + name, &size);
      wchar_t line[128];
      swprintf(line, 128, L" %llu %016llx", size, hash);
      print_utf8(L"file " + relative + name + line);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

void print_env(const wchar_t* name) {
  static wchar_t value[32768];
  DWORD n = GetEnvironmentVariableW(name, value, 32768);
  print_utf8(n ? std::wstring(name) + L"=" + value : std::wstring(name) + L" unset");
}

void print_icon() {
  wchar_t self[4096];
  GetModuleFileNameW(nullptr, self, 4096);
  print_utf8(L"icon_groups=" + std::to_wstring(ExtractIconExW(self, -1, nullptr, nullptr, 0)));
  // In the child role the process's own module is the onefile executable.
  HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
  auto* directory = group ? static_cast<BYTE*>(LockResource(LoadResource(nullptr, group))) : nullptr;
  for (int side : {16, 32, 48}) {
    const int id = directory ? LookupIconIdFromDirectoryEx(directory, TRUE, side, side, LR_DEFAULTCOLOR) : 0;
    auto icon =
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0));
    ICONINFO info = {};
    BITMAP bitmap = {};
    if (icon && GetIconInfo(icon, &info)) {
      GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
      if (info.hbmColor) DeleteObject(info.hbmColor);
      if (info.hbmMask) DeleteObject(info.hbmMask);
    }
    if (icon) DestroyIcon(icon);
    print_utf8(L"icon " + std::to_wstring(side) + L"=" + std::to_wstring(id) + L" " + std::to_wstring(bitmap.bmWidth) +
               L"x" + std::to_wstring(bitmap.bmHeight));
  }
}

std::wstring quote(const std::wstring& arg) { return tarvex::test::quote_for_command_line(arg); }

// Without a label it returns 0 at once.
int spawn(const wchar_t* program, int argc, wchar_t** argv, int from, const wchar_t* label) {
  std::wstring line = quote(program);
  for (int i = from; i < argc; ++i) line += L" " + quote(argv[i]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    if (label) print_utf8(std::wstring(label) + L" failed");
    return 1;
  }
  if (label) WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  if (label) print_utf8(std::wstring(label) + L" exit=" + std::to_wstring(code));
  return 0;
}

void write_pid(const wchar_t* path) {
  HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string text = std::to_string(GetCurrentProcessId());
  DWORD written = 0;
  if (h != INVALID_HANDLE_VALUE) WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

void load(const wchar_t* name) {
  HMODULE module = LoadLibraryW(name);
  const DWORD error = GetLastError();
  auto id = module ? reinterpret_cast<const char* (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "helper_id")))
                   : nullptr;
  const std::string seen = id ? id() : "error " + std::to_string(module ? 0 : error);
  print_utf8(std::wstring(L"load ") + name + L"=" + std::wstring(seen.begin(), seen.end()));
}

BOOL WINAPI take_event(DWORD) { return TRUE; }

template <typename F>
F advapi(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"advapi32.dll"), name)));
}

// advapi32 is loaded only here, so that the module's start costs what it always did.
void print_dacl() {
  auto get_security = advapi<decltype(&GetNamedSecurityInfoW)>("GetNamedSecurityInfoW");
  auto descriptor_text = advapi<decltype(&ConvertSecurityDescriptorToStringSecurityDescriptorW)>(
      "ConvertSecurityDescriptorToStringSecurityDescriptorW");
  auto open_token = advapi<decltype(&OpenProcessToken)>("OpenProcessToken");
  auto token_information = advapi<decltype(&GetTokenInformation)>("GetTokenInformation");
  auto sid_text = advapi<decltype(&ConvertSidToStringSidW)>("ConvertSidToStringSidW");
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t* text = nullptr;
  if (get_security(module_dir().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                   &descriptor) == ERROR_SUCCESS &&
      descriptor_text(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
    print_utf8(std::wstring(L"FOLDER_DACL=") + text);
  HANDLE token = nullptr;
  unsigned char user[256];
  DWORD size = 0;
  wchar_t* sid = nullptr;
  if (open_token(GetCurrentProcess(), TOKEN_QUERY, &token) &&
      token_information(token, TokenUser, user, sizeof user, &size) &&
      sid_text(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid))
    print_utf8(std::wstring(L"USER_SID=") + sid);
}

}  // namespace

extern "C" __declspec(dllexport) int run_code(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    std::wstring command = argv[i];
    if (command == L"args") {
      for (int j = 0; j < argc; ++j) print_utf8(L"arg[" + std::to_wstring(j) + L"]=" + hex_utf8(argv[j]));
    } else if (command == L"env") {
      for (const wchar_t* name : {L"TARVEX_ONEFILE_PARENT", L"TARVEX_ONEFILE_START", L"TARVEX_ONEFILE_DIRECTORY",
                                  L"TARVEX_ORIGINAL_ARGV0", L"TARVEX_ONEFILE_CHILD"})
        print_env(name);
      print_utf8(L"MODULE_DIR=" + module_dir());
    } else if (command == L"parent_prefix" && i + 1 < argc) {
      static wchar_t value[32768];
      DWORD n = GetEnvironmentVariableW(L"TARVEX_ONEFILE_PARENT", value, 32768);
      SetEnvironmentVariableW(L"TARVEX_ONEFILE_PARENT", (argv[++i] + std::wstring(value, n)).c_str());
    } else if (command == L"kill_parent") {
      wchar_t parent[32] = L"";
      GetEnvironmentVariableW(L"TARVEX_ONEFILE_PARENT", parent, 32);
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, wcstoul(parent, nullptr, 10));
      if (process) {
        TerminateProcess(process, 9);
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
      }
    } else if (command == L"list") {
      list(module_dir(), L"");
    } else if (command == L"exists" && i + 1 < argc) {
      ++i;
      print_utf8(std::wstring(L"exists ") + argv[i] + L"=" +
                 (GetFileAttributesW(argv[i]) != INVALID_FILE_ATTRIBUTES ? L"1" : L"0"));
    } else if (command == L"touch" && i + 1 < argc) {
      HANDLE h = CreateFileW(argv[++i], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    } else if (command == L"waitfor" && i + 1 < argc) {
      ++i;
      for (int waited = 0; waited < 6000 && GetFileAttributesW(argv[i]) == INVALID_FILE_ATTRIBUTES; ++waited) Sleep(10);
    } else if (command == L"ignore-ctrl-c") {
      SetConsoleCtrlHandler(take_event, TRUE);
    } else if (command == L"readonly" && i + 1 < argc) {
      SetFileAttributesW((module_dir() + L"\\" + argv[++i]).c_str(), FILE_ATTRIBUTE_READONLY);
    } else if (command == L"dacl") {
      print_dacl();
    } else if (command == L"sleep" && i + 1 < argc) {
      Sleep(wcstoul(argv[++i], nullptr, 10));
    } else if (command == L"relaunch") {
      wchar_t self[4096];
      GetModuleFileNameW(nullptr, self, 4096);
      return spawn(self, argc, argv, i + 1, L"relaunch");
    } else if (command == L"start" && i + 1 < argc) {
      return spawn(argv[i + 1], argc, argv, i + 2, nullptr);
    } else if (command == L"pid" && i + 1 < argc) {
      write_pid(argv[++i]);
    } else if (command == L"load" && i + 1 < argc) {
      load(argv[++i]);
    } else if (command == L"spawn" && i + 1 < argc) {
      return spawn(argv[i + 1], argc, argv, i + 2, L"spawn");
    } else if (command == L"icon") {
      print_icon();
    } else if (command == L"crash") {
      *static_cast<volatile int*>(nullptr) = 1;
    } else if (command == L"exit" && i + 1 < argc) {
      return static_cast<int>(static_cast<unsigned long>(wcstoll(argv[++i], nullptr, 0)));
    }
  }
  return 0;
}
