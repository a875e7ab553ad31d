// plenvo-merge's argument reading: settings taken as the window takes them, and the usage errors.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plenvo::cli {
namespace {

using Action = ParsedCommandLine::Action;

ParsedCommandLine parse(std::vector<std::string> args) { return parseCommandLine(args); }

TEST(CliOptions, DefaultsAreTheWindowDefaults) {
  const ParsedCommandLine p = parse({"a.dxf", "-o", "out.dxf"});
  ASSERT_EQ(p.action, Action::Merge) << p.error;
  const MergeSettings& s = p.command.settings;
  EXPECT_EQ(s.mode, LayoutMode::Horizontal);
  EXPECT_EQ(s.spacing, 50);
  EXPECT_EQ(s.perRowCount, 10);
  EXPECT_EQ(s.sheetLength, 420);
  EXPECT_EQ(s.sheetWidth, 297);
  EXPECT_EQ(s.directedColumns, 4);
  EXPECT_EQ(s.directedRows, 3);
  EXPECT_FALSE(s.drawFrames || s.explodeAfterInsert || s.useActualSize);
  EXPECT_EQ(p.command.inputs, std::vector<std::string>{"a.dxf"});
  EXPECT_EQ(p.command.output, "out.dxf");
}

TEST(CliOptions, NumbersReadLikeTheParameterBoxes) {
  struct Case {
    std::vector<std::string> args;
    std::int32_t spacing, length, width;
  };
  const Case cases[] = {
      {{"--spacing", "50.9"}, 50, 420, 297},
      {{"--spacing=-7.9"}, -7, 420, 297},
      {{"--spacing", "\xEF\xBC\x95\xEF\xBC\x90"}, 50, 420, 297},  // full-width 50
      {{"--sheet", "105x95"}, 50, 105, 95},
      {{"--sheet=300X200.5"}, 50, 300, 200},
      {{"--sheet", "1\xC3\x97" "2"}, 50, 1, 2},  // 1×2
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"a.dxf", "-o", "o.dxf"});
    const ParsedCommandLine p = parse(args);
    ASSERT_EQ(p.action, Action::Merge) << c.args[0] << ": " << p.error;
    EXPECT_EQ(p.command.settings.spacing, c.spacing) << c.args[0];
    EXPECT_EQ(p.command.settings.sheetLength, c.length) << c.args[0];
    EXPECT_EQ(p.command.settings.sheetWidth, c.width) << c.args[0];
  }
}

TEST(CliOptions, PagesTakeOneCellOfThePartFrameUnlessASheetIsGiven) {
  ParsedCommandLine p = parse({"--mode", "pages", "a.dxf", "-o", "o.dxf"});
  ASSERT_EQ(p.action, Action::Merge);
  EXPECT_EQ(p.command.settings.mode, LayoutMode::Directed);
  EXPECT_EQ(p.command.settings.sheetLength, 105);
  EXPECT_EQ(p.command.settings.sheetWidth, 95);
  p = parse({"--sheet", "200x100", "--mode", "pages", "--cells", "2x5", "a.dxf", "-o", "o.dxf"});
  EXPECT_EQ(p.command.settings.sheetLength, 200);
  EXPECT_EQ(p.command.settings.directedColumns, 2);
  EXPECT_EQ(p.command.settings.directedRows, 5);
}

TEST(CliOptions, DoubleDashEndsOptions) {
  const ParsedCommandLine p = parse({"-o", "o.dxf", "--frames", "--", "--mode", "-x.dxf"});
  ASSERT_EQ(p.action, Action::Merge) << p.error;
  EXPECT_TRUE(p.command.settings.drawFrames);
  EXPECT_EQ(p.command.inputs, (std::vector<std::string>{"--mode", "-x.dxf"}));
}

TEST(CliOptions, UsageErrors) {
  const std::vector<std::string> cases[] = {
      {"--nope", "a.dxf", "-o", "o.dxf"},
      {"a.dxf"},
      {"-o", "o.dxf"},
      {"a.dxf", "-o"},
      {"a.dxf", "-o", ""},
      {"--mode", "zigzag", "a.dxf", "-o", "o.dxf"},
      {"--spacing", "abc", "a.dxf", "-o", "o.dxf"},
      {"--spacing", "", "a.dxf", "-o", "o.dxf"},
      {"--sheet", "420", "a.dxf", "-o", "o.dxf"},
      {"--sheet", "x297", "a.dxf", "-o", "o.dxf"},
      {"--mode", "grid", "--per-row", "0", "a.dxf", "-o", "o.dxf"},
      {"--mode", "pages", "--cells", "4x0", "a.dxf", "-o", "o.dxf"},
      {"--mode", "pages", "--cells", "-1x3", "a.dxf", "-o", "o.dxf"},
      {"--quiet", "--verbose", "a.dxf", "-o", "o.dxf"},
      {"--explode=1", "a.dxf", "-o", "o.dxf"},
  };
  for (const auto& args : cases) {
    const ParsedCommandLine p = parse(args);
    EXPECT_EQ(p.action, Action::UsageError) << args[0];
    EXPECT_FALSE(p.error.empty()) << args[0];
  }
  // A count below 1 matters only to the mode that divides by it.
  EXPECT_EQ(parse({"--per-row", "0", "a.dxf", "-o", "o.dxf"}).action, Action::Merge);
  EXPECT_EQ(parse({"--mode", "grid", "--cells", "0x0", "a.dxf", "-o", "o.dxf"}).action, Action::Merge);
  EXPECT_EQ(parse({"a.dxf", "--help"}).action, Action::Help);
}

}  // namespace
}  // namespace plenvo::cli
