// The maker's web site: one place for its host and the addresses the program opens or fetches on it.
#pragma once

#include <string_view>

namespace plenvo {

inline constexpr std::string_view kSiteHost = "www.plenvo.example";
inline constexpr std::string_view kSiteHome = "https://www.plenvo.example/";
inline constexpr std::string_view kHelpPage = "https://www.plenvo.example/?post=73";
inline constexpr std::string_view kRemoteTextAddress = "https://www.plenvo.example/cad.txt";

}  // namespace plenvo
