// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tiles/foto_info.h"

namespace tg {

/// The format version this program writes.
inline constexpr std::int32_t kTileListVersion = 119;
/// The oldest format version that can still be read.
inline constexpr std::int32_t kOldestTileListVersion = 108;

/// The four folder lists, by index (also the entry types of scanning).
enum FolderListIndex : int {
  kIncludeList = 0,   ///< folders and pictures used as tiles
  kExcludeList = 1,   ///< folders and pictures never used
  kRequiredList = 2,  ///< folders and pictures used in every mosaic
  kVideoList = 3,     ///< folders and video files used as video tiles
};
/// Number of folder lists.
inline constexpr int kFolderListCount = 4;

/// A folder list: folder paths (ending in the path separator) and single file paths, ordered by
/// the bytes of their UTF-8 text.
using FolderList = std::set<std::string>;
/// The tile collection: one record per path, ordered by the bytes of the path's UTF-8 text (case
/// matters: "A.jpg" and "a.jpg" are two tiles). Map nodes keep their address, so pointers to
/// records stay valid until the record is removed.
using TileMap = std::map<std::string, FotoInfo>;

/// The user's tile library: where tiles come from and one `FotoInfo` per usable picture or clip.
/// The list owns its records. Not copyable (the analysis position points into the collection).
///
/// Threads: owned and changed by one thread (the Tile Images window's, or the CLI's). While an
/// analysis runs (`TileAnalyser`) the collection must only change through the analyser. A mosaic
/// job reads a loaded, unchanging list from its own thread.
struct TileImagesList {
  /// File the list was last loaded from or saved to ("" for a new list).
  std::string filePath;
  /// Paths of the pictures whose analysis failed in the last analysis, after `unreadablePaths`.
  std::vector<std::string> errorPaths;
  /// What the last `buildTileCollection` found but could not read: links that lead nowhere,
  /// sub-folders it may not open.
  std::vector<std::string> unreadablePaths;
  FolderList includeList;   ///< index 0
  FolderList excludeList;   ///< index 1
  FolderList requiredList;  ///< index 2
  FolderList videoList;     ///< index 3

  // The tile collection: cleared together by `clearTiles`.
  /// Set by `numberGroups`: the final group counter − 1.
  std::uint32_t lastGroupId = 0;
  std::uint32_t rotatedCount = 0;        ///< tiles whose signature has the rotated flag
  std::uint32_t portraitClipCount = 0;   ///< rotated clips
  std::uint32_t portraitCount = 0;       ///< rotated pictures
  std::uint32_t landscapeClipCount = 0;  ///< clips that are not rotated
  std::uint32_t landscapeCount = 0;      ///< pictures that are not rotated
  /// The records, by path.
  TileMap tiles;

  /// Progress of a running analysis, 0-100.
  double percentDone = 0;
  /// The tile signatures are black and white.
  bool blackAndWhite = false;
  /// The list changed since it was loaded or saved (set on loading a list of version 117 or
  /// older).
  bool modified = false;
  /// The next record a running analysis will visit (`tiles.end()` when none).
  TileMap::iterator resumePosition;
  /// Records visited by the running analysis.
  std::size_t analysedCount = 0;
  /// Format version of the file the list came from; `kTileListVersion` for new lists.
  std::int32_t version = kTileListVersion;

  TileImagesList();
  TileImagesList(const TileImagesList&) = delete;
  TileImagesList& operator=(const TileImagesList&) = delete;

  /// The folder list with index `index` (0-3; any other value gives the Include list).
  [[nodiscard]] FolderList& folderList(int index);
  [[nodiscard]] const FolderList& folderList(int index) const;

  /// The record of exactly `path` (byte-wise match), or nullptr.
  [[nodiscard]] FotoInfo* findTile(const std::string& path);
  [[nodiscard]] const FotoInfo* findTile(const std::string& path) const;
};

/// How `loadTileImagesList` ended, for callers that need more than its result.
enum class TileListLoad {
  Loaded,          ///< the file was read
  VersionRefused,  ///< a version or format check refused the file; the list is empty
  ReadError,       ///< the file could not be read or is damaged; the list is reset
};

/// Reads the list file at `path` (any version 108..119) into `list`, replacing everything in it;
/// `filePath` becomes `path`. Lists of version 111 and older are re-rooted in the folder of
/// `path`; thumbnails of version 116 and older get their averages recomputed; the groups are
/// numbered as on load and `modified` is set for versions below 118.
///
/// A file of another version (or with wrong format checks) is refused: the user is told "This
/// file was created using a different version of Tesselograph", the list is left empty and the
/// result is still true. Any other problem (missing, short or damaged file, counts larger than
/// the file can hold) resets the list and returns false without a message: the caller shows
/// "Error while reading the Images List!". Never allocates more than the file's size justifies.
/// `outcome`, when given, tells which case happened. Thread of the list's owner.
[[nodiscard]] bool loadTileImagesList(const std::string& path, TileImagesList& list,
                                      TileListLoad* outcome = nullptr);

/// Writes `list` to `path` in the version-119 layout. The new file is written beside the old one
/// and renamed over it, so a failed save never damages an existing list. On success `filePath`
/// becomes `path`, `version` 119 and `modified` false. On failure the user is told "Unable to
/// save file '%s'" with the path, the list is unchanged and the result is false.
[[nodiscard]] bool saveTileImagesList(const std::string& path, TileImagesList& list);

/// The bytes `saveTileImagesList` writes for `list` with `filePath` = `savedPath`.
[[nodiscard]] std::string encodeTileImagesList(const TileImagesList& list,
                                               const std::string& savedPath);

/// Empties the list: no tiles, no error paths, four empty folder lists, no file, colour,
/// unmodified, version 119.
void resetTileImagesList(TileImagesList& list);

/// Inserts the folder `path` into folder list `listIndex` (0-3), with the path separator appended
/// when it does not end in one, and marks the list modified.
void addFolder(TileImagesList& list, std::string path, int listIndex);

/// Inserts the single file `path` unchanged into folder list `listIndex` (0-3) and marks the
/// list modified.
void addPicture(TileImagesList& list, const std::string& path, int listIndex);

/// Destroys every record of the tile collection and zeroes its counts (for a list that must be
/// analysed again from scratch).
void clearTiles(TileImagesList& list);

}  // namespace tg
