// connectToCad: which running application it keeps, what the title says, which ProgIDs it asks for.
#include "cad/cad_connection.h"

#include <gtest/gtest.h>

#include "core/tables.h"
#include "support/recording_cad.h"

namespace plenvo {
namespace {

using testing::RecordingCad;
using testing::RecordingLookup;

const std::string kNotConnected = "Plenvo_v3.3  [未连接到CAD，请打开CAD软件]";

struct Running {
  const char* progId;
  const char* label;  // names the application in the case
};

struct ConnectCase {
  const char* name;
  std::string table;
  std::vector<Running> running;
  std::string title;
  const char* keptLabel;  // the application whose handle the session holds afterwards, or nullptr
};

void PrintTo(const ConnectCase& c, std::ostream* os) { *os << c.name; }

class ConnectToCad : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(ConnectToCad, KeepsTheLastApplicationThatAnswersAndNamesIt) {
  const ConnectCase& c = GetParam();
  std::map<std::string, RecordingCad> apps;
  RecordingLookup lookup;
  for (const Running& r : c.running) lookup.run(r.progId, apps[r.label]);
  CadSession session;

  ConnectionResult result = connectToCad(c.table, lookup, session);

  EXPECT_EQ(result.title, c.title);
  EXPECT_EQ(result.connected, c.keptLabel != nullptr);
  if (c.keptLabel) {
    EXPECT_TRUE(apps[c.keptLabel].owns(session.application.get()));
  } else {
    EXPECT_EQ(session.application, nullptr);
  }
}

const std::string kDefault(kDefaultVersionTable);

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectToCad,
    ::testing::Values(
        ConnectCase{"OnlyAutoCad2022", kDefault, {{"Autocad.Application.24.1", "acad2022"}},
                    "Plenvo_v3.3  [当前CAD: 2022版本]", "acad2022"},
        ConnectCase{"AutoCadAndZwCad", kDefault,
                    {{"Autocad.Application.24.1", "acad"}, {"ZWCAD.Application", "zw"}},
                    "Plenvo_v3.3  [当前CAD: 国产中望CAD]", "zw"},
        ConnectCase{"AutoCadZwCadAndGstarCad", kDefault,
                    {{"Autocad.Application.24.1", "acad"}, {"ZWCAD.Application", "zw"},
                     {"GstarCAD.Application", "gstar"}},
                    "Plenvo_v3.3  [当前CAD: 国产浩辰CAD]", "gstar"},
        ConnectCase{"LastAutoCadEntryThatAnswersWins", kDefault,
                    {{"Autocad.Application.25", "acad2025"}, {"Autocad.Application.16", "acad2004"}},
                    "Plenvo_v3.3  [当前CAD: 2025版本]", "acad2025"},
        ConnectCase{"TableOrderNotReleaseOrderDecides", "25-2025/16-2004/",
                    {{"Autocad.Application.25", "acad2025"}, {"Autocad.Application.16", "acad2004"}},
                    "Plenvo_v3.3  [当前CAD: 2004版本]", "acad2004"},
        ConnectCase{"ReleaseMissingFromTableIsNotFound", "24.1-2022/", {{"Autocad.Application.25", "acad2025"}},
                    kNotConnected, nullptr},
        ConnectCase{"NothingRunning", kDefault, {}, kNotConnected, nullptr},
        ConnectCase{"EmptyTableStillFindsGstarCad", "", {{"GstarCAD.Application", "gstar"}},
                    "Plenvo_v3.3  [当前CAD: 国产浩辰CAD]", "gstar"}),
    [](const ::testing::TestParamInfo<ConnectCase>& info) { return std::string(info.param.name); });

TEST(ConnectToCadLookups, EveryEntryIsTriedInTableOrderThenZwCadThenGstarCad) {
  RecordingCad acad;
  RecordingLookup lookup;
  lookup.run("Autocad.Application.24.1", acad);  // a success does not end the loop
  CadSession session;
  (void)connectToCad("24.1-2022/24.3-2024/", lookup, session);
  EXPECT_EQ(lookup.asked, (std::vector<std::string>{"Autocad.Application.24.1", "Autocad.Application.24.3",
                                                    "ZWCAD.Application", "GstarCAD.Application"}));
}

TEST(ConnectToCadLookups, EmptyTableAsksOnlyForZwCadAndGstarCad) {
  RecordingLookup lookup;
  CadSession session;
  (void)connectToCad("", lookup, session);
  EXPECT_EQ(lookup.asked, (std::vector<std::string>{"ZWCAD.Application", "GstarCAD.Application"}));
}

TEST(ConnectToCadLookups, EntriesWithoutBothFieldsAreSkipped) {
  RecordingCad acad;
  RecordingLookup lookup;
  // Were "-2023" tried, "Autocad.Application." would be asked for; were "25-" tried, it would be named
  // "版本" alone.
  lookup.run("Autocad.Application.25", acad);
  CadSession session;
  ConnectionResult result = connectToCad("24.1-2022//nodash/-2023/25-/", lookup, session);
  EXPECT_EQ(lookup.asked, (std::vector<std::string>{"Autocad.Application.24.1", "ZWCAD.Application",
                                                    "GstarCAD.Application"}));
  EXPECT_FALSE(result.connected);
  EXPECT_EQ(result.title, kNotConnected);
}

TEST(ConnectToCadLookups, ApplicationClosedAfterASuccessReadsNotConnected) {
  RecordingCad zw;
  RecordingLookup lookup;
  lookup.run("ZWCAD.Application", zw);
  CadSession session;
  ASSERT_TRUE(connectToCad(kDefault, lookup, session).connected);

  lookup.stop("ZWCAD.Application");
  ConnectionResult again = connectToCad(kDefault, lookup, session);

  EXPECT_FALSE(again.connected);
  EXPECT_EQ(again.title, kNotConnected);
}

}  // namespace
}  // namespace plenvo
