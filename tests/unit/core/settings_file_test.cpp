// The settings file: one key at a time, edited in place like the Windows profile API edits it, GBK on disk.
#include "core/settings_file.h"

#include <gtest/gtest.h>

#include "core/platform.h"
#include "core/text_codec.h"
#include "temp_dir.h"

namespace plenvo {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// A file as another program (or an editor) may have left it: two sections, comments, blanks around "=",
// LF and CRLF line ends, a blank line before the next section, and no line end at the very end.
const std::string kEdited = utf8ToGbk(
    "; settings\r\n"
    "[其它]\r\n"
    "帮助=other\r\n"
    "\r\n"
    "[配置]\r\n"
    "帮助 = 1\n"
    "; a comment inside\r\n"
    "Path\t=\t D:\\图纸\\  \r\n"
    "次数=7\r\n"
    "\r\n"
    "[尾]\r\n"
    "x=y");

TEST(SettingsFileTest, MissingFileSectionOrKeyReadsEmpty) {
  TempDir dir;
  SettingsFile missing(dir.file("nothing.ini"));
  EXPECT_FALSE(missing.exists());
  EXPECT_EQ(missing.read("帮助"), "");

  const std::string path = dir.file("a.ini");
  writeBytes(path, kEdited);
  SettingsFile file(path);
  EXPECT_TRUE(file.exists());
  EXPECT_EQ(file.read("缺少"), "");
  EXPECT_EQ(file.read("别处", "帮助"), "");
  EXPECT_EQ(file.read("; a comment inside"), "");
}

TEST(SettingsFileTest, ReadsValuesTheWayTheProfileApiDoes) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  writeBytes(path, kEdited);
  SettingsFile file(path);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"配置", "帮助", "1"},          // blanks around "=", LF line end
      {"配置", "path", "D:\\图纸\\"},  // key case, tabs and trailing blanks
      {"配置", "PATH", "D:\\图纸\\"},
      {"配置", "次数", "7"},
      {"其它", "帮助", "other"},  // the same key in another section
      {"尾", "X", "y"},           // last line without a line end
  };
  for (const Case& c : cases) EXPECT_EQ(file.read(c.section, c.key), c.expected) << c.section << "/" << c.key;
}

TEST(SettingsFileTest, FirstWriteCreatesFileAndSectionInGbkWithCrlf) {
  TempDir dir;
  SettingsFile file(dir.file("Plenvo配置.ini"));
  ASSERT_TRUE(file.write("帮助", "1"));
  ASSERT_TRUE(file.write("路径", "D:\\"));
  EXPECT_EQ(readBytes(file.path()), utf8ToGbk("[配置]\r\n帮助=1\r\n路径=D:\\\r\n"));
  EXPECT_EQ(file.read("路径"), "D:\\");
}

TEST(SettingsFileTest, WritesChangeOneLineAndKeepEveryOtherByte) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  writeBytes(path, kEdited);
  SettingsFile file(path);
  ASSERT_TRUE(file.write("次数", "8"));                  // in place
  ASSERT_TRUE(file.write("PATH", "E:\\乗\\"));           // in place, under the file's spelling of the key
  ASSERT_TRUE(file.write("炸开", "0"));                  // new: after the section's last key line
  ASSERT_TRUE(file.write("尾", "z", "1"));               // new, in a last line without a line end
  ASSERT_TRUE(file.write("新", "k", "v"));               // new section at the end
  EXPECT_EQ(readBytes(path), utf8ToGbk(
                                 "; settings\r\n"
                                 "[其它]\r\n"
                                 "帮助=other\r\n"
                                 "\r\n"
                                 "[配置]\r\n"
                                 "帮助 = 1\n"
                                 "; a comment inside\r\n"
                                 "Path=E:\\乗\\\r\n"
                                 "次数=8\r\n"
                                 "炸开=0\r\n"
                                 "\r\n"
                                 "[尾]\r\n"
                                 "x=y\r\n"
                                 "z=1\r\n"
                                 "[新]\r\n"
                                 "k=v\r\n"));
  EXPECT_EQ(file.read("path"), "E:\\乗\\");
  EXPECT_EQ(file.read("其它", "帮助"), "other");
}

TEST(SettingsFileTest, GbkTrailBytesDoNotEndSectionNamesOrKeys) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  // 乚 is 0x81 0x5D (its second byte is ']'), 亇 is 0x81 0x7D; 乗 is 0x81 0x5C.
  writeBytes(path, utf8ToGbk("[乚配置]\r\n乗=a\r\n[配置]\r\n乗=b\r\n"));
  SettingsFile file(path);
  EXPECT_EQ(file.read("乚配置", "乗"), "a");
  EXPECT_EQ(file.read("乗"), "b");
  EXPECT_EQ(file.read("乚", "乗"), "");
}

TEST(SettingsFileTest, QuotedValuesReadWithoutTheirQuotes) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  writeBytes(path, "[x]\r\na=\"q v\"\r\nb='s'\r\nc=\"open\r\nd=\"\r\n");
  SettingsFile file(path);
  EXPECT_EQ(file.read("x", "a"), "q v");
  EXPECT_EQ(file.read("x", "b"), "s");
  EXPECT_EQ(file.read("x", "c"), "\"open");
  EXPECT_EQ(file.read("x", "d"), "\"");
}

TEST(SettingsFileTest, LongValuesAreCutAtTheReadLimitOnACharacterBoundary) {
  TempDir dir;
  SettingsFile file(dir.file("a.ini"));
  const std::string ascii(kMaxValueBytes + 100, 'a');
  ASSERT_TRUE(file.write("k", ascii));
  EXPECT_EQ(file.read("k"), ascii.substr(0, kMaxValueBytes));
  // 10 238 ASCII bytes and then a two-byte character: the character would end past the limit.
  const std::string straddling = std::string(kMaxValueBytes - 1, 'b') + "配x";
  ASSERT_TRUE(file.write("k", straddling));
  EXPECT_EQ(file.read("k"), std::string(kMaxValueBytes - 1, 'b'));
  const std::string fits = std::string(kMaxValueBytes - 2, 'c') + "配x";
  ASSERT_TRUE(file.write("k", fits));
  EXPECT_EQ(file.read("k"), std::string(kMaxValueBytes - 2, 'c') + "配");
}

TEST(SettingsFileTest, RefusesKeysAndValuesThatWouldBreakTheFile) {
  TempDir dir;
  SettingsFile file(dir.file("a.ini"));
  ASSERT_TRUE(file.write("k", "v"));
  const std::string before = readBytes(file.path());
  EXPECT_FALSE(file.write("k", "two\r\nlines"));
  EXPECT_FALSE(file.write("a=b", "v"));
  EXPECT_FALSE(file.write("配=b", "v"));
  EXPECT_FALSE(file.write(" k", "v"));
  EXPECT_FALSE(file.write("", "v"));
  EXPECT_FALSE(file.write("[k]", "v"));
  EXPECT_FALSE(file.write("a]b", "k", "v"));
  EXPECT_EQ(readBytes(file.path()), before);
}

TEST(SettingsFileTest, ReadOnlyFileIsNotWrittenUntilMadeHiddenOnly) {
  TempDir dir;
  SettingsFile file(dir.file("a.ini"));
  ASSERT_TRUE(file.write("次数", "3"));
  ASSERT_TRUE(platform::setReadOnly(file.path(), true));
  EXPECT_FALSE(file.write("次数", "4"));
  EXPECT_EQ(file.read("次数"), "3");
  ASSERT_TRUE(file.setHiddenOnly());
  const auto attributes = platform::fileAttributes(file.path());
  ASSERT_TRUE(attributes);
  EXPECT_FALSE(attributes->readOnly);
  EXPECT_TRUE(file.write("次数", "4"));
  EXPECT_EQ(file.read("次数"), "4");
}

TEST(SettingsFileTest, AttributesSurviveTheReplaceAndNoTemporaryFileIsLeft) {
  TempDir dir;
  SettingsFile file(dir.file("Plenvo配置.ini"));
  ASSERT_TRUE(file.write("a", "1"));
  ASSERT_TRUE(file.setHiddenOnly());
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(file.write("a", std::to_string(i)));
  const auto attributes = platform::fileAttributes(file.path());
  ASSERT_TRUE(attributes);
#ifdef _WIN32
  EXPECT_TRUE(attributes->hidden);
#endif
  EXPECT_FALSE(attributes->readOnly);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"Plenvo配置.ini"});
}

TEST(SettingsFileTest, FileThatCannotBeCreated) {
  TempDir dir;
  SettingsFile file(dir.file("no such folder/a.ini"));
  EXPECT_FALSE(file.write("a", "1"));
  EXPECT_FALSE(file.exists());
  EXPECT_EQ(file.read("a"), "");
}

}  // namespace
}  // namespace plenvo
