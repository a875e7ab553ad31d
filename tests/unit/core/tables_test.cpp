// Splitting table texts and reading the version and size tables by position.
#include "core/tables.h"

#include <gtest/gtest.h>

#include "core/text_codec.h"

namespace plenvo {
namespace {

using Pieces = std::vector<std::string>;

TEST(TablesTest, SplitText) {
  struct Case {
    std::string text;
    char delimiter;
    Pieces expected;
  };
  const Case cases[] = {
      {"", '/', {}},
      {"abc", '/', {"abc"}},
      {"a/b/", '/', {"a", "b"}},
      {"a/b", '/', {"a", "b"}},
      {"a//b/", '/', {"a", "", "b"}},
      {"/a", '/', {"", "a"}},
      {"/", '/', {""}},
      {"//", '/', {"", ""}},
      {"A0-横向-1189*841", '-', {"A0", "横向", "1189*841"}},
      {"名@址#图", '@', {"名", "址#图"}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitText(c.text, c.delimiter), c.expected) << c.text;
}

// GBK characters whose second byte is a delimiter ('@' 0x40, '\\' 0x5C, '|' 0x7C) never split, once the
// text has been decoded as it is everywhere in the program.
TEST(TablesTest, GbkTrailBytesAreNeverDelimiters) {
  const std::string gbk = "\x81\x40" "@" "\x81\x5C" "@" "\x88\x40\x89\x5C";  // 丂@乗@園塡
  const Pieces pieces = splitText(gbkToUtf8(gbk), '@');
  EXPECT_EQ(pieces, (Pieces{"丂", "乗", "園塡"}));
  EXPECT_EQ(splitText(gbkToUtf8("\x81\x40\x81\x40"), '@').size(), 1u);
}

TEST(TablesTest, DefaultTables) {
  const auto versions = readVersionTable(kDefaultVersionTable);
  ASSERT_EQ(versions.size(), static_cast<std::size_t>(kDefaultVersionCount));
  EXPECT_EQ(versions[0].internalNumber, "15");
  EXPECT_EQ(versions[0].releaseYear, "2000");
  EXPECT_EQ(versions[22].internalNumber, "24.3");
  EXPECT_EQ(versions[22].releaseYear, "2024");
  EXPECT_EQ(versions[24].internalNumber, "25.1");
  EXPECT_EQ(versions[24].releaseYear, "2026");
  for (const auto& entry : versions) EXPECT_TRUE(entry.complete);

  const auto sizes = readSizeTable(kDefaultSizeTable);
  ASSERT_EQ(sizes.size(), static_cast<std::size_t>(kDefaultSizeCount));
  EXPECT_EQ(sizes[0].formatName, "A0");
  EXPECT_EQ(sizes[0].orientation, "横向");
  EXPECT_EQ(sizes[0].dimensions, "1189*841");
  EXPECT_EQ(sizes[0].length, "1189");
  EXPECT_EQ(sizes[0].width, "841");
  EXPECT_EQ(sizes[7].itemText(), "A3竖向297*420mm");
  EXPECT_EQ(sizes[10].orientation, "定向排");
  EXPECT_EQ(sizes[10].length, "105");
  EXPECT_EQ(sizes[10].width, "95");
  for (const auto& entry : sizes) EXPECT_TRUE(entry.complete);

  // A second "/" after the first entry gives an empty second entry; positions are kept.
  const std::size_t firstEnd = kDefaultSizeTable.find('/') + 1;
  const std::string doubled = std::string(kDefaultSizeTable.substr(0, firstEnd)) + "/" +
                              std::string(kDefaultSizeTable.substr(firstEnd));
  const auto withEmpty = readSizeTable(doubled);
  ASSERT_EQ(withEmpty.size(), 12u);
  EXPECT_FALSE(withEmpty[1].complete);
  EXPECT_EQ(withEmpty[2].dimensions, "841*1189");
  EXPECT_TRUE(readSizeTable("").empty());
}

TEST(TablesTest, IncompleteEntriesKeepTheirPositions) {
  const auto versions = readVersionTable("15/-2000/16-/17-2007-x/");
  ASSERT_EQ(versions.size(), 4u);
  EXPECT_FALSE(versions[0].complete);
  EXPECT_FALSE(versions[1].complete);
  EXPECT_FALSE(versions[2].complete);
  EXPECT_TRUE(versions[3].complete);  // a further field is ignored
  EXPECT_EQ(versions[3].releaseYear, "2007");

  struct Case {
    const char* entry;
    bool complete;
    const char* length;
    const char* width;
  };
  const Case cases[] = {
      {"A0-横向-1189*841", true, "1189", "841"},
      {"A0-横向-1189*841-extra", true, "1189", "841"},
      {"A0-横向-1189*841*5", true, "1189", "841"},
      {"A0-横向-1189", false, "1189", ""},
      {"A0-横向-1189*", false, "1189", ""},
      {"A0-横向-*841", false, "", "841"},
      {"A0-横向", false, "", ""},
      {"-横向-1*2", false, "1", "2"},
  };
  for (const Case& c : cases) {
    const auto entries = readSizeTable(c.entry);
    ASSERT_EQ(entries.size(), 1u) << c.entry;
    EXPECT_EQ(entries[0].complete, c.complete) << c.entry;
    EXPECT_EQ(entries[0].length, c.length) << c.entry;
    EXPECT_EQ(entries[0].width, c.width) << c.entry;
  }
}

}  // namespace
}  // namespace plenvo
