// Drives the real Plenvo.exe from outside, as a user would, and checks its windows and files.
//   main_driver.exe first <Plenvo.exe> <dir> <url-log>   first start in an empty folder; leaves it running
//   main_driver.exe interact <url-log>                   labels, start without CAD, arrangements, size pick
//   main_driver.exe titleclose <dir>                     closes it by the title bar: no question, it ends
//   main_driver.exe session <Plenvo.exe> <server.exe> <dir> <drawings-dir> <shot-dir>
//        a CAD stand-in running: adding drawings by the open-file dialog and by folder mode, the list
//        commands, a full merge from the window, the closing question; the stand-in's drawing is left in
//        <dir>\merged.dxf and its report in <dir>\report.txt
//   main_driver.exe record <url>                         the test's browser: appends the address to a log
// Exit code 0 when every check held; each check is printed.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/win_driver.h"
#include "core/settings_file.h"
#include "core/text_codec.h"
#include "ui/main/main_control_ids.h"

namespace {

using namespace plenvo;
using namespace plenvo::e2e;
namespace fs = std::filesystem;

std::string pad(const std::string& text, int before, int after) {
  return std::string(static_cast<size_t>(before), ' ') + text + std::string(static_cast<size_t>(after), ' ');
}

void setText(HWND hwnd, const std::string& value) {
  ::SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(utf8ToWide(value).c_str()), SMTO_NORMAL,
                        5000, nullptr);
}

// ---- the program under test ----

struct Program {
  PROCESS_INFORMATION process{};
  HWND main = nullptr;

  HWND item(int id) const { return ::GetDlgItem(main, id); }
  bool running() const { return ::WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }
  bool waitExit(int ms) const { return ::WaitForSingleObject(process.hProcess, static_cast<DWORD>(ms)) == WAIT_OBJECT_0; }
};

HWND findMainWindowOf(DWORD pid) { return topWindowOf(pid, kMainWindowClass); }

// Copies Plenvo.exe into `dir` and starts it there; waits until its main window is shown (the start-up
// sequence has ended by then).
bool start(Program& program, const std::wstring& exe, const std::wstring& dir) {
  fs::create_directories(dir);
  const std::wstring copy = dir + L"\\Plenvo.exe";
  ::CopyFileW(exe.c_str(), copy.c_str(), FALSE);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  std::wstring cmd = L"\"" + copy + L"\"";
  const DWORD t0 = ::GetTickCount();
  if (!::CreateProcessW(copy.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si,
                        &program.process)) {
    check(false, "Plenvo.exe starts");
    return false;
  }
  program.main = waitFor([&] { return findMainWindowOf(program.process.dwProcessId); });
  check(program.main != nullptr, "the main window appears");
  if (program.main) std::printf("start-up took %lu ms\n", ::GetTickCount() - t0);
  return program.main != nullptr;
}

// A message box (or any dialog) of the program, by caption; null when none shows up in time.
HWND findDialog(const Program& program, const std::string& caption, int timeoutMs = 20000) {
  const std::wstring wanted = utf8ToWide(caption);
  return waitFor([&] { return topWindowOf(program.process.dwProcessId, L"#32770", &wanted); }, timeoutMs);
}

void click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

// Waits for the message box `caption`, checks its text and owner, and presses `buttonId`.
void answerMessage(const Program& program, const std::string& caption, const std::string& expectedText,
                   int buttonId = IDOK, const std::string& what = "") {
  HWND box = findDialog(program, caption);
  check(box != nullptr, "message box \"" + caption + "\" shows " + what);
  if (!box) return;
  checkEqual(text(::GetDlgItem(box, 0xFFFF)), expectedText, "its text");
  check(::GetWindow(box, GW_OWNER) == program.main, "it is owned by the main window");
  check(::GetDlgItem(box, IDOK) != nullptr, "it has an OK button");
  if (buttonId == IDCANCEL) check(::GetDlgItem(box, IDCANCEL) != nullptr, "it has a Cancel button");
  click(::GetDlgItem(box, buttonId));
  waitFor([&]() -> HWND { return ::IsWindow(box) ? nullptr : HWND(1); }, 5000);
}

// Checks that no message box of the program shows up for a while.
void expectNoMessage(const Program& program, const std::string& caption, int ms = 700) {
  check(findDialog(program, caption, ms) == nullptr, "no message box \"" + caption + "\"");
}

// ---- the list view, through memory of the program's process ----

int rowCount(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

// Rows as "number|path" (the columns the commands carry), or with size and time as well.
std::vector<std::string> rows(HWND list, bool all = false) {
  std::vector<std::string> out;
  for (int r = 0; r < rowCount(list); ++r) {
    std::string row = listCell(list, r, 0) + "|" + listCell(list, r, 1);
    if (all) row += "|" + listCell(list, r, 2) + "|" + listCell(list, r, 3);
    out.push_back(row);
  }
  return out;
}

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += (s.empty() ? "" : " ; ") + x;
  return s;
}

int selectedRow(HWND list) {
  return static_cast<int>(::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

int selectedCount(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0)); }

// What a click on the row does.
void selectRow(HWND list, int row) {
  RemoteBuffer buffer(list, sizeof(LVITEMW));
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  buffer.write(0, &item, sizeof item);
  ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.at(0)));
}

bool checked(HWND button) { return ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::string comboText(HWND combo) {
  const int sel = static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
  if (sel < 0) return {};
  wchar_t buffer[512] = {};
  ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(buffer));
  return wideToUtf8(buffer);
}

std::string settingsPath(const std::wstring& dir) { return wideToUtf8(dir) + "\\Plenvo配置.ini"; }

// A picture of the whole screen as a BMP file (the script makes PNGs of them).
void screenshot(const std::wstring& path) {
  saveScreenArea(0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), path);
}

// ---- scenarios ----

const std::string kNotConnected = "Plenvo_v3.3  [未连接到CAD，请打开CAD软件]";

int firstStart(const std::wstring& exe, const std::wstring& dir, const std::wstring& urlLog) {
  Program p;
  if (!start(p, exe, dir)) return 1;

  SettingsFile settings(settingsPath(dir));
  check(settings.exists(), "the settings file was created beside the exe");
  const DWORD attributes = ::GetFileAttributesW(utf8ToWide(settings.path()).c_str());
  check(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) &&
            !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)),
        "it is hidden, not read-only, not system (attributes " + std::to_string(attributes) + ")");
  const std::pair<const char*, const char*> keys[] = {{"帮助", "1"}, {"路径", "D:\\"}, {"次数", "2"},
                                                      {"宽度", "0"}, {"选择", "0"},  {"炸开", "0"},
                                                      {"图框", "0"}, {"锁定", "0"}};
  for (const auto& [key, value] : keys) checkEqual(settings.read(key), std::string(value), std::string("key ") + key);
  check(settings.read("版本").rfind("15-2000/15.2-2002/", 0) == 0, "key 版本 holds the default table");
  check(settings.read("尺寸").rfind("A0-横向-1189*841/", 0) == 0, "key 尺寸 holds the default table");

  checkEqual(text(p.main), kNotConnected, "title without a CAD application");
  check(checked(p.item(单选框_横)) && !checked(p.item(单选框_竖)) && !checked(p.item(单选框_混)) &&
            !checked(p.item(单选框_定)),
        "the Horizontal arrangement is selected");
  for (int id : {编辑框_行数量, 编辑框_定向水平数量, 编辑框_定向垂直数量})
    check(!::IsWindowEnabled(p.item(id)), "count box " + std::to_string(id) + " is disabled");
  check(::IsWindowEnabled(p.item(编辑框_间距)), "the spacing box is enabled");
  checkEqual(static_cast<int>(::SendMessageW(p.item(组合框_尺寸), CB_GETCOUNT, 0, 0)), 11, "size items");
  checkEqual(comboText(p.item(组合框_尺寸)), std::string("A0横向1189*841mm"), "the first size item is shown");
  checkEqual(text(p.item(编辑框_水平尺寸)), std::string("1189"), "sheet length");
  checkEqual(text(p.item(编辑框_垂直尺寸)), std::string("841"), "sheet width");
  checkEqual(text(p.item(编辑框_间距)), std::string("50"), "spacing");
  check(checked(p.item(选择框_网页)), "the help-page box is ticked");
  check(!checked(p.item(选择框_炸开)) && !checked(p.item(选择框_图框)), "explode and frames are unticked");
  checkEqual(text(p.item(标签1)), std::string("Plenvo"), "heading");
  checkEqual(text(p.item(按钮_开始合图)), std::string("开始合图"), "start button");
  {
    // The thread holds no focus while another program (the browser with the help page) is active.
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    auto focused = [&]() -> HWND {
      ::GetGUIThreadInfo(p.process.dwThreadId, &info);
      return info.hwndFocus;
    };
    if (!waitFor(focused, 3000)) {
      // Another program took the activation: the focus comes back with the window's.
      ::SetForegroundWindow(p.main);
      waitFor(focused, 3000);
    }
    check(info.hwndFocus == p.item(按钮_增加),
          "the add button has the keyboard focus (focus on id " + std::to_string(::GetDlgCtrlID(info.hwndFocus)) + ")");
  }
  const std::wstring frame = dir + L"\\零件图框.dwg";
  WIN32_FILE_ATTRIBUTE_DATA data{};
  check(::GetFileAttributesExW(frame.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 0,
        "the part-frame drawing was written beside the exe");

  // The help page went to the browser.
  bool opened = false;
  for (int waited = 0; waited < 5000 && !opened; waited += 100, ::Sleep(100)) {
    std::ifstream log{fs::path(urlLog)};
    std::string line;
    while (std::getline(log, line))
      if (line.find("https://www.plenvo.example/?post=73") != std::string::npos) opened = true;
  }
  check(opened, "the help page was opened");

  // Every control at its place and size (the system runs at 96 DPI here; group-box children are placed
  // inside their group's area).
  {
    struct Place {
      int id, x, y, w, h;
    };
    const int g1x = 5, g1y = 77, g3x = 220, g3y = 77, g2x = 640, g2y = 173;
    const Place places[] = {
        {标签1, 259, 16, 277, 40}, {标签9, 539, 36, 39, 16}, {选择框_网页, 709, 6, 128, 16},
        {按钮_广告, 708, 24, 130, 32}, {分组框1, 5, 77, 211, 95}, {单选框_横, g1x + 11, g1y + 25, 88, 24},
        {单选框_竖, g1x + 119, g1y + 25, 88, 24}, {单选框_混, g1x + 11, g1y + 58, 88, 24},
        {单选框_定, g1x + 119, g1y + 58, 88, 24}, {分组框3, 220, 77, 620, 95}, {标签2, g3x + 8, g3y + 28, 70, 24},
        {编辑框_间距, g3x + 80, g3y + 28, 60, 24}, {标签_行数量, g3x + 168, g3y + 28, 72, 24},
        {编辑框_行数量, g3x + 241, g3y + 28, 60, 24}, {标签6, g3x + 338, g3y + 28, 72, 24},
        {组合框_尺寸, g3x + 413, g3y + 28, 194, -1}, {标签3, g3x + 8, g3y + 60, 70, 24},
        {编辑框_水平尺寸, g3x + 80, g3y + 59, 60, 24}, {标签4, g3x + 168, g3y + 60, 70, 24},
        {编辑框_垂直尺寸, g3x + 242, g3y + 62, 60, 24}, {标签7, g3x + 337, g3y + 60, 91, 24},
        {编辑框_定向水平数量, g3x + 428, g3y + 60, 35, 24}, {标签8, g3x + 481, g3y + 59, 91, 24},
        {编辑框_定向垂直数量, g3x + 572, g3y + 59, 35, 24}, {超级列表框1, 5, 181, 630, 296},
        {分组框2, 640, 173, 200, 305}, {按钮_增加, g2x + 12, g2y + 26, 80, 35}, {按钮_上移, g2x + 108, g2y + 26, 80, 35},
        {按钮_删除, g2x + 12, g2y + 64, 80, 35}, {按钮_下移, g2x + 108, g2y + 64, 80, 35},
        {按钮_清空, g2x + 12, g2y + 120, 80, 35}, {按钮_置顶, g2x + 108, g2y + 120, 80, 35},
        {按钮_关闭, g2x + 12, g2y + 159, 80, 35}, {按钮_置底, g2x + 108, g2y + 159, 80, 35},
        {标签11, g2x + 45, g2y + 206, 135, 15}, {选择框_炸开, g2x + 16, g2y + 227, 25, 20},
        {标签10, g2x + 45, g2y + 228, 135, 15}, {按钮_开始合图, g2x + 11, g2y + 253, 176, 40},
        {选择框_图框, 656, 379, 25, 15}, {标签5, 5, 480, 835, 20}};
    int misplaced = 0;
    for (const Place& place : places) {
      RECT r{};
      HWND c = p.item(place.id);
      ::GetWindowRect(c, &r);
      ::MapWindowPoints(nullptr, p.main, reinterpret_cast<POINT*>(&r), 2);
      const bool ok = c && r.left == place.x && r.top == place.y && r.right - r.left == place.w &&
                      (place.h < 0 || r.bottom - r.top == place.h);
      if (!ok) {
        ++misplaced;
        std::printf("  control %d at %ld,%ld %ldx%ld, want %d,%d %dx%d\n", place.id, r.left, r.top, r.right - r.left,
                    r.bottom - r.top, place.x, place.y, place.w, place.h);
      }
    }
    checkEqual(misplaced, 0, "controls away from their place");
    RECT window{};
    ::GetWindowRect(p.main, &window);
    checkEqual(std::to_string(window.left) + "," + std::to_string(window.top) + " " +
                   std::to_string(window.right - window.left) + "x" + std::to_string(window.bottom - window.top),
               std::string("50,50 850x530"), "the main window's place and size");
    checkEqual(text(p.item(标签5)),
               std::string("提示:本工具将单CAD合并成一个CAD文件,方便查看或打印,适用所有CAD版本,同时支持国产CAD(中望及浩辰)QQ群:"),
               "the notice along the bottom");
  }

  // The list view's settings and columns.
  {
    HWND list = p.item(超级列表框1);
    const LONG_PTR style = ::GetWindowLongPtrW(list, GWL_STYLE);
    const LONG_PTR wanted = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
    check((style & wanted) == wanted && !(style & (LVS_EDITLABELS | LVS_SORTASCENDING | LVS_SORTDESCENDING)),
          "the list is a report with single selection, selection always shown, plain headers, no sorting");
    check((::GetWindowLongPtrW(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, "the list has a sunken edge");
    const LRESULT ex = ::SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    check((ex & LVS_EX_FULLROWSELECT) && !(ex & (LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES)),
          "full-row selection, no grid lines, no check boxes");
    std::string columns;
    for (int i = 0; i < 4; ++i) {
      RemoteBuffer buffer(list, 1024);
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.cchTextMax = 64;
      column.pszText = reinterpret_cast<wchar_t*>(buffer.at(512));
      buffer.write(0, &column, sizeof column);
      ::SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.at(0)));
      buffer.read(0, &column, sizeof column);
      wchar_t title[64] = {};
      buffer.read(512, title, sizeof title);
      title[63] = 0;
      columns += (i ? " " : "") + wideToUtf8(title) + ":" + std::to_string(column.cx);
    }
    checkEqual(columns, std::string("序号:50 文件名:290 大小:100 时间:160"), "the list's columns");
  }

  // Left running for the screenshot; "interact" works it and "titleclose" ends it.
  return g_failures ? 1 : 0;
}

// The program started by "first", after the screenshot: the labels, the start button without a CAD
// application, the arrangement buttons and the size list.
int interact(const std::wstring& urlLog) {
  Program p;
  p.main = ::FindWindowW(kMainWindowClass, nullptr);
  check(p.main != nullptr, "the main window is there");
  if (!p.main) return 1;
  p.process.dwThreadId = ::GetWindowThreadProcessId(p.main, &p.process.dwProcessId);
  p.process.hProcess = ::OpenProcess(SYNCHRONIZE, FALSE, p.process.dwProcessId);

  // The heading and the bottom notice open the maker's home page.
  for (int id : {标签1, 标签5}) {
    ::PostMessageW(p.item(id), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageW(p.item(id), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }
  int homePages = 0;
  for (int waited = 0; waited < 5000 && homePages < 2; waited += 100, ::Sleep(100)) {
    homePages = 0;
    std::ifstream log{fs::path(urlLog)};
    std::string line;
    while (std::getline(log, line)) homePages += line == "https://www.plenvo.example/";
  }
  checkEqual(homePages, 2, "pressing 标签1 and 标签5 opened the home page");

  // No CAD application and an empty list: only "请打开CAD软件".
  click(p.item(按钮_开始合图));
  answerMessage(p, "提示：", pad("请打开CAD软件", 26, 26));
  expectNoMessage(p, "提示：");
  expectNoMessage(p, "准备开始合并文件", 200);

  // The arrangement buttons.
  click(p.item(单选框_混));
  ::Sleep(200);
  check(::IsWindowEnabled(p.item(编辑框_行数量)) && !::IsWindowEnabled(p.item(编辑框_定向水平数量)),
        "Mixed enables the per-row count only");
  click(p.item(单选框_定));
  ::Sleep(200);
  check(!::IsWindowEnabled(p.item(编辑框_行数量)) && ::IsWindowEnabled(p.item(编辑框_定向垂直数量)),
        "Directed enables the two directed counts");
  checkEqual(text(p.item(编辑框_水平尺寸)) + "*" + text(p.item(编辑框_垂直尺寸)), std::string("105*95"),
             "Directed sets 105 and 95");
  click(p.item(单选框_横));
  ::Sleep(200);
  checkEqual(text(p.item(编辑框_水平尺寸)), std::string("1189"), "Horizontal resets the length");
  // Picking a size item as a user does.
  ::SendMessageW(p.item(组合框_尺寸), CB_SETCURSEL, 10, 0);
  ::SendMessageW(p.main, WM_COMMAND, MAKEWPARAM(组合框_尺寸, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(p.item(组合框_尺寸)));
  checkEqual(text(p.item(编辑框_水平尺寸)) + "*" + text(p.item(编辑框_垂直尺寸)), std::string("105*95"),
             "picking Z1 sets 105 and 95");
  click(p.item(单选框_横));
  ::Sleep(200);
  return g_failures ? 1 : 0;
}

int titleClose(const std::wstring& dir) {
  (void)dir;
  HWND main = ::FindWindowW(kMainWindowClass, nullptr);
  check(main != nullptr, "the main window is there");
  if (!main) return 1;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(main, &pid);
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  ::PostMessageW(main, WM_CLOSE, 0, 0);
  check(::WaitForSingleObject(process, 10000) == WAIT_OBJECT_0, "closing by the title bar ends the program at once");
  ::CloseHandle(process);
  return g_failures ? 1 : 0;
}

// The file-name box of the open-file dialog (an edit, or the edit inside a combo box).
HWND fileNameBox(HWND dialog) {
  if (HWND edit = ::GetDlgItem(dialog, 0x480)) return edit;  // edt1
  if (HWND combo = ::GetDlgItem(dialog, 0x47C))              // cmb13, a ComboBoxEx with its edit inside
    if (HWND edit = findDescendant(combo, L"Edit")) return edit;
  return nullptr;
}

// The open-file dialog: goes to `folder` by typing it, then types the names and presses Open.
void chooseInFileDialog(const Program& p, const std::string& folder, const std::string& names) {
  HWND dialog = findDialog(p, "请选择要合并的CAD文件");
  check(dialog != nullptr, "the open-file dialog shows with its title");
  if (!dialog) return;
  // cmb2, "Look in": the dialog starts in the folder of 路径.
  checkEqual(text(::GetDlgItem(dialog, 0x471)), folder.substr(folder.find_last_of('\\') + 1),
             "the dialog opens in the folder of 路径");
  HWND name = fileNameBox(dialog);
  check(name != nullptr, "it has a file-name box");
  if (!name) {
    ::EnumChildWindows(
        dialog,
        [](HWND hwnd, LPARAM) -> BOOL {
          wchar_t cls[64] = {};
          ::GetClassNameW(hwnd, cls, 64);
          std::printf("  child %s id 0x%x \"%s\"\n", wideToUtf8(cls).c_str(), ::GetDlgCtrlID(hwnd), text(hwnd).c_str());
          return TRUE;
        },
        0);
    return;
  }
  setText(name, folder);
  click(::GetDlgItem(dialog, IDOK));
  ::Sleep(700);
  setText(name, names);
  checkEqual(text(name), names, "the names were typed");
  click(::GetDlgItem(dialog, IDOK));
  check(waitFor([&]() -> HWND { return ::IsWindow(dialog) ? nullptr : HWND(1); }, 10000) != nullptr,
        "the dialog closes");
}

// The folder browser: selects `folder` and presses OK.
void chooseInFolderBrowser(const Program& p, const std::string& folder) {
  HWND dialog = waitFor([&]() -> HWND {
    for (HWND w = ::FindWindowW(L"#32770", nullptr); w; w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) {
      DWORD pid = 0;
      ::GetWindowThreadProcessId(w, &pid);
      if (pid == p.process.dwProcessId && ::IsWindowVisible(w) && findDescendant(w, L"SysTreeView32")) return w;
    }
    return nullptr;
  });
  check(dialog != nullptr, "the folder browser shows");
  if (!dialog) return;
  bool titleShown = false;
  for (HWND c = ::FindWindowExW(dialog, nullptr, nullptr, nullptr); c; c = ::FindWindowExW(dialog, c, nullptr, nullptr))
    if (text(c) == "请选择要获取文件的文件夹") titleShown = true;
  check(titleShown, "it shows the title 请选择要获取文件的文件夹");
  check(findDescendant(dialog, L"Edit") != nullptr, "it has an edit box");
  const std::wstring wide = utf8ToWide(folder);
  RemoteBuffer buffer(dialog, (wide.size() + 1) * sizeof(wchar_t));
  buffer.write(0, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(buffer.at(0)));
  ::Sleep(300);
  click(::GetDlgItem(dialog, IDOK));
  check(waitFor([&]() -> HWND { return ::IsWindow(dialog) ? nullptr : HWND(1); }, 10000) != nullptr,
        "the folder browser closes");
}

struct Server {
  PROCESS_INFORMATION process{};
  HANDLE ready = nullptr, exit = nullptr;
};

bool startServer(Server& s, const std::wstring& exe, const std::wstring& dir) {
  const std::wstring tag = L"plenvo-main-e2e-" + std::to_wstring(::GetCurrentProcessId());
  s.ready = ::CreateEventW(nullptr, TRUE, FALSE, (tag + L".ready").c_str());
  s.exit = ::CreateEventW(nullptr, TRUE, FALSE, (tag + L".exit").c_str());
  std::wstring cmd = L"\"" + exe + L"\" --progid ZWCAD.Application --engine dxf --save-on-exit \"" + dir +
                     L"\\merged.dxf\" --report \"" + dir + L"\\report.txt\" --ready-event " + tag +
                     L".ready --exit-event " + tag + L".exit";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                        &s.process))
    return false;
  const HANDLE waitOn[] = {s.ready, s.process.hProcess};
  return ::WaitForMultipleObjects(2, waitOn, FALSE, 20000) == WAIT_OBJECT_0;
}

void clickAndWait(HWND button, int ms = 300) {
  click(button);
  ::Sleep(static_cast<DWORD>(ms));
}

int session(const std::wstring& exe, const std::wstring& serverExe, const std::wstring& dir,
            const std::wstring& drawings, const std::wstring& shots) {
  Server server;
  fs::create_directories(dir);
  check(startServer(server, serverExe, dir), "the CAD stand-in runs");

  // The open-file dialog starts in the drawings folder.
  const std::string folder = wideToUtf8(drawings) + "\\";
  {
    SettingsFile settings(settingsPath(dir));
    (void)settings.write("路径", folder);
  }
  Program p;
  if (!start(p, exe, dir)) return 1;
  checkEqual(text(p.main), std::string("Plenvo_v3.3  [当前CAD: 国产中望CAD]"), "the title names the running CAD");
  HWND list = p.item(超级列表框1);
  SettingsFile settings(settingsPath(dir));

  // File mode: three drawings in one press.
  click(p.item(按钮_增加));
  chooseInFileDialog(p, wideToUtf8(drawings), "\"a.dxf\" \"b.dxf\" \"c.dxf\"");
  waitFor([&]() -> HWND { return rowCount(list) == 3 ? HWND(1) : nullptr; }, 5000);
  std::vector<std::string> all = rows(list, true);
  checkEqual(static_cast<int>(all.size()), 3, "three rows were added");
  std::set<std::string> paths;
  for (int r = 0; r < rowCount(list); ++r) {
    checkEqual(listCell(list, r, 0), std::to_string(r + 1), "row number");
    paths.insert(listCell(list, r, 1));
    check(listCell(list, r, 2).size() > 2 && listCell(list, r, 2).substr(listCell(list, r, 2).size() - 2) == "KB",
          "size cell " + listCell(list, r, 2));
    check(listCell(list, r, 3).find('/') != std::string::npos && listCell(list, r, 3).find(':') != std::string::npos,
          "time cell " + listCell(list, r, 3));
  }
  checkEqual(joined(std::vector<std::string>(paths.begin(), paths.end())),
             joined({folder + "a.dxf", folder + "b.dxf", folder + "c.dxf"}), "the rows hold the full paths");
  checkEqual(settings.read("路径"), folder, "路径 is the folder of the chosen files");
  checkEqual(selectedRow(list), 0, "the first row is selected after adding");
  std::printf("rows after adding: %s\n", joined(all).c_str());
  if (rowCount(list) != 3) {
    ::TerminateProcess(p.process.hProcess, 1);
    ::SetEvent(server.exit);
    return 1;
  }

  // Folder mode: the *.dwg files of the folder (not the DXF files, not the folder named d.dwg).
  (void)settings.write("选择", "1");
  clickAndWait(p.item(按钮_增加), 100);
  chooseInFolderBrowser(p, wideToUtf8(drawings) + "\\dwgs");
  waitFor([&]() -> HWND { return rowCount(list) == 5 ? HWND(1) : nullptr; }, 5000);
  {
    std::set<std::string> added;
    for (int r = 3; r < rowCount(list); ++r) added.insert(listCell(list, r, 1));
    checkEqual(joined(std::vector<std::string>(added.begin(), added.end())),
               joined({folder + "dwgs\\a.dwg", folder + "dwgs\\b.DWG"}), "folder mode adds the two DWG files");
    checkEqual(listCell(list, 3, 0) + "," + listCell(list, 4, 0), std::string("4,5"), "their numbers");
    checkEqual(selectedRow(list), 0, "folder mode does not change the selection");
    checkEqual(settings.read("路径"), folder, "folder mode does not change 路径");
  }
  (void)settings.write("选择", "0");

  // The list commands on the real list view. Remove the two DWG rows first.
  for (int i = 0; i < 2; ++i) {
    selectRow(list, rowCount(list) - 1);
    clickAndWait(p.item(按钮_删除));
  }
  checkEqual(rowCount(list), 3, "删除 removed the selected rows");
  if (rowCount(list) != 3) {
    ::TerminateProcess(p.process.hProcess, 1);
    ::SetEvent(server.exit);
    return 1;
  }
  checkEqual(selectedCount(list), 0, "and left no row selected");
  const std::vector<std::string> start = rows(list);
  const std::vector<std::string> startAll = rows(list, true);
  auto sizeTime = [&](int r) { return listCell(list, r, 2) + "|" + listCell(list, r, 3); };
  auto sizeTimeOf = [&](int r) {
    const std::string& s = startAll[static_cast<size_t>(r)];
    return s.substr(s.find('|', s.find('|') + 1) + 1);
  };

  selectRow(list, 1);
  clickAndWait(p.item(按钮_上移));
  checkEqual(joined(rows(list)), joined({start[1], start[0], start[2]}), "上移 exchanges number and path");
  checkEqual(sizeTime(0), sizeTimeOf(0), "the size and time cells stay in place");
  checkEqual(selectedRow(list), 0, "the moved row is selected");
  clickAndWait(p.item(按钮_上移), 0);
  answerMessage(p, "提示", "到顶啦！", IDOK, "at the top");
  checkEqual(joined(rows(list)), joined({start[1], start[0], start[2]}), "nothing moved");
  clickAndWait(p.item(按钮_置顶), 0);
  answerMessage(p, "提示", "已经到顶啦！！");
  clickAndWait(p.item(按钮_下移));
  checkEqual(joined(rows(list)), joined(start), "下移 moves it back");
  checkEqual(selectedRow(list), 1, "and selects its new row");
  clickAndWait(p.item(按钮_置底));
  checkEqual(joined(rows(list)), joined({start[0], start[2], start[1]}), "置底 makes it the last row");
  checkEqual(sizeTime(2), std::string("|"), "with empty size and time");
  checkEqual(selectedRow(list), 2, "selected");
  clickAndWait(p.item(按钮_下移), 0);
  answerMessage(p, "提示", "到底啦！");
  clickAndWait(p.item(按钮_置底), 0);
  answerMessage(p, "提示", "已经到底啦！！");
  clickAndWait(p.item(按钮_置顶));
  checkEqual(joined(rows(list)), joined({start[1], start[0], start[2]}), "置顶 makes it the first row");
  checkEqual(selectedRow(list), 0, "selected");
  // Order now: b-ish first. Record the merge order.
  const std::vector<std::string> order = rows(list);
  std::ofstream(fs::path(dir) / "merge-order.txt") << order[0].substr(order[0].find('|') + 1) << "\n"
                                                    << order[1].substr(order[1].find('|') + 1) << "\n"
                                                    << order[2].substr(order[2].find('|') + 1) << "\n";

  // Frames on, through the check box.
  clickAndWait(p.item(选择框_图框));
  checkEqual(settings.read("图框"), std::string("1"), "ticking 选择框_图框 writes 图框=1");

  // A per-row count below 1 is refused before anything happens.
  clickAndWait(p.item(单选框_混));
  setText(p.item(编辑框_行数量), "0");
  click(p.item(按钮_开始合图));
  answerMessage(p, "提示：", pad("每行数量必须大于0", 26, 26), IDOK, "for a zero count");
  expectNoMessage(p, "准备开始合并文件", 300);
  clickAndWait(p.item(单选框_横));

  // The merge from the window.
  click(p.item(按钮_开始合图));
  answerMessage(p, "准备开始合并文件", pad("将在打开的第一个CAD中起始点坐标处开始合并，期间请不要操作!", 11, 9));
  answerMessage(p, "提示：", pad("在打开的第一个CAD文件中，合并完毕！", 26, 26), IDOK, "at the end");
  expectNoMessage(p, "提示：", 500);
  checkEqual(selectedRow(list), 2, "the last merged row stays selected");
  screenshot(shots + L"\\after-merge.bmp");

  // The closing question: Cancel, then OK.
  const std::string question = pad("你确定要关闭本工具吗？", 18, 13);
  click(p.item(按钮_关闭));
  answerMessage(p, "QQ群: 提示：", question, IDCANCEL, "(Cancel)");
  ::Sleep(300);
  check(p.running() && ::IsWindow(p.main), "Cancel keeps the program running");
  click(p.item(按钮_关闭));
  answerMessage(p, "QQ群: 提示：", question, IDOK, "(OK)");
  check(p.waitExit(10000), "OK ends the program");

  // The stand-in saves its drawing and reports what clients still hold.
  ::SetEvent(server.exit);
  check(::WaitForSingleObject(server.process.hProcess, 20000) == WAIT_OBJECT_0, "the CAD stand-in ends");
  std::ifstream report(fs::path(dir) / "report.txt");
  std::string line, reportText;
  while (std::getline(report, line)) reportText += line + " ";
  std::printf("stand-in report: %s\n", reportText.c_str());
  check(reportText.find("application_refs=0 ") != std::string::npos, "the program left no reference");
  check(reportText.find("live_objects=0 ") != std::string::npos, "and no live object in the stand-in");
  return g_failures ? 1 : 0;
}

int record(const std::wstring& url) {
  wchar_t log[1024] = {};
  if (!::GetEnvironmentVariableW(L"PLENVO_URL_LOG", log, 1024)) return 1;
  std::ofstream(fs::path(log), std::ios::app) << wideToUtf8(url) << "\n";
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring mode = argv[1];
  if (mode == L"first" && argc == 5) return firstStart(argv[2], argv[3], argv[4]);
  if (mode == L"interact" && argc == 3) return interact(argv[2]);
  if (mode == L"titleclose" && argc == 3) return titleClose(argv[2]);
  if (mode == L"session" && argc == 7) return session(argv[2], argv[3], argv[4], argv[5], argv[6]);
  if (mode == L"record" && argc == 3) return record(argv[2]);
  std::fprintf(stderr, "unknown mode or wrong arguments\n");
  return 2;
}
