// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/report_file.h"

namespace tg {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}  // namespace

ReportFile::~ReportFile() { discard(); }

bool ReportFile::create(const std::string& path) {
  discard();
  m_failed = false;
  m_buffer.clear();
  m_buffer.reserve(kBufferSize);
  return m_file.create(path);
}

void ReportFile::write(std::string_view text) {
  if (!good()) return;
  if (m_buffer.size() + text.size() > kBufferSize) flush();
  if (text.size() >= kBufferSize) {
    if (!m_failed && !m_file.write(text.data(), text.size())) m_failed = true;
    return;
  }
  m_buffer.append(text);
}

void ReportFile::flush() {
  if (m_buffer.empty() || m_failed) return;
  if (!m_file.write(m_buffer.data(), m_buffer.size())) m_failed = true;
  m_buffer.clear();
}

bool ReportFile::commit() {
  if (!m_file.isOpen()) return false;
  flush();
  if (m_failed || !m_file.commit()) {
    discard();
    return false;
  }
  return true;
}

void ReportFile::discard() {
  m_file.discard();
  m_buffer.clear();
}

}  // namespace tg
