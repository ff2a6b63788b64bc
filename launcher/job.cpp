// The application's job: created with kill-on-close and breakaway allowed, its
// completion port read for the "no active processes" message.
#include "launcher/job.h"

#include "support/unique_handle.h"

namespace tarvex {

HANDLE g_job = nullptr;
decltype(&AssignProcessToJobObject) g_assign_to_job = AssignProcessToJobObject;

namespace {

HANDLE g_job_port = nullptr;
constexpr ULONG_PTR kJobKey = 1;
constexpr DWORD kDrainPollMs = 20;

}  // namespace

bool open_job() {
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
  while (GetQueuedCompletionStatus(g_job_port, &message, &key, &overlapped, INFINITE))
    if (key == kJobKey && message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) return;
}

bool job_drained_by(ULONGLONG deadline) {
  if (!g_job) return true;
  for (;;) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!QueryInformationJobObject(g_job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                   nullptr) ||
        accounting.ActiveProcesses == 0)
      return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kDrainPollMs);
  }
}

}  // namespace tarvex
