// A recording stand-in for a running CAD application, for tests of everything that drives the automation
// interface. Every call lands in one readable log, as the interface passes it
// ("modelSpace.insertBlock(0,0,0 | C:\a.dwg | 1,1,1,0)": point, path, x/y/z scale, rotation); results can
// be scripted (a path that fails to insert, extents per path, no open document, an application that goes
// away), and the entities the calls made stay inspectable after their handles are gone.
//
//   RecordingCad cad;                                   // one application with one open drawing
//   cad.state->extentsByPath["b.dwg"] = Extents{0, 0, 100, 50};
//   cad.state->failingPaths.insert("c.dwg");
//   session.application = cad.application();
//   RecordingSleeper sleeper(cad);                     // pauses go into the same log: "sleep(50)"
//   RecordingLookup lookup;                            // the running-object table
//   lookup.run("ZWCAD.Application", cad);
#pragma once

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cad/cad_automation.h"
#include "cad/cad_connection.h"
#include "cad/merge_run.h"

namespace plenvo::testing {

// A number as a log shows it: 470, -547, 0.5.
inline std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}
// stem + n. (Not "stem" + std::to_string(n): MinGW's g++ 12 at -O3 warns falsely about that form.)
inline std::string numbered(const char* stem, int n) {
  std::string s = stem;
  s += std::to_string(n);
  return s;
}
inline std::string text(const Point3& p) { return num(p.x) + "," + num(p.y) + "," + num(p.z); }
inline std::string text(const Point2& p) { return num(p.x) + "," + num(p.y); }
inline std::string text(const Extents& e) {
  return num(e.minX) + "," + num(e.minY) + " .. " + num(e.maxX) + "," + num(e.maxY);
}
inline std::string text(const std::optional<Extents>& e) { return e ? text(*e) : "none"; }

// What the calls made in model space. Never removed: an erased entity keeps its record with `erased` set.
struct FakeEntity {
  enum class Kind { Block, Polyline, Loose };  // Loose: the contents an exploded block left behind
  Kind kind = Kind::Block;
  std::string name;  // as the log calls it: "block1", "polyline2", "loose1"
  std::string path;  // Block, Loose: the drawing file
  Point2 position;   // Block, Loose: where the file's origin lies now (insertion point plus moves)
  std::optional<Extents> ownExtents;  // Block, Loose: the file's extents when it lies at the origin
  std::vector<Point2> vertices;       // Polyline
  bool closed = false;
  std::string layer = "0";
  int color = 256;  // by layer
  bool exploded = false;
  bool erased = false;

  // The extents GetBoundingBox answers with now (inverted ones stay inverted).
  std::optional<Extents> extents() const {
    if (kind == Kind::Polyline) {
      if (vertices.empty()) return std::nullopt;
      Extents e{vertices[0].x, vertices[0].y, vertices[0].x, vertices[0].y};
      for (const Point2& v : vertices) {
        e.minX = std::min(e.minX, v.x), e.minY = std::min(e.minY, v.y);
        e.maxX = std::max(e.maxX, v.x), e.maxY = std::max(e.maxY, v.y);
      }
      return e;
    }
    if (!ownExtents) return std::nullopt;
    return Extents{ownExtents->minX + position.x, ownExtents->minY + position.y, ownExtents->maxX + position.x,
                   ownExtents->maxY + position.y};
  }
};

// The application and its open drawing, shared by every handle so that the handles may outlive the test's
// RecordingCad and records outlive the handles.
struct RecordingCadState {
  std::vector<std::string> log;

  // Script.
  bool running = true;      // false: the application has gone away; every call fails
  bool hasDocument = true;  // false: no drawing is open (ActiveDocument fails)
  std::set<std::string> failingPaths;                          // InsertBlock fails for these
  std::map<std::string, std::optional<Extents>> extentsByPath;  // nullopt: GetBoundingBox fails
  Extents defaultExtents{0, 0, 420, 297};                      // for paths not in extentsByPath

  // The drawing.
  std::map<std::string, int> layers{{"0", 7}};  // name -> colour
  std::vector<FakeEntity> entities;
  int count(FakeEntity::Kind kind) const {
    int n = 0;
    for (const FakeEntity& e : entities) n += e.kind == kind;
    return n;
  }

  // Records a call; a failed one is marked so a log reads as what happened.
  bool record(const std::string& call, bool ok) {
    log.push_back(ok ? call : call + " -> failed");
    return ok;
  }
};

class RecordingEntity final : public CadEntity {
 public:
  RecordingEntity(std::shared_ptr<RecordingCadState> state, size_t index) : state_(std::move(state)), index_(index) {}

  std::optional<Extents> boundingBox() override {
    std::optional<Extents> e = alive() ? self().extents() : std::nullopt;
    state_->record(self().name + ".boundingBox()", e.has_value());
    return e;
  }
  bool move(const Point3& from, const Point3& to) override {
    bool ok = alive();
    if (ok) {
      const double dx = to.x - from.x, dy = to.y - from.y;
      self().position.x += dx, self().position.y += dy;
      for (Point2& v : self().vertices) v.x += dx, v.y += dy;
    }
    return state_->record(self().name + ".move(" + text(from) + " -> " + text(to) + ")", ok);
  }
  bool explode() override {
    bool ok = alive() && self().kind == FakeEntity::Kind::Block;
    if (ok) {
      self().exploded = true;
      FakeEntity loose = self();
      loose.kind = FakeEntity::Kind::Loose;
      loose.exploded = false;
      loose.name = numbered("loose", state_->count(FakeEntity::Kind::Loose) + 1);
      state_->entities.push_back(loose);
    }
    return state_->record(self().name + ".explode()", ok);
  }
  bool erase() override {
    bool ok = alive();
    if (ok) self().erased = true;
    return state_->record(self().name + ".erase()", ok);
  }
  bool setClosed(bool closed) override {
    bool ok = alive();
    if (ok) self().closed = closed;
    return state_->record(self().name + ".setClosed(" + (closed ? "true" : "false") + ")", ok);
  }
  bool setLayer(const std::string& layer) override {
    bool ok = alive();
    if (ok) self().layer = layer;
    return state_->record(self().name + ".setLayer(" + layer + ")", ok);
  }
  bool setColor(int color) override {
    bool ok = alive();
    if (ok) self().color = color;
    return state_->record(self().name + ".setColor(" + std::to_string(color) + ")", ok);
  }

  const FakeEntity& record() const { return state_->entities[index_]; }

 private:
  FakeEntity& self() { return state_->entities[index_]; }
  bool alive() { return state_->running && !self().erased; }
  std::shared_ptr<RecordingCadState> state_;
  size_t index_;
};

class RecordingLayer final : public CadLayer {
 public:
  RecordingLayer(std::shared_ptr<RecordingCadState> state, std::string name)
      : state_(std::move(state)), name_(std::move(name)) {}
  bool setColor(int color) override {
    bool ok = state_->running && state_->layers.count(name_) > 0;
    if (ok) state_->layers[name_] = color;
    return state_->record("layer(" + name_ + ").setColor(" + std::to_string(color) + ")", ok);
  }

 private:
  std::shared_ptr<RecordingCadState> state_;
  std::string name_;
};

class RecordingLayers final : public CadLayers {
 public:
  explicit RecordingLayers(std::shared_ptr<RecordingCadState> state) : state_(std::move(state)) {}
  std::optional<bool> exists(const std::string& name) override {
    if (!state_->record("layers.exists(" + name + ")", state_->running)) return std::nullopt;
    return state_->layers.count(name) > 0;
  }
  std::unique_ptr<CadLayer> item(const std::string& name) override {
    if (!state_->record("layers.item(" + name + ")", state_->running && state_->layers.count(name) > 0))
      return nullptr;
    return std::make_unique<RecordingLayer>(state_, name);
  }
  std::unique_ptr<CadLayer> add(const std::string& name) override {
    if (!state_->record("layers.add(" + name + ")", state_->running)) return nullptr;
    state_->layers.emplace(name, 7);  // an existing layer is returned as it is
    return std::make_unique<RecordingLayer>(state_, name);
  }

 private:
  std::shared_ptr<RecordingCadState> state_;
};

class RecordingModelSpace final : public CadModelSpace {
 public:
  explicit RecordingModelSpace(std::shared_ptr<RecordingCadState> state) : state_(std::move(state)) {}
  std::unique_ptr<CadEntity> insertBlock(const Point3& at, const std::string& path, double xScale, double yScale,
                                         double zScale, double rotation) override {
    const std::string call = "modelSpace.insertBlock(" + text(at) + " | " + path + " | " + num(xScale) + "," +
                             num(yScale) + "," + num(zScale) + "," + num(rotation) + ")";
    if (!state_->record(call, state_->running && state_->failingPaths.count(path) == 0)) return nullptr;
    FakeEntity block;
    block.kind = FakeEntity::Kind::Block;
    block.name = numbered("block", state_->count(FakeEntity::Kind::Block) + 1);
    block.path = path;
    block.position = {at.x, at.y};
    auto scripted = state_->extentsByPath.find(path);
    block.ownExtents = scripted != state_->extentsByPath.end() ? scripted->second : state_->defaultExtents;
    state_->log.back() += " -> " + block.name;
    return make(std::move(block));
  }
  std::unique_ptr<CadEntity> addLightweightPolyline(const std::vector<Point2>& vertices) override {
    std::string call = "modelSpace.addLightweightPolyline(";
    for (size_t i = 0; i < vertices.size(); ++i) {
      if (i) call += ' ';
      call += text(vertices[i]);
    }
    call += ")";
    if (!state_->record(call, state_->running)) return nullptr;
    FakeEntity polyline;
    polyline.kind = FakeEntity::Kind::Polyline;
    polyline.name = numbered("polyline", state_->count(FakeEntity::Kind::Polyline) + 1);
    polyline.vertices = vertices;
    state_->log.back() += " -> " + polyline.name;
    return make(std::move(polyline));
  }

 private:
  std::unique_ptr<CadEntity> make(FakeEntity entity) {
    state_->entities.push_back(std::move(entity));
    return std::make_unique<RecordingEntity>(state_, state_->entities.size() - 1);
  }
  std::shared_ptr<RecordingCadState> state_;
};

class RecordingDocument final : public CadDocument {
 public:
  explicit RecordingDocument(std::shared_ptr<RecordingCadState> state) : state_(std::move(state)) {}
  std::unique_ptr<CadModelSpace> modelSpace() override {
    if (!state_->record("document.modelSpace()", state_->running)) return nullptr;
    return std::make_unique<RecordingModelSpace>(state_);
  }
  std::unique_ptr<CadLayers> layers() override {
    if (!state_->record("document.layers()", state_->running)) return nullptr;
    return std::make_unique<RecordingLayers>(state_);
  }

 private:
  std::shared_ptr<RecordingCadState> state_;
};

class RecordingApplication final : public CadApplication {
 public:
  explicit RecordingApplication(std::shared_ptr<RecordingCadState> state) : state_(std::move(state)) {}
  std::unique_ptr<CadDocument> activeDocument() override {
    if (!state_->record("application.activeDocument()", state_->running && state_->hasDocument)) return nullptr;
    return std::make_unique<RecordingDocument>(state_);
  }
  bool update() override { return state_->record("application.update()", state_->running); }
  bool zoomExtents() override { return state_->record("application.zoomExtents()", state_->running); }

  const RecordingCadState* state() const { return state_.get(); }

 private:
  std::shared_ptr<RecordingCadState> state_;
};

// One running CAD application with one open drawing.
class RecordingCad {
 public:
  std::shared_ptr<RecordingCadState> state = std::make_shared<RecordingCadState>();

  std::unique_ptr<CadApplication> application() const { return std::make_unique<RecordingApplication>(state); }
  // Whether `handle` is a handle of this application.
  bool owns(const CadApplication* handle) const {
    auto* app = dynamic_cast<const RecordingApplication*>(handle);
    return app && app->state() == state.get();
  }

  std::vector<std::string>& log() const { return state->log; }
  std::vector<FakeEntity> entities(FakeEntity::Kind kind) const {
    std::vector<FakeEntity> out;
    for (const FakeEntity& e : state->entities)
      if (e.kind == kind) out.push_back(e);
    return out;
  }
  std::vector<FakeEntity> blocks() const { return entities(FakeEntity::Kind::Block); }
  std::vector<FakeEntity> polylines() const { return entities(FakeEntity::Kind::Polyline); }
  std::vector<FakeEntity> loose() const { return entities(FakeEntity::Kind::Loose); }
};

// Pauses, recorded into a log instead of slept ("sleep(50)").
class RecordingSleeper final : public Sleeper {
 public:
  explicit RecordingSleeper(std::vector<std::string>& log) : log_(log) {}
  explicit RecordingSleeper(const RecordingCad& cad) : log_(cad.log()) {}
  void sleepMs(int milliseconds) override {
    log_.push_back(numbered("sleep(", milliseconds) + ")");
    total += milliseconds;
  }
  int total = 0;

 private:
  std::vector<std::string>& log_;
};

// The running-object table: which ProgIDs have a running application, and every lookup asked of it.
class RecordingLookup final : public RunningObjectLookup {
 public:
  std::vector<std::string> asked;  // "Autocad.Application.24.1", ... in the order asked

  void run(const std::string& progId, const RecordingCad& cad) { running_[progId] = cad.state; }
  void stop(const std::string& progId) { running_.erase(progId); }

  std::unique_ptr<CadApplication> find(const std::string& progId) override {
    asked.push_back(progId);
    auto it = running_.find(progId);
    if (it == running_.end() || !it->second->running) return nullptr;
    return std::make_unique<RecordingApplication>(it->second);
  }

 private:
  std::map<std::string, std::shared_ptr<RecordingCadState>> running_;
};

}  // namespace plenvo::testing
