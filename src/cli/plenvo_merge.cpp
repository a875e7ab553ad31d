// plenvo-merge: the merge of the main window, run by the embedded DXF engine from the command line.
// The same SheetLayout and mergeDrawings as the window put every drawing at the same place; the engine
// writes the result as one DXF.
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#else
#include <unistd.h>
#endif

#include "cad/dxf/dxf_application.h"
#include "cad/merge_run.h"
#include "cli/cli_options.h"
#include "cli/input_files.h"
#ifdef _WIN32
#include "cli/merge_into_cad_win.h"
#endif
#include "cli/recording_session.h"

namespace plenvo::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kExitMerged = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;

const char* const kProgram = "plenvo-merge";

bool isTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

// Writes UTF-8 text. A Windows console gets UTF-16 so that Chinese names show; files and pipes get UTF-8.
class Output {
 public:
  explicit Output(std::FILE* stream) : stream_(stream), terminal_(isTerminal(stream)) {
#ifdef _WIN32
    if (terminal_) _setmode(_fileno(stream_), _O_U16TEXT);
#endif
  }
  bool terminal() const { return terminal_; }
  void write(const std::string& text) {
#ifdef _WIN32
    if (terminal_) {
      std::fputws(pathFromUtf8(text).wstring().c_str(), stream_);
      std::fflush(stream_);
      return;
    }
#endif
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
  }

 private:
  std::FILE* stream_;
  bool terminal_;
};

// The pauses of the merge run give a live CAD application time to redraw between automation calls. The
// engine works in memory and has nothing to wait for, so the command line does not pause at all.
class NoPause final : public Sleeper {
 public:
  void sleepMs(int) override {}
};

std::optional<fs::path> executableDir() {
  std::error_code ec;
#ifdef _WIN32
  if (_wpgmptr && *_wpgmptr) return fs::path(_wpgmptr).parent_path();
  return std::nullopt;
#else
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return std::nullopt;
  return self.parent_path();
#endif
}

// The carried part frame: beside the executable (Windows, and the build tree, where the build copies it),
// then in ../share/plenvo (installed), then in the source tree this program was built from.
std::optional<std::string> findPartFrame() {
  std::vector<fs::path> candidates;
  if (auto dir = executableDir()) {
    candidates.push_back(*dir / "part_frame.dxf");
    candidates.push_back(*dir / ".." / "share" / "plenvo" / "part_frame.dxf");
  }
#ifdef PLENVO_SOURCE_DIR
  candidates.push_back(pathFromUtf8(PLENVO_SOURCE_DIR) / "resources" / "part_frame.dxf");
#endif
  for (const fs::path& p : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return utf8FromPath(p.lexically_normal());
  }
  return std::nullopt;
}

// "[#####.....]  12/200 name.dxf", redrawn in place on a terminal.
class ProgressBar {
 public:
  ProgressBar(Output& out, int total) : out_(out), total_(total) {}
  void show(int done, const std::string& name) {
    constexpr int kWidth = 30;
    const int filled = total_ > 0 ? done * kWidth / total_ : kWidth;
    std::string line = "\r[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
                       std::to_string(done) + "/" + std::to_string(total_) + " ";
    std::string shown = name;
    if (shown.size() > 40) shown = "..." + shown.substr(shown.size() - 37);
    line += shown;
    // Blank out what a longer previous line left behind.
    const std::size_t length = line.size();
    if (length < lastLength_) line += std::string(lastLength_ - length, ' ');
    lastLength_ = length;
    out_.write(line);
    visible_ = true;
  }
  void clear() {
    if (!visible_) return;
    out_.write("\r" + std::string(lastLength_, ' ') + "\r");
    visible_ = false;
  }

 private:
  Output& out_;
  int total_;
  std::size_t lastLength_ = 0;
  bool visible_ = false;
};

std::string baseName(const std::string& path) { return utf8FromPath(pathFromUtf8(path).filename()); }

// "path: reason", with the path as the user gave it: the engine's reasons start with the file's name only,
// which is ambiguous when two folders hold files of the same name.
std::string aboutFile(const std::string& path, const std::string& reason) {
  if (reason.rfind(path + ":", 0) == 0) return reason;
  const std::string name = baseName(path) + ": ";
  if (reason.rfind(name, 0) == 0) return path + ": " + reason.substr(name.size());
  return path + ": " + reason;
}

int run(const std::vector<std::string>& args) {
  Output out(stdout);
  Output err(stderr);
  auto usageError = [&](const std::string& message) {
    err.write(std::string(kProgram) + ": " + message + "\nTry '" + kProgram + " --help' for more.\n");
    return kExitUsage;
  };

  const ParsedCommandLine parsed = parseCommandLine(args);
  if (parsed.action == ParsedCommandLine::Action::Help) {
    out.write(helpText(kProgram));
    return kExitMerged;
  }
  if (parsed.action == ParsedCommandLine::Action::UsageError) return usageError(parsed.error);
  const MergeCommand& cmd = parsed.command;

  InputList inputs = expandInputs(cmd.inputs);
  for (const std::string& problem : inputs.problems) err.write(std::string(kProgram) + ": " + problem + "\n");
  if (inputs.drawings.empty()) return usageError("no input drawings to merge");

  std::string partFrame;
  if (cmd.settings.mode == LayoutMode::Directed) {
    if (!cmd.partFrame.empty()) {
      partFrame = cmd.partFrame;
    } else if (auto found = findPartFrame()) {
      partFrame = *found;
    } else {
      return usageError("the part frame (part_frame.dxf) was not found beside the program; give --part-frame FILE");
    }
  }

  // Never write over something being read.
  std::vector<std::string> readPaths = inputs.drawings;
  if (!cmd.target.empty()) readPaths.push_back(cmd.target);
  if (!partFrame.empty()) readPaths.push_back(partFrame);
  for (const std::string& input : readPaths) {
    if (sameFile(cmd.output, input))
      return usageError("the output " + cmd.output + " is also an input (" + input + "); choose another -o");
  }

  auto engine = dxf::DxfApplication::create();
  if (!engine) {
    err.write(std::string(kProgram) + ": the DXF engine could not start\n");
    return kExitSomeFailed;
  }
  if (!cmd.target.empty() && !engine->openDrawing(cmd.target)) {
    err.write(std::string(kProgram) + ": cannot open the target drawing " + aboutFile(cmd.target, engine->lastError()) + "\n");
    return kExitSomeFailed;
  }

  // The drawings are read and parsed a file ahead, on the second core, while the current one is merged.
  engine->readAhead(inputs.drawings);
  RecordingApplication recorder(*engine);
  CadSession session;
  session.application = recorder.makeHandle();
  openTarget(session);

  const int total = static_cast<int>(inputs.drawings.size());
  const bool showBar = !cmd.quiet && !cmd.verbose && err.terminal();
  ProgressBar bar(err, total);
  NoPause noPause;
  const std::vector<DrawingOutcome> outcomes = mergeDrawings(
      session, cmd.settings, inputs.drawings, partFrame,
      [&](int index) {
        recorder.startDrawing(index);
        if (showBar) bar.show(index, baseName(inputs.drawings[static_cast<std::size_t>(index)]));
        if (cmd.verbose) {
          std::string line(1, '[');
          line += std::to_string(index + 1);
          line += '/';
          line += std::to_string(total);
          line += "] ";
          line += inputs.drawings[static_cast<std::size_t>(index)];
          line += '\n';
          err.write(line);
        }
      },
      noPause);
  if (showBar) bar.show(total, "");
  if (showBar) bar.clear();

  int merged = 0;
  bool failures = !inputs.problems.empty();
  for (int i = 0; i < total; ++i) {
    const bool ok = static_cast<std::size_t>(i) < outcomes.size() && outcomes[static_cast<std::size_t>(i)].merged();
    const std::string& path = inputs.drawings[static_cast<std::size_t>(i)];
    if (ok) {
      ++merged;
      continue;
    }
    if (recorder.isEmpty(i) && recorder.failureOf(i).empty()) {
      // Nothing is lost: its empty block stays at the origin. Said, but not a failure.
      ++merged;
      if (!cmd.quiet) err.write(std::string(kProgram) + ": note: " + aboutFile(path, "draws nothing") + "\n");
      continue;
    }
    failures = true;
    std::string reason = recorder.failureOf(i);
    if (reason.empty()) {
      const bool inserted = static_cast<std::size_t>(i) < outcomes.size() && outcomes[static_cast<std::size_t>(i)].inserted;
      reason = inserted ? "its extents could not be measured (an empty drawing?)" : "it could not be inserted";
    }
    err.write(std::string(kProgram) + ": " + aboutFile(path, reason) + "\n");
  }
  for (const std::string& problem : recorder.partFrameFailures()) {
    failures = true;
    err.write(std::string(kProgram) + ": part frame " + aboutFile(partFrame, problem) + "\n");
  }

  if (!engine->saveAs(cmd.output)) {
    err.write(std::string(kProgram) + ": cannot write " + aboutFile(cmd.output, engine->lastError()) + "\n");
    return kExitSomeFailed;
  }
  if (!cmd.quiet)
    out.write("merged " + std::to_string(merged) + " of " + std::to_string(total) + " drawing" +
              (total == 1 ? "" : "s") + " into " + cmd.output + "\n");
  return failures ? kExitSomeFailed : kExitMerged;
}

}  // namespace
}  // namespace plenvo::cli

#ifdef _WIN32
// Built with -municode: the arguments arrive as UTF-16 whatever the console's code page.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(plenvo::cli::utf8FromPath(std::filesystem::path(argv[i])));
  if (auto code = plenvo::cli::runIntoCadIfAsked(args)) return *code;  // merge into the running CAD over COM
  return plenvo::cli::run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return plenvo::cli::run(args);
}
#endif
