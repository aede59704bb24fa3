// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/extract_video_command.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "job/mosaic_settings.h"
#include "platform/text_format.h"
#include "video/avi_extract.h"

namespace tg {
namespace {

constexpr const char* kHelp =
    "Usage: tesselograph-cli extract-video VIDEO [--rect L,T,W,H] [--frames FIRST-LAST]\n"
    "                                    [--images N] [--jpeg|--bmp] [--quality Q] [--clips]\n"
    "                                    [--static] [--prefix P] [--settings FILE] [--set "
    "KEY=VALUE]...\n"
    "Cuts VIDEO into tiles in new folders beside it (VIDEO_FRAMES1 Image, VIDEO_FRAMES1 Video,\n"
    "...): N still images spread evenly over the frame range (JPEG unless --bmp), and with\n"
    "--clips the longest scenes as AVI clips; --static also writes the long still stretches as\n"
    "clips of their own. --rect cuts every frame to the rectangle (pixels), --frames limits the\n"
    "range (0-based frame numbers, both included), --prefix starts every file name (default FR).\n"
    "Without --clips, --static or --images, one image per frame is saved (at most 5000).\n"
    "The Extract.* advanced settings (Advanced.Extract.MinFrameCount, ...) and\n"
    "Advanced.VideoMosaic.FourCC (the codec of the clips) come from --settings and --set.\n"
    "Ctrl-C stops; the clip being written is completed and only whole files stay.\n"
    "Prints every folder written. Exit status 0 only when every image and clip was written.\n";

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onStopSignal(int) { g_stop = 1; }

/// Ctrl-C and SIGTERM ask the extraction to stop while the object lives.
class StopSignals {
 public:
  StopSignals() {
    g_stop = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_int);
    sigaction(SIGTERM, &action, &m_term);
  }
  ~StopSignals() {
    sigaction(SIGINT, &m_int, nullptr);
    sigaction(SIGTERM, &m_term, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction m_int {};
  struct sigaction m_term {};
};

bool parseNumbers(const std::string& text, char separator, std::size_t count,
                  std::uint32_t* values) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t end = i + 1 < count ? text.find(separator, at) : text.size();
    if (end == std::string::npos || end == at) return false;
    const std::string part = text.substr(at, end - at);
    if (part.find_first_not_of("0123456789") != std::string::npos || part.size() > 9) return false;
    values[i] = static_cast<std::uint32_t>(std::stoul(part));
    at = end + 1;
  }
  return true;
}

struct Options {
  std::string video;
  std::optional<std::string> rect;
  std::optional<std::string> frames;
  std::optional<std::string> images;
  std::optional<std::string> quality;
  std::optional<std::string> prefix;
  bool jpeg = false;
  bool bmp = false;
  bool clips = false;
  bool still = false;
  SettingsSource settings;
};

// Reads the options; false (message printed) on a usage error.
bool readOptions(ArgumentReader& args, Options& options) {
  bool ok = true;
  while (ok && !args.done()) {
    const std::string argument = args.take();
    std::optional<std::string>* target = nullptr;
    if (argument == "--rect") target = &options.rect;
    if (argument == "--frames") target = &options.frames;
    if (argument == "--images") target = &options.images;
    if (argument == "--quality") target = &options.quality;
    if (argument == "--prefix") target = &options.prefix;
    if (target != nullptr) {
      *target = args.value(argument);
      ok = target->has_value();
    } else if (argument == "--jpeg") {
      options.jpeg = true;
    } else if (argument == "--bmp") {
      options.bmp = true;
    } else if (argument == "--clips") {
      options.clips = true;
    } else if (argument == "--static") {
      options.still = true;
    } else if (options.settings.readOption(argument, args, ok)) {
    } else if (argument.rfind("--", 0) == 0 || !options.video.empty()) {
      printError("unexpected argument '" + argument + "'");
      ok = false;
    } else {
      options.video = argument;
    }
  }
  if (ok && options.video.empty()) {
    printError("extract-video needs a VIDEO");
    ok = false;
  }
  if (ok && options.jpeg && options.bmp) {
    printError("--jpeg and --bmp exclude each other");
    ok = false;
  }
  return ok;
}

// Applies the options to the preset parameters; false (message printed) on a bad value.
bool applyOptions(const Options& options, CDialogGetAviParam& p) {
  const bool imagesAsked = options.images || options.jpeg || options.bmp;
  const bool clipsAsked = options.clips || options.still;
  const bool images = imagesAsked || !clipsAsked;
  p.saveJpeg = images && !options.bmp ? 1 : 0;
  p.saveBmp = images && options.bmp ? 1 : 0;
  p.extractClips = clipsAsked ? 1 : 0;
  std::uint32_t values[4] = {};
  if (options.rect) {
    if (!parseNumbers(*options.rect, ',', 4, values)) {
      printError("--rect wants L,T,W,H in pixels");
      return false;
    }
    p.left = values[0];
    p.top = values[1];
    p.width = values[2];
    p.height = values[3];
  }
  if (options.frames) {
    if (!parseNumbers(*options.frames, '-', 2, values) || values[0] > values[1]) {
      printError("--frames wants FIRST-LAST with FIRST not above LAST");
      return false;
    }
    p.firstFrame = values[0];
    p.lastFrame = values[1];
  }
  if (options.images) {
    if (!parseNumbers(*options.images, ',', 1, values) || values[0] == 0 ||
        values[0] > static_cast<std::uint32_t>(CDialogGetAviParam::kMaxImageCount)) {
      printError(formatText("--images wants a count from 1 to %d",
                            static_cast<int>(CDialogGetAviParam::kMaxImageCount)));
      return false;
    }
    p.imageCount = static_cast<std::int32_t>(values[0]);
  }
  if (options.quality) {
    if (!parseNumbers(*options.quality, ',', 1, values) || values[0] > 1000) {
      values[0] = 0;
    }
    p.jpegQuality = static_cast<std::int32_t>(values[0]);
  }
  if (options.prefix) p.filePrefix = *options.prefix;
  return true;
}

double percentOf(const AviExtract::Progress& progress) {
  return progress.total == 0 ? 0.0 : 100.0 * progress.done / progress.total;
}

}  // namespace

int runExtractVideo(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  Options options;
  if (!readOptions(args, options)) {
    std::fputs(kHelp, stderr);
    return kExitUsage;
  }
  MosaicSettings settings;
  if (!assembleSettings(options.settings, settings)) return kExitUsage;
  AdvancedSettings& advanced = settings.advanced;
  if (options.still) advanced.setRowValue(AdvancedRow::ExtractStaticVideo, "1");

  AviExtract extract;
  // The reader tells why the video cannot be opened.
  if (!extract.openVideo(options.video, advanced)) return kExitFailed;
  CDialogGetAviParam& parameters = extract.parameters();
  if (!applyOptions(options, parameters)) return kExitUsage;
  if (const auto problem = parameters.problem(extract.videoWidth(), extract.videoHeight())) {
    printError(*problem);
    return kExitUsage;
  }
  if (parameters.lastFrame >= extract.frameCount()) {
    printError(formatText("The video has %d frames (0-%d)", static_cast<int>(extract.frameCount()),
                          static_cast<int>(extract.frameCount()) - 1));
    return kExitUsage;
  }

  StopSignals signals;
  if (!extract.startExtraction(advanced)) return kExitFailed;
  ProgressDisplay display;
  bool stopped = false;
  while (extract.isRunning()) {
    if (g_stop != 0 && !stopped) {
      stopped = true;
      display.finish();
      std::fputs("Stopping after the files being written...\n", stderr);
      extract.stopExtraction();
      break;
    }
    display.update(extract.statusText(), percentOf(extract.progress()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  extract.waitUntilDone();
  if (!stopped) display.update(extract.statusText(), 100.0);
  display.finish();

  for (const std::string& folder : extract.outputFolders()) std::printf("%s\n", folder.c_str());
  const bool images = parameters.saveJpeg != 0 || parameters.saveBmp != 0;
  bool complete = !stopped && !extract.wasStopped() && extract.errorCount() == 0 &&
                  extract.unreadFrames() == 0 &&
                  (!images || extract.imagesSaved() == extract.imagesScheduled()) &&
                  extract.clipsWritten() == extract.clipsWanted();
  std::fprintf(stderr, "%u images, %u clips written", static_cast<unsigned>(extract.imagesSaved()),
               static_cast<unsigned>(extract.clipsWritten()));
  if (extract.errorCount() > 0 || extract.unreadFrames() > 0) {
    std::fprintf(stderr, " (%u write errors, %u frames unreadable)",
                 static_cast<unsigned>(extract.errorCount()),
                 static_cast<unsigned>(extract.unreadFrames()));
  }
  std::fputs(stopped || extract.wasStopped() ? "; stopped.\n" : ".\n", stderr);
  return complete ? kExitOk : kExitFailed;
}

}  // namespace tg
