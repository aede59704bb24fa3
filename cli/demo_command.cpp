// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/video_demo.h"
#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "output/jpeg_writer.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {

constexpr const char* kDemoHelp =
    "Usage: tesselograph-cli demo [--video] [OUT_DIR]\n"
    "Builds a Tile Images List from the photographs of the Debian wallpaper packages (install\n"
    "them with scripts/install-deps.sh --demo) and makes a mosaic of one of them with the\n"
    "Default Settings in OUT_DIR (default: ./tesselograph-demo).\n"
    "--video makes short clips with the ffmpeg program instead and a video mosaic whose every\n"
    "cell plays a clip: OUT_DIR/Demo Video Mosaic.avi.\n";

/// The folders the wallpaper packages install their pictures into.
constexpr const char* kWallpaperFolders[] = {"/usr/share/backgrounds", "/usr/share/wallpapers"};

/// The photograph the demo prefers as its main image, when its package is installed.
constexpr const char* kPreferredMainImage = "/usr/share/backgrounds/mate/nature/LadyBird.jpg";

/// Every JPEG picture under the wallpaper folders, sorted; links are skipped (packages link
/// the same picture under several names).
std::vector<std::string> wallpaperPhotos(const std::vector<std::string>& folders) {
  std::vector<std::string> photos;
  for (const auto& folder : folders) {
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(
             folder, std::filesystem::directory_options::skip_permission_denied, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      if (!it->is_regular_file(error) || it->is_symlink(error)) continue;
      const std::string name = it->path().filename().string();
      if (hasExtensionFrom(name, "|JPG|JPEG|PNG|")) photos.push_back(it->path().string());
    }
  }
  std::sort(photos.begin(), photos.end());
  return photos;
}

constexpr std::uint32_t kWholeSide = 480;    ///< long side of the tile made of a whole picture
constexpr std::uint32_t kCropSide = 320;     ///< side of the square crops
constexpr std::uint32_t kMinimumSide = 400;  ///< pictures smaller than this are no photographs

/// Writes `rect` of `picture` at `w` x `h` as a JPEG tile; false when it cannot.
bool writeTile(const Foto& picture, const std::string& path, std::uint32_t w, std::uint32_t h,
               double rectW, double rectH, double rectX, double rectY) {
  const auto tile = resample(picture, w, h, rectW, rectH, rectX, rectY);
  return tile && writeJpegImage(path, *tile, 90, 0);
}

/// Turns every picture into small tile photographs in `folder`: the whole picture and its two
/// end squares (left and right, or top and bottom), so that the small library offers three
/// tiles per wallpaper and the renderer decodes small files instead of 4K wallpapers. Pictures
/// made before are kept. Returns the number of tiles in the folder.
std::size_t prepareTiles(const std::vector<std::string>& photos, const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::size_t made = 0;
  for (std::size_t index = 0; index < photos.size(); ++index) {
    char stem[32];
    std::snprintf(stem, sizeof stem, "/wall%04zu", index);
    const std::string base = folder + stem;
    if (std::filesystem::exists(base + "-a.jpg", error)) {
      made += 3;
      continue;
    }
    Foto picture;
    if (!loadImageFile(picture, photos[index], 2 * kWholeSide, 2 * kWholeSide, false)) continue;
    const double w = picture.width;
    const double h = picture.height;
    if (std::min(w, h) < kMinimumSide / 2.0) continue;
    const double side = std::min(w, h);
    const bool wide = w >= h;
    const auto wholeW = static_cast<std::uint32_t>(wide ? kWholeSide : kWholeSide * w / h);
    const auto wholeH = static_cast<std::uint32_t>(wide ? kWholeSide * h / w : kWholeSide);
    if (!writeTile(picture, base + "-a.jpg", std::max(wholeW, 1u), std::max(wholeH, 1u), w, h, 0,
                   0)) {
      continue;
    }
    ++made;
    made += writeTile(picture, base + "-b.jpg", kCropSide, kCropSide, side, side, 0, 0) ? 1 : 0;
    made += writeTile(picture, base + "-c.jpg", kCropSide, kCropSide, side, side,
                      wide ? w - side : 0, wide ? 0 : h - side)
                ? 1
                : 0;
  }
  return made;
}

}  // namespace

int runDemo(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kDemoHelp, stdout);
    return kExitOk;
  }
  std::string outDir = "tesselograph-demo";
  bool video = false;
  bool haveDir = false;
  while (!args.done()) {
    const std::string argument = args.take();
    if (argument == "--video" && !video) {
      video = true;
    } else if (!haveDir && argument.rfind("--", 0) != 0) {
      outDir = argument;
      haveDir = true;
    } else {
      std::fputs(kDemoHelp, stderr);
      return kExitUsage;
    }
  }
  std::vector<std::string> folders;
  for (const char* folder : kWallpaperFolders) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) folders.emplace_back(folder);
  }
  const std::vector<std::string> photos = wallpaperPhotos(folders);
  if (video) {
    const bool preferred =
        std::find(photos.begin(), photos.end(), kPreferredMainImage) != photos.end();
    return runVideoDemo(outDir, preferred        ? std::string(kPreferredMainImage)
                                : photos.empty() ? std::string()
                                                 : photos[photos.size() / 2]);
  }
  if (photos.size() < 2) {
    printError(
        "no wallpaper photographs found under /usr/share/backgrounds or /usr/share/wallpapers; "
        "install them with: sudo scripts/install-deps.sh --demo");
    return kExitFailed;
  }
  std::error_code error;
  std::filesystem::create_directories(outDir, error);
  if (error) {
    printError("cannot create '" + outDir + "': " + error.message());
    return kExitFailed;
  }
  const std::string mainImage =
      std::find(photos.begin(), photos.end(), kPreferredMainImage) != photos.end()
          ? std::string(kPreferredMainImage)
          : photos[photos.size() / 2];
  std::fprintf(stderr, "Demo: %zu photographs, main image %s\n", photos.size(), mainImage.c_str());

  const std::string base = std::filesystem::absolute(outDir).lexically_normal().string();
  std::vector<std::string> tileSources;
  for (const auto& photo : photos) {
    if (photo != mainImage) tileSources.push_back(photo);  // not one of its own tiles
  }
  const std::string tileFolder = base + "/tiles";
  const std::size_t tiles = prepareTiles(tileSources, tileFolder);
  std::fprintf(stderr, "Demo: %zu tile photographs in %s\n", tiles, tileFolder.c_str());
  const std::string listPath = base + "/Demo Tiles.tg4";
  std::vector<std::string> lists[4];
  lists[0] = {tileFolder};
  if (!buildTileList(listPath, lists, false)) return kExitFailed;

  MosaicRequest request;
  request.listPath = listPath;
  request.images.emplace_back(mainImage, base + "/Demo Mosaic.jpg");
  if (!makeMosaics(request)) return kExitFailed;
  std::printf("Demo mosaic: %s\n", (base + "/Demo Mosaic.jpg").c_str());
  return kExitOk;
}

}  // namespace tg
