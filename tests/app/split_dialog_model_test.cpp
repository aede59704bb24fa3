// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/split_dialog_model.h"

#include <gtest/gtest.h>

#include "geometry/mosaic_geometry.h"
#include "job/mosaic_settings.h"
#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

MosaicGeometry geometryOf(std::uint32_t width, std::uint32_t height, std::uint32_t tile,
                          std::uint32_t border = 0) {
  MosaicGeometry geometry;
  geometry.mosaicWidth = width;
  geometry.mosaicHeight = height;
  geometry.tileWidth = tile;
  geometry.tileHeight = tile;
  geometry.border = border;
  return geometry;
}

TEST(SplitDialogModel, StartsWithOnePieceOfTheWholeMosaic) {
  const SplitDialogModel model(geometryOf(1000, 800, 40));
  EXPECT_EQ(model.pixels(), (SplitPair{1000, 800}));
  EXPECT_EQ(model.pieces(), (SplitPair{1, 1}));
  EXPECT_EQ(model.tilesPerPiece(), (SplitPair{25, 20}));
}

TEST(SplitDialogModel, EachFormShowsTheOthers) {
  SplitDialogModel model(geometryOf(1000, 800, 40));
  // Pieces of 400 x 300 cut the mosaic into 3 x 3, the last column and row narrower.
  ASSERT_TRUE(model.set(SplitForm::Pixels, {400, 300}));
  EXPECT_EQ(model.pieces(), (SplitPair{3, 3}));
  EXPECT_EQ(model.tilesPerPiece(), (SplitPair{10, 7}));
  // Ten tiles a side are 400 pixels: pieces end on tile edges.
  ASSERT_TRUE(model.set(SplitForm::TilesPerPiece, {10, 10}));
  EXPECT_EQ(model.pixels(), (SplitPair{400, 400}));
  EXPECT_EQ(model.pieces(), (SplitPair{3, 2}));
  EXPECT_EQ(model.value(SplitForm::TilesPerPiece), (SplitPair{10, 10}));
  // Three pieces across and down: the smallest pieces that reach the far edges.
  ASSERT_TRUE(model.set(SplitForm::Pieces, {3, 3}));
  EXPECT_EQ(model.pixels(), (SplitPair{334, 267}));
  EXPECT_EQ(model.value(SplitForm::Pieces), (SplitPair{3, 3}));
}

TEST(SplitDialogModel, PieceCountsGiveTheSmallestCoveringPiece) {
  for (const std::uint32_t width : {1000u, 997u, 64u, 30001u}) {
    SplitDialogModel model(geometryOf(width, 500, 10));
    for (std::uint64_t count = 1; count <= 40; ++count) {
      SCOPED_TRACE(testing::Message() << width << " / " << count);
      ASSERT_TRUE(model.set(SplitForm::Pieces, {count, 1}));
      const std::uint64_t piece = model.pixels().across;
      EXPECT_GE(piece * count, width);        // the pieces cover the mosaic
      EXPECT_LT((piece - 1) * count, width);  // and one pixel less would not
      if (piece > 10) {
        EXPECT_LE(model.pieces().across, count);
      }
    }
  }
  // More pieces than pixels ask for one-pixel pieces, which the dialog then refuses.
  SplitDialogModel model(geometryOf(8, 8, 2));
  ASSERT_TRUE(model.set(SplitForm::Pieces, {50, 50}));
  EXPECT_EQ(model.pixels(), (SplitPair{1, 1}));
}

TEST(SplitDialogModel, TilesPerPieceCountTheBorderAndStopAtTheMosaicEdge) {
  // 25 tiles of 40 with a border of 4 between them: 25 x 44 - 4 pixels.
  SplitDialogModel model(geometryOf(25 * 44 - 4, 20 * 44 - 4, 40, 4));
  ASSERT_TRUE(model.set(SplitForm::TilesPerPiece, {5, 4}));
  EXPECT_EQ(model.pixels(), (SplitPair{220, 176}));
  EXPECT_EQ(model.pieces(), (SplitPair{5, 5}));
  EXPECT_EQ(model.tilesPerPiece(), (SplitPair{5, 4}));
  // More tiles than the mosaic holds: one piece of the whole mosaic, which holds all its tiles.
  ASSERT_TRUE(model.set(SplitForm::TilesPerPiece, {25, 4000000000u}));
  EXPECT_EQ(model.pixels(), (SplitPair{1096, 176 * 5 - 4}));
  EXPECT_EQ(model.pieces(), (SplitPair{1, 1}));
  EXPECT_EQ(model.tilesPerPiece(), (SplitPair{25, 20}));
}

TEST(SplitDialogModel, UnusableInputKeepsThePreviousSize) {
  SplitDialogModel model(geometryOf(1000, 800, 40));
  ASSERT_TRUE(model.set(SplitForm::Pixels, {500, 400}));
  EXPECT_FALSE(model.set(SplitForm::Pixels, {0, 400}));
  EXPECT_FALSE(model.set(SplitForm::Pieces, {3, 0}));
  EXPECT_EQ(model.pixels(), (SplitPair{500, 400}));
  // Pixel sizes beyond what the settings store are clamped, not wrapped.
  ASSERT_TRUE(model.set(SplitForm::Pixels, {1ull << 40, 20}));
  EXPECT_EQ(model.pixels().across, 0xFFFFFFFFu);
  EXPECT_EQ(model.pieces().across, 1u);

  // Cells drawn from a mask file have no tile size: only pixels and piece counts work.
  SplitDialogModel masked(geometryOf(1000, 800, 0));
  EXPECT_FALSE(masked.hasTileStep());
  EXPECT_FALSE(masked.set(SplitForm::TilesPerPiece, {4, 4}));
  EXPECT_EQ(masked.tilesPerPiece(), (SplitPair{0, 0}));
  EXPECT_TRUE(masked.set(SplitForm::Pieces, {2, 2}));
  EXPECT_EQ(masked.pixels(), (SplitPair{500, 400}));
  // A MaskFile mosaic keeps a tile size in its settings but has neither tiles nor a size yet:
  // only pixels can be given.
  MosaicGeometry maskMode = geometryOf(0, 0, 10);
  maskMode.sizeCode = 1;
  SplitDialogModel empty(maskMode);
  EXPECT_FALSE(empty.hasTileStep());
  EXPECT_FALSE(empty.set(SplitForm::TilesPerPiece, {2, 2}));
  EXPECT_FALSE(empty.set(SplitForm::Pieces, {2, 2}));
  EXPECT_EQ(empty.pieces(), (SplitPair{0, 0}));
  EXPECT_TRUE(empty.set(SplitForm::Pixels, {300, 200}));
}

TEST(SplitDialogModel, AcceptRunsTheDialogChecksOnThePixelSize) {
  ScopedScriptedDialogs dialogs;
  MosaicSettings settings;
  settings.fileFormat.value = kFormatJpeg;
  SplitDialogModel model(geometryOf(100000, 1000, 100));
  // A piece of 10 pixels is too small.
  ASSERT_TRUE(model.set(SplitForm::Pixels, {10, 500}));
  EXPECT_FALSE(model.accept(settings));
  ASSERT_EQ(dialogs->texts().size(), 1u);
  EXPECT_EQ(dialogs->texts()[0],
            "Please insert valid values for the Split Size in Pixels. Valid values between 10 and "
            "1,000,000 pixel.");
  // Two pieces across are 50,000 pixels wide: beyond what a JPEG should be, so it asks.
  dialogs->clear();
  ASSERT_TRUE(model.set(SplitForm::Pieces, {2, 1}));
  dialogs->answerNext(Answer::Yes);
  EXPECT_TRUE(model.accept(settings));
  ASSERT_EQ(dialogs->messages().size(), 1u);
  EXPECT_EQ(dialogs->messages()[0].buttons, Buttons::YesNo);
  // Four pieces across are 25,000 pixels: accepted silently.
  dialogs->clear();
  ASSERT_TRUE(model.set(SplitForm::Pieces, {4, 1}));
  EXPECT_TRUE(model.accept(settings));
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST(SplitDialogModel, SplitOptionTextNamesItsForm) {
  struct Row {
    const char* text;
    SplitForm form;
    SplitPair value;
  };
  const Row good[] = {
      {"200x150", SplitForm::Pixels, {200, 150}},
      {"200X150px", SplitForm::Pixels, {200, 150}},
      {"10x8tiles", SplitForm::TilesPerPiece, {10, 8}},
      {"4x3pieces", SplitForm::Pieces, {4, 3}},
      {"4294967295x1", SplitForm::Pixels, {4294967295u, 1}},
      {"0x0", SplitForm::Pixels, {0, 0}},
  };
  for (const Row& row : good) {
    const auto request = parseSplitRequest(row.text);
    ASSERT_TRUE(request) << row.text;
    EXPECT_EQ(request->form, row.form) << row.text;
    EXPECT_EQ(request->value, row.value) << row.text;
  }
  for (const char* bad : {"", "x", "10x", "x10", "10", "10x10cm", "-1x5", "+1x5", "4294967296x1",
                          "10 x 10", "tiles", "10x10 tiles", "1x2x3", "10x10pieces2"}) {
    EXPECT_FALSE(parseSplitRequest(bad)) << bad;
  }
}

}  // namespace
}  // namespace tg
