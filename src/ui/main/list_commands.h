// The list's reordering and pruning commands (上移, 下移, 置顶, 置底, 删除, 清空). The moving commands carry
// a row's number and path (columns 0 and 1) only; sizes and times stay where they are, or are left empty
// in the row that 置顶 and 置底 rebuild.
#pragma once

#include <functional>

#include "ui/main/main_view.h"

namespace plenvo {

// Shows an end-of-list message ("提示", information icon, OK) owned by the main window.
using ListEndNotice = std::function<void(const Message&)>;

void moveUp(DrawingList& list, const ListEndNotice& notice);
void moveDown(DrawingList& list, const ListEndNotice& notice);
void moveToTop(DrawingList& list, const ListEndNotice& notice);
void moveToBottom(DrawingList& list, const ListEndNotice& notice);
void deleteSelected(DrawingList& list);
void clearList(DrawingList& list);

}  // namespace plenvo
