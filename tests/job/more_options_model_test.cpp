// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/more_options_model.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

TEST(MoreOptionsModel, OkRunsTheParameterRulesInFullAndCancelIsDroppingTheCopy) {
  MosaicSettings settings;
  {
    MoreOptionsModel cancelled(settings);
    cancelled.setSwitch(MoreOptionsSwitch::TextReport, true);
  }
  EXPECT_FALSE(settings.textReport.value);

  MoreOptionsModel model(settings);
  ASSERT_TRUE(model.takeChoiceText(MoreOptionsChoice::ConsecutiveFrames, "3"));
  model.setSwitch(MoreOptionsSwitch::OutputLayers, true);  // meaningless for JPEG
  EXPECT_FALSE(model.switchAvailable(MoreOptionsSwitch::OutputLayers));
  ASSERT_TRUE(model.ok(settings));
  EXPECT_EQ(settings.consecutiveFrames.value, 3);
  EXPECT_EQ(settings.mosaicProcessing.value, 2);
  EXPECT_EQ(settings.tileDuplication.value, 1);
  EXPECT_FALSE(settings.outputLayers.value);
}

TEST(MoreOptionsModel, RefusedValuesKeepTheSettingsAndSayWhy) {
  ScopedScriptedDialogs dialogs;
  MosaicSettings settings;
  MoreOptionsModel model(settings);
  EXPECT_FALSE(model.takeChoiceText(MoreOptionsChoice::JpgQuality, "good"));
  EXPECT_TRUE(model.invalid(MoreOptionsChoice::JpgQuality));
  EXPECT_FALSE(model.invalid(MoreOptionsChoice::FileFormat));
  // The custom border colour without a colour is refused too.
  const auto labels = model.choiceLabels(MoreOptionsChoice::BorderColor);
  model.selectChoice(MoreOptionsChoice::BorderColor, labels.size() - 1);
  EXPECT_TRUE(model.borderColourMissing());
  EXPECT_TRUE(model.invalid(MoreOptionsChoice::BorderColor));
  EXPECT_FALSE(model.ok(settings));
  EXPECT_EQ(dialogs->texts(), std::vector<std::string>{"Please specify all the parameters"});
  EXPECT_EQ(settings.jpgQuality.value, 95);

  ASSERT_TRUE(model.takeChoiceText(MoreOptionsChoice::JpgQuality, "85%"));
  model.setBorderColour(0x0080FF);
  EXPECT_EQ(model.currentLabel(MoreOptionsChoice::BorderColor), "Orange");
  EXPECT_FALSE(model.takeBorderSizeText("-4 pixel"));
  EXPECT_TRUE(model.borderSizeInvalid());
  ASSERT_TRUE(model.takeBorderSizeText("4 pixel"));
  EXPECT_TRUE(model.ok(settings));
  EXPECT_EQ(settings.jpgQuality.value, 85);
  EXPECT_EQ(settings.borderColor.value, 0x0080FF);
  EXPECT_EQ(settings.borderSize.value.value, 4.0);
}

TEST(MoreOptionsModel, FormatDecidesWhichBoxesMeanSomething) {
  MosaicSettings settings;
  MoreOptionsModel model(settings);
  struct Row {
    long format;
    bool layers, transparency, tiff64, quality;
  };
  for (const Row& row :
       {Row{kFormatJpeg, false, false, false, true}, Row{kFormatTiff, false, true, true, false},
        Row{kFormatTiffJpeg, false, false, true, true},
        Row{kFormatPsb, true, true, false, false}}) {
    model.working().fileFormat.set(row.format);
    EXPECT_EQ(model.switchAvailable(MoreOptionsSwitch::OutputLayers), row.layers) << row.format;
    EXPECT_EQ(model.switchAvailable(MoreOptionsSwitch::OutputTransparency), row.transparency);
    EXPECT_EQ(model.switchAvailable(MoreOptionsSwitch::OutputTiff64), row.tiff64);
    EXPECT_EQ(model.qualityAvailable(), row.quality);
  }
}

TEST(MoreOptionsModel, NothingChangesWhileAJobRuns) {
  MosaicSettings settings;
  MoreOptionsModel model(settings, true);
  model.setSwitch(MoreOptionsSwitch::SplitMosaic, true);
  model.selectChoice(MoreOptionsChoice::FileFormat, 3);
  model.setDirectory("/elsewhere/");
  EXPECT_FALSE(model.takeChoiceText(MoreOptionsChoice::WebPageSize, "1000"));
  EXPECT_FALSE(model.ok(settings));
  EXPECT_FALSE(model.switchValue(MoreOptionsSwitch::SplitMosaic));
  EXPECT_EQ(model.working().fileFormat.value, kFormatJpeg);
  EXPECT_EQ(model.directoryLabel(), "(Use Directory of Input Image)");
}

}  // namespace
}  // namespace tg
