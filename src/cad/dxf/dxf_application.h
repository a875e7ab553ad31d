// The embedded DXF engine as a CAD application: a target drawing held in memory, into which DXF files are
// inserted as blocks, measured, moved, framed and exploded, then written out as one DXF.
#pragma once

#include <memory>
#include <string>

#include "cad/cad_automation.h"

namespace plenvo::dxf {

class DxfApplication : public CadApplication {
 public:
  // An application whose active document is a new, empty drawing.
  static std::unique_ptr<DxfApplication> create();

  // Replaces the active document with an existing DXF file. False (and lastError()) when it cannot be read.
  virtual bool openDrawing(const std::string& path) = 0;
  // Writes the active document as DXF; the target is replaced only when the file is complete.
  virtual bool saveAs(const std::string& path) = 0;
  // Why the last failed call failed, naming the file where there is one ("a.dwg: DWG ..."); empty otherwise.
  virtual std::string lastError() const = 0;
};

}  // namespace plenvo::dxf
