// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace tg {

class MainWindow;

/// The whole window program inside an existing QApplication: installs the Qt `UserDialogs`,
/// runs the start-up steps (`Application`), reads the command line and shows the window it
/// selects (the start menu with -m, the about box with -a, else the main window), runs the event
/// loop until that window closes, then shuts down in reverse order. Returns the exit code: 0, or
/// -1 when the start-up failed before a window was shown. `afterShow`, when given, runs once the
/// main window has been shown and painted (the start-up benchmark closes it there). Window thread.
int runProgram(int argc, char** argv, const std::function<void(MainWindow&)>& afterShow = {});

}  // namespace tg
