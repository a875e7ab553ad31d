// The bottom layer of the DXF model: a tag is a group code and its value text, a view into bytes that the
// document owns (the loaded file, or text the engine made). Entities are runs of tags starting at a 0 tag.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

namespace plenvo::dxf {

// A tag's value text: a view like std::string_view, in 12 bytes (a 32-bit length), so that a Tag takes 16
// bytes instead of 24. A drawing holds millions of tags, kept until it is saved.
#pragma pack(push, 4)
class TagText {
 public:
  constexpr TagText() = default;
  constexpr TagText(std::string_view text) : data_(text.data()), size_(static_cast<std::uint32_t>(text.size())) {}
  constexpr TagText(const char* text) : TagText(std::string_view(text)) {}
  // Text that views as a string_view (std::string): the view, like std::string_view's own conversion.
  template <class T>
    requires(std::is_convertible_v<const T&, std::string_view> && !std::is_convertible_v<const T&, const char*> &&
             !std::is_same_v<T, TagText> && !std::is_same_v<T, std::string_view>)
  constexpr TagText(const T& text) : TagText(std::string_view(text)) {}
  constexpr operator std::string_view() const { return std::string_view(data_, size_); }
  constexpr std::string_view view() const { return std::string_view(data_, size_); }

  constexpr const char* data() const { return data_; }
  constexpr std::size_t size() const { return size_; }
  constexpr bool empty() const { return size_ == 0; }
  constexpr const char* begin() const { return data_; }
  constexpr const char* end() const { return data_ + size_; }
  constexpr char front() const { return data_[0]; }
  constexpr char back() const { return data_[size_ - 1]; }
  constexpr char operator[](std::size_t i) const { return data_[i]; }
  constexpr std::string_view substr(std::size_t pos, std::size_t count = std::string_view::npos) const {
    return view().substr(pos, count);
  }
  constexpr std::size_t find(std::string_view text, std::size_t pos = 0) const { return view().find(text, pos); }
  constexpr std::size_t find(char c, std::size_t pos = 0) const { return view().find(c, pos); }
  constexpr bool starts_with(std::string_view text) const { return view().starts_with(text); }

  friend constexpr bool operator==(TagText a, TagText b) { return a.view() == b.view(); }
  template <class T>
    requires(std::is_convertible_v<const T&, std::string_view> && !std::is_same_v<T, TagText>)
  friend constexpr bool operator==(TagText a, const T& b) { return a.view() == std::string_view(b); }

 private:
  const char* data_ = nullptr;
  std::uint32_t size_ = 0;
};
#pragma pack(pop)

struct Tag {
  constexpr Tag() = default;
  constexpr Tag(std::int32_t tagCode, TagText text) : value(text), code(tagCode) {}
  TagText value;  // raw value text, line end and surrounding blanks removed
  std::int32_t code = 0;
};
static_assert(sizeof(Tag) == 16);

// An entity or table record: its tags, from its (0, type) tag up to the next 0 tag.
using EntityTags = std::span<const Tag>;

// Reads a real value; tolerates a decimal comma ("1,5") and leading blanks. Nothing readable gives nullopt.
std::optional<double> parseReal(std::string_view text);
// Reads an integer value; nothing readable gives nullopt.
std::optional<std::int64_t> parseInteger(std::string_view text);

// Group codes whose values are reals (coordinates, distances, angles, scales).
constexpr bool isRealCode(int code) {
  return (code >= 10 && code <= 59) || (code >= 110 && code <= 149) || (code >= 210 && code <= 239) ||
         (code >= 460 && code <= 469) || (code >= 1010 && code <= 1059);
}
// Group codes whose values are integers, with the widest value each may hold: 16-bit (60-79, 170-179,
// 270-289, 370-389, 400-409, 1060-1070) or 32-bit (90-99, 420-429, 440-449, 1071). 0 for other codes.
constexpr int integerBits(int code) {
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
// The same check, telling also whether the value is written with a decimal comma ("1,5").
enum class RealText { Invalid, Point, Comma };
RealText checkRealText(std::string_view text);
// True when the text of an integer-valued tag reads as an integer that fits `bits` (16 or 32), signed or
// unsigned (some writers put flags as unsigned numbers).
bool isIntegerTextInRange(std::string_view text, int bits);

}  // namespace plenvo::dxf
