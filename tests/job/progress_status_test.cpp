// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "job/mosaic_job.h"
#include "parallel/worker_pool.h"

namespace tg {
namespace {

class StatusLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job.setClock([this] { return nowMs; });
  }
  std::uint64_t nowMs = 0;
  MosaicJob job;
};

TEST_F(StatusLineTest, WithoutMosaicsOnlyTheStatusShows) {
  job.setStatus("Ok");
  const StatusLine line = job.statusLine();
  EXPECT_EQ(line.text, "Ok");
  EXPECT_DOUBLE_EQ(line.percent, 0.0);
}

TEST_F(StatusLineTest, ShowsStagePercentCounterAndTime) {
  job.beginJob(3);
  job.beginMosaic();
  job.setStatus("Creating Mosaic...");
  job.beginStage(ProgressStage::Placement, 200);
  job.addProgress(50);
  nowMs = 3723000;  // 1 h 2 min 3 s
  StatusLine line = job.statusLine();
  const double mosaic = 100.0 / 15807 * 5800 * 0.25;
  EXPECT_DOUBLE_EQ(line.percent, mosaic / 3);
  EXPECT_EQ(line.text, "Completed 3.06%, Time 01:02:03, Creating Mosaic... 25.00%. Mosaic# 1/3 ");

  // Between the count's increment and the next mosaic the counter stays on the finished one.
  job.completeMosaic();
  line = job.statusLine();
  EXPECT_NE(line.text.find("Mosaic# 1/3 "), std::string::npos) << line.text;
  job.beginMosaic();
  line = job.statusLine();
  EXPECT_NE(line.text.find("Mosaic# 2/3 "), std::string::npos) << line.text;
  EXPECT_DOUBLE_EQ(line.percent, 100.0 / 3);

  job.endJob();
  nowMs += 10000;  // the timer stopped
  line = job.statusLine();
  EXPECT_THAT(line.text, ::testing::HasSubstr(", Time 01:02:03, "));
}

TEST_F(StatusLineTest, OneMosaicHasNoCounterAndAnEmptyStatusNoPercent) {
  job.beginJob(1);
  job.beginMosaic();
  job.beginStage(ProgressStage::Analysis, 10);
  job.setStatus("");
  EXPECT_EQ(job.statusLine().text, "Completed 0.00%, Time 00:00:00, .");
}

TEST_F(StatusLineTest, AJobWithoutAnyMosaicDoneNeverShowsANegativePercentage) {
  job.beginJob(2);
  job.beginMosaic();
  job.endJob();
  const StatusLine line = job.statusLine();
  EXPECT_DOUBLE_EQ(line.percent, 0.0);
  EXPECT_NE(line.text.find("Mosaic# 0/2 "), std::string::npos) << line.text;
}

TEST(MosaicJobStatus, TextIsCutAt255Utf16UnitsWithoutSplittingACharacter) {
  MosaicJob job;
  job.setStatus(std::string(300, 'x'), kStatusColourError);
  EXPECT_EQ(job.statusText(), std::string(255, 'x'));
  EXPECT_EQ(job.statusColour(), kStatusColourError);

  // "é" is one unit in two bytes; "😀" is two units (a surrogate pair) in four bytes.
  std::string accents;
  for (int i = 0; i < 300; ++i) accents += "\xC3\xA9";
  job.setStatus(accents);
  EXPECT_EQ(job.statusText().size(), 255u * 2);

  std::string faces = "x";
  for (int i = 0; i < 200; ++i) faces += "\xF0\x9F\x98\x80";
  job.setStatus(faces);
  EXPECT_EQ(job.statusText().size(), 1u + 127 * 4);  // 1 + 254 units; the next pair would be 256
  EXPECT_EQ(job.statusColour(), kStatusColourNormal);
}

TEST(MosaicJobStatus, CompletedFlagAndPreviewsAreTakenOnce) {
  MosaicJob job;
  EXPECT_FALSE(job.takeCompletedFlag());
  job.beginJob(1);
  job.completeMosaic();
  EXPECT_TRUE(job.takeCompletedFlag());
  EXPECT_FALSE(job.takeCompletedFlag());

  EXPECT_FALSE(job.takePreview());
  auto image = std::make_unique<Foto>();
  ASSERT_TRUE(image->createCleared(4, 3));
  job.postPreview(std::move(image), "first");
  job.postPreview(nullptr, "second");
  auto latest = job.takePreview();
  ASSERT_TRUE(latest);
  EXPECT_EQ(latest->caption, "second");
  EXPECT_EQ(latest->image, nullptr);
  auto older = job.takePreview();
  ASSERT_TRUE(older && older->image);
  EXPECT_EQ(older->image->width, 4u);
  EXPECT_FALSE(job.takePreview());
}

TEST(MosaicJobStatus, WorkersReportWhileTheWindowReads) {
  // Stage code on pool threads publishes progress, texts and previews while the window thread
  // polls; every value goes through the job lock, so the count comes out exact.
  MosaicJob job;
  job.beginJob(1);
  job.beginMosaic();
  job.beginStage(ProgressStage::Rendering, 4000);
  std::atomic<bool> done{false};
  std::thread window([&] {
    while (!done.load()) {
      (void)job.statusLine();
      (void)job.takePreview();
      (void)job.takeCompletedFlag();
    }
  });
  {
    WorkerPool pool;
    pool.setThreadCount(3, 0);
    JobGroup group(pool, true);
    for (int i = 0; i < 4000; ++i) {
      group.submit(makeParallelJob([&job, i] {
        job.addProgress(1);
        if (i % 100 == 0) {
          job.setStatus("Saving Mosaic...");
          job.postPreview(nullptr, "band");
        }
      }));
    }
    group.waitIdle();
  }
  done = true;
  window.join();
  EXPECT_DOUBLE_EQ(job.progress().current(ProgressStage::Rendering), 4000.0);
}

}  // namespace
}  // namespace tg
