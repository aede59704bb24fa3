// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tiles/tile_analysis.h"
#include "tiles/tile_groups.h"
#include "tiles/tile_images_list.h"

namespace tg {
namespace {

void addTile(TileImagesList& list, const std::string& path, bool clip = false,
             bool rotated = false) {
  FotoInfo tile;
  tile.path = path;
  tile.frameRate = clip ? 12500 : 0;
  tile.signature.rotated = rotated ? 1 : 0;
  list.tiles.emplace(path, tile);
}

std::vector<std::uint32_t> groups(const TileImagesList& list) {
  std::vector<std::uint32_t> ids;
  for (const auto& [path, tile] : list.tiles) ids.push_back(tile.groupId);
  return ids;
}

TEST(TileGroups, CustomAndFolderVariantModesNumberByKey) {
  TileImagesList list;
  for (const char* p : {"/f/x___1.jpg", "/f/x___2.jpg", "/f/y___1.jpg"}) addTile(list, p);
  numberGroups(list, kGroupModeCustomVariants);
  EXPECT_EQ(groups(list), (std::vector<std::uint32_t>{2, 2, 3}));
  EXPECT_EQ(list.lastGroupId, 2u);

  numberGroups(list, kGroupModeFolderVariants);
  EXPECT_EQ(groups(list), (std::vector<std::uint32_t>{2, 2, 2}));
  EXPECT_EQ(list.lastGroupId, 1u);

  // Paths without the separator are their own keys; equal keys share only when consecutive.
  TileImagesList mixed;
  for (const char* p : {"/a/one.jpg", "/a/two.jpg", "/b/c___9.jpg", "/b/c___x/d.jpg"}) {
    addTile(mixed, p);
  }
  numberGroups(mixed, kGroupModeCustomVariants);
  EXPECT_EQ(groups(mixed), (std::vector<std::uint32_t>{2, 3, 4, 4}));
  numberGroups(mixed, kGroupModeFolderVariants);
  EXPECT_EQ(groups(mixed), (std::vector<std::uint32_t>{2, 2, 3, 4}));
}

TEST(TileGroups, OtherModesNumberOnlyFramesFolders) {
  TileImagesList list;
  for (const char* p :
       {"/v/FRAMES001/f1.jpg", "/v/FRAMES001/f2.jpg", "/v/photos/p.jpg", "/v/myframes/q.jpg"}) {
    addTile(list, p);
  }
  numberGroups(list, kGroupModeOnLoad);
  EXPECT_EQ(list.findTile("/v/FRAMES001/f1.jpg")->groupId, 1u);
  EXPECT_EQ(list.findTile("/v/FRAMES001/f2.jpg")->groupId, 2u);
  EXPECT_EQ(list.findTile("/v/myframes/q.jpg")->groupId, 3u);  // upper-cased before the match
  EXPECT_EQ(list.findTile("/v/photos/p.jpg")->groupId, 0u);
  EXPECT_EQ(list.lastGroupId, 3u);
  numberGroups(list, 1);
  EXPECT_EQ(list.findTile("/v/photos/p.jpg")->groupId, 0u);
  EXPECT_TRUE(
      isFramesPath("/x/\xC3\xA4"
                   "frames/a.jpg"));
  EXPECT_FALSE(isFramesPath("/x/frame/a.jpg"));
}

TEST(TileGroups, CountsAndTheStatusLine) {
  TileImagesList list;
  EXPECT_EQ(tileCountsText(list, false),
            "No Images are loaded. Please add a Folder to the Folder List");

  addTile(list, "/a.jpg");
  numberGroups(list, kGroupModeOnLoad);
  EXPECT_EQ(tileCountsText(list, false), "1 Landscape image.");
  EXPECT_EQ(tileCountsText(list, true), "1 Landscape image. Remember to Save the Images List!");

  addTile(list, "/b.jpg");
  addTile(list, "/c.jpg", false, true);
  addTile(list, "/d.avi", true, false);
  addTile(list, "/e.avi", true, true);
  addTile(list, "/f.avi", true, true);
  numberGroups(list, kGroupModeOnLoad);
  EXPECT_EQ(list.landscapeCount, 2u);
  EXPECT_EQ(list.portraitCount, 1u);
  EXPECT_EQ(list.landscapeClipCount, 1u);
  EXPECT_EQ(list.portraitClipCount, 2u);
  EXPECT_EQ(list.rotatedCount, 3u);
  list.modified = true;
  EXPECT_EQ(tileCountsText(list, false),
            "2 Landscape images, 1 Portrait image, 1 Landscape videoclip, 2 Portrait videoclips. "
            "Remember to Save the Images List!");
}

}  // namespace
}  // namespace tg
