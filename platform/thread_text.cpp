// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/thread_text.h"

#include <memory>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

struct Slot {
  std::unique_ptr<ThreadText> text;
  int depth = 0;
};

thread_local Slot t_slot;

void closeConverters(ThreadText& text) {
  if (text.utf16 != nullptr) ucnv_close(text.utf16);
  if (text.ascii != nullptr) ucnv_close(text.ascii);
  if (text.utf8 != nullptr) ucnv_close(text.utf8);
  text.utf8 = text.ascii = text.utf16 = nullptr;
}

}  // namespace

bool initThreadTextWith(const char* utf8Name, const char* asciiName, const char* utf16Name) {
  if (t_slot.text != nullptr) {
    ++t_slot.depth;
    return true;
  }
  auto text = std::make_unique<ThreadText>();
  UErrorCode status = U_ZERO_ERROR;
  struct Step {
    const char* name;
    UConverter** converter;
    const char* failure;
  };
  // These texts are shown as they stand: the catalogue may not be usable without converters.
  const Step steps[] = {
      {utf8Name, &text->utf8, "Unable to initialize international library: UTF8"},
      {asciiName, &text->ascii, "Unable to initialize international library: ASCII"},
      {utf16Name, &text->utf16, "Unable to initialize international library: UTF16"},
  };
  for (const Step& step : steps) {
    *step.converter = ucnv_open(step.name, &status);
    // ICU reports some successful opens with a warning status: only U_FAILURE is a failure.
    if (U_FAILURE(status)) {
      *step.converter = nullptr;
      closeConverters(*text);
      showMessage(formatText("%s: %s", std::string(step.failure), u_errorName(status)));
      return false;
    }
  }
  text->status = status;
  t_slot.text = std::move(text);
  t_slot.depth = 1;
  return true;
}

bool initThreadText() { return initThreadTextWith("utf-8", "ascii", "utf-16"); }

void closeThreadText() {
  if (t_slot.text == nullptr) return;
  if (--t_slot.depth > 0) return;
  closeConverters(*t_slot.text);
  t_slot.text.reset();
  t_slot.depth = 0;
}

ThreadText* currentThreadText() { return t_slot.text.get(); }

std::u16string toUtf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  std::u16string result(utf8.size() + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  const ThreadText* text = currentThreadText();
  if (text != nullptr && text->utf8 != nullptr) {
    ucnv_resetToUnicode(text->utf8);
    length = ucnv_toUChars(text->utf8, result.data(), static_cast<int32_t>(result.size()),
                           utf8.data(), static_cast<int32_t>(utf8.size()), &status);
  } else {
    int32_t substitutions = 0;
    u_strFromUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, utf8.data(),
                         static_cast<int32_t>(utf8.size()), 0xFFFD, &substitutions, &status);
  }
  if (U_FAILURE(status)) return {};
  result.resize(static_cast<size_t>(length));
  return result;
}

std::string fromUtf16(std::u16string_view utf16) {
  if (utf16.empty()) return {};
  std::string result(utf16.size() * 3 + 1, '\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  const ThreadText* text = currentThreadText();
  if (text != nullptr && text->utf8 != nullptr) {
    ucnv_resetFromUnicode(text->utf8);
    length = ucnv_fromUChars(text->utf8, result.data(), static_cast<int32_t>(result.size()),
                             utf16.data(), static_cast<int32_t>(utf16.size()), &status);
  } else {
    int32_t substitutions = 0;
    u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, utf16.data(),
                       static_cast<int32_t>(utf16.size()), 0xFFFD, &substitutions, &status);
  }
  if (U_FAILURE(status)) return {};
  result.resize(static_cast<size_t>(length));
  return result;
}

bool windows1252ToUtf8(std::string_view ansi, std::string& utf8) {
  if (ansi.empty()) {
    utf8.clear();
    return true;
  }
  // Every windows-1252 byte becomes at most three UTF-8 bytes.
  std::string out(ansi.size() * 3 + 1, '\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n =
      ucnv_convert("utf-8", "windows-1252", out.data(), static_cast<int32_t>(out.size()),
                   ansi.data(), static_cast<int32_t>(ansi.size()), &status);
  if (U_FAILURE(status) || n < 0) return false;
  out.resize(static_cast<std::size_t>(n));
  utf8 = std::move(out);
  return true;
}

}  // namespace tg
