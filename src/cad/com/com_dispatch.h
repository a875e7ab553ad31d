// Late-bound IDispatch calls to a CAD application in another process: member names resolved once per object
// and cached, property get/put and method calls, retries while the application reports itself busy, and the
// memory that the application has gone away. Also the thread's COM set-up with its busy message filter.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/sheet_layout.h"
#include "cad/cad_automation.h"
#include "win/unique_handle.h"

namespace plenvo::com {

// How long a call that the application rejects as busy is tried again: the delay starts at firstDelayMs
// and doubles up to maxDelayMs; after totalMs from the first attempt the call gives up.
struct BusyRetryPolicy {
  int firstDelayMs = 100;
  int maxDelayMs = 1000;
  int totalMs = 30000;
};

// The application is busy (a command runs, a file loads): worth trying again later.
bool isBusyError(HRESULT hr);
// The application's process is gone: no later call can succeed.
bool isServerGoneError(HRESULT hr);

// State shared by an application object and every object obtained through it.
class ComLink {
 public:
  explicit ComLink(const BusyRetryPolicy& policy) : policy_(policy) {}
  const BusyRetryPolicy& policy() const { return policy_; }
  bool gone() const { return gone_; }
  void noteResult(HRESULT hr);
  HRESULT lastError() const { return lastError_; }

 private:
  BusyRetryPolicy policy_;
  bool gone_ = false;
  HRESULT lastError_ = S_OK;
};

// One remote object and the DISPIDs of the members already used on it.
class DispatchObject {
 public:
  DispatchObject(win::com_ptr<IDispatch> dispatch, std::shared_ptr<ComLink> link)
      : dispatch_(std::move(dispatch)), link_(std::move(link)) {}

  // Arguments in their natural order (first argument first). The result is cleared first; an error leaves
  // it empty. Busy rejections are retried within the link's policy; other errors come back at once.
  [[nodiscard]] HRESULT get(std::wstring_view name, win::unique_variant& result);
  [[nodiscard]] HRESULT put(std::wstring_view name, win::unique_variant value);
  [[nodiscard]] HRESULT call(std::wstring_view name, std::vector<win::unique_variant>& args,
                             win::unique_variant* result);

  // The object a call returned (VT_DISPATCH or VT_UNKNOWN offering IDispatch), sharing this link.
  std::optional<DispatchObject> objectFrom(win::unique_variant& value) const;

  IDispatch* dispatch() const { return dispatch_.get(); }
  const std::shared_ptr<ComLink>& link() const { return link_; }

 private:
  HRESULT invoke(std::wstring_view name, WORD flags, std::vector<win::unique_variant>& args, bool namedPut,
                 win::unique_variant* result);
  HRESULT dispId(std::wstring_view name, DISPID& id);

  win::com_ptr<IDispatch> dispatch_;
  std::shared_ptr<ComLink> link_;
  std::unordered_map<std::wstring, DISPID> dispIds_;
};

// Points and vertex lists as the CAD applications take them: VT_ARRAY|VT_R8, one dimension, lower bound 1.
win::unique_variant makeDoubleArray(const std::vector<double>& values);
win::unique_variant makePoint(const Point3& p);
// x and y of a point received: its first two elements, whatever its lower bound (doubles, or variants
// holding numbers; by reference or not).
std::optional<Point2> readPoint(const VARIANT& value);

// Installs the message filter that has COM retry rejected calls with growing delays and suppresses the
// "server busy" dialog; puts the previous filter back when destroyed. For an STA thread.
class BusyMessageFilterScope {
 public:
  explicit BusyMessageFilterScope(const BusyRetryPolicy& policy = {});
  ~BusyMessageFilterScope();
  BusyMessageFilterScope(const BusyMessageFilterScope&) = delete;
  BusyMessageFilterScope& operator=(const BusyMessageFilterScope&) = delete;
  bool installed() const { return installed_; }

 private:
  win::com_ptr<IMessageFilter> previous_;
  bool installed_ = false;
};

// The calling thread as a single-threaded COM apartment with the busy message filter, for its lifetime.
class ComThreadScope {
 public:
  explicit ComThreadScope(const BusyRetryPolicy& policy = {});
  ~ComThreadScope();
  ComThreadScope(const ComThreadScope&) = delete;
  ComThreadScope& operator=(const ComThreadScope&) = delete;
  bool ok() const { return SUCCEEDED(init_); }

 private:
  HRESULT init_;
  std::optional<BusyMessageFilterScope> filter_;
};

}  // namespace plenvo::com
