// Test helper (Windows): child processes with captured streams.
#include "tests/support/windows/process.h"

#include "tests/support/command_line_quote.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <thread>

namespace tarvex::test {

namespace {

// Case-insensitive key order, as Windows keeps its environment block.
struct EnvLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

std::wstring environment_block(const ProcessOptions& options) {
  std::map<std::wstring, std::wstring, EnvLess> vars;
  std::vector<std::wstring> hidden;  // "=C:" style entries keep their place first
  wchar_t* block = GetEnvironmentStringsW();
  for (wchar_t* p = block; *p; p += wcslen(p) + 1) {
    std::wstring entry = p;
    size_t eq = entry.find(L'=', 1);
    if (entry[0] == L'=') {
      hidden.push_back(entry);
    } else if (eq != std::wstring::npos) {
      vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
  }
  FreeEnvironmentStringsW(block);
  for (const auto& name : options.unset_env) vars.erase(name);
  for (const auto& [name, value] : options.set_env) vars[name] = value;
  std::wstring out;
  for (const auto& h : hidden) out += h + L'\0';
  for (const auto& [name, value] : vars) out += name + L'=' + value + L'\0';
  out += L'\0';
  return out;
}

void drain(HANDLE pipe, std::string* into) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) into->append(buffer, got);
}

}  // namespace

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string narrow(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring quote_argument(const std::wstring& arg) { return quote_for_command_line(arg); }

ProcessResult run_process(const ProcessOptions& options) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (options.null_streams) {
    startup.dwFlags = STARTF_USESTDHANDLES;
  } else if (options.capture) {
    CreatePipe(&out_read, &out_write, &inherit, 0);
    CreatePipe(&err_read, &err_write, &inherit, 0);
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
  }
  std::wstring env = environment_block(options);
  std::wstring line = options.command_line;
  PROCESS_INFORMATION info = {};
  BOOL ok = CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(), line.data(), nullptr,
                           nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT | options.creation_flags, env.data(),
                           options.directory.empty() ? nullptr : options.directory.c_str(), &startup, &info);
  if (out_write) CloseHandle(out_write);
  if (err_write) CloseHandle(err_write);
  if (!ok) {
    if (out_read) CloseHandle(out_read);
    if (err_read) CloseHandle(err_read);
    return result;
  }
  result.started = true;
  result.pid = info.dwProcessId;
  std::thread out_thread, err_thread;
  if (out_read) out_thread = std::thread(drain, out_read, &result.out);
  if (err_read) err_thread = std::thread(drain, err_read, &result.err);
  if (WaitForSingleObject(info.hProcess, options.timeout_ms) != WAIT_OBJECT_0) {
    result.timed_out = true;
    TerminateProcess(info.hProcess, 0xDEAD);
    WaitForSingleObject(info.hProcess, 5000);
  }
  GetExitCodeProcess(info.hProcess, &result.exit_code);
  if (out_thread.joinable()) out_thread.join();
  if (err_thread.joinable()) err_thread.join();
  if (out_read) CloseHandle(out_read);
  if (err_read) CloseHandle(err_read);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return result;
}

std::wstring own_exe() {
  wchar_t path[4096];
  DWORD n = GetModuleFileNameW(nullptr, path, 4096);
  return std::wstring(path, n);
}

ProcessResult run_scenario(const char* name, const std::wstring& args, ProcessOptions options) {
  options.application = own_exe();
  options.command_line = quote_argument(options.application) + (args.empty() ? L"" : L" " + args);
  options.set_env.emplace_back(L"TARVEX_TEST_SCENARIO", widen(name));
  return run_process(options);
}

bool under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace tarvex::test
