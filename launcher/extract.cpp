// The extraction loop: each payload entry's target path below the extraction
// directory, its directory and its file; the first entry's path is the module path.
#include "launcher/extract.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/path_reports.h"
#include "launcher/payload_reading.h"
#include "launcher/progress_window.h"
#include "launcher/run_token.h"
#include "launcher/state.h"
#include "paths/directories.h"
#include "paths/environment.h"
#include "paths/private_folder.h"
#include "payload/entries.h"
#include "payload/entry_rules.h"
#include "payload/format.h"
#include "support/unique_handle.h"

namespace tarvex {

WideBuffer<kModulePathCapacity> g_module_path;

namespace {

WideBuffer<payload::kMaxNameUnits + 1> g_entry_name;
WideBuffer<kPathCapacity> g_target_path;
WideBuffer<kPathCapacity> g_containing_dir;
WideBuffer<kPathCapacity> g_final_path;
unsigned char g_write_buffer[payload::kWriteSliceSize];

// Creates the directory that will hold the target file, through the cache.
void make_containing_dir() {
  g_containing_dir.assign(g_target_path.c_str(), report_as(msg::kPathTooLong));
  // A backslash at index 0 is never taken: the walk would end at the root anyway.
  size_t cut = g_containing_dir.rfind(L'\\', 1);
  if (cut == WideText::npos) return;
  g_containing_dir.truncate(cut);
  seed_dirs_or_end();
  if (!make_dir_cached(g_containing_dir.c_str())) {
    make_parent_dirs(g_containing_dir.c_str());
    make_dir_cached(g_containing_dir.c_str());
  }
}

// The run's token comes first and goes last: a sweep never finds this run's folder
// without it held.
bool make_token(PrivateFolderSecurity& security) {
  if (make_run_token(g_extraction_dir.c_str(), &security.attributes)) return true;
  if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
  make_parent_dirs(g_extraction_dir.c_str());
  return make_run_token(g_extraction_dir.c_str(), &security.attributes);
}

// Parent role: this run makes the extraction directory itself, private to the user.
// One that exists already is someone else's: it is neither used nor removed.
void make_extraction_dir() {
  RunLock lock;
  if (console_event_received()) end_interrupted_run();
  PrivateFolderSecurity security;
  bool made = make_private_folder_security(security);
  if (made) {
    seed_dirs_or_end();
    made = make_token(security) && make_new_dir(g_extraction_dir.c_str(), &security.attributes);
  }
  if (!made) {
    const DWORD error = GetLastError();
    // A folder there already is not this run's: no token of this run may mark it.
    release_run_token(true);
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
      error_printf(stderr, msg::kCreateExtractionDir, g_extraction_dir.c_str(), static_cast<long>(error),
                   system_error_text(error));
      end_process(2);
    }
    error_printf(stderr, msg::kExtractionDirExists, g_extraction_dir.c_str());
    end_process(2);
  }
  g_removal_flag = 1;
}

// Called with the run lock held: a name that Windows cannot take as a file name ends
// the run with one line naming the entry, after the cleanup has removed the folder.
void refuse_entry_name() {
  cleanup_holding_lock();
  // Control characters would break the line.
  for (size_t i = 0; i < g_entry_name.size(); ++i)
    if (g_entry_name[i] < 0x20) g_entry_name.data()[i] = L'?';
  error_printf(stderr, msg::kBadEntryName, g_entry_name.c_str());
  end_process(2);
}

// Whether the file at g_target_path is spelled exactly as the entry's last component:
// an earlier entry of the same name, which this one replaces.
bool same_spelling_exists() {
  WIN32_FIND_DATAW found;
  FindHandle search(FindFirstFileW(g_target_path.c_str(), &found));
  const size_t cut = g_target_path.rfind(L'\\');
  return search && wcscmp(found.cFileName, g_target_path.c_str() + (cut == WideText::npos ? 0 : cut + 1)) == 0;
}

// Called with the run lock held. After a console event nothing more is written, and
// a failure that follows one is the interruption's doing, not a fault to report.
// `fresh`: the folder is new, so a file there already is an earlier entry: of the
// same name, replaced, or of one that differs only in letter case, refused.
void write_entry(uint64_t size, bool fresh) {
  // FILE_SHARE_WRITE only: a file that another process holds open for reading
  // cannot be replaced under it.
  Handle file(CreateFileW(g_target_path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                          fresh ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr));
  if (!file && fresh && GetLastError() == ERROR_FILE_EXISTS) {
    if (!same_spelling_exists()) refuse_entry_name();
    file.reset(CreateFileW(g_target_path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  if (!file) {
    if (console_event_received()) end_interrupted_run();
    error_printf(stderr, msg::kOpenForWriting, g_target_path.c_str());
    end_process(2);
  }
  for (uint64_t remaining = size; remaining > 0;) {
    DWORD slice = static_cast<DWORD>(remaining < sizeof g_write_buffer ? remaining : sizeof g_write_buffer);
    read_payload(g_write_buffer, slice);
    DWORD written = 0;
    // The file is closed before an interrupted end: the removal cannot delete a file
    // that this process holds open.
    if (!WriteFile(file.get(), g_write_buffer, slice, &written, nullptr)) {
      const DWORD error = GetLastError();
      file.reset();
      if (console_event_received()) end_interrupted_run();
      fail_with_system_error(msg::kUnpack, error);
    }
    if (console_event_received()) {
      file.reset();
      end_interrupted_run();
    }
    note_progress();
    remaining -= slice;
  }
}

// Reads past an entry's content that is not written.
void skip_entry(uint64_t size) {
  for (uint64_t remaining = size; remaining > 0;) {
    const uint64_t slice = remaining < sizeof g_write_buffer ? remaining : sizeof g_write_buffer;
    read_payload(g_write_buffer, slice);
    remaining -= slice;
  }
}

// Writes the entry beside its target under a name of this process's and renames it
// over the target: a start that reads the folder meanwhile sees the old file or the
// whole new one, never half of one. False when the rename fails (another start holds
// the old file open, for one): the temporary file is removed again.
bool replace_entry(uint64_t size) {
  g_final_path.assign(g_target_path.c_str(), report_as(msg::kPathTooLong));
  g_target_path.append(L".repair-", report_as(msg::kPathTooLong));
  append_process_id(g_target_path, report_as(msg::kPathTooLong));
  write_entry(size, false);
  if (MoveFileExW(g_target_path.c_str(), g_final_path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileW(g_target_path.c_str());
  return false;
}

}  // namespace

bool file_has_size(const wchar_t* path, uint64_t size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow) == size;
}

bool extract_payload(Role role) {
  if (role == Role::kParent) make_extraction_dir();
  return extract_entries(g_extraction_dir.c_str(), role == Role::kChild ? Writes::kModuleOnly : Writes::kAll);
}

bool extract_entries(const wchar_t* dir, Writes writes) {
  for (;;) {
    // Held for the whole entry: a console handler's cleanup never removes the
    // directory under a file being written, and this thread, on taking the lock,
    // learns of an event that came meanwhile.
    RunLock lock;
    if (console_event_received()) end_interrupted_run();
    read_entry_name(g_entry_name);
    if (g_entry_name.empty()) {
      end_progress();
      return !g_module_path.empty();
    }
    // A name that climbs out of the extraction directory would write, or load a
    // module, anywhere on the machine; a device name would write to the device.
    if (payload::check_name(g_entry_name.c_str(), g_entry_name.size())) refuse_entry_name();
    g_target_path.assign(dir, report_as(msg::kPathTooLong));
    g_target_path.append(L'\\', report_as(msg::kPathTooLong));
    g_target_path.append(g_entry_name.c_str(), report_as(msg::kPathTooLong));
    if (g_module_path.empty()) {
      g_module_path.assign(g_target_path.c_str(), report_as(msg::kModulePathTooLong));
      if (writes == Writes::kModuleOnly) return true;
    }
    uint64_t size = read_entry_size();
    if (writes == Writes::kRepairs && file_has_size(g_target_path.c_str(), size)) {
      skip_entry(size);
      continue;
    }
    begin_progress();
    make_containing_dir();
    if (writes != Writes::kRepairs) write_entry(size, true);
    else if (!replace_entry(size)) return false;
  }
}

}  // namespace tarvex
