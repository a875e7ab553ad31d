// The engine's document model, above the tags: the files it has read (their bytes stay alive, tags point
// into them), and the drawing being built from them. Every entity, table record and object of the drawing
// is a run of tags plus the ImportMap of the file it came from, which says how its handles, resource names
// and text translate into the output; the writer applies that translation while copying the tag text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <initializer_list>
#include <span>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cad/dxf/dxf_extents.h"
#include "cad/dxf/dxf_tags.h"

namespace plenvo::dxf {

using Handle = std::uint64_t;

// One DXF file as read.
struct SourceFile {
  std::string path;
  std::unique_ptr<char[]> storage;  // the file's bytes, when they are not static text
  std::string_view bytes;
  std::vector<Tag> tags;
  int version = 1009;  // AC1015 -> 1015; files without $ACADVER count as R12 (1009)
  int codePage = 1252; // 65001: UTF-8
  struct HeaderVar {
    std::string_view name;  // "$INSBASE"
    EntityTags values;      // the tags after (9, name)
  };
  std::vector<HeaderVar> header;
  std::vector<EntityTags> classes;
  struct Table {
    std::string_view type;  // "LAYER"
    EntityTags head;
    std::vector<EntityTags> records;
  };
  std::vector<Table> tables;
  struct Block {
    EntityTags begin;
    std::vector<EntityTags> entities;
    EntityTags end;
  };
  std::vector<Block> blocks;
  std::vector<EntityTags> entities;
  std::vector<EntityTags> objects;
  bool decimalComma = false;  // some real values are written "1,5"
  bool asciiText = false;     // every value in `bytes` is ASCII (the same in any code page)
  std::vector<std::vector<Tag>> rewritten;  // entity runs the loader had to rebuild (R12 upgrade)

  const HeaderVar* headerVar(std::string_view name) const;
};

// Reads and parses a file. Errors are prefixed with the path.
std::unique_ptr<SourceFile> loadSourceFile(const std::string& path, std::string& error);
// Parses the text src.bytes views (the built-in template, tests); setText keeps a copy of `text` for it.
void setText(SourceFile& src, std::string_view text);
bool parseSource(SourceFile& src, std::string& error);

// How one file's tags translate into the document.
struct ImportMap {
  const SourceFile* source = nullptr;
  std::vector<Handle> from;  // the file's handles, sorted
  std::vector<Handle> to;    // the handle each becomes; 0: not in the document
  int codePage = 65001;      // of the file's text
  bool decimalComma = false; // real values with a decimal comma are written with a point
  std::string_view asciiText;  // text known to be ASCII: the file's values, when they all are
  // Resources renamed on the way in (to UTF-8 names), keyed by the file's own name text.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  using Renames = std::unordered_map<std::string, std::string, TextHash, std::equal_to<>>;
  Renames layers, linetypes, styles, dimstyles, blocks;

  Handle map(Handle source) const;            // 0 when not in the document
  std::size_t indexOf(Handle source) const;   // position in from/to, or npos
  std::string toUtf8(std::string_view text) const;
};

struct Entity {
  EntityTags tags;                 // (0, TYPE) first
  const ImportMap* map = nullptr;  // null: tags made by the engine, in output terms and UTF-8
  Handle handle = 0;
  Handle owner = 0;
  std::vector<Tag>* extra = nullptr;  // engine-made tags appended when writing (dictionary entries)
  bool erased = false;
  std::string_view type() const { return tags.empty() ? std::string_view() : tags[0].value.view(); }
};

struct Table {
  std::string type;
  Handle handle = 0;
  std::vector<Entity> records;
  std::unordered_map<std::string, std::size_t> byName;  // upper-case UTF-8 name -> record index
};

struct Block {
  std::string name;  // UTF-8, as written
  Entity record;     // BLOCK_RECORD
  Entity begin;      // BLOCK
  Entity end;        // ENDBLK
  std::vector<Entity> entities;
  double base[3] = {0, 0, 0};
  std::string sourceKey;  // the file a top-level block was made from (canonical path), else empty
  std::uint64_t fingerprint = 0;
  bool layout = false;  // *Model_Space, *Paper_Space
};

class Document {
 public:
  Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // The built-in empty drawing (R2000, ANSI_936).
  static std::unique_ptr<Document> createEmpty(std::string& error);

  // Adds an existing drawing's content as the document's own: its header, resources, blocks, model and
  // paper space entities, named objects. Used once, right after createEmpty, for openDrawing.
  bool absorb(std::unique_ptr<SourceFile> src, std::string& error);
  // Makes a block definition from a file's model space (plus its resources and nested blocks), named
  // `name`, based at the file's $INSBASE. Returns the block.
  Block* importAsBlock(std::unique_ptr<SourceFile> src, const std::string& name, const std::string& sourceKey);

  // Serialises the whole drawing.
  std::string write() const;
  // The same text streamed into an open file through a fixed buffer; false when a write failed.
  bool writeTo(std::FILE* file) const;

  // Resources.
  Table& table(std::string_view type);
  const Table* findTable(std::string_view type) const;
  Block* findBlock(std::string_view utf8Name);
  const Block* findBlock(std::string_view utf8Name) const;
  Block& modelSpace() { return *modelSpace_; }
  const Block& modelSpace() const { return *modelSpace_; }
  bool hasLayer(std::string_view utf8Name) const;
  // Adds a layer record (colour 7, Continuous); returns its name as stored (cleaned).
  std::string addLayer(std::string_view utf8Name, int color);
  bool setLayerColor(std::string_view utf8Name, int color);
  // A name not yet used by a block: `base`, else base_2, base_3, ...
  std::string uniqueBlockName(const std::string& base) const;

  // Engine-made entities.
  Handle newHandle() { return nextHandle_++; }
  std::string_view keep(std::string_view text);  // stable storage for engine-made text
  EntityTags keepTags(std::span<const Tag> tags);
  EntityTags keepTags(std::initializer_list<Tag> tags) { return keepTags(std::span<const Tag>(tags.begin(), tags.size())); }
  std::vector<Tag>* newExtra();
  Handle addModelEntity(std::span<const Tag> tags, const ImportMap* map = nullptr);

  // A new block definition; entities with owner 0 are given the block's record as owner.
  Block* addBlock(const std::string& name, const double base[3], std::vector<Entity> entities);
  // Centres the *Active viewport on `box` and makes it show all of it.
  void zoomActiveViewport(const Box3& box);

  // Model space entity by handle (index into modelSpace().entities), or npos.
  std::size_t findModelEntity(Handle handle) const;

  // Block lookup for the extents code: names are resolved in the terms of the file the tag came from.
  const BlockResolver& resolver() const { return resolver_; }
  // The drawing's extents (model space); nullopt when it has none. Kept up to date incrementally: each
  // entity is measured once; moving or erasing one that was already counted starts the sum again, unless
  // what replaced it covers it (explode).
  std::optional<Box3> modelExtents() const;
  // Extents of one model space entity (with its vertices or attributes), cached.
  const Box3& modelEntityBox(std::size_t index) const;
  void noteModelEntityChanged(std::size_t index, const Box3* coveredBy = nullptr);
  // The entity was only moved by (dx, dy, dz): its cached box moves with it instead of being measured again.
  // An entity with vertices or attributes after it is measured again (they move separately).
  void noteModelEntityMoved(std::size_t index, double dx, double dy, double dz);
  void setHeaderExtents(const Box3& box) { extents_ = box; }

  int version() const { return version_; }
  int outputCodePage() const { return version_ >= 1021 ? 65001 : codePage_; }

  // Where an imported tag's name text comes from (by address): its map, or null for engine text.
  const ImportMap* mapOfText(std::string_view text) const;
  // A block name as written in a tag, in the document's terms.
  std::string blockNameOf(const Tag& tag, const ImportMap* map) const;

 private:
  friend class Importer;
  friend class Writer;
  class Resolver : public BlockResolver {
   public:
    explicit Resolver(const Document& doc) : doc_(doc) {}
    const Block* find(std::string_view name) const override;
    mutable std::unordered_map<const dxf::Block*, BlockResolver::Block> cache;

   private:
    const Document& doc_;
  };

  void indexBlock(Block* block);

  std::vector<std::unique_ptr<SourceFile>> sources_;
  std::vector<std::unique_ptr<ImportMap>> maps_;
  // Arenas for engine-made text and tags: chunks that never move.
  std::vector<std::unique_ptr<char[]>> textChunks_;
  std::size_t textLeft_ = 0;
  char* textNext_ = nullptr;
  std::vector<std::unique_ptr<Tag[]>> tagChunks_;
  std::size_t tagLeft_ = 0;
  Tag* tagNext_ = nullptr;
  std::deque<std::vector<Tag>> extras_;
  std::vector<Table> tables_;
  std::vector<std::unique_ptr<Block>> blocks_;
  std::unordered_map<std::string, Block*> blockIndex_;  // upper-case name
  Block* modelSpace_ = nullptr;
  Block* paperSpace_ = nullptr;
  std::vector<Entity> classes_;
  std::vector<Entity> objects_;
  std::unordered_map<std::string, std::size_t> classIndex_;
  Handle rootDict_ = 0;
  std::vector<std::pair<std::string, std::pair<EntityTags, const ImportMap*>>> header_;
  Handle nextHandle_ = 1;
  int version_ = 1015;
  int codePage_ = 936;
  std::optional<Box3> extents_;
  Resolver resolver_{*this};
  struct TextRange {
    const char* begin;
    const char* end;
    const ImportMap* map;
  };
  std::vector<TextRange> ranges_;
  mutable std::unordered_map<Handle, std::size_t> modelIndex_;
  mutable std::vector<Box3> modelBoxes_;
  mutable std::vector<char> modelBoxKnown_;
  mutable Box3 modelSum_;
  mutable std::size_t modelSummed_ = 0;
  mutable std::size_t modelIndexed_ = 0;
};

// Names.
std::string upperName(std::string_view utf8);
// A layer or block name with the characters AutoCAD rejects (<>/\":;?*|=`) replaced by '_'.
std::string cleanName(std::string_view utf8);
int codePageFromName(std::string_view dwgCodePage);  // "ANSI_936" -> 936; unknown -> 1252
std::string codePageName(int codePage);
Handle parseHandle(std::string_view hex);  // 0 when not a handle
std::string formatHandle(Handle handle);
std::string formatReal(double value);
// isRealCode: see dxf_tags.h.

}  // namespace plenvo::dxf
