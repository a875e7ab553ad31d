// The calls the merge asks of a CAD application, as one small C++ interface. Two implementations: the COM
// client of a running AutoCAD/ZWCAD/GstarCAD (Windows) and the embedded DXF engine.
// No call throws. A call that fails gives an empty result: a null object, std::nullopt, or false.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/sheet_layout.h"

namespace plenvo {

struct Point3 {
  double x = 0, y = 0, z = 0;
  bool operator==(const Point3&) const = default;
};

// A block reference or a polyline of model space.
class CadEntity {
 public:
  virtual ~CadEntity() = default;
  // Lower-left and upper-right corners (x and y). May come back inverted for an empty block.
  virtual std::optional<Extents> boundingBox() = 0;
  virtual bool move(const Point3& from, const Point3& to) = 0;
  virtual bool explode() = 0;  // the pieces go to model space; the entity itself stays
  virtual bool erase() = 0;    // "Delete"
  virtual bool setClosed(bool closed) = 0;
  virtual bool setLayer(const std::string& layer) = 0;
  virtual bool setColor(int color) = 0;
};

class CadLayer {
 public:
  virtual ~CadLayer() = default;
  virtual bool setColor(int color) = 0;
};

class CadLayers {
 public:
  virtual ~CadLayers() = default;
  virtual std::optional<bool> exists(const std::string& name) = 0;
  virtual std::unique_ptr<CadLayer> item(const std::string& name) = 0;
  virtual std::unique_ptr<CadLayer> add(const std::string& name) = 0;
};

class CadModelSpace {
 public:
  virtual ~CadModelSpace() = default;
  // Inserts the drawing file at `path` (UTF-8) as a block and returns the new reference.
  virtual std::unique_ptr<CadEntity> insertBlock(const Point3& at, const std::string& path, double xScale,
                                                 double yScale, double zScale, double rotation) = 0;
  virtual std::unique_ptr<CadEntity> addLightweightPolyline(const std::vector<Point2>& vertices) = 0;
};

class CadDocument {
 public:
  virtual ~CadDocument() = default;
  virtual std::unique_ptr<CadModelSpace> modelSpace() = 0;
  virtual std::unique_ptr<CadLayers> layers() = 0;
};

class CadApplication {
 public:
  virtual ~CadApplication() = default;
  virtual std::unique_ptr<CadDocument> activeDocument() = 0;
  virtual bool update() = 0;
  virtual bool zoomExtents() = 0;
};

// The program-wide automation handles. Released at exit, last inserted block first.
struct CadSession {
  std::unique_ptr<CadApplication> application;
  std::unique_ptr<CadDocument> document;
  std::unique_ptr<CadModelSpace> modelSpace;
  std::unique_ptr<CadEntity> currentBlock;

  void release() {
    currentBlock.reset();
    modelSpace.reset();
    document.reset();
    application.reset();
  }
  ~CadSession() { release(); }
};

}  // namespace plenvo
