// The embedded DXF engine as a CAD application: a target drawing held in memory, into which DXF files are
// inserted as blocks, measured, moved, framed and exploded, then written out as one DXF.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cad/cad_automation.h"

namespace plenvo::dxf {

// What the engine keeps and what it does not:
// - Reads ASCII DXF R12 (AC1009) to R2018 (AC1032); binary DXF and DWG give an error naming the file.
// - Writes one DXF of the newest version among its inputs, at least R2000 (AC1015). Text is UTF-8 from
//   R2007 on; before that it is in the target's code page (ANSI_936 for a new drawing), with \U+XXXX for
//   characters that code page lacks.
// - InsertBlock brings a file's model space as a block named after the file, with its layers, linetypes,
//   text and dimension styles, application ids, nested blocks and the objects its entities point to. Its
//   paper space, its layouts and its THUMBNAILIMAGE are not brought. A drawing opened as the target keeps
//   its model space and all its paper space layouts (a layout whose name the new drawing already uses is
//   renamed "name (2)"); its *Active viewport is the engine's until ZoomExtents sets it.
// - Explode places LINE, POINT, CIRCLE, ARC, ELLIPSE, LWPOLYLINE, POLYLINE/VERTEX, TEXT, ATTDEF, ATTRIB,
//   MTEXT, INSERT, SOLID, TRACE, 3DFACE, SPLINE and HATCH by the reference's transform (points only under
//   a non-uniform scale); DIMENSION (with a moved copy of its geometry block), LEADER, MLINE, IMAGE,
//   WIPEOUT, XLINE, RAY, TOLERANCE, SHAPE and MESH under a pure translation (what the merge uses). What
//   cannot be placed exactly (other types, other transforms, anything outside the XY plane) stays together
//   in a new anonymous block, referenced with the exploded reference's transform.
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
  // A hint: the files InsertBlock will be given next, in this order. They are read and parsed on a second
  // thread, a file or so ahead of the insertion; a file inserted out of that order is read when it comes.
  // Errors are the same either way. Without the hint everything happens on the calling thread.
  virtual void readAhead(std::vector<std::string> paths) { (void)paths; }
};

}  // namespace plenvo::dxf
