// The end of a run on disk: the child settled, the extraction directory removed.
#pragma once
#include <windows.h>
#include <shellapi.h>

namespace tarvex {

// Gives a published child up to 5000 ms to end, terminates it otherwise and closes
// its handle; then, once the removal flag is raised, removes the extraction
// directory with up to 20 retries 100 ms apart. Silent. Two threads may run it at
// once: each works on its own copies, and a child handle goes to one of them only.
void cleanup();

// Stores a duplicate of `process` in g_child_process for the console handler; false
// when the duplicate cannot be made (the caller keeps its own handle either way).
bool publish_child_process(HANDLE process);

// Takes the published handle back out of the slot and closes it, unless the
// console handler's cleanup has already taken it.
void withdraw_child_process();

// The system calls that cleanup repeats, swappable so that a test can count them.
struct CleanupCalls {
  int(WINAPI* remove)(LPSHFILEOPSTRUCTW request);  // SHFileOperationW
  DWORD(WINAPI* attributes)(LPCWSTR path);         // GetFileAttributesW
  void(WINAPI* pause)(DWORD milliseconds);         // Sleep
  BOOL(WINAPI* close)(HANDLE handle);              // CloseHandle of the child's duplicate
};
extern CleanupCalls g_cleanup_calls;

}  // namespace tarvex
