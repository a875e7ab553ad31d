// The size and time texts of the drawing list. Sizes are 64-bit: a file of 2 GiB or more shows its true
// size rather than a wrapped 32-bit value.
#include "core/file_format.h"

#include <cmath>
#include <cstdio>

namespace plenvo {

std::string formatFileSize(std::int64_t bytes) {
  const double kilobytes = static_cast<double>(bytes) / 1024.0;
  // Two decimals, halves away from zero; the tiny bias keeps values like 0.005 from falling just short.
  const double scaled = std::fabs(kilobytes) * 100.0 + 1e-12;
  double rounded = std::floor(scaled);
  if (scaled - rounded >= 0.5) rounded += 1.0;
  double value = rounded / 100.0;
  if (kilobytes < 0 && rounded != 0) value = -value;
  char text[64];
  std::snprintf(text, sizeof text, "%.13g", value);
  return std::string(text) + "KB";
}

std::string formatFileTime(const LocalTime& time) {
  char text[96];
  std::snprintf(text, sizeof text, "%d/%d/%d %d:%d", time.year, time.month, time.day, time.hour, time.minute);
  return text;
}

}  // namespace plenvo
