// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/program_version.h"

namespace tg {

ProgramVersion programVersion() {
  return ProgramVersion{TG_VERSION_MAJOR, TG_VERSION_MINOR, TG_VERSION_PATCH, ""};
}

}  // namespace tg
