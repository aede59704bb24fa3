// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

class MosaicJob;

/// The finished mosaic of `mainImagePath` that the image preview window can show: the JPEG file
/// of its last saved mosaic when that file exists; "" when there is none (no mosaic saved yet,
/// split pieces, or a format the picture loader does not read). Window thread.
[[nodiscard]] std::string finishedMosaicFile(const MosaicJob& job,
                                             const std::string& mainImagePath);

}  // namespace tg
