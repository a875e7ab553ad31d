// Reading drawings ahead on a second thread: the hand-off between the reader and the insertion (order,
// fall-back, errors, shutdown with work pending), and the same results through the engine with the hint.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "cad/dxf/dxf_application.h"
#include "cad/dxf/dxf_read_ahead.h"
#include "dxf_test_support.h"

namespace plenvo::dxf {
namespace {

using namespace std::chrono_literals;

// A loader that notes what it was asked for; "bad..." fails, "throw..." throws, "slow..." takes a while.
struct FakeLoader {
  std::mutex mutex;
  std::vector<std::string> calls;
  std::vector<std::thread::id> threads;  // which thread read each
  std::unique_ptr<SourceFile> load(const std::string& path, std::string& error) {
    {
      std::lock_guard lock(mutex);
      calls.push_back(path);
      threads.push_back(std::this_thread::get_id());
    }
    if (path.rfind("slow", 0) == 0) std::this_thread::sleep_for(100ms);
    if (path.rfind("throw", 0) == 0) throw std::runtime_error("no memory");
    if (path.rfind("bad", 0) == 0) {
      error = path + ": no such file";
      return nullptr;
    }
    auto src = std::make_unique<SourceFile>();
    src->path = path;
    return src;
  }
  std::vector<std::string> seen() {
    std::lock_guard lock(mutex);
    return calls;
  }
  std::thread::id readerOf(const std::string& path) {
    std::lock_guard lock(mutex);
    const auto at = std::find(calls.begin(), calls.end(), path);
    return at == calls.end() ? std::thread::id() : threads[static_cast<std::size_t>(at - calls.begin())];
  }
  ReadAhead::Loader fn() {
    return [this](const std::string& path, std::string& error) { return load(path, error); };
  }
};

TEST(ReadAhead, HandsOverTheAnnouncedFilesInOrderWithTheirErrors) {
  FakeLoader loader;
  ReadAhead ahead({"a.dxf", "bad.dxf", "slow.dxf", "a.dxf", "c.dxf"}, loader.fn());
  auto a = ahead.take("a.dxf");
  ASSERT_TRUE(a && a->src);
  EXPECT_EQ(a->src->path, "a.dxf");
  auto bad = ahead.take("bad.dxf");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->src, nullptr);
  EXPECT_EQ(bad->error, "bad.dxf: no such file");
  auto slow = ahead.take("slow.dxf");  // waits for the reader
  ASSERT_TRUE(slow && slow->src);
  EXPECT_EQ(slow->src->path, "slow.dxf");
  auto c = ahead.take("c.dxf");
  ASSERT_TRUE(c && c->src);
  // Each file read once (by the reader, or by the caller while the reader was on slow.dxf); a file named
  // twice is read once.
  auto seen = loader.seen();
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"a.dxf", "bad.dxf", "c.dxf", "slow.dxf"}));
  EXPECT_FALSE(ahead.take("c.dxf"));  // taken already: read by the caller
}

TEST(ReadAhead, TheCallerReadsTheNextFilesWhileTheReaderIsOnASlowOne) {
  FakeLoader loader;
  ReadAhead ahead({"slow.dxf", "b.dxf", "c.dxf", "d.dxf"}, loader.fn(), 2);
  while (loader.seen().empty()) std::this_thread::sleep_for(1ms);  // the reader is on slow.dxf
  auto slow = ahead.take("slow.dxf");
  ASSERT_TRUE(slow && slow->src);
  EXPECT_EQ(slow->src->path, "slow.dxf");
  const auto self = std::this_thread::get_id();
  EXPECT_NE(loader.readerOf("slow.dxf"), self);
  // Two files ahead of the one waited for, read here meanwhile, and handed over in order.
  EXPECT_EQ(loader.readerOf("b.dxf"), self);
  EXPECT_EQ(loader.readerOf("c.dxf"), self);
  for (const char* path : {"b.dxf", "c.dxf", "d.dxf"}) {
    auto next = ahead.take(path);
    ASSERT_TRUE(next && next->src) << path;
    EXPECT_EQ(next->src->path, path);
  }
  const auto seen = loader.seen();
  EXPECT_EQ(seen.size(), 4u);
}

TEST(ReadAhead, FilesOutOfTheAnnouncedOrderAreLeftToTheCaller) {
  FakeLoader loader;
  ReadAhead ahead({"a.dxf", "b.dxf", "c.dxf", "d.dxf"}, loader.fn());
  EXPECT_FALSE(ahead.take("frame.dxf"));  // never announced
  auto a = ahead.take("a.dxf");            // still there after the miss
  ASSERT_TRUE(a && a->src);
  auto c = ahead.take("c.dxf");  // b skipped
  ASSERT_TRUE(c && c->src);
  EXPECT_EQ(c->src->path, "c.dxf");
  EXPECT_FALSE(ahead.take("b.dxf"));  // behind: read by the caller
  EXPECT_FALSE(ahead.take("a.dxf"));
  auto d = ahead.take("d.dxf");
  ASSERT_TRUE(d && d->src);
  const auto seen = loader.seen();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "d.dxf"), 1);
}

TEST(ReadAhead, AFileTheReaderGaveUpOnIsLeftToTheCaller) {
  FakeLoader loader;
  ReadAhead ahead({"throw.dxf", "b.dxf"}, loader.fn());
  EXPECT_FALSE(ahead.take("throw.dxf"));
  auto b = ahead.take("b.dxf");
  ASSERT_TRUE(b && b->src);
}

TEST(ReadAhead, ReadsOnlyAFewFilesAheadAndStopsWithWorkPending) {
  FakeLoader loader;
  {
    ReadAhead ahead({"a.dxf", "b.dxf", "c.dxf", "d.dxf"}, loader.fn(), 2);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(loader.seen(), (std::vector<std::string>{"a.dxf", "b.dxf"}));  // nothing taken: two ahead
  }
  {
    // Destroyed while a file is being read and others wait: joins without taking anything.
    ReadAhead ahead({"slow1.dxf", "slow2.dxf", "slow3.dxf"}, loader.fn(), 2);
    std::this_thread::sleep_for(20ms);
  }
  const auto seen = loader.seen();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "slow3.dxf"), 0);
}

// Through the engine: the hint changes nothing of what is inserted or reported.
TEST(ReadAhead, TheEngineGivesTheSameResultsWithTheHint) {
  plenvo::testing::TempDir dir;
  testing::Drawing drawing;
  drawing.entities = "0|LINE|8|0|10|0|20|0|30|0|11|5|21|2|31|0";
  const std::string one = dir.file("one.dxf"), two = dir.file("two.dxf"), frame = dir.file("frame.dxf");
  const std::string missing = dir.file("missing.dxf"), broken = dir.file("broken.dxf");
  plenvo::testing::writeBytes(one, drawing.text());
  plenvo::testing::writeBytes(frame, drawing.text());
  drawing.entities = "0|CIRCLE|8|0|10|1|20|1|30|0|40|3";
  plenvo::testing::writeBytes(two, drawing.text());
  plenvo::testing::writeBytes(broken, "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nx\n");
  const std::vector<std::string> order{one, missing, broken, two, one};

  struct Result {
    std::vector<std::string> errors;
    std::vector<std::optional<Extents>> boxes;
    std::string saved;
  };
  auto run = [&](bool hint) {
    Result r;
    auto app = DxfApplication::create();
    if (hint) app->readAhead(order);
    auto space = app->activeDocument()->modelSpace();
    for (const std::string& path : order) {
      auto e = space->insertBlock({0, 0, 0}, path, 1, 1, 1, 0);
      r.errors.push_back(app->lastError());
      r.boxes.push_back(e ? e->boundingBox() : std::nullopt);
      if (e) {
        EXPECT_TRUE(e->move({0, 0, 0}, {100, 50, 0}));
      }
      r.boxes.push_back(e ? e->boundingBox() : std::nullopt);
      auto f = space->insertBlock({0, 0, 0}, frame, 1, 1, 1, 0);  // not announced
      EXPECT_TRUE(f);
    }
    const std::string out = dir.file(hint ? "hint.dxf" : "plain.dxf");
    EXPECT_TRUE(app->saveAs(out));
    r.saved = plenvo::testing::readBytes(out);
    return r;
  };
  const Result plain = run(false), hinted = run(true);
  EXPECT_EQ(hinted.errors, plain.errors);
  EXPECT_EQ(plain.errors[1].rfind(missing + ": ", 0), 0u) << plain.errors[1];
  EXPECT_EQ(plain.errors[2].rfind(broken + ": ", 0), 0u) << plain.errors[2];
  ASSERT_EQ(hinted.boxes.size(), plain.boxes.size());
  for (std::size_t i = 0; i < plain.boxes.size(); ++i) {
    ASSERT_EQ(hinted.boxes[i].has_value(), plain.boxes[i].has_value()) << i;
    if (!plain.boxes[i]) continue;
    EXPECT_DOUBLE_EQ(hinted.boxes[i]->minX, plain.boxes[i]->minX) << i;
    EXPECT_DOUBLE_EQ(hinted.boxes[i]->maxY, plain.boxes[i]->maxY) << i;
  }
  // A move carries the measured box along.
  ASSERT_TRUE(plain.boxes[0] && plain.boxes[1]);
  EXPECT_DOUBLE_EQ(plain.boxes[1]->minX, plain.boxes[0]->minX + 100);
  EXPECT_DOUBLE_EQ(plain.boxes[1]->maxX, plain.boxes[0]->maxX + 100);
  EXPECT_DOUBLE_EQ(plain.boxes[1]->minY, plain.boxes[0]->minY + 50);
  EXPECT_EQ(hinted.saved, plain.saved);
}

}  // namespace
}  // namespace plenvo::dxf
