// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace tg {

struct Foto;
struct PuzzleInfo;

/// The finished pictures of the still cells of one video mosaic save, kept from one output
/// frame to the next.
///
/// A video mosaic renders the whole mosaic once per output frame, yet a cell whose tile is a
/// photograph shows the same pixels in every frame: decoding, scaling and recolouring it again
/// for each frame is wasted work, and the larger part of it when the photographs are big. The
/// renderer keeps each such cell's picture, ready to paste (colour change and shape applied),
/// for the rest of the save, up to `budgetBytes` of pixels. Once the budget is used up, further
/// cells are rendered anew in every frame: cells are visited in the same order in every frame,
/// so keeping the first ones beats evicting the least recently used, which would miss on every
/// cell of a frame larger than the budget.
///
/// Threads: any; the render jobs of one band look up and keep their own cells concurrently.
class StillCellCache {
 public:
  explicit StillCellCache(std::uint64_t budgetBytes) : m_budget(budgetBytes) {}
  StillCellCache(const StillCellCache&) = delete;
  StillCellCache& operator=(const StillCellCache&) = delete;

  /// The kept picture of `cell`, or null.
  [[nodiscard]] std::shared_ptr<const Foto> find(const PuzzleInfo* cell);
  /// Keeps `picture` (never changed afterwards) for `cell` when its pixels fit in what is left
  /// of the budget and the cell has none kept yet. True when kept.
  bool keep(const PuzzleInfo* cell, std::shared_ptr<const Foto> picture);

  /// Bytes of pixels kept.
  [[nodiscard]] std::uint64_t bytes() const;
  /// Cells with a kept picture.
  [[nodiscard]] std::size_t cells() const;
  /// Pictures handed out by `find` so far (each one a cell not rendered again).
  [[nodiscard]] std::uint64_t reuses() const;

 private:
  mutable std::mutex m_lock;
  std::uint64_t m_budget;
  std::uint64_t m_bytes = 0;
  std::uint64_t m_reuses = 0;
  std::unordered_map<const PuzzleInfo*, std::shared_ptr<const Foto>> m_pictures;
};

}  // namespace tg
