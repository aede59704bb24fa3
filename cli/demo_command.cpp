// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {

constexpr const char* kDemoHelp =
    "Usage: tesselograph-cli demo [OUT_DIR]\n"
    "Builds a Tile Images List from the photographs of the Debian wallpaper packages (install\n"
    "them with scripts/install-deps.sh --demo) and makes a mosaic of one of them with the\n"
    "Default Settings in OUT_DIR (default: ./tesselograph-demo).\n";

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
      if (hasExtensionFrom(name, "|JPG|JPEG|")) photos.push_back(it->path().string());
    }
  }
  std::sort(photos.begin(), photos.end());
  return photos;
}

}  // namespace

int runDemo(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kDemoHelp, stdout);
    return kExitOk;
  }
  std::string outDir = "tesselograph-demo";
  if (!args.done()) outDir = args.take();
  if (!args.done()) {
    std::fputs(kDemoHelp, stderr);
    return kExitUsage;
  }
  std::vector<std::string> folders;
  for (const char* folder : kWallpaperFolders) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) folders.emplace_back(folder);
  }
  const std::vector<std::string> photos = wallpaperPhotos(folders);
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
  const std::string listPath = base + "/Demo Tiles.tg4";
  std::vector<std::string> lists[4];
  lists[0] = folders;
  lists[1] = {mainImage};  // the main image is not one of its own tiles
  if (!buildTileList(listPath, lists, false)) return kExitFailed;

  MosaicRequest request;
  request.listPath = listPath;
  request.images.emplace_back(mainImage, base + "/Demo Mosaic.jpg");
  if (!makeMosaics(request)) return kExitFailed;
  std::printf("Demo mosaic: %s\n", (base + "/Demo Mosaic.jpg").c_str());
  return kExitOk;
}

}  // namespace tg
