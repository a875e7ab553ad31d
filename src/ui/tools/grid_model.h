// The data of one editable grid of the tools window: a fixed header row (row 0) and a fixed first column,
// cell texts, column widths, the current cell and the colours. The Win32 grid control draws it and edits its
// cells in place; the presenters work on it directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenvo {

inline constexpr std::uint32_t kColourBlack = 0x000000;
inline constexpr std::uint32_t kColourSilver = 0xC0C0C0;
inline constexpr std::uint32_t kColourWhite = 0xFFFFFF;
inline constexpr int kGridRowHeight = 24;

struct GridCell {
  int row = 0;
  int column = 0;
  bool operator==(const GridCell&) const = default;
};

class GridModel {
 public:
  explicit GridModel(int columnCount);

  int columnCount() const { return static_cast<int>(widths_.size()); }
  int rowCount() const { return static_cast<int>(rows_.size()); }  // header row included
  int columnWidth(int column) const;
  void setColumnWidth(int column, int width);
  bool headerCentred() const { return headerCentred_; }
  void setHeaderCentred(bool centred) { headerCentred_ = centred; }

  // Empty text outside the grid.
  const std::string& text(int row, int column) const;
  void setText(int row, int column, std::string_view text);
  // The header row and the first column are not edited by the user.
  bool editable(int row, int column) const;

  // Appends a data row; missing cells are empty, cells past the last column are dropped.
  void appendRow(const std::vector<std::string>& cells);
  // Deletes data row `row`. The current cell keeps its row number (now the row that moved up), moves to the
  // new last row when it was past the end, and is cleared when only the header row is left.
  void deleteRow(int row);

  std::optional<GridCell> current() const { return current_; }
  // Cells outside the data rows clear the current cell.
  void setCurrent(std::optional<GridCell> cell);

  std::uint32_t lineColour() const { return lineColour_; }
  std::uint32_t backgroundColour() const { return backgroundColour_; }
  void setColours(std::uint32_t lines, std::uint32_t background);

 private:
  std::vector<std::vector<std::string>> rows_;
  std::vector<int> widths_;
  std::optional<GridCell> current_;
  bool headerCentred_ = false;
  std::uint32_t lineColour_ = kColourSilver;
  std::uint32_t backgroundColour_ = kColourWhite;
};

}  // namespace plenvo
