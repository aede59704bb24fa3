// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "geometry/pattern_layout.h"

namespace tg {

struct Foto;

/// A `Foto` as a QImage (a copy; transparency is dropped).
[[nodiscard]] QImage toQImage(const Foto& image);

/// The preview area of the main window: a picture scaled to fit, keeping its aspect, with the
/// outlines of the pattern preview's cells over it (the main image), or a preview the job sent
/// with its caption. Paints at the screen's pixel ratio.
class PreviewArea final : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewArea(QWidget* parent = nullptr);

  /// Shows `image` (null: the hint text) with the cells `cells` of a mosaic of
  /// `mosaicWidth` x `mosaicHeight` pixels drawn over it.
  void showMainImage(const QImage& image, std::vector<CellRect> cells, std::uint32_t mosaicWidth,
                     std::uint32_t mosaicHeight);
  /// Replaces the outlines (after a refresh) without changing the picture.
  void setCells(std::vector<CellRect> cells, std::uint32_t mosaicWidth, std::uint32_t mosaicHeight);
  /// Shows a preview of the running job with its caption (no outlines).
  void showJobPreview(const QImage& image, const QString& caption);
  /// The text shown without a picture.
  void setHint(const QString& hint);

  [[nodiscard]] const QImage& image() const { return m_image; }
  [[nodiscard]] const QString& caption() const { return m_caption; }
  [[nodiscard]] std::size_t cellCount() const { return m_cells.size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage m_image;
  QString m_caption;
  QString m_hint;
  std::vector<CellRect> m_cells;
  std::uint32_t m_mosaicWidth = 0;
  std::uint32_t m_mosaicHeight = 0;
};

}  // namespace tg
