// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_check.h"

#include <strings.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <vector>

#include <curl/curl.h>
#include <boost/regex/icu.hpp>

#include "config/config_folder.h"
#include "config/user_values.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text_format.h"
#include "platform/thread_priority.h"
#include "platform/thread_text.h"
#include "platform/user_dialogs.h"
#include "video/video_library.h"

namespace tg {

namespace {

constexpr const char* kDefaultServiceBase = "https://tesselograph.org/update/";
constexpr const char* kDefaultDownloadPage = "https://tesselograph.org/download/";
constexpr const char* kDefaultDownloadAddress = "https://tesselograph.org/download/get.php";
// The name of this build of the program, carried by the download address.
constexpr const char* kBuildName = "tesselograph-linux";

std::string escaped(const std::string& text) {
  char* escapedText = curl_easy_escape(nullptr, text.c_str(), static_cast<int>(text.size()));
  if (escapedText == nullptr) return {};
  std::string result(escapedText);
  curl_free(escapedText);
  return result;
}

}  // namespace

const std::array<UpdateModeInfo, 6>& updateModes() {
  static const std::array<UpdateModeInfo, 6> modes{{
      {1, N_("never"), 0, false},
      {3, N_("every two weeks"), 15, false},
      {2, N_("every month"), 30, false},
      {4, N_("(Beta) every day"), 2, true},
      {5, N_("(Beta) every week"), 7, true},
      {6, N_("(Beta) every two weeks"), 15, true},
  }};
  return modes;
}

const UpdateModeInfo& updateModeInfo(int mode) {
  for (const UpdateModeInfo& info : updateModes()) {
    if (info.mode == mode) return info;
  }
  return updateModes()[1];
}

std::string versionText(const ProgramVersion& version) {
  return formatText("%d.%02d.%02d", version.major, version.minor, version.build);
}

bool versionSortsBefore(const std::string& current, const std::string& latest) {
  return toUtf16(current) < toUtf16(latest);
}

std::optional<std::string> latestVersionOf(const std::string& replyBytes) {
  std::string text;
  if (!windows1252ToUtf8(replyBytes, text)) return std::nullopt;
  try {
    static const boost::u32regex pattern = boost::make_u32regex(".*<latest>(.+)</latest>.*");
    boost::smatch match;
    if (!boost::u32regex_match(text, match, pattern)) return std::nullopt;
    return match[1].str();
  } catch (const std::exception&) {
    // A reply too complex for the matcher is treated as one without a version.
    return std::nullopt;
  }
}

UpdateService configuredUpdateService(UserValues& values) {
  UpdateService service{values.value("UpdateServiceUrl", kDefaultServiceBase),
                        values.value("UpdateDownloadPage", kDefaultDownloadPage),
                        values.value("UpdateDownloadUrl", kDefaultDownloadAddress)};
  if (const std::string override = environmentValue("TESSELOGRAPH_UPDATE_URL"); !override.empty())
    service.base = override;
  return service;
}

std::string versionQueryAddress(const UpdateService& service, const ProgramVersion& version,
                                bool beta) {
  std::string address = service.base + "checkversion.php?v=" + versionText(version);
  if (beta) address += "&beta=1";
  return address;
}

std::string downloadAddressFor(const UpdateService& service, const std::string& buildName,
                               const std::string& package, bool beta) {
  return formatText("%s?build=%s&package=%s&beta=%s%s", service.downloadAddress, escaped(buildName),
                    escaped(package), std::string(beta ? "1" : "0"), std::string());
}

UpdateChecker::UpdateChecker() = default;

UpdateChecker::UpdateChecker(Setup setup) : m_setup(std::move(setup)) {}

UpdateChecker::~UpdateChecker() { shutDown(); }

UserValues& UpdateChecker::values() const {
  return m_setup.values != nullptr ? *m_setup.values : userValues();
}

std::string UpdateChecker::packageValue() const {
  return m_setup.packageValue ? m_setup.packageValue() : packageFileValue("package");
}

std::string UpdateChecker::buildValue() const {
  return m_setup.buildValue ? m_setup.buildValue() : packageFileValue("build");
}

int UpdateChecker::updateMode() {
  if (m_mode != 0) return m_mode;
  const long stored = values().number("CheckVersion");
  if (stored != 0) {
    m_mode = updateModeInfo(static_cast<int>(stored)).mode;
    return m_mode;
  }
  const Answer answer =
      showMessage(tr("Do you want Tesselograph to check for new updates at startup? (You can "
                     "change automatic updates settings in the Options window)."),
                  Buttons::YesNo, Icon::Question);
  int mode = 1;
  if (answer == Answer::Yes) {
    m_consent = true;
    mode = strcasecmp(buildValue().c_str(), "beta") == 0 ? 5 : 3;
  }
  (void)setUpdateMode(mode);
  return m_mode;
}

bool UpdateChecker::setUpdateMode(int mode) {
  m_mode = updateModeInfo(mode).mode;
  return values().setValue("CheckVersion", formatText("%d", m_mode));
}

bool UpdateChecker::checkForUpdates(bool forced) {
  if (m_fetching.load() || m_cancel.cancelled()) return false;
  const UpdateModeInfo& info = updateModeInfo(updateMode());
  int interval = info.intervalDays;
  if (m_consent) {
    forced = true;
    interval = 0;
  } else if (forced) {
    interval = 0;
  } else if (info.intervalDays == 0) {
    return false;
  }
  if (interval > 0) {
    const std::string stored = values().value("CheckVersionDate", "");
    if (!stored.empty()) {
      const std::time_t now = m_setup.now ? m_setup.now() : std::time(nullptr);
      const double days =
          (static_cast<double>(now) - std::strtod(stored.c_str(), nullptr)) / 3600.0 / 24.0;
      // A stored time in the future never blocks a check.
      if (days >= 0 && days < interval) return false;
    }
  }

  std::lock_guard lock(m_workersLock);
  // Threads whose check has ended are joined here; one still showing its message stays.
  for (auto it = m_workers.begin(); it != m_workers.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = m_workers.erase(it);
    } else {
      ++it;
    }
  }
  m_fetching = true;
  m_consent = false;
  auto done = std::make_shared<std::atomic<bool>>(false);
  const bool beta = info.beta;
  m_workers.push_back({std::thread([this, beta, forced, done] {
                         (void)setCurrentThreadPriority(ThreadPriority::Lowest);
                         {
                           ScopedThreadText text;
                           if (text.ok()) {
                             initVideoLibrary();
                             runCheck(beta, forced);
                           }
                         }
                         m_fetching = false;
                         *done = true;
                       }),
                       done});
  return true;
}

void UpdateChecker::runCheck(bool beta, bool forced) {
  const std::string package = packageValue();
  if (strcasecmp(package.c_str(), "Other") == 0 && !forced) {
    m_fetching = false;
    m_outcome = CheckOutcome::Skipped;
    return;
  }
  const UpdateService service =
      m_setup.service ? *m_setup.service : configuredUpdateService(values());
  const ProgramVersion version = m_setup.version ? *m_setup.version : programVersion();
  const FetchResult reply =
      fetchUrl(versionQueryAddress(service, version, beta), m_setup.limits, &m_cancel);
  // The next check may start now, even while this one still shows its message.
  m_fetching = false;
  if (m_cancel.cancelled()) return;
  if (!reply.ok) {
    std::fprintf(stderr, "tesselograph: update check: %s\n", reply.error.c_str());
    m_outcome = CheckOutcome::Unreachable;
    if (forced) {
      showMessage(
          tr("Unable to verify if a new version is available. Please check your internet "
             "connection."));
    }
    return;
  }
  const std::time_t now = m_setup.now ? m_setup.now() : std::time(nullptr);
  (void)values().setValue("CheckVersionDate", formatText("%lld", static_cast<long long>(now)));

  const std::optional<std::string> latest = latestVersionOf(reply.body);
  if (!latest) {
    m_outcome = CheckOutcome::NoVersion;
    return;
  }
  if (versionSortsBefore(versionText(version), *latest)) {
    m_outcome = CheckOutcome::Newer;
    const Answer answer = showMessage(tr("A newer version of Tesselograph is available!") + " " +
                                          tr("Click YES to download the new version."),
                                      Buttons::YesNo, Icon::Question);
    if (answer == Answer::Yes) {
      (void)openWithShell(service.downloadPage);
      (void)openWithShell(downloadAddressFor(service, kBuildName, package, beta));
    }
  } else {
    m_outcome = CheckOutcome::UpToDate;
    if (forced) showMessage(tr("Your version of Tesselograph is up to date."));
  }
}

void UpdateChecker::wait() {
  std::vector<Worker> workers;
  {
    std::lock_guard lock(m_workersLock);
    workers.swap(m_workers);
  }
  for (Worker& worker : workers) worker.thread.join();
}

void UpdateChecker::shutDown() {
  m_cancel.cancel();
  wait();
}

UpdateChecker& updateChecker() {
  static UpdateChecker checker;
  return checker;
}

}  // namespace tg
