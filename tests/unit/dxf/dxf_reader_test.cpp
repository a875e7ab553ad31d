// The tokenizer and the loader: the quirks of real files are read, bad input gives a clear error naming
// the file and never crashes.
#include "cad/dxf/dxf_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "cad/dxf/dxf_application.h"
#include "dxf_test_support.h"

namespace plenvo::dxf {
namespace {

using testing::dxfText;

struct QuirkCase {
  const char* name;
  std::string text;
  std::size_t tags;        // expected number of tags, EOF included
  int checkIndex;          // a tag to look at
  int code;
  const char* value;
};

class TokenizerQuirks : public ::testing::TestWithParam<QuirkCase> {};

TEST_P(TokenizerQuirks, ReadsTheTags) {
  const QuirkCase& c = GetParam();
  std::vector<Tag> tags;
  std::string error;
  ASSERT_TRUE(tokenize(c.text, tags, error)) << error;
  EXPECT_EQ(tags.size(), c.tags);
  ASSERT_LT(static_cast<std::size_t>(c.checkIndex), tags.size());
  EXPECT_EQ(tags[c.checkIndex].code, c.code);
  EXPECT_EQ(tags[c.checkIndex].value, c.value);
}

const std::string kSection = "0|SECTION|2|ENTITIES|0|LINE|8|0|10|1.5|0|ENDSEC|0|EOF";

INSTANTIATE_TEST_SUITE_P(
    Dxf, TokenizerQuirks,
    ::testing::Values(
        QuirkCase{"LineFeed", dxfText(kSection), 7, 3, 8, "0"},
        QuirkCase{"CarriageReturnLineFeed", dxfText(kSection, "\r\n"), 7, 4, 10, "1.5"},
        QuirkCase{"BlankLinesWhereACodeBelongs", "\n0\nSECTION\n\n\n2\nENTITIES\n0\nEOF\n", 3, 1, 2, "ENTITIES"},
        QuirkCase{"BlanksAroundCodesAndValues", "  0\nSECTION\n  2 \n ENTITIES \r\n  0\nEOF\n", 3, 1, 2, "ENTITIES"},
        QuirkCase{"TextKeepsLeadingBlanks", dxfText("0|SECTION|2|ENTITIES|0|TEXT|1|  two spaces|0|ENDSEC|0|EOF"), 6,
                  3, 1, "  two spaces"},
        QuirkCase{"ByteOrderMark", "\xEF\xBB\xBF" + dxfText("0|SECTION|2|ENTITIES|0|ENDSEC|0|EOF"), 4, 0, 0, "SECTION"},
        QuirkCase{"MissingEofAfterCompleteSection", dxfText("0|SECTION|2|ENTITIES|0|ENDSEC"), 4, 3, 0, "EOF"},
        QuirkCase{"TextAfterEofIgnored", dxfText("0|SECTION|2|ENTITIES|0|ENDSEC|0|EOF|garbage|here"), 4, 3, 0, "EOF"},
        QuirkCase{"NoFinalLineEnd", "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF", 4, 3, 0, "EOF"},
        QuirkCase{"NumbersInEveryAcceptedSpelling",
                  dxfText("0|SECTION|2|ENTITIES|0|LINE|10|+1.5E+3|20|.5|30|5.|11|1,5|21|-0|31|1.7976931348623157e308|"
                          "70|1.0|62| 7 |90|-2147483648|0|ENDSEC|0|EOF"),
                  14, 9, 70, "1.0"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
  const char* name;
  std::string bytes;
  const char* expect;  // a word the error must contain
};

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, GivesAClearErrorNamingTheFile) {
  const BadCase& c = GetParam();
  plenvo::testing::TempDir dir;
  const std::string path = dir.file(std::string(c.name) + ".dxf");
  plenvo::testing::writeBytes(path, c.bytes);
  auto app = DxfApplication::create();
  auto space = app->activeDocument()->modelSpace();
  EXPECT_EQ(space->insertBlock({0, 0, 0}, path, 1, 1, 1, 0), nullptr);
  const std::string why = app->lastError();
  EXPECT_EQ(why.rfind(path + ": ", 0), 0u) << why;
  EXPECT_NE(why.find(c.expect), std::string::npos) << why;
  EXPECT_FALSE(app->openDrawing(path));
  EXPECT_EQ(app->lastError().rfind(path + ": ", 0), 0u);
  // The engine is still usable afterwards.
  const std::string good = dir.file("good.dxf");
  plenvo::testing::writeBytes(good, testing::Drawing{}.text());
  EXPECT_NE(space->insertBlock({0, 0, 0}, good, 1, 1, 1, 0), nullptr) << app->lastError();
}

INSTANTIATE_TEST_SUITE_P(
    Dxf, BadInput,
    ::testing::Values(
        BadCase{"Empty", "", "empty"},
        BadCase{"OnlyLineEnds", "\r\n\r\n  \n", "empty"},
        BadCase{"CodeWithoutValue", "0\nSECTION\n2\nENTITIES\n0", "truncated"},
        BadCase{"EndsInsideASection", dxfText("0|SECTION|2|ENTITIES|0|LINE|8|0"), "truncated"},
        BadCase{"BinaryDxf", std::string("AutoCAD Binary DXF\r\n\x1a\0\0\0", 25), "binary DXF"},
        BadCase{"DwgMagic", std::string("AC1015\0\0\0\0\0\x01", 12), "DWG"},
        BadCase{"DwgMagicR2018", "AC1032xxxxxxxxxxxxxxxxxx", "DWG"},
        BadCase{"PlainText", "Hello, this is not a drawing.\nSecond line.\n", "group code expected"},
        BadCase{"NulBytes", std::string("0\nSECTION\n\0\0\0\0", 14), "not a DXF"},
        BadCase{"HugeGroupCode", "99999999999999999999\nX\n", "group code expected"},
        BadCase{"NoSections", dxfText("999|just a comment|0|EOF"), "SECTION"},
        // Numbers that do not read as finite values of their type: the file is refused, never copied.
        BadCase{"OverflowingCoordinate", dxfText("0|SECTION|2|ENTITIES|0|LINE|8|0|10|1e999|20|0|0|ENDSEC|0|EOF"),
                "line 10: invalid number \"1e999\" for group code 10"},
        BadCase{"InfinityInExtrusion", dxfText("0|SECTION|2|ENTITIES|0|CIRCLE|8|0|40|1|230|-inf|0|ENDSEC|0|EOF"),
                "line 12: invalid number \"-inf\" for group code 230"},
        BadCase{"NanInHeader", dxfText("0|SECTION|2|HEADER|9|$INSBASE|10|nan|0|ENDSEC|0|EOF"), "invalid number \"nan\""},
        BadCase{"WindowsNanText", dxfText("0|SECTION|2|ENTITIES|0|POINT|8|0|10|-1.#IND|0|ENDSEC|0|EOF"), "invalid number"},
        BadCase{"ExtendedDataReal", dxfText("0|SECTION|2|ENTITIES|0|POINT|8|0|10|0|1001|APP|1040|1e400|0|ENDSEC|0|EOF"),
                "for group code 1040"},
        BadCase{"EmptyReal", dxfText("0|SECTION|2|ENTITIES|0|CIRCLE|8|0|40||0|ENDSEC|0|EOF"), "invalid number"},
        BadCase{"CountBeyond32Bits",
                dxfText("0|SECTION|2|ENTITIES|0|LWPOLYLINE|8|0|90|99999999999|10|0|20|0|0|ENDSEC|0|EOF"),
                "line 10: invalid number \"99999999999\" for group code 90"},
        BadCase{"FlagBeyond16Bits", dxfText("0|SECTION|2|ENTITIES|0|POLYLINE|8|0|70|70000|0|SEQEND|0|ENDSEC|0|EOF"),
                "for group code 70"},
        BadCase{"TextWhereAColourBelongs", dxfText("0|SECTION|2|ENTITIES|0|LINE|8|0|62|red|0|ENDSEC|0|EOF"),
                "for group code 62"}),
    [](const auto& info) { return std::string(info.param.name); });

// A parsed file keeps only its value text, each distinct value once: every tag reads as the tokenizer
// gave it (text with its blanks, empty values, long text), and every view lies inside the file's bytes,
// which is how the document tells which file a name came from.
TEST(DxfReader, ParsedFileKeepsEachValueOnceInsideItsBytes) {
  const std::string longText(600, 'x');
  const std::string text = dxfText("0|SECTION|2|ENTITIES|0|LINE|8|Walls|10|1.5|20|0.0|0|LINE|8|Walls|10|1.5|20|0.0|"
                                   "0|TEXT|8|Walls|1|  two blanks  |7||0|MTEXT|8|Walls|1|" + longText +
                                   "|3|" + longText + "|0|ENDSEC|0|EOF", "\r\n");
  std::vector<Tag> expected;
  std::string error;
  ASSERT_TRUE(tokenize(text, expected, error)) << error;
  SourceFile src;
  setText(src, text);
  ASSERT_TRUE(parseSource(src, error)) << error;
  ASSERT_EQ(src.tags.size(), expected.size());
  const char* begin = src.bytes.data();
  const char* end = begin + src.bytes.size();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(src.tags[i].code, expected[i].code) << i;
    EXPECT_EQ(src.tags[i].value, expected[i].value) << i;
    EXPECT_TRUE(src.tags[i].value.data() >= begin && src.tags[i].value.data() < end) << i;
  }
  // The two lines share their layer and coordinate text.
  ASSERT_EQ(src.entities.size(), 4u);
  EXPECT_EQ(src.entities[0][1].value.data(), src.entities[1][1].value.data());
  EXPECT_EQ(src.entities[0][3].value.data(), src.entities[1][3].value.data());
  ASSERT_EQ(src.entities[2][3].value, "");
}

// The store finds repeats by a hash of the text and compares in pieces of eight and four bytes: values
// that differ in one byte only, at any place and of every length up to past its table's first size, stay
// apart; repeats share one copy; whether a real is written with a decimal comma and whether everything is
// ASCII is told for the file as a whole.
TEST(DxfReader, ValueStoreKeepsNearlyEqualValuesApart) {
  std::string body = "0|SECTION|2|ENTITIES|0|TEXT";
  std::vector<std::string> values;
  for (std::size_t length = 1; length <= 40; ++length) {
    const std::string base(length, 'a');
    for (std::size_t at = 0; at < length; ++at) {
      std::string v = base;
      v[at] = 'b';
      values.push_back(v);
    }
    values.push_back(base);
  }
  for (const std::string& v : values) body += "|1|" + v;
  for (const std::string& v : values) body += "|1|" + v;  // each once more
  const std::string text = dxfText(body + "|0|ENDSEC|0|EOF");
  std::string error;
  ASSERT_GT(values.size(), 512u);  // beyond the table's first size for a file this small
  for (const bool comma : {false, true}) {
    for (const bool ascii : {true, false}) {
      std::string variant = text;
      variant.insert(variant.find("0\nENDSEC"), std::string("10\n") + (comma ? "1,5" : "1.5") + "\n1\n" +
                                                (ascii ? "plain" : "\xD6\xD0") + "\n");
      if (comma == ascii)  // a file too large for the store's reused buffer
        variant.insert(variant.find("0\nENDSEC"), "1\n" + std::string(ValueStore::kSmallFile, 'z') + "\n");
      SourceFile src;
      setText(src, variant);
      ASSERT_TRUE(parseSource(src, error)) << error;
      EXPECT_EQ(src.decimalComma, comma);
      EXPECT_EQ(src.asciiText, ascii);
      const std::size_t n = values.size();
      ASSERT_GE(src.tags.size(), 2 * n + 3);
      for (std::size_t i = 0; i < n; ++i) {
        const Tag& first = src.tags[3 + i];
        const Tag& again = src.tags[3 + n + i];
        ASSERT_EQ(first.value, values[i]) << i;
        EXPECT_EQ(again.value.data(), first.value.data()) << values[i];
        if (i > 0) {
          EXPECT_NE(first.value.data(), src.tags[2 + i].value.data()) << values[i];
        }
      }
      EXPECT_EQ(src.tags.back().value, "EOF");
    }
  }
}

// Real values: the spellings a reader meets, which of them are numbers, and which use a decimal comma.
TEST(DxfReader, RealTextIsCheckedAndItsDecimalCommaNoted) {
  const struct {
    const char* text;
    RealText expected;
  } cases[] = {
      {"0", RealText::Point},          {"-12.5", RealText::Point},     {"+.5", RealText::Point},
      {"5.", RealText::Point},         {"1.5E-3", RealText::Point},    {"1.7976931348623157e308", RealText::Point},
      {"1,5", RealText::Comma},        {"-0,25", RealText::Comma},     {"1,5E+3", RealText::Comma},
      {"", RealText::Invalid},         {"-", RealText::Invalid},       {".", RealText::Invalid},
      {"1.5.2", RealText::Invalid},    {"1,5,2", RealText::Invalid},   {"1.5,2", RealText::Invalid},
      {"1e400", RealText::Invalid},    {"inf", RealText::Invalid},     {"nan", RealText::Invalid},
      {"12a", RealText::Invalid},      {"0x10", RealText::Invalid},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(checkRealText(c.text), c.expected) << "'" << c.text << "'";
    EXPECT_EQ(isFiniteRealText(c.text), c.expected != RealText::Invalid) << "'" << c.text << "'";
    EXPECT_EQ(parseReal(c.text).has_value(), c.expected != RealText::Invalid) << "'" << c.text << "'";
  }
  // Plain decimals are checked eight bytes at a time: texts of every length to 44 from digits, both
  // separators, signs and their near neighbours in the character table agree with the full parse.
  const std::string alphabet = "0123456789.,,..-+/:eE \xB0";
  std::uint64_t state = 12345;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::size_t>(state >> 33);
  };
  for (int round = 0; round < 60000; ++round) {
    const std::size_t length = 1 + next() % 44;
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      const std::size_t pick = next() % 100;  // mostly digits, as real values are
      text += pick < 80 ? static_cast<char>('0' + pick % 10) : alphabet[next() % alphabet.size()];
    }
    const auto parsed = parseReal(text);
    const RealText expected = !parsed ? RealText::Invalid
                              : text.find(',') != std::string::npos ? RealText::Comma
                                                                      : RealText::Point;
    ASSERT_EQ(checkRealText(text), expected) << "'" << text << "'";
  }
}

// Value lines are scanned for their line end several bytes at a time: every length around the step,
// line ends of both kinds, bytes above 0x7F and a last line without its line end read exactly, and the
// scan stays inside a buffer of the exact size (the sanitized build checks that).
TEST(DxfReader, ValueLinesOfEveryLengthReadExactly) {
  for (const char* eol : {"\n", "\r\n"}) {
    for (const bool finalLineEnd : {true, false}) {
      std::string text = std::string("0") + eol + "SECTION" + eol + "2" + eol + "ENTITIES" + eol;
      std::vector<std::string> values;
      for (std::size_t length = 0; length <= 26; ++length) {
        std::string value;
        for (std::size_t i = 0; i < length; ++i) value += i % 3 == 2 ? '\xC3' : static_cast<char>('a' + i % 26);
        values.push_back(value);
        text += std::string("1") + eol + value + eol;
      }
      text += std::string("0") + eol + "ENDSEC" + eol + "0" + eol + "EOF";
      if (finalLineEnd) text += eol;
      const auto exact = std::make_unique<char[]>(text.size());
      std::memcpy(exact.get(), text.data(), text.size());
      std::vector<Tag> tags;
      std::string error;
      ASSERT_TRUE(tokenize(std::string_view(exact.get(), text.size()), tags, error)) << error;
      ASSERT_EQ(tags.size(), values.size() + 4) << eol << finalLineEnd;
      for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(tags[i + 2].code, 1);
        EXPECT_EQ(tags[i + 2].value, values[i]) << "length " << i << (finalLineEnd ? "" : ", no final line end");
      }
      EXPECT_EQ(tags.back().value, "EOF");
    }
  }
}

TEST(DxfReader, MissingFileIsNamed) {
  auto app = DxfApplication::create();
  auto space = app->activeDocument()->modelSpace();
  EXPECT_EQ(space->insertBlock({0, 0, 0}, "/no/such/dir/part.dxf", 1, 1, 1, 0), nullptr);
  EXPECT_EQ(app->lastError(), "/no/such/dir/part.dxf: no such file");
}

TEST(DxfReader, DwgFileErrorSaysACadApplicationIsNeeded) {
  plenvo::testing::TempDir dir;
  const std::string path = dir.file("plan.dwg");
  plenvo::testing::writeBytes(path, std::string("AC1018\0\0\0\0\0\0", 12));
  auto app = DxfApplication::create();
  EXPECT_EQ(app->activeDocument()->modelSpace()->insertBlock({0, 0, 0}, path, 1, 1, 1, 0), nullptr);
  EXPECT_EQ(app->lastError(),
            path + ": DWG files cannot be read without a CAD application; save the drawing as DXF");
}

// Deeply nested or self-referencing blocks, and enormous numbers, load and measure without running away.
TEST(DxfReader, HostileContentIsBounded) {
  std::string blocks;
  for (int i = 0; i < 200; ++i)
    blocks += "0|BLOCK|8|0|2|B" + std::to_string(i) + "|70|0|10|0|20|0|30|0|3|B" + std::to_string(i) + "|0|INSERT|8|0|2|B" +
              std::to_string(i + 1 == 200 ? 0 : i + 1) + "|10|1e308|20|-1e308|30|0|41|1e308|0|ENDBLK|8|0|";
  blocks.pop_back();
  testing::Drawing d;
  d.blocks = blocks;
  d.entities = "0|INSERT|8|0|2|B0|10|0|20|0|30|0|0|LINE|8|0|10|1.7e308|20|0|30|0|11|5|21|5|31|0";
  plenvo::testing::TempDir dir;
  const std::string path = dir.file("loop.dxf");
  plenvo::testing::writeBytes(path, d.text());
  auto app = DxfApplication::create();
  auto ref = app->activeDocument()->modelSpace()->insertBlock({0, 0, 0}, path, 1, 1, 1, 0);
  ASSERT_NE(ref, nullptr) << app->lastError();
  (void)ref->boundingBox();
  EXPECT_TRUE(ref->explode());
  EXPECT_TRUE(app->saveAs(dir.file("out.dxf"))) << app->lastError();
}

}  // namespace
}  // namespace plenvo::dxf
