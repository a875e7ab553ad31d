// plenvo-cad-server: a stand-in for a running AutoCAD/ZWCAD/GstarCAD in end-to-end tests. It puts the
// embedded DXF engine (or the recording fake) behind the automation members the product calls, registers
// itself in the running-object table under the ProgIDs given, and serves calls until asked to exit.
//
//   plenvo-cad-server --progid ZWCAD.Application [--progid ...] [--name N] [--engine dxf|recording]
//                     [--open DRAWING.dxf] [--save-on-exit PATH] [--report PATH]
//                     [--ready-event NAME] [--exit-event NAME]
//                     [--busy-from CALL --busy-count N] [--quit-after CALLS] [--fail-path PATH]
//
// --save-on-exit writes the drawing (DXF engine) or the call log (recording engine) when the exit event is
// set; --report then writes "live_objects=", "application_refs=", "calls=", "rejected=" lines: what the
// clients still hold when the server is asked to exit.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cad/dxf/dxf_application.h"
#include "cad_server/automation_objects.h"
#include "core/text_codec.h"
#include "support/recording_cad.h"
#include "win/unique_handle.h"

namespace {

using namespace plenvo;

struct Options {
  std::vector<std::wstring> progIds;
  std::wstring engine = L"dxf";
  std::wstring openPath, savePath, reportPath, readyEvent, exitEvent;
  std::vector<std::string> failPaths;
  cadserver::ServerControls controls;
};

bool parse(int argc, wchar_t** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (i + 1 >= argc) return false;
    const std::wstring value = argv[++i];
    if (arg == L"--progid") o.progIds.push_back(value);
    else if (arg == L"--name") o.controls.name = value;
    else if (arg == L"--engine") o.engine = value;
    else if (arg == L"--open") o.openPath = value;
    else if (arg == L"--save-on-exit") o.savePath = value;
    else if (arg == L"--report") o.reportPath = value;
    else if (arg == L"--ready-event") o.readyEvent = value;
    else if (arg == L"--exit-event") o.exitEvent = value;
    else if (arg == L"--busy-from") o.controls.busyFrom = std::wcstol(value.c_str(), nullptr, 10);
    else if (arg == L"--busy-count") o.controls.busyCount = std::wcstol(value.c_str(), nullptr, 10);
    else if (arg == L"--quit-after") o.controls.quitAfter = std::wcstol(value.c_str(), nullptr, 10);
    else if (arg == L"--fail-path") o.failPaths.push_back(wideToUtf8(value));
    else return false;
  }
  return !o.progIds.empty() && (o.engine == L"dxf" || o.engine == L"recording");
}

// A CLSID of our own per ProgID, the same in every process: a name-based hash of the ProgID (registry
// keys are case-insensitive, so is the hash).
CLSID clsidFor(const std::wstring& progId) {
  unsigned long long h = 1469598103934665603ull;
  for (wchar_t ch : progId) {
    h ^= static_cast<unsigned long long>(std::towlower(ch));
    h *= 1099511628211ull;
  }
  CLSID id{};
  id.Data1 = 0x504c454eu;  // "PLEN"
  id.Data2 = static_cast<unsigned short>(h >> 48);
  id.Data3 = static_cast<unsigned short>(0x4000 | ((h >> 32) & 0x0fff));
  for (int i = 0; i < 8; ++i) id.Data4[i] = static_cast<unsigned char>(h >> (8 * i));
  id.Data4[0] = static_cast<unsigned char>(0x80 | (id.Data4[0] & 0x3f));
  return id;
}

// HKCR\<ProgID>\CLSID = {clsid}: what CLSIDFromProgID reads (Wine ignores HKCU\Software\Classes).
bool registerProgId(const std::wstring& progId, const CLSID& clsid) {
  wchar_t text[64] = {};
  if (!::StringFromGUID2(clsid, text, 64)) return false;
  win::unique_hkey key;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, (progId + L"\\CLSID").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes) ==
         ERROR_SUCCESS;
}

void pumpFor(DWORD milliseconds) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  MSG msg;
  while (::GetTickCount64() < end) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

win::unique_handle openEvent(const std::wstring& name) {
  if (name.empty()) return {};
  return win::unique_handle(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fwprintf(stderr, L"usage: plenvo-cad-server --progid PROGID [...] (see the source for the options)\n");
    return 2;
  }
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;

  // The engine, and how the test control "SaveAs" / --save-on-exit writes what it holds.
  std::unique_ptr<CadApplication> engine;
  testing::RecordingCad recording;
  dxf::DxfApplication* dxfEngine = nullptr;
  if (options.engine == L"dxf") {
    auto app = dxf::DxfApplication::create();
    dxfEngine = app.get();
    if (!options.openPath.empty() && !app->openDrawing(wideToUtf8(options.openPath))) {
      std::fprintf(stderr, "cannot open the drawing: %s\n", app->lastError().c_str());
      return 1;
    }
    engine = std::move(app);
    options.controls.save = [dxfEngine](const std::string& path) { return dxfEngine->saveAs(path); };
  } else {
    for (const std::string& p : options.failPaths) recording.state->failingPaths.insert(p);
    engine = recording.application();
    options.controls.save = [&recording](const std::string& path) {
      std::ofstream out(std::filesystem::path(utf8ToWide(path)), std::ios::binary);
      for (const std::string& line : recording.log()) out << line << "\n";
      return static_cast<bool>(out);
    };
  }
  const auto save = options.controls.save;

  IDispatch* application = cadserver::createApplicationObject(std::move(engine), options.controls);
  std::vector<DWORD> cookies;
  for (const std::wstring& progId : options.progIds) {
    const CLSID clsid = clsidFor(progId);
    DWORD cookie = 0;
    if (!registerProgId(progId, clsid) ||
        FAILED(::RegisterActiveObject(application, clsid, ACTIVEOBJECT_STRONG, &cookie))) {
      std::fwprintf(stderr, L"cannot register %ls\n", progId.c_str());
      return 1;
    }
    cookies.push_back(cookie);
  }

  win::unique_handle exitEvent = openEvent(options.exitEvent);
  if (win::unique_handle ready = openEvent(options.readyEvent)) ::SetEvent(ready.get());

  // Serve calls until the exit event is set (or a WM_QUIT arrives).
  bool running = true;
  while (running) {
    const HANDLE handles[] = {exitEvent.get()};
    const DWORD n = exitEvent ? 1 : 0;
    const DWORD r = ::MsgWaitForMultipleObjects(n, handles, FALSE, INFINITE, QS_ALLINPUT);
    if (n && r == WAIT_OBJECT_0) break;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) running = false;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

  bool saved = true;
  if (!options.savePath.empty()) saved = save(wideToUtf8(options.savePath));
  for (DWORD cookie : cookies) ::RevokeActiveObject(cookie, nullptr);
  pumpFor(100);  // let releases already on their way arrive
  if (!options.reportPath.empty()) {
    std::ofstream report(std::filesystem::path(options.reportPath), std::ios::binary);
    report << "live_objects=" << cadserver::stats().liveObjects << "\n"
           << "application_refs=" << cadserver::applicationExtraReferences(application) << "\n"
           << "calls=" << cadserver::stats().calls << "\n"
           << "rejected=" << cadserver::stats().rejected << "\n"
           << "saved=" << (saved ? 1 : 0) << "\n";
  }
  application->Release();
  ::CoUninitialize();
  return saved ? 0 : 1;
}
