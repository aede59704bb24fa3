// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog windows reached from the main window: its Tile Images, More Options and Image
// Preview commands open them on the window's own list and settings.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "job/mosaic_settings.h"
#include "support/scratch_dir.h"
#include "tiles/tile_images_model.h"
#include "ui/dialog_windows.h"
#include "ui/image_preview_window.h"
#include "ui/main_window.h"
#include "ui/more_options_dialog.h"
#include "ui/qt_user_dialogs.h"
#include "ui/tile_images_window.h"
#include "window_test_support.h"

using namespace tg;

namespace {

QAction* actionWithKeys(QWidget& window, const QKeySequence& keys) {
  for (QAction* action : window.findChildren<QAction*>()) {
    if (action->shortcut() == keys) return action;
  }
  return nullptr;
}

}  // namespace

class DialogWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  // An analysis started away from the Tile Images window (an old list being upgraded) opens
  // the window, whose timer carries the analysis to its end.
  void anAnalysisStartedElsewhereOpensTheTileImagesWindow() {
    test::ScratchDir dir;
    const std::string photos = dir.path().string() + "/photos/";
    std::filesystem::create_directories(photos);
    QImage photo(40, 30, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    QVERIFY(photo.save(QString::fromStdString(photos + "a.jpg"), "JPG"));
    QtUserDialogs dialogs;
    dialogs.setMessagePresenter(
        [](const std::string&, Buttons, Icon, Answer) { return Answer::Yes; });
    const std::string listPath = dir.file("upgraded.tg4");
    dialogs.setFilePresenter(
        [&](const FileDialogCall&) { return std::vector<std::string>{listPath}; });
    setUserDialogs(&dialogs);
    SettingsFiles files;
    files.userSettingsFile = dir.file("sets.txt");
    files.userSettingsLocation = SettingsLocation::AsGiven;
    {
      MainWindow window(dialogs, files);
      installDialogWindows(window);
      window.show();
      bool opened = false;
      QTimer close;
      QObject::connect(&close, &QTimer::timeout, [&] {
        auto* tiles = qobject_cast<TileImagesWindow*>(QApplication::activeModalWidget());
        if (tiles == nullptr || window.tileImages().analysing()) return;
        opened = true;
        tiles->reject();
      });
      close.start(20);
      QVERIFY(window.tileImages().addFolderPath(TileListView::Include, photos));
      QVERIFY(window.tileImages().saveList(true));
      QTRY_VERIFY_WITH_TIMEOUT(opened, 20000);
      QCOMPARE(window.tileImages().list().filePath, listPath);
      QCOMPARE(window.tileImages().tileCount(), std::size_t{1});
    }
    setUserDialogs(nullptr);
  }

  void commandsOpenTheDialogsOnTheWindowsData() {
    test::ScratchDir dir;
    QtUserDialogs dialogs;
    dialogs.setMessagePresenter(
        [](const std::string&, Buttons, Icon, Answer) { return Answer::No; });
    setUserDialogs(&dialogs);
    SettingsFiles files;
    files.userSettingsFile = dir.file("sets.txt");
    files.userSettingsLocation = SettingsLocation::AsGiven;
    files.configFile = dir.file("config.txt");
    files.configLocation = SettingsLocation::AsGiven;
    {
      MainWindow window(dialogs, files);
      installDialogWindows(window);
      window.show();

      QAction* tiles = actionWithKeys(window, QKeySequence(Qt::CTRL | Qt::Key_T));
      QVERIFY(tiles != nullptr && tiles->isVisible());
      bool opened = false;
      QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TileImagesWindow*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        opened = true;
        dialog->reject();
      });
      tiles->trigger();
      QVERIFY(opened);

      QAction* options = actionWithKeys(window, QKeySequence(Qt::CTRL | Qt::Key_M));
      QVERIFY(options != nullptr && options->isVisible());
      QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<MoreOptionsDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        QComboBox* format = dialog->choiceBox(MoreOptionsChoice::FileFormat);
        const int index = format->findText(QStringLiteral("Portable Pixel Format (.PPM)"));
        format->setCurrentIndex(index);
        emit format->activated(index);
        dialog->accept();
      });
      options->trigger();
      QCOMPARE(window.settings().fileFormat.value, kFormatPpm);

      QAction* preview = actionWithKeys(window, QKeySequence(Qt::CTRL | Qt::Key_I));
      QVERIFY(preview != nullptr);
      preview->trigger();
      auto* previewWindow = window.findChild<ImagePreviewWindow*>();
      QVERIFY(previewWindow != nullptr && previewWindow->isVisible());
      QVERIFY(previewWindow->image().isNull());  // no main image yet
    }
    setUserDialogs(nullptr);
  }
};

TG_WINDOW_TEST_MAIN(DialogWindowsTest)
#include "dialog_windows_test.moc"
