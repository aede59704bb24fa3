// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/user_values.h"

#include <cstdlib>

#include "config/configuration_store.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

UserValues::UserValues(SettingsStore& store) : m_store(store) {}

std::string UserValues::value(const std::string& key, const std::string& defaultValue) {
  return m_store.getText(kUserSettingsSection, key, defaultValue);
}

bool UserValues::setValue(const std::string& key, const std::string& text) {
  return m_store.setText(kUserSettingsSection, key, text);
}

long UserValues::number(const std::string& key) {
  return std::strtol(value(key, "0").c_str(), nullptr, 10);
}

bool UserValues::countCreatedMosaic(const std::tm& today) {
  const long count = number("MosaicCount");
  bool ok = true;
  if (count == 0) {
    ok =
        setValue("DateFirstMosaic",
                 formatText("%ld-%ld-%ld", static_cast<long>(today.tm_year) + 1900,
                            static_cast<long>(today.tm_mon) + 1, static_cast<long>(today.tm_mday)));
  }
  return setValue("MosaicCount", formatText("%ld", count + 1)) && ok;
}

bool UserValues::countCreatedMosaic() {
  const std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  return countCreatedMosaic(today);
}

std::string UserValues::createdMosaicsText() {
  const long count = number("MosaicCount");
  if (count < 1) return tr("What are you waiting for? Create your first mosaic!");
  return formatText(
      trn("You have created %ld Mosaic since %s!", "You have created %ld Mosaics since %s!",
          static_cast<unsigned long>(count)),
      count, displayedFirstMosaicDate(value("DateFirstMosaic", "")));
}

bool UserValues::toolTipsEnabled(int mode) {
  if (mode == 0 || mode == 1) {
    (void)setValue("ShowToolTips", mode == 1 ? "1" : "0");
    m_toolTips.store(-1);
  }
  int answer = m_toolTips.load();
  if (answer < 0) {
    const std::string stored = value("ShowToolTips", "");
    answer = (!stored.empty() && stored.front() == '0') ? 0 : 1;
    m_toolTips.store(answer);
  }
  return answer == 1;
}

std::string displayedFirstMosaicDate(const std::string& stored) {
  const long leading = std::strtol(stored.c_str(), nullptr, 10);
  if (leading >= 100 && leading <= 113 && stored.size() >= 3) {
    return std::to_string(leading + 1900) + stored.substr(3);
  }
  return stored;
}

UserValues& userValues() {
  static UserValues* values = new UserValues(configurationStore());
  return *values;
}

std::string userValue(const std::string& key, const std::string& defaultValue) {
  return userValues().value(key, defaultValue);
}

bool setUserValue(const std::string& key, const std::string& text) {
  return userValues().setValue(key, text);
}

long userNumber(const std::string& key) { return userValues().number(key); }

bool countCreatedMosaic() { return userValues().countCreatedMosaic(); }

bool toolTipsEnabled(int mode) { return userValues().toolTipsEnabled(mode); }

}  // namespace tg
