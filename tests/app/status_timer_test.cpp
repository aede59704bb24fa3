// SPDX-License-Identifier: GPL-3.0-or-later
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/job_controller.h"
#include "app/production_stages.h"
#include "config/advanced_settings.h"
#include "job/mosaic_job.h"
#include "platform/scripted_dialogs.h"
#include "platform/shell.h"
#include "real_job.h"
#include "video/tile_picture.h"

namespace tg {
namespace {

constexpr const char* kFinalQuestion =
    "Mosaic completed! Do you want to open the destination folder?";

/// What the window was asked to show, call by call.
class RecordingHost final : public JobControllerHost {
 public:
  struct Status {
    std::string text;
    std::uint32_t colour;
    int progress;
  };
  void showStatus(const std::string& text, std::uint32_t colour, int progress) override {
    statuses.push_back({text, colour, progress});
  }
  void showPreview(const Foto& image, const std::string& caption) override {
    previews.push_back(caption + " " + std::to_string(image.width) + "x" +
                       std::to_string(image.height));
  }
  void showOutput(const std::string& text, bool saved) override {
    outputs.push_back(text + (saved ? " (saved)" : ""));
  }
  void setBusy(bool busy) override { busyStates.push_back(busy); }
  void startAutomaticUpdateCheck() override { updateCheckTicks.push_back(statuses.size()); }

  std::vector<Status> statuses;
  std::vector<std::size_t> updateCheckTicks;
  std::vector<std::string> previews;
  std::vector<std::string> outputs;
  std::vector<bool> busyStates;
};

/// A controller over a job whose published state the test sets itself; nothing runs.
class StatusTimer : public ::testing::Test {
 protected:
  void SetUp() override {
    m_job.setClock([this] { return m_now; });
    m_folder = m_dir.file("out");
    std::filesystem::create_directories(m_folder);
    m_image = m_dir.file("beach.jpg");
    resetTileLoadFailures();
  }
  void TearDown() override { resetTileLoadFailures(); }

  /// The job as it is after one saved mosaic of `m_image` into out/.
  void completeOneMosaic() {
    OutputNames names;
    names.directory = m_folder;
    names.base = m_folder + "/beach Mosaic";
    m_job.beginJob(1);
    m_job.beginMosaic();
    m_job.recordOutput(m_image, names);
    m_job.recordSaved(m_image, true);
    m_job.completeMosaic();
    m_job.endJob();
  }

  void setFinalAction(const std::string& action) {
    m_job.settings.advanced.setRowValue(AdvancedRow::FinalAction, action);
  }

  test::ScratchDir m_dir;
  std::uint64_t m_now = 1000;
  MosaicJob m_job;
  TileImagesList m_list;
  ProductionStages m_stages{m_list};
  RecordingHost m_host;
  JobController m_controller{m_job, m_list, m_stages, m_stages.gridStage(), m_host};
  std::string m_folder;
  std::string m_image;
};

TEST_F(StatusTimer, StatusLineColourAndProgressFollowTheJob) {
  ScopedScriptedDialogs dialogs;
  // Before any job the status text is shown as it stands.
  m_job.setStatus("Please specify all the parameters", kStatusColourError);
  m_controller.statusTick();
  ASSERT_EQ(m_host.statuses.size(), 1u);
  EXPECT_EQ(m_host.statuses[0].text, "Please specify all the parameters");
  EXPECT_EQ(m_host.statuses[0].colour, kStatusColourError);
  EXPECT_EQ(m_host.statuses[0].progress, 0);

  // The first of two mosaics is done and the second begins: half of the bar (0..10000).
  m_job.beginJob(2);
  m_job.beginMosaic();
  m_job.completeMosaic();
  m_job.beginMosaic();
  m_job.setStatus("Loading Image...");
  m_now += 61000;
  m_controller.statusTick();
  const RecordingHost::Status& status = m_host.statuses.back();
  EXPECT_EQ(status.progress, 5000);
  EXPECT_EQ(status.colour, kStatusColourNormal);
  EXPECT_EQ(status.text, "Completed 50.00%, Time 00:01:01, Loading Image.... Mosaic# 2/2 ");
  EXPECT_EQ(m_controller.tickCount(), 2u);
  // No job thread: the controls stay enabled.
  EXPECT_EQ(m_host.busyStates, (std::vector<bool>{false, false}));
  EXPECT_TRUE(dialogs->texts().empty());

  // The automatic update check starts once, on the 6th tick, before its status is shown.
  for (int tick = 0; tick < 10; ++tick) m_controller.statusTick();
  EXPECT_EQ(m_host.updateCheckTicks, std::vector<std::size_t>{5});
}

TEST_F(StatusTimer, PreviewsAreShownAndACaptionAloneIsAMessage) {
  ScopedScriptedDialogs dialogs;
  auto image = std::make_unique<Foto>();
  ASSERT_TRUE(image->create(32, 24));
  m_job.postPreview(std::move(image), "Preview");
  m_controller.statusTick();
  EXPECT_EQ(m_host.previews, std::vector<std::string>{"Preview 32x24"});
  EXPECT_TRUE(dialogs->texts().empty());

  m_job.postPreview(nullptr, "Unable to load the image");
  m_controller.statusTick();
  ASSERT_EQ(dialogs->messages().size(), 1u);
  EXPECT_EQ(dialogs->messages()[0].text, "Unable to load the image");
  EXPECT_EQ(dialogs->messages()[0].buttons, Buttons::Ok);
  // A preview is taken once, and an empty caption without image shows nothing.
  m_job.postPreview(nullptr, "");
  m_controller.statusTick();
  EXPECT_EQ(dialogs->messages().size(), 1u);
  EXPECT_EQ(m_host.previews.size(), 1u);
}

TEST_F(StatusTimer, ACompletedMosaicShowsWhereItWentOnce) {
  ScopedScriptedDialogs dialogs;
  setFinalAction("");
  m_controller.selectMainImage(m_image);
  // Not made yet: the predicted name, not drawn as saved.
  ASSERT_EQ(m_host.outputs.size(), 1u);
  EXPECT_EQ(m_host.outputs[0], "Mosaic in: " + m_dir.file("beach Mosaic.jpg"));
  m_controller.statusTick();
  EXPECT_EQ(m_host.outputs.size(), 1u);

  completeOneMosaic();
  m_controller.statusTick();
  ASSERT_EQ(m_host.outputs.size(), 2u);
  EXPECT_EQ(m_host.outputs[1], "Mosaic in: " + m_folder + "/beach Mosaic.jpg (saved)");
  // The flag was taken: the next tick does not show it again, and nothing was asked.
  m_controller.statusTick();
  EXPECT_EQ(m_host.outputs.size(), 2u);
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST_F(StatusTimer, FinalActionAsksOpensOrDoesNothing) {
  std::vector<std::vector<std::string>> opened;
  ScopedShellSpawner spawner([&opened](const std::vector<std::string>& argv) {
    opened.push_back(argv);
    return 0;
  });
  m_controller.selectMainImage(m_image);
  const std::vector<std::string> openFolder{"xdg-open", m_folder};
  struct Row {
    const char* action;
    std::optional<Answer> answer;  ///< the answer to the question, when one is asked
    bool opens;
  };
  const Row rows[] = {
      {"ask", Answer::Yes, true},         {"ask", Answer::No, false},
      {"openfolder", std::nullopt, true}, {"", std::nullopt, false},
      {"close", std::nullopt, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.action);
    ScopedScriptedDialogs dialogs;
    opened.clear();
    setFinalAction(row.action);
    if (row.answer) dialogs->answerNext(*row.answer);
    completeOneMosaic();
    m_controller.statusTick();
    if (row.answer) {
      ASSERT_EQ(dialogs->messages().size(), 1u);
      EXPECT_EQ(dialogs->messages()[0].text, kFinalQuestion);
      EXPECT_EQ(dialogs->messages()[0].buttons, Buttons::YesNo);
      EXPECT_EQ(dialogs->messages()[0].icon, Icon::Question);
    } else {
      EXPECT_TRUE(dialogs->texts().empty());
    }
    EXPECT_EQ(opened, row.opens ? std::vector<std::vector<std::string>>{openFolder}
                                : std::vector<std::vector<std::string>>{});
  }
  // The CLI prints the folder instead of running the final action.
  ScopedScriptedDialogs dialogs;
  opened.clear();
  setFinalAction("openfolder");
  m_controller.setFinalActionEnabled(false);
  completeOneMosaic();
  m_controller.statusTick();
  EXPECT_TRUE(opened.empty());
}

TEST_F(StatusTimer, TileLoadFailuresAreReportedBeforeTheFinalAction) {
  ScopedScriptedDialogs dialogs;
  ScopedShellSpawner spawner([](const std::vector<std::string>&) { return 0; });
  setFinalAction("ask");
  m_controller.selectMainImage(m_image);
  for (int i = 0; i < 3; ++i) countTileLoadFailure();
  EXPECT_EQ(m_controller.tileLoadFailures(), 3);
  completeOneMosaic();
  m_controller.statusTick();
  ASSERT_EQ(dialogs->messages().size(), 2u);
  EXPECT_EQ(dialogs->messages()[0].text,
            "About 3 Tile Images where not loaded due to a File Error. Your Mosaic will have "
            "missing tiles. Please save again your Tile Images List and then build again your "
            "Mosaic.");
  EXPECT_EQ(dialogs->messages()[0].icon, Icon::Exclamation);
  EXPECT_EQ(dialogs->messages()[1].text, kFinalQuestion);
}

/// Stages of a real job whose job thread waits, after `runJob` has returned, until the test lets
/// it go: the moment in which the job is complete but the thread has not ended yet.
class HeldStages final : public MosaicStages {
 public:
  explicit HeldStages(ProductionStages& real) : m_real(real) {}

  void release() {
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
  }
  void waitUntilHeld() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_held; });
  }

  void numberTileGroups(MosaicJob& job) override { m_real.numberTileGroups(job); }
  bool tileListIsBlackAndWhite(MosaicJob& job) override {
    return m_real.tileListIsBlackAndWhite(job);
  }
  std::string tileListPath(MosaicJob& job) override { return m_real.tileListPath(job); }
  bool isMaskFileMode(MosaicJob& job) override { return m_real.isMaskFileMode(job); }
  bool computeGeometry(MosaicJob& job) override { return m_real.computeGeometry(job); }
  bool buildCellsFromMask(MosaicJob& job, const std::string& mask) override {
    return m_real.buildCellsFromMask(job, mask);
  }
  bool buildCellGrid(MosaicJob& job) override { return m_real.buildCellGrid(job); }
  std::size_t gridSize(MosaicJob& job) override { return m_real.gridSize(job); }
  void copyGridSizeToGeometry(MosaicJob& job) override { m_real.copyGridSizeToGeometry(job); }
  void freeCells(MosaicJob& job, bool releaseStorage) override {
    m_real.freeCells(job, releaseStorage);
    // The job ends with two releases: the driver's own, then the job thread's after runJob.
    if (releaseStorage && ++m_releases == 2) {
      std::unique_lock lock(m_mutex);
      m_held = true;
      m_changed.notify_all();
      m_changed.wait(lock, [this] { return m_released; });
    }
  }
  bool analyzeMainImage(MosaicJob& job, bool fit, bool onlyMissing) override {
    return m_real.analyzeMainImage(job, fit, onlyMissing);
  }
  bool initializeCells(MosaicJob& job, bool withPriorities) override {
    return m_real.initializeCells(job, withPriorities);
  }
  bool placeTiles(MosaicJob& job) override { return m_real.placeTiles(job); }
  bool splitTiles(MosaicJob& job) override { return m_real.splitTiles(job); }
  void insertRequiredImages(MosaicJob& job) override { m_real.insertRequiredImages(job); }
  bool writeMaskImage(MosaicJob& job, bool score,
                      const std::vector<MaskImageTarget>& targets) override {
    return m_real.writeMaskImage(job, score, targets);
  }
  bool saveMosaic(MosaicJob& job) override { return m_real.saveMosaic(job); }
  bool writeTextReport(MosaicJob& job, const std::string& path) override {
    return m_real.writeTextReport(job, path);
  }
  bool writeWebPage(MosaicJob& job, const std::string& folder, long size, bool copy) override {
    return m_real.writeWebPage(job, folder, size, copy);
  }

 private:
  ProductionStages& m_real;
  int m_releases = 0;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_held = false;
  bool m_released = false;
};

using StatusTimerRealJob = test::RealJobFixture;

TEST_F(StatusTimerRealJob, ACompletionSeenWhileTheThreadEndsStillRunsTheFinalAction) {
  ScopedScriptedDialogs dialogs;
  std::vector<std::vector<std::string>> opened;
  ScopedShellSpawner spawner([&opened](const std::vector<std::string>& argv) {
    opened.push_back(argv);
    return 0;
  });
  m_job.settings.advanced.setRowValue(AdvancedRow::FinalAction, "openfolder");
  ProductionStages real(m_list);
  HeldStages stages(real);
  RecordingHost host;
  SettingsFiles files;
  files.userSettingsFile = m_dir.file("user settings.txt");
  files.userSettingsLocation = SettingsLocation::AsGiven;
  JobController controller(m_job, m_list, stages, real.gridStage(), host, files);
  ASSERT_EQ(controller.startJob({m_mainImage}), StartResult::Started);
  stages.waitUntilHeld();
  // The mosaic is saved and the flag raised, but the thread still runs: only the output shows.
  controller.statusTick();
  ASSERT_FALSE(host.outputs.empty());
  EXPECT_EQ(host.outputs.back(), "Mosaic in: " + m_output + " (saved)");
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(host.busyStates.back());
  stages.release();
  controller.wait();
  controller.statusTick();
  EXPECT_EQ(opened, (std::vector<std::vector<std::string>>{{"xdg-open", m_dir.file("out")}}));
  EXPECT_FALSE(host.busyStates.back());
  EXPECT_TRUE(std::filesystem::exists(m_output));
  // The start saved the settings as the last mosaic and as the automatic save.
  const std::string saved = test::readFile(files.userSettingsFile);
  EXPECT_NE(saved.find("[(Last Mosaic)]"), std::string::npos);
  EXPECT_NE(saved.find("[(Auto Save)]"), std::string::npos);
}

}  // namespace
}  // namespace tg
