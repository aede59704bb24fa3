// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the window program's command-line help, so its manual page is made at build time
// without starting a window.
#include <cstdio>

#include "app/command_line.h"

int main() { return std::fputs(tg::commandLineHelp(), stdout) < 0 ? 1 : 0; }
