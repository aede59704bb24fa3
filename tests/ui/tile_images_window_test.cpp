// SPDX-License-Identifier: GPL-3.0-or-later
// The Tile Images window on the real model: an analysis on the window timer that is stopped
// half-way and resumed, the black-and-white switch both ways, the questions on leaving, the
// folder views, several images added at once and a running job that locks the list.
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "tiles/tile_images_model.h"
#include "ui/qt_user_dialogs.h"
#include "ui/tile_images_window.h"
#include "window_test_support.h"

using namespace tg;

namespace {

/// Writes `count` small JPEG photographs of different colours into `folder`.
void writePhotos(const std::string& folder, int count) {
  std::filesystem::create_directories(folder);
  for (int i = 0; i < count; ++i) {
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((i * 37) % 360, 200, 100 + (i * 13) % 150));
    QVERIFY(
        image.save(QString::fromStdString(folder + "photo" + std::to_string(i) + ".jpg"), "JPG"));
  }
}

QStringList listLines(const QListWidget* list) {
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

}  // namespace

class TileImagesWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<test::ScratchDir>();
    m_photos = m_dir->path().string() + "/photos/";
    m_dialogs = std::make_unique<ScopedScriptedDialogs>();
    m_model = std::make_unique<TileImagesModel>();
    m_model->setWorkerThreads(2, 0);
  }
  void cleanup() {
    m_model.reset();
    m_dialogs.reset();
    m_dir.reset();
  }

  // One tile per 100 ms tick, so the test can stop half-way; Save List resumes where the
  // analysis stopped and does not decode the analysed photographs again.
  void analysisStoppedHalfWayAndResumed() {
    writePhotos(m_photos, 24);
    m_model->setSliceMilliseconds(0);
    TileImagesWindow window(*m_model);
    window.show();
    QVERIFY(m_model->addFolderPath(TileListView::Include, m_photos));
    window.button("saveListAs")->click();
    QVERIFY(window.analysisTimerActive());
    QVERIFY(window.button("stop")->isEnabled());
    QTRY_VERIFY(m_model->list().analysedCount >= 3);
    QVERIFY(window.statusLabel()->text().startsWith(QStringLiteral("Tile# ")));
    QVERIFY(window.progressBar()->value() > 0);

    window.button("stop")->click();
    const std::size_t analysed = m_model->list().analysedCount;
    QVERIFY(analysed < 24);
    QVERIFY(!window.analysisTimerActive());
    QVERIFY(!window.button("stop")->isEnabled());
    QVERIFY(m_model->analysisOutstanding());
    QCOMPARE(window.progressBar()->value(), 0);

    const std::string listPath = m_dir->file("photos.tg4");
    (*m_dialogs)->chooseNext(listPath);
    m_model->setSliceMilliseconds(400);
    window.button("saveList")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.analysisTimerActive(), 60000);
    QVERIFY(m_model->lastSaveSucceeded());
    QCOMPARE(m_model->list().filePath, listPath);
    QCOMPARE(m_model->list().tiles.size(), std::size_t{24});
    QVERIFY(m_model->analyser().decodedCount() <= 24 - analysed);
    QCOMPARE((*m_dialogs)->texts(),
             (std::vector<std::string>{"You are ready to create a mosaic using this List of 24 "
                                       "images/videos. You can go back to the Main Window"}));
    QCOMPARE(window.statusLabel()->text(), QStringLiteral("24 Landscape images."));
    QVERIFY(!window.button("errorReport")->isEnabled());
  }

  // Colour to black and white converts the signatures; back to colour clears the tiles. No
  // leaves the box as it was.
  void blackAndWhiteSwitchedBothWays() {
    writePhotos(m_photos, 3);
    TileImagesWindow window(*m_model);
    saveList(window, "bw.tg4");
    QCheckBox* box = window.blackAndWhiteBox();

    (*m_dialogs)->answerNext(Answer::No);
    box->click();
    QVERIFY(!box->isChecked());
    QVERIFY(!m_model->list().blackAndWhite);

    (*m_dialogs)->answerNext(Answer::Yes);
    box->click();
    QVERIFY(box->isChecked());
    QVERIFY(m_model->list().blackAndWhite);
    QCOMPARE(m_model->list().tiles.size(), std::size_t{3});

    (*m_dialogs)->answerNext(Answer::Yes);
    box->click();
    QVERIFY(!box->isChecked());
    QVERIFY(m_model->list().tiles.empty());
    QVERIFY(m_model->analysisOutstanding());
    QCOMPARE((*m_dialogs)->texts().back(),
             std::string("Are you sure you want to use the Color process to compare Images? Note "
                         "that you must Analyze the images again."));
  }

  // Leaving with unsaved work asks; No keeps the window open and the list as it was.
  void closingAsksBeforeWorkIsLost() {
    TileImagesWindow window(*m_model);
    window.show();
    window.button("saveList")->click();  // nothing to analyse yet
    QVERIFY(!window.analysisTimerActive());
    QCOMPARE((*m_dialogs)->texts(),
             std::vector<std::string>{"Please Add First a Folder to the Include/Video Folder List "
                                      "using Add Folder button!"});
    (*m_dialogs)->clear();
    (*m_dialogs)->chooseNext(m_photos);
    window.button("addFolder")->click();
    m_model->list().modified = true;

    (*m_dialogs)->answerNext(Answer::No);
    window.reject();
    QVERIFY(window.isVisible());
    QCOMPARE(listLines(window.entryList()), QStringList{QString::fromStdString(m_photos)});

    (*m_dialogs)->answerNext(Answer::Yes);
    window.reject();
    QVERIFY(!window.isVisible());
    QCOMPARE(
        (*m_dialogs)->texts().front(),
        std::string("You did not saved the Images List. Are you sure to continue without saving?"));
  }

  // The views show their own lists; removing in All Images excludes a tile found in no list.
  void viewsAndRemoveSelected() {
    writePhotos(m_photos, 2);
    TileImagesWindow window(*m_model);
    saveList(window, "views.tg4");
    window.viewChoice()->setCurrentIndex(static_cast<int>(TileListView::AllImages));
    QCOMPARE(window.entryList()->count(), 2);
    QVERIFY(!window.button("removeSelected")->isEnabled());
    window.entryList()->item(0)->setSelected(true);
    QVERIFY(window.button("removeSelected")->isEnabled());
    const QString removed = window.entryList()->item(0)->text();
    window.button("removeSelected")->click();
    QCOMPARE(m_model->list().excludeList.count(removed.toStdString()), std::size_t{1});
    QCOMPARE((*m_dialogs)->texts().back(),
             std::string("Please save the List to update the shown Images"));

    window.viewChoice()->setCurrentIndex(static_cast<int>(TileListView::Exclude));
    QCOMPARE(listLines(window.entryList()), QStringList{removed});
    window.viewChoice()->setCurrentIndex(static_cast<int>(TileListView::Include));
    QCOMPARE(listLines(window.entryList()), QStringList{QString::fromStdString(m_photos)});
  }

  // With the window's own dialogs Add Image takes several files at once; a running job leaves
  // every command that changes the list unavailable.
  void severalImagesAndJobRunning() {
    QtUserDialogs dialogs;
    dialogs.setFilePresenter([](const FileDialogCall& call) {
      return call.kind == FileDialogCall::Kind::OpenFiles
                 ? std::vector<std::string>{"/pictures/a.jpg", "/pictures/b.png"}
                 : std::vector<std::string>{};
    });
    setUserDialogs(&dialogs);
    TileImagesWindow window(*m_model);
    window.viewChoice()->setCurrentIndex(static_cast<int>(TileListView::Required));
    window.button("addImage")->click();
    setUserDialogs(&**m_dialogs);
    QCOMPARE(listLines(window.entryList()),
             (QStringList{QStringLiteral("/pictures/a.jpg"), QStringLiteral("/pictures/b.png")}));

    window.setJobRunning(true);
    for (const char* name : {"newList", "openList", "saveList", "saveListAs", "addFolder",
                             "addImage", "removeSelected"}) {
      QVERIFY2(!window.button(name)->isEnabled(), name);
    }
    QVERIFY(!window.blackAndWhiteBox()->isEnabled());
    window.setJobRunning(false);
    QVERIFY(window.button("saveList")->isEnabled());
  }

  // A photograph that cannot be read is reported, and its report can be opened afterwards.
  void unusableImagesAreReported() {
    writePhotos(m_photos, 2);
    test::writeFile(m_photos + "broken.jpg", "not a picture");
    TileImagesWindow window(*m_model);
    saveList(window, "errors.tg4");
    QVERIFY((*m_dialogs)->texts().back().find("Unable to load and use 1 Images.") !=
            std::string::npos);
    QVERIFY(window.button("errorReport")->isEnabled());
  }

 private:
  void saveList(TileImagesWindow& window, const std::string& name) {
    if (m_model->list().includeList.empty()) {
      QVERIFY(m_model->addFolderPath(TileListView::Include, m_photos));
    }
    (*m_dialogs)->chooseNext(m_dir->file(name));
    window.button("saveListAs")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.analysisTimerActive(), 60000);
    QVERIFY(m_model->lastSaveSucceeded());
  }

  std::unique_ptr<test::ScratchDir> m_dir;
  std::string m_photos;
  std::unique_ptr<ScopedScriptedDialogs> m_dialogs;
  std::unique_ptr<TileImagesModel> m_model;
};

TG_WINDOW_TEST_MAIN(TileImagesWindowTest)
#include "tile_images_window_test.moc"
