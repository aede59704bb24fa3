// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/tile_distance.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

#include "engine/tile_distance_vector.h"
#include "geometry/puzzle_info.h"
#include "tiles/foto_info.h"

namespace tg {

namespace {

constexpr std::size_t kValues = ImageSignature::kValueCount;
constexpr std::size_t kFirstBlock = ImageSignature::kFirstBlock;
constexpr std::size_t kFirstPixel = ImageSignature::kFirstThumbnail;

using Permutation = std::array<std::uint8_t, kValues>;

// The source position (in the tile) of cell position (x, y) on a square of side n + 1.
void sourcePosition(int code, int x, int y, int n, int& sx, int& sy) {
  switch (code) {
    case 2:
      sx = n - x, sy = y;
      return;
    case 3:
      sx = x, sy = n - y;
      return;
    case 4:
      sx = n - x, sy = n - y;
      return;
    case 5:
      sx = y, sy = n - x;
      return;
    case 6:
      sx = n - y, sy = x;
      return;
    case 7:
      sx = y, sy = x;
      return;
    case 8:
      sx = n - y, sy = n - x;
      return;
    default:
      sx = x, sy = y;
      return;
  }
}

Permutation buildPermutation(int code) {
  Permutation p{};
  p[0] = 0;
  for (int by = 0; by < 4; ++by) {
    for (int bx = 0; bx < 4; ++bx) {
      int sx = 0;
      int sy = 0;
      sourcePosition(code, bx, by, 3, sx, sy);
      p[kFirstBlock + bx + 4 * by] = static_cast<std::uint8_t>(kFirstBlock + sx + 4 * sy);
    }
  }
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      int sx = 0;
      int sy = 0;
      sourcePosition(code, x, y, 11, sx, sy);
      p[kFirstPixel + x + 12 * y] = static_cast<std::uint8_t>(kFirstPixel + sx + 12 * sy);
    }
  }
  return p;
}

// [0][code]: the plain tables; [1][code]: the tables for a tile stored a quarter turn
// counter-clockwise, which is first turned back clockwise (code 5) and then put in variant code.
struct PermutationTables {
  std::array<std::array<Permutation, 9>, 2> table{};
  PermutationTables() {
    for (int code = 0; code <= 8; ++code) table[0][code] = buildPermutation(code);
    const Permutation& turn = table[0][5];
    for (int code = 0; code <= 8; ++code) {
      for (std::size_t k = 0; k < kValues; ++k) table[1][code][k] = turn[table[0][code][k]];
    }
  }
};

const PermutationTables& permutations() {
  static const PermutationTables tables;
  return tables;
}

const Permutation& permutationFor(bool rotated, int code) {
  return permutations().table[rotated ? 1 : 0][code];
}

inline ColourOffsets shiftBetween(const ComparisonSettings& s, Pixel tileAverage,
                                  Pixel cellAverage) {
  const int dR = static_cast<int>(pixelRed(cellAverage)) - static_cast<int>(pixelRed(tileAverage));
  const int dG =
      static_cast<int>(pixelGreen(cellAverage)) - static_cast<int>(pixelGreen(tileAverage));
  const int dB =
      static_cast<int>(pixelBlue(cellAverage)) - static_cast<int>(pixelBlue(tileAverage));
  const int luminance = (30 * dR + 59 * dG + 11 * dB) / 100;
  const int g = (2 * s.clampShift(luminance)) / 3;
  return {g + s.clampShift(dR - g) / 3, g + s.clampShift(dG - g) / 3, g + s.clampShift(dB - g) / 3};
}

bool responseKnown(int response) {
  return response == kResponseStronger || response == kResponseBest || response == kResponseWeaker;
}

// ---- The fast form ---------------------------------------------------------------------------
//
// The sum over the elements only grows, so whether a variant stays within a bound depends only
// on its complete sum; the order of the elements and how often the bound is checked change the
// work done, never the result. The fast form uses that freedom: it shares the overall average
// (the same for every variant), sums the blocks of every allowed variant first, and then
// completes the variants from the most promising one, with a bound that keeps the rule "the
// smallest distance wins, and among equal ones the variant evaluated last".

using Kernel = detail::DistanceKernel;

// floor(2^32 / d) + 1: channel cost sums stay below 2^17 (255 x 100 x 3), far below where this
// stops giving exact quotients. The usual divisors are looked up instead of divided.
std::uint64_t reciprocalOf(std::uint32_t divisor) {
  static const auto table = [] {
    std::array<std::uint64_t, 129> values{};
    for (std::uint32_t d = 1; d < values.size(); ++d) values[d] = (std::uint64_t{1} << 32) / d + 1;
    return values;
  }();
  if (divisor == 0) divisor = 1;
  return divisor < table.size() ? table[divisor] : (std::uint64_t{1} << 32) / divisor + 1;
}

Kernel makeKernel(const ComparisonSettings& s) {
  Kernel k{};
  k.channelR = s.channelTableR.data() + kChannelTableReach;
  k.channelG = s.channelTableG.data() + kChannelTableReach;
  k.channelB = s.channelTableB.data() + kChannelTableReach;
  k.reciprocal = reciprocalOf(s.divisor);
  k.graded = gradedTable().data();
  k.weightAverage = s.weightAverage;
  k.weightBlock = s.weightBlock;
  k.weightPixel = s.weightPixel;
  return k;
}

template <int Response>
inline std::uint64_t elementCost(const Kernel& k, const ColourOffsets& shift, Pixel c, Pixel t,
                                 std::uint32_t weight) {
  const int tr = levelClamp(static_cast<int>(t & 0xFFu) + shift.r);
  const int tgr = levelClamp(static_cast<int>((t >> 8) & 0xFFu) + shift.g);
  const int tb = levelClamp(static_cast<int>((t >> 16) & 0xFFu) + shift.b);
  const std::uint32_t term = k.channelR[static_cast<int>(c & 0xFFu) - tr] +
                             k.channelG[static_cast<int>((c >> 8) & 0xFFu) - tgr] +
                             k.channelB[static_cast<int>((c >> 16) & 0xFFu) - tb];
  const auto h = static_cast<std::uint32_t>((term * k.reciprocal) >> 32);
  std::uint32_t response;
  if constexpr (Response == kResponseStronger) {
    response = h * h;
  } else if constexpr (Response == kResponseBest) {
    response = k.graded[std::min<std::uint32_t>(h, kGradedTableSize - 1)];
  } else {
    response = h;
  }
  std::uint64_t v = static_cast<std::uint32_t>(response * weight);
  const std::uint32_t transparency = c >> 24;
  if (transparency != 0) v -= (v * transparency) / 255;
  return v;
}

// The element sums of the variants of one comparison, element by element. The cell element
// that meets tile element j is read through the variant's permutation (`perms[i]`, cell in its
// own order: cell element e meets tile element perms[i][e]) or, without permutations, from the
// cell laid out in the tile's order (`cells[i][j]`).
template <int Response>
struct ScalarSums {
  const Kernel& k;
  ColourOffsets shift;
  const Pixel* const* cells;
  const std::uint8_t* const* perms;  // null: laid out
  const Pixel* tile;

  [[nodiscard]] std::uint64_t average() const {
    return elementCost<Response>(k, shift, cells[0][0], tile[0], k.weightAverage);
  }
  [[nodiscard]] std::uint64_t blocks(std::size_t i, std::uint64_t sum, std::uint64_t bound) const {
    return range(i, kFirstBlock, kFirstPixel, k.weightBlock, sum, bound, 1);
  }
  [[nodiscard]] std::uint64_t pixels(std::size_t i, std::uint64_t sum, std::uint64_t bound) const {
    return range(i, kFirstPixel, kValues, k.weightPixel, sum, bound, 12);
  }

 private:
  [[nodiscard]] std::uint64_t range(std::size_t i, std::size_t from, std::size_t to,
                                    std::uint32_t weight, std::uint64_t sum, std::uint64_t bound,
                                    std::size_t checkEvery) const {
    const Pixel* cell = cells[i];
    const std::uint8_t* perm = perms != nullptr ? perms[i] : nullptr;
    for (std::size_t e = from; e < to; e += checkEvery) {
      const std::size_t end = std::min(to, e + checkEvery);
      if (perm != nullptr) {
        for (std::size_t x = e; x < end; ++x) {
          sum += elementCost<Response>(k, shift, cell[x], tile[perm[x]], weight);
        }
      } else {
        for (std::size_t x = e; x < end; ++x) {
          sum += elementCost<Response>(k, shift, cell[x], tile[x], weight);
        }
      }
      if (sum > bound) return sum;
    }
    return sum;
  }
};

// The same sums eight elements at a time (opaque cells). Variant i pairs `cells[i][j]` with
// `tiles[i][j]`: one side is laid out in the other's order for that variant, the other read as
// it is.
template <int Response>
struct VectorSums {
  const Kernel& k;
  const vector::VectorTables& tables;
  ColourOffsets shift;
  vector::VectorShift vectorShift;
  const Pixel* const* cells;
  const Pixel* const* tiles;
  std::size_t blockCheck;  // vectors between bound checks in the blocks
  std::size_t pixelCheck;  // and in the thumbnail
  // The thumbnail's lower bound: null when not used. The square sums of the cell pixels that
  // meet the tile's squares in each variant, and the tile's squares.
  const vector::SquareBound* squareBound = nullptr;
  const vector::SquareSums* const* cellSquares = nullptr;
  const vector::TileSquares* tileSquares = nullptr;

  [[nodiscard]] std::uint64_t average() const {
    return elementCost<Response>(k, shift, cells[0][0], tiles[0][0], k.weightAverage);
  }
  [[nodiscard]] std::uint64_t blocks(std::size_t i, std::uint64_t sum, std::uint64_t bound) const {
    return vector::sumVectorsAvx2(tables, cells[i] + kFirstBlock, tiles[i] + kFirstBlock, 2,
                                  k.weightBlock, vectorShift, sum, bound, blockCheck);
  }
  [[nodiscard]] std::uint64_t pixels(std::size_t i, std::uint64_t sum, std::uint64_t bound) const {
    return vector::sumVectorsAvx2(tables, cells[i] + kFirstPixel, tiles[i] + kFirstPixel, 18,
                                  k.weightPixel, vectorShift, sum, bound, pixelCheck);
  }
  [[nodiscard]] bool bounded() const { return squareBound != nullptr && tileSquares != nullptr; }
  // What one unit of a square row's bound weighs: 9 pixels of the thumbnail's weight each.
  [[nodiscard]] std::uint64_t squareWeight() const { return 9 * std::uint64_t{k.weightPixel}; }
  void squareRows(const std::size_t* variants, std::size_t count, std::uint32_t (*rows)[4]) const {
    std::array<const vector::SquareSums*, 8> chosen{};
    for (std::size_t o = 0; o < count; ++o) chosen[o] = cellSquares[variants[o]];
    vector::squareBoundsAvx2(tables, *squareBound, *tileSquares, chosen.data(), count, vectorShift,
                             rows);
  }
  [[nodiscard]] std::uint64_t pixelRows(std::size_t i, std::uint64_t sum, std::uint64_t bound,
                                        const std::uint64_t* rest) const {
    return vector::sumPixelRowsAvx2(tables, cells[i] + kFirstPixel, tiles[i] + kFirstPixel,
                                    k.weightPixel, vectorShift, sum, bound, rest);
  }
  // The blocks of the first n variants in one call, without a bound: a variant over the limit
  // is dropped either way, and one call costs less than n calls of two vectors.
  void allBlocks(std::size_t n, std::uint64_t sum, std::uint64_t* out) const {
    std::array<const Pixel*, 8> cellBlocks{};
    std::array<const Pixel*, 8> tileBlocks{};
    for (std::size_t i = 0; i < n; ++i) {
      cellBlocks[i] = cells[i] + kFirstBlock;
      tileBlocks[i] = tiles[i] + kFirstBlock;
    }
    vector::sumBlocksAvx2(tables, cellBlocks.data(), tileBlocks.data(), n, k.weightBlock,
                          vectorShift, sum, out);
  }
};

template <typename Sums>
std::uint32_t searchVariants(const Sums& sums, std::uint32_t limit, const VariantList& list,
                             int* variant) {
  const std::size_t n = list.count;
  const std::uint64_t average = sums.average();
  if (average > limit) return kNoMatch;

  std::array<std::uint64_t, 8> partial{};
  if constexpr (requires { sums.allBlocks(n, average, partial.data()); }) {
    sums.allBlocks(n, average, partial.data());
  } else {
    for (std::size_t i = 0; i < n; ++i) partial[i] = sums.blocks(i, average, limit);
  }
  std::array<std::size_t, 8> within{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (partial[i] <= limit) within[count++] = i;
  }
  if (count == 0) return kNoMatch;

  // The least each variant can reach: its blocks, and where the sums allow it a lower bound of
  // its thumbnail, whose rows bound what is left after each checked part of the thumbnail.
  std::array<std::uint64_t, 8> least = partial;
  std::array<std::array<std::uint64_t, 4>, 8> rest{};
  bool bounded = false;
  if constexpr (requires { sums.squareRows(within.data(), count, nullptr); }) {
    // Without a limit only the variants after the first found can be cut short.
    if (sums.bounded() && (limit != kNoMatch || count > 1)) {
      bounded = true;
      std::uint32_t rows[8][4];
      sums.squareRows(within.data(), count, rows);
      for (std::size_t o = 0; o < count; ++o) {
        const std::size_t i = within[o];
        const std::uint64_t weight = sums.squareWeight();
        rest[i][3] = 0;
        for (std::size_t r = 3; r > 0; --r) rest[i][r - 1] = rest[i][r] + rows[o][r] * weight;
        least[i] = partial[i] + rest[i][0] + rows[o][0] * weight;
      }
    }
  }

  std::array<std::size_t, 8> order{};
  std::size_t alive = 0;
  for (std::size_t o = 0; o < count; ++o) {
    const std::size_t i = within[o];
    if (least[i] > limit) continue;
    // Keep `order` sorted by the least reachable sum, and among equal ones the later variant
    // first.
    std::size_t at = alive++;
    while (at > 0 && (least[order[at - 1]] > least[i] ||
                      (least[order[at - 1]] == least[i] && order[at - 1] < i))) {
      order[at] = order[at - 1];
      --at;
    }
    order[at] = i;
  }

  bool found = false;
  std::uint64_t best = 0;
  std::size_t bestIndex = 0;
  for (std::size_t o = 0; o < alive; ++o) {
    const std::size_t i = order[o];
    std::uint64_t bound = limit;
    if (found) {
      // A later variant may tie the best; an earlier one must beat it.
      if (i > bestIndex) {
        bound = best;
      } else if (best == 0) {
        continue;
      } else {
        bound = best - 1;
      }
    }
    if (least[i] > bound) continue;
    std::uint64_t sum = 0;
    if constexpr (requires { sums.pixelRows(i, partial[i], bound, rest[i].data()); }) {
      sum = bounded ? sums.pixelRows(i, partial[i], bound, rest[i].data())
                    : sums.pixels(i, partial[i], bound);
    } else {
      sum = sums.pixels(i, partial[i], bound);
    }
    if (sum > bound) continue;
    found = true;
    best = sum;
    bestIndex = i;
  }
  if (!found) return kNoMatch;
  if (variant != nullptr) *variant = list.codes[bestIndex];
  return static_cast<std::uint32_t>(best);
}

// The one variant whose overall average and blocks come nearest (the later one among equal
// sums), summed over its thumbnail too, without a limit: the thumbnails of the other variants
// are never read. `kNoMatch` when the sum does not fit below it.
template <typename Sums>
std::uint32_t blockLedVariant(const Sums& sums, const VariantList& list, int* variant) {
  constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
  const std::size_t n = list.count;
  const std::uint64_t average = sums.average();
  std::array<std::uint64_t, 8> partial{};
  if constexpr (requires { sums.allBlocks(n, average, partial.data()); }) {
    sums.allBlocks(n, average, partial.data());
  } else {
    for (std::size_t i = 0; i < n; ++i) partial[i] = sums.blocks(i, average, kUnlimited);
  }
  std::size_t chosen = 0;
  for (std::size_t i = 1; i < n; ++i) {
    if (partial[i] <= partial[chosen]) chosen = i;
  }
  const std::uint64_t sum = sums.pixels(chosen, partial[chosen], kUnlimited);
  if (sum >= kNoMatch) return kNoMatch;
  if (variant != nullptr) *variant = list.codes[chosen];
  return static_cast<std::uint32_t>(sum);
}

// Which search a comparison runs: every variant (`searchVariants`) or the one its blocks lead
// to (`blockLedVariant`, which takes no limit).
enum class Search { Best, BlockLed };

template <typename Sums>
std::uint32_t runSearch(Search search, const Sums& sums, std::uint32_t limit,
                        const VariantList& list, int* variant) {
  return search == Search::BlockLed ? blockLedVariant(sums, list, variant)
                                    : searchVariants(sums, limit, list, variant);
}

std::uint32_t searchScalar(const Kernel& k, int response, std::uint32_t limit,
                           const Pixel* const* cells, const std::uint8_t* const* perms,
                           const VariantList& list, const Pixel* tile, ColourOffsets shift,
                           int* variant, Search search = Search::Best) {
  switch (response) {
    case kResponseStronger:
      return runSearch(search, ScalarSums<kResponseStronger>{k, shift, cells, perms, tile}, limit,
                       list, variant);
    case kResponseBest:
      return runSearch(search, ScalarSums<kResponseBest>{k, shift, cells, perms, tile}, limit, list,
                       variant);
    default:
      return runSearch(search, ScalarSums<kResponseWeaker>{k, shift, cells, perms, tile}, limit,
                       list, variant);
  }
}

// The thumbnail's lower bound for one comparison: the tile's squares and the cell's square sums
// by variant; all null when the bound is not used.
struct SquareInput {
  const vector::SquareBound* bound = nullptr;
  const vector::SquareSums* const* cells = nullptr;
  const vector::TileSquares* tile = nullptr;
};

std::uint32_t searchVector(const Kernel& k, const vector::VectorTables& tables, std::uint32_t limit,
                           const Pixel* const* cells, const Pixel* const* tiles,
                           const VariantList& list, ColourOffsets shift, int* variant,
                           std::size_t blockCheck, std::size_t pixelCheck,
                           const SquareInput& squares = {}, Search search = Search::Best) {
  // The vector loop picks its response itself; the sums differ only in the average's.
  const vector::VectorShift vectorShift = vector::makeVectorShift(shift.r, shift.g, shift.b);
  const auto run = [&]<int Response>() {
    VectorSums<Response> sums{k, tables, shift, vectorShift, cells, tiles, blockCheck, pixelCheck};
    sums.squareBound = squares.bound;
    sums.cellSquares = squares.cells;
    sums.tileSquares = squares.tile;
    return runSearch(search, sums, limit, list, variant);
  };
  switch (tables.response) {
    case kResponseStronger:
      return run.template operator()<kResponseStronger>();
    case kResponseBest:
      return run.template operator()<kResponseBest>();
    default:
      return run.template operator()<kResponseWeaker>();
  }
}

std::uint32_t responseOf(int response, std::uint32_t h) {
  if (response == kResponseStronger) return h * h;
  if (response == kResponseBest)
    return gradedTable()[std::min<std::uint32_t>(h, kGradedTableSize - 1)];
  return h;
}

// The vector loop's tables for `s`, when it is exact for them: symmetric channel tables whose
// sums stay below 2^24 (where a float quotient truncates exactly) and sums of costs that stay
// below 2^32 (the loop adds in 32-bit lanes).
std::optional<vector::VectorTables> vectorTablesFor(const ComparisonSettings& s) {
  if (!vector::avx2Available() || !responseKnown(s.response) || s.divisor == 0) return std::nullopt;
  vector::VectorTables t;
  t.channelR = s.channelTableR.data() + kChannelTableReach;
  t.channelG = s.channelTableG.data() + kChannelTableReach;
  t.channelB = s.channelTableB.data() + kChannelTableReach;
  std::uint64_t maxTerm = 0;
  t.linear = true;
  for (int d = 0; d <= 255; ++d) {
    if (s.channelR(d) != s.channelR(-d) || s.channelG(d) != s.channelG(-d) ||
        s.channelB(d) != s.channelB(-d)) {
      return std::nullopt;
    }
    const std::uint64_t term = std::uint64_t{s.channelR(d)} + s.channelG(d) + s.channelB(d);
    maxTerm = std::max(maxTerm, term);
    t.linear = t.linear && s.channelR(d) == d * s.channelR(1) &&
               s.channelG(d) == d * s.channelG(1) && s.channelB(d) == d * s.channelB(1);
  }
  if (maxTerm >= (1u << 24)) return std::nullopt;
  // Every response grows with h, so the largest quotient gives the largest response.
  const auto maxH = static_cast<std::uint32_t>(maxTerm / s.divisor);
  const std::uint64_t maxResponse =
      std::max({std::uint64_t{maxH} * maxH, std::uint64_t{responseOf(kResponseBest, maxH)},
                std::uint64_t{maxH}});
  const std::uint64_t weightSum = std::uint64_t{s.weightAverage} +
                                  16 * std::uint64_t{s.weightBlock} +
                                  144 * std::uint64_t{s.weightPixel};
  if (maxResponse * weightSum >= (std::uint64_t{1} << 32)) return std::nullopt;
  t.priorityR = static_cast<std::int32_t>(s.channelR(1));
  t.priorityG = static_cast<std::int32_t>(s.channelG(1));
  t.priorityB = static_cast<std::int32_t>(s.channelB(1));
  t.divisor = static_cast<float>(s.divisor);
  constexpr std::uint64_t kLaneElements = 18;  // the most elements a lane sums between checks
  t.bytes = t.linear && t.priorityR <= 127 && t.priorityG <= 127 && t.priorityB <= 127 &&
            t.priorityR + t.priorityG <= 128 &&
            maxResponse * kLaneElements < (std::uint64_t{1} << 32);
  t.graded = gradedTable().data();
  t.gradedLast = kGradedTableSize - 1;
  t.response = s.response;
  return t;
}

// ---- The thumbnail's lower bound -----------------------------------------------------------
//
// Group the thumbnail's 144 element pairs by the tile's 16 squares of 3 x 3 pixels. Within a
// square, the responses r(h) add up to at least 9 G(mean h) for any convex G nowhere above r
// (Jensen), G growing with h; and the mean quotient is at least what the difference of the
// square's channel sums gives, since the cost of a mean difference is at most the mean cost.
// The tile's shifted sums are known to lie within an interval (see `squareBoundsAvx2`), so
// the bound uses the distance of the cell's sums to that interval. All of it exact in integers
// (the one float division truncates exactly): the bound never exceeds the true sum, and a
// comparison it stops would have gone over its limit anyway.

struct SquareTable {
  std::vector<std::int32_t> floor;
  vector::SquareBound bound;
};

// The greatest convex function nowhere above the response on 0..last, rounded down at each h.
std::vector<std::int32_t> convexFloor(int response, std::uint32_t last) {
  std::vector<std::int64_t> r(last + 1);
  for (std::uint32_t h = 0; h <= last; ++h) r[h] = responseOf(response, h);
  // The lower hull of the points (h, r(h)).
  std::vector<std::uint32_t> hull;
  for (std::uint32_t h = 0; h <= last; ++h) {
    while (hull.size() >= 2) {
      const std::uint32_t a = hull[hull.size() - 2];
      const std::uint32_t b = hull.back();
      // b is not below the line from a to h: drop it.
      if ((r[b] - r[a]) * (std::int64_t{h} - a) >= (r[h] - r[a]) * (std::int64_t{b} - a)) {
        hull.pop_back();
      } else {
        break;
      }
    }
    hull.push_back(h);
  }
  std::vector<std::int32_t> floor(last + 1, 0);
  floor[0] = static_cast<std::int32_t>(r[0]);
  for (std::size_t j = 0; j + 1 < hull.size(); ++j) {
    const std::int64_t a = hull[j];
    const std::int64_t b = hull[j + 1];
    for (std::int64_t h = a; h <= b; ++h) {
      // The hull rises from a to b (the response never falls), so the quotient rounds down.
      floor[static_cast<std::size_t>(h)] =
          static_cast<std::int32_t>(r[a] + (r[b] - r[a]) * (h - a) / (b - a));
    }
  }
  return floor;
}

// The bound's tables for `tables` (the byte form), made once per response, largest quotient and
// divisor and kept for the process; null when the bound does not apply.
const vector::SquareBound* squareBoundFor(const vector::VectorTables& tables,
                                          std::uint32_t divisor) {
  if (!tables.bytes || divisor == 0) return nullptr;
  const std::uint32_t priorities =
      static_cast<std::uint32_t>(tables.priorityR + tables.priorityG + tables.priorityB);
  const std::uint32_t last = 255 * priorities / divisor;
  // The byte form's priorities keep quotients far below this; the table stays small.
  if (last >= kGradedTableSize) return nullptr;
  static std::mutex mutex;
  static std::map<std::tuple<int, std::uint32_t, std::uint32_t>, std::unique_ptr<SquareTable>>
      cache;
  const std::scoped_lock lock(mutex);
  auto& entry = cache[{tables.response, last, divisor}];
  if (!entry) {
    entry = std::make_unique<SquareTable>();
    entry->floor = convexFloor(tables.response, last);
    entry->bound.floor = entry->floor.data();
    entry->bound.last = static_cast<std::int32_t>(last);
    // Each quotient is at least (cost - (divisor - 1)) / divisor, so a square's mean quotient is
    // at least (T - 9 (divisor - 1)) / (9 divisor) for its cost sum T.
    entry->bound.offset = static_cast<float>(9 * (divisor - 1));
    entry->bound.divisor = static_cast<float>(9 * divisor);
  }
  return &entry->bound;
}

}  // namespace

TileSquares tileSquares(const ImageSignature& tile) {
  TileSquares squares{};
  for (int ch = 0; ch < 3; ++ch) {
    for (std::size_t q = 0; q < 16; ++q) {
      int sum = 0;
      int low = 255;
      int high = 0;
      for (std::size_t y = 3 * (q / 4); y < 3 * (q / 4) + 3; ++y) {
        for (std::size_t x = 3 * (q % 4); x < 3 * (q % 4) + 3; ++x) {
          const int level = static_cast<int>((tile.thumbnail(x, y) >> (8 * ch)) & 0xFFu);
          sum += level;
          low = std::min(low, level);
          high = std::max(high, level);
        }
      }
      squares.sums.sum[ch][q] = static_cast<std::int16_t>(sum);
      squares.low[ch][q] = static_cast<std::int16_t>(low);
      squares.high[ch][q] = static_cast<std::int16_t>(high);
    }
  }
  return squares;
}

BlockDetail blockDetail(const ImageSignature& signature) {
  BlockDetail detail{};
  const Pixel average = signature.values[0];
  for (std::size_t k = 0; k < 16; ++k) {
    const Pixel block = signature.values[kFirstBlock + k];
    for (int ch = 0; ch < 3; ++ch) {
      const int level = static_cast<int>((block >> (8 * ch)) & 0xFFu) -
                        static_cast<int>((average >> (8 * ch)) & 0xFFu) + 128;
      detail.bytes[4 * k + static_cast<std::size_t>(ch)] =
          static_cast<std::uint8_t>(std::clamp(level, 0, 255));
    }
  }
  return detail;
}

void detailDistances(const BlockDetail* tiles, const std::uint32_t* indices, std::size_t count,
                     const BlockDetail* layouts, std::size_t layoutCount, std::uint16_t* out) {
  if (vector::avx2Available()) {
    vector::detailDistancesAvx2(tiles, indices, count, layouts, layoutCount, out);
  } else {
    vector::detailDistancesPortable(tiles, indices, count, layouts, layoutCount, out);
  }
}

std::span<const std::uint8_t, ImageSignature::kValueCount> variantPermutation(int code) {
  if (code < 1 || code > 8) code = 1;
  return permutationFor(false, code);
}

VariantList allowedVariants(std::uint32_t variantBits) {
  const bool original = (variantBits & kVariantBitOriginal) != 0;
  const bool half = (variantBits & kVariantBitRotated180) != 0;
  const bool right = (variantBits & kVariantBitRotated90) != 0;
  const bool left = (variantBits & kVariantBitRotated270) != 0;
  const bool mirror = (variantBits & kVariantBitMirror) != 0;
  const bool flip = (variantBits & kVariantBitFlip) != 0;
  // Allowed codes 1-8: the turns themselves, their left-right mirrors and their flips.
  std::array<bool, 9> allowed{};
  allowed[1] = original;
  allowed[4] = half;
  allowed[5] = right;
  allowed[6] = left;
  allowed[2] = (mirror && original) || (flip && half);
  allowed[3] = (mirror && half) || (flip && original);
  allowed[7] = (mirror && right) || (flip && left);
  allowed[8] = (mirror && left) || (flip && right);
  VariantList list;
  for (const std::uint8_t code : {1, 4, 6, 5, 7, 8, 2, 3}) {
    if (allowed[code]) list.codes[list.count++] = code;
  }
  return list;
}

ColourOffsets colourShift(const ComparisonSettings& settings, const ImageSignature& tile,
                          const ImageSignature& cell) {
  return shiftBetween(settings, tile.values[0], cell.values[0]);
}

ColourOffsets colourShift(const ImageSignature& tile, const ImageSignature& cell) {
  return colourShift(comparisonSettings(), tile, cell);
}

std::uint32_t bestVariant(const ComparisonSettings& settings, std::uint32_t limit,
                          const ImageSignature& cell, const ImageSignature& tile, int* variant) {
  if (variant != nullptr) *variant = 0;
  if (!responseKnown(settings.response)) return kNoMatch;
  const VariantList list = allowedVariants(settings.variantBits);
  if (list.count == 0) return kNoMatch;
  const ColourOffsets shift = settings.shiftLimit > 0
                                  ? shiftBetween(settings, tile.values[0], cell.values[0])
                                  : ColourOffsets{};
  std::array<const Pixel*, 8> cells{};
  std::array<const std::uint8_t*, 8> perms{};
  for (std::size_t i = 0; i < list.count; ++i) {
    cells[i] = cell.values.data();
    perms[i] = permutationFor(tile.rotated != 0, list.codes[i]).data();
  }
  return searchScalar(makeKernel(settings), settings.response, limit, cells.data(), perms.data(),
                      list, tile.values.data(), shift, variant);
}

std::uint32_t bestVariant(std::uint32_t limit, const ImageSignature& cell,
                          const ImageSignature& tile, int* variant) {
  return bestVariant(comparisonSettings(), limit, cell, tile, variant);
}

namespace {

// The plain sum of the cell's elements [0, `end`) against variant `code` of `tile` shifted by
// `shift`, element by element; stops with a value above `limit` as soon as the sum exceeds it.
std::uint64_t referenceSum(const ComparisonSettings& settings, std::uint64_t limit,
                           const ImageSignature& cell, const ImageSignature& tile, int code,
                           ColourOffsets shift, std::size_t end) {
  const Permutation& turn = permutationFor(false, 5);
  const Permutation& perm = permutationFor(false, code);
  std::uint64_t sum = 0;
  for (std::size_t k = 0; k < end; ++k) {
    const std::size_t j = tile.rotated != 0 ? turn[perm[k]] : perm[k];
    const Pixel c = cell.values[k];
    const Pixel t = tile.values[j];
    const int dR =
        static_cast<int>(pixelRed(c)) - levelClamp(static_cast<int>(pixelRed(t)) + shift.r);
    const int dG =
        static_cast<int>(pixelGreen(c)) - levelClamp(static_cast<int>(pixelGreen(t)) + shift.g);
    const int dB =
        static_cast<int>(pixelBlue(c)) - levelClamp(static_cast<int>(pixelBlue(t)) + shift.b);
    const std::uint32_t term =
        settings.channelR(dR) + settings.channelG(dG) + settings.channelB(dB);
    const std::uint32_t h = term / std::max<std::uint32_t>(1, settings.divisor);
    std::uint32_t w = settings.weightPixel;
    if (k == 0) {
      w = settings.weightAverage;
    } else if (k < kFirstPixel) {
      w = settings.weightBlock;
    }
    std::uint32_t response = h;
    if (settings.response == kResponseStronger) {
      response = h * h;
    } else if (settings.response == kResponseBest) {
      response = gradedTable()[std::min<std::uint32_t>(h, kGradedTableSize - 1)];
    }
    const std::uint32_t value = response * w;
    const std::uint32_t transparency = pixelT(c);
    if (transparency == 0) {
      sum += value;
    } else {
      sum += value - static_cast<std::uint32_t>((std::uint64_t{value} * transparency) / 255);
    }
    if (sum > limit) return sum;
  }
  return sum;
}

// What the plain loops compare with: the allowed variants and the colour shift. Empty when
// nothing can match (unknown response, no variant allowed).
struct ReferenceSetup {
  VariantList list;
  ColourOffsets shift;
};
std::optional<ReferenceSetup> referenceSetup(const ComparisonSettings& settings,
                                             const ImageSignature& cell,
                                             const ImageSignature& tile) {
  if (!responseKnown(settings.response)) return std::nullopt;
  ReferenceSetup setup{allowedVariants(settings.variantBits), {}};
  if (setup.list.count == 0) return std::nullopt;
  if (settings.shiftLimit > 0) setup.shift = colourShift(settings, tile, cell);
  return setup;
}

}  // namespace

std::uint32_t bestVariantReference(const ComparisonSettings& settings, std::uint32_t limit,
                                   const ImageSignature& cell, const ImageSignature& tile,
                                   int* variant) {
  if (variant != nullptr) *variant = 0;
  const auto setup = referenceSetup(settings, cell, tile);
  if (!setup) return kNoMatch;
  std::uint32_t bestCode = 0;
  std::uint32_t best = kNoMatch;
  for (std::size_t v = 0; v < setup->list.count; ++v) {
    const int code = setup->list.codes[v];
    const std::uint64_t sum =
        referenceSum(settings, limit, cell, tile, code, setup->shift, kValues);
    if (sum > limit) continue;
    limit = static_cast<std::uint32_t>(sum);
    best = limit;
    bestCode = static_cast<std::uint32_t>(code);
  }
  if (bestCode == 0) return kNoMatch;
  if (variant != nullptr) *variant = static_cast<int>(bestCode);
  return best;
}

std::uint32_t blockLedVariantReference(const ComparisonSettings& settings,
                                       const ImageSignature& cell, const ImageSignature& tile,
                                       int* variant) {
  if (variant != nullptr) *variant = 0;
  const auto setup = referenceSetup(settings, cell, tile);
  if (!setup) return kNoMatch;
  constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
  int chosen = 0;
  std::uint64_t nearest = 0;
  for (std::size_t v = 0; v < setup->list.count; ++v) {
    const int code = setup->list.codes[v];
    const std::uint64_t sum =
        referenceSum(settings, kUnlimited, cell, tile, code, setup->shift, kFirstPixel);
    if (chosen == 0 || sum <= nearest) {
      chosen = code;
      nearest = sum;
    }
  }
  const std::uint64_t sum =
      referenceSum(settings, kUnlimited, cell, tile, chosen, setup->shift, kValues);
  if (sum >= kNoMatch) return kNoMatch;
  if (variant != nullptr) *variant = chosen;
  return static_cast<std::uint32_t>(sum);
}

std::uint32_t unweightedLimit(std::uint32_t limit, std::uint32_t weight) {
  // Scaling "no limit" for a weight above neutral would turn it into a finite limit that
  // rejects a heavy cell's only candidates.
  if (limit == kNoMatch) return kNoMatch;
  // The neutral weight, the usual one, scales by 1.
  if (weight == kNeutralWeight) return limit + 1;
  const std::uint64_t w = std::max<std::uint32_t>(1, weight);
  const std::uint64_t scaled = (std::uint64_t{limit} * 20) / w + 1;
  return scaled < kNoMatch ? static_cast<std::uint32_t>(scaled) : kNoMatch;
}

std::uint32_t weightedScore(std::uint32_t raw, std::uint32_t weight) {
  if (raw == kNoMatch) return kNoMatch;
  const std::uint64_t score = (std::uint64_t{weight} * raw) / 20;
  return score >= kMaxScore ? kMaxScore : static_cast<std::uint32_t>(score);
}

std::uint32_t weightedDistance(const ComparisonSettings& settings, std::uint32_t limit,
                               std::uint32_t weight, const ImageSignature& cell,
                               const ImageSignature& tile) {
  return weightedScore(bestVariant(settings, unweightedLimit(limit, weight), cell, tile), weight);
}

std::uint32_t tileDistance(const ComparisonSettings& settings, std::uint32_t limit,
                           const PuzzleInfo& cell, const FotoInfo& tile) {
  return weightedDistance(settings, limit, cell.weight, cell.signature, tile.signature);
}

std::uint32_t tileDistance(std::uint32_t limit, const PuzzleInfo& cell, const FotoInfo& tile) {
  return tileDistance(comparisonSettings(), limit, cell, tile);
}

std::uint32_t rawDistance(const ComparisonSettings& settings, const PuzzleInfo& cell,
                          const FotoInfo& tile) {
  return bestVariant(settings, kNoMatch, cell.signature, tile.signature);
}

std::uint32_t rawDistance(const PuzzleInfo& cell, const FotoInfo& tile) {
  return rawDistance(comparisonSettings(), cell, tile);
}

long tileQuality(std::uint32_t score, std::uint32_t best, std::uint32_t worst) {
  if (worst == 0) worst = 1;
  if (best >= worst) return 100;
  return 100 - static_cast<long>((std::int64_t{score} - std::int64_t{best}) * 100 /
                                 (std::int64_t{worst} - std::int64_t{best}));
}

CellComparison::CellComparison(const ComparisonSettings& settings, const ImageSignature& cell,
                               std::uint32_t weight, Path path)
    : m_settings(settings),
      m_weight(weight),
      m_average(cell.values[0]),
      m_variants(allowedVariants(settings.variantBits)),
      m_kernel(makeKernel(settings)) {
  for (int rotated = 0; rotated < 2; ++rotated) {
    for (std::size_t i = 0; i < m_variants.count; ++i) {
      const Permutation& perm = permutationFor(rotated != 0, m_variants.codes[i]);
      auto& laidOut = m_laidOut[rotated][i];
      for (std::size_t k = 0; k < kValues; ++k) laidOut[perm[k]] = cell.values[k];
    }
  }
  const bool opaque =
      std::all_of(cell.values.begin(), cell.values.end(), [](Pixel p) { return pixelT(p) == 0; });
  if (opaque && path == Path::Fastest) {
    if (const auto tables = vectorTablesFor(settings)) {
      m_vectorTables = *tables;
      m_vector = true;
      m_squareBound = squareBoundFor(m_vectorTables, settings.divisor);
    }
  }
  if (m_squareBound == nullptr) return;
  // The sums of the cell pixels that meet each tile square, for every variant and orientation.
  for (int rotated = 0; rotated < 2; ++rotated) {
    for (std::size_t i = 0; i < m_variants.count; ++i) {
      const auto& laidOut = m_laidOut[rotated][i];
      vector::SquareSums& squares = m_squares[rotated][i];
      for (int ch = 0; ch < 3; ++ch) {
        for (std::size_t q = 0; q < 16; ++q) {
          int sum = 0;
          for (std::size_t y = 3 * (q / 4); y < 3 * (q / 4) + 3; ++y) {
            for (std::size_t x = 3 * (q % 4); x < 3 * (q % 4) + 3; ++x) {
              sum += static_cast<int>((laidOut[kFirstPixel + x + 12 * y] >> (8 * ch)) & 0xFFu);
            }
          }
          squares.sum[ch][q] = static_cast<std::int16_t>(sum);
        }
      }
    }
  }
}

std::uint32_t CellComparison::bestVariant(std::uint32_t limit, const ImageSignature& tile,
                                          int* variant) const {
  return search(limit, tile, nullptr, variant, 1, 3);
}

std::uint32_t CellComparison::search(std::uint32_t limit, const ImageSignature& tile,
                                     const TileSquares* squares, int* variant,
                                     std::size_t blockCheck, std::size_t pixelCheck,
                                     bool blockLed) const {
  const Search kind = blockLed ? Search::BlockLed : Search::Best;
  if (variant != nullptr) *variant = 0;
  if (!responseKnown(m_settings.response) || m_variants.count == 0) return kNoMatch;
  const ColourOffsets shift = m_settings.shiftLimit > 0
                                  ? shiftBetween(m_settings, tile.values[0], m_average)
                                  : ColourOffsets{};
  std::array<const Pixel*, 8> cells{};
  std::array<const Pixel*, 8> tiles{};
  const auto& laidOut = m_laidOut[tile.rotated != 0 ? 1 : 0];
  for (std::size_t i = 0; i < m_variants.count; ++i) {
    cells[i] = laidOut[i].data();
    tiles[i] = tile.values.data();
  }
  const Kernel& k = m_kernel;
  if (m_vector) {
    SquareInput bound;
    std::array<const vector::SquareSums*, 8> cellSquares{};
    if (squares != nullptr && m_squareBound != nullptr) {
      const auto& laidOut = m_squares[tile.rotated != 0 ? 1 : 0];
      for (std::size_t i = 0; i < m_variants.count; ++i) cellSquares[i] = &laidOut[i];
      bound = {m_squareBound, cellSquares.data(), squares};
    }
    return searchVector(k, m_vectorTables, limit, cells.data(), tiles.data(), m_variants, shift,
                        variant, blockCheck, pixelCheck, bound, kind);
  }
  return searchScalar(k, m_settings.response, limit, cells.data(), nullptr, m_variants,
                      tile.values.data(), shift, variant, kind);
}

std::uint32_t CellComparison::blockLedDistance(const ImageSignature& tile, int* variant) const {
  // One check at the end of the thumbnail: there is no limit to stop at.
  return weightedScore(search(kNoMatch, tile, nullptr, variant, 2, 18, true), m_weight);
}

std::uint32_t CellComparison::distance(std::uint32_t limit, const ImageSignature& tile) const {
  return weightedScore(bestVariant(unweightedLimit(limit, m_weight), tile), m_weight);
}

std::uint32_t CellComparison::distance(std::uint32_t limit, const ImageSignature& tile,
                                       const TileSquares& squares) const {
  return weightedScore(search(unweightedLimit(limit, m_weight), tile, &squares, nullptr, 1, 3),
                       m_weight);
}

TileComparison::TileComparison(const ComparisonSettings& settings, const ImageSignature& tile,
                               CellComparison::Path path)
    : m_settings(settings),
      m_tile(tile),
      m_variants(allowedVariants(settings.variantBits)),
      m_kernel(makeKernel(settings)) {
  for (std::size_t i = 0; i < m_variants.count; ++i) {
    const Permutation& perm = permutationFor(tile.rotated != 0, m_variants.codes[i]);
    for (std::size_t k = 0; k < kValues; ++k) m_laidOut[i][k] = tile.values[perm[k]];
  }
  if (path == CellComparison::Path::Fastest) {
    if (const auto tables = vectorTablesFor(settings)) {
      m_vectorTables = *tables;
      m_vector = true;
    }
  }
}

std::uint32_t TileComparison::distance(std::uint32_t limit, const ImageSignature& cell,
                                       std::uint32_t weight) const {
  // The vector loop needs an opaque cell; its transparency bytes are all zero then.
  Pixel transparency = 0;
  for (const Pixel p : cell.values) transparency |= p;
  if (!m_vector || pixelT(transparency) != 0) {
    return weightedDistance(m_settings, limit, weight, cell, m_tile);
  }
  if (!responseKnown(m_settings.response) || m_variants.count == 0) return kNoMatch;
  const ColourOffsets shift = m_settings.shiftLimit > 0
                                  ? shiftBetween(m_settings, m_tile.values[0], cell.values[0])
                                  : ColourOffsets{};
  std::array<const Pixel*, 8> cells{};
  std::array<const Pixel*, 8> tiles{};
  for (std::size_t i = 0; i < m_variants.count; ++i) {
    cells[i] = cell.values.data();
    tiles[i] = m_laidOut[i].data();
  }
  const std::uint32_t raw =
      searchVector(m_kernel, m_vectorTables, unweightedLimit(limit, weight), cells.data(),
                   tiles.data(), m_variants, shift, nullptr, 1, 3);
  return weightedScore(raw, weight);
}

CellBlock::CellBlock(std::span<const CellComparison* const> cells)
    : m_count(std::min(cells.size(), kCells)) {
  std::copy_n(cells.begin(), m_count, m_cells.begin());
  // The cells whose averages can be checked together: vector loop, linear channel costs, and
  // the settings of the first such cell.
  for (std::size_t i = 0; i < m_count; ++i) {
    const CellComparison& cell = *m_cells[i];
    if (!cell.m_vector || !cell.m_vectorTables.linear) continue;
    if (m_averageTables == nullptr) {
      m_averageTables = &cell.m_vectorTables;
      m_averageSettings = &cell.m_settings;
      m_averages.shiftReach = static_cast<std::int32_t>(cell.m_settings.shiftLimit);
      m_averages.weight = cell.m_kernel.weightAverage;
    } else if (&cell.m_settings != m_averageSettings) {
      continue;
    }
    m_averages.red[i] = static_cast<std::int32_t>(pixelRed(cell.m_average));
    m_averages.green[i] = static_cast<std::int32_t>(pixelGreen(cell.m_average));
    m_averages.blue[i] = static_cast<std::int32_t>(pixelBlue(cell.m_average));
    m_averaged |= 1u << i;
  }
}

void CellBlock::distances(const ImageSignature& tile, const std::uint32_t* limits,
                          std::uint32_t* out) const {
  for (std::size_t i = 0; i < m_count; ++i) {
    const CellComparison& cell = *m_cells[i];
    const std::uint32_t raw =
        cell.search(unweightedLimit(limits[i], cell.m_weight), tile, nullptr, nullptr, 2, 4);
    out[i] = weightedScore(raw, cell.m_weight);
  }
}

void CellBlock::blockLedDistances(const ImageSignature& tile, std::uint32_t* out) const {
  for (std::size_t i = 0; i < m_count; ++i) out[i] = m_cells[i]->blockLedDistance(tile);
}

void CellBlock::distances(const ImageSignature& tile, const TileSquares& squares,
                          const std::uint32_t* limits, std::uint32_t* out) const {
  std::array<std::uint32_t, kCells> raw{};
  for (std::size_t i = 0; i < m_count; ++i)
    raw[i] = unweightedLimit(limits[i], m_cells[i]->m_weight);
  // Most tiles of a long walk differ from most cells in their overall average alone by more
  // than the limit allows: that element, the first every comparison adds, is checked for the
  // whole block at once before any comparison is set up.
  const std::uint32_t over = m_averaged != 0
                                 ? vector::averagesOverAvx2(*m_averageTables, m_averages,
                                                            tile.values[0], raw.data(), m_count) &
                                       m_averaged
                                 : 0;
  for (std::size_t i = 0; i < m_count; ++i) {
    if ((over >> i) & 1u) {
      out[i] = kNoMatch;
      continue;
    }
    const CellComparison& cell = *m_cells[i];
    out[i] = weightedScore(cell.search(raw[i], tile, &squares, nullptr, 2, 4), cell.m_weight);
  }
}

}  // namespace tg
