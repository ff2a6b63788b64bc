// A test application: prints its arguments, the Tarvex variables and each file that lies
// below its DLL's folder with its content, and ends with an exit code above 255.
#include <windows.h>
#include <tarvex/run_code.h>

#include <cstdio>
#include <string>

namespace {

std::wstring own_folder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&own_folder), &self);
  wchar_t path[4096];
  DWORD n = GetModuleFileNameW(self, path, 4096);
  std::wstring p(path, n);
  return p.substr(0, p.rfind(L'\\'));
}

std::string content(const std::wstring& path) {
  std::string text;
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return "(unreadable)";
  char buffer[256];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  return text;
}

// "file <name relative to the DLL's folder> <content>" for each file, depth first.
void print_files(const std::wstring& folder, const std::wstring& prefix) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      print_files(folder + L"\\" + name, prefix + name + L"\\");
    } else {
      printf("file %ls %s\n", (prefix + name).c_str(), content(folder + L"\\" + name).c_str());
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

}  // namespace

int run_code(int argc, wchar_t** argv) {
  for (int i = 0; i < argc; ++i) printf("argv %d %ls\n", i, argv[i]);
  const wchar_t* directory = _wgetenv(L"TARVEX_ONEFILE_DIRECTORY");
  printf("directory %ls\n", directory ? directory : L"(none)");
  print_files(own_folder(), L"");
  fflush(stdout);
  return 0x1234567;
}
