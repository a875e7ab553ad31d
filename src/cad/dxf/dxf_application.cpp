// The embedded engine as a CadApplication: one document in memory, the automation calls of the merge run
// (layers, InsertBlock, GetBoundingBox, Move, AddLightweightPolyline, Explode, Delete, Update, ZoomExtents)
// over it, and saving it as one DXF file.
#include "cad/dxf/dxf_application.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cad/dxf/dxf_document.h"
#include "cad/dxf/dxf_read_ahead.h"
#include "cad/dxf/dxf_reader.h"
#include "cad/dxf/dxf_transform.h"
#include "core/platform.h"
#include "core/text_codec.h"

namespace plenvo::dxf {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t npos = std::string::npos;

struct State {
  std::unique_ptr<Document> doc;
  std::string error;
  std::unordered_map<std::string, std::string> fileBlocks;  // file key -> block name
  std::uint64_t generation = 0;                              // bumps when the document is replaced
  std::unique_ptr<ReadAhead> readAhead;                      // the files announced for insertion
};

std::string stemOf(const std::string& path) {
  std::string name = displayName(path);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

double realOf(EntityTags tags, int code, double fallback) {
  for (const Tag& t : tags)
    if (t.code == code) return parseReal(t.value).value_or(fallback);
  return fallback;
}

// The tags with one value replaced, or inserted after the first tag of `after` (or at the end).
std::vector<Tag> withValue(EntityTags tags, int code, std::string_view value, int after) {
  std::vector<Tag> out(tags.begin(), tags.end());
  for (Tag& t : out)
    if (t.code == code) {
      t.value = value;
      return out;
    }
  auto pos = std::find_if(out.begin(), out.end(), [after](const Tag& t) { return t.code == after; });
  out.insert(pos == out.end() ? out.end() : pos + 1, Tag{code, value});
  return out;
}

std::filesystem::path fsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// Writes the drawing into a temporary file beside `path`, then puts it in place: the target is replaced
// only when the file is complete, and the text goes out in chunks instead of being built whole first. A
// read-only target is refused; the replaced file's permissions are kept.
bool saveStreamed(const Document& doc, const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target = fsPath(path);
  const auto status = fs::status(target, ec);
  const bool exists = fs::exists(status);
  if (exists) {
    if (!fs::is_regular_file(status)) return false;
    if (auto attributes = platform::fileAttributes(path); !attributes || attributes->readOnly) return false;
  }
  static std::atomic<unsigned> counter{0};
  std::string temporary;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + ".~" + std::to_string(counter++) + ".tmp";
    if (!fs::exists(fsPath(temporary), ec)) break;
  }
#ifdef _WIN32
  std::FILE* file = _wfopen(utf8ToWide(temporary).c_str(), L"wb");
#else
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
#endif
  if (!file) return false;
  bool ok = doc.writeTo(file) && std::fflush(file) == 0;
#ifdef _WIN32
  ok = ok && _commit(_fileno(file)) == 0;
#else
  ok = ok && ::fsync(fileno(file)) == 0;
#endif
  ok = std::fclose(file) == 0 && ok;
  if (ok && exists) fs::permissions(fsPath(temporary), status.permissions(), fs::perm_options::replace, ec);
  if (ok) {
    fs::rename(fsPath(temporary), target, ec);
    ok = !ec;
  }
  if (!ok) fs::remove(fsPath(temporary), ec);
  return ok;
}

class Handles {
 public:
  Handles(std::shared_ptr<State> state) : state_(std::move(state)), generation_(state_->generation) {}

 protected:
  Document* doc() const { return state_->doc && state_->generation == generation_ ? state_->doc.get() : nullptr; }
  std::shared_ptr<State> state_;
  std::uint64_t generation_;
};

class DxfEntity final : public CadEntity, Handles {
 public:
  DxfEntity(std::shared_ptr<State> state, Handle handle) : Handles(std::move(state)), handle_(handle) {}

  std::optional<Extents> boundingBox() override {
    const std::size_t i = index();
    if (i == npos) return std::nullopt;
    const Box3& box = doc()->modelEntityBox(i);
    return box.plan();
  }

  bool move(const Point3& from, const Point3& to) override {
    const std::size_t i = index();
    if (i == npos) return false;
    InsertPlacement p;
    p.insert[0] = to.x - from.x;
    p.insert[1] = to.y - from.y;
    p.insert[2] = to.z - from.z;
    if (!place(i, p)) return false;
    doc()->noteModelEntityMoved(i, p.insert[0], p.insert[1], p.insert[2]);
    return true;
  }

  bool explode() override {
    Document* d = doc();
    const std::size_t i = index();
    if (i == npos) return false;
    const Entity insert = d->modelSpace().entities[i];
    if (insert.type() != "INSERT") return false;
    const Tag* nameTag = nullptr;
    for (const Tag& t : insert.tags)
      if (t.code == 2) nameTag = &t;
    if (!nameTag || realOf(insert.tags, 70, 1) > 1 || realOf(insert.tags, 71, 1) > 1) return false;
    if (std::fabs(realOf(insert.tags, 210, 0)) > 1e-12 || std::fabs(realOf(insert.tags, 220, 0)) > 1e-12 ||
        realOf(insert.tags, 230, 1) <= 0)
      return false;
    Block* block = d->findBlock(d->blockNameOf(*nameTag, insert.map));
    if (!block) return false;
    InsertPlacement p;
    std::copy(block->base, block->base + 3, p.base);
    p.insert[0] = realOf(insert.tags, 10, 0);
    p.insert[1] = realOf(insert.tags, 20, 0);
    p.insert[2] = realOf(insert.tags, 30, 0);
    p.scale[0] = realOf(insert.tags, 41, 1);
    p.scale[1] = realOf(insert.tags, 42, 1);
    p.scale[2] = realOf(insert.tags, 43, 1);
    p.rotation = realOf(insert.tags, 50, 0);

    // Units: an entity with its vertices or attributes moves as a whole or not at all.
    const auto& source = block->entities;
    std::vector<Tag> placed;
    std::vector<std::vector<Tag>> unitTags;
    std::vector<std::size_t> leftover;
    const std::size_t firstNew = d->modelSpace().entities.size();
    for (std::size_t k = 0; k < source.size();) {
      std::size_t end = k + 1;
      while (end < source.size() &&
             (source[end].type() == "VERTEX" || source[end].type() == "SEQEND" || source[end].type() == "ATTRIB"))
        ++end;
      bool ok = true;
      unitTags.clear();
      for (std::size_t j = k; j < end && ok; ++j) {
        if (source[j].erased) continue;
        ok = placeEntity(*d, source[j].tags, p, placed);
        if (ok) unitTags.push_back(withoutGroups(placed));
      }
      if (!ok) {
        for (std::size_t j = k; j < end; ++j) leftover.push_back(j);
      } else {
        Handle parent = 0;
        std::size_t u = 0;
        for (std::size_t j = k; j < end; ++j) {
          if (source[j].erased) continue;
          Entity e;
          e.tags = d->keepTags(unitTags[u++]);
          e.map = source[j].map;
          e.handle = d->newHandle();
          e.owner = parent ? parent : d->modelSpace().record.handle;
          if (j == k && end > k + 1) parent = e.handle;
          d->modelSpace().entities.push_back(e);
        }
      }
      k = end;
    }
    if (!leftover.empty()) keepInBlock(*d, *block, leftover, insert);
    // The pieces' extents stand in for the reference's, so the drawing's extents need no recount when
    // the reference is deleted next.
    pieces_ = Box3();
    for (std::size_t j = firstNew; j < d->modelSpace().entities.size(); ++j)
      if (!d->modelSpace().entities[j].erased) pieces_.add(d->modelEntityBox(j));
    exploded_ = true;
    return true;
  }

  bool erase() override {
    Document* d = doc();
    const std::size_t i = index();
    if (i == npos) return false;
    auto& list = d->modelSpace().entities;
    const std::string_view type = list[i].type();
    list[i].erased = true;
    d->noteModelEntityChanged(i, exploded_ ? &pieces_ : nullptr);
    if (type == "POLYLINE" || type == "INSERT")
      for (std::size_t j = i + 1; j < list.size(); ++j) {
        const std::string_view t = list[j].type();
        if (t != "VERTEX" && t != "SEQEND" && t != "ATTRIB") break;
        list[j].erased = true;
      }
    return true;
  }

  bool setClosed(bool closed) override {
    Document* d = doc();
    const std::size_t i = index();
    if (i == npos || d->modelSpace().entities[i].type() != "LWPOLYLINE") return false;
    Entity& e = d->modelSpace().entities[i];
    const auto flags = static_cast<int>(realOf(e.tags, 70, 0));
    const int updated = closed ? (flags | 1) : (flags & ~1);
    e.tags = d->keepTags(withValue(e.tags, 70, d->keep(std::to_string(updated)), 90));
    d->noteModelEntityChanged(i);
    return true;
  }

  bool setLayer(const std::string& layer) override {
    Document* d = doc();
    const std::size_t i = index();
    if (i == npos) return false;
    const std::string name = d->addLayer(layer, 7);  // an existing layer is kept as it is
    Entity& e = d->modelSpace().entities[i];
    if (e.map) return false;  // only entities this engine made are edited in place
    e.tags = d->keepTags(withValue(e.tags, 8, d->keep(name), 100));
    return true;
  }

  bool setColor(int color) override {
    Document* d = doc();
    const std::size_t i = index();
    if (i == npos || color < 0 || color > 257) return false;
    Entity& e = d->modelSpace().entities[i];
    if (e.map) return false;
    e.tags = d->keepTags(withValue(e.tags, 62, d->keep(std::to_string(color)), 8));
    return true;
  }

 private:
  std::size_t index() const {
    Document* d = doc();
    if (!d) return npos;
    const std::size_t i = d->findModelEntity(handle_);
    if (i == npos || d->modelSpace().entities[i].erased) return npos;
    return i;
  }

  bool place(std::size_t i, const InsertPlacement& p) {
    Document* d = doc();
    Entity& e = d->modelSpace().entities[i];
    std::vector<Tag> placed;
    if (!placeEntity(*d, e.tags, p, placed)) return false;
    e.tags = d->keepTags(placed);
    exploded_ = false;
    return true;
  }

  // A copy of an entity owns nothing of the original's: no extension dictionary, no reactors, no hard-owned
  // object (an image's reactor).
  static std::vector<Tag> withoutGroups(const std::vector<Tag>& tags) {
    std::vector<Tag> out;
    out.reserve(tags.size());
    bool inGroup = false;
    for (const Tag& t : tags) {
      if (t.code == 102) {
        inGroup = !t.value.empty() && t.value[0] == '{';
        continue;
      }
      if (!inGroup && !(t.code >= 360 && t.code <= 369)) out.push_back(t);
    }
    return out;
  }

  // Entities that cannot be placed exactly stay together in a new anonymous block, referenced with the
  // exploded reference's own placement.
  void keepInBlock(Document& d, const Block& from, const std::vector<std::size_t>& which, const Entity& insert) {
    const std::string name = d.uniqueBlockName("*U" + std::to_string(d.newHandle()));
    std::vector<Entity> entities;
    Handle parent = 0;
    for (std::size_t j : which) {
      const Entity& src = from.entities[j];
      if (src.erased) continue;
      std::vector<Tag> tags(src.tags.begin(), src.tags.end());
      Entity e;
      e.tags = d.keepTags(withoutGroups(tags));
      e.map = src.map;
      e.handle = d.newHandle();
      const std::string_view type = src.type();
      const bool follower = type == "VERTEX" || type == "SEQEND" || type == "ATTRIB";
      e.owner = follower ? parent : 0;  // 0: the new block's record, filled in by addBlock
      if (!follower) parent = e.handle;
      entities.push_back(e);
    }
    Block* block = d.addBlock(name, from.base, std::move(entities));
    std::vector<Tag> tags(insert.tags.begin(), insert.tags.end());
    for (Tag& t : tags)
      if (t.code == 2) t.value = d.keep(block->name);
    Entity e;
    e.tags = d.keepTags(withoutGroups(tags));
    e.map = insert.map;
    e.handle = d.newHandle();
    e.owner = d.modelSpace().record.handle;
    d.modelSpace().entities.push_back(e);
  }

  Handle handle_;
  Box3 pieces_;
  bool exploded_ = false;
};

class DxfLayer final : public CadLayer, Handles {
 public:
  DxfLayer(std::shared_ptr<State> state, std::string name) : Handles(std::move(state)), name_(std::move(name)) {}
  bool setColor(int color) override {
    Document* d = doc();
    if (!d || color < 1 || color > 255) return false;
    return d->setLayerColor(name_, color);
  }

 private:
  std::string name_;
};

class DxfLayers final : public CadLayers, Handles {
 public:
  using Handles::Handles;
  std::optional<bool> exists(const std::string& name) override {
    Document* d = doc();
    if (!d) return std::nullopt;
    return d->hasLayer(cleanName(name));
  }
  std::unique_ptr<CadLayer> item(const std::string& name) override {
    Document* d = doc();
    if (!d || !d->hasLayer(cleanName(name))) return nullptr;
    return std::make_unique<DxfLayer>(state_, cleanName(name));
  }
  std::unique_ptr<CadLayer> add(const std::string& name) override {
    Document* d = doc();
    if (!d || name.empty()) return nullptr;
    return std::make_unique<DxfLayer>(state_, d->addLayer(name, 7));
  }
};

class DxfModelSpace final : public CadModelSpace, Handles {
 public:
  using Handles::Handles;

  std::unique_ptr<CadEntity> insertBlock(const Point3& at, const std::string& path, double xScale, double yScale,
                                         double zScale, double rotation) override {
    Document* d = doc();
    if (!d) return nullptr;
    if (!std::isfinite(at.x) || !std::isfinite(at.y) || !std::isfinite(at.z) || !std::isfinite(xScale) ||
        !std::isfinite(yScale) || !std::isfinite(zScale) || !std::isfinite(rotation) || xScale == 0 ||
        yScale == 0 || zScale == 0) {
      state_->error = path + ": invalid insertion point, scale or rotation";
      return nullptr;
    }
    const std::string key = fileKey(path);
    std::string blockName;
    if (auto it = state_->fileBlocks.find(key); it != state_->fileBlocks.end() && d->findBlock(it->second)) {
      blockName = it->second;  // the same file again: one definition
    } else {
      std::string error;
      std::unique_ptr<SourceFile> src;
      std::optional<ReadAhead::Prepared> prepared;
      if (state_->readAhead) prepared = state_->readAhead->take(path);
      if (prepared) {
        src = std::move(prepared->src);
        error = std::move(prepared->error);
      } else {
        src = loadSourceFile(path, error);
      }
      if (!src) {
        state_->error = error;
        return nullptr;
      }
      blockName = d->uniqueBlockName(cleanName(stemOf(path)));
      Block* block = d->importAsBlock(std::move(src), blockName, key);
      if (!block) {
        state_->error = path + ": the drawing could not be inserted";
        return nullptr;
      }
      state_->fileBlocks[key] = block->name;
    }
    const std::vector<Tag> tags{{0, "INSERT"},
                                {100, "AcDbEntity"},
                                {8, "0"},
                                {100, "AcDbBlockReference"},
                                {2, d->keep(blockName)},
                                {10, d->keep(formatReal(at.x))},
                                {20, d->keep(formatReal(at.y))},
                                {30, d->keep(formatReal(at.z))},
                                {41, d->keep(formatReal(xScale))},
                                {42, d->keep(formatReal(yScale))},
                                {43, d->keep(formatReal(zScale))},
                                {50, d->keep(formatReal(rotation * 180 / kPi))}};
    state_->error.clear();
    return std::make_unique<DxfEntity>(state_, d->addModelEntity(tags));
  }

  std::unique_ptr<CadEntity> addLightweightPolyline(const std::vector<Point2>& vertices) override {
    Document* d = doc();
    if (!d || vertices.size() < 2) return nullptr;
    std::vector<Tag> tags{{0, "LWPOLYLINE"},
                          {100, "AcDbEntity"},
                          {8, "0"},
                          {100, "AcDbPolyline"},
                          {90, d->keep(std::to_string(vertices.size()))},
                          {70, "0"},
                          {38, "0.0"}};
    for (const Point2& v : vertices) {
      if (!std::isfinite(v.x) || !std::isfinite(v.y)) return nullptr;
      tags.push_back({10, d->keep(formatReal(v.x))});
      tags.push_back({20, d->keep(formatReal(v.y))});
    }
    return std::make_unique<DxfEntity>(state_, d->addModelEntity(tags));
  }
};

class DxfDocument final : public CadDocument, Handles {
 public:
  using Handles::Handles;
  std::unique_ptr<CadModelSpace> modelSpace() override {
    return doc() ? std::make_unique<DxfModelSpace>(state_) : nullptr;
  }
  std::unique_ptr<CadLayers> layers() override { return doc() ? std::make_unique<DxfLayers>(state_) : nullptr; }
};

class EngineApplication final : public DxfApplication {
 public:
  EngineApplication() : state_(std::make_shared<State>()) { state_->doc = Document::createEmpty(state_->error); }
  // The reader thread ends with the application, even while handles to its entities live on.
  ~EngineApplication() override { state_->readAhead.reset(); }

  std::unique_ptr<CadDocument> activeDocument() override {
    return state_->doc ? std::make_unique<DxfDocument>(state_) : nullptr;
  }

  bool update() override {
    if (!state_->doc) return false;
    if (auto box = state_->doc->modelExtents()) state_->doc->setHeaderExtents(*box);
    return true;
  }

  bool zoomExtents() override {
    Document* d = state_->doc.get();
    if (!d) return false;
    auto box = d->modelExtents();
    if (!box) return true;  // nothing to show: the view stays
    d->setHeaderExtents(*box);
    d->zoomActiveViewport(*box);
    return true;
  }

  bool openDrawing(const std::string& path) override {
    std::string error;
    auto src = loadSourceFile(path, error);
    if (!src) {
      state_->error = error;
      return false;
    }
    auto doc = Document::createEmpty(error);
    if (!doc || !doc->absorb(std::move(src), error)) {
      state_->error = path + ": " + error;
      return false;
    }
    state_->doc = std::move(doc);
    state_->fileBlocks.clear();
    ++state_->generation;
    state_->error.clear();
    return true;
  }

  bool saveAs(const std::string& path) override {
    if (!state_->doc) {
      state_->error = path + ": no drawing to save";
      return false;
    }
    if (!saveStreamed(*state_->doc, path)) {
      state_->error = path + ": the file cannot be written";
      return false;
    }
    state_->error.clear();
    return true;
  }

  std::string lastError() const override { return state_->error; }

  void readAhead(std::vector<std::string> paths) override {
    state_->readAhead.reset();
    if (!paths.empty()) state_->readAhead = std::make_unique<ReadAhead>(std::move(paths));
  }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace

std::unique_ptr<DxfApplication> DxfApplication::create() { return std::make_unique<EngineApplication>(); }

}  // namespace plenvo::dxf
