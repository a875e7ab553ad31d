// Finding the CAD application the user already has running: every AutoCAD release of the version table,
// then ZWCAD, then GstarCAD; the last one that answers is kept and named in the window title.
#include "cad/cad_connection.h"

#include "core/tables.h"

namespace plenvo {

namespace {

constexpr std::string_view kAutoCadProgIdPrefix = "Autocad.Application.";
constexpr std::string_view kZwCadProgId = "ZWCAD.Application";
constexpr std::string_view kGstarCadProgId = "GstarCAD.Application";
constexpr std::string_view kZwCadName = "国产中望CAD";
constexpr std::string_view kGstarCadName = "国产浩辰CAD";
constexpr std::string_view kReleaseSuffix = "版本";
constexpr std::string_view kConnectedTitle = "  [当前CAD: ";
constexpr std::string_view kNotConnectedTitle = "  [未连接到CAD，请打开CAD软件]";

// A success replaces the session's handle (releasing the previous one) and the found name; a failure
// leaves both as they were.
void tryProgId(RunningObjectLookup& lookup, const std::string& progId, std::string_view name,
               CadSession& session, std::string& foundName) {
  if (std::unique_ptr<CadApplication> app = lookup.find(progId)) {
    session.application = std::move(app);
    foundName = name;
  }
}

}  // namespace

ConnectionResult connectToCad(const std::string& versionTableText, RunningObjectLookup& lookup,
                              CadSession& session) {
  std::string foundName;
  for (const std::string& entry : splitText(versionTableText, '/')) {
    const std::vector<std::string> fields = splitText(entry, '-');
    // An entry needs both an internal number and a release year; anything else is skipped so that it can
    // neither ask for "Autocad.Application." alone nor name a release without its year.
    if (fields.size() < 2 || fields[0].empty() || fields[1].empty()) continue;
    tryProgId(lookup, std::string(kAutoCadProgIdPrefix) + fields[0], fields[1] + std::string(kReleaseSuffix),
              session, foundName);
  }
  tryProgId(lookup, std::string(kZwCadProgId), kZwCadName, session, foundName);
  tryProgId(lookup, std::string(kGstarCadProgId), kGstarCadName, session, foundName);

  ConnectionResult result;
  result.connected = !foundName.empty();
  result.title = std::string(kProgramTitle) +
                 (result.connected ? std::string(kConnectedTitle) + foundName + "]" : std::string(kNotConnectedTitle));
  return result;
}

}  // namespace plenvo
