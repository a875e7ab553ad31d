// The tools window's second tab, "合图器设置": the version and size grids, the drawing folder and the three
// option check boxes, and what the window does when it closes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/file_format.h"
#include "core/settings_file.h"
#include "ui/tools/grid_model.h"
#include "ui/tools/seams.h"
#include "ui/tools/tools_host.h"

namespace plenvo {

inline constexpr int kProtectedVersionRows = 25;  // rows of the default version table
inline constexpr int kProtectedSizeRows = 11;     // rows of the default size table

inline constexpr std::string_view kChooseGridFirst = "请先单击选择一个表格";
inline constexpr std::string_view kCaptionToolsError = "错误";
inline constexpr std::string_view kCaptionToolsNotice = "提示信息";
inline constexpr std::string_view kVersionRowProtected = "-----不可删除已支持的CAD版本号-----";
inline constexpr std::string_view kSizeRowProtected = "-----不可删除已有的图纸尺寸-----";
inline constexpr std::string_view kSavedCaption = "保存提示";
inline constexpr std::string_view kBrowseTitle = "指定CAD图纸文件路径";

enum class ChosenGrid { None, Versions, Sizes };
enum class ToolOption { ActualSize, FolderMode, LockPath };  // 选择框_长度, 选择框_文件夹, 选择框_路径

// "2024年3月5日9时7分30秒": the seconds only when not 0, else the minutes only when not 0, else the hour
// only when not 0.
std::string formatSaveTime(const LocalTime& time);
// The whole text of the box shown after saving.
std::string savedMessage(const LocalTime& time);

// One grid control: its data plus what only the control can do.
class GridControl {
 public:
  virtual ~GridControl() = default;
  virtual GridModel& model() = 0;
  virtual void modelChanged() = 0;  // redraw after the presenter changed the model
  virtual void focus() = 0;
  virtual void scrollToLastRow() = 0;
};

class SettingsTabView : public MessageBoxes {  // message boxes owned by the tools window
 public:
  virtual GridControl& versionGrid() = 0;
  virtual GridControl& sizeGrid() = 0;
  virtual std::string pathText() = 0;
  virtual void setPathText(std::string_view text) = 0;
  virtual bool checked(ToolOption box) = 0;
  virtual void setChecked(ToolOption box, bool checked) = 0;
  virtual void setBrowseEnabled(bool enabled) = 0;
  // The folder browser with an edit field; the chosen folder, or nothing on cancel.
  virtual std::optional<std::string> browseForFolder(std::string_view title) = 0;
  virtual LocalTime now() = 0;
  // Destroys the tools window; its destruction comes back as SettingsTabPresenter::windowDestroyed().
  virtual void destroyWindow() = 0;
};

class SettingsTabPresenter {
 public:
  SettingsTabPresenter(SettingsTabView& view, ToolsWindowHost& host);

  // Opening: fills the tab from the settings file; no grid is chosen.
  void fillSettingsTab();
  void gridClicked(ChosenGrid grid);
  void addRowClicked();
  void deleteRowClicked();
  void saveClicked();
  void browseClicked();
  void optionChanged(ToolOption box);
  void windowDestroyed();

  ChosenGrid chosenGrid() const { return chosen_; }

 private:
  GridControl* chosenControl();

  SettingsTabView& view_;
  ToolsWindowHost& host_;
  SettingsFile file_;
  ChosenGrid chosen_ = ChosenGrid::None;
  bool closed_ = false;
};

}  // namespace plenvo
