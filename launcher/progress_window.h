// The progress window of a windowed program's long extraction.
#pragma once

namespace tarvex {

// Called on the extraction thread before the first file is written: in the GUI
// subsystem, unless the executable carries the no-progress mark, a thread waits half
// a second and then shows the product's name and icon and a bar of the payload
// consumed so far, until end_progress.
void begin_progress();

// Called as files are written: hands the bar its new position.
void note_progress();

// Closes the window, if any, and waits for its thread. Harmless without one.
void end_progress();

}  // namespace tarvex
