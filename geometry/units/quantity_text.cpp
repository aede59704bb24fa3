// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/units/quantity_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <exception>
#include <system_error>

#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <boost/regex/icu.hpp>

#include "geometry/units/unit_names.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {

bool isFractional(double value) { return std::trunc(value) != value; }

unsigned long countOf(double value) {
  const double magnitude = std::fabs(std::trunc(value));
  if (!(magnitude < 1.8e19)) return static_cast<unsigned long>(-1);
  return static_cast<unsigned long>(magnitude);
}

/// Reads a number matched by one of the patterns below. The patterns' \d admits every Unicode
/// decimal digit, so digits are mapped by their value and either separator becomes a point.
std::optional<double> readNumber(const std::string& utf8) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
  std::string ascii;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    if (c == u'.' || c == u',') {
      ascii += '.';
      continue;
    }
    const int32_t digit = u_charDigitValue(c);
    if (digit < 0 || digit > 9) return std::nullopt;
    ascii += static_cast<char>('0' + digit);
  }
  if (ascii.empty()) return std::nullopt;
  double value = 0.0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size()) return std::nullopt;
  return value;
}

const boost::u32regex& sizePattern() {
  static const boost::u32regex pattern =
      boost::make_u32regex(R"(^\s*(\d+[.,]?\d*)(?:\s*x\s*(\d+[.,]?\d*))?\s*(\S*)\s*$)");
  return pattern;
}

const boost::u32regex& quantityPattern() {
  static const boost::u32regex pattern =
      boost::make_u32regex(R"(^\s*(\d+[.,]?\d*)\s*(\S*(?:\s\S+)*)\s*$)");
  return pattern;
}

const boost::u32regex& plainNumberPattern() {
  static const boost::u32regex pattern = boost::make_u32regex(R"(^\D*(\d+[.,]?\d*)\D*$)");
  return pattern;
}

/// Matches UTF-8 `text` against `pattern` as a whole. Text that is not valid UTF-8 makes the
/// regex library throw; it simply does not match.
bool matchWhole(const std::string& text, const boost::u32regex& pattern, boost::smatch& match) {
  try {
    return boost::u32regex_match(text, match, pattern);
  } catch (const std::exception&) {
    return false;
  }
}

std::string numberText(double value) {
  if (value >= 100.0 || !isFractional(value)) return formatFixed(value, 0);
  if (value > 1.0) return formatFixed(value, 1);
  if (value > 0.1) return formatFixed(value, 2);
  return formatFixed(value, 3);
}

int32_t utf16Length(const std::string& utf8) { return icu::UnicodeString::fromUTF8(utf8).length(); }

}  // namespace

std::string formatFixed(double value, int decimals) {
  if (!std::isfinite(value)) return formatText("%.*f", decimals, value);
  std::array<char, 400> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return formatText("%.*f", decimals, value);
  return std::string(buffer.data(), result.ptr);
}

std::string formatQuantity(double value, UnitId unit) {
  if (value == -1.0) return "nnn " + unitDisplayName(2, false, unit);
  const std::string separator = unit == UnitId::Percent ? "" : " ";
  if (isFractional(value)) {
    return formatFixed(value, 2) + separator + unitDisplayName(2, false, unit);
  }
  return formatFixed(value, 0) + separator + unitDisplayName(countOf(value), false, unit);
}

std::string formatSize(const SizeValue& size) {
  if (size.width == -1.0 || size.height == -1.0) {
    return "nnnn " + unitDisplayName(2, false, size.unit);
  }
  const std::string height = formatQuantity(size.height, size.unit);
  if (size.width == size.height) return height;
  const std::string width = formatFixed(size.width, isFractional(size.width) ? 2 : 0);
  return width + " x " + height;
}

std::string formatRgb(const RgbValue& colour) {
  if (!colour.isGiven()) return "nnn,nnn,nnn";
  return formatText("%d,%d,%d", colour.red, colour.green, colour.blue);
}

DisplayText formatDisplayQuantity(unsigned resolution, UnitId target, unsigned tileSize, bool area,
                                  UnitId source, double value) {
  UnitId unit = target;
  auto converted = convertUnits(source, target, tileSize, resolution, value);
  if (converted && area) converted = convertUnits(source, target, tileSize, resolution, *converted);
  if (converted) {
    value = *converted;
    autoScaleUnit(value, unit, area);
  } else {
    unit = UnitId::Pixel;
  }
  DisplayText text;
  text.number = numberText(value);
  std::string name = unitDisplayName(countOf(value), true, unit);
  if (area) name += tr("²");
  text.unit = (unit == UnitId::Inch || unit == UnitId::Foot) ? name : " " + name;
  return text;
}

std::string formatDisplayValue(unsigned resolution, UnitId target, unsigned tileSize, bool area,
                               UnitId source, double value) {
  const DisplayText text = formatDisplayQuantity(resolution, target, tileSize, area, source, value);
  return text.number + text.unit;
}

std::string formatDisplaySize(unsigned resolution, UnitId target, unsigned tileSize, UnitId source,
                              double width, double height) {
  const DisplayText w = formatDisplayQuantity(resolution, target, tileSize, false, source, width);
  const DisplayText h = formatDisplayQuantity(resolution, target, tileSize, false, source, height);
  if (w.unit != h.unit || utf16Length(w.unit) <= 2) {
    return w.number + w.unit + " x " + h.number + h.unit;
  }
  return w.number + " x " + h.number + h.unit;
}

std::optional<SizeValue> parseSizeText(const std::string& text) {
  boost::smatch match;
  if (!matchWhole(text, sizePattern(), match)) return std::nullopt;
  const auto unit = parseUnitName(match.str(3));
  if (!unit) return std::nullopt;
  const auto width = readNumber(match.str(1));
  if (!width) return std::nullopt;
  std::optional<double> height = width;
  if (match[2].matched) height = readNumber(match.str(2));
  if (!height) return std::nullopt;
  return SizeValue{*width, *height, *unit};
}

std::optional<Quantity> parseQuantityText(const std::string& text,
                                          const UnitConstraint& constraint) {
  boost::smatch match;
  if (!matchWhole(text, quantityPattern(), match)) return std::nullopt;
  const auto unit = parseUnitName(match.str(2));
  if (!unit) return std::nullopt;
  const auto value = readNumber(match.str(1));
  if (!value) return std::nullopt;
  const Quantity quantity{*value, *unit};
  if (!constraint.admits(quantity)) return std::nullopt;
  return quantity;
}

std::optional<double> parsePlainNumber(const std::string& text) {
  boost::smatch match;
  if (!matchWhole(text, plainNumberPattern(), match)) return std::nullopt;
  return readNumber(match.str(1));
}

}  // namespace tg
