// The progress window: a thread of its own, a caption without buttons, the icon, the
// product's name and a bar painted by hand (no common controls to load).
#include "launcher/progress_window.h"

#include <windows.h>

#include "launcher/own_resource.h"
#include "launcher/payload_reading.h"
#include "launcher/user32.h"
#include "paths/own_version.h"
#include "payload/format.h"

namespace tarvex {

namespace {

constexpr DWORD kDelayMs = 500;
constexpr UINT kRepaintMs = 100;
constexpr int kWidth = 420, kHeight = 130;

bool g_decided = false;
HANDLE g_stop = nullptr;
HANDLE g_thread = nullptr;
volatile LONG g_per_mille = 0;
HICON g_icon = nullptr;

bool carries_no_progress_mark() {
  const ResourceBytes mark = own_rcdata(payload::kNoProgressId);
  return mark.size >= sizeof payload::kNoProgressMagic && mark.data[0] == payload::kNoProgressMagic[0] &&
         mark.data[1] == payload::kNoProgressMagic[1] && mark.data[2] == payload::kNoProgressMagic[2] &&
         mark.data[3] == payload::kNoProgressMagic[3];
}

void paint(const User32& u, HWND window) {
  PAINTSTRUCT ps;
  HDC dc = u.begin_paint(window, &ps);
  RECT area = {16, 16, 48, 48};
  if (g_icon) u.draw_icon(dc, area.left, area.top, g_icon, 32, 32, 0, nullptr, DI_NORMAL);
  RECT text = {64, 16, kWidth - 24, 48};
  u.draw_text(dc, own_version_field(OwnField::kProduct), -1, &text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  RECT bar = {16, 60, kWidth - 24, 78};
  u.frame_rect(dc, &bar, u.system_brush(COLOR_WINDOWFRAME));
  RECT filled = {bar.left + 1, bar.top + 1, bar.left + 1 + (bar.right - bar.left - 2) * g_per_mille / 1000,
                 bar.bottom - 1};
  u.fill_rect(dc, &filled, u.system_brush(COLOR_HIGHLIGHT));
  u.end_paint(window, &ps);
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  const User32& u = *user32();
  switch (message) {
    case WM_TIMER:
      u.invalidate(window, nullptr, FALSE);
      return 0;
    case WM_PAINT:
      paint(u, window);
      return 0;
    case WM_CLOSE:  // nothing to close: the window goes when the application starts
      return 0;
    default:
      return u.default_procedure(window, message, w, l);
  }
}

DWORD WINAPI show_window(void*) {
  if (WaitForSingleObject(g_stop, kDelayMs) == WAIT_OBJECT_0) return 0;
  const User32* u = user32();
  if (!u) return 0;
  g_icon = own_icon(*u, 32);
  WNDCLASSEXW type = {};
  type.cbSize = sizeof type;
  type.lpfnWndProc = procedure;
  type.hInstance = GetModuleHandleW(nullptr);
  type.hIcon = g_icon;
  type.hbrBackground = u->system_brush(COLOR_BTNFACE);
  type.lpszClassName = L"TarvexProgress";
  u->register_class(&type);
  const int x = (u->system_metrics(SM_CXSCREEN) - kWidth) / 2, y = (u->system_metrics(SM_CYSCREEN) - kHeight) / 2;
  HWND window = u->create_window(WS_EX_APPWINDOW, L"TarvexProgress", own_version_field(OwnField::kProduct),
                                 WS_CAPTION | WS_VISIBLE, x, y, kWidth, kHeight, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  if (!window) return 0;
  u->set_timer(window, 1, kRepaintMs, nullptr);
  for (;;) {
    if (u->wait_for_messages(1, &g_stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG message;
    while (u->peek_message(&message, nullptr, 0, 0, PM_REMOVE)) u->dispatch_message(&message);
  }
  u->destroy_window(window);
  return 0;
}

}  // namespace

void begin_progress() {
  if (g_decided) return;
  g_decided = true;
  if (!runs_windowed() || carries_no_progress_mark()) return;
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_stop) g_thread = CreateThread(nullptr, 0, show_window, nullptr, 0, nullptr);
}

void note_progress() {
  if (g_thread) InterlockedExchange(&g_per_mille, static_cast<LONG>(payload_read_per_mille()));
}

void end_progress() {
  if (!g_thread) return;
  SetEvent(g_stop);
  // Bounded: a window that a busy system is slow to make does not hold the start up.
  WaitForSingleObject(g_thread, 2000);
  CloseHandle(g_thread);
  g_thread = nullptr;
}

}  // namespace tarvex
