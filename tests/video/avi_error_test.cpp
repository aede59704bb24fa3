// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include "platform/scripted_dialogs.h"
#include "video/avi_stream.h"

namespace tg {
namespace {

TEST(AviError, TextsByCode) {
  EXPECT_STREQ(aviErrorText(avierr::kClassNotRegistered),
               "REGDB_E_CLASSNOTREG: File type not recognised");
  EXPECT_STREQ(aviErrorText(avierr::kNoCompressor),
               "AVIERR_NOCOMPRESSOR: A suitable compressor could not be found. Please install a "
               "VFW Codec.");
  EXPECT_STREQ(aviErrorText(avierr::kFileWrite),
               "AVIERR_FILEWRITE: Disk error while writing file (Disk Full?)");
  EXPECT_STREQ(aviErrorText(avierr::kError), "AVIERR_ERROR");
  EXPECT_STREQ(aviErrorText(0), "Unknown AVI Error");
  EXPECT_STREQ(aviErrorText(0x80044076), "Unknown AVI Error");
}

TEST(AviError, FfmpegErrorsMapOntoCodes) {
  EXPECT_EQ(aviErrorFromFfmpeg(AVERROR(ENOENT), avierr::kError), avierr::kFileOpen);
  EXPECT_EQ(aviErrorFromFfmpeg(AVERROR(EACCES), avierr::kError), avierr::kReadOnly);
  EXPECT_EQ(aviErrorFromFfmpeg(AVERROR(ENOMEM), avierr::kError), avierr::kMemory);
  EXPECT_EQ(aviErrorFromFfmpeg(AVERROR(ENOSPC), avierr::kError), avierr::kFileWrite);
  EXPECT_EQ(aviErrorFromFfmpeg(AVERROR_INVALIDDATA, avierr::kError), avierr::kBadFormat);
  EXPECT_EQ(aviErrorFromFfmpeg(AVERROR_ENCODER_NOT_FOUND, avierr::kError), avierr::kNoCompressor);
  // Errors that say nothing specific take the meaning the step gives them.
  EXPECT_EQ(aviErrorFromFfmpeg(AVERROR_UNKNOWN, avierr::kFileRead), avierr::kFileRead);
  EXPECT_EQ(aviErrorFromFfmpeg(AVERROR(EIO), avierr::kFileWrite), avierr::kFileWrite);
}

TEST(AviError, ReaderMessageIsShownOnceOrKeptQuiet) {
  ScopedScriptedDialogs dialogs;
  CAviStream stream;
  EXPECT_FALSE(stream.isWriter());
  ASSERT_FALSE(stream.open("/nonexistent/folder/clip.avi"));
  const std::string expected =
      "Unable to read the video 01 AVIERR_FILEOPEN: Disk error while opening file (8004406F)";
  EXPECT_EQ(stream.message(), expected);
  EXPECT_FALSE(stream.technicalDetail().empty());
  ASSERT_EQ(dialogs->texts(), std::vector<std::string>{expected});
  EXPECT_EQ(dialogs->messages()[0].icon, Icon::Exclamation);

  stream.setShowErrors(false);
  ASSERT_FALSE(stream.open("/nonexistent/folder/other.avi"));
  EXPECT_EQ(stream.message(), expected);
  EXPECT_EQ(dialogs->texts().size(), 1u);
}

}  // namespace
}  // namespace tg
