// The version and size tables: their default texts, the splitting rule that every table text and the
// remote text use, and readers that address entries by position.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plenvo {

extern const std::string_view kDefaultVersionTable;  // "15-2000/15.2-2002/.../25.1-2026/"
extern const std::string_view kDefaultSizeTable;     // "A0-横向-1189*841/.../Z1-定向排-105*95/"
inline constexpr int kDefaultVersionCount = 25;
inline constexpr int kDefaultSizeCount = 11;

// Splits a UTF-8 text at an ASCII delimiter: no piece for an empty text, an empty piece between two
// adjacent delimiters and before a leading one, no piece after a final one. (GBK texts are decoded before
// they are split, so the trail byte of a double-byte character can never be taken for a delimiter.)
std::vector<std::string> splitText(std::string_view text, char delimiter);

struct VersionEntry {
  std::string internalNumber;
  std::string releaseYear;
  bool complete = false;  // both fields present (the entry had a "-"), neither empty
};

struct SizeEntry {
  std::string formatName;
  std::string orientation;
  std::string dimensions;  // "length*width"
  std::string length;      // text before "*"
  std::string width;       // text after "*"
  bool complete = false;   // three fields, and dimensions holds "*" with a part after it
  std::string itemText() const { return formatName + orientation + dimensions + "mm"; }
};

// One entry per piece of the table text, at the piece's position, whether complete or not.
std::vector<VersionEntry> readVersionTable(std::string_view text);
std::vector<SizeEntry> readSizeTable(std::string_view text);

}  // namespace plenvo
