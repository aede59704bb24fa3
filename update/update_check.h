// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "output/program_version.h"
#include "update/url_fetch.h"

namespace tg {

class UserValues;

/// One update mode as the More Options window lists it.
struct UpdateModeInfo {
  int mode;           ///< the value stored as `CheckVersion`
  const char* label;  ///< English catalogue key of its label
  int intervalDays;   ///< days between automatic checks; 0 = never automatically
  bool beta;          ///< whether the query asks for beta versions
};

/// The six modes in the order the window lists them: never, every two weeks, every month, and
/// the three beta modes.
[[nodiscard]] const std::array<UpdateModeInfo, 6>& updateModes();
/// The entry of `mode`; a mode outside 1..6 counts as 3 (every two weeks).
[[nodiscard]] const UpdateModeInfo& updateModeInfo(int mode);

/// "%d.%02d.%02d" of `version` ("2.05.07").
[[nodiscard]] std::string versionText(const ProgramVersion& version);
/// Whether `current` sorts before `latest`, comparing UTF-16 code units one by one (so
/// "10.00.00" sorts before "9.99.99": versions compare as text, as the service expects).
[[nodiscard]] bool versionSortsBefore(const std::string& current, const std::string& latest);
/// The text of the last "<latest>...</latest>" element of a reply (read as windows-1252), or
/// nothing when the reply has none.
[[nodiscard]] std::optional<std::string> latestVersionOf(const std::string& replyBytes);

/// Where the update service lives. The values come from the configuration file's
/// "UserSettings" (`UpdateServiceUrl`, `UpdateDownloadPage`, `UpdateDownloadUrl`), with this
/// project's release pages as defaults; `TESSELOGRAPH_UPDATE_URL`, when set, replaces the base.
struct UpdateService {
  std::string base;             ///< the version query is base + "checkversion.php?v=..."
  std::string downloadPage;     ///< opened first when the user accepts a download
  std::string downloadAddress;  ///< opened second, with the build, package and beta flag
};
[[nodiscard]] UpdateService configuredUpdateService(UserValues& values);

/// The version query: base + "checkversion.php?v=%d.%02d.%02d", + "&beta=1" for beta modes.
[[nodiscard]] std::string versionQueryAddress(const UpdateService& service,
                                              const ProgramVersion& version, bool beta);
/// The download address: "%s?build=%s&package=%s&beta=%s" with the values escaped for an address.
[[nodiscard]] std::string downloadAddressFor(const UpdateService& service,
                                             const std::string& buildName,
                                             const std::string& package, bool beta);

/// How the last check ended.
enum class CheckOutcome {
  None,         ///< no check has finished yet
  Skipped,      ///< an automatic check with the package "Other": nothing was asked
  Unreachable,  ///< the service could not be reached or gave no usable reply
  NoVersion,    ///< the reply had no latest-version element
  UpToDate,     ///< the program is as new as the latest version
  Newer,        ///< a newer version exists (the user was offered the download)
};

/// The update check: the mode, the schedule and the check thread. `checkForUpdates` runs on the
/// window thread (or the CLI's main thread); the check itself runs on a thread of its own, which
/// talks to the user only through `UserDialogs` and touches only the user values.
///
/// Closing never waits for the network: `shutDown` aborts a transfer in progress at once.
class UpdateChecker {
 public:
  struct Setup {
    UserValues* values = nullptr;  ///< nullptr: the configuration file's user values
    /// package.txt's `package` and `build` values; empty functions read package.txt.
    std::function<std::string()> packageValue;
    std::function<std::string()> buildValue;
    std::optional<ProgramVersion> version;  ///< nothing: `programVersion()`
    std::optional<UpdateService> service;   ///< nothing: `configuredUpdateService`
    std::function<std::time_t()> now;       ///< empty: the system clock
    FetchLimits limits;
  };

  UpdateChecker();
  explicit UpdateChecker(Setup setup);
  /// `shutDown`.
  ~UpdateChecker();
  UpdateChecker(const UpdateChecker&) = delete;
  UpdateChecker& operator=(const UpdateChecker&) = delete;

  /// The mode 1..6. Read from `CheckVersion` the first time; when none is stored, asks the
  /// first-run question and stores the answer (Yes: 3, or 5 for a beta build, and the next
  /// check runs at once; No: 1).
  [[nodiscard]] int updateMode();
  /// Keeps `mode` and stores it as `CheckVersion`; false when it could not be written.
  [[nodiscard]] bool setUpdateMode(int mode);

  /// The scheduler: starts a check thread unless one is fetching, no check is due (the mode's
  /// interval has not passed since the last successful query) or, automatic with mode 1, never.
  /// `forced` (Check Now) ignores the interval and the mode. True when a thread was started.
  bool checkForUpdates(bool forced);

  /// Whether a check thread is still fetching.
  [[nodiscard]] bool fetching() const { return m_fetching.load(); }
  /// Waits until every check thread has ended (the CLI, tests).
  void wait();
  /// Aborts a transfer in progress and waits for the threads; later checks start nothing.
  /// Messages already on screen are answered by the user as usual.
  void shutDown();
  /// How the most recent check ended.
  [[nodiscard]] CheckOutcome lastOutcome() const { return m_outcome.load(); }

 private:
  void runCheck(bool beta, bool forced);
  std::string packageValue() const;
  std::string buildValue() const;
  UserValues& values() const;

  Setup m_setup;
  int m_mode = 0;  // 0 = not read yet
  bool m_consent = false;
  std::atomic<bool> m_fetching{false};
  FetchCancel m_cancel;
  std::atomic<CheckOutcome> m_outcome{CheckOutcome::None};
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex m_workersLock;
  std::vector<Worker> m_workers;
};

/// The program's checker (created on first use). `Application::shutDown` shuts it down.
[[nodiscard]] UpdateChecker& updateChecker();

}  // namespace tg
