// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tg {

/// One pixel: red in bits 0-7, green 8-15, blue 16-23 and the transparency T in bits 24-31
/// (0 opaque, 255 fully transparent; opacity is 255 - T). In memory the bytes read R, G, B, T.
using Pixel = std::uint32_t;

/// Transparent black: the value of every pixel that has no content.
inline constexpr Pixel kTransparentBlack = 0xFF000000u;

/// Builds a pixel word from its four channels (each 0-255).
[[nodiscard]] constexpr Pixel makePixel(std::uint32_t r, std::uint32_t g, std::uint32_t b,
                                        std::uint32_t t = 0) {
  return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16) | ((t & 0xFFu) << 24);
}
/// The red channel of a pixel.
[[nodiscard]] constexpr std::uint32_t pixelRed(Pixel p) { return p & 0xFFu; }
/// The green channel of a pixel.
[[nodiscard]] constexpr std::uint32_t pixelGreen(Pixel p) { return (p >> 8) & 0xFFu; }
/// The blue channel of a pixel.
[[nodiscard]] constexpr std::uint32_t pixelBlue(Pixel p) { return (p >> 16) & 0xFFu; }
/// The transparency T of a pixel (0 opaque, 255 transparent).
[[nodiscard]] constexpr std::uint32_t pixelT(Pixel p) { return p >> 24; }

/// Tag in front of a pixel block that came from the ordinary heap.
inline constexpr std::uint32_t kHeapBlockTag = 1234;
/// Tag in front of a pixel block that came straight from the operating system.
inline constexpr std::uint32_t kSystemBlockTag = 4567;
/// Blocks whose size (pixels x 4 + 4 bytes) reaches this many bytes come from the system.
inline constexpr std::uint64_t kSystemBlockThreshold = 100000;

/// Allocates room for `count` pixels (not cleared). Blocks of `count` x 4 + 4 bytes below
/// `kSystemBlockThreshold` come from the heap, larger ones from the operating system; the block
/// remembers which. Returns nullptr for 0 pixels, for a count whose size the address space cannot
/// hold and when memory runs out (never a smaller block). No message. Any thread.
[[nodiscard]] Pixel* allocatePixelBlock(std::uint64_t count);
/// Frees a block from `allocatePixelBlock` through the allocator its tag names; a null pointer or
/// a block with an unknown tag is left alone. Any thread.
void freePixelBlock(Pixel* pixels);
/// The tag of a block from `allocatePixelBlock` (`kHeapBlockTag` or `kSystemBlockTag`).
[[nodiscard]] std::uint32_t pixelBlockTag(const Pixel* pixels);

/// The one in-memory image: `width` x `height` pixel words, row-major, top row first, without
/// padding. The object owns its pixel block; copies are explicit (`clone`, `copyFrom`), moves
/// hand the block over. An empty image has null pixels and a size of 0 x 0. Not synchronised:
/// one thread builds an image; several may read a finished one.
struct Foto {
  std::uint32_t width = 0;   ///< pixels per row
  std::uint32_t height = 0;  ///< number of rows
  Pixel* pixels = nullptr;   ///< owned; null when empty

  Foto();
  ~Foto();
  Foto(Foto&& other) noexcept;
  Foto& operator=(Foto&& other) noexcept;
  Foto(const Foto&) = delete;
  Foto& operator=(const Foto&) = delete;

  /// (Re)creates the image at `w` x `h` with uncleared pixels. When the block cannot be had,
  /// shows "Out Of Memory while allocating an Image made of %ldx%ld Pixels" + "!" and fails;
  /// a 0 size fails without a message. On failure the image ends empty.
  [[nodiscard]] bool create(std::uint32_t w, std::uint32_t h);
  /// `create` without any message.
  [[nodiscard]] bool createQuiet(std::uint32_t w, std::uint32_t h);
  /// `create`, then every pixel set to 0.
  [[nodiscard]] bool createCleared(std::uint32_t w, std::uint32_t h);
  /// Recreates this image at the size of `source` and copies its pixels; fails on an empty source
  /// (this image unchanged) or when memory runs out (message of `create`, image empty).
  [[nodiscard]] bool copyFrom(const Foto& source);
  /// Sets every pixel to `colour`; an empty image stays empty.
  void fill(Pixel colour);
  /// Frees the pixels; the image becomes empty.
  void release();
  /// Replaces this image's content by `other`'s (block, width, height); `other` ends empty.
  void takeFrom(Foto& other) noexcept;

  /// True when the image has no pixels.
  [[nodiscard]] bool empty() const { return pixels == nullptr; }
  /// width x height.
  [[nodiscard]] std::size_t pixelCount() const { return static_cast<std::size_t>(width) * height; }
  /// The first pixel of row `y` (no bounds check).
  [[nodiscard]] Pixel* row(std::uint32_t y) { return pixels + static_cast<std::size_t>(y) * width; }
  [[nodiscard]] const Pixel* row(std::uint32_t y) const {
    return pixels + static_cast<std::size_t>(y) * width;
  }
  /// The pixel at column `x`, row `y` (no bounds check).
  [[nodiscard]] Pixel& at(std::uint32_t x, std::uint32_t y) { return row(y)[x]; }
  [[nodiscard]] Pixel at(std::uint32_t x, std::uint32_t y) const { return row(y)[x]; }
};

/// The shape of one mosaic cell: a bounding box in mosaic pixels and an optional bitmap marking
/// the pixels of the box that belong to the cell. Bit i (i = x + y x width) is bit (i mod 4) of
/// word (i div 4); a bitmap of n bits occupies n div 4 + 1 words. Without a bitmap (bitCount 0)
/// every pixel of the box belongs to the cell. A plain value: copies copy the bitmap.
struct FotoMask {
  std::int32_t top = 0;             ///< y of the box's first row
  std::int32_t left = 0;            ///< x of the box's first column
  std::int32_t width = 0;           ///< box width
  std::int32_t height = 0;          ///< box height
  std::uint32_t area = 0;           ///< width x height; 0 marks an empty cell
  std::uint32_t wordCapacity = 0;   ///< words allocated for the bitmap (= bits.size())
  std::uint32_t bitCount = 0;       ///< bits in the bitmap; 0 = no bitmap
  std::vector<std::uint32_t> bits;  ///< the bitmap, four pixels per word in bits 0-3

  FotoMask();
  ~FotoMask();
  FotoMask(const FotoMask& other);
  FotoMask& operator=(const FotoMask& other);
  FotoMask(FotoMask&& other) noexcept;
  FotoMask& operator=(FotoMask&& other) noexcept;

  /// Sets the box and its area (width x height, 0 when either side is not positive).
  void setBox(std::int32_t boxTop, std::int32_t boxLeft, std::int32_t boxWidth,
              std::int32_t boxHeight);
  /// True when a bitmap is present.
  [[nodiscard]] bool hasBitmap() const { return bitCount != 0; }
  /// Allocates a cleared bitmap of `count` bits (count div 4 + 1 words). Fails (bitmap dropped)
  /// for 0 bits or when memory runs out.
  [[nodiscard]] bool allocateBitmap(std::uint32_t count);
  /// Drops the bitmap: every pixel of the box belongs to the cell again.
  void dropBitmap();
  /// Bit `i` of the bitmap; false beyond `bitCount`.
  [[nodiscard]] bool bit(std::uint32_t i) const {
    return i < bitCount && ((bits[i >> 2] >> (i & 3u)) & 1u) != 0;
  }
  /// Sets or clears bit `i`; ignored beyond `bitCount`.
  void setBit(std::uint32_t i, bool value) {
    if (i >= bitCount) return;
    if (value) {
      bits[i >> 2] |= 1u << (i & 3u);
    } else {
      bits[i >> 2] &= ~(1u << (i & 3u));
    }
  }
};

// ---- Creating and copying -------------------------------------------------------------------

/// A new `w` x `h` image with every pixel 0, or nothing (0 size; no memory, after the message of
/// `Foto::create`).
[[nodiscard]] std::unique_ptr<Foto> newCleared(std::uint32_t w, std::uint32_t h);
/// A new image with the size and pixels of `image`, or nothing (empty input; no memory, after the
/// message of `Foto::create`).
[[nodiscard]] std::unique_ptr<Foto> clone(const Foto& image);

// ---- Orientation (the tile variants) --------------------------------------------------------

/// Variant codes: 1 original, 2 mirrored, 3 flipped, 4 half turn, 5 quarter turn clockwise,
/// 6 quarter turn counter-clockwise, 7 mirror about the main diagonal, 8 about the other one.
inline constexpr int kVariantOriginal = 1;
inline constexpr int kVariantMirror = 2;
inline constexpr int kVariantFlip = 3;
inline constexpr int kVariantRotated180 = 4;
inline constexpr int kVariantRotated90 = 5;
inline constexpr int kVariantRotated270 = 6;
inline constexpr int kVariantTransposed = 7;
inline constexpr int kVariantAntitransposed = 8;

/// A new image mirrored left-right, or nothing (empty input, no memory).
[[nodiscard]] std::unique_ptr<Foto> mirror(const Foto& image);
/// A new image flipped upside down, or nothing.
[[nodiscard]] std::unique_ptr<Foto> flip(const Foto& image);
/// A new image turned by `degrees`: 0 clones, 90 clockwise, 180 or -180 half a turn, 270 or -90
/// counter-clockwise; any other angle, an empty input or no memory gives nothing.
[[nodiscard]] std::unique_ptr<Foto> rotate(const Foto& image, int degrees);
/// A new image transformed by tile variant 1-8; other values, an empty input or no memory give
/// nothing.
[[nodiscard]] std::unique_ptr<Foto> applyVariant(const Foto& image, int variant);
/// In-place forms: the result replaces the image only when complete; on failure the image is
/// unchanged. `applyVariantInPlace` with variant 1 succeeds without work (even on an empty
/// image); any value outside 1-8 fails.
[[nodiscard]] bool mirrorInPlace(Foto& image);
[[nodiscard]] bool flipInPlace(Foto& image);
[[nodiscard]] bool rotateInPlace(Foto& image, int degrees);
[[nodiscard]] bool applyVariantInPlace(Foto& image, int variant);

// ---- Scaling and cropping -------------------------------------------------------------------

/// A new `outW` x `outH` image sampled from the rectangle (`rectW` x `rectH` at `rectX`, `rectY`)
/// of `source`: every output pixel is the opacity-weighted area average of the source area it
/// covers, each covered source fragment sampled bilinearly at its centre. Parts of the rectangle
/// outside the source give transparent black. Fails (nothing) on an empty source, a 0 output
/// size, rectW or rectH <= 0, rectX or rectY < 0, or no memory (message of `Foto::create`).
[[nodiscard]] std::unique_ptr<Foto> resample(const Foto& source, std::uint32_t outW,
                                             std::uint32_t outH, double rectW, double rectH,
                                             double rectX, double rectY);
/// `resample` replacing the image; does nothing (and succeeds) when the output and the rectangle
/// are the whole image at its own size. On failure the image is unchanged.
[[nodiscard]] bool resampleInPlace(Foto& image, std::uint32_t outW, std::uint32_t outH,
                                   double rectW, double rectH, double rectX, double rectY);
/// Resamples the whole image, in place, to the largest size of its own aspect that fits
/// `maxW` x `maxH`. Fails on an empty image, a 0 bound or no memory (image unchanged).
[[nodiscard]] bool fitWithin(Foto& image, std::uint32_t maxW, std::uint32_t maxH);
/// Shrinks `w` x `h` to the largest w' x h' of aspect `aspectW`:`aspectH` inside it (integer
/// arithmetic, each side at least 1). Fails, changing nothing, if any input is 0.
[[nodiscard]] bool cropToAspect(std::uint32_t& w, std::uint32_t& h, std::uint32_t aspectW,
                                std::uint32_t aspectH);
/// The same in doubles with rounding to the nearest integer (trunc(x + 0.5), at least 1).
/// Fails, changing nothing, when w, h, aspectW or aspectH is not positive.
[[nodiscard]] bool cropToAspectRounded(std::uint32_t& w, std::uint32_t& h, double aspectW,
                                       double aspectH);
/// Both sides become the smaller of the two.
void squareCrop(std::uint32_t& w, std::uint32_t& h);

// ---- Compositing ----------------------------------------------------------------------------

/// `paste` mode flags. Neither flag: blend (transparent source pixels keep the target, over a
/// transparent target the source is written, otherwise colours are averaged and T is the
/// source's). `kPasteCopy` wins over `kPasteKeyed`.
inline constexpr unsigned kPasteBlend = 0;
/// Rows are copied unchanged.
inline constexpr unsigned kPasteCopy = 1;
/// Source pixels with T >= 250 leave the target; others replace it.
inline constexpr unsigned kPasteKeyed = 2;

/// Composites `source` into `target` with its top-left corner at (`x`, `y`), clipped on all
/// sides. Fails, changing nothing, when the placement misses the target or either is empty.
/// Distinct threads may paste into disjoint regions of one target.
[[nodiscard]] bool paste(const Foto& source, Foto& target, std::int64_t x, std::int64_t y,
                         unsigned mode);
/// A new 12 x 12 image of transparent black with `image` blend-pasted at (`x`, `y`); nothing
/// unless the image is non-empty, x, y >= 0, x + width <= 12 and y + height <= 12.
[[nodiscard]] std::unique_ptr<Foto> placeIn12x12(const Foto& image, std::int64_t x, std::int64_t y);

// ---- Colour ---------------------------------------------------------------------------------

/// `pixel` moved towards `colour` by `weight` (0 keeps the pixel, 255 gives the colour's R, G, B);
/// T is kept. Values of `weight` above 255 act as 255. Inline: the colour blend calls it for
/// every pixel of every cell.
[[nodiscard]] inline Pixel blendPixel(Pixel pixel, Pixel colour, unsigned weight) {
  const std::uint32_t w = weight < 255u ? weight : 255u;
  const std::uint32_t keep = 255u - w;
  return makePixel((pixelRed(colour) * w + pixelRed(pixel) * keep) / 255u,
                   (pixelGreen(colour) * w + pixelGreen(pixel) * keep) / 255u,
                   (pixelBlue(colour) * w + pixelBlue(pixel) * keep) / 255u, pixelT(pixel));
}
/// The grey value of a pixel: L = 30 R + 59 G + 11 B, rounded L / 100.
[[nodiscard]] std::uint32_t greyValue(Pixel pixel);
/// Every pixel becomes grey (R = G = B = `greyValue`), T kept. Fails on an empty image.
[[nodiscard]] bool toGrey(Foto& image);
/// Adds the offsets to R, G and B with clamping to 0-255, T kept (any offset beyond +-255
/// saturates). All offsets 0 is a no-op. Fails on an empty image.
[[nodiscard]] bool shiftLevels(Foto& image, int dR, int dG, int dB);
/// (dR)^2 + (dG)^2 + (dB)^2 of two pixels; T is ignored.
[[nodiscard]] std::uint32_t colourDistance(Pixel a, Pixel b);

/// Accumulates pixels weighted by their opacity: an opaque pixel weighs 256, any other
/// (256 x (255 - T)) / 255; T is averaged plainly over all pixels. Fully transparent regions
/// therefore average to R = G = B = 0 with T = 255.
class PixelAverage {
 public:
  /// Adds one pixel.
  void add(Pixel p) {
    const std::uint32_t t = pixelT(p);
    const std::uint64_t w = t == 0 ? 256u : (256u * (255u - t)) / 255u;
    m_sumR += w * pixelRed(p);
    m_sumG += w * pixelGreen(p);
    m_sumB += w * pixelBlue(p);
    m_sumW += w;
    m_sumT += 256u * t;
    m_count += 256u;
  }
  /// The average pixel of everything added (transparent black when nothing was added).
  [[nodiscard]] Pixel average() const;

 private:
  std::uint64_t m_sumR = 0;
  std::uint64_t m_sumG = 0;
  std::uint64_t m_sumB = 0;
  std::uint64_t m_sumW = 0;
  std::uint64_t m_sumT = 0;
  std::uint64_t m_count = 0;
};

// ---- Masks ----------------------------------------------------------------------------------

/// Sets every pixel's T from `mask`: pixels of the cell (mask area non-zero and either no bitmap
/// or the pixel's bit set) get T = 0, all others T = 255; colours kept. Fails, changing nothing,
/// on an empty image or unless the mask's width and height equal the image's.
[[nodiscard]] bool applyMask(Foto& image, const FotoMask& mask);
/// A new image of the mask's box size: `colour` where the cell's pixels are, transparent black
/// elsewhere; nothing for an empty mask (area 0) or no memory.
[[nodiscard]] std::unique_ptr<Foto> toFoto(const FotoMask& mask, Pixel colour);
/// Grows the mask's box to contain (`x`, `y`) and drops the bitmap. Fails on an empty mask.
[[nodiscard]] bool includePoint(FotoMask& mask, std::int32_t y, std::int32_t x);
/// Sets `target`'s bitmap to the `w` x `h` sub-rectangle of `source`'s bitmap that starts at bit
/// `firstBit`, where source rows lie `w` + `gap` bits apart; the target's box is not changed.
/// When the source has no bitmap or holds too few bits (fewer than h x (gap + w) + firstBit - gap),
/// or w or h is 0, the target's bitmap is dropped instead and false returned.
bool extractRect(FotoMask& target, const FotoMask& source, std::uint32_t gap, std::uint32_t w,
                 std::uint32_t h, std::uint32_t firstBit);

}  // namespace tg
