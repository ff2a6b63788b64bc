// The extraction loop: each payload entry's target path below the extraction
// directory, its directory and its file; the first entry's path is the module path.
#include "launcher/extract.h"

#include <windows.h>

#include <cstdint>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/console_handler.h"
#include "launcher/progress_window.h"
#include "launcher/path_reports.h"
#include "launcher/payload_reading.h"
#include "launcher/state.h"
#include "paths/directories.h"
#include "paths/environment.h"
#include "paths/private_folder.h"
#include "payload/entries.h"
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

// Parent role: this run makes the extraction directory itself, private to the user.
// One that exists already is someone else's: it is neither used nor removed.
void make_extraction_dir() {
  RunLock lock;
  if (console_event_received()) end_interrupted_run();
  PrivateFolderSecurity security;
  bool made = make_private_folder_security(security);
  if (made) {
    seed_dirs_or_end();
    made = make_new_dir(g_extraction_dir.c_str(), &security.attributes);
  }
  if (!made) {
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) {
      error_printf(stderr, msg::kCreateExtractionDir, g_extraction_dir.c_str(), static_cast<long>(error),
                   system_error_text(error));
      end_process(2);
    }
    error_printf(stderr, msg::kExtractionDirExists, g_extraction_dir.c_str());
    end_process(2);
  }
  g_removal_flag = 1;
}

// Called with the run lock held. After a console event nothing more is written, and
// a failure that follows one is the interruption's doing, not a fault to report.
void write_entry(uint64_t size) {
  // FILE_SHARE_WRITE only: a file that another process holds open for reading
  // cannot be replaced under it.
  Handle file(CreateFileW(g_target_path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr));
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
// whole new one, never half of one.
void replace_entry(uint64_t size) {
  g_final_path.assign(g_target_path.c_str(), report_as(msg::kPathTooLong));
  g_target_path.append(L".repair-", report_as(msg::kPathTooLong));
  append_process_id(g_target_path, report_as(msg::kPathTooLong));
  write_entry(size);
  if (!MoveFileExW(g_target_path.c_str(), g_final_path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const DWORD error = GetLastError();
    DeleteFileW(g_target_path.c_str());
    fail_with_system_error(msg::kUnpack, error);
  }
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
    // module, anywhere on the machine.
    if (!entry_name_stays_inside(g_entry_name.c_str())) fail_with_message(msg::kUnsafeEntryName);
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
    if (writes == Writes::kRepairs) replace_entry(size);
    else write_entry(size);
  }
}

}  // namespace tarvex
