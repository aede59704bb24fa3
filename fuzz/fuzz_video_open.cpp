// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a video file as a tile: any file opens or fails cleanly, and an opened one gives its
// first frame or nothing.
#include "fuzz_support.h"
#include "imaging/foto.h"
#include "video/tile_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tg::fuzz::quietDialogs();
  const std::string path = tg::fuzz::scratchFile(data, size, ".avi");
  std::uint16_t frameCount = 0;
  std::uint16_t frameRate = 1;  // a clip, not a still picture
  tg::Foto picture;
  (void)tg::loadTilePicture(tg::TileSource{path, frameCount, frameRate}, picture, 32, 32, 1, 0,
                            nullptr);
  return 0;
}
