// SPDX-License-Identifier: GPL-3.0-or-later
// Saves under faults at scale: a disk that fills up at every size in a sweep, and a process
// killed (SIGKILL) at random moments while it saves. Afterwards every file a user had is either
// the old one or the new one, complete, and no temporary file is left where a full disk hit.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/settings_store.h"
#include "job/mosaic_settings.h"
#include "output/bmp_writer.h"
#include "output/jpeg_writer.h"
#include "output/photoshop_writer.h"
#include "output/ppm_writer.h"
#include "output/tiff_writer.h"
#include "platform/safe_file.h"
#include "platform/scripted_dialogs.h"
#include "row_helpers.h"
#include "support/scratch_dir.h"
#include "support/small_disk.h"
#include "tiles/tile_images_list.h"

namespace tg {
namespace {

using test::PatternRows;

// Pictures of noise, so that every format (JPEG included) needs about 3 bytes a pixel.
Pixel noise(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
  const std::uint32_t h = (x * 2654435761u) ^ (y * 40503u) ^ (seed * 977u);
  return makePixel(h & 255, (h >> 8) & 255, (h >> 16) & 255, 0);
}

using Save = std::function<bool(const std::string& path, std::uint32_t seed)>;

struct Saver {
  const char* name;
  Save save;
};

// Every mosaic writer on a 200 x 150 picture, the Tile Images List and a settings file.
std::vector<Saver> savers() {
  const auto rows = [](std::uint32_t seed) {
    return PatternRows(200, [seed](std::uint32_t x, std::uint32_t y) { return noise(x, y, seed); });
  };
  const auto tiff = [rows](long code) {
    return [rows, code](const std::string& path, std::uint32_t seed) {
      OutputFormat format;
      format.format = code;
      PatternRows r = rows(seed);
      return writeTiffRows(path, format, 3, 200, 150, 72, r);
    };
  };
  return {
      {"jpg",
       [rows](const std::string& path, std::uint32_t seed) {
         PatternRows r = rows(seed);
         return writeJpegRows(path, 200, 150, 95, r, 0);
       }},
      {"bmp",
       [rows](const std::string& path, std::uint32_t seed) {
         PatternRows r = rows(seed);
         return writeBmpRows(path, 200, 150, r);
       }},
      {"tiff", tiff(kFormatTiff)},
      {"tiffjpeg", tiff(kFormatTiffJpeg)},
      {"ppm",
       [rows](const std::string& path, std::uint32_t seed) {
         PatternRows r = rows(seed);
         return writePpmRows(path, 200, 150, true, r);
       }},
      {"psb",
       [rows](const std::string& path, std::uint32_t seed) {
         PatternRows r = rows(seed);
         return writePhotoshopRows(r, path, 200, 150, true, 72);
       }},
      {"tg4",
       [](const std::string& path, std::uint32_t seed) {
         TileImagesList list;
         addFolder(list, "/photos/", kIncludeList);
         for (std::uint32_t i = 0; i < 300; ++i) {
           FotoInfo tile;
           tile.path = "/photos/" + std::to_string(seed) + "-" + std::to_string(i) + ".jpg";
           tile.signature.valid = 1;
           list.tiles.emplace(tile.path, tile);
         }
         return saveTileImagesList(path, list);
       }},
      {"txt",
       [](const std::string& path, std::uint32_t seed) {
         SettingsStore store;
         store.open(path, SettingsLocation::AsGiven);
         store.setAutoSync(false);
         for (int i = 0; i < 3000; ++i) {
           (void)store.setText("Section " + std::to_string(i % 20), "Key" + std::to_string(i),
                               "value " + std::to_string(seed));
         }
         return store.save();
       }},
  };
}

// Every saver on file systems of growing sizes: the save either succeeds with the same bytes
// it writes on a roomy disk, or fails and leaves the old file as it was, and nothing else.
TEST(FaultInjection, DiskFullSweepOverEverySaver) {
  ScopedScriptedDialogs dialogs;
  test::ScratchDir roomy;
  for (const Saver& saver : savers()) {
    SCOPED_TRACE(saver.name);
    const std::string reference = roomy.file(std::string("new.") + saver.name);
    ASSERT_TRUE(saver.save(reference, 2));
    const std::string expected = test::readFile(reference);
    const std::string oldPath = roomy.file(std::string("old.") + saver.name);
    ASSERT_TRUE(saver.save(oldPath, 1));
    const std::string old = test::readFile(oldPath);
    bool failedOnce = false;
    bool succeeded = false;
    for (std::uint64_t size = 16 * 1024; !succeeded && size <= 4 * 1024 * 1024; size += size / 2) {
      test::SmallDisk disk(size + old.size() + 8192);
      if (!disk.mounted()) GTEST_SKIP() << "no right to mount a small file system";
      const std::string path = disk.file(std::string("mosaic.") + saver.name);
      test::writeFile(path, old);
      succeeded = saver.save(path, 2);
      const std::string now = test::readFile(path);
      if (succeeded && std::string(saver.name) == "tg4") {
        // The list stores its own path, so its bytes differ from the reference: it must load.
        TileImagesList loaded;
        EXPECT_TRUE(loadTileImagesList(path, loaded) && loaded.tiles.size() == 300) << size;
      } else if (succeeded) {
        EXPECT_EQ(now, expected) << size;
      } else {
        failedOnce = true;
        EXPECT_EQ(now, old) << size;
      }
      EXPECT_EQ(disk.listing(), std::string("mosaic.") + saver.name + " ") << size;
    }
    EXPECT_TRUE(failedOnce && succeeded) << "the sweep must cross from full to enough";
  }
}

// A process that saves again and again is killed at random moments, fifty times per saver:
// the file is then always the old version or the new one, complete.
TEST(FaultInjection, KillDuringSavesLeavesTheOldOrTheNewFile) {
  ScopedScriptedDialogs dialogs;
  std::mt19937 random(20);
  for (const Saver& saver : savers()) {
    if (std::string(saver.name) != "jpg" && std::string(saver.name) != "tg4" &&
        std::string(saver.name) != "txt" && std::string(saver.name) != "psb") {
      continue;  // a mosaic in the two kinds of writer, the list and the settings
    }
    SCOPED_TRACE(saver.name);
    test::ScratchDir dir;
    const std::string path = dir.file(std::string("mosaic.") + saver.name);
    std::vector<std::string> versions;
    for (std::uint32_t seed = 1; seed <= 2; ++seed) {
      ASSERT_TRUE(saver.save(path, seed));
      versions.push_back(test::readFile(path));
    }
    for (int round = 0; round < 50; ++round) {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        for (std::uint32_t seed = 1;; seed = 3 - seed) (void)saver.save(path, seed);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 20000));
      ::kill(child, SIGKILL);
      int status = 0;
      ::waitpid(child, &status, 0);
      const std::string now = test::readFile(path);
      ASSERT_TRUE(now == versions[0] || now == versions[1])
          << "round " << round << ": " << now.size() << " bytes";
    }
    // Killed saves may leave their hidden temporary files; never a damaged visible one.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == std::string("mosaic.") + saver.name || name.rfind(".mosaic.", 0) == 0)
          << name;
    }
  }
}

}  // namespace
}  // namespace tg
