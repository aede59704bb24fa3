// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "geometry/units/quantity.h"
#include "geometry/units/quantity_text.h"
#include "geometry/units/unit_names.h"

namespace tg {
namespace {

TEST(ParseUnitName, RecognisesNamesAliasesAndCaseFolding) {
  struct Row {
    const char* text;
    UnitId unit;
  };
  const Row rows[] = {
      {"inches", UnitId::Inch},
      {"INCH", UnitId::Inch},
      {"\"", UnitId::Inch},
      {"Centimeters", UnitId::Cm},
      {"px", UnitId::Pixel},
      {"kp", UnitId::KiloPixel},
      {"GP", UnitId::GigaPixel},
      {"mp", UnitId::MegaPixel},
      {"megabytes", UnitId::MegaByte},
      {"mm", UnitId::Mm},
      {"m", UnitId::Meter},
      {"M", UnitId::Meter},
      {"feet", UnitId::Foot},
      {"'", UnitId::Foot},
      {"ppi", UnitId::Ppi},
      {"Dpi", UnitId::Dpi},
      {"tile", UnitId::Tiles},
      {"tiles x row", UnitId::TilesPerRow},
      {"TIMES", UnitId::Times},
      {"tiles minimum", UnitId::TileMinimum},
      {"frame", UnitId::Frames},
      {"%", UnitId::Percent},
  };
  for (const Row& row : rows) {
    const auto unit = parseUnitName(row.text);
    ASSERT_TRUE(unit.has_value()) << row.text;
    EXPECT_EQ(*unit, row.unit) << row.text;
  }
  for (const char* text :
       {"", "in", "byte", "bytes", "process", "processes", "tiles  x row", "\xff\xfe"}) {
    EXPECT_FALSE(parseUnitName(text).has_value()) << text;
  }
  // Full case folding, not ASCII-only lower-casing.
  EXPECT_TRUE(equalsIgnoringCase("STRASSE", "straße"));
  EXPECT_TRUE(equalsIgnoringCase("ÉCRAN", "écran"));
}

TEST(ConvertUnits, FollowsTheStepsAndRefusesWhatCannotBeReached) {
  struct Row {
    UnitId from, to;
    unsigned tile, ppi;
    double value, expected;
  };
  const Row rows[] = {
      {UnitId::Inch, UnitId::Pixel, 0, 300, 2, 600},
      {UnitId::Foot, UnitId::Pixel, 0, 100, 1, 1200},
      {UnitId::Foot, UnitId::Inch, 0, 0, 1, 12},
      {UnitId::Ppi, UnitId::Dpi, 0, 0, 1, 6},
      {UnitId::Dpi, UnitId::Ppi, 0, 0, 12, 2},
      {UnitId::Mm, UnitId::Inch, 0, 0, 25.4, 1},
      {UnitId::Meter, UnitId::Mm, 0, 0, 1.5, 1500},
      {UnitId::Tiles, UnitId::Pixel, 40, 0, 3, 120},
      {UnitId::Tiles, UnitId::Cm, 100, 254, 2, 2},
      {UnitId::Cm, UnitId::Tiles, 100, 254, 10, 10},
      {UnitId::Pixel, UnitId::Tiles, 50, 0, 1000, 20},
      {UnitId::MegaPixel, UnitId::KiloPixel, 0, 0, 2, 2000},
      {UnitId::Inch, UnitId::KiloPixel, 0, 500, 4, 2},
      {UnitId::Pixel, UnitId::Mm, 0, 254, 100, 10},
      {UnitId::Pixel, UnitId::Foot, 0, 10, 120, 1},
      {UnitId::MegaByte, UnitId::GigaByte, 0, 0, 2048, 2},
      {UnitId::Byte, UnitId::MegaByte, 0, 0, 1048576, 1},
      {UnitId::TilesPerRow, UnitId::TilesPerRow, 0, 0, 7, 7},
      {UnitId::None, UnitId::None, 0, 0, 3, 3},
  };
  for (const Row& row : rows) {
    const auto result = convertUnits(row.from, row.to, row.tile, row.ppi, row.value);
    ASSERT_TRUE(result.has_value())
        << static_cast<int>(row.from) << "->" << static_cast<int>(row.to);
    EXPECT_NEAR(*result, row.expected, 1e-9 * std::fabs(row.expected))
        << static_cast<int>(row.from) << "->" << static_cast<int>(row.to);
  }
  struct Refused {
    UnitId from, to;
    unsigned tile, ppi;
  };
  const Refused refused[] = {
      {UnitId::Pixel, UnitId::Inch, 0, 0},     // no resolution
      {UnitId::Tiles, UnitId::Pixel, 0, 300},  // no tile size
      {UnitId::Inch, UnitId::Tiles, 50, 300},  // tiles reached after an intermediate step
      {UnitId::KiloPixel, UnitId::Tiles, 50, 300}, {UnitId::TilesPerRow, UnitId::Pixel, 50, 300},
      {UnitId::Percent, UnitId::None, 0, 0},       {UnitId::Pixel, UnitId::Byte, 0, 300},
      {UnitId::Byte, UnitId::Pixel, 0, 300},       {UnitId::Ppi, UnitId::Pixel, 50, 300},
      {UnitId::Cm, UnitId::Ppi, 50, 300},          {UnitId::Frames, UnitId::Times, 0, 0},
  };
  for (const Refused& row : refused) {
    EXPECT_FALSE(convertUnits(row.from, row.to, row.tile, row.ppi, 5).has_value())
        << static_cast<int>(row.from) << "->" << static_cast<int>(row.to);
  }
}

TEST(AutoScaleUnit, UsesInclusiveThresholdsAndSquareUnitsForAreas) {
  double value = 100;
  UnitId unit = UnitId::Cm;
  autoScaleUnit(value, unit, false);
  EXPECT_EQ(unit, UnitId::Meter);
  EXPECT_DOUBLE_EQ(value, 1);

  value = 59.9;
  unit = UnitId::Inch;
  autoScaleUnit(value, unit, false);
  EXPECT_EQ(unit, UnitId::Inch);

  value = 500000;
  unit = UnitId::Pixel;
  autoScaleUnit(value, unit, false);
  EXPECT_EQ(unit, UnitId::MegaPixel);
  EXPECT_DOUBLE_EQ(value, 0.5);

  value = 20000;  // cm², sqrt ~ 141 cm
  unit = UnitId::Cm;
  autoScaleUnit(value, unit, true);
  EXPECT_EQ(unit, UnitId::Meter);
  EXPECT_DOUBLE_EQ(value, 2);

  value = 12;
  unit = UnitId::Byte;  // bytes always become MB or GB
  autoScaleUnit(value, unit, false);
  EXPECT_EQ(unit, UnitId::MegaByte);

  value = 40;
  unit = UnitId::Tiles;
  autoScaleUnit(value, unit, false);
  EXPECT_EQ(unit, UnitId::Tiles);
}

TEST(FormatDisplay, ConvertsScalesAndPicksPrecision) {
  EXPECT_EQ(formatDisplayValue(300, UnitId::Cm, 0, false, UnitId::Cm, 150), "1.5 m");
  EXPECT_EQ(formatDisplayValue(300, UnitId::Inch, 0, false, UnitId::Inch, 0.05), "0.050\"");
  EXPECT_EQ(formatDisplayValue(300, UnitId::Pixel, 0, false, UnitId::Pixel, 12345), "12.3 KP");
  EXPECT_EQ(formatDisplayValue(300, UnitId::Pixel, 0, false, UnitId::Pixel, 123), "123 pixels");
  EXPECT_EQ(formatDisplayValue(300, UnitId::Pixel, 0, false, UnitId::Pixel, 1), "1 pixel");
  EXPECT_EQ(formatDisplayValue(300, UnitId::Cm, 0, true, UnitId::Cm, 20000), "2 m²");
  EXPECT_EQ(formatDisplayValue(0, UnitId::Byte, 0, false, UnitId::Byte, 250000), "0.24 MB");
  EXPECT_EQ(formatDisplayValue(300, UnitId::Foot, 0, false, UnitId::Inch, 72), "6'");
  EXPECT_EQ(formatDisplayValue(300, UnitId::Cm, 0, false, UnitId::Cm, 0.5), "0.50 cm");
  // Without a resolution the pixel value is shown unconverted in pixels.
  EXPECT_EQ(formatDisplayValue(0, UnitId::Inch, 0, false, UnitId::Pixel, 4200), "4200 pixels");
  // Two inches at 300 PPI are 600 pixels.
  EXPECT_EQ(formatDisplayValue(300, UnitId::Pixel, 0, false, UnitId::Inch, 2), "600 pixels");
}

TEST(FormatDisplay, PairsShowTheUnitOnceOnlyWhenItIsLongAndShared) {
  EXPECT_EQ(formatDisplaySize(300, UnitId::Cm, 0, UnitId::Cm, 42, 29), "42 x 29 cm");
  EXPECT_EQ(formatDisplaySize(300, UnitId::Inch, 0, UnitId::Inch, 30, 40), "30\" x 40\"");
  EXPECT_EQ(formatDisplaySize(300, UnitId::Cm, 0, UnitId::Cm, 150, 80), "1.5 m x 80 cm");
  EXPECT_EQ(formatDisplaySize(300, UnitId::Cm, 0, UnitId::Cm, 150, 200), "1.5 m x 2 m");
}

TEST(FormatQuantity, PrintsPlaceholdersSizesAndColours) {
  EXPECT_EQ(formatQuantity(15, UnitId::Percent), "15%");
  EXPECT_EQ(formatQuantity(1, UnitId::Times), "1 time");
  EXPECT_EQ(formatQuantity(-3, UnitId::Times), "-3 times");
  EXPECT_EQ(formatQuantity(2.5, UnitId::Inch), "2.50 inches");
  EXPECT_EQ(formatQuantity(-1, UnitId::TileMinimum), "nnn tiles minimum");
  EXPECT_EQ(formatQuantity(-1, UnitId::Percent), "nnn %");
  EXPECT_EQ(formatQuantity(1000, UnitId::Pixel), "1000 pixels");
  EXPECT_EQ(formatSize({20, 20, UnitId::Inch}), "20 inches");
  EXPECT_EQ(formatSize({30, 40, UnitId::Inch}), "30 x 40 inches");
  EXPECT_EQ(formatSize({29.5, 21, UnitId::Cm}), "29.50 x 21 cm");
  EXPECT_EQ(formatSize({-1, 21, UnitId::Cm}), "nnnn cm");
  EXPECT_EQ(formatRgb({255, 128, 0}), "255,128,0");
  EXPECT_EQ(formatRgb({255, -1, 0}), "nnn,nnn,nnn");
}

TEST(ParseSizeText, ReadsOneOrTwoSidesWithAUnit) {
  struct Row {
    const char* text;
    double width, height;
    UnitId unit;
  };
  const Row rows[] = {
      {"12 inches", 12, 12, UnitId::Inch},  {"12 INCH", 12, 12, UnitId::Inch},
      {"12\"", 12, 12, UnitId::Inch},       {"30x40\"", 30, 40, UnitId::Inch},
      {" 50 x 40 cm ", 50, 40, UnitId::Cm}, {"50 MP", 50, 50, UnitId::MegaPixel},
      {"5 m", 5, 5, UnitId::Meter},         {"2 GP", 2, 2, UnitId::GigaPixel},
      {"2,5x3.5cm", 2.5, 3.5, UnitId::Cm},  {"12, mm", 12, 12, UnitId::Mm},
      {"١٢ cm", 12, 12, UnitId::Cm},  // Arabic-Indic digits are decimal digits too
  };
  for (const Row& row : rows) {
    const auto size = parseSizeText(row.text);
    ASSERT_TRUE(size.has_value()) << row.text;
    EXPECT_DOUBLE_EQ(size->width, row.width) << row.text;
    EXPECT_DOUBLE_EQ(size->height, row.height) << row.text;
    EXPECT_EQ(size->unit, row.unit) << row.text;
  }
  for (const char* text : {"12 in", "300 x 200", ".5 inch", "40x30 tiles x row", "50 X 40 cm", "",
                           "cm", "-5 cm", "1.2.3 cm", "\xc3\x28 cm"}) {
    EXPECT_FALSE(parseSizeText(text).has_value()) << text;
  }
  const std::string huge(200000, '9');
  EXPECT_FALSE(parseSizeText(huge + " x " + huge).has_value());  // no unit; must not crash
}

TEST(ParseQuantityText, AcceptsInnerSpacesAndEnforcesTheConstraint) {
  const auto perRow = parseQuantityText("40 tiles x row", tileSizeConstraint());
  ASSERT_TRUE(perRow.has_value());
  EXPECT_EQ(perRow->unit, UnitId::TilesPerRow);
  EXPECT_DOUBLE_EQ(perRow->value, 40);

  const auto cm = parseQuantityText("2,5 cm", tileSizeConstraint());
  ASSERT_TRUE(cm.has_value());
  EXPECT_DOUBLE_EQ(cm->value, 2.5);

  EXPECT_FALSE(parseQuantityText("40 tiles", borderSizeConstraint()).has_value());   // unit
  EXPECT_FALSE(parseQuantityText("20000 PPI", resolutionConstraint()).has_value());  // range
  EXPECT_TRUE(parseQuantityText("0 pixels", borderSizeConstraint()).has_value());
  EXPECT_FALSE(parseQuantityText("0 pixels", tileSizeConstraint()).has_value());
  EXPECT_FALSE(parseQuantityText("5", tileSizeConstraint()).has_value());
  EXPECT_FALSE(parseQuantityText("5 cm", UnitConstraint{}).has_value());
}

TEST(ParsePlainNumber, TakesTheOnlyNumber) {
  EXPECT_EQ(parsePlainNumber("15%"), 15.0);
  EXPECT_EQ(parsePlainNumber(" 15 "), 15.0);
  EXPECT_EQ(parsePlainNumber("about 2,5 times"), 2.5);
  EXPECT_FALSE(parsePlainNumber("1 or 2").has_value());
  EXPECT_FALSE(parsePlainNumber("none").has_value());
}

TEST(UnitDisplayName, ChoosesShortAndPluralForms) {
  EXPECT_EQ(unitDisplayName(1, false, UnitId::Inch), "inch");
  EXPECT_EQ(unitDisplayName(2, false, UnitId::Inch), "inches");
  EXPECT_EQ(unitDisplayName(2, true, UnitId::Inch), "\"");
  EXPECT_EQ(unitDisplayName(2, true, UnitId::Meter), "m");
  EXPECT_EQ(unitDisplayName(2, false, UnitId::Meter), "meters");
  EXPECT_EQ(unitDisplayName(3, true, UnitId::GigaByte), "GB");
  EXPECT_EQ(unitDisplayName(2, false, UnitId::Ppi), "PPI");
  EXPECT_EQ(unitDisplayName(5, false, UnitId::None), "");
  EXPECT_EQ(unitDisplayName(1, false, UnitId::TilesPerRow), "tile x row");
}

}  // namespace
}  // namespace tg
