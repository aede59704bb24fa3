// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/cli_support.h"

namespace tg {

/// `tesselograph-cli extract-video VIDEO ...`: cuts a video into still images and clips for
/// tiles (see its --help). Returns the exit code. Main thread.
[[nodiscard]] int runExtractVideo(ArgumentReader& args);

}  // namespace tg
