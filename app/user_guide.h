// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

/// The user guide for `locale` in `programFolder`: "TesselographManual", then "-fr" when the
/// locale is exactly "fr" or "-de" when it is exactly "de", then ".pdf".
[[nodiscard]] std::string userGuidePath(const std::string& programFolder,
                                        const std::string& locale);

/// The guide to open for `locale` in `folder`: `userGuidePath`, or the English guide when the
/// language has no guide of its own installed but the English one is (a German user then reads
/// English rather than nothing).
[[nodiscard]] std::string installedUserGuide(const std::string& folder, const std::string& locale);

/// Opens the user guide of the stored `Locale` with the desktop. When it cannot be opened the
/// user is told "Unable to open the User Guide '%s'. Please install the Acrobat PDF Reader or a
/// compatible PDF Reader!" with the path, and the result is false. Window thread.
bool openUserGuide();

/// `openUserGuide` for the guide of `locale` (`installedUserGuide`) in the program's data folder.
bool openUserGuideFor(const std::string& locale);

/// `openUserGuideFor` with the guides in `folder`.
bool openUserGuideIn(const std::string& folder, const std::string& locale);

}  // namespace tg
