// The COM client's calling rules against an in-process scripted IDispatch: DISPIDs asked once per object
// and name, the property-put named argument, which errors are retried and for how long, the memory of a
// dead server, and the point arrays in both directions.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <deque>
#include <map>
#include <string>

#include "cad/com/com_dispatch.h"
#include "win/unique_handle.h"

namespace plenvo::com {
namespace {

// Answers every Invoke with the next scripted HRESULT (S_OK when the script is empty) and records calls.
class ScriptedDispatch final : public IDispatch {
 public:
  std::deque<HRESULT> script;
  std::map<std::wstring, int> namesAsked;
  int invokes = 0;
  UINT lastNamedArgs = 0;
  DISPID lastNamedArg = 0;
  WORD lastFlags = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    ++namesAsked[names[0]];
    *ids = static_cast<DISPID>(namesAsked.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    ++invokes;
    lastFlags = flags;
    lastNamedArgs = params->cNamedArgs;
    lastNamedArg = params->cNamedArgs ? params->rgdispidNamedArgs[0] : 0;
    if (script.empty()) return S_OK;
    const HRESULT hr = script.front();
    script.pop_front();
    return hr;
  }
  ULONG refs = 1;
};

constexpr HRESULT kServerUnavailable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);

class ComClient : public ::testing::Test {
 protected:
  ComThreadScope com_{};
  ScriptedDispatch fake_;
  DispatchObject object(const BusyRetryPolicy& policy = {2, 8, 1000}) {
    return DispatchObject(win::com_ptr<IDispatch>::copyFrom(&fake_), std::make_shared<ComLink>(policy));
  }
};

TEST_F(ComClient, AsksEachMemberNameOnceAndPutsWithTheNamedArgument) {
  ASSERT_TRUE(com_.ok());
  DispatchObject o = object();
  win::unique_variant v;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(o.get(L"ActiveDocument", v), S_OK);
  EXPECT_EQ(o.put(L"Color", win::unique_variant::fromInt(1)), S_OK);
  EXPECT_EQ(fake_.lastFlags, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(fake_.lastNamedArgs, 1u);
  EXPECT_EQ(fake_.lastNamedArg, DISPID_PROPERTYPUT);
  EXPECT_EQ(o.put(L"Color", win::unique_variant::fromInt(2)), S_OK);
  EXPECT_EQ(fake_.namesAsked[L"ActiveDocument"], 1);
  EXPECT_EQ(fake_.namesAsked[L"Color"], 1);
  EXPECT_EQ(fake_.invokes, 5);
}

TEST_F(ComClient, RetriesOnlyBusyRejectionsAndWithinTheBound) {
  struct Case {
    const char* what;
    std::deque<HRESULT> script;
    HRESULT expected;
    int invokes;
  };
  const HRESULT busy = RPC_E_CALL_REJECTED, later = RPC_E_SERVERCALL_RETRYLATER;
  const Case cases[] = {
      {"rejected three times, then answered", {busy, busy, busy}, S_OK, 4},
      {"retry-later twice, then answered", {later, later}, S_OK, 3},
      {"an exception inside the application is not retried", {DISP_E_EXCEPTION, S_OK}, DISP_E_EXCEPTION, 1},
      {"an unknown member is not retried", {DISP_E_MEMBERNOTFOUND, S_OK}, DISP_E_MEMBERNOTFOUND, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake_.script = c.script;
    fake_.invokes = 0;
    DispatchObject o = object();
    std::vector<win::unique_variant> none;
    EXPECT_EQ(o.call(L"Update", none, nullptr), c.expected);
    EXPECT_EQ(fake_.invokes, c.invokes);
  }

  // Busy for good: gives up after the policy's total, with delays 10, 20, 40, 40, ... ms.
  fake_.script.assign(1000, busy);
  fake_.invokes = 0;
  DispatchObject o = object({10, 40, 300});
  std::vector<win::unique_variant> none;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(o.call(L"Update", none, nullptr), busy);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 200);
  EXPECT_LE(ms, 600);
  EXPECT_GE(fake_.invokes, 5);
  EXPECT_LE(fake_.invokes, 12);
}

TEST_F(ComClient, AfterTheServerDiedEveryObjectOfItsApplicationFailsWithoutCalling) {
  DispatchObject app = object();
  DispatchObject child(win::com_ptr<IDispatch>::copyFrom(&fake_), app.link());
  fake_.script = {kServerUnavailable};
  std::vector<win::unique_variant> none;
  EXPECT_EQ(app.call(L"Update", none, nullptr), kServerUnavailable);
  EXPECT_TRUE(app.link()->gone());
  EXPECT_TRUE(FAILED(app.call(L"ZoomExtents", none, nullptr)));
  EXPECT_TRUE(FAILED(child.call(L"Explode", none, nullptr)));
  EXPECT_EQ(fake_.invokes, 1);
  // Another application's link is not affected.
  DispatchObject other = object();
  EXPECT_EQ(other.call(L"Update", none, nullptr), S_OK);
}

win::unique_variant array(VARTYPE type, LONG lower, std::vector<double> values) {
  win::unique_safearray a(::SafeArrayCreateVector(type, lower, static_cast<ULONG>(values.size())));
  for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
    LONG index = lower + i;
    if (type == VT_R8) {
      ::SafeArrayPutElement(a.get(), &index, &values[i]);
    } else {
      win::unique_variant item = win::unique_variant::fromDouble(values[i]);
      ::SafeArrayPutElement(a.get(), &index, item.get());
    }
  }
  return win::unique_variant::fromArray(std::move(a), type);
}

TEST_F(ComClient, ReadsTheFirstTwoElementsOfAPointWhateverItsLowerBound) {
  struct Case {
    const char* what;
    win::unique_variant value;
    std::optional<Point2> expected;
  };
  Case cases[] = {
      {"doubles from 0", array(VT_R8, 0, {1.5, -2, 3}), Point2{1.5, -2}},
      {"doubles from 1", array(VT_R8, 1, {4, 5, 6}), Point2{4, 5}},
      {"variants from 0", array(VT_VARIANT, 0, {7, 8, 0}), Point2{7, 8}},
      {"one element only", array(VT_R8, 0, {1}), std::nullopt},
      {"not an array", win::unique_variant::fromDouble(1), std::nullopt},
      {"empty", win::unique_variant(), std::nullopt},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(readPoint(*c.value.get()), c.expected);
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = c.value.get();
    EXPECT_EQ(readPoint(byRef), c.expected) << "by reference";
  }
}

TEST_F(ComClient, SendsPointsAsDoublesFromLowerBoundOne) {
  win::unique_variant p = makePoint({1, 2, 3});
  ASSERT_EQ(p.type(), VT_ARRAY | VT_R8);
  LONG lower = 0, upper = 0;
  ::SafeArrayGetLBound(p->parray, 1, &lower);
  ::SafeArrayGetUBound(p->parray, 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  double z = 0;
  LONG last = 3;
  ::SafeArrayGetElement(p->parray, &last, &z);
  EXPECT_EQ(z, 3);
}

}  // namespace
}  // namespace plenvo::com
