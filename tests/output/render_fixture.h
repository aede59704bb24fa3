// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/comparison_settings.h"
#include "geometry/puzzle_info.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "job/mosaic_job.h"
#include "output/jpeg_writer.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "tiles/foto_info.h"

namespace tg::test {

/// A job, tile pictures on disk and cells that use them, for rendering tests. Tiles are solid or
/// split pictures written as quality-100 JPEG files; their signatures are built from the exact
/// pixels. The comparison allows only the original variant and changes no colour, unless a test
/// says otherwise.
class RenderFixture : public ::testing::Test {
 protected:
  RenderFixture() {
    comparison.variantBits = kVariantBitOriginal;
    comparison.setShiftLimit(0);
    comparison.blendStrength = 0;
    job.settings.advanced.setRowValue(AdvancedRow::MemoryBlockSizeMB, "10");
  }

  /// A tile picture of `width` x `height`: `top` colour above the middle row, `bottom` below.
  FotoInfo& addTile(const std::string& name, Pixel top, Pixel bottom, std::uint32_t width = 64,
                    std::uint32_t height = 64, bool onDisk = true) {
    Foto image;
    EXPECT_TRUE(image.create(width, height));
    for (std::uint32_t y = 0; y < height; ++y) {
      for (std::uint32_t x = 0; x < width; ++x) image.at(x, y) = y < height / 2 ? top : bottom;
    }
    FotoInfo& tile = tiles.emplace_back();
    tile.path = dir.file(name + ".jpg");
    EXPECT_TRUE(buildSignature(image, true, tile.signature));
    if (onDisk) {
      EXPECT_TRUE(writeJpegImage(tile.path, image, 100, 0));
    }
    return tile;
  }

  /// A cell with box (left, top, width, height) using `tile`, whose signature matches the
  /// tile's.
  PuzzleInfo& addCell(FotoInfo* tile, std::int32_t left, std::int32_t top, std::int32_t width,
                      std::int32_t height) {
    auto& cell = *cellStore.emplace_back(std::make_unique<PuzzleInfo>());
    cell.shape.setBox(top, left, width, height);
    cell.active = 1;
    cell.tile = tile;
    if (tile != nullptr) cell.signature = tile->signature;
    cells.push_back(&cell);
    return cell;
  }

  /// The pixels of a RAW file of `width` x `height` (T = 0), or empty when its size is wrong.
  static std::vector<Pixel> readRaw(const std::string& path, std::uint32_t width,
                                    std::uint32_t height) {
    const std::string bytes = readFile(path);
    std::vector<Pixel> pixels;
    if (bytes.size() != std::size_t{width} * height * 3) return pixels;
    pixels.resize(std::size_t{width} * height);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      pixels[i] = makePixel(static_cast<unsigned char>(bytes[3 * i]),
                            static_cast<unsigned char>(bytes[3 * i + 1]),
                            static_cast<unsigned char>(bytes[3 * i + 2]));
    }
    return pixels;
  }

  static bool near(Pixel a, Pixel b, int tolerance = 3) {
    auto d = [](std::uint32_t x, std::uint32_t y) {
      return static_cast<int>(x) - static_cast<int>(y);
    };
    return std::abs(d(pixelRed(a), pixelRed(b))) <= tolerance &&
           std::abs(d(pixelGreen(a), pixelGreen(b))) <= tolerance &&
           std::abs(d(pixelBlue(a), pixelBlue(b))) <= tolerance;
  }

  ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  MosaicJob job;
  ComparisonSettings comparison;
  std::deque<FotoInfo> tiles;
  std::vector<std::unique_ptr<PuzzleInfo>> cellStore;
  std::vector<PuzzleInfo*> cells;
};

}  // namespace tg::test
