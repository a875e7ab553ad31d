// What the main window's presenter needs of the window and of the system, as small interfaces. The Win32
// window implements them (src/ui/main/win); the unit tests implement them with recording fakes.
// All texts are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/file_format.h"

namespace plenvo {

// The drawing list (超级列表框1): a report-style list view with single selection. Rows and columns from 0.
class DrawingList {
 public:
  virtual ~DrawingList() = default;
  virtual int rowCount() const = 0;
  virtual std::string cellText(int row, int column) const = 0;
  virtual void setCellText(int row, int column, const std::string& text) = 0;
  // Inserts a row at `position` (at the end when negative or past the end) with `number` in column 0 and
  // the other cells empty; returns the new row's index. Rows from there on move down with their states.
  virtual int insertRow(int position = -1, const std::string& number = {}) = 0;
  virtual void deleteRow(int row) = 0;
  virtual void deleteAllRows() = 0;
  virtual std::vector<int> selectedRows() const = 0;  // ascending
  // Selects the row and makes it the focused row; any other selected row loses its selection.
  virtual void selectRow(int row) = 0;
  virtual void deselectRow(int row) = 0;
  virtual int currentRow() const = 0;  // the first selected row, or -1
  // Like selectRow; a row past the last one selects nothing (and leaves the selection alone).
  virtual void setCurrentRow(int row) = 0;
  virtual void ensureVisible(int row) = 0;
  virtual void focusList() = 0;
};

// The list's columns.
inline constexpr int kColumnNumber = 0;  // "序号"
inline constexpr int kColumnPath = 1;    // "文件名"
inline constexpr int kColumnSize = 2;    // "大小"
inline constexpr int kColumnTime = 3;    // "时间"

// The six parameter boxes.
enum class ParamBox { Spacing, PerRowCount, SheetLength, SheetWidth, DirectedColumns, DirectedRows };
// The four arrangement radio buttons.
enum class RadioButton { Horizontal, Vertical, Mixed, Directed };
// The three option check boxes.
enum class OptionBox { Explode, Frames, HelpPage };

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Information };
enum class MessageResult { Ok, Cancel };

struct Message {
  std::string text;
  std::string caption;
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
  bool operator==(const Message&) const = default;
};

struct FileFilter {
  std::string name;     // "DWG文件"
  std::string pattern;  // "*.dwg"
};

struct OpenFilesRequest {
  std::string title;
  std::vector<FileFilter> filters;  // the first is active when the dialog opens
  std::string initialFolder;        // empty, or not a folder: where the system puts it
};

// The main window, as the presenter drives it. Message boxes and dialogs are modal and owned by it.
class MainView {
 public:
  virtual ~MainView() = default;
  virtual void setTitle(const std::string& title) = 0;

  virtual std::string paramText(ParamBox box) const = 0;
  virtual void setParamText(ParamBox box, const std::string& text) = 0;
  // Enables a count box (white background) or disables it (silver background). The text stays.
  virtual void setCountBoxEnabled(ParamBox box, bool enabled) = 0;

  // Ticks one radio button of 分组框1 and unticks the others.
  virtual void checkRadio(RadioButton button) = 0;
  virtual bool isTicked(OptionBox box) const = 0;
  virtual void setTicked(OptionBox box, bool ticked) = 0;

  // 组合框_尺寸.
  virtual void clearSizeItems() = 0;
  virtual void addSizeItem(const std::string& text) = 0;
  virtual int sizeItemCount() const = 0;
  virtual void selectSizeItem(int position) = 0;  // an existing position; selecting does not run the pick

  virtual void focusAddButton() = 0;

  virtual MessageResult showMessage(const Message& message) = 0;
  // Full paths of the chosen files in the dialog's order; empty when cancelled.
  virtual std::vector<std::string> chooseFiles(const OpenFilesRequest& request) = 0;
  // The chosen folder; empty when cancelled or when the choice is no file-system folder.
  virtual std::string chooseFolder(const std::string& title) = 0;

  // The tools window: opened without blocking (brought to the front when it is open already).
  virtual void openToolsWindow() = 0;
  // The check of the remote text for another release, at the end of the start-up sequence.
  virtual void runUpdateCheck() = 0;
  // Destroys the main window, which ends the program.
  virtual void destroyWindow() = 0;
};

struct FileEntry {
  std::string name;  // the entry's name within its folder
  bool isFolder = false;
};

struct FileInfo {
  std::int64_t size = 0;
  LocalTime lastWrite;  // local time
};

// What the presenter needs of the operating system.
class MainSystem {
 public:
  virtual ~MainSystem() = default;
  // The folder of the program's executable, without a trailing separator.
  virtual std::string programDirectory() const = 0;
  virtual bool fileExists(const std::string& path) const = 0;
  // Size and last-write time from the file's directory entry; nothing when it cannot be read.
  virtual std::optional<FileInfo> fileInfo(const std::string& path) const = 0;
  // The entries of one folder matching a wildcard such as "C:\a\*.dwg" (the system's own matching), in the
  // order the file system lists them.
  virtual std::vector<FileEntry> listFolder(const std::string& pattern) const = 0;
  // Writes the part-frame drawing the program carries to `path`.
  virtual bool writePartFrame(const std::string& path) = 0;
  // Hands a web address to the default browser; does not wait.
  virtual void openWebAddress(const std::string& address) = 0;
};

}  // namespace plenvo
