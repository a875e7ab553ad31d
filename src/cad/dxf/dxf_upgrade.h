// Bringing R12 entities and table records (no subclass markers, no handles) up to the R2000 layout that
// newer readers expect: the AcDbEntity / AcDbSymbolTableRecord markers and the type's own subclasses, with
// the group codes ordered under them.
#pragma once

#include <vector>

#include "cad/dxf/dxf_tags.h"

namespace plenvo::dxf {

// True when the run has no subclass marker (code 100) at all.
bool lacksSubclassMarkers(EntityTags tags);
// The run with markers added; handle (5/105) and owner (330) tags are left out (the writer supplies them).
std::vector<Tag> upgradeEntity(EntityTags tags);
std::vector<Tag> upgradeTableRecord(EntityTags tags);

}  // namespace plenvo::dxf
