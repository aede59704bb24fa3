// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace tg {

/// The per-user key store where earlier versions kept a few values ("Software\Tesselograph" of
/// the current user). Linux has none, so the program's own implementation never opens a key; the
/// migration that reads it is still written against this interface and tested with a double.
class LegacyRegistry {
 public:
  virtual ~LegacyRegistry() = default;

  /// Opens `path` below the current user's root for reading and writing; false when missing.
  [[nodiscard]] virtual bool openKey(const std::string& path) = 0;
  /// Reads the value `name` of the open key as narrow text of at most `maxChars` characters;
  /// nothing when it is missing or cannot be read.
  [[nodiscard]] virtual std::optional<std::string> readValue(const std::string& name,
                                                             size_t maxChars) = 0;
  /// Closes the open key (nothing when none is open).
  virtual void closeKey() = 0;
  /// Deletes the sub-key `child` of `parent` (both below the current user's root).
  [[nodiscard]] virtual bool deleteKey(const std::string& parent, const std::string& child) = 0;
};

/// The program's registry: it has no keys, so nothing opens and nothing is ever migrated.
class AbsentRegistry final : public LegacyRegistry {
 public:
  [[nodiscard]] bool openKey(const std::string&) override { return false; }
  [[nodiscard]] std::optional<std::string> readValue(const std::string&, size_t) override {
    return std::nullopt;
  }
  void closeKey() override {}
  [[nodiscard]] bool deleteKey(const std::string&, const std::string&) override { return false; }
};

}  // namespace tg
