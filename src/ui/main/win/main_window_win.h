// The main window in Win32: its controls at their places, fonts and colours, the list view behind the
// drawing list, the system seams, and the binding of every control event to the presenter.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/main/main_presenter.h"
#include "ui/main/main_view.h"
#include "ui/tools/tools_host.h"
#include "win/unique_handle.h"

namespace plenvo {

// The drawing list over a report-style list view.
class ListViewDrawingList final : public DrawingList {
 public:
  void attach(HWND list) { list_ = list; }
  int rowCount() const override;
  std::string cellText(int row, int column) const override;
  void setCellText(int row, int column, const std::string& text) override;
  int insertRow(int position = -1, const std::string& number = {}) override;
  void deleteRow(int row) override;
  void deleteAllRows() override;
  std::vector<int> selectedRows() const override;
  void selectRow(int row) override;
  void deselectRow(int row) override;
  int currentRow() const override;
  void setCurrentRow(int row) override;
  void ensureVisible(int row) override;
  void focusList() override;

 private:
  HWND list_ = nullptr;
};

// The operating system as the presenter needs it.
class WinMainSystem final : public MainSystem {
 public:
  std::string programDirectory() const override;
  bool fileExists(const std::string& path) const override;
  std::optional<FileInfo> fileInfo(const std::string& path) const override;
  std::vector<FileEntry> listFolder(const std::string& pattern) const override;
  bool writePartFrame(const std::string& path) override;
  void openWebAddress(const std::string& address) override;
};

// What the window is handed by the program: the program-wide state and the seams behind the presenter.
struct MainWindowDeps {
  ProgramState* state = nullptr;
  SettingsFile* settings = nullptr;
  RunningObjectLookup* lookup = nullptr;
  Sleeper* sleeper = nullptr;
  WinMainSystem* system = nullptr;
};

class MainWindow final : public MainView, private ToolsWindowHost {
 public:
  explicit MainWindow(const MainWindowDeps& deps) : deps_(deps) {}
  ~MainWindow() override;

  // Registers the class and creates the window; its creation handler runs the start-up sequence.
  bool create(HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }

  // MainView.
  void setTitle(const std::string& title) override;
  std::string paramText(ParamBox box) const override;
  void setParamText(ParamBox box, const std::string& text) override;
  void setCountBoxEnabled(ParamBox box, bool enabled) override;
  void checkRadio(RadioButton button) override;
  bool isTicked(OptionBox box) const override;
  void setTicked(OptionBox box, bool ticked) override;
  void clearSizeItems() override;
  void addSizeItem(const std::string& text) override;
  int sizeItemCount() const override;
  void selectSizeItem(int position) override;
  void focusAddButton() override;
  MessageResult showMessage(const Message& message) override;
  std::vector<std::string> chooseFiles(const OpenFilesRequest& request) override;
  std::string chooseFolder(const std::string& title) override;
  void openToolsWindow() override;
  void runUpdateCheck() override;
  void destroyWindow() override;

 private:
  // ToolsWindowHost: the tools window reads and writes the same settings file, and its closing brings this
  // window up to date.
  std::string settingsFilePath() override;
  void toolsWindowClosed() override;

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void createControls();
  HWND addControl(int id, const wchar_t* className, const std::string& text, DWORD style, int x, int y, int width,
                  int height, DWORD exStyle = 0);
  void onCommand(int id, int code);
  int scale(int value) const { return MulDiv(value, dpi_, 96); }
  HWND control(int id) const { return GetDlgItem(hwnd_, id); }

  MainWindowDeps deps_;
  HWND hwnd_ = nullptr;
  int dpi_ = 96;
  ListViewDrawingList list_;
  std::optional<MainPresenter> presenter_;
  std::map<int, bool> countBoxEnabled_;
  HWND focusChild_ = nullptr;
  bool closing_ = false;  // the window is being destroyed: the owned tools window's closing changes nothing  // the control that gets the focus back when the window is activated
  win::unique_hfont uiFont_, boldFont_, headingFont_, startFont_, listFont_;
  win::unique_hbrush whiteBrush_, silverBrush_;
};

}  // namespace plenvo
