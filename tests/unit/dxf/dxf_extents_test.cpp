// Extents of DXF entities from their tags: hand-computed boxes for each entity kind, garbage input, block
// cycles and the nesting limit; and the number parsers the extents read tags with.
#include "cad/dxf/dxf_extents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <cstdio>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace plenvo::dxf {
namespace {

using Tags = std::vector<Tag>;

// Blocks by name, for INSERT and DIMENSION.
class MapResolver : public BlockResolver {
 public:
  void add(std::string name, double bx, double by, std::vector<Tags> entities) {
    Stored& s = blocks_[name];
    s.tags = std::move(entities);
    s.block.baseX = bx;
    s.block.baseY = by;
    s.block.entities.clear();
    for (const Tags& t : s.tags) s.block.entities.emplace_back(t);
  }
  const Block* find(std::string_view name) const override {
    auto it = blocks_.find(std::string(name));
    return it == blocks_.end() ? nullptr : &it->second.block;
  }

 private:
  struct Stored {
    std::vector<Tags> tags;
    Block block;
  };
  std::map<std::string, Stored> blocks_;
};

Box3 measure(const std::vector<Tags>& stream, const BlockResolver& blocks) {
  std::vector<EntityTags> views(stream.begin(), stream.end());
  Box3 box;
  addEntitiesExtents(views, Transform::identity(), blocks, box);
  return box;
}

Box3 measure(const Tags& entity, const BlockResolver& blocks) {
  Box3 box;
  addEntityExtents(EntityTags(entity), Transform::identity(), blocks, box);
  return box;
}

const double kS = std::sqrt(0.5);  // sin 45°

std::string blockName(char prefix, int i) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%c%d", prefix, i);
  return buffer;
}

struct Case {
  const char* name;
  std::vector<Tags> stream;
  double minX, minY, maxX, maxY;
};

void expectBox(const Box3& box, const Case& c, double tol = 1e-9) {
  ASSERT_FALSE(box.empty) << c.name;
  EXPECT_NEAR(box.minX, c.minX, tol) << c.name;
  EXPECT_NEAR(box.minY, c.minY, tol) << c.name;
  EXPECT_NEAR(box.maxX, c.maxX, tol) << c.name;
  EXPECT_NEAR(box.maxY, c.maxY, tol) << c.name;
}

TEST(DxfExtents, GeometryEntities) {
  const double s5 = std::sqrt(5.0);
  const std::vector<Case> cases = {
      {"line", {{{0, "LINE"}, {10, "1"}, {20, "2"}, {11, "4"}, {21, "-1"}}}, 1, -1, 4, 2},
      {"point", {{{0, "POINT"}, {10, "3"}, {20, "4"}}}, 3, 4, 3, 4},
      {"circle", {{{0, "CIRCLE"}, {10, "1"}, {20, "1"}, {40, "2"}}}, -1, -1, 3, 3},
      {"arc inside one quadrant pair", {{{0, "ARC"}, {40, "1"}, {50, "45"}, {51, "135"}}}, -kS, kS, kS, 1},
      {"arc across 0 degrees",
       {{{0, "ARC"}, {40, "1"}, {50, "350"}, {51, "100"}}},
       std::cos(100 * std::numbers::pi / 180), std::sin(350 * std::numbers::pi / 180), 1, 1},
      {"arc with negative angles", {{{0, "ARC"}, {40, "2"}, {50, "-90"}, {51, "-45"}}}, 0, -2, 2 * kS, -2 * kS},
      // Extrusion (0,0,-1): the OCS x axis is the WCS -x axis.
      {"arc in a mirrored OCS",
       {{{0, "ARC"}, {10, "2"}, {40, "1"}, {50, "0"}, {51, "90"}, {210, "0"}, {220, "0"}, {230, "-1"}}},
       -3, 0, -2, 1},
      {"circle in a mirrored OCS",
       {{{0, "CIRCLE"}, {10, "5"}, {20, "1"}, {40, "1"}, {210, "0"}, {220, "0"}, {230, "-1"}}},
       -6, 0, -4, 2},
      {"rotated ellipse",
       {{{0, "ELLIPSE"}, {10, "0"}, {20, "0"}, {11, "2"}, {21, "2"}, {40, "0.5"}, {41, "0"}, {42, "6.283185307179586"}}},
       -s5, -s5, s5, s5},
      {"quarter ellipse",
       {{{0, "ELLIPSE"}, {10, "1"}, {20, "1"}, {11, "2"}, {21, "0"}, {40, "0.5"}, {41, "0"}, {42, "1.5707963267948966"}}},
       1, 1, 3, 2},
      {"ellipse with axis ratio above 1",
       {{{0, "ELLIPSE"}, {11, "1"}, {21, "0"}, {40, "2"}}}, -1, -2, 1, 2},
      {"lwpolyline with a ccw half circle",
       {{{0, "LWPOLYLINE"}, {90, "2"}, {70, "0"}, {10, "0"}, {20, "0"}, {42, "1"}, {10, "2"}, {20, "0"}}},
       0, -1, 2, 0},
      {"lwpolyline with a cw half circle",
       {{{0, "LWPOLYLINE"}, {90, "2"}, {10, "0"}, {20, "0"}, {42, "-1"}, {10, "2"}, {20, "0"}}}, 0, 0, 2, 1},
      {"closed lwpolyline, bulge on the closing segment",
       {{{0, "LWPOLYLINE"}, {90, "2"}, {70, "1"}, {10, "0"}, {20, "0"}, {10, "2"}, {20, "0"}, {42, "1"}}},
       0, 0, 2, 1},
      {"lwpolyline in a mirrored OCS with elevation",
       {{{0, "LWPOLYLINE"}, {38, "4"}, {10, "1"}, {20, "0"}, {10, "3"}, {20, "2"}, {210, "0"}, {220, "0"}, {230, "-1"}}},
       -3, 0, -1, 2},
      {"solid", {{{0, "SOLID"}, {10, "0"}, {20, "0"}, {11, "5"}, {21, "0"}, {12, "0"}, {22, "3"}}}, 0, 0, 5, 3},
      {"3dface", {{{0, "3DFACE"}, {10, "-1"}, {20, "0"}, {11, "2"}, {21, "0"}, {12, "0"}, {22, "3"}, {13, "0"}, {23, "3"}}}, -1, 0, 2, 3},
      {"2D polyline with vertices and a bulge",
       {{{0, "POLYLINE"}, {66, "1"}, {10, "0"}, {20, "0"}, {30, "0"}, {70, "0"}},
        {{0, "VERTEX"}, {10, "0"}, {20, "0"}, {42, "-1"}},
        {{0, "VERTEX"}, {10, "4"}, {20, "0"}},
        {{0, "SEQEND"}}},
       0, 0, 4, 2},
      {"3D polyline",
       {{{0, "POLYLINE"}, {70, "8"}}, {{0, "VERTEX"}, {10, "1"}, {20, "2"}, {30, "3"}, {70, "32"}},
        {{0, "VERTEX"}, {10, "-1"}, {20, "5"}, {30, "0"}, {70, "32"}}, {{0, "SEQEND"}}},
       -1, 2, 1, 5},
      {"polyface mesh: face records are not positions",
       {{{0, "POLYLINE"}, {70, "64"}}, {{0, "VERTEX"}, {10, "1"}, {20, "1"}, {70, "192"}},
        {{0, "VERTEX"}, {10, "2"}, {20, "3"}, {70, "192"}},
        {{0, "VERTEX"}, {10, "99"}, {20, "99"}, {70, "128"}, {71, "1"}, {72, "2"}}, {{0, "SEQEND"}}},
       1, 1, 2, 3},
      {"quadratic spline", {{{0, "SPLINE"}, {71, "2"}, {40, "0"}, {40, "0"}, {40, "0"}, {40, "1"}, {40, "1"}, {40, "1"},
                             {10, "0"}, {20, "0"}, {10, "1"}, {20, "2"}, {10, "2"}, {20, "0"}}},
       0, 0, 2, 1},
      {"cubic spline without knots",
       {{{0, "SPLINE"}, {71, "3"}, {10, "0"}, {20, "0"}, {10, "0"}, {20, "1"}, {10, "1"}, {20, "1"}, {10, "1"}, {20, "0"}}},
       0, 0, 1, 0.75},
      {"spline with fit points only", {{{0, "SPLINE"}, {71, "3"}, {11, "0"}, {21, "0"}, {11, "4"}, {21, "1"}}}, 0, 0, 4, 1},
      {"image", {{{0, "IMAGE"}, {10, "1"}, {20, "1"}, {11, "0.1"}, {21, "0"}, {12, "0"}, {22, "0.1"}, {13, "100"}, {23, "50"}}},
       1, 1, 11, 6},
      {"leader", {{{0, "LEADER"}, {76, "2"}, {10, "0"}, {20, "0"}, {10, "5"}, {20, "-2"}}}, 0, -2, 5, 0},
      // Element lines at ±0.5 along the miter direction (0,1) of each vertex.
      {"mline", {{{0, "MLINE"}, {10, "0"}, {20, "0"}, {30, "0"},
                  {11, "0"}, {21, "0"}, {31, "0"}, {12, "1"}, {22, "0"}, {32, "0"}, {13, "0"}, {23, "1"}, {33, "0"},
                  {74, "2"}, {41, "0.5"}, {41, "0"}, {75, "0"}, {74, "2"}, {41, "-0.5"}, {41, "0"}, {75, "0"},
                  {11, "10"}, {21, "0"}, {31, "0"}, {12, "1"}, {22, "0"}, {32, "0"}, {13, "0"}, {23, "1"}, {33, "0"},
                  {74, "2"}, {41, "0.5"}, {41, "0"}, {75, "0"}, {74, "2"}, {41, "-0.5"}, {41, "0"}, {75, "0"}}},
       0, -0.5, 10, 0.5},
      {"wide lwpolyline: a band around the centre line",
       {{{0, "LWPOLYLINE"}, {43, "1"}, {10, "0"}, {20, "0"}, {10, "4"}, {20, "0"}, {40, "2"}, {41, "0"}, {10, "4"}, {20, "4"}}},
       0, -0.5, 5, 4},
      {"wide arc segment", {{{0, "LWPOLYLINE"}, {10, "0"}, {20, "0"}, {40, "1"}, {41, "1"}, {42, "-1"}, {10, "2"}, {20, "0"}}},
       -0.5, 0, 2.5, 1.5},
  };
  MapResolver none;
  for (const Case& c : cases) expectBox(measure(c.stream, none), c);
}

TEST(DxfExtents, HatchBoundaries) {
  const std::vector<Case> cases = {
      {"polyline path with a bulge; seed points ignored",
       {{{0, "HATCH"}, {10, "0"}, {20, "0"}, {30, "0"}, {210, "0"}, {220, "0"}, {230, "1"}, {2, "SOLID"}, {70, "1"},
         {71, "0"}, {91, "1"}, {92, "2"}, {72, "1"}, {73, "1"}, {93, "2"}, {10, "0"}, {20, "0"}, {42, "1"}, {10, "2"},
         {20, "0"}, {42, "0"}, {97, "0"}, {75, "1"}, {76, "1"}, {98, "1"}, {10, "50"}, {20, "50"}}},
       0, -1, 2, 0},
      {"edge path: line and arc, clockwise arc stored with complementary angles",
       {{{0, "HATCH"}, {10, "0"}, {20, "0"}, {30, "0"}, {2, "SOLID"}, {70, "1"}, {71, "0"}, {91, "1"}, {92, "1"},
         {93, "2"}, {72, "1"}, {10, "-1"}, {20, "0"}, {11, "1"}, {21, "0"}, {72, "2"}, {10, "0"}, {20, "0"},
         {40, "1"}, {50, "0"}, {51, "180"}, {73, "0"}, {97, "0"}, {75, "1"}}},
       -1, -1, 1, 0},
      {"edge path: quarter ellipse",
       {{{0, "HATCH"}, {30, "0"}, {91, "1"}, {92, "1"}, {93, "1"}, {72, "3"}, {10, "0"}, {20, "0"}, {11, "2"},
         {21, "0"}, {40, "0.5"}, {50, "0"}, {51, "90"}, {73, "1"}, {97, "0"}}},
       0, 0, 2, 1},
  };
  MapResolver none;
  for (const Case& c : cases) expectBox(measure(c.stream, none), c);
}

TEST(DxfExtents, TextPlacement) {
  const double d = 0.333;  // descender
  const std::vector<Case> cases = {
      {"left on the baseline", {{{0, "TEXT"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, "ABCD"}}}, 0, -d, 4, 1},
      {"right aligned at the alignment point",
       {{{0, "TEXT"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "0"}, {40, "1"}, {1, "ABCD"}, {72, "2"}}}, 6, -d, 10, 1},
      {"centre, middle", {{{0, "TEXT"}, {11, "0"}, {21, "0"}, {40, "1"}, {1, "ABCD"}, {72, "1"}, {73, "2"}}}, -2, -0.5 - d, 2, 0.5},
      {"width factor and top", {{{0, "TEXT"}, {11, "0"}, {21, "0"}, {40, "2"}, {41, "0.5"}, {1, "AB"}, {73, "3"}}}, 0, -2 - 2 * d, 2, 0},
      {"aligned between two points",
       {{{0, "TEXT"}, {10, "0"}, {20, "0"}, {11, "8"}, {21, "0"}, {40, "1"}, {1, "ABCD"}, {72, "3"}}}, 0, -2 * d, 8, 2},
      {"rotated 90 degrees", {{{0, "TEXT"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "90"}, {1, "ABCD"}}}, -1, 0, d, 4},
      {"control codes count as one character",
       {{{0, "TEXT"}, {40, "1"}, {1, "%%c10%%u"}}}, 0, -d, 3, 1},
      {"mtext, top left", {{{0, "MTEXT"}, {10, "0"}, {20, "0"}, {40, "1"}, {71, "1"}, {1, "AB\\PCDE"}}},
       0, -(2 * 1.333 + 1.67 - 1.333), 3, 0},
      {"mtext, middle centre, formatting dropped",
       {{{0, "MTEXT"}, {10, "0"}, {20, "0"}, {40, "1"}, {71, "5"}, {1, "{\\fArial|b1;AB}\\PC\\H2x;DE"}}},
       -1.5, -(2 * 1.333 + 1.67 - 1.333) / 2, 1.5, (2 * 1.333 + 1.67 - 1.333) / 2},
      {"mtext wrapped at its width",
       {{{0, "MTEXT"}, {10, "0"}, {20, "0"}, {40, "1"}, {41, "5"}, {71, "7"}, {1, "AAA BBB CCC"}}},
       0, 0, 5, 3 * 1.333 + 2 * (1.67 - 1.333)},
      // As ezdxf (after AutoCAD): the first break right after a word that wrapped adds no line.
      {"mtext: a break after a wrapped word",
       {{{0, "MTEXT"}, {10, "0"}, {20, "0"}, {40, "1"}, {41, "5"}, {71, "7"}, {1, "AAA BBB\\P\\PCCC"}}},
       0, 0, 5, 3 * 1.333 + 2 * (1.67 - 1.333)},
      {"mtext with measured size and direction",
       {{{0, "MTEXT"}, {10, "1"}, {20, "1"}, {40, "1"}, {11, "0"}, {21, "1"}, {42, "4"}, {43, "2"}, {71, "1"}, {1, "x"}}},
       1, 1, 3, 5},
  };
  MapResolver none;
  for (const Case& c : cases) expectBox(measure(c.stream, none), c, 1e-6);
}

TEST(DxfExtents, BlockReferences) {
  MapResolver blocks;
  // B: a line from its base point two units along x.
  blocks.add("B", 1, 1, {{{0, "LINE"}, {10, "1"}, {20, "1"}, {11, "3"}, {21, "1"}}});
  // C: B scaled by 2, turned 90° and placed at (10,0), so the line runs (10,0)-(10,4).
  blocks.add("C", 0, 0, {{{0, "INSERT"}, {2, "B"}, {10, "10"}, {20, "0"}, {41, "2"}, {42, "2"}, {50, "90"}}});
  blocks.add("U", 0, 0, {{{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "1"}},
                         {{0, "ATTDEF"}, {10, "50"}, {20, "50"}, {40, "1"}, {2, "TAG"}, {1, ""}}});
  blocks.add("DIM1", 0, 0, {{{0, "LINE"}, {10, "0"}, {20, "-1"}, {11, "6"}, {21, "-1"}}});
  const std::vector<Case> cases = {
      {"insert", {{{0, "INSERT"}, {2, "B"}, {10, "10"}, {20, "0"}, {41, "2"}, {42, "2"}, {50, "90"}}}, 10, 0, 10, 4},
      // C at the origin, halved and turned 90° again: (10,0)-(10,4) -> (5,0)-(5,2) -> (0,5)-(-2,5).
      {"nested rotated and scaled",
       {{{0, "INSERT"}, {2, "C"}, {41, "0.5"}, {42, "0.5"}, {43, "0.5"}, {50, "90"}}}, -2, 5, 0, 5},
      {"mirrored by a negative scale", {{{0, "INSERT"}, {2, "U"}, {41, "-1"}}}, -1, 0, 0, 1},
      {"insert in a mirrored OCS", {{{0, "INSERT"}, {2, "U"}, {10, "3"}, {230, "-1"}}}, -4, 0, -3, 1},
      {"minsert 3 x 2", {{{0, "INSERT"}, {2, "U"}, {70, "3"}, {71, "2"}, {44, "10"}, {45, "5"}}}, 0, 0, 21, 6},
      {"minsert turned 90 degrees",
       {{{0, "INSERT"}, {2, "U"}, {50, "90"}, {70, "3"}, {71, "2"}, {44, "10"}, {45, "5"}}}, -6, 0, 0, 21},
      {"minsert with a billion columns",
       {{{0, "INSERT"}, {2, "U"}, {70, "1000000000"}, {71, "1"}, {44, "10"}}}, 0, 0, 9999999991, 1},
      {"attributes follow the insert, in drawing coordinates",
       {{{0, "INSERT"}, {66, "1"}, {2, "U"}, {10, "0"}, {20, "0"}},
        {{0, "ATTRIB"}, {10, "-5"}, {20, "0"}, {40, "1"}, {1, "AB"}, {2, "TAG"}},
        {{0, "ATTRIB"}, {10, "100"}, {20, "0"}, {40, "1"}, {1, "HIDDEN"}, {2, "T2"}, {70, "1"}},
        {{0, "SEQEND"}}},
       -5, -0.333, 1, 1},
      {"dimension through its block", {{{0, "DIMENSION"}, {2, "DIM1"}, {10, "0"}, {20, "0"}, {13, "1"}, {23, "1"}}}, 0, -1, 6, -1},
      {"dimension without its block: definition points",
       {{{0, "DIMENSION"}, {2, "*D9"}, {10, "0"}, {20, "5"}, {11, "2"}, {21, "6"}, {13, "1"}, {23, "1"}, {14, "4"}, {24, "1"}}},
       0, 1, 4, 6},
  };
  for (const Case& c : cases) expectBox(measure(c.stream, blocks), c, 1e-6);

  // A block measured on its own is relative to its base point.
  Box3 box;
  addBlockExtents(*blocks.find("B"), Transform::translation(0, 10, 0), blocks, box);
  expectBox(box, {"block", {}, 0, 10, 2, 10});
}

TEST(DxfExtents, NothingToMeasure) {
  MapResolver blocks;
  const std::vector<Tags> cases = {
      {{0, "XLINE"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}},
      {{0, "RAY"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}},
      {{0, "3DSOLID"}, {1, "acis data"}},
      {{0, "VIEWPORT"}, {10, "0"}, {20, "0"}, {40, "100"}, {41, "100"}},
      {{0, "SOMETHING_NEW"}, {10, "5"}, {20, "5"}},
      {{0, "INSERT"}, {2, "MISSING"}, {10, "5"}, {20, "5"}},
      {{0, "TEXT"}, {10, "5"}, {20, "5"}, {40, "1"}, {1, ""}},
      {{0, "POLYLINE"}, {10, "0"}, {20, "0"}},
      {},
      // Garbage numbers: the entity is dropped, not half-measured.
      {{0, "LINE"}, {10, "abc"}, {20, "0"}, {11, "1"}, {21, "1"}},
      {{0, "LINE"}, {10, "nan"}, {20, "0"}, {11, "1"}, {21, "1"}},
      {{0, "CIRCLE"}, {10, "1"}, {20, "1"}, {40, "inf"}},
      {{0, "LWPOLYLINE"}, {10, "0"}, {20, "0"}, {10, "1"}, {20, "1"}, {42, "1e"}},
      {{0, "ARC"}, {40, "1"}, {50, ""}},
      {{0, "INSERT"}, {2, "B"}, {41, "two"}},
      {{0, "HATCH"}, {91, "1"}, {92, "2"}, {93, "2"}, {10, "0"}, {20, "x"}},
      {{0, "SPLINE"}, {71, "3"}, {10, "0"}, {20, "--"}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_TRUE(measure(cases[i], blocks).empty) << "case " << i;
}

TEST(DxfExtents, HostileInput) {
  MapResolver blocks;
  blocks.add("L", 0, 0, {{{0, "LINE"}, {11, "1"}, {21, "1"}}});
  blocks.add("L2", 0, 0, {{{0, "LINE"}, {10, "1"}, {20, "1"}, {11, "2"}, {21, "2"}}});
  const std::vector<Case> cases = {
      {"missing codes default to 0", {{{0, "LINE"}, {11, "2"}}}, 0, 0, 2, 0},
      {"decimal comma", {{{0, "LINE"}, {10, "1,5"}, {20, "0"}, {11, "2,25"}, {21, "1"}}}, 1.5, 0, 2.25, 1},
      {"a point that overflows to infinity is left out",
       {{{0, "INSERT"}, {2, "L2"}, {41, "1e308"}, {42, "1e308"}}, {{0, "POINT"}, {10, "1"}, {20, "1"}}}, 1, 1, 1e308, 1e308},
      {"negative and zero array counts mean one copy",
       {{{0, "INSERT"}, {2, "L"}, {70, "-5"}, {71, "0"}, {44, "10"}, {45, "10"}}}, 0, 0, 1, 1},
      {"spline with broken knots falls back to uniform knots",
       {{{0, "SPLINE"}, {71, "2"}, {40, "5"}, {40, "1"}, {10, "0"}, {20, "0"}, {10, "1"}, {20, "2"}, {10, "2"}, {20, "0"}}},
       0, 0, 2, 1},
      {"spline of absurd degree: its control points",
       {{{0, "SPLINE"}, {71, "99"}, {10, "0"}, {20, "0"}, {10, "1"}, {20, "2"}}}, 0, 0, 1, 2},
      {"hatch with counts larger than the data",
       {{{0, "HATCH"}, {91, "1000000"}, {92, "2"}, {93, "1000000"}, {10, "0"}, {20, "0"}, {10, "3"}, {20, "1"}}},
       0, 0, 3, 1},
      {"polyline vertices without a SEQEND",
       {{{0, "POLYLINE"}}, {{0, "VERTEX"}, {10, "1"}, {20, "1"}}, {{0, "VERTEX"}, {10, "2"}, {20, "3"}},
        {{0, "POINT"}, {10, "9"}, {20, "9"}}},
       1, 1, 9, 9},
  };
  for (const Case& c : cases) expectBox(measure(c.stream, blocks), c, 1e-9);
}

TEST(DxfExtents, BlockCyclesAndDepth) {
  MapResolver blocks;
  // A contains itself; P and Q contain each other.
  blocks.add("A", 0, 0, {{{0, "LINE"}, {11, "1"}, {21, "1"}}, {{0, "INSERT"}, {2, "A"}, {10, "5"}}});
  blocks.add("P", 0, 0, {{{0, "POINT"}, {10, "1"}}, {{0, "INSERT"}, {2, "Q"}, {10, "1"}}});
  blocks.add("Q", 0, 0, {{{0, "POINT"}, {10, "1"}}, {{0, "INSERT"}, {2, "P"}, {10, "1"}}});
  expectBox(measure(Tags{{0, "INSERT"}, {2, "A"}}, blocks), {"self", {}, 0, 0, 1, 1});
  // P at 0: its point at 1; Q at 1: its point at 2; P again refused.
  expectBox(measure(Tags{{0, "INSERT"}, {2, "P"}}, blocks), {"mutual", {}, 1, 0, 2, 0});

  // A chain of 40 blocks, each with a unit line and the next block one unit further: 32 levels are followed.
  std::vector<std::string> names;
  for (int i = 0; i < 41; ++i) names.push_back(blockName('N', i));
  for (int i = 0; i < 40; ++i)
    blocks.add(names[i], 0, 0, {{{0, "LINE"}, {11, "1"}}, {{0, "INSERT"}, {2, names[i + 1]}, {10, "1"}}});
  expectBox(measure(Tags{{0, "INSERT"}, {2, names[0]}}, blocks), {"deep", {}, 0, 0, 32, 0});

  // 30 levels, each inserting the next block ten times: 10^30 copies. Measured quickly, and the box still
  // holds the drawing (each level adds up to 10 units: copies at x = 0..9 plus the unit line).
  std::vector<std::string> fan;
  for (int i = 0; i <= 30; ++i) fan.push_back(blockName('F', i));
  blocks.add(fan[30], 0, 0, {{{0, "LINE"}, {11, "1"}}});
  static const char* const kX[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
  for (int i = 0; i < 30; ++i) {
    std::vector<Tags> copies;
    for (const char* x : kX) copies.push_back({{0, "INSERT"}, {2, fan[i + 1]}, {10, x}});
    blocks.add(fan[i], 0, 0, copies);
  }
  const Box3 box = measure(Tags{{0, "INSERT"}, {2, fan[0]}}, blocks);
  expectBox(box, {"fan", {}, 0, 0, 30 * 9 + 1, 0});
}

// Random tag soup of every known type, with blocks referring to each other: nothing may crash or trip the
// sanitizers, and whatever box comes out is finite.
TEST(DxfExtents, RandomTagsAreSurvived) {
  static const char* const kTypes[] = {"LINE", "POINT", "CIRCLE", "ARC", "ELLIPSE", "LWPOLYLINE", "POLYLINE",
                                       "VERTEX", "SEQEND", "SPLINE", "TEXT", "ATTRIB", "ATTDEF", "MTEXT", "HATCH",
                                       "SOLID", "3DFACE", "INSERT", "DIMENSION", "LEADER", "MLINE", "IMAGE",
                                       "WIPEOUT", "MESH", "MULTILEADER"};
  static const char* const kValues[] = {"0", "1", "-1", "2", "3", "0.5", "1e308", "-1e308", "1e-320", "360",
                                        "-720", "1,5", "x", "", "nan", "4", "64", "128", "1000000000", "B0",
                                        "B1", "B2", "\\P{\\H2;", "%%", "%%1", "\\S1^2;", "\\U+4E2D"};
  static const int kCodes[] = {1,  2,  3,  10, 20, 30, 11, 21, 31, 12, 22, 13, 23, 14, 24, 38, 40, 41, 42, 43, 44,
                               45, 50, 51, 66, 70, 71, 72, 73, 74, 75, 91, 92, 93, 94, 95, 96, 97, 98, 100, 101,
                               210, 220, 230};
  std::uint32_t seed = 12345;
  auto next = [&](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  auto entity = [&] {
    Tags t{{0, kTypes[next(std::size(kTypes))]}};
    const std::uint32_t count = next(40);
    for (std::uint32_t i = 0; i < count; ++i) t.push_back({kCodes[next(std::size(kCodes))], kValues[next(std::size(kValues))]});
    return t;
  };
  for (int round = 0; round < 200; ++round) {
    MapResolver blocks;
    for (const char* name : {"B0", "B1", "B2"}) {
      std::vector<Tags> content;
      for (std::uint32_t i = next(6); i > 0; --i) content.push_back(entity());
      blocks.add(name, 0, 0, content);
    }
    std::vector<Tags> stream;
    for (int i = 0; i < 20; ++i) stream.push_back(entity());
    const Box3 box = measure(stream, blocks);
    if (!box.empty) {
      EXPECT_TRUE(std::isfinite(box.minX) && std::isfinite(box.maxX) && box.minX <= box.maxX) << round;
      EXPECT_TRUE(std::isfinite(box.minY) && std::isfinite(box.maxY) && box.minY <= box.maxY) << round;
    }
  }
}

TEST(DxfExtents, TransformAndBox) {
  Transform t = Transform::translation(1, 2, 3) * Transform::translation(10, 0, 0);
  auto p = t.apply(1, 1, 1);
  EXPECT_EQ(p, (std::array<double, 3>{12, 3, 4}));
  Box3 box;
  EXPECT_FALSE(box.plan().has_value());
  box.add(NAN, 1, 1);
  box.add(1, INFINITY, 1);
  EXPECT_TRUE(box.empty);
  box.add(-1, 2, 0);
  box.add(3, -4, 5);
  auto e = box.plan();
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->minX, -1);
  EXPECT_EQ(e->minY, -4);
  EXPECT_EQ(e->maxX, 3);
  EXPECT_EQ(e->maxY, 2);
  EXPECT_EQ(box.maxZ, 5);
}

TEST(DxfTags, ParseReal) {
  const struct {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"1.5", 1.5},     {"  -2.25\r", -2.25}, {"1,5", 1.5},   {"+3e2", 300.0}, {"1E-3", 0.001}, {"7", 7.0},
      {"", std::nullopt}, {"   ", std::nullopt}, {"abc", std::nullopt}, {"1.5x", std::nullopt},
      {"1,5,3", std::nullopt}, {"1.5,3", std::nullopt}, {"nan", std::nullopt}, {"inf", std::nullopt},
      {"1e999", std::nullopt}, {"--1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseReal(c.text), c.value) << "'" << c.text << "'";
}

TEST(DxfTags, ParseInteger) {
  const struct {
    const char* text;
    std::optional<std::int64_t> value;
  } cases[] = {
      {"12", 12}, {"  -7 ", -7}, {"+5", 5}, {"1.0", 1}, {"9223372036854775807", INT64_MAX},
      {"1.5", std::nullopt}, {"x", std::nullopt}, {"", std::nullopt}, {"99999999999999999999", std::nullopt},
      {"3 4", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseInteger(c.text), c.value) << "'" << c.text << "'";
}

}  // namespace
}  // namespace plenvo::dxf
