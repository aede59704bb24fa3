// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/extract_video_command.h"
#include "cli/settings_keys_listing.h"
#include "cli/version.h"

namespace tg {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  tesselograph-cli list build [--include P]... [--exclude P]... [--required P]... [--video "
    "P]... [--bw] LIST.tg4\n"
    "  tesselograph-cli list info [--json] LIST.tg4\n"
    "  tesselograph-cli mosaic --list LIST.tg4 [--settings FILE] [--section NAME] [--set "
    "KEY=VALUE]...\n"
    "                          -i MAIN [-o OUT] [-i MAIN [-o OUT]]... [--mask FILE|DIR] "
    "[--priority-map FILE]\n"
    "                          [--split WxH[px|tiles|pieces]] [--yes | --no]\n"
    "  tesselograph-cli geometry [--settings FILE] [--section NAME] [--set KEY=VALUE]... --image "
    "WxH [--unit pixels|inches|cm|tiles]\n"
    "  tesselograph-cli settings [--settings FILE] [--section NAME] [--set KEY=VALUE]... --write "
    "FILE\n"
    "  tesselograph-cli settings --keys [--json]\n"
    "  tesselograph-cli --version\n"
    "  tesselograph-cli extract-video VIDEO [--rect L,T,W,H] [--frames FIRST-LAST] [--images N]\n"
    "                                [--jpeg|--bmp] [--clips] [--static] [--prefix P]\n"
    "  tesselograph-cli demo [--video] [OUT_DIR]\n"
    "  tesselograph-cli update-check [--force] [--yes | --no]\n"
    "Every command takes --help. Messages and questions go to standard error; --yes / --no\n"
    "answer every question.\n";

CliDialogs* g_dialogs = nullptr;

}  // namespace

CliDialogs& cliDialogs() { return *g_dialogs; }

}  // namespace tg

int main(int argc, char** argv) {
  using namespace tg;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  if (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help") {
    std::fputs(kUsage, stdout);
    std::fputs(kSettingsKeysHelp, stdout);
    return kExitOk;
  }
  if (arguments[0] == "--version") return printVersion();
  ForcedAnswer forced = ForcedAnswer::None;
  std::vector<std::string> rest;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--yes") {
      forced = ForcedAnswer::Yes;
    } else if (arguments[i] == "--no") {
      forced = ForcedAnswer::No;
    } else {
      rest.push_back(arguments[i]);
    }
  }
  std::string command = arguments[0];
  if (command == "list") {
    if (rest.empty() || (rest[0] != "build" && rest[0] != "info")) {
      std::fputs(kUsage, stderr);
      return kExitUsage;
    }
    command += " " + rest[0];
    rest.erase(rest.begin());
  }

  CliDialogs dialogs(forced);
  g_dialogs = &dialogs;
  setUserDialogs(&dialogs);
  int code = kExitUsage;
  {
    Application application;
    if (!application.startUp()) {
      setUserDialogs(nullptr);
      return application.exitCode();
    }
    ArgumentReader reader(rest);
    if (command == "list build") {
      code = runListBuild(reader);
    } else if (command == "list info") {
      code = runListInfo(reader);
    } else if (command == "mosaic") {
      code = runMosaic(reader);
    } else if (command == "geometry") {
      code = runGeometry(reader);
    } else if (command == "settings") {
      code = runSettings(reader);
    } else if (command == "extract-video") {
      code = runExtractVideo(reader);
    } else if (command == "demo") {
      code = runDemo(reader);
    } else if (command == "update-check") {
      code = runUpdateCheck(reader);
    } else {
      printError("unknown command '" + command + "'");
      std::fputs(kUsage, stderr);
    }
    if (code == kExitOk && reader.wantsHelp()) std::fputs(kSettingsKeysHelp, stdout);
  }
  setUserDialogs(nullptr);
  g_dialogs = nullptr;
  return code;
}
