// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/settings_keys_listing.h"
#include "geometry/mosaic_geometry.h"
#include "geometry/mosaic_information.h"
#include "geometry/pattern_layout.h"
#include "geometry/units/quantity.h"
#include "job/mosaic_settings.h"
#include "job/settings_sets.h"

namespace tg {

namespace {

constexpr const char* kGeometryHelp =
    "Usage: tesselograph-cli geometry [--settings FILE] [--section NAME] [--set KEY=VALUE]...\n"
    "                                 --image WxH [--unit pixels|inches|cm|tiles]\n"
    "Prints the mosaic information for a main image of W x H pixels in the chosen unit, then\n"
    "the geometry's message when there is one (the exit status is then 1).\n";

constexpr const char* kSettingsHelp =
    "Usage: tesselograph-cli settings [--settings FILE] [--section NAME] [--set KEY=VALUE]...\n"
    "                                 --write FILE\n"
    "       tesselograph-cli settings --keys [--json]\n"
    "Saves the settings as a mosaic settings file (section \"Mosaic Settings\") after the\n"
    "parameter rules, each change of which is told in one line; invalid parameters are refused\n"
    "with exit status 1. --keys lists every key of a settings file with its meaning, tokens,\n"
    "range and Default Settings value; --json prints them as one JSON object for scripts.\n";

bool parseImageSize(const std::string& text, std::uint32_t& width, std::uint32_t& height) {
  const auto x = text.find_first_of("xX");
  if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
  try {
    std::size_t used = 0;
    const unsigned long w = std::stoul(text.substr(0, x), &used);
    if (used != x) return false;
    const std::string rest = text.substr(x + 1);
    const unsigned long h = std::stoul(rest, &used);
    if (used != rest.size() || w == 0 || h == 0 || w > 0xFFFFFFFFul || h > 0xFFFFFFFFul) {
      return false;
    }
    width = static_cast<std::uint32_t>(w);
    height = static_cast<std::uint32_t>(h);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int runGeometry(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kGeometryHelp, stdout);
    return kExitOk;
  }
  SettingsSource source;
  std::optional<std::string> image;
  UnitId unit = UnitId::Pixel;
  bool ok = true;
  while (!args.done() && ok) {
    const std::string argument = args.take();
    if (source.readOption(argument, args, ok)) continue;
    if (argument == "--image") {
      image = args.value(argument);
      if (!image) return kExitUsage;
    } else if (argument == "--unit") {
      const auto name = args.value(argument);
      if (!name) return kExitUsage;
      if (*name == "pixels") {
        unit = UnitId::Pixel;
      } else if (*name == "inches") {
        unit = UnitId::Inch;
      } else if (*name == "cm") {
        unit = UnitId::Cm;
      } else if (*name == "tiles") {
        unit = UnitId::Tiles;
      } else {
        printError("--unit takes pixels, inches, cm or tiles, not '" + *name + "'");
        return kExitUsage;
      }
    } else {
      printError("unexpected argument '" + argument + "'");
      return kExitUsage;
    }
  }
  if (!ok) return kExitUsage;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!image || !parseImageSize(*image, width, height)) {
    printError("--image needs WxH in pixels");
    return kExitUsage;
  }
  MosaicSettings settings;
  if (!assembleSettings(source, settings)) return kExitFailed;
  MosaicGeometry geometry;
  const bool usable = computeMosaicGeometry(settings, width, height, geometry);
  PatternLayout layout;
  const PatternLayout* preview = nullptr;
  if (usable && geometry.message.empty() && !geometry.isMaskFileMode()) {
    // The layout only counts; no cell is kept. Like the window's preview it is bounded: a grid
    // of more cells (1-pixel tiles on a huge mosaic) is described by the geometry's own figures
    // instead of being laid out cell by cell.
    std::uint64_t counted = 0;
    if (layoutPattern(
            settings.pattern.value, geometry, settings.tileAdapt.value,
            [&counted](const CellRect&) { return ++counted <= kMaxPreviewCells; }, layout)) {
      preview = &layout;
    }
  }
  for (const auto& line : mosaicInformationLines(geometry, settings, unit, preview)) {
    std::printf("%s\n", line.c_str());
  }
  if (!geometry.message.empty()) {
    std::fprintf(stderr, "%s\n", geometry.message.c_str());
    return kExitFailed;
  }
  return usable ? kExitOk : kExitFailed;
}

int runSettings(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kSettingsHelp, stdout);
    return kExitOk;
  }
  SettingsSource source;
  std::optional<std::string> target;
  bool keys = false;
  bool json = false;
  bool ok = true;
  while (!args.done() && ok) {
    const std::string argument = args.take();
    if (source.readOption(argument, args, ok)) continue;
    if (argument == "--keys") {
      keys = true;
    } else if (argument == "--json") {
      json = true;
    } else if (argument == "--write") {
      target = args.value(argument);
      if (!target) return kExitUsage;
    } else {
      printError("unexpected argument '" + argument + "'");
      return kExitUsage;
    }
  }
  if (!ok) return kExitUsage;
  if (keys) {
    if (target || source.file || !source.overrides.empty()) {
      printError("--keys takes no other option but --json");
      return kExitUsage;
    }
    return printSettingsKeys(json) ? kExitOk : kExitFailed;
  }
  if (!target || json) {
    std::fputs(kSettingsHelp, stderr);
    return kExitUsage;
  }
  MosaicSettings settings;
  if (!assembleSettings(source, settings)) return kExitFailed;
  // The save runs the rules again, which then change nothing; running them here first lets the
  // user read what they changed.
  std::vector<std::string> notes;
  (void)applyParameterRules(settings, false, &notes);
  for (const std::string& note : notes) std::fprintf(stderr, "%s\n", note.c_str());
  SettingsSetsModel model(settings);
  switch (model.saveSettingsInteractive(std::nullopt, *target, SettingsLocation::AsGiven)) {
    case SaveOutcome::Saved:
      std::printf("%s\n", target->c_str());
      return kExitOk;
    case SaveOutcome::InvalidParameters:
      printError("the parameters are invalid; nothing was saved");
      return kExitFailed;
    case SaveOutcome::WriteFailed:
      printError("cannot write '" + *target + "'");
      return kExitFailed;
    case SaveOutcome::Cancelled:
      break;
  }
  return kExitFailed;
}

}  // namespace tg
