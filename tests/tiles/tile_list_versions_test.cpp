// SPDX-License-Identifier: GPL-3.0-or-later
// One record in a list file of every version the loader accepts, assembled byte by byte from the
// layout rules of each version, so that every boundary between two layouts is crossed once.
#include <string>

#include <gtest/gtest.h>

#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "tile_test_files.h"
#include "tiles/tile_images_list.h"

namespace tg {
namespace {

using test::ListBytes;

/// A list file of version `v` holding one tile whose path is `tilePath`: black and white where
/// the version stores the flag, the tile rotated, required where the version stores it, and a
/// clip of 5 frames at 25 fps where the version stores clips.
std::string versionFile(int v, const ImageSignature& sig, const std::string& tilePath) {
  ListBytes b;
  b.u32(static_cast<std::uint32_t>(v)).u32(12).u32(12);
  if (v >= 110) b.u8(1);
  if (v >= 112) {
    b.text("C:\\saved\\list.tg4").texts({"/inc/"});
    if (v >= 113) b.texts({"/exc/"}).texts({"/req/"});
    if (v >= 119) b.texts({"/vid/"});
  } else {
    b.text("/old/").text("/old");
  }
  b.u32(1).text(tilePath).i64(77).u32(88);
  if (v <= 110) b.u32(0).u32(0).u32(3);
  if (v >= 111 && v <= 114) b.u8(1);
  if (v >= 114) b.u16(1);
  if (v >= 119) b.u16(5).u16(12500);
  b.u8(1);
  if (v >= 117) {
    for (const Pixel p : sig.values) b.u32(p);
    b.u8(1).u8(sig.opaque);
  } else {
    b.u32(0xDEADBEEF);
    for (std::size_t i = ImageSignature::kFirstThumbnail; i < ImageSignature::kValueCount; ++i) {
      b.u32(sig.values[i]);
    }
    if (v >= 115) b.u8(1).u32(7).u8(0);
  }
  return b.bytes();
}

TEST(TileListVersions, EveryAcceptedVersionReadsItsOwnRecordLayout) {
  test::ScratchDir dir;
  const ImageSignature sig = test::patternSignature(9);
  ImageSignature recomputed = sig;
  recomputeAverages(recomputed);
  for (int v = 108; v <= 119; ++v) {
    SCOPED_TRACE("version " + std::to_string(v));
    const bool rerooted = v <= 111;
    const std::string path = dir.file("v" + std::to_string(v) + ".tg4");
    test::writeFile(path, versionFile(v, sig, rerooted ? "/old/sub/t.jpg" : "/inc/t.jpg"));

    TileImagesList list;
    ASSERT_TRUE(loadTileImagesList(path, list));
    EXPECT_EQ(list.version, v);
    EXPECT_EQ(list.filePath, path);
    EXPECT_EQ(list.blackAndWhite, v >= 110);
    EXPECT_EQ(list.modified, v < 118);
    EXPECT_EQ(list.includeList, FolderList{rerooted ? "/old/" : "/inc/"});
    EXPECT_EQ(list.excludeList, v >= 113 ? FolderList{"/exc/"} : FolderList{});
    EXPECT_EQ(list.requiredList, v >= 113 ? FolderList{"/req/"} : FolderList{});
    EXPECT_EQ(list.videoList, v >= 119 ? FolderList{"/vid/"} : FolderList{});

    ASSERT_EQ(list.tiles.size(), 1u);
    const std::string tilePath = rerooted ? dir.path().string() + "/sub/t.jpg" : "/inc/t.jpg";
    const FotoInfo* tile = list.findTile(tilePath);
    ASSERT_NE(tile, nullptr) << list.tiles.begin()->first;
    EXPECT_EQ(tile->fileTime, 77);
    EXPECT_EQ(tile->fileSize, 88);
    EXPECT_EQ(tile->required, v >= 114 ? 1 : 0);
    EXPECT_EQ(tile->frameCount, v >= 119 ? 5 : 0);
    EXPECT_EQ(tile->frameRate, v >= 119 ? 12500 : 0);
    EXPECT_TRUE(tile->inUse);
    EXPECT_EQ(tile->useCount, 0u);
    EXPECT_EQ(tile->signature.valid, 1);
    EXPECT_EQ(tile->signature.rotated, 1);
    // Lists before version 117 kept only the thumbnail: the averages are worked out again.
    EXPECT_EQ(tile->signature.values, v >= 117 ? sig.values : recomputed.values);
  }
}

TEST(TileListVersions, EveryTruncationOfEveryVersionFailsAndLeavesTheListEmpty) {
  test::ScratchDir dir;
  const ImageSignature sig = test::patternSignature(3);
  const std::string path = dir.file("cut.tg4");
  ScopedScriptedDialogs dialogs;
  for (int v = 108; v <= 119; ++v) {
    SCOPED_TRACE("version " + std::to_string(v));
    const std::string whole = versionFile(v, sig, v <= 111 ? "/old/a.jpg" : "/inc/a.jpg");
    // Every cut inside the header and the record's fixed fields, then every 13th byte.
    for (std::size_t n = 0; n < whole.size(); n += (n < 120 ? 1 : 13)) {
      test::writeFile(path, whole.substr(0, n));
      TileImagesList list;
      EXPECT_FALSE(loadTileImagesList(path, list)) << n;
      EXPECT_TRUE(list.tiles.empty()) << n;
      EXPECT_TRUE(list.includeList.empty()) << n;
    }
  }
  // A damaged list is the caller's to report; the loader itself tells the user nothing.
  EXPECT_TRUE(dialogs->texts().empty());
}

}  // namespace
}  // namespace tg
