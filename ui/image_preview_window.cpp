// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/image_preview_window.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "platform/paths.h"
#include "ui/ui_text.h"

namespace tg {
namespace {

constexpr double kZoomStep = 1.25;
constexpr double kMinZoom = 1.0 / 64;
constexpr double kMaxZoom = 16.0;

}  // namespace

/// The picture at the zoom factor. Below 100 % a smoothly reduced copy is kept (it is never
/// larger than the picture); from 100 % up only the exposed part is drawn, enlarged by the
/// painter, so a high zoom never builds a huge copy.
class ImagePreviewWindow::PictureView final : public QWidget {
 public:
  explicit PictureView(QWidget* parent) : QWidget(parent) {}

  void setPicture(const QImage* image, double zoom, QSize size) {
    m_image = image;
    m_zoom = zoom;
    m_reduced = (image != nullptr && zoom < 1.0)
                    ? image->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    : QImage();
    resize(size);
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (m_image == nullptr || m_image->isNull()) return;
    QPainter painter(this);
    if (!m_reduced.isNull()) {
      painter.drawImage(event->rect(), m_reduced, event->rect());
      return;
    }
    const QRect exposed = event->rect();
    const QRectF source(exposed.x() / m_zoom, exposed.y() / m_zoom, exposed.width() / m_zoom,
                        exposed.height() / m_zoom);
    painter.drawImage(QRectF(exposed), *m_image, source);
  }

 private:
  const QImage* m_image = nullptr;
  QImage m_reduced;
  double m_zoom = 1.0;
};

QImage toQImageWithAlpha(const Foto& image) {
  if (image.pixels == nullptr || image.width == 0 || image.height == 0) return {};
  QImage result(static_cast<int>(image.width), static_cast<int>(image.height),
                QImage::Format_RGBA8888);
  if (result.isNull()) return {};
  // A pixel word holds red, green and blue in its low bytes, as RGBA8888 does on a little-endian
  // machine; the top byte is transparency, the opposite of alpha.
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const Pixel* source = image.pixels + static_cast<std::size_t>(y) * image.width;
    auto* target = reinterpret_cast<std::uint32_t*>(result.scanLine(static_cast<int>(y)));
    for (std::uint32_t x = 0; x < image.width; ++x) {
      const std::uint32_t p = source[x];
      const std::uint32_t r = p & 0xFFu, g = (p >> 8) & 0xFFu, b = (p >> 16) & 0xFFu;
      const std::uint32_t alpha = 255u - (p >> 24);
      const unsigned char bytes[4] = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                      static_cast<unsigned char>(b),
                                      static_cast<unsigned char>(alpha)};
      std::memcpy(&target[x], bytes, 4);
    }
  }
  return result;
}

ImagePreviewWindow::ImagePreviewWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("imagePreviewWindow"));
  setWindowTitle(applicationTitle() + QStringLiteral(" - ") + qtr("Image Preview"));
  setSizeGripEnabled(true);
  resize(900, 680);

  m_picture = new PictureView(this);
  m_empty = new QLabel(qtr("No image to show"), this);
  m_empty->setAlignment(Qt::AlignCenter);
  m_scroll = new QScrollArea(this);
  m_scroll->setWidget(m_picture);
  m_scroll->setAlignment(Qt::AlignCenter);
  m_scroll->setBackgroundRole(QPalette::Dark);
  m_scroll->viewport()->installEventFilter(this);

  auto button = [this](const char* text, const char* name, const char* tip) {
    auto* b = new QPushButton(qtr(text), this);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(qtr(tip));
    b->setAutoDefault(false);
    return b;
  };
  QPushButton* in = button(N_("Zoom In"), "zoomIn", N_("Show the picture larger (Ctrl +)."));
  QPushButton* out = button(N_("Zoom Out"), "zoomOut", N_("Show the picture smaller (Ctrl -)."));
  QPushButton* fit = button(N_("Fit"), "fit", N_("Show the whole picture in the window."));
  QPushButton* actual =
      button(N_("100%"), "actualSize", N_("One picture pixel per screen pixel (Ctrl 0)."));
  m_zoomText = new QLabel(this);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close->button(QDialogButtonBox::Close)->setText(qtr("Close"));

  auto* row = new QHBoxLayout;
  row->addWidget(in);
  row->addWidget(out);
  row->addWidget(fit);
  row->addWidget(actual);
  row->addWidget(m_zoomText);
  row->addStretch();
  row->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_scroll, 1);
  layout->addWidget(m_empty, 1);
  layout->addLayout(row);

  connect(in, &QPushButton::clicked, this, &ImagePreviewWindow::zoomIn);
  connect(out, &QPushButton::clicked, this, &ImagePreviewWindow::zoomOut);
  connect(fit, &QPushButton::clicked, this, &ImagePreviewWindow::fitToWindow);
  connect(actual, &QPushButton::clicked, this, [this] { setZoom(1.0); });
  connect(close, &QDialogButtonBox::rejected, this, &ImagePreviewWindow::reject);
  connect(new QShortcut(QKeySequence::ZoomIn, this), &QShortcut::activated, this,
          &ImagePreviewWindow::zoomIn);
  connect(new QShortcut(QKeySequence::ZoomOut, this), &QShortcut::activated, this,
          &ImagePreviewWindow::zoomOut);
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this), &QShortcut::activated, this,
          [this] { setZoom(1.0); });
  redraw();
}

void ImagePreviewWindow::showImage(const Foto& image, const QString& caption) {
  showQImage(toQImageWithAlpha(image), caption);
}

bool ImagePreviewWindow::showFile(const std::string& path) {
  Foto picture;
  if (!loadImageFile(picture, path, kMaxSide, kMaxSide, true)) return false;
  showQImage(toQImageWithAlpha(picture), toQString(fileNameOf(path)));
  return true;
}

void ImagePreviewWindow::showQImage(QImage image, const QString& caption) {
  m_image = std::move(image);
  setWindowTitle(applicationTitle() + QStringLiteral(" - ") +
                 (caption.isEmpty() ? qtr("Image Preview") : caption));
  fitToWindow();
}

void ImagePreviewWindow::setZoom(double zoom) {
  m_zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  redraw();
}

void ImagePreviewWindow::zoomIn() { setZoom(m_zoom * kZoomStep); }

void ImagePreviewWindow::zoomOut() { setZoom(m_zoom / kZoomStep); }

void ImagePreviewWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_fitPending) QTimer::singleShot(0, this, &ImagePreviewWindow::fitToWindow);
}

void ImagePreviewWindow::fitToWindow() {
  // Until the window is shown its viewport has no real size to fit into.
  m_fitPending = !isVisible();
  if (m_image.isNull()) return setZoom(1.0);
  const QSize area = m_scroll->viewport()->size();
  const double fit = std::min(static_cast<double>(area.width()) / m_image.width(),
                              static_cast<double>(area.height()) / m_image.height());
  setZoom(std::min(1.0, fit));
}

QSize ImagePreviewWindow::shownSize() const {
  if (m_image.isNull()) return {};
  return {std::max(1, static_cast<int>(std::lround(m_image.width() * m_zoom))),
          std::max(1, static_cast<int>(std::lround(m_image.height() * m_zoom)))};
}

bool ImagePreviewWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (wheel->modifiers() & Qt::ControlModifier) {
      if (wheel->angleDelta().y() > 0) zoomIn();
      if (wheel->angleDelta().y() < 0) zoomOut();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ImagePreviewWindow::redraw() {
  m_empty->setVisible(m_image.isNull());
  m_scroll->setVisible(!m_image.isNull());
  if (m_image.isNull()) {
    m_picture->setPicture(nullptr, 1.0, QSize(1, 1));
    m_zoomText->clear();
    return;
  }
  m_picture->setPicture(&m_image, m_zoom, shownSize());
  m_zoomText->setText(QStringLiteral("%1 %").arg(std::lround(m_zoom * 100)));
}

}  // namespace tg
