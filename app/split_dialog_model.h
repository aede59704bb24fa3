// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tg {

struct MosaicGeometry;
struct MosaicSettings;

/// The three ways the split dialog takes the size of one piece.
enum class SplitForm {
  Pixels,         ///< width x height of a piece in pixels
  TilesPerPiece,  ///< tiles across and down in one piece
  Pieces,         ///< number of pieces across and down the mosaic
};

/// A pair of counts or sizes, across then down.
struct SplitPair {
  std::uint64_t across = 0;
  std::uint64_t down = 0;
  friend bool operator==(const SplitPair&, const SplitPair&) = default;
};

/// The arithmetic behind the split dialog, without any window: it keeps one piece size in
/// pixels and shows it in each of the three forms, for the geometry of the mosaic being split.
///
/// A tile step is a tile plus the border after it. Tiles per piece become tiles x step pixels
/// (no wider than the mosaic), so pieces end on tile edges. A number of pieces becomes the
/// smallest piece size whose pieces still cover the mosaic: ceil(mosaic / pieces). The pieces
/// shown for a pixel size are those the renderer cuts: ceil(mosaic / piece), with a piece of 10
/// pixels or less, or wider than the mosaic, counting as the whole side. Whether a size may be
/// used is left to `acceptSplitPiece`, which `accept` calls. Any thread; one owner.
class SplitDialogModel {
 public:
  /// A model over `geometry` (copied: mosaic size, tile size and border), starting with a piece
  /// of the whole mosaic.
  explicit SplitDialogModel(const MosaicGeometry& geometry);

  /// Whether the tiles-per-piece form can be used: the cells have one tile size (cells drawn
  /// from a mask file do not, and such a mosaic has no size before its mask is read).
  [[nodiscard]] bool hasTileStep() const { return m_stepX > 0 && m_stepY > 0; }

  /// Takes a size in `form`. False, keeping the previous size, when a value is 0, or for tiles
  /// per piece without a tile step, or for pieces of a mosaic without a size.
  [[nodiscard]] bool set(SplitForm form, SplitPair value);

  /// The piece size in pixels, clamped to the 32 bits the settings store.
  [[nodiscard]] SplitPair pixels() const { return m_piece; }
  /// The piece size in tiles, rounded down to whole tiles (0 without a tile step).
  [[nodiscard]] SplitPair tilesPerPiece() const;
  /// The number of pieces the renderer makes of the mosaic with this piece size.
  [[nodiscard]] SplitPair pieces() const;
  /// The current size in `form`.
  [[nodiscard]] SplitPair value(SplitForm form) const;

  /// The dialog's OK: runs `acceptSplitPiece` for `settings` on the pixel size (its message or
  /// question goes to the user). Window thread.
  [[nodiscard]] bool accept(const MosaicSettings& settings) const;

 private:
  std::uint64_t m_mosaicWidth;
  std::uint64_t m_mosaicHeight;
  std::uint64_t m_stepX = 0;
  std::uint64_t m_stepY = 0;
  SplitPair m_piece;
};

/// Reads the size text of a split option: "WxH" (pixels), "WxHpx", "AxDtiles" (tiles per piece)
/// or "AxDpieces" (pieces across and down); 'x' in either case. Nothing when the text has
/// another shape or a number does not fit in 32 bits.
struct SplitRequest {
  SplitForm form = SplitForm::Pixels;
  SplitPair value;
};
[[nodiscard]] std::optional<SplitRequest> parseSplitRequest(std::string_view text);

}  // namespace tg
