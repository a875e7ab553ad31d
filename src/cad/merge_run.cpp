// The merge run over the CAD automation interface: insert at the origin, measure, move into place, frame,
// explode, pause; in the Directed arrangement one part-frame drawing per page at the end.
#include "cad/merge_run.h"

#include <chrono>
#include <thread>

namespace plenvo {

void RealSleeper::sleepMs(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

constexpr Point3 kOrigin{0, 0, 0};
constexpr int kShortPauseMs = 50;
constexpr int kLongPauseMs = 100;

// A drawing's extents, or none when the call failed or gave an inverted box (what an empty block
// answers): such a box is no size to place or frame anything by.
std::optional<Extents> measure(CadEntity& entity) {
  std::optional<Extents> extents = entity.boundingBox();
  if (extents && !extents->valid()) return std::nullopt;
  return extents;
}

std::unique_ptr<CadEntity> insertDrawing(CadSession& session, const Point3& at, const std::string& path) {
  if (!session.modelSpace) return nullptr;  // no open drawing: every insertion fails
  return session.modelSpace->insertBlock(at, path, 1, 1, 1, 0);
}

// A closed polyline on the print-frame layer exactly around the entity's present extents.
void drawFrame(CadSession& session, CadEntity& entity) {
  std::optional<Extents> e = measure(entity);
  if (!e || !session.modelSpace) return;
  std::unique_ptr<CadEntity> frame = session.modelSpace->addLightweightPolyline(
      {{e->minX, e->minY}, {e->minX, e->maxY}, {e->maxX, e->maxY}, {e->maxX, e->minY}});
  if (!frame) return;
  (void)frame->setClosed(true);
  (void)frame->setLayer(std::string(kPrintFrameLayer));
  (void)frame->setColor(kPrintFrameColor);
}

void refreshView(CadSession& session) {
  if (!session.application) return;
  (void)session.application->update();
  (void)session.application->zoomExtents();
}

// A drawing that could not be measured (or not inserted) still takes its turn in the layout, as an empty
// slot, so that every other drawing keeps the place it would have had and the Directed pages still match
// the part frames counted from all the drawings. Where actual sizes count, the empty slot has no size.
void holdEmptySlot(SheetLayout& layout) {
  const Point2 at = layout.place(Extents{});
  layout.settle(Extents{at.x, at.y, at.x, at.y});
}

// Measures the freshly inserted block, moves it to its place and tells the layout where it ended up.
bool placeBlock(CadEntity& block, SheetLayout& layout, LayoutMode mode) {
  const std::optional<Extents> inserted = measure(block);
  if (!inserted) {
    holdEmptySlot(layout);
    return false;
  }
  const Point2 target = layout.place(*inserted);
  const bool moved = block.move({inserted->minX, inserted->minY, 0}, {target.x, target.y, 0});
  if (mode == LayoutMode::Horizontal) {
    // Measured again as the CAD application sees it; should that fail, the box moved by the translation.
    const double dx = target.x - inserted->minX, dy = target.y - inserted->minY;
    layout.settle(measure(block).value_or(
        Extents{inserted->minX + dx, inserted->minY + dy, inserted->maxX + dx, inserted->maxY + dy}));
  }
  return moved;
}

}  // namespace

void openTarget(CadSession& session) {
  session.document = session.application ? session.application->activeDocument() : nullptr;
  session.modelSpace = session.document ? session.document->modelSpace() : nullptr;
  std::unique_ptr<CadLayers> layers = session.document ? session.document->layers() : nullptr;
  if (!layers) return;
  const std::string name(kPrintFrameLayer);
  std::unique_ptr<CadLayer> layer = layers->exists(name).value_or(false) ? layers->item(name) : layers->add(name);
  if (layer) (void)layer->setColor(kPrintFrameColor);
}

std::vector<DrawingOutcome> mergeDrawings(CadSession& session, const MergeSettings& settings,
                                          const std::vector<std::string>& paths,
                                          const std::string& partFramePath, const MergeProgress& progress,
                                          Sleeper& sleeper) {
  std::vector<DrawingOutcome> outcomes(paths.size());
  // The layout divides by these counts: with one below 1 nothing is inserted at all.
  if (checkLayoutCounts(settings) != LayoutProblem::None) return outcomes;

  const LayoutMode mode = settings.mode;
  const bool directed = mode == LayoutMode::Directed;
  const bool oneLine = mode == LayoutMode::Horizontal || mode == LayoutMode::Vertical;
  SheetLayout layout(settings);

  for (size_t i = 0; i < paths.size(); ++i) {
    if (progress) progress(static_cast<int>(i));
    sleeper.sleepMs(oneLine ? kShortPauseMs : kLongPauseMs);
    // A failed insertion leaves no block: none of the steps below may act on an earlier drawing's block.
    session.currentBlock = insertDrawing(session, kOrigin, paths[i]);
    if (directed) sleeper.sleepMs(kLongPauseMs);

    DrawingOutcome& outcome = outcomes[i];
    outcome.inserted = session.currentBlock != nullptr;
    if (outcome.inserted) {
      outcome.placed = placeBlock(*session.currentBlock, layout, mode);
      // An unplaced drawing lies somewhere over its neighbours: a frame around it would mislead.
      if (settings.drawFrames && !directed && outcome.placed) drawFrame(session, *session.currentBlock);
    } else {
      holdEmptySlot(layout);
    }
    refreshView(session);
    if (settings.explodeAfterInsert && session.currentBlock) {
      (void)session.currentBlock->explode();
      (void)session.currentBlock->erase();
    }
    sleeper.sleepMs(kShortPauseMs);
  }

  if (directed) {
    for (const Point2& origin : layout.frameSheetOrigins(static_cast<int>(paths.size()))) {
      sleeper.sleepMs(kLongPauseMs);
      session.currentBlock = insertDrawing(session, {origin.x, origin.y, 0}, partFramePath);
      if (settings.drawFrames && session.currentBlock) drawFrame(session, *session.currentBlock);
      refreshView(session);
    }
  }
  return outcomes;
}

}  // namespace plenvo
