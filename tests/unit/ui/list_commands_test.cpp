// The drawing list's commands against a list that keeps row states the way the list view does.
#include "ui/main/list_commands.h"

#include <gtest/gtest.h>

#include "main_fakes.h"

namespace plenvo {
namespace {

using testing::FakeDrawingList;

const std::vector<std::string> kABC = {"1|A|sA|tA", "2|B|sB|tB", "3|C|sC|tC"};
const std::vector<std::string> kABCD = {"1|A|sA|tA", "2|B|sB|tB", "3|C|sC|tC", "4|D|sD|tD"};

enum class Command { Up, Down, Top, Bottom };

void run(Command c, FakeDrawingList& list, std::vector<Message>& shown) {
  auto notice = [&](const Message& m) { shown.push_back(m); };
  switch (c) {
    case Command::Up: return moveUp(list, notice);
    case Command::Down: return moveDown(list, notice);
    case Command::Top: return moveToTop(list, notice);
    case Command::Bottom: return moveToBottom(list, notice);
  }
}

struct MoveCase {
  const char* name;
  Command command;
  std::vector<std::string> before;
  int selected;
  std::vector<std::string> after;
  int selectedAfter;
};

class MoveTest : public ::testing::TestWithParam<MoveCase> {};

TEST_P(MoveTest, CarriesNumberAndPathOnly) {
  const MoveCase& c = GetParam();
  FakeDrawingList list;
  list.fill(c.before);
  list.selectRow(c.selected);
  std::vector<Message> shown;
  run(c.command, list, shown);
  EXPECT_EQ(list.texts(), c.after);
  EXPECT_EQ(list.selectedRows(), std::vector<int>{c.selectedAfter});
  EXPECT_EQ(list.focusedRow, c.selectedAfter);
  EXPECT_EQ(list.listFocusCount, 1);
  EXPECT_TRUE(shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, MoveTest,
    ::testing::Values(
        // The exchanged rows keep their size and time cells in place.
        MoveCase{"UpB", Command::Up, kABC, 1, {"2|B|sA|tA", "1|A|sB|tB", "3|C|sC|tC"}, 0},
        MoveCase{"DownB", Command::Down, kABC, 1, {"1|A|sA|tA", "3|C|sB|tB", "2|B|sC|tC"}, 2},
        MoveCase{"UpLast", Command::Up, kABCD, 3, {"1|A|sA|tA", "2|B|sB|tB", "4|D|sC|tC", "3|C|sD|tD"}, 2},
        // To the bottom: the moved row is rebuilt with empty size and time; the others keep their cells.
        MoveCase{"BottomB", Command::Bottom, kABC, 1, {"1|A|sA|tA", "3|C|sC|tC", "2|B||"}, 2},
        MoveCase{"BottomFirst", Command::Bottom, kABCD, 0, {"2|B|sB|tB", "3|C|sC|tC", "4|D|sD|tD", "1|A||"}, 3},
        // To the top: the moved row has no size and time, and the row it passed shows its size and time
        // while the passed row's own are gone.
        MoveCase{"TopC", Command::Top, kABCD, 2, {"3|C||", "1|A|sA|tA", "2|B|sC|tC", "4|D|sD|tD"}, 0},
        MoveCase{"TopB", Command::Top, kABC, 1, {"2|B||", "1|A|sB|tB", "3|C|sC|tC"}, 0},
        MoveCase{"TopLast", Command::Top, kABCD, 3, {"4|D||", "1|A|sA|tA", "2|B|sB|tB", "3|C|sD|tD"}, 0}),
    [](const ::testing::TestParamInfo<MoveCase>& info) { return std::string(info.param.name); });

struct EndCase {
  const char* name;
  Command command;
  int rows;
  int selected;
  const char* text;
};

class EndOfListTest : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndOfListTest, RefusesWithItsMessageAndMovesNothing) {
  const EndCase& c = GetParam();
  FakeDrawingList list;
  list.fill(std::vector<std::string>(kABC.begin(), kABC.begin() + c.rows));
  const std::vector<std::string> before = list.texts();
  list.selectRow(c.selected);
  std::vector<Message> shown;
  run(c.command, list, shown);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], (Message{c.text, "提示", MessageButtons::Ok, MessageIcon::Information}));
  EXPECT_EQ(list.texts(), before);
  EXPECT_EQ(list.selectedRows(), std::vector<int>{c.selected});
  EXPECT_EQ(list.listFocusCount, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EndOfListTest,
    ::testing::Values(EndCase{"OneRowUp", Command::Up, 1, 0, "到顶啦！"},
                      EndCase{"OneRowDown", Command::Down, 1, 0, "到底啦！"},
                      EndCase{"OneRowTop", Command::Top, 1, 0, "已经到顶啦！！"},
                      EndCase{"OneRowBottom", Command::Bottom, 1, 0, "已经到底啦！！"},
                      EndCase{"FirstUp", Command::Up, 3, 0, "到顶啦！"},
                      EndCase{"LastDown", Command::Down, 3, 2, "到底啦！"},
                      EndCase{"FirstTop", Command::Top, 3, 0, "已经到顶啦！！"},
                      EndCase{"LastBottom", Command::Bottom, 3, 2, "已经到底啦！！"}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

TEST(ListCommands, WithoutSelectionNothingHappens) {
  for (Command c : {Command::Up, Command::Down, Command::Top, Command::Bottom}) {
    FakeDrawingList list;
    list.fill(kABC);
    std::vector<Message> shown;
    run(c, list, shown);
    deleteSelected(list);
    EXPECT_EQ(list.texts(), kABC);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(list.listFocusCount, 0);
    EXPECT_TRUE(list.selectedRows().empty());
  }
}

TEST(ListCommands, DeleteRemovesOnlyTheSelectedRowAndKeepsNumbers) {
  for (int selected : {0, 1, 2}) {
    FakeDrawingList list;
    list.fill(kABC);
    list.selectRow(selected);
    deleteSelected(list);
    std::vector<std::string> expected = kABC;
    expected.erase(expected.begin() + selected);
    EXPECT_EQ(list.texts(), expected) << "selected " << selected;
    EXPECT_TRUE(list.selectedRows().empty());
    EXPECT_EQ(list.listFocusCount, 0);
  }
}

TEST(ListCommands, ClearEmptiesAnyList) {
  FakeDrawingList list;
  clearList(list);
  EXPECT_EQ(list.rowCount(), 0);
  list.fill(kABC);
  list.selectRow(1);
  clearList(list);
  EXPECT_EQ(list.rowCount(), 0);
  EXPECT_EQ(list.currentRow(), -1);
}

}  // namespace
}  // namespace plenvo
