// Conversions between the program's UTF-8 text and the byte encodings it meets at its borders:
// GBK (code page 936) in the settings file and the remote text, other ANSI code pages in DXF files.
// A byte sequence that cannot be converted becomes U+FFFD (decoding) or '?' (encoding); the text after it
// is always kept.
#pragma once

#include <string>
#include <string_view>

namespace plenvo {

inline constexpr int kCodePageGbk = 936;

std::string gbkToUtf8(std::string_view gbk);
std::string utf8ToGbk(std::string_view utf8);

// Any Windows ANSI code page (874, 932, 936, 949, 950, 1250-1258); 65001 is UTF-8 and passes through.
std::string codePageToUtf8(std::string_view bytes, int codePage);
std::string utf8ToCodePage(std::string_view utf8, int codePage);

// UTF-8 <-> UTF-16, for the places that hand text to Win32 or COM.
std::wstring utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::wstring_view wide);

}  // namespace plenvo
