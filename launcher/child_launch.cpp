// After extraction: publish the environment, start this executable again as the
// child, or the application's own program, with the re-quoted command line; wait for
// it and for the rest of its job, and clean up.
#include "launcher/child_launch.h"

#include <windows.h>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/job.h"
#include "launcher/path_reports.h"
#include "launcher/quoting.h"
#include "launcher/seams.h"
#include "launcher/state.h"
#include "paths/environment.h"
#include "paths/exe_path.h"
#include "support/capacities.h"
#include "support/unique_handle.h"

namespace tarvex {

CreateProcessFunction g_create_process = CreateProcessW;

namespace {

WideBuffer<kPathCapacity> g_own_dir;
WideBuffer<kCommandLineCapacity> g_command_line;
WideBuffer<kCommandLineCapacity> g_argument;  // one argument of this process's line
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

void publish_parent() {
  g_pid.clear();
  append_process_id(g_pid, kInvariant);
  set_env_ascii("TARVEX_ONEFILE_PARENT", g_pid.c_str());
}

// The child's command line: this program's own line as the system reports it
// (wildcards as typed), argument 0 replaced by the module file name.
void build_command_line(const wchar_t* argument_0) {
  g_command_line.clear();
  append_argument(g_command_line, argument_0);
  const wchar_t* cursor = skip_program_name(GetCommandLineW());
  while (next_argument(cursor, g_argument, report_as(msg::kCommandLineTooLong))) {
    g_command_line.append(L' ', report_as(msg::kCommandLineTooLong));
    append_argument(g_command_line, g_argument.c_str());
  }
}

// Starts `application` with the command line built, in a job when `with_job`, waits for
// it and then for the rest of the job, cleans up and returns its exit code. Called with
// the run lock held; the environment is published.
int start_and_wait(const wchar_t* application, bool with_job) {
  Handle child;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);

  // Started suspended, so that it runs nothing before it is in the job.
  const bool in_job = with_job && open_job();
  const DWORD flags = NORMAL_PRIORITY_CLASS | (in_job ? CREATE_SUSPENDED : 0);
  PROCESS_INFORMATION info = {};
  // Same console and process group as this process: a console event reaches both.
  for (int attempt = 1; !g_create_process(application, g_command_line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                          nullptr, &startup, &info);
       ++attempt) {
    const DWORD error = GetLastError();
    if (attempt == kStartAttempts || !may_pass(error)) fail_with_system_error(msg::kLaunchChild, error);
    // The pause leaves the lock to a console handler; after an event nothing starts.
    unlock_run();
    Sleep(kStartPauseMs);
    lock_run();
    if (console_event_received()) end_interrupted_run();
  }
  if (in_job) {
    add_to_job(info.hProcess);
    ResumeThread(info.hThread);
  }
  CloseHandle(info.hThread);
  child.reset(info.hProcess);
  g_child_process = child.get();
  unlock_run();

  DWORD exit_code = 0;
  WaitForSingleObject(child.get(), INFINITE);
  if (!GetExitCodeProcess(child.get(), &exit_code)) exit_code = 1;
  // Workers the application started may still use the folder.
  wait_until_job_empty();
  // Takes the ended child out of the slot before this thread closes the handle.
  cleanup();
  child.reset();
  // A run that a console event ended never reports success, whatever the
  // terminated child's code says.
  if (console_event_received()) return static_cast<int>(kInterruptedExitCode);
  return static_cast<int>(exit_code);
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
  // Held from the event check until the child is published: a console handler's
  // cleanup finds either no child, and then none will be started, or this one.
  lock_run();
  // After an event no child is started: the handler may have removed the directory.
  if (console_event_received()) end_interrupted_run();
  publish_parent();
  publish_application_environment();
  build_command_line(module_file_name());
  // Set last, right before the child starts, and only for it: the child removes the
  // marker at once, so a process that the application starts never inherits it.
  set_env_ascii("TARVEX_ONEFILE_CHILD", g_pid.c_str());
  return start_and_wait(module_file_name(), true);
}

int launch_program(const wchar_t* program, ProgramRun run) {
  lock_run();
  if (console_event_received()) end_interrupted_run();
  if (run == ProgramRun::kTemporaryFolder) publish_parent();
  publish_application_environment();
  // This program's own command line, character for character: the program's C runtime
  // splits it into the very arguments this one's did, argument 0 as typed and empty
  // arguments included, and shell32 is never loaded.
  g_command_line.assign(GetCommandLineW(), report_as(msg::kCommandLineTooLong));
  return start_and_wait(program, run != ProgramRun::kWorker);
}

}  // namespace tarvex
