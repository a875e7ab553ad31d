// Natural name order, folder expansion and output-is-an-input detection of plenvo-merge.
#include "cli/input_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>

namespace plenvo::cli {
namespace {

namespace fs = std::filesystem;

TEST(NaturalOrder, DigitsByValueCaseIgnored) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  const Case cases[] = {
      {"a2", "a10", true},     {"a10", "a2", false},  {"A2", "a10", true},     {"a", "B", true},
      {"B", "a", false},       {"a", "a1", true},     {"x007", "x8", true},    {"x10.dxf", "x9.dxf", false},
      {"图9", "图10", true},   {"v1.2", "v1.10", true}, {"a", "a", false},
      // Equal in natural order: plain byte order decides, so the order is total.
      {"File", "file", true},  {"file", "File", false}, {"x01", "x1", true},
  };
  for (const Case& c : cases) EXPECT_EQ(naturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}

class Folder : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    dir_ = fs::temp_directory_path() /
           pathFromUtf8("plenvo-cli-图纸-" +
                        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                        std::to_string(counter++));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string touch(const std::string& name) {
    const fs::path p = dir_ / pathFromUtf8(name);
    std::ofstream(p) << "0\nEOF\n";
    return utf8FromPath(p);
  }
  fs::path dir_;
};

TEST_F(Folder, ExpandsToItsDxfFilesInNaturalOrder) {
  touch("p10.dxf");
  touch("p9.DXF");
  touch("零件2.dxf");
  touch("notes.txt");
  touch("p1.dxf.bak");
  fs::create_directory(dir_ / "sub.dxf");  // a folder, however named, is not a drawing
  const InputList list = expandInputs({utf8FromPath(dir_), "missing.dxf"});
  ASSERT_EQ(list.drawings.size(), 4u);
  EXPECT_EQ(utf8FromPath(pathFromUtf8(list.drawings[0]).filename()), "p9.DXF");
  EXPECT_EQ(utf8FromPath(pathFromUtf8(list.drawings[1]).filename()), "p10.dxf");
  EXPECT_EQ(utf8FromPath(pathFromUtf8(list.drawings[2]).filename()), "零件2.dxf");
  EXPECT_EQ(list.drawings[3], "missing.dxf");  // left to the reader, which names it
  EXPECT_TRUE(list.problems.empty());
}

TEST_F(Folder, AnEmptyFolderIsAProblem) {
  const InputList list = expandInputs({utf8FromPath(dir_)});
  EXPECT_TRUE(list.drawings.empty());
  ASSERT_EQ(list.problems.size(), 1u);
  EXPECT_NE(list.problems[0].find("no .dxf files"), std::string::npos);
}

TEST_F(Folder, SameFileSeesThroughPathSpellings) {
  const std::string a = touch("a.dxf");
  touch("b.dxf");
  fs::create_directory(dir_ / "sub");
  const std::string dir = utf8FromPath(dir_);
  EXPECT_TRUE(sameFile(a, a));
  EXPECT_TRUE(sameFile(dir + "/sub/../a.dxf", a));
  EXPECT_TRUE(sameFile(dir + "/./a.dxf", a));
  EXPECT_FALSE(sameFile(dir + "/b.dxf", a));
  EXPECT_FALSE(sameFile(dir + "/new.dxf", a));  // an output that is not there yet
  EXPECT_TRUE(sameFile(dir + "/sub/../new.dxf", dir + "/new.dxf"));
#ifndef _WIN32
  fs::create_symlink(dir_ / "a.dxf", dir_ / "link.dxf");
  EXPECT_TRUE(sameFile(dir + "/link.dxf", a));
  fs::create_hard_link(dir_ / "a.dxf", dir_ / "hard.dxf");
  EXPECT_TRUE(sameFile(dir + "/hard.dxf", a));
#endif
}

}  // namespace
}  // namespace plenvo::cli
