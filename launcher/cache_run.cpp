// Cache mode: checking, repairing or making the persistent folder, then running the
// module from it in this process. Nothing here removes the folder: a console event
// during a first run removes only the private sibling being filled, through the
// ordinary cleanup, and a cached run ends like any process the event reaches.
#include "launcher/cache_run.h"

#include <windows.h>

#include <cwchar>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/cache_trust.h"
#include "launcher/child_launch.h"
#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/extract.h"
#include "launcher/folder_sizes.h"
#include "launcher/held_folder.h"
#include "launcher/module_start.h"
#include "launcher/own_resource.h"
#include "launcher/path_reports.h"
#include "launcher/payload_reading.h"
#include "launcher/program_kind.h"
#include "launcher/state.h"
#include "launcher/tree_removal.h"
#include "paths/directories.h"
#include "paths/environment.h"
#include "paths/expand.h"
#include "paths/private_folder.h"
#include "paths/variables.h"
#include "payload/cache_record.h"
#include "payload/entries.h"
#include "payload/entry_rules.h"
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
WideBuffer<kPathCapacity> g_listed_dir;  // the folder whose listing is held
bool g_listed_whole = false;
ResourceBytes g_payload;

// `dir` + "\" + `name` into g_path; false when it does not fit.
bool join(const wchar_t* dir, const wchar_t* name) {
  g_path.clear();
  return g_path.try_append(dir) && g_path.try_append(L'\\') && g_path.try_append(name);
}

// The recorded file `name` below `dir` at `size` bytes. Its folder is listed once for
// all the entries in it that come one after another (the packer writes a folder's
// entries together); a folder that cannot be listed whole is checked file by file.
bool recorded_file_present(const wchar_t* dir, const wchar_t* name, uint64_t size, bool* listing_held) {
  const wchar_t* leaf = name;
  for (const wchar_t* p = name; *p; ++p)
    if (*p == L'\\' || *p == L'/') leaf = p + 1;
  if (!join(dir, name)) return false;
  g_path.truncate(g_path.size() - wcslen(leaf) - 1);  // the entry's folder
  if (!*listing_held || wcscmp(g_path.c_str(), g_listed_dir.c_str()) != 0) {
    g_listed_dir.assign(g_path.c_str(), kInvariant);  // of the same capacity
    *listing_held = true;
    g_listed_whole = list_folder_sizes(g_path);
  }
  if (g_listed_whole) return listed_file_has_size(leaf, size);
  return join(dir, name) && file_has_size(g_path.c_str(), size);
}

// Every recorded file at its recorded size, no reading.
bool folder_complete(const wchar_t* dir) {
  g_record.rewind();
  uint64_t size = 0;
  bool listing_held = false;
  while (g_record.next_entry(g_name, &size))
    if (!recorded_file_present(dir, g_name.c_str(), size, &listing_held)) return false;
  return true;
}

// One pass of the extraction loop over the payload, from its start. False when a
// repair could not replace a file.
bool extract_pass(const wchar_t* dir, Writes writes) {
  open_payload_resource(g_payload);
  const bool done = extract_entries(dir, writes);
  close_payload();
  return done;
}

// Only "no such process" proves a run dead: access denied is the answer for a live
// elevated run or another user's.
bool process_may_live(DWORD pid) {
  Handle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
  return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
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
    if (pid != own && process_may_live(pid)) continue;
    g_path.assign(g_cache_dir.c_str(), report_as(msg::kPathTooLong));
    if (cut != WideText::npos) g_path.truncate(cut + 1);
    else g_path.clear();
    if (!g_path.try_append(found.cFileName)) continue;
    // Checked and removed through one handle: another account's sibling, or a link
    // put in its place, is left alone.
    Handle partial;
    if (hold_own_folder(g_path.c_str(), partial) == FolderState::kTrusted) remove_held_folder(g_path.c_str(), partial);
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

// The module's path below the cache folder into g_module_path.
void set_module_path() {
  g_name.clear();
  uint64_t size = 0;
  g_record.rewind();
  g_record.next_entry(g_name, &size);
  g_module_path.assign(g_cache_dir.c_str(), report_as(msg::kModulePathTooLong));
  g_module_path.append(L'\\', report_as(msg::kModulePathTooLong));
  g_module_path.append(g_name.c_str(), report_as(msg::kModulePathTooLong));
}

int run_module(int argc, wchar_t** argv) {
  if (is_program_file(g_module_path.c_str())) return launch_program(g_module_path.c_str(), ProgramRun::kCacheFolder);
  publish_application_environment();
  // What a child of a temporary run is given: the module file name as argument 0.
  if (argc > 0) argv[0] = const_cast<wchar_t*>(module_file_name());
  return start_module(g_cache_dir.c_str(), argc, argv);
}

// A record with a name that Windows cannot take is not used: the temporary run
// then reports the name.
bool record_names_safe() {
  g_record.rewind();
  uint64_t size = 0;
  while (g_record.next_entry(g_name, &size))
    if (payload::check_name(g_name.c_str(), g_name.size())) return false;
  return true;
}

// What the trust of a cache folder rests on, checked from the start and held until
// the module has run: the template's expansion, the folder's ancestors, and handles
// on the folder and on the module that keep both in place.
bool folder_trusted(Handle& folder) {
  if (!is_absolute_path(g_cache_dir.c_str()) || !ancestors_trusted(g_cache_dir.c_str())) return false;
  FolderState state = hold_own_folder(g_cache_dir.c_str(), folder);
  if (state == FolderState::kMissing) {
    fill_new_folder();
    // Looked at again: what was published, or what another first run put there.
    state = hold_own_folder(g_cache_dir.c_str(), folder);
  }
  return state == FolderState::kTrusted && label_trusted(folder.get(), g_cache_dir.c_str());
}

}  // namespace

bool run_from_cache(int argc, wchar_t** argv, int* code) {
  const ResourceBytes record = own_rcdata(payload::kCacheRecordId);
  if (!record.data || !g_record.open(record.data, record.size) || !g_record.read_template(g_template) ||
      !record_names_safe())
    return false;
  g_payload = own_rcdata(payload::kResourceId);

  take_program_from_own_path(true);
  const Expansion expansion = expand_path_spec(g_cache_dir.data(), g_template.c_str(), g_cache_dir.capacity());
  take_program_from_own_path(false);
  end_on_unusable_value(expansion);
  g_cache_dir.sync(kInvariant);
  if (expansion != Expansion::kDone) fail_expansion(g_template.c_str());
  register_console_handlers();

  Handle folder;
  Handle module;
  bool trusted = folder_trusted(folder);
  if (trusted && !folder_complete(g_cache_dir.c_str())) trusted = extract_pass(g_cache_dir.c_str(), Writes::kRepairs);
  if (trusted) {
    set_module_path();
    trusted = hold_module_below(folder.get(), g_module_path.c_str(), module);
  }
  if (!trusted) {
    g_module_path.clear();
    return false;
  }
  *code = run_module(argc, argv);
  return true;
}

}  // namespace tarvex
