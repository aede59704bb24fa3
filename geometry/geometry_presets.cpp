// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/geometry_presets.h"

#include "platform/catalogue.h"
#include "platform/wine.h"

namespace tg {

namespace {

QuantityPreset<SizeValue> size(double width, double height, UnitId unit, const char* label = "") {
  return QuantityPreset<SizeValue>{label, SizeValue{width, height, unit}};
}

QuantityPreset<SizeValue> side(double value, UnitId unit) { return size(value, value, unit); }

QuantityPreset<Quantity> quantity(double value, UnitId unit, const char* label = "") {
  return QuantityPreset<Quantity>{label, Quantity{value, unit}};
}

}  // namespace

std::vector<QuantityPreset<SizeValue>> mosaicSizePresets(bool videoPresets) {
  std::vector<QuantityPreset<SizeValue>> presets = {
      size(29, 21, UnitId::Cm, N_("Letter/A4")),
      size(42, 29, UnitId::Cm, N_("A3")),
      side(20, UnitId::Inch),
      side(3, UnitId::Foot),
      side(6, UnitId::Foot),
      side(50, UnitId::Cm),
      side(1, UnitId::Meter),
      side(2, UnitId::Meter),
      side(5000, UnitId::Pixel),
      side(10000, UnitId::Pixel),
      side(50, UnitId::MegaPixel),
      side(100, UnitId::MegaPixel),
      side(200, UnitId::MegaPixel),
      side(500, UnitId::MegaPixel),
      side(10000, UnitId::MegaPixel),
      side(30, UnitId::Tiles),
      side(50, UnitId::Tiles),
      side(-1, UnitId::Cm),
      side(-1, UnitId::Inch),
      side(-1, UnitId::Foot),
      side(-1, UnitId::Meter),
      side(-1, UnitId::Pixel),
      side(-1, UnitId::MegaPixel),
      side(-1, UnitId::Tiles),
  };
  if (videoPresets) {
    presets.push_back(size(852, 480, UnitId::Pixel, N_("Video SD 480p")));
    presets.push_back(size(1280, 720, UnitId::Pixel, N_("Video HD 720p")));
    // Full HD frames are 1920 pixels wide.
    presets.push_back(size(1920, 1080, UnitId::Pixel, N_("Video HD 1080p")));
  }
  presets.push_back(size(-1, -1, UnitId::Inch, N_("www x hhh\"")));
  presets.push_back(size(1, 1, UnitId::Pixel, N_("MaskFile")));
  return presets;
}

std::size_t maskFilePresetIndex(bool videoPresets) {
  return mosaicSizePresets(videoPresets).size() - 1;
}

std::vector<QuantityPreset<Quantity>> resolutionPresets() {
  std::vector<QuantityPreset<Quantity>> presets;
  for (double ppi : {25, 50, 100, 150, 200, 250, 300, 350}) {
    presets.push_back(quantity(ppi, UnitId::Ppi));
  }
  presets.push_back(quantity(-1, UnitId::Ppi));
  return presets;
}

std::vector<QuantityPreset<Quantity>> tileSizePresets() {
  std::vector<QuantityPreset<Quantity>> presets;
  for (double cm : {1, 2, 3}) presets.push_back(quantity(cm, UnitId::Cm));
  for (double inch : {0.5, 1.0, 1.5}) presets.push_back(quantity(inch, UnitId::Inch));
  for (double tiles : {100, 250, 500, 1000, 1500, 2000, 3000, 5000, 10000}) {
    presets.push_back(quantity(tiles, UnitId::Tiles));
  }
  for (double perRow : {20, 30, 40, 50}) presets.push_back(quantity(perRow, UnitId::TilesPerRow));
  presets.push_back(quantity(300, UnitId::Pixel));
  for (UnitId unit :
       {UnitId::Pixel, UnitId::Cm, UnitId::Inch, UnitId::Tiles, UnitId::TilesPerRow}) {
    presets.push_back(quantity(-1, unit));
  }
  return presets;
}

std::vector<QuantityPreset<Quantity>> borderSizePresets() {
  std::vector<QuantityPreset<Quantity>> presets = {quantity(0, UnitId::Pixel, N_("No Border"))};
  for (double pixels : {1, 2, 3, 5, 10}) presets.push_back(quantity(pixels, UnitId::Pixel));
  for (UnitId unit : {UnitId::Inch, UnitId::Cm, UnitId::Pixel}) {
    presets.push_back(quantity(-1, unit));
  }
  return presets;
}

void installGeometryPresets(MosaicSettings& settings) {
  settings.mosaicSize.presets = mosaicSizePresets(settings.videoAvailable && !underWine());
  settings.resolution.presets = resolutionPresets();
  settings.tileSize.presets = tileSizePresets();
  settings.borderSize.presets = borderSizePresets();
}

}  // namespace tg
