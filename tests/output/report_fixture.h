// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/comparison_settings.h"
#include "geometry/cell_grid.h"
#include "geometry/puzzle_info.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "output/jpeg_writer.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "tiles/foto_info.h"

namespace tg::test {

/// A grid of cells with solid grey signatures and solid grey tiles, for the report, web page and
/// mask tests. The comparison allows only the original variant and no colour shift, so a cell's
/// raw distance depends only on the two greys.
class ReportFixture : public ::testing::Test {
 protected:
  ReportFixture() {
    comparison.variantBits = kVariantBitOriginal;
    comparison.setShiftLimit(0);
  }

  static ImageSignature greySignature(std::uint32_t grey) {
    Foto image;
    EXPECT_TRUE(image.create(24, 24));
    image.fill(makePixel(grey, grey, grey));
    ImageSignature signature;
    EXPECT_TRUE(buildSignature(image, true, signature));
    return signature;
  }

  /// A tile record at `path` with a grey signature; with `onDisk` a `width` x `height` JPEG of
  /// that grey is written there.
  FotoInfo& addTile(const std::string& path, std::uint32_t grey, bool onDisk = false,
                    std::uint32_t width = 40, std::uint32_t height = 30) {
    FotoInfo& tile = tiles.emplace_back();
    tile.path = path;
    tile.signature = greySignature(grey);
    if (onDisk) {
      Foto image;
      EXPECT_TRUE(image.create(width, height));
      image.fill(makePixel(grey, grey, grey));
      EXPECT_TRUE(writeJpegImage(path, image, 90, 0));
    }
    return tile;
  }

  /// An active cell with box (left, top, width, height), a grey signature, weight 20 and `tile`.
  PuzzleInfo& addCell(FotoInfo* tile, std::int32_t left, std::int32_t top, std::int32_t width,
                      std::int32_t height, std::uint32_t grey = 128) {
    PuzzleInfo& cell = grid.append();
    cell.shape.setBox(top, left, width, height);
    cell.active = 1;
    cell.weight = 20;
    cell.tile = tile;
    cell.score = tile != nullptr ? 0 : kNoScore;
    cell.signature = greySignature(grey);
    if (tile != nullptr) ++tile->useCount;
    return cell;
  }

  ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  ComparisonSettings comparison;
  CellGrid grid;
  std::deque<FotoInfo> tiles;
};

/// The fields of one CSV line (RFC 4180 quoting); `ok` is false for a malformed line.
struct CsvLine {
  std::vector<std::string> fields;
  bool ok = true;
};
inline CsvLine parseCsvLine(const std::string& line) {
  CsvLine result;
  std::string field;
  bool quoted = false;
  bool wasQuoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      if (!field.empty() || wasQuoted) result.ok = false;
      quoted = wasQuoted = true;
    } else if (c == ',') {
      result.fields.push_back(field);
      field.clear();
      wasQuoted = false;
    } else {
      if (wasQuoted) result.ok = false;
      field += c;
    }
  }
  if (quoted) result.ok = false;
  result.fields.push_back(field);
  return result;
}

/// `text` split at every "\r\n" (the last piece after the final line end included).
inline std::vector<std::string> splitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  lines.push_back(text.substr(at));
  return lines;
}

}  // namespace tg::test
