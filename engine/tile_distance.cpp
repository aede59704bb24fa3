// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/tile_distance.h"

#include <algorithm>
#include <optional>

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
  std::array<std::size_t, 8> order{};
  std::size_t alive = 0;
  if constexpr (requires { sums.allBlocks(n, average, partial.data()); }) {
    sums.allBlocks(n, average, partial.data());
  } else {
    for (std::size_t i = 0; i < n; ++i) partial[i] = sums.blocks(i, average, limit);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (partial[i] > limit) continue;
    // Keep `order` sorted by partial sum, and among equal ones the later variant first.
    std::size_t at = alive++;
    while (at > 0 && (partial[order[at - 1]] > partial[i] ||
                      (partial[order[at - 1]] == partial[i] && order[at - 1] < i))) {
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
    if (partial[i] > bound) continue;
    const std::uint64_t sum = sums.pixels(i, partial[i], bound);
    if (sum > bound) continue;
    found = true;
    best = sum;
    bestIndex = i;
  }
  if (!found) return kNoMatch;
  if (variant != nullptr) *variant = list.codes[bestIndex];
  return static_cast<std::uint32_t>(best);
}

std::uint32_t searchScalar(const Kernel& k, int response, std::uint32_t limit,
                           const Pixel* const* cells, const std::uint8_t* const* perms,
                           const VariantList& list, const Pixel* tile, ColourOffsets shift,
                           int* variant) {
  switch (response) {
    case kResponseStronger:
      return searchVariants(ScalarSums<kResponseStronger>{k, shift, cells, perms, tile}, limit,
                            list, variant);
    case kResponseBest:
      return searchVariants(ScalarSums<kResponseBest>{k, shift, cells, perms, tile}, limit, list,
                            variant);
    default:
      return searchVariants(ScalarSums<kResponseWeaker>{k, shift, cells, perms, tile}, limit, list,
                            variant);
  }
}

std::uint32_t searchVector(const Kernel& k, const vector::VectorTables& tables, std::uint32_t limit,
                           const Pixel* const* cells, const Pixel* const* tiles,
                           const VariantList& list, ColourOffsets shift, int* variant,
                           std::size_t blockCheck, std::size_t pixelCheck) {
  // The vector loop picks its response itself; the sums differ only in the average's.
  const vector::VectorShift vectorShift = vector::makeVectorShift(shift.r, shift.g, shift.b);
  switch (tables.response) {
    case kResponseStronger:
      return searchVariants(VectorSums<kResponseStronger>{k, tables, shift, vectorShift, cells,
                                                          tiles, blockCheck, pixelCheck},
                            limit, list, variant);
    case kResponseBest:
      return searchVariants(VectorSums<kResponseBest>{k, tables, shift, vectorShift, cells, tiles,
                                                      blockCheck, pixelCheck},
                            limit, list, variant);
    default:
      return searchVariants(VectorSums<kResponseWeaker>{k, tables, shift, vectorShift, cells, tiles,
                                                        blockCheck, pixelCheck},
                            limit, list, variant);
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

}  // namespace

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

std::uint32_t bestVariantReference(const ComparisonSettings& settings, std::uint32_t limit,
                                   const ImageSignature& cell, const ImageSignature& tile,
                                   int* variant) {
  if (variant != nullptr) *variant = 0;
  if (!responseKnown(settings.response)) return kNoMatch;
  const VariantList list = allowedVariants(settings.variantBits);
  if (list.count == 0) return kNoMatch;
  ColourOffsets shift;
  if (settings.shiftLimit > 0) shift = colourShift(settings, tile, cell);

  std::uint32_t bestCode = 0;
  std::uint32_t best = kNoMatch;
  for (std::size_t v = 0; v < list.count; ++v) {
    const int code = list.codes[v];
    const Permutation& turn = permutationFor(false, 5);
    const Permutation& perm = permutationFor(false, code);
    std::uint32_t sum = 0;
    bool rejected = false;
    for (std::size_t k = 0; k < kValues; ++k) {
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
      if (sum > limit) {
        rejected = true;
        break;
      }
    }
    if (rejected) continue;
    limit = sum;
    best = sum;
    bestCode = static_cast<std::uint32_t>(code);
  }
  if (bestCode == 0) return kNoMatch;
  if (variant != nullptr) *variant = static_cast<int>(bestCode);
  return best;
}

std::uint32_t unweightedLimit(std::uint32_t limit, std::uint32_t weight) {
  // Scaling "no limit" for a weight above neutral would turn it into a finite limit that
  // rejects a heavy cell's only candidates.
  if (limit == kNoMatch) return kNoMatch;
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
    }
  }
}

std::uint32_t CellComparison::bestVariant(std::uint32_t limit, const ImageSignature& tile,
                                          int* variant) const {
  return search(limit, tile, variant, 1, 3);
}

std::uint32_t CellComparison::search(std::uint32_t limit, const ImageSignature& tile, int* variant,
                                     std::size_t blockCheck, std::size_t pixelCheck) const {
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
    return searchVector(k, m_vectorTables, limit, cells.data(), tiles.data(), m_variants, shift,
                        variant, blockCheck, pixelCheck);
  }
  return searchScalar(k, m_settings.response, limit, cells.data(), nullptr, m_variants,
                      tile.values.data(), shift, variant);
}

std::uint32_t CellComparison::distance(std::uint32_t limit, const ImageSignature& tile) const {
  return weightedScore(bestVariant(unweightedLimit(limit, m_weight), tile), m_weight);
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
}

void CellBlock::distances(const ImageSignature& tile, const std::uint32_t* limits,
                          std::uint32_t* out) const {
  for (std::size_t i = 0; i < m_count; ++i) {
    const CellComparison& cell = *m_cells[i];
    const std::uint32_t raw =
        cell.search(unweightedLimit(limits[i], cell.m_weight), tile, nullptr, 2, 4);
    out[i] = weightedScore(raw, cell.m_weight);
  }
}

}  // namespace tg
