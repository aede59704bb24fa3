// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/settings_sets.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::readFile;
using test::ScratchDir;
using test::writeFile;

/// Every stored value of two records, compared one by one so a failure names the key.
void expectSameValues(const MosaicSettings& a, const MosaicSettings& b) {
  EXPECT_EQ(a.mosaicSize.value, b.mosaicSize.value);
  EXPECT_EQ(a.resolution.value, b.resolution.value);
  EXPECT_EQ(a.tileSize.value, b.tileSize.value);
  EXPECT_EQ(a.borderSize.value, b.borderSize.value);
  const IntParameter MosaicSettings::*ints[] = {&MosaicSettings::multiSize2,
                                                &MosaicSettings::multiSize4,
                                                &MosaicSettings::tileDuplication,
                                                &MosaicSettings::duplicateSpacing,
                                                &MosaicSettings::pattern,
                                                &MosaicSettings::tileAdapt,
                                                &MosaicSettings::colorChange,
                                                &MosaicSettings::mosaicProcessing,
                                                &MosaicSettings::imageCompare,
                                                &MosaicSettings::imageDetail,
                                                &MosaicSettings::colorChangePriority,
                                                &MosaicSettings::fileFormat,
                                                &MosaicSettings::jpgQuality,
                                                &MosaicSettings::mosaicSubdirectory,
                                                &MosaicSettings::mosaicFileName,
                                                &MosaicSettings::webPageSize,
                                                &MosaicSettings::consecutiveFrames,
                                                &MosaicSettings::borderColor};
  for (auto member : ints) EXPECT_EQ((a.*member).value, (b.*member).value);
  const Parameter<bool> MosaicSettings::*flags[] = {
      &MosaicSettings::useAllImages, &MosaicSettings::outputTransparency,
      &MosaicSettings::outputLayers, &MosaicSettings::outputTiff64,
      &MosaicSettings::textReport,   &MosaicSettings::individualTiles,
      &MosaicSettings::splitMosaic,  &MosaicSettings::createMaskFile};
  for (auto member : flags) EXPECT_EQ((a.*member).value, (b.*member).value);
  EXPECT_EQ(a.tileVariants.value, b.tileVariants.value);
  EXPECT_EQ(a.mosaicDirectory.value, b.mosaicDirectory.value);
  EXPECT_TRUE(a.advanced.sameValues(b.advanced));
}

/// A record with a value other than the default in every key.
MosaicSettings unusualSettings() {
  MosaicSettings s;
  s.mosaicSize.set(SizeValue{29.5, 21.25, UnitId::Inch});
  s.resolution.set(Quantity{240, UnitId::Dpi});
  s.tileSize.set(Quantity{2.5, UnitId::Cm});
  s.multiSize2.set(10);
  s.multiSize4.set(5);
  s.tileDuplication.set(4);
  s.duplicateSpacing.set(7);
  s.pattern.set(6);
  s.tileAdapt.set(2);
  s.colorChange.set(45);
  s.tileVariants.set(32);
  s.mosaicProcessing.set(9);
  s.imageCompare.set(3);
  s.imageDetail.set(8);
  s.colorChangePriority.set(5);
  s.useAllImages.set(true);
  s.fileFormat.set(kFormatPsb);
  s.jpgQuality.set(77);
  s.outputTransparency.set(true);
  s.outputLayers.set(true);
  s.outputTiff64.set(true);
  s.mosaicDirectory.set("  /home/user/My Mosaics/  ");
  s.mosaicSubdirectory.set(3);
  s.mosaicFileName.set(1);
  s.webPageSize.set(750);
  s.textReport.set(true);
  s.individualTiles.set(true);
  s.splitMosaic.set(true);
  s.createMaskFile.set(true);
  s.consecutiveFrames.set(5);
  s.borderColor.set(0x0080FF);
  s.borderSize.set(Quantity{3, UnitId::Mm});
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    s.advanced.setRowValue(i, "v" + std::to_string(i));
  }
  return s;
}

class SettingsSetsTest : public ::testing::Test {
 protected:
  SettingsFiles files() const {
    SettingsFiles f;
    f.userSettingsFile = m_dir.file("TesselographSettings12x12.txt");
    f.userSettingsLocation = SettingsLocation::AsGiven;
    f.configFile = m_dir.file("TesselographConfig.txt");
    f.configLocation = SettingsLocation::AsGiven;
    return f;
  }
  std::string userFile() const { return m_dir.file("TesselographSettings12x12.txt"); }

  ScratchDir m_dir;
  ScopedScriptedDialogs m_dialogs;
};

TEST_F(SettingsSetsTest, ASavedSetLoadsBackIdenticalWithTheDocumentedTextForms) {
  const MosaicSettings saved = unusualSettings();
  ASSERT_TRUE(saveSettingsSet(saved, userFile(), SettingsLocation::AsGiven, "Mine",
                              std::string("/lists/all.tg4"), true));
  const std::string text = readFile(userFile());
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF[Mine]\r\nVersion = 1\r\nMosaicSizeUnit = inch\r\n", 0), 0u);
  for (const char* line :
       {"MosaicSizeWidth = 29.500000\r\n", "ResolutionUnit = dpi\r\n", "ResolutionSize = 240\r\n",
        "TileUnit = cm\r\n", "TileSize = 2.500000\r\n", "Pattern = 7\r\n",
        "TileVariants = rotated90\r\n", "MosaicProcessing = standard2\r\n", "FileFormat = psb\r\n",
        "MosaicSubdirectory = new\r\n", "MosaicFileName = overwrite\r\n", "BorderColor = 33023\r\n",
        "BorderSizeUnit = mm\r\n", "Advanced.Version = 1\r\n",
        "Advanced.Options.ThreadCount = v0\r\n", "Advanced.Options.TileSplit = v10\r\n",
        "TileList = /lists/all.tg4\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_LT(text.find("BorderSizeWidth"), text.find("Advanced.Version"));
  EXPECT_LT(text.find("Advanced.Extract.ExtractStaticVideo"), text.find("\r\nTileList = "));

  MosaicSettings loaded;
  SettingsStore store;
  store.open(userFile(), SettingsLocation::AsGiven);
  const ReadSectionResult result = readSettingsSection(loaded, store, "Mine");
  ASSERT_TRUE(result.applied);
  EXPECT_EQ(result.tileList, "/lists/all.tg4");
  expectSameValues(saved, loaded);
  EXPECT_TRUE(loaded.pattern.isSet);
  EXPECT_TRUE(loaded.mosaicSize.isSet);
}

TEST_F(SettingsSetsTest, IntegersAreTruncatedAndVariantsWithoutTokenAreShifted) {
  MosaicSettings settings;
  settings.resolution.value = Quantity{299.9, UnitId::Ppi};
  settings.borderSize.value = Quantity{2.7, UnitId::Pixel};
  ASSERT_TRUE(
      saveSettingsSet(settings, userFile(), SettingsLocation::AsGiven, "S", std::nullopt, false));
  const std::string text = readFile(userFile());
  EXPECT_NE(text.find("ResolutionSize = 299\r\n"), std::string::npos);
  EXPECT_NE(text.find("BorderSizeWidth = 2\r\n"), std::string::npos);
  EXPECT_NE(text.find("TileVariants = 103\r\n"), std::string::npos);
  EXPECT_NE(text.find("Advanced.Version = 0\r\n"), std::string::npos);
  EXPECT_NE(text.find("Advanced.Options.Priority = \r\n"), std::string::npos);
  EXPECT_NE(text.find("TileList = \r\n"), std::string::npos);

  MosaicSettings loaded;
  SettingsStore store;
  store.open(userFile(), SettingsLocation::AsGiven);
  ASSERT_TRUE(readSettingsSection(loaded, store, "S").applied);
  EXPECT_EQ(loaded.resolution.value.value, 299);
  EXPECT_EQ(loaded.tileVariants.value, 102u);
}

TEST_F(SettingsSetsTest, FileFormatReadsPackedOldAndNumericForms) {
  struct Row {
    const char* format;
    const char* quality;
    long expectedFormat;
    long expectedQuality;
    bool tiff64;
  };
  const Row rows[] = {
      {"tiff_jpg80", "50", 111, 80, false},   {"bigtiff", "50", 102, 95, true},
      {"bigtiff_jpg40", "50", 111, 40, true}, {"150", "50", 100, 100, false},
      {"60", "50", 100, 60, false},           {"psd", "0", 109, 95, false},
      {"jpg", "101", 100, 95, false},         {"garbage", "70", 0, 70, false},
  };
  for (const Row& row : rows) {
    writeFile(userFile(), std::string("[S]\nVersion = 1\nFileFormat = ") + row.format +
                              "\nJPGQuality = " + row.quality + "\n");
    MosaicSettings loaded;
    SettingsStore store;
    store.open(userFile(), SettingsLocation::AsGiven);
    ASSERT_TRUE(readSettingsSection(loaded, store, "S").applied) << row.format;
    EXPECT_EQ(loaded.fileFormat.value, row.expectedFormat) << row.format;
    EXPECT_EQ(loaded.jpgQuality.value, row.expectedQuality) << row.format;
    EXPECT_EQ(loaded.outputTiff64.value, row.tiff64) << row.format;
  }
}

TEST_F(SettingsSetsTest, SectionsThatAreNotVersionOneChangeNothing) {
  const std::vector<std::string> contents = {
      "",                                           // empty file
      "[S]\r\nVersion = 2\r\nTileSize = 99\r\n",    // another version
      "[S]\nTileSize = 99\n",                       // no version
      "\x01\x02garbage\xff\xfe[S\nVersion = 1x\n",  // garbage
      "[Other]\nVersion = 1\nTileSize = 99\n",      // another section only
  };
  for (const std::string& content : contents) {
    writeFile(userFile(), content);
    MosaicSettings settings;
    SettingsStore store;
    store.open(userFile(), SettingsLocation::AsGiven);
    EXPECT_FALSE(readSettingsSection(settings, store, "S").applied);
    expectSameValues(settings, MosaicSettings{});
    EXPECT_FALSE(settings.tileSize.isSet);
  }
  MosaicSettings settings;
  SettingsStore missing;
  missing.open(m_dir.file("missing.txt"), SettingsLocation::AsGiven);
  EXPECT_FALSE(readSettingsSection(settings, missing, "S").applied);
}

TEST_F(SettingsSetsTest, MissingKeysResetOrLeaveParametersAsTheReadingRulesSay) {
  // A minimal set from another version: without BOM, LF only, unknown keys.
  writeFile(userFile(), "[S]\nVersion = 1\nFutureKey = 3\nTileUnit = pixel\nTileSize = 80\n");
  MosaicSettings settings;
  settings.mosaicDirectory.value = "/kept";
  settings.advanced.setRowValue(AdvancedRow::FourCC, "XVID");
  SettingsStore store;
  store.open(userFile(), SettingsLocation::AsGiven);
  ASSERT_TRUE(readSettingsSection(settings, store, "S").applied);
  EXPECT_EQ(settings.tileSize.value, (Quantity{80, UnitId::Pixel}));
  EXPECT_EQ(settings.mosaicSize.value, (SizeValue{42, 29, UnitId::Cm}));  // unit 0: kept
  EXPECT_FALSE(settings.mosaicSize.isSet);
  EXPECT_EQ(settings.pattern.value, 0);           // token missing: reset to 0
  EXPECT_EQ(settings.duplicateSpacing.value, 0);  // integer missing: 0
  EXPECT_EQ(settings.tileVariants.value, 102u);   // empty text: kept
  EXPECT_EQ(settings.jpgQuality.value, 95);       // quality 0 becomes 95
  EXPECT_EQ(settings.mosaicDirectory.value, "/kept");
  EXPECT_EQ(settings.advanced.rowValue(AdvancedRow::FourCC), "XVID");  // no Advanced.Version
  EXPECT_FALSE(validateParameters(settings));  // stored as read; validation reports it
}

TEST_F(SettingsSetsTest, SavingKeepsOtherSectionsAndNeverWritesAnEmptyName) {
  writeFile(userFile(), "\xEF\xBB\xBF[Other]\r\nVersion = 1\r\nKeep = me\r\n");
  const MosaicSettings settings;
  EXPECT_FALSE(
      saveSettingsSet(settings, userFile(), SettingsLocation::AsGiven, "", std::nullopt, true));
  EXPECT_FALSE(saveSettingsSet(settings, "", SettingsLocation::AsGiven, "S", std::nullopt, true));
  ASSERT_TRUE(
      saveSettingsSet(settings, userFile(), SettingsLocation::AsGiven, "New", std::nullopt, true));
  EXPECT_NE(readFile(userFile()).find("Keep = me\r\n"), std::string::npos);
  // A file in a folder that does not exist cannot be created: false, nothing else happens.
  EXPECT_FALSE(saveSettingsSet(settings, m_dir.file("no/such/dir/s.txt"), SettingsLocation::AsGiven,
                               "S", std::nullopt, true));
}

TEST(UseAllImages, ComputesTileCountMosaicSizeAndSplit) {
  struct Row {
    std::size_t tiles;
    double tileCount;
    double side;
    bool split;
  };
  const Row rows[] = {{100, 500, 125, false}, {1000, 2000, 205, false}, {5000, 10000, 625, true},
                      {1, 500, 125, false},   {410, 820, 205, false},   {2004, 4008, 250, false}};
  for (const Row& row : rows) {
    MosaicSettings settings;
    settings.mosaicDirectory.value = "/x";
    ASSERT_TRUE(applyUseAllImages(settings, row.tiles));
    EXPECT_EQ(settings.tileSize.value, (Quantity{row.tileCount, UnitId::Tiles})) << row.tiles;
    EXPECT_EQ(settings.mosaicSize.value, (SizeValue{row.side, row.side, UnitId::MegaPixel}))
        << row.tiles;
    EXPECT_EQ(settings.splitMosaic.value, row.split) << row.tiles;
    EXPECT_TRUE(settings.useAllImages.value);
    EXPECT_TRUE(settings.splitMosaic.isSet);
    EXPECT_EQ(settings.mosaicDirectory.value, "");
  }
  MosaicSettings settings;
  EXPECT_FALSE(applyUseAllImages(settings, 0));
  EXPECT_FALSE(settings.tileSize.isSet);
}

TEST(ApplySettingText, SetsOneKeyTheWayAFileIsRead) {
  MosaicSettings settings;
  EXPECT_TRUE(applySettingText(settings, "TileUnit", "tilesxrow"));
  EXPECT_TRUE(applySettingText(settings, "TileSize", "55.5"));
  EXPECT_TRUE(applySettingText(settings, "FileFormat", "tiff_jpg60"));
  EXPECT_TRUE(applySettingText(settings, "Pattern", "Square (3 rows)"));
  EXPECT_TRUE(applySettingText(settings, "TextReport", "1"));
  EXPECT_TRUE(applySettingText(settings, "MosaicSizeWidth", "12.5"));
  EXPECT_TRUE(applySettingText(settings, "Advanced.Options.ThreadCount", "2"));
  EXPECT_FALSE(applySettingText(settings, "Advanced.", "2"));
  EXPECT_FALSE(applySettingText(settings, "NoSuchKey", "2"));
  EXPECT_EQ(settings.tileSize.value, (Quantity{55.5, UnitId::TilesPerRow}));
  EXPECT_EQ(settings.fileFormat.value, 111);
  EXPECT_EQ(settings.jpgQuality.value, 60);
  EXPECT_EQ(settings.pattern.value, 3);
  EXPECT_TRUE(settings.textReport.value);
  EXPECT_EQ(settings.mosaicSize.value.width, 12.5);
  EXPECT_EQ(settings.advanced.rowValue(AdvancedRow::ThreadCount), "2");
}

TEST(SettingsFileNames, UserFileAndMosaicSettingsFiles) {
  EXPECT_EQ(userSettingsFileName(), "TesselographSettings12x12.txt");
  EXPECT_TRUE(isMosaicSettingsFileName("a.TXT"));
  EXPECT_TRUE(isMosaicSettingsFileName("/x/beach Mosaic Settings.txt"));
  EXPECT_FALSE(isMosaicSettingsFileName(".txt"));
  EXPECT_FALSE(isMosaicSettingsFileName("photo.jpg"));
  EXPECT_EQ(mosaicSettingsFilePath("/out/beach Mosaic"), "/out/beach Mosaic Settings.txt");
}

}  // namespace
}  // namespace tg
