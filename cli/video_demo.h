// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

/// `tesselograph-cli demo --video`: makes short clips with the `ffmpeg` program's test sources
/// in OUT_DIR/clips, builds the Tile Images List "Demo Clips.tg4" from them and writes the video
/// mosaic "Demo Video Mosaic.avi" (Motion JPEG) of `mainImage` (a picture of FFmpeg's
/// Mandelbrot source when it is empty). Clips made before are kept. Returns the exit code.
[[nodiscard]] int runVideoDemo(const std::string& outDir, const std::string& mainImage);

}  // namespace tg
