// Parsing a tag list into sections, tables, blocks and objects; the document's resource lookups, the block
// resolver for the extents code, and the small name, handle and number helpers.
#include "cad/dxf/dxf_document.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cad/dxf/dxf_reader.h"
#include "cad/dxf/dxf_template.h"
#include "core/text_codec.h"

namespace plenvo::dxf {

// ---------------------------------------------------------------------------------------------- helpers

std::string upperName(std::string_view utf8) {
  std::string out(utf8);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string cleanName(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '<': case '>': case '/': case '\\': case '"': case ':': case ';': case '?': case '*': case '|':
      case '=': case '`':
        out += '_';
        break;
      default:
        out += static_cast<unsigned char>(c) < 0x20 ? '_' : c;
    }
  }
  const auto first = out.find_first_not_of(' ');
  if (first == std::string::npos) return "_";
  const auto last = out.find_last_not_of(' ');
  return out.substr(first, last - first + 1);
}

int codePageFromName(std::string_view name) {
  std::string upper = upperName(name);
  for (std::string_view prefix : {"ANSI_", "DOS", "CP"}) {
    if (upper.rfind(prefix, 0) == 0) {
      int value = 0;
      auto [ptr, ec] = std::from_chars(upper.data() + prefix.size(), upper.data() + upper.size(), value);
      if (ec == std::errc() && value > 0) return value == 65001 ? 65001 : value;
    }
  }
  if (upper == "UTF8" || upper == "UTF-8") return 65001;
  if (upper == "GB2312" || upper == "GBK") return 936;
  if (upper == "BIG5") return 950;
  return 1252;
}

std::string codePageName(int codePage) { return "ANSI_" + std::to_string(codePage); }

Handle parseHandle(std::string_view hex) {
  while (!hex.empty() && hex.front() == ' ') hex.remove_prefix(1);
  if (hex.empty() || hex.size() > 16) return 0;
  Handle value = 0;
  auto [ptr, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
  if (ec != std::errc() || ptr != hex.data() + hex.size()) return 0;
  return value;
}

std::string formatHandle(Handle handle) {
  char buffer[20];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, handle, 16);
  std::string out(buffer, ptr);
  for (char& c : out)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string formatReal(double value) {
  if (!std::isfinite(value)) value = 0;
  if (value == 0) value = 0;  // no "-0.0"
  // The shortest text that reads back as the same double: fixed for everyday magnitudes, exponent form
  // for the extreme ones.
  char buffer[64];
  const double magnitude = std::fabs(value);
  const auto format = magnitude != 0 && (magnitude >= 1e15 || magnitude < 1e-5) ? std::chars_format::general
                                                                                  : std::chars_format::fixed;
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format);
  if (ec != std::errc()) return "0.0";
  std::string out(buffer, ptr);
  if (out.find_first_of(".eE") == std::string::npos) out += ".0";
  return out;
}

// ---------------------------------------------------------------------------------------------- source

const SourceFile::HeaderVar* SourceFile::headerVar(std::string_view name) const {
  for (const auto& var : header)
    if (var.name == name) return &var;
  return nullptr;
}

namespace {

bool isZero(const Tag& tag, std::string_view value) { return tag.code == 0 && tag.value == value; }

}  // namespace

bool parseSource(SourceFile& src, std::string& error) {
  {
    // The values move into storage of the file's own as they are read; the file's bytes can go after.
    ValueStore values(src.bytes.size());
    if (!tokenize(src.bytes, src.tags, error, &values)) return false;
    src.bytes = values.finish(src.tags);
    src.storage = values.release();
    src.decimalComma = values.decimalComma();
    src.asciiText = values.ascii();
  }
  const Tag* t = src.tags.data();
  const std::size_t n = src.tags.size();
  std::size_t i = 0;
  bool sawSection = false;
  // A run: from a 0 tag up to the next one.
  auto run = [&](std::size_t start) {
    std::size_t j = start + 1;
    while (j < n && t[j].code != 0) ++j;
    return EntityTags(t + start, j - start);
  };
  while (i < n) {
    if (isZero(t[i], "EOF")) break;
    if (!isZero(t[i], "SECTION")) {  // stray tags between sections
      ++i;
      continue;
    }
    ++i;
    if (i >= n || t[i].code != 2) {
      error = "a SECTION without a name";
      return false;
    }
    const std::string_view name = t[i].value;
    ++i;
    sawSection = true;
    if (name == "HEADER") {
      while (i < n) {
        if (t[i].code == 0) {
          // Some writers close the header early and carry on with more variables.
          if (t[i].value == "ENDSEC" && i + 1 < n && t[i + 1].code == 9) {
            ++i;
            continue;
          }
          break;
        }
        if (t[i].code == 9) {
          std::size_t j = i + 1;
          while (j < n && t[j].code != 9 && t[j].code != 0) ++j;
          src.header.push_back({t[i].value, EntityTags(t + i + 1, j - i - 1)});
          i = j;
        } else {
          ++i;
        }
      }
    } else {
      // Runs up to ENDSEC (or the next SECTION / EOF when ENDSEC is missing).
      std::vector<EntityTags> runs;
      while (i < n && t[i].code != 0) ++i;
      while (i < n && !isZero(t[i], "ENDSEC") && !isZero(t[i], "SECTION") && !isZero(t[i], "EOF")) {
        runs.push_back(run(i));
        i += runs.back().size();
      }
      if (name == "CLASSES") {
        src.classes = std::move(runs);
      } else if (name == "TABLES") {
        SourceFile::Table* table = nullptr;
        for (const auto& r : runs) {
          if (r[0].value == "TABLE") {
            std::string_view type;
            for (const Tag& tag : r)
              if (tag.code == 2) {
                type = tag.value;
                break;
              }
            src.tables.push_back({type, r, {}});
            table = &src.tables.back();
          } else if (r[0].value == "ENDTAB") {
            table = nullptr;
          } else if (table) {
            table->records.push_back(r);
          }
        }
      } else if (name == "BLOCKS") {
        SourceFile::Block* block = nullptr;
        for (const auto& r : runs) {
          if (r[0].value == "BLOCK") {
            src.blocks.push_back({r, {}, {}});
            block = &src.blocks.back();
          } else if (r[0].value == "ENDBLK") {
            if (block) block->end = r;
            block = nullptr;
          } else if (block) {
            block->entities.push_back(r);
          }
        }
      } else if (name == "ENTITIES") {
        src.entities.insert(src.entities.end(), runs.begin(), runs.end());
      } else if (name == "OBJECTS") {
        src.objects.insert(src.objects.end(), runs.begin(), runs.end());
      }  // THUMBNAILIMAGE, ACDSDATA and unknown sections are not carried
    }
    if (i < n && isZero(t[i], "ENDSEC")) ++i;
  }
  if (!sawSection) {
    error = "not a DXF file (no SECTION)";
    return false;
  }
  src.version = 1009;
  if (const auto* var = src.headerVar("$ACADVER"); var && !var->values.empty()) {
    std::string_view text = var->values[0].value;
    if (text.size() >= 6 && text.substr(0, 2) == "AC") {
      int value = 0;
      auto [ptr, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), value);
      if (ec == std::errc() && value >= 1006 && value <= 1100) src.version = value;
    }
  }
  src.codePage = 1252;
  if (const auto* var = src.headerVar("$DWGCODEPAGE"); var && !var->values.empty())
    src.codePage = codePageFromName(var->values[0].value);
  if (src.version >= 1021) src.codePage = 65001;
  return true;
}

void setText(SourceFile& src, std::string_view text) {
  src.storage = std::make_unique_for_overwrite<char[]>(text.size() + 1);
  std::copy(text.begin(), text.end(), src.storage.get());
  src.bytes = std::string_view(src.storage.get(), text.size());
}

std::unique_ptr<SourceFile> loadSourceFile(const std::string& path, std::string& error) {
  auto src = std::make_unique<SourceFile>();
  src->path = path;
  std::string why;
  // The file's bytes are needed only until its values are compacted: one buffer per thread, reused from
  // file to file, spares mapping fresh pages for every drawing. A very large one is let go after use.
  static thread_local std::unique_ptr<char[]> buffer;
  static thread_local std::size_t capacity = 0;
  std::size_t size = 0;
  bool ok = readWholeFile(path, buffer, capacity, size, why);
  if (ok) {
    src->bytes = std::string_view(buffer.get(), size);
    ok = parseSource(*src, why);  // the values move into storage of the file's own
  }
  if (capacity > (std::size_t{64} << 20)) {
    buffer.reset();
    capacity = 0;
  }
  if (!ok) {
    error = path + ": " + why;
    return nullptr;
  }
  return src;
}

// ---------------------------------------------------------------------------------------------- map

std::size_t ImportMap::indexOf(Handle source) const {
  auto it = std::lower_bound(from.begin(), from.end(), source);
  if (it == from.end() || *it != source) return std::string::npos;
  return static_cast<std::size_t>(it - from.begin());
}

Handle ImportMap::map(Handle source) const {
  const std::size_t i = indexOf(source);
  return i == std::string::npos ? 0 : to[i];
}

std::string ImportMap::toUtf8(std::string_view text) const {
  if (codePage == 65001 ||
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(text);
  return codePageToUtf8(text, codePage);
}

// ---------------------------------------------------------------------------------------------- document

Document::Document() = default;

std::unique_ptr<Document> Document::createEmpty(std::string& error) {
  auto src = std::make_unique<SourceFile>();
  src->path = "(new drawing)";
  src->bytes = emptyDrawingText();
  if (!parseSource(*src, error)) return nullptr;
  auto doc = std::unique_ptr<Document>(new Document());
  if (!doc->absorb(std::move(src), error)) return nullptr;
  return doc;
}

Table& Document::table(std::string_view type) {
  for (auto& t : tables_)
    if (t.type == type) return t;
  tables_.push_back(Table{std::string(type), newHandle(), {}, {}});
  return tables_.back();
}

const Table* Document::findTable(std::string_view type) const {
  for (const auto& t : tables_)
    if (t.type == type) return &t;
  return nullptr;
}

Block* Document::findBlock(std::string_view utf8Name) {
  auto it = blockIndex_.find(upperName(utf8Name));
  return it == blockIndex_.end() ? nullptr : it->second;
}

const Block* Document::findBlock(std::string_view utf8Name) const {
  auto it = blockIndex_.find(upperName(utf8Name));
  return it == blockIndex_.end() ? nullptr : it->second;
}

void Document::indexBlock(Block* block) { blockIndex_[upperName(block->name)] = block; }

bool Document::hasLayer(std::string_view utf8Name) const {
  const Table* layers = findTable("LAYER");
  return layers && layers->byName.count(upperName(utf8Name)) != 0;
}

std::string Document::addLayer(std::string_view utf8Name, int color) {
  std::string name = cleanName(utf8Name);
  Table& layers = table("LAYER");
  if (layers.byName.count(upperName(name))) return name;
  const std::vector<Tag> tags{{0, "LAYER"},  {100, "AcDbSymbolTableRecord"}, {100, "AcDbLayerTableRecord"},
                              {2, keep(name)}, {70, "0"}, {62, keep(std::to_string(color))}, {6, "Continuous"}};
  Entity record;
  record.tags = keepTags(tags);
  record.handle = newHandle();
  record.owner = layers.handle;
  layers.byName[upperName(name)] = layers.records.size();
  layers.records.push_back(record);
  return name;
}

bool Document::setLayerColor(std::string_view utf8Name, int color) {
  Table& layers = table("LAYER");
  auto it = layers.byName.find(upperName(utf8Name));
  if (it == layers.byName.end()) return false;
  Entity& record = layers.records[it->second];
  std::vector<Tag> tags(record.tags.begin(), record.tags.end());
  bool found = false;
  // A negative colour means "layer off"; keep that state with the new colour.
  for (Tag& tag : tags) {
    if (tag.code == 62) {
      const bool off = parseInteger(tag.value).value_or(7) < 0;
      tag.value = keep(std::to_string(off ? -color : color));
      found = true;
    }
  }
  if (!found) {
    auto pos = std::find_if(tags.begin(), tags.end(), [](const Tag& t) { return t.code == 70; });
    tags.insert(pos == tags.end() ? tags.end() : pos + 1, Tag{62, keep(std::to_string(color))});
  }
  record.tags = keepTags(tags);
  return true;
}

std::string Document::uniqueBlockName(const std::string& base) const {
  if (!findBlock(base)) return base;
  for (int i = 2;; ++i) {
    std::string name = base + "_" + std::to_string(i);
    if (!findBlock(name)) return name;
  }
}

std::string_view Document::keep(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > textLeft_) {
    const std::size_t size = std::max<std::size_t>(text.size(), 1 << 16);
    textChunks_.push_back(std::make_unique<char[]>(size));
    textNext_ = textChunks_.back().get();
    textLeft_ = size;
  }
  std::memcpy(textNext_, text.data(), text.size());
  std::string_view kept(textNext_, text.size());
  textNext_ += text.size();
  textLeft_ -= text.size();
  return kept;
}

EntityTags Document::keepTags(std::span<const Tag> tags) {
  if (tags.size() > tagLeft_) {
    const std::size_t size = std::max<std::size_t>(tags.size(), 4096);
    tagChunks_.push_back(std::make_unique<Tag[]>(size));
    tagNext_ = tagChunks_.back().get();
    tagLeft_ = size;
  }
  std::copy(tags.begin(), tags.end(), tagNext_);
  EntityTags kept(tagNext_, tags.size());
  tagNext_ += tags.size();
  tagLeft_ -= tags.size();
  return kept;
}

std::vector<Tag>* Document::newExtra() {
  extras_.emplace_back();
  return &extras_.back();
}

Handle Document::addModelEntity(std::span<const Tag> tags, const ImportMap* map) {
  Entity e;
  e.tags = keepTags(tags);
  e.map = map;
  e.handle = newHandle();
  e.owner = modelSpace_->record.handle;
  modelSpace_->entities.push_back(e);
  return e.handle;
}

Block* Document::addBlock(const std::string& name, const double base[3], std::vector<Entity> entities) {
  auto block = std::make_unique<Block>();
  Block& b = *block;
  b.name = name;
  std::copy(base, base + 3, b.base);
  Table& records = table("BLOCK_RECORD");
  const std::string_view kept = keep(name);
  b.record.tags = keepTags({{0, "BLOCK_RECORD"}, {100, "AcDbSymbolTableRecord"}, {100, "AcDbBlockTableRecord"},
                            {2, kept}, {70, "0"}, {280, "1"}, {281, "0"}});
  b.record.handle = newHandle();
  b.record.owner = records.handle;
  records.byName[upperName(name)] = records.records.size();
  records.records.push_back(b.record);
  const bool anonymous = !name.empty() && name[0] == '*';
  b.begin.tags = keepTags({{0, "BLOCK"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbBlockBegin"}, {2, kept},
                           {70, anonymous ? "1" : "0"}, {10, keep(formatReal(base[0]))},
                           {20, keep(formatReal(base[1]))}, {30, keep(formatReal(base[2]))}, {3, kept}, {1, ""}});
  b.begin.handle = newHandle();
  b.begin.owner = b.record.handle;
  b.end.tags = keepTags({{0, "ENDBLK"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbBlockEnd"}});
  b.end.handle = newHandle();
  b.end.owner = b.record.handle;
  for (auto& e : entities)
    if (e.owner == 0) e.owner = b.record.handle;
  b.entities = std::move(entities);
  indexBlock(block.get());
  blocks_.push_back(std::move(block));
  return &b;
}

void Document::zoomActiveViewport(const Box3& box) {
  Table& vports = table("VPORT");
  auto it = vports.byName.find("*ACTIVE");
  if (it == vports.byName.end()) return;
  Entity& vp = vports.records[it->second];
  double aspect = 1.5;
  for (const Tag& t : vp.tags)
    if (t.code == 41) aspect = parseReal(t.value).value_or(1.5);
  if (!(aspect > 0)) aspect = 1.5;
  const double width = box.maxX - box.minX, height = box.maxY - box.minY;
  const double viewHeight = std::max({height, width / aspect, 1e-9}) * 1.05;
  std::vector<Tag> tags(vp.tags.begin(), vp.tags.end());
  bool has[3] = {false, false, false};
  for (Tag& t : tags) {
    if (t.code == 12) { t.value = keep(formatReal((box.minX + box.maxX) / 2)); has[0] = true; }
    if (t.code == 22) { t.value = keep(formatReal((box.minY + box.maxY) / 2)); has[1] = true; }
    if (t.code == 40) { t.value = keep(formatReal(viewHeight)); has[2] = true; }
  }
  if (!has[0]) tags.push_back({12, keep(formatReal((box.minX + box.maxX) / 2))});
  if (!has[1]) tags.push_back({22, keep(formatReal((box.minY + box.maxY) / 2))});
  if (!has[2]) tags.push_back({40, keep(formatReal(viewHeight))});
  vp.tags = keepTags(tags);
}

std::size_t Document::findModelEntity(Handle handle) const {
  const auto& list = modelSpace_->entities;
  for (; modelIndexed_ < list.size(); ++modelIndexed_) modelIndex_[list[modelIndexed_].handle] = modelIndexed_;
  auto it = modelIndex_.find(handle);
  if (it == modelIndex_.end() || it->second >= list.size() || list[it->second].handle != handle)
    return std::string::npos;
  return it->second;
}

const ImportMap* Document::mapOfText(std::string_view text) const {
  const char* p = text.data();
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), p,
                             [](const char* value, const TextRange& r) { return value < r.begin; });
  if (it == ranges_.begin()) return nullptr;
  --it;
  return p >= it->begin && p < it->end ? it->map : nullptr;
}

std::string Document::blockNameOf(const Tag& tag, const ImportMap* map) const {
  if (!map) map = mapOfText(tag.value);
  if (!map) return std::string(tag.value);
  auto it = map->blocks.find(tag.value);
  if (it != map->blocks.end()) return it->second;
  return map->toUtf8(tag.value);
}

const BlockResolver::Block* Document::Resolver::find(std::string_view name) const {
  const dxf::Block* block = doc_.findBlock(doc_.blockNameOf(Tag{2, name}, nullptr));
  if (!block) return nullptr;
  auto it = cache.find(block);
  if (it == cache.end()) {
    BlockResolver::Block view;
    view.baseX = block->base[0];
    view.baseY = block->base[1];
    view.baseZ = block->base[2];
    for (const auto& e : block->entities)
      if (!e.erased) view.entities.push_back(e.tags);
    it = cache.emplace(block, std::move(view)).first;
  }
  return &it->second;
}

const Box3& Document::modelEntityBox(std::size_t index) const {
  const auto& list = modelSpace_->entities;
  if (modelBoxes_.size() < list.size()) {
    modelBoxes_.resize(list.size());
    modelBoxKnown_.resize(list.size(), 0);
  }
  if (!modelBoxKnown_[index]) {
    Box3 box;
    const std::string_view type = list[index].type();
    const bool follower = type == "VERTEX" || type == "SEQEND" || type == "ATTRIB";
    if (!follower && !list[index].erased) {
      std::vector<EntityTags> run{list[index].tags};
      for (std::size_t j = index + 1; j < list.size(); ++j) {
        const std::string_view t = list[j].type();
        if (t != "VERTEX" && t != "SEQEND" && t != "ATTRIB") break;
        run.push_back(list[j].tags);
      }
      addEntityExtents(std::span<const EntityTags>(run), Transform::identity(), resolver_, box);
    }
    modelBoxes_[index] = box;
    modelBoxKnown_[index] = 1;
  }
  return modelBoxes_[index];
}

void Document::noteModelEntityChanged(std::size_t index, const Box3* coveredBy) {
  if (index < modelBoxKnown_.size()) {
    const Box3 old = modelBoxes_[index];
    const bool wasKnown = modelBoxKnown_[index];
    modelBoxKnown_[index] = 0;
    if (index >= modelSummed_ || !wasKnown || old.empty) return;
    if (coveredBy && !coveredBy->empty) {
      const double tol = 1e-9 * (1 + std::max({std::fabs(old.minX), std::fabs(old.maxX), std::fabs(old.minY),
                                               std::fabs(old.maxY)}));
      if (coveredBy->minX <= old.minX + tol && coveredBy->minY <= old.minY + tol &&
          coveredBy->maxX >= old.maxX - tol && coveredBy->maxY >= old.maxY - tol)
        return;
    }
  }
  if (index < modelSummed_) {
    modelSummed_ = 0;
    modelSum_ = Box3();
  }
}

void Document::noteModelEntityMoved(std::size_t index, double dx, double dy, double dz) {
  const auto& list = modelSpace_->entities;
  const bool followed = index + 1 < list.size() && (list[index + 1].type() == "VERTEX" ||
                                                    list[index + 1].type() == "SEQEND" ||
                                                    list[index + 1].type() == "ATTRIB");
  if (followed || index >= modelBoxKnown_.size() || !modelBoxKnown_[index]) {
    noteModelEntityChanged(index);
    return;
  }
  Box3& box = modelBoxes_[index];
  if (!box.empty) {
    box.minX += dx;
    box.maxX += dx;
    box.minY += dy;
    box.maxY += dy;
    box.minZ += dz;
    box.maxZ += dz;
    if (index < modelSummed_) {  // the sum cannot take the old box out: it is summed again from the boxes
      modelSummed_ = 0;
      modelSum_ = Box3();
    }
  }
}

std::optional<Box3> Document::modelExtents() const {
  const auto& list = modelSpace_->entities;
  for (; modelSummed_ < list.size(); ++modelSummed_)
    if (!list[modelSummed_].erased) modelSum_.add(modelEntityBox(modelSummed_));
  if (modelSum_.empty) return std::nullopt;
  return modelSum_;
}

}  // namespace plenvo::dxf
