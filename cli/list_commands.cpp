// SPDX-License-Identifier: GPL-3.0-or-later
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/catalogue.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"
#include "tiles/tile_images_model.h"

namespace tg {

namespace {

constexpr const char* kListBuildHelp =
    "Usage: tesselograph-cli list build [--include P]... [--exclude P]... [--required P]...\n"
    "                                   [--video P]... [--bw] LIST.tg4\n"
    "Builds the Tile Images List LIST.tg4, or updates it when it exists: the folders and\n"
    "pictures given are added to its Include, Exclude, Required and Video lists, every list is\n"
    "scanned again and only new or changed files are analysed. --bw makes the list black and\n"
    "white.\n";

constexpr const char* kListInfoHelp =
    "Usage: tesselograph-cli list info [--json] LIST.tg4\n"
    "Prints the folder lists and tile counts of LIST.tg4; --json prints one JSON object with\n"
    "every tile record and signature.\n";

std::string absolutePath(const std::string& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

std::string jsonArray(const FolderList& list) {
  std::string out = "[";
  bool first = true;
  for (const auto& path : list) {
    if (!first) out += ",";
    out += jsonString(path);
    first = false;
  }
  return out + "]";
}

void printJson(const TileImagesList& list) {
  std::string out = "{";
  out += "\"version\":" + std::to_string(list.version);
  out += ",\"blackAndWhite\":" + std::string(list.blackAndWhite ? "true" : "false");
  out += ",\"modified\":" + std::string(list.modified ? "true" : "false");
  out += ",\"include\":" + jsonArray(list.includeList);
  out += ",\"exclude\":" + jsonArray(list.excludeList);
  out += ",\"required\":" + jsonArray(list.requiredList);
  out += ",\"video\":" + jsonArray(list.videoList);
  out += ",\"counts\":{\"landscape\":" + std::to_string(list.landscapeCount) +
         ",\"portrait\":" + std::to_string(list.portraitCount) +
         ",\"landscapeClips\":" + std::to_string(list.landscapeClipCount) +
         ",\"portraitClips\":" + std::to_string(list.portraitClipCount) + "}";
  out += ",\"tiles\":[";
  std::fputs(out.c_str(), stdout);
  bool first = true;
  for (const auto& [path, tile] : list.tiles) {
    std::string record = first ? "{" : ",{";
    first = false;
    record += "\"path\":" + jsonString(path);
    record += ",\"frameCount\":" + std::to_string(tile.frameCount);
    record += ",\"frameRate\":" + std::to_string(tile.frameRate);
    record += ",\"required\":" + std::to_string(tile.required);
    record += ",\"fileTime\":" + std::to_string(tile.fileTime);
    record += ",\"fileSize\":" + std::to_string(tile.fileSize);
    record += ",\"signature\":{\"values\":[";
    for (std::size_t i = 0; i < tile.signature.values.size(); ++i) {
      if (i > 0) record += ",";
      record += std::to_string(static_cast<std::uint32_t>(tile.signature.values[i]));
    }
    record += "],\"rotated\":" + std::to_string(tile.signature.rotated);
    record += ",\"opaque\":" + std::to_string(tile.signature.opaque) + "}}";
    std::fputs(record.c_str(), stdout);
  }
  std::fputs("]}\n", stdout);
}

void printSummary(const TileImagesList& list) {
  std::printf("List: %s\nVersion: %d\nBlack and white: %s\n", list.filePath.c_str(),
              static_cast<int>(list.version), list.blackAndWhite ? "yes" : "no");
  const char* names[kFolderListCount] = {"Include", "Exclude", "Required", "Video"};
  for (int i = 0; i < kFolderListCount; ++i) {
    for (const auto& path : list.folderList(i)) std::printf("%s: %s\n", names[i], path.c_str());
  }
  std::printf("Tiles: %zu (%" PRIu32 " landscape, %" PRIu32 " portrait, %" PRIu32
              " landscape clips, %" PRIu32 " portrait clips)\n",
              list.tiles.size(), list.landscapeCount, list.portraitCount, list.landscapeClipCount,
              list.portraitClipCount);
}

}  // namespace

bool buildTileList(const std::string& listPath, const std::vector<std::string> (&folders)[4],
                   bool blackAndWhite) {
  TileImagesModel model;
  const std::string path = absolutePath(listPath);
  std::error_code error;
  if (std::filesystem::exists(path, error)) {
    if (!model.openList(path)) return false;
  }
  // A new list is saved under the path given (the save dialog is answered with it); an old list
  // being upgraded goes to a new ".tg4" beside it and the old file stays.
  cliDialogs().setSavePath(model.upgradeSavePath().empty() ? path : model.upgradeSavePath());
  TileImagesList& list = model.list();
  for (int index = 0; index < kFolderListCount; ++index) {
    for (const auto& entry : folders[index]) {
      const std::string absolute = absolutePath(entry);
      if (!std::filesystem::exists(absolute, error)) {
        printError("'" + entry + "' does not exist");
        return false;
      }
      if (std::filesystem::is_directory(absolute, error)) {
        if (!model.addFolderPath(static_cast<TileListView>(index), absolute)) return false;
      } else {
        addPicture(list, absolute, index);
      }
    }
  }
  if (blackAndWhite && !list.blackAndWhite) {
    list.blackAndWhite = true;
    convertSignaturesToGrey(list);
    list.modified = true;
  }
  ProgressDisplay progress;
  model.setStatusCallback(
      [&progress, &list](const std::string& text) { progress.update(text, list.percentDone); });
  if (!model.saveList(false)) return false;
  const bool saved = model.runAnalysisToEnd();
  progress.finish();
  if (!saved) return false;
  std::printf("%s\n%s\n", list.filePath.c_str(), tileCountsText(list, false).c_str());
  return true;
}

int runListBuild(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kListBuildHelp, stdout);
    return kExitOk;
  }
  std::vector<std::string> folders[kFolderListCount];
  bool blackAndWhite = false;
  std::string listPath;
  while (!args.done()) {
    const std::string argument = args.take();
    int index = -1;
    if (argument == "--include") index = kIncludeList;
    if (argument == "--exclude") index = kExcludeList;
    if (argument == "--required") index = kRequiredList;
    if (argument == "--video") index = kVideoList;
    if (index >= 0) {
      const auto value = args.value(argument);
      if (!value) return kExitUsage;
      folders[index].push_back(*value);
    } else if (argument == "--bw") {
      blackAndWhite = true;
    } else if (!argument.empty() && argument[0] != '-' && listPath.empty()) {
      listPath = argument;
    } else {
      printError("unexpected argument '" + argument + "'");
      return kExitUsage;
    }
  }
  if (listPath.empty()) {
    std::fputs(kListBuildHelp, stderr);
    return kExitUsage;
  }
  return buildTileList(listPath, folders, blackAndWhite) ? kExitOk : kExitFailed;
}

int runListInfo(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kListInfoHelp, stdout);
    return kExitOk;
  }
  bool json = false;
  std::string listPath;
  while (!args.done()) {
    const std::string argument = args.take();
    if (argument == "--json") {
      json = true;
    } else if (!argument.empty() && argument[0] != '-' && listPath.empty()) {
      listPath = argument;
    } else {
      printError("unexpected argument '" + argument + "'");
      return kExitUsage;
    }
  }
  if (listPath.empty()) {
    std::fputs(kListInfoHelp, stderr);
    return kExitUsage;
  }
  TileImagesList list;
  TileListLoad outcome = TileListLoad::Loaded;
  if (!loadTileImagesList(absolutePath(listPath), list, &outcome)) {
    showMessage(tr("Error while reading the Images List!"));
    return kExitFailed;
  }
  if (outcome != TileListLoad::Loaded) return kExitFailed;
  if (json) {
    printJson(list);
  } else {
    printSummary(list);
  }
  return kExitOk;
}

}  // namespace tg
