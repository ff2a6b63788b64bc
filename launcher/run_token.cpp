// The token of a live temporary run, held for the whole run.
#include "launcher/run_token.h"

#include "support/capacities.h"
#include "support/unique_handle.h"

namespace tarvex {

namespace {

Handle g_token;

}  // namespace

bool run_token_path(const wchar_t* dir, WideText& out) {
  out.clear();
  return out.try_append(dir) && out.try_append(kRunTokenSuffix);
}

bool make_run_token(const wchar_t* dir, SECURITY_ATTRIBUTES* security) {
  WideBuffer<kPathCapacity> path;
  if (!run_token_path(dir, path)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  SECURITY_ATTRIBUTES inherited = *security;
  inherited.bInheritHandle = TRUE;
  // No sharing at all: a sweep's open for deletion fails while any holder lives.
  g_token.reset(CreateFileW(path.c_str(), DELETE, 0, &inherited, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return static_cast<bool>(g_token);
}

bool delete_on_last_close(HANDLE object) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(object, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

void release_run_token(bool folder_gone) {
  if (!g_token) return;
  if (folder_gone) delete_on_last_close(g_token.get());
  g_token.reset();
}

}  // namespace tarvex
