// WinHTTP GET: one session, connection and request per call, so nothing is reused or cached between fetches.
// (winhttp.h and wininet.h do not mix in one translation unit with MinGW; this file uses WinHTTP only.)
#include "ui/tools/win/winhttp_fetcher.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <vector>

#include "core/text_codec.h"
#include "win/unique_handle.h"

namespace plenvo {

namespace {

void closeInternet(HINTERNET handle) noexcept { ::WinHttpCloseHandle(handle); }
using unique_hinternet = win::unique_any<HINTERNET, &closeInternet>;

}  // namespace

std::string WinHttpFetcher::fetchBytes(std::string_view url, std::size_t maxBytes) {
  if (!isWebAddress(url)) return {};
  const ULONGLONG start = ::GetTickCount64();
  const auto remaining = [start]() -> int {
    const ULONGLONG spent = ::GetTickCount64() - start;
    return spent >= kFetchTotalTimeoutMs ? 0 : static_cast<int>(kFetchTotalTimeoutMs - spent);
  };

  std::wstring wideUrl = utf8ToWide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts)) return {};
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return {};
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (host.empty()) return {};
  if (path.empty()) path = L"/";

  unique_hinternet session(::WinHttpOpen(L"Plenvo/3.3", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                         WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return {};
  const int total = static_cast<int>(kFetchTotalTimeoutMs);
  ::WinHttpSetTimeouts(session.get(), static_cast<int>(kFetchConnectTimeoutMs),
                       static_cast<int>(kFetchConnectTimeoutMs), total, total);
  unique_hinternet connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) return {};
  DWORD flags = WINHTTP_FLAG_REFRESH;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= WINHTTP_FLAG_SECURE;
  unique_hinternet request(::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!request) return {};
  // Waiting for the response headers has a limit of its own (90 s by default), apart from the receive one.
  DWORD headersTimeout = static_cast<DWORD>(std::max(remaining(), 1));
  ::WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout, sizeof headersTimeout);
  if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    return {};
  }

  std::string body;
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    const int left = remaining();
    if (left == 0) return {};
    ::WinHttpSetTimeouts(request.get(), left, left, left, left);
    DWORD read = 0;
    if (!::WinHttpReadData(request.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read)) return {};
    if (read == 0) break;
    if (body.size() + read > maxBytes) return {};
    body.append(chunk.data(), read);
  }
  return body;
}

}  // namespace plenvo
