// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/square_sums.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "platform/cpu_features.h"

namespace tg {
namespace {

constexpr std::uint32_t kThumbnailSide = 12;
// The tolerance the resampler adds before it truncates a quotient.
constexpr double kTruncationTolerance = 1e-7;

std::uint32_t channel(double value) {
  return static_cast<std::uint32_t>(std::clamp(value + kTruncationTolerance, 0.0, 255.0));
}

#if defined(__x86_64__) || defined(__i386__)

// The sums of one row of a square, eight pixels at a time, with `clear` also setting the fourth
// byte of each pixel to 0 first. `sums` receives red, green, blue, transparency per box.
template <bool clear>
__attribute__((target("avx2"))) void addRowWide(
    std::conditional_t<clear, Pixel*, const Pixel*> pixels, std::uint32_t box, std::uint32_t boxes,
    std::uint64_t* sums) {
  const __m256i zero = _mm256_setzero_si256();
  for (std::uint32_t bx = 0; bx < boxes; ++bx, sums += 4) {
    const auto in = pixels + static_cast<std::size_t>(bx) * box;
    // Red, green, blue, transparency in 32-bit lanes, one set in each 128-bit half; the two
    // halves are added at the end.
    __m256i wide = zero;
    std::uint32_t i = 0;
    while (i + 8 <= box) {
      // Eight pixels a step into 16-bit lanes, two pixels' channels a lane each; at most 128
      // steps of 510 before the lanes are widened, so they cannot overflow.
      __m256i narrow = zero;
      const std::uint32_t stop = std::min(box, i + 8 * 128);
      for (; i + 8 <= stop; i += 8) {
        __m256i eight = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        if constexpr (clear) {
          eight = _mm256_and_si256(eight, _mm256_set1_epi32(0x00FFFFFF));
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(in + i), eight);
        }
        narrow = _mm256_add_epi16(narrow, _mm256_add_epi16(_mm256_unpacklo_epi8(eight, zero),
                                                           _mm256_unpackhi_epi8(eight, zero)));
      }
      wide = _mm256_add_epi32(wide, _mm256_add_epi32(_mm256_unpacklo_epi16(narrow, zero),
                                                     _mm256_unpackhi_epi16(narrow, zero)));
    }
    alignas(16) std::uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes),
                    _mm_add_epi32(_mm256_castsi256_si128(wide), _mm256_extracti128_si256(wide, 1)));
    for (; i < box; ++i) {
      if constexpr (clear) in[i] &= 0x00FFFFFFu;
      lanes[0] += pixelRed(in[i]);
      lanes[1] += pixelGreen(in[i]);
      lanes[2] += pixelBlue(in[i]);
      lanes[3] += pixelT(in[i]);
    }
    for (int c = 0; c < 4; ++c) sums[c] += lanes[c];
  }
}

// Rows `first` .. `end` - 1 of the square at (`x`, `y`) added with `addRowWide` into `sums`, the
// square's box sums; returns how many rows that was.
template <bool clear>
std::uint32_t addRowsWide(std::conditional_t<clear, Foto&, const Foto&> image, std::uint32_t x,
                          std::uint32_t y, std::uint32_t box, std::uint32_t boxes,
                          std::uint32_t first, std::uint32_t end, std::uint64_t* sums) {
  for (std::uint32_t row = first; row < end; ++row) {
    addRowWide<clear>(image.row(row) + x, box, boxes,
                      sums + 4 * static_cast<std::size_t>((row - y) / box) * boxes);
  }
  return end > first ? end - first : 0;
}
#endif

}  // namespace

SquareSums::SquareSums(std::uint32_t x, std::uint32_t y, std::uint32_t box, std::uint32_t boxes)
    : m_x(x),
      m_y(y),
      m_box(box),
      m_boxes(boxes),
      m_sums(4 * static_cast<std::size_t>(boxes) * boxes, 0) {}

bool SquareSums::signatureSquare(std::uint32_t left, std::uint32_t top, std::uint32_t width,
                                 std::uint32_t height, std::uint32_t& x, std::uint32_t& y,
                                 std::uint32_t& box) {
  const std::uint32_t side = std::min(width, height);
  // The centred square starts on a whole pixel only when the margins are even.
  if (side == 0 || side % kThumbnailSide != 0 || (width - side) % 2 != 0 ||
      (height - side) % 2 != 0) {
    return false;
  }
  x = left + (width - side) / 2;
  y = top + (height - side) / 2;
  box = side / kThumbnailSide;
  return true;
}

void SquareSums::addRowsPlain(const Foto& image, std::uint32_t first, std::uint32_t end) {
  first = std::max(first, m_y);
  end = std::min(end, m_y + side());
  for (std::uint32_t row = first; row < end; ++row) {
    const Pixel* pixels = image.row(row) + m_x;
    std::uint64_t* sums = &m_sums[4 * static_cast<std::size_t>((row - m_y) / m_box) * m_boxes];
    for (std::uint32_t bx = 0; bx < m_boxes; ++bx, sums += 4) {
      for (std::uint32_t i = 0; i < m_box; ++i) {
        const Pixel p = pixels[bx * m_box + i];
        sums[0] += pixelRed(p);
        sums[1] += pixelGreen(p);
        sums[2] += pixelBlue(p);
        sums[3] += pixelT(p);
      }
    }
    ++m_rowsAdded;
  }
}

void SquareSums::addRowsClearingPadding(Foto& image, std::uint32_t first, std::uint32_t end) {
  first = std::max(first, m_y);
  end = std::min(end, m_y + side());
#if defined(__x86_64__) || defined(__i386__)
  if (cpuHasAvx2()) {
    m_rowsAdded += addRowsWide<true>(image, m_x, m_y, m_box, m_boxes, first, end, m_sums.data());
    return;
  }
#endif
  for (std::uint32_t row = first; row < end; ++row) {
    Pixel* pixels = image.row(row) + m_x;
    for (std::uint32_t x = 0; x < side(); ++x) pixels[x] &= 0x00FFFFFFu;
  }
  addRows(image, first, end);
}

void SquareSums::addRows(const Foto& image, std::uint32_t first, std::uint32_t end) {
  first = std::max(first, m_y);
  end = std::min(end, m_y + side());
#if defined(__x86_64__) || defined(__i386__)
  if (cpuHasAvx2()) {
    m_rowsAdded += addRowsWide<false>(image, m_x, m_y, m_box, m_boxes, first, end, m_sums.data());
    return;
  }
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (std::uint32_t row = first; row < end; ++row) {
    const Pixel* pixels = image.row(row) + m_x;
    std::uint64_t* sums = &m_sums[4 * static_cast<std::size_t>((row - m_y) / m_box) * m_boxes];
    for (std::uint32_t bx = 0; bx < m_boxes; ++bx, sums += 4) {
      const Pixel* in = pixels + static_cast<std::size_t>(bx) * m_box;
      __m128i wide = zero;  // red, green, blue, transparency in 32-bit lanes
      std::uint32_t i = 0;
      while (i + 4 <= m_box) {
        // Four pixels at a time into 16-bit lanes, two pixels' channels a lane each; at most
        // 128 steps of 510 before the lanes are widened, so they cannot overflow.
        __m128i narrow = zero;
        const std::uint32_t stop = std::min(m_box, i + 4 * 128);
        for (; i + 4 <= stop; i += 4) {
          const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
          narrow = _mm_add_epi16(
              narrow, _mm_add_epi16(_mm_unpacklo_epi8(four, zero), _mm_unpackhi_epi8(four, zero)));
        }
        wide = _mm_add_epi32(wide, _mm_add_epi32(_mm_unpacklo_epi16(narrow, zero),
                                                 _mm_unpackhi_epi16(narrow, zero)));
      }
      alignas(16) std::uint32_t lanes[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), wide);
      for (; i < m_box; ++i) {
        lanes[0] += pixelRed(in[i]);
        lanes[1] += pixelGreen(in[i]);
        lanes[2] += pixelBlue(in[i]);
        lanes[3] += pixelT(in[i]);
      }
      for (int c = 0; c < 4; ++c) sums[c] += lanes[c];
    }
    ++m_rowsAdded;
  }
#else
  addRowsPlain(image, first, end);
#endif
}

bool SquareSums::signature(ImageSignature& target) const {
  target.valid = 0;
  if (!complete() || m_boxes != kThumbnailSide) return false;
  Foto thumbnail;
  if (!thumbnail.createQuiet(kThumbnailSide, kThumbnailSide)) return false;
  const double count = static_cast<double>(m_box) * m_box;
  // What the resampler computes for a box of whole opaque pixels: opacity-weighted sums over
  // the summed opacity, each channel truncated.
  const double opacity = 255.0 * count;
  for (std::uint32_t by = 0; by < m_boxes; ++by) {
    for (std::uint32_t bx = 0; bx < m_boxes; ++bx) {
      const std::uint64_t* sums = box(bx, by);
      if (sums[3] != 0) return false;
      thumbnail.pixels[by * kThumbnailSide + bx] =
          makePixel(channel(static_cast<double>(255 * sums[0]) / opacity),
                    channel(static_cast<double>(255 * sums[1]) / opacity),
                    channel(static_cast<double>(255 * sums[2]) / opacity), channel(0.0));
    }
  }
  // A 12 × 12 picture is its own thumbnail: this only adds the averages and flags.
  return buildSignature(thumbnail, true, target);
}

}  // namespace tg
