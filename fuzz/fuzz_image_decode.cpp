// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG and PNG decoding with EXIF orientation and date: any file decodes or fails cleanly, at
// full size and with a size hint, with messages on and off.
#include <cstdlib>

#include "fuzz_support.h"
#include "imaging/image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tg::fuzz::quietDialogs();
  tg::fuzz::Input input(data, size);
  const std::uint8_t mode = input.byte();
  const bool png = (mode & 1) != 0;
  const std::string path =
      tg::fuzz::scratchFile(input.rest(), input.restSize(), png ? ".png" : ".jpg");
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  (void)tg::readImageSize(path, width, height);
  (void)tg::readShootingDate(path);
  tg::Foto picture;
  const std::uint32_t hint = (mode & 2) != 0 ? 16 : 0;
  if (tg::loadImageFile(picture, path, hint, hint, (mode & 4) != 0)) {
    if (picture.empty() || picture.width == 0 || picture.height == 0) std::abort();
  } else if (!picture.empty()) {
    std::abort();  // a failed load leaves the target empty
  }
  return 0;
}
