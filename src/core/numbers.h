// Numbers typed by the user into the parameter boxes.
#pragma once

#include <cstdint>
#include <string_view>

namespace plenvo {

// Reads a decimal number from UTF-8 text: leading spaces skipped, full-width digits taken as digits,
// reading stops at the first character that cannot continue the number, no number gives 0. The value is
// truncated toward zero and clamped to the int32 range.
std::int32_t parseTypedNumber(std::string_view text);

// The leading decimal integer of a text (the run counter), 0 when it does not begin with one; clamped.
std::int32_t parseLeadingInteger(std::string_view text);

}  // namespace plenvo
