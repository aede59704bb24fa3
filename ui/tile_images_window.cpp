// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tile_images_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/catalogue.h"
#include "platform/shell.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_images_model.h"
#include "ui/advanced_settings_dialog.h"
#include "ui/qt_user_dialogs.h"
#include "ui/ui_text.h"
#include "ui/video_extract_dialog.h"
#include "video/avi_extract.h"

namespace tg {
namespace {

constexpr int kTimerMilliseconds = 100;
constexpr int kExtractionTimerMilliseconds = 500;
constexpr int kProgressRange = 10000;

QPushButton* makeButton(QWidget* parent, const QString& text, const char* name,
                        const QString& tip) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setToolTip(tip);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TileImagesWindow::TileImagesWindow(TileImagesModel& model, QWidget* parent)
    : QDialog(parent), m_model(model), m_extraction(std::make_unique<AviExtract>()) {
  setObjectName(QStringLiteral("tileImagesWindow"));
  setWindowTitle(applicationTitle() + QStringLiteral(" - ") + qtr("Tile Images"));

  // The list file.
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(
      makeButton(this, qtr("New List"), "newList", qtr("Start a new, empty Tile Images List.")));
  fileRow->addWidget(
      makeButton(this, qtr("Open List..."), "openList", qtr("Open a saved Tile Images List.")));
  fileRow->addWidget(makeButton(this, qtr("Save List"), "saveList",
                                qtr("Analyze the folders and save the Tile Images List.")));
  fileRow->addWidget(makeButton(this, qtr("Save List As..."), "saveListAs",
                                qtr("Analyze the folders and save the List under a new name.")));
  fileRow->addStretch();
  m_listFile = new QLabel(this);
  m_listFile->setTextInteractionFlags(Qt::TextSelectableByMouse);

  // The folder lists.
  m_view = new QComboBox(this);
  m_view->setObjectName(QStringLiteral("view"));
  for (const char* label : {N_("Include Folders and Images"), N_("Exclude Folders and Images"),
                            N_("Required Images"), N_("Video Folders"), N_("All Images")}) {
    m_view->addItem(qtr(label));
  }
  m_view->setToolTip(qtr("The folder list shown. All Images shows every tile of the List."));
  m_entries = new QListWidget(this);
  m_entries->setObjectName(QStringLiteral("entries"));
  m_entries->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_entries->setMinimumSize(560, 240);

  auto* editColumn = new QVBoxLayout;
  editColumn->addWidget(makeButton(this, qtr("Add Folder..."), "addFolder",
                                   qtr("Add a folder to the folder list shown.")));
  editColumn->addWidget(
      makeButton(this, qtr("Add Image..."), "addImage",
                 qtr("Add one or more JPG/PNG images to the folder list shown.")));
  editColumn->addWidget(makeButton(this, qtr("Remove Selected"), "removeSelected",
                                   qtr("Remove the selected lines from the folder list shown.")));
  editColumn->addWidget(makeButton(this, qtr("Extract Video Tiles..."), "extractVideo",
                                   qtr("Cut a video into still images and short video clips "
                                       "for use as tiles.")));
  editColumn->addSpacing(12);
  // "&" would mark a keyboard mnemonic in a button text: doubled, it shows as itself.
  m_blackAndWhite =
      new QCheckBox(qtr("Black & White").replace(QLatin1Char('&'), QStringLiteral("&&")), this);
  m_blackAndWhite->setObjectName(QStringLiteral("blackAndWhite"));
  m_blackAndWhite->setToolTip(qtr("Compare the Images in Black & White instead of Color."));
  editColumn->addWidget(m_blackAndWhite);
  editColumn->addStretch();

  auto* listGrid = new QGridLayout;
  listGrid->addWidget(m_view, 0, 0);
  listGrid->addWidget(m_entries, 1, 0);
  listGrid->addLayout(editColumn, 1, 1);

  // The analysis.
  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("status"));
  m_status->setWordWrap(true);
  m_progress = new QProgressBar(this);
  m_progress->setRange(0, kProgressRange);
  m_progress->setTextVisible(false);
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(m_progress, 1);
  progressRow->addWidget(
      makeButton(this, qtr("Stop"), "stop", qtr("Stop the analysis; Save List resumes it.")));
  progressRow->addWidget(makeButton(this, qtr("Show Unusable Images"), "errorReport",
                                    qtr("Open the file that lists the images that could not be "
                                        "used.")));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &TileImagesWindow::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fileRow);
  layout->addWidget(m_listFile);
  layout->addLayout(listGrid, 1);
  layout->addWidget(m_status);
  layout->addLayout(progressRow);
  layout->addWidget(buttons);

  connect(button("newList"), &QPushButton::clicked, this, [this] {
    m_model.newList();
    refresh();
  });
  connect(button("openList"), &QPushButton::clicked, this, [this] {
    m_model.chooseAndOpenList();
    refresh();
    startTimerIfAnalysing();  // an old list being upgraded is analysed at once
  });
  connect(button("saveList"), &QPushButton::clicked, this, [this] { saveList(false); });
  connect(button("saveListAs"), &QPushButton::clicked, this, [this] { saveList(true); });
  connect(button("addFolder"), &QPushButton::clicked, this, &TileImagesWindow::addFolder);
  connect(button("addImage"), &QPushButton::clicked, this, &TileImagesWindow::addImages);
  connect(button("removeSelected"), &QPushButton::clicked, this, &TileImagesWindow::removeSelected);
  connect(button("stop"), &QPushButton::clicked, this, [this] {
    if (extracting()) {
      stopExtraction();
    } else {
      stopAnalysis();
    }
  });
  connect(button("extractVideo"), &QPushButton::clicked, this, &TileImagesWindow::extractVideo);
  connect(button("errorReport"), &QPushButton::clicked, this, &TileImagesWindow::openErrorReport);
  connect(m_blackAndWhite, &QCheckBox::clicked, this, &TileImagesWindow::switchBlackAndWhite);
  connect(m_view, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
  connect(m_entries, &QListWidget::itemSelectionChanged, this, [this] {
    button("removeSelected")
        ->setEnabled(m_model.editable() && !m_entries->selectedItems().isEmpty());
  });

  // The list file commands have the usual keys of a document's file commands.
  button("newList")->setShortcut(QKeySequence::New);
  button("openList")->setShortcut(QKeySequence::Open);
  button("saveList")->setShortcut(QKeySequence::Save);
  button("saveListAs")->setShortcut(QKeySequence::SaveAs);
  button("extractVideo")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));

  m_timer.setInterval(kTimerMilliseconds);
  connect(&m_timer, &QTimer::timeout, this, &TileImagesWindow::onTimer);
  m_extractionTimer.setInterval(kExtractionTimerMilliseconds);
  connect(&m_extractionTimer, &QTimer::timeout, this, &TileImagesWindow::onExtractionTimer);
  m_model.setVideoExtraction({[this] { return extracting(); }, [this] { stopExtraction(); }});
  m_model.setStatusCallback(
      [this](const std::string& text) { m_status->setText(toQString(text)); });
  if (!m_model.analysing()) m_model.showCounts();
  refresh();
  startTimerIfAnalysing();
}

TileImagesWindow::~TileImagesWindow() {
  m_extractionTimer.stop();
  if (extracting()) stopExtraction();
  m_model.setVideoExtraction({});
  m_model.setStatusCallback({});
}

QPushButton* TileImagesWindow::button(const char* objectName) const {
  return findChild<QPushButton*>(QString::fromLatin1(objectName));
}

void TileImagesWindow::setJobRunning(bool running) {
  if (running == !m_model.editable()) return;
  m_model.setJobRunning(running);
  refreshState();
}

void TileImagesWindow::setAdvancedSettings(AdvancedSettings* advanced) {
  m_advanced = advanced != nullptr ? advanced : &m_ownAdvanced;
}

void TileImagesWindow::reject() {
  if (m_stoppingExtraction) return;
  if (!m_model.confirmDiscard()) {
    refresh();
    return;
  }
  m_timer.stop();
  refresh();
  QDialog::reject();
}

void TileImagesWindow::addFolder() {
  m_model.addFolderInteractive(static_cast<TileListView>(m_view->currentIndex()));
  refresh();
}

void TileImagesWindow::addImages() {
  const auto view = static_cast<TileListView>(m_view->currentIndex());
  // The window's dialogs choose several files at once; any other front end one at a time.
  if (auto* dialogs = dynamic_cast<QtUserDialogs*>(&userDialogs())) {
    m_model.addImagePaths(view, dialogs->openFiles(TileImagesModel::addImageRequest()));
  } else {
    m_model.addImageInteractive(view);
  }
  refresh();
}

void TileImagesWindow::removeSelected() {
  std::vector<std::string> selected;
  for (const QListWidgetItem* item : m_entries->selectedItems()) {
    selected.push_back(toStdString(item->text()));
  }
  m_model.removeSelected(static_cast<TileListView>(m_view->currentIndex()), selected);
  refresh();
}

void TileImagesWindow::saveList(bool saveAs) {
  m_model.saveList(saveAs);
  refresh();
  startTimerIfAnalysing();
}

void TileImagesWindow::stopAnalysis() {
  m_model.stopAnalysis();
  m_timer.stop();
  refresh();
}

void TileImagesWindow::switchBlackAndWhite(bool on) {
  m_model.setBlackAndWhite(on);
  refresh();
}

void TileImagesWindow::openErrorReport() {
  // The desktop reports its own failure to open a file; nothing more to tell here.
  const std::string report = m_model.existingErrorReport();
  if (!report.empty()) (void)openWithShell(report);
}

void TileImagesWindow::startTimerIfAnalysing() {
  if (m_model.analysing() && !m_timer.isActive()) m_timer.start();
  refresh();
}

void TileImagesWindow::onTimer() {
  // The end of an analysis shows messages and the save dialog, whose event loops deliver
  // further ticks: those must not start another slice.
  if (m_inTimer) return;
  m_inTimer = true;
  const bool running = m_model.onTimer();
  m_inTimer = false;
  if (running) {
    refreshState();  // the lines change only when the analysis ends
  } else {
    m_timer.stop();
    refresh();
  }
}

bool TileImagesWindow::extracting() const { return m_extraction->isRunning(); }

void TileImagesWindow::extractVideo() {
  if (m_stoppingExtraction) return;
  const auto video = m_model.chooseVideoToExtract();
  refresh();
  if (!video) return;
  const bool opened = m_extraction->openVideo(*video, *m_advanced);
  m_status->setText(toQString(m_extraction->statusText()));
  if (!opened) return;

  VideoExtractDialog::Video facts;
  facts.width = m_extraction->videoWidth();
  facts.height = m_extraction->videoHeight();
  facts.frameCount = m_extraction->frameCount();
  facts.readFrame = [this](std::uint32_t frame) { return m_extraction->previewFrame(frame); };
  VideoExtractDialog dialog(m_extraction->parameters(), std::move(facts), this);
  dialog.setAdvancedSettingsCommand([this, &dialog] {
    AdvancedSettingsDialog advanced(*m_advanced, &dialog);
    advanced.exec();
  });
  // Cancel leaves the video open; the next command opens one anew.
  if (dialog.exec() != QDialog::Accepted) return;
  if (m_extraction->startExtraction(*m_advanced)) m_extractionTimer.start();
  m_status->setText(toQString(m_extraction->statusText()));
  refreshState();
}

void TileImagesWindow::onExtractionTimer() {
  if (m_stoppingExtraction) return;
  m_status->setText(toQString(m_extraction->statusText()));
  if (extracting()) {
    refreshState();
    return;
  }
  m_extractionTimer.stop();
  refreshState();
  if (m_extraction->wasStopped()) return;
  // The folders the run made: those that do not hold clips hold images.
  const std::vector<std::string> clipFolders = m_extraction->clipFolders();
  std::vector<std::string> imageFolders;
  for (const std::string& folder : m_extraction->outputFolders()) {
    if (std::find(clipFolders.begin(), clipFolders.end(), folder) == clipFolders.end()) {
      imageFolders.push_back(folder);
    }
  }
  if (m_model.offerExtractedFolders(imageFolders, clipFolders)) refresh();
}

void TileImagesWindow::stopExtraction() {
  if (m_stoppingExtraction || !m_extraction) return;
  m_stoppingExtraction = true;
  auto* dialogs = dynamic_cast<QtUserDialogs*>(&userDialogs());
  if (dialogs != nullptr && dialogs->onWindowThread() && extracting()) {
    // The jobs finish their current item and may show a message meanwhile ("Too many Errors"),
    // which needs this thread: the stop waits on a helper thread while this one answers.
    std::atomic<bool> stopped{false};
    std::thread stopper([this, &stopped] {
      m_extraction->stopExtraction();
      stopped = true;
    });
    dialogs->serveUntil([&stopped] { return stopped.load(); });
    stopper.join();
  } else {
    m_extraction->stopExtraction();
  }
  m_stoppingExtraction = false;
  m_extractionTimer.stop();
  m_status->setText(toQString(m_extraction->statusText()));
  refreshState();
}

void TileImagesWindow::refresh() {
  const auto view = static_cast<TileListView>(m_view->currentIndex());
  QStringList lines;
  for (const std::string& entry : m_model.viewEntries(view)) lines << toQString(entry);
  m_entries->clear();
  m_entries->addItems(lines);
  refreshState();
}

void TileImagesWindow::refreshState() {
  const bool editable = m_model.editable();
  const bool analysing = m_model.analysing();
  const std::string& listPath = m_model.list().filePath;
  m_listFile->setText(listPath.empty() ? qtr("(new Images List, not saved yet)")
                                       : toQString(listPath));
  m_blackAndWhite->setChecked(m_model.list().blackAndWhite);
  const bool extractionRunning = extracting();
  int progress = 0;
  if (analysing) {
    progress = static_cast<int>(m_model.list().percentDone * (kProgressRange / 100));
  } else if (extractionRunning) {
    const AviExtract::Progress stage = m_extraction->progress();
    if (stage.total > 0) {
      progress = static_cast<int>(std::uint64_t{stage.done} * kProgressRange / stage.total);
    }
  }
  m_progress->setValue(progress);

  for (const char* name :
       {"newList", "openList", "saveList", "saveListAs", "addFolder", "addImage"}) {
    button(name)->setEnabled(editable);
  }
  m_blackAndWhite->setEnabled(editable);
  button("removeSelected")->setEnabled(editable && !m_entries->selectedItems().isEmpty());
  button("extractVideo")->setEnabled(editable);
  button("stop")->setEnabled(analysing || extractionRunning);
  button("stop")->setToolTip(extractionRunning
                                 ? qtr("Stop the video extraction; the clip being written is "
                                       "completed.")
                                 : qtr("Stop the analysis; Save List resumes it."));
  button("errorReport")->setEnabled(!analysing && !m_model.existingErrorReport().empty());
}

}  // namespace tg
