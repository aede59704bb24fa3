// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/preview_area.h"

#include <QPainter>
#include <QPalette>
#include <cstring>

#include "imaging/foto.h"

namespace tg {

QImage toQImage(const Foto& image) {
  if (image.width == 0 || image.height == 0) return {};
  // Pixel words hold red in the low byte: in memory R, G, B, T, which is RGBX8888.
  QImage result(static_cast<int>(image.width), static_cast<int>(image.height),
                QImage::Format_RGBX8888);
  for (std::uint32_t y = 0; y < image.height; ++y) {
    std::memcpy(result.scanLine(static_cast<int>(y)), image.row(y),
                static_cast<std::size_t>(image.width) * 4);
  }
  return result;
}

PreviewArea::PreviewArea(QWidget* parent) : QWidget(parent) {
  setMinimumSize(320, 240);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setAutoFillBackground(true);
}

void PreviewArea::showMainImage(const QImage& image, std::vector<CellRect> cells,
                                std::uint32_t mosaicWidth, std::uint32_t mosaicHeight) {
  m_image = image;
  m_caption.clear();
  setCells(std::move(cells), mosaicWidth, mosaicHeight);
}

void PreviewArea::setCells(std::vector<CellRect> cells, std::uint32_t mosaicWidth,
                           std::uint32_t mosaicHeight) {
  m_cells = std::move(cells);
  m_mosaicWidth = mosaicWidth;
  m_mosaicHeight = mosaicHeight;
  update();
}

void PreviewArea::showJobPreview(const QImage& image, const QString& caption) {
  m_image = image;
  m_caption = caption;
  m_cells.clear();
  update();
}

void PreviewArea::setHint(const QString& hint) {
  m_hint = hint;
  update();
}

void PreviewArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Dark));
  const int captionHeight = m_caption.isEmpty() ? 0 : fontMetrics().height() + 6;
  const QRect area = rect().adjusted(6, 6, -6, -6 - captionHeight);
  if (m_image.isNull()) {
    painter.setPen(palette().color(QPalette::BrightText));
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, m_hint);
    return;
  }
  QSize size = m_image.size();
  size.scale(area.size(), Qt::KeepAspectRatio);
  const QRect target(area.left() + (area.width() - size.width()) / 2,
                     area.top() + (area.height() - size.height()) / 2, size.width(), size.height());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, m_image);
  if (!m_caption.isEmpty()) {
    painter.setPen(palette().color(QPalette::BrightText));
    painter.drawText(QRect(0, height() - captionHeight, width(), captionHeight), Qt::AlignCenter,
                     m_caption);
  }
  if (m_cells.empty() || m_mosaicWidth == 0 || m_mosaicHeight == 0) return;
  // The mosaic covers the whole picture: cells scale from mosaic pixels to the drawn picture.
  const double sx = static_cast<double>(target.width()) / m_mosaicWidth;
  const double sy = static_cast<double>(target.height()) / m_mosaicHeight;
  QPen pen(QColor(255, 255, 255, 150));
  pen.setCosmetic(true);
  painter.setPen(pen);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setClipRect(target);
  for (const CellRect& cell : m_cells) {
    painter.drawRect(QRectF(target.left() + cell.left * sx, target.top() + cell.top * sy,
                            cell.width * sx, cell.height * sy));
  }
}

}  // namespace tg
