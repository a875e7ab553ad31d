// The main window's presenter: start-up, arrangement and parameter controls, adding drawings, the start
// command and the window's own buttons, against recording fakes of the window, the system and the CAD
// application, and a real settings file in a temporary folder.
#include "ui/main/main_presenter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "../../support/recording_cad.h"
#include "core/tables.h"
#include "main_fakes.h"
#include "ui/main/main_texts.h"

namespace plenvo {
namespace {

namespace fs = std::filesystem;
using testing::FakeDrawingList;
using testing::FakeMainSystem;
using testing::FakeMainView;
using testing::RecordingCad;
using testing::RecordingLookup;
using testing::RecordingSleeper;

const std::string kNotConnected = "Plenvo_v3.3  [未连接到CAD，请打开CAD软件]";

// Paths are UTF-8 in the program; std::filesystem takes them as char8_t so that Windows does not read them
// in its ANSI code page.
fs::path u8(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

class TempFolder {
 public:
  TempFolder() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("plenvo-ui-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const {
    const std::u8string full = (path_ / u8(name)).u8string();
    return std::string(full.begin(), full.end());
  }

 private:
  fs::path path_;
};

class MainPresenterTest : public ::testing::Test {
 protected:
  TempFolder folder;
  SettingsFile settings{folder.file("Plenvo配置.ini")};
  ProgramState state;
  FakeMainView view;
  FakeDrawingList list;
  FakeMainSystem system;
  RecordingLookup lookup;
  std::vector<std::string> sleeps;
  RecordingSleeper sleeper{sleeps};
  MainPresenter presenter{state, view, list, system, settings, lookup, sleeper};

  std::string frame() const { return "C:\\Plenvo\\零件图框.dwg"; }
  // A settings file as the program leaves it after its first start, then some keys changed.
  void existingSettings(const std::map<std::string, std::string>& changes) {
    MainPresenter first{state, view, list, system, settings, lookup, sleeper};
    first.startUp();
    for (const auto& [key, value] : changes) {
      if (value == "<missing>") continue;
      ASSERT_TRUE(settings.write(key, value));
    }
    view = FakeMainView{};
    system.addresses.clear();
  }
};

// ---- start-up ----

TEST_F(MainPresenterTest, FirstStartSetsUpTheWindow) {
  presenter.startUp();

  EXPECT_TRUE(settings.exists());
  EXPECT_EQ(settings.read(kKeyRunCount), "2");
  EXPECT_EQ(settings.read(kKeyHelp), "1");
  EXPECT_EQ(state.loaded.runCount, 1);

  EXPECT_EQ(view.radio, RadioButton::Horizontal);
  EXPECT_EQ(state.mode, LayoutMode::Horizontal);
  EXPECT_FALSE(view.enabled[ParamBox::PerRowCount]);
  EXPECT_FALSE(view.enabled[ParamBox::DirectedColumns]);
  EXPECT_FALSE(view.enabled[ParamBox::DirectedRows]);
  ASSERT_EQ(view.sizeItems.size(), 11u);
  EXPECT_EQ(view.sizeItems.front(), "A0横向1189*841mm");
  EXPECT_EQ(view.sizeItems.back(), "Z1定向排105*95mm");
  EXPECT_EQ(view.selectedSizeItem, 0);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "1189");
  EXPECT_EQ(view.params[ParamBox::SheetWidth], "841");
  EXPECT_EQ(view.title, kNotConnected);

  EXPECT_TRUE(view.ticked[OptionBox::HelpPage]);
  EXPECT_FALSE(view.ticked[OptionBox::Explode]);
  EXPECT_EQ(system.addresses, std::vector<std::string>{"https://www.plenvo.example/?post=73"});
  EXPECT_EQ(system.partFramesWritten, std::vector<std::string>{frame()});
  EXPECT_TRUE(view.messages.empty());

  // The order of the sequence: arrangement, focus, (settings), title, help page, size list, update check.
  const std::vector<std::string> expected = {"radio 0",    "focus add",   "title " + kNotConnected,
                                             "tick 2 on",  "clear sizes", "update check"};
  EXPECT_EQ(view.events, expected);
}

TEST_F(MainPresenterTest, StartUpTicksTheOptionBoxesFromTheFile) {
  existingSettings({{"炸开", "1"}, {"图框", "1"}});
  presenter.startUp();
  EXPECT_TRUE(view.ticked[OptionBox::Explode]);
  EXPECT_TRUE(view.ticked[OptionBox::Frames]);
}

TEST_F(MainPresenterTest, StartUpNamesTheRunningCad) {
  RecordingCad cad;
  lookup.run("Autocad.Application.24.1", cad);
  presenter.startUp();
  EXPECT_EQ(view.title, "Plenvo_v3.3  [当前CAD: 2022版本]");
  EXPECT_TRUE(cad.owns(state.session.application.get()));
}

struct HelpCase {
  const char* helpFlag;
  const char* runCount;  // the value in the file before the start; "<missing>" for none
  bool opens;
};

class HelpPageRuleTest : public MainPresenterTest, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(HelpPageRuleTest, OpensOnTheFlagOrEveryTwentiethRun) {
  const HelpCase& c = GetParam();
  existingSettings({{"帮助", c.helpFlag}, {"次数", c.runCount}});
  if (std::string(c.runCount) == "<missing>") {
    // A file without 次数: written afresh with the other keys only.
    ASSERT_TRUE(fs::remove(u8(settings.path())));
    ASSERT_TRUE(settings.write(kKeyHelp, c.helpFlag));
    ASSERT_TRUE(settings.write(kKeyVersions, kDefaultVersionTable));
    ASSERT_TRUE(settings.write(kKeySizes, kDefaultSizeTable));
    ASSERT_EQ(settings.read(kKeyRunCount), "");
  }
  presenter.startUp();
  EXPECT_EQ(view.ticked[OptionBox::HelpPage], c.opens);
  EXPECT_EQ(system.addresses.size(), c.opens ? 1u : 0u);
  EXPECT_EQ(settings.read(kKeyHelp), c.opens ? "1" : c.helpFlag);
}

INSTANTIATE_TEST_SUITE_P(Starts, HelpPageRuleTest,
                         ::testing::Values(HelpCase{"0", "19", false}, HelpCase{"0", "20", true},
                                           HelpCase{"0", "40", true}, HelpCase{"0", "21", false},
                                           HelpCase{"1", "7", true}, HelpCase{"2", "7", false},
                                           HelpCase{"0", "abc", true}, HelpCase{"0", "<missing>", true}));

TEST_F(MainPresenterTest, AnExistingPartFrameIsLeftAlone) {
  system.files[frame()] = FileInfo{99, {}};
  presenter.startUp();
  EXPECT_TRUE(system.partFramesWritten.empty());
  EXPECT_EQ(system.files[frame()].size, 99);
}

// ---- arrangement and parameter controls ----

struct RadioCase {
  const char* name;
  void (MainPresenter::*handler)();
  RadioButton button;
  LayoutMode mode;
  bool perRow, directed;
  const char* length;
  const char* width;
  int item;
};

class RadioTest : public MainPresenterTest, public ::testing::WithParamInterface<RadioCase> {};

TEST_P(RadioTest, EnablesItsBoxesAndSetsTheSheetSize) {
  const RadioCase& c = GetParam();
  presenter.startUp();
  view.params[ParamBox::SheetLength] = "777";  // typed by the user
  view.selectedSizeItem = 5;
  for (int press = 0; press < 2; ++press) {  // a second click on the same button does the same again
    (presenter.*c.handler)();
    EXPECT_EQ(view.radio, c.button);
    EXPECT_EQ(state.mode, c.mode);
    EXPECT_EQ(view.enabled[ParamBox::PerRowCount], c.perRow);
    EXPECT_EQ(view.enabled[ParamBox::DirectedColumns], c.directed);
    EXPECT_EQ(view.enabled[ParamBox::DirectedRows], c.directed);
    EXPECT_EQ(view.params[ParamBox::SheetLength], c.length);
    EXPECT_EQ(view.params[ParamBox::SheetWidth], c.width);
    EXPECT_EQ(view.selectedSizeItem, c.item);
    view.params[ParamBox::SheetLength] = "777";
  }
  EXPECT_EQ(view.params[ParamBox::Spacing], "50");  // the other boxes are never touched
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, RadioTest,
    ::testing::Values(RadioCase{"Horizontal", &MainPresenter::onHorizontal, RadioButton::Horizontal,
                                LayoutMode::Horizontal, false, false, "1189", "841", 0},
                      RadioCase{"Vertical", &MainPresenter::onVertical, RadioButton::Vertical, LayoutMode::Vertical,
                                false, false, "1189", "841", 0},
                      RadioCase{"Mixed", &MainPresenter::onMixed, RadioButton::Mixed, LayoutMode::Mixed, true, false,
                                "1189", "841", 0},
                      RadioCase{"Directed", &MainPresenter::onDirected, RadioButton::Directed, LayoutMode::Directed,
                                false, true, "105", "95", 8}),
    [](const ::testing::TestParamInfo<RadioCase>& info) { return std::string(info.param.name); });

TEST_F(MainPresenterTest, DirectedSelectsTheLastItemOfAShortList) {
  state.loaded.sizeTableText = "A0-横向-1189*841/A1-横向-841*594/A2-横向-594*420/";
  presenter.fillSizeList();
  presenter.onDirected();
  EXPECT_EQ(view.selectedSizeItem, 2);

  state.loaded.sizeTableText = "";
  presenter.fillSizeList();
  presenter.onDirected();
  EXPECT_EQ(view.selectedSizeItem, -1);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "105");
}

TEST_F(MainPresenterTest, SizePickCopiesTheEntryWithTheSamePosition) {
  presenter.startUp();
  presenter.onSizePicked(10);  // Z1定向排105*95mm, while Horizontal
  EXPECT_EQ(view.params[ParamBox::SheetLength], "105");
  EXPECT_EQ(view.params[ParamBox::SheetWidth], "95");
  EXPECT_EQ(state.mode, LayoutMode::Horizontal);
  EXPECT_FALSE(view.enabled[ParamBox::PerRowCount]);
  presenter.onSizePicked(3);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "594");
  EXPECT_EQ(view.params[ParamBox::SheetWidth], "841");
  presenter.onSizePicked(-1);  // nothing chosen
  EXPECT_EQ(view.params[ParamBox::SheetLength], "594");
}

TEST_F(MainPresenterTest, FillSizeListWritesTheDefaultSizeWhateverTheFirstEntry) {
  state.loaded.sizeTableText = "B5-横向-250*176/A4-竖向-210*297/";
  presenter.onDirected();
  presenter.fillSizeList();
  EXPECT_EQ(view.sizeItems, (std::vector<std::string>{"B5横向250*176mm", "A4竖向210*297mm"}));
  EXPECT_EQ(view.selectedSizeItem, 0);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "1189");
  EXPECT_EQ(view.params[ParamBox::SheetWidth], "841");
  EXPECT_EQ(state.mode, LayoutMode::Directed);
  presenter.onSizePicked(0);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "250");
  EXPECT_EQ(view.params[ParamBox::SheetWidth], "176");
}

TEST_F(MainPresenterTest, IncompleteSizeEntriesKeepTheirPositionsAndGiveNoSize) {
  state.loaded.sizeTableText = "A0-横向-1189*841//B-x/C-竖向-300/A3-横向-420*297/";
  presenter.fillSizeList();
  ASSERT_EQ(view.sizeItems.size(), 5u);
  EXPECT_EQ(view.sizeItems[4], "A3横向420*297mm");
  for (int broken : {1, 2, 3}) {
    presenter.onSizePicked(broken);
    EXPECT_EQ(view.params[ParamBox::SheetLength], "1189") << broken;
    EXPECT_EQ(view.params[ParamBox::SheetWidth], "841") << broken;
  }
  presenter.onSizePicked(4);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "420");
}

TEST_F(MainPresenterTest, EmptySizeTableGivesAnEmptyListAndTheDefaultSize) {
  state.loaded.sizeTableText = "";
  presenter.fillSizeList();
  EXPECT_TRUE(view.sizeItems.empty());
  EXPECT_EQ(view.selectedSizeItem, -1);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "1189");
  EXPECT_EQ(view.params[ParamBox::SheetWidth], "841");
  presenter.onSizePicked(0);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "1189");
}

TEST_F(MainPresenterTest, CheckBoxesWriteTheirKeysOnEveryClick) {
  struct Box {
    OptionBox box;
    void (MainPresenter::*handler)();
    std::string_view key;
  };
  for (const Box& b : {Box{OptionBox::Explode, &MainPresenter::onExplodeClicked, kKeyExplode},
                       Box{OptionBox::Frames, &MainPresenter::onFramesClicked, kKeyFrames},
                       Box{OptionBox::HelpPage, &MainPresenter::onHelpPageClicked, kKeyHelp}}) {
    view.ticked[b.box] = true;
    (presenter.*b.handler)();
    EXPECT_EQ(settings.read(b.key), "1") << b.key;
    view.ticked[b.box] = false;
    (presenter.*b.handler)();
    EXPECT_EQ(settings.read(b.key), "0") << b.key;
  }
}

TEST_F(MainPresenterTest, ClosingTheToolsWindowReloadsReconnectsAndRefills) {
  presenter.startUp();
  presenter.onDirected();
  ASSERT_TRUE(settings.write(kKeySizes, "B5-横向-250*176/"));
  RecordingCad cad;
  lookup.run("ZWCAD.Application", cad);
  view.events.clear();

  presenter.onToolsWindowClosed();
  EXPECT_EQ(settings.read(kKeyRunCount), "3");  // loaded again
  EXPECT_EQ(view.title, "Plenvo_v3.3  [当前CAD: 国产中望CAD]");
  EXPECT_EQ(view.sizeItems, std::vector<std::string>{"B5横向250*176mm"});
  EXPECT_EQ(view.selectedSizeItem, 0);
  EXPECT_EQ(view.params[ParamBox::SheetLength], "1189");
  EXPECT_EQ(state.mode, LayoutMode::Directed);
  EXPECT_EQ(view.radio, RadioButton::Directed);
  EXPECT_EQ(view.events, (std::vector<std::string>{"title Plenvo_v3.3  [当前CAD: 国产中望CAD]", "clear sizes"}));
}

TEST_F(MainPresenterTest, LabelsOpenTheHomePageAndTheToolsButtonTheToolsWindow) {
  presenter.onHomePageLabelClicked();
  EXPECT_EQ(system.addresses, std::vector<std::string>{"https://www.plenvo.example/"});
  presenter.onToolsButtonClicked();
  EXPECT_EQ(view.toolsWindowOpened, 1);
}

TEST_F(MainPresenterTest, CloseButtonAsksAndClosesOnlyOnOk) {
  const Message question{std::string(18, ' ') + "你确定要关闭本工具吗？" + std::string(13, ' '), "QQ群: 提示：",
                         MessageButtons::OkCancel, MessageIcon::None};
  view.messageAnswers = {MessageResult::Cancel};
  presenter.onCloseButtonClicked();
  EXPECT_FALSE(view.destroyed);
  presenter.onCloseButtonClicked();
  EXPECT_TRUE(view.destroyed);
  ASSERT_EQ(view.messages.size(), 2u);
  EXPECT_EQ(view.messages[0], question);
  EXPECT_EQ(view.messages[1], question);
}

// ---- adding drawings ----

TEST_F(MainPresenterTest, FileModeAppendsRowsAndRemembersTheFolder) {
  presenter.startUp();
  system.files["D:\\图纸\\2024\\b.dwg"] = FileInfo{1536, {2024, 3, 5, 9, 7, 12}};
  system.files["D:\\图纸\\2024\\a.dxf"] = FileInfo{0, {2023, 11, 12, 23, 45, 0}};
  view.chosenFiles = {"D:\\图纸\\2024\\b.dwg", "D:\\图纸\\2024\\a.dxf", "D:\\图纸\\2024\\gone.dwg"};
  list.fill({"1|X|s|t"});
  list.selectRow(0);
  list.listFocusCount = 0;

  presenter.onAdd();

  ASSERT_EQ(view.fileRequests.size(), 1u);
  const OpenFilesRequest& r = view.fileRequests[0];
  EXPECT_EQ(r.title, "请选择要合并的CAD文件");
  ASSERT_EQ(r.filters.size(), 2u);
  EXPECT_EQ(r.filters[0].name, "DWG文件");
  EXPECT_EQ(r.filters[0].pattern, "*.dwg");
  EXPECT_EQ(r.filters[1].name, "DXF文件");
  EXPECT_EQ(r.filters[1].pattern, "*.dxf");
  EXPECT_EQ(r.initialFolder, "D:\\");
  EXPECT_EQ(settings.read(kKeyPath), "D:\\图纸\\2024\\");
  // Rows in the dialog's order; a file gone since it was chosen keeps its row without size and time.
  EXPECT_EQ(list.texts(), (std::vector<std::string>{"1|X|s|t", "2|D:\\图纸\\2024\\b.dwg|1.5KB|2024/3/5 9:7",
                                                    "3|D:\\图纸\\2024\\a.dxf|0KB|2023/11/12 23:45",
                                                    "4|D:\\图纸\\2024\\gone.dwg||"}));
  EXPECT_EQ(list.selectedRows(), std::vector<int>{0});
  EXPECT_EQ(list.currentRowsSet, std::vector<int>{0});
  EXPECT_GE(list.listFocusCount, 1);

  // The next dialog opens in the remembered folder; the same file again gets a new number.
  view.chosenFiles = {"D:\\图纸\\2024\\b.dwg"};
  presenter.onAdd();
  EXPECT_EQ(view.fileRequests.back().initialFolder, "D:\\图纸\\2024\\");
  EXPECT_EQ(list.cellText(4, 0), "5");
}

TEST_F(MainPresenterTest, LockedPathIsKeptAndCancelAddsNothing) {
  presenter.startUp();
  ASSERT_TRUE(settings.write(kKeyLockPath, "1"));
  view.chosenFiles = {"E:\\x\\a.dwg"};
  presenter.onAdd();
  EXPECT_EQ(settings.read(kKeyPath), "D:\\");
  EXPECT_EQ(list.rowCount(), 1);

  ASSERT_TRUE(settings.write(kKeyLockPath, "0"));
  view.chosenFiles = {};
  list.fill({"1|A||", "2|B||"});
  list.selectRow(1);
  presenter.onAdd();  // cancelled: nothing added, 路径 kept, but the first row becomes the selected one
  EXPECT_EQ(list.rowCount(), 2);
  EXPECT_EQ(settings.read(kKeyPath), "D:\\");
  EXPECT_EQ(list.selectedRows(), std::vector<int>{0});
}

TEST_F(MainPresenterTest, AddWithoutAValidModeOnlyFocusesTheList) {
  for (const char* mode : {"", "2", "00"}) {
    ASSERT_TRUE(settings.write(kKeyFolderMode, mode));
    list.listFocusCount = 0;
    presenter.onAdd();
    EXPECT_EQ(list.listFocusCount, 1);
    EXPECT_TRUE(view.fileRequests.empty());
    EXPECT_TRUE(view.folderTitles.empty());
    EXPECT_TRUE(list.currentRowsSet.empty());
  }
}

TEST_F(MainPresenterTest, FolderModeAddsTheDwgFilesOfOneFolder) {
  presenter.startUp();
  ASSERT_TRUE(settings.write(kKeyFolderMode, "1"));
  system.folders["E:\\*.dwg"] = {{"b.DWG", false}, {"d.dwg", true}, {"a.dwg", false}};
  system.files["E:\\a.dwg"] = FileInfo{1000, {2024, 1, 2, 3, 4, 5}};
  list.fill({"1|X|s|t", "2|Y|s|t"});
  list.selectRow(1);
  view.chosenFolder = "E:\\";

  presenter.onAdd();

  EXPECT_EQ(view.folderTitles, std::vector<std::string>{"请选择要获取文件的文件夹"});
  EXPECT_EQ(system.listedPatterns, std::vector<std::string>{"E:\\*.dwg"});
  EXPECT_EQ(list.texts(), (std::vector<std::string>{"1|X|s|t", "2|Y|s|t", "3|E:\\b.DWG||",
                                                    "4|E:\\a.dwg|0.98KB|2024/1/2 3:4"}));
  EXPECT_EQ(list.selectedRows(), std::vector<int>{1});  // the selection stays
  EXPECT_EQ(settings.read(kKeyPath), "D:\\");            // and 路径 too
  EXPECT_TRUE(view.fileRequests.empty());

  view.chosenFolder = "C:\\图纸";  // no trailing separator: one is added
  presenter.onAdd();
  EXPECT_EQ(system.listedPatterns.back(), "C:\\图纸\\*.dwg");

  view.chosenFolder = "";  // cancelled
  presenter.onAdd();
  EXPECT_EQ(system.listedPatterns.size(), 2u);
}

TEST_F(MainPresenterTest, NumbersFollowTheRowCountAfterDeletesAndClear) {
  presenter.startUp();
  for (const char* p : {"C:\\1.dwg", "C:\\2.dwg", "C:\\3.dwg"}) presenter.appendDrawing(p);
  list.selectRow(0);
  presenter.onDelete();
  presenter.appendDrawing("C:\\4.dwg");
  EXPECT_EQ(list.cellText(0, 0), "2");
  EXPECT_EQ(list.cellText(1, 0), "3");
  EXPECT_EQ(list.cellText(2, 0), "3");
  presenter.onClear();
  presenter.appendDrawing("C:\\5.dwg");
  EXPECT_EQ(list.cellText(0, 0), "1");
}

// ---- the start command ----

class RunMergeTest : public MainPresenterTest {
 protected:
  RecordingCad cad;
  void SetUp() override {
    presenter.startUp();
    view.messages.clear();
  }
  void connectCad() { lookup.run("GstarCAD.Application", cad); }
  void addRows(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) presenter.appendDrawing(p);
  }
  std::vector<std::string> inserted() const {
    std::vector<std::string> out;
    for (const auto& b : cad.blocks()) out.push_back(b.path);
    return out;
  }
  const std::string pad26 = std::string(26, ' ');
};

TEST_F(RunMergeTest, NoCadShowsOnlyItsMessage) {
  presenter.runMerge();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0], (Message{pad26 + "请打开CAD软件" + pad26, "提示："}));
  EXPECT_EQ(view.title, kNotConnected);
}

TEST_F(RunMergeTest, EmptyListStillMakesThePrintFrameLayer) {
  connectCad();
  presenter.runMerge();
  EXPECT_EQ(view.messageTexts(), std::vector<std::string>{pad26 + "请增加要合图的CAD文件！" + pad26});
  EXPECT_EQ(view.messages[0].caption, "提示：");
  ASSERT_EQ(cad.state->layers.count("打印图框"), 1u);
  EXPECT_EQ(cad.state->layers["打印图框"], 1);
  EXPECT_TRUE(cad.blocks().empty());
  EXPECT_EQ(view.title, "Plenvo_v3.3  [当前CAD: 国产浩辰CAD]");
}

TEST_F(RunMergeTest, MergesTheRowsInListOrderWithItsMessages) {
  connectCad();
  addRows({"C:\\图纸 1\\a.dwg", "C:\\b.dwg", "C:\\c.dwg"});
  list.currentRowsSet.clear();
  list.ensuredVisible.clear();

  presenter.runMerge();

  ASSERT_EQ(view.messages.size(), 2u);
  EXPECT_EQ(view.messages[0],
            (Message{std::string(11, ' ') + "将在打开的第一个CAD中起始点坐标处开始合并，期间请不要操作!" +
                         std::string(9, ' '),
                     "准备开始合并文件"}));
  EXPECT_EQ(view.messages[1], (Message{pad26 + "在打开的第一个CAD文件中，合并完毕！" + pad26, "提示："}));
  EXPECT_EQ(inserted(), (std::vector<std::string>{"C:\\图纸 1\\a.dwg", "C:\\b.dwg", "C:\\c.dwg"}));
  EXPECT_EQ(list.currentRowsSet, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(list.ensuredVisible, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(list.selectedRows(), std::vector<int>{2});  // the last merged row stays selected
  // Horizontal, sheet length 1189 from the start-up, spacing 50: a fixed pitch of 1239.
  const auto blocks = cad.blocks();
  EXPECT_EQ(blocks[1].position.x, 1239);
  EXPECT_EQ(blocks[2].position.x, 2478);
  EXPECT_TRUE(cad.polylines().empty());
  EXPECT_TRUE(cad.loose().empty());
}

TEST_F(RunMergeTest, ReadsTheBoxesAsTypedNumbers) {
  connectCad();
  addRows({"C:\\a.dwg", "C:\\b.dwg", "C:\\c.dwg"});
  presenter.onMixed();
  view.params[ParamBox::Spacing] = "50.9";
  view.params[ParamBox::SheetLength] = "  ４２０";
  view.params[ParamBox::SheetWidth] = "abc";
  view.params[ParamBox::PerRowCount] = "2";
  presenter.runMerge();
  const auto blocks = cad.blocks();
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[1].position.x, 470);  // c · (L + s) with L 420, s 50
  EXPECT_EQ(blocks[2].position.x, 0);
  EXPECT_EQ(blocks[2].position.y, -50);  // −r · (W + s) with W 0
}

TEST_F(RunMergeTest, FlagsFollowTheSettingsFileAtThePress) {
  connectCad();
  cad.state->extentsByPath["C:\\a.dwg"] = Extents{0, 0, 100, 10};
  addRows({"C:\\a.dwg", "C:\\b.dwg"});
  // 宽度 "2" turns the actual size on; 炸开 "2" leaves exploding off; 图框 "1" draws frames.
  ASSERT_TRUE(settings.write(kKeyActualSize, "2"));
  ASSERT_TRUE(settings.write(kKeyExplode, "2"));
  ASSERT_TRUE(settings.write(kKeyFrames, "1"));
  presenter.runMerge();
  const auto blocks = cad.blocks();
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[1].position.x, 150);  // 100 wide + 50
  EXPECT_EQ(cad.polylines().size(), 2u);
  EXPECT_TRUE(cad.loose().empty());

  ASSERT_TRUE(settings.write(kKeyExplode, "1"));
  ASSERT_TRUE(settings.write(kKeyActualSize, ""));
  ASSERT_TRUE(settings.write(kKeyFrames, "0"));
  presenter.runMerge();
  const auto again = cad.blocks();
  ASSERT_EQ(again.size(), 4u);
  EXPECT_EQ(again[3].position.x, 1239);  // 宽度 empty: the sheet length
  EXPECT_EQ(cad.loose().size(), 2u);
  EXPECT_EQ(cad.polylines().size(), 2u);
}

struct CountCase {
  const char* name;
  void (MainPresenter::*arrangement)();
  ParamBox box;
  const char* typed;
  const char* text;  // empty: the run goes ahead
};

class CountCheckTest : public RunMergeTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CountCheckTest, CountsBelowOneAreRefusedBeforeTheStartNotice) {
  const CountCase& c = GetParam();
  connectCad();
  addRows({"C:\\a.dwg"});
  (presenter.*c.arrangement)();
  view.params[c.box] = c.typed;
  presenter.runMerge();
  if (*c.text == 0) {
    EXPECT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(cad.blocks().size(), 1u);
    return;
  }
  EXPECT_EQ(view.messageTexts(), std::vector<std::string>{pad26 + c.text + pad26});
  EXPECT_EQ(view.messages[0].caption, "提示：");
  EXPECT_TRUE(cad.blocks().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CountCheckTest,
    ::testing::Values(
        CountCase{"MixedZero", &MainPresenter::onMixed, ParamBox::PerRowCount, "0", "每行数量必须大于0"},
        CountCase{"MixedLetters", &MainPresenter::onMixed, ParamBox::PerRowCount, "abc", "每行数量必须大于0"},
        CountCase{"MixedNegative", &MainPresenter::onMixed, ParamBox::PerRowCount, "-3", "每行数量必须大于0"},
        CountCase{"DirectedColumns", &MainPresenter::onDirected, ParamBox::DirectedColumns, "0.5",
                  "定向水平数必须大于0"},
        CountCase{"DirectedRows", &MainPresenter::onDirected, ParamBox::DirectedRows, "", "定向垂直数必须大于0"},
        // A count the arrangement does not use is not checked.
        CountCase{"HorizontalIgnoresPerRow", &MainPresenter::onHorizontal, ParamBox::PerRowCount, "0", ""},
        CountCase{"MixedIgnoresDirected", &MainPresenter::onMixed, ParamBox::DirectedRows, "0", ""}),
    [](const ::testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

TEST_F(RunMergeTest, DrawingsThatFailedAreNamedAfterTheCompletionMessage) {
  connectCad();
  cad.state->failingPaths.insert("C:\\坏 图.dwg");
  addRows({"C:\\a.dwg", "C:\\坏 图.dwg", "C:\\c.dwg"});
  presenter.runMerge();
  ASSERT_EQ(view.messages.size(), 3u);
  EXPECT_EQ(view.messages[1].text, pad26 + "在打开的第一个CAD文件中，合并完毕！" + pad26);
  EXPECT_EQ(view.messages[2], (Message{"以下CAD文件未能合并，请检查：\r\nC:\\坏 图.dwg", "提示："}));
  EXPECT_EQ(inserted(), (std::vector<std::string>{"C:\\a.dwg", "C:\\c.dwg"}));
}

TEST_F(RunMergeTest, DirectedHighlightsOnlyTheDrawingRows) {
  connectCad();
  presenter.onDirected();
  view.params[ParamBox::DirectedColumns] = "2";
  view.params[ParamBox::DirectedRows] = "1";
  addRows({"C:\\a.dwg", "C:\\b.dwg", "C:\\c.dwg"});
  list.currentRowsSet.clear();
  presenter.runMerge();
  EXPECT_EQ(list.currentRowsSet, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(list.selectedRows(), std::vector<int>{2});
  // Two pages of two cells: two part-frame drawings from the program's folder follow the parts.
  const auto blocks = cad.blocks();
  ASSERT_EQ(blocks.size(), 5u);
  EXPECT_EQ(blocks[3].path, frame());
  EXPECT_EQ(blocks[4].path, frame());
}

}  // namespace
}  // namespace plenvo
