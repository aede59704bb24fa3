// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/frame_bitmap.h"
#include "imaging/image_file.h"
#include "job/mosaic_settings.h"
#include "output/jpg_mosaic_save.h"
#include "output/still_cell_cache.h"
#include "output/video_writers.h"
#include "render_fixture.h"
#include "video/avi_create.h"
#include "video/avi_stream.h"
#include "video/reverse_loop.h"
#include "video/tile_picture.h"

namespace tg {
namespace {

using VideoMosaic = test::RenderFixture;

constexpr Pixel kBorder = makePixel(12, 34, 56);

// What ffprobe says of the first video stream of `path` for `entries` ("" without ffprobe).
std::string probe(const std::string& path, const std::string& entries) {
  const std::string command =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=" +
      entries + " -of default=nw=1:nk=1 '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  pclose(pipe);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  for (char& c : out) {
    if (c == '\n') c = ' ';
  }
  return out;
}

bool haveProbe() {
  static const bool have = std::system("ffprobe -version >/dev/null 2>&1") == 0;
  return have;
}

// Files left in `folder` whose name contains ".tmp-" (temporary files of the writers).
std::vector<std::string> temporaryFiles(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) found.push_back(name);
  }
  return found;
}

// A frame source whose frame k is uniformly red k × 10, with a green top row so that the row
// order shows; it fails (as a stop does) from `failAt` on.
class FakeFrames final : public FrameSource {
 public:
  FakeFrames(std::uint32_t width, std::uint32_t failAt = 0) : m_row(width), m_failAt(failAt) {}
  void startNextFrame() override {
    ++m_frame;
    m_rowIndex = 0;
  }
  const Pixel* nextRow() override {
    if (m_failAt != 0 && m_frame >= m_failAt) return nullptr;
    const Pixel colour =
        m_rowIndex++ == 0 ? makePixel(0, 250, 0) : makePixel(static_cast<int>(m_frame * 10), 0, 90);
    std::fill(m_row.begin(), m_row.end(), colour);
    return m_row.data();
  }
  std::uint32_t frames() const { return m_frame; }

 private:
  std::vector<Pixel> m_row;
  std::uint32_t m_failAt;
  std::uint32_t m_frame = 0;
  std::uint32_t m_rowIndex = 0;
};

// Frame `index` of the video at `path` as a picture (empty on failure).
Foto readFrame(const std::string& path, std::uint32_t index) {
  CAviStream stream;
  stream.setShowErrors(false);
  Foto picture;
  if (!stream.open(path)) return picture;
  const std::uint8_t* frame = stream.frame(index);
  if (frame == nullptr || !frameToFoto(frame, stream.frameBytes(), picture)) picture.release();
  return picture;
}

TEST(VideoWriters, AviFramesRateAndBottomUpRows) {
  test::ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  FakeFrames frames(70);
  std::vector<std::string> paths;
  const std::string base = dir.file("clip");
  // 70 x 50 is written as 64 x 48.
  ASSERT_TRUE(writeVideoAvi(base, frames, 70, 50, 0, 5, 12500, paths));
  EXPECT_EQ(paths, std::vector<std::string>{base + ".avi"});
  EXPECT_TRUE(temporaryFiles(dir.path()).empty());
  const Foto third = readFrame(base + ".avi", 2);
  ASSERT_FALSE(third.empty());
  EXPECT_EQ(third.width, 64u);
  EXPECT_EQ(third.height, 48u);
  EXPECT_EQ(third.at(5, 0), makePixel(0, 250, 0)) << "first row on top";
  EXPECT_EQ(third.at(5, 47), makePixel(30, 0, 90)) << "frame 3, red and blue in place";
  if (!haveProbe()) GTEST_SKIP() << "ffprobe is not installed";
  EXPECT_EQ(probe(base + ".avi", "width,height,r_frame_rate,nb_read_frames"), "64 48 25/1 5");

  // A rate of 0 is read as 5 (1/100 frame per second); a codec writes a playable file too.
  std::vector<std::string> more;
  FakeFrames again(64);
  ASSERT_TRUE(writeVideoAvi(dir.file("slow"), again, 64, 48, 0, 2, 0, more));
  EXPECT_EQ(probe(dir.file("slow.avi"), "r_frame_rate"), "1/100");
  FakeFrames coded(64);
  ASSERT_TRUE(
      writeVideoAvi(dir.file("mjpg"), coded, 64, 48, 0x47504A4D /* MJPG */, 4, 12500, more));
  EXPECT_EQ(probe(dir.file("mjpg.avi"), "codec_name,nb_read_frames"), "mjpeg 4");
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST(VideoWriters, AviContinuesInNumberedFilesBelowTheLimit) {
  test::ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  const std::uint64_t imageBytes = 64 * 48 * 3;
  // Two frames and a half fit a file: each file takes two whole frames.
  FakeFrames frames(64);
  std::vector<std::string> paths;
  const std::string base = dir.file("long");
  ASSERT_TRUE(writeVideoAvi(base, frames, 64, 48, 0, 7, 12500, paths, imageBytes * 5 / 2));
  ASSERT_EQ(paths.size(), 4u);
  EXPECT_EQ(paths[1], base + "__002.avi");
  EXPECT_EQ(paths[3], base + "__004.avi");
  // The fifth frame of the output is the first of the third file.
  EXPECT_EQ(readFrame(paths[2], 0).at(0, 10), makePixel(50, 0, 90));
  if (haveProbe()) {
    EXPECT_EQ(probe(paths[0], "nb_read_frames"), "2");
    EXPECT_EQ(probe(paths[3], "nb_read_frames"), "1");
  }
}

TEST(VideoWriters, AStopLeavesCompleteFilesOnly) {
  test::ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  const std::string base = dir.file("stopped");
  test::writeFile(base + ".avi", "an older video");
  FakeFrames frames(64, 3);
  std::vector<std::string> paths;
  EXPECT_FALSE(writeVideoAvi(base, frames, 64, 48, 0, 5, 12500, paths));
  EXPECT_EQ(test::readFile(base + ".avi"), "an older video") << "the old file is kept";
  EXPECT_TRUE(temporaryFiles(dir.path()).empty());

  // Stopped in the second file: the first is complete, the second does not exist.
  FakeFrames later(64, 4);
  paths.clear();
  EXPECT_FALSE(
      writeVideoAvi(dir.file("split"), later, 64, 48, 0, 6, 12500, paths, 64 * 48 * 3 * 2));
  EXPECT_EQ(paths.size(), 2u);
  EXPECT_FALSE(readFrame(dir.file("split.avi"), 1).empty());
  EXPECT_FALSE(std::filesystem::exists(dir.file("split__002.avi")));
  EXPECT_TRUE(temporaryFiles(dir.path()).empty());

  // JPEG frames: the frames before the stop stay, complete; nothing of the stopped one.
  FakeFrames jpeg(40, 3);
  paths.clear();
  EXPECT_FALSE(writeVideoJpegFrames(jpeg, dir.file("seq"), 40, 30, 72, 5, paths));
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_EQ(paths[0], dir.file("seq__000000001.jpg"));
  Foto second;
  EXPECT_TRUE(loadImageFile(second, paths[1], 0, 0, false));
  EXPECT_EQ(second.width, 40u);
  EXPECT_FALSE(std::filesystem::exists(paths[2]));
  EXPECT_TRUE(temporaryFiles(dir.path()).empty());
  EXPECT_TRUE(dialogs->texts().empty()) << "a stop is silent";

  // A missing folder and a codec this build lacks: one message each, nothing left behind.
  FakeFrames lost(64);
  paths.clear();
  EXPECT_FALSE(writeVideoAvi(dir.file("missing/m"), lost, 64, 48, 0, 2, 12500, paths));
  ASSERT_EQ(dialogs->texts().size(), 1u);
  EXPECT_NE(dialogs->texts()[0].find(dir.file("missing/m.avi")), std::string::npos);
  EXPECT_FALSE(
      writeVideoAvi(dir.file("nocodec"), lost, 64, 48, 0x44434241 /* ABCD */, 2, 12500, paths));
  EXPECT_EQ(dialogs->texts().size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(dir.file("nocodec.avi")));
  EXPECT_TRUE(temporaryFiles(dir.path()).empty());

  // No frames: nothing written, success.
  FakeFrames none(40);
  paths.clear();
  EXPECT_TRUE(writeVideoJpegFrames(none, dir.file("none"), 40, 30, 72, 0, paths));
  EXPECT_TRUE(paths.empty());
}

// Writes a clip of `frames` frames of 32 x 32 whose frame k is grey level k × 8 + 10.
void writeGreyClip(const std::string& path, int frames, std::uint32_t rate) {
  CAviCreate avi;
  BitmapInfoHeader format{};
  ASSERT_TRUE(avi.create(path, format, 32, 32, 0, rate));
  std::vector<std::uint8_t> bits(format.imageSize);
  for (int k = 0; k < frames; ++k) {
    std::fill(bits.begin(), bits.end(), static_cast<std::uint8_t>(k * 8 + 10));
    ASSERT_TRUE(avi.writeFrame(bits.data(), bits.size()));
  }
  ASSERT_TRUE(avi.close());
}

// The clip frame a grey level shows (-1 for a colour that is no clip frame).
int clipFrameOf(Pixel pixel) {
  const int grey = static_cast<int>(pixelRed(pixel));
  if (std::abs(grey - static_cast<int>(pixelBlue(pixel))) > 2 || grey < 8) return -1;
  return (grey - 10 + 4) / 8;
}

class VideoMosaicRender : public VideoMosaic {
 protected:
  FotoInfo& addClip(const std::string& name, int frames, std::uint32_t rate = 12500) {
    FotoInfo& tile = addTile(name, makePixel(10, 10, 10), makePixel(10, 10, 10), 32, 32, false);
    tile.path = dir.file(name + ".avi");
    writeGreyClip(tile.path, frames, rate);
    tile.frameCount = static_cast<std::uint16_t>(frames);
    tile.frameRate = static_cast<std::uint16_t>(rate);
    return tile;
  }
  SavePiecesRequest request(long format) {
    SavePiecesRequest r;
    r.base = dir.file("mosaic");
    r.format.format = format;
    r.width = 64;
    r.height = 32;
    r.loadSize = 64;
    return r;
  }
  ~VideoMosaicRender() override { configureReverseLoop("ALL"); }
};

TEST_F(VideoMosaicRender, ClipsShorterAndLongerThanTheMosaicPlayTheirFrames) {
  // "NECESSARY": the 10-frame clip plays back and forth, the 30-frame clip forward only.
  configureReverseLoop(" necessary");
  addCell(&addClip("short", 10), 0, 0, 32, 32);
  addCell(&addClip("long", 30, 15000), 32, 0, 32, 32);
  job.settings.advanced.setRowValue(AdvancedRow::FrameCountFromVideoTile, "25");
  JPGMosaicSave save(job, cells, comparison, kBorder);
  std::vector<SavedPiece> pieces;
  resetTileLoadFailures();
  ASSERT_TRUE(save.savePieces(request(kFormatAviUncompressed), pieces));
  ASSERT_EQ(pieces.size(), 1u);
  const std::string path = dir.file("mosaic.avi");
  EXPECT_EQ(pieces[0].path, path);
  EXPECT_EQ(tileLoadFailures(), 0u);
  // Each clip was opened once for the 25 frames.
  EXPECT_EQ(save.statistics().clipOpens.load(), 2u);

  CAviStream stream;
  ASSERT_TRUE(stream.open(path));
  EXPECT_EQ(stream.frameCount(), 25u);
  EXPECT_EQ(stream.frameRate(), 12500u) << "the most frequent rate, the lowest in a tie";
  std::vector<int> shortFrames;
  std::vector<int> longFrames;
  for (std::uint32_t i = 0; i < 25; ++i) {
    Foto frame;
    const std::uint8_t* bits = stream.frame(i);
    ASSERT_TRUE(bits != nullptr && frameToFoto(bits, stream.frameBytes(), frame));
    shortFrames.push_back(clipFrameOf(frame.at(16, 16)));
    longFrames.push_back(clipFrameOf(frame.at(48, 16)));
  }
  const std::vector<int> backAndForth = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 8, 7,
                                         6, 5, 4, 3, 2, 1, 0, 0, 1, 2, 1, 0};
  EXPECT_EQ(shortFrames, backAndForth);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(longFrames[static_cast<std::size_t>(i)], i);
}

TEST_F(VideoMosaicRender, AClipFailingMidwayIsCountedOnceAndTheVideoIsSaved) {
  // The list claims 20 frames for a clip of 8: from output frame 9 on the clip cannot be read.
  FotoInfo& broken = addClip("broken", 8);
  broken.frameCount = 20;
  addCell(&broken, 0, 0, 32, 32);
  addCell(&addClip("fine", 20), 32, 0, 32, 32);
  configureReverseLoop("NONE");
  job.settings.advanced.setRowValue(AdvancedRow::FrameCountFromVideoTile, "12");
  JPGMosaicSave save(job, cells, comparison, kBorder);
  std::vector<SavedPiece> pieces;
  resetTileLoadFailures();
  ASSERT_TRUE(save.savePieces(request(kFormatAviUncompressed), pieces));
  EXPECT_EQ(tileLoadFailures(), 1u);
  const Foto last = readFrame(dir.file("mosaic.avi"), 11);
  ASSERT_FALSE(last.empty());
  EXPECT_TRUE(near(last.at(16, 16), kBorder)) << "the failed cell shows the background";
  EXPECT_EQ(clipFrameOf(last.at(48, 16)), 11);
}

TEST_F(VideoMosaicRender, JpegFramesAreRecordedAndNoIndividualTilesAreWritten) {
  addCell(&addClip("clip", 4), 0, 0, 32, 32);
  addCell(&addTile("still", makePixel(200, 20, 20), makePixel(200, 20, 20)), 32, 0, 32, 32);
  job.settings.advanced.setRowValue(AdvancedRow::FrameCountFromVideoTile, "MAX");
  configureReverseLoop("NONE");
  JPGMosaicSave save(job, cells, comparison, kBorder);
  std::vector<SavedPiece> pieces;
  SavePiecesRequest r = request(kFormatVideoJpeg);
  r.tilesFolder = dir.file("tiles");
  ASSERT_TRUE(save.savePieces(r, pieces));
  ASSERT_EQ(pieces.size(), 4u);
  EXPECT_EQ(pieces[0].path, dir.file("mosaic__000000001.jpg"));
  EXPECT_EQ(pieces[3].path, dir.file("mosaic__000000004.jpg"));
  EXPECT_EQ(job.statusText().rfind("Saving Video Frame 4/4, ", 0), 0u) << job.statusText();
  Foto fourth;
  ASSERT_TRUE(loadImageFile(fourth, pieces[3].path, 0, 0, false));
  EXPECT_EQ(fourth.width, 64u);
  EXPECT_EQ(clipFrameOf(fourth.at(16, 16)), 3);
  EXPECT_TRUE(near(fourth.at(48, 16), makePixel(200, 20, 20), 8)) << "stills in every frame";
  EXPECT_FALSE(std::filesystem::exists(dir.file("tiles")));
}

TEST_F(VideoMosaicRender, StillCellsAreRenderedOnceAndShownInEveryFrame) {
  addCell(&addClip("clip", 6), 0, 0, 32, 32);
  addCell(&addTile("red", makePixel(200, 20, 20), makePixel(20, 20, 200)), 32, 0, 32, 32);
  addCell(&addTile("green", makePixel(20, 200, 20), makePixel(20, 200, 20)), 64, 0, 32, 32);
  job.settings.advanced.setRowValue(AdvancedRow::FrameCountFromVideoTile, "6");
  configureReverseLoop("NONE");
  JPGMosaicSave save(job, cells, comparison, kBorder);
  std::vector<SavedPiece> pieces;
  SavePiecesRequest r = request(kFormatAviUncompressed);
  r.width = 96;
  ASSERT_TRUE(save.savePieces(r, pieces));
  EXPECT_EQ(save.statistics().stillCellsKept.load(), 2u);
  EXPECT_EQ(save.statistics().stillCellReuses.load(), 2u * 5) << "frames 2-6 paste them as kept";
  const Foto first = readFrame(dir.file("mosaic.avi"), 0);
  const Foto last = readFrame(dir.file("mosaic.avi"), 5);
  ASSERT_FALSE(first.empty() || last.empty());
  EXPECT_EQ(clipFrameOf(first.at(16, 16)), 0);
  EXPECT_EQ(clipFrameOf(last.at(16, 16)), 5) << "clip cells are not kept";
  EXPECT_TRUE(near(last.at(48, 4), makePixel(200, 20, 20), 8));
  EXPECT_TRUE(near(last.at(48, 28), makePixel(20, 20, 200), 8));
  EXPECT_TRUE(near(last.at(80, 16), makePixel(20, 200, 20), 8));
  for (std::uint32_t y = 0; y < 32; ++y) {
    for (std::uint32_t x = 32; x < 96; ++x)
      ASSERT_EQ(first.at(x, y), last.at(x, y)) << x << "," << y;
  }
}

TEST(StillCellCache, KeepsTheFirstCellsThatFitTheBudget) {
  PuzzleInfo a;
  PuzzleInfo b;
  auto picture = [] {
    auto foto = std::make_shared<Foto>();
    EXPECT_TRUE(foto->create(10, 10));
    return foto;
  };
  StillCellCache cache(10 * 10 * 4 + 399);
  EXPECT_EQ(cache.find(&a), nullptr);
  EXPECT_TRUE(cache.keep(&a, picture()));
  EXPECT_FALSE(cache.keep(&a, picture())) << "one picture per cell";
  EXPECT_FALSE(cache.keep(&b, picture())) << "400 more bytes would pass the budget";
  EXPECT_FALSE(cache.keep(&b, std::make_shared<Foto>())) << "nothing to keep";
  EXPECT_NE(cache.find(&a), nullptr);
  EXPECT_EQ(cache.find(&b), nullptr);
  EXPECT_EQ(cache.bytes(), 400u);
  EXPECT_EQ(cache.cells(), 1u);
  EXPECT_EQ(cache.reuses(), 1u);
}

}  // namespace
}  // namespace tg
