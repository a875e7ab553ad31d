// Where each drawing of a merge lands. Mixed and Directed positions are whole-number cell arithmetic done
// in 64 bits, so even extreme counts and sizes typed by the user cannot overflow before they become doubles.
#include "core/sheet_layout.h"

#include <algorithm>

namespace plenvo {

namespace {

std::int64_t atLeastOne(std::int32_t count) { return std::max<std::int64_t>(count, 1); }

}  // namespace

LayoutProblem checkLayoutCounts(const MergeSettings& settings) {
  switch (settings.mode) {
    case LayoutMode::Mixed:
      if (settings.perRowCount < 1) return LayoutProblem::PerRowCountBelowOne;
      break;
    case LayoutMode::Directed:
      if (settings.directedColumns < 1) return LayoutProblem::DirectedColumnsBelowOne;
      if (settings.directedRows < 1) return LayoutProblem::DirectedRowsBelowOne;
      break;
    default:
      break;
  }
  return LayoutProblem::None;
}

SheetLayout::SheetLayout(const MergeSettings& settings) : settings_(settings) {}

Point2 SheetLayout::place(const Extents& inserted) {
  const std::int64_t k = placed_;  // index of this drawing from 0
  ++placed_;
  const std::int64_t length = settings_.sheetLength;
  const std::int64_t width = settings_.sheetWidth;
  const std::int64_t spacing = settings_.spacing;

  switch (settings_.mode) {
    case LayoutMode::Vertical: {
      if (k == 0) {
        cursorY_ = 0;
      } else {
        const double step = settings_.useActualSize ? lastHeight_ : static_cast<double>(width);
        cursorY_ = cursorY_ - step - static_cast<double>(spacing);
      }
      const double height = inserted.maxY - inserted.minY;
      lastHeight_ = height;
      return {0.0, cursorY_ - height};
    }
    case LayoutMode::Mixed: {
      const std::int64_t n = atLeastOne(settings_.perRowCount);
      const std::int64_t column = k % n;
      const std::int64_t row = k / n;
      return {static_cast<double>(column * (length + spacing)), static_cast<double>(-row * (width + spacing))};
    }
    case LayoutMode::Directed: {
      const std::int64_t a = atLeastOne(settings_.directedColumns);
      const std::int64_t b = atLeastOne(settings_.directedRows);
      const std::int64_t page = k / (a * b);
      const std::int64_t inPage = k % (a * b);
      const std::int64_t row = inPage / a;
      const std::int64_t column = inPage % a;
      // page * (a * L + s) can exceed 64 bits only for absurd inputs; the sum is formed in double then.
      const double pageX = static_cast<double>(page) * static_cast<double>(a * length + spacing);
      return {pageX + static_cast<double>(column * length), static_cast<double>(-row * width)};
    }
    case LayoutMode::Horizontal:
    default: {
      if (k == 0) {
        cursorX_ = 0;
      } else {
        const double step = settings_.useActualSize ? lastWidth_ : static_cast<double>(length);
        cursorX_ = cursorX_ + step + static_cast<double>(spacing);
      }
      return {cursorX_, 0.0};
    }
  }
}

void SheetLayout::settle(const Extents& moved) {
  if (settings_.mode == LayoutMode::Horizontal) lastWidth_ = moved.maxX - cursorX_;
}

std::vector<Point2> SheetLayout::frameSheetOrigins(int drawingCount) const {
  std::vector<Point2> origins;
  if (settings_.mode != LayoutMode::Directed || drawingCount <= 0) return origins;
  const std::int64_t a = atLeastOne(settings_.directedColumns);
  const std::int64_t b = atLeastOne(settings_.directedRows);
  const std::int64_t cells = a * b;
  const std::int64_t pages = (drawingCount + cells - 1) / cells;
  const double pitch = static_cast<double>(a * settings_.sheetLength + settings_.spacing);
  origins.reserve(static_cast<std::size_t>(pages));
  for (std::int64_t j = 0; j < pages; ++j) {
    origins.push_back({static_cast<double>(j) * pitch, static_cast<double>(settings_.sheetWidth)});
  }
  return origins;
}

}  // namespace plenvo
