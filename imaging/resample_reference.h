// SPDX-License-Identifier: GPL-3.0-or-later
// The plain form of `resample`, kept as the yardstick of the fast one.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/foto.h"

namespace tg {

/// The same pixels as `resample` (same arguments, same failures), computed one fragment and one
/// bilinear tap at a time in doubles. Slow; for tests and benchmarks that check `resample`
/// against it. Thread-safe for distinct outputs; the source is only read.
[[nodiscard]] std::unique_ptr<Foto> resampleReference(const Foto& source, std::uint32_t outW,
                                                      std::uint32_t outH, double rectW,
                                                      double rectH, double rectX, double rectY);

}  // namespace tg
