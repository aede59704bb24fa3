// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/mosaic_stages.h"

#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "job/mosaic_job.h"

namespace tg {

MosaicStages::~MosaicStages() = default;

bool MosaicStages::loadMainImage(MosaicJob& job, const std::string& path) {
  return loadImageFile(job.mainImage, path, 0, 0, true);
}

void MosaicStages::convertMainImageToGrey(MosaicJob& job) { (void)toGrey(job.mainImage); }

void MosaicStages::releaseMainImage(MosaicJob& job) { job.mainImage.release(); }

bool MosaicStages::readImageSize(const std::string& path, std::uint32_t& width,
                                 std::uint32_t& height) {
  return tg::readImageSize(path, width, height);
}

}  // namespace tg
