// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/more_options_dialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>
#include <utility>

#include "platform/catalogue.h"
#include "platform/user_dialogs.h"
#include "ui/advanced_settings_dialog.h"
#include "ui/ui_text.h"
#include "update/update_check.h"

namespace tg {
namespace {

UpdateCheckHooks& updateHooks() {
  static UpdateCheckHooks hooks;
  return hooks;
}

/// Label and tooltip of one drop-down.
struct ChoiceText {
  const char* label;
  const char* tip;
  bool editable;  ///< numbers may be typed (lists with a "nnn" placeholder or numeric entries)
};

ChoiceText choiceText(MoreOptionsChoice choice) {
  switch (choice) {
    case MoreOptionsChoice::MosaicProcessing:
      return {N_("Processing:"),
              N_("How the tiles are placed: High Quality compares every tile with every cell; "
                 "the other methods are faster or follow the order of the files."),
              false};
    case MoreOptionsChoice::ImageCompare:
      return {N_("Image Compare:"), N_("How strictly a tile must match the colors of its cell."),
              false};
    case MoreOptionsChoice::ImageDetail:
      return {N_("Image Detail:"),
              N_("How much the small details of the main image count when tiles are compared."),
              false};
    case MoreOptionsChoice::ColorChangePriority:
      return {N_("Color Change Priority:"),
              N_("Whether recoloring keeps the tiles looking like themselves or brings out the "
                 "details of the main image."),
              false};
    case MoreOptionsChoice::BorderColor:
      return {N_("Border Color:"), N_("The color of the border drawn around every tile."), false};
    case MoreOptionsChoice::FileFormat:
      return {N_("File Format:"), N_("The file format of the Mosaic."), false};
    case MoreOptionsChoice::JpgQuality:
      return {N_("JPG Quality:"),
              N_("The JPEG compression quality: higher values give larger files and fewer "
                 "artifacts."),
              true};
    case MoreOptionsChoice::MosaicSubdirectory:
      return {N_("Subdirectory:"), N_("Whether each Mosaic is saved in a subdirectory of its own."),
              false};
    case MoreOptionsChoice::MosaicFileName:
      return {N_("Mosaic File:"),
              N_("Whether an existing Mosaic is overwritten or a new file is created."), false};
    case MoreOptionsChoice::WebPageSize:
      return {N_("Web Page:"),
              N_("Creates a web page of the Mosaic with this width in pixels, where every tile "
                 "links to its image."),
              true};
    case MoreOptionsChoice::ConsecutiveFrames:
      break;
  }
  return {N_("Consecutive Frames:"),
          N_("For video tiles: uses consecutive frames of a clip this many frames apart. This "
             "selects the Faster processing without duplicates."),
          true};
}

/// Label and tooltip of one check box.
std::pair<const char*, const char*> switchText(MoreOptionsSwitch item) {
  switch (item) {
    case MoreOptionsSwitch::UseAllImages:
      return {N_("Use all Images"),
              N_("Every image of the Tile Images List is used at least once.")};
    case MoreOptionsSwitch::OutputTransparency:
      return {N_("Transparency"),
              N_("Keeps the transparent areas of the main image (TIFF, PSD and PSB only).")};
    case MoreOptionsSwitch::OutputLayers:
      return {N_("Layers"),
              N_("Saves the tiles and the main image as separate layers (PSD and PSB only).")};
    case MoreOptionsSwitch::OutputTiff64:
      return {N_("64bit TIFF"), N_("Saves TIFF files over 4 Gigabytes (BigTIFF).")};
    case MoreOptionsSwitch::TextReport:
      return {N_("Text Report"),
              N_("Saves a report of the tiles used and the settings beside the Mosaic.")};
    case MoreOptionsSwitch::CreateMaskFile:
      return {N_("Mask File"), N_("Saves a mask file with the outline of every tile.")};
    case MoreOptionsSwitch::IndividualTiles:
      return {N_("Individual Tiles"), N_("Saves every tile of the Mosaic as a file of its own.")};
    case MoreOptionsSwitch::SplitMosaic:
      break;
  }
  return {N_("Split Mosaic"),
          N_("Saves the Mosaic in several pieces; their size is asked when the Mosaic is "
             "created.")};
}

std::size_t slot(MoreOptionsChoice choice) { return static_cast<std::size_t>(choice); }
std::size_t slot(MoreOptionsSwitch item) { return static_cast<std::size_t>(item); }

void markInvalid(QWidget* widget, bool invalid) {
  widget->setStyleSheet(invalid ? QStringLiteral("QComboBox { background: #ffd6d6; }") : QString());
}

}  // namespace

void setUpdateCheckHooks(UpdateCheckHooks hooks) { updateHooks() = std::move(hooks); }

MoreOptionsDialog::MoreOptionsDialog(MosaicSettings& settings, bool jobRunning, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_model(settings, jobRunning) {
  setObjectName(QStringLiteral("moreOptionsDialog"));
  setWindowTitle(applicationTitle() + QStringLiteral(" - ") + qtr("More Options"));

  for (std::size_t i = 0; i < kMoreOptionsChoiceCount; ++i) {
    const auto choice = static_cast<MoreOptionsChoice>(i);
    const ChoiceText text = choiceText(choice);
    auto* box = new QComboBox(this);
    box->setEditable(text.editable);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setToolTip(qtr(text.tip));
    box->setMinimumContentsLength(18);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_choices[i] = box;
    connect(box, &QComboBox::activated, this,
            [this, choice](int index) { chooseEntry(choice, index); });
    if (text.editable) {
      connect(box->lineEdit(), &QLineEdit::editingFinished, this,
              [this, choice] { typeText(choice); });
    }
  }
  for (std::size_t i = 0; i < kMoreOptionsSwitchCount; ++i) {
    const auto item = static_cast<MoreOptionsSwitch>(i);
    const auto [label, tip] = switchText(item);
    auto* box = new QCheckBox(qtr(label), this);
    box->setToolTip(qtr(tip));
    m_switches[i] = box;
    connect(box, &QCheckBox::clicked, this, [this, item](bool on) {
      m_model.setSwitch(item, on);
      refresh();
    });
  }
  m_borderSize = new QComboBox(this);
  m_borderSize->setEditable(true);
  m_borderSize->setInsertPolicy(QComboBox::NoInsert);
  m_borderSize->setToolTip(
      qtr("The width of the border around every tile, for example 2 pixel "
          "or 0.1 mm."));
  connect(m_borderSize, &QComboBox::activated, this, [this] {
    m_model.takeBorderSizeText(toStdString(m_borderSize->currentText()));
    refresh();
  });
  connect(m_borderSize->lineEdit(), &QLineEdit::editingFinished, this, [this] {
    if (m_filling) return;
    m_model.takeBorderSizeText(toStdString(m_borderSize->currentText()));
    refresh();
  });

  auto row = [this](QFormLayout* form, MoreOptionsChoice choice) {
    form->addRow(qtr(choiceText(choice).label), m_choices[slot(choice)]);
  };
  auto group = [this](const char* title) {
    auto* box = new QGroupBox(qtr(title), this);
    return std::pair{box, new QFormLayout(box)};
  };

  auto [matching, matchingForm] = group(N_("Placement and Matching"));
  row(matchingForm, MoreOptionsChoice::MosaicProcessing);
  row(matchingForm, MoreOptionsChoice::ImageCompare);
  row(matchingForm, MoreOptionsChoice::ImageDetail);
  matchingForm->addRow(m_switches[slot(MoreOptionsSwitch::UseAllImages)]);

  auto [colour, colourForm] = group(N_("Color and Border"));
  row(colourForm, MoreOptionsChoice::ColorChangePriority);
  row(colourForm, MoreOptionsChoice::BorderColor);
  colourForm->addRow(qtr("Border Size:"), m_borderSize);

  auto [format, formatForm] = group(N_("Output Format and Quality"));
  row(formatForm, MoreOptionsChoice::FileFormat);
  row(formatForm, MoreOptionsChoice::JpgQuality);
  auto* formatBoxes = new QHBoxLayout;
  for (auto item : {MoreOptionsSwitch::OutputTransparency, MoreOptionsSwitch::OutputLayers,
                    MoreOptionsSwitch::OutputTiff64}) {
    formatBoxes->addWidget(m_switches[slot(item)]);
  }
  formatForm->addRow(formatBoxes);

  auto [files, filesForm] = group(N_("Output Files and Folders"));
  m_directory = new QLineEdit(this);
  m_directory->setReadOnly(true);
  m_directory->setMinimumWidth(220);
  m_directory->setToolTip(qtr("The folder where the Mosaics are saved."));
  auto* browse = new QPushButton(qtr("Browse..."), this);
  browse->setObjectName(QStringLiteral("browseFolder"));
  browse->setToolTip(qtr("Choose the folder where the Mosaics are saved."));
  browse->setAutoDefault(false);
  auto* inputFolder = new QPushButton(qtr("Input Image Folder"), this);
  inputFolder->setObjectName(QStringLiteral("inputFolder"));
  inputFolder->setToolTip(qtr("Save every Mosaic in the folder of its main image."));
  inputFolder->setAutoDefault(false);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(m_directory, 1);
  folderRow->addWidget(browse);
  folderRow->addWidget(inputFolder);
  filesForm->addRow(qtr("Mosaic Folder:"), folderRow);
  row(filesForm, MoreOptionsChoice::MosaicSubdirectory);
  row(filesForm, MoreOptionsChoice::MosaicFileName);
  connect(browse, &QPushButton::clicked, this, &MoreOptionsDialog::chooseFolder);
  connect(inputFolder, &QPushButton::clicked, this, [this] {
    m_model.setDirectory({});
    refresh();
  });

  auto [extras, extrasForm] = group(N_("Report, Web Page, Mask, Tiles and Split"));
  row(extrasForm, MoreOptionsChoice::WebPageSize);
  auto* extraBoxes = new QGridLayout;
  extraBoxes->addWidget(m_switches[slot(MoreOptionsSwitch::TextReport)], 0, 0);
  extraBoxes->addWidget(m_switches[slot(MoreOptionsSwitch::CreateMaskFile)], 0, 1);
  extraBoxes->addWidget(m_switches[slot(MoreOptionsSwitch::IndividualTiles)], 1, 0);
  extraBoxes->addWidget(m_switches[slot(MoreOptionsSwitch::SplitMosaic)], 1, 1);
  extrasForm->addRow(extraBoxes);

  auto [video, videoForm] = group(N_("Video Frames"));
  row(videoForm, MoreOptionsChoice::ConsecutiveFrames);

  // The update check: shown only once the program has connected it.
  auto [update, updateForm] = group(N_("Program Updates"));
  m_updateGroup = update;
  m_updateMode = new QComboBox(this);
  m_updateMode->setToolTip(qtr("How often Tesselograph looks for a new version."));
  for (const UpdateModeInfo& entry : updateModes()) {
    m_updateMode->addItem(qtr(entry.label), entry.mode);
  }
  auto* checkNow = new QPushButton(qtr("Check Now"), this);
  checkNow->setObjectName(QStringLiteral("checkNow"));
  checkNow->setToolTip(qtr("Look for a new version now."));
  checkNow->setAutoDefault(false);
  auto* updateRow = new QHBoxLayout;
  updateRow->addWidget(m_updateMode, 1);
  updateRow->addWidget(checkNow);
  updateForm->addRow(qtr("Check for Updates:"), updateRow);
  const UpdateCheckHooks& hooks = updateHooks();
  m_updateGroup->setVisible(hooks.available());
  if (hooks.available()) {
    const int index = m_updateMode->findData(hooks.mode());
    m_updateMode->setCurrentIndex(index >= 0 ? index : 1);
    connect(checkNow, &QPushButton::clicked, this, [] { updateHooks().checkNow(); });
  }

  auto* advanced = new QPushButton(qtr("&Advanced Settings..."), this);
  advanced->setObjectName(QStringLiteral("advancedSettings"));
  advanced->setToolTip(qtr("Memory, threads, priorities and the other Advanced Settings."));
  advanced->setAutoDefault(false);
  connect(advanced, &QPushButton::clicked, this, &MoreOptionsDialog::openAdvancedSettings);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(qtr("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(qtr("Cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &MoreOptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &MoreOptionsDialog::reject);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(advanced);
  buttonRow->addStretch();
  buttonRow->addWidget(buttons);

  auto* grid = new QGridLayout;
  grid->addWidget(matching, 0, 0);
  grid->addWidget(colour, 0, 1);
  grid->addWidget(format, 1, 0);
  grid->addWidget(files, 1, 1);
  grid->addWidget(extras, 2, 0);
  auto* lastColumn = new QVBoxLayout;
  lastColumn->addWidget(video);
  lastColumn->addWidget(update);
  lastColumn->addStretch();
  grid->addLayout(lastColumn, 2, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttonRow);

  refresh();
}

QComboBox* MoreOptionsDialog::choiceBox(MoreOptionsChoice choice) const {
  return m_choices[slot(choice)];
}

QCheckBox* MoreOptionsDialog::switchBox(MoreOptionsSwitch item) const {
  return m_switches[slot(item)];
}

QPushButton* MoreOptionsDialog::button(const char* objectName) const {
  return findChild<QPushButton*>(QString::fromLatin1(objectName));
}

void MoreOptionsDialog::accept() {
  if (m_model.jobRunning()) {  // nothing could change: OK only closes
    QDialog::accept();
    return;
  }
  // Text still being typed counts as entered.
  for (std::size_t i = 0; i < kMoreOptionsChoiceCount; ++i) {
    if (m_choices[i]->isEditable()) typeText(static_cast<MoreOptionsChoice>(i));
  }
  m_model.takeBorderSizeText(toStdString(m_borderSize->currentText()));
  if (!m_model.ok(m_settings)) {
    refresh();
    return;
  }
  const UpdateCheckHooks& hooks = updateHooks();
  if (hooks.available()) hooks.setMode(m_updateMode->currentData().toInt());
  QDialog::accept();
}

void MoreOptionsDialog::chooseEntry(MoreOptionsChoice choice, int index) {
  if (m_filling || index < 0) return;
  m_model.selectChoice(choice, static_cast<std::size_t>(index));
  if (choice == MoreOptionsChoice::BorderColor && m_model.borderColourMissing()) {
    chooseBorderColour();
  }
  refresh();
}

void MoreOptionsDialog::typeText(MoreOptionsChoice choice) {
  if (m_filling) return;
  QComboBox* box = m_choices[slot(choice)];
  const std::string text = toStdString(box->currentText());
  if (text == m_model.currentLabel(choice)) return;
  m_model.takeChoiceText(choice, text);
  refresh();
}

void MoreOptionsDialog::chooseBorderColour() {
  const QColor chosen = QColorDialog::getColor(Qt::black, this, qtr("Border Color"),
                                               QColorDialog::DontUseNativeDialog);
  if (!chosen.isValid()) return;  // stays without a colour: OK says so
  m_model.setBorderColour(static_cast<std::uint32_t>(chosen.red()) |
                          static_cast<std::uint32_t>(chosen.green()) << 8 |
                          static_cast<std::uint32_t>(chosen.blue()) << 16);
}

void MoreOptionsDialog::chooseFolder() {
  auto folder = userDialogs().openFolder(
      "SavePath", tg::tr("Please select the folder where the Mosaics are saved:"));
  if (!folder || folder->empty()) return;
  if (folder->back() != '/') folder->push_back('/');
  m_model.setDirectory(*folder);
  refresh();
}

void MoreOptionsDialog::openAdvancedSettings() {
  AdvancedSettingsDialog dialog(m_model.working().advanced, this);
  dialog.setJobRunning(m_model.jobRunning());
  dialog.exec();
}

void MoreOptionsDialog::refresh() {
  m_filling = true;
  const bool editable = !m_model.jobRunning();
  for (std::size_t i = 0; i < kMoreOptionsChoiceCount; ++i) {
    const auto choice = static_cast<MoreOptionsChoice>(i);
    QComboBox* box = m_choices[i];
    const QString current = toQString(m_model.currentLabel(choice));  // may append an entry
    box->clear();
    for (const std::string& label : m_model.choiceLabels(choice)) box->addItem(toQString(label));
    const int index = box->findText(current);
    box->setCurrentIndex(index);
    if (box->isEditable()) box->setEditText(current);
    markInvalid(box, m_model.invalid(choice));
    box->setEnabled(editable);
  }
  choiceBox(MoreOptionsChoice::JpgQuality)->setEnabled(editable && m_model.qualityAvailable());
  for (std::size_t i = 0; i < kMoreOptionsSwitchCount; ++i) {
    const auto item = static_cast<MoreOptionsSwitch>(i);
    m_switches[i]->setChecked(m_model.switchValue(item));
    m_switches[i]->setEnabled(editable && m_model.switchAvailable(item));
  }
  const QString border = toQString(m_model.currentBorderSizeLabel());
  m_borderSize->clear();
  for (const std::string& label : m_model.borderSizeLabels()) {
    m_borderSize->addItem(toQString(label));
  }
  m_borderSize->setCurrentIndex(m_borderSize->findText(border));
  m_borderSize->setEditText(border);
  markInvalid(m_borderSize, m_model.borderSizeInvalid());
  m_borderSize->setEnabled(editable);
  m_directory->setText(toQString(m_model.directoryLabel()));
  m_directory->setCursorPosition(0);
  button("browseFolder")->setEnabled(editable);
  button("inputFolder")->setEnabled(editable);
  m_filling = false;
}

}  // namespace tg
