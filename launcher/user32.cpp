// Loading user32 from the system folder, once.
#include "launcher/user32.h"

#include "support/system_library.h"

namespace tarvex {

namespace {

User32 g_user32;
bool g_loaded = false;
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;

template <typename Call>
bool resolve(HMODULE module, const char* name, Call* call) {
  *call = reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *call != nullptr;
}

BOOL CALLBACK load(INIT_ONCE*, void*, void**) {
  // The system folder only: a user32.dll beside the executable or in the current
  // folder is never the one loaded.
  HMODULE m = load_system_library(L"user32.dll");
  if (!m) return TRUE;
  User32& u = g_user32;
  g_loaded = resolve(m, "MessageBoxW", &u.message_box) && resolve(m, "RegisterClassExW", &u.register_class) &&
             resolve(m, "CreateWindowExW", &u.create_window) && resolve(m, "DefWindowProcW", &u.default_procedure) &&
             resolve(m, "DestroyWindow", &u.destroy_window) && resolve(m, "GetMessageW", &u.get_message) &&
             resolve(m, "PeekMessageW", &u.peek_message) && resolve(m, "DispatchMessageW", &u.dispatch_message) &&
             resolve(m, "MsgWaitForMultipleObjects", &u.wait_for_messages) && resolve(m, "SetTimer", &u.set_timer) &&
             resolve(m, "InvalidateRect", &u.invalidate) && resolve(m, "BeginPaint", &u.begin_paint) &&
             resolve(m, "EndPaint", &u.end_paint) && resolve(m, "FillRect", &u.fill_rect) &&
             resolve(m, "FrameRect", &u.frame_rect) && resolve(m, "DrawTextW", &u.draw_text) &&
             resolve(m, "DrawIconEx", &u.draw_icon) && resolve(m, "LoadImageW", &u.load_image) &&
             resolve(m, "GetSysColorBrush", &u.system_brush) && resolve(m, "GetSystemMetrics", &u.system_metrics) &&
             resolve(m, "ShutdownBlockReasonCreate", &u.block_reason_create) &&
             resolve(m, "ShutdownBlockReasonDestroy", &u.block_reason_destroy);
  return TRUE;
}

}  // namespace

const User32* user32() {
  InitOnceExecuteOnce(&g_once, load, nullptr, nullptr);
  return g_loaded ? &g_user32 : nullptr;
}

bool runs_windowed() {
  const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

HICON own_icon(const User32& u, int size) {
  return static_cast<HICON>(u.load_image(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
}

}  // namespace tarvex
