// SPDX-License-Identifier: GPL-3.0-or-later
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job/settings_sets.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::readFile;
using test::ScratchDir;
using test::writeFile;

class FakeTileList final : public TileListHost {
 public:
  std::string loadedListPath() const override { return path; }
  bool hasUnsavedChanges() const override { return unsaved; }
  std::size_t tileCount() const override { return tiles; }
  void loadTileList(const std::string& newPath) override {
    loads.push_back(newPath);
    path = newPath;
  }

  std::string path;
  bool unsaved = false;
  std::size_t tiles = 0;
  std::vector<std::string> loads;
};

class ScriptedSaveDialog final : public SaveSettingsDialog {
 public:
  std::optional<SaveSettingsChoice> ask(const SaveSettingsChoice& initial,
                                        bool tileListAvailable) override {
    offeredTileList.push_back(tileListAvailable);
    shown.push_back(initial);
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<std::optional<SaveSettingsChoice>> answers;
  std::vector<SaveSettingsChoice> shown;
  std::vector<bool> offeredTileList;
};

class SettingsSetsModelTest : public ::testing::Test {
 protected:
  SettingsSetsModelTest() : m_model(m_settings, files()) {
    m_model.setTileListHost(&m_tiles);
    m_model.setSaveDialog(&m_dialog);
  }

  SettingsFiles files() const {
    SettingsFiles f;
    f.userSettingsFile = m_dir.file("TesselographSettings12x12.txt");
    f.userSettingsLocation = SettingsLocation::AsGiven;
    f.configFile = m_dir.file("TesselographConfig.txt");
    f.configLocation = SettingsLocation::AsGiven;
    return f;
  }
  std::string userFile() const { return m_dir.file("TesselographSettings12x12.txt"); }
  std::vector<std::string> listTexts() const {
    std::vector<std::string> texts;
    for (const auto& entry : m_model.entries()) texts.push_back(entry.text);
    return texts;
  }
  int indexOf(const std::string& text) const {
    const auto texts = listTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (texts[i] == text) return static_cast<int>(i);
    }
    return -1;
  }

  ScratchDir m_dir;
  ScopedScriptedDialogs m_dialogs;
  MosaicSettings m_settings;
  FakeTileList m_tiles;
  ScriptedSaveDialog m_dialog;
  SettingsSetsModel m_model;
};

TEST_F(SettingsSetsModelTest, ListsValidUserSetsThenTheBuiltInOnes) {
  writeFile(userFile(),
            "[beta]\nVersion = 1\n[alpha]\nVersion = 3\n[old]\nVersion = 0\n[(hidden)]\n"
            "Version = 1\n[(Last Mosaic)]\nVersion = 1\n");
  m_model.listSettingsSets(SettingsSetId::User, "beta");
  EXPECT_EQ(listTexts(),
            (std::vector<std::string>{"alpha", "beta", "(Default Settings)", "(Use All Images)",
                                      "(Video Mosaic)", "(Last Mosaic)"}));
  EXPECT_EQ(m_model.selectedIndex(), 1);
  m_model.listSettingsSets(SettingsSetId::LastMosaic);
  EXPECT_EQ(m_model.selectedIndex(), 5);
  m_model.listSettingsSets(SettingsSetId::AutoSave);  // not listed: no selection
  EXPECT_EQ(m_model.selectedIndex(), -1);
}

TEST_F(SettingsSetsModelTest, StartUpRestoresAutoSaveOrTheDefaults) {
  writeFile(m_dir.file("TesselographConfig.txt"),
            "[Default Values]\nOptions.ThreadCount = 6\nVideoMosaic.FourCC = DIVX\n");
  m_model.startUp();
  EXPECT_EQ(listTexts()[static_cast<std::size_t>(m_model.selectedIndex())], "(Default Settings)");
  EXPECT_EQ(m_settings.advanced.rowValue(AdvancedRow::ThreadCount), "6");
  EXPECT_EQ(m_settings.advanced.rowValue(AdvancedRow::TileSplit), "AUTO");
  EXPECT_TRUE(m_settings.tileSize.isSet);
  EXPECT_FALSE(m_model.deleteEnabled());
  EXPECT_TRUE(m_model.parametersValid());

  MosaicSettings saved;
  saved.tileSize.value = Quantity{77, UnitId::Pixel};
  ASSERT_TRUE(saveSettingsSet(saved, userFile(), SettingsLocation::AsGiven, kAutoSaveSection,
                              std::nullopt, false));
  MosaicSettings restored;
  SettingsSetsModel model(restored, files());
  model.startUp();
  EXPECT_EQ(restored.tileSize.value, (Quantity{77, UnitId::Pixel}));
  // Saved without advanced rows: the rows come from the configuration file.
  EXPECT_EQ(restored.advanced.rowValue(AdvancedRow::FourCC), "DIVX");
}

TEST_F(SettingsSetsModelTest, BuiltInSetsApplyTheirColumnsAndEmptyTheDirectory) {
  m_model.listSettingsSets(SettingsSetId::VideoMosaic);
  m_settings.mosaicDirectory.value = "/somewhere";
  ASSERT_TRUE(m_model.loadSelected());
  EXPECT_EQ(m_settings.fileFormat.value, kFormatAviUncompressed);
  EXPECT_EQ(m_settings.mosaicSize.value, (SizeValue{1280, 720, UnitId::Pixel}));
  EXPECT_EQ(m_settings.tileSize.value, (Quantity{300, UnitId::Tiles}));
  EXPECT_EQ(m_settings.mosaicDirectory.value, "");
  EXPECT_TRUE(m_settings.mosaicDirectory.isSet);
  // The advanced rows were empty and are filled with the (factory) defaults.
  EXPECT_EQ(m_settings.advanced.rowValue(AdvancedRow::MemoryMaxSizeMB), "1500");

  // Use All Images needs a main image and tiles.
  m_model.listSettingsSets(SettingsSetId::UseAllImages);
  m_tiles.tiles = 1000;
  EXPECT_FALSE(m_model.loadSelected());
  m_model.setMainImageSelected(true);
  m_tiles.tiles = 0;
  EXPECT_FALSE(m_model.loadSelected());
  m_tiles.tiles = 1000;
  ASSERT_TRUE(m_model.loadSelected());
  EXPECT_EQ(m_settings.mosaicSize.value, (SizeValue{205, 205, UnitId::MegaPixel}));
  EXPECT_EQ(m_settings.fileFormat.value, kFormatJpeg);
}

TEST_F(SettingsSetsModelTest, DefaultSettingsReloadTheSavedAdvancedDefaults) {
  m_model.startUp();
  m_settings.advanced.setRowValue(AdvancedRow::PriorityRed, "30");
  SettingsStore config;
  config.open(m_dir.file("TesselographConfig.txt"), SettingsLocation::AsGiven);
  ASSERT_TRUE(saveAdvancedDefaults(m_settings.advanced, config));
  m_settings.advanced.setRowValue(AdvancedRow::PriorityRed, "99");
  m_model.listSettingsSets(SettingsSetId::DefaultSettings);
  ASSERT_TRUE(m_model.loadSelected());
  EXPECT_EQ(m_settings.advanced.rowValue(AdvancedRow::PriorityRed), "30");
}

TEST_F(SettingsSetsModelTest, LoadingIsRefusedWhileAJobRuns) {
  m_model.listSettingsSets(SettingsSetId::VideoMosaic);
  m_model.setJobRunning(true);
  EXPECT_FALSE(m_model.loadSelected());
  EXPECT_EQ(m_settings.fileFormat.value, kFormatJpeg);
}

TEST_F(SettingsSetsModelTest, InteractiveSaveRefusesBadNamesAndAsksBeforeOverwriting) {
  m_tiles.path = "/lists/a.tg4";
  ASSERT_TRUE(saveSettingsSet(m_settings, userFile(), SettingsLocation::AsGiven, "Taken",
                              std::nullopt, true));
  m_dialog.answers = {SaveSettingsChoice{"  ", true, true}, SaveSettingsChoice{"(Auto", true, true},
                      SaveSettingsChoice{"mine)", true, true},
                      SaveSettingsChoice{" Taken ", true, true},
                      SaveSettingsChoice{"Fresh ", true, false}};
  m_dialogs->answerNext(Answer::Ok);
  m_dialogs->answerNext(Answer::Ok);
  m_dialogs->answerNext(Answer::Ok);
  m_dialogs->answerNext(Answer::No);  // do not overwrite "Taken"
  m_settings.tileDuplication.value = 0;
  m_settings.duplicateSpacing.value = 0;
  EXPECT_EQ(m_model.saveSettingsInteractive(std::nullopt), SaveOutcome::Saved);
  EXPECT_EQ(m_dialogs->texts(),
            (std::vector<std::string>{"Please insert a valid name for the settings",
                                      "Please insert a valid name for the settings",
                                      "Please insert a valid name for the settings",
                                      "Do you want to overwrite the existing settings?"}));
  EXPECT_EQ(m_dialogs->messages()[3].icon, Icon::Question);
  EXPECT_TRUE(m_dialog.offeredTileList.front());
  // The rules ran in full before saving.
  EXPECT_EQ(m_settings.tileDuplication.value, 1);
  const std::string text = readFile(userFile());
  EXPECT_NE(text.find("[Fresh]\r\n"), std::string::npos);
  EXPECT_NE(text.find("TileList = /lists/a.tg4\r\n"), std::string::npos);
  EXPECT_NE(text.find("Advanced.Version = 0\r\n"), std::string::npos);
  EXPECT_EQ(listTexts()[static_cast<std::size_t>(m_model.selectedIndex())], "Fresh");

  m_dialog.answers = {std::nullopt};
  EXPECT_EQ(m_model.saveSettingsInteractive(std::nullopt), SaveOutcome::Cancelled);
}

TEST_F(SettingsSetsModelTest, AutomaticSavesIncludeListAndRowsAndSelectTheirEntry) {
  m_tiles.path = "/lists/a.tg4";
  m_settings.advanced.setRowValue(AdvancedRow::FourCC, "XVID");
  EXPECT_EQ(m_model.saveSettingsInteractive(std::string(kLastMosaicSection)), SaveOutcome::Saved);
  EXPECT_EQ(m_model.saveSettingsInteractive(std::string(kAutoSaveSection)), SaveOutcome::Saved);
  ASSERT_GE(m_model.selectedIndex(), 0);
  EXPECT_EQ(m_model.entries()[static_cast<std::size_t>(m_model.selectedIndex())].id,
            SettingsSetId::AutoSave);
  const std::string text = readFile(userFile());
  EXPECT_NE(text.find("[(Last Mosaic)]\r\nVersion = 1\r\n"), std::string::npos);
  EXPECT_NE(text.find("Advanced.VideoMosaic.FourCC = XVID\r\n"), std::string::npos);
  EXPECT_NE(text.find("TileList = /lists/a.tg4\r\n"), std::string::npos);
  EXPECT_TRUE(m_dialog.shown.empty());  // named saves ask nothing
}

TEST_F(SettingsSetsModelTest, InvalidParametersAreNotSaved) {
  m_settings.tileVariants.value = 0;
  EXPECT_EQ(m_model.saveSettingsInteractive(std::string(kAutoSaveSection)),
            SaveOutcome::InvalidParameters);
  EXPECT_EQ(readFile(userFile()), "");
}

TEST_F(SettingsSetsModelTest, MosaicSettingsFilesAreSavedAndOpenedByName) {
  const std::string file = m_dir.file("beach Mosaic Settings.TXT");
  m_settings.tileSize.value = Quantity{33, UnitId::TilesPerRow};
  ASSERT_EQ(m_model.saveSettingsInteractive(std::nullopt, file), SaveOutcome::Saved);
  EXPECT_NE(readFile(file).find("[Mosaic Settings]\r\n"), std::string::npos);

  MosaicSettings other;
  SettingsSetsModel model(other, files());
  EXPECT_FALSE(model.openFile(m_dir.file("beach.jpg")));
  EXPECT_TRUE(model.openFile(file));
  EXPECT_EQ(other.tileSize.value, (Quantity{33, UnitId::TilesPerRow}));
}

TEST_F(SettingsSetsModelTest, TileListIsReloadedOnlyWhenDifferentOrChanged) {
  const std::string file = m_dir.file("m.txt");
  ASSERT_TRUE(saveSettingsSet(m_settings, file, SettingsLocation::AsGiven, kMosaicSettingsSection,
                              std::string("/lists/a.tg4"), true));
  m_tiles.path = "/lists/a.tg4";
  ASSERT_TRUE(m_model.openFile(file));
  EXPECT_TRUE(m_tiles.loads.empty());
  m_tiles.unsaved = true;
  ASSERT_TRUE(m_model.openFile(file));
  EXPECT_EQ(m_tiles.loads, (std::vector<std::string>{"/lists/a.tg4"}));
  m_tiles.unsaved = false;
  m_tiles.path = "/lists/b.tg4";
  ASSERT_TRUE(m_model.openFile(file));
  EXPECT_EQ(m_tiles.loads.size(), 2u);

  // Without a tile library the path is kept and reported.
  MosaicSettings other;
  SettingsSetsModel model(other, files());
  ASSERT_TRUE(model.openFile(file));
  EXPECT_EQ(model.requestedTileList(), "/lists/a.tg4");
}

TEST_F(SettingsSetsModelTest, DeleteAsksAndRefusesTheAutomaticSets) {
  m_model.deleteSettingsSet();
  ASSERT_TRUE(saveSettingsSet(m_settings, userFile(), SettingsLocation::AsGiven, "Mine",
                              std::nullopt, true));
  ASSERT_TRUE(saveSettingsSet(m_settings, userFile(), SettingsLocation::AsGiven, kAutoSaveSection,
                              std::nullopt, true));
  m_model.listSettingsSets(SettingsSetId::AutoSave);
  ASSERT_TRUE(m_model.loadSelected());
  EXPECT_FALSE(m_model.deleteEnabled());
  m_model.deleteSettingsSet();

  m_model.listSettingsSets(SettingsSetId::User, "Mine");
  ASSERT_TRUE(m_model.loadSelected());
  EXPECT_TRUE(m_model.deleteEnabled());
  m_dialogs->answerNext(Answer::No);
  m_model.deleteSettingsSet();
  EXPECT_NE(indexOf("Mine"), -1);
  m_model.deleteSettingsSet();  // the default answer is No as well
  EXPECT_NE(indexOf("Mine"), -1);
  m_dialogs->answerNext(Answer::Yes);
  m_model.deleteSettingsSet();
  EXPECT_EQ(indexOf("Mine"), -1);
  EXPECT_EQ(readFile(userFile()).find("[Mine]"), std::string::npos);
  EXPECT_EQ(m_dialogs->texts(),
            (std::vector<std::string>{"Select first a Settings to delete",
                                      "The automatic settings cannot be deleted",
                                      "Do you want to delete the selected Settings?",
                                      "Do you want to delete the selected Settings?",
                                      "Do you want to delete the selected Settings?"}));
}

}  // namespace
}  // namespace tg
