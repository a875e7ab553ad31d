// The see-through automation objects of RecordingApplication.
#include "cli/recording_session.h"

#include <utility>

namespace plenvo::cli {
namespace {

std::string reasonOr(const std::string& error, const char* fallback) { return error.empty() ? fallback : error; }

class RecordingEntity final : public CadEntity {
 public:
  RecordingEntity(std::unique_ptr<CadEntity> inner, RecordingApplication& app, bool isDrawing, int index)
      : inner_(std::move(inner)), app_(app), isDrawing_(isDrawing), index_(index) {}
  std::optional<Extents> boundingBox() override {
    auto box = inner_->boundingBox();
    if (!box || !box->valid()) app_.measurementFailed(isDrawing_, index_);
    return box;
  }
  bool move(const Point3& from, const Point3& to) override { return inner_->move(from, to); }
  bool explode() override { return inner_->explode(); }
  bool erase() override { return inner_->erase(); }
  bool setClosed(bool closed) override { return inner_->setClosed(closed); }
  bool setLayer(const std::string& layer) override { return inner_->setLayer(layer); }
  bool setColor(int color) override { return inner_->setColor(color); }

 private:
  std::unique_ptr<CadEntity> inner_;
  RecordingApplication& app_;
  bool isDrawing_;
  int index_;
};

class RecordingModelSpace final : public CadModelSpace {
 public:
  RecordingModelSpace(std::unique_ptr<CadModelSpace> inner, RecordingApplication& app)
      : inner_(std::move(inner)), app_(app) {}
  std::unique_ptr<CadEntity> insertBlock(const Point3& at, const std::string& path, double xScale, double yScale,
                                         double zScale, double rotation) override {
    auto entity = inner_->insertBlock(at, path, xScale, yScale, zScale, rotation);
    bool isDrawing = false;
    app_.insertion(entity != nullptr, isDrawing);
    if (!entity) return nullptr;
    return std::make_unique<RecordingEntity>(std::move(entity), app_, isDrawing, app_.current());
  }
  std::unique_ptr<CadEntity> addLightweightPolyline(const std::vector<Point2>& vertices) override {
    return inner_->addLightweightPolyline(vertices);
  }

 private:
  std::unique_ptr<CadModelSpace> inner_;
  RecordingApplication& app_;
};

class RecordingDocument final : public CadDocument {
 public:
  RecordingDocument(std::unique_ptr<CadDocument> inner, RecordingApplication& app)
      : inner_(std::move(inner)), app_(app) {}
  std::unique_ptr<CadModelSpace> modelSpace() override {
    auto space = inner_->modelSpace();
    if (!space) return nullptr;
    return std::make_unique<RecordingModelSpace>(std::move(space), app_);
  }
  std::unique_ptr<CadLayers> layers() override { return inner_->layers(); }

 private:
  std::unique_ptr<CadDocument> inner_;
  RecordingApplication& app_;
};

class RecordingHandle final : public CadApplication {
 public:
  explicit RecordingHandle(RecordingApplication& app) : app_(app) {}
  std::unique_ptr<CadDocument> activeDocument() override {
    auto doc = app_.engine().activeDocument();
    if (!doc) return nullptr;
    return std::make_unique<RecordingDocument>(std::move(doc), app_);
  }
  bool update() override { return app_.engine().update(); }
  bool zoomExtents() override { return app_.engine().zoomExtents(); }

 private:
  RecordingApplication& app_;
};

}  // namespace

std::unique_ptr<CadApplication> RecordingApplication::makeHandle() { return std::make_unique<RecordingHandle>(*this); }

void RecordingApplication::insertion(bool succeeded, bool& isDrawing) {
  isDrawing = awaitingDrawing_;
  awaitingDrawing_ = false;
  if (succeeded) return;
  const std::string reason = reasonOr(freshError(), "it could not be inserted");
  if (isDrawing)
    failures_.emplace(current_, reason);
  else
    partFrameFailures_.push_back(reason);
}

void RecordingApplication::measurementFailed(bool isDrawing, int index) {
  // No new reason from the engine: the block holds nothing to measure (the engine answers an inverted box
  // or none at all for that).
  const std::string reason = freshError();
  if (reason.empty()) {
    if (isDrawing) empty_.insert(index);
    return;
  }
  if (isDrawing)
    failures_.emplace(index, reason);  // keeps an earlier, more precise reason
  else
    partFrameFailures_.push_back(reason);
}

std::string RecordingApplication::freshError() {
  std::string error = engine_.lastError();
  if (error == errorBefore_) return std::string();
  errorBefore_ = error;
  return error;
}

std::string RecordingApplication::failureOf(int index) const {
  auto it = failures_.find(index);
  return it == failures_.end() ? std::string() : it->second;
}

}  // namespace plenvo::cli
