// The tools window "CAD工具集[动态更新]": the remote CAD tool list and the settings tab. Owned by the main
// window and not blocking it; closing it (by "保存设置" or the close box) runs the host's closing hook.
#pragma once

#include <windows.h>

#include "ui/tools/tools_host.h"

namespace plenvo {

// Opens the tools window owned by `owner`, or brings the open one to the front. The host must outlive the
// window. Returns the window, or null when it could not be created.
HWND openToolsWindow(HWND owner, ToolsWindowHost& host);

// The open tools window, or null.
HWND toolsWindow();

}  // namespace plenvo
