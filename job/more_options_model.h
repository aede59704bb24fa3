// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "job/mosaic_settings.h"

namespace tg {

/// The drop-downs of the More Options window.
enum class MoreOptionsChoice {
  MosaicProcessing,
  ImageCompare,
  ImageDetail,
  ColorChangePriority,
  BorderColor,
  FileFormat,
  JpgQuality,
  MosaicSubdirectory,
  MosaicFileName,
  WebPageSize,
  ConsecutiveFrames,
};
inline constexpr std::size_t kMoreOptionsChoiceCount = 11;

/// The check boxes of the More Options window.
enum class MoreOptionsSwitch {
  UseAllImages,
  OutputTransparency,
  OutputLayers,
  OutputTiff64,
  TextReport,
  CreateMaskFile,
  IndividualTiles,
  SplitMosaic,
};
inline constexpr std::size_t kMoreOptionsSwitchCount = 8;

/// The More Options window without the window: a working copy of the mosaic settings on which
/// the window edits every parameter that the main window does not show, and OK, which runs the
/// parameter rules in full and hands the copy back. Cancel is simply dropping the model. While a
/// job runs nothing may change. Window thread only.
class MoreOptionsModel {
 public:
  /// Starts from a copy of `settings`.
  explicit MoreOptionsModel(const MosaicSettings& settings, bool jobRunning = false);

  /// The working copy (the Advanced Settings dialog edits its rows).
  [[nodiscard]] MosaicSettings& working() { return m_working; }
  [[nodiscard]] bool jobRunning() const { return m_jobRunning; }

  /// The entries of a drop-down, labelled as shown.
  [[nodiscard]] std::vector<std::string> choiceLabels(MoreOptionsChoice choice) const;
  /// The label of the current value (an entry is appended for a value no entry has).
  [[nodiscard]] std::string currentLabel(MoreOptionsChoice choice);
  /// The user chose entry `index`.
  void selectChoice(MoreOptionsChoice choice, std::size_t index);
  /// The user typed `text`: an entry's label (ignoring case) chooses it, a number is appended as
  /// an entry, other text makes the value -1 (refused on OK). True when it matched or parsed.
  bool takeChoiceText(MoreOptionsChoice choice, const std::string& text);
  /// A colour chosen for the custom border colour entry (0x00BBGGRR).
  void setBorderColour(std::uint32_t colour);
  /// The custom border colour entry is chosen but no colour was given yet (the window asks for
  /// one).
  [[nodiscard]] bool borderColourMissing() const { return m_working.borderColor.value < 0; }
  /// The current border colour (0x00BBGGRR), when one is given.
  [[nodiscard]] long borderColour() const { return m_working.borderColor.value; }

  [[nodiscard]] bool switchValue(MoreOptionsSwitch item) const;
  void setSwitch(MoreOptionsSwitch item, bool on);
  /// Whether a box means anything for the chosen output format: layers for PSD/PSB,
  /// transparency for TIFF/PSD/PSB, 64-bit TIFF for the TIFF formats. The parameter rules
  /// switch the others off on OK.
  [[nodiscard]] bool switchAvailable(MoreOptionsSwitch item) const;
  /// Whether the JPEG quality is used by the chosen output format (JPEG, JPEG frames, TIFF with
  /// JPEG compression).
  [[nodiscard]] bool qualityAvailable() const;

  /// The border size: its presets, its current label and typed text.
  [[nodiscard]] std::vector<std::string> borderSizeLabels() const;
  [[nodiscard]] std::string currentBorderSizeLabel();
  bool takeBorderSizeText(const std::string& text);

  /// The output folder: "(Use Directory of Input Image)" or the chosen folder.
  [[nodiscard]] std::string directoryLabel() const;
  /// A folder chosen for the mosaics ("" = the folder of each main image).
  void setDirectory(const std::string& folder);

  /// Whether the value of a drop-down (or the border size) is invalid: the window marks it.
  [[nodiscard]] bool invalid(MoreOptionsChoice choice) const;
  [[nodiscard]] bool borderSizeInvalid() const;

  /// OK: refuses invalid values with "Please specify all the parameters" (the window stays
  /// open); otherwise runs the parameter rules in full on the copy and copies it into
  /// `settings`. Returns false, changing nothing, when refused or while a job runs.
  [[nodiscard]] bool ok(MosaicSettings& settings);

 private:
  [[nodiscard]] IntParameter& parameter(MoreOptionsChoice choice);
  [[nodiscard]] const IntParameter& parameter(MoreOptionsChoice choice) const;
  [[nodiscard]] Parameter<bool>& flag(MoreOptionsSwitch item);
  [[nodiscard]] const Parameter<bool>& flag(MoreOptionsSwitch item) const;

  MosaicSettings m_working;
  bool m_jobRunning;
};

}  // namespace tg
