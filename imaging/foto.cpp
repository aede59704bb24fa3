// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/foto.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/live_objects.h"
#include "platform/catalogue.h"
#include "platform/memory_block.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

// The record in front of every pixel block: the allocator's tag sits in the 4 bytes right before
// the pixels; the byte count lets a system block be returned with its exact size. 16 bytes keep
// the pixels 16-byte aligned.
struct BlockHeader {
  std::uint64_t bytes;
  std::uint32_t reserved;
  std::uint32_t tag;
};
static_assert(sizeof(BlockHeader) == 16);

BlockHeader* headerOf(const Pixel* pixels) {
  return reinterpret_cast<BlockHeader*>(
      const_cast<unsigned char*>(reinterpret_cast<const unsigned char*>(pixels)) -
      sizeof(BlockHeader));
}

void showOutOfMemory(std::uint32_t w, std::uint32_t h) {
  showMessage(formatText(tr("Out Of Memory while allocating an Image made of %ldx%ld Pixels"),
                         static_cast<long>(w), static_cast<long>(h)) +
              "!");
}

}  // namespace

Pixel* allocatePixelBlock(std::uint64_t count) {
  if (count == 0) return nullptr;
  // A size the address space cannot hold is refused here rather than wrapped to a smaller block.
  constexpr std::uint64_t kMaxCount =
      (std::numeric_limits<std::size_t>::max() - sizeof(BlockHeader)) / sizeof(Pixel);
  if (count > kMaxCount) return nullptr;
  const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(Pixel) + sizeof(BlockHeader);
  // The allocator is chosen by the block size the pixels and a 4-byte tag need.
  const bool fromSystem = count * sizeof(Pixel) + 4 >= kSystemBlockThreshold;
  void* block = fromSystem ? allocateSystemBlock(bytes) : std::malloc(bytes);
  if (block == nullptr) return nullptr;
  auto* header = static_cast<BlockHeader*>(block);
  header->bytes = bytes;
  header->reserved = 0;
  header->tag = fromSystem ? kSystemBlockTag : kHeapBlockTag;
  return reinterpret_cast<Pixel*>(static_cast<unsigned char*>(block) + sizeof(BlockHeader));
}

void freePixelBlock(Pixel* pixels) {
  if (pixels == nullptr) return;
  BlockHeader* header = headerOf(pixels);
  if (header->tag == kHeapBlockTag) {
    std::free(header);
  } else if (header->tag == kSystemBlockTag) {
    freeSystemBlock(header, static_cast<std::size_t>(header->bytes));
  }
}

std::uint32_t pixelBlockTag(const Pixel* pixels) {
  return pixels == nullptr ? 0 : headerOf(pixels)->tag;
}

// ---- Foto -----------------------------------------------------------------------------------

Foto::Foto() { countCreated(LiveObject::Foto); }

Foto::~Foto() {
  freePixelBlock(pixels);
  countDestroyed(LiveObject::Foto);
}

Foto::Foto(Foto&& other) noexcept : width(other.width), height(other.height), pixels(other.pixels) {
  countCreated(LiveObject::Foto);
  other.width = 0;
  other.height = 0;
  other.pixels = nullptr;
}

Foto& Foto::operator=(Foto&& other) noexcept {
  if (this != &other) takeFrom(other);
  return *this;
}

bool Foto::createQuiet(std::uint32_t w, std::uint32_t h) {
  release();
  const std::uint64_t count = static_cast<std::uint64_t>(w) * h;
  if (count == 0) return false;
  pixels = allocatePixelBlock(count);
  if (pixels == nullptr) return false;
  width = w;
  height = h;
  return true;
}

bool Foto::create(std::uint32_t w, std::uint32_t h) {
  if (createQuiet(w, h)) return true;
  if (w != 0 && h != 0) showOutOfMemory(w, h);
  return false;
}

bool Foto::createCleared(std::uint32_t w, std::uint32_t h) {
  if (!create(w, h)) return false;
  std::memset(pixels, 0, pixelCount() * sizeof(Pixel));
  return true;
}

bool Foto::copyFrom(const Foto& source) {
  if (source.empty() || &source == this) return !source.empty();
  if (!create(source.width, source.height)) return false;
  std::memcpy(pixels, source.pixels, pixelCount() * sizeof(Pixel));
  return true;
}

void Foto::fill(Pixel colour) {
  if (empty()) return;
  std::fill_n(pixels, pixelCount(), colour);
}

void Foto::release() {
  freePixelBlock(pixels);
  pixels = nullptr;
  width = 0;
  height = 0;
}

void Foto::takeFrom(Foto& other) noexcept {
  if (this == &other) return;
  freePixelBlock(pixels);
  pixels = other.pixels;
  width = other.width;
  height = other.height;
  other.pixels = nullptr;
  other.width = 0;
  other.height = 0;
}

std::unique_ptr<Foto> newCleared(std::uint32_t w, std::uint32_t h) {
  auto image = std::make_unique<Foto>();
  if (!image->createCleared(w, h)) return nullptr;
  return image;
}

std::unique_ptr<Foto> clone(const Foto& image) {
  if (image.empty()) return nullptr;
  auto copy = std::make_unique<Foto>();
  if (!copy->copyFrom(image)) return nullptr;
  return copy;
}

// ---- FotoMask -------------------------------------------------------------------------------

FotoMask::FotoMask() { countCreated(LiveObject::FotoMask); }

FotoMask::~FotoMask() { countDestroyed(LiveObject::FotoMask); }

FotoMask::FotoMask(const FotoMask& other)
    : top(other.top),
      left(other.left),
      width(other.width),
      height(other.height),
      area(other.area),
      wordCapacity(other.wordCapacity),
      bitCount(other.bitCount),
      bits(other.bits) {
  countCreated(LiveObject::FotoMask);
}

FotoMask& FotoMask::operator=(const FotoMask& other) = default;

FotoMask::FotoMask(FotoMask&& other) noexcept
    : top(other.top),
      left(other.left),
      width(other.width),
      height(other.height),
      area(other.area),
      wordCapacity(other.wordCapacity),
      bitCount(other.bitCount),
      bits(std::move(other.bits)) {
  countCreated(LiveObject::FotoMask);
  other.wordCapacity = 0;
  other.bitCount = 0;
}

FotoMask& FotoMask::operator=(FotoMask&& other) noexcept {
  if (this == &other) return *this;
  top = other.top;
  left = other.left;
  width = other.width;
  height = other.height;
  area = other.area;
  wordCapacity = other.wordCapacity;
  bitCount = other.bitCount;
  bits = std::move(other.bits);
  other.wordCapacity = 0;
  other.bitCount = 0;
  other.bits.clear();
  return *this;
}

void FotoMask::setBox(std::int32_t boxTop, std::int32_t boxLeft, std::int32_t boxWidth,
                      std::int32_t boxHeight) {
  top = boxTop;
  left = boxLeft;
  width = boxWidth;
  height = boxHeight;
  const std::uint64_t product =
      boxWidth > 0 && boxHeight > 0
          ? static_cast<std::uint64_t>(boxWidth) * static_cast<std::uint64_t>(boxHeight)
          : 0;
  area = static_cast<std::uint32_t>(std::min<std::uint64_t>(product, UINT32_MAX));
}

bool FotoMask::allocateBitmap(std::uint32_t count) {
  dropBitmap();
  if (count == 0) return false;
  try {
    bits.assign(static_cast<std::size_t>(count / 4) + 1, 0u);
  } catch (const std::bad_alloc&) {
    bits.clear();
    return false;
  }
  wordCapacity = static_cast<std::uint32_t>(bits.size());
  bitCount = count;
  return true;
}

void FotoMask::dropBitmap() {
  bits.clear();
  bits.shrink_to_fit();
  wordCapacity = 0;
  bitCount = 0;
}

}  // namespace tg
