// IDispatch over the CadApplication interface: GetIDsOfNames from a name table per object kind, Invoke
// converting VARIANT arguments (arrays of doubles, BSTRs, by-reference outputs) to engine calls and back.
#include "cad_server/automation_objects.h"

#include <optional>
#include <span>
#include <vector>

#include "core/text_codec.h"
#include "win/unique_handle.h"

namespace plenvo::cadserver {

ServerStats& stats() {
  static ServerStats s;
  return s;
}

namespace {

using win::unique_variant;

struct Member {
  const wchar_t* name;
  DISPID id;
};

// Arguments of one Invoke in their natural order; the property-put value is the last one.
class Args {
 public:
  explicit Args(const DISPPARAMS* params) : params_(params) {}
  UINT count() const { return params_ ? params_->cArgs : 0; }
  VARIANT& at(UINT i) const { return params_->rgvarg[params_->cArgs - 1 - i]; }

 private:
  const DISPPARAMS* params_;
};

std::optional<double> toDouble(const VARIANT& v) {
  unique_variant out;
  if (FAILED(::VariantChangeType(out.get(), const_cast<VARIANT*>(&v), 0, VT_R8))) return std::nullopt;
  return out->dblVal;
}

std::optional<long> toLong(const VARIANT& v) {
  unique_variant out;
  if (FAILED(::VariantChangeType(out.get(), const_cast<VARIANT*>(&v), 0, VT_I4))) return std::nullopt;
  return out->lVal;
}

std::optional<bool> toBool(const VARIANT& v) {
  unique_variant out;
  if (FAILED(::VariantChangeType(out.get(), const_cast<VARIANT*>(&v), 0, VT_BOOL))) return std::nullopt;
  return out->boolVal != VARIANT_FALSE;
}

std::optional<std::string> toText(const VARIANT& v) {
  unique_variant out;
  if (FAILED(::VariantChangeType(out.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR))) return std::nullopt;
  if (!out->bstrVal) return std::string();
  return wideToUtf8(std::wstring_view(out->bstrVal, ::SysStringLen(out->bstrVal)));
}

// A one-dimensional array of doubles (VT_ARRAY|VT_R8, by value or by reference), as the real applications
// require for points and vertex lists.
std::optional<std::vector<double>> toDoubles(const VARIANT& v) {
  const VARIANT* direct = &v;
  if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) direct = v.pvarVal;
  SAFEARRAY* array = nullptr;
  if (direct->vt == (VT_ARRAY | VT_R8)) array = direct->parray;
  else if (direct->vt == (VT_BYREF | VT_ARRAY | VT_R8) && direct->pparray) array = *direct->pparray;
  if (!array || ::SafeArrayGetDim(array) != 1) return std::nullopt;
  LONG lower = 0, upper = -1;
  ::SafeArrayGetLBound(array, 1, &lower);
  ::SafeArrayGetUBound(array, 1, &upper);
  std::vector<double> values;
  for (LONG i = lower; i <= upper; ++i) {
    double d = 0;
    if (FAILED(::SafeArrayGetElement(array, &i, &d))) return std::nullopt;
    values.push_back(d);
  }
  return values;
}

std::optional<Point3> toPoint(const VARIANT& v) {
  auto d = toDoubles(v);
  if (!d || d->size() != 3) return std::nullopt;
  return Point3{(*d)[0], (*d)[1], (*d)[2]};
}

// A point as AutoCAD hands one out: three doubles with lower bound 0.
unique_variant pointResult(double x, double y) {
  win::unique_safearray array(::SafeArrayCreateVector(VT_R8, 0, 3));
  double* data = nullptr;
  ::SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&data));
  data[0] = x, data[1] = y, data[2] = 0;
  ::SafeArrayUnaccessData(array.get());
  return unique_variant::fromArray(std::move(array), VT_R8);
}

HRESULT fail(EXCEPINFO* exception, const std::wstring& what) {
  if (exception) {
    *exception = EXCEPINFO{};
    exception->scode = E_FAIL;
    exception->bstrSource = ::SysAllocString(L"Plenvo test CAD server");
    exception->bstrDescription = ::SysAllocString(what.c_str());
  }
  return DISP_E_EXCEPTION;
}

class AutomationObject : public IDispatch {
 public:
  explicit AutomationObject(bool counted) : counted_(counted) {
    if (counted_) ++stats().liveObjects;
  }
  virtual ~AutomationObject() {
    if (counted_) --stats().liveObjects;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *object = static_cast<IDispatch*>(this);
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

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const Member& m : members()) {
      if (::CompareStringOrdinal(names[0], -1, m.name, -1, TRUE) == CSTR_EQUAL) {
        ids[0] = m.id;
        break;
      }
    }
    if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    if (count > 1) hr = DISP_E_UNKNOWNNAME;  // no named arguments
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT*) override {
    const long call = ++stats().calls;
    const ServerControls& c = controls();
    if (c.quitAfter >= 0 && call > c.quitAfter) ::ExitProcess(3);  // the application dies mid-run
    if (c.busyFrom > 0 && call >= c.busyFrom && call < c.busyFrom + c.busyCount) {
      ++stats().rejected;
      return (call % 2) ? RPC_E_CALL_REJECTED : RPC_E_SERVERCALL_RETRYLATER;
    }
    if (result) ::VariantInit(result);
    if (!params) return E_INVALIDARG;
    // A property put takes exactly one named argument, DISPID_PROPERTYPUT; other calls take none.
    const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (isPut && (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
                  params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || params->cArgs != 1))
      return DISP_E_PARAMNOTFOUND;
    if (!isPut && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    unique_variant out;
    const HRESULT hr = invokeMember(id, flags, Args(params), out, exception);
    if (SUCCEEDED(hr) && result) *result = out.release();
    return hr;
  }

 protected:
  virtual std::span<const Member> members() const = 0;
  virtual const ServerControls& controls() const = 0;
  virtual HRESULT invokeMember(DISPID id, WORD flags, const Args& args, unique_variant& out,
                               EXCEPINFO* exception) = 0;

  static bool isGet(WORD flags) { return (flags & DISPATCH_PROPERTYGET) != 0; }
  static bool isMethod(WORD flags) { return (flags & DISPATCH_METHOD) != 0; }
  static bool isPut(WORD flags) { return (flags & DISPATCH_PROPERTYPUT) != 0; }

 private:
  std::atomic<ULONG> refs_{1};
  bool counted_;
};

// Every object of the server shares the controls through this.
struct Shared {
  ServerControls controls;
};

// Wraps an engine object as a counted automation object; the caller's reference is the returned one.
template <typename Object, typename Engine>
unique_variant objectResult(std::shared_ptr<Shared> shared, std::unique_ptr<Engine> engine) {
  IDispatch* object = new Object(std::move(shared), std::move(engine));
  unique_variant out;
  out->vt = VT_DISPATCH;
  out->pdispVal = object;  // takes the creation reference
  return out;
}

class SharedObject : public AutomationObject {
 public:
  explicit SharedObject(std::shared_ptr<Shared> shared, bool counted = true)
      : AutomationObject(counted), shared_(std::move(shared)) {}

 protected:
  const ServerControls& controls() const override { return shared_->controls; }
  std::shared_ptr<Shared> shared_;
};

enum : DISPID {
  kColor = 1,
  kGetBoundingBox = 10, kMove, kExplode, kDelete, kClosed, kLayer,
  kExists = 20, kAdd, kItem = DISPID_VALUE,
  kInsertBlock = 30, kAddLightweightPolyline,
  kModelSpace = 40, kLayers,
  kActiveDocument = 50, kUpdate, kZoomExtents,
  kName = 100, kSaveAs, kCallCount, kLiveObjects, kRejectedCount,
};

class EntityObject final : public SharedObject {
 public:
  EntityObject(std::shared_ptr<Shared> shared, std::unique_ptr<CadEntity> engine)
      : SharedObject(std::move(shared)), engine_(std::move(engine)) {}

 protected:
  std::span<const Member> members() const override {
    static const Member m[] = {{L"GetBoundingBox", kGetBoundingBox}, {L"Move", kMove}, {L"Explode", kExplode},
                               {L"Delete", kDelete},   {L"Closed", kClosed}, {L"Layer", kLayer},
                               {L"Color", kColor}};
    return m;
  }
  HRESULT invokeMember(DISPID id, WORD flags, const Args& args, unique_variant&, EXCEPINFO* ex) override {
    switch (id) {
      case kGetBoundingBox: {
        if (!isMethod(flags)) return DISP_E_MEMBERNOTFOUND;
        if (args.count() != 2) return DISP_E_BADPARAMCOUNT;
        for (UINT i = 0; i < 2; ++i)
          if (args.at(i).vt != (VT_BYREF | VT_VARIANT) || !args.at(i).pvarVal) return DISP_E_TYPEMISMATCH;
        const auto e = engine_->boundingBox();
        if (!e) return fail(ex, L"GetBoundingBox: the entity has no extents");
        ::VariantClear(args.at(0).pvarVal);
        *args.at(0).pvarVal = pointResult(e->minX, e->minY).release();
        ::VariantClear(args.at(1).pvarVal);
        *args.at(1).pvarVal = pointResult(e->maxX, e->maxY).release();
        return S_OK;
      }
      case kMove: {
        if (!isMethod(flags)) return DISP_E_MEMBERNOTFOUND;
        if (args.count() != 2) return DISP_E_BADPARAMCOUNT;
        const auto from = toPoint(args.at(0)), to = toPoint(args.at(1));
        if (!from || !to) return DISP_E_TYPEMISMATCH;
        return engine_->move(*from, *to) ? S_OK : fail(ex, L"Move failed");
      }
      case kExplode:
        if (!isMethod(flags)) return DISP_E_MEMBERNOTFOUND;
        if (args.count() != 0) return DISP_E_BADPARAMCOUNT;
        return engine_->explode() ? S_OK : fail(ex, L"Explode failed");
      case kDelete:
        if (!isMethod(flags)) return DISP_E_MEMBERNOTFOUND;
        if (args.count() != 0) return DISP_E_BADPARAMCOUNT;
        return engine_->erase() ? S_OK : fail(ex, L"Delete failed");
      case kClosed: {
        if (!isPut(flags)) return DISP_E_MEMBERNOTFOUND;
        const auto v = toBool(args.at(0));
        if (!v) return DISP_E_TYPEMISMATCH;
        return engine_->setClosed(*v) ? S_OK : fail(ex, L"Closed failed");
      }
      case kLayer: {
        if (!isPut(flags)) return DISP_E_MEMBERNOTFOUND;
        const auto v = toText(args.at(0));
        if (!v) return DISP_E_TYPEMISMATCH;
        return engine_->setLayer(*v) ? S_OK : fail(ex, L"Layer failed");
      }
      case kColor: {
        if (!isPut(flags)) return DISP_E_MEMBERNOTFOUND;
        const auto v = toLong(args.at(0));
        if (!v) return DISP_E_TYPEMISMATCH;
        return engine_->setColor(static_cast<int>(*v)) ? S_OK : fail(ex, L"Color failed");
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  std::unique_ptr<CadEntity> engine_;
};

class LayerObject final : public SharedObject {
 public:
  LayerObject(std::shared_ptr<Shared> shared, std::unique_ptr<CadLayer> engine)
      : SharedObject(std::move(shared)), engine_(std::move(engine)) {}

 protected:
  std::span<const Member> members() const override {
    static const Member m[] = {{L"Color", kColor}};
    return m;
  }
  HRESULT invokeMember(DISPID id, WORD flags, const Args& args, unique_variant&, EXCEPINFO* ex) override {
    if (id != kColor || !isPut(flags)) return DISP_E_MEMBERNOTFOUND;
    const auto v = toLong(args.at(0));
    if (!v) return DISP_E_TYPEMISMATCH;
    return engine_->setColor(static_cast<int>(*v)) ? S_OK : fail(ex, L"Color failed");
  }

 private:
  std::unique_ptr<CadLayer> engine_;
};

class LayersObject final : public SharedObject {
 public:
  LayersObject(std::shared_ptr<Shared> shared, std::unique_ptr<CadLayers> engine)
      : SharedObject(std::move(shared)), engine_(std::move(engine)) {}

 protected:
  std::span<const Member> members() const override {
    static const Member m[] = {{L"Exists", kExists}, {L"Item", kItem}, {L"Add", kAdd}};
    return m;
  }
  HRESULT invokeMember(DISPID id, WORD flags, const Args& args, unique_variant& out, EXCEPINFO* ex) override {
    if (id != kExists && id != kItem && id != kAdd) return DISP_E_MEMBERNOTFOUND;
    if (!isMethod(flags) && !(id == kItem && isGet(flags))) return DISP_E_MEMBERNOTFOUND;
    if (args.count() != 1) return DISP_E_BADPARAMCOUNT;
    const auto name = toText(args.at(0));
    if (!name) return DISP_E_TYPEMISMATCH;
    if (id == kExists) {
      const auto exists = engine_->exists(*name);
      if (!exists) return fail(ex, L"Exists failed");
      out = unique_variant::fromBool(*exists);
      return S_OK;
    }
    auto layer = id == kItem ? engine_->item(*name) : engine_->add(*name);
    if (!layer) return fail(ex, id == kItem ? L"Item: no such layer" : L"Add failed");
    out = objectResult<LayerObject>(shared_, std::move(layer));
    return S_OK;
  }

 private:
  std::unique_ptr<CadLayers> engine_;
};

class ModelSpaceObject final : public SharedObject {
 public:
  ModelSpaceObject(std::shared_ptr<Shared> shared, std::unique_ptr<CadModelSpace> engine)
      : SharedObject(std::move(shared)), engine_(std::move(engine)) {}

 protected:
  std::span<const Member> members() const override {
    static const Member m[] = {{L"InsertBlock", kInsertBlock}, {L"AddLightweightPolyline", kAddLightweightPolyline}};
    return m;
  }
  HRESULT invokeMember(DISPID id, WORD flags, const Args& args, unique_variant& out, EXCEPINFO* ex) override {
    if (!isMethod(flags)) return DISP_E_MEMBERNOTFOUND;
    if (id == kInsertBlock) {
      // InsertBlock(point, path, xScale, yScale, zScale, rotation [, password])
      if (args.count() != 6 && args.count() != 7) return DISP_E_BADPARAMCOUNT;
      const auto at = toPoint(args.at(0));
      const auto path = toText(args.at(1));
      double numbers[4] = {};
      for (UINT i = 0; i < 4; ++i) {
        const auto d = toDouble(args.at(2 + i));
        if (!d) return DISP_E_TYPEMISMATCH;
        numbers[i] = *d;
      }
      if (!at || !path) return DISP_E_TYPEMISMATCH;
      auto block = engine_->insertBlock(*at, *path, numbers[0], numbers[1], numbers[2], numbers[3]);
      if (!block) return fail(ex, L"InsertBlock: the drawing cannot be inserted: " + utf8ToWide(*path));
      out = objectResult<EntityObject>(shared_, std::move(block));
      return S_OK;
    }
    if (id == kAddLightweightPolyline) {
      if (args.count() != 1) return DISP_E_BADPARAMCOUNT;
      const auto xy = toDoubles(args.at(0));
      if (!xy || xy->size() % 2 != 0 || xy->size() < 4) return DISP_E_TYPEMISMATCH;
      std::vector<Point2> vertices;
      for (size_t i = 0; i < xy->size(); i += 2) vertices.push_back({(*xy)[i], (*xy)[i + 1]});
      auto polyline = engine_->addLightweightPolyline(vertices);
      if (!polyline) return fail(ex, L"AddLightweightPolyline failed");
      out = objectResult<EntityObject>(shared_, std::move(polyline));
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  std::unique_ptr<CadModelSpace> engine_;
};

class DocumentObject final : public SharedObject {
 public:
  DocumentObject(std::shared_ptr<Shared> shared, std::unique_ptr<CadDocument> engine)
      : SharedObject(std::move(shared)), engine_(std::move(engine)) {}

 protected:
  std::span<const Member> members() const override {
    static const Member m[] = {{L"ModelSpace", kModelSpace}, {L"Layers", kLayers}};
    return m;
  }
  HRESULT invokeMember(DISPID id, WORD flags, const Args& args, unique_variant& out, EXCEPINFO* ex) override {
    if (!isGet(flags)) return DISP_E_MEMBERNOTFOUND;
    if (args.count() != 0) return DISP_E_BADPARAMCOUNT;
    if (id == kModelSpace) {
      auto space = engine_->modelSpace();
      if (!space) return fail(ex, L"ModelSpace failed");
      out = objectResult<ModelSpaceObject>(shared_, std::move(space));
      return S_OK;
    }
    if (id == kLayers) {
      auto layers = engine_->layers();
      if (!layers) return fail(ex, L"Layers failed");
      out = objectResult<LayersObject>(shared_, std::move(layers));
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  std::unique_ptr<CadDocument> engine_;
};

class ApplicationObject final : public SharedObject {
 public:
  ApplicationObject(std::shared_ptr<Shared> shared, std::unique_ptr<CadApplication> engine)
      : SharedObject(std::move(shared), /*counted=*/false), engine_(std::move(engine)) {}

 protected:
  std::span<const Member> members() const override {
    static const Member m[] = {{L"ActiveDocument", kActiveDocument}, {L"Update", kUpdate},
                               {L"ZoomExtents", kZoomExtents},
                               // Test controls; the product never calls these.
                               {L"Name", kName}, {L"SaveAs", kSaveAs}, {L"CallCount", kCallCount},
                               {L"LiveObjects", kLiveObjects}, {L"RejectedCount", kRejectedCount}};
    return m;
  }
  HRESULT invokeMember(DISPID id, WORD flags, const Args& args, unique_variant& out, EXCEPINFO* ex) override {
    switch (id) {
      case kActiveDocument: {
        if (!isGet(flags)) return DISP_E_MEMBERNOTFOUND;
        auto document = engine_->activeDocument();
        if (!document) return fail(ex, L"ActiveDocument: no drawing is open");
        out = objectResult<DocumentObject>(shared_, std::move(document));
        return S_OK;
      }
      case kUpdate:
        if (!isMethod(flags)) return DISP_E_MEMBERNOTFOUND;
        return engine_->update() ? S_OK : fail(ex, L"Update failed");
      case kZoomExtents:
        if (!isMethod(flags)) return DISP_E_MEMBERNOTFOUND;
        return engine_->zoomExtents() ? S_OK : fail(ex, L"ZoomExtents failed");
      case kName: {
        const std::wstring& name = shared_->controls.name;
        out = unique_variant::fromBstr(win::makeBstr(name.data(), name.size()));
        return S_OK;
      }
      case kSaveAs: {
        if (args.count() != 1) return DISP_E_BADPARAMCOUNT;
        const auto path = toText(args.at(0));
        if (!path) return DISP_E_TYPEMISMATCH;
        if (!shared_->controls.save || !shared_->controls.save(*path)) return fail(ex, L"SaveAs failed");
        return S_OK;
      }
      case kCallCount:
        out = unique_variant::fromInt(stats().calls.load());
        return S_OK;
      case kLiveObjects:
        out = unique_variant::fromInt(stats().liveObjects.load());
        return S_OK;
      case kRejectedCount:
        out = unique_variant::fromInt(stats().rejected.load());
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  std::unique_ptr<CadApplication> engine_;
};

}  // namespace

IDispatch* createApplicationObject(std::unique_ptr<CadApplication> engine, ServerControls controls) {
  auto shared = std::make_shared<Shared>();
  shared->controls = std::move(controls);
  return new ApplicationObject(std::move(shared), std::move(engine));
}

long applicationExtraReferences(IDispatch* application) {
  const ULONG withOurs = application->AddRef();
  application->Release();
  return static_cast<long>(withOurs) - 2;  // minus the one just taken and the creator's
}

}  // namespace plenvo::cadserver
