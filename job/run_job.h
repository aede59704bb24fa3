// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <set>
#include <string>

namespace tg {

class MosaicJob;
class MosaicStages;

/// Runs one mosaic job on the calling thread (the job thread): every main image of
/// `job.mainImages` (in MaskFile folder mode every pair of main image and mask file) is loaded,
/// laid out, analysed, placed, split and placed again when asked, rendered and saved together
/// with its mask and score images, report, settings file and web page, through `stages` in a
/// fixed order. Publishes status, progress and the completed count through the job; ends with
/// "Completed %ld Mosaic(s)!", "Ok" or, after a stop request, a failed stage or a cancelled mask
/// dialog, "Stopped!". Whatever the ending, the cells are freed, the main image is released and
/// the job timer stops. The caller has cleared the stop flag, the remembered mask file and the
/// output records, and filled `job.mainImages`.
void runJob(MosaicJob& job, MosaicStages& stages);

/// The mask files of a folder: every file of `folder` (not a directory, not a dot entry) whose
/// extension is JPG, JPEG, JPE or PNG (any case) and whose stored size `stages.readImageSize` can
/// read with both sides from 1 to 30000, ordered by path.
[[nodiscard]] std::set<std::string> maskFilesInFolder(const std::string& folder,
                                                      MosaicStages& stages);

/// The mask file that lies beside `mainImagePath`: the first existing one of
/// "<path without extension> Mask.jpg", "...Mask.jpg", "... Mask.png", "...Mask.png"; empty when
/// there is none or the file name has no extension.
[[nodiscard]] std::string maskFileBeside(const std::string& mainImagePath);

}  // namespace tg
