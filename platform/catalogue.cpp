// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/catalogue.h"

#include <libintl.h>

namespace tg {

std::string tr(const char* english) {
  if (english == nullptr || *english == '\0') return {};  // gettext("") returns the PO header
  return dgettext(kCatalogueDomain, english);
}

std::string tr(const std::string& english) { return tr(english.c_str()); }

std::string trn(const char* singular, const char* plural, unsigned long count) {
  return dngettext(kCatalogueDomain, singular, plural, count);
}

}  // namespace tg
