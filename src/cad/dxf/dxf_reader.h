// Reading a DXF file into tags: the whole file is loaded into one buffer and split into (code, value) pairs
// that point into it. Only ASCII DXF is read; binary DXF, DWG and anything that is not DXF give an error.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cad/dxf/dxf_tags.h"

namespace plenvo::dxf {

// Splits ASCII DXF text into tags, up to and including (0, EOF). Tolerates CR LF and LF line ends, blank
// lines where a group code is expected, blanks around codes, a UTF-8 byte order mark, text after EOF, and a
// missing EOF after a complete section. `tags` is cleared first. On failure returns false with `error`
// (without the file name) and leaves `tags` in an unspecified state.
bool tokenize(std::string_view bytes, std::vector<Tag>& tags, std::string& error);

// Whole file into `data` (not zero-filled first: drawings run to tens of megabytes), `size` bytes. `data`
// holds `capacity` bytes and is reused when the file fits (with a byte to spare), else replaced by a larger
// buffer. On failure returns false and `error` says why (without the file name).
bool readWholeFile(const std::string& path, std::unique_ptr<char[]>& data, std::size_t& capacity, std::size_t& size,
                   std::string& error);

// The file name as shown in messages: the path's last component.
std::string displayName(const std::string& path);

}  // namespace plenvo::dxf
