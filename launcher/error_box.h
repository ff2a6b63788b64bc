// The windowed Launcher's error line in a message box, for a run that has nowhere else
// to show it.
#pragma once

namespace tarvex {

// Installs the box as the report's final-line hook. The box shows when the process
// ends with an error line, the executable is a GUI program, standard error is no
// file, pipe or console, and TARVEX_NO_ERROR_DIALOG is not 1.
void show_errors_in_box();

}  // namespace tarvex
