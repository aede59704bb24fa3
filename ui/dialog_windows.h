// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

class MainWindow;

/// Hooks the dialog windows into `window`: the Tile Images window and More Options (modal, told
/// whether a job runs), the split dialog of Create Mosaic, the Save Settings dialog, and the
/// Image Preview command (the finished mosaic of the selected main image when one is there,
/// else the main image). What it creates lives as long as the window. Window thread, once.
void installDialogWindows(MainWindow& window);

}  // namespace tg
