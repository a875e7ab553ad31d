// Reading the remote tool list, the update check, and the presenter of the tools window's first tab.
#include "ui/tools/remote_tool_list.h"

#include <utility>

#include "core/tables.h"
#include "core/text_codec.h"

namespace plenvo {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool isWebAddress(std::string_view url) {
  std::size_t schemeLength = 0;
  if (startsWithNoCase(url, "http://")) {
    schemeLength = 7;
  } else if (startsWithNoCase(url, "https://")) {
    schemeLength = 8;
  } else {
    return false;
  }
  if (url.size() == schemeLength) return false;
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool openWebAddress(Shell& shell, std::string_view url) {
  if (!isWebAddress(url)) return false;
  shell.openAddress(url);
  return true;
}

std::string fetchRemoteText(Fetcher& fetcher, std::string_view address) {
  std::string bytes = fetcher.fetchBytes(address, kMaxRemoteTextBytes);
  if (bytes.size() > kMaxRemoteTextBytes) return {};  // the fetcher's limit is the contract; hold it here too
  const std::size_t zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
  return gbkToUtf8(bytes);
}

std::vector<ToolRecord> readToolRecords(std::string_view text) {
  std::vector<ToolRecord> records;
  const std::vector<std::string> pieces = splitText(text, '@');
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    std::vector<std::string> fields = splitText(pieces[i], '#');
    if (fields.size() < 3) continue;
    records.push_back({std::move(fields[0]), std::move(fields[1]), std::move(fields[2])});
  }
  return records;
}

void checkForUpdate(Fetcher& fetcher, MessageBoxes& unownedBoxes, Shell& shell, std::string_view address) {
  const std::vector<std::string> pieces = splitText(fetchRemoteText(fetcher, address), '#');
  if (pieces.empty()) return;
  if (pieces[0] == kCurrentVersion) return;
  unownedBoxes.message(kUpdateNoticeText, kUpdateNoticeCaption);
  // Without a second piece there is no download page; "https://" alone is not opened.
  const std::string downloadPage = pieces.size() > 1 ? pieces[1] : std::string();
  openWebAddress(shell, "https://" + downloadPage);
}

ToolListPresenter::ToolListPresenter(ToolListView& view, Fetcher& fetcher, Shell& shell, std::string address)
    : view_(view), fetcher_(fetcher), shell_(shell), address_(std::move(address)) {}

void ToolListPresenter::loadToolList() {
  records_.clear();
  const std::string text = fetchRemoteText(fetcher_, address_);
  if (text.empty()) {
    view_.setCaption(view_.caption() + std::string(kOfflineCaptionSuffix));
    view_.setListEnabled(false);
    view_.setPictureEnabled(false);
    return;
  }
  for (ToolRecord& record : readToolRecords(text)) {
    view_.appendRow(std::to_string(view_.rowCount() + 1), record.toolName);
    records_.push_back(std::move(record));
  }
  // A text without a usable record leaves the list empty and both controls disabled.
  if (records_.empty()) return;
  showToolPicture();
  view_.setListEnabled(true);
  view_.setPictureEnabled(true);
}

const ToolRecord* ToolListPresenter::chosenRecord() {
  std::size_t index = 0;
  if (std::optional<int> selected = view_.firstSelectedRow(); selected && *selected >= 0) {
    index = static_cast<std::size_t>(*selected);
  }
  return index < records_.size() ? &records_[index] : nullptr;
}

void ToolListPresenter::showToolPicture() {
  const ToolRecord* record = chosenRecord();
  if (record == nullptr) {
    view_.showPicture({});
    return;
  }
  // Only web addresses are fetched; anything else (a local path, another scheme) clears the picture.
  std::string bytes;
  if (isWebAddress(record->pictureUrl)) bytes = fetcher_.fetchBytes(record->pictureUrl, kMaxPictureBytes);
  if (bytes.size() > kMaxPictureBytes) bytes.clear();
  view_.showPicture(bytes);
}

void ToolListPresenter::openToolLink() {
  if (const ToolRecord* record = chosenRecord()) openWebAddress(shell_, record->linkUrl);
}

}  // namespace plenvo
