// SPDX-License-Identifier: GPL-3.0-or-later
// The window program: start-up in its order, the window the command line selects, shut-down.
#include <QApplication>

#include "ui/program.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return tg::runProgram(argc, argv);
}
