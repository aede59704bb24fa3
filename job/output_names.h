// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

/// A path cut into its folder and its file name without extension.
struct PathParts {
  std::string directory;  ///< everything before the last '/', without it
  std::string title;      ///< the file name without its extension
};

/// Splits `path` at its last separator: ("/a/b", "beach") for "/a/b/beach.jpg" (the extension is
/// the text after the file name's last '.', which may be empty); ("/a/b", "beach") for
/// "/a/b/beach"; a path without any separator is all directory with an empty title.
[[nodiscard]] PathParts splitPath(const std::string& path);

/// The `MosaicSubdirectory` modes.
enum class SubdirectoryMode : int { None = 1, Overwrite = 2, New = 3 };
/// The `MosaicFileName` modes.
enum class FileNameMode : int { Overwrite = 1, New = 2 };

/// The parameters that decide where a mosaic goes (a copy of the settings values it needs).
struct OutputNameRules {
  std::string mosaicDirectory;   ///< `MosaicDirectory`; empty: the main image's folder
  int subdirectory = 1;          ///< `MosaicSubdirectory` (`SubdirectoryMode`)
  int fileName = 2;              ///< `MosaicFileName` (`FileNameMode`)
  long webPageSize = 0;          ///< `WebPageSize`; a web page also asks for a fresh name
  bool individualTiles = false;  ///< `IndividualTiles`: a folder for the single tiles
};

/// Where one mosaic goes.
struct OutputNames {
  std::string directory;       ///< the folder the mosaic is written to
  std::string base;            ///< full path of the mosaic without extension
  std::string tilesDirectory;  ///< folder of the individual tiles, empty when they are off
};

/// An output path given on the command line, cut where the writer's extension goes: `base` is
/// the path without an extension that names one of the program's output formats (".jpg",
/// ".jpeg", ".tif", ".tiff", ".psb", ... in any letter case) and without a trailing '.';
/// `extension` is what was cut (empty when the name keeps its own dots, e.g. "photo.v2", or
/// has none). Only the file name is looked at, so a dotted folder ("out.d/result") stays whole.
struct ExplicitOutput {
  std::string base;
  std::string extension;
};
[[nodiscard]] ExplicitOutput splitExplicitOutput(const std::string& path);

/// Computes the output names of the mosaic of `mainImagePath` with `prefix` ("Mosaic",
/// "M01 Mosaic", ...). With `explicitOutput` (an output path given on the command line) the base
/// is that path as `splitExplicitOutput` cuts it, so the writer's extension replaces a format's
/// extension and is added to any other name, and neither a subdirectory nor a fresh name is
/// made. Otherwise the folder is the trimmed `mosaicDirectory` or the image's
/// folder; the "overwrite" and "new" subdirectory modes put the mosaic into a subfolder named
/// after the image and the prefix, "new" choosing the first such name not yet taken by a folder
/// (appending 02, 03, ...); "new" file names and web pages choose the first base that no file
/// or folder starts with in the same way. Folders (the subfolder, the tiles folder) are created
/// only when `createFolders` is set; a folder that cannot be created is left to the writers,
/// which report the failure. Reads the file system; any thread.
[[nodiscard]] OutputNames composeOutputNames(const OutputNameRules& rules,
                                             const std::string* explicitOutput,
                                             const std::string& prefix,
                                             const std::string& mainImagePath, bool createFolders);

/// True when the folder `directory` holds an entry whose name starts with `prefix` (the folder
/// search "prefix*.*"); with `directoriesOnly` only sub-folders count.
[[nodiscard]] bool folderHasEntryStartingWith(const std::string& directory,
                                              const std::string& prefix, bool directoriesOnly);

}  // namespace tg
