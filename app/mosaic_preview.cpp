// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mosaic_preview.h"

#include <filesystem>
#include <system_error>

#include "job/mosaic_job.h"

namespace tg {

std::string finishedMosaicFile(const MosaicJob& job, const std::string& mainImagePath) {
  const auto record = job.outputRecord(mainImagePath);
  if (!record || !record->saved) return {};
  // Split mosaics leave numbered pieces and other formats other extensions: only a whole JPEG
  // mosaic lies at the recorded base.
  std::string path = record->base + ".jpg";
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) ? path : std::string();
}

}  // namespace tg
