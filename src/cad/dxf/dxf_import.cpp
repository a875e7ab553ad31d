// Bringing a file into the document: its resources by name (the document's own definition wins), its
// blocks (renamed when a different block of the same name is there), its entities, the objects they point
// to (extension dictionaries, image definitions, styles in named dictionaries) and its classes. Handles are
// renumbered through the file's ImportMap; nothing is copied, the writer translates while writing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "cad/dxf/dxf_document.h"
#include "cad/dxf/dxf_upgrade.h"
#include "core/text_codec.h"

namespace plenvo::dxf {
namespace {

constexpr std::size_t npos = std::string::npos;
constexpr double kPi = 3.14159265358979323846;

bool isLayoutBlockName(std::string_view upper) {
  return upper.rfind("*MODEL_SPACE", 0) == 0 || upper.rfind("*PAPER_SPACE", 0) == 0 ||
         upper.rfind("$MODEL_SPACE", 0) == 0 || upper.rfind("$PAPER_SPACE", 0) == 0;
}

Handle findHandleTag(EntityTags run) {
  const int code = run[0].value == "DIMSTYLE" ? 105 : 5;
  for (std::size_t i = 1; i < run.size(); ++i) {
    if (run[i].code == code) return parseHandle(run[i].value);
    if (run[i].code == 100) break;  // handles come before the first subclass
  }
  if (run[0].value == "TABLE" || run[0].value == "DIMSTYLE") {
    for (const Tag& t : run)
      if (t.code == code) return parseHandle(t.value);
  }
  // R12 writers put the handle anywhere.
  if (code == 5)
    for (const Tag& t : run)
      if (t.code == 5) return parseHandle(t.value);
  return 0;
}

Handle findOwnerTag(EntityTags run) {
  bool inGroup = false;
  for (std::size_t i = 1; i < run.size(); ++i) {
    const Tag& t = run[i];
    if (t.code == 102) inGroup = !t.value.empty() && t.value[0] == '{';
    else if (t.code == 330 && !inGroup) return parseHandle(t.value);
    else if (t.code == 100) break;
  }
  return 0;
}

std::string_view valueOf(EntityTags run, int code) {
  for (const Tag& t : run)
    if (t.code == code) return t.value;
  return {};
}

bool isFollowedPointer(int code) { return (code >= 340 && code <= 369) || (code >= 390 && code <= 399); }

bool isDictionaryType(std::string_view type) {
  return type == "DICTIONARY" || type == "ACDBDICTIONARYWDFLT";
}

// Dictionary entries: (name, handle) from 3 + 350/360 pairs.
std::vector<std::pair<std::string_view, Handle>> entriesOf(EntityTags run) {
  std::vector<std::pair<std::string_view, Handle>> out;
  std::string_view name;
  bool haveName = false;
  for (const Tag& t : run) {
    if (t.code == 3) {
      name = t.value;
      haveName = true;
    } else if ((t.code == 350 || t.code == 360) && haveName) {
      out.emplace_back(name, parseHandle(t.value));
      haveName = false;
    }
  }
  return out;
}

std::uint64_t fnv(std::uint64_t h, std::string_view s) {
  for (char c : s) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

class Importer {
 public:
  enum class Mode { Absorb, Block };
  Importer(Document& doc, SourceFile& src, ImportMap& map, Mode mode)
      : doc_(doc), src_(src), map_(map), mode_(mode) {}

  Block* run(const std::string& blockName, const std::string& sourceKey);

 private:
  void collectHandles();
  Handle claim(Handle source);  // new handle for a carried run with this source handle
  void importTables();
  void importClasses();
  void planBlocks(const std::string& mainName);
  void importBlocks();
  void carryEntities(const std::vector<EntityTags>& runs, Block& dest, bool paperSpaceOnly, bool skipPaper);
  void fixUndefinedNames();
  bool normalEllipse(EntityTags& tags);
  void importObjects();
  void decide(Handle h, int depth);
  void carryObject(std::size_t objectIndex, Handle sourceHandle, Handle owner, EntityTags tags = {});
  Handle docLayoutOf(Handle record) const;
  void adoptActiveLayoutName();
  EntityTags renamedLayout(EntityTags run, const std::string& utf8Name);
  void followPointers(EntityTags run);
  void importHeader();
  std::uint64_t fingerprint(const SourceFile::Block& block) const;
  Entity* docDictionary(Handle outputHandle);
  Handle docDictionaryEntry(const Entity& dict, std::string_view utf8Name) const;
  Handle docRootChild(const std::string& name, bool create);

  Document& doc_;
  SourceFile& src_;
  ImportMap& map_;
  Mode mode_;
  Block* main_ = nullptr;
  std::vector<char> decided_;
  std::unordered_map<Handle, std::size_t> objectIndex_;
  std::vector<Handle> work_;
  Handle srcRoot_ = 0;
  std::unordered_map<Handle, std::string> rootChildren_;  // source root entry handle -> name
  std::unordered_map<Handle, std::pair<std::string, std::string>> namedEntries_;  // -> dictionary, entry
  std::unordered_set<std::string_view> usedLayers_, usedLinetypes_, usedStyles_, usedDimstyles_;
  std::unordered_set<std::string_view> sourceBlockNames_;  // upper-case not needed: exact text
  struct PlannedBlock {
    const SourceFile::Block* source;
    Block* target;  // null: shared with an existing block
  };
  std::vector<PlannedBlock> planned_;
  std::vector<const SourceFile::Block*> layoutBlocks_;
  std::size_t firstBlock_ = 0, firstModel_ = 0, firstPaper_ = 0;
};

void Importer::collectHandles() {
  auto add = [&](EntityTags run) {
    if (run.empty()) return;
    if (Handle h = findHandleTag(run)) map_.from.push_back(h);
  };
  for (const auto& t : src_.tables) {
    add(t.head);
    for (auto r : t.records) add(r);
  }
  for (const auto& b : src_.blocks) {
    add(b.begin);
    add(b.end);
    for (auto e : b.entities) add(e);
  }
  for (auto e : src_.entities) add(e);
  for (auto o : src_.objects) add(o);
  std::sort(map_.from.begin(), map_.from.end());
  map_.from.erase(std::unique(map_.from.begin(), map_.from.end()), map_.from.end());
  map_.to.assign(map_.from.size(), 0);
  decided_.assign(map_.from.size(), 0);
}

Handle Importer::claim(Handle source) {
  const std::size_t i = source ? map_.indexOf(source) : npos;
  if (i == npos || map_.to[i] != 0) return doc_.newHandle();  // no handle, or a duplicate
  return map_.to[i] = doc_.newHandle();
}

void Importer::importTables() {
  for (const auto& st : src_.tables) {
    const std::string type(st.type);
    if (type == "BLOCK_RECORD") continue;
    const bool viewish = type == "VPORT" || type == "VIEW" || type == "UCS";
    if (viewish && mode_ == Mode::Block) continue;
    Table& table = doc_.table(type);
    if (Handle h = findHandleTag(st.head); h) {
      if (auto i = map_.indexOf(h); i != npos) map_.to[i] = table.handle;
    }
    for (EntityTags rec : st.records) {
      const std::string_view raw = valueOf(rec, 2);
      std::string name = map_.toUtf8(raw);
      std::string key;
      if (type == "LAYER") {
        std::string clean = cleanName(name);
        if (clean != name) map_.layers[std::string(raw)] = clean;
        name = clean;
        key = upperName(name);
      } else if (type == "STYLE" && name.empty()) {
        key = "\x01" + upperName(map_.toUtf8(valueOf(rec, 3)));  // unnamed shape-file entry: by its file
      } else {
        if (name.empty()) continue;
        key = upperName(name);
      }
      const Handle sourceHandle = findHandleTag(rec);
      auto found = table.byName.find(key);
      if (found != table.byName.end()) {
        if (auto i = sourceHandle ? map_.indexOf(sourceHandle) : npos; i != npos && map_.to[i] == 0)
          map_.to[i] = table.records[found->second].handle;
        continue;
      }
      Entity e;
      if (lacksSubclassMarkers(rec)) {
        src_.rewritten.push_back(upgradeTableRecord(rec));
        e.tags = src_.rewritten.back();
      } else {
        e.tags = rec;
      }
      e.map = &map_;
      e.handle = claim(sourceHandle);
      e.owner = table.handle;
      table.byName[key] = table.records.size();
      table.records.push_back(e);
    }
  }
}

void Importer::importClasses() {
  for (EntityTags run : src_.classes) {
    std::string name = upperName(valueOf(run, 1));
    if (name.empty() || doc_.classIndex_.count(name)) continue;
    doc_.classIndex_[name] = doc_.classes_.size();
    Entity e;
    e.tags = run;
    e.map = &map_;
    doc_.classes_.push_back(e);
  }
}

// A block's identity for sharing it with one already imported: what it draws, not how the file spells it.
// Numbers count by value ("0", "0.0" and "0.000" are the same; "1,5" is 1.5), text by what it reads in its
// file's code page, and an R12 entity as the layout its upgrade writes; line ends, subclass markers,
// handles, owners and pointers do not count. So the same block gives the same result whatever the files'
// versions and formatting, on every platform.
std::uint64_t Importer::fingerprint(const SourceFile::Block& block) const {
  std::uint64_t h = 14695981039346656037ull;
  auto bytes = [&h](const void* data, std::size_t size) {
    h = fnv(h, std::string_view(static_cast<const char*>(data), size));
  };
  auto number = [&](std::uint64_t bits) { bytes(&bits, sizeof bits); };
  auto real = [&](std::string_view text) {
    double value = parseReal(text).value_or(0);
    if (value == 0) value = 0;  // -0 counts as 0
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    number(bits);
  };
  for (int code : {10, 20, 30}) real(valueOf(block.begin, code));
  std::vector<Tag> upgraded;
  for (EntityTags run : block.entities) {
    if (lacksSubclassMarkers(run)) {
      upgraded = upgradeEntity(run);
      run = upgraded;
    }
    bool inGroup = false;
    for (const Tag& t : run) {
      if (t.code == 102) {
        inGroup = !inGroup;
        continue;
      }
      if (inGroup || t.code == 5 || t.code == 105 || t.code == 100 || t.code == 330 || isFollowedPointer(t.code) ||
          t.code == 1005)
        continue;
      number(static_cast<std::uint64_t>(static_cast<std::uint32_t>(t.code)));
      if (isRealCode(t.code)) {
        real(t.value);
      } else if (integerBits(t.code) != 0) {
        number(static_cast<std::uint64_t>(parseInteger(t.value).value_or(0)));
      } else {
        const std::string text = map_.toUtf8(t.value);
        number(text.size());
        bytes(text.data(), text.size());
      }
    }
    h = fnv(h, "\n");
  }
  return h;
}

void Importer::planBlocks(const std::string& mainName) {
  if (mode_ == Mode::Block) {
    auto block = std::make_unique<Block>();
    block->name = mainName;
    main_ = block.get();
    doc_.indexBlock(main_);
    doc_.blocks_.push_back(std::move(block));
  }
  for (const auto& sb : src_.blocks) {
    const std::string_view raw = valueOf(sb.begin, 2);
    std::string name = map_.toUtf8(raw);
    const std::string upper = upperName(name);
    if (isLayoutBlockName(upper)) {
      layoutBlocks_.push_back(&sb);
      continue;
    }
    sourceBlockNames_.insert(raw);
    std::string target;
    std::uint64_t fp = 0;
    if (!name.empty() && name[0] == '*') {
      // Anonymous blocks (dimensions, hatches, groups of geometry) always get a fresh name.
      const char kind = name.size() > 1 ? name[1] : 'U';
      for (int i = static_cast<int>(doc_.blocks_.size());; ++i) {
        target = std::string("*") + kind + std::to_string(i);
        if (!doc_.findBlock(target)) break;
      }
    } else {
      const std::string clean = cleanName(name);
      fp = fingerprint(sb);
      // The same block (same content) may already be there, under its name or a renamed one: share it.
      Block* existing = nullptr;
      for (int i = 1; !existing; ++i) {
        Block* candidate = doc_.findBlock(i == 1 ? clean : clean + "_" + std::to_string(i));
        if (!candidate) break;
        if (candidate != main_ && !candidate->layout && candidate->sourceKey.empty() && candidate->fingerprint == fp)
          existing = candidate;
      }
      if (existing) {
        map_.blocks[std::string(raw)] = existing->name;
        planned_.push_back({&sb, nullptr});
        for (EntityTags run : {sb.begin, sb.end}) {
          if (run.empty()) continue;
          if (auto i = map_.indexOf(findHandleTag(run)); i != npos)
            map_.to[i] = run[0].value == "BLOCK" ? existing->begin.handle : existing->end.handle;
        }
        continue;
      }
      target = doc_.uniqueBlockName(clean);
    }
    if (target != name) map_.blocks[std::string(raw)] = target;
    auto block = std::make_unique<Block>();
    block->name = target;
    block->fingerprint = fp;
    planned_.push_back({&sb, block.get()});
    doc_.indexBlock(block.get());
    doc_.blocks_.push_back(std::move(block));
  }
}

void Importer::importBlocks() {
  // Block records of the file, by name, so that a block keeps its record's extension data.
  std::unordered_map<std::string, EntityTags> records;
  for (const auto& st : src_.tables) {
    if (st.type != "BLOCK_RECORD") continue;
    if (Handle h = findHandleTag(st.head); h)
      if (auto i = map_.indexOf(h); i != npos) map_.to[i] = doc_.table("BLOCK_RECORD").handle;
    for (EntityTags rec : st.records) records[upperName(map_.toUtf8(valueOf(rec, 2)))] = rec;
  }
  Table& recordTable = doc_.table("BLOCK_RECORD");

  auto makeRecord = [&](Block& b, EntityTags sourceRecord) {
    Entity& rec = b.record;
    if (!sourceRecord.empty()) {
      if (lacksSubclassMarkers(sourceRecord)) {
        src_.rewritten.push_back(upgradeTableRecord(sourceRecord));
        rec.tags = src_.rewritten.back();
      } else {
        rec.tags = sourceRecord;
      }
      rec.map = &map_;
      rec.handle = claim(findHandleTag(sourceRecord));
    } else {
      rec.tags = doc_.keepTags({{0, "BLOCK_RECORD"}, {100, "AcDbSymbolTableRecord"},
                                {100, "AcDbBlockTableRecord"}, {2, doc_.keep(b.name)}, {70, "0"},
                                {280, "1"}, {281, "0"}});
      rec.handle = doc_.newHandle();
    }
    rec.owner = recordTable.handle;
    recordTable.byName[upperName(b.name)] = recordTable.records.size();
    recordTable.records.push_back(rec);
  };
  auto makeBeginEnd = [&](Block& b, EntityTags sourceBegin, EntityTags sourceEnd) {
    int flags = 0;
    if (!sourceBegin.empty()) {
      flags = static_cast<int>(parseInteger(valueOf(sourceBegin, 70)).value_or(0)) & 3;
      for (const Tag& t : sourceBegin) {
        if (t.code == 10) b.base[0] = parseReal(t.value).value_or(0);
        if (t.code == 20) b.base[1] = parseReal(t.value).value_or(0);
        if (t.code == 30) b.base[2] = parseReal(t.value).value_or(0);
      }
    }
    const std::string_view name = doc_.keep(b.name);
    b.begin.tags = doc_.keepTags({{0, "BLOCK"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbBlockBegin"},
                                  {2, name}, {70, doc_.keep(std::to_string(flags))},
                                  {10, doc_.keep(formatReal(b.base[0]))}, {20, doc_.keep(formatReal(b.base[1]))},
                                  {30, doc_.keep(formatReal(b.base[2]))}, {3, name}, {1, ""}});
    b.begin.handle = sourceBegin.empty() ? doc_.newHandle() : claim(findHandleTag(sourceBegin));
    b.begin.owner = b.record.handle;
    b.end.tags = doc_.keepTags({{0, "ENDBLK"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbBlockEnd"}});
    b.end.handle = sourceEnd.empty() ? doc_.newHandle() : claim(findHandleTag(sourceEnd));
    b.end.owner = b.record.handle;
  };

  if (main_) {
    // The file's model space becomes the block; its base point is the file's $INSBASE.
    if (const auto* var = src_.headerVar("$INSBASE")) {
      for (const Tag& t : var->values) {
        if (t.code == 10) main_->base[0] = parseReal(t.value).value_or(0);
        if (t.code == 20) main_->base[1] = parseReal(t.value).value_or(0);
        if (t.code == 30) main_->base[2] = parseReal(t.value).value_or(0);
      }
    }
    makeRecord(*main_, {});
    makeBeginEnd(*main_, {}, {});
  }
  for (const auto& pb : planned_) {
    if (!pb.target) continue;
    auto it = records.find(upperName(map_.toUtf8(valueOf(pb.source->begin, 2))));
    makeRecord(*pb.target, it == records.end() ? EntityTags() : it->second);
  }
  for (const auto& pb : planned_) {
    if (!pb.target) continue;
    makeBeginEnd(*pb.target, pb.source->begin, pb.source->end);
    carryEntities(pb.source->entities, *pb.target, false, false);
  }
  // Layout blocks: map their records and BLOCK/ENDBLK to the document's, carry entities written there.
  for (const auto* lb : layoutBlocks_) {
    const std::string upper = upperName(map_.toUtf8(valueOf(lb->begin, 2)));
    const bool model = upper.find("MODEL") != std::string::npos;
    Block* dest = model ? (main_ ? main_ : doc_.modelSpace_) : (main_ ? nullptr : doc_.paperSpace_);
    const bool firstPaper = upper == "*PAPER_SPACE" || upper == "$PAPER_SPACE";
    auto rec = records.find(upper);
    if (!model && !firstPaper) {
      // Further layouts of a drawing taken as the document: their blocks come along with their records
      // (which point to their LAYOUT objects, carried with ACAD_LAYOUT). A file inserted as a block brings
      // no paper space.
      if (main_) continue;
      const std::string_view raw = valueOf(lb->begin, 2);
      auto block = std::make_unique<Block>();
      block->name = doc_.uniqueBlockName(map_.toUtf8(raw));
      if (block->name != map_.toUtf8(raw)) map_.blocks[std::string(raw)] = block->name;
      Block& b = *block;
      doc_.indexBlock(block.get());
      doc_.blocks_.push_back(std::move(block));
      makeRecord(b, rec == records.end() ? EntityTags() : rec->second);
      makeBeginEnd(b, lb->begin, lb->end);
      carryEntities(lb->entities, b, false, false);
      continue;
    }
    if (dest) {
      if (rec != records.end())
        if (auto i = map_.indexOf(findHandleTag(rec->second)); i != npos) map_.to[i] = dest->record.handle;
      if (auto i = map_.indexOf(findHandleTag(lb->begin)); i != npos) map_.to[i] = dest->begin.handle;
      if (!lb->end.empty())
        if (auto i = map_.indexOf(findHandleTag(lb->end)); i != npos) map_.to[i] = dest->end.handle;
      carryEntities(lb->entities, *dest, false, false);
    }
  }
  // ENTITIES: model space, and in a drawing taken as the document, the active paper space.
  Block* modelDest = main_ ? main_ : doc_.modelSpace_;
  carryEntities(src_.entities, *modelDest, false, true);
  if (!main_) carryEntities(src_.entities, *doc_.paperSpace_, true, false);
}

void Importer::carryEntities(const std::vector<EntityTags>& runs, Block& dest, bool paperSpaceOnly,
                             bool skipPaper) {
  Handle parent = 0;
  dest.entities.reserve(dest.entities.size() + runs.size());
  for (EntityTags run : runs) {
    const std::string_view type = run[0].value;
    bool paper = false;
    std::string_view blockName;
    bool hasBlockName = false;
    for (const Tag& t : run) {
      switch (t.code) {
        case 67: paper = t.value == "1"; break;
        case 8: usedLayers_.insert(t.value); break;
        case 6: usedLinetypes_.insert(t.value); break;
        case 7:
          if (type == "TEXT" || type == "MTEXT" || type == "ATTDEF" || type == "ATTRIB") usedStyles_.insert(t.value);
          break;
        case 3:
          if (type == "DIMENSION" || type == "LEADER" || type == "TOLERANCE") usedDimstyles_.insert(t.value);
          break;
        case 2:
          if (!hasBlockName) {
            blockName = t.value;
            hasBlockName = true;
          }
          break;
        default: break;
      }
    }
    const bool child = type == "VERTEX" || type == "SEQEND" || type == "ATTRIB";
    if (!child) parent = 0;
    if (paper != paperSpaceOnly && (paperSpaceOnly || skipPaper)) continue;
    if (child && parent == 0) continue;  // a vertex or attribute without its parent
    // A reference to a block the file does not define draws nothing and would not load: leave it out.
    if (type == "INSERT" && (!hasBlockName || !sourceBlockNames_.count(blockName))) continue;
    Entity e;
    if (lacksSubclassMarkers(run)) {
      src_.rewritten.push_back(upgradeEntity(run));
      e.tags = src_.rewritten.back();
    } else {
      e.tags = run;
    }
    if (type == "DIMENSION" && (!hasBlockName || !sourceBlockNames_.count(blockName))) {
      // A dimension without its geometry block gets an empty one, so readers keep it.
      auto block = std::make_unique<Block>();
      for (int i = static_cast<int>(doc_.blocks_.size());; ++i) {
        block->name = "*D" + std::to_string(i);
        if (!doc_.findBlock(block->name)) break;
      }
      Block& b = *block;
      doc_.indexBlock(block.get());
      doc_.blocks_.push_back(std::move(block));
      Table& recordTable = doc_.table("BLOCK_RECORD");
      b.record.tags = doc_.keepTags({{0, "BLOCK_RECORD"}, {100, "AcDbSymbolTableRecord"},
                                     {100, "AcDbBlockTableRecord"}, {2, doc_.keep(b.name)}, {70, "0"}});
      b.record.handle = doc_.newHandle();
      b.record.owner = recordTable.handle;
      recordTable.byName[upperName(b.name)] = recordTable.records.size();
      recordTable.records.push_back(b.record);
      const std::string_view name = doc_.keep(b.name);
      b.begin.tags = doc_.keepTags({{0, "BLOCK"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbBlockBegin"}, {2, name},
                                    {70, "1"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {3, name}, {1, ""}});
      b.begin.handle = doc_.newHandle();
      b.begin.owner = b.record.handle;
      b.end.tags = doc_.keepTags({{0, "ENDBLK"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbBlockEnd"}});
      b.end.handle = doc_.newHandle();
      b.end.owner = b.record.handle;
      std::vector<Tag> tags(e.tags.begin(), e.tags.end());
      auto pos = std::find_if(tags.begin(), tags.end(), [](const Tag& t) { return t.code == 2; });
      if (pos != tags.end()) {
        pos->value = name;
      } else {
        auto marker = std::find_if(tags.begin(), tags.end(),
                                   [](const Tag& t) { return t.code == 100 && t.value == "AcDbDimension"; });
        tags.insert(marker == tags.end() ? tags.end() : marker + 1, Tag{2, name});
      }
      e.tags = doc_.keepTags(tags);
    }
    if (type == "ELLIPSE") {
      if (!normalEllipse(e.tags)) continue;  // no major axis: nothing to draw
    }
    e.map = &map_;
    e.handle = claim(findHandleTag(run));
    e.owner = child ? parent : dest.record.handle;
    if (type == "SEQEND") parent = 0;
    else if (type == "POLYLINE") parent = e.handle;
    else if (type == "INSERT" && valueOf(run, 66) == "1") parent = e.handle;
    dest.entities.push_back(e);
  }
}

// Readers expect an ELLIPSE's axis ratio to be at most 1; some writers give the longer axis as the minor
// one. The same curve is written with the axes swapped. False when the major axis is null.
bool Importer::normalEllipse(EntityTags& tags) {
  double major[3] = {0, 0, 0}, n[3] = {0, 0, 1}, ratio = 1, start = 0, end = 2 * kPi;
  for (const Tag& t : tags) {
    const double v = parseReal(t.value).value_or(0);
    switch (t.code) {
      case 11: major[0] = v; break;
      case 21: major[1] = v; break;
      case 31: major[2] = v; break;
      case 210: n[0] = v; break;
      case 220: n[1] = v; break;
      case 230: n[2] = v; break;
      case 40: ratio = v; break;
      case 41: start = v; break;
      case 42: end = v; break;
      default: break;
    }
  }
  const double length = std::sqrt(major[0] * major[0] + major[1] * major[1] + major[2] * major[2]);
  if (!(length > 0)) return false;
  if (!(ratio > 1)) return true;
  double minor[3] = {n[1] * major[2] - n[2] * major[1], n[2] * major[0] - n[0] * major[2],
                     n[0] * major[1] - n[1] * major[0]};
  const double m = std::sqrt(minor[0] * minor[0] + minor[1] * minor[1] + minor[2] * minor[2]);
  if (!(m > 0)) return true;
  for (double& c : minor) c = c / m * length * ratio;
  const bool full = std::fabs(start) < 1e-12 && std::fabs(end - 2 * kPi) < 1e-9;
  auto wrap = [](double p) {
    p = std::fmod(p - kPi / 2, 2 * kPi);
    return p < 0 ? p + 2 * kPi : p;
  };
  std::vector<Tag> out(tags.begin(), tags.end());
  for (Tag& t : out) {
    switch (t.code) {
      case 11: t.value = doc_.keep(formatReal(minor[0])); break;
      case 21: t.value = doc_.keep(formatReal(minor[1])); break;
      case 31: t.value = doc_.keep(formatReal(minor[2])); break;
      case 40: t.value = doc_.keep(formatReal(1 / ratio)); break;
      case 41: if (!full) t.value = doc_.keep(formatReal(wrap(start))); break;
      case 42: if (!full) t.value = doc_.keep(formatReal(wrap(end))); break;
      default: break;
    }
  }
  tags = doc_.keepTags(out);
  return true;
}

void Importer::fixUndefinedNames() {
  auto defined = [&](std::string_view type, const std::string& name) {
    const Table* t = doc_.findTable(type);
    return t && t->byName.count(upperName(name));
  };
  for (std::string_view raw : usedLayers_) {
    std::string key(raw);
    auto it = map_.layers.find(key);
    std::string name = it != map_.layers.end() ? it->second : cleanName(map_.toUtf8(raw));
    if (!defined("LAYER", name)) doc_.addLayer(name, 7);
    if (name != map_.toUtf8(raw)) map_.layers[key] = name;
  }
  for (std::string_view raw : usedLinetypes_) {
    const std::string name = map_.toUtf8(raw);
    const std::string upper = upperName(name);
    if (upper != "BYLAYER" && upper != "BYBLOCK" && !defined("LTYPE", name)) map_.linetypes[std::string(raw)] = "ByLayer";
  }
  for (std::string_view raw : usedStyles_)
    if (!defined("STYLE", map_.toUtf8(raw))) map_.styles[std::string(raw)] = "Standard";
  for (std::string_view raw : usedDimstyles_)
    if (!defined("DIMSTYLE", map_.toUtf8(raw))) map_.dimstyles[std::string(raw)] = "Standard";
}

// ------------------------------------------------------------------------------------------ objects

Entity* Importer::docDictionary(Handle outputHandle) {
  for (auto& o : doc_.objects_)
    if (o.handle == outputHandle) return &o;
  return nullptr;
}

Handle Importer::docDictionaryEntry(const Entity& dict, std::string_view utf8Name) const {
  for (auto [name, handle] : entriesOf(dict.tags)) {
    const std::string n = dict.map ? dict.map->toUtf8(name) : std::string(name);
    if (upperName(n) == upperName(utf8Name)) return dict.map ? dict.map->map(handle) : handle;
  }
  if (dict.extra) {
    for (std::size_t i = 0; i + 1 < dict.extra->size(); i += 2)
      if (upperName((*dict.extra)[i].value) == upperName(utf8Name)) return parseHandle((*dict.extra)[i + 1].value);
  }
  return 0;
}

Handle Importer::docRootChild(const std::string& name, bool create) {
  Entity* root = docDictionary(doc_.rootDict_);
  if (!root) return 0;
  if (Handle h = docDictionaryEntry(*root, name)) return h;
  if (!create) return 0;
  Entity dict;
  dict.tags = doc_.keepTags({{0, "DICTIONARY"}, {100, "AcDbDictionary"}, {281, "1"}});
  dict.handle = doc_.newHandle();
  dict.owner = doc_.rootDict_;
  if (!root->extra) root->extra = doc_.newExtra();
  root->extra->push_back({3, doc_.keep(name)});
  root->extra->push_back({350, doc_.keep(formatHandle(dict.handle))});
  doc_.objects_.push_back(dict);
  return dict.handle;
}

namespace {

// The block record a LAYOUT shows: its 330 in the AcDbLayout part.
Handle layoutRecordOf(EntityTags run) {
  bool inLayout = false;
  for (const Tag& t : run) {
    if (t.code == 100) inLayout = t.value == "AcDbLayout";
    else if (inLayout && t.code == 330) return parseHandle(t.value);
  }
  return 0;
}

}  // namespace

Handle Importer::docLayoutOf(Handle record) const {
  for (const auto& o : doc_.objects_) {
    if (o.type() != "LAYOUT") continue;
    const Handle r = layoutRecordOf(o.tags);
    if ((o.map ? o.map->map(r) : r) == record) return o.handle;
  }
  return 0;
}

EntityTags Importer::renamedLayout(EntityTags run, const std::string& utf8Name) {
  std::vector<Tag> tags(run.begin(), run.end());
  bool inLayout = false;
  for (Tag& t : tags) {
    if (t.code == 100) inLayout = t.value == "AcDbLayout";
    else if (inLayout && t.code == 1) {
      // In the file's own encoding, as the rest of its text.
      t.value = doc_.keep(map_.codePage == 65001 ? utf8Name : utf8ToCodePage(utf8Name, map_.codePage));
      break;
    }
  }
  return doc_.keepTags(tags);
}

// The document's paper space layout takes the name of the drawing's active layout. The built-in objects it
// rewrites are in output terms already (their handles map to themselves), so they become literal.
void Importer::adoptActiveLayoutName() {
  std::string name;
  for (EntityTags run : src_.objects) {
    if (run[0].value != "LAYOUT" || map_.map(layoutRecordOf(run)) != doc_.paperSpace_->record.handle) continue;
    bool inLayout = false;
    for (const Tag& t : run) {
      if (t.code == 100) inLayout = t.value == "AcDbLayout";
      else if (inLayout && t.code == 1) name = map_.toUtf8(t.value);
    }
  }
  const Handle layout = docLayoutOf(doc_.paperSpace_->record.handle);
  Entity* dict = docDictionary(docRootChild("ACAD_LAYOUT", false));
  Entity* object = docDictionary(layout);
  if (name.empty() || !dict || !object || object->map != dict->map) return;
  std::string old;
  auto rename = [&](Entity& e, bool inDictionary) {
    std::vector<Tag> tags(e.tags.begin(), e.tags.end());
    bool inLayout = false;
    for (std::size_t i = 0; i < tags.size(); ++i) {
      Tag& t = tags[i];
      if (t.code == 100) inLayout = t.value == "AcDbLayout";
      const bool hit = inDictionary ? t.code == 3 && i + 1 < tags.size() && parseHandle(tags[i + 1].value) == layout
                                    : inLayout && t.code == 1;
      if (hit) {
        if (!inDictionary) old = e.map ? e.map->toUtf8(t.value) : std::string(t.value);
        t.value = doc_.keep(name);
      } else if (e.map && e.map->codePage != 65001 && t.code != 0) {
        t.value = doc_.keep(e.map->toUtf8(t.value));
      }
    }
    e.tags = doc_.keepTags(tags);
    e.map = nullptr;
  };
  rename(*object, false);
  if (old != name && !docDictionaryEntry(*dict, name)) rename(*dict, true);
}

void Importer::carryObject(std::size_t objectIndex, Handle sourceHandle, Handle owner, EntityTags tags) {
  EntityTags run = tags.empty() ? src_.objects[objectIndex] : tags;
  Entity e;
  e.tags = run;
  e.map = &map_;
  const std::size_t i = map_.indexOf(sourceHandle);
  e.handle = map_.to[i] = doc_.newHandle();
  e.owner = owner;
  doc_.objects_.push_back(e);
  followPointers(run);
  // A dictionary owns its entries: they come along.
  if (isDictionaryType(run[0].value))
    for (auto [name, h] : entriesOf(run)) work_.push_back(h);
}

void Importer::followPointers(EntityTags run) {
  for (const Tag& t : run)
    if (isFollowedPointer(t.code))
      if (Handle h = parseHandle(t.value)) work_.push_back(h);
}

void Importer::decide(Handle h, int depth) {
  const std::size_t idx = map_.indexOf(h);
  if (idx == npos || decided_[idx] || depth > 64) return;
  decided_[idx] = 1;
  if (map_.to[idx] != 0) return;
  auto found = objectIndex_.find(h);
  if (found == objectIndex_.end()) return;  // an entity or record that is not carried
  EntityTags run = src_.objects[found->second];
  const Handle owner = findOwnerTag(run);
  if (h == srcRoot_) return;
  if (rootChildren_.count(h)) {
    // A named object of the root dictionary itself: the document's of that name, or a new entry.
    const std::string& name = rootChildren_[h];
    if (name == "ACAD_LAYOUT") return;
    if (Handle existing = docRootChild(name, false)) {
      map_.to[idx] = existing;
      return;
    }
    carryObject(found->second, h, doc_.rootDict_);
    Entity* root = docDictionary(doc_.rootDict_);
    if (!root->extra) root->extra = doc_.newExtra();
    root->extra->push_back({3, doc_.keep(name)});
    root->extra->push_back({350, doc_.keep(formatHandle(map_.to[idx]))});
    return;
  }
  if (auto named = namedEntries_.find(h); named != namedEntries_.end()) {
    // An entry of a named dictionary (ACAD_MLINESTYLE, ACAD_IMAGE_DICT, ...): merged by entry name. Found
    // through the dictionary, since some writers leave such objects without an owner.
    const auto& [dictName, entryName] = named->second;
    std::string entry = entryName;
    if (entry.empty()) return;
    EntityTags tags = run;
    if (dictName == "ACAD_LAYOUT") {
      // Layouts go by the block they show: the model and the active paper space are the document's own;
      // a further layout comes along when its block did, renamed if its name is taken.
      if (mode_ != Mode::Absorb) return;
      const Handle record = map_.map(layoutRecordOf(run));
      if (!record) return;
      if (record == doc_.modelSpace_->record.handle || record == doc_.paperSpace_->record.handle) {
        map_.to[idx] = docLayoutOf(record);
        return;
      }
      Entity* layouts = docDictionary(docRootChild(dictName, true));
      if (!layouts) return;
      if (docDictionaryEntry(*layouts, entry)) {
        std::string renamed;
        for (int k = 2; renamed.empty() || docDictionaryEntry(*layouts, renamed); ++k)
          renamed = entry + " (" + std::to_string(k) + ")";
        tags = renamedLayout(run, renamed);
        entry = renamed;
      }
    }
    const Handle dict = docRootChild(dictName, true);
    Entity* target = docDictionary(dict);
    if (!target) return;
    if (Handle existing = docDictionaryEntry(*target, entry)) {
      map_.to[idx] = existing;
      return;
    }
    carryObject(found->second, h, dict, tags);
    target = docDictionary(dict);  // objects_ may have grown
    if (!target->extra) target->extra = doc_.newExtra();
    target->extra->push_back({3, doc_.keep(entry)});
    target->extra->push_back({350, doc_.keep(formatHandle(map_.to[idx]))});
    return;
  }
  // Owned by something else: carried when its owner is.
  if (objectIndex_.count(owner)) {
    decided_[idx] = 0;
    decide(owner, depth + 1);
    decided_[idx] = 1;
    if (map_.to[idx] != 0) return;  // carried as an entry of its owner meanwhile
  }
  const Handle newOwner = map_.map(owner);
  if (newOwner == 0) return;
  carryObject(found->second, h, newOwner);
}

void Importer::importObjects() {
  for (std::size_t i = 0; i < src_.objects.size(); ++i)
    if (Handle h = findHandleTag(src_.objects[i])) objectIndex_.emplace(h, i);
  if (!src_.objects.empty() && isDictionaryType(src_.objects[0][0].value)) {
    srcRoot_ = findHandleTag(src_.objects[0]);
    for (auto [name, h] : entriesOf(src_.objects[0])) rootChildren_[h] = map_.toUtf8(name);
    for (const auto& [dict, dictName] : rootChildren_) {
      auto o = objectIndex_.find(dict);
      if (o == objectIndex_.end() || !isDictionaryType(src_.objects[o->second][0].value)) continue;
      for (auto [entry, h] : entriesOf(src_.objects[o->second]))
        namedEntries_.emplace(h, std::make_pair(dictName, map_.toUtf8(entry)));
    }
  }
  if (auto i = map_.indexOf(srcRoot_); i != npos) map_.to[i] = doc_.rootDict_;
  // The file's named dictionaries stand for the document's of the same name.
  for (auto& [h, name] : rootChildren_)
    if (Handle existing = docRootChild(name, false))
      if (auto i = map_.indexOf(h); i != npos && map_.to[i] == 0) map_.to[i] = existing;
  // Seeds: what the carried entities and records point to.
  auto seed = [&](const Entity& e) {
    if (e.map == &map_) followPointers(e.tags);
  };
  // Only what this file added: tables and blocks grow at their ends, and the layouts took its entities
  // after the counts noted at the start.
  for (const auto& t : doc_.tables_)
    for (const auto& r : t.records) seed(r);
  for (std::size_t i = firstBlock_; i < doc_.blocks_.size(); ++i) {
    seed(doc_.blocks_[i]->record);
    for (const auto& e : doc_.blocks_[i]->entities) seed(e);
  }
  for (const auto& [block, first] : {std::pair{doc_.modelSpace_, firstModel_}, std::pair{doc_.paperSpace_, firstPaper_}})
    if (block)
      for (std::size_t i = first; i < block->entities.size(); ++i) seed(block->entities[i]);
  if (mode_ == Mode::Absorb) {
    // The drawing's named objects (groups, styles, dictionaries of applications) come along too.
    for (auto& [h, name] : rootChildren_) {
      work_.push_back(h);
      if (auto o = objectIndex_.find(h); o != objectIndex_.end() && isDictionaryType(src_.objects[o->second][0].value))
        for (auto [entryName, entry] : entriesOf(src_.objects[o->second])) work_.push_back(entry);
    }
  }
  if (mode_ == Mode::Absorb) adoptActiveLayoutName();
  while (!work_.empty()) {
    const Handle h = work_.back();
    work_.pop_back();
    decide(h, 0);
  }
}

void Importer::importHeader() {
  for (const auto& var : src_.header) {
    const std::string name(var.name);
    if (name == "$ACADVER" || name == "$HANDSEED" || name == "$DWGCODEPAGE") continue;
    bool replaced = false;
    for (auto& [n, value] : doc_.header_)
      if (n == name) {
        value = {var.values, &map_};
        replaced = true;
      }
    if (!replaced) doc_.header_.push_back({name, {var.values, &map_}});
  }
}

Block* Importer::run(const std::string& blockName, const std::string& sourceKey) {
  firstBlock_ = doc_.blocks_.size();
  firstModel_ = doc_.modelSpace_ ? doc_.modelSpace_->entities.size() : 0;
  firstPaper_ = doc_.paperSpace_ ? doc_.paperSpace_->entities.size() : 0;
  map_.source = &src_;
  map_.codePage = src_.codePage;
  map_.decimalComma = src_.decimalComma;
  if (src_.asciiText) map_.asciiText = src_.bytes;
  doc_.version_ = std::max(doc_.version_, std::max(src_.version, 1015));
  collectHandles();
  importClasses();
  importTables();
  planBlocks(blockName);
  importBlocks();
  fixUndefinedNames();
  importObjects();
  if (mode_ == Mode::Absorb) importHeader();
  if (main_) main_->sourceKey = sourceKey;
  if (main_) {
    std::uint64_t h = 14695981039346656037ull;
    main_->fingerprint = fnv(h, sourceKey);
  }
  return main_;
}

// ------------------------------------------------------------------------------------------ document

namespace {

void registerSource(std::vector<std::unique_ptr<SourceFile>>& sources, std::vector<std::unique_ptr<ImportMap>>& maps,
                    std::unique_ptr<SourceFile> src) {
  sources.push_back(std::move(src));
  maps.push_back(std::make_unique<ImportMap>());
}

}  // namespace

bool Document::absorb(std::unique_ptr<SourceFile> src, std::string& /*error*/) {
  registerSource(sources_, maps_, std::move(src));
  SourceFile& s = *sources_.back();
  ImportMap& map = *maps_.back();
  ranges_.push_back({s.bytes.data(), s.bytes.data() + s.bytes.size(), &map});
  std::sort(ranges_.begin(), ranges_.end(), [](const TextRange& a, const TextRange& b) { return a.begin < b.begin; });

  if (!modelSpace_) {
    // The first file (the built-in template) defines the document's skeleton with its own handles.
    codePage_ = s.codePage == 65001 ? 936 : s.codePage;
    version_ = std::max(s.version, 1015);
    Handle maxHandle = 0;
    // Tables and their records.
    std::vector<Handle> handles;
    auto add = [&](EntityTags run) {
      if (Handle h = findHandleTag(run)) handles.push_back(h);
    };
    for (const auto& t : s.tables) {
      add(t.head);
      for (auto r : t.records) add(r);
    }
    for (const auto& b : s.blocks) {
      add(b.begin);
      add(b.end);
    }
    for (auto o : s.objects) add(o);
    std::sort(handles.begin(), handles.end());
    handles.erase(std::unique(handles.begin(), handles.end()), handles.end());
    map.from = handles;
    map.to = handles;
    map.source = &s;
    map.codePage = s.codePage;
    map.decimalComma = s.decimalComma;
    for (Handle h : handles) maxHandle = std::max(maxHandle, h);
    nextHandle_ = maxHandle + 1;
    std::unordered_map<std::string, EntityTags> records;
    for (const auto& t : s.tables) {
      Table table{std::string(t.type), findHandleTag(t.head), {}, {}};
      for (EntityTags rec : t.records) {
        if (t.type == "BLOCK_RECORD") {
          records[upperName(std::string(valueOf(rec, 2)))] = rec;
          continue;
        }
        Entity e{rec, &map, findHandleTag(rec), table.handle};
        table.byName[upperName(std::string(valueOf(rec, 2)))] = table.records.size();
        table.records.push_back(e);
      }
      tables_.push_back(std::move(table));
    }
    Table& recordTable = table("BLOCK_RECORD");
    for (const auto& b : s.blocks) {
      auto block = std::make_unique<Block>();
      block->name = std::string(valueOf(b.begin, 2));
      block->layout = true;
      EntityTags rec = records[upperName(block->name)];
      block->record = Entity{rec, &map, findHandleTag(rec), recordTable.handle};
      recordTable.byName[upperName(block->name)] = recordTable.records.size();
      recordTable.records.push_back(block->record);
      block->begin = Entity{b.begin, &map, findHandleTag(b.begin), block->record.handle};
      block->end = Entity{b.end, &map, findHandleTag(b.end), block->record.handle};
      if (upperName(block->name) == "*MODEL_SPACE") modelSpace_ = block.get();
      else paperSpace_ = block.get();
      indexBlock(block.get());
      blocks_.push_back(std::move(block));
    }
    for (EntityTags o : s.objects) objects_.push_back(Entity{o, &map, findHandleTag(o), findOwnerTag(o)});
    rootDict_ = objects_.empty() ? 0 : objects_[0].handle;
    for (const auto& var : s.header) header_.push_back({std::string(var.name), {var.values, &map}});
    return modelSpace_ && paperSpace_ && rootDict_;
  }
  // An existing drawing taken as the document's content.
  if (s.codePage != 65001) codePage_ = s.codePage;
  Importer importer(*this, s, map, Importer::Mode::Absorb);
  importer.run({}, {});
  return true;
}

Block* Document::importAsBlock(std::unique_ptr<SourceFile> src, const std::string& name, const std::string& sourceKey) {
  registerSource(sources_, maps_, std::move(src));
  SourceFile& s = *sources_.back();
  ImportMap& map = *maps_.back();
  ranges_.push_back({s.bytes.data(), s.bytes.data() + s.bytes.size(), &map});
  std::sort(ranges_.begin(), ranges_.end(), [](const TextRange& a, const TextRange& b) { return a.begin < b.begin; });
  Importer importer(*this, s, map, Importer::Mode::Block);
  return importer.run(name, sourceKey);
}

}  // namespace plenvo::dxf
