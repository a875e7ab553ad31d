// The bottom layer of the DXF model: a tag is a group code and its value text, a view into bytes that the
// document owns (the loaded file, or text the engine made). Entities are runs of tags starting at a 0 tag.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace plenvo::dxf {

struct Tag {
  std::int32_t code = 0;
  std::string_view value;  // raw value text, line end and surrounding blanks removed
};

// An entity or table record: its tags, from its (0, type) tag up to the next 0 tag.
using EntityTags = std::span<const Tag>;

// Reads a real value; tolerates a decimal comma ("1,5") and leading blanks. Nothing readable gives nullopt.
std::optional<double> parseReal(std::string_view text);
// Reads an integer value; nothing readable gives nullopt.
std::optional<std::int64_t> parseInteger(std::string_view text);

// Group codes whose values are reals (coordinates, distances, angles, scales).
inline bool isRealCode(int code) {
  return (code >= 10 && code <= 59) || (code >= 110 && code <= 149) || (code >= 210 && code <= 239) ||
         (code >= 460 && code <= 469) || (code >= 1010 && code <= 1059);
}
// Group codes whose values are integers, with the widest value each may hold: 16-bit (60-79, 170-179,
// 270-289, 370-389, 400-409, 1060-1070) or 32-bit (90-99, 420-429, 440-449, 1071). 0 for other codes.
inline int integerBits(int code) {
  if ((code >= 60 && code <= 79) || (code >= 170 && code <= 179) || (code >= 270 && code <= 289) ||
      (code >= 370 && code <= 389) || (code >= 400 && code <= 409) || (code >= 1060 && code <= 1070))
    return 16;
  if ((code >= 90 && code <= 99) || (code >= 420 && code <= 429) || (code >= 440 && code <= 449) || code == 1071)
    return 32;
  return 0;
}
// True when the text of a real-valued tag reads as a finite double (what parseReal accepts); a quick scan
// for the usual "-12.5" and "1.5E-3", a full parse only for long or exponent forms. Every real a drawing
// holds is checked on reading, so inf, nan and overflowing values like 1e400 never reach the output.
bool isFiniteRealText(std::string_view text);
// True when the text of an integer-valued tag reads as an integer that fits `bits` (16 or 32), signed or
// unsigned (some writers put flags as unsigned numbers).
bool isIntegerTextInRange(std::string_view text, int bits);

}  // namespace plenvo::dxf
