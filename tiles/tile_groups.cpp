// SPDX-License-Identifier: GPL-3.0-or-later
#include "tiles/tile_groups.h"

#include <unicode/unistr.h>

#include <cstdint>
#include <string_view>

#include "platform/catalogue.h"
#include "platform/paths.h"
#include "tiles/tile_images_list.h"

namespace tg {
namespace {

std::string upperCased(const std::string& text) {
  bool ascii = true;
  for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  std::string out;
  if (ascii) {
    out = text;
    for (char& c : out) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
  }
  icu::UnicodeString::fromUTF8(text).toUpper().toUTF8String(out);
  return out;
}

std::string_view groupKey(const std::string& path, int mode) {
  const std::string_view view(path);
  const std::size_t at =
      mode == kGroupModeCustomVariants ? view.rfind("___") : view.rfind(kPathSeparator);
  return at == std::string_view::npos ? view : view.substr(0, at);
}

bool containsFrames(const std::string& path, const std::string& translatedUpper) {
  const std::string upper = upperCased(path);
  return upper.find("FRAMES") != std::string::npos ||
         (!translatedUpper.empty() && upper.find(translatedUpper) != std::string::npos);
}

}  // namespace

bool isFramesPath(const std::string& path) {
  return containsFrames(path, upperCased(tr("FRAMES")));
}

void numberGroups(TileImagesList& list, int mode) {
  list.rotatedCount = 0;
  list.portraitClipCount = 0;
  list.portraitCount = 0;
  list.landscapeClipCount = 0;
  list.landscapeCount = 0;

  const std::string framesUpper = upperCased(tr("FRAMES"));
  const bool byKey = mode == kGroupModeCustomVariants || mode == kGroupModeFolderVariants;
  std::uint32_t counter = 1;
  std::string_view previousKey;
  bool first = true;
  for (auto& [path, tile] : list.tiles) {
    const bool rotated = tile.signature.rotated != 0;
    if (rotated) ++list.rotatedCount;
    if (tile.isClip()) {
      ++(rotated ? list.portraitClipCount : list.landscapeClipCount);
    } else {
      ++(rotated ? list.portraitCount : list.landscapeCount);
    }

    if (byKey) {
      const std::string_view key = groupKey(path, mode);
      if (first || key != previousKey) ++counter;
      first = false;
      previousKey = key;
      tile.groupId = counter;
    } else if (containsFrames(path, framesUpper)) {
      tile.groupId = counter++;
    } else {
      tile.groupId = 0;
    }
  }
  list.lastGroupId = counter - 1;
}

}  // namespace tg
