// Test helper (Windows): starts a program on a desktop of its own, without standard
// handles (or with this helper's, for "streams"), finds the window the program shows,
// prints what it says, and prints the program's full exit code.
//   window_probe box|streams|progress|logoff EXE [ARGS...]
// box, streams: closes the message box; logoff: ends the session with wineboot once the
// program's hidden window exists. "window=none" when no window of the kind came.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
  DWORD pid;
  const wchar_t* type;
  bool shown;  // only once visible: a box is found before it has its text otherwise
  HWND found;
};

BOOL CALLBACK match(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t type[64] = {};
  GetClassNameW(window, type, 64);
  if (pid == search->pid && wcscmp(type, search->type) == 0 && (!search->shown || IsWindowVisible(window))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

void print(const char* label, const wchar_t* text) {
  char utf8[2048];
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  printf("%s=%s\n", label, utf8);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 64;
  const std::wstring mode = argv[1];
  wchar_t name[64];
  swprintf(name, 64, L"tarvex_probe_%lu", GetCurrentProcessId());
  // A desktop of its own keeps clear of a prefix whose default desktop was started
  // without a display.
  HDESK desktop = CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  if (!desktop || !SetThreadDesktop(desktop)) {
    printf("desktop failed %lu\n", GetLastError());
    return 65;
  }
  std::wstring line;
  for (int i = 2; i < argc; ++i) line += (i > 2 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
  STARTUPINFOW start = {};
  start.cb = sizeof start;
  start.lpDesktop = name;
  PROCESS_INFORMATION process = {};
  const DWORD flags = mode == L"streams" ? 0 : DETACHED_PROCESS;
  fflush(stdout);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, mode == L"streams", flags, nullptr, nullptr, &start,
                      &process))
    return 66;
  Search search = {process.dwProcessId,
                   mode == L"progress" ? L"TarvexProgress"
                   : mode == L"logoff" ? L"TarvexSessionEnd"
                                       : L"#32770",
                   mode != L"logoff", nullptr};
  for (int waited = 0; waited < 1200 && !search.found; ++waited) {
    EnumDesktopWindows(desktop, match, reinterpret_cast<LPARAM>(&search));
    if (!search.found && WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) break;
  }
  if (!search.found) {
    printf("window=none\n");
  } else {
    wchar_t text[1024] = {};
    GetWindowTextW(search.found, text, 1024);
    print("title", text);
    if (mode == L"box" || mode == L"streams") {
      GetDlgItemTextW(search.found, 0xFFFF, text, 1024);
      print("text", text);
      PostMessageW(search.found, WM_CLOSE, 0, 0);
    } else if (mode == L"logoff") {
      wchar_t end_session[] = L"wineboot.exe --end-session";
      PROCESS_INFORMATION boot = {};
      if (CreateProcessW(nullptr, end_session, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &boot)) {
        WaitForSingleObject(boot.hProcess, 60000);
        printf("wineboot ran\n");
      }
    }
  }
  fflush(stdout);
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    printf("exit=timeout\n");
    return 0;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  printf("exit=%lu\n", code);
  return 0;
}
