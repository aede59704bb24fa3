// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tiles/tile_images_list.h"

namespace tg {

/// Extensions of the files taken as pictures, upper-cased between vertical bars.
inline constexpr const char* kPictureExtensions = "|JPG|JPEG|JPE|PNG|";
/// Extensions of the files taken as video clips: also the containers phones and cameras write
/// today (MP4, M4V, MKV, WEBM), which the video layer reads like the others.
inline constexpr const char* kVideoExtensions = "|AVI|DIVX|XVID|MOV|MPG|MP4|M4V|MKV|WEBM|";
/// Side of the square pictures are fitted into for analysis.
inline constexpr std::uint32_t kAnalysisFitSide = 48;
/// Elapsed time after which an analysis slice stops.
inline constexpr std::uint32_t kAnalysisSliceMilliseconds = 400;

/// Whether the name `fileName` has an extension from `extensionSet` (one of the sets above): the
/// text after its last dot, upper-cased. A name without a dot, or whose only dot is its first
/// character, has none.
[[nodiscard]] bool hasExtensionFrom(std::string_view fileName, std::string_view extensionSet);

/// Scans the four folder lists and updates the tile collection: every tile is first marked
/// unused and not required; then the entries of Include, Required, Exclude and Video are scanned
/// in that order (folders recursively; pictures for the first three, clips for Video) and every
/// file found is added or updated (excluded ones marked unused, required ones required). Tiles
/// that no list reaches any more and excluded tiles are then destroyed, except tiles that a list
/// still names but whose file has gone: they stay, unused, so that the analysis reports them in
/// the error report. Marks the list modified. Thread of the list's owner.
void buildTileCollection(TileImagesList& list);

/// Starts an analysis: resumePosition at the first tile, analysedCount and percentDone 0, list
/// marked modified.
void prepareAnalysis(TileImagesList& list);

/// Analyses one tile: examines the file and, unless it is unchanged since the last analysis,
/// stores its new time and size, loads it (pictures fitted to 48 x 48, clips through
/// `loadTilePicture` with their first frame, fitted likewise) and builds its square-mode
/// signature, grey when `blackAndWhite`. Unchanged files are skipped (for lists of `version`
/// 115 and older only in colour lists, and only JPEG pictures of at most 3,000,000 pixels; the
/// size compared is the low 32 bits the record keeps). Returns whether the
/// tile is usable, setting inUse to false for a file that cannot be examined. `longClip`, when
/// given, is set when a clip opened for the first time has more than 2700 frames; `decoded`, when
/// given, is set when the file was loaded. No message. Any thread, one call per record at a time.
[[nodiscard]] bool analyseTile(FotoInfo& tile, bool blackAndWhite, std::int32_t version,
                               bool* longClip = nullptr, bool* decoded = nullptr);

/// Records the outcome of visiting the tile at resumePosition: advances resumePosition, sets the
/// tile's inUse to `usable`, counts it and updates percentDone; after the last tile it calls
/// `removeDroppedTiles`.
void recordAnalysedTile(TileImagesList& list, bool usable);

/// Analyses tiles on the calling thread from resumePosition for at most `budgetMilliseconds`.
/// Returns true while tiles remain; false once the collection is complete, after the unusable
/// tiles have been removed and the groups numbered in mode 4. `longClips` counts the long clips
/// met. For a faster analysis on a worker pool use `TileAnalyser`.
[[nodiscard]] bool runAnalysisSlice(TileImagesList& list, std::uint32_t* longClips = nullptr,
                                    std::uint32_t budgetMilliseconds = kAnalysisSliceMilliseconds);

/// Sets errorPaths to unreadablePaths, then destroys every tile whose inUse is false, recording
/// its path in errorPaths first.
void removeDroppedTiles(TileImagesList& list);

/// The error report of the list file `listPath`: `listPath` + ".imageErrors.txt".
[[nodiscard]] std::string errorReportPath(const std::string& listPath);

/// Writes errorPaths to `path` (UTF-8 with a byte-order mark, each path followed by CR LF) and
/// clears them. False, keeping errorPaths, when the file cannot be written. No message.
[[nodiscard]] bool writeErrorReport(TileImagesList& list, const std::string& path);

/// Converts every tile signature to black and white (`signatureToGrey`).
void convertSignaturesToGrey(TileImagesList& list);

/// The Tile Images window's status line for `list`: the non-zero landscape, portrait and clip
/// counts joined with ", ", then ". Remember to Save the Images List!" when `analysing` or the
/// list is modified, else "."; without tiles "No Images are loaded. Please add a Folder to the
/// Folder List".
[[nodiscard]] std::string tileCountsText(const TileImagesList& list, bool analysing);

}  // namespace tg
