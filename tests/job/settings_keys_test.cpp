// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/settings_keys.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "job/settings_sets.h"

namespace tg {
namespace {

/// A record whose every parameter differs from the Default Settings.
MosaicSettings unusual() {
  MosaicSettings s;
  s.mosaicSize.set(SizeValue{29.5, 21.25, UnitId::Inch});
  s.resolution.set(Quantity{240, UnitId::Dpi});
  s.tileSize.set(Quantity{2.5, UnitId::Cm});
  for (IntParameter* p : {&s.multiSize2, &s.multiSize4, &s.tileDuplication, &s.colorChange,
                          &s.webPageSize, &s.consecutiveFrames}) {
    p->set(7);
  }
  s.duplicateSpacing.set(5);
  s.pattern.set(6);  // no token: stored as 7
  s.tileAdapt.set(2);
  s.tileVariants.set(2 | 32);
  s.mosaicProcessing.set(9);
  s.imageCompare.set(3);
  s.imageDetail.set(8);
  s.colorChangePriority.set(5);
  s.fileFormat.set(kFormatPsb);
  s.jpgQuality.set(80);
  for (Parameter<bool>* p :
       {&s.useAllImages, &s.outputTransparency, &s.outputLayers, &s.outputTiff64, &s.textReport,
        &s.individualTiles, &s.splitMosaic, &s.createMaskFile}) {
    p->set(true);
  }
  s.mosaicDirectory.set("/photos/out put");
  s.mosaicSubdirectory.set(3);
  s.mosaicFileName.set(1);
  s.borderColor.set(0x0080FF);
  s.borderSize.set(Quantity{4, UnitId::Mm});
  return s;
}

TEST(SettingsKeys, EveryKeyReadsBackTheTextItWrites) {
  const MosaicSettings source = unusual();
  MosaicSettings copy;
  for (const SettingsKey& key : settingsKeys()) {
    ASSERT_TRUE(applySettingText(copy, key.key, settingsKeyText(key, source))) << key.key;
  }
  for (const SettingsKey& key : settingsKeys()) {
    EXPECT_EQ(settingsKeyText(key, copy), settingsKeyText(key, source)) << key.key;
    EXPECT_NE(settingsKeyText(key, copy), settingsKeyText(key, MosaicSettings())) << key.key;
  }
}

TEST(SettingsKeys, TheListingDescribesEveryKeyAndEveryToken) {
  for (const bool video : {true, false}) {
    SCOPED_TRACE(video);
    const MosaicSettings defaults(video);
    const auto keys = describeSettingsKeys(defaults);
    std::set<std::string> names;
    for (const auto& key : keys) {
      EXPECT_TRUE(names.insert(key.key).second) << key.key;
      EXPECT_FALSE(key.meaning.empty()) << key.key;
      for (const NamedValue& token : key.tokens) {
        EXPECT_FALSE(token.meaning.empty()) << key.key << " " << token.text;
        EXPECT_TRUE(video || token.text.rfind("avi_", 0) != 0) << token.text;
      }
      if (key.form == SettingsKeyForm::Token) {
        EXPECT_FALSE(key.tokens.empty()) << key.key;
      }
    }
    // Version, the parameters, Advanced.Version, the advanced rows (12 of them need video),
    // TileList.
    EXPECT_EQ(keys.size(), 1 + settingsKeys().size() + 1 + (video ? 29 : 17) + 1);
    EXPECT_EQ(keys.front().key, "Version");
    EXPECT_EQ(keys.back().key, "TileList");
  }
}

}  // namespace
}  // namespace tg
