// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "parallel/worker_pool.h"
#include "platform/scripted_dialogs.h"
#include "platform/wine.h"
#include "support/scratch_dir.h"
#include "tile_test_files.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_model.h"

namespace tg {
namespace {

namespace fs = std::filesystem;

const char* const kNoFolders =
    "Please Add First a Folder to the Include/Video Folder List using Add Folder button!";
const char* const kStopAnalysis = "There is an Analyze Process running. Do you want to stop it?";
const char* const kUnsaved =
    "You did not saved the Images List. Are you sure to continue without saving?";
const char* const kNotAnalysed =
    "You did not Analyze the Folders. Are you sure you want to continue without Analyzing?";

class TileImagesModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_photos = m_dir.path().string() + "/photos/";
    fs::create_directories(m_photos);
    for (const char* name : {"a.jpg", "b.jpg", "c.png"}) {
      const std::string path = m_photos + name;
      ASSERT_TRUE(std::string(name).ends_with(".png") ? test::writeTestPng(path, 40, 30)
                                                      : test::writeTestJpeg(path, 40, 30));
    }
    m_model.setWorkerThreads(2, 0);
  }

  /// Adds the photo folder, saves through Save List As under `name` and runs to the end.
  bool saveAs(const std::string& name) {
    EXPECT_TRUE(m_model.addFolderPath(TileListView::Include, m_photos));
    m_dialogs->chooseNext(m_dir.file(name));
    if (!m_model.saveList(true)) return false;
    return m_model.runAnalysisToEnd();
  }

  test::ScratchDir m_dir;
  std::string m_photos;
  ScopedScriptedDialogs m_dialogs;
  TileImagesModel m_model;
};

TEST_F(TileImagesModelTest, SaveIsRefusedWithoutIncludeOrVideoFolders) {
  addFolder(m_model.list(), m_photos, kRequiredList);
  EXPECT_FALSE(m_model.saveList(false));
  EXPECT_EQ(m_dialogs->texts(), std::vector<std::string>{kNoFolders});
  EXPECT_FALSE(m_model.analysing());
}

TEST_F(TileImagesModelTest, SaveAsAnalysesSavesAndReportsUnusableImages) {
  test::writeFile(m_photos + "broken.jpg", "not a picture");
  std::vector<std::string> statuses;
  m_model.setStatusCallback([&](const std::string& s) { statuses.push_back(s); });

  ASSERT_TRUE(saveAs("mine"));
  const std::string listPath = m_dir.file("mine.tg4");
  const std::string report = listPath + ".imageErrors.txt";
  EXPECT_EQ(m_dialogs->dialogTitles(), std::vector<std::string>{"Create a new Image List File"});
  EXPECT_EQ(m_dialogs->texts(),
            std::vector<std::string>{
                "You are ready to create a mosaic using this List of 3 images/videos. You can go "
                "back to the Main Window. Unable to load and use 1 Images. Please see file " +
                report + " for more information."});
  EXPECT_EQ(test::readFile(report), "\xEF\xBB\xBF" + m_photos + "broken.jpg\r\n");
  EXPECT_EQ(m_model.list().filePath, listPath);
  EXPECT_FALSE(m_model.list().modified);
  EXPECT_FALSE(m_model.analysisOutstanding());
  EXPECT_EQ(m_model.statusText(), "3 Landscape images.");
  const auto first = std::find(statuses.begin(), statuses.end(), "Analyzing...");
  ASSERT_GE(statuses.end() - first, 5);
  EXPECT_EQ(std::vector<std::string>(first, first + 4),
            (std::vector<std::string>{"Analyzing...", "Building Images List...",
                                      "Building Images List... Completed", "Saving..."}));
  EXPECT_TRUE(first[4].starts_with("Tile# 0, Analysis Completed 0.00%, Elapsed Time: 00:00:0"))
      << first[4];

  TileImagesList loaded;
  ASSERT_TRUE(loadTileImagesList(listPath, loaded));
  EXPECT_EQ(loaded.tiles.size(), 3u);
  EXPECT_EQ(m_model.viewEntries(TileListView::AllImages),
            (std::vector<std::string>{m_photos + "a.jpg", m_photos + "b.jpg", m_photos + "c.png"}));

  // Save List again: same file, no dialog; only the unusable file is tried again.
  m_dialogs->clear();
  ASSERT_TRUE(m_model.saveList(false));
  EXPECT_TRUE(m_model.runAnalysisToEnd());
  EXPECT_TRUE(m_dialogs->dialogTitles().empty());
  EXPECT_EQ(m_model.analyser().decodedCount(), 1u);
}

TEST_F(TileImagesModelTest, SaveDialogNamesGetTheListExtension) {
  EXPECT_EQ(withListExtension("/a/list"), "/a/list.tg4");
  EXPECT_EQ(withListExtension("/a/list.TG4"), "/a/list.TG4");
  EXPECT_EQ(withListExtension("/a/list.tgc"), "/a/list.tgc.tg4");
  EXPECT_EQ(withListExtension("/a.b/list"), "/a.b/list.tg4");
}

TEST_F(TileImagesModelTest, CancelledSaveDialogKeepsTheListModified) {
  ASSERT_TRUE(m_model.addFolderPath(TileListView::Include, m_photos));
  m_dialogs->chooseNext(std::nullopt);
  ASSERT_TRUE(m_model.saveList(false));
  EXPECT_FALSE(m_model.runAnalysisToEnd());
  EXPECT_TRUE(m_dialogs->texts().empty());
  EXPECT_TRUE(m_model.list().modified);
  EXPECT_EQ(m_model.list().tiles.size(), 3u);
}

TEST_F(TileImagesModelTest, ListWithoutUsableTilesIsNotSaved) {
  const std::string empty = m_dir.path().string() + "/empty/";
  fs::create_directories(empty);
  ASSERT_TRUE(m_model.addFolderPath(TileListView::Include, empty));
  ASSERT_TRUE(m_model.saveList(true));
  EXPECT_FALSE(m_model.runAnalysisToEnd());
  EXPECT_EQ(m_dialogs->texts(),
            std::vector<std::string>{"Please add folders containing JPG/PNG Images!"});
  EXPECT_TRUE(m_dialogs->dialogTitles().empty());
}

TEST_F(TileImagesModelTest, LongClipsAreReportedBeforeSaving) {
  const std::string clips = m_dir.path().string() + "/clips/";
  fs::create_directories(clips);
  ASSERT_TRUE(test::writeTestClip(clips + "long.avi", 3000));
  ASSERT_TRUE(test::writeTestClip(clips + "short.avi", 5));
  ASSERT_TRUE(m_model.addFolderPath(TileListView::Video, clips));
  m_dialogs->chooseNext(m_dir.file("clips.tg4"));
  ASSERT_TRUE(m_model.saveList(true));
  ASSERT_TRUE(m_model.runAnalysisToEnd());
  const auto texts = m_dialogs->texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0],
            "Your List has 1 video clips with over 2700 frames each. For VideoMosaics you should "
            "have many short video clips with relative static frames.");
  EXPECT_EQ(m_model.list().landscapeClipCount, 2u);
  EXPECT_EQ(m_model.list().findTile(clips + "long.avi")->frameCount, 3000);
}

TEST_F(TileImagesModelTest, QuestionsBeforeWorkIsLost) {
  ASSERT_TRUE(saveAs("saved"));
  m_dialogs->clear();
  EXPECT_TRUE(m_model.confirmDiscard());  // saved and analysed: nothing to ask
  EXPECT_TRUE(m_dialogs->texts().empty());

  // A folder added without analysis: the list is unsaved.
  ASSERT_TRUE(m_model.addFolderPath(TileListView::Exclude, m_photos + "sub"));
  m_dialogs->answerNext(Answer::No);
  EXPECT_FALSE(m_model.newList());
  EXPECT_EQ(m_dialogs->texts(), std::vector<std::string>{kUnsaved});
  EXPECT_EQ(m_model.list().excludeList.size(), 1u);

  // Saved, but the analysis was never run on the changed folders.
  m_model.list().modified = false;
  m_dialogs->clear();
  m_dialogs->answerNext(Answer::No);
  EXPECT_FALSE(m_model.confirmDiscard());
  EXPECT_EQ(m_dialogs->texts(), std::vector<std::string>{kNotAnalysed});

  // A running analysis and a running extraction are offered to be stopped first.
  bool extracting = true;
  m_model.setVideoExtraction({[&] { return extracting; }, [&] { extracting = false; }});
  ASSERT_TRUE(m_model.saveList(false));
  m_dialogs->clear();
  m_dialogs->answerNext(Answer::Yes);
  m_dialogs->answerNext(Answer::No);
  EXPECT_FALSE(m_model.confirmDiscard());
  EXPECT_EQ(
      m_dialogs->texts(),
      (std::vector<std::string>{
          "There is a Video Extraction Process running. Do you want to stop it?", kStopAnalysis}));
  EXPECT_FALSE(extracting);
  EXPECT_TRUE(m_model.analysing());

  m_dialogs->clear();
  m_dialogs->answerNext(Answer::Yes);
  m_dialogs->answerNext(Answer::Yes);
  EXPECT_TRUE(m_model.newList());
  EXPECT_EQ(m_dialogs->texts(), (std::vector<std::string>{kStopAnalysis, kUnsaved}));
  EXPECT_FALSE(m_model.analysing());
  EXPECT_TRUE(m_model.list().tiles.empty());
  EXPECT_TRUE(m_model.list().includeList.empty());
}

TEST_F(TileImagesModelTest, StoppedAnalysisLeavesTheListModifiedAndOutstanding) {
  ASSERT_TRUE(m_model.addFolderPath(TileListView::Include, m_photos));
  ASSERT_TRUE(m_model.saveList(false));
  m_model.stopAnalysis();
  EXPECT_FALSE(m_model.analysing());
  EXPECT_TRUE(m_model.list().modified);
  EXPECT_TRUE(m_model.analysisOutstanding());
  EXPECT_FALSE(m_model.onTimer());
  EXPECT_EQ(m_model.pool().wantedThreadCount(), 0u);
}

TEST_F(TileImagesModelTest, OldListsAskToBeUpgraded) {
  // A version-117 list naming the photo folder, with one stale record.
  test::ListBytes b;
  b.u32(117).u32(12).u32(12).u8(0).text("").texts({m_photos}).texts({}).texts({});
  b.u32(1).text(m_photos + "a.jpg").i64(1).u32(2).u16(0).u8(1);
  for (std::size_t i = 0; i < ImageSignature::kValueCount; ++i) b.u32(0);
  b.u8(0).u8(1);
  const std::string old = m_dir.file("old.tgc");
  test::writeFile(old, b.bytes());
  const char* const question =
      "Your Images List was created using an older version, it needs to be upgraded. When the "
      "process is complete you will be asked to save the upgraded List. Do you want to continue?";

  m_dialogs->answerNext(Answer::No);
  EXPECT_FALSE(m_model.openList(old));
  EXPECT_EQ(m_dialogs->texts(), std::vector<std::string>{question});
  EXPECT_TRUE(m_model.list().includeList.empty());
  EXPECT_TRUE(m_model.list().tiles.empty());

  m_dialogs->clear();
  m_dialogs->answerNext(Answer::Yes);
  m_dialogs->chooseNext(m_dir.file("old.tg4"));
  ASSERT_TRUE(m_model.openList(old));
  EXPECT_TRUE(m_model.analysing());
  ASSERT_TRUE(m_model.runAnalysisToEnd());
  EXPECT_EQ(m_model.analyser().decodedCount(), 3u);
  TileImagesList upgraded;
  ASSERT_TRUE(loadTileImagesList(m_dir.file("old.tg4"), upgraded));
  EXPECT_EQ(upgraded.version, 119);
  EXPECT_EQ(upgraded.tiles.size(), 3u);
  EXPECT_EQ(test::readFile(old), b.bytes());  // the old file is left as it was
}

// The command line opens an old list and saves at once: the upgrade starts again with the
// current folders without asking to stop "an Analyze Process", and goes to the new ".tg4".
TEST_F(TileImagesModelTest, SavingDuringTheUpgradeWritesTheNewFileAndKeepsTheOld) {
  test::ListBytes b;
  b.u32(117).u32(12).u32(12).u8(0).text("").texts({m_photos}).texts({}).texts({});
  b.u32(0);
  const std::string old = m_dir.file("old.tgc");
  test::writeFile(old, b.bytes());
  m_dialogs->answerNext(Answer::Yes);
  ASSERT_TRUE(m_model.openList(old));
  EXPECT_EQ(m_model.upgradeSavePath(), m_dir.file("old.tg4"));
  m_dialogs->clear();
  m_dialogs->chooseNext(m_model.upgradeSavePath());
  ASSERT_TRUE(m_model.saveList(false));
  ASSERT_TRUE(m_model.runAnalysisToEnd());
  EXPECT_EQ(m_dialogs->messages().size(), 1u) << "only the closing message";
  EXPECT_EQ(m_dialogs->dialogTitles(), std::vector<std::string>{"Create a new Image List File"});
  EXPECT_EQ(test::readFile(old), b.bytes());
  TileImagesList upgraded;
  ASSERT_TRUE(loadTileImagesList(m_dir.file("old.tg4"), upgraded));
  EXPECT_EQ(upgraded.tiles.size(), 3u);
}

TEST_F(TileImagesModelTest, AnErrorReportThatCannotBeWrittenIsNotNamed) {
  test::writeFile(m_photos + "broken.jpg", "not a picture");
  fs::create_directories(m_dir.file("mine.tg4.imageErrors.txt"));  // a folder is in the way
  ASSERT_TRUE(saveAs("mine"));
  EXPECT_EQ(m_dialogs->texts(),
            std::vector<std::string>{
                "You are ready to create a mosaic using this List of 3 images/videos. You can go "
                "back to the Main Window. Unable to load and use 1 Images."});
}

TEST_F(TileImagesModelTest, DamagedListsAreReportedThroughTheHostInterface) {
  const std::string bad = m_dir.file("bad.tg4");
  test::writeFile(bad, std::string("\x77\0\0\0\x0c\0\0\0\x0c\0\0\0\x01\x05", 14));
  TileListHost& host = m_model;
  host.loadTileList(bad);
  EXPECT_EQ(m_dialogs->texts(), std::vector<std::string>{"Error while reading the Images List!"});
  EXPECT_EQ(host.loadedListPath(), "");
  EXPECT_EQ(host.tileCount(), 0u);

  ASSERT_TRUE(saveAs("good"));
  TileImagesModel other;
  TileListHost& second = other;
  second.loadTileList(m_dir.file("good.tg4"));
  EXPECT_EQ(second.loadedListPath(), m_dir.file("good.tg4"));
  EXPECT_EQ(second.tileCount(), 3u);
  EXPECT_FALSE(second.hasUnsavedChanges());
}

TEST_F(TileImagesModelTest, BlackAndWhiteSwitchAsksAndConvertsOrClears) {
  ASSERT_TRUE(saveAs("bw"));
  const ImageSignature colour = m_model.list().tiles.begin()->second.signature;
  m_dialogs->clear();

  m_dialogs->answerNext(Answer::No);
  EXPECT_FALSE(m_model.setBlackAndWhite(true));
  EXPECT_FALSE(m_model.list().blackAndWhite);
  EXPECT_FALSE(m_model.list().modified);

  EXPECT_TRUE(m_model.setBlackAndWhite(true));
  EXPECT_TRUE(m_model.list().blackAndWhite);
  EXPECT_TRUE(m_model.list().modified);
  ImageSignature grey = colour;
  signatureToGrey(grey);
  EXPECT_EQ(m_model.list().tiles.begin()->second.signature, grey);
  EXPECT_EQ(m_dialogs->texts().back(),
            "Are you sure you want to use the Black & White process to compare Images?");

  EXPECT_TRUE(m_model.setBlackAndWhite(false));
  EXPECT_EQ(m_dialogs->texts().back(),
            "Are you sure you want to use the Color process to compare Images? Note that you must "
            "Analyze the images again.");
  EXPECT_FALSE(m_model.list().blackAndWhite);
  EXPECT_TRUE(m_model.list().tiles.empty());
  EXPECT_TRUE(m_model.analysisOutstanding());
}

TEST_F(TileImagesModelTest, RemoveSelectedInTheAllImagesView) {
  TileImagesList& list = m_model.list();
  addPicture(list, "/i/one.jpg", kIncludeList);
  addPicture(list, "/r/two.jpg", kRequiredList);
  addPicture(list, "/v/three.avi", kVideoList);
  addFolder(list, "/folder", kIncludeList);
  EXPECT_EQ(m_model.viewEntries(TileListView::Include),
            (std::vector<std::string>{"/folder/", "/i/one.jpg"}));
  m_model.removeSelected(TileListView::AllImages,
                         {"/i/one.jpg", "/r/two.jpg", "/v/three.avi", "/folder/four.jpg"});
  EXPECT_EQ(list.includeList, FolderList{"/folder/"});
  EXPECT_TRUE(list.requiredList.empty());
  EXPECT_TRUE(list.videoList.empty());
  EXPECT_EQ(list.excludeList, FolderList{"/folder/four.jpg"});
  EXPECT_EQ(m_dialogs->texts(),
            std::vector<std::string>{"Please save the List to update the shown Images"});

  m_dialogs->clear();
  m_model.removeSelected(TileListView::Exclude, {"/folder/four.jpg"});
  EXPECT_TRUE(list.excludeList.empty());
  EXPECT_TRUE(m_dialogs->texts().empty());
}

TEST_F(TileImagesModelTest, AddFolderAsksWithTheRightPromptAndRefusesVideoWithoutIt) {
  m_dialogs->chooseNext(m_photos + "x");
  EXPECT_TRUE(m_model.addFolderInteractive(TileListView::AllImages));
  EXPECT_EQ(m_model.list().includeList, FolderList{m_photos + "x/"});
  m_dialogs->chooseNext(m_photos + "v");
  EXPECT_TRUE(m_model.addFolderInteractive(TileListView::Video));
  m_dialogs->chooseNext(m_photos + "c.png");
  EXPECT_TRUE(m_model.addImageInteractive(TileListView::Required));
  EXPECT_EQ(m_model.list().requiredList, FolderList{m_photos + "c.png"});
  EXPECT_EQ(m_dialogs->dialogTitles(),
            (std::vector<std::string>{
                "Please select a Folder containing JPG/PNG images:",
                "Please select a Folder containing Videos:", "Select one or more JPG/PNG images"}));

  ScopedUnderWine noVideo(true);
  EXPECT_FALSE(m_model.addFolderInteractive(TileListView::Video));
  EXPECT_EQ(m_dialogs->texts(),
            std::vector<std::string>{"Video is not supported on Mac OS X or Linux"});
  EXPECT_EQ(m_model.list().videoList.size(), 1u);
}

TEST_F(TileImagesModelTest, SeveralImagesAtOnceAndNoChangesWhileAJobReadsTheList) {
  EXPECT_TRUE(
      m_model.addImagePaths(TileListView::AllImages, {m_photos + "a.jpg", "", m_photos + "c.png"}));
  EXPECT_EQ(m_model.list().includeList, (FolderList{m_photos + "a.jpg", m_photos + "c.png"}));
  EXPECT_TRUE(m_model.analysisOutstanding());

  const FolderList before = m_model.list().includeList;
  m_model.setJobRunning(true);
  EXPECT_FALSE(m_model.editable());
  EXPECT_FALSE(m_model.addFolderPath(TileListView::Include, m_photos));
  EXPECT_FALSE(m_model.addImagePaths(TileListView::Include, {m_photos + "b.jpg"}));
  m_model.removeSelected(TileListView::Include, {m_photos + "a.jpg"});
  EXPECT_FALSE(m_model.saveList(false));
  EXPECT_FALSE(m_model.setBlackAndWhite(true));
  EXPECT_FALSE(m_model.newList());
  EXPECT_EQ(m_model.list().includeList, before);
  EXPECT_FALSE(m_model.list().blackAndWhite);
  EXPECT_TRUE(m_dialogs->texts().empty());
  m_model.setJobRunning(false);
  EXPECT_TRUE(m_model.editable());
}

TEST_F(TileImagesModelTest, ErrorReportIsOfferedOnlyWhenItExists) {
  EXPECT_EQ(m_model.existingErrorReport(), "");
  ASSERT_TRUE(saveAs("clean"));
  EXPECT_EQ(m_model.existingErrorReport(), "");
  test::writeFile(m_photos + "broken.jpg", "not a picture");
  ASSERT_TRUE(m_model.saveList(false));
  ASSERT_TRUE(m_model.runAnalysisToEnd());
  EXPECT_EQ(m_model.existingErrorReport(), m_dir.file("clean.tg4") + ".imageErrors.txt");
}

}  // namespace
}  // namespace tg
