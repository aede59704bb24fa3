// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/resource.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "imaging/live_objects.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "tile_test_files.h"
#include "tiles/tile_images_list.h"

namespace tg {
namespace {

using test::ListBytes;
using test::patternSignature;

const char* const kVersionMessage =
    "This file was created using a different version of Tesselograph";

/// A list of `n` tiles with distinct stamps and signatures, three folder lists and a video list.
void fillList(TileImagesList& list, int n) {
  addFolder(list, "/photos", kIncludeList);
  addFolder(list, "/photos/private/", kExcludeList);
  addPicture(list, "/best/one.jpg", kRequiredList);
  addFolder(list, "/clips", kVideoList);
  list.blackAndWhite = true;
  for (int i = 0; i < n; ++i) {
    FotoInfo tile;
    tile.path = "/photos/p" + std::to_string(i) + ".jpg";
    tile.fileTime = 1700000000 + i;
    tile.fileSize = 1000 * i - 5;
    tile.required = static_cast<std::int16_t>(i % 2);
    tile.frameCount = static_cast<std::uint16_t>(i % 3 == 0 ? 0 : 100 + i);
    tile.frameRate = static_cast<std::uint16_t>(i % 3 == 0 ? 0 : 12500);
    tile.signature = patternSignature(static_cast<std::uint32_t>(i));
    tile.signature.rotated = static_cast<std::uint8_t>(i % 4 == 1);
    list.tiles.emplace(tile.path, tile);
  }
}

/// The header of a version-`v` file up to its folder lists (versions 112 and later).
ListBytes header(std::uint32_t v, std::uint8_t blackAndWhite = 0) {
  ListBytes b;
  b.u32(v).u32(12).u32(12);
  if (v >= 110) b.u8(blackAndWhite);
  return b;
}

void writeSignature117(ListBytes& b, const ImageSignature& sig) {
  b.u8(1);
  for (const Pixel p : sig.values) b.u32(p);
  b.u8(sig.rotated).u8(sig.opaque);
}

void writeThumbnail116(ListBytes& b, const ImageSignature& sig, bool withFlags,
                       std::uint8_t rotated) {
  b.u8(1).u32(0xDEADBEEF);
  for (std::size_t i = ImageSignature::kFirstThumbnail; i < ImageSignature::kValueCount; ++i) {
    b.u32(sig.values[i]);
  }
  if (withFlags) b.u8(rotated).u32(7).u8(0);
}

TEST(TileListFile, EmptyListHasTheDocumentedLengthAndLoadsBack) {
  test::ScratchDir dir;
  const std::string path = dir.file("empty.tg4");
  TileImagesList list;
  ASSERT_TRUE(saveTileImagesList(path, list));
  const std::string bytes = test::readFile(path);
  EXPECT_EQ(bytes.size(), 4u + 4 + 4 + 1 + (1 + path.size()) + 4 * 4 + 4);
  EXPECT_EQ(bytes.substr(0, 12), std::string("\x77\0\0\0\x0c\0\0\0\x0c\0\0\0", 12));

  TileImagesList loaded;
  ASSERT_TRUE(loadTileImagesList(path, loaded));
  EXPECT_TRUE(loaded.tiles.empty());
  EXPECT_EQ(loaded.filePath, path);
  EXPECT_FALSE(loaded.modified);
}

TEST(TileListFile, SavedListLoadsBackIdenticalAndSavesToTheSameBytes) {
  test::ScratchDir dir;
  TileImagesList list;
  fillList(list, 25);
  const std::string first = dir.file("a.tg4");
  ASSERT_TRUE(saveTileImagesList(first, list));
  EXPECT_FALSE(list.modified);
  EXPECT_EQ(list.filePath, first);

  TileImagesList loaded;
  ASSERT_TRUE(loadTileImagesList(first, loaded));
  EXPECT_EQ(loaded.version, 119);
  EXPECT_TRUE(loaded.blackAndWhite);
  EXPECT_EQ(loaded.includeList, list.includeList);
  EXPECT_EQ(loaded.excludeList, list.excludeList);
  EXPECT_EQ(loaded.requiredList, list.requiredList);
  EXPECT_EQ(loaded.videoList, list.videoList);
  ASSERT_EQ(loaded.tiles.size(), list.tiles.size());
  for (const auto& [key, tile] : list.tiles) {
    const FotoInfo* back = loaded.findTile(key);
    ASSERT_NE(back, nullptr) << key;
    EXPECT_EQ(*back, tile) << key;
  }
  // Saving the loaded list under the same name writes the same bytes.
  const std::string before = test::readFile(first);
  ASSERT_TRUE(saveTileImagesList(first, loaded));
  EXPECT_EQ(test::readFile(first), before);
}

TEST(TileListFile, RecordLayoutIsByteExact) {
  test::ScratchDir dir;
  TileImagesList list;
  FotoInfo tile;
  tile.path = "/x/y.jpg";
  tile.fileTime = -3;
  tile.fileSize = 0x01020304;
  tile.required = 1;
  tile.frameCount = 0x0506;
  tile.frameRate = 0x0708;
  tile.signature = patternSignature(9);
  tile.signature.rotated = 1;
  list.tiles.emplace(tile.path, tile);
  const std::string bytes = encodeTileImagesList(list, "L");

  ListBytes expected = header(119, 0);
  expected.text("L").texts({}).texts({}).texts({}).texts({}).u32(1);
  expected.text("/x/y.jpg").i64(-3).u32(0x01020304).u16(1).u16(0x0506).u16(0x0708);
  writeSignature117(expected, tile.signature);
  EXPECT_EQ(bytes, expected.bytes());
}

TEST(TileListFile, StringLengthsSwitchEncodingAt255And65534) {
  struct Row {
    std::size_t length;
    std::string prefix;
  };
  const Row rows[] = {
      {254, std::string("\xFE", 1)},
      {255, std::string("\xFF\xFF\x00", 3)},
      {65533, std::string("\xFF\xFD\xFF", 3)},
      {65534, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
  };
  test::ScratchDir dir;
  for (const Row& row : rows) {
    TileImagesList list;
    const std::string entry(row.length, 'a');
    list.includeList.insert(entry);
    const std::string bytes = encodeTileImagesList(list, "");
    // version, two checks, colour flag, empty saved path, include count.
    const std::size_t at = 12 + 1 + 1 + 4;
    EXPECT_EQ(bytes.substr(at, row.prefix.size()), row.prefix) << row.length;
    EXPECT_EQ(bytes.substr(at + row.prefix.size(), row.length), entry) << row.length;

    const std::string path = dir.file("len.tg4");
    test::writeFile(path, bytes);
    TileImagesList loaded;
    ASSERT_TRUE(loadTileImagesList(path, loaded)) << row.length;
    EXPECT_EQ(loaded.includeList, list.includeList) << row.length;
  }
}

TEST(TileListFile, PathsDifferingOnlyInCaseAreTwoTilesInByteOrder) {
  test::ScratchDir dir;
  TileImagesList list;
  for (const char* p : {"/p/a.jpg", "/p/A.jpg", "/p/\xC3\xA4.jpg", "/p/B.jpg"}) {
    FotoInfo tile;
    tile.path = p;
    list.tiles.emplace(p, tile);
  }
  const std::string path = dir.file("case.tg4");
  ASSERT_TRUE(saveTileImagesList(path, list));
  TileImagesList loaded;
  ASSERT_TRUE(loadTileImagesList(path, loaded));
  std::vector<std::string> order;
  for (const auto& [key, tile] : loaded.tiles) order.push_back(key);
  EXPECT_EQ(order,
            (std::vector<std::string>{"/p/A.jpg", "/p/B.jpg", "/p/a.jpg", "/p/\xC3\xA4.jpg"}));
  EXPECT_NE(loaded.findTile("/p/a.jpg"), loaded.findTile("/p/A.jpg"));
  EXPECT_EQ(loaded.findTile("/p/b.jpg"), nullptr);
}

TEST(TileListFile, OtherVersionsAndFormatChecksAreRefusedAndLeaveTheListEmpty) {
  test::ScratchDir dir;
  struct Row {
    std::uint32_t version, check1, check2;
  };
  for (const Row& row : {Row{120, 12, 12}, Row{107, 12, 12}, Row{119, 11, 12}, Row{119, 12, 13},
                         Row{0xFFFFFFFF, 12, 12}}) {
    ListBytes b;
    b.u32(row.version).u32(row.check1).u32(row.check2).u8(0).text("").texts({"/a/"});
    b.texts({}).texts({}).texts({}).u32(0);
    const std::string path = dir.file("v.tg4");
    test::writeFile(path, b.bytes());
    TileImagesList list;
    fillList(list, 3);
    ScopedScriptedDialogs dialogs;
    TileListLoad outcome = TileListLoad::Loaded;
    EXPECT_TRUE(loadTileImagesList(path, list, &outcome)) << row.version;
    EXPECT_EQ(outcome, TileListLoad::VersionRefused);
    EXPECT_EQ(dialogs->texts(), std::vector<std::string>{kVersionMessage});
    EXPECT_TRUE(list.tiles.empty());
    EXPECT_TRUE(list.includeList.empty());
    EXPECT_TRUE(list.videoList.empty());
    EXPECT_EQ(list.version, 119);
  }
}

TEST(TileListFile, Version118LoadsUnmodifiedAndSavesAsVersion119WithoutClips) {
  test::ScratchDir dir;
  const ImageSignature sig = patternSignature(4);
  ListBytes b = header(118, 1);
  b.text("C:\\old\\list.tg4").texts({"/inc/"}).texts({"/exc/"}).texts({"/req/"});
  b.u32(1).text("/inc/a.jpg").i64(55).u32(66).u16(1);
  writeSignature117(b, sig);
  const std::string path = dir.file("v118.tg4");
  test::writeFile(path, b.bytes());

  TileImagesList list;
  ASSERT_TRUE(loadTileImagesList(path, list));
  EXPECT_EQ(list.version, 118);
  EXPECT_FALSE(list.modified);
  EXPECT_TRUE(list.blackAndWhite);
  EXPECT_EQ(list.filePath, path);
  ASSERT_EQ(list.tiles.size(), 1u);
  const FotoInfo& tile = list.tiles.begin()->second;
  EXPECT_EQ(tile.signature.values, sig.values);  // version 117 and later keep their averages
  EXPECT_EQ(tile.required, 1);
  EXPECT_EQ(tile.frameCount, 0);
  EXPECT_EQ(tile.frameRate, 0);

  const std::string saved = dir.file("v119.tg4");
  ASSERT_TRUE(saveTileImagesList(saved, list));
  EXPECT_EQ(list.version, 119);
  ListBytes expected = header(119, 1);
  expected.text(saved).texts({"/inc/"}).texts({"/exc/"}).texts({"/req/"}).texts({});
  expected.u32(1).text("/inc/a.jpg").i64(55).u32(66).u16(1).u16(0).u16(0);
  writeSignature117(expected, sig);
  EXPECT_EQ(test::readFile(saved), expected.bytes());
}

TEST(TileListFile, Version116ThumbnailsGetTheirAveragesRecomputed) {
  test::ScratchDir dir;
  const ImageSignature sig = patternSignature(11);
  ListBytes b = header(116);
  b.text("").texts({"/i/"}).texts({}).texts({});
  b.u32(1).text("/i/t.jpg").i64(1).u32(2).u16(0);
  writeThumbnail116(b, sig, true, 1);
  const std::string path = dir.file("v116.tg4");
  test::writeFile(path, b.bytes());

  TileImagesList list;
  ASSERT_TRUE(loadTileImagesList(path, list));
  EXPECT_TRUE(list.modified);
  const ImageSignature& got = list.tiles.begin()->second.signature;
  ImageSignature expected = sig;
  recomputeAverages(expected);
  EXPECT_EQ(got.values, expected.values);
  EXPECT_NE(got.values[0], sig.values[0]);
  EXPECT_EQ(got.rotated, 1);
  EXPECT_EQ(got.opaque, 1);  // recomputed from the opaque thumbnail, not the stored 0
  EXPECT_EQ(got.valid, 1);
  EXPECT_EQ(list.rotatedCount, 1u);
  EXPECT_EQ(list.portraitCount, 1u);
}

TEST(TileListFile, Version114KeepsRotationFromTheRecordAndReadsRequired) {
  test::ScratchDir dir;
  const ImageSignature sig = patternSignature(2);
  ListBytes b = header(114);
  b.text("").texts({"/i/"}).texts({"/x/"}).texts({"/r/"});
  b.u32(1).text("/r/t.jpg").i64(1).u32(2).u8(1).u16(1);
  writeThumbnail116(b, sig, false, 0);
  const std::string path = dir.file("v114.tg4");
  test::writeFile(path, b.bytes());

  TileImagesList list;
  ASSERT_TRUE(loadTileImagesList(path, list));
  const FotoInfo& tile = list.tiles.begin()->second;
  EXPECT_EQ(tile.signature.rotated, 1);
  EXPECT_EQ(tile.required, 1);
  EXPECT_EQ(list.requiredList, FolderList{"/r/"});
}

TEST(TileListFile, Version111PathsAreRerootedInTheFolderOfTheOpenedList) {
  test::ScratchDir dir;
  const ImageSignature sig = patternSignature(3);
  ListBytes b = header(111);
  b.text("C:\\Pics\\").text("C:\\Pics");
  b.u32(2);
  b.text("C:\\Pics\\sub\\a.jpg").i64(1).u32(2).u8(0);
  writeThumbnail116(b, sig, false, 0);
  b.text("C:\\Pics\\b.jpg").i64(1).u32(2).u8(0);
  writeThumbnail116(b, sig, false, 0);
  const std::string path = dir.file("old.tgc");
  test::writeFile(path, b.bytes());

  TileImagesList list;
  ASSERT_TRUE(loadTileImagesList(path, list));
  EXPECT_EQ(list.includeList, FolderList{"C:\\Pics/"});
  const std::string folder = dir.path().string() + "/";
  EXPECT_NE(list.findTile(folder + "sub/a.jpg"), nullptr);
  EXPECT_NE(list.findTile(folder + "b.jpg"), nullptr);
  EXPECT_TRUE(list.excludeList.empty());
  EXPECT_TRUE(list.modified);
}

TEST(TileListFile, Version108ReadsWindows1252TextAndThreeWordRotation) {
  test::ScratchDir dir;
  const ImageSignature sig = patternSignature(5);
  ListBytes b;
  b.u32(108).u32(12).u32(12);  // no colour flag before version 110
  b.text("D:\\Fotos\\").text("D:\\Fotos\\Sch\xF6n");
  b.u32(1).text("D:\\Fotos\\M\xFCnchen \x80.jpg").i64(1).u32(2).u32(0).u32(0).u32(9);
  writeThumbnail116(b, sig, false, 0);
  const std::string path = dir.file("ansi.tgc");
  test::writeFile(path, b.bytes());

  TileImagesList list;
  ASSERT_TRUE(loadTileImagesList(path, list));
  EXPECT_FALSE(list.blackAndWhite);
  EXPECT_EQ(list.includeList, FolderList{"D:\\Fotos\\Sch\xC3\xB6n/"});
  const std::string expected = dir.path().string() + "/M\xC3\xBCnchen \xE2\x82\xAC.jpg";
  const FotoInfo* tile = list.findTile(expected);
  ASSERT_NE(tile, nullptr);
  EXPECT_EQ(tile->signature.rotated, 1);
}

TEST(TileListFile, DamagedSampleFilesResetTheListAndReportFailure) {
  const char* const samples[] = {"truncated-record.tg4", "record-count-larger-than-file.tg4",
                                 "string-length-beyond-end.tg4", "negative-set-count.tg4",
                                 "empty-file.tg4"};
  for (const char* name : samples) {
    TileImagesList list;
    fillList(list, 2);
    ScopedScriptedDialogs dialogs;
    TileListLoad outcome = TileListLoad::Loaded;
    EXPECT_FALSE(
        loadTileImagesList((test::testDataDir() / "tiles" / name).string(), list, &outcome))
        << name;
    EXPECT_EQ(outcome, TileListLoad::ReadError) << name;
    EXPECT_TRUE(dialogs->texts().empty()) << name;
    EXPECT_TRUE(list.tiles.empty()) << name;
    EXPECT_TRUE(list.includeList.empty()) << name;
    EXPECT_TRUE(list.filePath.empty()) << name;
  }
  TileImagesList list;
  EXPECT_FALSE(loadTileImagesList("/nonexistent/folder/list.tg4", list));
}

TEST(TileListFile, EveryTruncationAndManyMutationsFailCleanly) {
  test::ScratchDir dir;
  TileImagesList source;
  fillList(source, 3);
  const std::string good = encodeTileImagesList(source, "/saved/here.tg4");
  // Hundreds of rewrites of one small file: keep them in memory where the system allows it.
  const bool inMemory = std::filesystem::is_directory("/dev/shm");
  const std::string path = inMemory
                               ? "/dev/shm/tg-tiles-fuzz-" + std::to_string(::getpid()) + ".tg4"
                               : dir.file("fuzz.tg4");
  const long liveBefore = liveCount(LiveObject::FotoInfo);

  for (std::size_t n = 0; n < good.size(); n += (n < 200 ? 1 : 7)) {
    test::writeFile(path, good.substr(0, n));
    TileImagesList list;
    EXPECT_FALSE(loadTileImagesList(path, list)) << n;
    EXPECT_TRUE(list.tiles.empty());
  }

  std::mt19937 random(1234);
  ScopedScriptedDialogs dialogs;  // refused versions show their message here
  for (int round = 0; round < 600; ++round) {
    std::string bytes = good;
    const int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % bytes.size();
      switch (random() % 3) {
        case 0:
          bytes[at] = static_cast<char>(random());
          break;
        case 1:
          bytes.erase(at, 1 + random() % 16);
          break;
        default:
          bytes.insert(at, std::string(1 + random() % 8, static_cast<char>(random())));
      }
      if (bytes.empty()) bytes = "x";
    }
    test::writeFile(path, bytes);
    TileImagesList list;
    TileListLoad outcome = TileListLoad::Loaded;
    const bool ok = loadTileImagesList(path, list, &outcome);
    if (!ok || outcome == TileListLoad::VersionRefused) {
      EXPECT_TRUE(list.tiles.empty() && list.includeList.empty());
    }
  }
  for (int round = 0; round < 200; ++round) {
    std::string bytes = good.substr(0, 12);
    const std::size_t extra = random() % 3000;
    for (std::size_t i = 0; i < extra; ++i) bytes.push_back(static_cast<char>(random()));
    test::writeFile(path, bytes);
    TileImagesList list;
    (void)loadTileImagesList(path, list);
  }
  EXPECT_EQ(liveCount(LiveObject::FotoInfo), liveBefore);
  if (inMemory) std::filesystem::remove(path);
}

TEST(TileListFile, FailedSaveReportsAndKeepsTheOldFileAndTheList) {
  test::ScratchDir dir;
  TileImagesList small;
  fillList(small, 1);
  const std::string path = dir.file("keep.tg4");
  ASSERT_TRUE(saveTileImagesList(path, small));
  const std::string before = test::readFile(path);

  TileImagesList big;
  fillList(big, 40);
  big.modified = true;
  {
    // Writes beyond the limit fail (EFBIG) as on a full disk.
    ScopedScriptedDialogs dialogs;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = before.size() + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool saved = saveTileImagesList(path, big);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    EXPECT_EQ(dialogs->texts(), std::vector<std::string>{"Unable to save file '" + path + "'"});
  }
  EXPECT_EQ(test::readFile(path), before);
  EXPECT_TRUE(big.modified);
  EXPECT_TRUE(big.filePath.empty());

  ScopedScriptedDialogs dialogs;
  const std::string unreachable = dir.file("missing-folder/list.tg4");
  EXPECT_FALSE(saveTileImagesList(unreachable, big));
  EXPECT_EQ(dialogs->texts(),
            std::vector<std::string>{"Unable to save file '" + unreachable + "'"});
}

TEST(TileListFile, ResetAddAndClearKeepTheirContracts) {
  TileImagesList list;
  fillList(list, 4);
  list.errorPaths = {"/gone.jpg"};
  list.version = 117;
  list.lastGroupId = 9;
  const long live = liveCount(LiveObject::FotoInfo);
  clearTiles(list);
  EXPECT_EQ(liveCount(LiveObject::FotoInfo), live - 4);
  EXPECT_TRUE(list.tiles.empty());
  EXPECT_EQ(list.lastGroupId, 0u);
  EXPECT_FALSE(list.includeList.empty());  // folder lists survive clearTiles

  list.modified = false;
  addFolder(list, "/new", kRequiredList);
  addFolder(list, "/new/", kRequiredList);
  addPicture(list, "/one/pic.png", kExcludeList);
  EXPECT_TRUE(list.modified);
  EXPECT_EQ(list.requiredList, (FolderList{"/best/one.jpg", "/new/"}));
  EXPECT_EQ(list.excludeList.count("/one/pic.png"), 1u);

  resetTileImagesList(list);
  EXPECT_TRUE(list.errorPaths.empty());
  for (int i = 0; i < kFolderListCount; ++i) EXPECT_TRUE(list.folderList(i).empty());
  EXPECT_FALSE(list.blackAndWhite);
  EXPECT_FALSE(list.modified);
  EXPECT_EQ(list.version, 119);
  EXPECT_TRUE(list.filePath.empty());
}

}  // namespace
}  // namespace tg
