// The parent identity check: the role from TARVEX_ONEFILE_PARENT and the child marker.
#include "launcher/role.h"

#include <psapi.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/path_reports.h"
#include "launcher/seams.h"
#include "paths/environment.h"
#include "paths/exe_path.h"
#include "support/capacities.h"
#include "support/sized_call.h"
#include "support/unique_handle.h"

namespace tarvex {

ParentQueryCalls g_parent_query_calls = {OpenProcess, K32GetModuleFileNameExW};

namespace {

// Another process's image name; as large as the own path's buffer, so that any name
// this executable can have fits.
WideBuffer<kExePathCapacity> g_image;

// True when `value` is the process id of a live process that runs this very file.
bool names_same_executable(const wchar_t* value) {
  wchar_t* end = nullptr;
  errno = 0;
  // wcstoul accepts leading white space and a sign; anything left after the number,
  // or no number at all, makes the value unusable. unsigned long is 32 bits here.
  unsigned long pid = wcstoul(value, &end, 10);
  if (errno != 0 || *end != L'\0') return false;

  Handle process(g_parent_query_calls.open_process(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) return false;
  const Filled filled = fill_from_call(g_image, TooSmall::kTruncates, [&process](wchar_t* buffer, DWORD size) {
    return g_parent_query_calls.image_name(process.get(), nullptr, buffer, size);
  });
  if (filled != Filled::kYes) return false;
  // Without the marker an image that cannot be opened or resolved is some other
  // program's business, and this instance starts as a parent instead of giving up.
  if (canonical_file_path(g_image.data(), g_image.capacity()) != PathOutcome::kDone) return false;
  return wcscmp(g_image.c_str(), own_path(true)) == 0;
}

}  // namespace

Role decide_role() {
  wchar_t* marker = lookup_env_ascii("TARVEX_ONEFILE_CHILD");
  if (marker) set_env_ascii("TARVEX_ONEFILE_CHILD", nullptr);
  wchar_t* value = lookup_env_ascii("TARVEX_ONEFILE_PARENT");
  const bool named = value != nullptr;
  const bool same = named && (!marker || wcscmp(marker, value) == 0) && names_same_executable(value);
  const bool started_as_child = marker != nullptr;
  free(value);
  free(marker);
  if (same) return Role::kChild;
  // Taking the parent role here would extract the whole payload again and start yet
  // another child, and so on without end.
  if (started_as_child) fail_with_message(msg::kParentNotRecognised);
  if (!named) return Role::kParent;
  set_env_ascii("TARVEX_ONEFILE_PARENT", nullptr);
  set_env_ascii("TARVEX_ONEFILE_START", nullptr);
  return Role::kParent;
}

}  // namespace tarvex
