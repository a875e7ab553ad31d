// What the tools window needs from the program that opens it (the main window).
#pragma once

#include <string>

namespace plenvo {

class ToolsWindowHost {
 public:
  virtual ~ToolsWindowHost() = default;
  // The settings file (UTF-8 path) that the settings tab reads and writes.
  virtual std::string settingsFilePath() = 0;
  // Runs when the tools window is destroyed, by "保存设置" or by its close box: the main window takes up
  // what was saved (loadSettings, connectToCad, fillSizeList, in this order).
  virtual void toolsWindowClosed() = 0;
};

}  // namespace plenvo
