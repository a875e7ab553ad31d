// The tools window's grid data and its current-cell rules.
#include "ui/tools/grid_model.h"

#include <algorithm>

namespace plenvo {

GridModel::GridModel(int columnCount)
    : rows_(1, std::vector<std::string>(static_cast<std::size_t>(std::max(columnCount, 1)))),
      widths_(static_cast<std::size_t>(std::max(columnCount, 1)), 64) {}

int GridModel::columnWidth(int column) const {
  return column >= 0 && column < columnCount() ? widths_[static_cast<std::size_t>(column)] : 0;
}

void GridModel::setColumnWidth(int column, int width) {
  if (column >= 0 && column < columnCount()) widths_[static_cast<std::size_t>(column)] = std::max(width, 0);
}

const std::string& GridModel::text(int row, int column) const {
  static const std::string empty;
  if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return empty;
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void GridModel::setText(int row, int column, std::string_view text) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
  rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = std::string(text);
}

bool GridModel::editable(int row, int column) const {
  return row >= 1 && row < rowCount() && column >= 1 && column < columnCount();
}

void GridModel::appendRow(const std::vector<std::string>& cells) {
  std::vector<std::string> row(static_cast<std::size_t>(columnCount()));
  for (std::size_t i = 0; i < row.size() && i < cells.size(); ++i) row[i] = cells[i];
  rows_.push_back(std::move(row));
}

void GridModel::deleteRow(int row) {
  if (row < 1 || row >= rowCount()) return;
  rows_.erase(rows_.begin() + row);
  if (!current_) return;
  if (rowCount() <= 1) {
    current_.reset();
  } else if (current_->row >= rowCount()) {
    current_->row = rowCount() - 1;
  }
}

void GridModel::setCurrent(std::optional<GridCell> cell) {
  if (cell && (cell->row < 1 || cell->row >= rowCount() || cell->column < 0 || cell->column >= columnCount())) {
    cell.reset();
  }
  current_ = cell;
}

void GridModel::setColours(std::uint32_t lines, std::uint32_t background) {
  lineColour_ = lines;
  backgroundColour_ = background;
}

}  // namespace plenvo
