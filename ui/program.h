// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// The whole window program inside an existing QApplication: installs the Qt `UserDialogs`,
/// runs the start-up steps (`Application`), reads the command line and shows the window it
/// selects (the start menu with -m, the about box with -a, else the main window), runs the event
/// loop until that window closes, then shuts down in reverse order. Returns the exit code: 0, or
/// -1 when the start-up failed before a window was shown. Window thread.
int runProgram(int argc, char** argv);

}  // namespace tg
