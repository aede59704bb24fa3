// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

/// The codec code that the text of the advanced value `VideoMosaic.FourCC` names. Blanks are
/// removed first; "uncompressed" (any case), "0" and "o"/"O" mean 0 (frames stored
/// uncompressed); four characters give the code made of the low bytes of their code points,
/// first character in the lowest byte, case kept ("XVID" and "xvid" differ); any other text
/// gives 0. Pure function, any thread.
[[nodiscard]] uint32_t fourCCFromText(const std::string& text);

}  // namespace tg
