// Parent role after extraction: publish the child's environment, start this
// executable again as the child with the re-quoted command line, wait for it and
// clean up.
#include "launcher/child_launch.h"

#include <windows.h>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/path_reports.h"
#include "launcher/quoting.h"
#include "launcher/seams.h"
#include "launcher/state.h"
#include "paths/exe_path.h"
#include "paths/environment.h"
#include "support/capacities.h"
#include "support/shell_calls.h"
#include "support/unique_handle.h"

namespace tarvex {

CreateProcessFunction g_create_process = CreateProcessW;

namespace {

WideBuffer<kPathCapacity> g_own_dir;
WideBuffer<kCommandLineCapacity> g_command_line;
WideBuffer<kDecimalCapacity> g_pid;

// A start that the system refuses for want of resources, or fails internally, as a
// loaded Wine now and then does, may well succeed a moment later. No child exists
// after a failed start, so trying again cannot start two.
constexpr int kStartAttempts = 5;
constexpr DWORD kStartPauseMs = 200;

bool may_pass(DWORD error) {
  return error == ERROR_INTERNAL_ERROR || error == ERROR_NO_SYSTEM_RESOURCES || error == ERROR_NOT_ENOUGH_MEMORY ||
         error == ERROR_OUTOFMEMORY;
}

void publish_environment() {
  g_pid.clear();
  append_process_id(g_pid, kInvariant);
  set_env_ascii("TARVEX_ONEFILE_PARENT", g_pid.c_str());
  publish_application_environment();
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

const wchar_t* module_file_name() {
  const wchar_t* name = loader_path();
  if (*name == 0) end_process_abnormally();
  return name;
}

void publish_application_environment() {
  // The executable's folder; cut at the last backslash, which goes too, so a
  // program at the root of a drive publishes just the drive letter and colon.
  g_own_dir.assign(own_path(false), report_as(msg::kExePathTooLong));
  size_t cut = g_own_dir.rfind(L'\\');
  if (cut != WideText::npos) g_own_dir.truncate(cut);
  set_env_ascii("TARVEX_ONEFILE_DIRECTORY", g_own_dir.c_str());

  set_env_ascii("TARVEX_ORIGINAL_ARGV0", __wargv && __wargv[0] ? __wargv[0] : L"");
}

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

  // Set last, right before the child starts, and only for it: the child removes the
  // marker at once, so a process that the application starts never inherits it.
  set_env_ascii("TARVEX_ONEFILE_CHILD", g_pid.c_str());
  PROCESS_INFORMATION info = {};
  // Same console and process group as this process: a console event reaches both.
  for (int attempt = 1; !g_create_process(module_file_name(), g_command_line.data(), nullptr, nullptr, TRUE,
                                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info);
       ++attempt) {
    const DWORD error = GetLastError();
    if (attempt == kStartAttempts || !may_pass(error)) fail_with_system_error(msg::kLaunchChild, error);
    // The pause leaves the lock to a console handler; after an event nothing starts.
    unlock_run();
    Sleep(kStartPauseMs);
    lock_run();
    if (console_event_received()) end_interrupted_run();
  }
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
