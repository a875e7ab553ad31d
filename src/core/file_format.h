// The size and time texts shown in the drawing list.
#pragma once

#include <cstdint>
#include <string>

namespace plenvo {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

std::string formatFileSize(std::int64_t bytes);    // "120.56KB"
std::string formatFileTime(const LocalTime& time);  // "2024/3/5 9:7"

}  // namespace plenvo
