// SPDX-License-Identifier: GPL-3.0-or-later
// The video extraction's parameters dialog over synthetic frames (refusals with their messages,
// the border detection, the values handed back), and an extraction of clips made with ffmpeg,
// started from the Tile Images window, watched by its timer, and stopped half-way.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foto.h"
#include "platform/scripted_dialogs.h"
#include "platform/wine.h"
#include "support/scratch_dir.h"
#include "tiles/tile_images_model.h"
#include "ui/tile_images_window.h"
#include "ui/video_extract_dialog.h"
#include "video/avi_extract.h"
#include "video/clip_maker.h"
#include "window_test_support.h"

using namespace tg;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kFrames = 20;

// A 64 × 48 frame, black but for a grey block at columns 8..55, rows 6..41.
std::unique_ptr<Foto> letterboxed() {
  auto frame = std::make_unique<Foto>();
  if (!frame->create(64, 48)) return nullptr;
  for (std::uint32_t y = 0; y < 48; ++y) {
    for (std::uint32_t x = 0; x < 64; ++x) {
      const bool inside = x >= 8 && x <= 55 && y >= 6 && y <= 41;
      frame->row(y)[x] = inside ? makePixel(120, 120, 120, 0) : makePixel(0, 0, 0, 0);
    }
  }
  return frame;
}

/// Runs `act` on the parameters dialog once it is shown modally (the window's command blocks in
/// it meanwhile).
void whenDialogOpens(std::function<void(VideoExtractDialog&)> act, int tries = 1000) {
  QTimer::singleShot(10, [act = std::move(act), tries] {
    auto* dialog = qobject_cast<VideoExtractDialog*>(QApplication::activeModalWidget());
    if (dialog != nullptr) {
      act(*dialog);
    } else if (tries > 0) {
      whenDialogOpens(act, tries - 1);
    }
  });
}

std::size_t filesIn(const fs::path& folder) {
  std::size_t count = 0;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) count += entry.is_regular_file();
  return count;
}

}  // namespace

class VideoExtractDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dialogs = std::make_unique<ScopedScriptedDialogs>();
    m_parameters = CDialogGetAviParam{};
    m_parameters.prepare(64, 48, kFrames);
    m_read.clear();
  }
  void cleanup() { m_dialogs.reset(); }

  // Extract refuses values the extraction cannot use, tells why, and keeps the dialog open with
  // the parameters untouched.
  void extractRefusesBadValues_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("quality above 100") << "quality"
                                       << "101"
                                       << "The JPEG quality must lie between 1 and 100.";
    QTest::newRow("quality 0") << "quality"
                               << "0"
                               << "The JPEG quality must lie between 1 and 100.";
    QTest::newRow("prefix too long") << "prefix" << QString(101, QLatin1Char('x'))
                                     << "The file prefix may hold at most 100 characters.";
    QTest::newRow("prefix with a separator")
        << "prefix"
        << "../FR"
        << "The file prefix must not contain the character '/'.";
    QTest::newRow("rectangle too wide")
        << "left"
        << "10"
        << "The value Left+Width (10+64 pixels) must not exceed the Video Width of 64 pixels";
    QTest::newRow("no height")
        << "height"
        << "0"
        << "The value Top+Height (0+0 pixels) must not exceed the Video Height of 48 pixels";
  }
  void extractRefusesBadValues() {
    QFETCH(QString, box);
    QFETCH(QString, value);
    QFETCH(QString, message);
    VideoExtractDialog dialog(m_parameters, video());
    dialog.show();
    dialog.box(box.toLatin1().constData())->setText(value);
    dialog.button("extract")->click();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE((*m_dialogs)->texts(), std::vector<std::string>{message.toStdString()});
    QCOMPARE(m_parameters.filePrefix, std::string("FR"));
    QCOMPARE(m_parameters.left, 0u);
  }

  // The preview shows the sample frame with the rectangle; Auto finds the picture inside the
  // black borders; the frame buttons check the range; Extract hands every value back.
  void autoRectangleAndValuesHandedBack() {
    VideoExtractDialog dialog(m_parameters, video());
    QVERIFY(!dialog.button("showAdvanced")->isVisible());
    QCOMPARE(m_read, std::vector<std::uint32_t>{0});
    QVERIFY(!dialog.previewImage().isNull());

    dialog.button("auto")->click();
    QCOMPARE(dialog.box("left")->text(), QStringLiteral("8"));
    QCOMPARE(dialog.box("top")->text(), QStringLiteral("6"));
    QCOMPARE(dialog.box("width")->text(), QStringLiteral("48"));
    QCOMPARE(dialog.box("height")->text(), QStringLiteral("36"));
    const QImage& preview = dialog.previewImage();
    const QRgb white = qRgb(255, 255, 255);
    QCOMPARE(preview.pixelColor(8 * preview.width() / 64, 6 * preview.height() / 48).rgb(), white);
    QVERIFY(preview.pixelColor(preview.width() / 2, preview.height() / 2).rgb() != white);

    dialog.box("first")->setText(QStringLiteral("12"));
    dialog.box("last")->setText(QStringLiteral("5"));
    dialog.button("randomFrame")->click();
    QCOMPARE((*m_dialogs)->texts(),
             std::vector<std::string>{"The First/Last Frame values must be between 0 and 20"});
    dialog.box("first")->setText(QStringLiteral("2"));
    dialog.box("last")->setText(QStringLiteral("9"));
    dialog.button("lastFrame")->click();
    QCOMPARE(m_read.back(), 8u);

    dialog.box("count")->setText(QStringLiteral("3"));
    dialog.box("quality")->setText(QStringLiteral("75"));
    dialog.box("prefix")->setText(QStringLiteral("clip"));
    dialog.checkBox("jpeg")->setChecked(false);
    dialog.checkBox("bmp")->setChecked(true);
    dialog.checkBox("clips")->setChecked(true);
    dialog.button("extract")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE((*m_dialogs)->texts().size(), std::size_t{1});
    const CDialogGetAviParam& p = m_parameters;
    QCOMPARE(std::vector<std::uint32_t>(
                 {p.left, p.top, p.width, p.height, p.firstFrame, p.lastFrame, p.sampleFrame}),
             std::vector<std::uint32_t>({8, 6, 48, 36, 2, 9, 8}));
    QCOMPARE(std::vector<int>({p.imageCount, p.jpegQuality, p.saveJpeg, p.saveBmp, p.extractClips}),
             std::vector<int>({3, 75, 0, 1, 1}));
    QCOMPARE(p.filePrefix, std::string("clip"));
  }

  // The window's command: refused without video; the notice and the video dialog, the parameters,
  // the run on the extraction's pool watched by the window's timer, the folders offered to the
  // list; then a long run stopped half-way, which offers nothing. A running job disables the
  // command.
  void extractionRunsFromTheWindowAndStops() {
    if (!test::haveFfmpegTools()) QSKIP("the ffmpeg tool is not installed");
    test::ScratchDir dir;
    const std::string holiday = dir.file("holiday.avi");
    QVERIFY(test::makeClip(holiday, 64, 48, 30, "25", {"-c:v", "mjpeg", "-q:v", "3"}));
    TileImagesModel model;
    TileImagesWindow window(model);
    window.show();
    {
      ScopedUnderWine wine(true);
      window.button("extractVideo")->click();
      QCOMPARE((*m_dialogs)->texts(),
               std::vector<std::string>{"Video is not supported on Mac OS X or Linux"});
      QVERIFY((*m_dialogs)->fileRequests().empty());
      (*m_dialogs)->clear();
    }

    (*m_dialogs)->chooseNext(holiday);
    bool advancedOffered = false;
    whenDialogOpens([&advancedOffered](VideoExtractDialog& dialog) {
      advancedOffered = !dialog.button("showAdvanced")->isHidden();
      dialog.box("count")->setText(QStringLiteral("10"));
      dialog.button("extract")->click();
    });
    window.button("extractVideo")->click();
    QVERIFY(advancedOffered);
    QCOMPARE((*m_dialogs)->texts(), std::vector<std::string>{videoFileNotice()});
    QCOMPARE((*m_dialogs)->fileRequests().at(0).filter, videoFileFilter());
    (*m_dialogs)->answerNext(Answer::Yes);  // add the new folder to the list
    QTRY_VERIFY_WITH_TIMEOUT(!window.extractionTimerActive(), 60000);
    const fs::path images = dir.path() / "holiday_FRAMES1 Image";
    QCOMPARE(filesIn(images), std::size_t{10});
    QVERIFY(fs::exists(images / "FR000001.jpg"));
    QCOMPARE((*m_dialogs)->texts().size(), std::size_t{2});
    QVERIFY(model.list().includeList.count(images.string() + "/") == 1);
    QVERIFY(model.list().videoList.empty());

    const std::string film = dir.file("film.avi");
    QVERIFY(test::makeClip(film, 96, 64, 4000, "25", {"-c:v", "mjpeg", "-q:v", "5"}));
    // The status line is copied on every tick: frequent ticks see the run at work.
    window.setExtractionTimerInterval(20);
    (*m_dialogs)->clear();
    (*m_dialogs)->chooseNext(film);
    whenDialogOpens([](VideoExtractDialog& dialog) {
      dialog.checkBox("jpeg")->setChecked(false);
      dialog.checkBox("clips")->setChecked(true);
      dialog.button("extract")->click();
    });
    window.button("extractVideo")->click();
    QVERIFY(window.extractionTimerActive());
    QTRY_VERIFY(window.statusLabel()->text().startsWith(QStringLiteral("Analyze Frame#")));
    QVERIFY(window.progressBar()->value() > 0);
    QVERIFY(window.button("stop")->isEnabled());
    window.button("stop")->click();
    QVERIFY(!window.extraction().isRunning());
    QVERIFY(window.extraction().wasStopped());
    QVERIFY(!window.extractionTimerActive());
    QVERIFY(!window.button("stop")->isEnabled());
    QCOMPARE(window.statusLabel()->text(), QStringLiteral("Ready"));
    QCOMPARE((*m_dialogs)->texts(), std::vector<std::string>{videoFileNotice()});
    QVERIFY(model.list().videoList.empty());

    window.setJobRunning(true);
    QVERIFY(!window.button("extractVideo")->isEnabled());
  }

 private:
  VideoExtractDialog::Video video() {
    VideoExtractDialog::Video facts;
    facts.width = 64;
    facts.height = 48;
    facts.frameCount = kFrames;
    facts.readFrame = [this](std::uint32_t frame) {
      m_read.push_back(frame);
      return letterboxed();
    };
    return facts;
  }

  std::unique_ptr<ScopedScriptedDialogs> m_dialogs;
  CDialogGetAviParam m_parameters;
  std::vector<std::uint32_t> m_read;
};

TG_WINDOW_TEST_MAIN(VideoExtractDialogTest)
#include "video_extract_dialog_test.moc"
