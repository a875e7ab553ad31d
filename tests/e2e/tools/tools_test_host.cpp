// A stand-in main window for the tools window's end-to-end tests: it loads the settings beside its exe,
// names the CAD connection in its title, lists the sheet sizes in a combo box and opens the tools window,
// whose closing runs the same refresh (loadSettings, connectToCad, size list).
//   tools_test_host.exe                 opens the tools window at once
//   tools_test_host.exe --update-check  runs the start-up update check, then ends
// Message kOpenTools (from the driver) opens the tools window again, as the main window's button does.
#include <windows.h>

#include <string>

#include "cad/cad_connection.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/tables.h"
#include "core/text_codec.h"
#include "ui/tools/win/tools_window.h"
#include "ui/tools/win/win_seams.h"

namespace {

using namespace plenvo;

constexpr UINT kOpenTools = WM_APP + 1;
constexpr int kSizeListId = 1;

class NoRunningCad : public RunningObjectLookup {
 public:
  std::unique_ptr<CadApplication> find(const std::string&) override { return nullptr; }
};

class NoBoxes : public OptionCheckBoxes {
 public:
  void tickExplode() override {}
  void tickFrames() override {}
};

std::string programDirectory() {
  std::wstring path(MAX_PATH * 4, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  path.resize(path.find_last_of(L'\\'));
  return wideToUtf8(path);
}

class HostWindow : public ToolsWindowHost {
 public:
  HostWindow() : file_(programDirectory() + "\\" + std::string(kSettingsFileName)) {}

  std::string settingsFilePath() override { return file_.path(); }
  void toolsWindowClosed() override { refresh(); }

  void refresh() {
    NoBoxes boxes;
    loadSettings(file_, loaded_, boxes);
    NoRunningCad lookup;
    CadSession session;
    const ConnectionResult result = connectToCad(loaded_.versionTableText, lookup, session);
    ::SetWindowTextW(hwnd, utf8ToWide(result.title).c_str());
    HWND list = ::GetDlgItem(hwnd, kSizeListId);
    ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const SizeEntry& entry : readSizeTable(loaded_.sizeTableText)) {
      ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf8ToWide(entry.itemText()).c_str()));
    }
    ::SendMessageW(list, CB_SETCURSEL, 0, 0);
  }

  HWND hwnd = nullptr;

 private:
  SettingsFile file_;
  LoadedSettings loaded_;
};

HostWindow* g_host = nullptr;

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kOpenTools:
      plenvo::openToolsWindow(hwnd, *g_host);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  if (std::wstring(commandLine).find(L"--update-check") != std::wstring::npos) {
    runStartupUpdateCheck();
    return 0;
  }
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = hostProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"PlenvoToolsTestHost";
  ::RegisterClassExW(&wc);
  HostWindow host;
  g_host = &host;
  host.hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 660, 50, 340, 200, nullptr, nullptr,
                                instance, nullptr);
  ::CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL, 10, 10, 300, 300,
                    host.hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSizeListId)), instance, nullptr);
  host.refresh();
  ::ShowWindow(host.hwnd, SW_SHOWNORMAL);
  ::PostMessageW(host.hwnd, kOpenTools, 0, 0);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}
