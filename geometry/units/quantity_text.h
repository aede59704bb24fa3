// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "geometry/units/quantity.h"

namespace tg {

/// Prints `value` with `decimals` digits after the decimal point, like printf's "%.Nlf" in the
/// C locale: the decimal point is always ".", whatever the process locale says.
[[nodiscard]] std::string formatFixed(double value, int decimals);

/// A value with its long unit name: "%.2lf%s%s" when fractional, else "%.0lf%s%s" with the name
/// chosen by the count |trunc(value)|; the separator is one space, none for percent ("15%").
/// -1 prints as "nnn " + the plural name, the placeholder the user overwrites.
[[nodiscard]] std::string formatQuantity(double value, UnitId unit);
[[nodiscard]] inline std::string formatQuantity(const Quantity& q) {
  return formatQuantity(q.value, q.unit);
}

/// A size with long names: "nnnn " + the plural name when a side is -1; otherwise the height
/// through `formatQuantity`, preceded by the width and " x " when the sides differ (the width
/// "%.2lf" when fractional, else "%.0lf"): "30 x 40 inches", "20 inches", "29.50 x 21 cm".
[[nodiscard]] std::string formatSize(const SizeValue& size);

/// A colour as "%d,%d,%d", or "nnn,nnn,nnn" when no colour is given.
[[nodiscard]] std::string formatRgb(const RgbValue& colour);

/// The number and unit texts of a displayed quantity.
struct DisplayText {
  std::string number;
  std::string unit;
};

/// The text of a quantity in the information area: converts `value` from `source` to `target`
/// (twice with `area`), auto-scales it, and prints it with the short unit name ("²" appended for
/// an area, a leading space unless the unit is inch or foot). When the conversion fails the
/// value is printed unconverted with the pixel unit. `resolution` is in PPI (0 = none) and
/// `tileSize` in pixels (0 = none).
[[nodiscard]] DisplayText formatDisplayQuantity(unsigned resolution, UnitId target,
                                                unsigned tileSize, bool area, UnitId source,
                                                double value);

/// `formatDisplayQuantity` of a single value joined as "%s%s".
[[nodiscard]] std::string formatDisplayValue(unsigned resolution, UnitId target, unsigned tileSize,
                                             bool area, UnitId source, double value);

/// A width and a height given in `source`, each shown through `formatDisplayQuantity`: as
/// "%s%s x %s%s" when the unit texts differ or the first is at most two characters long, else
/// as "%s x %s%s" (the unit once).
[[nodiscard]] std::string formatDisplaySize(unsigned resolution, UnitId target, unsigned tileSize,
                                            UnitId source, double width, double height);

/// Parses a typed size ("50 x 40 cm", "30x40\"", "50 MP"): one or two numbers (decimal point or
/// comma) and a unit that `parseUnitName` recognises. One number gives both sides. Returns
/// nothing for text that does not match, including a size without a unit.
[[nodiscard]] std::optional<SizeValue> parseSizeText(const std::string& text);

/// Parses a typed single value ("40 tiles x row", "2,5 cm"): a number and a unit that may hold
/// inner single spaces; the result must satisfy `constraint`, else nothing.
[[nodiscard]] std::optional<Quantity> parseQuantityText(const std::string& text,
                                                        const UnitConstraint& constraint);

/// The one number in a text whose unit is implied ("15%" and "15" both give 15).
[[nodiscard]] std::optional<double> parsePlainNumber(const std::string& text);

}  // namespace tg
