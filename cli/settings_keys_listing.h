// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// `settings --keys [--json]`: prints every key of a settings file with its form, meaning,
/// range, tokens and their meanings, and its Default Settings value, from the table settings
/// files are written and `--set` is read with. `json` prints one JSON object {"keys": [...]}
/// for scripts (the bash completion reads it). False when the defaults cannot be assembled.
[[nodiscard]] bool printSettingsKeys(bool json);

/// The section every command's --help ends with (and the program's): where the settings keys
/// are listed and how --set and settings files write their values.
inline constexpr const char* kSettingsKeysHelp =
    "Settings keys: `tesselograph-cli settings --keys` lists every key of a settings file with\n"
    "its meaning, tokens, range and Default Settings value (`--keys --json` for scripts).\n"
    "--set KEY=VALUE and settings files write a value in the same form: a token\n"
    "(FileFormat=tiff_jpg80, TileAdapt=\"Mosaic Size\"), a unit token (TileUnit=tilesxrow) or a\n"
    "number (TileSize=60).\n";

}  // namespace tg
