// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

#include "platform/catalogue.h"

namespace tg {

/// The catalogue's translation of the English text `english` as a QString. Every text a window
/// shows goes through this (or `toQString` of a text the models already translated), never
/// through Qt's own `QObject::tr`, so one catalogue serves the engine and the windows. The
/// catalogue extraction knows `qtr` as a keyword. Any thread once the catalogue is bound.
[[nodiscard]] inline QString qtr(const char* english) {
  return QString::fromStdString(tr(english));
}

/// The plural lookup of `trn` as a QString.
[[nodiscard]] inline QString qtrn(const char* singular, const char* plural, unsigned long count) {
  return QString::fromStdString(trn(singular, plural, count));
}

/// A UTF-8 text of the program (paths, texts the models built) as a QString.
[[nodiscard]] inline QString toQString(const std::string& text) {
  return QString::fromStdString(text);
}

/// A QString as the program's UTF-8 text.
[[nodiscard]] inline std::string toStdString(const QString& text) { return text.toStdString(); }

/// The application title that window captions and message boxes carry.
[[nodiscard]] inline QString applicationTitle() { return QStringLiteral("Tesselograph"); }

}  // namespace tg
