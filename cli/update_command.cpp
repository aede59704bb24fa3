// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <string>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "update/update_check.h"

namespace tg {

namespace {

constexpr const char* kUpdateHelp =
    "Usage: tesselograph-cli update-check [--force] [--yes | --no]\n"
    "Asks the update service whether a newer version of Tesselograph exists, as the window does\n"
    "a few seconds after it starts: only when the update mode chosen in the configuration\n"
    "(`CheckVersion`) says a check is due, asking first whether to check at all when no mode was\n"
    "chosen yet.\n"
    "  --force     check now, whatever the mode and the time of the last check (Check Now)\n"
    "  --yes/--no  the answer to the questions (check at startup? download the new version?)\n"
    "The service's address is `UpdateServiceUrl` in the configuration file, or the environment\n"
    "variable TESSELOGRAPH_UPDATE_URL. Exit status 0 when the service answered (or no check was\n"
    "due), 1 when it could not be reached.\n";

}  // namespace

int runUpdateCheck(ArgumentReader& args) {
  if (args.wantsHelp()) {
    std::fputs(kUpdateHelp, stdout);
    return kExitOk;
  }
  bool forced = false;
  while (!args.done()) {
    const std::string argument = args.take();
    if (argument == "--force") {
      forced = true;
    } else {
      printError("unexpected argument '" + argument + "'");
      return kExitUsage;
    }
  }
  UpdateChecker& checker = updateChecker();
  if (!checker.checkForUpdates(forced)) {
    std::fprintf(stderr, "tesselograph-cli: no update check is due (mode: %s)\n",
                 updateModeInfo(checker.updateMode()).label);
    return kExitOk;
  }
  checker.wait();
  switch (checker.lastOutcome()) {
    case CheckOutcome::Unreachable:
      return kExitFailed;
    case CheckOutcome::NoVersion:
      printError("the update service's reply named no version");
      return kExitOk;
    case CheckOutcome::UpToDate:
      if (!forced) std::fputs("tesselograph-cli: this version is up to date\n", stderr);
      return kExitOk;
    default:
      return kExitOk;
  }
}

}  // namespace tg
