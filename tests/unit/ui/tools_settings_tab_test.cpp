// The settings tab of the tools window: the grids' data rules, filling from the settings file, the row
// buttons and their messages, saving, the folder browser, the option check boxes and the closing hook.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <map>

#include "core/tables.h"
#include "tools_fakes.h"

namespace plenvo {
namespace {

using test::ShownMessage;

TEST(SaveTime, LeavesOutTrailingZeroParts) {
  struct Case {
    LocalTime time;
    std::string_view text;
  } cases[] = {
      {{2024, 3, 5, 9, 7, 30}, "2024年3月5日9时7分30秒"},
      {{2024, 3, 5, 0, 0, 1}, "2024年3月5日0时0分1秒"},
      {{2024, 3, 5, 9, 7, 0}, "2024年3月5日9时7分"},
      {{2024, 3, 5, 0, 7, 0}, "2024年3月5日0时7分"},
      {{2024, 12, 31, 23, 0, 0}, "2024年12月31日23时"},
      {{2024, 3, 5, 0, 0, 0}, "2024年3月5日"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatSaveTime(c.time), c.text);
  EXPECT_EQ(savedMessage({2026, 1, 2, 3, 4, 5}),
            "-----数据已保存  点击确定后，关闭设置-----\r\n              2026年1月2日3时4分5秒");
}

GridModel gridWithRows(int dataRows) {
  GridModel grid(3);
  for (int i = 1; i <= dataRows; ++i) {
    std::string name = "n";  // built by appending: GCC 12 warns falsely (-Wrestrict) on "n" + to_string(i)
    name += std::to_string(i);
    grid.appendRow({std::to_string(i), name, "y"});
  }
  return grid;
}

TEST(GridModel, DeletingKeepsTheCurrentRowNumberWithinTheRows) {
  struct Case {
    int rows;
    int current;
    std::optional<int> after;
  } cases[] = {
      {28, 26, 26},          // the row that moved up is current
      {28, 28, 27},          // the last row: the new last row
      {1, 1, std::nullopt},  // only the header is left
  };
  for (const Case& c : cases) {
    GridModel grid = gridWithRows(c.rows);
    grid.setCurrent(GridCell{c.current, 1});
    grid.deleteRow(c.current);
    EXPECT_EQ(grid.rowCount(), c.rows);
    std::optional<int> row;
    if (grid.current()) row = grid.current()->row;
    EXPECT_EQ(row, c.after) << c.rows << " " << c.current;
  }
  GridModel grid = gridWithRows(28);
  grid.setCurrent(GridCell{26, 2});
  grid.deleteRow(26);
  EXPECT_EQ(grid.text(26, 1), "n27");
  EXPECT_EQ(grid.text(26, 0), "27");  // sequence numbers are not renumbered
}

TEST(GridModel, OnlyDataCellsAreEditableAndCurrent) {
  GridModel grid = gridWithRows(2);
  EXPECT_FALSE(grid.editable(0, 1));
  EXPECT_FALSE(grid.editable(1, 0));
  EXPECT_TRUE(grid.editable(2, 2));
  EXPECT_FALSE(grid.editable(3, 1));
  grid.setCurrent(GridCell{0, 1});
  EXPECT_FALSE(grid.current());
  grid.setCurrent(GridCell{3, 1});
  EXPECT_FALSE(grid.current());
  grid.appendRow({"x", "a", "b", "dropped"});
  EXPECT_EQ(grid.text(3, 2), "b");
  EXPECT_EQ(grid.text(3, 3), "");
}

class FakeGrid : public GridControl {
 public:
  FakeGrid(int columns, std::string name, std::vector<std::string>& journal)
      : model_(columns), name_(std::move(name)), journal_(journal) {}
  GridModel& model() override { return model_; }
  void modelChanged() override {}
  void focus() override { journal_.push_back("focus " + name_ + " rows=" + std::to_string(model_.rowCount())); }
  void scrollToLastRow() override { journal_.push_back("scroll " + name_); }

 private:
  GridModel model_;
  std::string name_;
  std::vector<std::string>& journal_;
};

class FakeSettingsView : public SettingsTabView {
 public:
  std::vector<std::string> journal;
  FakeGrid versions{3, "versions", journal};
  FakeGrid sizes{4, "sizes", journal};
  std::string path = "*";
  std::map<ToolOption, bool> boxes{{ToolOption::ActualSize, false}, {ToolOption::FolderMode, false},
                                  {ToolOption::LockPath, false}};
  bool browseEnabled = true;
  std::vector<ShownMessage> messages;
  std::optional<std::string> folderAnswer;
  std::vector<std::string> browseTitles;
  LocalTime clock{2026, 12, 11, 15, 30, 0};
  std::function<void()> onDestroy;

  void message(std::string_view text, std::string_view caption) override {
    messages.push_back({std::string(text), std::string(caption)});
    journal.push_back("message");
  }
  GridControl& versionGrid() override { return versions; }
  GridControl& sizeGrid() override { return sizes; }
  std::string pathText() override { return path; }
  void setPathText(std::string_view text) override { path = text; }
  bool checked(ToolOption box) override { return boxes[box]; }
  void setChecked(ToolOption box, bool on) override { boxes[box] = on; }
  void setBrowseEnabled(bool enabled) override { browseEnabled = enabled; }
  std::optional<std::string> browseForFolder(std::string_view title) override {
    browseTitles.emplace_back(title);
    return folderAnswer;
  }
  LocalTime now() override { return clock; }
  void destroyWindow() override {
    journal.push_back("destroy");
    if (onDestroy) onDestroy();
  }
};

class FakeHost : public ToolsWindowHost {
 public:
  explicit FakeHost(std::string path) : path_(std::move(path)) {}
  std::string settingsFilePath() override { return path_; }
  void toolsWindowClosed() override { ++closings; }
  int closings = 0;

 private:
  std::string path_;
};

class SettingsTabTest : public ::testing::Test {
 protected:
  static std::filesystem::path freshDirectory() {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("plenvo-tools-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
  }
  ~SettingsTabTest() override { std::filesystem::remove_all(dir_); }

  SettingsFile file() { return SettingsFile(path_); }
  void writeDefaults() {
    SettingsFile f = file();
    ASSERT_TRUE(f.write(kKeyPath, "D:\\图纸"));
    ASSERT_TRUE(f.write(kKeyVersions, kDefaultVersionTable));
    ASSERT_TRUE(f.write(kKeySizes, kDefaultSizeTable));
    ASSERT_TRUE(f.write(kKeyActualSize, "0"));
    ASSERT_TRUE(f.write(kKeyFolderMode, "0"));
    ASSERT_TRUE(f.write(kKeyLockPath, "0"));
  }
  void open() {
    presenter_ = std::make_unique<SettingsTabPresenter>(view, host);
    view.onDestroy = [this] { presenter_->windowDestroyed(); };
    presenter_->fillSettingsTab();
  }
  SettingsTabPresenter& presenter() { return *presenter_; }
  GridModel& versions() { return view.versions.model(); }
  GridModel& sizes() { return view.sizes.model(); }

  std::filesystem::path dir_ = freshDirectory();
  std::string path_ = (dir_ / "Plenvo配置.ini").string();
  FakeSettingsView view;
  FakeHost host{path_};
  std::unique_ptr<SettingsTabPresenter> presenter_;
};

TEST_F(SettingsTabTest, FillsBothGridsFromTheFile) {
  writeDefaults();
  open();
  EXPECT_EQ(view.path, "D:\\图纸");
  ASSERT_EQ(versions().rowCount(), 26);
  ASSERT_EQ(sizes().rowCount(), 12);
  const std::vector<std::string> header{versions().text(0, 0), versions().text(0, 1), versions().text(0, 2)};
  EXPECT_EQ(header, (std::vector<std::string>{"序号", "CAD内部号", "CAD版本号"}));
  EXPECT_EQ(sizes().text(0, 3), "尺寸");
  EXPECT_EQ(versions().columnWidth(1), 80);
  EXPECT_EQ(sizes().columnWidth(3), 90);
  EXPECT_TRUE(versions().headerCentred());
  EXPECT_EQ(versions().text(25, 0), "25");
  EXPECT_EQ(versions().text(25, 1), "25.1");
  EXPECT_EQ(versions().text(25, 2), "2026");
  EXPECT_EQ(sizes().text(11, 1), "Z1");
  EXPECT_EQ(sizes().text(11, 2), "定向排");
  EXPECT_EQ(sizes().text(11, 3), "105*95");
  EXPECT_EQ(view.journal, (std::vector<std::string>{"focus versions rows=1", "focus sizes rows=1", "scroll sizes",
                                                    "scroll versions"}));
  EXPECT_EQ(presenter().chosenGrid(), ChosenGrid::None);
  EXPECT_TRUE(view.browseEnabled);
  EXPECT_EQ(versions().lineColour(), kColourSilver);
  EXPECT_EQ(versions().backgroundColour(), kColourWhite);
}

TEST_F(SettingsTabTest, AMissingFileLeavesHeadersOnlyAndThePathStar) {
  open();
  EXPECT_EQ(versions().rowCount(), 1);
  EXPECT_EQ(sizes().rowCount(), 1);
  EXPECT_EQ(view.path, "*");
  EXPECT_EQ(view.journal, (std::vector<std::string>{"scroll sizes", "scroll versions"}));
  for (const auto& [box, on] : view.boxes) EXPECT_FALSE(on);
}

TEST_F(SettingsTabTest, ExtraFieldsAreHiddenAndMissingOnesEmpty) {
  SettingsFile f = file();
  ASSERT_TRUE(f.write(kKeyVersions, "15-2000-x/16/"));
  ASSERT_TRUE(f.write(kKeySizes, "A0-横向-1189*841-x//"));
  open();
  ASSERT_EQ(versions().rowCount(), 3);
  EXPECT_EQ(versions().text(1, 2), "2000");
  EXPECT_EQ(versions().text(2, 1), "16");
  EXPECT_EQ(versions().text(2, 2), "");
  ASSERT_EQ(sizes().rowCount(), 3);
  EXPECT_EQ(sizes().text(2, 0), "2");
  presenter().saveClicked();
  EXPECT_EQ(f.read(kKeyVersions), "15-2000/");
  EXPECT_EQ(f.read(kKeySizes), "A0-横向-1189*841/");
}

TEST_F(SettingsTabTest, OptionBoxesFollowTheFileAndWriteAtOnce) {
  writeDefaults();
  SettingsFile f = file();
  ASSERT_TRUE(f.write(kKeyActualSize, "1"));
  ASSERT_TRUE(f.write(kKeyFolderMode, "11"));  // only exactly "1" ticks
  ASSERT_TRUE(f.write(kKeyLockPath, "1"));
  open();
  EXPECT_TRUE(view.boxes[ToolOption::ActualSize]);
  EXPECT_FALSE(view.boxes[ToolOption::FolderMode]);
  EXPECT_TRUE(view.boxes[ToolOption::LockPath]);
  EXPECT_FALSE(view.browseEnabled);

  struct Step {
    ToolOption box;
    bool on;
    std::string_view key;
  } steps[] = {
      {ToolOption::LockPath, false, kKeyLockPath},     {ToolOption::ActualSize, false, kKeyActualSize},
      {ToolOption::FolderMode, true, kKeyFolderMode},  {ToolOption::LockPath, true, kKeyLockPath},
  };
  for (const Step& s : steps) {
    view.boxes[s.box] = s.on;
    presenter().optionChanged(s.box);
    EXPECT_EQ(f.read(s.key), s.on ? "1" : "0");
    if (s.box == ToolOption::LockPath) {
      EXPECT_EQ(view.browseEnabled, !s.on);
    }
  }
}

TEST_F(SettingsTabTest, RowButtonsNeedAChosenGrid) {
  writeDefaults();
  open();
  presenter().addRowClicked();
  presenter().deleteRowClicked();
  EXPECT_EQ(view.messages, (std::vector<ShownMessage>{{"请先单击选择一个表格", "错误"},
                                                      {"请先单击选择一个表格", "提示信息"}}));
  EXPECT_EQ(versions().rowCount(), 26);
  EXPECT_EQ(sizes().rowCount(), 12);
}

TEST_F(SettingsTabTest, ChoosingAGridColoursBoth) {
  writeDefaults();
  open();
  presenter().gridClicked(ChosenGrid::Sizes);
  EXPECT_EQ(presenter().chosenGrid(), ChosenGrid::Sizes);
  EXPECT_EQ(sizes().lineColour(), kColourBlack);
  EXPECT_EQ(sizes().backgroundColour(), kColourSilver);
  EXPECT_EQ(versions().lineColour(), kColourSilver);
  EXPECT_EQ(versions().backgroundColour(), kColourWhite);
  presenter().gridClicked(ChosenGrid::Versions);
  EXPECT_EQ(versions().lineColour(), kColourBlack);
  EXPECT_EQ(sizes().backgroundColour(), kColourWhite);
}

TEST_F(SettingsTabTest, ProtectedRowsAreRefusedByPosition) {
  writeDefaults();
  open();
  struct Case {
    ChosenGrid grid;
    std::optional<int> currentRow;
    bool deleted;
    std::string_view refusal;
  } cases[] = {
      {ChosenGrid::Versions, std::nullopt, false, "-----不可删除已支持的CAD版本号-----"},
      {ChosenGrid::Versions, 1, false, "-----不可删除已支持的CAD版本号-----"},
      {ChosenGrid::Versions, 25, false, "-----不可删除已支持的CAD版本号-----"},
      {ChosenGrid::Versions, 26, true, ""},
      {ChosenGrid::Sizes, 11, false, "-----不可删除已有的图纸尺寸-----"},
      {ChosenGrid::Sizes, 12, true, ""},
  };
  for (const Case& c : cases) {
    presenter().gridClicked(c.grid);
    GridModel& grid = c.grid == ChosenGrid::Versions ? versions() : sizes();
    presenter().addRowClicked();  // a row past the protected ones
    const int rows = grid.rowCount();
    grid.setCurrent(c.currentRow ? std::optional<GridCell>(GridCell{*c.currentRow, 1}) : std::nullopt);
    view.messages.clear();
    presenter().deleteRowClicked();
    EXPECT_EQ(grid.rowCount(), c.deleted ? rows - 1 : rows);
    if (c.deleted) {
      EXPECT_TRUE(view.messages.empty());
    } else {
      EXPECT_EQ(view.messages, (std::vector<ShownMessage>{{std::string(c.refusal), "提示信息"}}));
    }
    while (grid.rowCount() > (c.grid == ChosenGrid::Versions ? 26 : 12)) grid.deleteRow(grid.rowCount() - 1);
  }
}

TEST_F(SettingsTabTest, AnAddedRowIsNumberedByTheRowCountBeforeIt) {
  SettingsFile f = file();
  ASSERT_TRUE(f.write(kKeyVersions, std::string(kDefaultVersionTable) + "26-2027/27-2028/28-2029/"));
  open();
  ASSERT_EQ(versions().rowCount(), 29);
  presenter().gridClicked(ChosenGrid::Versions);
  versions().setCurrent(GridCell{26, 1});
  presenter().deleteRowClicked();
  view.journal.clear();
  presenter().addRowClicked();
  EXPECT_EQ(view.journal, (std::vector<std::string>{"focus versions rows=28", "scroll versions"}));
  ASSERT_EQ(versions().rowCount(), 29);
  EXPECT_EQ(versions().text(28, 0), "28");
  EXPECT_EQ(versions().text(27, 0), "28");
  EXPECT_EQ(versions().text(28, 1), "");
}

TEST_F(SettingsTabTest, SaveWritesCompleteRowsThenTellsAndCloses) {
  writeDefaults();
  open();
  presenter().gridClicked(ChosenGrid::Versions);
  presenter().addRowClicked();
  versions().setText(26, 1, "26");
  versions().setText(26, 2, "2027");
  presenter().addRowClicked();
  versions().setText(27, 1, "27");  // no year: dropped
  presenter().gridClicked(ChosenGrid::Sizes);
  presenter().addRowClicked();
  sizes().setText(12, 1, "B1");
  sizes().setText(12, 2, " 横 ");  // saved as typed
  sizes().setText(12, 3, "1000*707");
  presenter().addRowClicked();
  sizes().setText(13, 1, "A3");
  sizes().setText(13, 2, "横向");
  sizes().setText(13, 3, "420x297");  // no "*": dropped
  view.path = "E:\\新图纸 1";
  view.clock = {2026, 12, 11, 8, 0, 0};
  view.journal.clear();

  presenter().saveClicked();

  SettingsFile f = file();
  EXPECT_EQ(f.read(kKeyPath), "E:\\新图纸 1");
  EXPECT_EQ(f.read(kKeyVersions), std::string(kDefaultVersionTable) + "26-2027/");
  EXPECT_EQ(f.read(kKeySizes), std::string(kDefaultSizeTable) + "B1- 横 -1000*707/");
  EXPECT_EQ(view.messages.back(),
            (ShownMessage{"-----数据已保存  点击确定后，关闭设置-----\r\n              2026年12月11日8时", "保存提示"}));
  EXPECT_EQ(view.journal, (std::vector<std::string>{"message", "destroy"}));
  EXPECT_EQ(host.closings, 1);
}

TEST_F(SettingsTabTest, SavingEmptyGridsWritesEmptyTablesAndTheStarPath) {
  open();  // no file: headers only, path "*"
  presenter().saveClicked();
  SettingsFile f = file();
  EXPECT_TRUE(f.exists());
  EXPECT_EQ(f.read(kKeyPath), "*");
  EXPECT_EQ(f.read(kKeyVersions), "");
  EXPECT_EQ(f.read(kKeySizes), "");
}

TEST_F(SettingsTabTest, BrowseSetsThePathBoxOnlyAndWritesNothing) {
  writeDefaults();
  open();
  view.folderAnswer.reset();
  presenter().browseClicked();
  EXPECT_EQ(view.path, "D:\\图纸");
  view.folderAnswer = "";
  presenter().browseClicked();
  EXPECT_EQ(view.path, "D:\\图纸");
  view.folderAnswer = "C:\\工程\\图纸";
  presenter().browseClicked();
  EXPECT_EQ(view.path, "C:\\工程\\图纸");
  EXPECT_EQ(file().read(kKeyPath), "D:\\图纸");
  EXPECT_EQ(view.browseTitles, std::vector<std::string>(3, "指定CAD图纸文件路径"));
}

TEST_F(SettingsTabTest, ClosingByTheCloseBoxDropsGridEditsAndRunsTheHookOnce) {
  writeDefaults();
  open();
  presenter().gridClicked(ChosenGrid::Versions);
  presenter().addRowClicked();
  versions().setText(26, 1, "26");
  versions().setText(26, 2, "2027");
  view.boxes[ToolOption::ActualSize] = true;
  presenter().optionChanged(ToolOption::ActualSize);
  presenter().windowDestroyed();
  presenter().windowDestroyed();
  EXPECT_EQ(host.closings, 1);
  EXPECT_EQ(file().read(kKeyVersions), kDefaultVersionTable);
  EXPECT_EQ(file().read(kKeyActualSize), "1");
}

}  // namespace
}  // namespace plenvo
