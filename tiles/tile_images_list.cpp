// SPDX-License-Identifier: GPL-3.0-or-later
#include "tiles/tile_images_list.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/safe_file.h"
#include "platform/text_format.h"
#include "platform/thread_text.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_groups.h"

namespace tg {
namespace {

/// Both format-check values every list file carries after its version.
constexpr std::int32_t kFormatCheck = 12;
/// Lists are read into memory whole; nothing the program writes comes near this.
constexpr std::size_t kMaxListFileBytes = std::size_t{1} << 32;
/// The 144 thumbnail words that lists of version 116 and older keep.
constexpr std::size_t kThumbnailWords =
    ImageSignature::kValueCount - ImageSignature::kFirstThumbnail;

// ---- Writing --------------------------------------------------------------------------------

class Writer {
 public:
  void u8(std::uint8_t v) { m_bytes.push_back(static_cast<char>(v)); }
  void u16(std::uint16_t v) { little(v, 2); }
  void i16(std::int16_t v) { little(static_cast<std::uint16_t>(v), 2); }
  void u32(std::uint32_t v) { little(v, 4); }
  void i32(std::int32_t v) { little(static_cast<std::uint32_t>(v), 4); }
  void i64(std::int64_t v) { little(static_cast<std::uint64_t>(v), 8); }

  /// A length of one byte below 255, else 0xFF and 16 bits below 65534, else 0xFF 0xFFFF and
  /// 32 bits; then the bytes.
  void text(std::string_view s) {
    const std::size_t n = s.size();
    if (n < 255) {
      u8(static_cast<std::uint8_t>(n));
    } else if (n < 65534) {
      u8(0xFF);
      u16(static_cast<std::uint16_t>(n));
    } else {
      u8(0xFF);
      u16(0xFFFF);
      u32(static_cast<std::uint32_t>(n));
    }
    m_bytes.append(s);
  }

  void textSet(const FolderList& set) {
    i32(static_cast<std::int32_t>(set.size()));
    for (const std::string& s : set) text(s);
  }

  std::string take() { return std::move(m_bytes); }
  void reserve(std::size_t n) { m_bytes.reserve(n); }

 private:
  void little(std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }

  std::string m_bytes;
};

// ---- Reading --------------------------------------------------------------------------------

/// A cursor over the file's bytes. Every read checks the bytes left; after the first failure
/// every further read fails too, so a record can be read straight through and checked once.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

  [[nodiscard]] bool ok() const { return m_ok; }
  [[nodiscard]] std::size_t remaining() const { return m_bytes.size() - m_pos; }

  std::uint8_t u8() { return static_cast<std::uint8_t>(little(1)); }
  std::uint16_t u16() { return static_cast<std::uint16_t>(little(2)); }
  std::int16_t i16() { return static_cast<std::int16_t>(little(2)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(little(4)); }
  std::int32_t i32() { return static_cast<std::int32_t>(little(4)); }
  std::int64_t i64() { return static_cast<std::int64_t>(little(8)); }

  std::string text() {
    std::size_t n = u8();
    if (n == 0xFF) {
      n = u16();
      if (n == 0xFFFF) n = u32();
    }
    if (!m_ok || n > remaining()) return fail(), std::string();
    std::string s(m_bytes.substr(m_pos, n));
    m_pos += n;
    return s;
  }

  /// A count that must not claim more items of at least `minBytes` each than the bytes left.
  bool count(std::size_t minBytes, std::size_t& n) {
    const std::int32_t v = i32();
    if (!m_ok || v < 0 || static_cast<std::size_t>(v) > remaining() / minBytes) {
      fail();
      return false;
    }
    n = static_cast<std::size_t>(v);
    return true;
  }

  void skip(std::size_t n) {
    if (!m_ok || n > remaining()) return fail();
    m_pos += n;
  }

  void fail() { m_ok = false; }

 private:
  std::uint64_t little(int bytes) {
    if (!m_ok || remaining() < static_cast<std::size_t>(bytes)) {
      fail();
      return 0;
    }
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      v |= static_cast<std::uint64_t>(static_cast<unsigned char>(m_bytes[m_pos + i])) << (8 * i);
    }
    m_pos += static_cast<std::size_t>(bytes);
    return v;
  }

  std::string_view m_bytes;
  std::size_t m_pos = 0;
  bool m_ok = true;
};

/// Reads a counted string, converting it from windows-1252 when `ansi`.
std::string readPath(Reader& in, bool ansi) {
  std::string s = in.text();
  if (!ansi || !in.ok()) return s;
  std::string utf8;
  if (!windows1252ToUtf8(s, utf8)) in.fail();
  return utf8;
}

/// The path of a tile of a list of version 111 or older, stored under the old root `root`, moved
/// into `folder` (the folder of the list file opened). The stored path begins with the root; the
/// rest came from Windows, so its backslashes become separators.
std::string reroot(const std::string& stored, const std::string& root, const std::string& folder) {
  std::string rest;
  if (stored.compare(0, root.size(), root) == 0) {
    rest = stored.substr(root.size());
  } else {
    // Drop as many characters as the root has, counted the way the writer counted them.
    const std::u16string wide = toUtf16(stored);
    const std::size_t drop = toUtf16(root).size();
    rest = drop < wide.size() ? fromUtf16(std::u16string_view(wide).substr(drop)) : std::string();
  }
  for (char& c : rest) {
    if (c == '\\') c = kPathSeparator;
  }
  return folder + rest;
}

/// The smallest record a file of version `v` can hold (an empty path), for plausibility checks of
/// the record count.
std::size_t minimumRecordBytes(std::int32_t v) {
  std::size_t n = 1 + 8 + 4;  // path length, fileTime, fileSize
  if (v <= 110) n += 12;
  if (v >= 111 && v <= 114) n += 1;
  if (v >= 114) n += 2;
  if (v >= 119) n += 4;
  n += 1;  // signature marker
  if (v >= 117) {
    n += ImageSignature::kValueCount * 4 + 2;
  } else {
    n += 4 + kThumbnailWords * 4;
    if (v >= 115) n += 1 + 4 + 1;
  }
  return n;
}

bool readRecord(Reader& in, std::int32_t v, const std::string& oldRoot,
                const std::string& newFolder, FotoInfo& tile) {
  const bool ansi = v <= 108;
  std::string path = readPath(in, ansi);
  if (v <= 111 && in.ok()) path = reroot(path, oldRoot, newFolder);
  tile.path = std::move(path);
  tile.fileTime = in.i64();
  tile.fileSize = in.i32();
  std::uint8_t rotated = 0;
  if (v <= 110) {
    in.i32();
    in.i32();
    rotated = in.i32() != 0 ? 1 : 0;
  } else if (v <= 114) {
    rotated = in.u8() != 0 ? 1 : 0;
  }
  tile.required = v >= 114 ? in.i16() : 0;
  if (v >= 119) {
    tile.frameCount = in.u16();
    tile.frameRate = in.u16();
  }
  ImageSignature& sig = tile.signature;
  in.u8();  // signature marker
  if (v >= 117) {
    for (Pixel& p : sig.values) p = in.u32();
    sig.rotated = in.u8() != 0 ? 1 : 0;
    sig.opaque = in.u8() != 0 ? 1 : 0;
  } else {
    in.i32();
    for (std::size_t i = ImageSignature::kFirstThumbnail; i < ImageSignature::kValueCount; ++i) {
      sig.values[i] = in.u32();
    }
    if (v >= 115) {
      rotated = in.u8() != 0 ? 1 : 0;
      in.i32();
      in.u8();  // opaque: recomputed below from the thumbnail
    }
    sig.rotated = rotated;
    recomputeAverages(sig);
  }
  sig.valid = 1;
  tile.inUse = true;
  tile.useCount = 0;
  tile.groupId = 0;
  return in.ok();
}

bool decode(std::string_view bytes, const std::string& openedPath, TileImagesList& list,
            TileListLoad& outcome) {
  Reader in(bytes);
  const std::int32_t v = in.i32();
  const std::int32_t check1 = in.i32();
  const std::int32_t check2 = in.i32();
  if (!in.ok()) return false;
  if (v > kTileListVersion || v < kOldestTileListVersion || check1 != kFormatCheck ||
      check2 != kFormatCheck) {
    outcome = TileListLoad::VersionRefused;
    return false;
  }
  list.version = v;
  list.blackAndWhite = v >= 110 ? in.u8() != 0 : false;

  std::string oldRoot;
  std::string newFolder;
  if (v >= 112) {
    in.text();  // the path the list was saved under; the path opened is what counts
    const int sets = v >= 119 ? 4 : (v >= 113 ? 3 : 1);
    const int order[] = {kIncludeList, kExcludeList, kRequiredList, kVideoList};
    for (int s = 0; s < sets && in.ok(); ++s) {
      std::size_t n = 0;
      if (!in.count(1, n)) return false;
      FolderList& target = list.folderList(order[s]);
      for (std::size_t i = 0; i < n && in.ok(); ++i) target.insert(in.text());
    }
  } else {
    oldRoot = readPath(in, v <= 108);
    std::string include = readPath(in, v <= 108);
    if (!in.ok()) return false;
    list.includeList.insert(withTrailingSeparator(std::move(include)));
    newFolder = folderOf(openedPath);
    if (newFolder.empty()) newFolder = oldRoot;
  }

  std::size_t records = 0;
  if (!in.ok() || !in.count(minimumRecordBytes(v), records)) return false;
  for (std::size_t i = 0; i < records; ++i) {
    FotoInfo tile;
    if (!readRecord(in, v, oldRoot, newFolder, tile)) return false;
    std::string key = tile.path;
    list.tiles.insert_or_assign(std::move(key), std::move(tile));
  }
  numberGroups(list, kGroupModeOnLoad);
  list.modified = v < 118;
  return true;
}

}  // namespace

TileImagesList::TileImagesList() : resumePosition(tiles.end()) {}

FolderList& TileImagesList::folderList(int index) {
  switch (index) {
    case kExcludeList:
      return excludeList;
    case kRequiredList:
      return requiredList;
    case kVideoList:
      return videoList;
    default:
      return includeList;
  }
}

const FolderList& TileImagesList::folderList(int index) const {
  return const_cast<TileImagesList*>(this)->folderList(index);
}

FotoInfo* TileImagesList::findTile(const std::string& path) {
  const auto it = tiles.find(path);
  return it == tiles.end() ? nullptr : &it->second;
}

const FotoInfo* TileImagesList::findTile(const std::string& path) const {
  const auto it = tiles.find(path);
  return it == tiles.end() ? nullptr : &it->second;
}

bool loadTileImagesList(const std::string& path, TileImagesList& list, TileListLoad* outcome) {
  TileListLoad result = TileListLoad::ReadError;
  resetTileImagesList(list);
  list.filePath = path;

  std::string bytes;
  bool ok = readWholeFile(path, kMaxListFileBytes, bytes) == ReadResult::Ok &&
            decode(bytes, path, list, result);
  if (ok) result = TileListLoad::Loaded;
  if (result == TileListLoad::VersionRefused) {
    resetTileImagesList(list);
    showMessage(tr("This file was created using a different version of Tesselograph"));
    ok = true;
  } else if (!ok) {
    resetTileImagesList(list);
  }
  if (outcome != nullptr) *outcome = result;
  return ok;
}

std::string encodeTileImagesList(const TileImagesList& list, const std::string& savedPath) {
  Writer out;
  out.reserve(64 + savedPath.size() + list.tiles.size() * 760);
  out.i32(kTileListVersion);
  out.i32(kFormatCheck);
  out.i32(kFormatCheck);
  out.u8(list.blackAndWhite ? 1 : 0);
  out.text(savedPath);
  out.textSet(list.includeList);
  out.textSet(list.excludeList);
  out.textSet(list.requiredList);
  out.textSet(list.videoList);
  out.i32(static_cast<std::int32_t>(list.tiles.size()));
  for (const auto& [key, tile] : list.tiles) {
    out.text(key);
    out.i64(tile.fileTime);
    out.i32(tile.fileSize);
    out.i16(tile.required);
    out.u16(tile.frameCount);
    out.u16(tile.frameRate);
    out.u8(1);
    for (const Pixel p : tile.signature.values) out.u32(p);
    out.u8(tile.signature.rotated != 0 ? 1 : 0);
    out.u8(tile.signature.opaque != 0 ? 1 : 0);
  }
  return out.take();
}

bool saveTileImagesList(const std::string& path, TileImagesList& list) {
  if (list.tiles.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) ||
      !writeFileSafely(path, encodeTileImagesList(list, path))) {
    showMessage(formatText(tr("Unable to save file '%s'"), path));
    return false;
  }
  list.filePath = path;
  list.version = kTileListVersion;
  list.modified = false;
  return true;
}

void resetTileImagesList(TileImagesList& list) {
  clearTiles(list);
  list.errorPaths.clear();
  list.unreadablePaths.clear();
  for (int i = 0; i < kFolderListCount; ++i) list.folderList(i).clear();
  list.filePath.clear();
  list.blackAndWhite = false;
  list.modified = false;
  list.version = kTileListVersion;
}

void addFolder(TileImagesList& list, std::string path, int listIndex) {
  if (path.empty() || path.back() != kPathSeparator) path.push_back(kPathSeparator);
  list.folderList(listIndex).insert(std::move(path));
  list.modified = true;
}

void addPicture(TileImagesList& list, const std::string& path, int listIndex) {
  list.folderList(listIndex).insert(path);
  list.modified = true;
}

void clearTiles(TileImagesList& list) {
  list.tiles.clear();
  list.resumePosition = list.tiles.end();
  list.analysedCount = 0;
  list.percentDone = 0;
  list.lastGroupId = 0;
  list.rotatedCount = 0;
  list.portraitClipCount = 0;
  list.portraitCount = 0;
  list.landscapeClipCount = 0;
  list.landscapeCount = 0;
}

}  // namespace tg
