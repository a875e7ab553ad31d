// End-to-end tests of the COM client under Wine: plenvo-cad-server processes stand in for the running CAD
// applications; the real running-object lookup finds them, the merge runs through late-bound calls, and
// what the server's engine received (call log) or holds (DXF, compared by compare_merges.py) must match the
// same merge done in-process. Also busy servers, a server that dies mid-run, and references left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cad/cad_connection.h"
#include "cad/com/com_cad.h"
#include "cad/dxf/dxf_application.h"
#include "cad/merge_run.h"
#include "core/tables.h"
#include "core/text_codec.h"
#include "support/recording_cad.h"
#include "win/unique_handle.h"

namespace plenvo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Unix paths of the build reach the Windows side through Wine's Z: drive.
std::string windowsPath(const std::string& unixPath) {
  std::string out = "Z:" + unixPath;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

std::string samplePath(const std::string& name) { return windowsPath(std::string(PLENVO_SOURCE_DIR) + "/samples/" + name); }
std::string partFramePath() { return windowsPath(std::string(PLENVO_SOURCE_DIR) + "/resources/part_frame.dxf"); }
std::string outPath(const std::string& name) { return windowsPath(std::string(PLENVO_COM_OUT) + "/" + name); }

const std::vector<std::string>& sampleDrawings() {
  static const std::vector<std::string> paths = {
      samplePath("bracket.dxf"),    samplePath("flange.dxf"),       samplePath("gasket_r12.dxf"),
      samplePath("nested_assembly.dxf"), samplePath("plate_with_holes.dxf"), samplePath("shaft_r2018.dxf"),
      samplePath("title_block_中文.dxf")};
  return paths;
}

long elapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class NoSleep final : public Sleeper {
 public:
  void sleepMs(int) override {}
};

struct ServerSpec {
  std::vector<std::string> progIds;
  std::string name;
  std::string engine = "recording";
  long busyFrom = -1, busyCount = 0, quitAfter = -1;
  std::vector<std::string> failPaths;
  std::string savePath;  // Windows path
};

// One plenvo-cad-server process, started and registered in the running-object table.
class ServerProcess {
 public:
  explicit ServerProcess(const ServerSpec& spec) {
    static int serial = 0;
    const std::wstring tag = L"Local\\PlenvoComE2E." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                             std::to_wstring(++serial);
    ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, (tag + L".ready").c_str()));
    exit_.reset(::CreateEventW(nullptr, TRUE, FALSE, (tag + L".exit").c_str()));
    reportPath_ = std::string(PLENVO_COM_OUT) + "/report-" + std::to_string(::GetCurrentProcessId()) + "-" +
                  std::to_string(serial) + ".txt";
    std::error_code ignored;
    fs::remove(reportPath_, ignored);

    std::wstring cmd = L"\"" + utf8ToWide(windowsPath(PLENVO_CAD_SERVER)) + L"\"";
    auto arg = [&cmd](const std::wstring& option, const std::wstring& value) {
      cmd += L" " + option + L" \"" + value + L"\"";
    };
    for (const std::string& p : spec.progIds) arg(L"--progid", utf8ToWide(p));
    arg(L"--name", utf8ToWide(spec.name));
    arg(L"--engine", utf8ToWide(spec.engine));
    arg(L"--ready-event", tag + L".ready");
    arg(L"--exit-event", tag + L".exit");
    arg(L"--report", utf8ToWide(windowsPath(reportPath_)));
    if (!spec.savePath.empty()) arg(L"--save-on-exit", utf8ToWide(spec.savePath));
    if (spec.busyCount > 0) {
      arg(L"--busy-from", std::to_wstring(spec.busyFrom));
      arg(L"--busy-count", std::to_wstring(spec.busyCount));
    }
    if (spec.quitAfter >= 0) arg(L"--quit-after", std::to_wstring(spec.quitAfter));
    for (const std::string& p : spec.failPaths) arg(L"--fail-path", utf8ToWide(p));

    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                          &pi))
      return;
    process_.reset(pi.hProcess);
    win::unique_handle thread(pi.hThread);
    const HANDLE waitOn[] = {ready_.get(), process_.get()};
    started_ = ::WaitForMultipleObjects(2, waitOn, FALSE, 20000) == WAIT_OBJECT_0;
  }
  ~ServerProcess() {
    if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      ::SetEvent(exit_.get());
      if (::WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) ::TerminateProcess(process_.get(), 9);
    }
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool started() const { return started_; }
  bool exited(DWORD waitMs = 0) const { return ::WaitForSingleObject(process_.get(), waitMs) == WAIT_OBJECT_0; }
  DWORD exitCode() const {
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  // Asks the server to save (when --save-on-exit was given), report and exit; the report's values.
  std::map<std::string, long> stop() {
    ::SetEvent(exit_.get());
    std::map<std::string, long> values;
    if (!exited(20000)) return values;
    std::ifstream in(reportPath_);
    std::string line;
    while (std::getline(in, line))
      if (auto eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = std::stol(line.substr(eq + 1));
    return values;
  }

 private:
  win::unique_handle ready_, exit_, process_;
  std::string reportPath_;
  bool started_ = false;
};

// A test member of the server's application object, read through the client's own late-bound call.
long serverNumber(CadApplication& app, const wchar_t* member) {
  const com::DispatchObject* object = com::dispatchOf(app);
  if (!object) return -1;
  com::DispatchObject copy = *object;
  win::unique_variant value;
  if (FAILED(copy.get(member, value)) || FAILED(::VariantChangeType(value.get(), value.get(), 0, VT_I4))) return -1;
  return value->lVal;
}

std::string serverName(CadApplication& app) {
  const com::DispatchObject* object = com::dispatchOf(app);
  if (!object) return "(not a COM application)";
  com::DispatchObject copy = *object;
  win::unique_variant value;
  if (FAILED(copy.get(L"Name", value)) || value.type() != VT_BSTR) return "(no name)";
  return wideToUtf8(value->bstrVal);
}

std::vector<std::string> readLines(const std::string& unixPath) {
  std::ifstream in(unixPath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string unixOut(const std::string& name) { return std::string(PLENVO_COM_OUT) + "/" + name; }

class ComE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Drawings of an earlier run must not be compared as this run's.
    std::error_code ignored;
    fs::remove_all(PLENVO_COM_OUT, ignored);
    fs::create_directories(PLENVO_COM_OUT);
  }
  void SetUp() override { ASSERT_TRUE(com_.ok()); }
  // Short retry delays so that busy cases take milliseconds, not seconds.
  com::BusyRetryPolicy fastRetry_{5, 40, 3000};
  com::ComThreadScope com_{fastRetry_};
};

// --- Finding the running application --------------------------------------------------------------------

struct ConnectionCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> running;  // ProgID, server name
  std::string versionTable;
  bool connected;
  std::string title;
  std::string serverName;
};

TEST_F(ComE2E, LookupFollowsTheConnectionOrderAcrossRunningServers) {
  const std::string table(kDefaultVersionTable);
  const std::vector<ConnectionCase> cases = {
      {"only AutoCAD 2022", {{"Autocad.Application.24.1", "acad2022"}}, table, true,
       "Plenvo_v3.3  [当前CAD: 2022版本]", "acad2022"},
      {"two AutoCAD releases: the last entry of the table that answers",
       {{"Autocad.Application.24.1", "acad2022"}, {"Autocad.Application.16", "acad2004"}}, table, true,
       "Plenvo_v3.3  [当前CAD: 2022版本]", "acad2022"},
      {"AutoCAD and ZWCAD: ZWCAD",
       {{"Autocad.Application.24.1", "acad2022"}, {"ZWCAD.Application", "zwcad"}}, table, true,
       "Plenvo_v3.3  [当前CAD: 国产中望CAD]", "zwcad"},
      {"all three: GstarCAD",
       {{"GstarCAD.Application", "gstar"}, {"Autocad.Application.24.1", "acad2022"}, {"ZWCAD.Application", "zwcad"}},
       table, true, "Plenvo_v3.3  [当前CAD: 国产浩辰CAD]", "gstar"},
      {"empty version table: only ZWCAD and GstarCAD are tried",
       {{"Autocad.Application.24.1", "acad2022"}, {"ZWCAD.Application", "zwcad"}}, "", true,
       "Plenvo_v3.3  [当前CAD: 国产中望CAD]", "zwcad"},
      {"empty version table and only AutoCAD running", {{"Autocad.Application.24.1", "acad2022"}}, "", false,
       "Plenvo_v3.3  [未连接到CAD，请打开CAD软件]", ""},
  };
  for (const ConnectionCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::unique_ptr<ServerProcess>> servers;
    for (const auto& [progId, name] : c.running) {
      servers.push_back(std::make_unique<ServerProcess>(ServerSpec{{progId}, name}));
      ASSERT_TRUE(servers.back()->started()) << progId;
    }
    com::ComRunningObjectLookup lookup(fastRetry_);
    CadSession session;
    const ConnectionResult result = connectToCad(c.versionTable, lookup, session);
    EXPECT_EQ(result.connected, c.connected);
    EXPECT_EQ(result.title, c.title);
    if (c.connected) {
      ASSERT_TRUE(session.application);
      EXPECT_EQ(serverName(*session.application), c.serverName);
    } else {
      EXPECT_FALSE(session.application);
    }
  }
}

TEST_F(ComE2E, NothingRunningGivesFalseQuicklyAndAClosedApplicationIsNoLongerFound) {
  com::ComRunningObjectLookup lookup(fastRetry_);
  CadSession session;
  {
    ServerProcess server({{"ZWCAD.Application"}, "zwcad"});
    ASSERT_TRUE(server.started());
    EXPECT_TRUE(connectToCad(std::string(kDefaultVersionTable), lookup, session).connected);
    session.release();
  }
  // Every ProgID is now registered (by earlier servers) or not registered at all, none is running.
  const auto start = Clock::now();
  const ConnectionResult result = connectToCad(std::string(kDefaultVersionTable), lookup, session);
  const long ms = elapsedMs(start);
  EXPECT_FALSE(result.connected);
  EXPECT_EQ(result.title, "Plenvo_v3.3  [未连接到CAD，请打开CAD软件]");
  EXPECT_FALSE(session.application);
  EXPECT_LT(ms, 2000) << "a lookup with nothing running took " << ms << " ms";
  std::printf("[ metric ] connectToCad with nothing running: %ld ms\n", ms);
}

// --- Merging through COM -------------------------------------------------------------------------------

struct MergeCase {
  const char* name;
  LayoutMode mode;
  bool frames, explode;
};

MergeSettings settingsFor(const MergeCase& c) {
  MergeSettings s;
  s.mode = c.mode;
  s.drawFrames = c.frames;
  s.explodeAfterInsert = c.explode;
  s.spacing = 20;
  s.perRowCount = 3;
  s.directedColumns = 2;
  s.directedRows = 2;
  s.sheetLength = 420;
  s.sheetWidth = 297;
  return s;
}

const std::vector<MergeCase>& mergeCases() {
  static const std::vector<MergeCase> cases = {
      {"horizontal_frames", LayoutMode::Horizontal, true, false},
      {"horizontal_frames_explode", LayoutMode::Horizontal, true, true},
      {"vertical_explode", LayoutMode::Vertical, false, true},
      {"mixed_frames_explode", LayoutMode::Mixed, true, true},
      {"directed_frames", LayoutMode::Directed, true, false},
      {"directed_frames_explode", LayoutMode::Directed, true, true},
  };
  return cases;
}

// Connects to the one running server, merges the sample drawings through it, and releases every handle.
std::vector<DrawingOutcome> mergeThroughCom(const MergeSettings& settings, const com::BusyRetryPolicy& policy,
                                            const std::vector<std::string>& paths, Sleeper& sleeper) {
  com::ComRunningObjectLookup lookup(policy);
  CadSession session;
  if (!connectToCad(std::string(kDefaultVersionTable), lookup, session).connected) return {};
  openTarget(session);
  auto outcomes = mergeDrawings(session, settings, paths, partFramePath(), [](int) {}, sleeper);
  session.release();
  return outcomes;
}

TEST_F(ComE2E, MergeThroughComMakesTheSameCallsAsInProcess) {
  // Recording engine behind the server: the server's call log must read exactly like the log of the same
  // merge against the recording fake in this process, busy rejections or not.
  struct Variant {
    const char* what;
    long busyFrom, busyCount;
  };
  const Variant variants[] = {{"plain", -1, 0}, {"busy: 7 calls rejected", 4, 7}};
  for (const MergeCase& c : mergeCases()) {
    for (const Variant& v : variants) {
      SCOPED_TRACE(std::string(c.name) + ", " + v.what);
      const std::string logName = std::string("calls_") + c.name + (v.busyCount ? "_busy" : "") + ".log";
      ServerSpec spec{{"ZWCAD.Application"}, "zwcad"};
      spec.savePath = outPath(logName);
      spec.busyFrom = v.busyFrom;
      spec.busyCount = v.busyCount;
      ServerProcess server(spec);
      ASSERT_TRUE(server.started());
      NoSleep noSleep;
      const auto outcomes = mergeThroughCom(settingsFor(c), fastRetry_, sampleDrawings(), noSleep);
      const auto report = server.stop();

      testing::RecordingCad local;
      CadSession session;
      session.application = local.application();
      openTarget(session);
      const auto expected = mergeDrawings(session, settingsFor(c), sampleDrawings(), partFramePath(), [](int) {}, noSleep);
      session.release();

      ASSERT_EQ(outcomes.size(), expected.size());
      for (size_t i = 0; i < outcomes.size(); ++i) EXPECT_TRUE(outcomes[i].merged()) << i;
      EXPECT_EQ(readLines(unixOut(logName)), local.log());
      EXPECT_EQ(report.at("rejected"), v.busyCount);
      // Every object the client obtained was released when its session was.
      EXPECT_EQ(report.at("live_objects"), 0);
      EXPECT_EQ(report.at("application_refs"), 0);
    }
  }
}

TEST_F(ComE2E, MergeThroughComLeavesTheDrawingAnInProcessMergeLeaves) {
  // The DXF engine behind the server; compare_merges.py then compares each com_*.dxf with its inproc_*.dxf.
  {
    auto probe = dxf::DxfApplication::create();
    auto document = probe->activeDocument();
    auto space = document ? document->modelSpace() : nullptr;
    if (!space || !space->insertBlock({0, 0, 0}, sampleDrawings()[0], 1, 1, 1, 0))
      GTEST_SKIP() << "the DXF engine cannot insert drawings yet";
  }
  for (const MergeCase& c : mergeCases()) {
    for (const bool busy : {false, true}) {
      // The busy server rejects 9 calls from its 10th on, alternating the two busy errors.
      const std::string name = std::string(c.name) + (busy ? "_busy" : "");
      SCOPED_TRACE(name);
      ServerSpec spec{{"GstarCAD.Application"}, "gstar", "dxf"};
      spec.savePath = outPath("com_" + name + ".dxf");
      if (busy) spec.busyFrom = 10, spec.busyCount = 9;
      ServerProcess server(spec);
      ASSERT_TRUE(server.started());
      NoSleep noSleep;
      const auto outcomes = mergeThroughCom(settingsFor(c), fastRetry_, sampleDrawings(), noSleep);
      const auto report = server.stop();
      EXPECT_EQ(report.at("saved"), 1);
      EXPECT_EQ(report.at("live_objects"), 0);

      auto engine = dxf::DxfApplication::create();
      dxf::DxfApplication* dxfEngine = engine.get();
      CadSession session;
      session.application = std::move(engine);
      openTarget(session);
      const auto expected = mergeDrawings(
          session, settingsFor(c), sampleDrawings(), partFramePath(), [](int) {}, noSleep);
      EXPECT_TRUE(dxfEngine->saveAs(outPath("inproc_" + name + ".dxf"))) << dxfEngine->lastError();
      session.release();

      EXPECT_EQ(report.at("rejected"), busy ? 9 : 0);
      ASSERT_EQ(outcomes.size(), expected.size());
      for (size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_EQ(outcomes[i].inserted, expected[i].inserted) << i;
        EXPECT_EQ(outcomes[i].placed, expected[i].placed) << i;
      }
    }
  }
}

// --- Busy and failing calls ----------------------------------------------------------------------------

TEST_F(ComE2E, BusyRetriesStopAtTheirBoundAndFailedCallsAreNotRetried) {
  const std::string failing = samplePath("bracket.dxf");
  ServerSpec spec{{"ZWCAD.Application"}, "zwcad"};
  spec.failPaths = {failing};
  spec.busyFrom = 9;
  spec.busyCount = 1000000;  // from call 9 on the server is busy for good
  ServerProcess server(spec);
  ASSERT_TRUE(server.started());

  com::BusyRetryPolicy policy{5, 40, 400};
  com::ComRunningObjectLookup lookup(policy);
  CadSession session;
  ASSERT_TRUE(connectToCad(std::string(kDefaultVersionTable), lookup, session).connected);
  openTarget(session);  // calls 1-6: ActiveDocument, ModelSpace, Layers, Exists, Add, Color
  ASSERT_TRUE(session.modelSpace);

  // A call that fails inside the application (DISP_E_EXCEPTION) is made once and fails at once.
  EXPECT_EQ(serverNumber(*session.application, L"CallCount"), 7);
  auto start = Clock::now();
  EXPECT_FALSE(session.modelSpace->insertBlock({0, 0, 0}, failing, 1, 1, 1, 0));
  EXPECT_LT(elapsedMs(start), 300);

  // Busy for good: retried with growing delays until the bound, then an empty result.
  start = Clock::now();
  EXPECT_FALSE(session.modelSpace->insertBlock({0, 0, 0}, samplePath("flange.dxf"), 1, 1, 1, 0));
  const long ms = elapsedMs(start);
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 1500);
  session.release();
  const auto report = server.stop();
  // The failing insertion was call 8 and made once; every later call was a rejected attempt.
  EXPECT_EQ(report.at("calls"), 8 + report.at("rejected"));
  // 5 + 10 + 20 + 40 + 40 + ... ms up to 400 ms: far more than one attempt, far fewer than a busy loop.
  EXPECT_GE(report.at("rejected"), 5);
  EXPECT_LE(report.at("rejected"), 40);
  std::printf("[ metric ] a call busy for good gave up after %ld ms and %ld attempts\n", ms, report.at("rejected"));
}

TEST_F(ComE2E, ServerThatQuitsMidRunEndsTheRunQuicklyWithoutCrashing) {
  ServerSpec spec{{"ZWCAD.Application"}, "zwcad"};
  spec.quitAfter = 30;  // dies during the third or fourth drawing
  ServerProcess server(spec);
  ASSERT_TRUE(server.started());
  std::vector<std::string> paths;
  for (int i = 0; i < 20; ++i) paths.push_back(sampleDrawings()[i % sampleDrawings().size()]);

  com::ComRunningObjectLookup lookup(fastRetry_);
  CadSession session;
  ASSERT_TRUE(connectToCad(std::string(kDefaultVersionTable), lookup, session).connected);
  openTarget(session);
  NoSleep noSleep;
  MergeCase c{"horizontal", LayoutMode::Horizontal, true, true};
  const auto start = Clock::now();
  const auto outcomes = mergeDrawings(session, settingsFor(c), paths, partFramePath(), [](int) {}, noSleep);
  const long ms = elapsedMs(start);
  session.release();

  EXPECT_TRUE(server.exited(5000));
  EXPECT_EQ(server.exitCode(), 3u);
  ASSERT_EQ(outcomes.size(), paths.size());
  EXPECT_TRUE(outcomes.front().merged());
  EXPECT_FALSE(outcomes.back().inserted);
  EXPECT_LT(ms, 5000) << "the run after the server died took " << ms << " ms";
  std::printf("[ metric ] 20-drawing run with the server dying after 30 calls: %ld ms\n", ms);
  // And the next connection no longer finds it.
  EXPECT_FALSE(connectToCad(std::string(kDefaultVersionTable), lookup, session).connected);
}

TEST_F(ComE2E, ServerReportsReferencesTheClientStillHolds) {
  // The check behind "no reference left": it must see one when there is one.
  ServerProcess server({{"ZWCAD.Application"}, "zwcad"});
  ASSERT_TRUE(server.started());
  com::ComRunningObjectLookup lookup(fastRetry_);
  CadSession session;
  ASSERT_TRUE(connectToCad(std::string(kDefaultVersionTable), lookup, session).connected);
  openTarget(session);
  std::unique_ptr<CadEntity> kept =
      session.modelSpace->insertBlock({0, 0, 0}, samplePath("flange.dxf"), 1, 1, 1, 0);
  ASSERT_TRUE(kept);
  std::unique_ptr<CadApplication> keptApplication = std::move(session.application);
  session.release();
  const auto report = server.stop();
  EXPECT_EQ(report.at("live_objects"), 1);  // the block reference still held here
  EXPECT_GE(report.at("application_refs"), 1);  // and the application
}

// --- Timing (not run by default: --gtest_also_run_disabled_tests) -------------------------------------

// 50 drawings in rows with frames, through COM into the DXF engine of a server and in-process, without the
// run's pauses and with them.
TEST_F(ComE2E, DISABLED_Measure50DrawingMerge) {
  // 50 distinct files (copies of the samples), so that no engine can take a block it already has.
  const std::vector<std::string> samples = {"bracket.dxf", "flange.dxf", "gasket_r12.dxf", "nested_assembly.dxf",
                                            "plate_with_holes.dxf", "shaft_r2018.dxf"};
  std::vector<std::string> paths;
  fs::create_directories(std::string(PLENVO_COM_OUT) + "/bench");
  for (int i = 0; i < 50; ++i) {
    const std::string& sample = samples[static_cast<size_t>(i) % samples.size()];
    const std::string copy = "/bench/d" + std::to_string(i) + "_" + sample;
    fs::copy_file(std::string(PLENVO_SOURCE_DIR) + "/samples/" + sample, std::string(PLENVO_COM_OUT) + copy,
                  fs::copy_options::overwrite_existing);
    paths.push_back(windowsPath(std::string(PLENVO_COM_OUT) + copy));
  }
  const MergeSettings settings = settingsFor({"rows", LayoutMode::Horizontal, true, false});
  NoSleep noSleep;
  RealSleeper realSleeper;
  for (Sleeper* sleeper : {static_cast<Sleeper*>(&noSleep), static_cast<Sleeper*>(&realSleeper)}) {
    const char* pauses = sleeper == &noSleep ? "without pauses" : "with pauses";
    {
      ServerProcess server({{"ZWCAD.Application"}, "zwcad", "dxf"});
      ASSERT_TRUE(server.started());
      com::ComRunningObjectLookup lookup;  // the product's policy
      CadSession session;
      const auto start = Clock::now();
      ASSERT_TRUE(connectToCad(std::string(kDefaultVersionTable), lookup, session).connected);
      openTarget(session);
      const auto outcomes = mergeDrawings(session, settings, paths, partFramePath(), [](int) {}, *sleeper);
      session.release();
      const long ms = elapsedMs(start);
      int merged = 0;
      for (const auto& o : outcomes) merged += o.merged();
      EXPECT_EQ(merged, 50);
      std::printf("[ metric ] 50 drawings through COM, %s: %ld ms\n", pauses, ms);
    }
    {
      CadSession session;
      const auto start = Clock::now();
      session.application = dxf::DxfApplication::create();
      openTarget(session);
      const auto outcomes = mergeDrawings(session, settings, paths, partFramePath(), [](int) {}, *sleeper);
      session.release();
      const long ms = elapsedMs(start);
      int merged = 0;
      for (const auto& o : outcomes) merged += o.merged();
      EXPECT_EQ(merged, 50);
      std::printf("[ metric ] 50 drawings in-process, %s: %ld ms\n", pauses, ms);
    }
  }
}

#ifdef PLENVO_MERGE_EXE
// --- plenvo-merge --into-cad ---------------------------------------------------------------------------

// Runs plenvo-merge with the arguments; its exit code (-1 when it did not end within a minute).
long runPlenvoMerge(const std::wstring& arguments) {
  std::wstring cmd = L"\"" + utf8ToWide(windowsPath(PLENVO_MERGE_EXE)) + L"\" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return -1;
  win::unique_handle process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 9);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return static_cast<long>(code);
}

TEST_F(ComE2E, PlenvoMergeIntoCadMergesIntoTheRunningApplication) {
  const std::wstring samples = L"\"" + utf8ToWide(windowsPath(std::string(PLENVO_SOURCE_DIR) + "/samples")) + L"\"";
  // Nothing running: an error, nothing merged.
  EXPECT_EQ(runPlenvoMerge(L"--into-cad -q " + samples), 1);
  // -o makes no sense when the result stays in the CAD application.
  EXPECT_EQ(runPlenvoMerge(L"--into-cad " + samples + L" -o out.dxf"), 2);

  ServerSpec spec{{"Autocad.Application.24.1"}, "acad2022"};
  spec.savePath = outPath("calls_into_cad.log");
  ServerProcess server(spec);
  ASSERT_TRUE(server.started());
  EXPECT_EQ(runPlenvoMerge(L"--into-cad -q --frames " + samples), 0);
  const auto report = server.stop();
  EXPECT_EQ(report.at("live_objects"), 0);
  int inserted = 0, framed = 0;
  for (const std::string& line : readLines(unixOut("calls_into_cad.log"))) {
    inserted += line.rfind("modelSpace.insertBlock(", 0) == 0 && line.find("failed") == std::string::npos;
    framed += line.rfind("modelSpace.addLightweightPolyline(", 0) == 0;
  }
  EXPECT_EQ(inserted, static_cast<int>(sampleDrawings().size()));
  EXPECT_EQ(framed, static_cast<int>(sampleDrawings().size()));
}
#endif

}  // namespace
}  // namespace plenvo
