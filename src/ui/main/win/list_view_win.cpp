// The drawing list over the report-style list view 超级列表框1.
#include "ui/main/win/main_window_win.h"

#include <commctrl.h>

#include "core/text_codec.h"

namespace plenvo {

int ListViewDrawingList::rowCount() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

std::string ListViewDrawingList::cellText(int row, int column) const {
  // LVM_GETITEMTEXTW answers with the length copied; grow until the text fits.
  std::vector<wchar_t> buffer(512);
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto length = static_cast<size_t>(
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    if (length + 1 < buffer.size()) return wideToUtf8(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 4);
  }
}

void ListViewDrawingList::setCellText(int row, int column, const std::string& text) {
  std::wstring wide = utf8ToWide(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = wide.data();
  SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int ListViewDrawingList::insertRow(int position, const std::string& number) {
  const int count = rowCount();
  std::wstring wide = utf8ToWide(number);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = position < 0 || position > count ? count : position;
  item.pszText = wide.data();
  return static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListViewDrawingList::deleteRow(int row) { SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(row), 0); }

void ListViewDrawingList::deleteAllRows() { SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0); }

std::vector<int> ListViewDrawingList::selectedRows() const {
  std::vector<int> rows;
  for (int row = -1;;) {
    row = static_cast<int>(
        SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(row), MAKELPARAM(LVNI_SELECTED, 0)));
    if (row < 0) break;
    rows.push_back(row);
  }
  return rows;
}

namespace {
void setState(HWND list, int row, UINT state, UINT mask) {
  LVITEMW item{};
  item.stateMask = mask;
  item.state = state;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}
}  // namespace

void ListViewDrawingList::selectRow(int row) {
  setState(list_, -1, 0, LVIS_SELECTED);  // every row
  setState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(list_, LVM_SETSELECTIONMARK, 0, row);
}

void ListViewDrawingList::deselectRow(int row) { setState(list_, row, 0, LVIS_SELECTED); }

int ListViewDrawingList::currentRow() const {
  return static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

void ListViewDrawingList::setCurrentRow(int row) {
  if (row >= 0 && row < rowCount()) selectRow(row);
}

void ListViewDrawingList::ensureVisible(int row) {
  SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void ListViewDrawingList::focusList() { SetFocus(list_); }

}  // namespace plenvo
