// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>

#include "video/avi_extract_params.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tg {

struct Foto;

/// The parameters dialog of a video extraction: a thin view over `CDialogGetAviParam`. It shows
/// a sample frame of the video with the cut rectangle drawn in white, the rectangle (Top, Left,
/// Width, Height, Show Rectangle, Auto), the frame range and image count, the output options
/// (JPEG, BMP, video clips, quality, prefix), and the buttons that move the sample frame. The
/// dialog edits a working copy; Extract checks it (`CDialogGetAviParam::problem`, the message is
/// shown and the dialog stays open) and only then writes it back. Window thread only.
class VideoExtractDialog final : public QDialog {
  Q_OBJECT

 public:
  /// What the dialog needs of the open video: its frame size and count, and a reader of whole
  /// frames (nothing when a frame cannot be read).
  struct Video {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frameCount = 0;
    std::function<std::unique_ptr<Foto>(std::uint32_t)> readFrame;
  };

  /// A dialog over `parameters` (preset by the caller), which must outlive it.
  VideoExtractDialog(CDialogGetAviParam& parameters, Video video, QWidget* parent = nullptr);
  ~VideoExtractDialog() override;

  /// What "Show Advanced Settings" opens; the button is hidden until one is set.
  void setAdvancedSettingsCommand(std::function<void()> open);

  /// The controls by object name, for tests: the boxes "top", "left", "width", "height",
  /// "first", "last", "count", "quality", "prefix"; the buttons "showAdvanced", "extract",
  /// "cancel", "showRectangle", "firstFrame", "randomFrame", "lastFrame", "auto"; the check
  /// boxes "jpeg", "bmp", "clips".
  [[nodiscard]] QLineEdit* box(const char* objectName) const;
  [[nodiscard]] QPushButton* button(const char* objectName) const;
  [[nodiscard]] QCheckBox* checkBox(const char* objectName) const;
  /// The picture the preview shows now (null when the sample frame could not be read).
  [[nodiscard]] const QImage& previewImage() const { return m_previewImage; }
  /// The working copy as the controls last set it.
  [[nodiscard]] const CDialogGetAviParam& working() const { return m_working; }

 public slots:
  /// Extract: closes only when the values pass the checks.
  void accept() override;

 private:
  /// Takes the controls' values into the working copy.
  void readControls();
  /// Puts the working copy into the controls.
  void fillControls();
  /// Reads the sample frame again (after it moved).
  void loadSampleFrame();
  /// Draws the preview; with `tell`, a rectangle that does not fit the frame is reported.
  void refreshPreview(bool tell);
  void chooseSample(CDialogGetAviParam::Sample which);
  void detectBorders();

  CDialogGetAviParam& m_parameters;
  CDialogGetAviParam m_working;
  Video m_video;
  std::unique_ptr<Foto> m_frame;
  QImage m_previewImage;
  QLabel* m_preview = nullptr;
  QLabel* m_sampleLabel = nullptr;
  std::function<void()> m_openAdvanced;
};

}  // namespace tg
