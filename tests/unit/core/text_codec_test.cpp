// GBK and other code pages at the program's borders, and UTF-8 <-> UTF-16/32.
#include "core/text_codec.h"

#include <gtest/gtest.h>

namespace plenvo {
namespace {

TEST(TextCodecTest, GbkRoundTrips) {
  struct Case {
    const char* utf8;
    const char* gbk;
  };
  const Case cases[] = {
      {"", ""},
      {"abc=1\r\n", "abc=1\r\n"},
      {"配置", "\xC5\xE4\xD6\xC3"},
      {"D:\\图纸\\乗表\\", "D:\\\xCD\xBC\xD6\xBD\\\x81\x5C\xB1\xED\\"},  // 乗 ends in 0x5C
      {"丂@乚", "\x81\x40@\x81\x5D"},
      {"€", "\x80"},
      {"定向排", "\xB6\xA8\xCF\xF2\xC5\xC5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk) << c.utf8;
    EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8) << c.utf8;
  }
}

TEST(TextCodecTest, BadInputIsReplacedAndTheRestKept) {
  struct Case {
    std::string gbk;
    std::string utf8;
  };
  const Case cases[] = {
      {"\xFF" "abc", "\xEF\xBF\xBD" "abc"},
      {"ab\xC5", "ab\xEF\xBF\xBD"},                                 // cut after a lead byte
      {"\xC5 x\xC5\xE4", "\xEF\xBF\xBD x配"},                        // a lead byte before a blank
      {"\xC5\xE4\xFF\xC5\xE4", "配\xEF\xBF\xBD配"},
  };
  for (const Case& c : cases) EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);

  EXPECT_EQ(utf8ToGbk("a한b"), "a?b");                // not in GBK
  EXPECT_EQ(utf8ToGbk("a\xF0\x9F\x98\x80" "b"), "a?b");  // outside the BMP
  EXPECT_EQ(utf8ToGbk("a\xFF" "配"), "a?\xC5\xE4");      // invalid UTF-8
  EXPECT_EQ(utf8ToGbk("\xE9\x85"), "??");                 // truncated UTF-8
}

TEST(TextCodecTest, OtherCodePages) {
  EXPECT_EQ(codePageToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2", 1251), "Привет");
  EXPECT_EQ(utf8ToCodePage("Привет", 1251), "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_EQ(codePageToUtf8("caf\xE9 \x80", 1252), "café €");
  EXPECT_EQ(utf8ToCodePage("café", 1252), "caf\xE9");
  EXPECT_EQ(utf8ToCodePage("配", 1252), "?");
  EXPECT_EQ(codePageToUtf8("\x82\xA0", 932), "あ");
  EXPECT_EQ(codePageToUtf8("\xB0\xA1", 949), "가");
  EXPECT_EQ(codePageToUtf8("\xA4\xA4", 950), "中");
  EXPECT_EQ(codePageToUtf8("ok \xE9\x85\x8D", 65001), "ok 配");
  EXPECT_EQ(codePageToUtf8("ok \xE9\x85", 65001), "ok \xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(utf8ToCodePage("配", 65001), "配");
}

TEST(TextCodecTest, WideText) {
  const std::string text = "D:\\图纸\\a😀b";
  const std::wstring wide = utf8ToWide(text);
  EXPECT_EQ(wideToUtf8(wide), text);
  EXPECT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 10u : 9u);
  EXPECT_EQ(wide[3], L'图');
  EXPECT_EQ(utf8ToWide("a\xFF" "b"), L"a\xFFFD" L"b");
  EXPECT_EQ(utf8ToWide("\xC0\xAF"), L"\xFFFD\xFFFD");  // overlong '/'
  std::wstring lone = L"x";
  lone += static_cast<wchar_t>(0xD800);
  lone += L"y";
  EXPECT_EQ(wideToUtf8(lone), "x\xEF\xBF\xBDy");
}

}  // namespace
}  // namespace plenvo
