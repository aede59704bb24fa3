// SPDX-License-Identifier: GPL-3.0-or-later
// The source fragments an output pixel covers along one axis, shared by both resampling forms.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tg::detail {

/// One source column (or row) covered by an output pixel: its coverage f, and the bilinear taps at
/// the fragment's centre along that axis (own pixel and one neighbour with their weights).
struct Fragment {
  double coverage;
  std::uint32_t own;
  std::uint32_t neighbour;
  double ownWeight;
  double neighbourWeight;
  // Coverage 1 with the centre on the pixel's own centre: the sample is the pixel itself.
  bool whole;
};

/// The covered source pixels of [lo, hi) along an axis of `size` pixels (lo < hi <= size).
inline void coverFragments(double lo, double hi, std::uint32_t size, std::vector<Fragment>& out) {
  out.clear();
  const auto first = static_cast<std::uint32_t>(lo);
  auto last = static_cast<std::uint32_t>(hi);
  // An integral right edge excludes the pixel that starts there.
  if (static_cast<double>(last) == hi) --last;
  last = std::min(last, size - 1);
  for (std::uint32_t p = first; p <= last; ++p) {
    const double pos = p;
    const bool isLast = p == last;
    double f;
    double centre;
    if (lo <= pos) {
      if (!isLast) {
        f = 1.0;
        centre = pos + 0.5;
      } else {
        f = hi - pos;
        centre = (pos + hi) / 2;
      }
    } else if (!isLast) {
      f = 1.0 - (lo - pos);
      centre = (pos + lo + 1) / 2;
    } else {
      f = hi - lo;
      centre = (lo + hi) / 2;
    }
    if (f <= 0 || f > 1) continue;
    if (centre < 0) continue;
    const auto g = static_cast<std::uint32_t>(centre);
    if (g >= size) continue;
    const double c = centre - g;
    Fragment fragment{};
    fragment.coverage = f;
    fragment.own = g;
    if (c < 0.5) {
      fragment.neighbour = g == 0 ? g : g - 1;
      fragment.ownWeight = c + 0.5;
    } else {
      fragment.neighbour = g + 1 >= size ? g : g + 1;
      fragment.ownWeight = 1.5 - c;
    }
    fragment.neighbourWeight = 1.0 - fragment.ownWeight;
    fragment.whole = f == 1.0 && fragment.ownWeight == 1.0;
    out.push_back(fragment);
  }
}

}  // namespace tg::detail
