// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/format_limits.h"
#include "job/mosaic_settings.h"
#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

struct SizeRow {
  long format;
  bool tiff64;
  std::uint64_t width;
  std::uint64_t height;
  LimitVerdict expected;
};

class FormatLimitsRows : public ::testing::TestWithParam<SizeRow> {};

TEST_P(FormatLimitsRows, SizeMeetsTheFormatsLimits) {
  const SizeRow& row = GetParam();
  const auto limits = formatLimits(row.format, row.tiff64);
  ASSERT_TRUE(limits.has_value());
  EXPECT_EQ(checkMosaicSize(*limits, row.width, row.height), row.expected)
      << row.format << " " << row.width << "x" << row.height;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, FormatLimitsRows,
    ::testing::Values(
        // JPEG: a side between 30,000 and 65,500 asks, longer is refused, 30,000 is silent.
        SizeRow{kFormatJpeg, false, 40000, 20000, LimitVerdict::Ask},
        SizeRow{kFormatJpeg, false, 70000, 1000, LimitVerdict::Refused},
        SizeRow{kFormatJpeg, false, 30000, 30000, LimitVerdict::Accepted},
        SizeRow{kFormatJpeg, false, 65500, 65500, LimitVerdict::Ask},
        SizeRow{kFormatJpeg, false, 65536, 65536, LimitVerdict::Refused},
        SizeRow{kFormatPsb, false, 40000, 1000, LimitVerdict::Accepted},
        SizeRow{kFormatPsb, false, 400000, 100, LimitVerdict::Refused},
        SizeRow{kFormatPsd, false, 30001, 10, LimitVerdict::Refused},
        // 40000 x 40000 is 1.6 gigapixels: too many for a 32-bit TIFF only.
        SizeRow{kFormatTiff, false, 40000, 40000, LimitVerdict::Refused},
        SizeRow{kFormatTiff, true, 40000, 40000, LimitVerdict::Accepted},
        SizeRow{kFormatPpm, false, 40000, 40000, LimitVerdict::Accepted},
        SizeRow{kFormatRaw, false, 40000, 40000, LimitVerdict::Accepted},
        SizeRow{kFormatBmp, false, 25000, 20000, LimitVerdict::Accepted},
        SizeRow{kFormatBmp, false, 25000, 20001, LimitVerdict::Refused},
        SizeRow{kFormatTiffJpeg, false, 65501, 10, LimitVerdict::Refused},
        // Sides beyond 32 bits must not wrap the pixel count around to a small number.
        SizeRow{kFormatBmp, false, std::uint64_t{1} << 33, std::uint64_t{1} << 31,
                LimitVerdict::Refused}));

TEST(FormatLimits, UnknownFormatHasNoRowAndShowsErrorFileFormat) {
  EXPECT_FALSE(formatLimits(99, false).has_value());
  EXPECT_FALSE(formatLimits(112, false).has_value());
  ScopedScriptedDialogs dialogs;
  MosaicSettings settings;
  settings.fileFormat.value = 112;
  EXPECT_EQ(checkFormatLimits(settings, 10, 10), SizeCheck::FormatError);
  EXPECT_EQ(dialogs->texts(), std::vector<std::string>{"Error File Format"});
}

TEST(FormatLimits, RefusalAndQuestionCarryTheLimitMessageAndAdvice) {
  const std::string advice =
      "Please enable the Split Mosaic feature or Save the Mosaic in TIFF(64bit)/PSB/PPM/RAW "
      "format to avoid this limit.";
  MosaicSettings settings;
  settings.fileFormat.value = kFormatJpeg;
  {
    ScopedScriptedDialogs dialogs;
    EXPECT_EQ(checkFormatLimits(settings, 70000, 1000), SizeCheck::Refused);
    const auto messages = dialogs->messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].buttons, Buttons::Ok);
    EXPECT_EQ(messages[0].text,
              "Not all applications are able to read JPEG files with a width/height over 30,000 "
              "pixels and the maximum width/height is 65,500 pixels. " +
                  advice);
  }
  {
    ScopedScriptedDialogs dialogs;
    // Nobody answers: the default button is No, and only Yes continues.
    EXPECT_EQ(checkFormatLimits(settings, 40000, 20000), SizeCheck::Cancelled);
    dialogs->answerNext(Answer::Yes);
    EXPECT_EQ(checkFormatLimits(settings, 40000, 20000), SizeCheck::Passed);
    const auto messages = dialogs->messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].buttons, Buttons::YesNo);
    EXPECT_EQ(messages[0].icon, Icon::Question);
    EXPECT_EQ(messages[0].answer, Answer::No);
    EXPECT_NE(messages[0].text.find(advice), std::string::npos);
    EXPECT_NE(messages[0].text.find("Do you want to continue?"), std::string::npos);
  }
}

TEST(FormatLimits, SplitMosaicLiftsEveryLimit) {
  ScopedScriptedDialogs dialogs;
  MosaicSettings settings;
  settings.fileFormat.value = kFormatPsd;
  settings.splitMosaic.value = true;
  EXPECT_EQ(checkFormatLimits(settings, 400000, 400000), SizeCheck::Passed);
  settings.fileFormat.value = 5;  // an unknown format is still an error
  EXPECT_EQ(checkFormatLimits(settings, 10, 10), SizeCheck::FormatError);
  EXPECT_EQ(dialogs->texts().size(), 1u);
}

}  // namespace
}  // namespace tg
