// The version and size tables: default texts, splitting, and positional readers.
#include "core/tables.h"

namespace plenvo {

const std::string_view kDefaultVersionTable =
    "15-2000/15.2-2002/16-2004/16.1-2005/16.2-2006/17-2007/17.1-2008/17.2-2009/18-2010/18.1-2011/"
    "18.2-2012/19-2013/19.1-2014/20-2015/20.1-2016/21-2017/22-2018/23-2019/23.1-2020/24-2021/24.1-2022/"
    "24.2-2023/24.3-2024/25-2025/25.1-2026/";

const std::string_view kDefaultSizeTable =
    "A0-横向-1189*841/A0-竖向-841*1189/A1-横向-841*594/A1-竖向-594*841/A2-横向-594*420/A2-竖向-420*594/"
    "A3-横向-420*297/A3-竖向-297*420/A4-横向-297*210/A4-竖向-210*297/Z1-定向排-105*95/";

// Every byte of a multi-byte UTF-8 sequence is 0x80 or above, so an ASCII delimiter found byte by byte is
// always a real one.
std::vector<std::string> splitText(std::string_view text, char delimiter) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t at = text.find(delimiter); at != std::string_view::npos; at = text.find(delimiter, start)) {
    pieces.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
  if (start < text.size()) pieces.emplace_back(text.substr(start));
  return pieces;
}

std::vector<VersionEntry> readVersionTable(std::string_view text) {
  std::vector<VersionEntry> entries;
  for (const std::string& piece : splitText(text, '/')) {
    const std::vector<std::string> fields = splitText(piece, '-');
    VersionEntry entry;
    if (!fields.empty()) entry.internalNumber = fields[0];
    if (fields.size() > 1) entry.releaseYear = fields[1];
    entry.complete = !entry.internalNumber.empty() && !entry.releaseYear.empty();
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<SizeEntry> readSizeTable(std::string_view text) {
  std::vector<SizeEntry> entries;
  for (const std::string& piece : splitText(text, '/')) {
    const std::vector<std::string> fields = splitText(piece, '-');
    SizeEntry entry;
    if (!fields.empty()) entry.formatName = fields[0];
    if (fields.size() > 1) entry.orientation = fields[1];
    if (fields.size() > 2) entry.dimensions = fields[2];
    const std::vector<std::string> parts = splitText(entry.dimensions, '*');
    if (!parts.empty()) entry.length = parts[0];
    if (parts.size() > 1) entry.width = parts[1];
    entry.complete = !entry.formatName.empty() && !entry.orientation.empty() &&
                     entry.dimensions.find('*') != std::string::npos && !entry.length.empty() &&
                     !entry.width.empty();
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace plenvo
