// SPDX-License-Identifier: GPL-3.0-or-later
// Every mosaic writer replaces the file at its path only with a complete new one: a stop, a
// missing band or a full disk leave the user's earlier file as it was, and no leftovers.
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job/mosaic_settings.h"
#include "output/bmp_writer.h"
#include "output/jpeg_writer.h"
#include "output/photoshop_writer.h"
#include "output/ppm_writer.h"
#include "output/report_file.h"
#include "output/tiff_writer.h"
#include "platform/paths.h"
#include "platform/safe_file.h"
#include "platform/scripted_dialogs.h"
#include "row_helpers.h"
#include "support/scratch_dir.h"
#include "support/small_disk.h"

namespace tg {
namespace {

using test::PatternRows;
using test::testColour;

using Writer = std::function<bool(const std::string&, std::uint32_t, std::uint32_t, RowSource&)>;

struct NamedWriter {
  const char* name;
  Writer write;
  bool reservesSpace;  // the whole file's size is known and reserved before the first row
};

std::vector<NamedWriter> writers() {
  auto tiff = [](long code) {
    return [code](const std::string& path, std::uint32_t w, std::uint32_t h, RowSource& rows) {
      OutputFormat format;
      format.format = code;
      return writeTiffRows(path, format, 3, w, h, 72, rows);
    };
  };
  return {
      {"jpg",
       [](const std::string& p, std::uint32_t w, std::uint32_t h, RowSource& r) {
         return writeJpegRows(p, w, h, 90, r, 0);
       },
       false},
      {"bmp", writeBmpRows, true},
      {"tiff", tiff(kFormatTiff), false},
      {"tiffjpeg", tiff(kFormatTiffJpeg), false},
      {"ppm",
       [](const std::string& p, std::uint32_t w, std::uint32_t h, RowSource& r) {
         return writePpmRows(p, w, h, true, r);
       },
       true},
      {"raw",
       [](const std::string& p, std::uint32_t w, std::uint32_t h, RowSource& r) {
         return writePpmRows(p, w, h, false, r);
       },
       true},
      {"psd",
       [](const std::string& p, std::uint32_t w, std::uint32_t h, RowSource& r) {
         return writePhotoshopRows(r, p, w, h, false, 72);
       },
       true},
  };
}

std::string folderListing(const std::filesystem::path& folder) {
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names += entry.path().filename().string() + " ";
  }
  return names;
}

TEST(SafeSave, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
  ScopedScriptedDialogs dialogs;
  for (const auto& writer : writers()) {
    SCOPED_TRACE(writer.name);
    test::ScratchDir dir;
    const std::string path = dir.file(std::string("mosaic.") + writer.name);
    PatternRows good(40, testColour);
    ASSERT_TRUE(writer.write(path, 40, 30, good));
    const std::string old = test::readFile(path);
    ASSERT_FALSE(old.empty());

    // The source runs dry a few rows in (a band out of memory), then a stopped job.
    for (const bool stop : {false, true}) {
      PatternRows failing(40, [](std::uint32_t, std::uint32_t) { return makePixel(1, 2, 3, 0); });
      failing.failAfter(5, stop);
      EXPECT_FALSE(writer.write(path, 40, 30, failing));
      EXPECT_EQ(test::readFile(path), old);
      EXPECT_EQ(folderListing(dir.path()), fileNameOf(path) + " ");
    }
    // A successful write replaces it.
    PatternRows other(40, [](std::uint32_t x, std::uint32_t) { return makePixel(x, 9, 9, 0); });
    ASSERT_TRUE(writer.write(path, 40, 30, other));
    EXPECT_NE(test::readFile(path), old);
    EXPECT_EQ(folderListing(dir.path()), fileNameOf(path) + " ");
  }
}

TEST(SafeSave, AFullDiskKeepsTheOldFileAndIsFoundBeforeRendering) {
  ScopedScriptedDialogs dialogs;
  for (const auto& writer : writers()) {
    SCOPED_TRACE(writer.name);
    test::SmallDisk disk(256 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << "no right to mount a small file system";
    const std::string path = disk.file(std::string("mosaic.") + writer.name);
    PatternRows small(16, testColour);
    ASSERT_TRUE(writer.write(path, 16, 16, small));
    const std::string old = test::readFile(path);

    // 600 x 600 of noise takes about 1 MB in every format, JPEG included.
    PatternRows big(600, [](std::uint32_t x, std::uint32_t y) {
      const std::uint32_t h = (x * 2654435761u) ^ (y * 40503u);
      return makePixel(h & 255, (h >> 8) & 255, (h >> 16) & 255, 0);
    });
    EXPECT_FALSE(writer.write(path, 600, 600, big));
    if (writer.reservesSpace) {
      EXPECT_EQ(big.delivered(), 0u);
    }
    EXPECT_EQ(test::readFile(path), old);
    EXPECT_EQ(disk.listing(), fileNameOf(path) + " ");
  }
}

TEST(SafeSave, SafeFileKeepsPermissionsFollowsLinksAndReportsAFullDisk) {
  test::ScratchDir dir;
  const std::string target = dir.file("list.txt");
  test::writeFile(target, "old");
  std::filesystem::permissions(
      target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink(target, dir.file("link.txt"));
  ASSERT_TRUE(writeFileSafely(dir.file("link.txt"), "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.txt")));
  EXPECT_EQ(test::readFile(target), "new");
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  // A report left uncommitted leaves nothing behind.
  {
    ReportFile report;
    ASSERT_TRUE(report.create(target));
    report.write("partial");
  }
  EXPECT_EQ(test::readFile(target), "new");
  EXPECT_EQ(folderListing(dir.path()).find(".tmp-"), std::string::npos);

  test::SmallDisk disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "no right to mount a small file system";
  SafeFile file;
  ASSERT_TRUE(file.create(disk.file("big.raw")));
  EXPECT_FALSE(file.reserve(1 << 20));
  EXPECT_EQ(errno, ENOSPC);
  file.discard();
  EXPECT_EQ(disk.listing(), "");
}

}  // namespace
}  // namespace tg
