// SPDX-License-Identifier: GPL-3.0-or-later
#include <limits>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "job/mosaic_settings.h"
#include "job/settings_tokens.h"

namespace tg {
namespace {

using ::testing::ElementsAre;

TEST(SettingsTokens, EveryWritableTokenRoundTripsAndOtherIdsAreShiftedNumbers) {
  for (TokenTable table :
       {TokenTable::Unit, TokenTable::Pattern, TokenTable::Adapt, TokenTable::Variant,
        TokenTable::Processing, TokenTable::Compare, TokenTable::Detail, TokenTable::ColorChange,
        TokenTable::Subdirectory, TokenTable::FileName, TokenTable::Format}) {
    for (const SettingsToken& token : tokenTable(table)) {
      if (token.readOnly) {
        EXPECT_NE(writeToken(table, token.id), token.text);
        continue;
      }
      EXPECT_EQ(writeToken(table, token.id), token.text);
      EXPECT_EQ(readToken(table, token.text), token.id) << token.text;
    }
  }
  EXPECT_EQ(writeToken(TokenTable::Variant, 32), "rotated90");
  EXPECT_EQ(writeToken(TokenTable::Variant, 102), "103");
  EXPECT_EQ(readToken(TokenTable::Variant, "103"), 102);
  EXPECT_EQ(writeToken(TokenTable::Pattern, 7), "8");  // mixed patterns have no token
  EXPECT_EQ(readToken(TokenTable::Pattern, "8"), 7);
  EXPECT_EQ(readToken(TokenTable::Pattern, "garbage"), 0);
  EXPECT_EQ(readToken(TokenTable::Pattern, ""), 0);
  EXPECT_EQ(readToken(TokenTable::Unit, "TILESXROW"), 0);  // tokens are exact
  EXPECT_EQ(readToken(TokenTable::Unit, "-4"), -5);
  EXPECT_EQ(writeToken(TokenTable::Unit, 0), "1");
  EXPECT_EQ(readToken(TokenTable::Unit, "1"), 0);
  EXPECT_EQ(readToken(TokenTable::Processing, "99999999999999999999999"),
            std::numeric_limits<long>::max() - 1);
}

TEST(SettingsTokens, VideoFormatsExistOnlyWithVideo) {
  EXPECT_EQ(readToken(TokenTable::Format, "avi_compressed", true), 106);
  EXPECT_EQ(readToken(TokenTable::Format, "avi_compressed", false), 0);
  EXPECT_EQ(writeToken(TokenTable::Format, 105, false), "106");
}

TEST(SettingsTokens, PackedFormatIdsHoldQualityFormatAndTiff64) {
  const PackedFormat tiffJpeg = unpackFormatId(28511);
  EXPECT_EQ(tiffJpeg.format, 111);
  EXPECT_EQ(tiffJpeg.quality, 95);
  EXPECT_FALSE(tiffJpeg.tiff64);
  const PackedFormat bigTiff = unpackFormatId(91743);
  EXPECT_EQ(bigTiff.format, 102);
  EXPECT_EQ(bigTiff.quality, 95);
  EXPECT_TRUE(bigTiff.tiff64);
}

TEST(DisplayLabel, AppendedEntriesStayAndPresetsWinWhenPresent) {
  MosaicSettings settings;
  const std::size_t presets = settings.jpgQuality.list.entries.size();
  EXPECT_EQ(presets, 23u);  // 100..90 in steps of 2, then 85..5 in steps of 5
  EXPECT_EQ(displayLabel(settings.jpgQuality), "95 ");
  ASSERT_EQ(settings.jpgQuality.list.entries.size(), presets + 1);
  settings.jpgQuality.set(96);
  EXPECT_EQ(displayLabel(settings.jpgQuality), "96%");
  EXPECT_EQ(settings.jpgQuality.list.entries.size(), presets + 1);  // the 95 entry stays
  settings.jpgQuality.set(95);
  EXPECT_EQ(displayLabel(settings.jpgQuality), "95 ");
  EXPECT_EQ(settings.jpgQuality.list.shown, static_cast<int>(presets));

  EXPECT_EQ(displayLabel(settings.mosaicProcessing), "High Quality");
  EXPECT_EQ(displayLabel(settings.fileFormat), "JPEG Format (.JPG)");
  settings.tileDuplication.set(7);
  EXPECT_EQ(displayLabel(settings.tileDuplication), "7 times");
  settings.tileDuplication.set(-1);
  EXPECT_EQ(displayLabel(settings.tileDuplication), "nnn times");
  settings.colorChange.set(-1);
  EXPECT_EQ(displayLabel(settings.colorChange), "nnn %");
  settings.colorChange.set(15);
  EXPECT_EQ(displayLabel(settings.colorChange), "15%");
  EXPECT_EQ(displayLabel(settings.pattern), "Square");
  settings.pattern.set(9);
  EXPECT_EQ(displayLabel(settings.pattern), "Square (7 rows)");
}

TEST(DisplayLabel, AChosenEntryStaysShownUntilTheValueIsSet) {
  MosaicSettings settings;
  // "unlimited" (1) and "no duplicates" (0) of the spacing list: choosing the second shows it.
  settings.duplicateSpacing.select(1);
  EXPECT_EQ(settings.duplicateSpacing.value, 0);
  settings.duplicateSpacing.list.changed = false;
  EXPECT_EQ(displayLabel(settings.duplicateSpacing), "no duplicates");
  settings.duplicateSpacing.select(99);  // out of range: ignored
  EXPECT_EQ(settings.duplicateSpacing.value, 0);
}

TEST(DisplayLabel, ColoursShowNamesOrRgbText) {
  MosaicSettings settings;
  settings.borderColor.set(0x0080FF);
  EXPECT_EQ(displayLabel(settings.borderColor), "Orange");
  settings.borderColor.set(0x123456);  // blue 0x12, green 0x34, red 0x56
  EXPECT_EQ(displayLabel(settings.borderColor), "86,52,18 RGB Value");
  settings.borderColor.set(-1);
  EXPECT_EQ(displayLabel(settings.borderColor), "nnn,nnn,nnn RGB Value");
}

TEST(DisplayLabel, VideoFormatsAreOfferedOnlyWithVideo) {
  MosaicSettings withVideo(true);
  MosaicSettings withoutVideo(false);
  EXPECT_EQ(withVideo.fileFormat.list.entries.size(), 11u);
  EXPECT_EQ(withoutVideo.fileFormat.list.entries.size(), 9u);
  withVideo.fileFormat.set(kFormatAviCompressed);
  EXPECT_EQ(displayLabel(withVideo.fileFormat), "VideoMosaic (Compressed) (.AVI)");
  EXPECT_EQ(mosaicDirectoryLabel(withVideo), "(Use Directory of Input Image)");
}

TEST(ParameterRules, ConsecutiveFramesForceFasterWithoutDuplicates) {
  MosaicSettings settings;
  settings.consecutiveFrames.set(3);
  settings.mosaicProcessing.value = 1;
  EXPECT_TRUE(applyParameterRules(settings, false));
  EXPECT_EQ(settings.mosaicProcessing.value, 2);
  EXPECT_TRUE(settings.mosaicProcessing.isSet);
  EXPECT_EQ(settings.tileDuplication.value, 1);
  EXPECT_EQ(settings.duplicateSpacing.value, 3);  // rule 2 does not run
  EXPECT_FALSE(applyParameterRules(settings, false));
}

TEST(ParameterRules, SpacingAndDuplicationAgreeUnlessSkipped) {
  MosaicSettings settings;
  settings.duplicateSpacing.value = 0;
  settings.tileDuplication.value = 0;
  EXPECT_FALSE(applyParameterRules(settings, true));
  EXPECT_EQ(settings.tileDuplication.value, 0);
  EXPECT_TRUE(applyParameterRules(settings, false));
  EXPECT_EQ(settings.tileDuplication.value, 1);
  EXPECT_TRUE(settings.tileDuplication.isSet);

  settings.duplicateSpacing.value = 4;  // spacing with "no duplicates"
  EXPECT_TRUE(applyParameterRules(settings, false));
  EXPECT_EQ(settings.duplicateSpacing.value, 0);
  EXPECT_EQ(settings.tileDuplication.value, 1);

  settings.duplicateSpacing.value = 3;  // the defaults agree
  settings.tileDuplication.value = 0;
  EXPECT_FALSE(applyParameterRules(settings, false));
}

TEST(ParameterRules, OutputOptionsFollowTheFormat) {
  MosaicSettings settings;
  settings.outputLayers.value = true;
  settings.outputTransparency.value = true;
  settings.fileFormat.value = kFormatJpeg;
  EXPECT_TRUE(applyParameterRules(settings, true));
  EXPECT_FALSE(settings.outputLayers.value);
  EXPECT_FALSE(settings.outputTransparency.value);

  settings.outputLayers.value = true;
  settings.outputTransparency.value = true;
  settings.fileFormat.value = kFormatTiff;
  EXPECT_TRUE(applyParameterRules(settings, true));
  EXPECT_FALSE(settings.outputLayers.value);
  EXPECT_TRUE(settings.outputTransparency.value);

  settings.outputLayers.value = true;
  settings.fileFormat.value = kFormatPsb;
  EXPECT_FALSE(applyParameterRules(settings, true));

  settings.mosaicSubdirectory.value = 3;
  settings.mosaicFileName.value = 2;
  EXPECT_TRUE(applyParameterRules(settings, true));
  EXPECT_EQ(settings.mosaicFileName.value, 1);
}

TEST(ParameterRules, EveryChangeIsToldInOneLine) {
  MosaicSettings settings;
  std::vector<std::string> notes;
  EXPECT_FALSE(applyParameterRules(settings, false, &notes));  // the defaults agree
  EXPECT_TRUE(notes.empty());

  settings.duplicateSpacing.value = 0;
  settings.outputLayers.value = true;
  EXPECT_TRUE(applyParameterRules(settings, false, &notes));
  EXPECT_THAT(notes, ElementsAre("DuplicateSpacing 0 means no duplicates: TileDuplication 0 "
                                 "becomes 1, so every picture is used at most once.",
                                 "OutputLayers is switched off: the format jpg has no layers "
                                 "(only psd and psb have)."));

  notes.clear();
  settings.consecutiveFrames.value = 3;
  settings.tileDuplication.value = 1;  // already no duplicates: only the algorithm changes
  EXPECT_TRUE(applyParameterRules(settings, false, &notes));
  EXPECT_THAT(notes, ElementsAre("ConsecutiveFrames 3 needs the Faster algorithm and no "
                                 "duplicates: MosaicProcessing standard becomes faster."));
}

TEST(ValidateParameters, RejectsEveryKindOfInvalidValue) {
  EXPECT_TRUE(validateParameters(MosaicSettings{}));
  struct Case {
    const char* what;
    void (*spoil)(MosaicSettings&);
  };
  const Case cases[] = {
      {"border colour not given", [](MosaicSettings& s) { s.borderColor.value = -1; }},
      {"border colour too big", [](MosaicSettings& s) { s.borderColor.value = 0x1000000; }},
      {"no variant", [](MosaicSettings& s) { s.tileVariants.value = 0; }},
      {"directory dash", [](MosaicSettings& s) { s.mosaicDirectory.value = "-"; }},
      {"duplication placeholder", [](MosaicSettings& s) { s.tileDuplication.value = -1; }},
      {"spacing placeholder", [](MosaicSettings& s) { s.duplicateSpacing.value = -1; }},
      {"zero width", [](MosaicSettings& s) { s.mosaicSize.value.width = 0; }},
      {"height not given", [](MosaicSettings& s) { s.mosaicSize.value.height = -1; }},
      {"resolution unit", [](MosaicSettings& s) { s.resolution.value.unit = UnitId::Cm; }},
      {"resolution range", [](MosaicSettings& s) { s.resolution.value.value = 10001; }},
      {"tile size zero", [](MosaicSettings& s) { s.tileSize.value.value = 0; }},
      {"tile unit", [](MosaicSettings& s) { s.tileSize.value.unit = UnitId::Percent; }},
      {"border in tiles", [](MosaicSettings& s) { s.borderSize.value.unit = UnitId::Tiles; }},
      {"border negative", [](MosaicSettings& s) { s.borderSize.value.value = -1; }},
      {"format", [](MosaicSettings& s) { s.fileFormat.value = 112; }},
      {"quality", [](MosaicSettings& s) { s.jpgQuality.value = 0; }},
      {"pattern", [](MosaicSettings& s) { s.pattern.value = 0; }},
      {"multi size", [](MosaicSettings& s) { s.multiSize4.value = 81; }},
      {"adapt", [](MosaicSettings& s) { s.tileAdapt.value = 3; }},
      {"web page", [](MosaicSettings& s) { s.webPageSize.value = 100001; }},
  };
  for (const Case& c : cases) {
    MosaicSettings settings;
    c.spoil(settings);
    EXPECT_FALSE(validateParameters(settings)) << c.what;
  }
}

TEST(MosaicSettingsRecord, ResolutionInPpiTruncatesAndConvertsDpi) {
  MosaicSettings settings;
  settings.resolution.value = Quantity{299.9, UnitId::Ppi};
  EXPECT_EQ(resolutionInPpi(settings), 299u);
  settings.resolution.value = Quantity{1800, UnitId::Dpi};
  EXPECT_EQ(resolutionInPpi(settings), 300u);
  settings.resolution.value = Quantity{-1, UnitId::Ppi};
  EXPECT_EQ(resolutionInPpi(settings), 0u);
}

TEST(TypedText, SelectsPresetsAppendsParsedValuesAndInvalidatesTheRest) {
  MosaicSettings settings;
  const std::size_t presets = settings.tileDuplication.list.entries.size();
  EXPECT_TRUE(applyTypedText(settings.tileDuplication, "NO DUPLICATES"));
  EXPECT_EQ(settings.tileDuplication.value, 1);
  EXPECT_TRUE(applyTypedText(settings.tileDuplication, "about 7"));
  EXPECT_EQ(settings.tileDuplication.value, 7);
  ASSERT_EQ(settings.tileDuplication.list.entries.size(), presets + 1);
  EXPECT_EQ(displayLabel(settings.tileDuplication), "about 7");
  EXPECT_FALSE(applyTypedText(settings.tileDuplication, "many"));
  EXPECT_EQ(settings.tileDuplication.value, -1);
  EXPECT_FALSE(validateParameters(settings));

  settings.mosaicSize.presets.push_back({"A3", SizeValue{42, 29, UnitId::Cm}, true});
  EXPECT_TRUE(applyTypedText(settings.mosaicSize, "a3"));
  EXPECT_EQ(displayLabel(settings.mosaicSize), "A3");
  EXPECT_TRUE(applyTypedText(settings.mosaicSize, "30x40\""));
  EXPECT_EQ(settings.mosaicSize.value, (SizeValue{30, 40, UnitId::Inch}));
  EXPECT_EQ(displayLabel(settings.mosaicSize), "30x40\"");
  EXPECT_FALSE(applyTypedText(settings.mosaicSize, "300 x 200"));
  EXPECT_EQ(settings.mosaicSize.value.width, -1);
  EXPECT_EQ(settings.mosaicSize.value.height, -1);

  EXPECT_TRUE(applyTypedText(settings.tileSize, "40 tiles x row", tileSizeConstraint()));
  EXPECT_EQ(settings.tileSize.value, (Quantity{40, UnitId::TilesPerRow}));
  EXPECT_FALSE(applyTypedText(settings.borderSize, "2 tiles", borderSizeConstraint()));
  EXPECT_EQ(settings.borderSize.value.value, -1);
  // A value without a preset gets one labelled with the value.
  settings.resolution.set(Quantity{123, UnitId::Ppi});
  EXPECT_EQ(displayLabel(settings.resolution), "123 PPI");
}

}  // namespace
}  // namespace tg
