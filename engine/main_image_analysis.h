// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tg {

struct CellGrid;
struct Foto;

/// The number of grid units (columns or rows) that cover `imageSize` pixels at `scale` pixels
/// per unit: trunc(min(gridExtent, imageSize / scale + 0.9999)). The 0.9999 keeps a grid edge
/// that falls exactly on the image edge from adding a partial column or row.
[[nodiscard]] std::uint32_t coveredGridSize(std::uint32_t gridExtent, double imageSize,
                                            double scale);

/// Gives every cell of `grid` the signature (fit mode) of the part of `image` it covers and
/// removes the cells that get none.
///
/// The grid's extent (the largest right and bottom edge of its active, non-empty cells) is laid
/// over the image so that the whole image lies inside the grid, or with `fitGridInsideImage` so
/// that the grid lies inside the image; the grid's column and row counts become the part of the
/// grid that covers the image. With `onlyMissing` cells whose signature is already valid keep
/// it and their active flag. Every other cell is analysed; a cell that shows nothing of the
/// image is destroyed, the last entry of the list taking its place (so the order of the cells
/// changes), and it is taken out of every other cell's neighbour list first.
///
/// With `grid.job` set it runs progress stage 3 over the number of cells with the status
/// "Analyzing Main Image..." and polls the stop flag once per cell. Returns false, before any
/// cell is touched, when the grid has no active non-empty cell or the scale is not positive,
/// and false when stopped (the cells visited so far keep their new state; nothing is removed).
/// Job thread; the grid is not shared while it runs.
[[nodiscard]] bool analyzeMainImage(const Foto& image, CellGrid& grid, bool fitGridInsideImage,
                                    bool onlyMissing);

}  // namespace tg
