// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt UserDialogs: message boxes as asked, calls from other threads answered on the window
// thread (also while the window thread waits for the caller), remembered dialog folders.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "config/user_values.h"
#include "ui/qt_user_dialogs.h"
#include "window_test_support.h"

using namespace tg;

class UserDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void filterConversion_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("qt");
    QTest::newRow("images") << "Image (*.jpg)(*.png)|*.jpg;*.jpeg;*.jpe;*.png||"
                            << "Image (*.jpg)(*.png) (*.jpg *.jpeg *.jpe *.png)";
    QTest::newRow("two pairs") << "List (*.tg4)|*.tg4|All|*.*||"
                               << "List (*.tg4) (*.tg4);;All (*.*)";
    QTest::newRow("empty") << ""
                           << "";
  }
  void filterConversion() {
    QFETCH(QString, program);
    QFETCH(QString, qt);
    QCOMPARE(qtFileFilter(program.toStdString()), qt);
  }

  // A real box: the question icon, the preselected No, and the button the user pressed.
  void messageBoxShowsButtonsIconAndDefault() {
    QtUserDialogs dialogs;
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      seen = true;
      QCOMPARE(box->icon(), QMessageBox::Question);
      QCOMPARE(box->windowTitle(), QStringLiteral("Tesselograph"));
      QCOMPARE(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::No));
      box->button(QMessageBox::Yes)->click();
    });
    QCOMPARE(dialogs.message("Stop?", Buttons::YesNo, Icon::Default, Answer::No), Answer::Yes);
    QVERIFY(seen);
  }

  void workerMessageIsAnsweredOnTheWindowThread() {
    QtUserDialogs dialogs;
    QThread* shownOn = nullptr;
    dialogs.setMessagePresenter([&](const std::string& text, Buttons, Icon, Answer) {
      shownOn = QThread::currentThread();
      return text == "continue?" ? Answer::Yes : Answer::No;
    });
    std::atomic<Answer> answer{Answer::None};
    std::thread worker(
        [&] { answer = dialogs.message("continue?", Buttons::YesNo, Icon::Default, Answer::No); });
    QTRY_VERIFY(answer.load() != Answer::None);
    worker.join();
    QCOMPARE(answer.load(), Answer::Yes);
    QCOMPARE(shownOn, QThread::currentThread());
  }

  // The window thread waits for the job thread to end while the job asks a question: the wait
  // answers it, then the job ends.
  void questionWhileTheWindowWaitsForTheJob() {
    QtUserDialogs dialogs;
    int shown = 0;
    dialogs.setMessagePresenter([&](const std::string&, Buttons, Icon, Answer) {
      ++shown;
      return Answer::Ok;
    });
    std::atomic<bool> ended{false};
    std::thread job([&] {
      for (int i = 0; i < 3; ++i)
        (void)dialogs.message("file error", Buttons::Ok, Icon::Error, Answer::None);
      ended = true;
    });
    dialogs.serveUntil([&] { return ended.load(); });
    job.join();
    QCOMPARE(shown, 3);
  }

  // Once the dialogs are going away, a waiting caller gets its default answer instead of hanging.
  void callerGetsTheDefaultWhenTheDialogsClose() {
    auto dialogs = std::make_unique<QtUserDialogs>();
    std::atomic<Answer> answer{Answer::None};
    std::thread worker(
        [&] { answer = dialogs->message("question", Buttons::YesNo, Icon::Default, Answer::No); });
    // The request is queued but the event loop never runs before the object goes.
    QThread::msleep(50);
    dialogs.reset();
    worker.join();
    QCOMPARE(answer.load(), Answer::No);
  }

  void dialogsRememberTheirFolders() {
    QtUserDialogs dialogs;
    (void)setUserValue("FileDialog.ImageList.Path", "");
    (void)setUserValue("FolderDialog.SavePath.Path", "");
    QStringList startFolders;
    dialogs.setFilePresenter([&](const FileDialogCall& call) -> std::vector<std::string> {
      startFolders << call.startFolder;
      if (call.kind == FileDialogCall::Kind::OpenFolder) return {"/data/out"};
      return {"/photos/2024/a.jpg", "/photos/2024/b.jpg"};
    });
    OpenFileRequest request{"ImageList", "Image|*.jpg||", "Pick", {}, "jpg", "/start"};
    QCOMPARE(dialogs.openFiles(request).size(), std::size_t{2});
    QCOMPARE(userValue("FileDialog.ImageList.Path", ""), std::string("/photos/2024"));
    QCOMPARE(dialogs.openFile(request).value(), std::string("/photos/2024/a.jpg"));
    QCOMPARE(dialogs.openFolder("SavePath", "Where?").value(), std::string("/data/out"));
    QCOMPARE(userValue("FolderDialog.SavePath.Path", ""), std::string("/data/out"));
    QCOMPARE(startFolders, QStringList({"/start", "/photos/2024", ""}));

    dialogs.setFilePresenter([](const FileDialogCall&) { return std::vector<std::string>{}; });
    QVERIFY(!dialogs.openFile(request).has_value());
    QCOMPARE(userValue("FileDialog.ImageList.Path", ""), std::string("/photos/2024"));
  }
};

TG_WINDOW_TEST_MAIN(UserDialogsTest)
#include "user_dialogs_test.moc"
