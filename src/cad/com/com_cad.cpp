// CadApplication and its objects over late-bound COM calls, and the running-object lookup by ProgID.
#include "cad/com/com_cad.h"

#include <utility>

#include "core/text_codec.h"

namespace plenvo::com {

namespace {

using win::unique_variant;

unique_variant bstrArg(const std::string& utf8) {
  const std::wstring wide = utf8ToWide(utf8);
  win::unique_bstr text = win::makeBstr(wide.data(), wide.size());
  if (!text) return {};
  return unique_variant::fromBstr(std::move(text));
}

template <typename... A>
std::vector<unique_variant> argList(A&&... values) {
  std::vector<unique_variant> args;
  args.reserve(sizeof...(values));
  (args.push_back(std::forward<A>(values)), ...);
  return args;
}

// A method or property get whose result is another object.
std::optional<DispatchObject> fetchObject(DispatchObject& on, std::wstring_view name,
                                          std::vector<unique_variant>* args, bool isProperty) {
  unique_variant result;
  std::vector<unique_variant> none;
  const HRESULT hr = isProperty ? on.get(name, result) : on.call(name, args ? *args : none, &result);
  if (FAILED(hr)) return std::nullopt;
  return on.objectFrom(result);
}

bool callMethod(DispatchObject& on, std::wstring_view name) {
  std::vector<unique_variant> none;
  unique_variant ignored;
  return SUCCEEDED(on.call(name, none, &ignored));
}

class ComEntity final : public CadEntity {
 public:
  explicit ComEntity(DispatchObject object) : object_(std::move(object)) {}

  std::optional<Extents> boundingBox() override {
    // Two VT_BYREF|VT_VARIANT arguments that the application fills with one point each.
    unique_variant lower, upper;
    std::vector<unique_variant> args(2);
    args[0]->vt = VT_BYREF | VT_VARIANT;
    args[0]->pvarVal = lower.get();
    args[1]->vt = VT_BYREF | VT_VARIANT;
    args[1]->pvarVal = upper.get();
    unique_variant ignored;
    const HRESULT hr = object_.call(L"GetBoundingBox", args, &ignored);
    // The by-reference wrappers do not own what they point to: make them empty before they are cleared.
    for (auto& a : args) a->vt = VT_EMPTY;
    if (FAILED(hr)) return std::nullopt;
    const auto ll = readPoint(*lower.get());
    const auto ur = readPoint(*upper.get());
    if (!ll || !ur) return std::nullopt;
    return Extents{ll->x, ll->y, ur->x, ur->y};
  }
  bool move(const Point3& from, const Point3& to) override {
    auto args = argList(makePoint(from), makePoint(to));
    unique_variant ignored;
    return SUCCEEDED(object_.call(L"Move", args, &ignored));
  }
  bool explode() override { return callMethod(object_, L"Explode"); }
  bool erase() override { return callMethod(object_, L"Delete"); }
  bool setClosed(bool closed) override { return SUCCEEDED(object_.put(L"Closed", unique_variant::fromBool(closed))); }
  bool setLayer(const std::string& layer) override { return SUCCEEDED(object_.put(L"Layer", bstrArg(layer))); }
  bool setColor(int color) override { return SUCCEEDED(object_.put(L"Color", unique_variant::fromInt(color))); }

 private:
  DispatchObject object_;
};

class ComLayer final : public CadLayer {
 public:
  explicit ComLayer(DispatchObject object) : object_(std::move(object)) {}
  bool setColor(int color) override { return SUCCEEDED(object_.put(L"Color", unique_variant::fromInt(color))); }

 private:
  DispatchObject object_;
};

class ComLayers final : public CadLayers {
 public:
  explicit ComLayers(DispatchObject object) : object_(std::move(object)) {}

  std::optional<bool> exists(const std::string& name) override {
    auto args = argList(bstrArg(name));
    unique_variant result;
    if (FAILED(object_.call(L"Exists", args, &result))) return std::nullopt;
    if (FAILED(::VariantChangeType(result.get(), result.get(), 0, VT_BOOL))) return std::nullopt;
    return result->boolVal != VARIANT_FALSE;  // VARIANT_TRUE (-1) when the layer exists
  }
  std::unique_ptr<CadLayer> item(const std::string& name) override { return layerCall(L"Item", name); }
  std::unique_ptr<CadLayer> add(const std::string& name) override { return layerCall(L"Add", name); }

 private:
  std::unique_ptr<CadLayer> layerCall(std::wstring_view member, const std::string& name) {
    auto args = argList(bstrArg(name));
    auto layer = fetchObject(object_, member, &args, false);
    if (!layer) return nullptr;
    return std::make_unique<ComLayer>(std::move(*layer));
  }

  DispatchObject object_;
};

class ComModelSpace final : public CadModelSpace {
 public:
  explicit ComModelSpace(DispatchObject object) : object_(std::move(object)) {}

  std::unique_ptr<CadEntity> insertBlock(const Point3& at, const std::string& path, double xScale, double yScale,
                                         double zScale, double rotation) override {
    // The trailing 0 fills the optional seventh parameter (a password in AutoCAD; unused).
    auto args = argList(makePoint(at), bstrArg(path), unique_variant::fromDouble(xScale),
                        unique_variant::fromDouble(yScale), unique_variant::fromDouble(zScale),
                        unique_variant::fromDouble(rotation), unique_variant::fromInt(0));
    return entityFrom(fetchObject(object_, L"InsertBlock", &args, false));
  }
  std::unique_ptr<CadEntity> addLightweightPolyline(const std::vector<Point2>& vertices) override {
    std::vector<double> xy;
    xy.reserve(vertices.size() * 2);
    for (const Point2& v : vertices) {
      xy.push_back(v.x);
      xy.push_back(v.y);
    }
    auto args = argList(makeDoubleArray(xy));
    return entityFrom(fetchObject(object_, L"AddLightweightPolyline", &args, false));
  }

 private:
  static std::unique_ptr<CadEntity> entityFrom(std::optional<DispatchObject> object) {
    if (!object) return nullptr;
    return std::make_unique<ComEntity>(std::move(*object));
  }

  DispatchObject object_;
};

class ComDocument final : public CadDocument {
 public:
  explicit ComDocument(DispatchObject object) : object_(std::move(object)) {}

  std::unique_ptr<CadModelSpace> modelSpace() override {
    auto space = fetchObject(object_, L"ModelSpace", nullptr, true);
    if (!space) return nullptr;
    return std::make_unique<ComModelSpace>(std::move(*space));
  }
  std::unique_ptr<CadLayers> layers() override {
    auto layers = fetchObject(object_, L"Layers", nullptr, true);
    if (!layers) return nullptr;
    return std::make_unique<ComLayers>(std::move(*layers));
  }

 private:
  DispatchObject object_;
};

class ComApplication final : public CadApplication {
 public:
  explicit ComApplication(DispatchObject object) : object_(std::move(object)) {}

  std::unique_ptr<CadDocument> activeDocument() override {
    auto document = fetchObject(object_, L"ActiveDocument", nullptr, true);
    if (!document) return nullptr;
    return std::make_unique<ComDocument>(std::move(*document));
  }
  bool update() override { return callMethod(object_, L"Update"); }
  bool zoomExtents() override { return callMethod(object_, L"ZoomExtents"); }

  const DispatchObject& object() const { return object_; }

 private:
  DispatchObject object_;
};

}  // namespace

std::unique_ptr<CadApplication> ComRunningObjectLookup::find(const std::string& progId) {
  const std::wstring wide = utf8ToWide(progId);
  CLSID clsid{};
  lastError_ = ::CLSIDFromProgID(wide.c_str(), &clsid);
  if (FAILED(lastError_)) return nullptr;
  win::com_ptr<IUnknown> unknown;
  lastError_ = ::GetActiveObject(clsid, nullptr, unknown.put());
  if (FAILED(lastError_)) return nullptr;
  win::com_ptr<IDispatch> dispatch;
  lastError_ = unknown->QueryInterface(IID_IDispatch, dispatch.put_void());
  if (FAILED(lastError_) || !dispatch) return nullptr;
  auto link = std::make_shared<ComLink>(policy_);
  return std::make_unique<ComApplication>(DispatchObject(std::move(dispatch), std::move(link)));
}

const DispatchObject* dispatchOf(const CadApplication& application) {
  const auto* com = dynamic_cast<const ComApplication*>(&application);
  return com ? &com->object() : nullptr;
}

}  // namespace plenvo::com
