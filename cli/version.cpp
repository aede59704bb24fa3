// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/version.h"

#include <cstdio>

#include "cli/cli_support.h"
#include "output/program_version.h"

namespace tg {

int printVersion() {
  const ProgramVersion version = programVersion();
  std::printf("tesselograph-cli %d.%d.%d%s\n", version.major, version.minor, version.build,
              version.suffix);
  return kExitOk;
}

}  // namespace tg
