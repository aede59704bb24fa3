// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace tg {

struct CellGrid;
struct MatchingContext;

/// The smallest and largest width of the page's mosaic image.
inline constexpr long kWebPageMinSize = 10;
inline constexpr long kWebPageMaxSize = 100000;

/// The width of the page's mosaic image for the setting `WebPageSize`: within 10..100,000.
[[nodiscard]] long webPageImageWidth(long webPageSize);

/// The size of the pop-up preview of a tile of `width` x `height` on a page `pageWidth` wide:
/// both sides halved together until neither exceeds half the page width.
struct PopUpSize {
  long width = 0;
  long height = 0;
};
[[nodiscard]] PopUpSize popUpSize(long width, long height, long pageWidth);

/// The name a tile gets in the page's "tiles" folder: its full path with every ':', '\' and '/'
/// turned into '_', cut to 200 characters (and to at most 250 bytes, never inside a character),
/// with "001" in front when shorter than 5 characters.
[[nodiscard]] std::string flattenedTileName(const std::string& path);

/// `path` as a "file://" URL, each byte outside the unreserved URL characters and '/'
/// percent-encoded (spaces, '#', '%', quotes and non-ASCII letters included). A relative path is
/// made absolute first.
[[nodiscard]] std::string fileUrl(const std::string& path);

/// Writes the web page of `grid` into `folder` (created when missing; an existing folder is used
/// as it is): "index.html" with the mosaic reduced to `webPageImageWidth(webPageSize)` pixels
/// ("mosaic.jpg", from the picture at `savedMosaicPath`) and an image map with one area per cell
/// that has a tile, whose link opens the tile and whose hover shows it in a pop-up. With
/// `copyTiles` the tile pictures are copied (never over an existing file) into the subfolder
/// "tiles" and linked there; otherwise, and for every tile that cannot be copied, the link is
/// the tile's own file.
///
/// When the mosaic cannot be loaded, reduced or saved, the user is told once and the page shows
/// the full mosaic from where it is. `stopFlag` (may be null) is polled once per cell; a stop
/// ends the list of areas early and the page is still completed and counts as written. Returns
/// false only when "index.html" cannot be created or written, in which case an older page there
/// is left whole. Texts written into the page are escaped for HTML and links percent-encoded,
/// so any file name gives a valid page with working links. Job thread.
[[nodiscard]] bool writeWebPage(const CellGrid& grid, const std::string& savedMosaicPath,
                                const std::string& folder, long webPageSize,
                                const std::atomic<std::uint32_t>* stopFlag, bool copyTiles);

/// The web page stage of a job, in the form of `ProductionStages::WebPageHook`: `writeWebPage`
/// of the context's grid for the first of the job's saved pieces (false without one), polling
/// the job's stop flag. Job thread.
[[nodiscard]] bool writeWebPageStage(MatchingContext& context, const std::string& folder,
                                     long webPageSize, bool copyTiles);

}  // namespace tg
