// The main window's behaviour, free of Win32: the start-up sequence, the arrangement and parameter controls,
// the drawing list's commands, adding drawings, the start command, the labels and the two window buttons.
// The window forwards each control event to one operation here.
#pragma once

#include <string>
#include <vector>

#include "cad/cad_automation.h"
#include "cad/cad_connection.h"
#include "cad/merge_run.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "core/sheet_layout.h"
#include "ui/main/main_view.h"

namespace plenvo {

// What lives from the program's start to its exit. The clean-up at exit calls session.release().
struct ProgramState {
  LoadedSettings loaded;
  CadSession session;
  LayoutMode mode = LayoutMode::None;  // none until the start-up sequence selects Horizontal
};

class MainPresenter final : private OptionCheckBoxes {
 public:
  MainPresenter(ProgramState& state, MainView& view, DrawingList& list, MainSystem& system,
                SettingsFile& settings, RunningObjectLookup& lookup, Sleeper& sleeper);

  // The main window's creation handler.
  void startUp();

  // Arrangement radio buttons (单选框_横/竖/混/定); each ticks its own button first.
  void onHorizontal();
  void onVertical();
  void onMixed();
  void onDirected();
  // Size list (组合框_尺寸).
  void resetSheetSize();
  void fillSizeList();
  void onSizePicked(int position);  // the user chose the item at `position` (-1: none)
  // Option check boxes, after the box has taken its new state.
  void onExplodeClicked();
  void onFramesClicked();
  void onHelpPageClicked();

  // Drawing list buttons.
  void onMoveUp();
  void onMoveDown();
  void onMoveToTop();
  void onMoveToBottom();
  void onDelete();
  void onClear();
  void onAdd();
  void appendDrawing(const std::string& path);
  std::vector<std::string> scanFolder(std::string folder) const;

  // 按钮_开始合图.
  void runMerge();

  // 标签1 and 标签5: the maker's home page.
  void onHomePageLabelClicked();
  // 按钮_广告 opens the tools window; when that window closes it calls onToolsWindowClosed(), which
  // loads the settings again, reconnects (title) and refills the size list, in this order.
  void onToolsButtonClicked();
  void onToolsWindowClosed();
  // 按钮_关闭: asks, then destroys the window on OK.
  void onCloseButtonClicked();

  // Attaches to the running CAD application and shows the result in the title.
  bool connect();
  std::string partFramePath() const;
  LayoutMode mode() const { return state_.mode; }

 private:
  void tickExplode() override;
  void tickFrames() override;
  void selectRadio(RadioButton button, LayoutMode mode, bool perRowEnabled, bool directedEnabled);
  void selectSizeItemFromCode(int position);
  void writeFlag(std::string_view key, OptionBox box);
  void notice(std::string_view text);  // "提示：", OK, no icon, 26 spaces either side

  ProgramState& state_;
  MainView& view_;
  DrawingList& list_;
  MainSystem& system_;
  SettingsFile& settings_;
  RunningObjectLookup& lookup_;
  Sleeper& sleeper_;
};

}  // namespace plenvo
