// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/settings_store.h"
#include "job/mosaic_settings.h"

namespace tg {

/// Section of a mosaic settings file.
inline constexpr const char* kMosaicSettingsSection = "Mosaic Settings";
/// Sections of the automatic saves in the user settings file.
inline constexpr const char* kLastMosaicSection = "(Last Mosaic)";
inline constexpr const char* kAutoSaveSection = "(Auto Save)";

/// The user settings file name, "TesselographSettings%dx%d.txt" with 12 and 12.
[[nodiscard]] std::string userSettingsFileName();

/// Whether a file given to the window is read as a mosaic settings file: a name at least five
/// characters long ending with ".txt" in any letter case. Other files are main images.
[[nodiscard]] bool isMosaicSettingsFileName(const std::string& path);

/// The mosaic settings file written beside a mosaic: `outputBase` + " Settings" (translated)
/// + ".txt".
[[nodiscard]] std::string mosaicSettingsFilePath(const std::string& outputBase);

/// Writes `settings` as section `section` of `file` (resolved by `location`): `Version` 1, every
/// key in its text form, `Advanced.Version` and the "Advanced." rows (values only when
/// `includeAdvanced`), and `TileList` (the given path, else empty). Other sections and keys of
/// the file stay. Nothing happens, and false is returned, when `file` or `section` is empty or
/// the file cannot be written. Window thread (or the job thread for the mosaic settings file).
[[nodiscard]] bool saveSettingsSet(const MosaicSettings& settings, const std::string& file,
                                   SettingsLocation location, const std::string& section,
                                   const std::optional<std::string>& tileListPath,
                                   bool includeAdvanced);

/// What reading a section gave besides the parameters.
struct ReadSectionResult {
  bool applied = false;  ///< `Version` was 1 and the parameters were read
  std::string tileList;  ///< the `TileList` value ("" when none)
};

/// Reads section `section` of the loaded `store` into `settings` key by key when its `Version`
/// is 1; otherwise changes nothing. Every parameter read gets its is-set flag. The advanced rows
/// are replaced only when `Advanced.Version` is 1. Values are stored as read, without range
/// checks.
[[nodiscard]] ReadSectionResult readSettingsSection(MosaicSettings& settings, SettingsStore& store,
                                                    const std::string& section);

/// Sets one parameter from its settings-file key and text, read the way a settings file is
/// read (`TileSize` = "50", `FileFormat` = "tiff_jpg80", `TileUnit` = "tilesxrow",
/// `Advanced.Options.ThreadCount` = "2"). Returns false for an unknown key.
[[nodiscard]] bool applySettingText(MosaicSettings& settings, const std::string& key,
                                    const std::string& text);

/// The built-in sets of the settings list and their ids.
enum class SettingsSetId : int {
  User = 0,
  DefaultSettings = 1,
  VideoMosaic = 2,
  LastMosaic = 3,
  AutoSave = 4,
  UseAllImages = 5,
};

/// Applies the column of a built-in set (Default Settings, Video Mosaic) to every parameter,
/// empties `MosaicDirectory` and marks every parameter as set. Does not touch the advanced rows.
void applyBuiltInColumn(MosaicSettings& settings, SettingsSetId set);

/// Applies the Use All Images set for a list of `tileCount` tiles: t = 2 x tiles (at least
/// 500) tiles, a mosaic of s x s MP with s = t / 4, reduced again to s / 4 (but at least 205)
/// when above 205, `SplitMosaic` from s >= 501. Returns false, changing nothing, without tiles.
[[nodiscard]] bool applyUseAllImages(MosaicSettings& settings, std::size_t tileCount);

/// The Tile Images List as settings sets see it. The tile library implements it; settings sets
/// only ask for the loaded list and request another to be loaded.
class TileListHost {
 public:
  virtual ~TileListHost() = default;
  /// The path of the loaded list ("" when none is loaded).
  [[nodiscard]] virtual std::string loadedListPath() const = 0;
  /// Whether the loaded list has changes not yet saved.
  [[nodiscard]] virtual bool hasUnsavedChanges() const = 0;
  /// Number of tiles in the loaded list.
  [[nodiscard]] virtual std::size_t tileCount() const = 0;
  /// Loads the list at `path`; the tile library reports its own failures to the user.
  virtual void loadTileList(const std::string& path) = 0;
};

/// The name and check boxes of the Save Settings dialog.
struct SaveSettingsChoice {
  std::string name;
  bool includeTileList = true;
  bool includeAdvanced = true;
};

/// The Save Settings dialog, shown by the front end.
class SaveSettingsDialog {
 public:
  virtual ~SaveSettingsDialog() = default;
  /// Shows the dialog with `initial`; the Tile Images List check box is unchecked and
  /// unavailable unless `tileListAvailable`. Returns nothing on Cancel.
  virtual std::optional<SaveSettingsChoice> ask(const SaveSettingsChoice& initial,
                                                bool tileListAvailable) = 0;
};

/// How an interactive save ended.
enum class SaveOutcome {
  Saved,
  Cancelled,          ///< the user cancelled the dialog (or no dialog could ask)
  InvalidParameters,  ///< the parameters are invalid after the rules; nothing was saved
  WriteFailed,        ///< the file could not be written
};

/// The files settings sets work on. Defaults: the user settings file and the configuration file
/// in the configuration folder. Tests point both elsewhere.
struct SettingsFiles {
  std::string userSettingsFile = userSettingsFileName();
  SettingsLocation userSettingsLocation = SettingsLocation::ConfigFolder;
  std::string configFile = kConfigFileName;
  SettingsLocation configLocation = SettingsLocation::ConfigFolder;
};

/// The window side of settings sets: the settings list with its selection and Delete button
/// state, loading, saving and deleting sets. The GUI and the CLI drive it; messages and
/// questions go through `UserDialogs`. Window thread only; the settings record it edits must
/// outlive it.
class SettingsSetsModel {
 public:
  /// One line of the settings list.
  struct Entry {
    std::string text;  ///< shown text: the section name, or "(" + translated name + ")"
    SettingsSetId id;
  };

  SettingsSetsModel(MosaicSettings& settings, SettingsFiles files = {});

  /// The tile library (nullptr: no list loaded; a set's `TileList` is then kept, see
  /// `requestedTileList`). Not owned.
  void setTileListHost(TileListHost* host) { m_tiles = host; }
  /// The Save Settings dialog (nullptr: unnamed saves are cancelled). Not owned.
  void setSaveDialog(SaveSettingsDialog* dialog) { m_saveDialog = dialog; }
  /// Whether a main image is selected (Use All Images needs one).
  void setMainImageSelected(bool selected) { m_mainImageSelected = selected; }
  /// While a job runs, loading is refused.
  void setJobRunning(bool running) { m_jobRunning = running; }
  /// Called after a load changed the settings (the window refreshes its controls).
  void setChangedCallback(std::function<void()> callback) { m_changed = std::move(callback); }

  /// Refills the list from the user settings file and the built-in sets and selects the entry
  /// with `requestedId` (when not `User`) or the text `requestedName`.
  void listSettingsSets(SettingsSetId requestedId, const std::string& requestedName = {});

  /// Selects the list entry `index` (out of range: no selection).
  void select(int index);

  /// At program start: selects "(Auto Save)" when that section exists, else Default Settings,
  /// and loads it.
  void startUp();

  /// Loads the selected set. Returns true when the settings changed.
  bool loadSelected();

  /// Loads section `section` of `file` as a user set (a mosaic settings file, or a named set
  /// of another file). Returns true when the settings changed.
  bool loadSettingsSet(const std::string& file, SettingsLocation location,
                       const std::string& section);

  /// A file dropped on or opened in the window: a mosaic settings file is loaded and true is
  /// returned; any other file is left to the caller as a main image (false).
  bool openFile(const std::string& path);

  /// The window's Save command and the automatic saves. With `file`, saves section "Mosaic
  /// Settings" of that file; else a set of the user settings file named `name`, or named
  /// through the Save Settings dialog when `name` is not given. Runs the parameter rules in
  /// full first and refuses invalid parameters.
  SaveOutcome saveSettingsInteractive(const std::optional<std::string>& name,
                                      const std::optional<std::string>& file = std::nullopt,
                                      SettingsLocation location = SettingsLocation::AsGiven);

  /// The window's Delete command on the selected entry (asks first).
  void deleteSettingsSet();

  [[nodiscard]] const std::vector<Entry>& entries() const { return m_entries; }
  /// Index of the selected entry, -1 when none.
  [[nodiscard]] int selectedIndex() const { return m_selected; }
  /// Whether the Delete button is enabled (the selected name does not begin with "(").
  [[nodiscard]] bool deleteEnabled() const { return m_deleteEnabled; }
  /// The result of the last validation after a load.
  [[nodiscard]] bool parametersValid() const { return m_valid; }
  /// The `TileList` of the last loaded set that could not be loaded for lack of a tile library
  /// ("" when none).
  [[nodiscard]] const std::string& requestedTileList() const { return m_requestedTileList; }
  [[nodiscard]] const SettingsFiles& files() const { return m_files; }

 private:
  bool loadUserSet(const std::string& file, SettingsLocation location, const std::string& section);
  bool loadBuiltIn(SettingsSetId id);
  void afterLoad();
  void loadTileListOf(const std::string& path);
  long sectionVersion(const std::string& section);
  void openConfig(SettingsStore& store) const;
  void openUserFile(SettingsStore& store) const;

  MosaicSettings& m_settings;
  SettingsFiles m_files;
  TileListHost* m_tiles = nullptr;
  SaveSettingsDialog* m_saveDialog = nullptr;
  std::function<void()> m_changed;
  std::vector<Entry> m_entries;
  int m_selected = -1;
  bool m_deleteEnabled = false;
  bool m_mainImageSelected = false;
  bool m_jobRunning = false;
  bool m_valid = false;
  std::string m_requestedTileList;
};

}  // namespace tg
