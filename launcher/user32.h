// user32, loaded from the system folder on first use and never imported: the calls the
// Launcher's windows make, and what they share about the executable itself.
#pragma once
#include <windows.h>

namespace tarvex {

struct User32 {
  decltype(&MessageBoxW) message_box;
  decltype(&RegisterClassExW) register_class;
  decltype(&CreateWindowExW) create_window;
  decltype(&DefWindowProcW) default_procedure;
  decltype(&DestroyWindow) destroy_window;
  decltype(&GetMessageW) get_message;
  decltype(&PeekMessageW) peek_message;
  decltype(&DispatchMessageW) dispatch_message;
  decltype(&MsgWaitForMultipleObjects) wait_for_messages;
  decltype(&SetTimer) set_timer;
  decltype(&InvalidateRect) invalidate;
  decltype(&BeginPaint) begin_paint;
  decltype(&EndPaint) end_paint;
  decltype(&FillRect) fill_rect;
  decltype(&FrameRect) frame_rect;
  decltype(&DrawTextW) draw_text;
  decltype(&DrawIconEx) draw_icon;
  decltype(&LoadImageW) load_image;
  decltype(&GetSysColorBrush) system_brush;
  decltype(&GetSystemMetrics) system_metrics;
  decltype(&ShutdownBlockReasonCreate) block_reason_create;
  decltype(&ShutdownBlockReasonDestroy) block_reason_destroy;
};

// The calls, or null when user32 or one of them cannot be had. Safe from any thread.
const User32* user32();

// Whether the executable's own header names the GUI subsystem.
bool runs_windowed();

// The executable's own icon (group 1) at the given size, or null.
HICON own_icon(const User32& u, int size);

}  // namespace tarvex
