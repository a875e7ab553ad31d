// The settings tab of the tools window: filling it from the settings file, the row buttons, saving, the
// folder browser and the option check boxes.
#include "ui/tools/settings_tab.h"

#include <cstdio>
#include <vector>

#include "core/tables.h"

namespace plenvo {

namespace {

std::string_view optionKey(ToolOption box) {
  switch (box) {
    case ToolOption::ActualSize: return kKeyActualSize;
    case ToolOption::FolderMode: return kKeyFolderMode;
    case ToolOption::LockPath: return kKeyLockPath;
  }
  return {};
}

void setHeader(GridModel& grid, const std::vector<std::string>& titles, const std::vector<int>& widths) {
  for (std::size_t i = 0; i < titles.size(); ++i) {
    grid.setText(0, static_cast<int>(i), titles[i]);
    grid.setColumnWidth(static_cast<int>(i), widths[i]);
  }
  grid.setHeaderCentred(true);
}

// Appends one row per entry of a table text: column 0 the entry's number, then its first fields.
void fillFromTable(GridModel& grid, std::string_view tableText) {
  const std::vector<std::string> entries = splitText(tableText, '/');
  for (std::size_t k = 0; k < entries.size(); ++k) {
    std::vector<std::string> cells{std::to_string(k + 1)};
    for (std::string& field : splitText(entries[k], '-')) cells.push_back(std::move(field));
    grid.appendRow(cells);  // fields past the grid's columns are dropped
  }
}

}  // namespace

std::string formatSaveTime(const LocalTime& t) {
  char buffer[128];
  int n = std::snprintf(buffer, sizeof buffer, "%d年%d月%d日", t.year, t.month, t.day);
  std::string text(buffer, static_cast<std::size_t>(n));
  if (t.second != 0) {
    n = std::snprintf(buffer, sizeof buffer, "%d时%d分%d秒", t.hour, t.minute, t.second);
  } else if (t.minute != 0) {
    n = std::snprintf(buffer, sizeof buffer, "%d时%d分", t.hour, t.minute);
  } else if (t.hour != 0) {
    n = std::snprintf(buffer, sizeof buffer, "%d时", t.hour);
  } else {
    n = 0;
  }
  text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

std::string savedMessage(const LocalTime& time) {
  return "-----数据已保存  点击确定后，关闭设置-----\r\n" + std::string(14, ' ') + formatSaveTime(time);
}

SettingsTabPresenter::SettingsTabPresenter(SettingsTabView& view, ToolsWindowHost& host)
    : view_(view), host_(host), file_(host.settingsFilePath()) {}

void SettingsTabPresenter::fillSettingsTab() {
  chosen_ = ChosenGrid::None;
  GridControl& versions = view_.versionGrid();
  GridControl& sizes = view_.sizeGrid();
  setHeader(versions.model(), {"序号", "CAD内部号", "CAD版本号"}, {35, 80, 85});
  setHeader(sizes.model(), {"序号", "规格", "方向", "尺寸"}, {35, 50, 50, 90});
  if (file_.exists()) {
    versions.focus();
    view_.setPathText(file_.read(kKeyPath));
    fillFromTable(versions.model(), file_.read(kKeyVersions));
    sizes.focus();
    fillFromTable(sizes.model(), file_.read(kKeySizes));
  }
  versions.modelChanged();
  sizes.modelChanged();
  sizes.scrollToLastRow();
  versions.scrollToLastRow();
  const bool locked = file_.read(kKeyLockPath) == "1";
  if (file_.read(kKeyActualSize) == "1") view_.setChecked(ToolOption::ActualSize, true);
  if (file_.read(kKeyFolderMode) == "1") view_.setChecked(ToolOption::FolderMode, true);
  if (locked) {
    view_.setChecked(ToolOption::LockPath, true);
    view_.setBrowseEnabled(false);
  }
}

void SettingsTabPresenter::gridClicked(ChosenGrid grid) {
  if (grid == ChosenGrid::None) return;
  chosen_ = grid;
  GridControl& clicked = grid == ChosenGrid::Versions ? view_.versionGrid() : view_.sizeGrid();
  GridControl& other = grid == ChosenGrid::Versions ? view_.sizeGrid() : view_.versionGrid();
  clicked.model().setColours(kColourBlack, kColourSilver);
  other.model().setColours(kColourSilver, kColourWhite);
  clicked.modelChanged();
  other.modelChanged();
}

GridControl* SettingsTabPresenter::chosenControl() {
  switch (chosen_) {
    case ChosenGrid::Versions: return &view_.versionGrid();
    case ChosenGrid::Sizes: return &view_.sizeGrid();
    case ChosenGrid::None: break;
  }
  return nullptr;
}

void SettingsTabPresenter::addRowClicked() {
  GridControl* grid = chosenControl();
  if (grid == nullptr) {
    view_.message(kChooseGridFirst, kCaptionToolsError);
    return;
  }
  grid->focus();
  grid->model().appendRow({std::to_string(grid->model().rowCount())});
  grid->modelChanged();
  grid->scrollToLastRow();  // the new row is where the user types next
}

void SettingsTabPresenter::deleteRowClicked() {
  GridControl* grid = chosenControl();
  if (grid == nullptr) {
    view_.message(kChooseGridFirst, kCaptionToolsNotice);
    return;
  }
  const bool versions = chosen_ == ChosenGrid::Versions;
  const int firstDeletable = (versions ? kProtectedVersionRows : kProtectedSizeRows) + 1;
  const std::optional<GridCell> current = grid->model().current();
  if (!current || current->row < firstDeletable) {
    view_.message(versions ? kVersionRowProtected : kSizeRowProtected, kCaptionToolsNotice);
    return;
  }
  grid->model().deleteRow(current->row);
  grid->modelChanged();
}

void SettingsTabPresenter::saveClicked() {
  file_.write(kKeyPath, view_.pathText());

  const GridModel& versions = view_.versionGrid().model();
  std::string versionText;
  for (int i = 1; i < versions.rowCount(); ++i) {
    const std::string& number = versions.text(i, 1);
    const std::string& year = versions.text(i, 2);
    if (!number.empty() && !year.empty()) versionText += number + "-" + year + "/";
  }
  file_.write(kKeyVersions, versionText);

  const GridModel& sizes = view_.sizeGrid().model();
  std::string sizeText;
  for (int i = 1; i < sizes.rowCount(); ++i) {
    const std::string& format = sizes.text(i, 1);
    const std::string& orientation = sizes.text(i, 2);
    const std::string& dimensions = sizes.text(i, 3);
    if (!format.empty() && !orientation.empty() && dimensions.find('*') != std::string::npos) {
      sizeText += format + "-" + orientation + "-" + dimensions + "/";
    }
  }
  file_.write(kKeySizes, sizeText);

  view_.message(savedMessage(view_.now()), kSavedCaption);
  view_.destroyWindow();
}

void SettingsTabPresenter::browseClicked() {
  std::optional<std::string> folder = view_.browseForFolder(kBrowseTitle);
  if (folder && !folder->empty()) view_.setPathText(*folder);
}

void SettingsTabPresenter::optionChanged(ToolOption box) {
  const bool on = view_.checked(box);
  file_.write(optionKey(box), on ? "1" : "0");
  if (box == ToolOption::LockPath) view_.setBrowseEnabled(!on);
}

void SettingsTabPresenter::windowDestroyed() {
  if (closed_) return;  // the hook runs once per opening
  closed_ = true;
  host_.toolsWindowClosed();
}

}  // namespace plenvo
