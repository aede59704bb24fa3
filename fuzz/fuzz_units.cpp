// SPDX-License-Identifier: GPL-3.0-or-later
// Units and quantities typed by the user, and the display of what they give.
#include "fuzz_support.h"
#include "geometry/units/quantity.h"
#include "geometry/units/quantity_text.h"
#include "geometry/units/unit_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tg::fuzz::Input input(data, size);
  const unsigned resolution = input.u16();
  const unsigned tile = input.u16();
  const std::string text = input.restText();
  (void)tg::parseUnitName(text);
  (void)tg::parsePlainNumber(text);
  if (const auto size2 = tg::parseSizeText(text)) {
    (void)tg::formatSize(*size2);
    (void)tg::formatDisplaySize(resolution, tg::UnitId::Pixel, tile, size2->unit, size2->width,
                                size2->height);
  }
  for (const tg::UnitConstraint* constraint :
       {&tg::resolutionConstraint(), &tg::tileSizeConstraint(), &tg::borderSizeConstraint()}) {
    if (const auto quantity = tg::parseQuantityText(text, *constraint)) {
      (void)tg::formatQuantity(*quantity);
      for (const tg::UnitId target : {tg::UnitId::Pixel, tg::UnitId::Cm, tg::UnitId::Tiles}) {
        (void)tg::convertUnits(quantity->unit, target, tile, resolution, quantity->value);
        (void)tg::formatDisplayValue(resolution, target, tile, false, quantity->unit,
                                     quantity->value);
      }
    }
  }
  return 0;
}
