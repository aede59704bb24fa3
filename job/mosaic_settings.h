// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/advanced_settings.h"
#include "geometry/units/quantity.h"
#include "platform/wine.h"

namespace tg {

/// One entry of a parameter's choice list.
struct ChoiceEntry {
  long value = 0;
  /// The label: an English catalogue text when `translate` is set, else shown as it stands.
  /// Empty: the entry is labelled with its value (see `choiceEntryLabel`).
  std::string label;
  /// Untranslated text shown after the label (the extension of an output format).
  std::string suffix;
  bool translate = true;
};

/// The ordered entries a parameter offers in the window, the entry shown, and how entries
/// without a text label are labelled.
struct ChoiceList {
  /// Unit in which entries without a label print their value (`formatQuantity`).
  UnitId labelUnit = UnitId::None;
  /// Entries without a label are colours ("%d,%d,%d" + " RGB Value"), not quantities.
  bool colourLabels = false;
  std::vector<ChoiceEntry> entries;
  /// Index of the entry shown; -1 before the first `displayLabel`.
  int shown = -1;
  /// Set when the value changed since the entry shown was chosen.
  bool changed = true;
};

/// An integer parameter: its value, its is-set flag, its valid range and its choice list.
struct IntParameter {
  long value = 0;
  bool isSet = false;
  long minimum = 0;
  long maximum = 0;
  ChoiceList list;

  /// Sets the value, marks it as set and its choice list as changed.
  void set(long newValue) {
    value = newValue;
    isSet = true;
    list.changed = true;
  }
  /// Chooses entry `index` of the list as the window does: the value becomes the entry's and
  /// the entry shown stays (the list is not marked as changed). An index out of range is ignored.
  void select(std::size_t index);
  /// Whether `minimum <= value <= maximum`.
  [[nodiscard]] bool inRange() const { return value >= minimum && value <= maximum; }
};

/// A parameter of another type with its is-set flag.
template <typename T>
struct Parameter {
  T value{};
  bool isSet = false;

  void set(const T& newValue) {
    value = newValue;
    isSet = true;
  }
};

/// One labelled preset of a quantity parameter (the presets themselves belong to the geometry).
template <typename T>
struct QuantityPreset {
  std::string label;  ///< typed or catalogue text; empty: labelled by `formatSize`/`formatQuantity`
  T value;
  bool translate = false;  ///< `label` is an English catalogue text
};

/// A quantity parameter (mosaic size, resolution, tile size, border size) with its presets.
template <typename T>
struct QuantityParameter {
  T value{};
  bool isSet = false;
  std::vector<QuantityPreset<T>> presets;
  int shown = -1;
  bool changed = true;

  void set(const T& newValue) {
    value = newValue;
    isSet = true;
    changed = true;
  }
};

/// Every parameter of a mosaic. One instance lives in the mosaic job; the window edits it on
/// the window thread and the job thread reads it while a job runs (never both at once).
/// A plain value type: copies are independent.
struct MosaicSettings {
  /// Creates the record with the values of the Default Settings set, none of them marked as
  /// set, every choice list filled, and the advanced rows with their keys and factory defaults
  /// but empty values. Without video, the AVI formats are not offered and the video rows of the
  /// advanced settings are not set up.
  explicit MosaicSettings(bool videoAvailable = !underWine());

  bool videoAvailable;

  QuantityParameter<SizeValue> mosaicSize;  ///< `MosaicSizeUnit`, `MosaicSizeWidth`, `...Height`
  QuantityParameter<Quantity> resolution;   ///< `ResolutionUnit`, `ResolutionSize`
  QuantityParameter<Quantity> tileSize;     ///< `TileUnit`, `TileSize`
  IntParameter multiSize2;                  ///< `MultiSize2`: percent of cells split in halves
  IntParameter multiSize4;                  ///< `MultiSize4`: percent split in quarters
  IntParameter tileDuplication;             ///< `TileDuplication`: 0 unlimited, n uses at most
  IntParameter duplicateSpacing;            ///< `DuplicateSpacing`: tiles between uses
  IntParameter pattern;                     ///< `Pattern`: cell pattern id 1..10
  IntParameter tileAdapt;                   ///< `TileAdapt`: 0, 1, 2
  IntParameter colorChange;                 ///< `ColorChange`: percent
  Parameter<std::uint32_t> tileVariants;    ///< `TileVariants`: set of variant bits
  IntParameter mosaicProcessing;            ///< `MosaicProcessing`: algorithm id 1..9
  IntParameter imageCompare;                ///< `ImageCompare`: 1..3
  IntParameter imageDetail;                 ///< `ImageDetail`: 1..8
  IntParameter colorChangePriority;         ///< `ColorChangePriority`: 1..5
  Parameter<bool> useAllImages;             ///< `UseAllImages`
  IntParameter fileFormat;                  ///< `FileFormat`: output format id 100..111
  IntParameter jpgQuality;                  ///< `JPGQuality`: 1..100
  Parameter<bool> outputTransparency;       ///< `OutputTransparency`
  Parameter<bool> outputLayers;             ///< `OutputLayers`
  Parameter<bool> outputTiff64;             ///< `OutputTIFF64`
  Parameter<std::string> mosaicDirectory;   ///< `MosaicDirectory`: "" = the main image's folder
  IntParameter mosaicSubdirectory;          ///< `MosaicSubdirectory`: 1 none, 2 overwrite, 3 new
  IntParameter mosaicFileName;              ///< `MosaicFileName`: 1 overwrite, 2 new
  IntParameter webPageSize;                 ///< `WebPageSize`: 0 = no web page
  Parameter<bool> textReport;               ///< `TextReport`
  Parameter<bool> individualTiles;          ///< `IndividualTiles`
  Parameter<bool> splitMosaic;              ///< `SplitMosaic`
  Parameter<bool> createMaskFile;           ///< `CreateMaskFile`
  IntParameter consecutiveFrames;           ///< `ConsecutiveFrames`: 0 off
  IntParameter borderColor;                 ///< `BorderColor`: 0x00BBGGRR, -1 = not given
  QuantityParameter<Quantity> borderSize;   ///< `BorderSizeUnit`, `BorderSizeWidth`

  /// The 29 advanced rows.
  AdvancedSettings advanced;

  /// Width and height in pixels of one piece of a split mosaic (split dialog); 0 = not chosen.
  unsigned splitPieceWidth = 0;
  unsigned splitPieceHeight = 0;
  /// The job writes the mosaic in black and white.
  bool blackAndWhiteOutput = false;
};

/// The label of an entry of `list` ("High Quality", "3 times", "nnn %", "JPEG Format (.JPG)").
[[nodiscard]] std::string choiceEntryLabel(const ChoiceList& list, const ChoiceEntry& entry);

/// The label of the parameter's current value. While the list is not marked as changed, the
/// entry shown stays. Otherwise the first entry with the value is shown; when none has it, an
/// entry labelled with the value is appended, shown, and kept in the list. Unmarks the list.
[[nodiscard]] std::string displayLabel(IntParameter& parameter);

/// The label of a quantity preset: its text (translated when it is a catalogue text), else its
/// value through `formatSize` or `formatQuantity`.
[[nodiscard]] std::string presetLabel(const QuantityPreset<SizeValue>& preset);
[[nodiscard]] std::string presetLabel(const QuantityPreset<Quantity>& preset);

/// `displayLabel` for a quantity parameter: the preset shown stays while the value is unchanged;
/// otherwise the first preset with the value, or a preset appended for it.
[[nodiscard]] std::string displayLabel(QuantityParameter<SizeValue>& parameter);
[[nodiscard]] std::string displayLabel(QuantityParameter<Quantity>& parameter);

/// Text typed into a parameter's drop-down. A text equal, ignoring case, to the label of an
/// entry selects that entry. Otherwise the text is parsed (a plain number for integer
/// parameters, `parseSizeText` for the mosaic size, `parseQuantityText` with `constraint` for
/// the other quantities); a value that parses is appended with the typed text as its label and
/// selected. Text that does not parse sets the value (both sides of a size) to -1, which leaves
/// the parameter invalid. Returns true when the text matched or parsed.
bool applyTypedText(IntParameter& parameter, const std::string& text);
bool applyTypedText(QuantityParameter<SizeValue>& parameter, const std::string& text);
bool applyTypedText(QuantityParameter<Quantity>& parameter, const std::string& text,
                    const UnitConstraint& constraint);

/// The label of `MosaicDirectory`: "(Use Directory of Input Image)" for the empty path, else
/// the path.
[[nodiscard]] std::string mosaicDirectoryLabel(const MosaicSettings& settings);

/// Applies the parameter rules in order (consecutive frames force Faster and no duplicates;
/// unless `skipDuplicatesRule`, spacing and duplication agree on "no duplicates"; layers only
/// for PSD/PSB; transparency only for TIFF/PSD/PSB; a new subdirectory implies overwriting the
/// mosaic file). Every value a rule changes is marked as set. Returns true when any value
/// changed. With `notes`, each rule that changed a value adds one translated line saying what
/// changed and why ("DuplicateSpacing 0 means no duplicates: TileDuplication 0 becomes 1, ...").
[[nodiscard]] bool applyParameterRules(MosaicSettings& settings, bool skipDuplicatesRule,
                                       std::vector<std::string>* notes = nullptr);

/// True when every parameter is valid (ranges, allowed units, at least one tile variant, a
/// border colour within 0..0xFFFFFF, a mosaic size above 0, `MosaicDirectory` not "-").
[[nodiscard]] bool validateParameters(const MosaicSettings& settings);

/// The resolution in PPI truncated to an integer, as the display functions take it (0 when the
/// resolution is missing, not positive or not in PPI/DPI).
[[nodiscard]] unsigned resolutionInPpi(const MosaicSettings& settings);

/// Output format ids.
inline constexpr long kFormatJpeg = 100;
inline constexpr long kFormatBmp = 101;
inline constexpr long kFormatTiff = 102;
inline constexpr long kFormatPpm = 103;
inline constexpr long kFormatRaw = 104;
inline constexpr long kFormatAviUncompressed = 105;
inline constexpr long kFormatAviCompressed = 106;
inline constexpr long kFormatMosaic = 107;
inline constexpr long kFormatVideoJpeg = 108;
inline constexpr long kFormatPsd = 109;
inline constexpr long kFormatPsb = 110;
inline constexpr long kFormatTiffJpeg = 111;

}  // namespace tg
