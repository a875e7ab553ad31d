// The main window: its controls at the places of its design (scaled by the system DPI), fonts and colours,
// and every control event handed to the presenter.
#include "ui/main/win/main_window_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include "core/text_codec.h"
#include "ui/main/main_control_ids.h"
#include "ui/main/main_texts.h"

#if PLENVO_HAVE_TOOLS_WINDOW
#include "ui/tools/win/tools_window.h"
#include "ui/tools/win/win_seams.h"
#endif

namespace plenvo {
namespace {

constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kSilver = RGB(0xC0, 0xC0, 0xC0);
constexpr DWORD kOpenFileBufferBytes = 61440;

int boxId(ParamBox box) {
  switch (box) {
    case ParamBox::Spacing: return 编辑框_间距;
    case ParamBox::PerRowCount: return 编辑框_行数量;
    case ParamBox::SheetLength: return 编辑框_水平尺寸;
    case ParamBox::SheetWidth: return 编辑框_垂直尺寸;
    case ParamBox::DirectedColumns: return 编辑框_定向水平数量;
    case ParamBox::DirectedRows: return 编辑框_定向垂直数量;
  }
  return 0;
}

int radioId(RadioButton button) {
  switch (button) {
    case RadioButton::Horizontal: return 单选框_横;
    case RadioButton::Vertical: return 单选框_竖;
    case RadioButton::Mixed: return 单选框_混;
    case RadioButton::Directed: return 单选框_定;
  }
  return 0;
}

int optionId(OptionBox box) {
  switch (box) {
    case OptionBox::Explode: return 选择框_炸开;
    case OptionBox::Frames: return 选择框_图框;
    case OptionBox::HelpPage: return 选择框_网页;
  }
  return 0;
}

std::string windowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return wideToUtf8(text);
}

HFONT makeFont(int height, int weight, BYTE charset, const wchar_t* face) {
  LOGFONTW font{};
  font.lfHeight = -height;
  font.lfWeight = weight;
  font.lfCharSet = charset;
  font.lfQuality = DEFAULT_QUALITY;
  if (face) lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

}  // namespace

MainWindow::~MainWindow() {
  if (hwnd_) SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
}

bool MainWindow::create(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &MainWindow::windowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainWindowClass;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  RegisterClassExW(&wc);

  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;

  // Not resizable; the title stays empty until the start-up sequence names the CAD application.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  CreateWindowExW(0, kMainWindowClass, L"", style, scale(50), scale(50), scale(850), scale(530), nullptr, nullptr,
                  instance, this);
  return hwnd_ != nullptr;
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      createControls();
      presenter_.emplace(*deps_.state, *this, list_, *deps_.system, *deps_.settings, *deps_.lookup,
                         *deps_.sleeper);
      presenter_->startUp();
      return 0;
    case WM_COMMAND:
      if (lParam != 0) onCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      // The three count boxes: white while enabled, silver while disabled (a disabled edit asks as a static).
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      auto it = countBoxEnabled_.find(id);
      if (it == countBoxEnabled_.end()) break;
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, it->second ? kWhite : kSilver);
      return reinterpret_cast<LRESULT>(it->second ? whiteBrush_.get() : silverBrush_.get());
    }
    case WM_SETCURSOR: {
      const HWND under = reinterpret_cast<HWND>(wParam);
      if (under == control(标签1) || under == control(标签5)) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_ACTIVATE:
      // Keep the focused control across deactivation, the way dialogs do, so that the add button keeps
      // the focus the start-up sequence gave it.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) focusChild_ = focus;
      } else if (focusChild_ && IsWindow(focusChild_) && !HIWORD(wParam)) {
        SetFocus(focusChild_);
        return 0;
      }
      break;
    case WM_CLOSE:  // the title bar's close: no question
      closing_ = true;
      break;
    case WM_DESTROY:
      closing_ = true;
      PostQuitMessage(0);
      return 0;
    default: break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MainWindow::onCommand(int id, int code) {
  if (!presenter_) return;
  MainPresenter& p = *presenter_;
  if (id == 组合框_尺寸) {
    if (code == CBN_SELCHANGE) p.onSizePicked(static_cast<int>(SendMessageW(control(id), CB_GETCURSEL, 0, 0)));
    return;
  }
  if (id == 标签1 || id == 标签5) {
    if (code == STN_CLICKED) p.onHomePageLabelClicked();
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case 单选框_横: return p.onHorizontal();
    case 单选框_竖: return p.onVertical();
    case 单选框_混: return p.onMixed();
    case 单选框_定: return p.onDirected();
    case 选择框_炸开: return p.onExplodeClicked();
    case 选择框_图框: return p.onFramesClicked();
    case 选择框_网页: return p.onHelpPageClicked();
    case 按钮_广告: return p.onToolsButtonClicked();
    case 按钮_增加: return p.onAdd();
    case 按钮_上移: return p.onMoveUp();
    case 按钮_下移: return p.onMoveDown();
    case 按钮_置顶: return p.onMoveToTop();
    case 按钮_置底: return p.onMoveToBottom();
    case 按钮_删除: return p.onDelete();
    case 按钮_清空: return p.onClear();
    case 按钮_关闭: return p.onCloseButtonClicked();
    case 按钮_开始合图: return p.runMerge();
    default: return;
  }
}

HWND MainWindow::addControl(int id, const wchar_t* className, const std::string& text, DWORD style, int x, int y,
                            int width, int height, DWORD exStyle) {
  HWND hwnd = CreateWindowExW(exStyle, className, utf8ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                              scale(x), scale(y), scale(width), scale(height), hwnd_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont_.get()), FALSE);
  return hwnd;
}

void MainWindow::createControls() {
  uiFont_.reset(makeFont(scale(12), FW_NORMAL, GB2312_CHARSET, L"宋体"));
  boldFont_.reset(makeFont(scale(12), FW_BOLD, GB2312_CHARSET, L"宋体"));
  headingFont_.reset(makeFont(scale(35), FW_NORMAL, GB2312_CHARSET, L"黑体"));
  startFont_.reset(makeFont(scale(19), FW_NORMAL, GB2312_CHARSET, L"黑体"));
  // The list's font is named: left to itself the font mapper may pick a face without these glyphs (under
  // Wine every character of the rows came out as a box).
  listFont_.reset(makeFont(scale(16), FW_NORMAL, GB2312_CHARSET, L"宋体"));
  whiteBrush_.reset(CreateSolidBrush(kWhite));
  silverBrush_.reset(CreateSolidBrush(kSilver));

  const DWORD label = SS_LEFT | SS_CENTERIMAGE;
  const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
  const DWORD check = WS_TABSTOP | BS_AUTOCHECKBOX;
  const DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL;

  // The heading and the top right corner.
  HWND heading = addControl(标签1, L"STATIC", "Plenvo", SS_CENTER | SS_CENTERIMAGE | SS_NOTIFY, 259, 16, 277, 40);
  SendMessageW(heading, WM_SETFONT, reinterpret_cast<WPARAM>(headingFont_.get()), FALSE);
  addControl(标签9, L"STATIC", "V3.3", label, 539, 36, 39, 16);
  addControl(选择框_网页, L"BUTTON", "启动后打开帮助页面", check, 709, 6, 128, 16);
  HWND tools = addControl(按钮_广告, L"BUTTON", "CAD工具及设置", button, 708, 24, 130, 32);
  SendMessageW(tools, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);

  // 分组框1: the arrangement. Controls are children of the window, placed inside the group's area.
  const int g1x = 5, g1y = 77;
  addControl(分组框1, L"BUTTON", "排列方式", BS_GROUPBOX, g1x, g1y, 211, 95);
  const DWORD radio = WS_TABSTOP | BS_RADIOBUTTON;
  addControl(单选框_横, L"BUTTON", "横    排", radio | WS_GROUP, g1x + 11, g1y + 25, 88, 24);
  addControl(单选框_竖, L"BUTTON", "竖    排", radio, g1x + 119, g1y + 25, 88, 24);
  addControl(单选框_混, L"BUTTON", "混 合 排", radio, g1x + 11, g1y + 58, 88, 24);
  addControl(单选框_定, L"BUTTON", "定 向 排", radio, g1x + 119, g1y + 58, 88, 24);

  // 分组框3: the parameters.
  const int g3x = 220, g3y = 77;
  addControl(分组框3, L"BUTTON", "参数设置", BS_GROUPBOX | WS_GROUP, g3x, g3y, 620, 95);
  const DWORD editEx = WS_EX_CLIENTEDGE;
  addControl(标签2, L"STATIC", "图纸间距:", label, g3x + 8, g3y + 28, 70, 24);
  addControl(编辑框_间距, L"EDIT", "50", edit, g3x + 80, g3y + 28, 60, 24, editEx);
  addControl(标签_行数量, L"STATIC", "每行数量:", label, g3x + 168, g3y + 28, 72, 24);
  addControl(编辑框_行数量, L"EDIT", "10", edit, g3x + 241, g3y + 28, 60, 24, editEx);
  addControl(标签6, L"STATIC", "图纸尺寸:", label, g3x + 338, g3y + 28, 72, 24);
  // The drop-down's height includes its open list.
  addControl(组合框_尺寸, L"COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, g3x + 413, g3y + 28, 194, 300);
  addControl(标签3, L"STATIC", "图纸长度:", label, g3x + 8, g3y + 60, 70, 24);
  addControl(编辑框_水平尺寸, L"EDIT", "420", edit, g3x + 80, g3y + 59, 60, 24, editEx);
  addControl(标签4, L"STATIC", "图纸宽度:", label, g3x + 168, g3y + 60, 70, 24);
  addControl(编辑框_垂直尺寸, L"EDIT", "297", edit, g3x + 242, g3y + 62, 60, 24, editEx);
  addControl(标签7, L"STATIC", "定向水平数:", label, g3x + 337, g3y + 60, 91, 24);
  addControl(编辑框_定向水平数量, L"EDIT", "4", edit, g3x + 428, g3y + 60, 35, 24, editEx);
  addControl(标签8, L"STATIC", "定向垂直数:", label, g3x + 481, g3y + 59, 91, 24);
  addControl(编辑框_定向垂直数量, L"EDIT", "3", edit, g3x + 572, g3y + 59, 35, 24, editEx);
  for (int id : {编辑框_行数量, 编辑框_定向水平数量, 编辑框_定向垂直数量}) countBoxEnabled_[id] = true;

  // The drawing list.
  HWND listView = addControl(超级列表框1, WC_LISTVIEWW, "",
                             WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                             5, 181, 630, 296, WS_EX_CLIENTEDGE);
  SendMessageW(listView, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_.get()), FALSE);
  SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  SendMessageW(listView, LVM_SETBKCOLOR, 0, kWhite);
  SendMessageW(listView, LVM_SETTEXTBKCOLOR, 0, kWhite);
  SendMessageW(listView, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
  struct Column {
    const char* title;
    int width;
  };
  const Column columns[] = {{"序号", 50}, {"文件名", 290}, {"大小", 100}, {"时间", 160}};
  for (int i = 0; i < 4; ++i) {
    std::wstring title = utf8ToWide(columns[i].title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = scale(columns[i].width);
    column.pszText = title.data();
    SendMessageW(listView, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
  }
  list_.attach(listView);

  // 分组框2: the list commands and the start button.
  const int g2x = 640, g2y = 173;
  addControl(分组框2, L"BUTTON", "图纸文件操作", BS_GROUPBOX | WS_GROUP, g2x, g2y, 200, 305);
  addControl(按钮_增加, L"BUTTON", "增加", button, g2x + 12, g2y + 26, 80, 35);
  addControl(按钮_上移, L"BUTTON", "上移", button, g2x + 108, g2y + 26, 80, 35);
  addControl(按钮_删除, L"BUTTON", "删除", button, g2x + 12, g2y + 64, 80, 35);
  addControl(按钮_下移, L"BUTTON", "下移", button, g2x + 108, g2y + 64, 80, 35);
  addControl(按钮_清空, L"BUTTON", "清空", button, g2x + 12, g2y + 120, 80, 35);
  addControl(按钮_置顶, L"BUTTON", "置顶", button, g2x + 108, g2y + 120, 80, 35);
  addControl(按钮_关闭, L"BUTTON", "关闭", button, g2x + 12, g2y + 159, 80, 35);
  addControl(按钮_置底, L"BUTTON", "置底", button, g2x + 108, g2y + 159, 80, 35);
  // 选择框_图框 belongs to the window but sits in the group's area, left of its caption 标签11.
  addControl(选择框_图框, L"BUTTON", "-", check, 656, 379, 25, 15);
  addControl(标签11, L"STATIC", "生成批量打印多段线图框", SS_LEFT, g2x + 45, g2y + 206, 135, 15);
  addControl(选择框_炸开, L"BUTTON", "-", check, g2x + 16, g2y + 227, 25, 20);
  addControl(标签10, L"STATIC", "合并后炸开(默认为图块)", SS_LEFT, g2x + 45, g2y + 228, 135, 15);
  HWND start = addControl(按钮_开始合图, L"BUTTON", "开始合图", button, g2x + 11, g2y + 253, 176, 40);
  SendMessageW(start, WM_SETFONT, reinterpret_cast<WPARAM>(startFont_.get()), FALSE);

  HWND notice = addControl(标签5, L"STATIC", bottomNoticeText(), SS_LEFT | SS_NOTIFY, 5, 480, 835, 20);
  SendMessageW(notice, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);
}

// ---- MainView ----

void MainWindow::setTitle(const std::string& title) { SetWindowTextW(hwnd_, utf8ToWide(title).c_str()); }

std::string MainWindow::paramText(ParamBox box) const { return windowText(control(boxId(box))); }

void MainWindow::setParamText(ParamBox box, const std::string& text) {
  SetWindowTextW(control(boxId(box)), utf8ToWide(text).c_str());
}

void MainWindow::setCountBoxEnabled(ParamBox box, bool enabled) {
  const int id = boxId(box);
  countBoxEnabled_[id] = enabled;
  EnableWindow(control(id), enabled);
  InvalidateRect(control(id), nullptr, TRUE);
}

void MainWindow::checkRadio(RadioButton button) {
  for (RadioButton b : {RadioButton::Horizontal, RadioButton::Vertical, RadioButton::Mixed, RadioButton::Directed})
    SendMessageW(control(radioId(b)), BM_SETCHECK, b == button ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool MainWindow::isTicked(OptionBox box) const {
  return SendMessageW(control(optionId(box)), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::setTicked(OptionBox box, bool ticked) {
  SendMessageW(control(optionId(box)), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::clearSizeItems() { SendMessageW(control(组合框_尺寸), CB_RESETCONTENT, 0, 0); }

void MainWindow::addSizeItem(const std::string& text) {
  SendMessageW(control(组合框_尺寸), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf8ToWide(text).c_str()));
}

int MainWindow::sizeItemCount() const {
  return static_cast<int>(SendMessageW(control(组合框_尺寸), CB_GETCOUNT, 0, 0));
}

void MainWindow::selectSizeItem(int position) {
  SendMessageW(control(组合框_尺寸), CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

void MainWindow::focusAddButton() {
  focusChild_ = control(按钮_增加);
  SetFocus(focusChild_);
}

MessageResult MainWindow::showMessage(const Message& message) {
  UINT type = message.buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
  if (message.icon == MessageIcon::Information) type |= MB_ICONINFORMATION;
  const int answer = MessageBoxW(hwnd_, utf8ToWide(message.text).c_str(), utf8ToWide(message.caption).c_str(), type);
  return answer == IDOK ? MessageResult::Ok : MessageResult::Cancel;
}

std::vector<std::string> MainWindow::chooseFiles(const OpenFilesRequest& request) {
  // "name\0pattern\0...\0\0"
  std::wstring filter;
  for (const FileFilter& f : request.filters) {
    filter += utf8ToWide(f.name);
    filter.push_back(L'\0');
    filter += utf8ToWide(f.pattern);
    filter.push_back(L'\0');
  }
  filter.push_back(L'\0');
  const std::wstring title = utf8ToWide(request.title);
  const std::wstring folder = utf8ToWide(request.initialFolder);
  std::vector<wchar_t> buffer(kOpenFileBufferBytes / sizeof(wchar_t), L'\0');

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  // A choice too long for the buffer fails like a cancel.
  if (!GetOpenFileNameW(&ofn)) return {};

  // One file: its full path. Several: the folder, then each name, each ended by a NUL, then a second NUL.
  std::vector<std::wstring> parts;
  for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) parts.emplace_back(p);
  if (parts.empty()) return {};
  if (parts.size() == 1) return {wideToUtf8(parts[0])};
  std::wstring dir = parts[0];
  if (dir.back() != L'\\') dir.push_back(L'\\');
  std::vector<std::string> paths;
  for (size_t i = 1; i < parts.size(); ++i) paths.push_back(wideToUtf8(dir + parts[i]));
  return paths;
}

std::string MainWindow::chooseFolder(const std::string& title) {
  const std::wstring text = utf8ToWide(title);
  BROWSEINFOW info{};
  info.hwndOwner = hwnd_;
  info.lpszTitle = text.c_str();
  // The new-style dialog: the classic one has no edit box under Wine. No "new folder" button: the user only picks.
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return {};
  win::unique_cotaskmem owned(chosen);
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(chosen, path)) return {};
  return wideToUtf8(path);
}

void MainWindow::openToolsWindow() {
#if PLENVO_HAVE_TOOLS_WINDOW
  plenvo::openToolsWindow(hwnd_, *this);
#endif
}

std::string MainWindow::settingsFilePath() { return deps_.settings->path(); }

void MainWindow::toolsWindowClosed() {
  if (!closing_ && presenter_) presenter_->onToolsWindowClosed();
}

void MainWindow::runUpdateCheck() {
#if PLENVO_HAVE_TOOLS_WINDOW
  runStartupUpdateCheck();
#endif
}

void MainWindow::destroyWindow() {
  closing_ = true;
  DestroyWindow(hwnd_);
}

}  // namespace plenvo
