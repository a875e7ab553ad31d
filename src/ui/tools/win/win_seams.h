// Win32 versions of the tools window's seams: the shell's "open" and modal message boxes; and the start-up
// update check as the main window runs it.
#pragma once

#include <windows.h>

#include "ui/tools/seams.h"

namespace plenvo {

class ShellOpener : public Shell {
 public:
  // Refuses anything but an http or https address, whoever calls it.
  void openAddress(std::string_view url) override;
};

class WinMessageBoxes : public MessageBoxes {
 public:
  explicit WinMessageBoxes(HWND owner) : owner_(owner) {}
  void message(std::string_view text, std::string_view caption) override;

 private:
  HWND owner_;
};

// The last step of the main window's start-up: fetches the remote text and, when it names another release,
// shows the notice (without an owner window) and opens the download page.
void runStartupUpdateCheck();

}  // namespace plenvo
