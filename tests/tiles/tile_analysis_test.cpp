// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/image_file.h"
#include "imaging/image_signature.h"
#include "parallel/worker_pool.h"
#include "support/scratch_dir.h"
#include "tile_test_files.h"
#include "tiles/tile_analyser.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"

namespace tg {
namespace {

namespace fs = std::filesystem;

/// The signature analysis must give for the picture at `path`: fitted to 48 x 48, square mode.
ImageSignature expectedSignature(const std::string& path, bool grey) {
  Foto picture;
  EXPECT_TRUE(loadImageFile(picture, path, 48, 48, false));
  ImageSignature sig;
  EXPECT_TRUE(buildSignature(picture, true, sig));
  if (grey) signatureToGrey(sig);
  return sig;
}

FotoInfo newTile(const std::string& path) {
  FotoInfo tile;
  tile.path = path;
  return tile;
}

TEST(AnalyseTile, BuildsTheSquareSignatureAndStoresTheFileStamp) {
  test::ScratchDir dir;
  const std::string path = dir.file("wide.jpg");
  ASSERT_TRUE(test::writeTestJpeg(path, 400, 200, 0x0000FF, 0xFF0000));
  ASSERT_TRUE(test::setModificationTime(path, 1600000000));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);

  FotoInfo tile = newTile(path);
  bool decoded = false;
  EXPECT_TRUE(analyseTile(tile, false, 119, nullptr, &decoded));
  EXPECT_TRUE(decoded);
  EXPECT_EQ(tile.fileTime, 1600000000);
  EXPECT_EQ(tile.fileSize, static_cast<std::int32_t>(info.st_size));
  EXPECT_EQ(tile.signature, expectedSignature(path, false));
  EXPECT_EQ(tile.signature.valid, 1);

  FotoInfo grey = newTile(path);
  EXPECT_TRUE(analyseTile(grey, true, 119));
  EXPECT_EQ(grey.signature, expectedSignature(path, true));

  const std::string png = dir.file("p.png");
  ASSERT_TRUE(test::writeTestPng(png, 30, 90));
  FotoInfo pngTile = newTile(png);
  EXPECT_TRUE(analyseTile(pngTile, false, 119));
  EXPECT_EQ(pngTile.signature, expectedSignature(png, false));
}

TEST(AnalyseTile, UnchangedFilesAreSkippedByTheRulesOfTheListVersion) {
  test::ScratchDir dir;
  const std::string path = dir.file("a.jpg");
  ASSERT_TRUE(test::writeTestJpeg(path, 64, 64));
  FotoInfo tile = newTile(path);
  ASSERT_TRUE(analyseTile(tile, false, 119));
  const ImageSignature stored = test::patternSignature(1);
  tile.signature = stored;  // a skipped tile keeps whatever it had

  struct Row {
    std::int32_t version;
    bool blackAndWhite;
    bool decodes;
  };
  for (const Row row : {Row{119, false, false}, Row{116, true, false}, Row{115, false, false},
                        Row{115, true, true}, Row{108, true, true}}) {
    FotoInfo copy = tile;
    bool decoded = true;
    EXPECT_TRUE(analyseTile(copy, row.blackAndWhite, row.version, nullptr, &decoded));
    EXPECT_EQ(decoded, row.decodes) << row.version << " " << row.blackAndWhite;
    EXPECT_EQ(copy.signature == stored, !row.decodes) << row.version;
  }

  // Older lists trust their stamp only for pictures of at most 3,000,000 pixels.
  const std::string big = dir.file("big.jpg");
  ASSERT_TRUE(test::writeTestJpeg(big, 2000, 1501));
  FotoInfo bigTile = newTile(big);
  ASSERT_TRUE(analyseTile(bigTile, false, 119));
  bool decoded = false;
  EXPECT_TRUE(analyseTile(bigTile, false, 115, nullptr, &decoded));
  EXPECT_TRUE(decoded);
}

TEST(AnalyseTile, MissingAndUndecodableFilesFail) {
  test::ScratchDir dir;
  FotoInfo missing = newTile(dir.file("none.jpg"));
  EXPECT_FALSE(analyseTile(missing, false, 119));
  EXPECT_FALSE(missing.inUse);

  FotoInfo folder = newTile(dir.path().string());
  EXPECT_FALSE(analyseTile(folder, false, 119));

  for (const char* sample : {"corrupt-scan-data.jpg", "empty-file.jpg",
                             "jpeg-with-png-extension.png", "huge-dimensions-65000x65000.jpg"}) {
    const fs::path source = test::testDataDir() / "imaging" / sample;
    ASSERT_TRUE(fs::exists(source)) << source;
    const std::string copy = dir.file(sample);
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
    FotoInfo tile = newTile(copy);
    EXPECT_FALSE(analyseTile(tile, false, 119)) << sample;
    EXPECT_NE(tile.fileSize, kFileSizeNotAnalysed) << sample;  // stamped: not retried until changed
  }
}

TEST(AnalyseTile, ClipsGetTheirFrameCountAndRateOnFirstOpening) {
  test::ScratchDir dir;
  const std::string path = dir.file("c.avi");
  ASSERT_TRUE(test::writeTestClip(path, 12, 12500));
  FotoInfo clip = newTile(path);
  clip.frameRate = 1;
  bool isLong = true;
  ASSERT_TRUE(analyseTile(clip, false, 119, &isLong));
  EXPECT_EQ(clip.frameCount, 12);
  EXPECT_EQ(clip.frameRate, 12500);
  EXPECT_EQ(clip.signature.valid, 1);
  EXPECT_TRUE(isLong);  // left alone: only a long clip sets it

  const std::string longPath = dir.file("long.avi");
  ASSERT_TRUE(test::writeTestClip(longPath, 3000, 12500));
  FotoInfo longClip = newTile(longPath);
  longClip.frameRate = 1;
  isLong = false;
  ASSERT_TRUE(analyseTile(longClip, false, 119, &isLong));
  EXPECT_EQ(longClip.frameCount, 3000);
  EXPECT_TRUE(isLong);

  FotoInfo notAClip = newTile(dir.file("fake.avi"));
  test::writeFile(notAClip.path, "RIFF....AVI nothing else");
  notAClip.frameRate = 1;
  EXPECT_FALSE(analyseTile(notAClip, false, 119));
}

class TileAnalyserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = m_dir.path().string() + "/photos/";
    fs::create_directories(m_folder);
    // 40 pictures, one of them (p120.jpg) broken.
    for (int i = 0; i < 40; ++i) {
      const std::string path = m_folder + "p" + std::to_string(100 + i) + ".jpg";
      ASSERT_TRUE(test::writeTestJpeg(path, 60 + i, 50, 0x010203u * i, 0xFFFFFFu - 0x030201u * i));
    }
    test::writeFile(m_folder + "p120.jpg", "broken");
  }

  void build(TileImagesList& list) {
    addFolder(list, m_folder, kIncludeList);
    buildTileCollection(list);
  }

  test::ScratchDir m_dir;
  std::string m_folder;
};

TEST_F(TileAnalyserTest, PoolGivesTheSameListAsOneThreadAndKeepsListOrder) {
  TileImagesList single;
  build(single);
  TileAnalyser sequential;
  sequential.prepare(single);
  while (sequential.runSlice(single)) {
  }

  WorkerPool pool;
  pool.setThreadCount(3, 0);
  TileImagesList parallel;
  build(parallel);
  TileAnalyser analyser(&pool);
  analyser.prepare(parallel);
  // A budget of 0 ms visits exactly one tile per slice: the progress moves in list order.
  std::size_t slices = 0;
  auto expectedNext = parallel.tiles.begin();
  while (analyser.runSlice(parallel, 0)) {
    ++slices;
    ++expectedNext;
    ASSERT_EQ(parallel.resumePosition, expectedNext);
    EXPECT_EQ(parallel.analysedCount, slices);
    EXPECT_DOUBLE_EQ(parallel.percentDone, slices * 100.0 / 40);
  }
  EXPECT_EQ(slices, 39u);
  EXPECT_EQ(analyser.decodedCount(), 40u);

  ASSERT_EQ(parallel.tiles.size(), 39u);
  EXPECT_EQ(parallel.errorPaths, std::vector<std::string>{m_folder + "p120.jpg"});
  EXPECT_EQ(single.errorPaths, parallel.errorPaths);
  ASSERT_EQ(single.tiles.size(), parallel.tiles.size());
  for (auto a = single.tiles.begin(), b = parallel.tiles.begin(); a != single.tiles.end();
       ++a, ++b) {
    EXPECT_EQ(a->second, b->second) << a->first;
  }
  EXPECT_EQ(parallel.landscapeCount, 39u);
}

TEST_F(TileAnalyserTest, StopLeavesAConsistentListThatResumes) {
  WorkerPool pool;
  pool.setThreadCount(2, 0);
  TileImagesList list;
  build(list);
  TileAnalyser analyser(&pool);
  analyser.prepare(list);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(analyser.runSlice(list, 0));
  analyser.stop();
  EXPECT_TRUE(list.modified);
  EXPECT_EQ(list.analysedCount, 5u);
  std::size_t index = 0;
  for (auto it = list.tiles.begin(); it != list.tiles.end(); ++it, ++index) {
    // Work done ahead of the position was dropped, not written into the records.
    EXPECT_EQ(it->second.fileSize != kFileSizeNotAnalysed, index < 5) << it->first;
    EXPECT_EQ(it == list.resumePosition, index == 5);
  }
  while (analyser.runSlice(list)) {
  }
  EXPECT_EQ(list.tiles.size(), 39u);
  EXPECT_EQ(list.analysedCount, 40u);
  for (const auto& [path, tile] : list.tiles) EXPECT_EQ(tile.signature.valid, 1) << path;
}

TEST_F(TileAnalyserTest, PoolWithoutThreadsIsServedByTheCaller) {
  WorkerPool pool;  // no thread started
  TileImagesList list;
  build(list);
  TileAnalyser analyser(&pool);
  analyser.prepare(list);
  while (analyser.runSlice(list)) {
  }
  EXPECT_EQ(list.tiles.size(), 39u);
}

TEST(TileAnalyserEmpty, EmptyCollectionCompletesAtOnce) {
  TileImagesList list;
  list.errorPaths = {"left over"};
  TileAnalyser analyser;
  analyser.prepare(list);
  EXPECT_FALSE(analyser.runSlice(list));
  EXPECT_TRUE(list.errorPaths.empty());
  EXPECT_TRUE(list.modified);
}

}  // namespace
}  // namespace tg
