// The size and time texts of the drawing list.
#include "core/file_format.h"

#include <gtest/gtest.h>

namespace plenvo {
namespace {

TEST(FileFormatTest, SizeInKilobytesRoundedToTwoDecimals) {
  struct Case {
    std::int64_t bytes;
    const char* expected;
  };
  const Case cases[] = {
      {0, "0KB"},
      {5, "0KB"},
      {6, "0.01KB"},
      {1000, "0.98KB"},
      {1024, "1KB"},
      {1536, "1.5KB"},
      {123456, "120.56KB"},
      {2097152, "2048KB"},
      {512, "0.5KB"},
      {10, "0.01KB"},        // 0.009765625 rounds up
      {2147483647, "2097152KB"},  // 2097151.999 rounds up to the whole number
      {2147483648LL, "2097152KB"},  // 2 GiB: the true size, not a wrapped negative one
      {5368709120LL, "5242880KB"},  // 5 GiB
  };
  for (const Case& c : cases) EXPECT_EQ(formatFileSize(c.bytes), c.expected) << c.bytes;
}

TEST(FileFormatTest, TimeWithoutLeadingZerosOrSeconds) {
  EXPECT_EQ(formatFileTime({2024, 3, 5, 9, 7, 59}), "2024/3/5 9:7");
  EXPECT_EQ(formatFileTime({2023, 11, 12, 23, 45, 0}), "2023/11/12 23:45");
  EXPECT_EQ(formatFileTime({2000, 1, 1, 0, 0, 0}), "2000/1/1 0:0");
}

}  // namespace
}  // namespace plenvo
