// The tools window's grid control: drawing, scrolling, the current cell and in-place editing.
#include "ui/tools/win/grid_control.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <string>

#include "core/text_codec.h"

namespace plenvo {

namespace {

constexpr wchar_t kClassName[] = L"PlenvoGrid";
constexpr int kCellPadding = 3;

COLORREF toColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

void fill(HDC dc, const RECT& rect, COLORREF colour) {
  ::SetBkColor(dc, colour);
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

}  // namespace

std::unique_ptr<GridWindow> GridWindow::create(HWND parent, int id, RECT place, int columns, HFONT font, int dpi) {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &GridWindow::windowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    return ::RegisterClassExW(&wc) != 0;
  }();
  if (!registered) return nullptr;
  std::unique_ptr<GridWindow> grid(new GridWindow(columns));
  grid->font_ = font;
  grid->dpi_ = dpi > 0 ? dpi : 96;
  HWND hwnd = ::CreateWindowExW(WS_EX_CLIENTEDGE, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP,
                                place.left, place.top, place.right - place.left, place.bottom - place.top,
                                parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                ::GetModuleHandleW(nullptr), grid.get());
  if (hwnd == nullptr) return nullptr;
  grid->updateScrollBar();
  return grid;
}

GridWindow::~GridWindow() {
  if (hwnd_ != nullptr) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
}

LRESULT CALLBACK GridWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* grid = static_cast<GridWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    grid->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(grid));
  }
  auto* grid = reinterpret_cast<GridWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (grid == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    grid->hwnd_ = nullptr;
    grid->edit_ = nullptr;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return grid->handle(message, wParam, lParam);
}

LRESULT GridWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd_, &ps);
      paint(dc);
      ::EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      updateScrollBar();
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      ::InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_LBUTTONDOWN: {
      endEdit(true);
      ::SetFocus(hwnd_);
      GridCell cell;
      if (cellAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, cell) && cell.row >= 1) {
        model_.setCurrent(cell);
        ::InvalidateRect(hwnd_, nullptr, FALSE);
      }
      return 0;
    }
    case WM_LBUTTONUP:
      ::SendMessageW(::GetParent(hwnd_), WM_COMMAND,
                     MAKEWPARAM(static_cast<WORD>(::GetDlgCtrlID(hwnd_)), kGridClicked),
                     reinterpret_cast<LPARAM>(hwnd_));
      return 0;
    case WM_LBUTTONDBLCLK: {
      GridCell cell;
      if (cellAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, cell) && model_.editable(cell.row, cell.column)) {
        model_.setCurrent(cell);
        beginEdit(nullptr);
      }
      return 0;
    }
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_UP: moveCurrent(-1, 0); return 0;
        case VK_DOWN: moveCurrent(1, 0); return 0;
        case VK_LEFT: moveCurrent(0, -1); return 0;
        case VK_RIGHT: moveCurrent(0, 1); return 0;
        case VK_PRIOR: moveCurrent(-std::max(visibleRows(), 1), 0); return 0;
        case VK_NEXT: moveCurrent(std::max(visibleRows(), 1), 0); return 0;
        case VK_F2:
        case VK_RETURN: beginEdit(nullptr); return 0;
        default: break;
      }
      break;
    case WM_CHAR:
      if (wParam >= 0x20 && wParam != 0x7F) {
        const wchar_t typed[2] = {static_cast<wchar_t>(wParam), 0};
        beginEdit(typed);
      }
      return 0;
    case WM_MOUSEWHEEL:
      endEdit(true);
      scrollTo(topRow_ - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * 3);
      return 0;
    case WM_VSCROLL: {
      endEdit(true);
      SCROLLINFO si{sizeof si, SIF_ALL};
      ::GetScrollInfo(hwnd_, SB_VERT, &si);
      int top = topRow_;
      switch (LOWORD(wParam)) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= std::max(visibleRows(), 1); break;
        case SB_PAGEDOWN: top += std::max(visibleRows(), 1); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = si.nTrackPos + 1; break;
        case SB_TOP: top = 1; break;
        case SB_BOTTOM: top = model_.rowCount(); break;
        default: break;
      }
      scrollTo(top);
      return 0;
    }
    case WM_GETTEXTLENGTH:
    case WM_GETTEXT: {
      std::wstring text;
      if (auto current = model_.current()) text = utf8ToWide(model_.text(current->row, current->column));
      if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(text.size());
      auto* buffer = reinterpret_cast<wchar_t*>(lParam);
      const std::size_t capacity = static_cast<std::size_t>(wParam);
      if (buffer == nullptr || capacity == 0) return 0;
      const std::size_t n = std::min(text.size(), capacity - 1);
      std::copy_n(text.data(), n, buffer);
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case kGridGetRowCount:
      return model_.rowCount();
    case kGridGetCurrentRow:
      return model_.current() ? model_.current()->row : -1;
    case kGridSetCurrent:
      endEdit(true);
      if (static_cast<int>(lParam) < 0) {
        model_.setCurrent(std::nullopt);
      } else {
        model_.setCurrent(GridCell{static_cast<int>(wParam), static_cast<int>(lParam)});
      }
      if (model_.current()) ensureVisible(model_.current()->row);
      ::InvalidateRect(hwnd_, nullptr, FALSE);
      return model_.current() ? 1 : 0;
    case kGridGetColours:
      return static_cast<LRESULT>(static_cast<std::uint64_t>(model_.backgroundColour()) << 32 | model_.lineColour());
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

int GridWindow::visibleRows() const {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  return std::max(0, static_cast<int>(client.bottom) / rowHeight() - 1);
}

void GridWindow::updateScrollBar() {
  if (hwnd_ == nullptr) return;
  const int dataRows = model_.rowCount() - 1;
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL};
  si.nMin = 0;
  si.nMax = std::max(dataRows - 1, 0);
  si.nPage = static_cast<UINT>(std::max(visibleRows(), 1));
  si.nPos = topRow_ - 1;
  ::SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
}

void GridWindow::scrollTo(int topRow) {
  const int maxTop = std::max(1, model_.rowCount() - visibleRows());
  topRow = std::clamp(topRow, 1, maxTop);
  if (topRow == topRow_) return;
  topRow_ = topRow;
  updateScrollBar();
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void GridWindow::ensureVisible(int row) {
  const int visible = std::max(visibleRows(), 1);
  if (row < topRow_) {
    scrollTo(row);
  } else if (row >= topRow_ + visible) {
    scrollTo(row - visible + 1);
  }
}

RECT GridWindow::cellRect(int row, int column) const {
  int x = 0;
  for (int c = 0; c < column; ++c) x += columnWidth(c);
  const int y = row == 0 ? 0 : (row - topRow_ + 1) * rowHeight();
  return RECT{x, y, x + columnWidth(column), y + rowHeight()};
}

bool GridWindow::cellAt(POINT point, GridCell& cell) const {
  if (point.x < 0 || point.y < 0) return false;
  int x = 0, column = -1;
  for (int c = 0; c < model_.columnCount(); ++c) {
    if (point.x < x + columnWidth(c)) {
      column = c;
      break;
    }
    x += columnWidth(c);
  }
  if (column < 0) return false;
  const int band = point.y / rowHeight();
  const int row = band == 0 ? 0 : topRow_ + band - 1;
  if (row >= model_.rowCount()) return false;
  cell = GridCell{row, column};
  return true;
}

void GridWindow::moveCurrent(int rowStep, int columnStep) {
  endEdit(true);
  if (model_.rowCount() <= 1) return;
  GridCell cell = model_.current().value_or(GridCell{topRow_, 1});
  cell.row = std::clamp(cell.row + rowStep, 1, model_.rowCount() - 1);
  cell.column = std::clamp(cell.column + columnStep, 0, model_.columnCount() - 1);
  model_.setCurrent(cell);
  ensureVisible(cell.row);
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void GridWindow::beginEdit(const wchar_t* initialText) {
  endEdit(true);
  const std::optional<GridCell> current = model_.current();
  if (!current || !model_.editable(current->row, current->column)) return;
  ensureVisible(current->row);
  editing_ = *current;
  RECT rect = cellRect(current->row, current->column);
  const std::wstring text = initialText != nullptr ? std::wstring(initialText)
                                                   : utf8ToWide(model_.text(current->row, current->column));
  edit_ = ::CreateWindowExW(0, L"EDIT", text.c_str(), WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, rect.left + 1,
                            rect.top + 1, rect.right - rect.left - 1, rect.bottom - rect.top - 1, hwnd_, nullptr,
                            ::GetModuleHandleW(nullptr), nullptr);
  if (edit_ == nullptr) return;
  ::SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  ::SetWindowSubclass(edit_, &GridWindow::editProc, 1, reinterpret_cast<DWORD_PTR>(this));
  ::SetFocus(edit_);
  const int length = static_cast<int>(text.size());
  ::SendMessageW(edit_, EM_SETSEL, initialText != nullptr ? length : 0, length);
}

void GridWindow::endEdit(bool commit) {
  if (edit_ == nullptr) return;
  HWND edit = edit_;
  edit_ = nullptr;  // the focus change below comes back here
  if (commit) {
    const int length = ::GetWindowTextLengthW(edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::GetWindowTextW(edit, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    model_.setText(editing_.row, editing_.column, wideToUtf8(text));
  }
  const bool hadFocus = ::GetFocus() == edit;
  ::DestroyWindow(edit);
  if (hadFocus) ::SetFocus(hwnd_);
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT CALLBACK GridWindow::editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR data) {
  auto* grid = reinterpret_cast<GridWindow*>(data);
  switch (message) {
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
        grid->endEdit(wParam == VK_RETURN);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == '\r' || wParam == 0x1B) return 0;  // no beep
      break;
    case WM_KILLFOCUS: {
      // Leaving the editor commits it; the editor is destroyed after its own handling of the message.
      const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
      grid->endEdit(true);
      return result;
    }
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, &GridWindow::editProc, 1);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

void GridWindow::modelChanged() {
  endEdit(true);
  scrollTo(topRow_);  // clamps after rows were removed
  updateScrollBar();
  if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void GridWindow::focus() {
  if (hwnd_ != nullptr) ::SetFocus(hwnd_);
}

void GridWindow::scrollToLastRow() {
  ensureVisible(model_.rowCount() - 1);
}

void GridWindow::paint(HDC target) {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  HDC dc = ::CreateCompatibleDC(target);
  HBITMAP bitmap = ::CreateCompatibleBitmap(target, std::max<int>(client.right, 1), std::max<int>(client.bottom, 1));
  HGDIOBJ oldBitmap = ::SelectObject(dc, bitmap);
  HGDIOBJ oldFont = ::SelectObject(dc, font_ != nullptr ? font_ : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  fill(dc, client, ::GetSysColor(COLOR_WINDOW));

  const COLORREF fixedColour = ::GetSysColor(COLOR_BTNFACE);
  const COLORREF cellColour = toColorRef(model_.backgroundColour());
  const COLORREF lineColour = toColorRef(model_.lineColour());
  int totalWidth = 0;
  for (int c = 0; c < model_.columnCount(); ++c) totalWidth += columnWidth(c);
  int bottom = 0;
  auto drawRow = [&](int row) {
    for (int c = 0; c < model_.columnCount(); ++c) {
      RECT rect = cellRect(row, c);
      const bool fixed = row == 0 || c == 0;
      fill(dc, rect, fixed ? fixedColour : cellColour);
      ::SetTextColor(dc, RGB(0, 0, 0));
      RECT textRect{rect.left + scale(kCellPadding), rect.top, rect.right - scale(kCellPadding), rect.bottom};
      const std::wstring text = utf8ToWide(model_.text(row, c));
      const UINT align = fixed && (row == 0 ? model_.headerCentred() : true) ? DT_CENTER : DT_LEFT;
      ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                  align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    bottom = cellRect(row, 0).bottom;
  };
  drawRow(0);
  for (int row = topRow_; row < model_.rowCount() && cellRect(row, 0).top < client.bottom; ++row) drawRow(row);

  HPEN pen = ::CreatePen(PS_SOLID, 1, lineColour);
  HGDIOBJ oldPen = ::SelectObject(dc, pen);
  for (int y = rowHeight() - 1; y < bottom; y += rowHeight()) {
    ::MoveToEx(dc, 0, y, nullptr);
    ::LineTo(dc, totalWidth, y);
  }
  for (int c = 0, x = 0; c < model_.columnCount(); ++c) {
    x += columnWidth(c);
    ::MoveToEx(dc, x - 1, 0, nullptr);
    ::LineTo(dc, x - 1, bottom);
  }
  ::SelectObject(dc, oldPen);
  ::DeleteObject(pen);

  if (auto current = model_.current(); current && current->row >= topRow_) {
    RECT rect = cellRect(current->row, current->column);
    HPEN framePen = ::CreatePen(PS_SOLID, 2, ::GetFocus() == hwnd_ ? RGB(0, 0, 160) : RGB(96, 96, 96));
    HGDIOBJ previousPen = ::SelectObject(dc, framePen);
    HGDIOBJ previousBrush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
    ::Rectangle(dc, rect.left + 1, rect.top + 1, rect.right, rect.bottom);
    ::SelectObject(dc, previousBrush);
    ::SelectObject(dc, previousPen);
    ::DeleteObject(framePen);
  }

  ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  ::SelectObject(dc, oldFont);
  ::SelectObject(dc, oldBitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
}

}  // namespace plenvo
