// Recording stand-ins for the main window, its drawing list and the system, for the presenter tests.
// FakeDrawingList keeps the states a real list view keeps: a row's selection travels with the row when
// rows are inserted or deleted above it, and writing a cell changes no selection.
#pragma once

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/main/main_view.h"

namespace plenvo::testing {

class FakeDrawingList final : public DrawingList {
 public:
  struct Row {
    std::array<std::string, 4> cells;
    bool selected = false;
  };
  std::vector<Row> rows;
  int focusedRow = -1;
  int listFocusCount = 0;
  std::vector<int> ensuredVisible;
  std::vector<int> currentRowsSet;  // every setCurrentRow, in order

  // Rows as "number|path|size|time".
  void fill(const std::vector<std::string>& texts) {
    rows.clear();
    for (const std::string& t : texts) {
      Row r;
      size_t start = 0;
      for (size_t c = 0; c < 4; ++c) {
        size_t bar = t.find('|', start);
        r.cells[c] = t.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (bar == std::string::npos) break;
        start = bar + 1;
      }
      rows.push_back(r);
    }
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const Row& r : rows) out.push_back(r.cells[0] + "|" + r.cells[1] + "|" + r.cells[2] + "|" + r.cells[3]);
    return out;
  }

  int rowCount() const override { return static_cast<int>(rows.size()); }
  std::string cellText(int row, int column) const override { return at(row).cells.at(static_cast<size_t>(column)); }
  void setCellText(int row, int column, const std::string& text) override {
    at(row).cells.at(static_cast<size_t>(column)) = text;
  }
  int insertRow(int position, const std::string& number) override {
    if (position < 0 || position > rowCount()) position = rowCount();
    Row r;
    r.cells[0] = number;
    rows.insert(rows.begin() + position, r);
    if (focusedRow >= position) ++focusedRow;
    return position;
  }
  void deleteRow(int row) override {
    at(row);
    rows.erase(rows.begin() + row);
    if (focusedRow == row) focusedRow = -1;
    else if (focusedRow > row) --focusedRow;
  }
  void deleteAllRows() override {
    rows.clear();
    focusedRow = -1;
  }
  std::vector<int> selectedRows() const override {
    std::vector<int> out;
    for (int i = 0; i < rowCount(); ++i)
      if (rows[static_cast<size_t>(i)].selected) out.push_back(i);
    return out;
  }
  void selectRow(int row) override {
    at(row);
    for (Row& r : rows) r.selected = false;
    rows[static_cast<size_t>(row)].selected = true;
    focusedRow = row;
  }
  void deselectRow(int row) override { at(row).selected = false; }
  int currentRow() const override {
    std::vector<int> s = selectedRows();
    return s.empty() ? -1 : s.front();
  }
  void setCurrentRow(int row) override {
    currentRowsSet.push_back(row);
    if (row >= 0 && row < rowCount()) selectRow(row);
  }
  void ensureVisible(int row) override { ensuredVisible.push_back(row); }
  void focusList() override { ++listFocusCount; }

 private:
  // Every index the commands use must be an existing row.
  Row& at(int row) { return rows.at(static_cast<size_t>(row)); }
  const Row& at(int row) const { return rows.at(static_cast<size_t>(row)); }
};

class FakeMainView final : public MainView {
 public:
  std::vector<std::string> events;  // a readable log of what the presenter did to the window
  std::string title;
  std::map<ParamBox, std::string> params{{ParamBox::Spacing, "50"},        {ParamBox::PerRowCount, "10"},
                                         {ParamBox::SheetLength, "420"},   {ParamBox::SheetWidth, "297"},
                                         {ParamBox::DirectedColumns, "4"}, {ParamBox::DirectedRows, "3"}};
  std::map<ParamBox, bool> enabled{{ParamBox::PerRowCount, true},
                                   {ParamBox::DirectedColumns, true},
                                   {ParamBox::DirectedRows, true}};
  std::optional<RadioButton> radio;
  std::map<OptionBox, bool> ticked{{OptionBox::Explode, false}, {OptionBox::Frames, false}, {OptionBox::HelpPage, false}};
  std::vector<std::string> sizeItems;
  int selectedSizeItem = -1;

  std::vector<Message> messages;             // every box shown
  std::deque<MessageResult> messageAnswers;  // answers to give, OK when none is left
  std::vector<OpenFilesRequest> fileRequests;
  std::vector<std::string> chosenFiles;  // what the open-file dialog returns
  std::vector<std::string> folderTitles;
  std::string chosenFolder;  // what the folder browser returns
  int toolsWindowOpened = 0;
  int updateChecks = 0;
  bool destroyed = false;

  void setTitle(const std::string& t) override {
    title = t;
    events.push_back("title " + t);
  }
  std::string paramText(ParamBox box) const override { return params.at(box); }
  void setParamText(ParamBox box, const std::string& text) override { params[box] = text; }
  void setCountBoxEnabled(ParamBox box, bool on) override { enabled[box] = on; }
  void checkRadio(RadioButton button) override {
    radio = button;
    events.push_back("radio " + std::to_string(static_cast<int>(button)));
  }
  bool isTicked(OptionBox box) const override { return ticked.at(box); }
  void setTicked(OptionBox box, bool on) override {
    ticked[box] = on;
    events.push_back("tick " + std::to_string(static_cast<int>(box)) + (on ? " on" : " off"));
  }
  void clearSizeItems() override {
    sizeItems.clear();
    selectedSizeItem = -1;
    events.push_back("clear sizes");
  }
  void addSizeItem(const std::string& text) override { sizeItems.push_back(text); }
  int sizeItemCount() const override { return static_cast<int>(sizeItems.size()); }
  void selectSizeItem(int position) override {
    EXPECT_GE(position, 0);
    EXPECT_LT(position, sizeItemCount());
    selectedSizeItem = position;
  }
  void focusAddButton() override { events.push_back("focus add"); }
  MessageResult showMessage(const Message& m) override {
    messages.push_back(m);
    events.push_back("message " + m.text);
    if (messageAnswers.empty()) return MessageResult::Ok;
    MessageResult r = messageAnswers.front();
    messageAnswers.pop_front();
    return r;
  }
  std::vector<std::string> chooseFiles(const OpenFilesRequest& request) override {
    fileRequests.push_back(request);
    return chosenFiles;
  }
  std::string chooseFolder(const std::string& t) override {
    folderTitles.push_back(t);
    return chosenFolder;
  }
  void openToolsWindow() override { ++toolsWindowOpened; }
  void runUpdateCheck() override {
    ++updateChecks;
    events.push_back("update check");
  }
  void destroyWindow() override { destroyed = true; }

  std::vector<std::string> messageTexts() const {
    std::vector<std::string> out;
    for (const Message& m : messages) out.push_back(m.text);
    return out;
  }
};

class FakeMainSystem final : public MainSystem {
 public:
  std::string directory = "C:\\Plenvo";
  std::map<std::string, FileInfo> files;                  // existing files
  std::map<std::string, std::vector<FileEntry>> folders;  // wildcard pattern -> entries
  std::vector<std::string> listedPatterns;
  std::vector<std::string> partFramesWritten;
  std::vector<std::string> addresses;

  std::string programDirectory() const override { return directory; }
  bool fileExists(const std::string& path) const override { return files.count(path) > 0; }
  std::optional<FileInfo> fileInfo(const std::string& path) const override {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  }
  std::vector<FileEntry> listFolder(const std::string& pattern) const override {
    const_cast<FakeMainSystem*>(this)->listedPatterns.push_back(pattern);
    auto it = folders.find(pattern);
    return it == folders.end() ? std::vector<FileEntry>{} : it->second;
  }
  bool writePartFrame(const std::string& path) override {
    partFramesWritten.push_back(path);
    files[path] = FileInfo{3720, {}};
    return true;
  }
  void openWebAddress(const std::string& address) override { addresses.push_back(address); }
};

}  // namespace plenvo::testing
