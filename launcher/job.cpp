// The application's job: created with kill-on-close and breakaway allowed, its
// completion port read for the "no active processes" message.
#include "launcher/job.h"

#include <cwchar>

#include "diagnostics/report.h"
#include "launcher/seams.h"
#include "support/capacities.h"
#include "support/unique_handle.h"
#include "support/wide_buffer.h"

namespace tarvex {

HANDLE g_job = nullptr;
AssignToJobFunction g_assign_to_job = AssignProcessToJobObject;

namespace {

HANDLE g_job_port = nullptr;
constexpr ULONG_PTR kJobKey = 1;
constexpr DWORD kDrainPollMs = 20;
// How often the wait for the job's end looks at who is left in it.
constexpr DWORD kLeftCheckMs = 250;
constexpr DWORD kMaxListed = 64;

struct ProcessList {
  JOBOBJECT_BASIC_PROCESS_ID_LIST head;
  ULONG_PTR more[kMaxListed - 1];
};
// Set by open_job, before any other thread can look.
WideBuffer<kPathCapacity> g_desktop;

// Whether every process left in the job is the system's desktop program
// (<system folder>\explorer.exe). Wine starts it as a child of the first process that
// uses the desktop, so it lands in that process's job and never ends; it is no part of
// the application. Windows starts nothing of the kind.
bool only_desktop_left() {
  if (g_desktop.empty()) return false;
  WideBuffer<kPathCapacity> image;
  ProcessList list = {};
  if (!QueryInformationJobObject(g_job, JobObjectBasicProcessIdList, &list, sizeof list, nullptr)) return false;
  if (list.head.NumberOfAssignedProcesses > list.head.NumberOfProcessIdsInList) return false;
  for (DWORD i = 0; i < list.head.NumberOfProcessIdsInList; ++i) {
    Handle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(list.head.ProcessIdList[i])));
    DWORD size = static_cast<DWORD>(image.capacity());
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) return false;
    image.sync(kInvariant);
    if (_wcsicmp(image.c_str(), g_desktop.c_str()) != 0) return false;
  }
  return true;
}

// The application has ended: what is left in the job (the desktop program) is let be
// when this process ends.
void keep_what_is_left() {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  SetInformationJobObject(g_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

}  // namespace

bool open_job() {
  const UINT n = GetSystemDirectoryW(g_desktop.data(), static_cast<UINT>(g_desktop.capacity()));
  g_desktop.sync(kInvariant);
  if (n == 0 || n >= g_desktop.capacity() || !g_desktop.try_append(L"\\explorer.exe")) g_desktop.clear();
  Handle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return false;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  // Breakaway allowed: an updater started with CREATE_BREAKAWAY_FROM_JOB may outlive
  // the application, and is then neither waited for nor ended.
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) return false;
  Handle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  if (!port) return false;
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association = {reinterpret_cast<void*>(kJobKey), port.get()};
  if (!SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation, &association,
                               sizeof association))
    return false;
  g_job_port = port.release();
  g_job = job.release();
  return true;
}

void add_to_job(HANDLE process) {
  if (!g_job || g_assign_to_job(g_job, process)) return;
  CloseHandle(g_job);
  CloseHandle(g_job_port);
  g_job = nullptr;
  g_job_port = nullptr;
}

void wait_until_job_empty() {
  if (!g_job_port) return;
  DWORD message = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED overlapped = nullptr;
  // Messages queue up: one posted before this wait began is read all the same.
  for (;;) {
    if (GetQueuedCompletionStatus(g_job_port, &message, &key, &overlapped, kLeftCheckMs)) {
      if (key == kJobKey && message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) return;
    } else if (GetLastError() != WAIT_TIMEOUT || only_desktop_left()) {
      keep_what_is_left();
      return;
    }
  }
}

bool job_drained_by(ULONGLONG deadline) {
  if (!g_job) return true;
  for (;;) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!QueryInformationJobObject(g_job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                   nullptr) ||
        accounting.ActiveProcesses == 0 || only_desktop_left())
      return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kDrainPollMs);
  }
}

}  // namespace tarvex
