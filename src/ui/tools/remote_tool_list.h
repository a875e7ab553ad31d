// The remote tool list: the small text the maker publishes on its site, read for the update notice at
// start and for the list of CAD programs (with a picture and a link each) on the tools window's first tab.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/tools/seams.h"

namespace plenvo {

inline constexpr std::string_view kCurrentVersion = "v3.3";
inline constexpr std::string_view kOfflineCaptionSuffix = "[未连接网络]";
inline constexpr std::string_view kUpdateNoticeText = "软件已更新修复，请到下载页面下载最新版本";
inline constexpr std::string_view kUpdateNoticeCaption = "更新提示!";

// What one fetch may bring at most; a longer body counts as a failed fetch.
inline constexpr std::size_t kMaxRemoteTextBytes = 1u << 20;
inline constexpr std::size_t kMaxPictureBytes = 8u << 20;

struct ToolRecord {
  std::string toolName;
  std::string linkUrl;
  std::string pictureUrl;
};

// The remote text as UTF-8: the fetched GBK bytes cut at their first zero byte, decoded. Empty on failure.
std::string fetchRemoteText(Fetcher& fetcher, std::string_view address);

// The records of a remote text: every piece after the first "@", split at "#". A record with fewer than
// three fields (an empty one included) has no link or picture to offer and is left out.
std::vector<ToolRecord> readToolRecords(std::string_view text);

// The start-up check: when the text's version (before the first "#") is not kCurrentVersion, shows the
// notice (a box without owner) and then opens "https://" + the second piece. An empty text does nothing.
void checkForUpdate(Fetcher& fetcher, MessageBoxes& unownedBoxes, Shell& shell, std::string_view address);

// The first tab of the tools window as the presenter sees it.
class ToolListView {
 public:
  virtual ~ToolListView() = default;
  virtual void appendRow(std::string_view number, std::string_view name) = 0;
  virtual int rowCount() = 0;
  virtual std::optional<int> firstSelectedRow() = 0;
  // Shows image bytes in the picture box; empty bytes (or bytes it cannot decode) clear it.
  virtual void showPicture(std::string_view bytes) = 0;
  virtual void setListEnabled(bool enabled) = 0;
  virtual void setPictureEnabled(bool enabled) = 0;
  virtual std::string caption() = 0;
  virtual void setCaption(std::string_view caption) = 0;
};

class ToolListPresenter {
 public:
  ToolListPresenter(ToolListView& view, Fetcher& fetcher, Shell& shell, std::string address);

  // Fetches the text and fills the list from it; marks the window offline when nothing came.
  void loadToolList();
  // A click in the list: the picture of the first selected record (record 0 when none is selected).
  void showToolPicture();
  // A press on the picture: opens the link of that record when it is a web address.
  void openToolLink();

  const std::vector<ToolRecord>& toolRecords() const { return records_; }

 private:
  const ToolRecord* chosenRecord();

  ToolListView& view_;
  Fetcher& fetcher_;
  Shell& shell_;
  std::string address_;
  std::vector<ToolRecord> records_;
};

}  // namespace plenvo
