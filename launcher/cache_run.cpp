// Cache mode: checking, repairing or making the persistent folder, then running the
// module from it in this process. Nothing here removes the folder: a console event
// during a first run removes only the private sibling being filled, through the
// ordinary cleanup, and a cached run ends like any process the event reaches.
#include "launcher/cache_run.h"

#include <windows.h>

#include <cwchar>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/child_launch.h"
#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/extract.h"
#include "launcher/module_start.h"
#include "launcher/own_resource.h"
#include "launcher/path_reports.h"
#include "launcher/payload_reading.h"
#include "launcher/state.h"
#include "launcher/tree_removal.h"
#include "paths/directories.h"
#include "paths/environment.h"
#include "paths/expand.h"
#include "paths/private_folder.h"
#include "payload/cache_record.h"
#include "payload/entries.h"
#include "payload/format.h"
#include "support/capacities.h"
#include "support/unique_handle.h"

namespace tarvex {

namespace {

constexpr wchar_t kPartialSuffix[] = L".partial-";

payload::CacheRecordReader g_record;
WideBuffer<kPathCapacity> g_template;
WideBuffer<kPathCapacity> g_cache_dir;
WideBuffer<kPathCapacity> g_partial_dir;
WideBuffer<kPathCapacity> g_path;
WideBuffer<payload::kMaxNameUnits + 1> g_name;
ResourceBytes g_payload;

enum class FolderState { kMissing, kTrusted, kUntrusted };

// Opened without following a link: a junction or symbolic link where the folder
// should be is reported as what it is, not as the folder it leads to.
FolderState inspect_folder(const wchar_t* path) {
  Handle folder(CreateFileW(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FolderState::kMissing
                                                                          : FolderState::kUntrusted;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(folder.get(), &info)) return FolderState::kUntrusted;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return FolderState::kUntrusted;
  return owned_by_current_user(folder.get()) ? FolderState::kTrusted : FolderState::kUntrusted;
}

// `dir` + "\" + `name` into g_path; false when it does not fit.
bool join(const wchar_t* dir, const wchar_t* name) {
  g_path.clear();
  return g_path.try_append(dir) && g_path.try_append(L'\\') && g_path.try_append(name);
}

// Every recorded file at its recorded size: one attribute query per file, no reading.
bool folder_complete(const wchar_t* dir) {
  g_record.rewind();
  uint64_t size = 0;
  while (g_record.next_entry(g_name, &size))
    if (!join(dir, g_name.c_str()) || !file_has_size(g_path.c_str(), size)) return false;
  return true;
}

// One pass of the extraction loop over the payload, from its start.
void extract_pass(const wchar_t* dir, Writes writes) {
  open_payload_resource(g_payload);
  extract_entries(dir, writes);
  close_payload();
}

// Siblings "<folder>.partial-<pid>" left by first runs that ended before renaming
// theirs into place (killed, or the machine went down). One whose process still
// runs is left to it; the process id of this one names a sibling left by an earlier
// process of that id.
void remove_stale_partials() {
  g_path.assign(g_cache_dir.c_str(), report_as(msg::kPathTooLong));
  g_path.append(kPartialSuffix, report_as(msg::kPathTooLong));
  g_path.append(L'*', report_as(msg::kPathTooLong));
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(g_path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FindHandle closing(search);
  const size_t cut = g_cache_dir.rfind(L'\\');
  const DWORD own = GetCurrentProcessId();
  do {
    const wchar_t* digits = wcsstr(found.cFileName, kPartialSuffix);
    if (!digits) continue;
    digits += wcslen(kPartialSuffix);
    wchar_t* end = nullptr;
    const unsigned long pid = wcstoul(digits, &end, 10);
    if (end == digits || *end != 0) continue;
    if (pid != own) {
      Handle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
      if (process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) continue;
    }
    g_path.assign(g_cache_dir.c_str(), report_as(msg::kPathTooLong));
    if (cut != WideText::npos) g_path.truncate(cut + 1);
    else g_path.clear();
    if (!g_path.try_append(found.cFileName)) continue;
    // delete_tree works in buffers that the console handler's cleanup shares.
    RunLock lock;
    delete_tree(g_path.c_str());
  } while (FindNextFileW(search, &found));
}

// Makes this run's private sibling and hands it to the cleanup, which removes it
// after a console event. False when it cannot be made.
bool make_partial_dir() {
  g_partial_dir.assign(g_cache_dir.c_str(), report_as(msg::kPathTooLong));
  g_partial_dir.append(kPartialSuffix, report_as(msg::kPathTooLong));
  append_process_id(g_partial_dir, report_as(msg::kPathTooLong));
  RunLock lock;
  if (console_event_received()) end_interrupted_run();
  PrivateFolderSecurity security;
  if (!make_private_folder_security(security)) return false;
  seed_dirs_or_end();
  if (!make_new_dir(g_partial_dir.c_str(), &security.attributes)) return false;
  g_extraction_dir.assign(g_partial_dir.c_str(), kInvariant);
  g_removal_flag = 1;
  return true;
}

// Renames the filled sibling into place. When that fails (another first run's folder
// is there already: ERROR_ALREADY_EXISTS), the sibling is removed. Either way nothing
// is left for a later cleanup to remove.
bool publish_partial_dir() {
  RunLock lock;
  if (console_event_received()) end_interrupted_run();
  const bool moved = MoveFileExW(g_partial_dir.c_str(), g_cache_dir.c_str(), 0);
  if (!moved) cleanup_holding_lock();
  g_removal_flag = 0;
  return moved;
}

// Extracts into a new folder; false when the folder cannot be made or another run
// made it first (the caller then looks at the folder again).
bool fill_new_folder() {
  remove_stale_partials();
  if (!make_partial_dir()) return false;
  extract_pass(g_partial_dir.c_str(), Writes::kAll);
  return publish_partial_dir();
}

int run_module(int argc, wchar_t** argv) {
  g_name.clear();
  uint64_t size = 0;
  g_record.rewind();
  g_record.next_entry(g_name, &size);
  g_module_path.assign(g_cache_dir.c_str(), report_as(msg::kModulePathTooLong));
  g_module_path.append(L'\\', report_as(msg::kModulePathTooLong));
  g_module_path.append(g_name.c_str(), report_as(msg::kModulePathTooLong));
  publish_application_environment();
  // What a child of a temporary run is given: the module file name as argument 0.
  if (argc > 0) argv[0] = const_cast<wchar_t*>(module_file_name());
  return start_module(g_cache_dir.c_str(), argc, argv);
}

// A record whose names would lead outside the folder is not used.
bool record_names_safe() {
  g_record.rewind();
  uint64_t size = 0;
  while (g_record.next_entry(g_name, &size))
    if (!entry_name_stays_inside(g_name.c_str())) return false;
  return true;
}

}  // namespace

bool run_from_cache(int argc, wchar_t** argv, int* code) {
  const ResourceBytes record = own_rcdata(payload::kCacheRecordId);
  if (!record.data || !g_record.open(record.data, record.size) || !g_record.read_template(g_template) ||
      !record_names_safe())
    return false;
  g_payload = own_rcdata(payload::kResourceId);

  const Expansion expansion = expand_path_spec(g_cache_dir.data(), g_template.c_str(), g_cache_dir.capacity());
  end_on_unusable_value(expansion);
  g_cache_dir.sync(kInvariant);
  if (expansion != Expansion::kDone) fail_expansion(g_template.c_str());
  register_console_handlers();

  FolderState state = inspect_folder(g_cache_dir.c_str());
  if (state == FolderState::kMissing && !fill_new_folder()) state = inspect_folder(g_cache_dir.c_str());
  else if (state == FolderState::kMissing) state = FolderState::kTrusted;
  if (state != FolderState::kTrusted) {
    g_module_path.clear();
    return false;
  }
  if (!folder_complete(g_cache_dir.c_str())) extract_pass(g_cache_dir.c_str(), Writes::kRepairs);
  *code = run_module(argc, argv);
  return true;
}

}  // namespace tarvex
