// The driver: the role decision, the start-up sequence of both roles, and the hand-over
// to the module (child role) or to the child launch (parent role).
//
// Where the Launcher process ends:
// - EXIT POINT run_launcher returns, and wWinMain with it (launcher/main.cpp):
//   - child role and cached runs: what the module's run_code returns (start_module,
//     module_start.cpp; run_from_cache, cache_run.cpp);
//   - parent role, and a program's application in any role: the started process's
//     exit code, 1 when it cannot be read, 0xC000013A after a console event
//     (launch_child and launch_program, child_launch.cpp).
// - EXIT POINT end_process(2) (diagnostics/report.cpp), after one "Error, ..." line
//   from fail_with_message, fail_with_system_error or overflow with a report: the
//   failures of decide_role (role.cpp), of the start-up sequence below, of the
//   payload reader (payload_reading.cpp), of extract_payload (extract.cpp),
//   start_module, launch_child and run_from_cache (cache_run.cpp), and what
//   path_reports.cpp makes of the outcomes of paths/: a template variable's value
//   that cannot be used, the own path. Cleanup does not run: what was extracted stays.
// - EXIT POINT end_process_abnormally (diagnostics/report.cpp), exit code 3 through
//   abort: fail_expansion of a template (here, cache_run.cpp, and the {HOME} seed in
//   path_reports.cpp), an internal bound violation (overflow with kInvariant), and a
//   module file name that the system cannot tell (child_launch.cpp).
// paths/ and payload/ end the process only through an overflow policy that a phase
// here passes them; otherwise they return outcomes, which the phases report.
// - EXIT POINT end_interrupted_process (console_handler.cpp): ExitProcess with
//   0xC000013A after the console handler's cleanup, in either role.
// In the child role the module may also end the process itself, with its own code.
#include "launcher/startup.h"

#include <windows.h>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/cache_run.h"
#include "launcher/child_launch.h"
#include "launcher/console_handler.h"
#include "launcher/error_box.h"
#include "launcher/extract.h"
#include "launcher/module_start.h"
#include "launcher/own_resource.h"
#include "launcher/path_reports.h"
#include "launcher/payload_reading.h"
#include "launcher/program_kind.h"
#include "launcher/role.h"
#include "launcher/session_end.h"
#include "launcher/state.h"
#include "launcher/sweep.h"
#include "paths/expand.h"
#include "payload/format.h"

namespace tarvex {

namespace {

constexpr wchar_t kDirectoryTemplate[] = L"{TEMP}\\onefile_{PID}_{TIME}";

}  // namespace

int run_launcher(int argc, wchar_t** argv) {
  show_errors_in_box();
  const Role role = decide_role();
  // Every parent start first clears what dead runs left in the temporary folder.
  // An executable packed in cache mode runs from its persistent folder when it can;
  // otherwise, and always in the child role, it runs as every other one does.
  if (role == Role::kParent) {
    sweep_dead_runs();
    int code = 0;
    if (run_from_cache(argc, argv, &code)) return code;
  }

  const Expansion expansion =
      expand_path_spec(g_extraction_dir.data(), kDirectoryTemplate, g_extraction_dir.capacity());
  end_on_unusable_value(expansion);
  g_extraction_dir.sync(kInvariant);
  const ResourceBytes payload = own_rcdata(payload::kResourceId);

  if (expansion != Expansion::kDone) fail_expansion(kDirectoryTemplate);
  register_console_handlers();
  if (role == Role::kParent) watch_session_end();
  open_payload_resource(payload);

  const bool has_module = extract_payload(role);
  if (role == Role::kChild) {
    // With no module to start, a child would only start yet another child.
    if (!has_module) fail_with_message(msg::kNoModule);
    // A program's worker: the application started this executable again.
    if (is_program_file(g_module_path.c_str())) return launch_program(g_module_path.c_str(), ProgramRun::kWorker);
    return start_module(g_extraction_dir.c_str(), argc, argv);
  }
  close_payload();
  if (is_program_file(g_module_path.c_str()))
    return launch_program(g_module_path.c_str(), ProgramRun::kTemporaryFolder);
  return launch_child();
}

}  // namespace tarvex
