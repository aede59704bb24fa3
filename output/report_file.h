// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "output/output_file.h"

namespace tg {

/// A text file written front to back through a buffer, into a temporary file beside its final
/// path that `commit` renames over that path. Until the commit the file at the final path (an
/// older report or page) is left as it was; an object destroyed without a commit removes its
/// temporary file. Used for the text report and the web page, whose content can be far larger
/// than one would like to hold in memory. One thread at a time.
class ReportFile {
 public:
  ReportFile() = default;
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  /// Creates the temporary file for `path`. False when the folder does not exist or cannot be
  /// written.
  [[nodiscard]] bool create(const std::string& path);
  /// Appends `text`. Once a write has failed, every later call does nothing and `commit` fails.
  void write(std::string_view text);
  /// Flushes and closes the file and renames it to the final path. False (the temporary file
  /// removed, the final path untouched) when any write, the close or the rename failed.
  [[nodiscard]] bool commit();
  /// True while the file is open and no write has failed.
  [[nodiscard]] bool good() const { return m_file.isOpen() && !m_failed; }

 private:
  void flush();
  void discard();

  OutputFile m_file;
  std::string m_buffer;
  bool m_failed = false;
};

}  // namespace tg
