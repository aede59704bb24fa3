// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "cli_helpers.h"

namespace tg {
namespace {

namespace fs = std::filesystem;

// `scenes` still scenes of `frames` frames each, in colours far apart, as an H.264 film.
bool makeFilm(const std::string& path, int scenes, double seconds, int width = 64,
              int height = 48) {
  std::string filter;
  std::string inputs;
  for (int i = 0; i < scenes; ++i) {
    char colour[64];
    std::snprintf(colour, sizeof colour, "color=c=0x%02X%02X%02X:s=%dx%d:r=25:d=%.2f[s%d];",
                  (i * 97 + 40) % 256, (i * 57 + 200) % 256, (i * 151 + 90) % 256, width, height,
                  seconds, i);
    filter += colour;
    inputs += "[s" + std::to_string(i) + "]";
  }
  filter += inputs + "concat=n=" + std::to_string(scenes);
  const std::string command = "ffmpeg -nostdin -v error -y -filter_complex " +
                              test::quoted(filter) + " -c:v libx264 -g 50 -bf 3 -pix_fmt yuv420p " +
                              test::quoted(path) + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

bool haveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

class CliExtractVideo : public test::CliFixture {};

TEST_F(CliExtractVideo, ExtractedFoldersMakeATileListAndAMosaic) {
  if (!haveFfmpeg()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  ASSERT_TRUE(makeFilm(m_dir.file("film.mp4"), 4, 1.2));
  const test::CliRun extract =
      cli("extract-video film.mp4 --images 12 --clips --prefix F --set "
          "Advanced.Extract.MinFrameCount=10 --set Advanced.Extract.MaxFrameCount=25 --set "
          "Advanced.VideoMosaic.FourCC=MJPG");
  ASSERT_EQ(extract.exitCode, 0) << extract.err;
  EXPECT_EQ(extract.out, "film_FRAMES1 Image\nfilm_FRAMES1 Video\n");
  EXPECT_NE(extract.err.find("12 images, 3 clips written."), std::string::npos) << extract.err;
  // Three scenes closed by a cut give 25 frames each (the 5 left of each are too few); the last
  // scene runs to the end of the film and gives none.
  EXPECT_TRUE(fs::exists(m_dir.path() / "film_FRAMES1 Video" / "F000001-000025-(0025).avi"));
  EXPECT_TRUE(fs::exists(m_dir.path() / "film_FRAMES1 Image" / "F000001.jpg"));

  const test::CliRun list =
      cli("list build --video 'film_FRAMES1 Video' --include 'film_FRAMES1 Image' film.tg4");
  ASSERT_EQ(list.exitCode, 0) << list.err;
  const test::CliRun info = cli("list info --json film.tg4");
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("\"counts\":{\"landscape\":12,\"portrait\":0,\"landscapeClips\":3,"),
            std::string::npos);

  const test::CliRun mosaic =
      cli("mosaic --list film.tg4 --set MosaicSizeUnit=pixel --set MosaicSizeWidth=240 --set "
          "MosaicSizeHeight=180 --set TileUnit=pixel --set TileSize=20 --yes -i main.jpg -o "
          "out/film.jpg");
  EXPECT_EQ(mosaic.exitCode, 0) << mosaic.err;
  EXPECT_TRUE(fs::exists(m_dir.path() / "out" / "film.jpg"));
}

TEST_F(CliExtractVideo, BadOptionsAndMissingVideosFailWithoutOutput) {
  if (!haveFfmpeg()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  ASSERT_TRUE(makeFilm(m_dir.file("film.mp4"), 1, 0.4));
  EXPECT_EQ(cli("extract-video film.mp4 --rect 40,0,32,48").exitCode, 2);
  EXPECT_EQ(cli("extract-video film.mp4 --frames 5-10").exitCode, 2);  // 10 frames: 0-9
  EXPECT_EQ(cli("extract-video film.mp4 --jpeg --bmp").exitCode, 2);
  const test::CliRun missing = cli("extract-video nothing.mp4");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("Unable to read the video 01"), std::string::npos) << missing.err;
  for (const auto& entry : fs::directory_iterator(m_dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find("FRAMES"), std::string::npos);
  }
}

TEST_F(CliExtractVideo, CtrlCStopsAndLeavesOnlyWholeFiles) {
  if (!haveFfmpeg()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  ASSERT_TRUE(makeFilm(m_dir.file("film.mp4"), 60, 0.6, 320, 240));
  const test::InterruptedRun run = test::interruptWhenSeen(
      m_root,
      {"extract-video", "film.mp4", "--clips", "--set", "Advanced.Extract.MinFrameCount=5", "--set",
       "Advanced.Options.ThreadCount=1"},
      m_dir.file("stop.err"), "Extract VideoTile#", 5000);
  ASSERT_TRUE(run.started);
  ASSERT_TRUE(WIFEXITED(run.status));
  const std::string& err = run.err;
  if (run.endedFirst) GTEST_SKIP() << "the extraction ended before it could be stopped";
  EXPECT_EQ(WEXITSTATUS(run.status), 1) << err;
  EXPECT_NE(err.find("stopped."), std::string::npos) << err;
  int clips = 0;
  for (const auto& entry : fs::directory_iterator(m_dir.path() / "film_FRAMES1 Video")) {
    EXPECT_EQ(entry.path().extension(), ".avi") << entry.path();
    ++clips;
  }
  EXPECT_GE(clips, 1);
  EXPECT_LT(clips, 59);
}

}  // namespace
}  // namespace tg
