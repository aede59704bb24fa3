// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

struct UConverter;

namespace tg {

/// The text converters of one thread: ICU converters for "utf-8", "ascii" and "utf-16" and the
/// ICU status of their creation. Owned by the thread's slot from `initThreadText` to
/// `closeThreadText`; never shared between threads.
struct ThreadText {
  UConverter* utf8 = nullptr;
  UConverter* ascii = nullptr;
  UConverter* utf16 = nullptr;
  int status = 0;  ///< the UErrorCode of the creation (0 = no error)
};

/// Creates the calling thread's converters ("utf-8", then "ascii", then "utf-16") and puts them
/// into the thread's slot. At the first failure the user is told "%s: %s" filled with
/// "Unable to initialize international library: UTF8" (ASCII, UTF16 for the later ones) and the
/// ICU name of the status, the converters made so far are closed, and the result is false: the
/// thread must end then. Calling it again on a thread that already has its converters keeps them
/// and counts one more `closeThreadText` needed to release them. Every thread the program starts
/// calls it first.
[[nodiscard]] bool initThreadText();

/// Releases what `initThreadText` created on this thread (nothing when it was not called or
/// failed). Call at the end of every thread that called `initThreadText`.
void closeThreadText();

/// The calling thread's converters, or nullptr before `initThreadText` / after `closeThreadText`.
[[nodiscard]] ThreadText* currentThreadText();

/// `initThreadText` with other converter names: lets tests reach the failure texts with a name
/// ICU does not know. The program itself always uses `initThreadText`.
[[nodiscard]] bool initThreadTextWith(const char* utf8Name, const char* asciiName,
                                      const char* utf16Name);

/// Calls `initThreadText` on construction and, when it succeeded, `closeThreadText` on
/// destruction. Put one at the top of a thread's body and end the thread when `ok()` is false.
class ScopedThreadText {
 public:
  ScopedThreadText() : m_ok(initThreadText()) {}
  ~ScopedThreadText() {
    if (m_ok) closeThreadText();
  }
  ScopedThreadText(const ScopedThreadText&) = delete;
  ScopedThreadText& operator=(const ScopedThreadText&) = delete;

  [[nodiscard]] bool ok() const { return m_ok; }

 private:
  bool m_ok;
};

/// UTF-8 text as UTF-16, through the thread's converter when it has one. Invalid UTF-8 becomes
/// U+FFFD. Used where lengths are counted in UTF-16 units.
[[nodiscard]] std::u16string toUtf16(std::string_view utf8);
/// UTF-16 text as UTF-8 (unpaired surrogates become U+FFFD).
[[nodiscard]] std::string fromUtf16(std::u16string_view utf16);
/// Windows-1252 bytes (the "ANSI code page" of old list files and of single-byte replies) as
/// UTF-8. False when the converter is missing; any thread.
[[nodiscard]] bool windows1252ToUtf8(std::string_view ansi, std::string& utf8);

}  // namespace tg
