// Placing a block's entities in model space under an INSERT's transform (for Explode): the point, vector,
// length and angle values of each entity type are rewritten; an entity whose type or transform cannot be
// written exactly this way is reported so the caller can keep it inside a block reference instead.
#pragma once

#include <vector>

#include "cad/dxf/dxf_tags.h"

namespace plenvo::dxf {

class Document;

// (x, y, z) -> insertion + Rz(rotation) * diag(sx, sy, sz) * ((x, y, z) - base), rotation in degrees.
struct InsertPlacement {
  double base[3] = {0, 0, 0};
  double insert[3] = {0, 0, 0};
  double scale[3] = {1, 1, 1};
  double rotation = 0;
  bool uniform() const;  // sx == sy == sz > 0
  void apply(double& x, double& y, double& z) const;
  void applyVector(double& x, double& y) const;  // rotation and scale, no translation
};

// The entity's tags placed by `p`, in `out` (new number texts kept in `doc`). False when the type or the
// placement is not one this can write exactly (non-uniform scale of a circle, an entity outside the XY
// plane, a hatch, a dimension, ...).
bool placeEntity(Document& doc, EntityTags tags, const InsertPlacement& p, std::vector<Tag>& out);

}  // namespace plenvo::dxf
