// The reader session: standard output diverted into a pipe, read back by the exit hook.
#include "tool/packer/reader_session.h"

#include "tool/file_io.h"

#include <fcntl.h>

#include <cstdio>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define read _read
#else
#include <unistd.h>
#endif

namespace tarvex::packer {

namespace {

struct Session {
  std::string file;
  SessionCleanup cleanup = nullptr;
  int saved_stdout = -1;  // the real standard output while it is diverted
  int capture = -1;       // read end of the pipe
};
Session g_session;

bool open_pipe(int fds[2]) {
#ifdef _WIN32
  // The reader's messages are far shorter than the pipe buffer, so writing them
  // never waits for the reading end.
  return _pipe(fds, 4096, _O_BINARY | _O_NOINHERIT) == 0;
#else
  return pipe(fds) == 0;
#endif
}

void restore_stdout() {
  fflush(stdout);
  if (g_session.saved_stdout >= 0) {
    dup2(g_session.saved_stdout, 1);  // also closes the pipe's last write end
    close(g_session.saved_stdout);
    g_session.saved_stdout = -1;
  }
}

std::string take_captured() {
  std::string text;
  if (g_session.capture < 0) return text;
  char buffer[512];
  for (int n; (n = static_cast<int>(read(g_session.capture, buffer, sizeof buffer))) > 0;) text.append(buffer, n);
  close(g_session.capture);
  g_session.capture = -1;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

void on_exit(int code) {
  restore_stdout();
  std::string message = take_captured();
  if (g_session.cleanup) g_session.cleanup();
  if (message.empty()) message = code < 0 ? "the payload reader stopped on a broken invariant" : "the payload reader failed";
  error_printf(stderr, msg::kToolPayloadFailure, g_session.file.c_str(), message.c_str());
}

}  // namespace

void begin_reader_session(const std::string& file, SessionCleanup cleanup) {
  g_session.file = file;
  g_session.cleanup = cleanup;
  fflush(stdout);
  int fds[2];
  const int saved = dup(1);
  if (saved >= 0 && open_pipe(fds)) {
    dup2(fds[1], 1);
    close(fds[1]);
    g_session.saved_stdout = saved;
    g_session.capture = fds[0];
  } else if (saved >= 0) {
    close(saved);
  }
  set_exit_hook(on_exit);
}

void end_reader_session() {
  set_exit_hook(nullptr);
  restore_stdout();
  take_captured();
  g_session = Session();
}

bool load_packed_payload(const std::string& exe, Bytes* file, PayloadView* payload) {
  std::string reason;
  if (!read_whole_file(exe, file, &reason)) {
    error_printf(stderr, msg::kToolCannotRead, exe.c_str(), reason.c_str());
    return false;
  }
  switch (find_payload(*file, payload, &reason)) {
    case PayloadLookup::kNoImage:
      error_printf(stderr, msg::kToolCannotRead, exe.c_str(), reason.c_str());
      return false;
    case PayloadLookup::kNoHeader:
      error_printf(stderr, msg::kToolPayloadFailure, exe.c_str(), msg::kAttachedHeader);
      return false;
    case PayloadLookup::kFound:
      break;
  }
  return true;
}

}  // namespace tarvex::packer
