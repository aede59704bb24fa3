// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// `tesselograph-cli --version`: prints "tesselograph-cli MAJOR.MINOR.BUILD" (the project version
/// of the build) and returns the exit status 0.
[[nodiscard]] int printVersion();

}  // namespace tg
