// Test program (Windows): finds resources of its own image through the loader and prints
// the size and FNV-1a 64 hash of each. Arguments are TYPE NAME pairs ("#10" "#27" for
// ids); without arguments it shows the payload resource and how many languages of it
// the loader lists.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "payload/format.h"

namespace {

void show(const char* label, const char* type, const char* name) {
  HRSRC found = FindResourceA(nullptr, name, type);
  if (!found) {
    printf("%s missing\n", label);
    return;
  }
  const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, found)));
  const DWORD size = SizeofResource(nullptr, found);
  uint64_t hash = 14695981039346656037ull;
  for (DWORD i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  printf("%s %lu %016llx\n", label, static_cast<unsigned long>(size), static_cast<unsigned long long>(hash));
}

BOOL CALLBACK count_language(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    const char* type = MAKEINTRESOURCEA(tarvex::payload::kResourceType);
    const char* name = MAKEINTRESOURCEA(tarvex::payload::kResourceId);
    show("payload", type, name);
    int languages = 0;
    EnumResourceLanguagesA(nullptr, type, name, count_language, reinterpret_cast<LONG_PTR>(&languages));
    printf("payload languages %d\n", languages);
    return 0;
  }
  char label[512];
  for (int i = 1; i + 1 < argc; i += 2) {
    snprintf(label, sizeof label, "%s/%s", argv[i], argv[i + 1]);
    show(label, argv[i], argv[i + 1]);
  }
  return 0;
}
