// The CAD automation interface over COM: a running AutoCAD, ZWCAD or GstarCAD (or anything registering the
// same ProgIDs and members), found in the running-object table by ProgID and driven by late-bound calls.
#pragma once

#include <memory>
#include <string>

#include "cad/cad_connection.h"
#include "cad/com/com_dispatch.h"

namespace plenvo::com {

// CLSIDFromProgID + GetActiveObject. Every application found gets its own link (busy policy, dead memory).
// The calling thread must be a COM apartment (see ComThreadScope).
class ComRunningObjectLookup final : public RunningObjectLookup {
 public:
  explicit ComRunningObjectLookup(const BusyRetryPolicy& policy = {}) : policy_(policy) {}
  std::unique_ptr<CadApplication> find(const std::string& progId) override;
  // Why the last find failed (CO_E_CLASSSTRING: ProgID not registered, MK_E_UNAVAILABLE: not running).
  HRESULT lastError() const { return lastError_; }

 private:
  BusyRetryPolicy policy_;
  HRESULT lastError_ = S_OK;
};

// The remote object behind a CadApplication that this client made; null for any other application.
const DispatchObject* dispatchOf(const CadApplication& application);

}  // namespace plenvo::com
