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

}  // namespace plenvo::dxf
