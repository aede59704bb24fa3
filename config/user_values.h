// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <ctime>
#include <string>

#include "config/settings_store.h"

namespace tg {

/// The small per-user values of the "UserSettings" section (`Locale`, `MosaicCount`,
/// `DateFirstMosaic`, `ShowToolTips`, the dialog folders, ...), all kept as text in a store.
/// The program uses the one on the configuration store (`userValues()`); tests bind their own.
/// Safe on any thread: the store locks itself and the tooltip answer is atomic.
class UserValues {
 public:
  /// Binds to `store`, which must outlive this object.
  explicit UserValues(SettingsStore& store);

  /// The text of `key`, or `defaultValue` when it is missing.
  [[nodiscard]] std::string value(const std::string& key, const std::string& defaultValue);
  /// Stores `text` under `key`; false when the store could not write it.
  [[nodiscard]] bool setValue(const std::string& key, const std::string& text);
  /// The value read with default "0" as a decimal number (0 when not numeric).
  [[nodiscard]] long number(const std::string& key);

  /// Counts one more saved mosaic: when the count is still 0 (or not numeric) today's date is
  /// stored as `DateFirstMosaic` ("%ld-%ld-%ld": year, month 1-12, day), then `MosaicCount`
  /// becomes count + 1. False when a value could not be written.
  [[nodiscard]] bool countCreatedMosaic(const std::tm& today);
  /// `countCreatedMosaic` with the local date of now.
  [[nodiscard]] bool countCreatedMosaic();

  /// The about box's sentence: "What are you waiting for? Create your first mosaic!" before the
  /// first mosaic, else the counted "You have created %ld Mosaic(s) since %s!" with the count and
  /// the first date (`displayedFirstMosaicDate`). Translated through the catalogue.
  [[nodiscard]] std::string createdMosaicsText();

  /// Tooltips on or off: mode 1 stores "1", mode 0 stores "0", any other mode only asks. After a
  /// change, or at the first question, the stored text is read (on unless it begins with "0") and
  /// the answer is kept until the next change.
  [[nodiscard]] bool toolTipsEnabled(int mode);

 private:
  SettingsStore& m_store;
  std::atomic<int> m_toolTips{-1};  // -1 not read yet, else 0 or 1
};

/// The first-mosaic date as the about box shows it: a date whose leading number lies in 100-113
/// counts its year from 1900 ("113-5-20" is shown as "2013-5-20"); any other text is unchanged.
[[nodiscard]] std::string displayedFirstMosaicDate(const std::string& stored);

/// The program's user values, on the configuration store.
[[nodiscard]] UserValues& userValues();

/// Shorthands for `userValues().value`, `.setValue` and `.number`.
[[nodiscard]] std::string userValue(const std::string& key, const std::string& defaultValue);
[[nodiscard]] bool setUserValue(const std::string& key, const std::string& text);
[[nodiscard]] long userNumber(const std::string& key);
/// Called by the mosaic saver once per successfully saved mosaic (any thread).
[[nodiscard]] bool countCreatedMosaic();
/// `userValues().toolTipsEnabled(mode)`.
[[nodiscard]] bool toolTipsEnabled(int mode);

}  // namespace tg
