// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>

namespace tg {

/// The token tables of the settings files: a token is the text stored for an id.
enum class TokenTable {
  Unit,          ///< `MosaicSizeUnit`, `ResolutionUnit`, `TileUnit`, `BorderSizeUnit`
  Pattern,       ///< `Pattern`
  Adapt,         ///< `TileAdapt`
  Variant,       ///< `TileVariants`
  Processing,    ///< `MosaicProcessing`
  Compare,       ///< `ImageCompare`
  Detail,        ///< `ImageDetail`
  ColorChange,   ///< `ColorChangePriority`
  Subdirectory,  ///< `MosaicSubdirectory`
  FileName,      ///< `MosaicFileName`
  Format,        ///< `FileFormat`
};

/// One token of a table.
struct SettingsToken {
  const char* text;
  long id;
  bool readOnly = false;    ///< read from old files, never written (packed format ids)
  bool needsVideo = false;  ///< exists only where the video library is available
};

/// The tokens of `table` in table order.
[[nodiscard]] std::span<const SettingsToken> tokenTable(TokenTable table);

/// The text stored for `value`: its token when the table has one (read-only tokens and, without
/// video, video tokens excluded), otherwise the decimal text of `value + 1`.
[[nodiscard]] std::string writeToken(TokenTable table, long value, bool videoAvailable = true);

/// The id read from `text`: the id of the token equal to `text`; otherwise v = the integer value
/// of the text (0 when not numeric) and the id is v - 1 when v is not 0, else 0. Without video
/// the video tokens read like any text missing from the table.
[[nodiscard]] long readToken(TokenTable table, const std::string& text, bool videoAvailable = true);

/// The packed read-only format ids: JPEG quality in bits 0-7, format in bits 8-15, bit 16 for a
/// 64-bit TIFF.
struct PackedFormat {
  long format;
  long quality;
  bool tiff64;
};
[[nodiscard]] PackedFormat unpackFormatId(long id);

/// Integer value of a settings text like the C library's atol: optional blanks and sign, then
/// the digits up to the first other character; 0 when there are none; clamped to `long`.
[[nodiscard]] long settingsTextToLong(const std::string& text);

}  // namespace tg
