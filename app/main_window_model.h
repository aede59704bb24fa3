// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/mosaic_geometry.h"
#include "geometry/pattern_layout.h"
#include "geometry/units/quantity.h"
#include "imaging/cached_image.h"

namespace tg {

class MosaicJob;
class SettingsSetsModel;
struct Foto;
struct TileImagesList;

/// The parameter drop-downs of the main window, in the order they are laid out.
enum class ParameterControl {
  MosaicSize,
  Resolution,
  TileSize,
  TileDuplication,
  DuplicateSpacing,
  ColorChange,
  Pattern,
  TileAdapt,
  MultiSize2,
  MultiSize4,
};
inline constexpr std::size_t kParameterControlCount = 10;

/// The five tile-variant check boxes: original, mirror, flip vertically, half turn, quarter turns.
using VariantBoxes = std::array<bool, 5>;

/// `TileVariants` from the boxes: bits 2, 4, 8, 16, and 32 with 64 for the quarter turns.
[[nodiscard]] std::uint32_t variantsFromBoxes(const VariantBoxes& boxes);
/// The boxes for `TileVariants`: each box checked when its bit is set; the quarter-turn box when
/// 32 or 64 is.
[[nodiscard]] VariantBoxes boxesFromVariants(std::uint32_t variants);

/// One entry of the display-unit drop-down: the unit and its plural long name.
struct DisplayUnitChoice {
  UnitId unit;
  std::string label;
};
/// The display units of the information lines: pixels (the initial choice), inches, cm, tiles.
[[nodiscard]] std::vector<DisplayUnitChoice> displayUnitChoices();

/// What one information refresh found, for the window to show.
struct MainWindowInformation {
  std::string message;       ///< the status message ("" when none)
  std::uint32_t colour = 0;  ///< 0 for "All Parameters are correct :-)", else 190
  bool parametersCorrect = false;
  std::vector<std::string> informationLines;
  std::vector<std::string> tileLines;
  /// Controls whose value is invalid, by `ParameterControl`.
  std::array<bool, kParameterControlCount> invalid{};
  /// The parameter rules changed values: the controls show the settings again.
  bool controlsChanged = false;
  bool createEnabled = false;     ///< the parameters are correct or a job runs
  bool removeEnabled = false;     ///< at least one main image is listed
  bool removeAllEnabled = false;  ///< at least two are
  MosaicGeometry geometry;        ///< of the selected main image
  bool geometryValid = false;
  /// The pattern preview of the geometry: its figures and the first cells (at most
  /// `kPreviewCellLimit`) in mosaic pixels, for the outlines over the main image.
  PatternLayout layout;
  std::vector<CellRect> previewCells;
};

/// The main window without the window: its list of main images with their cached pictures, its
/// parameter controls as texts, the tile-variant boxes, the display unit and the information
/// refresh that re-checks the parameters after every change. The window shows what this model
/// answers and hands it every user action. Window thread only; the job, the list and the
/// settings sets must outlive it.
class MainWindowModel {
 public:
  /// Outlines drawn over the preview at most (the counts cover every cell).
  static constexpr std::size_t kPreviewCellLimit = 20000;

  MainWindowModel(MosaicJob& job, TileImagesList& list, SettingsSetsModel& sets);

  // ---- Main images ---------------------------------------------------------------------------

  /// A file chosen or dropped: a mosaic settings file (a name of at least five characters ending
  /// in ".txt", any case) is loaded as settings; anything else goes through `addMainImage`.
  /// True when a main image was added.
  bool openFile(const std::string& path, bool select);
  /// Loads `path` through the cache (the loader tells the user why it fails; nothing is added and
  /// the result is -1). A path equal to a listed one ignoring case is not listed again. With
  /// `select` the entry becomes the selection. Returns the entry's index.
  int addMainImage(const std::string& path, bool select);
  /// Files dropped on the window: each path that exists and is not a folder goes through
  /// `openFile`, selecting until the first main image was added. Paths of 2000 characters or
  /// more are ignored. True when a main image was added.
  bool dropFiles(const std::vector<std::string>& paths);
  /// Releases the selected entry with its picture and selects the first entry.
  void removeMainImage();
  /// Empties the list and the cache.
  void removeAllMainImages();
  /// Selects entry `index` (-1 or out of range: none) and takes its size from the cache. True
  /// when the selected picture changed (the preview is drawn again).
  bool selectMainImage(int index);

  [[nodiscard]] const std::vector<std::string>& mainImages() const { return m_images; }
  [[nodiscard]] int selectedIndex() const { return m_selected; }
  /// The selected path ("" when none).
  [[nodiscard]] std::string selectedPath() const;
  /// The selected picture (null when none).
  [[nodiscard]] const Foto* selectedImage();
  [[nodiscard]] std::uint32_t mainImageWidth() const { return m_width; }
  [[nodiscard]] std::uint32_t mainImageHeight() const { return m_height; }

  // ---- Controls ------------------------------------------------------------------------------

  /// The entries of the drop-down `control`, labelled as shown.
  [[nodiscard]] std::vector<std::string> choiceLabels(ParameterControl control) const;
  /// The label of the control's current value; a value without an entry gets one appended.
  [[nodiscard]] std::string currentLabel(ParameterControl control);
  /// Takes the text of `control`: an entry's label (ignoring case) chooses it; other text is
  /// parsed in the parameter's unit and appended as an entry when it parses, else the value
  /// becomes -1. True when the text matched or parsed.
  bool takeControlText(ParameterControl control, const std::string& text);
  /// Takes the tile-variant boxes.
  void takeVariantBoxes(const VariantBoxes& boxes);
  /// The boxes of the current `TileVariants`.
  [[nodiscard]] VariantBoxes variantBoxes() const;
  /// Whether the control's value is invalid (the window marks it).
  [[nodiscard]] bool invalid(ParameterControl control) const;

  /// The display unit of the information lines (pixels at first; not saved).
  void setDisplayUnit(UnitId unit) { m_displayUnit = unit; }
  [[nodiscard]] UnitId displayUnit() const { return m_displayUnit; }

  // ---- The information refresh ---------------------------------------------------------------

  /// The information refresh with the controls already taken: marks invalid controls, applies
  /// the parameter rules without the duplicates rule, numbers the tile groups and configures the
  /// comparison when no job runs, computes the geometry, the status message and its colour
  /// (published on the job's status line when not empty), the information and tile lines and
  /// which commands are available. A refresh asked while one runs returns the last result.
  const MainWindowInformation& refreshInformation(bool jobRunning);
  /// The result of the last refresh.
  [[nodiscard]] const MainWindowInformation& information() const { return m_info; }

 private:
  std::vector<std::string> tileLines(const MainWindowInformation& info) const;

  MosaicJob& m_job;
  TileImagesList& m_list;
  SettingsSetsModel& m_sets;
  CachedImage m_cache;
  std::vector<std::string> m_images;
  int m_selected = -1;
  std::string m_shownPath;
  std::uint32_t m_width = 0;
  std::uint32_t m_height = 0;
  UnitId m_displayUnit = UnitId::Pixel;
  MainWindowInformation m_info;
  bool m_refreshing = false;
};

}  // namespace tg
