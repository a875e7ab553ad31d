// plenvo-merge --into-cad: the command line read as for a file merge (less -o and --target), then
// connectToCad through the running-object table, openTarget and mergeDrawings over COM, with the product's
// pauses between drawings, which the CAD applications need.
#include "cli/merge_into_cad_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string_view>

#include "cad/cad_connection.h"
#include "cad/com/com_cad.h"
#include "cad/merge_run.h"
#include "cli/cli_options.h"
#include "cli/input_files.h"
#include "core/tables.h"

namespace plenvo::cli {

namespace {

constexpr const char* kProgram = "plenvo-merge";
constexpr std::string_view kIntoCad = "--into-cad";

// Writes the pieces to stderr. (Built by appending: GCC 12 warns falsely about some operator+ chains.)
void say(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view p : pieces) text.append(p);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// The CAD application runs in its own process and folder: it needs full paths.
std::string absolutePath(const std::string& utf8) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(pathFromUtf8(utf8), ec);
  return ec ? utf8 : utf8FromPath(full.lexically_normal());
}

// part_frame.dxf beside the executable, as installed.
std::string carriedPartFrame() {
  wchar_t exe[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  const std::filesystem::path frame = std::filesystem::path(exe).parent_path() / L"part_frame.dxf";
  std::error_code ec;
  return std::filesystem::is_regular_file(frame, ec) ? utf8FromPath(frame) : std::string();
}

}  // namespace

std::optional<int> runIntoCadIfAsked(const std::vector<std::string>& args) {
  std::vector<std::string> rest;
  bool asked = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") {
      // Everything after "--" is an input, even "--into-cad".
      rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
      break;
    }
    if (args[i] == kIntoCad) asked = true;
    else rest.push_back(args[i]);
  }
  if (!asked) return std::nullopt;

  auto usage = [](std::string_view message) {
    say({kProgram, ": ", message, "\nTry '", kProgram, " --help' for more.\n"});
    return 2;
  };
  const bool hasOutput = std::any_of(rest.begin(), rest.end(), [](const std::string& a) {
    return a == "-o" || a == "--output" || a.rfind("--output=", 0) == 0;
  });
  if (hasOutput) return usage("--into-cad merges into the drawing open in the CAD application; -o does not apply");
  rest.push_back("-o");
  rest.push_back("into-cad.dxf");  // the file merge's required output; never written here
  const ParsedCommandLine parsed = parseCommandLine(rest);
  if (parsed.action != ParsedCommandLine::Action::Merge) return std::nullopt;  // help and usage errors as usual
  const MergeCommand& cmd = parsed.command;
  if (!cmd.target.empty()) return usage("--into-cad merges into the drawing open in the CAD application; --target does not apply");

  InputList inputs = expandInputs(cmd.inputs);
  for (const std::string& problem : inputs.problems) say({kProgram, ": ", problem, "\n"});
  if (inputs.drawings.empty()) return usage("no input drawings to merge");
  for (std::string& d : inputs.drawings) d = absolutePath(d);
  std::string partFrame;
  if (cmd.settings.mode == LayoutMode::Directed) {
    partFrame = cmd.partFrame.empty() ? carriedPartFrame() : absolutePath(cmd.partFrame);
    if (partFrame.empty())
      return usage("the part frame (part_frame.dxf) was not found beside the program; give --part-frame FILE");
  }

  com::ComThreadScope comThread;
  if (!comThread.ok()) {
    say({kProgram, ": COM could not be started\n"});
    return 1;
  }
  com::ComRunningObjectLookup lookup;
  CadSession session;
  const ConnectionResult connection = connectToCad(std::string(kDefaultVersionTable), lookup, session);
  if (!connection.connected) {
    say({kProgram, ": no running AutoCAD, ZWCAD or GstarCAD was found (", connection.title, ")\n"});
    return 1;
  }
  if (!cmd.quiet) say({connection.title, "\n"});
  openTarget(session);
  if (!session.modelSpace) {
    say({kProgram, ": the CAD application has no open drawing to merge into\n"});
    return 1;
  }

  const int total = static_cast<int>(inputs.drawings.size());
  RealSleeper sleeper;
  const std::vector<DrawingOutcome> outcomes = mergeDrawings(
      session, cmd.settings, inputs.drawings, partFrame,
      [&](int index) {
        if (!cmd.quiet)
          say({"[", std::to_string(index + 1), "/", std::to_string(total), "] ",
               inputs.drawings[static_cast<std::size_t>(index)], "\n"});
      },
      sleeper);
  int merged = 0;
  for (int i = 0; i < total; ++i) {
    const auto& o = outcomes[static_cast<std::size_t>(i)];
    if (o.merged()) {
      ++merged;
      continue;
    }
    say({kProgram, ": ", inputs.drawings[static_cast<std::size_t>(i)], ": ",
         o.inserted ? "its extents could not be measured" : "the CAD application could not insert it", "\n"});
  }
  session.release();
  if (!cmd.quiet)
    std::printf("merged %d of %d drawing%s into the drawing open in the CAD application\n", merged, total,
                total == 1 ? "" : "s");
  return merged == total && inputs.problems.empty() ? 0 : 1;
}

}  // namespace plenvo::cli
