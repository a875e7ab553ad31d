// The automation objects of the test CAD server: one IDispatch implementation per object kind (application,
// document, model space, layers, layer, entity), each with its member table, over any CadApplication engine.
// Also the server's test controls that every call passes through: call counting, busy rejections, a quit
// in the middle of a run, and the count of objects still referenced.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "cad/cad_automation.h"

namespace plenvo::cadserver {

struct ServerControls {
  std::wstring name;             // answered by the application's test member "Name"
  long busyFrom = -1;            // calls numbered from 1: calls busyFrom .. busyFrom+busyCount-1 are rejected
  long busyCount = 0;
  long quitAfter = -1;           // the process ends without answering call quitAfter+1
  std::function<bool(const std::string& path)> save;  // test member "SaveAs"
};

// Process-wide counters of the server.
struct ServerStats {
  std::atomic<long> calls{0};        // Invoke calls received, rejected ones included
  std::atomic<long> rejected{0};     // of them answered as busy
  std::atomic<long> liveObjects{0};  // automation objects alive, the application excepted
};
ServerStats& stats();

// The application object, holding the engine. The returned pointer carries one reference.
IDispatch* createApplicationObject(std::unique_ptr<CadApplication> engine, ServerControls controls);
// References held on the application object beyond the one its creator keeps.
long applicationExtraReferences(IDispatch* application);

}  // namespace plenvo::cadserver
