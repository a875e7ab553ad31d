// Numbers typed into the parameter boxes, and the run counter's leading integer.
#include "core/numbers.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace plenvo {
namespace {

constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
constexpr auto kMin = std::numeric_limits<std::int32_t>::min();

TEST(NumbersTest, TypedNumbers) {
  struct Case {
    std::string text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"50", 50},
      {"50.9", 50},
      {"-7.9", -7},
      {"-0.5", 0},
      {"+12", 12},
      {"abc", 0},
      {"", 0},
      {"  12x", 12},
      {"\t 7", 7},
      {"12 34", 12},
      {"1e3", 1},
      {"-", 0},
      {".5", 0},
      {"５０", 50},                    // full-width digits
      {"\xE3\x80\x80\xE3\x80\x80" "42", 42},  // ideographic spaces
      {"－１２．９", -12},              // full-width sign and point
      {"５0５", 505},
      {"５０ｍｍ", 50},
      {"2147483647", kMax},
      {"2147483648", kMax},
      {"99999999999", kMax},
      {"99999999999999999999999999999999", kMax},
      {"-2147483648", kMin},
      {"-99999999999", kMin},
      {"x50", 0},
      {"\xEF\xBC", 0},  // a truncated full-width character
  };
  for (const Case& c : cases) EXPECT_EQ(parseTypedNumber(c.text), c.expected) << "\"" << c.text << "\"";
}

TEST(NumbersTest, LeadingIntegerOfTheRunCounter) {
  struct Case {
    std::string text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"19", 19}, {"", 0}, {"abc", 0}, {"7abc", 7}, {"3.9", 3}, {"-4", -4},
      {"９", 0},  // the counter is written by the program, in ASCII
      {"4294967297", kMax},
  };
  for (const Case& c : cases) EXPECT_EQ(parseLeadingInteger(c.text), c.expected) << "\"" << c.text << "\"";
}

}  // namespace
}  // namespace plenvo
