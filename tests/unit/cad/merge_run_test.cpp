// openTarget and mergeDrawings against the recording CAD application: the calls and pauses of each
// arrangement, frames and explosion, the Directed part frames, and runs with failed calls.
#include "cad/merge_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "support/recording_cad.h"

namespace plenvo {
namespace {

using ::testing::ElementsAre;
using testing::FakeEntity;
using testing::RecordingCad;
using testing::RecordingSleeper;

const std::string kFrameLayer(kPrintFrameLayer);

// Extents as "minX,minY .. maxX,maxY", so that failures read as boxes.
std::string box(const std::optional<Extents>& e) { return testing::text(e); }

std::vector<Point2> frameAround(const Extents& e) {
  return {{e.minX, e.minY}, {e.minX, e.maxY}, {e.maxX, e.maxY}, {e.maxX, e.minY}};
}

class MergeRun : public ::testing::Test {
 protected:
  MergeRun() {
    session.application = cad.application();
    openTarget(session);
    cad.log().clear();
  }

  std::vector<DrawingOutcome> merge(const MergeSettings& settings, const std::vector<std::string>& paths) {
    return mergeDrawings(session, settings, paths, "F.dwg", [this](int i) { notified.push_back(i); }, sleeper);
  }

  // The calls made from the log line that starts with `first` up to (not including) the next pause.
  std::vector<std::string> callsFrom(const std::string& first) const {
    std::vector<std::string> out;
    bool in = false;
    for (const std::string& line : cad.log()) {
      if (line.rfind(first, 0) == 0) in = true;
      if (in && line.rfind("sleep(", 0) == 0) break;
      if (in) out.push_back(line);
    }
    return out;
  }

  RecordingCad cad;
  CadSession session;
  RecordingSleeper sleeper{cad};
  std::vector<int> notified;
};

TEST_F(MergeRun, OneFramedDrawingGetsAClosedFrameOnItsMovedExtents) {
  cad.state->extentsByPath["a.dwg"] = Extents{10, 20, 110, 70};
  MergeSettings s;
  s.drawFrames = true;

  std::vector<DrawingOutcome> outcomes = merge(s, {"a.dwg"});

  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].merged());
  ASSERT_EQ(cad.blocks().size(), 1u);
  EXPECT_EQ(box(cad.blocks()[0].extents()), "0,0 .. 100,50");
  ASSERT_EQ(cad.polylines().size(), 1u);
  const FakeEntity frame = cad.polylines()[0];
  EXPECT_EQ(frame.vertices, frameAround(Extents{0, 0, 100, 50}));
  EXPECT_TRUE(frame.closed);
  EXPECT_EQ(frame.layer, kFrameLayer);
  EXPECT_EQ(frame.color, 1);
  EXPECT_THAT(notified, ElementsAre(0));
}

TEST_F(MergeRun, ExplodeRemovesEachReferenceLeavesItsContentsAndKeepsItsFrame) {
  cad.state->extentsByPath["a.dwg"] = Extents{0, 0, 100, 50};
  cad.state->extentsByPath["b.dwg"] = Extents{0, 0, 200, 80};
  MergeSettings s;
  s.drawFrames = true;
  s.explodeAfterInsert = true;

  (void)merge(s, {"a.dwg", "b.dwg"});

  for (const FakeEntity& block : cad.blocks()) {
    EXPECT_TRUE(block.exploded) << block.name;
    EXPECT_TRUE(block.erased) << block.name;
  }
  std::vector<FakeEntity> loose = cad.loose();
  ASSERT_EQ(loose.size(), 2u);
  EXPECT_EQ(loose[0].path, "a.dwg");
  EXPECT_EQ(loose[1].path, "b.dwg");
  EXPECT_EQ(box(loose[1].extents()), "470,0 .. 670,80");  // exploded where it was placed
  ASSERT_EQ(cad.polylines().size(), 2u);
  for (const FakeEntity& frame : cad.polylines()) EXPECT_FALSE(frame.erased);
  EXPECT_EQ(cad.polylines()[1].vertices, frameAround(Extents{470, 0, 670, 80}));
}

TEST_F(MergeRun, DirectedPagesGetUnframedPartsThenOneFramedPartFramePerPage) {
  cad.state->defaultExtents = Extents{0, 0, 100, 90};
  cad.state->extentsByPath["F.dwg"] = Extents{0, -285, 420, 0};  // inserted at the page's top-left corner
  MergeSettings s;
  s.mode = LayoutMode::Directed;
  s.sheetLength = 105;
  s.sheetWidth = 95;
  s.spacing = 50;
  s.directedColumns = 4;
  s.directedRows = 3;
  s.drawFrames = true;
  s.explodeAfterInsert = true;
  std::vector<std::string> paths;
  for (int i = 1; i <= 13; ++i) paths.push_back(testing::numbered("p", i) + ".dwg");

  std::vector<DrawingOutcome> outcomes = merge(s, paths);

  for (const DrawingOutcome& o : outcomes) EXPECT_TRUE(o.merged());
  std::vector<FakeEntity> blocks = cad.blocks();
  ASSERT_EQ(blocks.size(), 15u);
  EXPECT_EQ(box(blocks[3].extents()), "315,0 .. 415,90");     // drawing 4
  EXPECT_EQ(box(blocks[4].extents()), "0,-95 .. 100,-5");     // drawing 5
  EXPECT_EQ(box(blocks[12].extents()), "470,0 .. 570,90");    // drawing 13 opens page 2
  for (int i = 0; i < 13; ++i) EXPECT_TRUE(blocks[i].erased) << i;
  for (int i : {13, 14}) {
    EXPECT_EQ(blocks[i].path, "F.dwg");
    EXPECT_FALSE(blocks[i].exploded);
    EXPECT_FALSE(blocks[i].erased);
  }
  EXPECT_EQ(blocks[13].position, (Point2{0, 95}));
  EXPECT_EQ(blocks[14].position, (Point2{470, 95}));
  std::vector<FakeEntity> frames = cad.polylines();
  ASSERT_EQ(frames.size(), 2u);  // the parts themselves are not framed
  EXPECT_EQ(frames[0].vertices, frameAround(Extents{0, -190, 420, 95}));
  EXPECT_EQ(frames[1].vertices, frameAround(Extents{470, -190, 890, 95}));
  EXPECT_EQ(notified, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(sleeper.total, 13 * 250 + 2 * 100);
}

TEST_F(MergeRun, MissingPartFrameDrawingLeavesThePagesUnframedAndTheRunEnds) {
  cad.state->failingPaths.insert("F.dwg");
  MergeSettings s;
  s.mode = LayoutMode::Directed;
  s.drawFrames = true;

  std::vector<DrawingOutcome> outcomes = merge(s, {"a.dwg", "b.dwg"});

  for (const DrawingOutcome& o : outcomes) EXPECT_TRUE(o.merged());
  EXPECT_EQ(cad.blocks().size(), 2u);
  EXPECT_TRUE(cad.polylines().empty());  // no frame from the last part's extents
  EXPECT_EQ(session.currentBlock, nullptr);
  EXPECT_EQ(cad.log().back(), "application.zoomExtents()");
}

struct ModeLogCase {
  LayoutMode mode;
  std::vector<std::string> log;
};

std::string modeName(LayoutMode mode) {
  switch (mode) {
    case LayoutMode::Horizontal: return "Horizontal";
    case LayoutMode::Vertical: return "Vertical";
    case LayoutMode::Mixed: return "Mixed";
    case LayoutMode::Directed: return "Directed";
    default: return "None";
  }
}
void PrintTo(const ModeLogCase& c, std::ostream* os) { *os << modeName(c.mode); }

class MergeRunLog : public MergeRun, public ::testing::WithParamInterface<ModeLogCase> {};

// Two drawings with frames and explosion on: every call and pause of the run, in order.
TEST_P(MergeRunLog, MakesExactlyTheseCallsAndPauses) {
  cad.state->extentsByPath["a.dwg"] = Extents{10, 20, 110, 70};
  cad.state->extentsByPath["b.dwg"] = Extents{-5, 0, 195, 80};
  cad.state->extentsByPath["F.dwg"] = Extents{0, -297, 420, 0};
  MergeSettings s;  // spacing 50, 420 x 297, 10 per row, pages of 4 x 3
  s.mode = GetParam().mode;
  s.drawFrames = true;
  s.explodeAfterInsert = true;

  (void)merge(s, {"a.dwg", "b.dwg"});

  EXPECT_EQ(cad.log(), GetParam().log);
}

// The lines a frame around `box` adds.
std::vector<std::string> frameCalls(const std::string& polyline, const std::string& vertices) {
  return {"modelSpace.addLightweightPolyline(" + vertices + ") -> " + polyline, polyline + ".setClosed(true)",
          polyline + ".setLayer(打印图框)", polyline + ".setColor(1)"};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::string> kShowAndExplode1 = {"application.update()", "application.zoomExtents()",
                                                   "block1.explode()", "block1.erase()", "sleep(50)"};
const std::vector<std::string> kShowAndExplode2 = {"application.update()", "application.zoomExtents()",
                                                   "block2.explode()", "block2.erase()", "sleep(50)"};
const std::string kInsertA = "modelSpace.insertBlock(0,0,0 | a.dwg | 1,1,1,0) -> block1";
const std::string kInsertB = "modelSpace.insertBlock(0,0,0 | b.dwg | 1,1,1,0) -> block2";

INSTANTIATE_TEST_SUITE_P(
    Modes, MergeRunLog,
    ::testing::Values(
        ModeLogCase{LayoutMode::Horizontal,
                    std::vector<std::string>{"sleep(50)", kInsertA, "block1.boundingBox()",
                                             "block1.move(10,20,0 -> 0,0,0)", "block1.boundingBox()",
                                             "block1.boundingBox()"} +
                        frameCalls("polyline1", "0,0 0,50 100,50 100,0") + kShowAndExplode1 +
                        std::vector<std::string>{"sleep(50)", kInsertB, "block2.boundingBox()",
                                                 "block2.move(-5,0,0 -> 470,0,0)", "block2.boundingBox()",
                                                 "block2.boundingBox()"} +
                        frameCalls("polyline2", "470,0 470,80 670,80 670,0") + kShowAndExplode2},
        ModeLogCase{LayoutMode::Vertical,
                    std::vector<std::string>{"sleep(50)", kInsertA, "block1.boundingBox()",
                                             "block1.move(10,20,0 -> 0,-50,0)", "block1.boundingBox()"} +
                        frameCalls("polyline1", "0,-50 0,0 100,0 100,-50") + kShowAndExplode1 +
                        std::vector<std::string>{"sleep(50)", kInsertB, "block2.boundingBox()",
                                                 "block2.move(-5,0,0 -> 0,-427,0)", "block2.boundingBox()"} +
                        frameCalls("polyline2", "0,-427 0,-347 200,-347 200,-427") + kShowAndExplode2},
        ModeLogCase{LayoutMode::Mixed,
                    std::vector<std::string>{"sleep(100)", kInsertA, "block1.boundingBox()",
                                             "block1.move(10,20,0 -> 0,0,0)", "block1.boundingBox()"} +
                        frameCalls("polyline1", "0,0 0,50 100,50 100,0") + kShowAndExplode1 +
                        std::vector<std::string>{"sleep(100)", kInsertB, "block2.boundingBox()",
                                                 "block2.move(-5,0,0 -> 470,0,0)", "block2.boundingBox()"} +
                        frameCalls("polyline2", "470,0 470,80 670,80 670,0") + kShowAndExplode2},
        ModeLogCase{LayoutMode::Directed,
                    std::vector<std::string>{"sleep(100)", kInsertA, "sleep(100)", "block1.boundingBox()",
                                             "block1.move(10,20,0 -> 0,0,0)"} +
                        kShowAndExplode1 +
                        std::vector<std::string>{"sleep(100)", kInsertB, "sleep(100)", "block2.boundingBox()",
                                                 "block2.move(-5,0,0 -> 420,0,0)"} +
                        kShowAndExplode2 +
                        std::vector<std::string>{"sleep(100)",
                                                 "modelSpace.insertBlock(0,297,0 | F.dwg | 1,1,1,0) -> block3",
                                                 "block3.boundingBox()"} +
                        frameCalls("polyline1", "0,0 0,297 420,297 420,0") +
                        std::vector<std::string>{"application.update()", "application.zoomExtents()"}}),
    [](const ::testing::TestParamInfo<ModeLogCase>& info) { return modeName(info.param.mode); });

TEST_F(MergeRun, FailedInsertionInTheMiddleTouchesNoOtherDrawingAndTheRunGoesOn) {
  cad.state->failingPaths.insert("b.dwg");
  cad.state->extentsByPath["a.dwg"] = Extents{0, 0, 100, 50};
  cad.state->extentsByPath["c.dwg"] = Extents{0, 0, 300, 60};
  MergeSettings s;
  s.drawFrames = true;
  s.explodeAfterInsert = true;

  std::vector<DrawingOutcome> outcomes = merge(s, {"a.dwg", "b.dwg", "c.dwg"});

  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_TRUE(outcomes[0].merged());
  EXPECT_FALSE(outcomes[1].inserted);
  EXPECT_FALSE(outcomes[1].placed);
  EXPECT_TRUE(outcomes[2].merged());
  // After b's failed insertion only the view is refreshed: no measuring, moving, framing or exploding of
  // a's block in b's name.
  EXPECT_THAT(callsFrom("modelSpace.insertBlock(0,0,0 | b.dwg"),
              ElementsAre("modelSpace.insertBlock(0,0,0 | b.dwg | 1,1,1,0) -> failed", "application.update()",
                          "application.zoomExtents()"));
  ASSERT_EQ(cad.polylines().size(), 2u);
  EXPECT_EQ(cad.polylines()[0].vertices, frameAround(Extents{0, 0, 100, 50}));
  EXPECT_EQ(cad.polylines()[1].vertices, frameAround(Extents{940, 0, 1240, 60}));  // b's slot is kept
  EXPECT_EQ(notified, (std::vector<int>{0, 1, 2}));
}

// A drawing the CAD application cannot measure is inserted but neither moved nor framed; its slot in the
// layout stays empty so the drawings after it land where they would have.
TEST(MergeRunUnmeasurable, DrawingIsLeftUnplacedAndKeepsItsSlot) {
  for (std::optional<Extents> bad : {std::optional<Extents>{}, std::optional<Extents>{Extents{5, 5, -5, -5}}}) {
    RecordingCad cad;
    CadSession session;
    session.application = cad.application();
    openTarget(session);
    RecordingSleeper quiet{cad};
    cad.state->extentsByPath["b.dwg"] = bad;
    cad.state->extentsByPath["c.dwg"] = Extents{0, 0, 300, 60};
    MergeSettings s;
    s.mode = LayoutMode::Mixed;
    s.drawFrames = true;

    std::vector<DrawingOutcome> outcomes =
        mergeDrawings(session, s, {"a.dwg", "b.dwg", "c.dwg"}, "F.dwg", nullptr, quiet);

    SCOPED_TRACE(bad ? "inverted extents" : "no extents");
    EXPECT_TRUE(outcomes[1].inserted);
    EXPECT_FALSE(outcomes[1].placed);
    EXPECT_TRUE(outcomes[2].merged());
    std::vector<FakeEntity> blocks = cad.blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[1].position, (Point2{0, 0}));  // not moved
    EXPECT_EQ(box(blocks[2].extents()), "940,0 .. 1240,60");
    ASSERT_EQ(cad.polylines().size(), 2u);  // a and c only
    EXPECT_EQ(cad.polylines()[1].vertices, frameAround(Extents{940, 0, 1240, 60}));
  }
}

TEST_F(MergeRun, WithActualSizesAnUnmeasurableDrawingTakesNoWidth) {
  cad.state->extentsByPath["a.dwg"] = Extents{0, 0, 100, 50};
  cad.state->extentsByPath["b.dwg"] = std::nullopt;
  cad.state->extentsByPath["c.dwg"] = Extents{0, 0, 300, 60};
  MergeSettings s;
  s.useActualSize = true;

  (void)merge(s, {"a.dwg", "b.dwg", "c.dwg"});

  // a ends at 100; b's empty slot starts at 150 and has no width; c follows one spacing later.
  EXPECT_EQ(box(cad.blocks()[2].extents()), "200,0 .. 500,60");
}

TEST_F(MergeRun, NoOpenDrawingMeansEveryInsertionFailsAndTheRunEndsNormally) {
  cad.state->hasDocument = false;
  openTarget(session);
  EXPECT_EQ(session.document, nullptr);
  EXPECT_EQ(session.modelSpace, nullptr);
  MergeSettings s;
  s.mode = LayoutMode::Directed;
  s.drawFrames = true;

  std::vector<DrawingOutcome> outcomes = merge(s, {"a.dwg", "b.dwg"});

  for (const DrawingOutcome& o : outcomes) EXPECT_FALSE(o.inserted);
  EXPECT_TRUE(cad.state->entities.empty());
  EXPECT_EQ(session.currentBlock, nullptr);
  EXPECT_EQ(notified, (std::vector<int>{0, 1}));
  EXPECT_EQ(sleeper.total, 2 * 250 + 100);  // the pace is kept
}

TEST_F(MergeRun, ApplicationGoneMidRunLeavesTheRestUninsertedWithoutStopping) {
  MergeSettings s;
  s.drawFrames = true;
  s.explodeAfterInsert = true;
  std::vector<DrawingOutcome> outcomes = mergeDrawings(
      session, s, {"a.dwg", "b.dwg", "c.dwg"}, "F.dwg",
      [this](int i) {
        notified.push_back(i);
        if (i == 1) cad.state->running = false;
      },
      sleeper);

  EXPECT_TRUE(outcomes[0].merged());
  EXPECT_FALSE(outcomes[1].inserted);
  EXPECT_FALSE(outcomes[2].inserted);
  EXPECT_EQ(notified, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(cad.blocks().size(), 1u);
  EXPECT_EQ(cad.polylines().size(), 1u);
}

TEST_F(MergeRun, CountsTheLayoutDividesByRefuseTheRunBeforeAnythingIsInserted) {
  struct Case {
    LayoutMode mode;
    int perRow, columns, rows;
  };
  for (const Case& c : {Case{LayoutMode::Mixed, 0, 4, 3}, Case{LayoutMode::Directed, 10, 0, 3},
                        Case{LayoutMode::Directed, 10, 4, -1}}) {
    MergeSettings s;
    s.mode = c.mode;
    s.perRowCount = c.perRow;
    s.directedColumns = c.columns;
    s.directedRows = c.rows;
    std::vector<DrawingOutcome> outcomes = merge(s, {"a.dwg", "b.dwg"});
    ASSERT_EQ(outcomes.size(), 2u);
    for (const DrawingOutcome& o : outcomes) EXPECT_FALSE(o.inserted);
  }
  EXPECT_TRUE(cad.log().empty());
  EXPECT_TRUE(notified.empty());
}

TEST_F(MergeRun, SecondRunLaysItsFirstDrawingWhereTheFirstRunsWent) {
  MergeSettings s;
  s.mode = LayoutMode::Vertical;
  cad.state->extentsByPath["a.dwg"] = Extents{3, 4, 103, 54};
  (void)merge(s, {"a.dwg", "b.dwg"});
  (void)merge(s, {"a.dwg"});

  std::vector<FakeEntity> blocks = cad.blocks();
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(box(blocks[2].extents()), box(blocks[0].extents()));
  EXPECT_EQ(box(blocks[2].extents()), "0,-50 .. 100,0");
}

TEST(OpenTarget, KeepsAnExistingPrintFrameLayerOrCreatesItAndSetsColourOne) {
  for (bool existing : {true, false}) {
    SCOPED_TRACE(existing ? "layer exists" : "no layer");
    RecordingCad cad;
    if (existing) cad.state->layers[kFrameLayer] = 5;
    CadSession session;
    session.application = cad.application();

    openTarget(session);

    EXPECT_NE(session.document, nullptr);
    EXPECT_NE(session.modelSpace, nullptr);
    EXPECT_EQ(cad.state->layers.at(kFrameLayer), 1);
    EXPECT_EQ(cad.log(), (std::vector<std::string>{
                             "application.activeDocument()", "document.modelSpace()", "document.layers()",
                             "layers.exists(打印图框)", existing ? "layers.item(打印图框)" : "layers.add(打印图框)",
                             "layer(打印图框).setColor(1)"}));
  }
}

TEST(RealSleeperTest, SleepsAtLeastTheGivenTime) {
  RealSleeper sleeper;
  const auto start = std::chrono::steady_clock::now();
  sleeper.sleepMs(20);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

}  // namespace
}  // namespace plenvo
