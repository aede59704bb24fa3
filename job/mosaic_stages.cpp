// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/mosaic_stages.h"

#include <algorithm>
#include <cstdint>

#include "config/advanced_settings.h"
#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "job/mosaic_job.h"
#include "job/mosaic_settings.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

MosaicStages::~MosaicStages() = default;

bool MosaicStages::loadMainImage(MosaicJob& job, const std::string& path) {
  // A picture larger than the memory the user allows is refused from its header, before any of
  // it is allocated.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  const long megabytes = std::max(10L, job.settings.advanced.rowLong(AdvancedRow::MemoryMaxSizeMB));
  if (tg::readImageSize(path, width, height) &&
      std::uint64_t{width} * height * sizeof(Pixel) >
          static_cast<std::uint64_t>(megabytes) * 1000000u) {
    job.mainImage.release();
    showMessage(formatText(tr("Out Of Memory while allocating an Image made of %ldx%ld Pixels"),
                           static_cast<long>(width), static_cast<long>(height)) +
                    "!!",
                Buttons::Ok, Icon::Error);
    return false;
  }
  return loadImageFile(job.mainImage, path, 0, 0, true);
}

void MosaicStages::convertMainImageToGrey(MosaicJob& job) { (void)toGrey(job.mainImage); }

void MosaicStages::releaseMainImage(MosaicJob& job) { job.mainImage.release(); }

bool MosaicStages::readImageSize(const std::string& path, std::uint32_t& width,
                                 std::uint32_t& height) {
  return tg::readImageSize(path, width, height);
}

}  // namespace tg
