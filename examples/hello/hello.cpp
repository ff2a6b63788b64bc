// An example application for Tarvex, written the way a user writes one: a DLL that
// defines run_code. The packed executable extracts it with its data files, loads it
// and calls run_code with the program's arguments; its return value is the exit code.
#include <windows.h>
#include <tarvex/run_code.h>

#include <cstdio>
#include <string>

namespace {

// The folder this DLL was extracted to: the data files lie beside it.
std::wstring own_folder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&own_folder), &self);
  wchar_t path[MAX_PATH * 8];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH * 8);
  std::wstring p(path, n);
  return p.substr(0, p.rfind(L'\\'));
}

std::string utf8(const std::wstring& s) {
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string read_text(const std::wstring& path) {
  std::string text;
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

int run_code(int argc, wchar_t** argv) {
  printf("Hello from a Tarvex onefile application!\n");
  for (int i = 1; i < argc; ++i) printf("  argument %d: %s\n", i, utf8(argv[i]).c_str());

  std::wstring data = own_folder() + L"\\messages\\";
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((data + L"*.txt").c_str(), &found);
  int messages = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      printf("  %s: %s\n", utf8(found.cFileName).c_str(), read_text(data + found.cFileName).c_str());
      ++messages;
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  printf("Read %d data files extracted beside the module.\n", messages);
  fflush(stdout);
  return messages > 0 ? 0 : 1;
}
