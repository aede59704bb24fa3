// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "platform/legacy_registry.h"

namespace tg {

/// Start-up and shut-down of the program, shared by the window and the CLI. A front end installs
/// its `UserDialogs` first, then calls `startUp` on its main thread before anything else, runs,
/// and lets the object go (or calls `shutDown`), which releases everything in reverse order.
///
/// Start-up, in order: the thread's text converters (on failure the program must end with exit
/// code -1); the video library; the configuration store, which resolves the configuration folder,
/// and the one-time migration of registry values; the random generator seeded with the tick
/// count; "LANGUAGE" from the stored `Locale`; the network library for the update check; the
/// process locale and the message catalogue "tesselograph" bound to `locale` beside the
/// executable. Single-threaded: call before starting other threads.
class Application {
 public:
  /// Where the pieces come from; the defaults are the installed program's.
  struct Setup {
    LegacyRegistry* registry = nullptr;  ///< nullptr: the absent registry of Linux
    std::string localeFolder;            ///< "": program folder + "locale"
  };

  Application();
  explicit Application(Setup setup);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  /// Runs the start-up steps. False when the program must end at once (the text converters could
  /// not be created; the user was told); `exitCode()` is -1 then.
  [[nodiscard]] bool startUp();

  /// Releases what `startUp` set up, in reverse order. Idempotent; the destructor calls it.
  void shutDown();

  /// The code the program ends with: -1 after a failed start-up, else what the front end set
  /// (0 by default).
  [[nodiscard]] int exitCode() const { return m_exitCode; }
  void setExitCode(int code) { m_exitCode = code; }

  /// Whether the message catalogue was bound (texts stay English otherwise).
  [[nodiscard]] bool catalogueBound() const { return m_catalogueBound; }

 private:
  Setup m_setup;
  AbsentRegistry m_absentRegistry;
  bool m_threadText = false;
  bool m_network = false;
  bool m_catalogueBound = false;
  int m_exitCode = 0;
};

}  // namespace tg
