// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/program.h"

#include <QApplication>
#include <QIcon>

#include "app/application.h"
#include "app/command_line.h"
#include "ui/qt_user_dialogs.h"
#include "ui/ui_text.h"

namespace tg {

int runProgram(int argc, char** argv) {
  QApplication::setApplicationName(applicationTitle());
  QApplication::setDesktopFileName(QStringLiteral("tesselograph"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tesselograph")));

  QtUserDialogs dialogs;
  setUserDialogs(&dialogs);
  int exitCode = 0;
  {
    Application application;
    if (!application.startUp()) {
      setUserDialogs(nullptr);
      return application.exitCode();
    }
    const CommandLine commandLine = parseCommandLine(joinArguments(argc, argv));
    (void)commandLine;
    exitCode = application.exitCode();
  }
  setUserDialogs(nullptr);
  return exitCode;
}

}  // namespace tg
