// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/advanced_settings.h"
#include "config/settings_store.h"
#include "geometry/geometry_presets.h"
#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "job/mosaic_job.h"
#include "job/settings_sets.h"
#include "output/jpeg_writer.h"
#include "support/scratch_dir.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"

namespace tg::test {

/// A JPEG of one colour `rgb` (red in the low byte) with a faint gradient, so that tiles of one
/// colour still differ.
inline void writeColourPhoto(const std::string& path, std::uint32_t width, std::uint32_t height,
                             std::uint32_t rgb) {
  Foto image;
  ASSERT_TRUE(image.create(width, height));
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t shade = (x + y) % 16;
      const std::uint32_t r = std::min<std::uint32_t>(255, (rgb & 0xFF) + shade);
      const std::uint32_t g = std::min<std::uint32_t>(255, ((rgb >> 8) & 0xFF) + shade);
      const std::uint32_t b = std::min<std::uint32_t>(255, ((rgb >> 16) & 0xFF) + shade);
      image.row(y)[x] = r | (g << 8) | (b << 16);
    }
  }
  ASSERT_TRUE(writeJpegImage(path, image, 90, 0));
}

/// The average of one channel (0 red, 1 green, 2 blue) over a rectangle of `image`.
inline double channelMean(const Foto& image, int channel, std::uint32_t left, std::uint32_t top,
                          std::uint32_t width, std::uint32_t height) {
  double sum = 0;
  for (std::uint32_t y = top; y < top + height; ++y) {
    for (std::uint32_t x = left; x < left + width; ++x) {
      sum += (image.row(y)[x] >> (8 * channel)) & 0xFF;
    }
  }
  return sum / (static_cast<double>(width) * height);
}

/// A scratch folder with a real, analysed Tile Images List of reddish and bluish photographs
/// (tiles/), a main image whose left half is red and right half blue (main.jpg), and a job
/// whose settings make a 200 x 150 JPEG mosaic in cells of 10 pixels into out/m.jpg.
class RealJobFixture : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kRed = 0x002020D0;
  static constexpr std::uint32_t kBlue = 0x00D02020;

  void SetUp() override {
    std::filesystem::create_directories(m_dir.path() / "tiles");
    std::filesystem::create_directories(m_dir.path() / "out");
    for (int i = 0; i < 12; ++i) {
      const std::uint32_t shift = static_cast<std::uint32_t>(i) * 3;
      writeColourPhoto(m_dir.file("tiles/red" + std::to_string(i) + ".jpg"), 64, 48, kRed + shift);
      writeColourPhoto(m_dir.file("tiles/blue" + std::to_string(i) + ".jpg"), 64, 48,
                       kBlue + (shift << 8));
    }
    Foto main;
    ASSERT_TRUE(main.create(240, 180));
    for (std::uint32_t y = 0; y < 180; ++y) {
      for (std::uint32_t x = 0; x < 240; ++x) main.row(y)[x] = x < 120 ? kRed : kBlue;
    }
    m_mainImage = m_dir.file("main.jpg");
    ASSERT_TRUE(writeJpegImage(m_mainImage, main, 95, 0));

    analyseFolder(m_dir.file("tiles") + "/");

    MosaicSettings& s = m_job.settings;
    applyBuiltInColumn(s, SettingsSetId::DefaultSettings);
    installGeometryPresets(s);
    // The factory values of the advanced rows (the comparison reads its weights there).
    SettingsStore noConfiguration;
    loadAdvancedRows(s.advanced, true, noConfiguration);
    s.mosaicSize.set(SizeValue{200, 150, UnitId::Pixel});
    s.tileSize.set(Quantity{10, UnitId::Pixel});
    s.resolution.set(Quantity{72, UnitId::Ppi});
    s.duplicateSpacing.set(1);
    s.fileFormat.set(kFormatJpeg);
    m_output = m_dir.file("out/m.jpg");
    m_job.explicitOutputs[m_mainImage] = m_output;
    m_base = m_dir.file("out/m");
  }

  /// Builds and analyses the list from the folder `folder` (ending in '/').
  void analyseFolder(const std::string& folder) {
    addFolder(m_list, folder, kIncludeList);
    buildTileCollection(m_list);
    prepareAnalysis(m_list);
    while (runAnalysisSlice(m_list)) {
    }
    ASSERT_EQ(m_list.tiles.size(), 24u);
  }

  /// The lines of the cell table of the text report at `path`.
  static std::vector<std::string> reportCellLines(const std::string& path) {
    const std::string text = readFile(path);
    const std::string header =
        "Left,Top,Width,Height,Size KPixels,Image,ImageID/Sequence,Tile Quality,Tile "
        "Priority,Score,Used Count\r\n";
    std::vector<std::string> lines;
    auto at = text.find(header);
    if (at == std::string::npos) return lines;
    at += header.size();
    while (at < text.size()) {
      const auto end = text.find("\r\n", at);
      if (end == std::string::npos || end == at) break;
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }

  ScratchDir m_dir;
  TileImagesList m_list;
  MosaicJob m_job;
  std::string m_mainImage;
  std::string m_output;
  std::string m_base;
};

}  // namespace tg::test
