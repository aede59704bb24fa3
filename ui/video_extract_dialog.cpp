// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/video_extract_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <utility>

#include "imaging/foto.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "ui/preview_area.h"
#include "ui/ui_text.h"

namespace tg {
namespace {

// The preview area; the frame is fitted 2 pixels inside it.
constexpr int kPreviewWidth = 400;
constexpr int kPreviewHeight = 300;

QPushButton* makeButton(QWidget* parent, const char* text, const char* name, const char* tip) {
  auto* button = new QPushButton(qtr(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  if (tip != nullptr) button->setToolTip(qtr(tip));
  button->setAutoDefault(false);
  return button;
}

QLineEdit* makeBox(QWidget* parent, const char* name, bool digitsOnly) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  if (digitsOnly) {
    // Nine digits at most: every value fits the 32-bit fields; the ranges are the model's.
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), box));
    box->setMaximumWidth(110);
  }
  return box;
}

QCheckBox* makeCheckBox(QWidget* parent, const char* text, const char* name) {
  auto* box = new QCheckBox(qtr(text), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

std::uint32_t numberIn(const QLineEdit* box) { return box->text().toUInt(); }

int randomSample() { return static_cast<int>(QRandomGenerator::global()->bounded(32768U)); }

}  // namespace

VideoExtractDialog::VideoExtractDialog(CDialogGetAviParam& parameters, Video video, QWidget* parent)
    : QDialog(parent), m_parameters(parameters), m_working(parameters), m_video(std::move(video)) {
  setObjectName(QStringLiteral("videoExtractDialog"));
  setWindowTitle(applicationTitle() + QStringLiteral(" - ") + qtr("Extract Video"));

  // The sample frame with the rectangle.
  auto* sample = new QGroupBox(qtr("Sample Frame"), this);
  m_preview = new QLabel(sample);
  m_preview->setObjectName(QStringLiteral("preview"));
  m_preview->setFixedSize(kPreviewWidth, kPreviewHeight);
  m_preview->setAlignment(Qt::AlignCenter);
  m_preview->setStyleSheet(QStringLiteral("background-color: black; color: white;"));
  m_sampleLabel = new QLabel(sample);
  auto* sampleButtons = new QHBoxLayout;
  sampleButtons->addWidget(makeButton(this, N_("First Frame"), "firstFrame",
                                      N_("Show the first frame of the selected range.")));
  sampleButtons->addWidget(makeButton(this, N_("Random Frame"), "randomFrame",
                                      N_("Show a random frame of the selected range.")));
  sampleButtons->addWidget(makeButton(this, N_("Last Frame"), "lastFrame",
                                      N_("Show the last frame of the selected range.")));
  auto* sampleLayout = new QVBoxLayout(sample);
  sampleLayout->addWidget(m_preview, 0, Qt::AlignCenter);
  sampleLayout->addWidget(m_sampleLabel);
  sampleLayout->addLayout(sampleButtons);
  sampleLayout->addStretch();

  // The rectangle.
  auto* position = new QGroupBox(qtr("Frame Size/Position"), this);
  auto* positionGrid = new QGridLayout(position);
  positionGrid->addWidget(new QLabel(qtr("Top:"), position), 0, 0);
  positionGrid->addWidget(makeBox(position, "top", true), 0, 1);
  positionGrid->addWidget(new QLabel(qtr("Left:"), position), 0, 2);
  positionGrid->addWidget(makeBox(position, "left", true), 0, 3);
  positionGrid->addWidget(new QLabel(qtr("Width:"), position), 1, 0);
  positionGrid->addWidget(makeBox(position, "width", true), 1, 1);
  positionGrid->addWidget(new QLabel(qtr("Height:"), position), 1, 2);
  positionGrid->addWidget(makeBox(position, "height", true), 1, 3);
  positionGrid->addWidget(makeButton(this, N_("Show Rectangle"), "showRectangle",
                                     N_("Draw the rectangle of the values above.")),
                          2, 0, 1, 2);
  positionGrid->addWidget(
      makeButton(this, N_("Auto"), "auto", N_("Find the rectangle without the dark borders.")), 2,
      2, 1, 2);

  // The range.
  auto* selection = new QGroupBox(qtr("Frame Selection"), this);
  auto* selectionGrid = new QGridLayout(selection);
  selectionGrid->addWidget(new QLabel(qtr("First:"), selection), 0, 0);
  selectionGrid->addWidget(makeBox(selection, "first", true), 0, 1);
  selectionGrid->addWidget(new QLabel(qtr("Last:"), selection), 0, 2);
  selectionGrid->addWidget(makeBox(selection, "last", true), 0, 3);
  selectionGrid->addWidget(new QLabel(qtr("Count:"), selection), 1, 0);
  selectionGrid->addWidget(makeBox(selection, "count", true), 1, 1);

  // The output.
  auto* output = new QGroupBox(qtr("Output Options"), this);
  auto* outputGrid = new QGridLayout(output);
  auto* formats = new QHBoxLayout;
  formats->addWidget(makeCheckBox(output, N_("JPEG"), "jpeg"));
  formats->addWidget(makeCheckBox(output, N_("BMP"), "bmp"));
  formats->addWidget(makeCheckBox(output, N_("Video Clips"), "clips"));
  formats->addStretch();
  outputGrid->addWidget(new QLabel(qtr("File Format:"), output), 0, 0);
  outputGrid->addLayout(formats, 0, 1, 1, 3);
  outputGrid->addWidget(new QLabel(qtr("Quality:"), output), 1, 0);
  outputGrid->addWidget(makeBox(output, "quality", true), 1, 1);
  outputGrid->addWidget(new QLabel(qtr("File Prefix:"), output), 1, 2);
  outputGrid->addWidget(makeBox(output, "prefix", false), 1, 3);

  auto* right = new QVBoxLayout;
  right->addWidget(position);
  right->addWidget(selection);
  right->addWidget(output);
  right->addStretch();
  auto* columns = new QHBoxLayout;
  columns->addWidget(sample);
  columns->addLayout(right);

  auto* notes = new QLabel(
      qtr("The extraction will create NEW subdirectories called FRAMES001, FRAMES002.") +
          QStringLiteral("\n") +
          qtr("The white rectangle shows the part of the frame that will be extracted. Modify "
              "Top/Left/Size values and press the button Show Rectangle to update that "
              "rectangle."),
      this);
  notes->setWordWrap(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(makeButton(this, N_("Show Advanced Settings"), "showAdvanced",
                                N_("Change the thresholds and frame counts of the extraction.")));
  buttons->addStretch();
  QPushButton* extract = makeButton(this, N_("Extract"), "extract", nullptr);
  extract->setDefault(true);
  buttons->addWidget(extract);
  buttons->addWidget(makeButton(this, N_("Cancel"), "cancel", nullptr));

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(notes);
  layout->addLayout(buttons);

  button("showAdvanced")->setVisible(false);
  connect(button("showAdvanced"), &QPushButton::clicked, this, [this] {
    if (m_openAdvanced) m_openAdvanced();
  });
  connect(extract, &QPushButton::clicked, this, &VideoExtractDialog::accept);
  connect(button("cancel"), &QPushButton::clicked, this, &VideoExtractDialog::reject);
  connect(button("showRectangle"), &QPushButton::clicked, this, [this] {
    readControls();
    refreshPreview(true);
  });
  connect(button("auto"), &QPushButton::clicked, this, &VideoExtractDialog::detectBorders);
  connect(button("firstFrame"), &QPushButton::clicked, this,
          [this] { chooseSample(CDialogGetAviParam::Sample::First); });
  connect(button("randomFrame"), &QPushButton::clicked, this,
          [this] { chooseSample(CDialogGetAviParam::Sample::Random); });
  connect(button("lastFrame"), &QPushButton::clicked, this,
          [this] { chooseSample(CDialogGetAviParam::Sample::Last); });

  fillControls();
  loadSampleFrame();
  refreshPreview(false);
}

VideoExtractDialog::~VideoExtractDialog() = default;

void VideoExtractDialog::setAdvancedSettingsCommand(std::function<void()> open) {
  m_openAdvanced = std::move(open);
  button("showAdvanced")->setVisible(static_cast<bool>(m_openAdvanced));
}

QLineEdit* VideoExtractDialog::box(const char* objectName) const {
  return findChild<QLineEdit*>(QString::fromLatin1(objectName));
}

QPushButton* VideoExtractDialog::button(const char* objectName) const {
  return findChild<QPushButton*>(QString::fromLatin1(objectName));
}

QCheckBox* VideoExtractDialog::checkBox(const char* objectName) const {
  return findChild<QCheckBox*>(QString::fromLatin1(objectName));
}

void VideoExtractDialog::readControls() {
  m_working.top = numberIn(box("top"));
  m_working.left = numberIn(box("left"));
  m_working.width = numberIn(box("width"));
  m_working.height = numberIn(box("height"));
  m_working.firstFrame = numberIn(box("first"));
  m_working.lastFrame = numberIn(box("last"));
  m_working.imageCount = static_cast<std::int32_t>(numberIn(box("count")));
  m_working.jpegQuality = static_cast<std::int32_t>(numberIn(box("quality")));
  m_working.filePrefix = toStdString(box("prefix")->text());
  m_working.saveJpeg = checkBox("jpeg")->isChecked() ? 1 : 0;
  m_working.saveBmp = checkBox("bmp")->isChecked() ? 1 : 0;
  m_working.extractClips = checkBox("clips")->isChecked() ? 1 : 0;
}

void VideoExtractDialog::fillControls() {
  box("top")->setText(QString::number(m_working.top));
  box("left")->setText(QString::number(m_working.left));
  box("width")->setText(QString::number(m_working.width));
  box("height")->setText(QString::number(m_working.height));
  box("first")->setText(QString::number(m_working.firstFrame));
  box("last")->setText(QString::number(m_working.lastFrame));
  box("count")->setText(QString::number(m_working.imageCount));
  box("quality")->setText(QString::number(m_working.jpegQuality));
  box("prefix")->setText(toQString(m_working.filePrefix));
  checkBox("jpeg")->setChecked(m_working.saveJpeg != 0);
  checkBox("bmp")->setChecked(m_working.saveBmp != 0);
  checkBox("clips")->setChecked(m_working.extractClips != 0);
}

void VideoExtractDialog::loadSampleFrame() {
  m_frame = m_video.readFrame ? m_video.readFrame(m_working.sampleFrame) : nullptr;
  m_sampleLabel->setText(
      toQString(formatText(tg::tr("Frame# %d"), static_cast<int>(m_working.sampleFrame + 1))));
}

void VideoExtractDialog::refreshPreview(bool tell) {
  m_previewImage = {};
  if (m_frame) {
    if (const auto picture = m_working.previewPicture(*m_frame, kPreviewWidth, kPreviewHeight)) {
      m_previewImage = toQImage(*picture);
    }
  }
  m_preview->setPixmap(QPixmap::fromImage(m_previewImage));
  if (tell) {
    if (const auto problem = m_working.rectangleProblem(m_video.width, m_video.height)) {
      showMessage(*problem);
    }
  }
}

void VideoExtractDialog::chooseSample(CDialogGetAviParam::Sample which) {
  readControls();
  if (const auto problem = m_working.chooseSample(which, m_video.frameCount, randomSample())) {
    showMessage(*problem);
    return;
  }
  loadSampleFrame();
  refreshPreview(true);
}

void VideoExtractDialog::detectBorders() {
  readControls();
  if (!m_video.readFrame ||
      !m_working.autoRectangle(m_video.readFrame, m_video.frameCount, randomSample))
    return;
  fillControls();
  loadSampleFrame();
  refreshPreview(true);
}

void VideoExtractDialog::accept() {
  readControls();
  if (const auto problem = m_working.problem(m_video.width, m_video.height)) {
    showMessage(*problem);
    return;
  }
  m_parameters = m_working;
  QDialog::accept();
}

}  // namespace tg
