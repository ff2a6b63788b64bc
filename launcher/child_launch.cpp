// Child launch.
#include "launcher/child_launch.h"

#include <windows.h>

#include <cstdio>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/quoting.h"
#include "launcher/state.h"
#include "paths/exe_path.h"
#include "paths/expand.h"
#include "support/shell_calls.h"
#include "support/unique_handle.h"

namespace tarvex {

CreateProcessFunction g_create_process = CreateProcessW;

namespace {

WideBuffer<4096> g_module_file_name;
WideBuffer<4096> g_own_dir;
WideBuffer<32768> g_command_line;

void set_env(const char* name, const wchar_t* value) {
  WideBuffer<40> wide;
  widen_env_name(name, wide);
  SetEnvironmentVariableW(wide.c_str(), value);
}

// The running executable as the loader names it, fetched once.
const wchar_t* module_file_name() {
  if (g_module_file_name.empty()) {
    DWORD n = GetModuleFileNameW(nullptr, g_module_file_name.data(), g_module_file_name.capacity());
    if (n == 0) end_process_abnormally();
    // A full buffer means the name was cut short.
    if (n >= g_module_file_name.capacity()) fail_with_message(msg::kExePathTooLong);
    g_module_file_name.sync(kInvariant);
  }
  return g_module_file_name.c_str();
}

void publish_environment() {
  char pid_text[128];
  snprintf(pid_text, sizeof pid_text, "%ld", static_cast<long>(GetCurrentProcessId()));
  WideBuffer<128> pid;
  pid.append_ascii(pid_text, kInvariant);
  set_env("TARVEX_ONEFILE_PARENT", pid.c_str());

  // The executable's folder; cut at the last backslash, which goes too, so a
  // program at the root of a drive publishes just the drive letter and colon.
  g_own_dir.assign(own_exe_path(false), report_as(msg::kExePathTooLong));
  size_t cut = g_own_dir.rfind(L'\\');
  if (cut != WideText::npos) g_own_dir.truncate(cut);
  set_env("TARVEX_ONEFILE_DIRECTORY", g_own_dir.c_str());

  set_env("TARVEX_ORIGINAL_ARGV0", __wargv && __wargv[0] ? __wargv[0] : L"");
}

// The command line for the child: this program's own line as the system reports it
// (wildcards as typed), argument 0 replaced by the module file name.
void build_command_line() {
  int count = 0;
  wchar_t** args = shell_command_line_to_argv(GetCommandLineW(), &count);
  if (!args) fail_with_message(msg::kSplitCommandLine);
  g_command_line.clear();
  for (int i = 0; i < count; ++i) {
    if (i > 0) g_command_line.append(L' ', report_as(msg::kCommandLineTooLong));
    append_argument(g_command_line, i == 0 ? module_file_name() : args[i]);
  }
  // The split result lives until the process ends.
}

}  // namespace

int launch_child() {
  Handle child;
  // Held from the event check until the child is published: a console handler's
  // cleanup finds either no child, and then none will be started, or this one.
  lock_run();
  // After an event no child is started: the handler may have removed the directory.
  if (console_event_received()) end_interrupted_run();
  publish_environment();
  module_file_name();

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);

  build_command_line();

  PROCESS_INFORMATION info = {};
  // Same console and process group as this process: a console event reaches both.
  if (!g_create_process(module_file_name(), g_command_line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info))
    fail_with_system_error(msg::kLaunchChild, GetLastError());
  CloseHandle(info.hThread);
  child.reset(info.hProcess);
  g_child_process = child.get();
  unlock_run();

  DWORD exit_code = 0;
  WaitForSingleObject(child.get(), INFINITE);
  if (!GetExitCodeProcess(child.get(), &exit_code)) exit_code = 1;
  // Takes the ended child out of the slot before this thread closes the handle.
  cleanup();
  child.reset();
  // A run that a console event ended never reports success, whatever the
  // terminated child's code says.
  if (console_event_received()) return static_cast<int>(kInterruptedExitCode);
  return static_cast<int>(exit_code);
}

}  // namespace tarvex
