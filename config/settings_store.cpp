// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

// Debian's header keeps the template bodies behind this switch; the store instantiates the
// document with its own name comparison, so it needs them here.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "config/config_folder.h"
#include "platform/paths.h"
#include "platform/safe_file.h"

namespace tg {

namespace {

/// Section and key names compare with full Unicode case folding ("Ä" equals "ä"), not only
/// ASCII as the library's own comparison does.
struct FoldedLess {
  bool operator()(const UChar* a, const UChar* b) const {
    return u_strcasecmp(a, b, U_FOLD_CASE_DEFAULT) < 0;
  }
};

using IniDocument = CSimpleIniTempl<UChar, FoldedLess, SI_ConvertW<UChar>>;

std::u16string toUtf16(const std::string& text) {
  std::u16string result(text.size() + 1, u'\0');
  int32_t length = 0;
  int32_t substitutions = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
                       static_cast<int32_t>(text.size()), 0xFFFD, &substitutions, &status);
  if (U_FAILURE(status)) return {};
  result.resize(static_cast<size_t>(length));
  return result;
}

std::string toUtf8(const UChar* text) {
  if (text == nullptr) return {};
  const int32_t units = u_strlen(text);
  std::string result(static_cast<size_t>(units) * 3 + 1, '\0');
  int32_t length = 0;
  int32_t substitutions = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text, units,
                     0xFFFD, &substitutions, &status);
  if (U_FAILURE(status)) return {};
  result.resize(static_cast<size_t>(length));
  return result;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool holdsLineBreakOrNul(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool validSection(const std::string& section) {
  return !holdsLineBreakOrNul(section) && section.find(']') == std::string::npos;
}

bool validKey(const std::string& key) {
  return !key.empty() && !holdsLineBreakOrNul(key) && key.find('=') == std::string::npos &&
         key.front() != '[' && key.front() != ';' && key.front() != '#';
}

/// The library trims blanks around values; quoting keeps them (and keeps a value that is itself
/// quoted from losing its quotes on the way back).
std::string encodeValue(const std::string& value) {
  if (value.empty()) return value;
  const bool blankEdge = isBlank(value.front()) || isBlank(value.back());
  const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  return (blankEdge || quoted) ? "\"" + value + "\"" : value;
}

std::string decodeValue(std::string raw) {
  if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
    return raw.substr(1, raw.size() - 2);
  }
  return raw;
}

/// Collects the library's output and turns its "\n" line ends into CR LF.
class CrLfWriter final : public IniDocument::OutputWriter {
 public:
  explicit CrLfWriter(std::string& out) : m_out(out) {}
  void Write(const char* text) override {
    for (; *text != '\0'; ++text) {
      if (*text == '\n') m_out.push_back('\r');
      m_out.push_back(*text);
    }
  }

 private:
  std::string& m_out;
};

long parseLong(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

double parseDouble(const std::string& text) {
  const char* begin = text.c_str();
  const char* end = begin + text.size();
  while (begin < end && (isBlank(*begin) || *begin == '\r' || *begin == '\n')) ++begin;
  if (begin < end && *begin == '+') ++begin;
  double value = 0;
  const auto result = std::from_chars(begin, end, value);
  if (result.ec == std::errc::result_out_of_range) {
    return (begin < end && *begin == '-') ? -HUGE_VAL : HUGE_VAL;
  }
  return result.ec == std::errc() ? value : 0.0;
}

std::string formatDouble(double value) {
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  if (result.ec != std::errc()) return "0.000000";
  return std::string(buffer, result.ptr);
}

/// Serialises read-modify-write cycles on files of one folder across stores and processes (two
/// program instances share the configuration folder). Advisory, taken on the folder because the
/// file itself is replaced by every write. Without a readable folder the cycle runs unlocked.
class FolderLock {
 public:
  explicit FolderLock(const std::string& filePath) {
    const std::string folder = folderOf(filePath);
    m_fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd >= 0) {
      while (flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FolderLock() {
    if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int m_fd = -1;
};

}  // namespace

std::string formatSettingsDouble(double value) { return formatDouble(value); }

struct SettingsStore::Document {
  IniDocument ini{true, false, false};

  Document() {
    ini.SetSpaces(true);
    ini.SetQuotes(false);
  }
};

std::string normaliseSettingsText(const std::string& bytes) {
  std::string_view data(bytes);
  if (data.size() >= 3 && std::memcmp(data.data(), "\xEF\xBB\xBF", 3) == 0) data.remove_prefix(3);

  // Valid UTF-8 only, NUL bytes included in what is replaced: the parser stops at a NUL and
  // would silently drop the rest of the file.
  std::string clean;
  clean.reserve(data.size());
  const auto* text = reinterpret_cast<const uint8_t*>(data.data());
  const auto length = static_cast<int32_t>(data.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(text, i, length, c);
    if (c <= 0) {
      clean.append("\xEF\xBF\xBD");
    } else {
      clean.append(reinterpret_cast<const char*>(text + start), static_cast<size_t>(i - start));
    }
  }

  // One "\n" per line end, no blank or comment lines, and every "[" line closed. An unterminated
  // section line would otherwise swallow the following lines into its name and grow on every
  // save; the library's handling of comments moves and multiplies blank lines from one save to
  // the next. The program writes no comments, so a hand-written one is dropped at the next save.
  std::string out;
  out.reserve(clean.size() + 16);
  size_t pos = 0;
  while (pos <= clean.size()) {
    size_t end = clean.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = clean.size();
    std::string line = clean.substr(pos, end - pos);
    const std::string head = trimmed(line);
    bool keep = !head.empty() && head.front() != ';' && head.front() != '#';
    if (keep && head.front() == '[') {
      const size_t close = head.find(']');
      const std::string name =
          trimmed(head.substr(1, close == std::string::npos ? close : close - 1));
      if (name.empty()) {
        keep = false;  // "[" or "[]": no name to give the keys that follow
      } else if (close == std::string::npos) {
        line = "[" + name + "]";
      }
    }
    if (keep) {
      out.append(line);
      out.push_back('\n');
    }
    if (end >= clean.size()) break;
    pos = end + ((clean[end] == '\r' && end + 1 < clean.size() && clean[end + 1] == '\n') ? 2 : 1);
  }
  return out;
}

SettingsStore::SettingsStore() : m_document(std::make_unique<Document>()) {}

SettingsStore::~SettingsStore() = default;

void SettingsStore::open(const std::string& name, SettingsLocation location) {
  std::string path;
  switch (location) {
    case SettingsLocation::ProgramFolder:
      path = programDataFolder() + name;
      break;
    case SettingsLocation::AsGiven:
      path = name;
      break;
    case SettingsLocation::ConfigFolder:
      path = configFolder() + name;
      break;
  }
  std::lock_guard lock(m_mutex);
  m_path = std::move(path);
  m_document->ini.Reset();
  m_lastLoadFailed = false;
}

std::string SettingsStore::path() const {
  std::lock_guard lock(m_mutex);
  return m_path;
}

bool SettingsStore::reloadLocked() {
  m_document->ini.Reset();
  m_lastLoadFailed = false;
  if (m_path.empty()) return true;
  std::string bytes;
  switch (readWholeFile(m_path, kMaxSettingsFileBytes, bytes)) {
    case ReadResult::Missing:
      return true;
    case ReadResult::Failed:
    case ReadResult::TooLarge:
      m_lastLoadFailed = true;
      return false;
    case ReadResult::Ok:
      break;
  }
  const std::string text = normaliseSettingsText(bytes);
  if (m_document->ini.LoadData(text.data(), text.size()) < 0) {
    m_document->ini.Reset();
    m_lastLoadFailed = true;
    return false;
  }
  return true;
}

bool SettingsStore::saveLocked() {
  if (m_path.empty()) return false;
  if (m_lastLoadFailed) {
    // The file exists but could not be read: writing now would replace the user's data with
    // whatever little this store holds.
    std::string ignored;
    if (readWholeFile(m_path, 0, ignored) != ReadResult::Missing) return false;
  }
  std::string bytes;
  CrLfWriter writer(bytes);
  if (m_document->ini.Save(writer, true) < 0) return false;
  return writeFileSafely(m_path, bytes);
}

bool SettingsStore::load() {
  std::lock_guard lock(m_mutex);
  return reloadLocked();
}

bool SettingsStore::save() {
  std::lock_guard lock(m_mutex);
  FolderLock folderLock(m_path);
  return saveLocked();
}

void SettingsStore::setAutoSync(bool on) {
  std::lock_guard lock(m_mutex);
  m_autoSync = on;
}

bool SettingsStore::autoSync() const {
  std::lock_guard lock(m_mutex);
  return m_autoSync;
}

std::string SettingsStore::getText(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) {
  const std::string s = trimmed(section);
  const std::string k = trimmed(key);
  if (!validSection(s) || !validKey(k)) return defaultValue;
  std::lock_guard lock(m_mutex);
  if (m_autoSync) (void)reloadLocked();
  const std::u16string s16 = toUtf16(s);
  const std::u16string k16 = toUtf16(k);
  const UChar* value = m_document->ini.GetValue(s16.c_str(), k16.c_str(), nullptr);
  return value == nullptr ? defaultValue : decodeValue(toUtf8(value));
}

long SettingsStore::getLong(const std::string& section, const std::string& key, long defaultValue) {
  return parseLong(getText(section, key, std::to_string(defaultValue)));
}

double SettingsStore::getDouble(const std::string& section, const std::string& key,
                                double defaultValue) {
  return parseDouble(getText(section, key, formatDouble(defaultValue)));
}

bool SettingsStore::setText(const std::string& section, const std::string& key,
                            const std::string& value) {
  const std::string s = trimmed(section);
  const std::string k = trimmed(key);
  if (!validSection(s) || !validKey(k) || holdsLineBreakOrNul(value)) return false;
  std::lock_guard lock(m_mutex);
  std::optional<FolderLock> folderLock;
  if (m_autoSync) folderLock.emplace(m_path);
  if (m_autoSync && !reloadLocked()) return false;
  const std::u16string s16 = toUtf16(s);
  const std::u16string k16 = toUtf16(k);
  const std::u16string v16 = toUtf16(encodeValue(value));
  if (m_document->ini.SetValue(s16.c_str(), k16.c_str(), v16.c_str(), nullptr, true) < 0) {
    return false;
  }
  return m_autoSync ? saveLocked() : true;
}

bool SettingsStore::setLong(const std::string& section, const std::string& key, long value) {
  return setText(section, key, std::to_string(value));
}

bool SettingsStore::setDouble(const std::string& section, const std::string& key, double value) {
  return setText(section, key, formatDouble(value));
}

std::vector<std::string> SettingsStore::listSections() {
  std::lock_guard lock(m_mutex);
  if (m_autoSync) (void)reloadLocked();
  IniDocument::TNamesDepend names;
  m_document->ini.GetAllSections(names);
  // Ordinal order of the UTF-16 names, as the window's settings list expects.
  std::map<std::u16string, std::string> sorted;
  for (const auto& entry : names) {
    if (entry.pItem == nullptr || *entry.pItem == 0) continue;
    sorted.emplace(std::u16string(entry.pItem), toUtf8(entry.pItem));
  }
  std::vector<std::string> result;
  result.reserve(sorted.size());
  for (auto& [unused, name] : sorted) result.push_back(std::move(name));
  return result;
}

std::vector<std::string> SettingsStore::listKeys(const std::string& section) {
  const std::string s = trimmed(section);
  if (!validSection(s)) return {};
  std::lock_guard lock(m_mutex);
  if (m_autoSync) (void)reloadLocked();
  const std::u16string s16 = toUtf16(s);
  IniDocument::TNamesDepend keys;
  if (!m_document->ini.GetAllKeys(s16.c_str(), keys)) return {};
  keys.sort(IniDocument::Entry::LoadOrder());
  std::vector<std::string> result;
  for (const auto& entry : keys) result.push_back(toUtf8(entry.pItem));
  return result;
}

bool SettingsStore::hasSection(const std::string& section) {
  const std::string s = trimmed(section);
  if (!validSection(s)) return false;
  std::lock_guard lock(m_mutex);
  if (m_autoSync) (void)reloadLocked();
  const std::u16string s16 = toUtf16(s);
  return m_document->ini.GetSection(s16.c_str()) != nullptr;
}

bool SettingsStore::deleteSection(const std::string& section) {
  const std::string s = trimmed(section);
  if (!validSection(s)) return true;
  std::lock_guard lock(m_mutex);
  std::optional<FolderLock> folderLock;
  if (m_autoSync) folderLock.emplace(m_path);
  if (m_autoSync && !reloadLocked()) return false;
  const std::u16string s16 = toUtf16(s);
  if (!m_document->ini.Delete(s16.c_str(), nullptr, true)) return true;
  return m_autoSync ? saveLocked() : true;
}

}  // namespace tg
