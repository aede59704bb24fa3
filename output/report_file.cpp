// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/report_file.h"

#include <unistd.h>

#include <cstdio>

namespace tg {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}  // namespace

ReportFile::~ReportFile() { discard(); }

bool ReportFile::create(const std::string& path) {
  discard();
  m_path = path;
  // The process id keeps two programs writing the same report from sharing a temporary file.
  m_temporary = path + ".part" + std::to_string(::getpid());
  m_failed = false;
  m_buffer.clear();
  m_buffer.reserve(kBufferSize);
  if (!m_file.create(m_temporary)) {
    m_temporary.clear();
    return false;
  }
  return true;
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
  const bool closed = m_file.close();
  if (m_failed || !closed || std::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
    discard();
    return false;
  }
  m_temporary.clear();
  return true;
}

void ReportFile::discard() {
  if (m_file.isOpen()) (void)m_file.close();
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
  m_temporary.clear();
  m_buffer.clear();
}

}  // namespace tg
