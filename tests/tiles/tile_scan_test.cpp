// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/image_file.h"
#include "support/scratch_dir.h"
#include "tile_test_files.h"
#include "tiles/tile_analyser.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"

namespace tg {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> tilePaths(const TileImagesList& list) {
  std::vector<std::string> paths;
  for (const auto& [path, tile] : list.tiles) paths.push_back(path);
  return paths;
}

/// Builds and analyses `list` to the end on the calling thread; returns the decode count.
std::size_t analyseAll(TileImagesList& list) {
  buildTileCollection(list);
  TileAnalyser analyser;
  analyser.prepare(list);
  while (analyser.runSlice(list)) {
  }
  return analyser.decodedCount();
}

class TileScan : public ::testing::Test {
 protected:
  std::string folder(const std::string& name) {
    fs::create_directories(m_dir.path() / name);
    return (m_dir.path() / name).string() + "/";
  }
  std::string jpeg(const std::string& name, std::uint32_t colour = 0x808080) {
    const std::string path = m_dir.file(name);
    fs::create_directories(fs::path(path).parent_path());
    EXPECT_TRUE(test::writeTestJpeg(path, 64, 48, colour, colour ^ 0xFFFFFF));
    return path;
  }

  test::ScratchDir m_dir;
};

TEST(TileExtensions, MatchTheSetsByUpperCasedTextAfterTheLastDot) {
  struct Row {
    const char* name;
    bool picture;
    bool video;
  };
  const Row rows[] = {
      {"a.jpg", true, false},      {"b.JPEG", true, false},    {"c.Jpe", true, false},
      {"p.png", true, false},      {"d.gif", false, false},    {".jpg", false, false},
      {"nodot", false, false},     {"x.tar.jpg", true, false}, {".hidden.png", true, false},
      {"trailing.", false, false}, {"clip.AVI", false, true},  {"m.mpg", false, true},
      {"m.mp4", false, true},      {"a.jpgx", false, false},   {"a.pn", false, false},
      {"p.M4V", false, true},      {"k.Mkv", false, true},     {"w.webm", false, true},
      {"m.mp3", false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(hasExtensionFrom(row.name, kPictureExtensions), row.picture) << row.name;
    EXPECT_EQ(hasExtensionFrom(row.name, kVideoExtensions), row.video) << row.name;
  }
}

TEST_F(TileScan, FolderGivesOneTilePerPictureWithAKnownExtension) {
  const std::string photos = folder("photos");
  for (const char* name : {"a.jpg", "b.JPEG", "d.gif", ".jpg"}) jpeg("photos/" + std::string(name));
  ASSERT_TRUE(test::writeTestPng(photos + "p.png", 20, 10));
  jpeg("photos/sub/deeper/z.jpe");

  TileImagesList list;
  addFolder(list, photos, kIncludeList);
  list.modified = false;
  buildTileCollection(list);
  EXPECT_TRUE(list.modified);
  EXPECT_EQ(tilePaths(list),
            (std::vector<std::string>{photos + "a.jpg", photos + "b.JPEG", photos + "p.png",
                                      photos + "sub/deeper/z.jpe"}));
  for (const auto& [path, tile] : list.tiles) {
    EXPECT_TRUE(tile.inUse);
    EXPECT_EQ(tile.required, 0);
    EXPECT_EQ(tile.frameRate, 0);
    EXPECT_EQ(tile.fileSize, kFileSizeNotAnalysed);
  }
}

TEST_F(TileScan, RequiredAndExcludedEntriesMarkOrRemoveTiles) {
  const std::string photos = folder("photos");
  const std::string both = jpeg("photos/both.jpg");
  const std::string banned = jpeg("photos/banned.jpg");
  const std::string plain = jpeg("photos/plain.jpg");
  const std::string forcedOut = jpeg("photos/forced-out.jpg");

  TileImagesList list;
  addFolder(list, photos, kIncludeList);
  addPicture(list, both, kRequiredList);
  addPicture(list, banned, kExcludeList);
  addPicture(list, forcedOut, kRequiredList);
  addPicture(list, forcedOut, kExcludeList);
  analyseAll(list);

  EXPECT_EQ(tilePaths(list), (std::vector<std::string>{both, plain}));
  EXPECT_EQ(list.findTile(both)->required, 1);
  EXPECT_EQ(list.findTile(plain)->required, 0);
  // Excluded files are not failures: nothing lands in the error report.
  EXPECT_TRUE(list.errorPaths.empty());

  // Removing the Required entry makes the tile an ordinary one again on the next build.
  list.requiredList.clear();
  buildTileCollection(list);
  EXPECT_EQ(list.findTile(both)->required, 0);
}

TEST_F(TileScan, SingleFileEntriesMatchNamesStartingWithThem) {
  folder("one");
  const std::string pic = jpeg("one/pic.jpg");
  const std::string longer = jpeg("one/pic.jpg.copy.jpg");
  jpeg("one/other.jpg");
  TileImagesList list;
  addPicture(list, pic, kIncludeList);
  buildTileCollection(list);
  EXPECT_EQ(tilePaths(list), (std::vector<std::string>{pic, longer}));
}

TEST_F(TileScan, VideoEntriesTakeClipsOnlyAndMarkThemAsClips) {
  const std::string clips = folder("clips");
  ASSERT_TRUE(test::writeTestClip(clips + "c.avi", 3));
  jpeg("clips/still.jpg");
  TileImagesList list;
  addFolder(list, clips, kVideoList);
  buildTileCollection(list);
  ASSERT_EQ(tilePaths(list), std::vector<std::string>{clips + "c.avi"});
  EXPECT_EQ(list.tiles.begin()->second.frameRate, 1);
  EXPECT_EQ(list.tiles.begin()->second.frameCount, 0);
}

TEST_F(TileScan, LinkBackToAParentFolderDoesNotScanForever) {
  const std::string photos = folder("photos");
  jpeg("photos/a.jpg");
  fs::create_directory_symlink(photos, photos + "loop");
  TileImagesList list;
  addFolder(list, photos, kIncludeList);
  buildTileCollection(list);
  EXPECT_EQ(tilePaths(list), std::vector<std::string>{photos + "a.jpg"});
}

TEST_F(TileScan, ResavingUnchangedDecodesNothingAndTouchingReanalysesOneTile) {
  const std::string photos = folder("photos");
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) {
    paths.push_back(jpeg("photos/p" + std::to_string(i) + ".jpg", 0x101010u * (i + 1)));
  }
  TileImagesList list;
  addFolder(list, photos, kIncludeList);
  EXPECT_EQ(analyseAll(list), 6u);
  const std::int64_t firstTime = list.findTile(paths[2])->fileTime;

  EXPECT_EQ(analyseAll(list), 0u);

  ASSERT_TRUE(test::setModificationTime(paths[2], firstTime + 100));
  EXPECT_EQ(analyseAll(list), 1u);
  EXPECT_EQ(list.findTile(paths[2])->fileTime, firstTime + 100);
  EXPECT_EQ(list.tiles.size(), 6u);

  // Rewriting a file with another size (same time) counts as a change too.
  test::writeTestJpeg(paths[4], 80, 60);
  ASSERT_TRUE(test::setModificationTime(paths[4], list.findTile(paths[4])->fileTime));
  EXPECT_EQ(analyseAll(list), 1u);
}

TEST_F(TileScan, DeletedAndBrokenFilesGoToTheErrorReport) {
  const std::string photos = folder("photos");
  const std::string keep = jpeg("photos/keep.jpg");
  const std::string gone = jpeg("photos/gone.jpg");
  const std::string single = jpeg("single.jpg");
  TileImagesList list;
  addFolder(list, photos, kIncludeList);
  addPicture(list, single, kIncludeList);
  analyseAll(list);
  ASSERT_EQ(list.tiles.size(), 3u);

  fs::remove(gone);
  fs::remove(single);
  test::writeFile(photos + "broken.jpg", "this is not a JPEG picture");
  analyseAll(list);
  EXPECT_EQ(tilePaths(list), std::vector<std::string>{keep});
  EXPECT_EQ(list.errorPaths, (std::vector<std::string>{photos + "broken.jpg", gone, single}));

  const std::string report = errorReportPath(m_dir.file("list.tg4"));
  EXPECT_EQ(report, m_dir.file("list.tg4.imageErrors.txt"));
  ASSERT_TRUE(writeErrorReport(list, report));
  EXPECT_TRUE(list.errorPaths.empty());
  EXPECT_EQ(test::readFile(report),
            "\xEF\xBB\xBF" + photos + "broken.jpg\r\n" + gone + "\r\n" + single + "\r\n");

  // A folder taken off the lists drops its tiles silently, even when it is deleted as well.
  list.includeList.clear();
  addFolder(list, folder("other"), kIncludeList);
  fs::remove_all(photos);
  analyseAll(list);
  EXPECT_TRUE(list.tiles.empty());
  EXPECT_TRUE(list.errorPaths.empty());
}

// Only regular files are tiles: a FIFO named like a picture must neither hang the build nor the
// analysis (opening it for reading would wait for a writer for ever). What cannot be read at all
// (a link to nothing, a folder the user may not open) goes to the error report.
TEST_F(TileScan, FifosAreSkippedAndUnreadableEntriesAreReported) {
  const std::string photos = folder("photos");
  const std::string keep = jpeg("photos/keep.jpg");
  ASSERT_EQ(::mkfifo((photos + "pipe.jpg").c_str(), 0600), 0);
  fs::create_symlink(photos + "nowhere.jpg", photos + "dangling.jpg");
  const std::string locked = folder("photos/locked");
  jpeg("photos/locked/hidden.jpg");
  fs::permissions(locked, fs::perms::none);
  const bool rootReadsAnything = ::geteuid() == 0;

  TileImagesList list;
  addFolder(list, photos, kIncludeList);
  analyseAll(list);
  fs::permissions(locked, fs::perms::owner_all);
  std::vector<std::string> tiles{keep};
  if (rootReadsAnything) tiles.push_back(locked + "hidden.jpg");
  EXPECT_EQ(tilePaths(list), tiles) << "the FIFO is no tile";
  std::vector<std::string> expected{photos + "dangling.jpg"};
  if (!rootReadsAnything) expected.push_back(locked);
  EXPECT_EQ(list.errorPaths, expected);

  // Asked for directly, the FIFO fails at once as well.
  Foto picture;
  EXPECT_FALSE(loadImageFile(picture, photos + "pipe.jpg", 0, 0, false));
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  EXPECT_FALSE(readImageSize(photos + "pipe.jpg", width, height));
  EXPECT_EQ(readShootingDate(photos + "pipe.jpg").size(), 0u);
}

}  // namespace
}  // namespace tg
