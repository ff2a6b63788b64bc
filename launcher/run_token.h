// The token of a live temporary run: a lock file beside its extraction folder, held
// open for the whole run, which tells a later start that the folder is still in use.
#pragma once
#include <windows.h>

#include "support/wide_buffer.h"

namespace tarvex {

// What the token file's name adds to the folder's: "onefile_<pid>_<time>.lock".
inline constexpr wchar_t kRunTokenSuffix[] = L".lock";

// `dir` followed by kRunTokenSuffix into `out`; false when it does not fit.
bool run_token_path(const wchar_t* dir, WideText& out);

// Creates the token of the folder `dir` (which must not exist yet) with `security`,
// and holds it open without delete sharing: no other process can open it for
// deletion while any holder lives. The handle is inherited by the child, so the
// token stays held while the application runs even if this process is killed. The
// system closes it when the last holder ends, however it ends; the file then stays
// until a sweep finds it free. False, with GetLastError set, when it cannot be made
// (ERROR_FILE_EXISTS: another run's token, or a dead run's not yet swept).
bool make_run_token(const wchar_t* dir, SECURITY_ATTRIBUTES* security);

// Called by cleanup after the removal. When the folder is gone, marks the token
// for deletion, which happens once its last holder closes it; otherwise leaves the
// file for a later sweep. Closes this process's handle either way.
void release_run_token(bool folder_gone);

// Marks the open file or folder `object` (opened with DELETE access) for deletion
// when its last handle closes.
bool delete_on_last_close(HANDLE object);

}  // namespace tarvex
