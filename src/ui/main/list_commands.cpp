// The drawing list's commands, step by step as the list view sees them.
#include "ui/main/list_commands.h"

#include <algorithm>
#include <string>
#include <vector>

#include "ui/main/main_texts.h"

namespace plenvo {
namespace {

struct RowTexts {
  std::string number;
  std::string path;
};

RowTexts texts(const DrawingList& list, int row) {
  return {list.cellText(row, kColumnNumber), list.cellText(row, kColumnPath)};
}

void writeTexts(DrawingList& list, int row, const RowTexts& t) {
  list.setCellText(row, kColumnNumber, t.number);
  list.setCellText(row, kColumnPath, t.path);
}

// The end-of-list message; the list takes the focus and the command ends.
void refuse(DrawingList& list, const ListEndNotice& notice, std::string_view text) {
  notice(Message{std::string(text), std::string(kCaptionListEnd), MessageButtons::Ok, MessageIcon::Information});
  list.focusList();
}

std::vector<int> selection(const DrawingList& list, bool descending) {
  std::vector<int> s = list.selectedRows();
  if (descending)
    std::sort(s.begin(), s.end(), std::greater<>());
  else
    std::sort(s.begin(), s.end());
  return s;
}

}  // namespace

void moveUp(DrawingList& list, const ListEndNotice& notice) {
  const std::vector<int> s = selection(list, false);
  if (s.empty()) return;
  for (int e : s) {
    if (e == 0) return refuse(list, notice, kAtTopText);
    const RowTexts saved = texts(list, e);
    writeTexts(list, e, texts(list, e - 1));
    writeTexts(list, e - 1, saved);
  }
  for (int e : s) {
    list.deselectRow(e);
    list.selectRow(e - 1);
  }
  list.focusList();
}

void moveDown(DrawingList& list, const ListEndNotice& notice) {
  const std::vector<int> s = selection(list, true);
  if (s.empty()) return;
  for (int e : s) {
    if (e == list.rowCount() - 1) return refuse(list, notice, kAtBottomText);
    const RowTexts saved = texts(list, e);
    writeTexts(list, e, texts(list, e + 1));
    writeTexts(list, e + 1, saved);
  }
  for (int e : s) {
    list.deselectRow(e);
    list.selectRow(e + 1);
  }
  list.focusList();
}

void moveToTop(DrawingList& list, const ListEndNotice& notice) {
  const std::vector<int> s = selection(list, false);
  if (s.empty()) return;
  int k = 0;  // the next free place at the top
  for (int e : s) {
    if (e == 0) return refuse(list, notice, kAlreadyTopText);
    const RowTexts moving = texts(list, e);
    writeTexts(list, e, texts(list, e - 1));
    const int top = list.insertRow(k, moving.number);
    list.setCellText(top, kColumnPath, moving.path);
    list.deleteRow(e);  // after the insertion: the former row e - 1, copied one place down above
    list.deselectRow(e);
    ++k;
  }
  for (int row = 0; row < static_cast<int>(s.size()); ++row) list.selectRow(row);
  list.focusList();
}

void moveToBottom(DrawingList& list, const ListEndNotice& notice) {
  const std::vector<int> s = selection(list, true);
  if (s.empty()) return;
  if (s.front() == list.rowCount() - 1) return refuse(list, notice, kAlreadyBottomText);
  for (int i = 0; i < static_cast<int>(s.size()); ++i) {
    const int e = s[static_cast<size_t>(i)];
    const RowTexts moving = texts(list, e);
    list.deleteRow(e);
    const int n = list.rowCount();
    const int row = list.insertRow(n - i, moving.number);
    list.setCellText(row, kColumnPath, moving.path);
    list.selectRow(row);
  }
  list.focusList();
}

void deleteSelected(DrawingList& list) {
  // Deleting selects no other row, so this removes the one selected row; the count guard keeps a list that
  // failed to delete from spinning here.
  for (int row = list.currentRow(); row != -1; row = list.currentRow()) {
    const int before = list.rowCount();
    list.deleteRow(row);
    if (list.rowCount() >= before) break;
  }
}

void clearList(DrawingList& list) { list.deleteAllRows(); }

}  // namespace plenvo
