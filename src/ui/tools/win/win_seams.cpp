// The shell's "open", message boxes, and the start-up update check wired to them.
#include "ui/tools/win/win_seams.h"

#include <shellapi.h>

#include "core/text_codec.h"
#include "ui/site.h"
#include "ui/tools/remote_tool_list.h"
#include "ui/tools/win/winhttp_fetcher.h"

namespace plenvo {

void ShellOpener::openAddress(std::string_view url) {
  if (!isWebAddress(url)) return;
  ::ShellExecuteW(nullptr, L"open", utf8ToWide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void WinMessageBoxes::message(std::string_view text, std::string_view caption) {
  ::MessageBoxW(owner_, utf8ToWide(text).c_str(), utf8ToWide(caption).c_str(), MB_OK);
}

void runStartupUpdateCheck() {
  WinHttpFetcher fetcher;
  WinMessageBoxes boxes(nullptr);
  ShellOpener shell;
  checkForUpdate(fetcher, boxes, shell, kRemoteTextAddress);
}

}  // namespace plenvo
