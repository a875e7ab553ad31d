// Fetching bytes over HTTP(S) with WinHTTP: a fresh session per call, certificate validation on, the
// system's proxy settings, bounded waits. Any failure gives no bytes.
#pragma once

#include "ui/tools/seams.h"

namespace plenvo {

inline constexpr unsigned kFetchConnectTimeoutMs = 5000;
inline constexpr unsigned kFetchTotalTimeoutMs = 15000;

class WinHttpFetcher : public Fetcher {
 public:
  std::string fetchBytes(std::string_view url, std::size_t maxBytes) override;
};

}  // namespace plenvo
