// Extents of DXF entities: the axis-aligned box, in the coordinates of an enclosing transform, of everything
// an entity draws. Nested INSERTs and DIMENSIONs are followed into their blocks through a BlockResolver.
// XLINE and RAY are infinite and add nothing; an entity with no geometry adds nothing.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "cad/dxf/dxf_tags.h"
#include "core/sheet_layout.h"

namespace plenvo::dxf {

// Row-major 4x4 affine transform: (x', y', z') = M * (x, y, z, 1).
struct Transform {
  std::array<double, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  static Transform identity() { return {}; }
  static Transform translation(double dx, double dy, double dz);
  Transform operator*(const Transform& rhs) const;
  std::array<double, 3> apply(double x, double y, double z) const;
};

// Growing box in 3D; empty until the first point.
struct Box3 {
  double minX = 0, minY = 0, minZ = 0, maxX = 0, maxY = 0, maxZ = 0;
  bool empty = true;
  void add(double x, double y, double z);
  void add(const Box3& other);
  std::optional<Extents> plan() const;  // x and y, or nullopt when empty
};

// What the extents code needs to know of the document's blocks.
class BlockResolver {
 public:
  virtual ~BlockResolver() = default;
  struct Block {
    double baseX = 0, baseY = 0, baseZ = 0;  // the block's base point (BLOCK record, codes 10/20/30)
    std::vector<EntityTags> entities;          // its entities, ATTDEF included, in order
  };
  // The block of that name (as written in the INSERT's or DIMENSION's code 2), or null.
  virtual const Block* find(std::string_view name) const = 0;
};

// Adds the extents of one entity, transformed by `transform`, to `box`.
// Nesting deeper than 32 levels (or a block that contains itself) stops there.
void addEntityExtents(EntityTags entity, const Transform& transform, const BlockResolver& blocks, Box3& box);

// Compound entities: a POLYLINE is followed in the entity stream by its VERTEX entities and a SEQEND, an
// INSERT with attributes (66 = 1) by its ATTRIBs and a SEQEND. This overload takes the stream from the
// POLYLINE or INSERT on (entities[0]) and measures it with its followers; for any other type only
// entities[0] counts. The single-entity overload above sees no vertices of a POLYLINE and so adds nothing.
void addEntityExtents(std::span<const EntityTags> entities, const Transform& transform, const BlockResolver& blocks,
                      Box3& box);

// How many entities from the start of `entities` make one entity for extents: 1, or for a POLYLINE or an
// INSERT with attributes the run up to and including its SEQEND (or up to the first entity of another type
// when the SEQEND is missing). 0 for an empty span.
std::size_t compoundLength(std::span<const EntityTags> entities);

// A whole run of entities in stream order (a layout's or block's entities), compounds grouped as above.
void addEntitiesExtents(std::span<const EntityTags> entities, const Transform& transform,
                        const BlockResolver& blocks, Box3& box);

// Extents of a whole block (its entities, relative to its base point) under `transform`.
void addBlockExtents(const BlockResolver::Block& block, const Transform& transform,
                     const BlockResolver& blocks, Box3& box);

}  // namespace plenvo::dxf
