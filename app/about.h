// The copyright and licence both programs state: --version prints "<program> <version>",
// then kCopyright and kLicenceTerms on the next lines (help2man makes them the manual pages'
// COPYRIGHT section); Help › About Veltrix shows kCopyright, kLicenceSummary and kLicenceTerms.
#pragma once

namespace vx {

inline constexpr const char* kCopyright = "Copyright 2026 The Veltrix developers.";
inline constexpr const char* kLicenceTerms =
    "License GPL-3.0-or-later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it. There is NO WARRANTY, "
    "to the extent permitted by law.";
inline constexpr const char* kLicenceSummary =
    "Released under the GNU General Public License, version 3 or later.";

}  // namespace vx
