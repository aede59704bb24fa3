// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/language_list.h"
#include "app/user_guide.h"
#include "config/user_values.h"
#include "geometry/geometry_presets.h"
#include "platform/shell.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "platform/wine.h"
#include "ui/about_box.h"
#include "ui/language_dialog.h"
#include "ui/preview_area.h"
#include "ui/qt_user_dialogs.h"
#include "ui/ui_text.h"

namespace tg {

namespace {

/// The labels of the parameter drop-downs, in `ParameterControl` order.
constexpr const char* kParameterLabels[kParameterControlCount] = {
    N_("Mosaic Size:"),       N_("Resolution:"),   N_("Tile Size:"),    N_("Tile Duplication:"),
    N_("Duplicate Spacing:"), N_("Color Change:"), N_("Tile Pattern:"), N_("Tile Adapt:"),
    N_("Half Tiles:"),        N_("Quarter Tiles:")};

constexpr const char* kVariantLabels[5] = {N_("Original"), N_("Mirror"), N_("Flip Vertically"),
                                           N_("Half Turn"), N_("Quarter Turns")};

/// The user value keeping the window's place between runs.
constexpr const char* kPlaceKey = "MainWindow.Geometry";

/// A status colour (0x00BBGGRR) as a QColor.
QColor statusColour(std::uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

/// The hint of an empty preview (the dropping hint only where dropping works).
QString previewHint() {
  const char* hint = underWine() ? N_("(Select an Image with the + Button)")
                                 : N_("(Select an Image with the + Button or Drag&&Drop here "
                                      "your Photo)");
  return qtr(hint).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

QIcon themedIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

std::vector<std::string> localPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(toStdString(url.toLocalFile()));
  }
  return paths;
}

/// Marks a drop-down whose value is invalid: a reddish field and the property "invalid".
void markInvalid(QComboBox* box, bool invalid) {
  if (box->property("invalid").toBool() == invalid) return;
  box->setProperty("invalid", invalid);
  QPalette palette = box->style()->standardPalette();
  if (invalid) {
    palette.setColor(QPalette::Base, QColor(255, 205, 205));
    palette.setColor(QPalette::Button, QColor(255, 205, 205));
  }
  box->setPalette(palette);
  if (box->lineEdit() != nullptr) box->lineEdit()->setPalette(palette);
}

}  // namespace

MainWindow::MainWindow(QtUserDialogs& dialogs, SettingsFiles files)
    : m_dialogs(dialogs), m_stages(m_tiles.list()), m_sets(m_job.settings, files) {
  installGeometryPresets(m_job.settings);
  m_sets.setTileListHost(&m_tiles);
  m_model = std::make_unique<MainWindowModel>(m_job, m_tiles.list(), m_sets);
  m_controller =
      std::make_unique<JobController>(m_job, m_tiles.list(), m_stages, m_stages.gridStage(),
                                      static_cast<JobControllerHost&>(*this), files);

  setWindowTitle(applicationTitle());
  setAcceptDrops(true);
  buildActions();
  buildMenus();
  setCentralWidget(buildCentralWidget());

  m_sets.setChangedCallback([this] {
    fillControls();
    refreshInformation();
  });
  m_sets.startUp();
  fillSettingsList();
  fillControls();
  m_controller->selectMainImage({});
  refreshInformation();

  m_timer = new QTimer(this);
  m_timer->setInterval(500);
  connect(m_timer, &QTimer::timeout, this, &MainWindow::statusTick);
  m_timer->start();
  restorePlace();
}

MainWindow::~MainWindow() {
  m_timer->stop();
  if (m_controller->running()) {
    // The job may still ask questions while it stops: answer them instead of blocking on it.
    m_controller->forceStop();
    m_dialogs.serveUntil([this] { return !m_controller->running(); });
  }
  m_controller->wait();
  (void)m_sets.saveSettingsInteractive(std::string(kAutoSaveSection));
  m_controller.reset();
}

// ---- Building ------------------------------------------------------------------------------

void MainWindow::buildActions() {
  const auto action = [this](const char* text, const QIcon& icon, const QKeySequence& keys,
                             void (MainWindow::*slot)()) {
    auto* a = new QAction(icon, qtr(text), this);
    if (!keys.isEmpty()) a->setShortcut(keys);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  m_createAction = action(N_("Create Mosaic"), themedIcon("system-run", QStyle::SP_MediaPlay),
                          QKeySequence(Qt::CTRL | Qt::Key_Return), &MainWindow::createMosaic);
  m_addAction = action(N_("Add Main Images..."), themedIcon("list-add", QStyle::SP_FileIcon),
                       QKeySequence::Open, &MainWindow::addMainImages);
  m_removeAction = action(N_("Remove Main Image"), themedIcon("list-remove", QStyle::SP_TrashIcon),
                          QKeySequence::Delete, &MainWindow::removeMainImage);
  m_removeAllAction =
      action(N_("Remove All Main Images"), themedIcon("edit-clear", QStyle::SP_DialogResetButton),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete), &MainWindow::removeAllMainImages);
  m_loadSettingsAction =
      action(N_("Load Settings File..."), themedIcon("document-open", QStyle::SP_DialogOpenButton),
             QKeySequence(Qt::CTRL | Qt::Key_L), &MainWindow::loadSettingsFile);
  m_saveSettingsAction =
      action(N_("Save Settings..."), themedIcon("document-save", QStyle::SP_DialogSaveButton),
             QKeySequence::Save, &MainWindow::saveSettings);
  m_saveSettingsAction->setVisible(false);
  m_deleteSettingsAction =
      action(N_("Delete Settings"), themedIcon("edit-delete", QStyle::SP_DialogDiscardButton), {},
             &MainWindow::deleteSettings);
  m_languageAction =
      action(N_("Language..."), QIcon::fromTheme(QStringLiteral("preferences-desktop-locale")), {},
             &MainWindow::showLanguageDialog);
  m_guideAction = action(N_("User Guide"), themedIcon("help-contents", QStyle::SP_DialogHelpButton),
                         QKeySequence::HelpContents, &MainWindow::showUserGuide);
  m_aboutAction =
      action(N_("About Tesselograph"), themedIcon("help-about", QStyle::SP_MessageBoxInformation),
             {}, &MainWindow::showAbout);
  m_quitAction =
      new QAction(QIcon::fromTheme(QStringLiteral("application-exit")), qtr("Quit"), this);
  m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  // Quitting closes the window the way its close button does (a running job is asked about).
  connect(m_quitAction, &QAction::triggered, this, &QWidget::close);

  m_tileImagesAction =
      new QAction(themedIcon("folder-pictures", QStyle::SP_DirIcon), qtr("Tile Images..."), this);
  m_tileImagesAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  m_tileImagesAction->setVisible(false);
  connect(m_tileImagesAction, &QAction::triggered, this, &MainWindow::openTileImagesWindow);
  m_moreOptionsAction = new QAction(themedIcon("configure", QStyle::SP_FileDialogDetailedView),
                                    qtr("More Options..."), this);
  m_moreOptionsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  m_moreOptionsAction->setVisible(false);
  connect(m_moreOptionsAction, &QAction::triggered, this, [this] {
    if (!m_openMoreOptions || !m_openMoreOptions()) return;
    (void)applyParameterRules(m_job.settings, false);
    fillControls();
    refreshInformation();
  });
}

void MainWindow::buildMenus() {
  QMenu* file = menuBar()->addMenu(qtr("&File"));
  file->addAction(m_addAction);
  file->addAction(m_removeAction);
  file->addAction(m_removeAllAction);
  file->addSeparator();
  file->addAction(m_tileImagesAction);
  file->addSeparator();
  file->addAction(m_quitAction);
  QMenu* mosaic = menuBar()->addMenu(qtr("&Mosaic"));
  mosaic->addAction(m_createAction);
  mosaic->addAction(m_moreOptionsAction);
  QMenu* settings = menuBar()->addMenu(qtr("&Settings"));
  settings->addAction(m_loadSettingsAction);
  settings->addAction(m_saveSettingsAction);
  settings->addAction(m_deleteSettingsAction);
  settings->addSeparator();
  settings->addAction(m_languageAction);
  QMenu* help = menuBar()->addMenu(qtr("&Help"));
  help->addAction(m_guideAction);
  help->addAction(m_aboutAction);

  QToolBar* tools = addToolBar(qtr("Commands"));
  tools->setObjectName(QStringLiteral("commands"));
  tools->setMovable(false);
  tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  tools->addAction(m_tileImagesAction);
  tools->addAction(m_addAction);
  tools->addAction(m_moreOptionsAction);
  tools->addSeparator();
  tools->addAction(m_guideAction);
}

QWidget* MainWindow::buildParameterPanel() {
  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* images = new QGroupBox(qtr("Main Images"));
  auto* imagesLayout = new QHBoxLayout(images);
  m_mainImages = new QComboBox;
  m_mainImages->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  m_mainImages->setMinimumContentsLength(24);
  connect(m_mainImages, &QComboBox::activated, this,
          [this](int index) { afterMainImagesChanged(m_model->selectMainImage(index)); });
  imagesLayout->addWidget(m_mainImages, 1);
  for (QAction* a : {m_addAction, m_removeAction, m_removeAllAction}) {
    auto* button = new QToolButton;
    button->setDefaultAction(a);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    imagesLayout->addWidget(button);
  }
  layout->addWidget(images);

  m_parameterPanel = new QGroupBox(qtr("Mosaic Parameters"));
  auto* form = new QFormLayout(m_parameterPanel);
  for (std::size_t i = 0; i < kParameterControlCount; ++i) {
    auto* box = new QComboBox;
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(16);
    const auto control = static_cast<ParameterControl>(i);
    connect(box, &QComboBox::activated, this, [this, control](int) {
      if (m_filling) return;
      (void)m_model->takeControlText(control,
                                     toStdString(parameterControl(control)->currentText()));
      refreshInformation();
    });
    connect(box->lineEdit(), &QLineEdit::editingFinished, this, [this, control] {
      if (m_filling) return;
      (void)m_model->takeControlText(control,
                                     toStdString(parameterControl(control)->currentText()));
      refreshInformation();
    });
    m_parameters[i] = box;
    form->addRow(qtr(kParameterLabels[i]), box);
  }
  auto* variants = new QGridLayout;
  for (std::size_t i = 0; i < m_variants.size(); ++i) {
    m_variants[i] = new QCheckBox(qtr(kVariantLabels[i]));
    connect(m_variants[i], &QCheckBox::clicked, this, [this] {
      if (m_filling) return;
      VariantBoxes boxes{};
      for (std::size_t b = 0; b < boxes.size(); ++b) boxes[b] = m_variants[b]->isChecked();
      m_model->takeVariantBoxes(boxes);
      refreshInformation();
    });
    variants->addWidget(m_variants[i], static_cast<int>(i / 3), static_cast<int>(i % 3));
  }
  form->addRow(qtr("Tile Variants:"), variants);
  layout->addWidget(m_parameterPanel);

  auto* settings = new QGroupBox(qtr("Settings"));
  auto* settingsLayout = new QHBoxLayout(settings);
  m_settingsList = new QComboBox;
  m_settingsList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  m_settingsList->setMinimumContentsLength(16);
  connect(m_settingsList, &QComboBox::activated, this, &MainWindow::chooseSettingsSet);
  settingsLayout->addWidget(m_settingsList, 1);
  for (QAction* a : {m_loadSettingsAction, m_saveSettingsAction, m_deleteSettingsAction}) {
    auto* button = new QToolButton;
    button->setDefaultAction(a);
    button->setVisible(a->isVisible());
    // A tool button follows its action's state but not its visibility.
    connect(a, &QAction::changed, button, [button, a] { button->setVisible(a->isVisible()); });
    settingsLayout->addWidget(button);
  }
  layout->addWidget(settings);

  layout->addStretch();
  return panel;
}

QWidget* MainWindow::buildInformationPanel() {
  // The information lines on the left; the display unit and the tile lines beside them.
  auto* information = new QGroupBox(qtr("Information"));
  auto* infoLayout = new QHBoxLayout(information);
  m_information = new QLabel;
  m_information->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_information->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  infoLayout->addWidget(m_information, 1);
  auto* side = new QVBoxLayout;
  auto* unitRow = new QHBoxLayout;
  unitRow->addWidget(new QLabel(qtr("Display Unit:")));
  m_displayUnit = new QComboBox;
  for (const auto& choice : displayUnitChoices()) {
    m_displayUnit->addItem(toQString(choice.label), static_cast<int>(choice.unit));
  }
  connect(m_displayUnit, &QComboBox::activated, this, [this](int index) {
    m_model->setDisplayUnit(static_cast<UnitId>(m_displayUnit->itemData(index).toInt()));
    refreshInformation();
  });
  unitRow->addWidget(m_displayUnit);
  unitRow->addStretch();
  side->addLayout(unitRow);
  m_tileLines = new QLabel;
  m_tileLines->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_tileLines->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  side->addWidget(m_tileLines);
  side->addStretch();
  infoLayout->addLayout(side, 1);
  return information;
}

QWidget* MainWindow::buildCentralWidget() {
  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  auto* splitter = new QSplitter;
  splitter->addWidget(buildParameterPanel());

  auto* right = new QWidget;
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  m_preview = new PreviewArea;
  m_preview->setHint(previewHint());
  rightLayout->addWidget(m_preview, 1);
  rightLayout->addWidget(buildInformationPanel());
  m_output = new QLabel;
  m_output->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(m_output, &QLabel::linkActivated, this, [this] { openOutputFolder(); });
  rightLayout->addWidget(m_output);
  m_createButton = new QPushButton(m_createAction->icon(), m_createAction->text());
  m_createButton->setMinimumHeight(m_createButton->sizeHint().height() * 3 / 2);
  QFont bold = m_createButton->font();
  bold.setBold(true);
  m_createButton->setFont(bold);
  connect(m_createButton, &QPushButton::clicked, this, &MainWindow::createMosaic);
  rightLayout->addWidget(m_createButton);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  layout->addWidget(splitter, 1);

  m_status = new QLabel;
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_progress = new QProgressBar;
  m_progress->setRange(0, 10000);
  m_progress->setTextVisible(false);
  m_progress->setMaximumWidth(240);
  statusBar()->addWidget(m_status, 1);
  statusBar()->addPermanentWidget(m_progress);
  return central;
}

// ---- Hook points ---------------------------------------------------------------------------

void MainWindow::setTileImagesCommand(std::function<void()> open) {
  m_openTileImages = std::move(open);
  m_tileImagesAction->setVisible(static_cast<bool>(m_openTileImages));
}

void MainWindow::setMoreOptionsCommand(std::function<bool()> open) {
  m_openMoreOptions = std::move(open);
  m_moreOptionsAction->setVisible(static_cast<bool>(m_openMoreOptions));
}

void MainWindow::setSaveSettingsDialog(SaveSettingsDialog* dialog) {
  m_sets.setSaveDialog(dialog);
  m_saveSettingsAction->setVisible(dialog != nullptr);
}

void MainWindow::openTileImagesWindow() {
  if (!m_openTileImages) return;
  m_openTileImages();
  refreshInformation();
}

std::optional<JobControllerHost::PieceSize> MainWindow::askSplitSize(
    const MosaicGeometry& geometry, const std::function<bool(const PieceSize&)>& acceptPiece) {
  if (!m_splitDialog) return std::nullopt;
  return m_splitDialog(geometry, acceptPiece);
}

// ---- Filling the controls ------------------------------------------------------------------

void MainWindow::fillControls() {
  if (m_parameters[0] == nullptr) return;  // the settings loaded before the controls exist
  m_filling = true;
  for (std::size_t i = 0; i < kParameterControlCount; ++i) {
    const auto control = static_cast<ParameterControl>(i);
    QComboBox* box = m_parameters[i];
    const QString current = toQString(m_model->currentLabel(control));
    QStringList labels;
    for (const auto& label : m_model->choiceLabels(control)) labels << toQString(label);
    QSignalBlocker block(box);
    QStringList shown;
    for (int item = 0; item < box->count(); ++item) shown << box->itemText(item);
    if (shown != labels) {
      box->clear();
      box->addItems(labels);
    }
    const int index = labels.indexOf(current);
    if (index >= 0) box->setCurrentIndex(index);
    box->setEditText(current);
  }
  const VariantBoxes boxes = m_model->variantBoxes();
  for (std::size_t i = 0; i < boxes.size(); ++i) m_variants[i]->setChecked(boxes[i]);
  m_filling = false;
}

void MainWindow::fillMainImages() {
  QSignalBlocker block(m_mainImages);
  m_mainImages->clear();
  for (const auto& path : m_model->mainImages()) m_mainImages->addItem(toQString(path));
  m_mainImages->setCurrentIndex(m_model->selectedIndex());
}

void MainWindow::fillSettingsList() {
  QSignalBlocker block(m_settingsList);
  m_settingsList->clear();
  for (const auto& entry : m_sets.entries()) m_settingsList->addItem(toQString(entry.text));
  m_settingsList->setCurrentIndex(m_sets.selectedIndex());
  m_deleteSettingsAction->setEnabled(m_sets.deleteEnabled() && !m_busy);
}

void MainWindow::afterMainImagesChanged(bool selectionChanged) {
  fillMainImages();
  m_controller->selectMainImage(m_model->selectedPath());
  if (selectionChanged) showSelectedPicture();
  refreshInformation();
}

void MainWindow::showSelectedPicture() {
  const Foto* image = m_model->selectedImage();
  const auto& info = m_model->information();
  m_preview->showMainImage(image != nullptr ? toQImage(*image) : QImage(), info.previewCells,
                           info.geometry.mosaicWidth, info.geometry.mosaicHeight);
}

// ---- The refresh ---------------------------------------------------------------------------

void MainWindow::refreshInformation() {
  if (m_parameters[0] == nullptr) return;
  // Take the controls: the typed or chosen text of every drop-down and the variant boxes.
  if (!m_busy) {
    for (std::size_t i = 0; i < kParameterControlCount; ++i) {
      (void)m_model->takeControlText(static_cast<ParameterControl>(i),
                                     toStdString(m_parameters[i]->currentText()));
    }
    VariantBoxes boxes{};
    for (std::size_t b = 0; b < boxes.size(); ++b) boxes[b] = m_variants[b]->isChecked();
    m_model->takeVariantBoxes(boxes);
  }
  if (m_busy) m_refreshedWhileBusy = true;
  const MainWindowInformation& info = m_model->refreshInformation(m_controller->running());
  // Appended entries (typed values) and values the rules changed are shown again.
  fillControls();
  for (std::size_t i = 0; i < kParameterControlCount; ++i)
    markInvalid(m_parameters[i], info.invalid[i]);

  const auto [outputText, saved] = m_controller->outputDisplay(m_model->selectedPath());
  showOutput(outputText, saved);

  QStringList lines;
  for (const auto& line : info.informationLines) lines << toQString(line);
  m_information->setText(lines.join(QLatin1Char('\n')));
  QStringList tileLines;
  for (const auto& line : info.tileLines) tileLines << toQString(line);
  m_tileLines->setText(tileLines.join(QLatin1Char('\n')));
  const QColor colour = statusColour(info.colour);
  for (QLabel* label : {m_information, m_tileLines}) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, info.parametersCorrect
                                               ? QApplication::palette().color(QPalette::WindowText)
                                               : colour);
    label->setPalette(palette);
  }
  if (!m_busy && !info.message.empty()) showStatus(info.message, info.colour, 0);

  m_createAction->setEnabled(info.createEnabled);
  m_createButton->setEnabled(info.createEnabled);
  m_removeAction->setEnabled(info.removeEnabled && !m_busy);
  m_removeAllAction->setEnabled(info.removeAllEnabled && !m_busy);
  m_preview->setCells(info.previewCells, info.geometry.mosaicWidth, info.geometry.mosaicHeight);
  if (!m_preview->caption().isEmpty()) return;
  if (m_preview->image().isNull() && m_model->selectedImage() != nullptr) showSelectedPicture();
}

// ---- JobControllerHost ---------------------------------------------------------------------

void MainWindow::showStatus(const std::string& text, std::uint32_t colour, int progress) {
  m_status->setText(toQString(text));
  QPalette palette = m_status->palette();
  palette.setColor(QPalette::WindowText, colour == 0
                                             ? QApplication::palette().color(QPalette::WindowText)
                                             : statusColour(colour));
  m_status->setPalette(palette);
  if (progress != m_lastProgress) {
    m_lastProgress = progress;
    m_progress->setValue(progress);
  }
}

void MainWindow::showPreview(const Foto& image, const std::string& caption) {
  m_preview->showJobPreview(toQImage(image), toQString(caption));
}

void MainWindow::showOutput(const std::string& text, bool saved) {
  if (text.empty()) {
    m_output->clear();
    return;
  }
  const QString colour = saved ? QStringLiteral("#0000ff")
                               : QApplication::palette().color(QPalette::WindowText).name();
  m_output->setText(QStringLiteral("<a href=\"open\" style=\"color:%1\">%2</a>")
                        .arg(colour, toQString(text).toHtmlEscaped()));
  m_output->setProperty("saved", saved);
}

void MainWindow::setBusy(bool busy) {
  if (busy == m_busy) return;
  m_busy = busy;
  m_sets.setJobRunning(busy);
  m_parameterPanel->setEnabled(!busy);
  m_settingsList->setEnabled(!busy);
  for (QAction* a : {m_addAction, m_loadSettingsAction, m_saveSettingsAction, m_languageAction,
                     m_tileImagesAction, m_moreOptionsAction}) {
    a->setEnabled(!busy);
  }
  m_mainImages->setEnabled(!busy);
  m_removeAction->setEnabled(!busy && m_model->information().removeEnabled);
  m_removeAllAction->setEnabled(!busy && m_model->information().removeAllEnabled);
  const QString text = busy ? qtr("Stop Mosaic") : qtr("Create Mosaic");
  m_createButton->setText(text);
  m_createButton->setIcon(busy ? themedIcon("process-stop", QStyle::SP_MediaStop)
                               : themedIcon("system-run", QStyle::SP_MediaPlay));
  m_createAction->setText(text);
  fillSettingsList();
  if (!busy) {
    // Back to the main image and its outlines once the job's previews are over. The job's last
    // status stays in the status line: the refresh runs again only when one ran during the job
    // (it could not check the parameters then).
    showSelectedPicture();
    if (m_refreshedWhileBusy) {
      refreshInformation();
    } else {
      const bool correct = m_model->information().parametersCorrect;
      m_createAction->setEnabled(correct);
      m_createButton->setEnabled(correct);
    }
  }
  m_refreshedWhileBusy = false;
}

// ---- Commands ------------------------------------------------------------------------------

void MainWindow::openCommandLineImages(const std::vector<std::string>& images,
                                       const std::map<std::string, std::string>& explicitOutputs) {
  for (const auto& [image, output] : explicitOutputs) m_job.explicitOutputs[image] = output;
  bool select = true;
  bool added = false;
  for (const auto& image : images) {
    if (m_model->addMainImage(image, select) >= 0) {
      select = false;
      added = true;
    }
  }
  if (added) afterMainImagesChanged(true);
  if (!images.empty() && m_tiles.tileCount() == 0) openTileImagesWindow();
}

bool MainWindow::openFile(const std::string& path, bool select) {
  const bool added = m_model->openFile(path, select);
  fillSettingsList();
  afterMainImagesChanged(true);
  return added;
}

void MainWindow::dropFiles(const std::vector<std::string>& paths) {
  if (m_busy) return;
  (void)m_model->dropFiles(paths);
  fillSettingsList();
  afterMainImagesChanged(true);
}

void MainWindow::createMosaic() {
  if (m_controller->running()) {
    (void)m_controller->requestStop();
    return;
  }
  refreshInformation();
  (void)m_controller->startJob(m_model->mainImages());
  // The start applies the parameter rules in full: show what they changed.
  fillControls();
  fillSettingsList();
  statusTick();
}

void MainWindow::addMainImages() {
  OpenFileRequest request;
  request.profile = "ImageList";
  request.filter = tg::tr("Image") + " (*.jpg)(*.png)|*.jpg;*.jpeg;*.jpe;*.png||";
  request.title = tg::tr("Select one or more JPG/PNG images");
  request.defaultExtension = "jpg";
  bool select = true;
  for (const auto& path : m_dialogs.openFiles(request)) {
    if (m_model->openFile(path, select)) select = false;
  }
  fillSettingsList();
  afterMainImagesChanged(true);
}

void MainWindow::removeMainImage() {
  m_model->removeMainImage();
  afterMainImagesChanged(true);
}

void MainWindow::removeAllMainImages() {
  m_model->removeAllMainImages();
  afterMainImagesChanged(true);
}

void MainWindow::loadSettingsFile() {
  OpenFileRequest request;
  request.profile = "ImageList";
  request.filter = tg::tr("Mosaic Settings") + " (*.txt)|*.txt||";
  request.title = tg::tr("Select a Mosaic Settings File");
  request.defaultExtension = "txt";
  if (const auto path = m_dialogs.openFile(request)) (void)openFile(*path, true);
}

void MainWindow::saveSettings() {
  (void)m_sets.saveSettingsInteractive(std::nullopt);
  fillSettingsList();
  fillControls();
}

void MainWindow::deleteSettings() {
  m_sets.deleteSettingsSet();
  fillSettingsList();
}

void MainWindow::chooseSettingsSet(int index) {
  m_sets.select(index);
  (void)m_sets.loadSelected();
  fillSettingsList();
  fillControls();
  refreshInformation();
}

void MainWindow::showLanguageDialog() {
  LanguageDialog dialog(this);
  (void)dialog.exec();
}

void MainWindow::showUserGuide() { (void)openUserGuide(); }

void MainWindow::showAbout() {
  AboutBox about(this);
  (void)about.exec();
}

void MainWindow::openOutputFolder() {
  const std::string folder = m_controller->outputFolder(m_model->selectedPath());
  if (folder.empty()) return;
  if (openWithShell(folder) < kShellStarted) {
    showMessage(formatText(tg::tr("Unable to open the folder '%s'"), folder));
  }
}

void MainWindow::statusTick() {
  m_controller->statusTick();
  if (m_closeWhenStopped && !m_controller->running()) {
    m_closeWhenStopped = false;
    close();
  }
}

// ---- Window events -------------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!m_controller->requestStop()) {
    // The window stays until the job has stopped; once it has, it closes by itself.
    m_closeWhenStopped = m_job.stopRequested();
    event->ignore();
    return;
  }
  savePlace();
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!m_busy && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const auto paths = localPaths(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  dropFiles(paths);
}

void MainWindow::restorePlace() {
  const QByteArray saved =
      QByteArray::fromBase64(QByteArray::fromStdString(userValue(kPlaceKey, "")));
  if (saved.isEmpty() || !restoreGeometry(saved)) {
    const QRect screen = QApplication::primaryScreen() != nullptr
                             ? QApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 1280, 800);
    resize(std::min(1100, screen.width()), std::min(760, screen.height()));
  }
}

void MainWindow::savePlace() {
  (void)setUserValue(kPlaceKey, saveGeometry().toBase64().toStdString());
}

}  // namespace tg
