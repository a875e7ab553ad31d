// plenvo-merge --into-cad (Windows): the same merge, done by the AutoCAD, ZWCAD or GstarCAD the user has
// running, through its COM automation interface, into its open drawing. Nothing is written to a file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plenvo::cli {

// When the arguments hold --into-cad, runs that merge and returns the exit code; otherwise nullopt and the
// arguments are left for the file merge.
std::optional<int> runIntoCadIfAsked(const std::vector<std::string>& args);

}  // namespace plenvo::cli
