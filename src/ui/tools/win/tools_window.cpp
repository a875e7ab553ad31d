// The tools window: creates the controls of both tabs at their places (scaled by the system DPI), binds
// their events to the two presenters and implements the views those presenters drive.
#include "ui/tools/win/tools_window.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "core/text_codec.h"
#include "ui/site.h"
#include "ui/tools/remote_tool_list.h"
#include "ui/tools/settings_tab.h"
#include "ui/tools/win/grid_control.h"
#include "ui/tools/win/picture_box.h"
#include "ui/tools/win/win_seams.h"
#include "ui/tools/win/winhttp_fetcher.h"
#include "win/unique_handle.h"

namespace plenvo {

namespace {

constexpr wchar_t kClassName[] = L"PlenvoToolsWindow";
constexpr char kCaption[] = "CAD工具集[动态更新]";
constexpr std::string_view kContactNumbers = "";  // the maker's contact groups, after "[动态更新]QQ群"

// Control ids, by the names of the window design.
enum ControlId : int {
  选择夹1 = 100,
  标签1, 标签2, 超级列表框1, 分组框1, 图片框_广告,
  标签6, 编辑框_路径, 按钮_路径, 高级表格_版本, 高级表格_尺寸,
  分组框2, 选择框_长度, 标签4, 分组框3, 选择框_文件夹, 标签5, 分组框4, 选择框_路径, 标签7,
  按钮_增加, 按钮_删除, 按钮_保存, 标签3,
};

HWND g_open = nullptr;
void* g_creating = nullptr;  // the window object while CreateWindowExW runs

class ToolsWindow final : public SettingsTabView, public ToolListView {
 public:
  ToolsWindow(ToolsWindowHost& host, int dpi)
      : host_(host), settings_(*this, host), tools_(*this, fetcher_, shell_, std::string(kRemoteTextAddress)),
        dpi_(dpi) {}
  // Places, sizes and fonts of the design are at 96 DPI; the process is DPI-aware, so they are scaled.
  int scale(int value) const { return ::MulDiv(value, dpi_, 96); }
  RECT scale(RECT r) const { return RECT{scale(r.left), scale(r.top), scale(r.right), scale(r.bottom)}; }

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  // SettingsTabView
  void message(std::string_view text, std::string_view caption) override {
    ::MessageBoxW(hwnd_, utf8ToWide(text).c_str(), utf8ToWide(caption).c_str(), MB_OK);
  }
  GridControl& versionGrid() override { return *versions_; }
  GridControl& sizeGrid() override { return *sizes_; }
  std::string pathText() override { return windowText(control(编辑框_路径)); }
  void setPathText(std::string_view text) override {
    ::SetWindowTextW(control(编辑框_路径), utf8ToWide(text).c_str());
  }
  bool checked(ToolOption box) override {
    return ::SendMessageW(control(optionId(box)), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void setChecked(ToolOption box, bool on) override {
    ::SendMessageW(control(optionId(box)), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  void setBrowseEnabled(bool enabled) override { ::EnableWindow(control(按钮_路径), enabled); }
  std::optional<std::string> browseForFolder(std::string_view title) override;
  LocalTime now() override {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  }
  void destroyWindow() override { ::DestroyWindow(hwnd_); }

  // ToolListView
  void appendRow(std::string_view number, std::string_view name) override;
  int rowCount() override {
    return static_cast<int>(::SendMessageW(control(超级列表框1), LVM_GETITEMCOUNT, 0, 0));
  }
  std::optional<int> firstSelectedRow() override {
    const auto row = static_cast<int>(::SendMessageW(control(超级列表框1), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                     LVNI_SELECTED));
    if (row < 0) return std::nullopt;
    return row;
  }
  void showPicture(std::string_view bytes) override { picture_->show(bytes); }
  void setListEnabled(bool enabled) override { ::EnableWindow(control(超级列表框1), enabled); }
  void setPictureEnabled(bool enabled) override { ::EnableWindow(picture_->hwnd(), enabled); }
  std::string caption() override { return windowText(hwnd_); }
  void setCaption(std::string_view caption) override { ::SetWindowTextW(hwnd_, utf8ToWide(caption).c_str()); }

 private:
  static int optionId(ToolOption box) {
    switch (box) {
      case ToolOption::ActualSize: return 选择框_长度;
      case ToolOption::FolderMode: return 选择框_文件夹;
      case ToolOption::LockPath: return 选择框_路径;
    }
    return 0;
  }
  static std::string windowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return wideToUtf8(text);
  }
  // The controls of both pages are children of the tab control, so that it paints the page behind them.
  HWND control(int id) const { return ::GetDlgItem(tab_, id); }
  static LRESULT CALLBACK tabProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR);

  void onCreate();
  HWND add(int page, int id, const wchar_t* cls, const char* text, DWORD style, int x, int y, int w, int h,
           HFONT font = nullptr);
  void showPage(int page);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  ToolsWindowHost& host_;
  WinHttpFetcher fetcher_;
  ShellOpener shell_;
  SettingsTabPresenter settings_;
  ToolListPresenter tools_;
  HWND hwnd_ = nullptr;
  HWND tab_ = nullptr;
  int dpi_ = 96;
  win::unique_hfont font_;
  win::unique_hfont bigFont_;
  std::unique_ptr<GridWindow> versions_;
  std::unique_ptr<GridWindow> sizes_;
  std::unique_ptr<PictureBox> picture_;
  std::vector<HWND> pages_[2];
};

HWND ToolsWindow::add(int page, int id, const wchar_t* cls, const char* text, DWORD style, int x, int y, int w,
                      int h, HFONT font) {
  HWND child = ::CreateWindowExW(0, cls, utf8ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, scale(x), scale(y),
                                 scale(w), scale(h),
                                 page >= 0 ? tab_ : hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                 nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font != nullptr ? font : font_.get()), FALSE);
  if (page >= 0) pages_[page].push_back(child);
  return child;
}

void ToolsWindow::onCreate() {
  font_.reset(::CreateFontW(-scale(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体"));
  bigFont_.reset(::CreateFontW(scale(32), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体"));

  HWND tab = add(-1, 选择夹1, WC_TABCONTROLW, "", 0, 0, 0, 584, 400);
  tab_ = tab;
  // The pages' controls are the tab control's children: Tab reaches them through it.
  ::SetWindowLongPtrW(tab, GWL_EXSTYLE, ::GetWindowLongPtrW(tab, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
  ::SetWindowSubclass(tab, &ToolsWindow::tabProc, 1, reinterpret_cast<DWORD_PTR>(this));
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  std::wstring first = L"常用CAD软件", second = L"合图器设置";
  item.pszText = first.data();
  ::SendMessageW(tab, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  item.pszText = second.data();
  ::SendMessageW(tab, TCM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&item));

  // First tab: the remote tool list.
  add(0, 标签1, L"STATIC", "常用软件工具集", SS_LEFT, 82, 47, 226, 32, bigFont_.get());
  add(0, 标签2, L"STATIC", ("[动态更新]QQ群" + std::string(kContactNumbers)).c_str(), SS_LEFT, 314, 63, 178, 14);
  HWND list = add(0, 超级列表框1, WC_LISTVIEWW, "",
                  WS_BORDER | WS_DISABLED | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 3, 95, 275, 300);
  ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  std::wstring number = L"序", name = L"软件名";
  column.pszText = number.data();
  column.cx = scale(30);
  ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  column.pszText = name.data();
  column.cx = scale(220);
  ::SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
  HWND group1 = add(0, 分组框1, L"BUTTON", "点击下面图片下载", BS_GROUPBOX, 279, 89, 300, 307);
  picture_ = PictureBox::create(tab_, 图片框_广告, scale(RECT{279 + 9, 89 + 26, 279 + 9 + 286, 89 + 26 + 269}));
  ::EnableWindow(picture_->hwnd(), FALSE);
  pages_[0].push_back(picture_->hwnd());

  // Second tab: 合图器设置.
  add(1, 标签6, L"STATIC", "图纸路径:", SS_LEFT, 7, 40, 81, 24);
  add(1, 编辑框_路径, L"EDIT", "*", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 104, 40, 368, 28);
  add(1, 按钮_路径, L"BUTTON", "...浏览", BS_PUSHBUTTON | WS_TABSTOP, 477, 38, 104, 30);
  versions_ = GridWindow::create(tab_, 高级表格_版本, scale(RECT{7, 80, 7 + 220, 80 + 280}), 3, font_.get(), dpi_);
  sizes_ = GridWindow::create(tab_, 高级表格_尺寸, scale(RECT{230, 80, 230 + 245, 80 + 280}), 4, font_.get(), dpi_);
  pages_[1].push_back(versions_->hwnd());
  pages_[1].push_back(sizes_->hwnd());
  struct Option {
    int group, box, label;
    const char* caption;
    const char* hint;
    int top, labelLeft, labelTop;
  } options[] = {
      {分组框2, 选择框_长度, 标签4, "按实际长宽", "提示:\r\n默认为设置长宽", 75, 9, 29},
      {分组框3, 选择框_文件夹, 标签5, "按选文件夹", "提示:\r\n默认为选择文件", 135, 9, 28},
      {分组框4, 选择框_路径, 标签7, "锁定路径", "提示:\r\n图纸目录不变", 195, 10, 28},
  };
  std::vector<HWND> groups{group1};
  for (const Option& o : options) {
    groups.push_back(add(1, o.group, L"BUTTON", "", BS_GROUPBOX, 477, o.top, 104, 61));
    add(1, o.box, L"BUTTON", o.caption, BS_AUTOCHECKBOX | WS_TABSTOP, 477 + 8, o.top + 8, 92, 20);
    add(1, o.label, L"STATIC", o.hint, SS_LEFT, 477 + o.labelLeft, o.top + o.labelTop, 88, 25);
  }
  add(1, 按钮_增加, L"BUTTON", "增加行", BS_PUSHBUTTON | WS_TABSTOP, 477, 262, 104, 30);
  add(1, 按钮_删除, L"BUTTON", "删除行", BS_PUSHBUTTON | WS_TABSTOP, 477, 296, 104, 30);
  add(1, 按钮_保存, L"BUTTON", "保存设置", BS_PUSHBUTTON | WS_TABSTOP, 477, 329, 104, 30);
  add(1, 标签3, L"STATIC", "提示:有CAD新版本或需要调整图纸尺寸时修改，非必要不修改表格数据。", SS_LEFT, 16, 371, 536,
      24);

  // The group frames lie under the controls they surround.
  for (HWND group : groups) ::SetWindowPos(group, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  showPage(0);

  tools_.loadToolList();
  settings_.fillSettingsTab();
}

void ToolsWindow::showPage(int page) {
  for (int p = 0; p < 2; ++p) {
    for (HWND child : pages_[p]) ::ShowWindow(child, p == page ? SW_SHOW : SW_HIDE);
  }
}

void ToolsWindow::appendRow(std::string_view number, std::string_view name) {
  HWND list = control(超级列表框1);
  std::wstring numberText = utf8ToWide(number), nameText = utf8ToWide(name);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = rowCount();
  item.pszText = numberText.data();
  const auto row = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  item.iItem = row;
  item.iSubItem = 1;
  item.pszText = nameText.data();
  ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::optional<std::string> ToolsWindow::browseForFolder(std::string_view title) {
  const std::wstring wideTitle = utf8ToWide(title);
  BROWSEINFOW info{};
  info.hwndOwner = hwnd_;
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
  if (chosen == nullptr) return std::nullopt;
  win::unique_cotaskmem owned(chosen);
  std::wstring path(MAX_PATH * 4, L'\0');
  if (!::SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) {
    return std::nullopt;
  }
  path.resize(std::wcslen(path.c_str()));
  return wideToUtf8(path);
}

// The page controls report to the tab control, their parent; their reports belong to the window.
LRESULT CALLBACK ToolsWindow::tabProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR data) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return reinterpret_cast<ToolsWindow*>(data)->handle(message, wParam, lParam);
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, &ToolsWindow::tabProc, 1);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ToolsWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* window = static_cast<ToolsWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<ToolsWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (g_open == hwnd) g_open = nullptr;
    if (g_creating == window) g_creating = nullptr;
    delete window;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return window->handle(message, wParam, lParam);
}

LRESULT ToolsWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      onCreate();
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == 选择夹1 && header->code == TCN_SELCHANGE) {
        showPage(static_cast<int>(::SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
      } else if (header->idFrom == 超级列表框1 && header->code == NM_CLICK) {
        tools_.showToolPicture();
      }
      return 0;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (code == kGridClicked) {
        settings_.gridClicked(id == 高级表格_版本 ? ChosenGrid::Versions : ChosenGrid::Sizes);
      } else if (code == kPicturePressed && id == 图片框_广告) {
        tools_.openToolLink();
      } else if (code == BN_CLICKED) {
        switch (id) {
          case 按钮_增加: settings_.addRowClicked(); break;
          case 按钮_删除: settings_.deleteRowClicked(); break;
          case 按钮_保存:
            settings_.saveClicked();  // ends by destroying the window: `this` is gone afterwards
            return 0;
          case 按钮_路径: settings_.browseClicked(); break;
          case 选择框_长度: settings_.optionChanged(ToolOption::ActualSize); break;
          case 选择框_文件夹: settings_.optionChanged(ToolOption::FolderMode); break;
          case 选择框_路径: settings_.optionChanged(ToolOption::LockPath); break;
          default: break;
        }
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      // Labels, check boxes and group frames take the tab page's own background.
      wchar_t cls[16] = {};
      ::GetClassNameW(reinterpret_cast<HWND>(lParam), cls, 16);
      if (::lstrcmpiW(cls, L"EDIT") == 0) break;
      ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    case WM_DESTROY:
      settings_.windowDestroyed();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace

HWND openToolsWindow(HWND owner, ToolsWindowHost& host) {
  if (g_open != nullptr) {
    if (::IsIconic(g_open)) ::ShowWindow(g_open, SW_RESTORE);
    ::SetForegroundWindow(g_open);
    ::BringWindowToTop(g_open);
    return g_open;
  }
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &ToolsWindow::windowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return ::RegisterClassExW(&wc) != 0;
  }();
  if (!registered) return nullptr;
  HDC screen = ::GetDC(nullptr);
  int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  if (dpi <= 0) dpi = 96;
  auto* window = new ToolsWindow(host, dpi);
  g_creating = window;
  // The creation handler fetches the list and fills the settings tab before the window is shown.
  HWND hwnd = ::CreateWindowExW(0, kClassName, utf8ToWide(kCaption).c_str(),
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, window->scale(50),
                                window->scale(50), window->scale(590), window->scale(430), owner, nullptr,
                                ::GetModuleHandleW(nullptr), window);
  const bool stillOwned = g_creating == window;  // WM_NCDESTROY deletes it once a window existed
  g_creating = nullptr;
  if (hwnd == nullptr) {
    if (stillOwned) delete window;
    return nullptr;
  }
  g_open = hwnd;
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  ::UpdateWindow(hwnd);
  return hwnd;
}

HWND toolsWindow() { return g_open; }

}  // namespace plenvo
