// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel/worker_settings.h"

#include <unistd.h>

#include "config/advanced_settings.h"
#include "platform/text_format.h"

namespace tg {

std::uint32_t workerThreadCount(std::string& threadCountRow, unsigned processors) {
  const long value = advancedTextToLong(threadCountRow);
  if (value >= 1 && value <= 5000) return static_cast<std::uint32_t>(value);
  const unsigned count = (processors == 0 || processors > 5000) ? 1u : processors;
  if (value == -1) threadCountRow = formatText("%d", static_cast<int>(count));
  return count;
}

std::uint32_t workerThreadCount(std::string& threadCountRow) {
  return workerThreadCount(threadCountRow, systemProcessorCount());
}

int workerPriority(const std::string& priorityRow, int defaultPriority) {
  std::string word;
  for (const char c : priorityRow) {
    if (c == ' ' || c == '_') continue;
    word += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  if (word == "IDLE") return kPriorityIdle;
  if (word == "LOWEST") return kPriorityLowest;
  if (word == "BELOWNORMAL") return kPriorityBelowNormal;
  if (word == "NORMAL") return kPriorityNormal;
  if (word == "ABOVENORMAL") return kPriorityAboveNormal;
  if (word == "HIGHEST") return kPriorityHighest;
  return defaultPriority;
}

std::uint32_t workerThreadCount(AdvancedSettings& advanced) {
  std::string row = advanced.rowValue(AdvancedRow::ThreadCount);
  const std::uint32_t count = workerThreadCount(row);
  if (row != advanced.rowValue(AdvancedRow::ThreadCount)) {
    advanced.setRowValue(AdvancedRow::ThreadCount, row);
  }
  return count;
}

int workerPriority(const AdvancedSettings& advanced) {
  return workerPriority(advanced.rowValue(AdvancedRow::Priority));
}

unsigned systemProcessorCount() {
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 0u;
}

}  // namespace tg
