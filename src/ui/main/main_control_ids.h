// The main window's control ids, named after the controls of its design. The window creates its controls
// with these ids; the end-to-end driver finds them by the same ids.
#pragma once

namespace plenvo {

enum MainControlId : int {
  标签1 = 1001,
  标签9,
  选择框_网页,
  按钮_广告,
  分组框1,
  单选框_横,
  单选框_竖,
  单选框_混,
  单选框_定,
  分组框3,
  标签2,
  编辑框_间距,
  标签_行数量,
  编辑框_行数量,
  标签6,
  组合框_尺寸,
  标签3,
  编辑框_水平尺寸,
  标签4,
  编辑框_垂直尺寸,
  标签7,
  编辑框_定向水平数量,
  标签8,
  编辑框_定向垂直数量,
  超级列表框1,
  分组框2,
  按钮_增加,
  按钮_上移,
  按钮_删除,
  按钮_下移,
  按钮_清空,
  按钮_置顶,
  按钮_关闭,
  按钮_置底,
  标签11,
  选择框_炸开,
  标签10,
  按钮_开始合图,
  选择框_图框,
  标签5,
};

// The main window's class name, for the end-to-end driver.
inline constexpr wchar_t kMainWindowClass[] = L"PlenvoMainWindow";

}  // namespace plenvo
