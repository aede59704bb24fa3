// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/output_names.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

namespace tg {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;
using test::writeFile;

TEST(SplitPath, CutsFolderTitleAndExtension) {
  struct Row {
    const char* path;
    const char* directory;
    const char* title;
  };
  const Row rows[] = {
      {"/photos/beach.jpg", "/photos", "beach"},
      {"/photos/beach.tar.gz", "/photos", "beach.tar"},
      {"/photos/beach", "/photos", "beach"},
      {"/photos/beach.", "/photos", "beach"},
      {"/a.b/c", "/a.b", "c"},  // a dot in a folder name is not an extension
      {"/beach.jpg", "", "beach"},
      {"beach.jpg", "beach.jpg", ""},
      {"", "", ""},
  };
  for (const Row& row : rows) {
    const PathParts parts = splitPath(row.path);
    EXPECT_EQ(parts.directory, row.directory) << row.path;
    EXPECT_EQ(parts.title, row.title) << row.path;
  }
}

class OutputNamesTest : public ::testing::Test {
 protected:
  std::string image() const { return dir.file("beach.jpg"); }
  OutputNames compose(const OutputNameRules& rules, bool create = true,
                      const std::string* explicitOutput = nullptr) {
    return composeOutputNames(rules, explicitOutput, "Mosaic", image(), create);
  }
  static OutputNameRules rules(int subdirectory, int fileName) {
    OutputNameRules r;
    r.subdirectory = subdirectory;
    r.fileName = fileName;
    return r;
  }
  ScratchDir dir;
};

TEST_F(OutputNamesTest, NoSubdirectoryPutsTheMosaicBesideTheImage) {
  const OutputNames names = compose(rules(1, 1));
  EXPECT_EQ(names.base, dir.file("beach Mosaic"));
  EXPECT_EQ(names.directory, dir.path().string());
  EXPECT_TRUE(names.tilesDirectory.empty());

  // Overwriting keeps the name even when the mosaic exists.
  writeFile(dir.path() / "beach Mosaic.jpg", "x");
  EXPECT_EQ(compose(rules(1, 1)).base, dir.file("beach Mosaic"));
}

TEST_F(OutputNamesTest, NewFileNamesSkipEveryNameAlreadyTaken) {
  writeFile(dir.path() / "beach Mosaic.jpg", "x");
  EXPECT_EQ(compose(rules(1, 2)).base, dir.file("beach Mosaic02"));
  writeFile(dir.path() / "beach Mosaic02 Settings.txt", "x");
  EXPECT_EQ(compose(rules(1, 2)).base, dir.file("beach Mosaic03"));
  // A web page also asks for a fresh name, whatever the file-name mode.
  OutputNameRules withPage = rules(1, 1);
  withPage.webPageSize = 1000;
  EXPECT_EQ(compose(withPage).base, dir.file("beach Mosaic03"));
}

TEST_F(OutputNamesTest, NewSubdirectorySkipsFoldersAlreadyThere) {
  fs::create_directory(dir.path() / "beach Mosaic");
  writeFile(dir.path() / "beach Mosaic02.jpg", "a file does not take a folder name");
  OutputNames names = compose(rules(3, 1), false);
  EXPECT_EQ(names.base, dir.file("beach Mosaic02") + "/Mosaic");
  EXPECT_EQ(names.directory, dir.file("beach Mosaic02"));
  EXPECT_FALSE(fs::exists(dir.path() / "beach Mosaic02"));  // not created when predicting

  names = compose(rules(3, 1), true);
  EXPECT_TRUE(fs::is_directory(dir.path() / "beach Mosaic02"));
  // The next mosaic takes the next folder.
  EXPECT_EQ(compose(rules(3, 1), true).directory, dir.file("beach Mosaic03"));
}

TEST_F(OutputNamesTest, OverwriteSubdirectoryReusesItsFolder) {
  OutputNames names = compose(rules(2, 1));
  EXPECT_EQ(names.base, dir.file("beach Mosaic") + "/Mosaic");
  EXPECT_TRUE(fs::is_directory(dir.path() / "beach Mosaic"));
  writeFile(dir.path() / "beach Mosaic" / "Mosaic.jpg", "x");
  EXPECT_EQ(compose(rules(2, 1)).base, dir.file("beach Mosaic") + "/Mosaic");
  // With new file names the earlier mosaic in the folder is kept.
  EXPECT_EQ(compose(rules(2, 2)).base, dir.file("beach Mosaic") + "/Mosaic02");
}

TEST_F(OutputNamesTest, MosaicDirectoryIsTrimmedAndWins) {
  fs::create_directory(dir.path() / "out");
  OutputNameRules r = rules(1, 1);
  r.mosaicDirectory = "  " + dir.file("out") + "/ \t";
  const OutputNames names = compose(r);
  EXPECT_EQ(names.base, dir.file("out") + "/beach Mosaic");
  EXPECT_EQ(names.directory, dir.file("out"));
}

TEST_F(OutputNamesTest, TilesFolderIsMadeOnlyWhenFoldersAreCreated) {
  OutputNameRules r = rules(1, 1);
  r.individualTiles = true;
  OutputNames names = compose(r, false);
  EXPECT_EQ(names.tilesDirectory, dir.file("beach Mosaic Tile Images"));
  EXPECT_FALSE(fs::exists(names.tilesDirectory));
  names = compose(r, true);
  EXPECT_TRUE(fs::is_directory(names.tilesDirectory));
}

TEST_F(OutputNamesTest, AnExplicitOutputPathIsUsedAsItStands) {
  writeFile(dir.path() / "result.jpg", "an earlier result");
  const std::string explicitPath = dir.file("result.jpg");
  OutputNameRules r = rules(3, 2);  // neither a subfolder nor a fresh name
  r.individualTiles = true;
  const OutputNames names = compose(r, true, &explicitPath);
  EXPECT_EQ(names.base, dir.file("result"));
  EXPECT_EQ(names.directory, dir.path().string());
  EXPECT_FALSE(fs::exists(dir.path() / "beach Mosaic"));
  // The renderer writes the single tiles there, so the folder is made.
  EXPECT_TRUE(fs::is_directory(dir.file("result Tile Images")));
}

TEST(SplitExplicitOutput, ReplacesOnlyExtensionsThatNameAnOutputFormat) {
  struct Row {
    const char* path;
    const char* base;
  };
  const Row rows[] = {
      {"o/big.tiff", "o/big"},  // five characters, not four
      {"o/big.jpeg", "o/big"},          {"o/Big.PSB", "o/Big"},
      {"o/result", "o/result"},      // no extension: the format's is added
      {"o/result.", "o/result"},     // never "result..jpg"
      {"o/photo.v2", "o/photo.v2"},  // a dot of the name, not a format
      {"o.d/result", "o.d/result"},  // a dotted folder is not an extension
      {"o.d/result.jpg", "o.d/result"}, {"o/.hidden", "o/.hidden"},
      {"result.psd", "result"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(splitExplicitOutput(row.path).base, row.base) << row.path;
  }
}

}  // namespace
}  // namespace tg
