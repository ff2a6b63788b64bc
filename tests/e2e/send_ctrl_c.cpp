// Test helper (Windows): starts a command line on a console of its own, sends that
// console Ctrl+C when each trigger fires and ends with the command's exit code.
// Usage: send_ctrl_c TRIGGERS "COMMAND LINE" [console]
// TRIGGERS is a comma-separated list, one Ctrl+C for each:
//   MS     after MS milliseconds more;
//   @PATH  once PATH exists ({PID} in it stands for the command's process id), checked
//          every few milliseconds for up to 60 s.
// A trigger that fires after the command has ended sends nothing.
// With "console" the command writes to the console itself (its standard output and
// error are the console's screen), and once it has ended the console's text is
// written to this program's standard output as UTF-8, each row after "| ".
// Console events need a console: the first instance starts a second one with a new
// console that has no window (a window would start Wine's desktop process, which
// outlives the test). The second survives the event through a handler of its own;
// the command shares its console and process group and gets the event.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

BOOL WINAPI survive(DWORD) { return TRUE; }

// True when the trigger fired while the process still runs.
bool wait_for(const std::wstring& trigger, HANDLE process, DWORD pid) {
  if (trigger.empty() || trigger[0] != L'@')
    return WaitForSingleObject(process, wcstoul(trigger.c_str(), nullptr, 10)) == WAIT_TIMEOUT;
  std::wstring path = trigger.substr(1);
  const size_t at = path.find(L"{PID}");
  if (at != std::wstring::npos) path.replace(at, 5, std::to_wstring(pid));
  for (int waited = 0; waited < 30000; ++waited) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    if (WaitForSingleObject(process, 2) != WAIT_TIMEOUT) return false;
  }
  return false;
}

DWORD run(wchar_t* line, DWORD flags, const wchar_t* triggers, HANDLE output) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output ? output : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = output ? output : GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &info)) {
    fprintf(stderr, "send_ctrl_c: cannot start (error %lu)\n", GetLastError());
    return 250;
  }
  for (std::wstring rest = triggers ? triggers : L""; !rest.empty();) {
    const size_t comma = rest.find(L',');
    const std::wstring trigger = rest.substr(0, comma);
    rest = comma == std::wstring::npos ? L"" : rest.substr(comma + 1);
    if (!wait_for(trigger, info.hProcess, info.dwProcessId)) break;
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
      fprintf(stderr, "send_ctrl_c: no event (error %lu)\n", GetLastError());
  }
  if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 251);
    WaitForSingleObject(info.hProcess, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code;
}

// The rows of the screen up to the cursor's, each without its trailing blanks.
void print_screen(HANDLE screen) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(screen, &info)) {
    fprintf(stderr, "send_ctrl_c: console not readable (error %lu)\n", GetLastError());
    return;
  }
  std::wstring row(info.dwSize.X, L' ');
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), {0, y}, &read);
    while (read > 0 && row[read - 1] == L' ') --read;
    char text[4096];
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, row.data(), static_cast<int>(read), text, sizeof text, nullptr, nullptr);
    fputs("| ", stdout);
    fwrite(text, 1, n, stdout);
    fputc('\n', stdout);
  }
  fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && !(argc == 4 && wcscmp(argv[3], L"console") == 0)) return 252;
  static wchar_t line[32768];
  wchar_t stage[8];
  if (!GetEnvironmentVariableW(L"TARVEX_CTRL_STAGE", stage, 8)) {
    SetEnvironmentVariableW(L"TARVEX_CTRL_STAGE", L"1");
    swprintf(line, 32768, L"\"%ls\" \"%ls\" \"%ls\" %ls", argv[0], argv[1], argv[2], argc == 4 ? argv[3] : L"");
    return static_cast<int>(run(line, CREATE_NO_WINDOW, nullptr, nullptr));
  }
  SetEnvironmentVariableW(L"TARVEX_CTRL_STAGE", nullptr);
  SetConsoleCtrlHandler(survive, TRUE);
  HANDLE screen = nullptr;
  if (argc == 4) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                         OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE) return 253;
  }
  wcsncpy(line, argv[2], 32767);
  const DWORD code = run(line, 0, argv[1], screen);
  if (screen) print_screen(screen);
  return static_cast<int>(code);
}
