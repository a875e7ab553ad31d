// A small editable grid control for the tools window: a fixed header row and first column, 24-pixel rows
// (at 96 DPI),
// grid lines and background in the model's colours, a current cell, a vertical scroll bar, and in-place
// editing of data cells with an edit control (double click, F2, Enter or typing; Enter or leaving commits,
// Esc cancels). It draws a GridModel and tells its parent about clicks.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/tools/settings_tab.h"

namespace plenvo {

// Sent to the parent as WM_COMMAND (MAKEWPARAM(id, kGridClicked), hwnd) when the left button is released
// over the grid.
inline constexpr WORD kGridClicked = 0x0F01;

// Messages the grid answers, also from other processes (the end-to-end driver):
inline constexpr UINT kGridGetRowCount = WM_APP + 0x40;    // -> rows, header included
inline constexpr UINT kGridGetCurrentRow = WM_APP + 0x41;  // -> the current cell's row, or -1
inline constexpr UINT kGridSetCurrent = WM_APP + 0x42;     // wParam row, lParam column (-1: none)
inline constexpr UINT kGridGetColours = WM_APP + 0x43;     // -> line colour, background in the high dword
// WM_GETTEXT gives the current cell's text; WM_GETTEXTLENGTH its length.

class GridWindow : public GridControl {
 public:
  // `place` in pixels; `dpi` scales the rows, columns and padding of the design (96: as designed).
  static std::unique_ptr<GridWindow> create(HWND parent, int id, RECT place, int columns, HFONT font, int dpi = 96);
  ~GridWindow() override;

  HWND hwnd() const { return hwnd_; }

  GridModel& model() override { return model_; }
  void modelChanged() override;
  void focus() override;
  void scrollToLastRow() override;

 private:
  explicit GridWindow(int columns) : model_(columns) {}
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  void paint(HDC dc);
  int visibleRows() const;
  void updateScrollBar();
  void scrollTo(int topRow);
  bool cellAt(POINT point, GridCell& cell) const;
  RECT cellRect(int row, int column) const;
  void moveCurrent(int rowStep, int columnStep);
  void ensureVisible(int row);
  void beginEdit(const wchar_t* initialText);
  void endEdit(bool commit);

  int scale(int value) const { return ::MulDiv(value, dpi_, 96); }
  int rowHeight() const { return scale(kGridRowHeight); }
  int columnWidth(int column) const { return scale(model_.columnWidth(column)); }

  GridModel model_;
  int dpi_ = 96;
  HWND hwnd_ = nullptr;
  HWND edit_ = nullptr;
  GridCell editing_;
  HFONT font_ = nullptr;
  int topRow_ = 1;  // the first data row shown under the header
};

}  // namespace plenvo
