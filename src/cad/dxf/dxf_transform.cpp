// Per-type rewriting of entity coordinates for Explode.
#include "cad/dxf/dxf_transform.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "cad/dxf/dxf_document.h"

namespace plenvo::dxf {
namespace {

constexpr double kPi = 3.14159265358979323846;

enum class Shape { None, Line, Point, Circle, Arc, Ellipse, LwPolyline, Polyline, Vertex, Text, MText, Insert,
                   Corners, Spline, Seqend };

Shape shapeOf(std::string_view type) {
  if (type == "LINE") return Shape::Line;
  if (type == "POINT") return Shape::Point;
  if (type == "CIRCLE") return Shape::Circle;
  if (type == "ARC") return Shape::Arc;
  if (type == "ELLIPSE") return Shape::Ellipse;
  if (type == "LWPOLYLINE") return Shape::LwPolyline;
  if (type == "POLYLINE") return Shape::Polyline;
  if (type == "VERTEX") return Shape::Vertex;
  if (type == "TEXT" || type == "ATTDEF" || type == "ATTRIB") return Shape::Text;
  if (type == "MTEXT") return Shape::MText;
  if (type == "INSERT") return Shape::Insert;
  if (type == "SOLID" || type == "TRACE" || type == "3DFACE") return Shape::Corners;
  if (type == "SPLINE") return Shape::Spline;
  if (type == "SEQEND") return Shape::Seqend;
  return Shape::None;
}

// Which codes start a point (x code; y = +10, z = +20) that moves with the placement.
bool isPointCode(Shape s, int code) {
  switch (s) {
    case Shape::Line: return code == 10 || code == 11;
    case Shape::Point: case Shape::Circle: case Shape::Arc: case Shape::Ellipse: case Shape::Vertex:
    case Shape::MText: case Shape::Insert:
      return code == 10;
    case Shape::LwPolyline: return code == 10;
    case Shape::Text: return code == 10 || code == 11;
    case Shape::Corners: return code >= 10 && code <= 13;
    case Shape::Spline: return code == 10 || code == 11;
    default: return false;
  }
}

// Codes of vectors (direction only): rotated and scaled, not moved.
bool isVectorCode(Shape s, int code) {
  switch (s) {
    case Shape::Ellipse: return code == 11;
    case Shape::MText: return code == 11;
    case Shape::Spline: return code == 12 || code == 13;
    default: return false;
  }
}

bool isLengthCode(Shape s, int code) {
  switch (s) {
    case Shape::Circle: case Shape::Arc: return code == 40;
    case Shape::LwPolyline: return code == 40 || code == 41 || code == 43;
    case Shape::Polyline: return code == 40 || code == 41;
    case Shape::Vertex: return code == 40 || code == 41;
    case Shape::Text: return code == 40;
    case Shape::MText: return code == 40 || code == 41 || code == 42 || code == 43;
    case Shape::Insert: return code == 44 || code == 45;
    default: return false;
  }
}

bool isAngleCode(Shape s, int code) {
  switch (s) {
    case Shape::Arc: return code == 50 || code == 51;
    case Shape::Text: case Shape::Insert: return code == 50;
    case Shape::MText: return code == 50;
    case Shape::Vertex: return code == 50;
    default: return false;
  }
}

// Entities whose points are in their OCS: only the plain XY plane (extrusion 0,0,1) is handled.
bool planarOk(EntityTags tags) {
  double n[3] = {0, 0, 1};
  for (const Tag& t : tags) {
    if (t.code == 210) n[0] = parseReal(t.value).value_or(0);
    if (t.code == 220) n[1] = parseReal(t.value).value_or(0);
    if (t.code == 230) n[2] = parseReal(t.value).value_or(1);
  }
  return std::fabs(n[0]) < 1e-12 && std::fabs(n[1]) < 1e-12 && n[2] > 0;
}

bool hasNonZero(EntityTags tags, int code) {
  for (const Tag& t : tags)
    if (t.code == code && parseReal(t.value).value_or(0) != 0) return true;
  return false;
}

}  // namespace

bool InsertPlacement::uniform() const {
  return scale[0] > 0 && std::fabs(scale[0] - scale[1]) < 1e-12 * std::fabs(scale[0]) &&
         std::fabs(scale[0] - scale[2]) < 1e-12 * std::fabs(scale[0]);
}

void InsertPlacement::apply(double& x, double& y, double& z) const {
  double dx = (x - base[0]) * scale[0], dy = (y - base[1]) * scale[1], dz = (z - base[2]) * scale[2];
  const double a = rotation * kPi / 180, c = std::cos(a), s = std::sin(a);
  x = insert[0] + c * dx - s * dy;
  y = insert[1] + s * dx + c * dy;
  z = insert[2] + dz;
}

void InsertPlacement::applyVector(double& x, double& y) const {
  const double dx = x * scale[0], dy = y * scale[1];
  const double a = rotation * kPi / 180, c = std::cos(a), s = std::sin(a);
  x = c * dx - s * dy;
  y = s * dx + c * dy;
}

bool placeEntity(Document& doc, EntityTags tags, const InsertPlacement& p, std::vector<Tag>& out) {
  const Shape shape = shapeOf(tags[0].value);
  if (shape == Shape::None) return false;
  out.assign(tags.begin(), tags.end());
  if (shape == Shape::Seqend) return true;
  const bool uniform = p.uniform();
  // A non-uniform scale keeps straight segments straight but not arcs, circles, text or bulges.
  if (!uniform) {
    const bool pointsOnly = shape == Shape::Line || shape == Shape::Point || shape == Shape::Corners ||
                            shape == Shape::Spline ||
                            ((shape == Shape::LwPolyline || shape == Shape::Vertex) && !hasNonZero(tags, 42) &&
                             !hasNonZero(tags, 40) && !hasNonZero(tags, 41) && !hasNonZero(tags, 43)) ||
                            (shape == Shape::Polyline && !hasNonZero(tags, 40) && !hasNonZero(tags, 41));
    if (!pointsOnly || p.scale[0] <= 0 || p.scale[1] <= 0) return false;
  }
  // Points of these types are in the entity's OCS; only the XY plane is written here. SPLINE, LINE, POINT,
  // 3DFACE and MTEXT positions are world coordinates, but their extrusion or normal is kept as it is, so the
  // XY plane is required of them as well.
  if (!planarOk(tags)) return false;
  const double s = p.scale[0];
  // An INSERT inside the block: its own scales multiply; a non-uniform inner scale under rotation is fine
  // because the outer placement is uniform here.
  auto real = [&](std::size_t i) { return parseReal(out[i].value).value_or(0); };
  auto set = [&](std::size_t i, double v) { out[i].value = doc.keep(formatReal(v)); };
  const bool lwpoly = shape == Shape::LwPolyline;
  for (std::size_t i = 1; i < out.size(); ++i) {
    const int c = out[i].code;
    if (c >= 1000) break;  // extended data is left as it is
    if (isPointCode(shape, c)) {
      // y follows x directly in every writer we know; z may be absent (2D polyline vertices).
      if (i + 1 >= out.size() || out[i + 1].code != c + 10) return false;
      double x = real(i), y = real(i + 1), z = 0;
      const bool hasZ = i + 2 < out.size() && out[i + 2].code == c + 20;
      if (hasZ) z = real(i + 2);
      if (lwpoly) {
        double zz = 0;
        p.apply(x, y, zz);
      } else {
        p.apply(x, y, z);
      }
      set(i, x);
      set(i + 1, y);
      if (hasZ) set(i + 2, z);
      i += hasZ ? 2 : 1;
    } else if (isVectorCode(shape, c)) {
      if (i + 1 >= out.size() || out[i + 1].code != c + 10) return false;
      double x = real(i), y = real(i + 1);
      p.applyVector(x, y);
      set(i, x);
      set(i + 1, y);
      ++i;
    } else if (isLengthCode(shape, c)) {
      set(i, real(i) * s);
    } else if (isAngleCode(shape, c)) {
      set(i, real(i) + p.rotation);
    } else if (shape == Shape::Insert && (c == 41 || c == 42 || c == 43)) {
      set(i, real(i) * s);
    } else if ((lwpoly && c == 38) || (shape == Shape::Polyline && c == 30)) {
      set(i, p.insert[2] + (real(i) - p.base[2]) * p.scale[2]);  // elevation
    }
  }
  // An LWPOLYLINE without an elevation tag sits at z = 0, which the placement may move.
  if (lwpoly && std::fabs(p.insert[2] - p.base[2] * p.scale[2]) > 0) {
    bool hasElevation = false;
    for (const Tag& t : out) hasElevation = hasElevation || t.code == 38;
    if (!hasElevation) return false;
  }
  // An INSERT inside the block that was written without scales or rotation needs them now.
  if (shape == Shape::Insert && (s != 1 || p.rotation != 0)) {
    bool has[3] = {false, false, false};
    bool hasRotation = false;
    for (const Tag& t : out) {
      if (t.code >= 41 && t.code <= 43) has[t.code - 41] = true;
      if (t.code == 50) hasRotation = true;
    }
    for (int k = 0; k < 3; ++k)
      if (!has[k]) out.push_back({41 + k, doc.keep(formatReal(s))});
    if (!hasRotation) out.push_back({50, doc.keep(formatReal(p.rotation))});
    // Group codes must stay before extended data.
    std::stable_partition(out.begin() + 1, out.end(), [](const Tag& t) { return t.code < 1000; });
  }
  if (shape == Shape::Text && p.rotation != 0) {
    // Text written without a rotation (0) gets one, next to its height in the AcDbText part.
    bool hasRotation = false;
    for (const Tag& t : out) hasRotation = hasRotation || t.code == 50;
    if (!hasRotation) {
      auto height = std::find_if(out.begin(), out.end(), [](const Tag& t) { return t.code == 40; });
      if (height == out.end()) return false;
      out.insert(height + 1, Tag{50, doc.keep(formatReal(p.rotation))});
    }
  }
  if (shape == Shape::Arc || shape == Shape::Text || shape == Shape::MText) {
    // MTEXT with a direction vector ignores its rotation; without either, it needs one when rotated.
    if (shape == Shape::MText && p.rotation != 0) {
      bool hasDir = false, hasRot = false;
      for (const Tag& t : out) {
        hasDir = hasDir || t.code == 11;
        hasRot = hasRot || t.code == 50;
      }
      if (!hasDir && !hasRot) return false;
    }
  }
  return true;
}

}  // namespace plenvo::dxf
