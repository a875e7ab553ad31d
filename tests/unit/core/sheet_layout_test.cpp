// Targets of the four arrangements and the part-frame origins.
#include "core/sheet_layout.h"

#include <gtest/gtest.h>

#include <limits>

namespace plenvo {
namespace {

Extents box(double width, double height) { return {0, 0, width, height}; }

MergeSettings settingsFor(LayoutMode mode) {
  MergeSettings settings;
  settings.mode = mode;
  return settings;
}

// Places drawings of the given sizes (inserted at the origin) and settles each after its move.
std::vector<Point2> run(const MergeSettings& settings, const std::vector<Extents>& drawings) {
  SheetLayout layout(settings);
  std::vector<Point2> targets;
  for (const Extents& inserted : drawings) {
    const Point2 target = layout.place(inserted);
    targets.push_back(target);
    const double dx = target.x - inserted.minX, dy = target.y - inserted.minY;
    layout.settle({inserted.minX + dx, inserted.minY + dy, inserted.maxX + dx, inserted.maxY + dy});
  }
  return targets;
}

std::vector<Extents> sameSize(int count, double width = 100, double height = 100) {
  return std::vector<Extents>(static_cast<std::size_t>(count), box(width, height));
}

TEST(SheetLayoutTest, HorizontalFixedPitchIgnoresDrawingWidths) {
  MergeSettings settings = settingsFor(LayoutMode::Horizontal);
  const auto targets = run(settings, {box(1000, 10), box(5, 5), box(300, 900), box(1, 1)});
  EXPECT_EQ(targets, (std::vector<Point2>{{0, 0}, {470, 0}, {940, 0}, {1410, 0}}));
}

TEST(SheetLayoutTest, HorizontalActualSizeKeepsSpacingBetweenEdges) {
  MergeSettings settings = settingsFor(LayoutMode::Horizontal);
  settings.useActualSize = true;
  EXPECT_EQ(run(settings, {box(100, 10), box(300, 10), box(200, 10)}),
            (std::vector<Point2>{{0, 0}, {150, 0}, {500, 0}}));
  // A drawing whose extents do not start at the origin: the measured width after the move counts.
  SheetLayout layout(settings);
  const Extents offset{-40, 7, 60, 20};
  EXPECT_EQ(layout.place(offset), (Point2{0, 0}));
  layout.settle({0, 0, 100, 13});
  EXPECT_EQ(layout.place(offset), (Point2{150, 0}));
}

TEST(SheetLayoutTest, VerticalHangsEachDrawingBelowItsSlotLine) {
  MergeSettings settings = settingsFor(LayoutMode::Vertical);
  EXPECT_EQ(run(settings, {box(10, 80), box(10, 200), box(10, 5)}),
            (std::vector<Point2>{{0, -80}, {0, -547}, {0, -699}}));
  settings.useActualSize = true;
  EXPECT_EQ(run(settings, {box(10, 100), box(10, 200)}), (std::vector<Point2>{{0, -100}, {0, -350}}));
}

TEST(SheetLayoutTest, MixedFillsRowsOfPerRowCount) {
  MergeSettings settings = settingsFor(LayoutMode::Mixed);
  const auto targets = run(settings, sameSize(11));
  EXPECT_EQ(targets[0], (Point2{0, 0}));
  EXPECT_EQ(targets[9], (Point2{4230, 0}));
  EXPECT_EQ(targets[10], (Point2{0, -347}));
}

TEST(SheetLayoutTest, DirectedFillsPagesOfCells) {
  MergeSettings settings = settingsFor(LayoutMode::Directed);
  settings.sheetLength = 105;
  settings.sheetWidth = 95;
  const auto targets = run(settings, sameSize(13));
  EXPECT_EQ(targets[0], (Point2{0, 0}));
  EXPECT_EQ(targets[3], (Point2{315, 0}));
  EXPECT_EQ(targets[4], (Point2{0, -95}));
  EXPECT_EQ(targets[11], (Point2{315, -190}));
  EXPECT_EQ(targets[12], (Point2{470, 0}));

  SheetLayout layout(settings);
  EXPECT_EQ(layout.frameSheetOrigins(13), (std::vector<Point2>{{0, 95}, {470, 95}}));
  EXPECT_EQ(layout.frameSheetOrigins(12), (std::vector<Point2>{{0, 95}}));
  EXPECT_EQ(layout.frameSheetOrigins(24).size(), 2u);
  EXPECT_TRUE(layout.frameSheetOrigins(0).empty());
}

TEST(SheetLayoutTest, DirectedWithOneRowKeepsEveryPageOnTheBaseLine) {
  MergeSettings settings = settingsFor(LayoutMode::Directed);
  settings.sheetLength = 105;
  settings.directedRows = 1;
  const auto targets = run(settings, sameSize(9));
  for (const Point2& target : targets) EXPECT_EQ(target.y, 0);
  EXPECT_EQ(targets[4], (Point2{4 * 105 + 50, 0}));
}

TEST(SheetLayoutTest, FrameOriginsOnlyForDirected) {
  for (LayoutMode mode : {LayoutMode::Horizontal, LayoutMode::Vertical, LayoutMode::Mixed}) {
    EXPECT_TRUE(SheetLayout(settingsFor(mode)).frameSheetOrigins(13).empty());
  }
}

TEST(SheetLayoutTest, NegativeAndZeroSizesAreUsedAsGiven) {
  MergeSettings settings = settingsFor(LayoutMode::Mixed);
  settings.sheetLength = -100;
  settings.sheetWidth = 0;
  settings.spacing = -10;
  settings.perRowCount = 2;
  EXPECT_EQ(run(settings, sameSize(3)), (std::vector<Point2>{{0, 0}, {-110, 0}, {0, 10}}));
}

TEST(SheetLayoutTest, ExtremeCountsAndSizesDoNotOverflow) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  MergeSettings settings = settingsFor(LayoutMode::Mixed);
  settings.sheetLength = kMax;
  settings.spacing = kMax;
  settings.sheetWidth = kMax;
  settings.perRowCount = 2;
  const auto mixed = run(settings, sameSize(3));
  EXPECT_EQ(mixed[1].x, 2.0 * kMax);
  EXPECT_EQ(mixed[2].y, -2.0 * kMax);

  settings.mode = LayoutMode::Directed;
  settings.directedColumns = kMax;
  settings.directedRows = kMax;
  const auto directed = run(settings, sameSize(2));
  EXPECT_EQ(directed[1].x, static_cast<double>(kMax));
  EXPECT_EQ(SheetLayout(settings).frameSheetOrigins(kMax).size(), 1u);
}

TEST(SheetLayoutTest, CountsBelowOneAreReportedForTheModeThatDividesByThem) {
  struct Case {
    LayoutMode mode;
    std::int32_t perRow, columns, rows;
    LayoutProblem expected;
  };
  const Case cases[] = {
      {LayoutMode::Mixed, 0, 4, 3, LayoutProblem::PerRowCountBelowOne},
      {LayoutMode::Mixed, -5, 0, 0, LayoutProblem::PerRowCountBelowOne},
      {LayoutMode::Mixed, 1, 0, 0, LayoutProblem::None},
      {LayoutMode::Directed, 0, 0, 3, LayoutProblem::DirectedColumnsBelowOne},
      {LayoutMode::Directed, 0, 4, -1, LayoutProblem::DirectedRowsBelowOne},
      {LayoutMode::Directed, 0, 1, 1, LayoutProblem::None},
      {LayoutMode::Horizontal, 0, 0, 0, LayoutProblem::None},
      {LayoutMode::Vertical, 0, 0, 0, LayoutProblem::None},
  };
  for (const Case& c : cases) {
    MergeSettings settings = settingsFor(c.mode);
    settings.perRowCount = c.perRow;
    settings.directedColumns = c.columns;
    settings.directedRows = c.rows;
    EXPECT_EQ(checkLayoutCounts(settings), c.expected) << static_cast<int>(c.mode) << " " << c.perRow << " "
                                                        << c.columns << " " << c.rows;
  }
  // Unchecked, the layout still gives defined targets: a count below 1 acts as 1.
  MergeSettings settings = settingsFor(LayoutMode::Mixed);
  settings.perRowCount = 0;
  EXPECT_EQ(run(settings, sameSize(2)), (std::vector<Point2>{{0, 0}, {0, -347}}));
}

TEST(SheetLayoutTest, EveryRunStartsAfresh) {
  for (LayoutMode mode : {LayoutMode::Horizontal, LayoutMode::Vertical, LayoutMode::Mixed, LayoutMode::Directed}) {
    const auto first = run(settingsFor(mode), sameSize(3, 10, 20));
    const auto second = run(settingsFor(mode), sameSize(3, 10, 20));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first[0], (Point2{0, mode == LayoutMode::Vertical ? -20.0 : 0.0}));
  }
}

}  // namespace
}  // namespace plenvo
