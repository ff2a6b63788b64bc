// Benchmark baseline (Windows): the file work of a onefile run over many small files,
// done as plainly as a program can: create and write each file, then remove the tree
// with a FindFirstFileExW / DeleteFileW / RemoveDirectoryW loop.
// Usage: many_files make DIR COUNT   writes the files (the application folder to pack)
//        many_files run DIR COUNT    writes the same files below DIR, then removes DIR
//        many_files plain DIR COUNT  writes them, then times the plain removal alone
//        many_files tarvex DIR COUNT writes them, then times the Launcher's removal alone
//        many_files list DIR         lists every folder below DIR, with the files' sizes,
//                                    as a check of every file must at least
// The timed modes print "removal: MS ms" or "listing: MS ms".
// The files: COUNT of them, 0.3 to 2 KB, in folders of 100 (d000\f00000.txt ...), their
// sizes and bytes fixed by the index, so every run and both modes make the same ones.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "launcher/tree_removal.h"

namespace {

unsigned char g_bytes[2048];

DWORD fill(int index) {
  unsigned state = 2654435761u * static_cast<unsigned>(index + 1);
  const DWORD size = 300 + state % 1749;
  // Words from a small vocabulary: text that compresses about as source code does.
  static const char* const kWords[] = {"import ", "def ",  "return ", "self", ".",    "(",   ")",
                                       ":\n    ", "value", "name",    " = ",  "None", "if ", "else",
                                       "for ",    "in ",   "\n",      "data", ", "};
  DWORD n = 0;
  while (n < size) {
    state = state * 1103515245u + 12345u;
    for (const char* w = kWords[(state >> 16) % (sizeof kWords / sizeof *kWords)]; *w && n < size; ++w)
      g_bytes[n++] = static_cast<unsigned char>(*w);
  }
  return size;
}

bool write_files(const wchar_t* dir, int count) {
  wchar_t path[1024];
  if (!CreateDirectoryW(dir, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  for (int i = 0; i < count; ++i) {
    if (i % 100 == 0) {
      swprintf(path, 1024, L"%ls\\d%03d", dir, i / 100);
      CreateDirectoryW(path, nullptr);
    }
    swprintf(path, 1024, L"%ls\\d%03d\\f%05d.txt", dir, i / 100, i);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = fill(i);
    const BOOL ok = WriteFile(file, g_bytes, size, &written, nullptr);
    CloseHandle(file);
    if (!ok) return false;
  }
  return true;
}

// The plain recursive removal.
void remove_tree(const wchar_t* dir) {
  wchar_t pattern[1024], path[1024];
  swprintf(pattern, 1024, L"%ls\\*", dir);
  WIN32_FIND_DATAW found;
  HANDLE find =
      FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
      swprintf(path, 1024, L"%ls\\%ls", dir, found.cFileName);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(path);
      else DeleteFileW(path);
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(dir);
}

// Lists the tree below `dir`, one listing per folder; returns the files seen.
int list_tree(const wchar_t* dir) {
  wchar_t pattern[1024], path[1024];
  swprintf(pattern, 1024, L"%ls\\*", dir);
  WIN32_FIND_DATAW found;
  HANDLE find =
      FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int files = 0;
  do {
    if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
    swprintf(path, 1024, L"%ls\\%ls", dir, found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) files += list_tree(path);
    else ++files;
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return files;
}

double milliseconds_since(const LARGE_INTEGER& start) {
  LARGE_INTEGER frequency, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&end);
  return 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && wcscmp(argv[1], L"list") == 0) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const int files = list_tree(argv[2]);
    printf("listing: %.1f ms (%d files)\n", milliseconds_since(start), files);
    return 0;
  }
  if (argc != 4) {
    fputs("usage: many_files make|run|plain|tarvex DIR COUNT | many_files list DIR\n", stderr);
    return 2;
  }
  const int count = _wtoi(argv[3]);
  if (!write_files(argv[2], count)) {
    fprintf(stderr, "many_files: cannot write below %ls (error %lu)\n", argv[2], GetLastError());
    return 1;
  }
  if (wcscmp(argv[1], L"run") == 0) remove_tree(argv[2]);
  const bool plain = wcscmp(argv[1], L"plain") == 0;
  if (plain || wcscmp(argv[1], L"tarvex") == 0) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (plain) remove_tree(argv[2]);
    else tarvex::delete_tree(argv[2]);
    printf("removal: %.1f ms\n", milliseconds_since(start));
  }
  return 0;
}
