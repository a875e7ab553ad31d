// Finding the CAD application the user already has running, and naming it in the main window's title.
#pragma once

#include <memory>
#include <string>

#include "cad/cad_automation.h"

namespace plenvo {

inline constexpr std::string_view kProgramTitle = "Plenvo_v3.3";

// The running-object table: the running instance registered for a ProgID, or null.
class RunningObjectLookup {
 public:
  virtual ~RunningObjectLookup() = default;
  virtual std::unique_ptr<CadApplication> find(const std::string& progId) = 0;
};

struct ConnectionResult {
  bool connected = false;
  std::string title;  // the main window's new title, in both cases
};

// Tries every VersionTable entry ("Autocad.Application.<internalNumber>"), then ZWCAD, then GstarCAD; each
// success replaces the session's application. Empty entries and entries without "-" are skipped.
ConnectionResult connectToCad(const std::string& versionTableText, RunningObjectLookup& lookup,
                              CadSession& session);

}  // namespace plenvo
