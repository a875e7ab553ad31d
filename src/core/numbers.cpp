// Reading numbers that the user typed. Only the integer part matters, since every value is truncated
// toward zero; it is accumulated with saturation so an overlong number clamps instead of overflowing.
#include "core/numbers.h"

#include <limits>

namespace plenvo {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();

// One character of the text, ASCII or its full-width form (U+FF01..U+FF5E mirror U+0021..U+007E), folded
// to ASCII; 0 for anything else. `size` receives the length in bytes.
char foldedChar(std::string_view text, std::size_t at, std::size_t& size, bool fullWidth) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x80) {
    size = 1;
    return static_cast<char>(byte);
  }
  // U+3000 (ideographic space) is E3 80 80; U+FF01..U+FF5E are EF BC 81..EF BD 9E.
  if (!fullWidth || at + 3 > text.size()) return 0;
  const auto b1 = static_cast<unsigned char>(text[at + 1]);
  const auto b2 = static_cast<unsigned char>(text[at + 2]);
  if (byte == 0xE3 && b1 == 0x80 && b2 == 0x80) {
    size = 3;
    return ' ';
  }
  if (byte == 0xEF && (b1 == 0xBC || b1 == 0xBD) && b2 >= 0x80 && b2 <= 0xBF) {
    const unsigned codePoint = 0xFF00u + ((b1 - 0xBCu) << 6) + (b2 - 0x80u);
    if (codePoint >= 0xFF01 && codePoint <= 0xFF5E) {
      size = 3;
      return static_cast<char>(codePoint - 0xFF01 + 0x21);
    }
  }
  return 0;
}

std::int32_t parse(std::string_view text, bool fullWidth) {
  std::size_t at = 0, size = 0;
  char c = 0;
  auto peek = [&] { return at < text.size() ? foldedChar(text, at, size, fullWidth) : '\0'; };

  while ((c = peek()) == ' ' || c == '\t') at += size;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    at += size;
  }
  std::int64_t value = 0;
  while ((c = peek()) >= '0' && c <= '9') {
    value = value * 10 + (c - '0');
    if (value > kMax + 1) value = kMax + 1;  // saturate; beyond either limit the result is clamped anyway
    at += size;
  }
  // Whatever follows (a fraction, other text) cannot change a value truncated toward zero.
  if (negative) value = -value;
  if (value > kMax) return static_cast<std::int32_t>(kMax);
  if (value < kMin) return static_cast<std::int32_t>(kMin);
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t parseTypedNumber(std::string_view text) { return parse(text, true); }

std::int32_t parseLeadingInteger(std::string_view text) { return parse(text, false); }

}  // namespace plenvo
