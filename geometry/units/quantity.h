// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

namespace tg {

/// The closed set of units. The codes are fixed: they are stored in records, in allowed-unit
/// lists and (as tokens) in settings files. Code 0 is no unit (an unknown or unset unit).
enum class UnitId : int {
  Unknown = 0,
  Cm = 1,
  Inch = 2,
  Pixel = 3,
  KiloPixel = 4,
  MegaPixel = 5,
  GigaPixel = 6,
  Mm = 7,
  Meter = 8,
  Foot = 9,
  Ppi = 10,
  Dpi = 11,
  Tiles = 12,
  TilesPerRow = 13,
  Byte = 14,
  MegaByte = 15,
  GigaByte = 16,
  Times = 17,
  TileMinimum = 18,
  Frames = 19,
  Percent = 20,
  Processes = 21,
  None = 22,
};

/// A number with a unit. A value of -1 means that no value is given (the parameter shows a
/// placeholder and is invalid until the user types a value).
struct Quantity {
  double value = -1.0;
  UnitId unit = UnitId::None;

  bool operator==(const Quantity&) const = default;
};

/// A width and a height in one unit; -1 in either means no value is given.
struct SizeValue {
  double width = -1.0;
  double height = -1.0;
  UnitId unit = UnitId::None;

  bool operator==(const SizeValue&) const = default;
};

/// A colour as three integers 0..255; -1 in any component means no colour is given.
struct RgbValue {
  int red = -1;
  int green = -1;
  int blue = -1;

  [[nodiscard]] bool isGiven() const { return red != -1 && green != -1 && blue != -1; }
  bool operator==(const RgbValue&) const = default;
};

/// The units and the inclusive range a quantity parameter admits. An empty unit list admits
/// nothing.
struct UnitConstraint {
  std::vector<UnitId> units;
  double minimum = 0.0;
  double maximum = 0.0;

  /// True when `minimum <= q.value <= maximum` and `q.unit` is in the list.
  [[nodiscard]] bool admits(const Quantity& q) const;
};

/// Allowed units and range of the resolution: PPI, DPI; 0.0001 .. 10000.
[[nodiscard]] const UnitConstraint& resolutionConstraint();
/// Allowed units and range of the tile size: cm, inch, pixel, mm, m, ft, tiles, tiles per row,
/// KP, MP, GP; 0.0001 .. 10,000,000.
[[nodiscard]] const UnitConstraint& tileSizeConstraint();
/// Allowed units and range of the border size: cm, inch, pixel, mm, m, ft, KP, MP, GP;
/// 0 .. 100000.
[[nodiscard]] const UnitConstraint& borderSizeConstraint();

/// Converts `value` from unit `from` to unit `to`, step by step through centimetres, pixels or
/// bytes. `tileSize` is the tile side in pixels and `resolution` the resolution in PPI; 0 stands
/// for a missing value, and a step that needs a missing one fails. The tile size is usable by
/// the first step only, so a conversion that reaches tiles after an intermediate step fails.
/// Equal units always succeed unchanged. Returns nothing when the pair cannot be converted.
[[nodiscard]] std::optional<double> convertUnits(UnitId from, UnitId to, unsigned tileSize,
                                                 unsigned resolution, double value);

/// Moves a value to a more readable unit: cm >= 100 to m, inch >= 60 to ft, pixel to GP, MP or
/// KP from 10^9, 500,000 and 10,000, bytes to GB from 10^9 and to MB otherwise. With `area` the
/// thresholds apply to the square root and the value is converted twice (square units). Other
/// units, and values whose conversion fails, stay as they are.
void autoScaleUnit(double& value, UnitId& unit, bool area);

}  // namespace tg
