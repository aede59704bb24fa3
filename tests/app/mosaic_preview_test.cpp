// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mosaic_preview.h"

#include <gtest/gtest.h>

#include "job/mosaic_job.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

TEST(FinishedMosaicFile, OnlyASavedMosaicThatIsStillThere) {
  test::ScratchDir dir;
  MosaicJob job;
  const std::string image = dir.file("beach.jpg");
  EXPECT_EQ(finishedMosaicFile(job, image), "");

  OutputNames names;
  names.directory = dir.path().string();
  names.base = dir.file("beach Mosaic");
  job.recordOutput(image, names);
  test::writeFile(names.base + ".jpg", "jpeg");
  EXPECT_EQ(finishedMosaicFile(job, image), "");  // not saved by the job
  job.recordSaved(image, true);
  EXPECT_EQ(finishedMosaicFile(job, image), names.base + ".jpg");
  std::filesystem::remove(names.base + ".jpg");
  test::writeFile(names.base + ".tiff", "tiff");
  EXPECT_EQ(finishedMosaicFile(job, image), "");
}

}  // namespace
}  // namespace tg
