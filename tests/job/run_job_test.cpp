// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/run_job.h"

#include <filesystem>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "job/mosaic_job.h"
#include "job/mosaic_stages.h"
#include "platform/paths.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScratchDir;
using test::writeFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

/// Stands in for the real stages: records every call with its main image and mask file, moves
/// the progress the way the real stages do, and lets a test fail or stop any step.
class RecordingStages final : public MosaicStages {
 public:
  std::vector<std::string> calls;
  std::map<std::string, std::function<bool(MosaicJob&)>> hooks;  ///< by call name
  std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> imageSizes;
  std::vector<bool> maskModes{false};  ///< answers of isMaskFileMode, the last repeats
  bool blackAndWhite = false;
  bool split = false;
  bool neighbourLists = true;  ///< whether placement runs the neighbour-list stage
  std::size_t cells = 12;
  bool mainImageHeld = false;

  void numberTileGroups(MosaicJob& job) override { record(job, "numberTileGroups"); }
  bool tileListIsBlackAndWhite(MosaicJob&) override { return blackAndWhite; }
  std::string tileListPath(MosaicJob&) override { return "/lists/holiday.tg4"; }

  bool loadMainImage(MosaicJob& job, const std::string& path) override {
    if (!record(job, "load " + fs::path(path).filename().string(), "load")) return false;
    mainImageHeld = job.mainImage.createCleared(40, 30);
    return mainImageHeld;
  }
  void convertMainImageToGrey(MosaicJob& job) override { record(job, "grey"); }
  void releaseMainImage(MosaicJob& job) override {
    if (!job.mainImage.empty()) record(job, "releaseMainImage");
    job.mainImage.release();
    mainImageHeld = false;
  }
  bool readImageSize(const std::string& path, std::uint32_t& width,
                     std::uint32_t& height) override {
    const auto it = imageSizes.find(fs::path(path).filename().string());
    if (it == imageSizes.end()) return false;
    width = it->second.first;
    height = it->second.second;
    return true;
  }

  bool isMaskFileMode(MosaicJob&) override {
    const bool mode = maskModes.front();
    if (maskModes.size() > 1) maskModes.erase(maskModes.begin());
    return mode;
  }
  bool computeGeometry(MosaicJob& job) override { return record(job, "computeGeometry"); }
  bool buildCellsFromMask(MosaicJob& job, const std::string& maskFile) override {
    job.beginStage(ProgressStage::BuildingTiles, 5);
    job.endStage();
    return record(job, "buildCellsFromMask " + fs::path(maskFile).filename().string(),
                  "buildCellsFromMask");
  }
  bool buildCellGrid(MosaicJob& job) override {
    job.beginStage(ProgressStage::BuildingTiles, static_cast<double>(cells));
    job.addProgress(static_cast<std::uint32_t>(cells));
    job.endStage();
    return record(job, "buildCellGrid");
  }
  std::size_t gridSize(MosaicJob&) override { return split ? cells + 3 : cells; }
  void copyGridSizeToGeometry(MosaicJob& job) override { record(job, "copyGridSize"); }
  void freeCells(MosaicJob& job, bool releaseStorage) override {
    record(job, releaseStorage ? "freeCells+storage" : "freeCells");
  }

  bool analyzeMainImage(MosaicJob& job, bool fitInside, bool onlyMissing) override {
    job.beginStage(ProgressStage::Analysis, 10);
    job.endStage();
    return record(
        job, std::string("analyze") + (fitInside ? " fit" : "") + (onlyMissing ? " missing" : ""),
        "analyze");
  }
  bool initializeCells(MosaicJob& job, bool withPriorities) override {
    return record(job, withPriorities ? "initializeCells priorities" : "initializeCells",
                  "initializeCells");
  }
  bool placeTiles(MosaicJob& job) override {
    if (neighbourLists) {
      job.beginStage(ProgressStage::NeighbourLists, 0);
      job.endStage();
    }
    job.beginStage(ProgressStage::Placement, 100);
    job.addProgress(60);
    placementStatus.push_back(job.statusLine());
    job.endStage();
    return record(job, "placeTiles");
  }
  bool splitTiles(MosaicJob& job) override {
    record(job, "splitTiles");
    return split;
  }
  void insertRequiredImages(MosaicJob& job) override {
    job.beginStage(ProgressStage::RequiredImages, 0);
    job.endStage();
    record(job, "insertRequiredImages");
  }

  bool writeMaskImage(MosaicJob& job, bool scoreImage,
                      const std::vector<MaskImageTarget>& targets) override {
    std::string call = scoreImage ? "score" : "mask";
    for (const MaskImageTarget& target : targets) {
      call += " " + fs::path(target.path).filename().string() + "@" +
              std::to_string(target.format == MaskImageTarget::Format::Jpeg ? target.quality : 0);
    }
    return record(job, call, "writeMaskImage");
  }
  bool saveMosaic(MosaicJob& job) override {
    if (mainImageHeld) ADD_FAILURE() << "the main image must be released before rendering";
    job.beginStage(ProgressStage::Rendering, 0);
    job.endStage();
    const bool saved = record(
        job, "saveMosaic " + fs::path(job.outputNames.base).filename().string(), "saveMosaic");
    if (saved)
      job.savedPieces.push_back(
          SavedPiece{0, 0, 40, 30, {}, {}, {}, job.outputNames.base + ".jpg"});
    return saved;
  }
  bool writeTextReport(MosaicJob& job, const std::string& path) override {
    return record(job, "report " + fs::path(path).filename().string(), "writeTextReport");
  }
  bool writeWebPage(MosaicJob& job, const std::string& folder, long size, bool copyTiles) override {
    return record(job,
                  "webPage " + fs::path(folder).filename().string() + " " + std::to_string(size) +
                      (copyTiles ? " copy" : " link"),
                  "writeWebPage");
  }

  std::vector<StatusLine> placementStatus;
  /// The status text shown when each kind of call (its first word) last happened.
  std::map<std::string, std::string> statuses;

 private:
  /// Logs `call` and runs the hook registered for `hookName` (default: the call itself).
  bool record(MosaicJob& job, const std::string& call, const std::string& hookName = {}) {
    calls.push_back(call);
    statuses[call.substr(0, call.find(' '))] = job.statusText();
    const auto it = hooks.find(hookName.empty() ? call : hookName);
    return it == hooks.end() || it->second(job);
  }
};

class RunJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job.settings.mosaicSubdirectory.set(1);
    job.settings.mosaicFileName.set(1);
    job.settings.multiSize2.set(0);
    job.settings.multiSize4.set(0);
  }
  void addImages(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      writeFile(dir.path() / name, "picture");
      job.mainImages.push_back(dir.file(name));
    }
  }
  /// The calls between two markers, without the bookkeeping calls.
  std::vector<std::string> callsMatching(const std::string& prefix) const {
    std::vector<std::string> result;
    for (const std::string& call : stages.calls) {
      if (call.rfind(prefix, 0) == 0) result.push_back(call);
    }
    return result;
  }

  ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  MosaicJob job;
  RecordingStages stages;
};

TEST_F(RunJobTest, ThreeImagesRunEveryStageInOrderAndCountUp) {
  addImages({"a.jpg", "b.jpg", "c.jpg"});
  runJob(job, stages);

  EXPECT_EQ(job.statusText(), "Completed 3 Mosaics!");
  EXPECT_EQ(job.completedCount(), 3);
  EXPECT_TRUE(job.takeCompletedFlag());
  EXPECT_TRUE(job.mainImages.empty());
  EXPECT_FALSE(stages.mainImageHeld);

  const std::vector<std::string> oneMosaic = {
      "computeGeometry",     "buildCellGrid", "analyze",      "initializeCells priorities",
      "placeTiles",          "splitTiles",    "copyGridSize", "releaseMainImage",
      "insertRequiredImages"};
  ASSERT_GE(stages.calls.size(), 1u);
  EXPECT_EQ(stages.calls.front(), "numberTileGroups");
  auto it = stages.calls.begin() + 1;
  for (const char* image : {"a", "b", "c"}) {
    ASSERT_EQ(*it++, std::string("load ") + image + ".jpg");
    for (const std::string& call : oneMosaic) ASSERT_EQ(*it++, call) << image;
    ASSERT_EQ(*it++, std::string("saveMosaic ") + image + " Mosaic");
    ASSERT_EQ(*it++, "freeCells");
  }
  EXPECT_EQ(*it++, "freeCells+storage");
  EXPECT_EQ(it, stages.calls.end());

  // The counter follows the mosaics and the percentage only grows, up to 100.
  ASSERT_EQ(stages.placementStatus.size(), 3u);
  double previous = -1;
  for (int k = 0; k < 3; ++k) {
    const StatusLine& line = stages.placementStatus[static_cast<size_t>(k)];
    EXPECT_THAT(line.text, HasSubstr("Mosaic# " + std::to_string(k + 1) + "/3 "));
    EXPECT_THAT(line.text, HasSubstr("Creating Mosaic... 60.00%."));
    EXPECT_GT(line.percent, previous);
    EXPECT_GT(line.percent, 100.0 * k / 3);
    EXPECT_LT(line.percent, 100.0 * (k + 1) / 3);
    previous = line.percent;
  }
  EXPECT_NEAR(job.statusLine().percent, 100.0, 1e-9);

  for (const char* image : {"a.jpg", "b.jpg", "c.jpg"}) {
    const auto record = job.outputRecord(dir.file(image));
    ASSERT_TRUE(record) << image;
    EXPECT_TRUE(record->saved);
    EXPECT_EQ(record->directory, dir.path().string());
  }
  EXPECT_EQ(job.outputRecord(dir.file("a.jpg"))->base, dir.file("a Mosaic"));
}

TEST_F(RunJobTest, MaskFolderModeBuildsEveryPairInOrder) {
  addImages({"a.jpg", "b.jpg"});
  const fs::path masks = dir.path() / "masks";
  for (const char* name : {"m2.png", "m1.png", "huge.png", "notes.txt", "noextension", "m3.gif"}) {
    writeFile(masks / name, "mask");
  }
  fs::create_directory(masks / "folder.png");
  writeFile(masks / "unreadable.jpg", "not a picture");
  stages.imageSizes = {{"m1.png", {100, 80}},    {"m2.png", {30000, 1}}, {"huge.png", {30001, 10}},
                       {"notes.txt", {10, 10}},  {"m3.gif", {10, 10}},   {"folder.png", {10, 10}},
                       {"noextension", {10, 10}}};
  stages.maskModes = {true};
  dialogs->answerNext(Answer::Yes);
  dialogs->chooseNext(masks.string());

  runJob(job, stages);

  ASSERT_FALSE(dialogs->messages().empty());
  const auto question = dialogs->messages().front();
  EXPECT_EQ(question.text, "Do you want to specify a Folder containing Maskfiles?");
  EXPECT_EQ(question.buttons, Buttons::YesNo);
  EXPECT_EQ(question.icon, Icon::Question);
  EXPECT_THAT(dialogs->dialogTitles(),
              ElementsAre("Please select a Folder where the MaskFiles are contained (all JPG or "
                          "PNG files):"));

  EXPECT_THAT(callsMatching("buildCellsFromMask"),
              ElementsAre("buildCellsFromMask m1.png", "buildCellsFromMask m2.png",
                          "buildCellsFromMask m1.png", "buildCellsFromMask m2.png"));
  EXPECT_THAT(callsMatching("load"),
              ElementsAre("load a.jpg", "load a.jpg", "load b.jpg", "load b.jpg"));
  EXPECT_THAT(callsMatching("saveMosaic"),
              ElementsAre("saveMosaic a M01 Mosaic", "saveMosaic a M02 Mosaic",
                          "saveMosaic b M01 Mosaic", "saveMosaic b M02 Mosaic"));
  EXPECT_EQ(job.statusText(), "Completed 4 Mosaics!");
  EXPECT_EQ(job.totalCount(), 4);
  EXPECT_FALSE(job.settings.individualTiles.value);
  EXPECT_EQ(stages.statuses["buildCellsFromMask"], "Loading Mask Image...");
}

TEST_F(RunJobTest, AnExplicitOutputWithAMaskFolderNumbersEachMosaic) {
  addImages({"a.jpg"});
  const fs::path masks = dir.path() / "masks";
  writeFile(masks / "m1.png", "mask");
  writeFile(masks / "m2.png", "mask");
  stages.imageSizes = {{"m1.png", {100, 80}}, {"m2.png", {100, 80}}};
  stages.maskModes = {true};
  job.explicitOutputs[dir.file("a.jpg")] = dir.file("out.jpg");
  dialogs->answerNext(Answer::Yes);
  dialogs->chooseNext(masks.string());

  runJob(job, stages);

  // One output path names one file: every mask's mosaic gets its own name beside it instead of
  // the second overwriting the first.
  EXPECT_THAT(callsMatching("saveMosaic"), ElementsAre("saveMosaic out M01", "saveMosaic out M02"));
  EXPECT_EQ(job.statusText(), "Completed 2 Mosaics!");

  // A folder with a single mask file makes one mosaic, which goes where it was asked to.
  MosaicJob single;
  single.mainImages.push_back(dir.file("a.jpg"));
  single.explicitOutputs[dir.file("a.jpg")] = dir.file("only.jpg");
  fs::remove(masks / "m2.png");
  RecordingStages other;
  other.imageSizes = stages.imageSizes;
  other.maskModes = {true};
  dialogs->answerNext(Answer::Yes);
  dialogs->chooseNext(masks.string());
  runJob(single, other);
  std::vector<std::string> saves;
  for (const std::string& call : other.calls) {
    if (call.rfind("saveMosaic", 0) == 0) saves.push_back(call);
  }
  EXPECT_THAT(saves, ElementsAre("saveMosaic only"));
}

TEST_F(RunJobTest, AMaskFolderWithoutPicturesStopsTheJob) {
  addImages({"a.jpg"});
  writeFile(dir.path() / "masks" / "readme.txt", "nothing here");
  stages.maskModes = {true};
  dialogs->answerNext(Answer::Yes);
  dialogs->chooseNext((dir.path() / "masks").string());
  runJob(job, stages);
  EXPECT_THAT(dialogs->texts(),
              ElementsAre("Do you want to specify a Folder containing Maskfiles?",
                          "The specified folder does not contain any JPG/PNG file!"));
  EXPECT_EQ(job.statusText(), "Stopped!");
  EXPECT_TRUE(callsMatching("load").empty());
  EXPECT_FALSE(job.takeCompletedFlag());
}

TEST_F(RunJobTest, OneMaskFileShapesEveryMosaicAndCancelStops) {
  addImages({"a.jpg", "b.jpg"});
  stages.maskModes = {true};
  dialogs->answerNext(Answer::No);  // also the default: a single file
  dialogs->chooseNext(dir.file("shape.png"));
  runJob(job, stages);
  EXPECT_THAT(dialogs->dialogTitles(), ElementsAre("Select a JPG/PNG image"));
  const auto requests = dialogs->fileRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].profile, "MaskFile");
  EXPECT_EQ(requests[0].defaultExtension, "jpg");
  EXPECT_EQ(requests[0].initialFolder, programDataFolder() + "MaskFile Examples");
  EXPECT_EQ(requests[0].message.rfind("Please select a MaskFile (JPG/PNG file)", 0), 0u);
  EXPECT_THAT(callsMatching("buildCellsFromMask"),
              ElementsAre("buildCellsFromMask shape.png", "buildCellsFromMask shape.png"));
  EXPECT_THAT(callsMatching("saveMosaic"),
              ElementsAre("saveMosaic a M01 Mosaic", "saveMosaic b M01 Mosaic"));

  MosaicJob second;
  second.mainImages.push_back(dir.file("a.jpg"));
  RecordingStages other;
  other.maskModes = {true};
  dialogs->chooseNext(std::nullopt);
  runJob(second, other);
  EXPECT_EQ(second.statusText(), "Stopped!");
  EXPECT_TRUE(other.calls.size() >= 1 && other.calls.back() == "freeCells+storage");
}

TEST_F(RunJobTest, MaskFileBesideTheImageIsFoundBeforeAsking) {
  addImages({"a.jpg", "b.jpg", "c.jpg"});
  writeFile(dir.path() / "aMask.jpg", "mask");
  writeFile(dir.path() / "a Mask.png", "mask");
  // The window's geometry was not in MaskFile mode; the images' own geometry is.
  stages.maskModes = {false, true};
  dialogs->chooseNext(dir.file("chosen.png"));
  runJob(job, stages);
  EXPECT_THAT(callsMatching("buildCellsFromMask"),
              ElementsAre("buildCellsFromMask aMask.jpg", "buildCellsFromMask chosen.png",
                          "buildCellsFromMask chosen.png"));  // remembered after one question
  EXPECT_THAT(dialogs->dialogTitles(), ElementsAre("Select a JPG/PNG image"));
  EXPECT_EQ(job.rememberedMaskFile, dir.file("chosen.png"));
  EXPECT_THAT(callsMatching("saveMosaic"),
              ElementsAre("saveMosaic a Mosaic", "saveMosaic b Mosaic", "saveMosaic c Mosaic"));
}

TEST(MaskFileBeside, TriesTheFourNamesInOrder) {
  ScratchDir dir;
  const std::string image = dir.file("beach.jpg");
  EXPECT_EQ(maskFileBeside(image), "");
  writeFile(dir.path() / "beachMask.png", "x");
  EXPECT_EQ(maskFileBeside(image), dir.file("beachMask.png"));
  writeFile(dir.path() / "beach Mask.png", "x");
  EXPECT_EQ(maskFileBeside(image), dir.file("beach Mask.png"));
  writeFile(dir.path() / "beachMask.jpg", "x");
  EXPECT_EQ(maskFileBeside(image), dir.file("beachMask.jpg"));
  writeFile(dir.path() / "beach Mask.jpg", "x");
  EXPECT_EQ(maskFileBeside(image), dir.file("beach Mask.jpg"));
  // No extension of the file name itself: nothing is looked for.
  fs::create_directory(dir.path() / "sub.d");
  writeFile(dir.path() / "sub Mask.jpg", "x");
  EXPECT_EQ(maskFileBeside(dir.file("sub.d") + "/picture"), "");
}

TEST_F(RunJobTest, AStopDuringPlacementKeepsEarlierResults) {
  addImages({"a.jpg", "b.jpg", "c.jpg"});
  int placements = 0;
  stages.hooks["placeTiles"] = [&placements](MosaicJob& j) {
    if (++placements < 2) return true;
    j.setStopRequest(true);
    return false;
  };
  runJob(job, stages);
  EXPECT_EQ(job.statusText(), "Stopped!");
  EXPECT_EQ(job.completedCount(), 1);
  EXPECT_TRUE(job.takeCompletedFlag());
  EXPECT_TRUE(job.outputRecord(dir.file("a.jpg"))->saved);
  ASSERT_TRUE(job.outputRecord(dir.file("b.jpg")));
  EXPECT_FALSE(job.outputRecord(dir.file("b.jpg"))->saved);
  EXPECT_FALSE(job.outputRecord(dir.file("c.jpg")));
  EXPECT_EQ(job.mainImages.size(), 1u);
  EXPECT_EQ(stages.calls.back(), "releaseMainImage");
  EXPECT_EQ(stages.calls[stages.calls.size() - 2], "freeCells+storage");
  EXPECT_FALSE(stages.mainImageHeld);
  // The timer stopped with the job.
  const auto elapsed = job.elapsedMilliseconds();
  EXPECT_EQ(job.elapsedMilliseconds(), elapsed);
}

TEST_F(RunJobTest, AnImageThatFailsToLoadIsSkipped) {
  addImages({"a.jpg", "b.jpg", "c.jpg"});
  stages.hooks["load"] = [](MosaicJob& j) { return j.mainImages.size() != 1; };  // b fails
  runJob(job, stages);
  EXPECT_EQ(job.statusText(), "Completed 2 Mosaics!");
  EXPECT_THAT(callsMatching("saveMosaic"),
              ElementsAre("saveMosaic a Mosaic", "saveMosaic c Mosaic"));
}

TEST_F(RunJobTest, FailuresEndTheJobNormallyOrByStopping) {
  struct Row {
    const char* failing;
    const char* status;
  };
  // A failed analysis ends normally (with the mosaics done so far); the later stages stop.
  const Row rows[] = {{"buildCellGrid", "Completed 1 Mosaic!"},
                      {"analyze", "Completed 1 Mosaic!"},
                      {"computeGeometry", "Stopped!"},
                      {"initializeCells", "Stopped!"},
                      {"placeTiles", "Stopped!"}};
  for (const Row& row : rows) {
    MosaicJob failing;
    failing.settings.mosaicSubdirectory.set(1);
    RecordingStages recording;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
      failing.mainImages.push_back(dir.file(name));
    int calls = 0;
    recording.hooks[row.failing] = [&calls](MosaicJob&) { return ++calls < 2; };
    runJob(failing, recording);
    EXPECT_EQ(failing.statusText(), row.status) << row.failing;
    EXPECT_EQ(failing.completedCount(), 1) << row.failing;
    ASSERT_GE(recording.calls.size(), 2u);
    EXPECT_THAT(recording.calls, ::testing::Contains("freeCells+storage")) << row.failing;
    EXPECT_EQ(recording.calls.back(), "releaseMainImage") << row.failing;
    EXPECT_TRUE(failing.takeCompletedFlag()) << row.failing;
    EXPECT_FALSE(recording.mainImageHeld) << row.failing;
  }

  MosaicJob nothing;
  RecordingStages recording;
  nothing.mainImages.push_back(dir.file("a.jpg"));
  recording.hooks["buildCellGrid"] = [](MosaicJob&) { return false; };
  runJob(nothing, recording);
  EXPECT_EQ(nothing.statusText(), "Ok");
  EXPECT_FALSE(nothing.takeCompletedFlag());
}

TEST_F(RunJobTest, AFailedSaveIsRecordedNotCountedAndTheJobGoesOn) {
  addImages({"a.jpg", "b.jpg"});
  stages.hooks["saveMosaic"] = [](MosaicJob& j) { return j.mainImages.empty(); };  // a fails
  job.settings.webPageSize.set(1000);
  job.settings.textReport.set(true);
  job.settings.advanced.setRowValue(AdvancedRow::WebPageDontCopyTiles, "1");
  runJob(job, stages);
  EXPECT_EQ(job.statusText(), "Completed 1 Mosaic!");
  EXPECT_FALSE(job.outputRecord(dir.file("a.jpg"))->saved);
  EXPECT_TRUE(job.outputRecord(dir.file("b.jpg"))->saved);
  // Only the saved mosaic gets a report and a web page.
  EXPECT_THAT(callsMatching("webPage"), ElementsAre("webPage b Mosaic Web Page 1000 copy"));
  EXPECT_THAT(callsMatching("report"), ElementsAre("report b Mosaic Text Report.csv"));

  // A job whose only save failed completes nothing: no "Completed" and no folder to offer.
  MosaicJob single;
  RecordingStages failing;
  single.mainImages.push_back(dir.file("a.jpg"));
  failing.hooks["saveMosaic"] = [](MosaicJob&) { return false; };
  runJob(single, failing);
  EXPECT_EQ(single.statusText(), "Ok");
  EXPECT_FALSE(single.takeCompletedFlag());
}

TEST_F(RunJobTest, APlacementWithoutNeighbourListsStillEndsAt100Percent) {
  addImages({"a.jpg"});
  stages.neighbourLists = false;  // every placement but the sequences of Faster
  runJob(job, stages);
  EXPECT_EQ(job.statusText(), "Completed 1 Mosaic!");
  EXPECT_NEAR(job.statusLine().percent, 100.0, 1e-9);
}

TEST_F(RunJobTest, RunningOutOfMemoryInAStageEndsTheJobWithAMessage) {
  addImages({"a.jpg", "b.jpg"});
  stages.hooks["placeTiles"] = [](MosaicJob&) -> bool { throw std::bad_alloc(); };
  runJob(job, stages);
  EXPECT_EQ(job.statusText(), "Stopped!");
  ASSERT_FALSE(dialogs->texts().empty());
  EXPECT_THAT(dialogs->texts().back(), HasSubstr("Out Of Memory"));
  EXPECT_TRUE(callsMatching("saveMosaic").empty());
  EXPECT_THAT(callsMatching("freeCells+storage"), ElementsAre("freeCells+storage"));
}

TEST_F(RunJobTest, TextReportWritesTheSettingsFileBeforeAnalysisAndAfterSaving) {
  addImages({"beach.jpg"});
  job.settings.textReport.set(true);
  const fs::path settingsFile = dir.path() / "beach Mosaic Settings.txt";
  bool existedBeforeGrid = false;
  stages.hooks["buildCellGrid"] = [&](MosaicJob&) {
    existedBeforeGrid = fs::exists(settingsFile);
    return true;
  };
  stages.hooks["saveMosaic"] = [&](MosaicJob&) {
    fs::remove(settingsFile);  // so that the second write shows
    return true;
  };
  runJob(job, stages);
  EXPECT_TRUE(existedBeforeGrid);
  ASSERT_TRUE(fs::exists(settingsFile));
  const std::string text = readFile(settingsFile);
  EXPECT_THAT(text, HasSubstr("[Mosaic Settings]"));
  EXPECT_THAT(text, HasSubstr("/lists/holiday.tg4"));
  EXPECT_THAT(callsMatching("report"), ElementsAre("report beach Mosaic Text Report.csv"));
  EXPECT_EQ(stages.statuses["report"], "Saving Report");
}

TEST_F(RunJobTest, AStopWhileTheGridIsBuiltEndsStoppedNotCompleted) {
  addImages({"a.jpg", "b.jpg"});
  stages.hooks["buildCellGrid"] = [](MosaicJob& j) {
    j.setStopRequest(true);
    return false;
  };
  runJob(job, stages);
  EXPECT_EQ(job.statusText(), "Stopped!");
  EXPECT_TRUE(callsMatching("saveMosaic").empty());
}

TEST_F(RunJobTest, AStoppedJobStillLeavesItsSettingsFile) {
  addImages({"beach.jpg"});
  job.settings.textReport.set(true);
  stages.hooks["placeTiles"] = [](MosaicJob& j) {
    j.setStopRequest(true);
    return true;
  };
  runJob(job, stages);
  EXPECT_EQ(job.statusText(), "Stopped!");
  EXPECT_TRUE(fs::exists(dir.path() / "beach Mosaic Settings.txt"));
  EXPECT_TRUE(callsMatching("saveMosaic").empty());
}

TEST_F(RunJobTest, WithoutSplitsTheLastStageWeighsNothing) {
  addImages({"a.jpg"});
  runJob(job, stages);
  const ProgressTracker tracker = job.progress();
  EXPECT_DOUBLE_EQ(tracker.weight(ProgressStage::SecondPass), 0.0);
  EXPECT_NEAR(tracker.overall(), 100.0, 1e-9);
}

TEST_F(RunJobTest, ASplitPlacesTheNewCellsAgain) {
  addImages({"a.jpg"});
  job.settings.multiSize2.set(20);
  job.settings.tileAdapt.set(2);
  stages.split = true;
  runJob(job, stages);
  EXPECT_THAT(callsMatching("analyze"), ElementsAre("analyze", "analyze fit missing"));
  EXPECT_THAT(callsMatching("initializeCells"),
              ElementsAre("initializeCells priorities", "initializeCells"));
  EXPECT_EQ(callsMatching("placeTiles").size(), 2u);
  EXPECT_EQ(job.cellCount, 15u);
  const ProgressTracker tracker = job.progress();
  EXPECT_DOUBLE_EQ(tracker.weight(ProgressStage::SecondPass), 5804.0);
  EXPECT_NEAR(tracker.overall(), 100.0, 1e-9);

  // Without "Mosaic Size" the new cells are analysed in the covering scale.
  MosaicJob other;
  RecordingStages recording;
  other.mainImages.push_back(dir.file("a.jpg"));
  other.settings.multiSize4.set(10);
  other.settings.tileAdapt.set(1);
  recording.split = true;
  runJob(other, recording);
  EXPECT_EQ(
      recording.calls[std::find(recording.calls.begin(), recording.calls.end(), "splitTiles") -
                      recording.calls.begin() + 1],
      "analyze missing");
}

TEST_F(RunJobTest, OptionalOutputsGetTheirNames) {
  addImages({"beach.jpg"});
  job.settings.createMaskFile.set(true);
  job.settings.webPageSize.set(450);
  job.settings.advanced.setRowValue(AdvancedRow::WebPageDontCopyTiles, "0");
  stages.blackAndWhite = true;
  runJob(job, stages);
  EXPECT_THAT(callsMatching("grey"), ElementsAre("grey"));
  EXPECT_THAT(callsMatching("mask"),
              ElementsAre("mask beach Mosaic MaskFile.jpg@100 beach Mosaic MaskFile.bmp@0"));
  EXPECT_THAT(callsMatching("score"), ElementsAre("score beach Mosaic Score.jpg@80"));
  EXPECT_THAT(callsMatching("webPage"), ElementsAre("webPage beach Mosaic Web Page 450 link"));

  // The driver announces each step before the stage runs.
  const std::map<std::string, std::string> expected = {
      {"computeGeometry", "Loading Image..."},
      {"buildCellGrid", "Analysis of Image..."},
      {"initializeCells", "Calculating Mosaic Information..."},
      {"placeTiles", "Creating Mosaic..."},
      {"mask", "Create MaskFile..."},
      {"saveMosaic", "Create MaskFile..."},
      {"webPage", "Saving Web Page HTML"},
      {"freeCells", "Freeing Memory"}};
  for (const auto& [call, status] : expected) EXPECT_EQ(stages.statuses[call], status) << call;
  EXPECT_EQ(job.statusText(), "Completed 1 Mosaic!");
}

}  // namespace
}  // namespace tg
