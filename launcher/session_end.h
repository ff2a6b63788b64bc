// Logoff and shutdown for the windowed Launcher, which has no console to hear of them.
#pragma once

namespace tarvex {

// Parent role of a GUI-subsystem run: a hidden top-level window on a thread of its own,
// made half a second into the run.
// When the session ends it runs the console events' cleanup (the application ended,
// the folder removed), telling the system why it holds the end up meanwhile, and
// ends the process as a console event does. Without user32 or a desktop, nothing.
void watch_session_end();

}  // namespace tarvex
