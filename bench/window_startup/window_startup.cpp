// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the window program to a shown main window, measured from the start of a new
// process: with an empty configuration, and with one whose "(Auto Save)" restores a Tile Images
// List of 10,000 tiles.
//   window_startup [--runs N] [--tiles N]
// Each run starts this program again as a child that goes through the program's own start-up
// (`runProgram`) and reports once the main window is shown; the parent measures the wall time
// from the start of the child to that report. Qt's offscreen platform is used unless a display
// is set.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/comparison_settings.h"
#include "geometry/geometry_presets.h"
#include "job/settings_sets.h"
#include "support/photo_signature.h"
#include "tiles/tile_images_list.h"
#include "ui/main_window.h"
#include "ui/program.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

/// The child: the program's start-up; prints the tile count once the window is shown, closes it.
int runChild(int argc, char** argv) {
  QApplication application(argc, argv);
  char* programOnly[] = {argv[0], nullptr};
  return tg::runProgram(1, programOnly, [](tg::MainWindow& window) {
    std::printf("shown %zu\n", window.tileImages().tileCount());
    std::fflush(stdout);
    window.close();
  });
}

/// A configuration folder whose "(Auto Save)" names a list of `tiles` synthetic tiles.
bool makeListConfiguration(const fs::path& folder, std::size_t tiles) {
  fs::create_directories(folder / "Tesselograph Standard");
  tg::TileImagesList list;
  std::mt19937 rng(7);
  for (std::size_t i = 0; i < tiles; ++i) {
    tg::FotoInfo tile;
    tile.path = "/photos/set" + std::to_string(i / 500) + "/tile" + std::to_string(i) + ".jpg";
    tile.signature = tg::test::photoLikeSignature(rng);
    tile.fileSize = 100000;
    list.tiles.emplace(tile.path, tile);
  }
  list.includeList.insert("/photos/");
  const std::string listPath = (folder / "tiles.tg4").string();
  if (!tg::saveTileImagesList(listPath, list)) return false;
  tg::MosaicSettings settings;
  tg::installGeometryPresets(settings);
  tg::applyBuiltInColumn(settings, tg::SettingsSetId::DefaultSettings);
  return tg::saveSettingsSet(
      settings, (folder / "Tesselograph Standard" / tg::userSettingsFileName()).string(),
      tg::SettingsLocation::AsGiven, tg::kAutoSaveSection, listPath, true);
}

/// Starts the child with `configFolder` and returns the milliseconds until it reported a shown
/// window (negative on failure) and the tile count it reported.
double timeOneStart(const std::string& self, const fs::path& configFolder, std::size_t& tiles) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  // Qt's platform notes would interleave with the table.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  setenv("TESSELOGRAPH_CONFIG_PATH", configFolder.c_str(), 1);
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  std::string childFlag = "--child";
  char* childArgv[] = {const_cast<char*>(self.c_str()), childFlag.data(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, childArgv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (spawned != 0) {
    close(pipeEnds[0]);
    return -1;
  }
  std::string line;
  char c = 0;
  while (read(pipeEnds[0], &c, 1) == 1 && c != '\n') line += c;
  const auto shown = std::chrono::steady_clock::now();
  close(pipeEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (line.rfind("shown ", 0) != 0) return -1;
  tiles = std::strtoul(line.c_str() + 6, nullptr, 10);
  return std::chrono::duration<double, std::milli>(shown - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--child") == 0) return runChild(argc, argv);
  int runs = 5;
  std::size_t tileCount = 10000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--tiles") == 0) tileCount = std::strtoul(argv[i + 1], nullptr, 10);
  }
  const std::string self = fs::canonical("/proc/self/exe").string();
  const fs::path work =
      fs::temp_directory_path() / ("tg-window-startup-" + std::to_string(getpid()));
  const fs::path empty = work / "empty";
  const fs::path withList = work / "list";
  fs::create_directories(empty);
  if (!makeListConfiguration(withList, tileCount)) {
    std::fprintf(stderr, "window_startup: cannot write the list configuration\n");
    return 1;
  }
  int failures = 0;
  for (const auto& [name, folder] :
       {std::pair{"empty configuration", empty}, std::pair{"(Auto Save) with a list", withList}}) {
    std::vector<double> times;
    std::size_t tiles = 0;
    for (int run = 0; run < runs; ++run) {
      const double ms = timeOneStart(self, folder, tiles);
      if (ms < 0) {
        ++failures;
        continue;
      }
      times.push_back(ms);
    }
    if (times.empty()) {
      std::printf("%-26s failed\n", name);
      continue;
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "%-26s tiles %6zu  start to shown window: min %7.1f ms  median %7.1f ms  max %7.1f ms\n",
        name, tiles, times.front(), times[times.size() / 2], times.back());
  }
  std::error_code error;
  fs::remove_all(work, error);
  return failures == 0 ? 0 : 1;
}
