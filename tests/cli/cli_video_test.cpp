// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "cli_helpers.h"
#include "imaging/image_file.h"

namespace tg {
namespace {

/// A video mosaic of 160 x 120 pixels in cells of 20 pixels.
constexpr const char* kSmallVideo =
    "--set MosaicSizeUnit=pixel --set MosaicSizeWidth=160 --set MosaicSizeHeight=120 "
    "--set TileUnit=pixel --set TileSize=20 --set ResolutionUnit=ppi --set ResolutionSize=72 "
    "--set DuplicateSpacing=0 --yes";

bool haveFfmpeg() {
  static const bool have = std::system("ffmpeg -version >/dev/null 2>&1") == 0 &&
                           std::system("ffprobe -version >/dev/null 2>&1") == 0;
  return have;
}

class CliVideo : public test::CliFixture {
 protected:
  void SetUp() override {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
    test::CliFixture::SetUp();
    std::filesystem::create_directories(m_dir.path() / "clips");
    // Three clips of 8 frames at 20 frames per second.
    for (int i = 0; i < 3; ++i) {
      const std::string command =
          "ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=s=48x36:r=20,hue=h=" +
          std::to_string(i * 120) + "' -frames:v 8 -c:v mjpeg " +
          test::quoted(m_dir.file("clips/c" + std::to_string(i) + ".avi"));
      ASSERT_EQ(std::system(command.c_str()), 0);
    }
    const test::CliRun run = cli("list build --video clips clips.tg4");
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }

  std::string probe(const std::string& name) {
    return programOutput(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 " +
        test::quoted(m_dir.file(name)));
  }

  static std::string programOutput(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    pclose(pipe);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
};

TEST_F(CliVideo, CompressedAviAndJpegFramesFromClips) {
  // The default frame count is twice the longest clip, at the clips' rate.
  test::CliRun run =
      cli(std::string("mosaic --list clips.tg4 ") + kSmallVideo +
          " --set FileFormat=avi_compressed --set Advanced.VideoMosaic.FourCC=MJPG -i main.jpg"
          " -o out/m.avi --set WebPageSize=100");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(probe("out/m.avi"), "mjpeg,160,120,20/1,16");
  // The web page shows the first frame of the video.
  Foto page;
  EXPECT_TRUE(loadImageFile(page, m_dir.file("out/m Web Page/mosaic.jpg"), 0, 0, false));
  EXPECT_EQ(run.err.find("Unable to resize"), std::string::npos) << run.err;

  run = cli(std::string("mosaic --list clips.tg4 ") + kSmallVideo +
            " --set FileFormat=video_jpg --set Advanced.VideoMosaic.FrameCountFromVideoTile=3"
            " -i main.jpg -o frames/m.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Foto frame;
  EXPECT_TRUE(loadImageFile(frame, m_dir.file("frames/m__000000003.jpg"), 0, 0, false));
  EXPECT_EQ(frame.width, 160u);
  EXPECT_FALSE(std::filesystem::exists(m_dir.file("frames/m__000000004.jpg")));
}

}  // namespace
}  // namespace tg
