// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "geometry/cell_grid.h"
#include "imaging/foto.h"

namespace tg {

/// Empties `grid` and fills it with one cell per coloured region of the mask picture at
/// `maskPath` (JPEG or PNG). Near-white pixels are background, near-black ones separator lines;
/// neighbouring pixels of similar colour form one region. Regions less than 12 pixels wide or
/// high count as separator, and separator lines are shared out among the regions they touch.
/// Only the top-left part of the mask with the aspect of the main image `mainWidth` x
/// `mainHeight` is used (0 x 0: the whole mask). Every cell has its box and a bitmap where the
/// box holds pixels of other regions, in mask pixels, active = 1; the cells follow the order in
/// which their regions first appear, row by row. The grid's extent becomes the used part of the
/// mask and its gap 0.
///
/// Returns true when at least one cell was created; false when the file cannot be loaded (the
/// loader tells the user), memory for the labels is missing, the mask holds no coloured region,
/// or the job in `grid.job` was asked to stop. Memory is the mask plus one 32-bit label per mask
/// pixel; the mask is released once the labels are resolved. Job thread.
[[nodiscard]] bool buildCellsFromMask(CellGrid& grid, const std::string& maskPath,
                                      std::uint32_t mainWidth, std::uint32_t mainHeight);

/// How the separator lines are dissolved. Both give the same cells; `Scan` visits every pixel
/// in every pass and is kept as the plain reference for `Front`, which visits only the pixels
/// next to the regions.
enum class SeparatorDissolving { Front, Scan };

/// `buildCellsFromMask` on a mask already in memory; takes `mask` over (it ends empty).
[[nodiscard]] bool buildCellsFromMaskImage(
    CellGrid& grid, Foto& mask, std::uint32_t mainWidth, std::uint32_t mainHeight,
    SeparatorDissolving dissolving = SeparatorDissolving::Front);

}  // namespace tg
