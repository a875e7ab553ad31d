// The command line of plenvo-merge: what the user asked for, read from the argument list (UTF-8).
#pragma once

#include <string>
#include <vector>

#include "core/sheet_layout.h"

namespace plenvo::cli {

struct MergeCommand {
  MergeSettings settings;
  std::vector<std::string> inputs;  // files and folders, as given
  std::string output;
  std::string target;     // existing drawing to merge into; empty: a new drawing
  std::string partFrame;  // empty: the carried part frame
  bool quiet = false;
  bool verbose = false;
};

struct ParsedCommandLine {
  enum class Action { Merge, Help, UsageError } action = Action::UsageError;
  MergeCommand command;
  std::string error;  // for UsageError: one line saying what is wrong
};

// Reads the arguments after the program name. Numbers are read the way the main window reads its
// parameter boxes (parseTypedNumber: "50.9" is 50, full-width digits count); a value with no digit at all
// is refused rather than read as 0.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

std::string helpText(const std::string& programName);

}  // namespace plenvo::cli
