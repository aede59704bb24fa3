// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/units/unit_names.h"

#include <vector>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "platform/catalogue.h"

namespace tg {

namespace {

icu::UnicodeString folded(const std::string& text) {
  icu::UnicodeString value = icu::UnicodeString::fromUTF8(text);
  value.foldCase(U_FOLD_CASE_DEFAULT);
  return value;
}

struct UnitNameRow {
  const char* translatedList;  // nullptr when the row has none
  const char* aliases[2];      // literal aliases, used untranslated
  UnitId unit;
};

// The translated inch and foot marks are aliases of their rows; they are looked up at use.
constexpr const char* kInchMark = N_("\"");
constexpr const char* kFootMark = N_("'");

// Row order decides ties: "m" must be tried after "mm" and "MP", and "GP" before "MP".
const UnitNameRow kUnitNameRows[] = {
    {N_("inch, inches"), {nullptr, "inch"}, UnitId::Inch},
    {N_("cm, centimeter, centimeters"), {"cm", nullptr}, UnitId::Cm},
    {N_("pixel, pixels"), {"pixel", "PX"}, UnitId::Pixel},
    {N_("kilopixel, kilopixels"), {"KP", nullptr}, UnitId::KiloPixel},
    {N_("gigapixel, gigapixels"), {"GP", nullptr}, UnitId::GigaPixel},
    {N_("megapixel, megapixels"), {"MP", nullptr}, UnitId::MegaPixel},
    {N_("megabyte, megabytes"), {nullptr, nullptr}, UnitId::MegaByte},
    {N_("gigabyte, gigabytes"), {nullptr, nullptr}, UnitId::GigaByte},
    {N_("mm, millimeter, millimeters"), {"mm", nullptr}, UnitId::Mm},
    {N_("m, meter, meters"), {"m", nullptr}, UnitId::Meter},
    {N_("ft, foot, feet"), {nullptr, nullptr}, UnitId::Foot},
    {N_("PPI"), {"PPI", nullptr}, UnitId::Ppi},
    {N_("DPI"), {"DPI", nullptr}, UnitId::Dpi},
    {N_("tile, tiles"), {"tiles", nullptr}, UnitId::Tiles},
    {N_("tile x row, tiles x row"), {nullptr, nullptr}, UnitId::TilesPerRow},
    {N_("time, times"), {nullptr, nullptr}, UnitId::Times},
    {N_("tile minimum, tiles minimum"), {nullptr, nullptr}, UnitId::TileMinimum},
    {N_("frame, frames"), {nullptr, nullptr}, UnitId::Frames},
    {nullptr, {"%", nullptr}, UnitId::Percent},
};

bool listContains(const std::string& list, const icu::UnicodeString& wanted) {
  const icu::UnicodeString all = icu::UnicodeString::fromUTF8(list);
  int32_t start = 0;
  while (start <= all.length()) {
    int32_t comma = all.indexOf(static_cast<char16_t>(u','), start);
    if (comma < 0) comma = all.length();
    icu::UnicodeString entry(all, start, comma - start);
    entry.trim();
    entry.foldCase(U_FOLD_CASE_DEFAULT);
    if (entry == wanted) return true;
    start = comma + 1;
  }
  return false;
}

}  // namespace

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return folded(a) == folded(b);
}

std::optional<UnitId> parseUnitName(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const icu::UnicodeString wanted = folded(text);
  if (wanted.isEmpty()) return std::nullopt;
  for (const UnitNameRow& row : kUnitNameRows) {
    if (row.translatedList != nullptr && listContains(tr(row.translatedList), wanted)) {
      return row.unit;
    }
    if (row.unit == UnitId::Inch && folded(tr(kInchMark)) == wanted) return row.unit;
    if (row.unit == UnitId::Foot && folded(tr(kFootMark)) == wanted) return row.unit;
    for (const char* alias : row.aliases) {
      if (alias != nullptr && folded(alias) == wanted) return row.unit;
    }
  }
  return std::nullopt;
}

std::string unitDisplayName(unsigned long count, bool shortForm, UnitId unit) {
  switch (unit) {
    case UnitId::Cm:
      return trn("cm", "cm", count);
    case UnitId::Inch:
      return shortForm ? tr(kInchMark) : trn("inch", "inches", count);
    case UnitId::Pixel:
      return trn("pixel", "pixels", count);
    case UnitId::KiloPixel:
      return shortForm ? trn("KP", "KP", count) : trn("kilopixel", "kilopixels", count);
    case UnitId::MegaPixel:
      return shortForm ? trn("MP", "MP", count) : trn("megapixel", "megapixels", count);
    case UnitId::GigaPixel:
      return shortForm ? trn("GP", "GP", count) : trn("gigapixel", "gigapixels", count);
    case UnitId::Mm:
      return trn("mm", "mm", count);
    case UnitId::Meter:
      return shortForm ? trn("m", "m", count) : trn("meter", "meters", count);
    case UnitId::Foot:
      return shortForm ? tr(kFootMark) : trn("foot", "feet", count);
    case UnitId::Ppi:
      return tr("PPI");
    case UnitId::Dpi:
      return tr("DPI");
    case UnitId::Tiles:
      return trn("tile", "tiles", count);
    case UnitId::TilesPerRow:
      return trn("tile x row", "tiles x row", count);
    case UnitId::Byte:
      return trn("byte", "bytes", count);
    case UnitId::MegaByte:
      return shortForm ? trn("MB", "MB", count) : trn("megabyte", "megabytes", count);
    case UnitId::GigaByte:
      return shortForm ? trn("GB", "GB", count) : trn("gigabyte", "gigabytes", count);
    case UnitId::Times:
      return trn("time", "times", count);
    case UnitId::TileMinimum:
      return trn("tile minimum", "tiles minimum", count);
    case UnitId::Frames:
      return trn("frame", "frames", count);
    case UnitId::Percent:
      return "%";
    case UnitId::Processes:
      return trn("process", "processes", count);
    case UnitId::None:
    case UnitId::Unknown:
      break;
  }
  return {};
}

}  // namespace tg
