// The DXF tokenizer: one pass over the file buffer with memchr, tags as views into it, no allocation per tag.
#include "cad/dxf/dxf_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <new>
#include <cstring>

#include "core/platform.h"
#include "core/text_codec.h"

namespace plenvo::dxf {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A short, printable excerpt of a line for an error message.
std::string excerpt(std::string_view line) {
  std::string out;
  for (char c : line.substr(0, 32)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
  if (line.size() > 32) out += "...";
  return out;
}

// Group codes run from -5 to 1071; a few writers use others up to 9999, which are carried through.
bool parseCode(std::string_view text, std::int32_t& code) {
  text = trimmed(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 4) return false;
  std::int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  code = negative ? -value : value;
  return true;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

// "AC1015" and its kin open every DWG file since R13; "AC1.2" ... "AC2.10" and "MC0.0" the older ones.
bool looksLikeDwg(std::string_view bytes) {
  if (bytes.size() < 6) return false;
  if (startsWith(bytes, "MC0.0")) return true;
  if (!startsWith(bytes, "AC")) return false;
  if (startsWith(bytes, "AC1.") || startsWith(bytes, "AC2.")) return true;
  for (std::size_t i = 2; i < 6; ++i)
    if (bytes[i] < '0' || bytes[i] > '9') return false;
  return true;
}

// The first '\n' in [p, end), or end: eight bytes a step while eight remain (a zero byte of w ^ "\n\n..."
// is a line end; the lowest flagged byte is exact, borrows only run upwards), then byte by byte.
inline const char* findLineEnd(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    while (end - p >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      const std::uint64_t x = w ^ (kOnes * '\n');
      const std::uint64_t found = (x - kOnes) & ~x & kHighs;
      if (found != 0) return p + (std::countr_zero(found) >> 3);
      p += 8;
    }
  }
  while (p < end && *p != '\n') ++p;
  return p;
}

// A quick hash for short value text (a multiply and a shift per eight bytes, fixed-size loads only); the
// values of a drawing are mostly a few bytes to twenty.
inline std::size_t textHash(const char* p, std::size_t n) {
  constexpr std::uint64_t kMul = 0xFF51AFD7ED558CCDull;
  auto mix = [](std::uint64_t h, std::uint64_t w) {
    h = (h ^ w) * kMul;
    return h ^ (h >> 32);
  };
  auto load8 = [](const char* at) {
    std::uint64_t w;
    std::memcpy(&w, at, 8);
    return w;
  };
  std::uint64_t h = n * 0x9E3779B97F4A7C15ull;
  if (n > 8) {
    for (std::size_t i = 0; i + 8 < n; i += 8) h = mix(h, load8(p + i));
    h = mix(h, load8(p + n - 8));  // the last eight, overlapping the loop's
  } else if (n >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, p, 4);
    std::memcpy(&b, p + n - 4, 4);
    h = mix(h, a | static_cast<std::uint64_t>(b) << 32);
  } else if (n > 0) {
    h = mix(h, static_cast<unsigned char>(p[0]) | static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
                   static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16);
  }
  return static_cast<std::size_t>(h ^ (h >> 29));
}

// Equal first and last sizeof(Word) bytes, n >= sizeof(Word): every byte when n <= 2 * sizeof(Word).
template <class Word>
bool sameEnds(const char* a, const char* b, std::size_t n) {
  Word x1, y1, x2, y2;
  std::memcpy(&x1, a, sizeof(Word));
  std::memcpy(&y1, b, sizeof(Word));
  std::memcpy(&x2, a + n - sizeof(Word), sizeof(Word));
  std::memcpy(&y2, b + n - sizeof(Word), sizeof(Word));
  return x1 == y1 && x2 == y2;
}

// Equal bytes, n > 0; no library call for the short text most values are.
inline bool sameText(const char* a, const char* b, std::size_t n) {
  if (n > 16) return std::memcmp(a, b, n) == 0;
  if (n >= 8) return sameEnds<std::uint64_t>(a, b, n);
  if (n >= 4) return sameEnds<std::uint32_t>(a, b, n);
  return a[0] == b[0] && a[n / 2] == b[n / 2] && a[n - 1] == b[n - 1];
}

// The code of a line "  d\n", " dd\n" or "ddd\n" at p, or -1 when the next four bytes are not one.
inline int threeColumnCode(const char* p, const char* end) {
  if (end - p < 4 || p[3] != '\n') return -1;
  auto digit = [](char c) { return static_cast<unsigned char>(c) - unsigned{'0'}; };
  const unsigned c = digit(p[2]);
  if (c >= 10) return -1;
  if (p[1] == ' ') return p[0] == ' ' ? static_cast<int>(c) : -1;
  const unsigned b = digit(p[1]);
  if (b >= 10) return -1;
  if (p[0] == ' ') return static_cast<int>(b * 10 + c);
  const unsigned a = digit(p[0]);
  return a < 10 ? static_cast<int>(a * 100 + b * 10 + c) : -1;
}

}  // namespace

std::vector<ValueStore::Slot>& ValueStore::threadSlots() {
  static thread_local std::vector<Slot> slots;
  return slots;
}

ValueStore::ValueStore(std::size_t fileSize) : slots_(threadSlots()), dedupe_(fileSize < 0xFFFFFFFFu) {
  // Values are within the file's bytes (+ an EOF added). A small file's go to a buffer reused on this
  // thread first, and then to one of their exact size.
  if (fileSize < kSmallFile) {
    static thread_local std::unique_ptr<char[]> scratch;
    if (!scratch) scratch = std::make_unique_for_overwrite<char[]>(kSmallFile + 8);
    base_ = scratch.get();
  } else {
    buffer_ = std::make_unique_for_overwrite<char[]>(fileSize + 8);
    base_ = buffer_.get();
  }
  // About one distinct value in four lines; the table grows when half full.
  std::size_t capacity = 1024;
  while (capacity < fileSize / 16) capacity <<= 1;
  slots_.assign(dedupe_ ? capacity : 0, Slot{0, 0});
  mask_ = capacity - 1;
}

void ValueStore::grow() {
  std::vector<Slot> old(slots_.size() * 2, Slot{0, 0});
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  for (const Slot& s : old) {
    if (s.length == 0) continue;
    std::size_t i = textHash(base_ + s.offset, s.length) & mask_;
    while (slots_[i].length != 0) i = (i + 1) & mask_;
    slots_[i] = s;
  }
}

TagText ValueStore::add(std::string_view v) {
  char* const base = base_;
  if (v.empty()) return std::string_view(base, 0);
  Slot* free = nullptr;
  if (dedupe_ && v.size() <= 255) {  // long text seldom repeats
    std::size_t i = textHash(v.data(), v.size()) & mask_;
    for (;;) {
      Slot& s = slots_[i];
      if (s.length == 0) {
        free = &s;
        break;
      }
      if (s.length == v.size() && sameText(base + s.offset, v.data(), v.size()))
        return std::string_view(base + s.offset, v.size());
      i = (i + 1) & mask_;
    }
  }
  std::memcpy(base + used_, v.data(), v.size());
  const std::string_view stored(base + used_, v.size());
  if (free) {
    *free = Slot{static_cast<std::uint32_t>(used_), static_cast<std::uint32_t>(v.size())};
    if (++distinct_ * 2 > slots_.size()) grow();
  }
  used_ += v.size();
  return stored;
}

std::string_view ValueStore::finish(std::vector<Tag>& tags) {
  unsigned char bits = 0;
  for (std::size_t i = 0; i < used_; ++i) bits |= static_cast<unsigned char>(base_[i]);
  ascii_ = bits < 0x80;
  base_[used_] = '\0';
  if (!buffer_) {  // in the scratch buffer: to one of their own, the tags with them
    buffer_ = std::make_unique_for_overwrite<char[]>(used_ + 1);
    std::memcpy(buffer_.get(), base_, used_ + 1);
    for (Tag& tag : tags) tag.value = std::string_view(buffer_.get() + (tag.value.data() - base_), tag.value.size());
    base_ = buffer_.get();
  }
  return std::string_view(base_, used_ + 1);
}

bool tokenize(std::string_view bytes, std::vector<Tag>& tags, std::string& error, ValueStore* values) {
  tags.clear();
  if (startsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (bytes.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos) {
    error = "the file is empty";
    return false;
  }
  if (startsWith(bytes, "AutoCAD Binary DXF")) {
    error = "binary DXF is not supported; save the drawing as ASCII DXF";
    return false;
  }
  if (looksLikeDwg(bytes)) {
    error = "DWG files cannot be read without a CAD application; save the drawing as DXF";
    return false;
  }
  if (std::memchr(bytes.data(), '\0', std::min<std::size_t>(bytes.size(), 4096)) != nullptr) {
    error = "not a DXF file (binary data)";
    return false;
  }
  // Room for a tag per eight bytes: a drawing's lines average 7 to 10 bytes, two to a tag. The pages of
  // room not used are never touched and take no memory; a file of shorter lines grows the vector. A small
  // file has its lines counted: its room would share pages with other allocations.
  if (bytes.size() < ValueStore::kSmallFile)
    tags.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) / 2 + 2);
  else
    tags.reserve(bytes.size() / 8 + 16);

  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  std::size_t line = 0;
  // The next line, without its line end; false at the end of the buffer.
  auto nextLine = [&](std::string_view& out) {
    if (p >= end) return false;
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* stop = nl ? nl : end;
    const char* lineEnd = stop;
    if (lineEnd > p && lineEnd[-1] == '\r') --lineEnd;
    out = std::string_view(p, static_cast<std::size_t>(lineEnd - p));
    p = nl ? nl + 1 : end;
    ++line;
    return true;
  };

  int depth = 0;  // 1 inside a SECTION
  std::string_view codeLine;
  while (p < end) {
    Tag tag;
    // Fastest path: a code right-aligned in three columns, "  0\n" to "999\n", as most writers put it.
    if (const int code = threeColumnCode(p, end); code >= 0) {
      tag.code = code;
      p += 4;
      ++line;
    } else {
      // Fast path for the usual code line: blanks, up to four digits (maybe a minus), a line end.
      const char* q = p;
      while (q < end && *q == ' ') ++q;
      const bool negative = q < end && *q == '-';
      if (negative) ++q;
      const char* digits = q;
      int value = 0;
      while (q < end && static_cast<unsigned>(*q - '0') < 10 && q - digits < 5) value = value * 10 + (*q++ - '0');
      const char* after = q;
      if (q < end && *q == '\r') ++q;
      if (q > digits && after - digits <= 4 && after > digits && q < end && *q == '\n') {
        tag.code = negative ? -value : value;
        p = q + 1;
        ++line;
      } else {
        // Anything else: blank lines, tabs, trailing blanks, a missing line end, or not a code at all.
        if (!nextLine(codeLine)) break;
        if (trimmed(codeLine).empty()) continue;  // stray blank line where a code belongs
        if (!parseCode(codeLine, tag.code)) {
          error = "line " + std::to_string(line) + ": group code expected, found \"" + excerpt(codeLine) + "\"" +
                  (tags.empty() ? " (not a DXF file?)" : "");
          return false;
        }
      }
    }
    if (p >= end) {
      error = "line " + std::to_string(line) + ": the file ends after a group code (truncated?)";
      return false;
    }
    // The value line; short, so an inline scan beats a library call.
    const char* v = p;
    p = findLineEnd(p, end);
    const char* lineEnd = p;
    if (p < end) ++p;
    ++line;
    if (lineEnd > v && lineEnd[-1] == '\r') --lineEnd;
    const std::string_view valueLine(v, static_cast<std::size_t>(lineEnd - v));
    if (valueLine.size() > 0xFFFFFFFFu) {  // a tag's text holds up to 4 GB
      error = "line " + std::to_string(line) + ": a value line longer than 4 GB";
      return false;
    }
    // Text keeps its blanks; every other value is trimmed.
    const bool text = tag.code == 1 || tag.code == 3 || tag.code == 1000;
    tag.value = text ? valueLine : trimmed(valueLine);
    // Numbers are checked here, where the line is known: a value that does not read (inf, nan, 1e400, a
    // count beyond its type) would be copied into the output as it is and make the whole result unreadable.
    bool valid = true;
    if (isRealCode(tag.code)) {
      const RealText real = checkRealText(tag.value);
      valid = real != RealText::Invalid;
      if (real == RealText::Comma && values) values->noteDecimalComma();
    } else if (const int bits = integerBits(tag.code)) {
      valid = isIntegerTextInRange(tag.value, bits);
    }
    if (!valid) {
      error = "line " + std::to_string(line) + ": invalid number \"" + excerpt(tag.value) + "\" for group code " +
              std::to_string(tag.code);
      return false;
    }
    if (values) tag.value = values->add(tag.value);
    tags.push_back(tag);
    if (tag.code == 0) {
      if (tag.value == "SECTION") depth = 1;
      else if (tag.value == "ENDSEC") depth = 0;
      else if (tag.value == "EOF") return true;
    }
  }
  if (depth != 0 || tags.empty()) {
    error = "the file ends inside a section (truncated?)";
    return false;
  }
  tags.push_back(Tag{0, values ? values->add("EOF") : TagText("EOF")});
  return true;
}

bool readWholeFile(const std::string& path, std::unique_ptr<char[]>& data, std::size_t& capacity, std::size_t& size,
                   std::string& error) {
  // One read of the known size: drawings run to tens of megabytes.
  if (!platform::fileExists(path)) {
    std::string probe;
    error = platform::readWholeFile(path, probe) == platform::ReadStatus::Missing ? "no such file"
                                                                                 : "not a readable file";
    return false;
  }
#ifdef _WIN32
  std::FILE* file = _wfopen(utf8ToWide(path).c_str(), L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
  if (!file) {
    error = platform::fileExists(path) ? "the file cannot be read" : "no such file";
    return false;
  }
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long length = ok ? std::ftell(file) : -1;
  ok = ok && length >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  size = 0;
  if (ok) {
    try {
      if (!data || capacity < static_cast<std::size_t>(length) + 1) {
        data.reset();
        capacity = 0;
        data = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(length) + 1);
        capacity = static_cast<std::size_t>(length) + 1;
      }
    } catch (const std::bad_alloc&) {
      std::fclose(file);
      error = "the file is too large to load";
      return false;
    }
    size = std::fread(data.get(), 1, static_cast<std::size_t>(length), file);
    ok = size == static_cast<std::size_t>(length);
  }
  std::fclose(file);
  if (!ok) {
    data.reset();
    capacity = 0;
    size = 0;
    error = "the file cannot be read";
  }
  return ok;
}

std::string displayName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace plenvo::dxf
