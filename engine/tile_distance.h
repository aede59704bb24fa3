// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/comparison_settings.h"
#include "engine/tile_distance_vector.h"
#include "imaging/image_signature.h"

namespace tg {

struct FotoInfo;
struct PuzzleInfo;

/// The score of "no match": a comparison over its limit, or no tile for a cell.
inline constexpr std::uint32_t kNoMatch = 0xFFFFFFFFu;
/// The largest score a weighted comparison reports (so that `kNoMatch` keeps its meaning).
inline constexpr std::uint32_t kMaxScore = 0xFFFFFFFEu;
/// The neutral cell weight.
inline constexpr std::uint32_t kNeutralWeight = 20;

/// Which cell element each tile element lands on when a tile is placed in variant `code` (1-8,
/// the codes of `applyVariant`): entry k is the index of the tile element that the variant
/// moves to cell element k. Entry 0 is always 0. Codes outside 1-8 give the identity. Built once;
/// any thread.
[[nodiscard]] std::span<const std::uint8_t, ImageSignature::kValueCount> variantPermutation(
    int code);

/// The variant codes allowed by a `TileVariants` bit set, in the order comparisons evaluate
/// them (1, 4, 6, 5, 7, 8, 2, 3). "mirror" and "flipvertically" only add the mirrored or flipped
/// forms of the turns selected, so they allow nothing on their own.
struct VariantList {
  std::array<std::uint8_t, 8> codes{};
  std::size_t count = 0;
};
[[nodiscard]] VariantList allowedVariants(std::uint32_t variantBits);

/// Colour offsets applied to a tile, each within -255..255.
struct ColourOffsets {
  int r = 0;
  int g = 0;
  int b = 0;
  friend bool operator==(const ColourOffsets&, const ColourOffsets&) = default;
};

/// The offsets that bring the tile's overall average towards the cell's within the shift limit
/// of `settings` (the renderer applies the same offsets to the tile picture). Pure function.
[[nodiscard]] ColourOffsets colourShift(const ComparisonSettings& settings,
                                        const ImageSignature& tile, const ImageSignature& cell);
/// The same with the process-wide settings.
[[nodiscard]] ColourOffsets colourShift(const ImageSignature& tile, const ImageSignature& cell);

/// The smallest distance between `cell` and the allowed variants of `tile` that does not exceed
/// `limit` (`kNoMatch` = no limit; a distance equal to the limit is accepted), and in `variant`
/// (when given) its code. Among equal distances the variant evaluated last wins. Returns
/// `kNoMatch` with variant 0 when no variant qualifies, when no variant is allowed or when the
/// response id is not 1-3. A tile signature flagged rotated is turned back a quarter clockwise
/// before its variants are compared. Pure function of its arguments; any thread.
[[nodiscard]] std::uint32_t bestVariant(const ComparisonSettings& settings, std::uint32_t limit,
                                        const ImageSignature& cell, const ImageSignature& tile,
                                        int* variant = nullptr);
/// The same with the process-wide settings.
[[nodiscard]] std::uint32_t bestVariant(std::uint32_t limit, const ImageSignature& cell,
                                        const ImageSignature& tile, int* variant = nullptr);

/// `bestVariant` written as the plain element-by-element loop, every variant in order with the
/// running limit. The reference the fast form is tested and measured against; gives the same
/// results, only slower.
[[nodiscard]] std::uint32_t bestVariantReference(const ComparisonSettings& settings,
                                                 std::uint32_t limit, const ImageSignature& cell,
                                                 const ImageSignature& tile,
                                                 int* variant = nullptr);

/// The distance of the one allowed variant of `tile` whose overall average and blocks come
/// nearest to `cell`'s (among equal ones the one evaluated last), over all its elements and
/// without a limit, and in `variant` (when given) its code: never below `bestVariant`, and equal
/// to it wherever that variant is also the nearest over the thumbnail, as it is for most pairs.
/// About a third of the work of the full search, whose other thumbnails it never reads.
/// `kNoMatch` with variant 0 when no variant is allowed, the response id is not 1-3 or the sum
/// does not fit below `kNoMatch`. Written as the plain element-by-element loop; pure function.
[[nodiscard]] std::uint32_t blockLedVariantReference(const ComparisonSettings& settings,
                                                     const ImageSignature& cell,
                                                     const ImageSignature& tile,
                                                     int* variant = nullptr);

/// The limit handed to `bestVariant` for a cell of `weight` (1-255; 0 is taken as 1):
/// (limit x 20) / weight + 1, or `kNoMatch` when that does not fit below it; `kNoMatch` (no
/// limit) stays `kNoMatch` whatever the weight.
[[nodiscard]] std::uint32_t unweightedLimit(std::uint32_t limit, std::uint32_t weight);
/// A raw distance scaled by the cell weight: (weight x raw) / 20, at most `kMaxScore`;
/// `kNoMatch` stays `kNoMatch`.
[[nodiscard]] std::uint32_t weightedScore(std::uint32_t raw, std::uint32_t weight);

/// The cell-weighted score of `tile` for a cell with signature `cell` and `weight`, or
/// `kNoMatch` when the limit is exceeded. Any thread.
[[nodiscard]] std::uint32_t weightedDistance(const ComparisonSettings& settings,
                                             std::uint32_t limit, std::uint32_t weight,
                                             const ImageSignature& cell,
                                             const ImageSignature& tile);

/// The score of `tile` for `cell`: `weightedDistance` with the cell's weight and both
/// signatures, or `kNoMatch` when the limit is exceeded. Any thread.
[[nodiscard]] std::uint32_t tileDistance(const ComparisonSettings& settings, std::uint32_t limit,
                                         const PuzzleInfo& cell, const FotoInfo& tile);
/// The same with the process-wide settings.
[[nodiscard]] std::uint32_t tileDistance(std::uint32_t limit, const PuzzleInfo& cell,
                                         const FotoInfo& tile);
/// `bestVariant` of the two signatures without limit and without the cell weight (the report's
/// "Score" and the tile split's quality).
[[nodiscard]] std::uint32_t rawDistance(const ComparisonSettings& settings, const PuzzleInfo& cell,
                                        const FotoInfo& tile);
/// The same with the process-wide settings.
[[nodiscard]] std::uint32_t rawDistance(const PuzzleInfo& cell, const FotoInfo& tile);

/// The report's quality percentage of `score` in a mosaic whose best and worst scores are
/// `best` and `worst` (a worst of 0 is taken as 1): 100 for the best, 0 for the worst, 100 for
/// every score when best is not below worst.
[[nodiscard]] long tileQuality(std::uint32_t score, std::uint32_t best, std::uint32_t worst);

/// A tile thumbnail summed in its 16 squares of 3 x 3 pixels (sums, lowest and highest levels by
/// channel). Handed to `CellBlock::distances` with its tile, it lets the comparisons skip
/// thumbnails that cannot come within the limit; the results stay the same.
using TileSquares = vector::TileSquares;
/// The squares of `tile`'s thumbnail. Pure function; any thread.
[[nodiscard]] TileSquares tileSquares(const ImageSignature& tile);

/// The detail of a signature's 16 blocks: each block's channels less the overall average's. A
/// tile whose detail is near a cell's tends to score well for it, whatever the colour shift does
/// to the averages.
using BlockDetail = vector::BlockDetail;
/// The block detail of `signature`. Pure function; any thread.
[[nodiscard]] BlockDetail blockDetail(const ImageSignature& signature);
/// For i = 0 .. `count` - 1: in `out[i]` the smallest, over the `layoutCount` (at most 8)
/// `layouts`, of the sum of the absolute differences of `tiles[indices[i]]` and the layout.
/// With the vector loop where the processor has it; the results are the same. Any thread.
void detailDistances(const BlockDetail* tiles, const std::uint32_t* indices, std::size_t count,
                     const BlockDetail* layouts, std::size_t layoutCount, std::uint16_t* out);

namespace detail {
/// The settings' tables as the comparison loops read them (internal).
struct DistanceKernel {
  const std::uint32_t* channelR;  ///< indexed by the difference -255..255
  const std::uint32_t* channelG;
  const std::uint32_t* channelB;
  std::uint64_t reciprocal;  ///< h = (term x reciprocal) >> 32 equals term / divisor exactly
  const std::uint32_t* graded;
  std::uint32_t weightAverage;
  std::uint32_t weightBlock;
  std::uint32_t weightPixel;
};
}  // namespace detail

/// One cell prepared for comparison against many tiles: the cell's elements are laid out once
/// in the order of every variant's tile elements, so that each comparison reads both
/// signatures front to back, eight elements at a time where the processor has AVX2 (the cell
/// opaque and the settings such that the vector loop is exact). Gives exactly the results of
/// `bestVariant` / `weightedDistance`.
/// Keeps a reference to `settings`, which must outlive it and stay unchanged. Built and used on
/// any thread; a const object may be shared between threads.
class CellComparison {
 public:
  /// Which loop the comparisons may run: the vector loop where it is available and exact, or
  /// always the portable one (for tests and measurements; the results are the same).
  enum class Path { Fastest, Portable };

  CellComparison(const ComparisonSettings& settings, const ImageSignature& cell,
                 std::uint32_t weight = kNeutralWeight, Path path = Path::Fastest);

  /// `bestVariant(settings, limit, cell, tile, variant)`.
  [[nodiscard]] std::uint32_t bestVariant(std::uint32_t limit, const ImageSignature& tile,
                                          int* variant = nullptr) const;
  /// `weightedDistance(settings, limit, weight, cell, tile)`.
  [[nodiscard]] std::uint32_t distance(std::uint32_t limit, const ImageSignature& tile) const;
  /// The same with the tile's squares (`tileSquares(tile)`), which let a comparison that goes
  /// over its limit stop sooner.
  [[nodiscard]] std::uint32_t distance(std::uint32_t limit, const ImageSignature& tile,
                                       const TileSquares& squares) const;
  /// `blockLedVariantReference(settings, cell, tile, variant)` scaled by the cell weight
  /// (`weightedScore`): for tables of all pairs that may take the variant its blocks lead to
  /// in return for a third of the work.
  [[nodiscard]] std::uint32_t blockLedDistance(const ImageSignature& tile,
                                               int* variant = nullptr) const;

  [[nodiscard]] std::uint32_t weight() const { return m_weight; }
  /// Whether comparisons run the vector loop (for tests and measurements).
  [[nodiscard]] bool vectorised() const { return m_vector; }
  /// Whether comparisons given a tile's squares bound its thumbnail from below (for tests).
  [[nodiscard]] bool squaresBounded() const { return m_squareBound != nullptr; }

 private:
  friend class CellBlock;
  // `bestVariant` with the vector loop checking its bound after every `blockCheck` vectors of
  // the blocks and every `pixelCheck` vectors of the thumbnail; with the tile's `squares`
  // (may be null) a lower bound of the thumbnail's part skips variants and ends sums early.
  // With `blockLed`, `blockLedVariantReference` instead (the limit and squares unused).
  [[nodiscard]] std::uint32_t search(std::uint32_t limit, const ImageSignature& tile,
                                     const TileSquares* squares, int* variant,
                                     std::size_t blockCheck, std::size_t pixelCheck,
                                     bool blockLed = false) const;

  const ComparisonSettings& m_settings;
  std::uint32_t m_weight;
  Pixel m_average;
  VariantList m_variants;
  detail::DistanceKernel m_kernel;
  // For each allowed variant (in evaluation order) and tile orientation (plain, rotated): the
  // cell element that meets tile element j, for j = 0..160.
  std::array<std::array<std::array<Pixel, ImageSignature::kValueCount>, 8>, 2> m_laidOut{};
  // Set when the vector loop is available and exact for this cell and these settings.
  bool m_vector = false;
  vector::VectorTables m_vectorTables;
  // The thumbnail's lower bound (null when the settings do not allow it) and, for each
  // orientation and variant, the sums of the cell pixels that meet each tile square.
  const vector::SquareBound* m_squareBound = nullptr;
  std::array<std::array<vector::SquareSums, 8>, 2> m_squares{};
};

/// One tile prepared for comparison against many cells: the tile's elements are laid out once
/// in the order of the cell's elements for every variant, so that each comparison reads both
/// signatures front to back on the vector loop where the processor has it (and the cell is
/// opaque). Gives exactly the results of `weightedDistance`. Keeps references to `settings` and
/// `tile`, which must outlive it and stay unchanged. Any thread; a const object may be shared.
class TileComparison {
 public:
  TileComparison(const ComparisonSettings& settings, const ImageSignature& tile,
                 CellComparison::Path path = CellComparison::Path::Fastest);

  /// `weightedDistance(settings, limit, weight, cell, tile)`.
  [[nodiscard]] std::uint32_t distance(std::uint32_t limit, const ImageSignature& cell,
                                       std::uint32_t weight) const;

 private:
  const ComparisonSettings& m_settings;
  const ImageSignature& m_tile;
  VariantList m_variants;
  detail::DistanceKernel m_kernel;
  // For each allowed variant (in evaluation order): the tile element that meets cell element k.
  std::array<std::array<Pixel, ImageSignature::kValueCount>, 8> m_laidOut{};
  bool m_vector = false;
  vector::VectorTables m_vectorTables;
};

/// Up to `kCells` prepared cells compared with one tile signature after the other. A caller that
/// walks many tiles for many cells hands each tile signature to a block of cells instead of
/// walking all tiles once per cell: the signature is then read from memory once and compared
/// from the cache for every cell of the block, which keeps a walk over tens of thousands of
/// tiles from waiting on memory. The vector loop checks its bound once after the 16 block
/// elements and then every 32 thumbnail elements, which costs fewer checks than the single
/// comparisons make while the first elements already reject most tiles. Results are exactly
/// those of `CellComparison::distance` for each cell.
/// Keeps pointers to the comparisons, which must outlive it. Built and used on any thread; a
/// const object may be shared between threads.
class CellBlock {
 public:
  static constexpr std::size_t kCells = 16;

  /// The block of `cells` (at most `kCells`; further ones are ignored).
  explicit CellBlock(std::span<const CellComparison* const> cells);

  [[nodiscard]] std::size_t size() const { return m_count; }
  /// For each cell i of the block: `out[i] = cell i.distance(limits[i], tile)`. `limits` and
  /// `out` hold `size()` values.
  void distances(const ImageSignature& tile, const std::uint32_t* limits, std::uint32_t* out) const;
  /// The same with the tile's squares (`tileSquares(tile)`), which lets most comparisons that
  /// go over their limit stop sooner; the results are the same.
  void distances(const ImageSignature& tile, const TileSquares& squares,
                 const std::uint32_t* limits, std::uint32_t* out) const;
  /// For each cell i of the block: `out[i] = cell i.blockLedDistance(tile)`.
  void blockLedDistances(const ImageSignature& tile, std::uint32_t* out) const;

 private:
  std::array<const CellComparison*, kCells> m_cells{};
  std::size_t m_count = 0;
  // The cells whose overall averages are checked together (a bit per cell), their averages and
  // the tables and settings they share.
  std::uint32_t m_averaged = 0;
  vector::AverageLanes m_averages{};
  const vector::VectorTables* m_averageTables = nullptr;
  const ComparisonSettings* m_averageSettings = nullptr;
};

}  // namespace tg
