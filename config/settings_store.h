// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tg {

/// Where `SettingsStore::open` looks for a file name.
enum class SettingsLocation : int {
  ProgramFolder = 0,  ///< the program's data folder + the name (package.txt, locale/locale.txt)
  AsGiven = 1,        ///< the name unchanged (mosaic settings files chosen by the user)
  ConfigFolder = 2,   ///< the configuration folder + the name (TesselographConfig.txt, ...)
};

/// The text `setDouble` stores for `value` ("%lf": six decimals, no exponent, no locale).
[[nodiscard]] std::string formatSettingsDouble(double value);

/// One INI document bound to one file; every settings and configuration file of the program is
/// read and written through it.
///
/// File form: UTF-8 with the byte-order mark EF BB BF, every line ending with CR LF, each section
/// a "[name]" line followed by one "key = value" line per key (sections are separated by blank
/// lines). Files are read with or without the byte-order mark and with any line ends. Section and
/// key names compare without regard to case (full Unicode case folding); keys are unique per
/// section; values are single lines. A value with leading or trailing blanks, or one that starts
/// and ends with a double quote, is written between double quotes so that it reads back exactly.
///
/// Auto-sync (on by default): every read first reloads the file, and every change reloads the
/// file, changes the document and writes the whole file back. With auto-sync off the caller
/// loads once (`load`) and writes once (`save`).
///
/// Writes never damage the existing file: the text goes to a temporary file beside it, which is
/// flushed to disk and renamed over the old one. When any step fails, the old file stays as it
/// was and the change reports false. A file that exists but cannot be read is never overwritten
/// by a change made after the failed read. A missing file reads as empty.
///
/// Damaged files (binary garbage, an unterminated "[section" line, a line without "=") read the
/// same values on every reload; the first write stores them in the clean form above, and from
/// then on load/save cycles leave the file unchanged byte for byte.
///
/// Thread-safe: every member takes the store's own lock, so one store (the configuration store)
/// may be used from the window thread and the job thread. Two stores or two processes on the same
/// file see each other's writes through the file when auto-sync is on; their reload-change-write
/// cycles are serialised by an advisory lock on the file's folder, so neither loses the other's
/// change.
class SettingsStore {
 public:
  SettingsStore();
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  /// Binds the store to `name` resolved by `location` and empties the document (nothing is
  /// read yet). `ConfigFolder` resolves the configuration folder (which creates it when missing).
  void open(const std::string& name, SettingsLocation location);

  /// The resolved path of the bound file ("" before `open`).
  [[nodiscard]] std::string path() const;

  /// The value of `key` in `section`, or `defaultValue` when the section or key is missing.
  [[nodiscard]] std::string getText(const std::string& section, const std::string& key,
                                    const std::string& defaultValue);
  /// The value read as a decimal integer (leading blanks and a sign allowed; 0 when the text is
  /// not numeric); `defaultValue` when the key is missing.
  [[nodiscard]] long getLong(const std::string& section, const std::string& key, long defaultValue);
  /// The value read as a floating-point number with '.' as decimal point whatever the locale
  /// (0 when not numeric); `defaultValue` when the key is missing.
  [[nodiscard]] double getDouble(const std::string& section, const std::string& key,
                                 double defaultValue);

  /// Replaces or inserts `key` = `value` in `section` (created at the end when missing). Returns
  /// false, changing nothing, when the names or the value cannot be stored (a line break or NUL
  /// anywhere, an empty key, a key holding "=" or starting with "[", ";" or "#", a section
  /// holding "]") or, with auto-sync on, when the file cannot be read or written. Blanks around
  /// section and key names are ignored.
  [[nodiscard]] bool setText(const std::string& section, const std::string& key,
                             const std::string& value);
  /// `setText` with the "%ld" text of `value`.
  [[nodiscard]] bool setLong(const std::string& section, const std::string& key, long value);
  /// `setText` with the "%lf" text of `value` ('.' as decimal point whatever the locale).
  [[nodiscard]] bool setDouble(const std::string& section, const std::string& key, double value);

  /// The names of all sections, sorted by ordinal (UTF-16 code unit) comparison. Keys that stand
  /// before any section line belong to the nameless section "", which is not listed.
  [[nodiscard]] std::vector<std::string> listSections();
  /// The keys of `section` in file order (empty when the section is missing).
  [[nodiscard]] std::vector<std::string> listKeys(const std::string& section);
  /// Whether `section` exists.
  [[nodiscard]] bool hasSection(const std::string& section);

  /// Removes `section` and all its keys. Returns false when the file could not be read or
  /// written (auto-sync on); removing a missing section succeeds and writes nothing.
  [[nodiscard]] bool deleteSection(const std::string& section);

  /// Reads the file into the document. A missing file gives an empty document and true; a file
  /// that cannot be read (or is larger than 64 MiB) gives an empty document and false.
  [[nodiscard]] bool load();
  /// Writes the whole document to the file safely (see above). Returns false when nothing was
  /// written, also when the last `load` failed on an existing file.
  [[nodiscard]] bool save();

  /// Switches auto-sync on or off; switching does not read or write by itself.
  void setAutoSync(bool on);
  [[nodiscard]] bool autoSync() const;

 private:
  struct Document;

  bool reloadLocked();
  bool saveLocked();

  mutable std::mutex m_mutex;
  std::string m_path;
  std::unique_ptr<Document> m_document;
  bool m_autoSync = true;
  bool m_lastLoadFailed = false;
};

/// The largest file the store reads; larger files are treated as unreadable.
inline constexpr size_t kMaxSettingsFileBytes = 64u << 20;

/// Turns raw file bytes into the clean text the store parses: the byte-order mark removed,
/// invalid UTF-8 and NUL bytes replaced by U+FFFD, every line end a single "\n", blank and comment
/// lines (";", "#") dropped, an unterminated "[section" line closed ("[section]") and a nameless
/// "[" or "[]" line dropped. Exposed for tests.
[[nodiscard]] std::string normaliseSettingsText(const std::string& bytes);

}  // namespace tg
