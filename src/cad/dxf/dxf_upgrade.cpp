// Subclass layouts of the R12 entity types, as R2000 and later write them.
#include "cad/dxf/dxf_upgrade.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace plenvo::dxf {
namespace {

bool isEntityCommon(int code) {
  switch (code) {
    case 67: case 8: case 6: case 62: case 370: case 48: case 60: case 420: case 430: case 440: case 390:
    case 284: case 347: case 348: case 410: case 92: case 310:
      return true;
    default:
      return false;
  }
}

bool in(int code, std::initializer_list<int> codes) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool dimensionPointCode(int code) {
  return (code >= 13 && code <= 16) || (code >= 23 && code <= 26) || (code >= 33 && code <= 36);
}

struct Layout {
  // Up to three subclasses; a tag goes to the last one whose predicate takes it, else to the first.
  const char* markers[3] = {nullptr, nullptr, nullptr};
  bool (*takes[3])(int) = {nullptr, nullptr, nullptr};
  const char* emptyMarker = nullptr;  // a marker with no tags of its own, written before markers[0]
};

std::int64_t flagsOf(EntityTags tags) {
  for (const Tag& t : tags)
    if (t.code == 70) return parseInteger(t.value).value_or(0);
  return 0;
}

Layout layoutOf(EntityTags tags) {
  const std::string_view type = tags[0].value;
  Layout l;
  auto set = [&](int i, const char* marker, bool (*pred)(int)) {
    l.markers[i] = marker;
    l.takes[i] = pred;
  };
  if (type == "LINE") set(0, "AcDbLine", nullptr);
  else if (type == "POINT") set(0, "AcDbPoint", nullptr);
  else if (type == "CIRCLE") set(0, "AcDbCircle", nullptr);
  else if (type == "ARC") {
    set(0, "AcDbCircle", nullptr);
    set(1, "AcDbArc", [](int c) { return c == 50 || c == 51; });
  } else if (type == "TEXT") {
    set(0, "AcDbText", nullptr);
    set(1, "AcDbText", [](int c) { return c == 73; });
  } else if (type == "ATTDEF") {
    set(0, "AcDbText", nullptr);
    set(1, "AcDbAttributeDefinition", [](int c) { return in(c, {3, 2, 70, 73, 74}); });
  } else if (type == "ATTRIB") {
    set(0, "AcDbText", nullptr);
    set(1, "AcDbAttribute", [](int c) { return in(c, {2, 70, 73, 74}); });
  } else if (type == "SOLID" || type == "TRACE") set(0, "AcDbTrace", nullptr);
  else if (type == "3DFACE") set(0, "AcDbFace", nullptr);
  else if (type == "SHAPE") set(0, "AcDbShape", nullptr);
  else if (type == "INSERT") {
    bool multiple = false;
    for (const Tag& t : tags)
      if ((t.code == 70 || t.code == 71) && parseInteger(t.value).value_or(1) > 1) multiple = true;
    set(0, multiple ? "AcDbMInsertBlock" : "AcDbBlockReference", nullptr);
  } else if (type == "POLYLINE") {
    const auto f = flagsOf(tags);
    set(0, (f & 8) ? "AcDb3dPolyline" : (f & 16) ? "AcDbPolygonMesh" : (f & 64) ? "AcDbPolyFaceMesh"
                                                                                 : "AcDb2dPolyline",
        nullptr);
  } else if (type == "VERTEX") {
    const auto f = flagsOf(tags);
    if ((f & 128) && !(f & 64)) {
      set(0, "AcDbFaceRecord", nullptr);
    } else {
      l.emptyMarker = "AcDbVertex";
      set(0, (f & 32) ? "AcDb3dPolylineVertex" : (f & 64) && (f & 128) ? "AcDbPolyFaceMeshVertex"
             : (f & 64)                                             ? "AcDbPolygonMeshVertex"
                                                                    : "AcDb2dVertex",
          nullptr);
    }
  } else if (type == "DIMENSION") {
    set(0, "AcDbDimension", nullptr);
    switch (flagsOf(tags) & 7) {
      case 0:
        set(1, "AcDbAlignedDimension", dimensionPointCode);
        set(2, "AcDbRotatedDimension", [](int c) { return c == 50 || c == 52; });
        break;
      case 1: set(1, "AcDbAlignedDimension", [](int c) { return dimensionPointCode(c) || c == 50; }); break;
      case 2: set(1, "AcDb2LineAngularDimension", dimensionPointCode); break;
      case 3: set(1, "AcDbDiametricDimension", [](int c) { return dimensionPointCode(c) || c == 40; }); break;
      case 4: set(1, "AcDbRadialDimension", [](int c) { return dimensionPointCode(c) || c == 40; }); break;
      case 5: set(1, "AcDb3PointAngularDimension", dimensionPointCode); break;
      default: set(1, "AcDbOrdinateDimension", dimensionPointCode); break;
    }
  } else if (type == "VIEWPORT") set(0, "AcDbViewport", nullptr);
  return l;
}

bool isHandleOrOwner(const Tag& t, bool dimstyle) {
  return (dimstyle ? t.code == 105 : t.code == 5) || t.code == 330;
}

}  // namespace

bool lacksSubclassMarkers(EntityTags tags) {
  return std::none_of(tags.begin(), tags.end(), [](const Tag& t) { return t.code == 100; });
}

std::vector<Tag> upgradeEntity(EntityTags tags) {
  std::vector<Tag> out;
  out.reserve(tags.size() + 6);
  out.push_back(tags[0]);
  out.push_back({100, "AcDbEntity"});
  for (std::size_t i = 1; i < tags.size(); ++i)
    if (isEntityCommon(tags[i].code)) out.push_back(tags[i]);
  const Layout l = layoutOf(tags);
  if (l.emptyMarker) out.push_back({100, l.emptyMarker});
  for (int part = 0; part < 3 && l.markers[part]; ++part) {
    out.push_back({100, l.markers[part]});
    for (std::size_t i = 1; i < tags.size(); ++i) {
      const Tag& t = tags[i];
      if (isEntityCommon(t.code) || isHandleOrOwner(t, false) || t.code >= 1000) continue;
      int owner = 0;
      for (int k = 2; k >= 1; --k)
        if (l.markers[k] && l.takes[k] && l.takes[k](t.code)) {
          owner = k;
          break;
        }
      if (owner == part) out.push_back(t);
    }
  }
  if (!l.markers[0]) {  // unknown type: everything else stays under AcDbEntity
    for (std::size_t i = 1; i < tags.size(); ++i)
      if (!isEntityCommon(tags[i].code) && !isHandleOrOwner(tags[i], false) && tags[i].code < 1000)
        out.push_back(tags[i]);
  }
  for (std::size_t i = 1; i < tags.size(); ++i)
    if (tags[i].code >= 1000) out.push_back(tags[i]);
  return out;
}

std::vector<Tag> upgradeTableRecord(EntityTags tags) {
  const std::string_view type = tags[0].value;
  const bool dimstyle = type == "DIMSTYLE";
  const char* marker = type == "LAYER"      ? "AcDbLayerTableRecord"
                       : type == "LTYPE"    ? "AcDbLinetypeTableRecord"
                       : type == "STYLE"    ? "AcDbTextStyleTableRecord"
                       : type == "VPORT"    ? "AcDbViewportTableRecord"
                       : type == "VIEW"     ? "AcDbViewTableRecord"
                       : type == "UCS"      ? "AcDbUCSTableRecord"
                       : type == "APPID"    ? "AcDbRegAppTableRecord"
                       : dimstyle           ? "AcDbDimStyleTableRecord"
                                            : "AcDbBlockTableRecord";
  std::vector<Tag> out;
  out.reserve(tags.size() + 2);
  out.push_back(tags[0]);
  out.push_back({100, "AcDbSymbolTableRecord"});
  out.push_back({100, marker});
  for (std::size_t i = 1; i < tags.size(); ++i)
    if (!isHandleOrOwner(tags[i], dimstyle)) out.push_back(tags[i]);
  return out;
}

}  // namespace plenvo::dxf
