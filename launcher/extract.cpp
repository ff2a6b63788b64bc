// The extraction loop: each payload entry's target path below the extraction
// directory, its directory and its file; the first entry's path is the module path.
#include "launcher/extract.h"

#include <windows.h>

#include <cstdint>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/console_handler.h"
#include "launcher/state.h"
#include "paths/directories.h"
#include "paths/private_folder.h"
#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "support/unique_handle.h"

namespace tarvex {

WideBuffer<kModulePathCapacity> g_module_path;

namespace {

WideBuffer<payload::kMaxNameUnits + 1> g_entry_name;
WideBuffer<kPathCapacity> g_target_path;
WideBuffer<kPathCapacity> g_containing_dir;
unsigned char g_write_buffer[payload::kWriteSliceSize];

// Creates the directory that will hold the target file, through the cache.
void make_containing_dir() {
  g_containing_dir.assign(g_target_path.c_str(), report_as(msg::kPathTooLong));
  // A backslash at index 0 is never taken: the walk would end at the root anyway.
  size_t cut = g_containing_dir.rfind(L'\\', 1);
  if (cut == WideText::npos) return;
  g_containing_dir.truncate(cut);
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
  const bool made =
      make_private_folder_security(security) && make_new_dir(g_extraction_dir.c_str(), &security.attributes);
  if (!made) {
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) fail_with_system_error(msg::kCreateExtractionDir, error);
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
    remaining -= slice;
  }
}

}  // namespace

bool extract_payload(Role role) {
  if (role == Role::kParent) make_extraction_dir();
  for (;;) {
    // Held for the whole entry: a console handler's cleanup never removes the
    // directory under a file being written, and this thread, on taking the lock,
    // learns of an event that came meanwhile.
    RunLock lock;
    if (console_event_received()) end_interrupted_run();
    read_entry_name(g_entry_name);
    if (g_entry_name.empty()) return !g_module_path.empty();
    // A name that climbs out of the extraction directory would write, or load a
    // module, anywhere on the machine.
    if (!entry_name_stays_inside(g_entry_name.c_str())) fail_with_message(msg::kUnsafeEntryName);
    g_target_path.assign(g_extraction_dir.c_str(), report_as(msg::kPathTooLong));
    g_target_path.append(L'\\', report_as(msg::kPathTooLong));
    g_target_path.append(g_entry_name.c_str(), report_as(msg::kPathTooLong));
    if (g_module_path.empty()) {
      g_module_path.assign(g_target_path.c_str(), report_as(msg::kModulePathTooLong));
      if (role == Role::kChild) return true;
    }
    uint64_t size = read_entry_size();
    make_containing_dir();
    write_entry(size);
  }
}

}  // namespace tarvex
