// The built-in empty drawing (DXF text) that new documents start from.
#pragma once

#include <string_view>

namespace plenvo::dxf {

std::string_view emptyDrawingText();

}  // namespace plenvo::dxf
