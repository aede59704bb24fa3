// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/units/quantity.h"

#include <algorithm>
#include <cmath>

namespace tg {

namespace {

bool isLengthOtherThanCm(UnitId unit) {
  return unit == UnitId::Inch || unit == UnitId::Mm || unit == UnitId::Meter ||
         unit == UnitId::Foot;
}

bool isPixelMultiple(UnitId unit) {
  return unit == UnitId::KiloPixel || unit == UnitId::MegaPixel || unit == UnitId::GigaPixel;
}

double pixelMultiple(UnitId unit) {
  switch (unit) {
    case UnitId::KiloPixel:
      return 1e3;
    case UnitId::MegaPixel:
      return 1e6;
    case UnitId::GigaPixel:
      return 1e9;
    default:
      return 1.0;
  }
}

/// One step of a conversion. Replaces `value` and `unit` and returns true, or returns false
/// when no step leads from `unit` towards `to`.
bool convertStep(UnitId& unit, double& value, UnitId to, unsigned tileSize, unsigned resolution,
                 bool firstStep) {
  const double r = resolution;
  const double t = firstStep ? static_cast<double>(tileSize) : 0.0;
  switch (unit) {
    case UnitId::Inch:
      value *= 2.54;
      unit = UnitId::Cm;
      return true;
    case UnitId::Mm:
      value /= 10.0;
      unit = UnitId::Cm;
      return true;
    case UnitId::Meter:
      value *= 100.0;
      unit = UnitId::Cm;
      return true;
    case UnitId::Foot:
      value *= 30.48;
      unit = UnitId::Cm;
      return true;
    case UnitId::KiloPixel:
    case UnitId::MegaPixel:
    case UnitId::GigaPixel:
      value *= pixelMultiple(unit);
      unit = UnitId::Pixel;
      return true;
    case UnitId::Tiles:
      if (t == 0.0) return false;
      value *= t;
      unit = UnitId::Pixel;
      return true;
    case UnitId::Cm:
      switch (to) {
        case UnitId::Inch:
          value /= 2.54;
          break;
        case UnitId::Mm:
          value *= 10.0;
          break;
        case UnitId::Meter:
          value /= 100.0;
          break;
        case UnitId::Foot:
          value /= 30.48;
          break;
        case UnitId::Pixel:
        case UnitId::KiloPixel:
        case UnitId::MegaPixel:
        case UnitId::GigaPixel:
          if (r == 0.0) return false;
          value = value * r / 2.54 / pixelMultiple(to);
          break;
        case UnitId::Tiles:
          if (r == 0.0 || t == 0.0) return false;
          value = value * r / 2.54 / t;
          break;
        default:
          return false;
      }
      unit = to;
      return true;
    case UnitId::Pixel:
      if (isPixelMultiple(to)) {
        value /= pixelMultiple(to);
      } else if (to == UnitId::Tiles) {
        if (t == 0.0) return false;
        value /= t;
      } else if (to == UnitId::Cm || isLengthOtherThanCm(to)) {
        if (r == 0.0) return false;
        switch (to) {
          case UnitId::Cm:
            value = value * 2.54 / r;
            break;
          case UnitId::Inch:
            value = value / r;
            break;
          case UnitId::Mm:
            value = value * 25.4 / r;
            break;
          case UnitId::Meter:
            value = value * 2.54 / r / 100.0;
            break;
          default:  // foot
            value = value / r / 12.0;
            break;
        }
      } else {
        return false;
      }
      unit = to;
      return true;
    case UnitId::Ppi:
      if (to != UnitId::Dpi) return false;
      value *= 6.0;
      unit = to;
      return true;
    case UnitId::Dpi:
      if (to != UnitId::Ppi) return false;
      value /= 6.0;
      unit = to;
      return true;
    case UnitId::Byte:
      if (to == UnitId::MegaByte) {
        value = std::ldexp(value, -20);
      } else if (to == UnitId::GigaByte) {
        value = std::ldexp(value, -30);
      } else {
        return false;
      }
      unit = to;
      return true;
    case UnitId::MegaByte:
    case UnitId::GigaByte:
      if (to != UnitId::Byte && to != UnitId::MegaByte && to != UnitId::GigaByte) return false;
      value = std::ldexp(value, unit == UnitId::MegaByte ? 20 : 30);
      unit = UnitId::Byte;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool UnitConstraint::admits(const Quantity& q) const {
  if (!(q.value >= minimum && q.value <= maximum)) return false;
  return std::find(units.begin(), units.end(), q.unit) != units.end();
}

const UnitConstraint& resolutionConstraint() {
  static const UnitConstraint constraint{{UnitId::Ppi, UnitId::Dpi}, 0.0001, 10000.0};
  return constraint;
}

const UnitConstraint& tileSizeConstraint() {
  static const UnitConstraint constraint{
      {UnitId::Cm, UnitId::Inch, UnitId::Pixel, UnitId::Mm, UnitId::Meter, UnitId::Foot,
       UnitId::Tiles, UnitId::TilesPerRow, UnitId::KiloPixel, UnitId::MegaPixel, UnitId::GigaPixel},
      0.0001,
      10000000.0};
  return constraint;
}

const UnitConstraint& borderSizeConstraint() {
  static const UnitConstraint constraint{
      {UnitId::Cm, UnitId::Inch, UnitId::Pixel, UnitId::Mm, UnitId::Meter, UnitId::Foot,
       UnitId::KiloPixel, UnitId::MegaPixel, UnitId::GigaPixel},
      0.0,
      100000.0};
  return constraint;
}

std::optional<double> convertUnits(UnitId from, UnitId to, unsigned tileSize, unsigned resolution,
                                   double value) {
  if (from == to) return value;
  UnitId unit = from;
  // Every chain ends after at most three steps (e.g. inch -> cm -> KP); the bound only guards
  // against a step that would not make progress.
  for (int step = 0; step < 4; ++step) {
    if (!convertStep(unit, value, to, tileSize, resolution, step == 0)) return std::nullopt;
    if (unit == to) return value;
  }
  return std::nullopt;
}

void autoScaleUnit(double& value, UnitId& unit, bool area) {
  const double compared = area ? std::sqrt(std::fabs(value)) : value;
  UnitId target = unit;
  switch (unit) {
    case UnitId::Cm:
      if (compared >= 100.0) target = UnitId::Meter;
      break;
    case UnitId::Inch:
      if (compared >= 60.0) target = UnitId::Foot;
      break;
    case UnitId::Pixel:
      if (compared >= 1e9) {
        target = UnitId::GigaPixel;
      } else if (compared >= 500000.0) {
        target = UnitId::MegaPixel;
      } else if (compared >= 10000.0) {
        target = UnitId::KiloPixel;
      }
      break;
    case UnitId::Byte:
      target = compared >= 1e9 ? UnitId::GigaByte : UnitId::MegaByte;
      break;
    default:
      break;
  }
  if (target == unit) return;
  auto converted = convertUnits(unit, target, 0, 0, value);
  if (converted && area) converted = convertUnits(unit, target, 0, 0, *converted);
  if (!converted) return;
  value = *converted;
  unit = target;
}

}  // namespace tg
