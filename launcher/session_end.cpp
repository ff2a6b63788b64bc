// The hidden window that hears of logoff and shutdown.
#include "launcher/session_end.h"

#include <windows.h>

#include "launcher/console_handler.h"
#include "launcher/user32.h"

namespace tarvex {

namespace {

constexpr DWORD kDelayMs = 500;

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  const User32& u = *user32();
  switch (message) {
    case WM_QUERYENDSESSION:
      u.block_reason_create(window, L"Removing the application's temporary files.");
      return TRUE;
    case WM_ENDSESSION:
      if (w) {
        // The same path as a console's logoff event: the cleanup, then the end.
        console_control_handler(CTRL_LOGOFF_EVENT);
        end_interrupted_process(CTRL_LOGOFF_EVENT);
      }
      u.block_reason_destroy(window);
      return 0;
    default:
      return u.default_procedure(window, message, w, l);
  }
}

DWORD WINAPI watch(void*) {
  // A run that ends within the delay never loads user32 nor makes a window: a short
  // run costs no more than before. A session that ends within it finds no window.
  Sleep(kDelayMs);
  const User32* u = user32();
  if (!u) return 0;
  WNDCLASSEXW type = {};
  type.cbSize = sizeof type;
  type.lpfnWndProc = procedure;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"TarvexSessionEnd";
  u->register_class(&type);
  // Top-level, not message-only: only top-level windows are told of the session's end.
  HWND window = u->create_window(0, L"TarvexSessionEnd", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  if (!window) return 0;
  MSG message;
  while (u->get_message(&message, nullptr, 0, 0) > 0) u->dispatch_message(&message);
  return 0;
}

}  // namespace

void watch_session_end() {
  if (!runs_windowed()) return;
  HANDLE thread = CreateThread(nullptr, 0, watch, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
}

}  // namespace tarvex
