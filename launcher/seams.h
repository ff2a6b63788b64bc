// The system calls that tests replace, each defined in the file that makes it, and the
// scoped override that puts a replaced call back.
#pragma once
#include <windows.h>

namespace tarvex {

// CreateProcessW, for the child launch (child_launch.cpp).
using CreateProcessFunction = decltype(&CreateProcessW);
extern CreateProcessFunction g_create_process;

// CreateDirectoryW, for directory creation (paths/directories.cpp).
using CreateDirectoryFunction = BOOL(WINAPI*)(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);
extern CreateDirectoryFunction g_create_directory;

// The calls that cleanup repeats (cleanup.cpp), so that a test can count them.
struct CleanupCalls {
  void (*remove)(const wchar_t* path);      // delete_tree
  DWORD(WINAPI* attributes)(LPCWSTR path);  // GetFileAttributesW
  void(WINAPI* pause)(DWORD milliseconds);  // Sleep
};
extern CleanupCalls g_cleanup_calls;

// The calls that read another process's image name and creation time (role.cpp), so
// that a test can make them fail or report values of its choosing.
struct ParentQueryCalls {
  HANDLE(WINAPI* open_process)(DWORD access, BOOL inherit, DWORD process_id);          // OpenProcess
  DWORD(WINAPI* image_name)(HANDLE process, HMODULE module, LPWSTR name, DWORD size);  // K32GetModuleFileNameExW
  BOOL(WINAPI* process_times)
  (HANDLE process, FILETIME* created, FILETIME* ended, FILETIME* kernel,
   FILETIME* user);  // GetProcessTimes
};

// AssignProcessToJobObject, for the application's job (job.cpp), so that a test can
// make the system refuse the job.
using AssignToJobFunction = decltype(&AssignProcessToJobObject);
extern AssignToJobFunction g_assign_to_job;
extern ParentQueryCalls g_parent_query_calls;

// Replaces a seam for its own lifetime and then puts back what was there before, also
// when a test leaves early. Changes made to the seam meanwhile are undone as well.
template <typename T>
class ScopedSeam {
 public:
  ScopedSeam(T& seam, T replacement) : seam_(seam), saved_(seam) { seam_ = replacement; }
  ~ScopedSeam() { seam_ = saved_; }
  ScopedSeam(const ScopedSeam&) = delete;
  ScopedSeam& operator=(const ScopedSeam&) = delete;

  // What the seam held before: the real call, for a replacement that forwards to it.
  const T& saved() const { return saved_; }

 private:
  T& seam_;
  T saved_;
};

}  // namespace tarvex
