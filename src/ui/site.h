// The maker's web site: its host and the remote text fetched from it. (The home and help page addresses
// are texts of the main window, built on the same host.)
#pragma once

#include <string_view>

namespace plenvo {

inline constexpr std::string_view kSiteHost = "www.plenvo.example";
inline constexpr std::string_view kRemoteTextAddress = "https://www.plenvo.example/cad.txt";

}  // namespace plenvo
