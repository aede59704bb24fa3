// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/program.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QTimer>

#include "app/application.h"
#include "app/command_line.h"
#include "config/user_values.h"
#include "ui/about_box.h"
#include "ui/dialog_windows.h"
#include "ui/main_window.h"
#include "ui/more_options_dialog.h"
#include "ui/qt_user_dialogs.h"
#include "ui/start_menu.h"
#include "ui/ui_text.h"
#include "update/update_check.h"

namespace tg {

namespace {

/// Swallows tooltips while the user has turned them off (`toolTipsEnabled`).
class ToolTipFilter final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ToolTip && !toolTipsEnabled(-1)) return true;
    return QObject::eventFilter(watched, event);
  }
};

QIcon programIcon() {
  QIcon icon = QIcon::fromTheme(QStringLiteral("tesselograph"));
  if (!icon.isNull()) return icon;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/tesselograph-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

int runProgram(int argc, char** argv, const std::function<void(MainWindow&)>& afterShow) {
  QApplication::setApplicationName(applicationTitle());
  QApplication::setApplicationVersion(QStringLiteral(TG_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("tesselograph"));

  QtUserDialogs dialogs;
  setUserDialogs(&dialogs);
  int exitCode = 0;
  {
    Application application;
    if (!application.startUp()) {
      setUserDialogs(nullptr);
      return application.exitCode();
    }
    QApplication::setWindowIcon(programIcon());
    ToolTipFilter toolTips;
    qApp->installEventFilter(&toolTips);

    const CommandLine commandLine = parseCommandLine(joinArguments(argc, argv));
    StartMenu::Choice choice = StartMenu::Choice::MakeMosaic;
    if (commandLine.startMenu) {
      StartMenu menu(false);
      choice = menu.exec() == QDialog::Accepted ? menu.choice() : StartMenu::Choice::None;
    } else if (commandLine.aboutBox) {
      AboutBox about;
      (void)about.exec();
      choice = StartMenu::Choice::None;
    }
    if (choice != StartMenu::Choice::None) {
      MainWindow window(dialogs);
      dialogs.setParentWidget(&window);
      installDialogWindows(window);
      UpdateChecker& checker = updateChecker();
      window.setAutomaticUpdateCheck([&checker] { (void)checker.checkForUpdates(false); });
      setUpdateCheckHooks({[&checker] { return checker.updateMode(); },
                           [&checker](int mode) { (void)checker.setUpdateMode(mode); },
                           [&checker] { (void)checker.checkForUpdates(true); }});
      window.show();
      window.openCommandLineImages(commandLine.mainImages, commandLine.explicitOutputs);
      QTimer::singleShot(0, &window, [&window, &afterShow, choice] {
        if (afterShow) afterShow(window);
        if (choice == StartMenu::Choice::AddMainImages) window.addMainImages();
        if (choice == StartMenu::Choice::LoadSettings) window.loadSettingsFile();
      });
      (void)QApplication::exec();
      dialogs.setParentWidget(nullptr);
    }
    qApp->removeEventFilter(&toolTips);
    exitCode = application.exitCode();
  }
  setUserDialogs(nullptr);
  return exitCode;
}

}  // namespace tg
