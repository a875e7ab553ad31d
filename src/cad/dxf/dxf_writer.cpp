// Writing the document as ASCII DXF. Tags are copied as text; on the way, handles and owners are replaced
// by the document's, other pointers are translated through the entity's ImportMap (and left out when they
// point to nothing carried), renamed resources get their new names, and text is re-encoded when the file
// it came from used another code page than the output.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <memory>

#ifdef __linux__
#include <fcntl.h>
#include <stdio.h>
#endif

#include "cad/dxf/dxf_document.h"
#include "core/text_codec.h"

namespace plenvo::dxf {
namespace {

enum class Kind { Graphic, Text, Insert, Dimension, DimstyleUser, Object, LayerRec, LtypeRec, StyleRec, DimstyleRec,
                  BlockRecordRec, OtherRec, Header, Literal };

constexpr bool isPointerCode(int code) {
  return (code >= 320 && code <= 369) || (code >= 390 && code <= 399) || code == 480 || code == 481 || code == 1005;
}

// What a group code's value may need on the way out, as bits: a pointer to translate, a name to rename
// (codes below 10), a real that may have a decimal comma. A value with none of them is copied as it is.
enum CodeNeeds : unsigned char { kPointer = 1, kName = 2, kReal = 4 };
struct CodeNeedsTable {
  unsigned char needs[1072];
  constexpr CodeNeedsTable() : needs() {
    for (int c = 0; c < 1072; ++c)
      needs[c] = static_cast<unsigned char>((isPointerCode(c) ? kPointer : 0) | (c < 10 ? kName : 0) |
                                            (isRealCode(c) ? kReal : 0));
  }
};
constexpr CodeNeedsTable kCodeNeeds;
inline unsigned codeNeeds(int code) {
  if (code >= 0 && code < 1072) return kCodeNeeds.needs[code];
  return (isPointerCode(code) ? kPointer : 0) | (isRealCode(code) ? kReal : 0);
}

Kind kindOfEntity(std::string_view type) {
  if (type == "TEXT" || type == "MTEXT" || type == "ATTDEF" || type == "ATTRIB") return Kind::Text;
  if (type == "INSERT") return Kind::Insert;
  if (type == "DIMENSION") return Kind::Dimension;
  if (type == "LEADER" || type == "TOLERANCE") return Kind::DimstyleUser;
  return Kind::Graphic;
}

Kind kindOfRecord(std::string_view type) {
  if (type == "LAYER") return Kind::LayerRec;
  if (type == "LTYPE") return Kind::LtypeRec;
  if (type == "STYLE") return Kind::StyleRec;
  if (type == "DIMSTYLE") return Kind::DimstyleRec;
  if (type == "BLOCK_RECORD") return Kind::BlockRecordRec;
  return Kind::OtherRec;
}

bool isAscii(std::string_view text) {
  unsigned char bits = 0;
  for (char c : text) bits |= static_cast<unsigned char>(c);
  return bits < 0x80;
}

// True when `text` is ASCII: inside `known` (text already found ASCII), or by looking.
bool isAsciiText(std::string_view text, std::string_view known) {
  const auto at = reinterpret_cast<std::uintptr_t>(text.data());
  const auto from = reinterpret_cast<std::uintptr_t>(known.data());
  if (at >= from && at + text.size() <= from + known.size()) return true;
  return isAscii(text);
}

// Decodes one UTF-8 sequence at text[i]; advances i.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
  const auto c = static_cast<unsigned char>(text[i]);
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  char32_t cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
  ++i;
  while (extra-- > 0 && i < text.size()) cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
  return cp;
}

}  // namespace

// Group code lines as written ("  0\n" ... "999\n"), four bytes each, for the codes below 1000.
struct CodeLines {
  char text[1000][4];
  constexpr CodeLines() : text() {
    for (int c = 0; c < 1000; ++c) {
      text[c][0] = c >= 100 ? static_cast<char>('0' + c / 100) : ' ';
      text[c][1] = c >= 10 ? static_cast<char>('0' + c / 10 % 10) : ' ';
      text[c][2] = static_cast<char>('0' + c % 10);
      text[c][3] = '\n';
    }
  }
};
constexpr CodeLines kCodeLines;

class Writer {
 public:
  Writer(const Document& doc, std::size_t estimate, int outCodePage, std::FILE* file = nullptr)
      : doc_(doc), outCp_(outCodePage), file_(file) {
    grow(file ? kChunk + (1 << 16) : estimate);
  }
  std::string take() { return std::string(buffer_.get(), size_); }
  // Streaming into a file: the text goes out in chunks between entities (an entity may still take back
  // an empty group it wrote), so the output is never held whole.
  void flush(bool all) {
    if (!file_ || (!all && size_ < kChunk)) return;
    if (size_ != 0 && std::fwrite(buffer_.get(), 1, size_, file_) != size_) failed_ = true;
    written_ += size_;
    size_ = 0;
#ifdef __linux__
    // What is written goes to the disk from now on, while the rest is being made: the save's fsync then
    // waits for little more than the last chunks.
    if (written_ - handedOver_ >= kWriteback) {
      ::sync_file_range(::fileno(file_), static_cast<off64_t>(handedOver_), static_cast<off64_t>(written_ - handedOver_),
                        SYNC_FILE_RANGE_WRITE);
      handedOver_ = written_;
    }
#endif
  }
  bool failed() const { return failed_; }

  // Room for `n` more bytes at the end of the text.
  char* room(std::size_t n) {
    if (capacity_ - size_ < n) grow(std::max(capacity_ * 2, size_ + n));
    return buffer_.get() + size_;
  }
  void wrote(const char* end) { size_ = static_cast<std::size_t>(end - buffer_.get()); }

  static char* putCode(char* p, int code) {
    if (code >= 0 && code < 1000) {
      std::memcpy(p, kCodeLines.text[code], 4);
      return p + 4;
    }
    auto [end, ec] = std::to_chars(p, p + 12, code);
    *end = '\n';
    return end + 1;
  }
  void code(int code) { wrote(putCode(room(16), code)); }
  void raw(int c, std::string_view value) {
    char* p = putCode(room(value.size() + 16), c);
    copyText(p, value.data(), value.size());
    p += value.size();
    *p++ = '\n';
    wrote(p);
  }
  // n bytes to `to`; short text (most values) by two overlapping loads and stores, with no library call.
  static void copyText(char* to, const char* from, std::size_t n) {
    if (n >= 8 && n <= 16) {
      std::uint64_t a, b;
      std::memcpy(&a, from, 8);
      std::memcpy(&b, from + n - 8, 8);
      std::memcpy(to, &a, 8);
      std::memcpy(to + n - 8, &b, 8);
    } else if (n >= 4 && n < 8) {
      std::uint32_t a, b;
      std::memcpy(&a, from, 4);
      std::memcpy(&b, from + n - 4, 4);
      std::memcpy(to, &a, 4);
      std::memcpy(to + n - 4, &b, 4);
    } else if (n < 4) {
      for (std::size_t i = 0; i < n; ++i) to[i] = from[i];  // none for an empty view, which may have no data
    } else {
      std::memcpy(to, from, n);
    }
  }
  // UTF-8 text in the output's encoding: the code page where it has the character, \U+XXXX where not.
  void utf8(int c, std::string_view value) {
    if (outCp_ == 65001 || isAscii(value)) return raw(c, value);
    std::string encoded = utf8ToCodePage(value, outCp_);
    if (std::count(encoded.begin(), encoded.end(), '?') != std::count(value.begin(), value.end(), '?')) {
      encoded.clear();
      for (std::size_t i = 0; i < value.size();) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(value, i);
        const std::string_view one = value.substr(start, i - start);
        std::string e = cp < 0x80 ? std::string(one) : utf8ToCodePage(one, outCp_);
        if (cp >= 0x80 && (e == "?" || e.empty())) {
          char buffer[16];
          std::snprintf(buffer, sizeof buffer, "\\U+%04X", static_cast<unsigned>(cp));
          encoded += buffer;
        } else {
          encoded += e;
        }
      }
    }
    raw(c, encoded);
  }
  // Text of an imported file.
  void text(int c, std::string_view value, const ImportMap* map) {
    if (!map) return utf8(c, value);
    if (map->codePage == outCp_ || isAsciiText(value, map->asciiText)) return raw(c, value);
    if (map->codePage == 65001) return utf8(c, value);
    utf8(c, codePageToUtf8(value, map->codePage));
  }
  void handle(int c, Handle h) {
    // Upper-case hexadecimal, as formatHandle writes it.
    char* p = putCode(room(40), c);
    char digits[16];
    int n = 0;
    do {
      digits[n++] = "0123456789ABCDEF"[h & 0xF];
      h >>= 4;
    } while (h != 0);
    while (n > 0) *p++ = digits[--n];
    *p++ = '\n';
    wrote(p);
  }

  void renamed(int c, std::string_view value, const ImportMap* map, const ImportMap::Renames* renames) {
    if (map && renames && !renames->empty()) {
      auto it = renames->find(value);
      if (it != renames->end()) return utf8(c, it->second);
    }
    text(c, value, map);
  }

  void entity(const Entity& e, Kind kind) {
    if (e.erased || e.tags.empty()) return;
    flush(false);
    const ImportMap* map = e.map;
    const EntityTags tags = e.tags;
    // Values that go out as they are: no pointer, name or comma to see to, and text already in the
    // output's encoding.
    const unsigned slow = kPointer | (map ? kName : 0) | (map && map->decimalComma ? kReal : 0);
    const bool sameEncoding = map && map->codePage == outCp_;
    const bool dimstyle = kind == Kind::DimstyleRec;
    const int handleCode = dimstyle ? 105 : 5;
    raw(0, tags[0].value);
    if (e.handle) handle(handleCode, e.handle);
    // Application groups (reactors, extension dictionary) come before the owner; pointers in them that
    // lead to nothing carried are left out, and a group left empty goes as a whole.
    bool ownerDone = false;
    std::size_t groupStart = 0;
    int groupItems = 0;
    bool inGroup = false;
    bool sawMarker = false;
    for (std::size_t i = 1; i < tags.size(); ++i) {
      const Tag& t = tags[i];
      // The run's own handle (before the first subclass; later a 5 is data, in an XRECORD say).
      if (t.code == handleCode && !sawMarker) continue;
      if (t.code == 100) sawMarker = true;
      if (t.code == 102) {
        if (!t.value.empty() && t.value[0] == '{') {
          inGroup = true;
          groupStart = size_;
          groupItems = 0;
          raw(102, t.value);
        } else if (inGroup) {
          inGroup = false;
          if (groupItems == 0) size_ = groupStart;
          else raw(102, t.value);
        }
        continue;
      }
      if (inGroup) {
        if (isPointerCode(t.code) && map) {
          if (const Handle h = map->map(parseHandle(t.value))) {
            handle(t.code, h);
            ++groupItems;
          }
        } else {
          text(t.code, t.value, map);
          ++groupItems;
        }
        continue;
      }
      if (!ownerDone) {
        handle(330, e.owner);
        ownerDone = true;
        if (t.code == 330) continue;  // the file's own owner pointer
      }
      if (!(codeNeeds(t.code) & slow) && map && (sameEncoding || isAsciiText(t.value, map->asciiText))) {
        raw(t.code, t.value);
        continue;
      }
      value(t, kind, map);
    }
    if (inGroup && groupItems == 0) size_ = groupStart;
    if (!ownerDone) handle(330, e.owner);
    if (e.extra)
      for (const Tag& t : *e.extra) {
        if (isPointerCode(t.code)) raw(t.code, t.value);
        else utf8(t.code, t.value);
      }
  }

  void value(const Tag& t, Kind kind, const ImportMap* map) {
    const int c = t.code;
    if (map && map->decimalComma && isRealCode(c) && t.value.find(',') != std::string_view::npos) {
      std::string fixed(t.value);
      std::replace(fixed.begin(), fixed.end(), ',', '.');
      return raw(c, fixed);
    }
    if (isPointerCode(c)) {
      if (!map) return raw(c, t.value);
      const Handle source = parseHandle(t.value);
      if (source == 0) return raw(c, t.value);
      if (const Handle h = map->map(source)) handle(c, h);
      return;
    }
    if (c < 10 && map) {
      switch (kind) {
        case Kind::Graphic: case Kind::Text: case Kind::Insert: case Kind::Dimension: case Kind::DimstyleUser:
        case Kind::Header:
          if (c == 8) return renamed(c, t.value, map, &map->layers);
          if (c == 6) return renamed(c, t.value, map, &map->linetypes);
          if (c == 7 && (kind == Kind::Text || kind == Kind::Header)) return renamed(c, t.value, map, &map->styles);
          if (c == 2 && (kind == Kind::Insert || kind == Kind::Dimension))
            return renamed(c, t.value, map, &map->blocks);
          if (c == 3 && (kind == Kind::Dimension || kind == Kind::DimstyleUser))
            return renamed(c, t.value, map, &map->dimstyles);
          break;
        case Kind::LayerRec:
          if (c == 2) return renamed(c, t.value, map, &map->layers);
          if (c == 6) return renamed(c, t.value, map, &map->linetypes);
          break;
        case Kind::LtypeRec:
          if (c == 2) return renamed(c, t.value, map, &map->linetypes);
          break;
        case Kind::StyleRec:
          if (c == 2) return renamed(c, t.value, map, &map->styles);
          break;
        case Kind::DimstyleRec:
          if (c == 2) return renamed(c, t.value, map, &map->dimstyles);
          break;
        case Kind::BlockRecordRec:
          if (c == 2) return renamed(c, t.value, map, &map->blocks);
          break;
        default:
          break;
      }
    }
    text(c, t.value, map);
  }

  void header() {
    raw(0, "SECTION");
    raw(2, "HEADER");
    raw(9, "$ACADVER");
    raw(1, "AC" + std::to_string(doc_.version_));
    raw(9, "$DWGCODEPAGE");
    raw(3, codePageName(doc_.codePage_));
    for (const auto& [name, value] : doc_.header_) {
      if (name == "$ACADVER" || name == "$DWGCODEPAGE" || name == "$HANDSEED") continue;
      if (doc_.extents_ && (name == "$EXTMIN" || name == "$EXTMAX")) {
        const Box3& b = *doc_.extents_;
        const bool min = name == "$EXTMIN";
        raw(9, name);
        raw(10, formatReal(min ? b.minX : b.maxX));
        raw(20, formatReal(min ? b.minY : b.maxY));
        raw(30, formatReal(min ? b.minZ : b.maxZ));
        continue;
      }
      raw(9, name);
      for (const Tag& t : value.first) value_(t, value.second);
    }
    raw(9, "$HANDSEED");
    handle(5, doc_.nextHandle_);
    raw(0, "ENDSEC");
  }
  void value_(const Tag& t, const ImportMap* map) { value(t, Kind::Header, map); }

  void classes() {
    raw(0, "SECTION");
    raw(2, "CLASSES");
    for (const auto& c : doc_.classes_) {
      raw(0, c.tags[0].value);
      for (std::size_t i = 1; i < c.tags.size(); ++i) text(c.tags[i].code, c.tags[i].value, c.map);
    }
    raw(0, "ENDSEC");
  }

  void tables() {
    raw(0, "SECTION");
    raw(2, "TABLES");
    for (std::string_view type : {"VPORT", "LTYPE", "LAYER", "STYLE", "VIEW", "UCS", "APPID", "DIMSTYLE", "BLOCK_RECORD"}) {
      const Table* table = doc_.findTable(type);
      if (!table) continue;
      raw(0, "TABLE");
      raw(2, type);
      handle(5, table->handle);
      raw(330, "0");
      raw(100, "AcDbSymbolTable");
      const auto count = std::count_if(table->records.begin(), table->records.end(), [](const Entity& e) { return !e.erased; });
      raw(70, std::to_string(count));
      if (type == "DIMSTYLE") raw(100, "AcDbDimStyleTable");
      const Kind kind = kindOfRecord(type);
      for (const auto& r : table->records) entity(r, kind);
      raw(0, "ENDTAB");
    }
    raw(0, "ENDSEC");
  }

  void blocks() {
    raw(0, "SECTION");
    raw(2, "BLOCKS");
    for (const auto& b : doc_.blocks_) {
      entity(b->begin, Kind::Graphic);
      if (!b->layout)
        for (const auto& e : b->entities) entity(e, kindOfEntity(e.type()));
      entity(b->end, Kind::Graphic);
    }
    raw(0, "ENDSEC");
  }

  void entities() {
    raw(0, "SECTION");
    raw(2, "ENTITIES");
    for (const Block* b : {doc_.modelSpace_, doc_.paperSpace_})
      if (b)
        for (const auto& e : b->entities) entity(e, kindOfEntity(e.type()));
    raw(0, "ENDSEC");
  }

  void objects() {
    raw(0, "SECTION");
    raw(2, "OBJECTS");
    for (const auto& o : doc_.objects_) entity(o, Kind::Object);
    raw(0, "ENDSEC");
  }

 private:
  static constexpr std::size_t kChunk = 1 << 20;
  static constexpr std::size_t kWriteback = std::size_t{4} << 20;
  std::size_t written_ = 0;     // bytes handed to the file
  std::size_t handedOver_ = 0;  // of which the disk was asked to take
  const Document& doc_;
  int outCp_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;

  void grow(std::size_t capacity) {
    auto larger = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0) std::memcpy(larger.get(), buffer_.get(), size_);
    buffer_ = std::move(larger);
    capacity_ = capacity;
  }
};

std::string Document::write() const {
  std::size_t estimate = 1 << 20;
  for (const auto& s : sources_) estimate += s->bytes.size() + s->bytes.size() / 8;
  Writer w(*this, estimate, outputCodePage());
  w.header();
  w.classes();
  w.tables();
  w.blocks();
  w.entities();
  w.objects();
  w.raw(0, "EOF");
  return w.take();
}

bool Document::writeTo(std::FILE* file) const {
  Writer w(*this, 0, outputCodePage(), file);
  w.header();
  w.classes();
  w.tables();
  w.blocks();
  w.entities();
  w.objects();
  w.raw(0, "EOF");
  w.flush(true);
  return !w.failed();
}

}  // namespace plenvo::dxf
