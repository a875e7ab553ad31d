// Late-bound calls with busy retries and the dead-server memory; point arrays; the busy message filter.
#include "cad/com/com_dispatch.h"

#include <algorithm>
#include <atomic>

namespace plenvo::com {

namespace {

constexpr HRESULT kServerUnavailable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);  // 0x800706BA
constexpr HRESULT kCallFailedDne = HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE);        // 0x800706BF

// The delay before the next attempt of a call rejected `elapsedMs` after its first attempt, or -1 when the
// policy's total would be exceeded. The delay roughly doubles because it follows the time already spent.
int nextDelay(const BusyRetryPolicy& policy, ULONGLONG elapsedMs) {
  const ULONGLONG delay = std::clamp<ULONGLONG>(elapsedMs, static_cast<ULONGLONG>(policy.firstDelayMs),
                                                static_cast<ULONGLONG>(std::max(policy.firstDelayMs,
                                                                                policy.maxDelayMs)));
  if (elapsedMs + delay > static_cast<ULONGLONG>(policy.totalMs)) return -1;
  return static_cast<int>(delay);
}

// Runs `attempt` until it returns something other than a busy error or the policy gives up.
template <typename F>
HRESULT withBusyRetry(const BusyRetryPolicy& policy, F&& attempt) {
  const ULONGLONG start = ::GetTickCount64();
  int delay = 0;
  for (;;) {
    const HRESULT hr = attempt();
    if (!isBusyError(hr)) return hr;
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    // Wine's channel does not consult the message filter for every kind of rejection, so this loop may be
    // the only retry there is.
    const int maxDelay = std::max(policy.firstDelayMs, policy.maxDelayMs);
    delay = delay == 0 ? policy.firstDelayMs : std::min(delay * 2, maxDelay);
    if (elapsed + static_cast<ULONGLONG>(delay) > static_cast<ULONGLONG>(policy.totalMs)) return hr;
    ::Sleep(static_cast<DWORD>(delay));
  }
}

}  // namespace

bool isBusyError(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

bool isServerGoneError(HRESULT hr) {
  return hr == kServerUnavailable || hr == kCallFailedDne || hr == RPC_E_DISCONNECTED ||
         hr == RPC_E_SERVER_DIED || hr == RPC_E_SERVER_DIED_DNE || hr == CO_E_OBJNOTCONNECTED;
}

void ComLink::noteResult(HRESULT hr) {
  if (FAILED(hr)) lastError_ = hr;
  if (isServerGoneError(hr)) gone_ = true;
}

HRESULT DispatchObject::dispId(std::wstring_view name, DISPID& id) {
  const std::wstring key(name);
  if (auto it = dispIds_.find(key); it != dispIds_.end()) {
    id = it->second;
    return S_OK;
  }
  LPOLESTR names[] = {const_cast<LPOLESTR>(key.c_str())};
  const HRESULT hr = withBusyRetry(link_->policy(), [&] {
    return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  });
  if (SUCCEEDED(hr)) dispIds_.emplace(key, id);
  return hr;
}

HRESULT DispatchObject::invoke(std::wstring_view name, WORD flags, std::vector<win::unique_variant>& args,
                               bool namedPut, win::unique_variant* result) {
  if (result) result->reset();
  if (!dispatch_) return E_POINTER;
  if (link_->gone()) return RPC_E_DISCONNECTED;  // fail fast once the application has died
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = dispId(name, id);
  if (FAILED(hr)) {
    link_->noteResult(hr);
    return hr;
  }
  // DISPPARAMS holds the arguments last first; the VARIANTs stay owned by `args`.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  if (namedPut) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  hr = withBusyRetry(link_->policy(), [&] {
    EXCEPINFO exception{};
    UINT argError = 0;
    if (result) result->reset();
    const HRESULT r = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                        result ? result->get() : nullptr, &exception, &argError);
    // The description strings are the callee's to allocate and ours to free.
    win::unique_bstr source(exception.bstrSource), description(exception.bstrDescription),
        help(exception.bstrHelpFile);
    return r;
  });
  link_->noteResult(hr);
  if (FAILED(hr) && result) result->reset();
  return hr;
}

HRESULT DispatchObject::get(std::wstring_view name, win::unique_variant& result) {
  std::vector<win::unique_variant> none;
  return invoke(name, DISPATCH_PROPERTYGET, none, false, &result);
}

HRESULT DispatchObject::put(std::wstring_view name, win::unique_variant value) {
  std::vector<win::unique_variant> args;
  args.push_back(std::move(value));
  return invoke(name, DISPATCH_PROPERTYPUT, args, true, nullptr);
}

HRESULT DispatchObject::call(std::wstring_view name, std::vector<win::unique_variant>& args,
                             win::unique_variant* result) {
  return invoke(name, DISPATCH_METHOD, args, false, result);
}

std::optional<DispatchObject> DispatchObject::objectFrom(win::unique_variant& value) const {
  win::com_ptr<IDispatch> object;
  if (value.type() == VT_DISPATCH && value->pdispVal) {
    object = win::com_ptr<IDispatch>::copyFrom(value->pdispVal);
  } else if (value.type() == VT_UNKNOWN && value->punkVal) {
    value->punkVal->QueryInterface(IID_IDispatch, object.put_void());
  }
  value.reset();
  if (!object) return std::nullopt;
  return DispatchObject(std::move(object), link_);
}

win::unique_variant makeDoubleArray(const std::vector<double>& values) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), 1};
  win::unique_safearray array(::SafeArrayCreate(VT_R8, 1, &bound));
  if (!array) return {};
  double* data = nullptr;
  if (FAILED(::SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&data)))) return {};
  std::copy(values.begin(), values.end(), data);
  ::SafeArrayUnaccessData(array.get());
  return win::unique_variant::fromArray(std::move(array), VT_R8);
}

win::unique_variant makePoint(const Point3& p) { return makeDoubleArray({p.x, p.y, p.z}); }

std::optional<Point2> readPoint(const VARIANT& value) {
  win::unique_variant direct;
  if (FAILED(::VariantCopyInd(direct.get(), const_cast<VARIANT*>(&value)))) return std::nullopt;
  if (!(direct.type() & VT_ARRAY) || !direct->parray) return std::nullopt;
  SAFEARRAY* array = direct->parray;
  if (::SafeArrayGetDim(array) != 1) return std::nullopt;
  LONG lower = 0, upper = -1;
  if (FAILED(::SafeArrayGetLBound(array, 1, &lower)) || FAILED(::SafeArrayGetUBound(array, 1, &upper)) ||
      upper - lower + 1 < 2)
    return std::nullopt;
  const VARTYPE element = static_cast<VARTYPE>(direct.type() & VT_TYPEMASK);
  double xy[2] = {0, 0};
  for (LONG i = 0; i < 2; ++i) {
    LONG index = lower + i;
    if (element == VT_R8) {
      if (FAILED(::SafeArrayGetElement(array, &index, &xy[i]))) return std::nullopt;
    } else if (element == VT_VARIANT) {
      win::unique_variant item;
      if (FAILED(::SafeArrayGetElement(array, &index, item.get()))) return std::nullopt;
      if (FAILED(::VariantChangeType(item.get(), item.get(), 0, VT_R8))) return std::nullopt;
      xy[i] = item->dblVal;
    } else if (element == VT_R4) {
      float f = 0;
      if (FAILED(::SafeArrayGetElement(array, &index, &f))) return std::nullopt;
      xy[i] = f;
    } else {
      return std::nullopt;
    }
  }
  return Point2{xy[0], xy[1]};
}

namespace {

// Retries rejected calls while the policy allows and keeps COM from showing its "server busy" dialog.
class BusyMessageFilter final : public IMessageFilter {
 public:
  explicit BusyMessageFilter(const BusyRetryPolicy& policy) : policy_(policy) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMessageFilter) {
      *object = static_cast<IMessageFilter*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejectType) override {
    if (rejectType != SERVERCALL_RETRYLATER && rejectType != SERVERCALL_REJECTED) return static_cast<DWORD>(-1);
    const int delay = nextDelay(policy_, elapsedMs);
    return delay < 0 ? static_cast<DWORD>(-1) : static_cast<DWORD>(delay);
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITNOPROCESS; }

 private:
  BusyRetryPolicy policy_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace

BusyMessageFilterScope::BusyMessageFilterScope(const BusyRetryPolicy& policy) {
  auto filter = win::com_ptr<IMessageFilter>::attach(new BusyMessageFilter(policy));
  installed_ = SUCCEEDED(::CoRegisterMessageFilter(filter.get(), previous_.put()));
}

BusyMessageFilterScope::~BusyMessageFilterScope() {
  if (!installed_) return;
  win::com_ptr<IMessageFilter> ours;
  ::CoRegisterMessageFilter(previous_.get(), ours.put());
}

ComThreadScope::ComThreadScope(const BusyRetryPolicy& policy)
    : init_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
  if (SUCCEEDED(init_)) filter_.emplace(policy);
}

ComThreadScope::~ComThreadScope() {
  filter_.reset();
  if (SUCCEEDED(init_)) ::CoUninitialize();
}

}  // namespace plenvo::com
