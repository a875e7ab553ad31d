// A see-through layer over the DXF engine for the merge run: it passes every call on and remembers, per
// drawing, why an insertion or a measurement failed (the engine's lastError() at that moment), so that
// plenvo-merge can name each failed file with its reason after the run.
#pragma once

#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "cad/cad_automation.h"
#include "cad/dxf/dxf_application.h"

namespace plenvo::cli {

class RecordingApplication {
 public:
  explicit RecordingApplication(dxf::DxfApplication& engine) : engine_(engine) {}

  // The handle to put into CadSession::application; it must not outlive this object.
  std::unique_ptr<CadApplication> makeHandle();

  // The merge run's progress notification: drawing `index` is handled next. The first insertion after it
  // belongs to that drawing; later ones (the part frames after the last drawing) do not.
  void startDrawing(int index) {
    current_ = index;
    awaitingDrawing_ = true;
    errorBefore_ = engine_.lastError();
  }

  std::string failureOf(int index) const;
  // Drawings that were inserted but draw nothing: measuring them failed without a reason from the engine.
  bool isEmpty(int index) const { return empty_.count(index) != 0; }
  const std::vector<std::string>& partFrameFailures() const { return partFrameFailures_; }

  // Called by the see-through objects.
  void insertion(bool succeeded, bool& isDrawing);
  void measurementFailed(bool isDrawing, int index);
  int current() const { return current_; }
  std::string freshError();
  dxf::DxfApplication& engine() { return engine_; }

 private:
  dxf::DxfApplication& engine_;
  int current_ = -1;
  bool awaitingDrawing_ = false;
  std::string errorBefore_;  // lastError() may keep an older failure's text; only a new text is this one's
  std::map<int, std::string> failures_;
  std::set<int> empty_;
  std::vector<std::string> partFrameFailures_;
};

}  // namespace plenvo::cli
