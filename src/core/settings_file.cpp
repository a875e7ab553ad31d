// The settings file, edited the way the Windows profile API edits it: the file is parsed line by line as
// GBK bytes, a write changes or adds exactly one line, and every other byte of the file stays as it was.
#include "core/settings_file.h"

#include <vector>

#include "core/platform.h"
#include "core/text_codec.h"

namespace plenvo {

namespace {

constexpr std::string_view kNewLine = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isGbkLead(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x81 && byte <= 0xFE;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// First position of an ASCII character in GBK text, stepping over double-byte characters as wholes (their
// second byte may be '[', ']', '\\' or '@').
std::size_t findGbk(std::string_view text, char wanted) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == wanted) return at;
    if (isGbkLead(text[at])) ++at;
  }
  return std::string_view::npos;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// One line of the file: its bytes without the line end, and the line end as it was ("\r\n", "\n" or none).
struct Line {
  std::string_view text;
  std::string_view end;
};

std::vector<Line> splitLines(std::string_view bytes) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t newline = bytes.find('\n', start);  // 0x0A is never part of a GBK character
    if (newline == std::string_view::npos) {
      lines.push_back({bytes.substr(start), {}});
      break;
    }
    std::size_t textEnd = newline;
    if (textEnd > start && bytes[textEnd - 1] == '\r') --textEnd;
    lines.push_back({bytes.substr(start, textEnd - start), bytes.substr(textEnd, newline + 1 - textEnd)});
    start = newline + 1;
  }
  return lines;
}

enum class LineKind { Blank, Comment, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Blank;
  std::string_view name;   // section or key name, GBK bytes
  std::string_view value;  // key value, GBK bytes, blanks around it removed
};

ParsedLine parseLine(std::string_view line) {
  ParsedLine parsed;
  const std::string_view text = trim(line);
  if (text.empty()) return parsed;
  if (text.front() == ';') {
    parsed.kind = LineKind::Comment;
  } else if (text.front() == '[') {
    parsed.kind = LineKind::Section;
    const std::string_view inside = text.substr(1);
    parsed.name = trim(inside.substr(0, findGbk(inside, ']')));
  } else {
    parsed.kind = LineKind::Key;
    const std::size_t equals = findGbk(text, '=');
    parsed.name = trim(text.substr(0, equals));
    if (equals != std::string_view::npos) parsed.value = trim(text.substr(equals + 1));
  }
  return parsed;
}

bool sameName(std::string_view gbkName, std::string_view utf8Name) {
  return equalsIgnoringAsciiCase(gbkToUtf8(gbkName), utf8Name);
}

// Where a key lives in the file: the section's header line, its last key line, the key's own line.
struct Location {
  std::ptrdiff_t section = -1;
  std::ptrdiff_t lastKey = -1;
  std::ptrdiff_t key = -1;
  std::string_view value;
};

Location locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location found;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine parsed = parseLine(lines[i].text);
    if (parsed.kind == LineKind::Section) {
      if (found.section >= 0) break;  // only the first section of that name counts
      inSection = sameName(parsed.name, section);
      if (inSection) found.section = found.lastKey = static_cast<std::ptrdiff_t>(i);
    } else if (inSection && parsed.kind == LineKind::Key && !parsed.name.empty()) {
      found.lastKey = static_cast<std::ptrdiff_t>(i);
      if (found.key < 0 && sameName(parsed.name, key)) {
        found.key = static_cast<std::ptrdiff_t>(i);
        found.value = parsed.value;
      }
    }
  }
  return found;
}

// A value in quotes reads without them, as with GetPrivateProfileString.
std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Cuts GBK text to at most `limit` bytes without splitting a double-byte character.
std::string_view cutGbk(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t at = 0;
  while (at < limit) {
    const std::size_t width = isGbkLead(text[at]) && at + 1 < text.size() ? 2 : 1;
    if (at + width > limit) break;
    at += width;
  }
  return text.substr(0, at);
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

bool SettingsFile::exists() const { return platform::fileExists(path_); }

std::string SettingsFile::read(std::string_view section, std::string_view key) const {
  std::string bytes;
  if (platform::readWholeFile(path_, bytes) != platform::ReadStatus::Ok) return {};
  const Location found = locate(splitLines(bytes), section, key);
  if (found.key < 0) return {};
  return gbkToUtf8(cutGbk(unquote(found.value), kMaxValueBytes));
}

bool SettingsFile::write(std::string_view section, std::string_view key, std::string_view value) {
  // Such names or values would break the line structure of the file (or be unreadable afterwards).
  // (The arguments are UTF-8, where an ASCII byte is always an ASCII character.)
  if (trim(key).empty() || key != trim(key) || key.find('=') != std::string_view::npos ||
      key.front() == '[' || key.front() == ';' || hasLineBreak(key) || hasLineBreak(value) ||
      hasLineBreak(section) || section.find(']') != std::string_view::npos) {
    return false;
  }
  std::string bytes;
  const platform::ReadStatus status = platform::readWholeFile(path_, bytes);
  if (status == platform::ReadStatus::Failed) return false;

  const std::vector<Line> lines = splitLines(bytes);
  const Location found = locate(lines, section, key);
  const std::string gbkValue = utf8ToGbk(value);

  std::string out;
  out.reserve(bytes.size() + key.size() + gbkValue.size() + 16);
  auto appendLine = [&](const Line& line) {
    out.append(line.text);
    out.append(line.end);
  };
  if (found.key >= 0) {
    // In place, under the name as the file spells it.
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (static_cast<std::ptrdiff_t>(i) != found.key) {
        appendLine(lines[i]);
        continue;
      }
      const ParsedLine parsed = parseLine(lines[i].text);
      out.append(parsed.name).append("=").append(gbkValue);
      out.append(lines[i].end.empty() ? kNewLine : lines[i].end);
    }
  } else if (found.section >= 0) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      out.append(lines[i].text);
      const bool insertHere = static_cast<std::ptrdiff_t>(i) == found.lastKey;
      out.append(insertHere && lines[i].end.empty() ? kNewLine : lines[i].end);
      if (insertHere) out.append(utf8ToGbk(key)).append("=").append(gbkValue).append(kNewLine);
    }
  } else {
    out = bytes;
    if (!out.empty() && out.back() != '\n') out.append(kNewLine);
    out.append("[").append(utf8ToGbk(section)).append("]").append(kNewLine);
    out.append(utf8ToGbk(key)).append("=").append(gbkValue).append(kNewLine);
  }
  return platform::replaceFile(path_, out);
}

bool SettingsFile::setHiddenOnly() { return platform::setHiddenOnly(path_); }

}  // namespace plenvo
