// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace tg::test {

/// Runs the QTest class `suite` under a QApplication prepared like the program's: the C.UTF-8
/// locale, a private configuration folder when CTest gave none, the catalogue in English.
/// Returns QTest's exit code.
int runWindowTests(QObject& suite, int argc, char** argv);

}  // namespace tg::test

/// The `main` of one window's QTest suite.
#define TG_WINDOW_TEST_MAIN(Suite)                      \
  int main(int argc, char** argv) {                     \
    Suite suite;                                        \
    return tg::test::runWindowTests(suite, argc, argv); \
  }
