// Per-type rewriting of entity coordinates for Explode.
#include "cad/dxf/dxf_transform.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "cad/dxf/dxf_document.h"
#include "cad/dxf/dxf_extents.h"

namespace plenvo::dxf {

// Types whose points, lengths and angles are known one by one (see placeEntity for the others).
bool placeSimple(Document& doc, EntityTags tags, const InsertPlacement& p, std::vector<Tag>& out);

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

bool placeSimple(Document& doc, EntityTags tags, const InsertPlacement& p, std::vector<Tag>& out) {
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


namespace {

bool pureTranslation(const InsertPlacement& p) {
  return p.scale[0] == 1 && p.scale[1] == 1 && p.scale[2] == 1 && p.rotation == 0;
}

// Point codes (x code; y = +10, z = +20) of types that are only moved, never turned or scaled here.
const std::vector<int>* translatedPoints(std::string_view type) {
  static const std::vector<int> first{10}, leader{10}, mline{10, 11}, dimension{10, 11, 12, 13, 14, 15, 16};
  if (type == "LEADER") return &leader;
  if (type == "MLINE") return &mline;
  if (type == "IMAGE" || type == "WIPEOUT" || type == "XLINE" || type == "RAY" || type == "TOLERANCE" ||
      type == "SHAPE" || type == "MESH")
    return &first;
  if (type == "DIMENSION") return &dimension;
  return nullptr;
}

// HATCH: which 10/11 pairs are points and which are vectors depends on the boundary path and edge type, so
// the tags are walked in order. Handles translation, uniform scale and rotation in the XY plane.
bool placeHatch(Document& doc, EntityTags tags, const InsertPlacement& p, std::vector<Tag>& out) {
  if (!p.uniform()) return false;
  out.assign(tags.begin(), tags.end());
  const double s = p.scale[0];
  auto real = [&](std::size_t i) { return parseReal(out[i].value).value_or(0); };
  auto set = [&](std::size_t i, double v) { out[i].value = doc.keep(formatReal(v)); };
  bool inHatch = false, elevationDone = false, polylinePath = false, inPaths = false, inPattern = false;
  int edgeType = 0;
  for (std::size_t i = 1; i < out.size(); ++i) {
    const int c = out[i].code;
    if (c >= 1000) break;
    if (c == 100) {
      inHatch = out[i].value == "AcDbHatch";
      continue;
    }
    if (!inHatch) continue;
    const bool pair = i + 1 < out.size() && out[i + 1].code == c + 10;
    switch (c) {
      case 10:
        if (!pair) return false;
        if (!elevationDone) {  // the elevation point: (0, 0, z) in the OCS
          elevationDone = true;
          if (i + 2 < out.size() && out[i + 2].code == 30) set(i + 2, p.insert[2] + (real(i + 2) - p.base[2]) * p.scale[2]);
          i += 1;
          break;
        } else {
          double x = real(i), y = real(i + 1), z = 0;
          p.apply(x, y, z);
          set(i, x);
          set(i + 1, y);
          ++i;
        }
        break;
      case 11: {
        if (!pair) return false;
        double x = real(i), y = real(i + 1), z = 0;
        if (edgeType == 3) p.applyVector(x, y);  // ellipse: the major axis, relative to the centre
        else p.apply(x, y, z);                   // line end, spline fit point
        set(i, x);
        set(i + 1, y);
        ++i;
        break;
      }
      case 12: case 13: case 45: {  // spline tangents, pattern line offsets: vectors
        if (!pair && c != 45) return false;
        if (c == 45) {
          if (i + 1 >= out.size() || out[i + 1].code != 46) return false;
        }
        double x = real(i), y = real(i + 1);
        p.applyVector(x, y);
        set(i, x);
        set(i + 1, y);
        ++i;
        break;
      }
      case 43: {  // pattern line base point
        if (i + 1 >= out.size() || out[i + 1].code != 44) return false;
        double x = real(i), y = real(i + 1), z = 0;
        p.apply(x, y, z);
        set(i, x);
        set(i + 1, y);
        ++i;
        break;
      }
      case 92:
        inPaths = true;
        polylinePath = (parseInteger(out[i].value).value_or(0) & 2) != 0;
        edgeType = 0;
        break;
      case 72:
        if (inPaths && !polylinePath) edgeType = static_cast<int>(parseInteger(out[i].value).value_or(0));
        break;
      case 40:
        if (edgeType == 2) set(i, real(i) * s);  // arc radius; ellipse ratio and spline knots stay
        break;
      case 50: case 51:
        if (edgeType == 2) set(i, real(i) + p.rotation);  // arc angles; ellipse angles are parametric
        break;
      case 75:
        inPaths = false;
        edgeType = 0;
        break;
      case 52:  // pattern angle
        inPattern = true;
        set(i, real(i) + p.rotation);
        break;
      case 53:
        set(i, real(i) + p.rotation);
        break;
      case 41:
        if (inPattern || !inPaths) set(i, real(i) * s);  // pattern scale
        break;
      case 49: case 47:
        set(i, real(i) * s);  // dash lengths, pixel size
        break;
      default:
        break;
    }
  }
  return true;
}

// A DIMENSION is moved with a copy of its geometry block moved the same way.
bool placeDimension(Document& doc, EntityTags tags, const InsertPlacement& p, std::vector<Tag>& out, int depth) {
  const Tag* nameTag = nullptr;
  for (const Tag& t : tags)
    if (t.code == 2) nameTag = &t;
  if (!nameTag || depth > 0) return false;
  const Block* geometry = doc.findBlock(doc.blockNameOf(*nameTag, nullptr));
  if (!geometry) return false;
  std::vector<Entity> copies;
  std::vector<Tag> placed;
  Handle parent = 0;
  for (const Entity& e : geometry->entities) {
    if (e.erased) continue;
    if (!placeEntity(doc, e.tags, p, placed)) return false;
    Entity copy;
    std::vector<Tag> own;
    bool inGroup = false;
    for (const Tag& t : placed) {
      if (t.code == 102) {
        inGroup = !t.value.empty() && t.value[0] == '{';
        continue;
      }
      if (!inGroup && !(t.code >= 360 && t.code <= 369)) own.push_back(t);
    }
    copy.tags = doc.keepTags(own);
    copy.map = e.map;
    copy.handle = doc.newHandle();
    const std::string_view type = e.type();
    const bool follower = type == "VERTEX" || type == "SEQEND" || type == "ATTRIB";
    copy.owner = follower ? parent : 0;
    if (!follower) parent = copy.handle;
    copies.push_back(copy);
  }
  std::string name;
  do {
    name = "*D" + std::to_string(doc.newHandle());
  } while (doc.findBlock(name));
  double base[3] = {geometry->base[0], geometry->base[1], geometry->base[2]};
  Block* block = doc.addBlock(name, base, std::move(copies));
  for (Tag& t : out)
    if (&t - out.data() == nameTag - tags.data()) t.value = doc.keep(block->name);
  return true;
}

}  // namespace

bool placeEntity(Document& doc, EntityTags tags, const InsertPlacement& p, std::vector<Tag>& out) {
  static thread_local int depth = 0;
  const std::string_view type = tags[0].value;
  if (type == "HATCH") return planarOk(tags) && placeHatch(doc, tags, p, out);
  if (const auto* points = translatedPoints(type)) {
    if (!pureTranslation(p) || !planarOk(tags)) return false;
    out.assign(tags.begin(), tags.end());
    for (std::size_t i = 1; i < out.size(); ++i) {
      const int c = out[i].code;
      if (c >= 1000) break;
      if (std::find(points->begin(), points->end(), c) == points->end()) continue;
      if (i + 1 >= out.size() || out[i + 1].code != c + 10) return false;
      double x = parseReal(out[i].value).value_or(0), y = parseReal(out[i + 1].value).value_or(0), z = 0;
      const bool hasZ = i + 2 < out.size() && out[i + 2].code == c + 20;
      if (hasZ) z = parseReal(out[i + 2].value).value_or(0);
      p.apply(x, y, z);
      out[i].value = doc.keep(formatReal(x));
      out[i + 1].value = doc.keep(formatReal(y));
      if (hasZ) out[i + 2].value = doc.keep(formatReal(z));
      i += hasZ ? 2 : 1;
    }
    // A dimension with an insertion point (12) shows its block there: moving the point moves the picture.
    // Without one, the block's content is where the dimension is, so a moved copy of it is made.
    const bool hasInsertionPoint = std::any_of(tags.begin(), tags.end(), [](const Tag& t) { return t.code == 12; });
    if (type == "DIMENSION" && !hasInsertionPoint) {
      ++depth;
      const bool ok = placeDimension(doc, tags, p, out, depth - 1);
      --depth;
      return ok;
    }
    return true;
  }
  return placeSimple(doc, tags, p, out);
}

}  // namespace plenvo::dxf
