// The remote tool list: reading the text, the start-up update check and the first tab's presenter.
#include <gtest/gtest.h>

#include "core/text_codec.h"
#include "tools_fakes.h"

namespace plenvo {
namespace {

using test::FakeFetcher;
using test::FakeMessageBoxes;
using test::FakeShell;
using test::ShownMessage;

constexpr std::string_view kAddress = "https://www.plenvo.example/cad.txt";

TEST(WebAddress, OnlyHttpAndHttpsAddressesPass) {
  struct Case {
    std::string_view url;
    bool web;
  } cases[] = {
      {"http://a.example/x", true},
      {"https://a.example/x", true},
      {"HTTPS://A.example", true},
      {"hTTp://a", true},
      {"https://", false},
      {"http:/a.example", false},
      {"file:///C:/Windows/notepad.exe", false},
      {"C:\\Windows\\System32\\calc.exe", false},
      {"calc.exe", false},
      {"mailto:a@b.example", false},
      {"javascript:alert(1)", false},
      {" https://a.example", false},
      {"https://a.example/\r\nb", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isWebAddress(c.url), c.web) << c.url;
}

TEST(WebAddress, OpenHandsOnlyWebAddressesToTheShell) {
  FakeShell shell;
  EXPECT_TRUE(openWebAddress(shell, "https://a.example/"));
  EXPECT_FALSE(openWebAddress(shell, "cmd.exe"));
  EXPECT_EQ(shell.opened, std::vector<std::string>{"https://a.example/"});
}

TEST(RemoteText, IsDecodedFromGbkAndCutAtTheFirstZeroByte) {
  FakeFetcher fetcher;
  fetcher.bodies[std::string(kAddress)] = utf8ToGbk("v3.3#下载#@浩辰CAD#l#p") + std::string("\0tail", 5);
  EXPECT_EQ(fetchRemoteText(fetcher, kAddress), "v3.3#下载#@浩辰CAD#l#p");
  ASSERT_EQ(fetcher.requests.size(), 1u);
  EXPECT_EQ(fetcher.requests[0].second, kMaxRemoteTextBytes);
}

TEST(RemoteText, FailedFetchAndOversizedBodyGiveTheEmptyText) {
  FakeFetcher fetcher;
  EXPECT_EQ(fetchRemoteText(fetcher, kAddress), "");
  fetcher.bodies[std::string(kAddress)] = std::string(kMaxRemoteTextBytes + 1, 'a');
  EXPECT_EQ(fetchRemoteText(fetcher, kAddress), "");
  fetcher.bodies[std::string(kAddress)] = std::string(kMaxRemoteTextBytes, 'a');
  EXPECT_EQ(fetchRemoteText(fetcher, kAddress).size(), kMaxRemoteTextBytes);
}

TEST(ToolRecords, AreThePiecesAfterTheFirstAtWithThreeFields) {
  struct Case {
    std::string_view text;
    std::vector<std::string> names;
  } cases[] = {
      {"v3.3#page#@A#la#pa@B#lb#pb@", {"A", "B"}},
      {"v3.3#page#@A#la#pa#extra@B#lb#pb", {"A", "B"}},
      {"v3.3#page#", {}},
      {"v3.3#page#@", {}},
      {"v3.3#page#@@A#la#pa", {"A"}},       // the empty record between "@@" is left out
      {"v3.3#page#@A#la@B#lb#pb", {"B"}},   // too short for a picture
      {"v3.3#page#@ A #la#pa\r\n", {" A "}},  // nothing is trimmed
      {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names;
    for (const ToolRecord& r : readToolRecords(c.text)) names.push_back(r.toolName);
    EXPECT_EQ(names, c.names) << c.text;
  }
  const std::vector<ToolRecord> records = readToolRecords("v#p#@A#la#pa\r\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].linkUrl, "la");
  EXPECT_EQ(records[0].pictureUrl, "pa\r\n");
}

// Message boxes and the shell in one, so the order of the notice and the opening shows.
class NoticeJournal : public MessageBoxes, public Shell {
 public:
  std::vector<std::string> events;
  void message(std::string_view text, std::string_view caption) override {
    events.push_back("box " + std::string(caption) + " " + std::string(text));
  }
  void openAddress(std::string_view url) override { events.push_back("open " + std::string(url)); }
};

TEST(CheckForUpdate, NoticeThenDownloadPageWhenTheVersionDiffers) {
  const std::string notice = "box 更新提示! 软件已更新修复，请到下载页面下载最新版本";
  struct Case {
    std::string_view text;  // as served, UTF-8 here and GBK on the wire
    std::vector<std::string> events;
  } cases[] = {
      {"v3.3#page#@A#la#pa@B#lb#pb@", {}},
      {"v3.4#www.plenvo.example/dl#@A#la#pa", {notice, "open https://www.plenvo.example/dl"}},
      {"V3.3#page#", {notice, "open https://page"}},
      {"v3.3 #page#", {notice, "open https://page"}},
      {"新版本#页面#", {notice, "open https://页面"}},
      {"v3.2", {notice}},         // no download page to open
      {"v3.2##", {notice}},       // an empty one neither
      {"#page#", {notice, "open https://page"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    FakeFetcher fetcher;
    if (!c.text.empty()) fetcher.bodies[std::string(kAddress)] = utf8ToGbk(c.text);
    NoticeJournal journal;
    checkForUpdate(fetcher, journal, journal, kAddress);
    EXPECT_EQ(journal.events, c.events) << c.text;
    EXPECT_EQ(fetcher.requests.size(), 1u);
  }
}

TEST(CheckForUpdate, NoNetworkNoNotice) {
  FakeFetcher fetcher;
  NoticeJournal journal;
  checkForUpdate(fetcher, journal, journal, kAddress);
  EXPECT_TRUE(journal.events.empty());
}

class FakeToolListView : public ToolListView {
 public:
  std::vector<std::pair<std::string, std::string>> rows;
  std::optional<int> selected;
  std::vector<std::string> pictures;  // every picture shown, "" for a cleared box
  bool listEnabled = false;
  bool pictureEnabled = false;
  std::string windowCaption = "CAD工具集[动态更新]";

  void appendRow(std::string_view number, std::string_view name) override {
    rows.emplace_back(std::string(number), std::string(name));
  }
  int rowCount() override { return static_cast<int>(rows.size()); }
  std::optional<int> firstSelectedRow() override { return selected; }
  void showPicture(std::string_view bytes) override { pictures.emplace_back(bytes); }
  void setListEnabled(bool enabled) override { listEnabled = enabled; }
  void setPictureEnabled(bool enabled) override { pictureEnabled = enabled; }
  std::string caption() override { return windowCaption; }
  void setCaption(std::string_view caption) override { windowCaption = caption; }
};

class ToolListTest : public ::testing::Test {
 protected:
  void serve(std::string_view text) { fetcher.bodies[std::string(kAddress)] = utf8ToGbk(text); }

  FakeFetcher fetcher;
  FakeShell shell;
  FakeToolListView view;
  ToolListPresenter presenter{view, fetcher, shell, std::string(kAddress)};
};

TEST_F(ToolListTest, TwoRecordsFillTheListAndShowTheFirstPicture) {
  serve("v3.3#page#@A#https://a.example/#https://a.example/a.png@B#https://b.example/#https://b.example/b.png@");
  fetcher.bodies["https://a.example/a.png"] = "PNG-A";
  fetcher.bodies["https://b.example/b.png"] = "PNG-B";
  presenter.loadToolList();
  using Row = std::pair<std::string, std::string>;
  EXPECT_EQ(view.rows, (std::vector<Row>{{"1", "A"}, {"2", "B"}}));
  EXPECT_EQ(view.pictures, std::vector<std::string>{"PNG-A"});
  EXPECT_TRUE(view.listEnabled);
  EXPECT_TRUE(view.pictureEnabled);
  EXPECT_EQ(view.windowCaption, "CAD工具集[动态更新]");
  ASSERT_EQ(fetcher.requests.size(), 2u);
  EXPECT_EQ(fetcher.requests[1].second, kMaxPictureBytes);

  presenter.openToolLink();  // nothing selected: the first record
  view.selected = 1;
  presenter.showToolPicture();
  presenter.openToolLink();
  view.selected.reset();  // a click on empty space
  presenter.showToolPicture();
  EXPECT_EQ(view.pictures, (std::vector<std::string>{"PNG-A", "PNG-B", "PNG-A"}));
  EXPECT_EQ(shell.opened, (std::vector<std::string>{"https://a.example/", "https://b.example/"}));
}

TEST_F(ToolListTest, EveryClickFetchesThePictureAgain) {
  serve("v#p#@A#https://a.example/#https://a.example/a.png");
  fetcher.bodies["https://a.example/a.png"] = "PNG-A";
  presenter.loadToolList();
  presenter.showToolPicture();
  fetcher.bodies.erase("https://a.example/a.png");
  presenter.showToolPicture();  // the download fails: the box is cleared
  EXPECT_EQ(view.pictures, (std::vector<std::string>{"PNG-A", "PNG-A", ""}));
  EXPECT_EQ(fetcher.requests.size(), 4u);
}

TEST_F(ToolListTest, NoTextMarksTheWindowOffline) {
  presenter.loadToolList();
  EXPECT_EQ(view.windowCaption, "CAD工具集[动态更新][未连接网络]");
  EXPECT_FALSE(view.listEnabled);
  EXPECT_FALSE(view.pictureEnabled);
  EXPECT_TRUE(view.rows.empty());
  EXPECT_TRUE(view.pictures.empty());
  presenter.openToolLink();
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(ToolListTest, ATextWithoutRecordsLeavesTheListEmptyAndDisabled) {
  for (std::string_view text : {"v3.3#page#", "v3.3#page#@", "v3.3#page#@A#la"}) {
    FakeToolListView freshView;
    ToolListPresenter fresh{freshView, fetcher, shell, std::string(kAddress)};
    serve(text);
    fresh.loadToolList();
    EXPECT_TRUE(freshView.rows.empty()) << text;
    EXPECT_FALSE(freshView.listEnabled) << text;
    EXPECT_FALSE(freshView.pictureEnabled) << text;
    EXPECT_EQ(freshView.windowCaption, "CAD工具集[动态更新]") << text;
    fresh.openToolLink();
    fresh.showToolPicture();
    EXPECT_EQ(freshView.pictures, std::vector<std::string>{""}) << text;
  }
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(ToolListTest, LinksAndPicturesThatAreNotWebAddressesAreNeitherOpenedNorFetched) {
  serve("v#p#@Calc#C:\\Windows\\System32\\calc.exe#file:///C:/x.png@Mail#mailto:a@b#ftp://x/p.png");
  presenter.loadToolList();
  ASSERT_EQ(view.rows.size(), 1u);  // "@b" splits the second record; "b" alone is too short
  presenter.openToolLink();
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_EQ(view.pictures, std::vector<std::string>{""});
  EXPECT_EQ(fetcher.requests.size(), 1u);  // the text only
}

TEST_F(ToolListTest, AnOversizedPictureIsAFailedDownload) {
  serve("v#p#@A#https://a.example/#https://a.example/big.png");
  fetcher.bodies["https://a.example/big.png"] = std::string(kMaxPictureBytes + 1, 'x');
  presenter.loadToolList();
  EXPECT_EQ(view.pictures, std::vector<std::string>{""});
  EXPECT_TRUE(view.pictureEnabled);
}

TEST_F(ToolListTest, EachLoadStartsFromAnEmptyRecordList) {
  serve("v#p#@A#https://a.example/#https://a.example/a.png");
  presenter.loadToolList();
  FakeToolListView secondView;
  ToolListPresenter second{secondView, fetcher, shell, std::string(kAddress)};
  serve("v#p#@C#https://c.example/#https://c.example/c.png");
  second.loadToolList();
  second.openToolLink();
  ASSERT_EQ(second.toolRecords().size(), 1u);
  EXPECT_EQ(second.toolRecords()[0].toolName, "C");
  EXPECT_EQ(shell.opened, std::vector<std::string>{"https://c.example/"});
  presenter.loadToolList();  // the same presenter again: no records of the previous load remain
  EXPECT_EQ(presenter.toolRecords().size(), 1u);
}

}  // namespace
}  // namespace plenvo
