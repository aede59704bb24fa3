// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/split_dialog_model.h"
#include "cli/cli_support.h"

namespace tg {

/// The commands of `tesselograph-cli`, each given the arguments after its name. Each returns
/// the program's exit code: 0 only when everything asked for was done. Main thread.
[[nodiscard]] int runListBuild(ArgumentReader& args);
[[nodiscard]] int runListInfo(ArgumentReader& args);
[[nodiscard]] int runMosaic(ArgumentReader& args);
[[nodiscard]] int runGeometry(ArgumentReader& args);
[[nodiscard]] int runSettings(ArgumentReader& args);
[[nodiscard]] int runDemo(ArgumentReader& args);
[[nodiscard]] int runUpdateCheck(ArgumentReader& args);

/// Builds (or updates) the list `listPath` from the given folder lists, analysing what changed,
/// and saves it; prints its counts. Shared by `list build` and `demo`.
[[nodiscard]] bool buildTileList(const std::string& listPath,
                                 const std::vector<std::string> (&folders)[4], bool blackAndWhite);

/// What `makeMosaics` builds.
struct MosaicRequest {
  std::string listPath;     ///< the Tile Images List
  SettingsSource settings;  ///< where the settings come from
  /// Main images with their explicit output paths ("" for the default names), in order.
  std::vector<std::pair<std::string, std::string>> images;
  std::optional<std::string> mask;         ///< a mask file or a folder of them
  std::optional<std::string> priorityMap;  ///< the priority map picture
  /// The piece size of a split mosaic in one of the split dialog's forms (none: not split).
  std::optional<SplitRequest> split;
};

/// Makes the mosaics of `request`, printing progress and where each mosaic went; Ctrl-C stops
/// the job. True when every mosaic was saved. Shared by `mosaic` and `demo`.
[[nodiscard]] bool makeMosaics(const MosaicRequest& request);

}  // namespace tg
