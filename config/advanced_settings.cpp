// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/advanced_settings.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "config/settings_store.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {

constexpr int kUnitFrames = 19;
constexpr int kUnitPercent = 20;
constexpr int kUnitProcesses = 21;
constexpr int kUnitNone = 22;

constexpr AdvancedChoice kPriorityChoices[] = {
    {"IDLE", N_("lowest")},   {"LOWEST", N_("very low")},   {"BELOW_NORMAL", N_("low")},
    {"NORMAL", N_("normal")}, {"ABOVE_NORMAL", N_("high")}, {"HIGHEST", N_("highest")},
};
constexpr AdvancedChoice kFinalActionChoices[] = {
    {"nothing", N_("nothing")},
    {"openfolder", N_("open folder")},
    {"ask", N_("ask")},
};
constexpr AdvancedChoice kAreaChoices[] = {
    {"AVERAGE", N_("average")},
    {"CENTER_SMALL", N_("center small")},
    {"CENTER_WIDE", N_("center wide")},
    {"CENTER_STRONG", N_("center strong")},
    {"EDGE", N_("edge")},
    {"CUSTOM_PRIORITY", N_("custom")},
};
constexpr AdvancedChoice kSizeChoices[] = {
    {"AVERAGE", N_("average")},
    {"LOWER", N_("lower")},
    {"LOWEST", N_("lowest")},
    {"HIGHER", N_("higher")},
};
constexpr AdvancedChoice kSplitChoices[] = {
    {"AUTO", N_("auto")},
    {"PRIORITY_AND_QUALITY", N_("priority and quality")},
    {"PRIORITY", N_("priority")},
    {"QUALITY", N_("quality")},
};
constexpr AdvancedChoice kReverseLoopChoices[] = {
    {"NONE", N_("none")},
    {"NECESSARY", N_("necessary")},
    {"ALL", N_("all")},
};

constexpr const char* kThreadValues[] = {"-1", "0", "1", "2", "3", "4", "5", "6", "7", "8"};
constexpr const char* kBlockValues[] = {"200", "300"};
constexpr const char* kMaxMemoryValues[] = {"200",  "300",  "500",  "750",  "1000", "1250", "1500",
                                            "1750", "2000", "2250", "2500", "2750", "3000"};
constexpr const char* kColourValues[] = {"0", "1", "10", "20", "40", "60", "80", "100"};
constexpr const char* kMediumDetailValues[] = {"-1", "0", "25", "50", "75", "100"};
constexpr const char* kFrameCountValues[] = {"MIN*1", "MIN*2", "MIN*3", "MIN*4", "MIN*5", "MIN*10",
                                             "MAX*1", "MAX*2", "MAX*3", "MAX*4", "MAX*5", "MAX*10",
                                             "AVG*1", "AVG*2", "AVG*3", "AVG*4", "AVG*5", "AVG*10",
                                             "100",   "500",   "1000"};
constexpr const char* kFrameRateValues[] = {"FREQ",  "MIN",    "MAX",   "10",    "25",
                                            "29.97", "30",     "MIN*2", "MIN*3", "MAX*2",
                                            "MAX*3", "FREQ*2", "FREQ*3"};
constexpr const char* kDefaultFramesValues[] = {"200", "300", "500", "1000"};
constexpr const char* kDefaultRateValues[] = {"10", "25", "29.97", "30"};
constexpr const char* kFourCCValues[] = {"uncompressed", "XVID", "DIVX"};
constexpr const char* kMinFramesValues[] = {"15", "30", "60", "100"};
constexpr const char* kMaxFramesValues[] = {"100", "200", "400", "600", "1000", "2000"};
constexpr const char* kVideoThresholdValues[] = {"150",  "200",  "300",  "500", "1000",
                                                 "1500", "2000", "3000", "5000"};
constexpr const char* kStaticThresholdValues[] = {"0", "10", "50", "100", "150", "200", "300"};

using R = AdvancedCommitRule;
constexpr std::span<const AdvancedChoice> kNoChoices{};
constexpr std::span<const char* const> kNoValues{};

constexpr AdvancedRowDefinition kRows[kAdvancedRowCount] = {
    {"Options.ThreadCount", N_("Options"), N_("Process Count"), kUnitProcesses, "", "0",
     R::ProcessCount, kNoChoices, kThreadValues, false},
    {"Options.MemoryBlockSizeMB", N_("Options"), N_("Memory Block"), kUnitNone, N_("MByte"), "200",
     R::Integer, kNoChoices, kBlockValues, false},
    {"Options.MemoryMaxSizeMB", N_("Options"), N_("Max Memory"), kUnitNone, N_("MByte"), "1500",
     R::Integer, kNoChoices, kMaxMemoryValues, false},
    {"Options.Priority", N_("Options"), N_("Priority"), kUnitNone, "", "LOWEST", R::Choice,
     kPriorityChoices, kNoValues, false},
    {"Options.MosaicFastPreview", N_("Options"), N_("Mosaic Preview"), kUnitNone, "", "0", R::YesNo,
     kNoChoices, kNoValues, false},
    {"Options.TileListLoad", N_("Options"), N_("Tile List Load"), kUnitNone, "", "0", R::YesNo,
     kNoChoices, kNoValues, false},
    {"Options.TileListSave", N_("Options"), N_("Tile List Save"), kUnitNone, "", "0", R::YesNo,
     kNoChoices, kNoValues, false},
    {"Options.FinalAction", N_("Options"), N_("Final Action"), kUnitNone, "", "ask", R::Choice,
     kFinalActionChoices, kNoValues, false},
    {"Options.TilePriorityArea", N_("Options"), N_("Tile Area Priority"), kUnitNone, "",
     "CENTER_WIDE", R::Choice, kAreaChoices, kNoValues, false},
    {"Options.TilePrioritySize", N_("Options"), N_("Tile Size Priority"), kUnitNone, "", "LOWER",
     R::Choice, kSizeChoices, kNoValues, false},
    {"Options.TileSplit", N_("Options"), N_("Tile Split"), kUnitNone, "", "AUTO", R::Choice,
     kSplitChoices, kNoValues, false},
    {"ImageCompare.ProrityRed", N_("Image Compare"), N_("Red Priority"), kUnitPercent, "", "1",
     R::Percent, kNoChoices, kColourValues, false},
    {"ImageCompare.ProrityGreen", N_("Image Compare"), N_("Green Priority"), kUnitPercent, "", "1",
     R::Percent, kNoChoices, kColourValues, false},
    {"ImageCompare.ProrityBlue", N_("Image Compare"), N_("Blue Priority"), kUnitPercent, "", "1",
     R::Percent, kNoChoices, kColourValues, false},
    {"ImageCompare.MediumDetail", N_("Image Compare"), N_("Medium Detail"), kUnitPercent, "", "-1",
     R::PercentOrMinusOne, kNoChoices, kMediumDetailValues, false},
    {"File.NativeFileOpen", N_("File"), N_("Native File Open"), kUnitNone, "", "1", R::YesNo,
     kNoChoices, kNoValues, false},
    {"WebPage.DontCopyTiles", N_("WebPage"), N_("WebPage Copy Tiles"), kUnitNone, "", "1", R::YesNo,
     kNoChoices, kNoValues, false},
    {"VideoMosaic.FrameCountFromVideoTile", N_("VideoMosaic"), N_("Video Frames"), kUnitFrames, "",
     "MAX*2", R::Text, kNoChoices, kFrameCountValues, true},
    {"VideoMosaic.FrameRateFromVideoTile", N_("VideoMosaic"), N_("Video Frame Rate"), kUnitFrames,
     N_("/sec."), "FREQ", R::Text, kNoChoices, kFrameRateValues, true},
    {"VideoMosaic.FrameCountFromImage", N_("VideoMosaic"), N_("Default Frames"), kUnitFrames, "",
     "10", R::Integer, kNoChoices, kDefaultFramesValues, true},
    {"VideoMosaic.FrameRateFromImage", N_("VideoMosaic"), N_("Default Frame Rate"), kUnitFrames,
     N_("/sec."), "10", R::Percent, kNoChoices, kDefaultRateValues, true},
    {"VideoMosaic.ReverseLoop", N_("VideoMosaic"), N_("Reverse Loop"), kUnitNone, "", "ALL",
     R::Choice, kReverseLoopChoices, kNoValues, true},
    {"VideoMosaic.FourCC", N_("VideoMosaic"), N_("FourCC"), kUnitNone, N_("Codec"), "uncompressed",
     R::Text, kNoChoices, kFourCCValues, true},
    {"Extract.MinFrameCount", N_("Extract Video"), N_("Minimum"), kUnitFrames, "", "30", R::Integer,
     kNoChoices, kMinFramesValues, true},
    {"Extract.MaxFrameCount", N_("Extract Video"), N_("Maximum"), kUnitFrames, "", "400",
     R::Integer, kNoChoices, kMaxFramesValues, true},
    {"Extract.VideoTileThreshold", N_("Extract Video"), N_("Video Threshold"), kUnitNone, "",
     "1000", R::Integer, kNoChoices, kVideoThresholdValues, true},
    {"Extract.StaticVideoTileThreshold", N_("Extract Video"), N_("Static Video Threshold"),
     kUnitNone, "", "150", R::Integer, kNoChoices, kStaticThresholdValues, true},
    {"Extract.MinimumFrameCountForStaticVideoTile", N_("Extract Video"), N_("Minimum Static"),
     kUnitFrames, "", "50", R::Integer, kNoChoices, kMinFramesValues, true},
    {"Extract.ExtractStaticVideo", N_("Extract Video"), N_("Static Videos"), kUnitNone, "", "0",
     R::YesNo, kNoChoices, kNoValues, true},
};

std::string choiceLine(const char* format, const char* label) {
  return formatText(tr(format), tr(label));
}

std::string staticVideoHelp() {
  return formatText(
      tr("When two consecutive Frames differ by a value lower than the '%s' then they are "
         "considered as Static Frames. When there are more than '%s' consecutive Frames then "
         "those are considered as a Static VideoClip, normally uninteresting for VideoMosaics. "
         "Enable option '%s' to extract the Static Video Clips."),
      tr("Static Video Threshold"), tr("Minimum Static"), tr("Static Videos"));
}

}  // namespace

std::span<const AdvancedRowDefinition, kAdvancedRowCount> advancedRowDefinitions() {
  return std::span<const AdvancedRowDefinition, kAdvancedRowCount>(kRows);
}

const AdvancedRowDefinition& advancedRowDefinition(AdvancedRow row) {
  return kRows[static_cast<std::size_t>(row)];
}

std::string advancedRowHelp(AdvancedRow row) {
  const char* const lineSeparator = " \n";
  switch (row) {
    case AdvancedRow::ThreadCount:
      return tr(
          "Parallel Execution of some tasks in Tesselograph:\n 0  - Detect automatically the "
          "number of CPU's\n 1  - Use a single process only (no parallel execution).\n >0 - Use "
          "that number of processes / Parallel Execution.\n -1 - Replace this value with the "
          "detected number of CPU's.");
    case AdvancedRow::MemoryBlockSizeMB:
      return tr(
          "Allocated Memory when building the final Mosaic (in megabytes). Use a lower value if "
          "you get an Out of memory error message.");
    case AdvancedRow::MemoryMaxSizeMB:
      return tr(
          "Approximate value for Maximum Allocated Memory. Use a lower value if you get a crash / "
          "Out of memory error message.");
    case AdvancedRow::Priority:
      return tr(
          "Process Priority. If you want Tesselograph to run in the background then use a value "
          "of VERY LOW/LOWEST.");
    case AdvancedRow::MosaicFastPreview:
      return tr("Shows an (ugly) Mosaic Preview at low quality. Values No or Yes.");
    case AdvancedRow::TileListLoad:
      return tr(
          "If Yes then the list of used Tiles will be loaded from the special file with suffix "
          "'Tile List.txt'. This feature is enabled when selecting the 'Faster' Processing.");
    case AdvancedRow::TileListSave:
      return tr(
          "If Yes then the list of used Tiles will be saved in the special file with suffix "
          "'Tile List.txt'. This feature is enabled when selecting the 'Faster' Processing.");
    case AdvancedRow::FinalAction:
      return tr(
          "What to do after the Mosaic is completed: Open the destination folder, nothing or ask "
          "each time what to do.");
    case AdvancedRow::TilePriorityArea: {
      const std::string growEdgeToCenter =
          tr("'%s' - Priority will grow from %d%% at the edge to %d%% at the center.");
      std::string text =
          tr("Tile Priority based on location. Specify which area of the Mosaic should get the "
             "highest Tile quality.");
      text += lineSeparator + choiceLine("'%s' - all tiles have the same priority.", "average");
      text += lineSeparator + formatText(growEdgeToCenter, tr("center small"), 0, 50);
      text += lineSeparator +
              formatText(tr("'%s' - Like '%s' but the priority reaches %d%% for a wider central "
                            "area."),
                         tr("center wide"), tr("center small"), 50);
      text += lineSeparator + formatText(growEdgeToCenter, tr("center strong"), 0, 100);
      text += lineSeparator +
              formatText(tr("'%s' - Priority will grow from %d%% at the center to %d%% at the "
                            "edge."),
                         tr("edge"), 0, 50);
      text += lineSeparator + choiceLine(
                                  "'%s' - Priority will be defined by a grayscale image, ranging "
                                  "from White (lowest priority) to Black (highest priority).",
                                  "custom");
      return text;
    }
    case AdvancedRow::TilePrioritySize: {
      std::string text =
          tr("Tile Priority based on the tile size. Specify the priority of smaller Tiles.");
      text += lineSeparator + choiceLine("'%s' - all tiles have the same priority.", "average");
      text +=
          lineSeparator + choiceLine("'%s' - smaller tiles will get a lower priority.", "lower");
      text += lineSeparator +
              choiceLine("'%s' - smaller tiles will get a much lower priority.", "lowest");
      text +=
          lineSeparator + choiceLine("'%s' - smaller tiles will get a higher priority.", "higher");
      return text;
    }
    case AdvancedRow::TileSplit: {
      std::string text = tr(
          "Tile Split selection. Determines which tiles will be selected for splitting in 2 or 4 "
          "smaller tiles for an improved mosaic quality.");
      text += lineSeparator + choiceLine(
                                  "'%s' - split first tiles with higher Tile Priority and Qualty. "
                                  "The two attributes are merged.",
                                  "priority and quality");
      text += lineSeparator + choiceLine(
                                  "'%s' - split tiles with higher Tile Priority. When same "
                                  "priority then quality is considered.",
                                  "priority");
      text += lineSeparator +
              choiceLine("'%s' - split tiles with lower quality, e.g. worse match.", "quality");
      text += lineSeparator +
              choiceLine("'%s' - automatically selects the optimal Tile split selection.", "auto");
      return text;
    }
    case AdvancedRow::PriorityRed:
    case AdvancedRow::PriorityGreen:
    case AdvancedRow::PriorityBlue:
      return tr(
          "The Priority of the three Color Channels Red, Green and Blue. Change these values to "
          "give more weight to Red, Green or Blue. If for example you want to take into account "
          "the sensitivity of the human eye then try Red=30, Green=59 and Blue=11.");
    case AdvancedRow::MediumDetail:
      return tr(
          "With this parameter it is possible to modify the 'Image Detail' parameter available in "
          "More Options. When setting a value other than -1 then you force the priority of the "
          "Medium Details to this value. Use a value different than -1 only after you mastered "
          "the attitude of the 'Image Detail' parameter. Possible values are -1 or from 0 to "
          "100.");
    case AdvancedRow::NativeFileOpen:
      return tr("If Yes then on OS X the native file dialog will be used.");
    case AdvancedRow::WebPageDontCopyTiles:
      return tr(
          "If Yes then when creating the Web Page the Tile Images are copied in a subfolder. If "
          "No then the Web Page links to the original location of the Tile Images.");
    case AdvancedRow::FrameCountFromVideoTile:
      return tr(
          "Number of Frames of a VideoMosaic when its Tiles are Video Clips: a number, or MIN, "
          "MAX or AVG of the frame counts of the used Video Tiles, optionally multiplied by a "
          "factor (for example MAX*2).");
    case AdvancedRow::FrameRateFromVideoTile:
      return tr(
          "Frame Rate of a VideoMosaic when its Tiles are Video Clips: a number, or FREQ (the most "
          "frequent), MIN or MAX of the frame rates of the used Video Tiles, optionally "
          "multiplied by a factor (for example FREQ*2).");
    case AdvancedRow::FrameCountFromImage:
      return tr("Number of Frames of a VideoMosaic when no Video Clip is used as a Tile.");
    case AdvancedRow::FrameRateFromImage:
      return tr(
          "Frame Rate of a VideoMosaic when no Video Clip is used as a Tile. Possible values are "
          "from 0 to 100.");
    case AdvancedRow::ReverseLoop:
      return tr(
          "How Video Tiles shorter than the VideoMosaic are repeated: 'none' restarts them from "
          "the first Frame, 'necessary' plays them backwards only when they are too short, 'all' "
          "always plays them forwards and backwards.");
    case AdvancedRow::FourCC:
      return tr(
          "Codec used to write VideoMosaics and Video Clips: 'uncompressed' or the four "
          "characters code of an installed codec (for example XVID or DIVX).");
    case AdvancedRow::ExtractMinFrameCount:
      return tr("Minimum number of Frames of a Video Clip extracted from a Video.");
    case AdvancedRow::ExtractMaxFrameCount:
      return tr("Maximum number of Frames of a Video Clip extracted from a Video.");
    case AdvancedRow::VideoTileThreshold:
      return tr(
          "When two consecutive Frames differ by more than this value then a new Video Clip is "
          "started (a change of scene).");
    case AdvancedRow::StaticVideoTileThreshold:
    case AdvancedRow::MinimumFrameCountForStaticTile:
      return staticVideoHelp();
    case AdvancedRow::ExtractStaticVideo:
      return tr(
          "If Yes then also the Static Video Clips (without movement) are extracted from a "
          "Video.");
  }
  return {};
}

long advancedTextToLong(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > std::numeric_limits<long>::max()) return std::numeric_limits<long>::max();
  if (value < std::numeric_limits<long>::min()) return std::numeric_limits<long>::min();
  return static_cast<long>(value);
}

double advancedTextToDouble(const std::string& text) {
  // from_chars ignores the process locale, so "29.97" reads the same under every language.
  std::size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  if (start < text.size() && text[start] == '+') ++start;
  double value = 0.0;
  const auto result = std::from_chars(text.data() + start, text.data() + text.size(), value);
  if (result.ec == std::errc::invalid_argument) return 0.0;
  if (result.ec == std::errc::result_out_of_range) return 0.0;
  return value;
}

AdvancedSettings::AdvancedSettings(bool videoAvailable) : m_videoAvailable(videoAvailable) {
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    if (kRows[i].needsVideo && !videoAvailable) continue;
    m_rows[i].key = kRows[i].key;
    m_rows[i].factoryDefault = kRows[i].factoryDefault;
  }
}

const std::string& AdvancedSettings::rowValue(AdvancedRow row) const {
  return rowValue(static_cast<std::size_t>(row));
}

const std::string& AdvancedSettings::rowValue(std::size_t index) const {
  static const std::string empty;
  return index < kAdvancedRowCount ? m_rows[index].value : empty;
}

void AdvancedSettings::setRowValue(AdvancedRow row, const std::string& text) {
  setRowValue(static_cast<std::size_t>(row), text);
}

void AdvancedSettings::setRowValue(std::size_t index, const std::string& text) {
  if (index < kAdvancedRowCount) m_rows[index].value = text;
}

long AdvancedSettings::rowLong(AdvancedRow row) const { return advancedTextToLong(rowValue(row)); }

double AdvancedSettings::rowDouble(AdvancedRow row) const {
  return advancedTextToDouble(rowValue(row));
}

bool AdvancedSettings::sameValues(const AdvancedSettings& other) const {
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    if (m_rows[i].value != other.m_rows[i].value) return false;
  }
  return true;
}

void loadAdvancedRows(AdvancedSettings& rows, bool reloadAll, SettingsStore& store) {
  static constexpr std::size_t kLoadOrder[kAdvancedRowCount] = {
      0,  1,  2,  3,  8,  9,  10, 4,  5,  6,  7,  11, 12, 13, 14,
      15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28};
  for (std::size_t index : kLoadOrder) {
    const AdvancedRowDefinition& definition = kRows[index];
    if (definition.needsVideo && !rows.videoAvailable()) continue;
    AdvancedSettings::Row& row = rows.row(index);
    row.key = definition.key;
    row.factoryDefault = definition.factoryDefault;
    if (reloadAll || row.value.empty()) {
      row.value = store.getText(kDefaultValuesSection, row.key, row.factoryDefault);
    }
    // An empty line in the configuration is no value either.
    if (row.value.empty()) row.value = row.factoryDefault;
  }
}

void fillEmptyAdvancedRows(AdvancedSettings& rows) {
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    if (rows.rowValue(i).empty() && kRows[i].key != nullptr &&
        (!kRows[i].needsVideo || rows.videoAvailable())) {
      loadAdvancedRows(rows, false);
      return;
    }
  }
}

void loadAdvancedRows(AdvancedSettings& rows, bool reloadAll) {
  SettingsStore store;
  store.open(kConfigFileName, SettingsLocation::ConfigFolder);
  loadAdvancedRows(rows, reloadAll, store);
}

bool saveAdvancedDefaults(const AdvancedSettings& rows, SettingsStore& store) {
  bool saved = true;
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    const AdvancedSettings::Row& row = rows.row(i);
    if (row.key.empty()) continue;  // a video row without video
    saved = store.setText(kDefaultValuesSection, row.key, row.value) && saved;
  }
  return saved;
}

bool saveAdvancedDefaults(const AdvancedSettings& rows) {
  SettingsStore store;
  store.open(kConfigFileName, SettingsLocation::ConfigFolder);
  return saveAdvancedDefaults(rows, store);
}

}  // namespace tg
