// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// The program version written into files: major, minor, build and a suffix (empty here).
struct ProgramVersion {
  int major = 0;
  int minor = 0;
  int build = 0;
  const char* suffix = "";
};

/// The version of this build (the project version of the build system). Any thread.
[[nodiscard]] ProgramVersion programVersion();

}  // namespace tg
