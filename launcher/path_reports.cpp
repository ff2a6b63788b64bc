// What a failed path, expansion or directory seed becomes in the Launcher: one line
// from the catalogue and the end of the process.
#include "launcher/path_reports.h"

#include <windows.h>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "paths/directories.h"

namespace tarvex {

void end_on_unusable_value(Expansion expansion) {
  switch (expansion) {
    case Expansion::kDone:
    case Expansion::kInvalid:
      return;
    case Expansion::kValueTooLong:
      fail_with_message(msg::kPathTooLong);
    case Expansion::kEnvValueTooLong:
      fail_with_message(msg::kEnvValueTooLong);
    case Expansion::kParentNotDecimal:
      fail_with_message(msg::kParentNotDecimal);
  }
}

void seed_dirs_or_end() {
  const Expansion expansion = seed_dir_cache();
  end_on_unusable_value(expansion);
  if (expansion != Expansion::kDone) fail_expansion(kHomeTemplate);
}

void end_on_path_failure(PathOutcome outcome) {
  switch (outcome) {
    case PathOutcome::kDone:
      return;
    case PathOutcome::kCannotOpen:
      fail_with_system_error(msg::kOpenExecutable, GetLastError());
    case PathOutcome::kTooLong:
      fail_with_message(msg::kExePathTooLong);
  }
}

const wchar_t* own_path(bool resolve) {
  const wchar_t* path = nullptr;
  end_on_path_failure(own_exe_path(resolve, &path));
  return path;
}

const wchar_t* loader_path() {
  const wchar_t* path = own_module_file_name();
  if (!path) fail_with_message(msg::kExePathTooLong);
  return path;
}

}  // namespace tarvex
