// SPDX-License-Identifier: GPL-3.0-or-later
// The Tile Images List reader, every version: a list that loads must encode and load again to
// the same records.
#include <cstdlib>

#include "fuzz_support.h"
#include "tiles/tile_images_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tg::fuzz::quietDialogs();
  const std::string path = tg::fuzz::scratchFile(data, size, ".tg4");
  tg::TileImagesList list;
  tg::TileListLoad outcome = tg::TileListLoad::ReadError;
  if (!tg::loadTileImagesList(path, list, &outcome) || outcome != tg::TileListLoad::Loaded) {
    return 0;
  }
  const std::string bytes = tg::encodeTileImagesList(list, path);
  const std::string again = tg::fuzz::scratchFile(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), ".tg4");
  tg::TileImagesList reloaded;
  if (!tg::loadTileImagesList(again, reloaded) || reloaded.tiles.size() != list.tiles.size()) {
    std::abort();  // what the writer wrote, the reader must read
  }
  return 0;
}
