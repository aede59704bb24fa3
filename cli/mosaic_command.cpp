// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/job_controller.h"
#include "app/production_stages.h"
#include "app/split_dialog_model.h"
#include "cli/commands.h"
#include "config/advanced_settings.h"
#include "geometry/geometry_presets.h"
#include "geometry/mosaic_geometry.h"
#include "geometry/units/quantity_text.h"
#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {

constexpr const char* kMosaicHelp =
    "Usage: tesselograph-cli mosaic --list LIST.tg4 [--settings FILE] [--section NAME]\n"
    "                               [--set KEY=VALUE]... -i MAIN [-o OUT] [-i MAIN [-o OUT]]...\n"
    "                               [--mask FILE|DIR] [--priority-map FILE]\n"
    "                               [--split WxH[px|tiles|pieces]] [--yes | --no]\n"
    "Makes the mosaic of every main image MAIN from the tiles of LIST.tg4, starting from the\n"
    "Default Settings, then the settings file (with --section a named set of a user settings\n"
    "file; --section alone names a set of the settings list, such as \"(Video Mosaic)\"), then\n"
    "every --set in order. -o names the mosaic of the -i before it: an extension\n"
    "of an output format (.jpg, .jpeg, .tiff, .psb, ...) is replaced by the chosen format's,\n"
    "any other name gets the format's extension added. --mask shapes the cells by a mask file\n"
    "or a folder of them, --priority-map FILE turns on the custom tile area priority with the\n"
    "grey picture FILE (darker areas get the better tiles). --split cuts the mosaic into\n"
    "pieces: WxH (or WxHpx) pieces of W x H pixels, WxHtiles pieces of W x H tiles (pieces end\n"
    "on tile edges), WxHpieces W pieces across and H down (the smallest pieces that cover the\n"
    "mosaic); the piece size is printed, and must be above 10 and at most 1,000,000 pixels.\n"
    "--yes / --no answer every question; lines before the job say what the parameter rules\n"
    "changed and how many cells will stay empty when tiles run short. Ctrl-C stops the job;\n"
    "files already written stay.\n";

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int) { g_interrupted = 1; }

/// Installs the Ctrl-C handler for the lifetime of the object.
class InterruptGuard {
 public:
  InterruptGuard() {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previousInt);
    sigaction(SIGTERM, &action, &m_previousTerm);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction m_previousInt {};
  struct sigaction m_previousTerm {};
};

/// The controller's window on a terminal.
class TerminalHost final : public JobControllerHost {
 public:
  explicit TerminalHost(std::optional<SplitRequest> split) : m_split(split) {}
  bool windowVisible() const override { return true; }
  std::optional<PieceSize> askSplitSize(
      const MosaicGeometry& geometry,
      const std::function<bool(const PieceSize&)>& acceptPiece) override {
    if (!m_split) {
      printError("SplitMosaic is on: give the piece size with --split WxH");
      return std::nullopt;
    }
    SplitDialogModel model(geometry);
    if (!model.set(m_split->form, m_split->value)) {
      printError(geometry.isMaskFileMode()
                     ? "--split with a mask file takes the piece size in pixels only"
                     : "--split cannot divide this mosaic");
      return std::nullopt;
    }
    const SplitPair pixels = model.pixels();
    const SplitPair pieces = model.pieces();
    std::fprintf(stderr, "Split pieces: %llu x %llu pixels, %llu x %llu pieces\n",
                 static_cast<unsigned long long>(pixels.across),
                 static_cast<unsigned long long>(pixels.down),
                 static_cast<unsigned long long>(pieces.across),
                 static_cast<unsigned long long>(pieces.down));
    const PieceSize piece{static_cast<unsigned>(pixels.across), static_cast<unsigned>(pixels.down)};
    if (!acceptPiece(piece)) return std::nullopt;
    return piece;
  }
  void showStatus(const std::string& text, std::uint32_t, int progress) override {
    m_progress.update(text, progress / 100.0);
  }
  void showNote(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void finish() { m_progress.finish(); }

 private:
  std::optional<SplitRequest> m_split;
  ProgressDisplay m_progress;
};

std::string absolutePath(const std::string& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

/// The companion files `settings` asked for that are missing beside the mosaic at `base`, or
/// older than `since` (left from an earlier job). Their writers fail without a message, so the
/// exit status is the only place the user learns of it.
std::vector<std::string> missingCompanions(const MosaicSettings& settings, const std::string& base,
                                           std::filesystem::file_time_type since) {
  std::vector<std::string> wanted;
  if (settings.textReport.value) wanted.push_back(base + " " + tr("Text Report") + ".csv");
  if (settings.webPageSize.value != 0) {
    wanted.push_back(base + " " + tr("Web Page") + "/index.html");
  }
  if (settings.createMaskFile.value) {
    wanted.push_back(base + " MaskFile.jpg");
    wanted.push_back(base + " Score.jpg");
  }
  std::vector<std::string> missing;
  for (const auto& path : wanted) {
    std::error_code error;
    const bool file = std::filesystem::is_regular_file(path, error);
    const auto written = std::filesystem::last_write_time(path, error);
    if (!file || error || written < since) missing.push_back(path);
  }
  return missing;
}

}  // namespace

bool makeMosaics(const MosaicRequest& request) {
  MosaicJob job;
  if (!assembleSettings(request.settings, job.settings)) return false;
  MosaicSettings& settings = job.settings;

  TileImagesList list;
  TileListLoad outcome = TileListLoad::Loaded;
  if (!loadTileImagesList(absolutePath(request.listPath), list, &outcome)) {
    showMessage(tr("Error while reading the Images List!"));
    return false;
  }
  if (outcome != TileListLoad::Loaded) return false;

  if (request.mask) {
    const std::string mask = absolutePath(*request.mask);
    std::error_code error;
    if (!std::filesystem::exists(mask, error)) {
      printError("the mask '" + *request.mask + "' does not exist");
      return false;
    }
    // MaskFile is the last size preset; the list holds the video sizes too where video works,
    // so its index depends on the presets installed.
    settings.mosaicSize.set(settings.mosaicSize.presets.back().value);
    cliDialogs().setMask(mask, std::filesystem::is_directory(mask, error));
  }
  if (request.priorityMap) {
    const std::string map = absolutePath(*request.priorityMap);
    std::error_code error;
    if (!std::filesystem::is_regular_file(map, error)) {
      printError("the priority map '" + *request.priorityMap + "' does not exist");
      return false;
    }
    // The job reads a priority picture only for the custom tile area priority.
    settings.advanced.setRowValue(AdvancedRow::TilePriorityArea, "CUSTOM_PRIORITY");
    cliDialogs().setPriorityMap(map);
  }
  if (request.split) settings.splitMosaic.set(true);

  std::vector<std::string> images;
  for (const auto& [image, output] : request.images) {
    const std::string path = absolutePath(image);
    images.push_back(path);
    if (output.empty()) continue;
    // The job writes an explicit output where it is told and makes no folder for it.
    const std::string target = absolutePath(output);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path(), error);
    job.explicitOutputs[path] = target;
  }

  ProductionStages stages(list);
  TerminalHost host(request.split);
  JobController controller(job, list, stages, stages.gridStage(), host);
  controller.setFinalActionEnabled(false);
  InterruptGuard interrupt;
  // File times are coarse on some file systems: a second of slack still tells an old file.
  const auto jobStart = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(1);
  if (controller.startJob(images) != StartResult::Started) return false;
  int ticks = 0;
  while (controller.running()) {
    if (g_interrupted != 0) {
      controller.forceStop();
      g_interrupted = 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (++ticks % 5 == 0) controller.statusTick();
  }
  controller.wait();
  controller.statusTick();
  host.finish();

  const std::string status = job.statusText();
  std::fprintf(stderr, "%s\n", status.c_str());
  bool allSaved = !job.stopRequested();
  const auto records = job.outputRecords();
  for (const auto& image : images) {
    const auto found = records.find(image);
    if (found == records.end() || !found->second.saved) {
      allSaved = false;
      continue;
    }
    std::printf("%s\n", controller.outputDisplay(image).first.c_str());
    for (const auto& path : missingCompanions(settings, found->second.base, jobStart)) {
      printError("'" + path + "' was not written");
      allSaved = false;
    }
  }
  const long failures = controller.tileLoadFailures();
  if (failures > 0) allSaved = false;
  return allSaved;
}

int runMosaic(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kMosaicHelp, stdout);
    return kExitOk;
  }
  MosaicRequest request;
  bool ok = true;
  while (!args.done() && ok) {
    const std::string argument = args.take();
    if (request.settings.readOption(argument, args, ok)) continue;
    std::optional<std::string> value;
    if (argument == "--list" || argument == "-i" || argument == "-o" || argument == "--mask" ||
        argument == "--priority-map" || argument == "--split") {
      value = args.value(argument);
      if (!value) return kExitUsage;
    }
    if (argument == "--list") {
      request.listPath = *value;
    } else if (argument == "-i") {
      request.images.emplace_back(*value, "");
    } else if (argument == "-o") {
      if (request.images.empty() || !request.images.back().second.empty()) {
        printError("-o must follow its -i");
        return kExitUsage;
      }
      request.images.back().second = *value;
    } else if (argument == "--mask") {
      request.mask = *value;
    } else if (argument == "--priority-map") {
      request.priorityMap = *value;
    } else if (argument == "--split") {
      request.split = parseSplitRequest(*value);
      if (!request.split || request.split->value.across == 0 || request.split->value.down == 0) {
        printError("--split needs WxH in pixels, WxHtiles or WxHpieces, not '" + *value + "'");
        return kExitUsage;
      }
    } else if (argument == "--yes" || argument == "--no") {
      // Read by main before the dialogs are installed.
    } else {
      printError("unexpected argument '" + argument + "'");
      return kExitUsage;
    }
  }
  if (!ok) return kExitUsage;
  if (request.listPath.empty() || request.images.empty()) {
    std::fputs(kMosaicHelp, stderr);
    return kExitUsage;
  }
  return makeMosaics(request) ? kExitOk : kExitFailed;
}

}  // namespace tg
