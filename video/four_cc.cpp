// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/four_cc.h"

#include <cctype>
#include <vector>

namespace tg {
namespace {

// The code points of a UTF-8 text; a malformed byte stands for itself.
std::vector<uint32_t> codePoints(const std::string& text) {
  std::vector<uint32_t> points;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 1;
    if (i + length > text.size()) length = 1;
    uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        length = 1;
        point = lead;
        break;
      }
      point = (point << 6) | (next & 0x3F);
    }
    points.push_back(point);
    i += length;
  }
  return points;
}

}  // namespace

uint32_t fourCCFromText(const std::string& text) {
  std::string compact;
  for (const char c : text) {
    if (c != ' ' && c != '\t') compact += c;
  }
  std::string lower;
  for (const char c : compact)
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "uncompressed" || lower == "0" || lower == "o") return 0;
  const std::vector<uint32_t> points = codePoints(compact);
  if (points.size() != 4) return 0;
  return (points[0] & 0xFF) | (points[1] & 0xFF) << 8 | (points[2] & 0xFF) << 16 |
         (points[3] & 0xFF) << 24;
}

}  // namespace tg
