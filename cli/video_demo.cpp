// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/video_demo.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/text_format.h"
#include "tiles/tile_images_list.h"

extern char** environ;

namespace tg {

namespace {

constexpr int kClipCount = 80;
constexpr const char* kClipSeconds = "2";
constexpr const char* kMainImageName = "Demo Main Image.jpg";

/// Runs `ffmpeg` with `args` quietly; true when it succeeds.
bool runFfmpeg(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/// The colour of hue `hue` (degrees), saturation and value (0..1) as "0xRRGGBB".
std::string hsvColour(int hue, double saturation, double value) {
  const double c = value * saturation;
  const double h = (hue % 360) / 60.0;
  const double x = c * (1 - std::abs(std::fmod(h, 2.0) - 1));
  double rgb[3] = {0, 0, 0};
  const int sector = static_cast<int>(h);
  const int big[] = {0, 1, 1, 2, 2, 0};
  const int small[] = {1, 0, 2, 1, 0, 2};
  rgb[big[sector]] = c;
  rgb[small[sector]] = x;
  const double m = value - c;
  return formatText("0x%02X%02X%02X", static_cast<int>((rgb[0] + m) * 255),
                    static_cast<int>((rgb[1] + m) * 255), static_cast<int>((rgb[2] + m) * 255));
}

/// The test source of clip `index`: mostly plain colours with moving grain, spread over hues,
/// saturations and lightnesses (what a photograph needs most), and some busier patterns.
std::string clipSource(int index) {
  const int hue = index * 47 % 360;
  if (index % 4 != 3) {
    const double saturations[] = {0.85, 0.45, 0.0};
    const double values[] = {0.95, 0.7, 0.45, 0.2};
    return formatText("color=c=%s:s=96x72:r=25,noise=alls=24:allf=t",
                      hsvColour(hue, saturations[index % 4], values[index / 4 % 4]));
  }
  switch (index / 4 % 3) {
    case 0:
      return formatText("gradients=s=96x72:r=25:speed=0.03:seed=%d", index);
    case 1:
      return formatText("mandelbrot=s=96x72:r=25:start_scale=%d,hue=h=%d", 1 + index % 3, hue);
    default:
      return formatText("testsrc2=s=96x72:r=25,hue=h=%d", hue);
  }
}

}  // namespace

int runVideoDemo(const std::string& outDir, const std::string& chosenImage) {
  const std::string base = std::filesystem::absolute(outDir).lexically_normal().string();
  const std::string clipFolder = base + "/clips";
  std::error_code error;
  std::filesystem::create_directories(clipFolder, error);
  if (error) {
    printError("cannot create '" + clipFolder + "': " + error.message());
    return kExitFailed;
  }
  if (!runFfmpeg({"-version"})) {
    printError(
        "the video demo makes its clips with the ffmpeg program; install it with: "
        "sudo scripts/install-deps.sh");
    return kExitFailed;
  }
  int made = 0;
  for (int index = 0; index < kClipCount; ++index) {
    const std::string clip = clipFolder + formatText("/clip%03d.avi", index);
    if (std::filesystem::exists(clip, error) ||
        runFfmpeg({"-f", "lavfi", "-i", clipSource(index), "-t", kClipSeconds, "-c:v", "mjpeg",
                   "-q:v", "3", "-pix_fmt", "yuvj420p", clip})) {
      ++made;
    }
    std::fprintf(stderr, "\rDemo: making clips %d/%d", index + 1, kClipCount);
  }
  std::fprintf(stderr, "\nDemo: %d clips of %s seconds in %s\n", made, kClipSeconds,
               clipFolder.c_str());
  if (made < 10) {
    printError("ffmpeg could not make the demo clips");
    return kExitFailed;
  }

  std::string mainImage = chosenImage;
  if (mainImage.empty()) {
    mainImage = base + "/" + kMainImageName;
    if (!runFfmpeg({"-f", "lavfi", "-i", "mandelbrot=s=640x480", "-frames:v", "1", mainImage})) {
      printError("ffmpeg could not make the demo's main image");
      return kExitFailed;
    }
  }
  std::fprintf(stderr, "Demo: main image %s\n", mainImage.c_str());

  const std::string listPath = base + "/Demo Clips.tg4";
  std::vector<std::string> lists[4];
  lists[kVideoList] = {clipFolder};
  if (!buildTileList(listPath, lists, false)) return kExitFailed;

  MosaicRequest request;
  request.listPath = listPath;
  // 20 x 15 cells of 32 pixels; Motion JPEG plays everywhere and stays small.
  request.settings.overrides = {"MosaicSizeUnit=pixel",
                                "MosaicSizeWidth=640",
                                "MosaicSizeHeight=480",
                                "TileUnit=pixel",
                                "TileSize=32",
                                "ResolutionUnit=ppi",
                                "ResolutionSize=72",
                                "FileFormat=avi_compressed",
                                "Advanced.VideoMosaic.FourCC=MJPG"};
  const std::string output = base + "/Demo Video Mosaic.avi";
  request.images.emplace_back(mainImage, output);
  if (!makeMosaics(request)) return kExitFailed;
  std::printf("Demo video mosaic: %s\n", output.c_str());
  std::printf("Play it with: ffplay -loop 0 '%s'\n", output.c_str());
  return kExitOk;
}

}  // namespace tg
