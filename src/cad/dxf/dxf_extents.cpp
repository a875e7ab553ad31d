// Extents of DXF entities, computed from their tags. Curves are measured exactly: an arc or ellipse under
// an affine transform is c + u·cos t + v·sin t, whose extremes per axis are found in closed form; B-splines
// of degree up to 3 through the roots of their derivative. Texts use a monospaced estimate (each character
// as wide as the text is high, times the width factor; descender a third of the height).
// Nothing here allocates per entity: SPLINE control points go to scratch arrays reused between calls.
#include "cad/dxf/dxf_extents.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <unordered_map>

namespace plenvo::dxf {

// ---------------------------------------------------------------------------------------------------------
// Transform and Box3

Transform Transform::translation(double dx, double dy, double dz) {
  Transform t;
  t.m[3] = dx;
  t.m[7] = dy;
  t.m[11] = dz;
  return t;
}

Transform Transform::operator*(const Transform& rhs) const {
  Transform r;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += m[row * 4 + k] * rhs.m[k * 4 + col];
      r.m[row * 4 + col] = sum;
    }
  return r;
}

std::array<double, 3> Transform::apply(double x, double y, double z) const {
  return {m[0] * x + m[1] * y + m[2] * z + m[3], m[4] * x + m[5] * y + m[6] * z + m[7],
          m[8] * x + m[9] * y + m[10] * z + m[11]};
}

void Box3::add(double x, double y, double z) {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return;
  if (empty) {
    minX = maxX = x;
    minY = maxY = y;
    minZ = maxZ = z;
    empty = false;
    return;
  }
  minX = std::min(minX, x);
  minY = std::min(minY, y);
  minZ = std::min(minZ, z);
  maxX = std::max(maxX, x);
  maxY = std::max(maxY, y);
  maxZ = std::max(maxZ, z);
}

void Box3::add(const Box3& other) {
  if (other.empty) return;
  add(other.minX, other.minY, other.minZ);
  add(other.maxX, other.maxY, other.maxZ);
}

std::optional<Extents> Box3::plan() const {
  if (empty) return std::nullopt;
  return Extents{minX, minY, maxX, maxY};
}

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTau = 2 * std::numbers::pi;
constexpr int kMaxDepth = 32;

// ---------------------------------------------------------------------------------------------------------
// Small vector helpers

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(V3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
double at(V3 a, int k) { return k == 0 ? a.x : (k == 1 ? a.y : a.z); }

V3 apply(const Transform& t, V3 p) {
  auto r = t.apply(p.x, p.y, p.z);
  return {r[0], r[1], r[2]};
}
// The linear part only: directions and offsets.
V3 applyLinear(const Transform& t, V3 v) {
  const auto& m = t.m;
  return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[4] * v.x + m[5] * v.y + m[6] * v.z,
          m[8] * v.x + m[9] * v.y + m[10] * v.z};
}
void addPoint(Box3& box, const Transform& t, V3 p) {
  const V3 q = apply(t, p);
  box.add(q.x, q.y, q.z);
}

Transform fromAxes(V3 ux, V3 uy, V3 uz, V3 origin) {
  Transform t;
  t.m = {ux.x, uy.x, uz.x, origin.x, ux.y, uy.y, uz.y, origin.y, ux.z, uy.z, uz.z, origin.z, 0, 0, 0, 1};
  return t;
}

// Object coordinate system of an extrusion direction (the arbitrary axis algorithm), as OCS -> WCS.
Transform ocsToWcs(V3 n) {
  const double len = length(n);
  if (!(len > 1e-12) || !std::isfinite(len)) return Transform::identity();
  n = n * (1.0 / len);
  if (std::fabs(n.x) < 1e-12 && std::fabs(n.y) < 1e-12 && n.z > 0) return Transform::identity();
  constexpr double kLimit = 1.0 / 64.0;
  V3 ax = (std::fabs(n.x) < kLimit && std::fabs(n.y) < kLimit) ? cross(V3{0, 1, 0}, n) : cross(V3{0, 0, 1}, n);
  ax = ax * (1.0 / length(ax));
  const V3 ay = cross(n, ax);
  return fromAxes(ax, ay, n, {});
}

Transform rotationZ(double radians) {
  const double c = std::cos(radians), s = std::sin(radians);
  Transform t;
  t.m[0] = c;
  t.m[1] = -s;
  t.m[4] = s;
  t.m[5] = c;
  return t;
}

Transform scaling(double sx, double sy, double sz) {
  Transform t;
  t.m[0] = sx;
  t.m[5] = sy;
  t.m[10] = sz;
  return t;
}

// ---------------------------------------------------------------------------------------------------------
// Curves

// Elliptic arc c + u·cos t + v·sin t for t from t0 counter-clockwise over `span` (0..2π), under t.
void addEllipticArc(Box3& box, const Transform& t, V3 c, V3 u, V3 v, double t0, double span) {
  if (!std::isfinite(t0) || !std::isfinite(span)) return;
  span = std::clamp(span, 0.0, kTau);
  const V3 C = apply(t, c), U = applyLinear(t, u), V = applyLinear(t, v);
  auto point = [&](double a) {
    const V3 p = C + U * std::cos(a) + V * std::sin(a);
    box.add(p.x, p.y, p.z);
  };
  point(t0);
  point(t0 + span);
  for (int k = 0; k < 3; ++k) {
    const double uk = at(U, k), vk = at(V, k);
    if (uk == 0 && vk == 0) continue;
    const double extreme = std::atan2(vk, uk);
    for (double a : {extreme, extreme + kPi}) {
      double delta = std::fmod(a - t0, kTau);
      if (delta < 0) delta += kTau;
      if (delta <= span) point(a);
    }
  }
}

// Counter-clockwise span from start to end (radians); equal angles mean the full turn.
double ccwSpan(double start, double end) {
  double span = std::fmod(end - start, kTau);
  if (span < 0) span += kTau;
  if (span < 1e-12) span = kTau;
  return span;
}

// One 2D polyline segment in the plane z = elevation, straight or (bulge != 0) a circular arc, drawn with
// a start and end width (a wide segment is a band around its centre line; the mitred corners AutoCAD draws
// where two wide segments meet are not added).
void addBulgeSegment(Box3& box, const Transform& t, double x1, double y1, double x2, double y2, double bulge,
                     double elevation, double w1 = 0, double w2 = 0) {
  w1 = std::isfinite(w1) ? std::fabs(w1) / 2 : 0;
  w2 = std::isfinite(w2) ? std::fabs(w2) / 2 : 0;
  const double dx = x2 - x1, dy = y2 - y1;
  const double chord = std::hypot(dx, dy);
  const bool wide = w1 > 0 || w2 > 0;
  if (!std::isfinite(bulge) || std::fabs(bulge) < 1e-12 || !(chord > 1e-12)) {
    if (wide && chord > 1e-12) {
      const double nx = -dy / chord, ny = dx / chord;
      addPoint(box, t, {x1 + nx * w1, y1 + ny * w1, elevation});
      addPoint(box, t, {x1 - nx * w1, y1 - ny * w1, elevation});
      addPoint(box, t, {x2 + nx * w2, y2 + ny * w2, elevation});
      addPoint(box, t, {x2 - nx * w2, y2 - ny * w2, elevation});
    } else {
      addPoint(box, t, {x1, y1, elevation});
      addPoint(box, t, {x2, y2, elevation});
    }
    return;
  }
  // Centre on the chord's left normal for a counter-clockwise arc (positive bulge).
  const double h = chord * (1 - bulge * bulge) / (4 * bulge);
  const double cx = (x1 + x2) / 2 - dy / chord * h;
  const double cy = (y1 + y2) / 2 + dx / chord * h;
  const double r = chord * (1 + bulge * bulge) / (4 * std::fabs(bulge));
  const double span = 4 * std::atan(std::fabs(bulge));
  const double a1 = std::atan2(y1 - cy, x1 - cx), a2 = std::atan2(y2 - cy, x2 - cx);
  const double start = bulge > 0 ? a1 : a2;
  const double outer = r + std::max(w1, w2);
  addEllipticArc(box, t, {cx, cy, elevation}, {outer, 0, 0}, {0, outer, 0}, start, span);
  // The band's ends, across the arc.
  for (const double rr : {r - w1, r + w1}) addPoint(box, t, {cx + rr * std::cos(a1), cy + rr * std::sin(a1), elevation});
  for (const double rr : {r - w2, r + w2}) addPoint(box, t, {cx + rr * std::cos(a2), cy + rr * std::sin(a2), elevation});
}

// ---------------------------------------------------------------------------------------------------------
// Reading tags

// Reads the numbers an entity handler asks for; the first unreadable one marks the entity as garbage.
struct Reader {
  bool ok = true;
  double real(const Tag& tag) {
    auto v = parseReal(tag.value);
    if (!v) {
      ok = false;
      return 0;
    }
    return *v;
  }
  std::int64_t integer(const Tag& tag) {
    auto v = parseInteger(tag.value);
    if (!v) {
      ok = false;
      return 0;
    }
    return *v;
  }
  // Codes 10..18 / 20..28 / 30..38 and 210/220/230 into one of up to ten points, by the x code's last digit.
  bool point(const Tag& tag, V3* points, int base) {
    const int c = tag.code;
    if (c >= base && c < base + 10) {
      points[c - base].x = real(tag);
      return true;
    }
    if (c >= base + 10 && c < base + 20) {
      points[c - base - 10].y = real(tag);
      return true;
    }
    if (c >= base + 20 && c < base + 30) {
      points[c - base - 20].z = real(tag);
      return true;
    }
    return false;
  }
};

std::string_view typeOf(EntityTags e) { return (!e.empty() && e[0].code == 0) ? e[0].value.view() : std::string_view{}; }

// Extrusion 210/220/230, default +Z.
struct Extrusion {
  V3 n{0, 0, 1};
  bool read(Reader& r, const Tag& tag) {
    switch (tag.code) {
      case 210: n.x = r.real(tag); return true;
      case 220: n.y = r.real(tag); return true;
      case 230: n.z = r.real(tag); return true;
      default: return false;
    }
  }
};

// ---------------------------------------------------------------------------------------------------------
// The walk

// Entities measured in one call before block references switch to their blocks' cached boxes. Real drawings
// stay far below; a drawing whose blocks each insert the next one many times (work growing exponentially
// with the nesting) is then measured in time linear in its size. The cached box is exact for references
// that are not rotated; a rotated one may come out a little larger.
constexpr std::size_t kExactBudget = 500'000;

struct Walker {
  const BlockResolver& blocks;
  std::array<const BlockResolver::Block*, kMaxDepth> stack{};
  int depth = 0;
  std::size_t visits = 0;
  std::unordered_map<const BlockResolver::Block*, Box3> cached;  // block coordinates; filled only when over budget

  void entity(std::span<const EntityTags> compound, const Transform& t, Box3& box);
  void block(const BlockResolver::Block& b, const Transform& t, Box3& box);
  // The block's entities under t: exactly, or past the budget the transformed corners of its cached box.
  // The caller has entered the block.
  void placeBlock(const BlockResolver::Block& b, const Transform& t, Box3& box) {
    if (visits <= kExactBudget) {
      block(b, t, box);
      return;
    }
    auto it = cached.find(&b);
    if (it == cached.end()) {
      Box3 own;
      block(b, Transform::identity(), own);
      it = cached.emplace(&b, own).first;
    }
    const Box3& c = it->second;
    if (c.empty) return;
    for (int k = 0; k < 8; ++k)
      addPoint(box, t, {(k & 1) ? c.maxX : c.minX, (k & 2) ? c.maxY : c.minY, (k & 4) ? c.maxZ : c.minZ});
  }
  bool enter(const BlockResolver::Block* b) {
    if (b == nullptr || depth >= kMaxDepth) return false;
    for (int i = 0; i < depth; ++i)
      if (stack[i] == b) return false;  // the block contains itself
    stack[depth++] = b;
    return true;
  }
  void leave() { --depth; }
};


// ---- simple entities

void lineExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  V3 p[10];
  for (const Tag& tag : e) r.point(tag, p, 10);
  if (!r.ok) return;
  addPoint(out, t, p[0]);
  addPoint(out, t, p[1]);
}

void pointExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  V3 p[10];
  for (const Tag& tag : e) r.point(tag, p, 10);
  if (r.ok) addPoint(out, t, p[0]);
}

void circleOrArcExtents(EntityTags e, const Transform& t, bool arc, Box3& out) {
  Reader r;
  V3 p[10];
  Extrusion ex;
  double radius = 0, start = 0, end = 360;
  for (const Tag& tag : e) {
    if (r.point(tag, p, 10) || ex.read(r, tag)) continue;
    switch (tag.code) {
      case 40: radius = r.real(tag); break;
      case 50: start = r.real(tag); break;
      case 51: end = r.real(tag); break;
      default: break;
    }
  }
  if (!r.ok) return;
  radius = std::fabs(radius);
  const Transform m = t * ocsToWcs(ex.n);
  if (!arc) {
    addEllipticArc(out, m, p[0], {radius, 0, 0}, {0, radius, 0}, 0, kTau);
    return;
  }
  const double a0 = start * kPi / 180, a1 = end * kPi / 180;
  addEllipticArc(out, m, p[0], {radius, 0, 0}, {0, radius, 0}, a0, ccwSpan(a0, a1));
}

void ellipseExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  V3 p[10];
  Extrusion ex;
  double ratio = 1, start = 0, end = kTau;
  for (const Tag& tag : e) {
    if (r.point(tag, p, 10) || ex.read(r, tag)) continue;
    switch (tag.code) {
      case 40: ratio = r.real(tag); break;
      case 41: start = r.real(tag); break;
      case 42: end = r.real(tag); break;
      default: break;
    }
  }
  if (!r.ok) return;
  const V3 major = p[1];
  const double len = length(ex.n);
  if (!(len > 1e-12)) ex.n = {0, 0, 1};
  else ex.n = ex.n * (1 / len);
  // A ratio above 1 only swaps which axis is longer; the curve is the same parametric form.
  const V3 minor = cross(ex.n, major) * ratio;
  double span = std::fmod(end - start, kTau);
  if (span < 0) span += kTau;
  if (span < 1e-12) span = kTau;
  addEllipticArc(out, t, p[0], major, minor, start, span);
}

// SOLID, TRACE (OCS) and 3DFACE (WCS): the corner points that are present.
void cornersExtents(EntityTags e, const Transform& t, bool ocs, Box3& out) {
  Reader r;
  V3 p[10];
  bool present[4] = {false, false, false, false};
  Extrusion ex;
  for (const Tag& tag : e) {
    if (tag.code >= 10 && tag.code <= 13) present[tag.code - 10] = true;
    if (r.point(tag, p, 10)) continue;
    if (ocs) ex.read(r, tag);
  }
  if (!r.ok) return;
  const Transform m = ocs ? t * ocsToWcs(ex.n) : t;
  for (int i = 0; i < 4; ++i)
    if (present[i]) addPoint(out, m, p[i]);
}

void lwpolylineExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  Extrusion ex;
  double elevation = 0, constWidth = 0;
  bool closed = false;
  for (const Tag& tag : e) {
    if (ex.read(r, tag)) continue;
    switch (tag.code) {
      case 38: elevation = r.real(tag); break;
      case 43: constWidth = r.real(tag); break;
      case 40: case 41: r.real(tag); break;
      case 70: closed = (r.integer(tag) & 1) != 0; break;
      case 10: case 20: case 42: r.real(tag); break;  // validated here, used below
      default: break;
    }
  }
  if (!r.ok) return;
  const Transform m = t * ocsToWcs(ex.n);
  // Vertices complete at the next 10 or at the end: stream them, keeping the first and the last.
  struct Vertex {
    double x = 0, y = 0, bulge = 0, startWidth = 0, endWidth = 0;
  };
  Vertex first, last, current;
  bool haveCurrent = false, haveLast = false, haveFirst = false;
  int count = 0;
  auto complete = [&]() {
    if (!haveCurrent) return;
    ++count;
    if (haveLast)
      addBulgeSegment(out, m, last.x, last.y, current.x, current.y, last.bulge, elevation, last.startWidth,
                      last.endWidth);
    else addPoint(out, m, {current.x, current.y, elevation});
    if (!haveFirst) {
      first = current;
      haveFirst = true;
    }
    last = current;
    haveLast = true;
    haveCurrent = false;
  };
  for (const Tag& tag : e) {
    switch (tag.code) {
      case 10:
        complete();
        current = {r.real(tag), 0, 0, constWidth, constWidth};
        haveCurrent = true;
        break;
      case 20: if (haveCurrent) current.y = r.real(tag); break;
      case 42: if (haveCurrent) current.bulge = r.real(tag); break;
      case 40: if (haveCurrent) current.startWidth = r.real(tag); break;
      case 41: if (haveCurrent) current.endWidth = r.real(tag); break;
      default: break;
    }
  }
  complete();
  if (closed && count > 1)
    addBulgeSegment(out, m, last.x, last.y, first.x, first.y, last.bulge, elevation, last.startWidth, last.endWidth);
}

// ---- compound entities

// POLYLINE + VERTEX... + SEQEND: 2D (bulges, OCS, elevation in the POLYLINE's 30), 3D, polyface and
// polygon meshes (the vertices' box bounds the faces).
void polylineExtents(std::span<const EntityTags> compound, const Transform& t, Box3& out) {
  Reader r;
  Extrusion ex;
  V3 p[10];
  std::int64_t flags = 0;
  double defaultStart = 0, defaultEnd = 0;
  for (const Tag& tag : compound[0]) {
    if (r.point(tag, p, 10) || ex.read(r, tag)) continue;
    if (tag.code == 70) flags = r.integer(tag);
    if (tag.code == 40) defaultStart = r.real(tag);
    if (tag.code == 41) defaultEnd = r.real(tag);
  }
  if (!r.ok) return;
  const bool is3d = (flags & (8 | 16 | 64)) != 0;  // 3D polyline, polygon mesh, polyface mesh
  const bool closed = (flags & 1) != 0 && !is3d;
  const double elevation = p[0].z;
  const Transform m = is3d ? t : t * ocsToWcs(ex.n);
  struct Vertex {
    double x = 0, y = 0, z = 0, bulge = 0, startWidth = 0, endWidth = 0;
  };
  Vertex first, last;
  bool haveLast = false;
  for (std::size_t i = 1; i < compound.size(); ++i) {
    const EntityTags v = compound[i];
    if (typeOf(v) != "VERTEX") continue;
    Reader vr;
    Vertex cur{0, 0, 0, 0, defaultStart, defaultEnd};
    std::int64_t vflags = 0;
    for (const Tag& tag : v) {
      switch (tag.code) {
        case 40: cur.startWidth = vr.real(tag); break;
        case 41: cur.endWidth = vr.real(tag); break;
        case 10: cur.x = vr.real(tag); break;
        case 20: cur.y = vr.real(tag); break;
        case 30: cur.z = vr.real(tag); break;
        case 42: cur.bulge = vr.real(tag); break;
        case 70: vflags = vr.integer(tag); break;
        default: break;
      }
    }
    if (!vr.ok) continue;
    // A polyface face record (flag 128 without 64) carries vertex indices, not a position.
    if ((vflags & 128) != 0 && (vflags & 64) == 0) continue;
    if (is3d) {
      addPoint(out, m, {cur.x, cur.y, cur.z});
      continue;
    }
    if (haveLast)
      addBulgeSegment(out, m, last.x, last.y, cur.x, cur.y, last.bulge, elevation, last.startWidth, last.endWidth);
    else {
      addPoint(out, m, {cur.x, cur.y, elevation});
      first = cur;
    }
    last = cur;
    haveLast = true;
  }
  if (closed && haveLast)
    addBulgeSegment(out, m, last.x, last.y, first.x, first.y, last.bulge, elevation, last.startWidth, last.endWidth);
}

// ---- text

// Characters a TEXT value shows: UTF-8 code points, with the %% control codes of single-line text read as
// one character (%%d, %%c, %%p, %%nnn) or none (the %%u, %%o, %%k toggles).
std::size_t textLength(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == '%' && i + 2 < s.size() && s[i + 1] == '%') {
      const char c = static_cast<char>(s[i + 2] | 0x20);
      if (c == 'u' || c == 'o' || c == 'k') {
        i += 3;
        continue;
      }
      if (s[i + 2] >= '0' && s[i + 2] <= '9') {
        i += 3;
        for (int k = 0; k < 2 && i < s.size() && s[i] >= '0' && s[i] <= '9'; ++k) ++i;
        ++n;
        continue;
      }
      if (c == 'd' || c == 'c' || c == 'p' || s[i + 2] == '%') {
        i += 3;
        ++n;
        continue;
      }
    }
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++n;
    ++i;
  }
  return n;
}

constexpr double kDescender = 0.333;  // descender below the baseline, as a fraction of the cap height

// TEXT, ATTRIB, ATTDEF: the box of the text line, `height` high (plus descender), each character `height` ×
// width factor wide, placed by the alignment point and the horizontal/vertical alignment.
void textExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  Extrusion ex;
  V3 p[10];
  bool hasAlign = false;
  const std::string_view type = typeOf(e);
  const bool attribute = type != "TEXT";
  std::string_view text, tag;
  double height = 2.5, widthFactor = 1, rotation = 0, oblique = 0;
  std::int64_t halign = 0, valign = 0, generation = 0, attFlags = 0;
  bool inAttributeClass = false;  // after "100 AcDbAttribute...", where 72 means something else
  for (const Tag& g : e) {
    if (g.code == 101) break;  // an embedded object (multi-line attribute) follows: not ours to read
    if (g.code == 100) inAttributeClass = g.value.starts_with("AcDbAttribute");
    if (inAttributeClass && g.code != 2 && g.code != 70 && g.code != 74) continue;
    if (g.code == 11) hasAlign = true;
    if (r.point(g, p, 10) || ex.read(r, g)) continue;
    switch (g.code) {
      case 1: text = g.value; break;
      case 2: tag = g.value; break;
      case 40: height = r.real(g); break;
      case 41: widthFactor = r.real(g); break;
      case 50: rotation = r.real(g); break;
      case 51: oblique = r.real(g); break;
      case 70: if (attribute) attFlags = r.integer(g); break;
      case 71: generation = r.integer(g); break;
      case 72: halign = r.integer(g); break;
      case 73: if (!attribute) valign = r.integer(g); break;
      case 74: if (attribute) valign = r.integer(g); break;
      default: break;
    }
  }
  if (!r.ok) return;
  if (attribute && (attFlags & 1) != 0) return;  // invisible attribute
  const std::size_t chars = textLength(type == "ATTDEF" ? tag : text);
  if (chars == 0) return;
  const V3 p1 = p[0];
  const V3 p2 = hasAlign ? p[1] : p[0];
  double width = static_cast<double>(chars) * height * std::fabs(widthFactor);
  double capHeight = height;
  double angle = rotation * kPi / 180;
  V3 location = p1;
  int h = static_cast<int>(std::clamp<std::int64_t>(halign, 0, 5));
  int v = static_cast<int>(std::clamp<std::int64_t>(valign, 0, 3));
  constexpr int kXMiddle = 4;
  if (h == 3 || h == 5) {  // ALIGNED, FIT: stretched between the two points
    const double dist = length(p2 - p1);
    if (width > 1e-9) {
      const double sx = dist / width;
      width *= sx;
      if (h == 3) capHeight *= sx;
    }
    if (dist > 1e-12) angle = std::atan2(p2.y - p1.y, p2.x - p1.x);
    location = (p1 + p2) * 0.5;
    h = 1;
    v = 0;
  } else if (h == 4) {  // MIDDLE: centred on the whole height
    location = p2;
    h = 1;
    v = kXMiddle;
  } else if (h != 0 || v != 0) {
    location = p2;
  }
  const double descender = capHeight * kDescender;
  const double shiftX = h == 1 ? -width / 2 : (h == 2 ? -width : 0);
  double shiftY = 0;
  switch (v) {
    case 1: shiftY = descender; break;
    case 2: shiftY = -capHeight / 2; break;
    case 3: shiftY = -capHeight; break;
    case kXMiddle: shiftY = -capHeight + (capHeight + descender) / 2; break;
    default: break;
  }
  const double mirrorX = (generation & 2) != 0 ? -1 : 1;
  const double mirrorY = (generation & 4) != 0 ? -1 : 1;
  const double slant = std::tan(oblique * kPi / 180);
  const Transform m = t * ocsToWcs(ex.n);
  const double c = std::cos(angle), s = std::sin(angle);
  const double corners[4][2] = {{0, -descender}, {width, -descender}, {width, capHeight}, {0, capHeight}};
  for (const auto& corner : corners) {
    double x = corner[0] + corner[1] * (std::isfinite(slant) ? slant : 0);
    double y = corner[1];
    x = (x + shiftX) * mirrorX;
    y = (y + shiftY) * mirrorY;
    addPoint(out, m, {location.x + x * c - y * s, location.y + x * s + y * c, location.z});
  }
}

// MTEXT content reduced to what it shows, fed to `sink` one character at a time ('\n' for a paragraph
// break): formatting codes (\A1; \H2.5x; \fArial|b0; {, } ...) dropped, escapes (\\ \{ \}) kept.
template <class Sink>
void plainMText(std::string_view s, Sink&& sink) {
  for (std::size_t i = 0; i < s.size();) {
    const char ch = s[i];
    if (ch == '{' || ch == '}') {
      ++i;
      continue;
    }
    if (ch != '\\' || i + 1 >= s.size()) {
      const unsigned char u = static_cast<unsigned char>(ch);
      if ((u & 0xC0) != 0x80) sink(ch == '\t' ? ' ' : (u >= 0x80 ? 'x' : ch));
      ++i;
      continue;
    }
    const char code = s[i + 1];
    i += 2;
    switch (code) {
      case 'P': sink('\n'); break;
      case '~': sink(' '); break;
      case '\\': case '{': case '}': sink('x'); break;
      case 'L': case 'l': case 'O': case 'o': case 'K': case 'k': break;
      case 'U':  // \U+XXXX: one character
        if (i < s.size() && s[i] == '+') {
          i = std::min(s.size(), i + 5);
          sink('x');
        }
        break;
      case 'S': {  // stacked text: numerator and denominator, shown as one run
        while (i < s.size() && s[i] != ';') {
          if (s[i] != '^' && s[i] != '/' && s[i] != '#' && (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            sink('x');
          ++i;
        }
        if (i < s.size()) ++i;
        break;
      }
      default:  // commands with an argument up to ';'
        if (code == 'A' || code == 'C' || code == 'c' || code == 'F' || code == 'f' || code == 'H' ||
            code == 'Q' || code == 'T' || code == 'W' || code == 'p') {
          const auto end = s.find(';', i);
          i = end == std::string_view::npos ? s.size() : end + 1;
        } else {
          sink('x');
        }
        break;
    }
  }
}

// MTEXT: the text rectangle, width from the reference width (41) or the longest line, height from the lines
// (wrapped at the reference width) and the line spacing; placed by the attachment point (71) and the
// direction (11/21/31) or rotation (50). AutoCAD's own measured size (42/43) wins when present.
void mtextExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  Extrusion ex;
  V3 p[10];
  bool hasDirection = false, hasRotation = false, hasRectWidth = false, hasRectHeight = false;
  double charHeight = 2.5, refWidth = 0, rotation = 0, spacingFactor = 1, rectWidth = 0, rectHeight = 0;
  std::int64_t attachment = 1;
  for (const Tag& g : e) {
    if (g.code == 101) break;  // embedded column data: not read
    if (g.code == 11) hasDirection = true;
    if (r.point(g, p, 10) || ex.read(r, g)) continue;
    switch (g.code) {
      case 40: charHeight = r.real(g); break;
      case 41: refWidth = r.real(g); break;
      case 42: rectWidth = r.real(g); hasRectWidth = true; break;
      case 43: rectHeight = r.real(g); hasRectHeight = true; break;
      case 44: spacingFactor = r.real(g); break;
      case 50: rotation = r.real(g); hasRotation = true; break;
      case 71: attachment = r.integer(g); break;
      default: break;
    }
  }
  if (!r.ok) return;
  // Lines: wrap words at the reference width, counting characters of a monospaced font.
  const double charWidth = std::fabs(charHeight);
  const bool wrap = refWidth > 0;
  std::size_t lines = 0, longest = 0, line = 0, trailingSpaces = 0;
  bool inWord = false, justWrapped = false;
  std::size_t wordStart = 0;  // line length when the current word began
  auto endLine = [&]() {
    ++lines;
    longest = std::max(longest, line - trailingSpaces);
    line = trailingSpaces = 0;
  };
  // Content comes in 3-coded chunks followed by the final 1; read them in order as one text.
  bool any = false;
  auto feed = [&](char ch) {
    if (ch == '\n') {
      if (justWrapped) {  // a break right after a word that wrapped starts no further line
        justWrapped = false;
        return;
      }
      endLine();
      inWord = false;
      any = true;
      return;
    }
    if (ch == ' ') {
      justWrapped = false;
      if (line > 0 || lines == 0) {
        ++line;
        ++trailingSpaces;
      }
      inWord = false;
      return;
    }
    if (!inWord) {
      inWord = true;
      wordStart = line;
    }
    ++line;
    trailingSpaces = 0;
    any = true;
    if (wrap && static_cast<double>(line) * charWidth > refWidth && wordStart > 0) {
      // the word moves to a new line
      const std::size_t wordLength = line - wordStart;
      line = wordStart;
      endLine();
      line = wordLength;
      wordStart = 0;
      justWrapped = true;
    }
  };
  for (const Tag& g : e) {
    if (g.code == 101) break;
    if (g.code == 3) plainMText(g.value, feed);
  }
  for (const Tag& g : e) {
    if (g.code == 101) break;
    if (g.code == 1) plainMText(g.value, feed);
  }
  if (line > trailingSpaces) endLine();
  if (!any || lines == 0 || longest == 0) {
    if (!(hasRectWidth && hasRectHeight && rectWidth > 0 && rectHeight > 0)) return;
  }
  const double lineHeight = charHeight * (1 + kDescender);
  const double spacing = charHeight * spacingFactor * 1.67 - lineHeight;
  double width = wrap ? refWidth : static_cast<double>(longest) * charWidth;
  double height = lineHeight * static_cast<double>(lines) + spacing * static_cast<double>(lines > 0 ? lines - 1 : 0);
  if (hasRectWidth && rectWidth > 0) width = rectWidth;
  if (hasRectHeight && rectHeight > 0) height = rectHeight;
  // Local axes: x along the direction or rotation, z the extrusion.
  V3 uz = ex.n;
  V3 ux{1, 0, 0};
  if (hasDirection) ux = p[1];
  else if (hasRotation) {
    ux = {std::cos(rotation * kPi / 180), std::sin(rotation * kPi / 180), 0};
    uz = {0, 0, 1};
  }
  double lz = length(uz);
  if (!(lz > 1e-12)) uz = {0, 0, 1}, lz = 1;
  uz = uz * (1 / lz);
  V3 uy = cross(uz, ux);
  double ly = length(uy);
  if (!(ly > 1e-12)) {  // direction along the extrusion: fall back to the OCS x axis
    const Transform ocs = ocsToWcs(uz);
    ux = {ocs.m[0], ocs.m[4], ocs.m[8]};
    uy = cross(uz, ux);
    ly = length(uy);
  }
  uy = uy * (1 / ly);
  ux = cross(uy, uz);
  const Transform m = t * fromAxes(ux, uy, uz, p[0]);
  const int a = static_cast<int>(std::clamp<std::int64_t>(attachment, 1, 9)) - 1;
  const double sx = (a % 3 == 1) ? -0.5 : (a % 3 == 2 ? -1.0 : 0.0);
  const double sy = (a / 3 == 1) ? 0.5 : (a / 3 == 2 ? 1.0 : 0.0);
  const double x0 = sx * width, y0 = sy * height;
  for (const auto& c : {V3{0, 0, 0}, V3{width, 0, 0}, V3{width, -height, 0}, V3{0, -height, 0}})
    addPoint(out, m, {c.x + x0, c.y + y0, 0});
}

// ---- splines

// Scratch arrays reused between calls, so measuring splines does not allocate once warmed up.
struct SplineScratch {
  std::vector<double> knots;
  std::vector<double> weights;
  std::vector<V3> points;
  std::vector<V3> derivative;
};
thread_local SplineScratch scratch;

constexpr int kMaxDegree = 12;

// Index of the knot span holding u for a spline of `count` control points and `degree`.
std::size_t findSpan(const std::vector<double>& knots, std::size_t count, int degree, double u) {
  const std::size_t p = static_cast<std::size_t>(degree);
  if (u >= knots[count]) return count - 1;
  if (u <= knots[p]) return p;
  std::size_t lo = p, hi = count;
  while (hi - lo > 1) {
    const std::size_t mid = (lo + hi) / 2;
    if (u < knots[mid]) hi = mid;
    else lo = mid;
  }
  return lo;
}

// de Boor: the point of a (rational when weights are given) B-spline at u.
V3 deBoor(const double* knots, const V3* points, const double* weights, std::size_t count, int degree,
          std::size_t span, double u) {
  std::array<V3, kMaxDegree + 1> d;
  std::array<double, kMaxDegree + 1> w;
  for (int j = 0; j <= degree; ++j) {
    const std::size_t idx = span - static_cast<std::size_t>(degree) + static_cast<std::size_t>(j);
    const double wt = weights ? weights[idx] : 1.0;
    d[static_cast<std::size_t>(j)] = points[idx] * wt;
    w[static_cast<std::size_t>(j)] = wt;
  }
  (void)count;
  for (int r = 1; r <= degree; ++r)
    for (int j = degree; j >= r; --j) {
      const std::size_t i = span - static_cast<std::size_t>(degree) + static_cast<std::size_t>(j);
      const double denom = knots[i + static_cast<std::size_t>(degree - r) + 1] - knots[i];
      const double alpha = denom != 0 ? (u - knots[i]) / denom : 0;
      const auto J = static_cast<std::size_t>(j);
      d[J] = d[J - 1] * (1 - alpha) + d[J] * alpha;
      w[J] = w[J - 1] * (1 - alpha) + w[J] * alpha;
    }
  const auto D = static_cast<std::size_t>(degree);
  if (weights && w[D] != 0) return d[D] * (1 / w[D]);
  return d[D];
}

// Exact for non-rational splines up to degree 3: on every knot span the derivative is a polynomial of
// degree ≤ 2 per axis, fitted from three samples of the derivative spline; its roots are the extremes.
// Higher degrees and rational splines are sampled densely on every span.
void addBSpline(Box3& box, const Transform& t, std::vector<double>& knots, std::vector<V3>& points,
                const std::vector<double>& weights, int degree) {
  const std::size_t n = points.size();
  if (n == 0) return;
  const bool rational = weights.size() == n &&
                        std::any_of(weights.begin(), weights.end(), [](double w) { return w != 1.0; });
  if (rational && std::any_of(weights.begin(), weights.end(), [](double w) { return !(w > 0); })) degree = 0;
  if (degree < 1 || degree > kMaxDegree || n < static_cast<std::size_t>(degree) + 1) {
    for (const V3& q : points) addPoint(box, t, q);
    return;
  }
  const std::size_t p = static_cast<std::size_t>(degree);
  bool knotsOk = knots.size() == n + p + 1;
  for (std::size_t i = 1; knotsOk && i < knots.size(); ++i) knotsOk = knots[i] >= knots[i - 1];
  if (!knotsOk || !(knots[n] > knots[p])) {  // missing or broken knots: a clamped uniform vector
    knots.assign(n + p + 1, 0.0);
    for (std::size_t i = 0; i < knots.size(); ++i)
      knots[i] = static_cast<double>(std::clamp<std::size_t>(i, p, n) - p);
  }
  // Transform the control points once (affine maps commute with B-spline evaluation).
  for (V3& q : points) q = apply(t, q);
  const double* w = rational ? weights.data() : nullptr;
  auto add = [&](double u) {
    const V3 q = deBoor(knots.data(), points.data(), w, n, degree, findSpan(knots, n, degree, u), u);
    box.add(q.x, q.y, q.z);
  };
  const bool exact = !rational && degree <= 3;
  auto& der = scratch.derivative;
  if (exact && degree >= 2) {
    der.resize(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
      const double dk = knots[i + p + 1] - knots[i + 1];
      der[i] = dk > 0 ? (points[i + 1] - points[i]) * (static_cast<double>(p) / dk) : V3{};
    }
  }
  for (std::size_t s = p; s < n; ++s) {
    const double a = knots[s], b = knots[s + 1];
    if (!(b > a)) continue;
    add(a);
    add(b);
    if (!exact) {
      // Sample the span, then narrow down each axis' extreme samples by golden-section search.
      constexpr int kSamples = 32;
      std::array<V3, kSamples + 1> q;
      auto eval = [&](double u) { return deBoor(knots.data(), points.data(), w, n, degree, s, u); };
      for (int k = 0; k <= kSamples; ++k) {
        q[static_cast<std::size_t>(k)] = eval(a + (b - a) * k / kSamples);
        box.add(q[static_cast<std::size_t>(k)].x, q[static_cast<std::size_t>(k)].y, q[static_cast<std::size_t>(k)].z);
      }
      for (int axis = 0; axis < 3; ++axis)
        for (const double sign : {1.0, -1.0}) {
          int best = 0;
          for (int k = 1; k <= kSamples; ++k)
            if (sign * at(q[static_cast<std::size_t>(k)], axis) > sign * at(q[static_cast<std::size_t>(best)], axis)) best = k;
          if (best == 0 || best == kSamples) continue;  // at a span end: already added
          double lo = a + (b - a) * (best - 1) / kSamples, hi = a + (b - a) * (best + 1) / kSamples;
          constexpr double kGolden = 0.6180339887498949;
          double x1 = hi - kGolden * (hi - lo), x2 = lo + kGolden * (hi - lo);
          double f1 = sign * at(eval(x1), axis), f2 = sign * at(eval(x2), axis);
          for (int it = 0; it < 40; ++it) {
            if (f1 < f2) {
              lo = x1;
              x1 = x2;
              f1 = f2;
              x2 = lo + kGolden * (hi - lo);
              f2 = sign * at(eval(x2), axis);
            } else {
              hi = x2;
              x2 = x1;
              f2 = f1;
              x1 = hi - kGolden * (hi - lo);
              f1 = sign * at(eval(x1), axis);
            }
          }
          const V3 e = eval((lo + hi) / 2);
          box.add(e.x, e.y, e.z);
        }
      continue;
    }
    if (degree < 2) continue;
    // Derivative spline: degree p-1, control points der, knots knots[1..].
    const double m = (a + b) / 2;
    auto dAt = [&](double u) { return deBoor(knots.data() + 1, der.data(), nullptr, n - 1, degree - 1, s - 1, u); };
    const V3 d0 = dAt(a), d1 = dAt(m), d2 = dAt(b);
    for (int k = 0; k < 3; ++k) {
      // Quadratic through (0, f0), (0.5, f1), (1, f2) in the normalised span parameter x.
      const double f0 = at(d0, k), f1 = at(d1, k), f2 = at(d2, k);
      const double qa = 2 * f0 - 4 * f1 + 2 * f2, qb = -3 * f0 + 4 * f1 - f2, qc = f0;
      std::array<double, 2> roots{};
      int count = 0;
      if (std::fabs(qa) < 1e-14 * (std::fabs(qb) + std::fabs(qc) + 1e-300)) {
        if (qb != 0) roots[count++] = -qc / qb;
      } else {
        const double disc = qb * qb - 4 * qa * qc;
        if (disc >= 0) {
          const double sq = std::sqrt(disc);
          roots[count++] = (-qb + sq) / (2 * qa);
          roots[count++] = (-qb - sq) / (2 * qa);
        }
      }
      for (int i = 0; i < count; ++i)
        if (roots[static_cast<std::size_t>(i)] > 0 && roots[static_cast<std::size_t>(i)] < 1)
          add(a + (b - a) * roots[static_cast<std::size_t>(i)]);
    }
  }
}

// SPLINE: the curve from its control points (exact for degree ≤ 3); with only fit points, the curve
// through them, bounded by the fit points themselves.
void splineExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  auto& knots = scratch.knots;
  auto& weights = scratch.weights;
  auto& points = scratch.points;
  knots.clear();
  weights.clear();
  points.clear();
  std::int64_t degree = 3;
  Box3 fit;
  V3 fitPoint;
  bool haveFit = false;
  for (const Tag& g : e) {
    switch (g.code) {
      case 71: degree = r.integer(g); break;
      case 40: knots.push_back(r.real(g)); break;
      case 41: weights.push_back(r.real(g)); break;
      case 10: points.push_back({r.real(g), 0, 0}); break;
      case 20: if (!points.empty()) points.back().y = r.real(g); break;
      case 30: if (!points.empty()) points.back().z = r.real(g); break;
      case 11:
        if (haveFit) addPoint(fit, t, fitPoint);
        fitPoint = {r.real(g), 0, 0};
        haveFit = true;
        break;
      case 21: fitPoint.y = r.real(g); break;
      case 31: fitPoint.z = r.real(g); break;
      default: break;
    }
  }
  if (haveFit) addPoint(fit, t, fitPoint);
  if (!r.ok) return;
  if (points.empty()) {
    out.add(fit);
    return;
  }
  addBSpline(out, t, knots, points, weights, static_cast<int>(std::clamp<std::int64_t>(degree, 0, kMaxDegree + 1)));
}

// ---- hatch

// A cursor over tags for the count-driven parts of HATCH.
struct Cursor {
  EntityTags tags;
  std::size_t i = 0;
  bool done() const { return i >= tags.size(); }
  int code() const { return done() ? -1 : tags[i].code; }
  const Tag& take() { return tags[i++]; }
};

// HATCH: the boundary paths, polyline paths with bulges and edge paths of lines, arcs, ellipses and
// splines, in the OCS plane at the elevation.
void hatchExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  Extrusion ex;
  double elevation = 0;
  std::int64_t pathCount = -1;
  Cursor c{e};
  bool seenElevation = false;
  while (!c.done()) {
    const Tag& g = c.take();
    if (ex.read(r, g)) continue;
    if (g.code == 30 && !seenElevation) {
      elevation = r.real(g);
      seenElevation = true;
    } else if (g.code == 91) {
      pathCount = r.integer(g);
      break;
    }
  }
  // The extrusion can come after the paths in odd files: look for it everywhere.
  for (const Tag& g : e) ex.read(r, g);
  if (!r.ok || pathCount <= 0) return;
  const Transform m = t * ocsToWcs(ex.n);
  Box3 local;
  auto arc = [&](double cx, double cy, V3 u, V3 v, double t0, double t1) {
    addEllipticArc(local, m, {cx, cy, elevation}, u, v, t0, ccwSpan(t0, t1));
  };
  for (std::int64_t path = 0; path < pathCount && !c.done() && r.ok; ++path) {
    while (!c.done() && c.code() != 92) c.take();
    if (c.done()) break;
    const std::int64_t flags = r.integer(c.take());
    if ((flags & 2) != 0) {  // polyline path
      bool closed = false;
      std::int64_t count = 0;
      while (c.code() == 72 || c.code() == 73) {
        const Tag& g = c.take();
        if (g.code == 73) closed = r.integer(g) != 0;
      }
      if (c.code() == 93) count = r.integer(c.take());
      double firstX = 0, firstY = 0, lastX = 0, lastY = 0, lastBulge = 0;
      std::int64_t got = 0;
      while (got < count && c.code() == 10 && r.ok) {
        const double x = r.real(c.take());
        double y = 0, bulge = 0;
        if (c.code() == 20) y = r.real(c.take());
        if (c.code() == 42) bulge = r.real(c.take());
        if (got == 0) {
          firstX = x;
          firstY = y;
          addPoint(local, m, {x, y, elevation});
        } else {
          addBulgeSegment(local, m, lastX, lastY, x, y, lastBulge, elevation);
        }
        lastX = x;
        lastY = y;
        lastBulge = bulge;
        ++got;
      }
      if (got > 1 && (closed || lastBulge != 0))
        addBulgeSegment(local, m, lastX, lastY, firstX, firstY, lastBulge, elevation);
    } else {  // edge path
      std::int64_t edges = 0;
      if (c.code() == 93) edges = r.integer(c.take());
      for (std::int64_t k = 0; k < edges && c.code() == 72 && r.ok; ++k) {
        const std::int64_t type = r.integer(c.take());
        V3 q[10];
        double radius = 0, start = 0, end = 360;
        bool ccw = true;
        if (type == 1 || type == 2 || type == 3) {
          for (;;) {
            const int code = c.code();
            if (code == 10 || code == 20 || code == 11 || code == 21) r.point(c.take(), q, 10);
            else if (code == 40) radius = r.real(c.take());
            else if (code == 50) start = r.real(c.take());
            else if (code == 51) end = r.real(c.take());
            else if (code == 73 && type != 1) ccw = r.integer(c.take()) != 0;
            else break;
          }
          if (!r.ok) break;
          if (!ccw) {  // clockwise edges are stored with complementary angles
            const double s0 = start;
            start = 360 - end;
            end = 360 - s0;
          }
          if (type == 1) {
            addPoint(local, m, {q[0].x, q[0].y, elevation});
            addPoint(local, m, {q[1].x, q[1].y, elevation});
          } else if (type == 2) {
            radius = std::fabs(radius);
            if (radius > 1e-12)
              arc(q[0].x, q[0].y, {radius, 0, 0}, {0, radius, 0}, start * kPi / 180, end * kPi / 180);
          } else {
            const V3 major{q[1].x, q[1].y, 0};
            const V3 minor = V3{-major.y, major.x, 0} * radius;  // radius is the axis ratio here
            // Stored angles are true angles; the curve is parametrised by the eccentric anomaly.
            auto param = [&](double deg) {
              const double a = deg * kPi / 180;
              return std::atan2(std::sin(a) / (radius != 0 ? radius : 1), std::cos(a));
            };
            if (length(major) > 1e-12) {
              double t0 = param(start), t1 = param(end);
              if (std::fabs(end - start - 360) < 1e-9 || std::fabs(end - start) >= 360) t1 = t0 + kTau;
              addEllipticArc(local, m, {q[0].x, q[0].y, elevation}, major, minor, t0,
                             t1 - t0 >= kTau ? kTau : ccwSpan(t0, t1));
            }
          }
        } else if (type == 4) {
          auto& knots = scratch.knots;
          auto& weights = scratch.weights;
          auto& points = scratch.points;
          knots.clear();
          weights.clear();
          points.clear();
          std::int64_t degree = 3;
          Box3 fit;
          bool seenFitCount = false;
          for (;;) {
            const int code = c.code();
            if (code == 94) degree = r.integer(c.take());
            else if (code == 73 || code == 74 || code == 95 || code == 96) c.take();
            else if (code == 40) knots.push_back(r.real(c.take()));
            else if (code == 42) weights.push_back(r.real(c.take()));
            else if (code == 10) points.push_back({r.real(c.take()), 0, elevation});
            else if (code == 20) {
              const double y = r.real(c.take());
              if (!points.empty()) points.back().y = y;
            } else if (code == 97 && !seenFitCount) {
              seenFitCount = true;
              c.take();
            } else if (code == 11) {
              const double x = r.real(c.take());
              double y = 0;
              if (c.code() == 21) y = r.real(c.take());
              addPoint(fit, m, {x, y, elevation});
            } else if (code == 12 || code == 22 || code == 13 || code == 23) c.take();
            else break;
          }
          if (!r.ok) break;
          if (points.empty()) local.add(fit);
          else addBSpline(local, m, knots, points, weights, static_cast<int>(std::clamp<std::int64_t>(degree, 0, kMaxDegree + 1)));
        } else {
          break;  // unknown edge type: the rest of this path cannot be followed
        }
      }
    }
  }
  if (r.ok) out.add(local);
}

// ---- images, wipeouts, vertex lists

// IMAGE, WIPEOUT: the clipping boundary (14/24, pixel coordinates from the top left) or the whole picture,
// spanned by the pixel vectors u (11) and v (12) from the insertion point (10).
void imageExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  V3 p[10];
  for (const Tag& g : e)
    if (g.code < 14 || g.code > 34 || (g.code % 10) != 4) r.point(g, p, 10);
  if (!r.ok) return;
  const V3 insert = p[0], u = p[1], v = p[2];
  const double sizeX = p[3].x, sizeY = p[3].y;
  auto pixel = [&](double x, double y) { addPoint(out, t, insert + u * (x + 0.5) + v * (sizeY - y - 0.5)); };
  int count = 0;
  double firstX = 0, firstY = 0, x = 0;
  bool haveX = false;
  for (const Tag& g : e) {
    if (g.code == 14) {
      x = r.real(g);
      haveX = true;
    } else if (g.code == 24 && haveX) {
      const double y = r.real(g);
      if (count == 0) {
        firstX = x;
        firstY = y;
      } else if (count == 1) {  // two points: the rectangle's corners
        pixel(firstX, y);
        pixel(x, firstY);
      }
      pixel(x, y);
      ++count;
      haveX = false;
    }
  }
  if (!r.ok) return;
  if (count == 0) {
    for (const V3& q : {insert, insert + u * sizeX, insert + v * sizeY, insert + u * sizeX + v * sizeY})
      addPoint(out, t, q);
  }
}

// MLINE: each element line passes at every vertex (11) at its offset along the miter direction (13), the
// first parameter (41) after the element's parameter count (74). Without element data, the vertices.
void mlineExtents(EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  V3 vertex, miter;
  bool haveVertex = false, firstParam = false, anyElement = false;
  Box3 local, vertices;
  for (const Tag& g : e) {
    switch (g.code) {
      case 11: vertex = {r.real(g), 0, 0}; haveVertex = true; break;
      case 21: vertex.y = r.real(g); break;
      case 31:
        vertex.z = r.real(g);
        if (haveVertex) addPoint(vertices, t, vertex);
        break;
      case 13: miter.x = r.real(g); break;
      case 23: miter.y = r.real(g); break;
      case 33: miter.z = r.real(g); break;
      case 74: firstParam = haveVertex && r.integer(g) > 0; break;
      case 41:
        if (firstParam) {
          addPoint(local, t, vertex + miter * r.real(g));
          anyElement = true;
        }
        firstParam = false;
        break;
      default: break;
    }
  }
  if (!r.ok) return;
  out.add(anyElement ? local : vertices);
}

// LEADER, MESH, MULTILEADER: every point of the given x code (a best effort for the last two).
void verticesExtents(EntityTags e, const Transform& t, int xCode, bool ocs, Box3& out) {
  Reader r;
  Extrusion ex;
  V3 q;
  bool have = false;
  Box3 local;
  for (const Tag& g : e) {
    if (ocs && ex.read(r, g)) continue;
    if (g.code == xCode) {
      if (have) addPoint(local, t, q);
      q = {r.real(g), 0, 0};
      have = true;
    } else if (g.code == xCode + 10 && have) {
      q.y = r.real(g);
    } else if (g.code == xCode + 20 && have) {
      q.z = r.real(g);
    }
  }
  if (have) addPoint(local, t, q);
  if (r.ok) out.add(local);
}


// INSERT / MINSERT, with its ATTRIBs when they follow.
void insertExtents(Walker& w, std::span<const EntityTags> compound, const Transform& t, Box3& out) {
  Reader r;
  Extrusion ex;
  V3 p[10];
  std::string_view name;
  double sx = 1, sy = 1, sz = 1, rotation = 0, colSpacing = 0, rowSpacing = 0;
  std::int64_t cols = 1, rows = 1;
  for (const Tag& tag : compound[0]) {
    if (r.point(tag, p, 10) || ex.read(r, tag)) continue;
    switch (tag.code) {
      case 2: name = tag.value; break;
      case 41: sx = r.real(tag); break;
      case 42: sy = r.real(tag); break;
      case 43: sz = r.real(tag); break;
      case 50: rotation = r.real(tag); break;
      case 44: colSpacing = r.real(tag); break;
      case 45: rowSpacing = r.real(tag); break;
      case 70: cols = r.integer(tag); break;
      case 71: rows = r.integer(tag); break;
      default: break;
    }
  }
  if (!r.ok) return;
  Box3 local;
  const BlockResolver::Block* block = w.blocks.find(name);
  if (w.enter(block)) {
    const Transform placed = t * ocsToWcs(ex.n) * Transform::translation(p[0].x, p[0].y, p[0].z) *
                             rotationZ(rotation * kPi / 180);
    const Transform m = placed * scaling(sx, sy, sz) * Transform::translation(-block->baseX, -block->baseY, -block->baseZ);
    Box3 one;
    w.placeBlock(*block, m, one);
    w.leave();
    // A MINSERT array is the first copy moved by the grid offsets; the box of the union of translated copies
    // is reached at the grid's corners, so four copies give it exactly whatever the counts are.
    cols = std::max<std::int64_t>(cols, 1);
    rows = std::max<std::int64_t>(rows, 1);
    local.add(one);
    if (!one.empty && (cols > 1 || rows > 1)) {
      const V3 dc = applyLinear(placed, {static_cast<double>(cols - 1) * colSpacing, 0, 0});
      const V3 dr = applyLinear(placed, {0, static_cast<double>(rows - 1) * rowSpacing, 0});
      for (const V3 d : {dc, dr, dc + dr}) {
        local.add(one.minX + d.x, one.minY + d.y, one.minZ + d.z);
        local.add(one.maxX + d.x, one.maxY + d.y, one.maxZ + d.z);
      }
    }
  }
  // Attributes are placed in the drawing's own coordinates, not the block's; invisible ones show nothing.
  for (std::size_t i = 1; i < compound.size(); ++i) {
    if (typeOf(compound[i]) != "ATTRIB") continue;
    textExtents(compound[i], t, local);
  }
  out.add(local);
}

// DIMENSION: its geometry block, placed at the optional insertion point 12 (OCS); without the block its
// definition points.
void dimensionExtents(Walker& w, EntityTags e, const Transform& t, Box3& out) {
  Reader r;
  Extrusion ex;
  V3 p[10];
  bool hasInsert = false;
  std::string_view name;
  bool defPoint[10] = {};
  for (const Tag& tag : e) {
    if (tag.code >= 10 && tag.code <= 16) defPoint[tag.code - 10] = true;
    if (tag.code == 12) hasInsert = true;
    if (r.point(tag, p, 10) || ex.read(r, tag)) continue;
    if (tag.code == 2) name = tag.value;
  }
  if (!r.ok) return;
  const BlockResolver::Block* block = name.empty() ? nullptr : w.blocks.find(name);
  Box3 local;
  if (block != nullptr) {
    Transform m = t;
    if (hasInsert) {
      const V3 ins = apply(ocsToWcs(ex.n), p[2]);
      m = t * Transform::translation(ins.x, ins.y, ins.z);
    }
    if (w.enter(block)) {
      w.placeBlock(*block, m, local);
      w.leave();
    }
  }
  if (local.empty) {
    const Transform ocs = t * ocsToWcs(ex.n);
    for (int i : {0, 3, 4}) if (defPoint[i]) addPoint(local, t, p[i]);
    if (defPoint[1]) addPoint(local, ocs, p[1]);  // the text midpoint is in OCS
  }
  out.add(local);
}

}  // namespace

void Walker::entity(std::span<const EntityTags> compound, const Transform& t, Box3& box) {
  if (compound.empty()) return;
  ++visits;
  const EntityTags e = compound[0];
  const std::string_view type = typeOf(e);
  Box3 local;
  if (type == "LINE") lineExtents(e, t, local);
  else if (type == "POINT") pointExtents(e, t, local);
  else if (type == "CIRCLE") circleOrArcExtents(e, t, false, local);
  else if (type == "ARC") circleOrArcExtents(e, t, true, local);
  else if (type == "ELLIPSE") ellipseExtents(e, t, local);
  else if (type == "LWPOLYLINE") lwpolylineExtents(e, t, local);
  else if (type == "POLYLINE") polylineExtents(compound, t, local);
  else if (type == "INSERT") insertExtents(*this, compound, t, local);
  else if (type == "DIMENSION" || type == "ARC_DIMENSION" || type == "LARGE_RADIAL_DIMENSION")
    dimensionExtents(*this, e, t, local);
  else if (type == "SOLID" || type == "TRACE") cornersExtents(e, t, true, local);
  else if (type == "3DFACE") cornersExtents(e, t, false, local);
  else if (type == "TEXT" || type == "ATTRIB" || type == "ATTDEF") textExtents(e, t, local);
  else if (type == "MTEXT") mtextExtents(e, t, local);
  else if (type == "SPLINE") splineExtents(e, t, local);
  else if (type == "HATCH" || type == "MPOLYGON") hatchExtents(e, t, local);
  else if (type == "IMAGE" || type == "WIPEOUT") imageExtents(e, t, local);
  else if (type == "LEADER") verticesExtents(e, t, 10, false, local);
  else if (type == "MLINE") mlineExtents(e, t, local);
  else if (type == "MESH") verticesExtents(e, t, 10, false, local);
  else if (type == "MULTILEADER" || type == "MLEADER") verticesExtents(e, t, 10, false, local);
  // REGION, 3DSOLID, BODY (ACIS data), VIEWPORT, XLINE, RAY (infinite) and unknown types add nothing.
  box.add(local);
}

void Walker::block(const BlockResolver::Block& b, const Transform& t, Box3& box) {
  const std::span<const EntityTags> all(b.entities);
  std::size_t i = 0;
  while (i < all.size()) {
    const std::size_t n = compoundLength(all.subspan(i));
    // An ATTDEF in a block shows through its INSERT's ATTRIB, not by itself.
    if (typeOf(all[i]) != "ATTDEF") entity(all.subspan(i, n), t, box);
    i += n;
  }
}

std::size_t compoundLength(std::span<const EntityTags> entities) {
  if (entities.empty()) return 0;
  const std::string_view type = typeOf(entities[0]);
  bool compound = type == "POLYLINE";
  if (type == "INSERT") {
    for (const Tag& tag : entities[0])
      if (tag.code == 66) compound = parseInteger(tag.value).value_or(0) != 0;
  }
  if (!compound) return 1;
  const std::string_view member = type == "POLYLINE" ? "VERTEX" : "ATTRIB";
  std::size_t n = 1;
  while (n < entities.size()) {
    const std::string_view t = typeOf(entities[n]);
    if (t == "SEQEND") return n + 1;
    if (t != member) return n;  // no SEQEND: the run ends before the first stranger
    ++n;
  }
  return n;
}

void addEntityExtents(EntityTags entity, const Transform& transform, const BlockResolver& blocks, Box3& box) {
  Walker w{blocks};
  w.entity(std::span<const EntityTags>(&entity, 1), transform, box);
}

void addEntityExtents(std::span<const EntityTags> entities, const Transform& transform,
                      const BlockResolver& blocks, Box3& box) {
  Walker w{blocks};
  w.entity(entities.first(compoundLength(entities)), transform, box);
}

void addEntitiesExtents(std::span<const EntityTags> entities, const Transform& transform,
                        const BlockResolver& blocks, Box3& box) {
  Walker w{blocks};
  std::size_t i = 0;
  while (i < entities.size()) {
    const std::size_t n = compoundLength(entities.subspan(i));
    w.entity(entities.subspan(i, n), transform, box);
    i += n;
  }
}

void addBlockExtents(const BlockResolver::Block& block, const Transform& transform, const BlockResolver& blocks,
                     Box3& box) {
  Walker w{blocks};
  if (!w.enter(&block)) return;
  w.block(block, transform * Transform::translation(-block.baseX, -block.baseY, -block.baseZ), box);
  w.leave();
}

}  // namespace plenvo::dxf
