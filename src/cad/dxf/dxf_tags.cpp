// Number parsing for tag values: std::from_chars on the trimmed text, with the decimal comma that some
// writers emit ("1,5") read as a decimal point.
#include "cad/dxf/dxf_tags.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace plenvo::dxf {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// from_chars rejects a leading '+', which some writers put before exponents' mantissas.
std::string_view dropPlus(std::string_view text) {
  if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  return text;
}

// Whole-text real parse; nullopt unless every character is used and the value is finite.
std::optional<double> fullReal(std::string_view text) {
  double value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<double> parseReal(std::string_view text) {
  text = dropPlus(trim(text));
  if (text.empty()) return std::nullopt;
  if (auto value = fullReal(text)) return value;
  // Decimal comma: exactly one ',' and no '.', read through a small copy with the comma replaced.
  const auto comma = text.find(',');
  if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos ||
      text.find('.') != std::string_view::npos || text.size() > 64)
    return std::nullopt;
  std::array<char, 64> buffer{};
  for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = text[i] == ',' ? '.' : text[i];
  return fullReal(std::string_view(buffer.data(), text.size()));
}

RealText checkRealText(std::string_view text) {
  // Plain decimal of modest length: [+-]digits[.,]digits, at least one digit. Always finite.
  const char* p = text.data();
  const char* const end = p + text.size();
  if (text.size() != 0 && text.size() <= 40) {
    if (*p == '-' || *p == '+') ++p;
    bool digit = false;
    const char* separator = nullptr;
    for (; p < end; ++p) {
      if (static_cast<unsigned char>(*p) - unsigned{'0'} < 10) digit = true;
      else if ((*p == '.' || *p == ',') && !separator) separator = p;
      else break;
    }
    if (p == end && digit) return separator && *separator == ',' ? RealText::Comma : RealText::Point;
  }
  if (!parseReal(text)) return RealText::Invalid;
  return text.find(',') != std::string_view::npos ? RealText::Comma : RealText::Point;
}

bool isFiniteRealText(std::string_view text) { return checkRealText(text) != RealText::Invalid; }

bool isIntegerTextInRange(std::string_view text, int bits) {
  // Up to four digits with an optional sign fits any integer code.
  if (!text.empty() && text.size() <= 5) {
    std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i < text.size() && text.size() - i <= 4) {
      bool digits = true;
      for (; i < text.size() && digits; ++i) digits = text[i] >= '0' && text[i] <= '9';
      if (digits) return true;
    }
  }
  const auto value = parseInteger(text);
  if (!value) return false;
  const std::int64_t low = bits == 16 ? -32768 : -2147483648LL;
  const std::int64_t high = bits == 16 ? 65535 : 4294967295LL;
  return *value >= low && *value <= high;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  text = dropPlus(trim(text));
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc() && ptr == last) return value;
  // Some writers put a real where an integer belongs ("1.0"); take it when it is integral and in range.
  if (ec == std::errc() || ec == std::errc::invalid_argument) {
    if (auto real = parseReal(text)) {
      constexpr double kLimit = 9.2e18;
      if (*real == std::trunc(*real) && std::fabs(*real) < kLimit) return static_cast<std::int64_t>(*real);
    }
  }
  return std::nullopt;
}

}  // namespace plenvo::dxf
