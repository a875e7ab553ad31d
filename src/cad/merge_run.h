// The merge run: each drawing inserted as a block at the origin, measured, moved to its place on the sheet,
// optionally framed on "打印图框" and exploded; in the page arrangement one part-frame drawing per page.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cad/cad_automation.h"
#include "core/sheet_layout.h"

namespace plenvo {

inline constexpr std::string_view kPrintFrameLayer = "打印图框";
inline constexpr int kPrintFrameColor = 1;

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void sleepMs(int milliseconds) = 0;
};

class RealSleeper final : public Sleeper {
 public:
  void sleepMs(int milliseconds) override;
};

// Makes the application's active drawing the target and fetches or creates the print-frame layer.
void openTarget(CadSession& session);

// What became of each drawing, in the order given.
struct DrawingOutcome {
  bool inserted = false;  // the CAD application made a block reference of it
  bool placed = false;    // its extents were measured and it was moved to its place
  bool merged() const { return inserted && placed; }
};

using MergeProgress = std::function<void(int drawingIndex)>;

// Never stops early and shows nothing. `partFramePath` is inserted once per page in the Directed mode.
std::vector<DrawingOutcome> mergeDrawings(CadSession& session, const MergeSettings& settings,
                                          const std::vector<std::string>& paths,
                                          const std::string& partFramePath, const MergeProgress& progress,
                                          Sleeper& sleeper);

}  // namespace plenvo
