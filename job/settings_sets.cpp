// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/settings_sets.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

#include "job/settings_keys.h"
#include "job/settings_tokens.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

constexpr const char* kAdvancedPrefix = "Advanced.";

std::string trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

/// Writes keys into one section, remembering whether every write was accepted.
class SectionWriter {
 public:
  SectionWriter(SettingsStore& store, const std::string& section)
      : m_store(store), m_section(section) {}
  void text(const char* key, const std::string& value) {
    m_ok = m_store.setText(m_section, key, value) && m_ok;
  }
  void text(const std::string& key, const std::string& value) { text(key.c_str(), value); }
  void number(const char* key, long value) {
    m_ok = m_store.setLong(m_section, key, value) && m_ok;
  }
  [[nodiscard]] bool ok() const { return m_ok; }

 private:
  SettingsStore& m_store;
  const std::string& m_section;
  bool m_ok = true;
};

/// Reads keys of one section of a loaded store.
class SectionReader {
 public:
  SectionReader(SettingsStore& store, const std::string& section, bool video)
      : m_store(store), m_section(section), m_video(video) {}
  std::string text(const std::string& key) { return m_store.getText(m_section, key, ""); }
  long number(const char* key) { return m_store.getLong(m_section, key, 0); }
  double real(const char* key) { return m_store.getDouble(m_section, key, 0.0); }
  long token(const char* key, TokenTable table) { return readToken(table, text(key), m_video); }
  void intInto(IntParameter& parameter, const char* key) { parameter.set(number(key)); }
  void tokenInto(IntParameter& parameter, const char* key, TokenTable table) {
    parameter.set(token(key, table));
  }
  void flagInto(Parameter<bool>& parameter, const char* key) { parameter.set(number(key) != 0); }

 private:
  SettingsStore& m_store;
  const std::string& m_section;
  bool m_video;
};

struct Column {
  SizeValue mosaicSize;
  Quantity tileSize;
  long fileFormat;
  bool useAllImages;
  bool splitMosaic;
};

void applyColumn(MosaicSettings& s, const Column& column) {
  s.mosaicSize.set(column.mosaicSize);
  s.resolution.set(Quantity{300, UnitId::Ppi});
  s.tileSize.set(column.tileSize);
  s.multiSize2.set(0);
  s.multiSize4.set(0);
  s.tileDuplication.set(0);
  s.duplicateSpacing.set(3);
  s.pattern.set(1);
  s.tileAdapt.set(1);
  s.colorChange.set(30);
  s.tileVariants.set(102);
  s.mosaicProcessing.set(1);
  s.imageCompare.set(2);
  s.imageDetail.set(1);
  s.colorChangePriority.set(3);
  s.useAllImages.set(column.useAllImages);
  s.fileFormat.set(column.fileFormat);
  s.jpgQuality.set(95);
  s.outputTransparency.set(false);
  s.outputLayers.set(false);
  s.outputTiff64.set(false);
  s.mosaicDirectory.set("");
  s.mosaicSubdirectory.set(1);
  s.mosaicFileName.set(2);
  s.webPageSize.set(0);
  s.textReport.set(false);
  s.individualTiles.set(false);
  s.splitMosaic.set(column.splitMosaic);
  s.createMaskFile.set(false);
  s.consecutiveFrames.set(0);
  s.borderColor.set(0);
  s.borderSize.set(Quantity{0, UnitId::Pixel});
}

}  // namespace

std::string userSettingsFileName() { return formatText("TesselographSettings%dx%d.txt", 12, 12); }

bool isMosaicSettingsFileName(const std::string& path) {
  if (path.size() < 5) return false;
  std::string extension = path.substr(path.size() - 4);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".txt";
}

std::string mosaicSettingsFilePath(const std::string& outputBase) {
  return outputBase + tr(" Settings") + ".txt";
}

bool saveSettingsSet(const MosaicSettings& s, const std::string& file, SettingsLocation location,
                     const std::string& section, const std::optional<std::string>& tileListPath,
                     bool includeAdvanced) {
  if (file.empty() || section.empty()) return false;
  SettingsStore store;
  store.open(file, location);
  store.setAutoSync(false);
  if (!store.load()) return false;  // never replace a file that exists but cannot be read

  SectionWriter w(store, section);
  w.number("Version", 1);
  for (const SettingsKey& key : settingsKeys()) w.text(key.key, settingsKeyText(key, s));
  w.number("Advanced.Version", includeAdvanced ? 1 : 0);
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    const AdvancedSettings::Row& row = s.advanced.row(i);
    if (row.key.empty()) continue;  // a video row without video
    w.text(kAdvancedPrefix + row.key, includeAdvanced ? row.value : std::string());
  }
  w.text("TileList", tileListPath.value_or(std::string()));
  store.setAutoSync(true);
  return store.save() && w.ok();
}

ReadSectionResult readSettingsSection(MosaicSettings& s, SettingsStore& store,
                                      const std::string& section) {
  ReadSectionResult result;
  SectionReader r(store, section, s.videoAvailable);
  if (r.number("Version") != 1) return result;
  result.applied = true;

  if (const long unit = r.token("MosaicSizeUnit", TokenTable::Unit); unit != 0) {
    s.mosaicSize.set(
        SizeValue{r.real("MosaicSizeWidth"), r.real("MosaicSizeHeight"), unitFromId(unit)});
  }
  if (const long unit = r.token("ResolutionUnit", TokenTable::Unit); unit != 0) {
    s.resolution.set(Quantity{static_cast<double>(r.number("ResolutionSize")), unitFromId(unit)});
  }
  if (const long unit = r.token("TileUnit", TokenTable::Unit); unit != 0) {
    s.tileSize.set(Quantity{r.real("TileSize"), unitFromId(unit)});
  }
  r.intInto(s.tileDuplication, "TileDuplication");
  r.intInto(s.duplicateSpacing, "DuplicateSpacing");
  r.intInto(s.multiSize2, "MultiSize2");
  r.intInto(s.multiSize4, "MultiSize4");
  r.tokenInto(s.pattern, "Pattern", TokenTable::Pattern);
  r.tokenInto(s.tileAdapt, "TileAdapt", TokenTable::Adapt);
  r.intInto(s.colorChange, "ColorChange");
  if (const std::string variants = r.text("TileVariants"); !variants.empty()) {
    s.tileVariants.set(
        static_cast<std::uint32_t>(readToken(TokenTable::Variant, variants, s.videoAvailable)));
  }
  r.tokenInto(s.mosaicProcessing, "MosaicProcessing", TokenTable::Processing);
  r.tokenInto(s.imageCompare, "ImageCompare", TokenTable::Compare);
  r.tokenInto(s.imageDetail, "ImageDetail", TokenTable::Detail);
  r.tokenInto(s.colorChangePriority, "ColorChangePriority", TokenTable::ColorChange);
  r.flagInto(s.useAllImages, "UseAllImages");
  r.flagInto(s.outputTransparency, "OutputTransparency");
  r.flagInto(s.outputLayers, "OutputLayers");
  r.flagInto(s.outputTiff64, "OutputTIFF64");
  readFormatText(s, r.text("FileFormat"), r.number("JPGQuality"));
  if (const std::string directory = r.text("MosaicDirectory"); !directory.empty()) {
    s.mosaicDirectory.set(directory);
  }
  r.tokenInto(s.mosaicSubdirectory, "MosaicSubdirectory", TokenTable::Subdirectory);
  r.tokenInto(s.mosaicFileName, "MosaicFileName", TokenTable::FileName);
  r.intInto(s.webPageSize, "WebPageSize");
  r.flagInto(s.textReport, "TextReport");
  r.flagInto(s.individualTiles, "IndividualTiles");
  r.flagInto(s.splitMosaic, "SplitMosaic");
  r.flagInto(s.createMaskFile, "CreateMaskFile");
  r.intInto(s.consecutiveFrames, "ConsecutiveFrames");
  r.intInto(s.borderColor, "BorderColor");
  if (const long unit = r.token("BorderSizeUnit", TokenTable::Unit); unit != 0) {
    s.borderSize.set(Quantity{static_cast<double>(r.number("BorderSizeWidth")), unitFromId(unit)});
  }
  if (r.number("Advanced.Version") == 1) {
    for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
      AdvancedSettings::Row& row = s.advanced.row(i);
      if (row.key.empty()) continue;
      row.value = r.text(kAdvancedPrefix + row.key);
    }
  }
  result.tileList = r.text("TileList");
  return result;
}

bool applySettingText(MosaicSettings& s, const std::string& key, const std::string& text) {
  if (const SettingsKey* entry = findSettingsKey(key)) {
    readSettingsKeyText(*entry, s, text);
    return true;
  }
  if (key.rfind(kAdvancedPrefix, 0) != 0) return false;
  const std::string rowKey = key.substr(std::char_traits<char>::length(kAdvancedPrefix));
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    if (!rowKey.empty() && s.advanced.row(i).key == rowKey) {
      s.advanced.setRowValue(i, text);
      return true;
    }
  }
  return false;
}

void applyBuiltInColumn(MosaicSettings& settings, SettingsSetId set) {
  if (set == SettingsSetId::VideoMosaic) {
    applyColumn(settings, Column{SizeValue{1280, 720, UnitId::Pixel}, Quantity{300, UnitId::Tiles},
                                 kFormatAviUncompressed, false, false});
  } else {
    applyColumn(settings, Column{SizeValue{42, 29, UnitId::Cm}, Quantity{40, UnitId::TilesPerRow},
                                 kFormatJpeg, false, false});
  }
}

bool applyUseAllImages(MosaicSettings& settings, std::size_t tileCount) {
  if (tileCount == 0) return false;
  const std::size_t t = std::max<std::size_t>(
      tileCount > std::numeric_limits<std::size_t>::max() / 2 ? tileCount : 2 * tileCount, 500);
  std::size_t s = t / 4;
  if (s > 205) {
    s /= 4;
    if (s <= 205) s = 205;
  }
  const double side = static_cast<double>(s);
  applyColumn(settings,
              Column{SizeValue{side, side, UnitId::MegaPixel},
                     Quantity{static_cast<double>(t), UnitId::Tiles}, kFormatJpeg, true, s >= 501});
  return true;
}

SettingsSetsModel::SettingsSetsModel(MosaicSettings& settings, SettingsFiles files)
    : m_settings(settings), m_files(std::move(files)) {}

void SettingsSetsModel::openConfig(SettingsStore& store) const {
  store.open(m_files.configFile, m_files.configLocation);
}

void SettingsSetsModel::openUserFile(SettingsStore& store) const {
  store.open(m_files.userSettingsFile, m_files.userSettingsLocation);
}

long SettingsSetsModel::sectionVersion(const std::string& section) {
  SettingsStore store;
  openUserFile(store);
  return store.getLong(section, "Version", 0);
}

void SettingsSetsModel::listSettingsSets(SettingsSetId requestedId,
                                         const std::string& requestedName) {
  m_entries.clear();
  m_selected = -1;
  SettingsStore store;
  openUserFile(store);
  store.setAutoSync(false);
  (void)store.load();  // a missing or unreadable file lists no user sets
  for (const std::string& section : store.listSections()) {
    if (section.empty() || section.front() == '(') continue;
    if (store.getLong(section, "Version", 0) < 1) continue;
    m_entries.push_back(Entry{section, SettingsSetId::User});
  }
  auto builtIn = [this](const char* name, SettingsSetId id) {
    m_entries.push_back(Entry{"(" + tr(name) + ")", id});
  };
  builtIn(N_("Default Settings"), SettingsSetId::DefaultSettings);
  builtIn(N_("Use All Images"), SettingsSetId::UseAllImages);
  if (m_settings.videoAvailable) builtIn(N_("Video Mosaic"), SettingsSetId::VideoMosaic);
  if (store.getLong(kLastMosaicSection, "Version", 0) > 0) {
    builtIn(N_("Last Mosaic"), SettingsSetId::LastMosaic);
  }
  if (store.getLong(kAutoSaveSection, "Version", 0) > 0) {
    builtIn(N_("Auto Save"), SettingsSetId::AutoSave);
  }
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    const Entry& entry = m_entries[i];
    if ((requestedId != SettingsSetId::User && entry.id == requestedId) ||
        (!requestedName.empty() && entry.text == requestedName)) {
      m_selected = static_cast<int>(i);
      break;
    }
  }
}

void SettingsSetsModel::select(int index) {
  m_selected = index >= 0 && static_cast<std::size_t>(index) < m_entries.size() ? index : -1;
}

void SettingsSetsModel::startUp() {
  {
    SettingsStore config;
    openConfig(config);
    config.setAutoSync(false);
    (void)config.load();
    loadAdvancedRows(m_settings.advanced, true, config);
  }
  SettingsStore store;
  openUserFile(store);
  listSettingsSets(store.hasSection(kAutoSaveSection) ? SettingsSetId::AutoSave
                                                      : SettingsSetId::DefaultSettings);
  // An "(Auto Save)" section without a valid version is not listed: start from the defaults.
  if (m_selected < 0) listSettingsSets(SettingsSetId::DefaultSettings);
  if (!loadSelected()) afterLoad();
}

bool SettingsSetsModel::loadSelected() {
  if (m_jobRunning) return false;
  if (m_selected < 0) return false;
  const Entry entry = m_entries[static_cast<std::size_t>(m_selected)];
  if (entry.text.empty()) return false;
  m_deleteEnabled = entry.text.front() != '(';
  switch (entry.id) {
    case SettingsSetId::DefaultSettings:
    case SettingsSetId::VideoMosaic:
    case SettingsSetId::UseAllImages:
      return loadBuiltIn(entry.id);
    case SettingsSetId::LastMosaic:
      return loadUserSet(m_files.userSettingsFile, m_files.userSettingsLocation,
                         kLastMosaicSection);
    case SettingsSetId::AutoSave:
      return loadUserSet(m_files.userSettingsFile, m_files.userSettingsLocation, kAutoSaveSection);
    case SettingsSetId::User:
      break;
  }
  return loadUserSet(m_files.userSettingsFile, m_files.userSettingsLocation, entry.text);
}

bool SettingsSetsModel::loadSettingsSet(const std::string& file, SettingsLocation location,
                                        const std::string& section) {
  if (m_jobRunning || section.empty()) return false;
  m_deleteEnabled = section.front() != '(';
  return loadUserSet(file, location, section);
}

bool SettingsSetsModel::openFile(const std::string& path) {
  if (!isMosaicSettingsFileName(path)) return false;
  loadSettingsSet(path, SettingsLocation::AsGiven, kMosaicSettingsSection);
  return true;
}

bool SettingsSetsModel::loadBuiltIn(SettingsSetId id) {
  if (id == SettingsSetId::UseAllImages) {
    if (!m_mainImageSelected || m_tiles == nullptr) return false;
    if (!applyUseAllImages(m_settings, m_tiles->tileCount())) return false;
  } else {
    applyBuiltInColumn(m_settings, id);
    if (id == SettingsSetId::DefaultSettings) {
      SettingsStore config;
      openConfig(config);
      loadAdvancedRows(m_settings.advanced, true, config);
    }
  }
  afterLoad();
  return true;
}

bool SettingsSetsModel::loadUserSet(const std::string& file, SettingsLocation location,
                                    const std::string& section) {
  SettingsStore store;
  store.open(file, location);
  store.setAutoSync(false);
  (void)store.load();  // an unreadable file reads as empty, so the set is not applied
  const ReadSectionResult result = readSettingsSection(m_settings, store, section);
  if (!result.applied) return false;
  loadTileListOf(result.tileList);
  afterLoad();
  return true;
}

void SettingsSetsModel::loadTileListOf(const std::string& path) {
  m_requestedTileList.clear();
  if (path.empty()) return;
  if (m_tiles == nullptr) {
    m_requestedTileList = path;
    return;
  }
  const std::string loaded = m_tiles->loadedListPath();
  if (path != loaded || m_tiles->hasUnsavedChanges()) m_tiles->loadTileList(path);
}

void SettingsSetsModel::afterLoad() {
  bool anyEmpty = false;
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    anyEmpty = anyEmpty || m_settings.advanced.rowValue(i).empty();
  }
  if (anyEmpty) {
    SettingsStore config;
    openConfig(config);
    config.setAutoSync(false);
    (void)config.load();
    loadAdvancedRows(m_settings.advanced, false, config);
  }
  m_valid = validateParameters(m_settings);
  if (m_changed) m_changed();
}

SaveOutcome SettingsSetsModel::saveSettingsInteractive(const std::optional<std::string>& name,
                                                       const std::optional<std::string>& file,
                                                       SettingsLocation location) {
  SaveSettingsChoice choice;
  const bool listLoaded = m_tiles != nullptr && !m_tiles->loadedListPath().empty();
  std::string targetFile;
  SettingsLocation targetLocation = location;
  if (file) {
    targetFile = *file;
    choice.name = kMosaicSettingsSection;
  } else {
    targetFile = m_files.userSettingsFile;
    targetLocation = m_files.userSettingsLocation;
    if (name) {
      choice.name = *name;
    } else {
      SaveSettingsChoice initial = choice;
      initial.name.clear();
      initial.includeTileList = listLoaded;
      for (;;) {
        if (m_saveDialog == nullptr) return SaveOutcome::Cancelled;
        const auto answer = m_saveDialog->ask(initial, listLoaded);
        if (!answer) return SaveOutcome::Cancelled;
        initial = *answer;
        const std::string trimmedName = trimmed(answer->name);
        if (trimmedName.empty() || trimmedName.front() == '(' || trimmedName.back() == ')') {
          showMessage(tr("Please insert a valid name for the settings"));
          continue;
        }
        if (sectionVersion(trimmedName) > 0 &&
            showMessage(tr("Do you want to overwrite the existing settings?"), Buttons::YesNo,
                        Icon::Default, Answer::No) != Answer::Yes) {
          continue;
        }
        choice = *answer;
        choice.name = trimmedName;
        break;
      }
    }
  }

  (void)applyParameterRules(m_settings, false);
  if (!validateParameters(m_settings)) return SaveOutcome::InvalidParameters;

  std::optional<std::string> tileList;
  if (choice.includeTileList && listLoaded) tileList = m_tiles->loadedListPath();
  if (!saveSettingsSet(m_settings, targetFile, targetLocation, choice.name, tileList,
                       choice.includeAdvanced)) {
    return SaveOutcome::WriteFailed;
  }
  if (!file) {
    // The automatic sets are listed under their translated names: select them by id.
    SettingsSetId id = SettingsSetId::User;
    if (choice.name == kLastMosaicSection) id = SettingsSetId::LastMosaic;
    if (choice.name == kAutoSaveSection) id = SettingsSetId::AutoSave;
    listSettingsSets(id, choice.name);
  }
  return SaveOutcome::Saved;
}

void SettingsSetsModel::deleteSettingsSet() {
  if (m_selected < 0 || m_entries[static_cast<std::size_t>(m_selected)].text.empty()) {
    showMessage(tr("Select first a Settings to delete"));
    return;
  }
  const std::string name = m_entries[static_cast<std::size_t>(m_selected)].text;
  if (name.front() == '(') {
    showMessage(tr("The automatic settings cannot be deleted"));
    return;
  }
  if (showMessage(tr("Do you want to delete the selected Settings?"), Buttons::YesNo, Icon::Default,
                  Answer::No) != Answer::Yes) {
    return;
  }
  SettingsStore store;
  openUserFile(store);
  if (store.getText(name, "Version", "").empty()) return;
  if (!store.deleteSection(name)) return;
  listSettingsSets(SettingsSetId::User);
}

}  // namespace tg
