// SPDX-License-Identifier: GPL-3.0-or-later
// A random photograph-like signature for tests and benchmarks that need many realistic ones:
// a smooth colour gradient across the thumbnail with some texture.
#pragma once

#include <cstdint>
#include <random>

#include "imaging/foto.h"
#include "imaging/image_signature.h"

namespace tg::test {

inline ImageSignature photoLikeSignature(std::mt19937& rng) {
  std::uniform_int_distribution<int> base(20, 230);
  std::uniform_int_distribution<int> slope(-8, 8);
  std::uniform_int_distribution<int> noise(-10, 10);
  const int r = base(rng), g = base(rng), b = base(rng);
  const int sx = slope(rng), sy = slope(rng);
  ImageSignature s;
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      const int ramp = sx * (x - 6) + sy * (y - 6);
      s.values[17 + x + 12 * y] =
          makePixel(static_cast<std::uint32_t>(levelClamp(r + ramp + noise(rng))),
                    static_cast<std::uint32_t>(levelClamp(g + ramp / 2 + noise(rng))),
                    static_cast<std::uint32_t>(levelClamp(b - ramp + noise(rng))), 0);
    }
  }
  recomputeAverages(s);
  s.valid = 1;
  return s;
}

}  // namespace tg::test
