// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QImage>
#include <string>

class QLabel;
class QScrollArea;

namespace tg {

struct Foto;

/// The image preview window: shows a main image or, after a job, the finished mosaic, zoomable
/// (Zoom In, Zoom Out, Fit, 100 %; Ctrl with the mouse wheel, Ctrl +, Ctrl -, Ctrl 0). A mosaic
/// file is decoded at a reduced size (at most `kMaxSide` pixels a side for JPEG), so a gigapixel
/// mosaic does not have to fit in memory to be looked at. Window thread only.
class ImagePreviewWindow final : public QDialog {
  Q_OBJECT

 public:
  /// Largest side decoded from a file.
  static constexpr std::uint32_t kMaxSide = 8192;

  explicit ImagePreviewWindow(QWidget* parent = nullptr);

  /// Shows a copy of `image` with `caption` as the window title, fitted to the window.
  void showImage(const Foto& image, const QString& caption);
  /// Loads the picture at `path` and shows it; the loader tells the user why it cannot.
  bool showFile(const std::string& path);

  /// The zoom factor (1 = one image pixel per screen pixel).
  [[nodiscard]] double zoom() const { return m_zoom; }
  void setZoom(double zoom);
  void zoomIn();
  void zoomOut();
  /// The whole picture in the visible area (never enlarged beyond 100 %).
  void fitToWindow();
  [[nodiscard]] const QImage& image() const { return m_image; }
  /// The size the picture is drawn at.
  [[nodiscard]] QSize shownSize() const;

 protected:
  /// Ctrl with the mouse wheel over the picture zooms instead of scrolling.
  bool eventFilter(QObject* watched, QEvent* event) override;
  /// A picture given before the window was shown is fitted once the window has its size.
  void showEvent(QShowEvent* event) override;

 private:
  void showQImage(QImage image, const QString& caption);
  void redraw();

  class PictureView;

  QImage m_image;
  QScrollArea* m_scroll = nullptr;
  PictureView* m_picture = nullptr;
  QLabel* m_empty = nullptr;
  QLabel* m_zoomText = nullptr;
  double m_zoom = 1.0;
  bool m_fitPending = false;
};

/// A copy of `image` as a QImage with its transparency as alpha (an empty image gives a null
/// QImage). The main preview drops transparency; this window shows it.
[[nodiscard]] QImage toQImageWithAlpha(const Foto& image);

}  // namespace tg
