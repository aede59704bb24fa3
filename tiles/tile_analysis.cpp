// SPDX-License-Identifier: GPL-3.0-or-later
#include "tiles/tile_analysis.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <set>
#include <utility>
#include <vector>

#include "imaging/image_file.h"
#include "imaging/image_signature.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/safe_file.h"
#include "platform/text_format.h"
#include "platform/ticks.h"
#include "tiles/tile_groups.h"
#include "video/tile_picture.h"

namespace tg {
namespace {

/// Lists older than this keep no reliable stamp for large or black-and-white pictures.
constexpr std::int32_t kReliableStampVersion = 116;
/// Largest picture of an older list whose unchanged stamp is trusted.
constexpr std::uint64_t kTrustedOldPicturePixels = 3000000;

/// RAII for a directory stream.
class Directory {
 public:
  explicit Directory(const std::string& path)
      : m_dir(::opendir(path.empty() ? "." : path.c_str())) {}
  ~Directory() {
    if (m_dir != nullptr) ::closedir(m_dir);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  [[nodiscard]] bool isOpen() const { return m_dir != nullptr; }
  /// The next name, or nullptr at the end.
  const char* next() {
    const dirent* entry = ::readdir(m_dir);
    return entry != nullptr ? entry->d_name : nullptr;
  }

 private:
  DIR* m_dir;
};

struct Scan {
  TileImagesList& list;
  int type;
  std::string_view extensions;
  std::set<std::string>* excluded;
  /// Folders (device, inode) already scanned for this entry: a link back to a parent folder
  /// must not make the scan endless.
  std::set<std::pair<dev_t, ino_t>> visited;
  /// Links that lead nowhere and folders that cannot be opened, for the errors file.
  std::vector<std::string>* unreadable;
};

void addOrUpdate(Scan& scan, const std::string& path) {
  const bool excluded = scan.type == kExcludeList;
  const bool required = scan.type == kRequiredList;
  if (excluded) scan.excluded->insert(path);
  if (FotoInfo* tile = scan.list.findTile(path)) {
    tile->inUse = !excluded;
    if (required) tile->required = 1;
    return;
  }
  FotoInfo tile;
  tile.path = path;
  tile.inUse = !excluded;
  tile.required = required ? 1 : 0;
  tile.frameRate = scan.type == kVideoList ? 1 : 0;
  scan.list.tiles.emplace(path, std::move(tile));
}

/// Scans the entry `entry`: every name of its folder that starts with its file-name part (all
/// names for a folder entry, which ends in the separator). Files first, then sub-folders.
void scanEntry(Scan& scan, const std::string& entry) {
  const std::string folder = folderOf(entry);
  const std::string prefix = fileNameOf(entry);
  struct stat folderInfo {};
  if (::stat(folder.empty() ? "." : folder.c_str(), &folderInfo) == 0 && prefix.empty() &&
      !scan.visited.emplace(folderInfo.st_dev, folderInfo.st_ino).second) {
    return;
  }

  std::vector<std::string> files;
  std::vector<std::string> folders;
  {
    Directory dir(folder);
    if (!dir.isOpen()) {
      if (errno != ENOENT && errno != ENOTDIR && scan.type != kExcludeList) {
        scan.unreadable->push_back(folder);
      }
      return;
    }
    while (const char* raw = dir.next()) {
      const std::string_view name(raw);
      if (name == "." || name == ".." || name.substr(0, prefix.size()) != prefix) continue;
      const std::string path = folder + std::string(name);
      struct stat info {};
      if (::stat(path.c_str(), &info) != 0) {
        if (scan.type != kExcludeList && hasExtensionFrom(name, scan.extensions)) {
          scan.unreadable->push_back(path);
        }
        continue;
      }
      if (S_ISDIR(info.st_mode)) {
        folders.push_back(path);
      } else if (S_ISREG(info.st_mode) && hasExtensionFrom(name, scan.extensions)) {
        // Only regular files are tiles: a FIFO or device named like a picture would block.
        files.push_back(path);
      }
    }
  }
  for (const std::string& path : files) addOrUpdate(scan, path);
  for (const std::string& path : folders) scanEntry(scan, withTrailingSeparator(path));
}

/// Whether some Include, Required or Video entry reaches `path` (as a folder above it or as the
/// file itself).
bool listedByEntry(const TileImagesList& list, const std::string& path) {
  for (const int index : {kIncludeList, kRequiredList, kVideoList}) {
    for (const std::string& entry : list.folderList(index)) {
      if (path.compare(0, entry.size(), entry) == 0) return true;
    }
  }
  return false;
}

bool fileIsMissing(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

std::string upperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

bool hasExtensionFrom(std::string_view fileName, std::string_view extensionSet) {
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string key = "|" + upperAscii(fileName.substr(dot + 1)) + "|";
  return key.size() > 2 && extensionSet.find(key) != std::string_view::npos;
}

void buildTileCollection(TileImagesList& list) {
  list.modified = true;
  for (auto& [path, tile] : list.tiles) {
    tile.inUse = false;
    tile.required = 0;
  }
  std::set<std::string> excluded;
  list.unreadablePaths.clear();
  for (const int type : {kIncludeList, kRequiredList, kExcludeList, kVideoList}) {
    const std::string_view extensions = type == kVideoList ? kVideoExtensions : kPictureExtensions;
    for (const std::string& entry : list.folderList(type)) {
      Scan scan{list, type, extensions, &excluded, {}, &list.unreadablePaths};
      scanEntry(scan, entry);
    }
  }
  // Tiles no list reaches any more and excluded tiles go. A tile that a list still names but
  // whose file has gone stays, unused, so that the analysis reports it as unusable.
  for (auto it = list.tiles.begin(); it != list.tiles.end();) {
    const FotoInfo& tile = it->second;
    const bool vanished = !tile.inUse && excluded.count(tile.path) == 0 &&
                          listedByEntry(list, tile.path) && fileIsMissing(tile.path);
    it = tile.inUse || vanished ? std::next(it) : list.tiles.erase(it);
  }
  list.errorPaths = list.unreadablePaths;
  list.resumePosition = list.tiles.end();
}

void prepareAnalysis(TileImagesList& list) {
  list.resumePosition = list.tiles.begin();
  list.analysedCount = 0;
  list.percentDone = 0;
  list.modified = true;
}

bool analyseTile(FotoInfo& tile, bool blackAndWhite, std::int32_t version, bool* longClip,
                 bool* decoded) {
  if (decoded != nullptr) *decoded = false;
  struct stat info {};
  if (::stat(tile.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    tile.inUse = false;
    return false;
  }
  const std::int64_t modified = info.st_mtim.tv_sec;
  // Only the low 32 bits of the size are stored; compare those, so that files of 2 GiB and more
  // are recognised as unchanged too.
  const auto lowSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(info.st_size));
  if (modified == tile.fileTime && lowSize == tile.fileSize) {
    if (version >= kReliableStampVersion) return true;
    // Only a JPEG header vouches for an old record; PNG pictures are analysed again.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!blackAndWhite && !hasExtensionFrom(fileNameOf(tile.path), "|PNG|") &&
        readImageSize(tile.path, width, height) &&
        static_cast<std::uint64_t>(width) * height <= kTrustedOldPicturePixels) {
      return true;
    }
  }

  tile.fileTime = modified;
  tile.fileSize = lowSize;
  if (decoded != nullptr) *decoded = true;
  Foto picture;
  if (tile.isClip()) {
    const bool firstOpening = tile.frameCount == 0;
    bool isLong = false;
    if (!loadTilePicture(TileSource{tile.path, tile.frameCount, tile.frameRate}, picture,
                         kAnalysisFitSide, kAnalysisFitSide, 1, 0, &isLong) ||
        !fitWithin(picture, kAnalysisFitSide, kAnalysisFitSide)) {
      return false;
    }
    if (longClip != nullptr && firstOpening && isLong) *longClip = true;
  } else if (!loadImageFile(picture, tile.path, kAnalysisFitSide, kAnalysisFitSide, false)) {
    return false;
  }
  // The tile counts as usable once its picture loaded, whatever the signature gave.
  if (buildSignature(picture, true, tile.signature) && blackAndWhite) {
    signatureToGrey(tile.signature);
  }
  return true;
}

void recordAnalysedTile(TileImagesList& list, bool usable) {
  if (list.resumePosition == list.tiles.end()) return;
  list.resumePosition->second.inUse = usable;
  ++list.resumePosition;
  ++list.analysedCount;
  list.percentDone =
      static_cast<double>(list.analysedCount) * 100.0 / static_cast<double>(list.tiles.size());
  if (list.resumePosition == list.tiles.end()) removeDroppedTiles(list);
}

bool runAnalysisSlice(TileImagesList& list, std::uint32_t* longClips,
                      std::uint32_t budgetMilliseconds) {
  const std::uint32_t start = tickCount();
  while (list.resumePosition != list.tiles.end()) {
    bool isLong = false;
    const bool usable =
        analyseTile(list.resumePosition->second, list.blackAndWhite, list.version, &isLong);
    if (isLong && longClips != nullptr) ++*longClips;
    recordAnalysedTile(list, usable);
    if (tickCount() - start >= budgetMilliseconds) break;
  }
  if (list.resumePosition != list.tiles.end()) return true;
  if (list.tiles.empty()) removeDroppedTiles(list);
  numberGroups(list, kGroupModeOnLoad);
  return false;
}

void removeDroppedTiles(TileImagesList& list) {
  list.errorPaths = list.unreadablePaths;
  const bool atEnd = list.resumePosition == list.tiles.end();
  for (auto it = list.tiles.begin(); it != list.tiles.end();) {
    if (it->second.inUse) {
      ++it;
      continue;
    }
    if (it == list.resumePosition) ++list.resumePosition;
    list.errorPaths.push_back(it->first);
    it = list.tiles.erase(it);
  }
  if (atEnd) list.resumePosition = list.tiles.end();
}

std::string errorReportPath(const std::string& listPath) { return listPath + ".imageErrors.txt"; }

bool writeErrorReport(TileImagesList& list, const std::string& path) {
  std::string text = "\xEF\xBB\xBF";
  for (const std::string& entry : list.errorPaths) {
    text += entry;
    text += "\r\n";
  }
  if (!writeFileSafely(path, text)) return false;
  list.errorPaths.clear();
  return true;
}

void convertSignaturesToGrey(TileImagesList& list) {
  for (auto& [path, tile] : list.tiles) signatureToGrey(tile.signature);
}

std::string tileCountsText(const TileImagesList& list, bool analysing) {
  if (list.tiles.empty()) return tr("No Images are loaded. Please add a Folder to the Folder List");
  struct Count {
    std::uint32_t value;
    const char* singular;
    const char* plural;
  };
  const Count counts[] = {
      {list.landscapeCount, NP_("%ld Landscape image", "%ld Landscape images")},
      {list.portraitCount, NP_("%ld Portrait image", "%ld Portrait images")},
      {list.landscapeClipCount, NP_("%ld Landscape videoclip", "%ld Landscape videoclips")},
      {list.portraitClipCount, NP_("%ld Portrait videoclip", "%ld Portrait videoclips")},
  };
  std::string text;
  for (const Count& count : counts) {
    if (count.value == 0) continue;
    if (!text.empty()) text += ", ";
    text +=
        formatText(trn(count.singular, count.plural, count.value), static_cast<long>(count.value));
  }
  text += analysing || list.modified ? tr(". Remember to Save the Images List!") : ".";
  return text;
}

}  // namespace tg
