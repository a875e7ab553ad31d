// The main window's own texts and the maker's addresses, in one place.
#pragma once

#include <string>
#include <string_view>

#include "ui/site.h"

namespace plenvo {

// The maker's web site and contact group.
inline constexpr std::string_view kMakerHomePage = "https://www.plenvo.example/";
inline constexpr std::string_view kHelpPage = "https://www.plenvo.example/?post=73";
inline constexpr std::string_view kContactGroupNumber = "";         // in 标签5's text
inline constexpr std::string_view kCloseQuestionGroupNumber = "";   // in the closing question's caption
static_assert(kMakerHomePage.substr(8, kSiteHost.size()) == kSiteHost && kHelpPage.starts_with(kMakerHomePage),
              "the home and help pages live on the maker's site");

// The help page opens at every start while 帮助 is "1", and at every start whose run count divides by this.
inline constexpr int kHelpPageEveryNthRun = 20;

inline constexpr std::string_view kPartFrameFileName = "零件图框.dwg";

// Texts padded with `before` and `after` ASCII spaces, the way the program's message boxes centre them.
inline std::string padded(std::string_view text, int before, int after) {
  return std::string(static_cast<size_t>(before), ' ') + std::string(text) + std::string(static_cast<size_t>(after), ' ');
}

// Start command.
inline constexpr std::string_view kCaptionNotice = "提示：";
inline constexpr std::string_view kNoCadText = "请打开CAD软件";
inline constexpr std::string_view kEmptyListText = "请增加要合图的CAD文件！";
inline constexpr std::string_view kStartNoticeText = "将在打开的第一个CAD中起始点坐标处开始合并，期间请不要操作!";
inline constexpr std::string_view kStartNoticeCaption = "准备开始合并文件";
inline constexpr std::string_view kDoneText = "在打开的第一个CAD文件中，合并完毕！";
inline constexpr std::string_view kPerRowCountText = "每行数量必须大于0";
inline constexpr std::string_view kDirectedColumnsText = "定向水平数必须大于0";
inline constexpr std::string_view kDirectedRowsText = "定向垂直数必须大于0";
inline constexpr std::string_view kNotMergedText = "以下CAD文件未能合并，请检查：";
inline constexpr int kMessagePad = 26;
inline constexpr int kStartNoticePadBefore = 11;
inline constexpr int kStartNoticePadAfter = 9;

// List commands.
inline constexpr std::string_view kCaptionListEnd = "提示";
inline constexpr std::string_view kAtTopText = "到顶啦！";
inline constexpr std::string_view kAtBottomText = "到底啦！";
inline constexpr std::string_view kAlreadyTopText = "已经到顶啦！！";
inline constexpr std::string_view kAlreadyBottomText = "已经到底啦！！";

// Adding drawings.
inline constexpr std::string_view kOpenFilesTitle = "请选择要合并的CAD文件";
inline constexpr std::string_view kChooseFolderTitle = "请选择要获取文件的文件夹";

// Closing.
inline constexpr std::string_view kCloseQuestionText = "你确定要关闭本工具吗？";
inline constexpr int kCloseQuestionPadBefore = 18;
inline constexpr int kCloseQuestionPadAfter = 13;
inline std::string closeQuestionCaption() {
  return "QQ群:" + std::string(kCloseQuestionGroupNumber) + " 提示：";
}

// 标签5, the notice along the window's bottom edge.
inline std::string bottomNoticeText() {
  return "提示:本工具将单CAD合并成一个CAD文件,方便查看或打印,适用所有CAD版本,同时支持国产CAD(中望及浩辰)QQ群:" +
         std::string(kContactGroupNumber);
}

}  // namespace plenvo
