// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include <cstdlib>

#include <curl/curl.h>

#include "app/catalogue_binding.h"
#include "app/registry_migration.h"
#include "config/configuration_store.h"
#include "config/user_values.h"
#include "platform/thread_text.h"
#include "platform/ticks.h"
#include "update/update_check.h"
#include "video/video_library.h"

namespace tg {

Application::Application() = default;

Application::Application(Setup setup) : m_setup(std::move(setup)) {}

Application::~Application() { shutDown(); }

bool Application::startUp() {
  if (!initThreadText()) {
    m_exitCode = -1;
    return false;
  }
  m_threadText = true;

  initVideoLibrary();

  (void)configurationStore();
  LegacyRegistry& registry = m_setup.registry != nullptr ? *m_setup.registry : m_absentRegistry;
  migrateRegistryValues(registry, userValues());

  std::srand(tickCount());

  // Before the catalogue is first used: the library reads the variable once.
  (void)setCatalogueLanguage(userValue("Locale", ""));

  m_network = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;

  initialiseLocale();
  m_catalogueBound =
      bindCatalogue(m_setup.localeFolder.empty() ? installedLocaleFolder() : m_setup.localeFolder);
  return true;
}

void Application::shutDown() {
  if (m_network) {
    // A check still waiting on the network is aborted, never waited for.
    updateChecker().shutDown();
    curl_global_cleanup();
    m_network = false;
  }
  if (m_threadText) {
    closeThreadText();
    m_threadText = false;
  }
}

}  // namespace tg
