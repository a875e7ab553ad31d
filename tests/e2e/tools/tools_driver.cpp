// Drives the tools window from outside, as a user would, and checks windows and the settings file.
//   tools_driver.exe settings <host.exe> <shot-dir>   grids, row buttons, saving, the closing refresh
//   tools_driver.exe options <host.exe>               option check boxes, close box, reopening
//   tools_driver.exe remote <host.exe> <url-log> <shot-dir>  the list from the served text, pictures, links
//   tools_driver.exe offline <host.exe>               no remote text: "[未连接网络]", nothing enabled
//   tools_driver.exe limit <host.exe> <site-folder>   a remote text of exactly 1 MiB, and one byte more
//   tools_driver.exe stall <host.exe> <site-folder>   a picture that never arrives: the 15 s limit
//   tools_driver.exe update <host.exe> <url-log> <expect: notice|none> [page]  the start-up check
//   tools_driver.exe trust <cert.der>                 trusts a certificate in LOCAL_MACHINE ROOT
//   tools_driver.exe proxy <host:port>                sets the WinHTTP default proxy of this prefix
//   tools_driver.exe record <url>                     the test's browser: appends the address to a log
// Exit code 0 when every check held; each failed check is printed.
#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings_file.h"
#include "core/tables.h"
#include "common/win_driver.h"
#include "core/text_codec.h"
#include "ui/tools/win/grid_control.h"
#include "ui/tools/win/picture_box.h"
#include "ui/tools/win/winhttp_fetcher.h"

namespace {

using namespace plenvo;
using namespace plenvo::e2e;

// The tools window once it is shown (it exists, hidden, while its creation handler fetches).
HWND toolsWindow() {
  HWND hwnd = ::FindWindowW(L"PlenvoToolsWindow", nullptr);
  return hwnd != nullptr && ::IsWindowVisible(hwnd) ? hwnd : nullptr;
}
// Which program opens the tools window: the product's main window (Plenvo.exe) or the stand-in host.
bool g_mainExe = false;

HWND hostWindow() {
  HWND hwnd = ::FindWindowW(g_mainExe ? L"PlenvoMainWindow" : L"PlenvoToolsTestHost", nullptr);
  return hwnd != nullptr && ::IsWindowVisible(hwnd) ? hwnd : nullptr;
}

// What 按钮_广告 does: opens the tools window (or brings it to the front).
void clickToolsButton() {
  HWND host = hostWindow();
  if (g_mainExe) {
    ::PostMessageW(findDescendant(host, L"Button", L"CAD工具及设置"), BM_CLICK, 0, 0);
  } else {
    ::PostMessageW(host, WM_APP + 1, 0, 0);
  }
}

// The first message box (#32770) of the process, whoever owns it.
HWND messageBoxOf(DWORD pid) { return topWindowOf(pid, L"#32770"); }

struct Box {
  std::string caption, text;
  HWND owner = nullptr;
};

// Waits for a message box, reads it and presses OK.
Box dismissBox(DWORD pid) {
  HWND box = waitFor([pid] { return messageBoxOf(pid); });
  if (box == nullptr) return {"<no box>", "<no box>", nullptr};
  Box result{text(box), text(::GetDlgItem(box, 0xFFFF)), ::GetWindow(box, GW_OWNER)};
  ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  waitFor([box] { return ::IsWindow(box) ? nullptr : reinterpret_cast<HWND>(1); });
  return result;
}

void noBoxWithin(DWORD pid, int ms, const std::string& what) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (messageBoxOf(pid) != nullptr) {
      check(false, what + ": " + dismissBox(pid).text);
      return;
    }
    ::Sleep(50);
  }
  check(true, what);
}

PROCESS_INFORMATION launch(const std::wstring& exe, const std::wstring& args) {
  std::wstring commandLine = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    check(false, "start " + wideToUtf8(exe));
  }
  return pi;
}

void endProcess(PROCESS_INFORMATION& pi) {
  if (pi.hProcess == nullptr) return;
  if (::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
    if (HWND host = hostWindow()) ::PostMessageW(host, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(pi.hProcess, 5000) == WAIT_TIMEOUT) ::TerminateProcess(pi.hProcess, 1);
  }
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(pi.hThread);
  pi = {};
}

std::wstring directoryOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

SettingsFile settingsBeside(const std::wstring& exe) {
  return SettingsFile(wideToUtf8(directoryOf(exe)) + "\\" + std::string(kSettingsFileName));
}


// Control ids of the tools window, in creation order (see tools_window.cpp).
enum : int {
  选择夹1 = 100, 标签1, 标签2, 超级列表框1, 分组框1, 图片框_广告,
  标签6, 编辑框_路径, 按钮_路径, 高级表格_版本, 高级表格_尺寸,
  分组框2, 选择框_长度, 标签4, 分组框3, 选择框_文件夹, 标签5, 分组框4, 选择框_路径, 标签7,
  按钮_增加, 按钮_删除, 按钮_保存, 标签3,
};

// A control of the tools window: the page controls are children of its tab control.
HWND item(HWND window, int id) {
  if (HWND direct = ::GetDlgItem(window, id)) return direct;
  return ::GetDlgItem(::GetDlgItem(window, 选择夹1), id);
}

void showTab(HWND tools, int tab) {
  ::SendMessageW(item(tools, 选择夹1), TCM_SETCURFOCUS, static_cast<WPARAM>(tab), 0);
  ::Sleep(300);  // let it paint
}

void clickGrid(HWND grid) {
  ::SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  ::SendMessageW(grid, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

int gridRows(HWND grid) { return static_cast<int>(::SendMessageW(grid, kGridGetRowCount, 0, 0)); }

// Types into a cell through the grid's own in-place editor.
void typeIntoCell(HWND grid, int row, int column, const std::string& value) {
  ::SendMessageW(grid, kGridSetCurrent, static_cast<WPARAM>(row), column);
  ::SendMessageW(grid, WM_KEYDOWN, VK_F2, 0);
  HWND edit = ::FindWindowExW(grid, nullptr, L"EDIT", nullptr);
  check(edit != nullptr, "in-place editor opens on F2");
  if (edit == nullptr) return;
  ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(utf8ToWide(value).c_str()));
  ::SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
  checkEqual(text(grid), value, "cell text after editing");
}

bool ticked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// Saves the screen area of a window as a 24-bit BMP.
void screenshot(HWND window, const std::wstring& path) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  ::Sleep(300);
  RECT r;
  ::GetWindowRect(window, &r);
  saveScreenArea(r.left, r.top, r.right - r.left, r.bottom - r.top, path);
}

HWND openHostAndTools(const std::wstring& exe, PROCESS_INFORMATION& pi) {
  pi = launch(exe, L"");
  if (g_mainExe) {
    check(waitFor(hostWindow) != nullptr, "the main window starts");
    clickToolsButton();
  }
  HWND tools = waitFor(toolsWindow);
  check(tools != nullptr, "the tools window opens");
  ::Sleep(200);
  return tools;
}

int runSettings(const std::wstring& exe, const std::wstring& shots) {
  SettingsFile file = settingsBeside(exe);
  ::SetFileAttributesW(utf8ToWide(file.path()).c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(utf8ToWide(file.path()).c_str());
  PROCESS_INFORMATION pi;
  HWND tools = openHostAndTools(exe, pi);
  if (tools == nullptr) return 1;
  checkEqual(text(tools).substr(0, std::string("CAD工具集[动态更新]").size()), std::string("CAD工具集[动态更新]"),
             "caption");
  RECT r;
  ::GetWindowRect(tools, &r);
  check(r.left == 50 && r.top == 50 && r.right - r.left == 590 && r.bottom - r.top == 430, "placed at 50,50, 590x430");
  check(::GetWindow(tools, GW_OWNER) == hostWindow(), "owned by the main window");
  showTab(tools, 1);
  screenshot(tools, shots + L"\\tools-settings-tab.bmp");
  if (g_mainExe) {
    // Tab moves on from the path box to the browse button, and on to the version grid.
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    auto focusIs = [&](HWND want) {
      return waitFor([&]() -> HWND {
        ::GetGUIThreadInfo(pi.dwThreadId, &info);
        return info.hwndFocus == want ? want : nullptr;
      }, 3000) != nullptr;
    };
    HWND path = item(tools, 编辑框_路径);
    ::PostMessageW(path, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageW(path, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    check(focusIs(path), "a click puts the focus in the path box");
    ::PostMessageW(path, WM_KEYDOWN, VK_TAB, 0);
    check(focusIs(item(tools, 按钮_路径)), "Tab: the browse button");
    ::PostMessageW(item(tools, 按钮_路径), WM_KEYDOWN, VK_TAB, 0);
    check(focusIs(item(tools, 高级表格_版本)), "Tab again: the version grid");
  }

  HWND versions = item(tools, 高级表格_版本), sizes = item(tools, 高级表格_尺寸);
  checkEqual(gridRows(versions), 26, "version grid rows with header");
  checkEqual(gridRows(sizes), 12, "size grid rows with header");
  checkEqual(text(item(tools, 编辑框_路径)), std::string("D:\\"), "path box");
  check(!ticked(item(tools, 选择框_长度)) && !ticked(item(tools, 选择框_文件夹)) && !ticked(item(tools, 选择框_路径)),
        "option boxes unticked");

  ::PostMessageW(item(tools, 按钮_增加), BM_CLICK, 0, 0);
  Box box = dismissBox(pi.dwProcessId);
  checkEqual(box.text, std::string("请先单击选择一个表格"), "add without a grid");
  checkEqual(box.caption, std::string("错误"), "its caption");
  check(box.owner == tools, "owned by the tools window");
  ::PostMessageW(item(tools, 按钮_删除), BM_CLICK, 0, 0);
  box = dismissBox(pi.dwProcessId);
  checkEqual(box.caption, std::string("提示信息"), "delete without a grid: caption");

  clickGrid(versions);
  const auto colours = static_cast<std::uint64_t>(::SendMessageW(versions, kGridGetColours, 0, 0));
  const auto otherColours = static_cast<std::uint64_t>(::SendMessageW(sizes, kGridGetColours, 0, 0));
  check(colours == (0xC0C0C0ull << 32 | 0x000000), "chosen grid: black lines, silver cells");
  check(otherColours == (0xFFFFFFull << 32 | 0xC0C0C0), "other grid: silver lines, white cells");
  ::SendMessageW(item(tools, 按钮_增加), BM_CLICK, 0, 0);
  checkEqual(gridRows(versions), 27, "a version row added");
  typeIntoCell(versions, 26, 1, "26");
  typeIntoCell(versions, 26, 2, "2027");
  ::SendMessageW(versions, kGridSetCurrent, 25, 1);
  ::PostMessageW(item(tools, 按钮_删除), BM_CLICK, 0, 0);
  box = dismissBox(pi.dwProcessId);
  checkEqual(box.text, std::string("-----不可删除已支持的CAD版本号-----"), "protected version row");
  checkEqual(gridRows(versions), 27, "nothing deleted");
  ::SendMessageW(item(tools, 按钮_增加), BM_CLICK, 0, 0);
  typeIntoCell(versions, 27, 1, "99");
  ::SendMessageW(versions, kGridSetCurrent, 27, 1);
  ::SendMessageW(item(tools, 按钮_删除), BM_CLICK, 0, 0);
  checkEqual(gridRows(versions), 27, "the added row deleted");

  clickGrid(sizes);
  ::SendMessageW(item(tools, 按钮_增加), BM_CLICK, 0, 0);
  // Typing on a current cell starts its editor with the typed character.
  ::SendMessageW(sizes, kGridSetCurrent, 12, 1);
  ::SendMessageW(sizes, WM_CHAR, L'B', 0);
  if (HWND edit = ::FindWindowExW(sizes, nullptr, L"EDIT", nullptr)) {
    ::SendMessageW(edit, WM_CHAR, L'1', 0);
    ::SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
  }
  checkEqual(text(sizes), std::string("B1"), "typed into a cell");
  typeIntoCell(sizes, 12, 2, "横向");
  typeIntoCell(sizes, 12, 3, "1000*707");
  ::SendMessageW(sizes, kGridSetCurrent, 11, 1);
  ::PostMessageW(item(tools, 按钮_删除), BM_CLICK, 0, 0);
  box = dismissBox(pi.dwProcessId);
  checkEqual(box.text, std::string("-----不可删除已有的图纸尺寸-----"), "protected size row");
  ::SendMessageW(item(tools, 编辑框_路径), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"E:\\新 图纸"));
  screenshot(tools, shots + L"\\tools-settings-edited.bmp");

  ::PostMessageW(item(tools, 按钮_保存), BM_CLICK, 0, 0);
  box = dismissBox(pi.dwProcessId);
  checkEqual(box.caption, std::string("保存提示"), "save caption");
  const std::string prefix = "-----数据已保存  点击确定后，关闭设置-----\r\n" + std::string(14, ' ');
  check(box.text.rfind(prefix, 0) == 0 && box.text.find("年") != std::string::npos &&
            box.text.find("日") != std::string::npos,
        "save message: " + box.text);
  check(waitFor([] { return toolsWindow() ? nullptr : reinterpret_cast<HWND>(1); }) != nullptr,
        "saving closes the tools window");
  ::Sleep(300);
  checkEqual(file.read(kKeyVersions), std::string(kDefaultVersionTable) + "26-2027/", "saved 版本");
  checkEqual(file.read(kKeySizes), std::string(kDefaultSizeTable) + "B1-横向-1000*707/", "saved 尺寸");
  checkEqual(file.read(kKeyPath), std::string("E:\\新 图纸"), "saved 路径");
  checkEqual(file.read(kKeyRunCount), std::string("3"), "the closing loaded the settings again");
  HWND host = hostWindow();
  HWND sizeList = findDescendant(host, L"ComboBox");
  checkEqual(static_cast<int>(::SendMessageW(sizeList, CB_GETCOUNT, 0, 0)), 12, "main window's size list refreshed");
  wchar_t last[256] = {};
  ::SendMessageW(sizeList, CB_GETLBTEXT, 11, reinterpret_cast<LPARAM>(last));
  checkEqual(wideToUtf8(last), std::string("B1横向1000*707mm"), "the new size item");
  check(text(host).find("未连接到CAD") != std::string::npos, "title set by the connection: " + text(host));
  endProcess(pi);
  return g_failures == 0 ? 0 : 1;
}

int runOptions(const std::wstring& exe) {
  SettingsFile file = settingsBeside(exe);
  PROCESS_INFORMATION pi;
  HWND tools = openHostAndTools(exe, pi);
  if (tools == nullptr) return 1;
  showTab(tools, 1);
  const std::string versionsBefore = file.read(kKeyVersions);
  struct Step {
    int box;
    std::string_view key;
    std::string value;
  } steps[] = {{选择框_长度, kKeyActualSize, "1"}, {选择框_文件夹, kKeyFolderMode, "1"}, {选择框_路径, kKeyLockPath, "1"},
               {选择框_路径, kKeyLockPath, "0"}, {选择框_文件夹, kKeyFolderMode, "0"}, {选择框_路径, kKeyLockPath, "1"}};
  for (const Step& s : steps) {
    ::SendMessageW(item(tools, s.box), BM_CLICK, 0, 0);
    checkEqual(file.read(s.key), s.value, "written at once: " + std::string(s.key));
    if (s.box == 选择框_路径) {
      check(::IsWindowEnabled(item(tools, 按钮_路径)) == (s.value == "0"), "浏览 follows 锁定");
    }
  }
  const std::string runsBefore = file.read(kKeyRunCount);
  typeIntoCell(item(tools, 高级表格_版本), 1, 2, "1999");
  ::SendMessageW(tools, WM_CLOSE, 0, 0);
  check(toolsWindow() == nullptr, "the close box closes the window");
  checkEqual(file.read(kKeyVersions), versionsBefore, "grid edits dropped on close");
  checkEqual(file.read(kKeyActualSize), std::string("1"), "option kept on close");
  checkEqual(file.read(kKeyRunCount), std::to_string(std::stoi(runsBefore) + 1), "closing reloads the settings");

  clickToolsButton();
  tools = waitFor(toolsWindow);
  check(tools != nullptr, "reopened");
  if (tools != nullptr) {
    clickToolsButton();
    ::Sleep(500);
    check(::FindWindowExW(nullptr, tools, L"PlenvoToolsWindow", nullptr) == nullptr, "a second click opens no second window");
    check(ticked(item(tools, 选择框_长度)) && !ticked(item(tools, 选择框_文件夹)) && ticked(item(tools, 选择框_路径)),
          "boxes follow the file");
    check(!::IsWindowEnabled(item(tools, 按钮_路径)), "浏览 disabled while locked");
    ::SendMessageW(item(tools, 选择框_路径), BM_CLICK, 0, 0);
    ::SendMessageW(item(tools, 选择框_长度), BM_CLICK, 0, 0);
  }
  endProcess(pi);
  return g_failures == 0 ? 0 : 1;
}

// ---- the remote tool list

std::wstring envPath(const wchar_t* name) {
  wchar_t buffer[1024] = {};
  ::GetEnvironmentVariableW(name, buffer, 1024);
  return buffer;
}

// The addresses the test's browser was asked to open, one a line.
std::vector<std::string> openedAddresses(const std::wstring& log) {
  std::vector<std::string> lines;
  std::ifstream in{std::filesystem::path(log)};
  for (std::string line; std::getline(in, line);) {
    if (line.find("/?post=73") == std::string::npos) lines.push_back(line);  // the main window's help page
  }
  return lines;
}

// Waits until the log has `count` lines (or the time is up) and returns them.
std::vector<std::string> waitForAddresses(const std::wstring& log, std::size_t count, int timeoutMs = 10000) {
  for (int waited = 0; waited < timeoutMs; waited += 100) {
    if (openedAddresses(log).size() >= count) break;
    ::Sleep(100);
  }
  return openedAddresses(log);
}

// The newest address once the log has `count` lines; empty when it never got there.
std::string newestAddress(const std::wstring& log, std::size_t count) {
  const std::vector<std::string> lines = waitForAddresses(log, count);
  return lines.size() >= count && !lines.empty() ? lines.back() : std::string();
}

// Writes the remote text, GBK-encoded as the maker's site serves it.
void serveText(const std::wstring& siteFolder, const std::string& utf8) {
  std::ofstream out(std::filesystem::path(siteFolder + L"\\cad.txt"), std::ios::binary | std::ios::trunc);
  const std::string gbk = utf8ToGbk(utf8);
  out.write(gbk.data(), static_cast<std::streamsize>(gbk.size()));
}

// A real left click on a list row: selection by the list itself, then its NM_CLICK.
void clickListRow(HWND list, int row) {
  RemoteBuffer buffer(list, sizeof(RECT));
  RECT rect{LVIR_LABEL, 0, 0, 0};
  buffer.write(0, &rect, sizeof rect);
  ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.at(0)));
  buffer.read(0, &rect, sizeof rect);
  const LPARAM point = MAKELPARAM(rect.left + 10, (rect.top + rect.bottom) / 2);
  ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
  ::PostMessageW(list, WM_LBUTTONUP, 0, point);
  ::Sleep(800);  // the click fetches the picture
}

// "WxH" of the picture shown, "0x0" for none.
std::string pictureSize(HWND tools) {
  const auto size = static_cast<DWORD>(::SendMessageW(item(tools, 图片框_广告), kPictureGetSize, 0, 0));
  return std::to_string(LOWORD(size)) + "x" + std::to_string(HIWORD(size));
}

void pressPicture(HWND tools) {
  ::PostMessageW(item(tools, 图片框_广告), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  ::PostMessageW(item(tools, 图片框_广告), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
}

int runRemote(const std::wstring& exe, const std::wstring& site, const std::wstring& log, const std::wstring& shots) {
  serveText(site,
            "v3.3#www.plenvo.example/download#"
            "@浩辰CAD#https://www.plenvo.example/gstar#https://www.plenvo.example/a.png"
            "@中望CAD#HTTPS://www.plenvo.example/zwcad#https://www.plenvo.example/b.jpg"
            "@记事本#C:\\windows\\notepad.exe#https://www.plenvo.example/c.gif"
            "@文件#file:///C:/windows/win.ini#file:///C:/windows/c.gif@");
  PROCESS_INFORMATION pi;
  HWND tools = openHostAndTools(exe, pi);
  if (tools == nullptr) return 1;
  checkEqual(text(tools), std::string("CAD工具集[动态更新]"), "caption with the site reached");
  HWND list = item(tools, 超级列表框1);
  check(::IsWindowEnabled(list) && ::IsWindowEnabled(item(tools, 图片框_广告)), "list and picture enabled");
  checkEqual(static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), 4, "one row per record");
  checkEqual(listCell(list, 0, 0) + " " + listCell(list, 0, 1), std::string("1 浩辰CAD"), "row 1");
  checkEqual(listCell(list, 1, 0) + " " + listCell(list, 1, 1), std::string("2 中望CAD"), "row 2");
  checkEqual(listCell(list, 3, 1), std::string("文件"), "row 4");
  checkEqual(pictureSize(tools), std::string("120x80"), "first record's PNG shown before any click");
  screenshot(tools, shots + L"\\tools-list-tab.bmp");

  pressPicture(tools);
  checkEqual(newestAddress(log, 1), std::string("https://www.plenvo.example/gstar"),
             "nothing selected: the first record's link");
  clickListRow(list, 1);
  checkEqual(pictureSize(tools), std::string("200x150"), "second record's JPEG");
  pressPicture(tools);
  checkEqual(newestAddress(log, 2), std::string("HTTPS://www.plenvo.example/zwcad"), "its link");
  clickListRow(list, 2);
  checkEqual(pictureSize(tools), std::string("64x48"), "third record's GIF");
  pressPicture(tools);
  clickListRow(list, 3);
  checkEqual(pictureSize(tools), std::string("0x0"), "a file:// picture is not fetched");
  pressPicture(tools);
  ::Sleep(2000);
  checkEqual(openedAddresses(log).size(), std::size_t{2}, "a program path and a file:// link are not opened");
  ::SendMessageW(tools, WM_CLOSE, 0, 0);

  // A second opening fetches the text again.
  serveText(site, "v3.3#p#@新工具#https://www.plenvo.example/new#https://www.plenvo.example/d.bmp@");
  clickToolsButton();
  tools = waitFor(toolsWindow);
  check(tools != nullptr, "reopened");
  if (tools != nullptr) {
    list = item(tools, 超级列表框1);
    checkEqual(static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), 1, "the new text's rows");
    checkEqual(listCell(list, 0, 1), std::string("新工具"), "the new name");
    checkEqual(pictureSize(tools), std::string("32x24"), "its BMP");
    pressPicture(tools);
    checkEqual(newestAddress(log, 3), std::string("https://www.plenvo.example/new"), "its link");
  }
  endProcess(pi);
  return g_failures == 0 ? 0 : 1;
}

int runOffline(const std::wstring& exe) {
  PROCESS_INFORMATION pi;
  HWND tools = openHostAndTools(exe, pi);
  if (tools == nullptr) return 1;
  checkEqual(text(tools), std::string("CAD工具集[动态更新][未连接网络]"), "caption without the site");
  check(!::IsWindowEnabled(item(tools, 超级列表框1)), "list disabled");
  check(!::IsWindowEnabled(item(tools, 图片框_广告)), "picture disabled");
  checkEqual(static_cast<int>(::SendMessageW(item(tools, 超级列表框1), LVM_GETITEMCOUNT, 0, 0)), 0, "no rows");
  noBoxWithin(pi.dwProcessId, 500, "no message box");
  showTab(tools, 1);
  check(gridRows(item(tools, 高级表格_版本)) > 1, "the settings tab still works");
  endProcess(pi);
  return g_failures == 0 ? 0 : 1;
}

// The remote text at its size limit is read; one byte more is a failed fetch.
int runLimit(const std::wstring& exe, const std::wstring& site) {
  const std::string record = "v3.3#p#@大文本#https://www.plenvo.example/big#https://www.plenvo.example/a.png#";
  const std::size_t limit = 1u << 20;
  for (const std::size_t size : {limit, limit + 1}) {
    std::string utf8 = record;  // GBK: one byte per ASCII padding character, so the size is exact
    const std::size_t gbkRecord = utf8ToGbk(record).size();
    utf8.append(size - gbkRecord, 'x');
    serveText(site, utf8);
    PROCESS_INFORMATION pi;
    HWND tools = openHostAndTools(exe, pi);
    if (tools == nullptr) return 1;
    const bool within = size == limit;
    checkEqual(text(tools), std::string(within ? "CAD工具集[动态更新]" : "CAD工具集[动态更新][未连接网络]"),
               "caption for a text of " + std::to_string(size) + " bytes");
    checkEqual(static_cast<int>(::SendMessageW(item(tools, 超级列表框1), LVM_GETITEMCOUNT, 0, 0)), within ? 1 : 0,
               "rows");
    ::SendMessageW(tools, WM_CLOSE, 0, 0);
    endProcess(pi);
  }
  return g_failures == 0 ? 0 : 1;
}

// A picture whose server never answers: the window comes up once the fetch gives up, with no picture.
int runStall(const std::wstring& exe, const std::wstring& site) {
  serveText(site, "v3.3#p#@慢#https://www.plenvo.example/slow#https://www.plenvo.example/stall");
  PROCESS_INFORMATION pi = launch(exe, L"");
  ULONGLONG start = ::GetTickCount64();
  if (g_mainExe) {
    check(waitFor(hostWindow) != nullptr, "the main window starts");
    start = ::GetTickCount64();
    clickToolsButton();
  }
  HWND tools = waitFor(toolsWindow, 60000);
  const double seconds = static_cast<double>(::GetTickCount64() - start) / 1000.0;
  std::printf("measured: the tools window came up after %.1f s\n", seconds);
  check(tools != nullptr, "the window opens despite the stalled picture");
  check(seconds >= 14.0 && seconds < 20.0, "the fetch gave up after its 15 s limit");
  if (tools != nullptr) {
    checkEqual(pictureSize(tools), std::string("0x0"), "no picture");
    check(::IsWindowEnabled(item(tools, 超级列表框1)) != FALSE, "the list is usable");
  }
  endProcess(pi);
  return g_failures == 0 ? 0 : 1;
}

// The start-up check as the main window runs it.
int runUpdate(const std::wstring& exe, const std::wstring& site, const std::wstring& log, const std::wstring& text,
              bool expectNotice, const std::string& expectOpened) {
  if (site != L"-" && text != L"-") serveText(site, wideToUtf8(text));
  const std::size_t before = openedAddresses(log).size();
  PROCESS_INFORMATION pi = launch(exe, g_mainExe ? L"" : L"--update-check");
  if (expectNotice) {
    Box box = dismissBox(pi.dwProcessId);
    checkEqual(box.text, std::string("软件已更新修复，请到下载页面下载最新版本"), "update notice");
    checkEqual(box.caption, std::string("更新提示!"), "its caption");
    check(box.owner == nullptr, "without an owner window");
  } else {
    noBoxWithin(pi.dwProcessId, 3000, "no update notice");
  }
  if (g_mainExe) {
    check(waitFor(hostWindow) != nullptr, "the start-up goes on to the main window");
  } else {
    check(::WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0, "the check ends");
  }
  endProcess(pi);
  std::vector<std::string> opened = waitForAddresses(log, before + (expectOpened.empty() ? 0 : 1), 5000);
  if (expectOpened.empty()) {
    ::Sleep(1000);
    checkEqual(openedAddresses(log).size(), before, "nothing opened");
  } else {
    checkEqual(opened.size() > before ? opened.back() : std::string(), expectOpened, "download page opened");
  }
  return g_failures == 0 ? 0 : 1;
}

// ---- prefix set-up and the test's browser

int trustCertificate(const std::wstring& derPath) {
  std::ifstream in{std::filesystem::path(derPath), std::ios::binary};
  const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (store == nullptr) return 1;
  const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                        reinterpret_cast<const BYTE*>(der.data()),
                                                        static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                        nullptr);
  ::CertCloseStore(store, 0);
  return added ? 0 : 1;
}

int setProxy(const std::wstring& proxy) {
  std::wstring server = proxy;
  std::wstring bypass = L"<local>";
  WINHTTP_PROXY_INFO info{WINHTTP_ACCESS_TYPE_NAMED_PROXY, server.data(), bypass.data()};
  if (proxy == L"none") info = WINHTTP_PROXY_INFO{WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr};
  return ::WinHttpSetDefaultProxyConfiguration(&info) ? 0 : 1;
}

int fetch(const std::wstring& url) {
  const ULONGLONG start = ::GetTickCount64();
  WinHttpFetcher fetcher;
  const std::string bytes = fetcher.fetchBytes(wideToUtf8(url), 1u << 20);
  std::printf("fetched %zu bytes in %.1f s\n", bytes.size(), static_cast<double>(::GetTickCount64() - start) / 1000.0);
  return 0;
}

int record(const std::wstring& url) {
  std::ofstream out{std::filesystem::path(envPath(L"PLENVO_URL_LOG")), std::ios::app | std::ios::binary};
  out << wideToUtf8(url) << "\n";
  return 0;
}

}  // namespace

// At another system DPI (the prefix is set to it before this run): the tools window, its controls and the
// grids' rows and columns scaled from their design at 96 DPI, and the main window too when it is the host.
int runDpi(const std::wstring& exe, int dpi, const std::wstring& shots) {
  PROCESS_INFORMATION pi;
  HWND tools = openHostAndTools(exe, pi);
  if (tools == nullptr) return 1;
  auto scaled = [dpi](int value) { return ::MulDiv(value, dpi, 96); };
  auto sizeOf = [](HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return std::make_pair(static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top));
  };
  RECT r{};
  ::GetWindowRect(tools, &r);
  check(r.left == scaled(50) && r.top == scaled(50), "placed at 50,50 scaled");
  check(sizeOf(tools) == std::make_pair(scaled(590), scaled(430)), "590x430 scaled");
  if (g_mainExe) {
    // The main window itself is larger than this 1024x768 screen at 144 DPI and is cut to it; its
    // controls are not.
    HWND main = hostWindow();
    check(sizeOf(findDescendant(main, L"Button", L"CAD工具及设置")) == std::make_pair(scaled(130), scaled(32)),
          "the main window's tools button scaled");
    check(sizeOf(findDescendant(main, L"Button", L"开始合图")) == std::make_pair(scaled(176), scaled(40)),
          "the main window's start button scaled");
  }
  showTab(tools, 1);
  const struct {
    int id, width, height;
    const char* what;
  } controls[] = {
      {编辑框_路径, 368, 28, "path box"},
      {按钮_保存, 104, 30, "save button"},
      {高级表格_版本, 220, 280, "version grid"},
      {高级表格_尺寸, 245, 280, "size grid"},
  };
  for (const auto& c : controls)
    check(sizeOf(item(tools, c.id)) == std::make_pair(scaled(c.width), scaled(c.height)), std::string(c.what) + " scaled");
  // The version grid's columns are 35, 80 and 85 wide and its rows 24 high at 96 DPI: the design point
  // (150, 84) lies in the third column of the third data row.
  HWND versions = item(tools, 高级表格_版本);
  ::SendMessageW(versions, kGridSetCurrent, 1, 0);  // the first rows in view
  const LPARAM at = MAKELPARAM(scaled(150), scaled(84));
  ::SendMessageW(versions, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageW(versions, WM_LBUTTONUP, 0, at);
  checkEqual(static_cast<int>(::SendMessageW(versions, kGridGetCurrentRow, 0, 0)), 3, "the click's row, scaled");
  screenshot(tools, shots + L"\\tools-settings-tab-" + std::to_wstring(dpi) + L"dpi.bmp");
  endProcess(pi);
  return g_failures == 0 ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (argc >= 3) {
    const std::wstring exe = argv[2];
    g_mainExe = exe.size() >= 10 && ::lstrcmpiW(exe.substr(exe.size() - 10).c_str(), L"Plenvo.exe") == 0;
  }
  if (command == L"settings" && argc >= 4) return runSettings(argv[2], argv[3]);
  if (command == L"options" && argc >= 3) return runOptions(argv[2]);
  if (command == L"remote" && argc >= 6) return runRemote(argv[2], argv[3], argv[4], argv[5]);
  if (command == L"offline" && argc >= 3) return runOffline(argv[2]);
  if (command == L"limit" && argc >= 4) return runLimit(argv[2], argv[3]);
  if (command == L"stall" && argc >= 4) return runStall(argv[2], argv[3]);
  // update <host> <site-folder|-> <url-log> <text|-> <notice|none> [expected address]
  if (command == L"update" && argc >= 7) {
    return runUpdate(argv[2], argv[3], argv[4], argv[5], std::wstring(argv[6]) == L"notice",
                     argc >= 8 ? wideToUtf8(argv[7]) : std::string());
  }
  if (command == L"dpi" && argc >= 5) return runDpi(argv[2], _wtoi(argv[3]), argv[4]);
  if (command == L"trust" && argc >= 3) return trustCertificate(argv[2]);
  if (command == L"proxy" && argc >= 3) return setProxy(argv[2]);
  if (command == L"record" && argc >= 3) return record(argv[2]);
  if (command == L"fetch" && argc >= 3) return fetch(argv[2]);
  std::printf("unknown command\n");
  return 2;
}
