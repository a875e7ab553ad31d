// The program's entry: program-wide state, the main window and its message loop, and the clean-up at exit.
#include <windows.h>
#include <commctrl.h>

#include "cad/com/com_cad.h"
#include "cad/merge_run.h"
#include "core/settings_file.h"
#include "ui/main/main_presenter.h"
#include "ui/main/win/main_window_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  using namespace plenvo;
  SetProcessDPIAware();  // the manifest says so too; places, sizes and fonts are scaled by the system DPI
  com::ComThreadScope comScope;  // the CAD client, the folder browser and the shell need an apartment
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  ProgramState state;
  WinMainSystem system;
  SettingsFile settings(system.programDirectory() + "\\" + std::string(kSettingsFileName));
  com::ComRunningObjectLookup lookup;
  RealSleeper sleeper;
  {
    MainWindow window(MainWindowDeps{&state, &settings, &lookup, &sleeper, &system});
    if (!window.create(instance)) return 1;
    ShowWindow(window.hwnd(), show);
    UpdateWindow(window.hwnd());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      // Tab and the arrow keys move between the controls of the window the message is for (the main
      // window or the tools window).
      HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
      if (root != nullptr && IsDialogMessageW(root, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // Clean-up at exit: every automation handle, the last inserted block first.
  state.session.release();
  return 0;
}
