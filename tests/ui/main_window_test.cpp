// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven through its widgets: typed values, the variant boxes, the refresh with
// and without tiles, the settings list and "(Auto Save)" across a restart, Close while a job
// runs, and one whole mosaic from a dropped main image to a file libjpeg reads.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "output/jpeg_writer.h"
#include "support/scratch_dir.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"
#include "ui/main_window.h"
#include "ui/qt_user_dialogs.h"
#include "window_test_support.h"

using namespace tg;

namespace {

/// A JPEG of one colour (red in the low byte) with a faint gradient.
bool writePhoto(const std::string& path, std::uint32_t width, std::uint32_t height,
                std::uint32_t rgb) {
  Foto image;
  if (!image.create(width, height)) return false;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) image.row(y)[x] = rgb + ((x + y) % 16) * 0x010101;
  }
  return writeJpegImage(path, image, 90, 0);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::ScratchDir> m_dir;
  std::unique_ptr<QtUserDialogs> m_dialogs;
  std::map<std::string, Answer> m_replies;  // by message text; others take the default
  std::vector<std::string> m_messages;

  SettingsFiles files() const {
    SettingsFiles f;
    f.userSettingsFile = m_dir->file("settings.txt");
    f.userSettingsLocation = SettingsLocation::AsGiven;
    return f;
  }

  std::unique_ptr<MainWindow> openWindow() {
    auto window = std::make_unique<MainWindow>(*m_dialogs, files());
    window->show();
    return window;
  }

  /// Types `text` into a drop-down and leaves it, as a person would.
  static void type(MainWindow& window, ParameterControl control, const QString& text) {
    QComboBox* box = window.parameterControl(control);
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), text);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
  }

  /// Fills the window's Tile Images List with 24 analysed photographs of two colours.
  void makeTileList(TileImagesList& list) {
    std::filesystem::create_directories(m_dir->path() / "tiles");
    for (std::uint32_t i = 0; i < 12; ++i) {
      QVERIFY(
          writePhoto(m_dir->file("tiles/r" + std::to_string(i) + ".jpg"), 64, 48, 0x2020C0 + i));
      QVERIFY(
          writePhoto(m_dir->file("tiles/b" + std::to_string(i) + ".jpg"), 64, 48, 0xC02020 + i));
    }
    addFolder(list, m_dir->file("tiles") + "/", kIncludeList);
    buildTileCollection(list);
    prepareAnalysis(list);
    while (runAnalysisSlice(list)) {
    }
    QCOMPARE(list.tiles.size(), std::size_t{24});
  }

  std::string mainImage() {
    const std::string path = m_dir->file("main.jpg");
    if (!std::filesystem::exists(path)) (void)writePhoto(path, 240, 180, 0x2080C0);
    return path;
  }

  static void drop(MainWindow& window, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
  }

 private slots:
  void init() {
    m_dir = std::make_unique<test::ScratchDir>();
    m_dialogs = std::make_unique<QtUserDialogs>();
    m_replies.clear();
    m_messages.clear();
    m_dialogs->setMessagePresenter(
        [this](const std::string& text, Buttons buttons, Icon, Answer deflt) {
          m_messages.push_back(text);
          if (const auto reply = m_replies.find(text); reply != m_replies.end())
            return reply->second;
          return deflt == Answer::None ? firstButton(buttons) : deflt;
        });
    setUserDialogs(m_dialogs.get());
  }
  void cleanup() {
    setUserDialogs(nullptr);
    m_dialogs.reset();
    m_dir.reset();
  }

  void typedValuesAndVariantBoxes() {
    auto window = openWindow();
    makeTileList(window->tileImages().list());
    drop(*window, {mainImage()});
    QCOMPARE(window->statusLine()->text(), QStringLiteral("All Parameters are correct :-)"));

    type(*window, ParameterControl::TileDuplication, QStringLiteral("often"));
    QVERIFY(
        window->parameterControl(ParameterControl::TileDuplication)->property("invalid").toBool());
    QCOMPARE(window->statusLine()->text(), QStringLiteral("Please specify all the parameters"));
    QVERIFY(!window->createAction()->isEnabled());

    type(*window, ParameterControl::TileDuplication, QStringLiteral("7"));
    QComboBox* duplication = window->parameterControl(ParameterControl::TileDuplication);
    QVERIFY(!duplication->property("invalid").toBool());
    QCOMPARE(duplication->itemText(duplication->count() - 1), QStringLiteral("7"));
    QCOMPARE(duplication->currentIndex(), duplication->count() - 1);
    QCOMPARE(window->settings().tileDuplication.value, 7L);
    QVERIFY(window->createAction()->isEnabled());

    for (std::size_t i = 0; i < 5; ++i) {
      if (window->variantBox(i)->isChecked()) window->variantBox(i)->click();
    }
    QCOMPARE(window->settings().tileVariants.value, 0u);
    QCOMPARE(window->statusLine()->text(), QStringLiteral("Please specify all the parameters"));
    window->variantBox(4)->click();
    QCOMPARE(window->settings().tileVariants.value, 96u);
    QVERIFY(window->createAction()->isEnabled());
  }

  void refreshWithoutTilesAsksForThem() {
    auto window = openWindow();
    drop(*window, {m_dir->file("tiles"), m_dir->file("missing.jpg"), mainImage()});
    QCOMPARE(window->mainImageList()->count(), 1);
    QCOMPARE(
        window->statusLine()->text(),
        QStringLiteral("Please select the Images to use as Tiles using Button #2 (pictures Icon)"));
    QCOMPARE(window->statusLine()->palette().color(QPalette::WindowText), QColor(190, 0, 0));
    QVERIFY(!window->createAction()->isEnabled());
    QVERIFY(window->tileText()->text().contains(QStringLiteral("0 Landscape images")));
    QVERIFY(window->removeAction()->isEnabled());
    QVERIFY(!window->removeAllAction()->isEnabled());
  }

  // A typed tile size survives a restart through "(Auto Save)"; choosing Default Settings from
  // the list puts the defaults back into the controls.
  void autoSaveIsRestoredAfterARestart() {
    {
      auto window = openWindow();
      QCOMPARE(window->settingsList()->currentText(), QStringLiteral("(Default Settings)"));
      type(*window, ParameterControl::TileSize, QStringLiteral("33 tiles x row"));
      QCOMPARE(window->settings().tileSize.value.value, 33.0);
    }
    auto window = openWindow();
    QCOMPARE(window->settingsList()->currentText(), QStringLiteral("(Auto Save)"));
    QCOMPARE(window->parameterControl(ParameterControl::TileSize)->currentText(),
             QStringLiteral("33 tiles x row"));
    const int defaults = window->settingsList()->findText(QStringLiteral("(Default Settings)"));
    QVERIFY(defaults >= 0);
    window->chooseSettingsSet(defaults);
    QVERIFY(window->parameterControl(ParameterControl::TileSize)->currentText() !=
            QStringLiteral("33 tiles x row"));
    QCOMPARE(window->settingsList()->currentIndex(), defaults);
  }

  // The whole way: a list made here, a dropped main image, Create Mosaic, progress in the status
  // line, completion, a mosaic libjpeg reads; then Close while a second job runs keeps the
  // window until that job has stopped.
  void mosaicFromDropToFileThenCloseWhileRunning() {
    auto window = openWindow();
    makeTileList(window->tileImages().list());
    drop(*window, {mainImage()});
    type(*window, ParameterControl::MosaicSize, QStringLiteral("1600 x 1200 pixels"));
    type(*window, ParameterControl::TileSize, QStringLiteral("40 tiles x row"));
    QCOMPARE(window->statusLine()->text(), QStringLiteral("All Parameters are correct :-)"));

    std::set<QString> seen;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
      if (window->jobRunning()) seen.insert(window->statusLine()->text());
    });
    watch.start(20);
    window->createAction()->trigger();
    QVERIFY(window->jobRunning());
    QVERIFY(!window->parameterControl(ParameterControl::TileSize)->isEnabled());
    QVERIFY(!window->settingsList()->isEnabled());
    QVERIFY(!window->removeAction()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!window->jobRunning(), 120000);
    QTRY_VERIFY(window->parameterControl(ParameterControl::TileSize)->isEnabled());
    watch.stop();
    const bool progressShown = std::any_of(seen.begin(), seen.end(), [](const QString& text) {
      return text.contains(QLatin1Char('%'));
    });
    QVERIFY(progressShown);
    QTRY_VERIFY(std::find(m_messages.begin(), m_messages.end(),
                          "Mosaic completed! Do you want to open the destination folder?") !=
                m_messages.end());
    const auto record = window->job().outputRecord(mainImage());
    QVERIFY(record.has_value() && record->saved);
    Foto mosaic;
    QVERIFY(loadImageFile(mosaic, record->base + ".jpg", 0, 0, false));
    QCOMPARE(mosaic.width, 1600u);
    QVERIFY(window->outputLink()->property("saved").toBool());
    // The job's own last words stay in the status line.
    QVERIFY(window->statusLine()->text() != QStringLiteral("All Parameters are correct :-)"));

    // Close while the next job runs: the user agrees to stop; the window stays until it has.
    m_replies["There is a Mosaic process running. Do you want to stop it?"] = Answer::Yes;
    window->createAction()->trigger();
    QVERIFY(window->jobRunning());
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QCOMPARE(m_messages.back(),
             std::string("There is a Mosaic process running. Do you want to stop it?"));
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 60000);
    QVERIFY(!window->jobRunning());
    window.reset();
    // The settings of the window were kept for the next start.
    SettingsStore store;
    store.open(m_dir->file("settings.txt"), SettingsLocation::AsGiven);
    QVERIFY(store.load());
    QVERIFY(store.hasSection("(Auto Save)"));
  }
};

TG_WINDOW_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
