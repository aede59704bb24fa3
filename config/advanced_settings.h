// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>

#include "platform/wine.h"

namespace tg {

class SettingsStore;

/// Number of advanced rows.
inline constexpr std::size_t kAdvancedRowCount = 29;

/// The index of every advanced row. Other folders read a row by this index and convert its text
/// themselves (`AdvancedSettings::rowValue`, `rowLong`, `rowDouble`).
enum class AdvancedRow : std::size_t {
  ThreadCount = 0,                ///< Options.ThreadCount: 0 detect, 1 single, n, -1 detected count
  MemoryBlockSizeMB = 1,          ///< Options.MemoryBlockSizeMB
  MemoryMaxSizeMB = 2,            ///< Options.MemoryMaxSizeMB
  Priority = 3,                   ///< Options.Priority: IDLE, LOWEST, BELOW_NORMAL, ...
  MosaicFastPreview = 4,          ///< Options.MosaicFastPreview: "1"/"0"
  TileListLoad = 5,               ///< Options.TileListLoad: "1"/"0"
  TileListSave = 6,               ///< Options.TileListSave: "1"/"0"
  FinalAction = 7,                ///< Options.FinalAction: nothing, openfolder, ask
  TilePriorityArea = 8,           ///< Options.TilePriorityArea: AVERAGE, CENTER_SMALL, ...
  TilePrioritySize = 9,           ///< Options.TilePrioritySize: AVERAGE, LOWER, LOWEST, HIGHER
  TileSplit = 10,                 ///< Options.TileSplit: AUTO, PRIORITY_AND_QUALITY, ...
  PriorityRed = 11,               ///< ImageCompare.ProrityRed: 0..100
  PriorityGreen = 12,             ///< ImageCompare.ProrityGreen: 0..100
  PriorityBlue = 13,              ///< ImageCompare.ProrityBlue: 0..100
  MediumDetail = 14,              ///< ImageCompare.MediumDetail: -1 or 0..100
  NativeFileOpen = 15,            ///< File.NativeFileOpen: "1"/"0"
  WebPageDontCopyTiles = 16,      ///< WebPage.DontCopyTiles: "1" copies the tiles
  FrameCountFromVideoTile = 17,   ///< VideoMosaic.FrameCountFromVideoTile: number or MIN/MAX/AVG*f
  FrameRateFromVideoTile = 18,    ///< VideoMosaic.FrameRateFromVideoTile: number or FREQ/MIN/MAX*f
  FrameCountFromImage = 19,       ///< VideoMosaic.FrameCountFromImage
  FrameRateFromImage = 20,        ///< VideoMosaic.FrameRateFromImage: 0..100
  ReverseLoop = 21,               ///< VideoMosaic.ReverseLoop: NONE, NECESSARY, ALL
  FourCC = 22,                    ///< VideoMosaic.FourCC: four characters or "uncompressed"
  ExtractMinFrameCount = 23,      ///< Extract.MinFrameCount
  ExtractMaxFrameCount = 24,      ///< Extract.MaxFrameCount
  VideoTileThreshold = 25,        ///< Extract.VideoTileThreshold
  StaticVideoTileThreshold = 26,  ///< Extract.StaticVideoTileThreshold
  MinimumFrameCountForStaticTile = 27,  ///< Extract.MinimumFrameCountForStaticVideoTile
  ExtractStaticVideo = 28,              ///< Extract.ExtractStaticVideo: "1"/"0"
};

/// How the Advanced Settings dialog turns an edited text into the stored value of a row.
enum class AdvancedCommitRule {
  ProcessCount,       ///< integer; a negative value becomes the processor count; "%d"
  Integer,            ///< integer, "%d"
  Choice,             ///< the chosen label turned back into its token
  YesNo,              ///< "yes" -> 1, "no" -> 0 (translated, any case), else the integer "%d"
  Percent,            ///< floating value clamped to 0..100, "%0.0f" when whole, else "%0.2f"
  PercentOrMinusOne,  ///< like Percent, clamped to -1..100
  Text,               ///< the text unchanged
};

/// One token of a choice row and its English label (translated where it is shown).
struct AdvancedChoice {
  const char* token;
  const char* label;
};

/// The fixed description of one advanced row. Texts marked as labels, sections, unit labels and
/// help texts are English catalogue keys; keys, tokens and defaults are stored as they are.
struct AdvancedRowDefinition {
  const char* key;             ///< dotted key, e.g. "Options.ThreadCount"
  const char* section;         ///< section label shown in the dialog ("Options", ...)
  const char* label;           ///< parameter label ("Process Count", ...)
  int unitCode;                ///< `UnitId` code: 19 frames, 20 percent, 21 processes, 22 none
  const char* unitLabel;       ///< printed after the unit name ("MByte", "/sec.", ...), may be ""
  const char* factoryDefault;  ///< factory default value text
  AdvancedCommitRule rule;     ///< how the dialog commits an edited text
  std::span<const AdvancedChoice> choices;     ///< tokens and labels of choice rows, else empty
  std::span<const char* const> offeredValues;  ///< the value box entries (not for choice rows)
  bool needsVideo;  ///< rows that exist only where the video library is available
};

/// The 29 row descriptions, in row order.
[[nodiscard]] std::span<const AdvancedRowDefinition, kAdvancedRowCount> advancedRowDefinitions();

/// The description of one row.
[[nodiscard]] const AdvancedRowDefinition& advancedRowDefinition(AdvancedRow row);

/// The translated help text of a row (without the default-value line the dialog appends).
[[nodiscard]] std::string advancedRowHelp(AdvancedRow row);

/// Integer value of a text the way every reader of a row converts it: optional white space and
/// sign, then decimal digits up to the first other character; 0 when there are none. Values
/// outside the range of `long` are clamped.
[[nodiscard]] long advancedTextToLong(const std::string& text);

/// Floating value of a text (decimal point; leading number only; 0 when there is none).
[[nodiscard]] double advancedTextToDouble(const std::string& text);

/// The current state of the 29 advanced rows: key, current value text and factory default text
/// of each. Lives inside `MosaicSettings`; a plain value type (copies are independent).
/// Written on the window thread only; job and worker threads read it while a job runs.
class AdvancedSettings {
 public:
  /// One row's state.
  struct Row {
    std::string key;
    std::string value;
    std::string factoryDefault;
  };

  /// Creates the rows with their keys and factory defaults set and empty values. Rows that need
  /// video stay entirely empty (no key) when `videoAvailable` is false.
  explicit AdvancedSettings(bool videoAvailable = !underWine());

  /// Whether the video rows (17-28) are set up.
  [[nodiscard]] bool videoAvailable() const { return m_videoAvailable; }

  /// The row's current value text.
  [[nodiscard]] const std::string& rowValue(AdvancedRow row) const;
  [[nodiscard]] const std::string& rowValue(std::size_t index) const;
  /// Replaces the row's value text. An index out of range is ignored.
  void setRowValue(AdvancedRow row, const std::string& text);
  void setRowValue(std::size_t index, const std::string& text);

  /// The row's value converted with `advancedTextToLong` (0 for text that is not a number).
  [[nodiscard]] long rowLong(AdvancedRow row) const;
  /// The row's value converted with `advancedTextToDouble`.
  [[nodiscard]] double rowDouble(AdvancedRow row) const;
  /// True when the value of a yes/no row is a non-zero number.
  [[nodiscard]] bool rowYes(AdvancedRow row) const { return rowLong(row) != 0; }

  /// The whole state of one row (index must be below `kAdvancedRowCount`).
  [[nodiscard]] const Row& row(std::size_t index) const { return m_rows.at(index); }
  [[nodiscard]] Row& row(std::size_t index) { return m_rows.at(index); }

  /// True when every row's value equals the other's (keys and defaults are fixed).
  [[nodiscard]] bool sameValues(const AdvancedSettings& other) const;

 private:
  std::array<Row, kAdvancedRowCount> m_rows;
  bool m_videoAvailable;
};

/// The configuration file that holds the user's advanced defaults (configuration folder).
inline constexpr const char* kConfigFileName = "TesselographConfig.txt";
/// Its section with one line per advanced row.
inline constexpr const char* kDefaultValuesSection = "Default Values";

/// For every row, in the order 0, 1, 2, 3, 8, 9, 10, 4, 5, 6, 7, 11, 12, ..., 28: sets its key
/// and factory default; when `reloadAll` is set or the row's value is empty, reads its value
/// from "Default Values" of `store` (the factory default when the key is missing). A missing or
/// unreadable file gives the factory defaults. Rows that need video are left empty without it.
void loadAdvancedRows(AdvancedSettings& rows, bool reloadAll, SettingsStore& store);
/// The same on `TesselographConfig.txt` in the configuration folder.
void loadAdvancedRows(AdvancedSettings& rows, bool reloadAll);

/// Gives every row whose value is empty its configured default (`loadAdvancedRows` without
/// `reloadAll`), reading the configuration file only when some row is empty.
void fillEmptyAdvancedRows(AdvancedSettings& rows);

/// Writes every row's value under its key into "Default Values" of `store` (with auto-sync on,
/// the file is written after each key). Returns false when a value could not be stored.
[[nodiscard]] bool saveAdvancedDefaults(const AdvancedSettings& rows, SettingsStore& store);
/// The same on `TesselographConfig.txt` in the configuration folder.
[[nodiscard]] bool saveAdvancedDefaults(const AdvancedSettings& rows);

}  // namespace tg
