// UTF-8 <-> UTF-16/32 by hand (the same on every platform), and the code page conversions on top of the
// platform's converter (iconv on POSIX, MultiByteToWideChar on Windows).
#include "core/text_codec.h"

#include "core/platform.h"

namespace plenvo {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `at`; invalid or truncated sequences, overlong forms, surrogates and values
// above U+10FFFF give U+FFFD and consume one byte.
char32_t decodeUtf8(std::string_view text, std::size_t& at) {
  const auto b0 = static_cast<unsigned char>(text[at]);
  if (b0 < 0x80) {
    ++at;
    return b0;
  }
  int length = 0;
  char32_t codePoint = 0, minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, codePoint = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, codePoint = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, codePoint = b0 & 0x07, minimum = 0x10000;
  } else {
    ++at;
    return kReplacement;
  }
  if (at + length > text.size()) {
    ++at;
    return kReplacement;
  }
  for (int i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[at + i]);
    if ((b & 0xC0) != 0x80) {
      ++at;
      return kReplacement;
    }
    codePoint = (codePoint << 6) | (b & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    ++at;
    return kReplacement;
  }
  at += length;
  return codePoint;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool isValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t before = at;
    // A genuine U+FFFD in the text is three bytes long; a replaced invalid byte is one.
    if (decodeUtf8(text, at) == kReplacement && at - before == 1) return false;
  }
  return true;
}

std::string sanitizeUtf8(std::string_view text) {
  if (isValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) appendUtf8(out, decodeUtf8(text, at));
  return out;
}

constexpr int kCodePageUtf8 = 65001;

}  // namespace

std::string codePageToUtf8(std::string_view bytes, int codePage) {
  if (codePage == kCodePageUtf8) return sanitizeUtf8(bytes);
  bool ascii = true;
  for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return std::string(bytes);
  return platform::decodeCodePage(bytes, codePage);
}

std::string utf8ToCodePage(std::string_view utf8, int codePage) {
  const std::string valid = sanitizeUtf8(utf8);
  if (codePage == kCodePageUtf8) return valid;
  bool ascii = true;
  for (char c : valid) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return valid;
  return platform::encodeCodePage(valid, codePage);
}

std::string gbkToUtf8(std::string_view gbk) { return codePageToUtf8(gbk, kCodePageGbk); }

std::string utf8ToGbk(std::string_view utf8) { return utf8ToCodePage(utf8, kCodePageGbk); }

std::wstring utf8ToWide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const char32_t c = decodeUtf8(utf8, at);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        continue;
      }
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

std::string wideToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if constexpr (sizeof(wchar_t) == 2) c &= 0xFFFF;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
      const char32_t low = static_cast<char32_t>(wide[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;  // unpaired surrogate, or not Unicode
    appendUtf8(out, c);
  }
  return out;
}

}  // namespace plenvo
