// Where each drawing of a merge lands: pure computation on the drawings' extents and the merge settings.
#pragma once

#include <cstdint>
#include <vector>

namespace plenvo {

enum class LayoutMode : int { None = 0, Horizontal = 1, Vertical = 2, Mixed = 3, Directed = 4 };

struct Extents {
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool valid() const { return minX <= maxX && minY <= maxY; }
};

struct Point2 {
  double x = 0, y = 0;
  bool operator==(const Point2&) const = default;
};

struct MergeSettings {
  std::int32_t spacing = 50;
  std::int32_t perRowCount = 10;
  std::int32_t sheetLength = 420;
  std::int32_t sheetWidth = 297;
  std::int32_t directedColumns = 4;
  std::int32_t directedRows = 3;
  bool explodeAfterInsert = false;
  bool drawFrames = false;
  bool useActualSize = false;
  LayoutMode mode = LayoutMode::Horizontal;
};

// Counts the layout divides by. A run with any of these must be refused before anything is inserted.
enum class LayoutProblem { None, PerRowCountBelowOne, DirectedColumnsBelowOne, DirectedRowsBelowOne };
LayoutProblem checkLayoutCounts(const MergeSettings& settings);

class SheetLayout {
 public:
  explicit SheetLayout(const MergeSettings& settings);

  // Target of the lower-left corner of the next drawing, from its extents right after insertion.
  // Callers have checked checkLayoutCounts(); a count below 1 is treated as 1 here so nothing is undefined.
  Point2 place(const Extents& inserted);
  // The drawing's extents after the move (Horizontal uses them).
  void settle(const Extents& moved);
  // Insertion points of the part-frame drawings for a run of drawingCount drawings (Directed only).
  std::vector<Point2> frameSheetOrigins(int drawingCount) const;

  int placed() const { return placed_; }

 private:
  MergeSettings settings_;
  int placed_ = 0;
  double cursorX_ = 0, lastWidth_ = 0;
  double cursorY_ = 0, lastHeight_ = 0;
};

}  // namespace plenvo
