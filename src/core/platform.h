// Private to the core: the few operations that differ between Windows and POSIX. Implemented in
// platform_posix.cpp and src/win/core_platform_win.cpp. Paths are UTF-8 throughout.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plenvo::platform {

// Code page conversion. `utf8` handed to encodeCodePage is already valid UTF-8. Bytes that cannot be
// decoded become U+FFFD and characters that cannot be encoded become '?'; the rest of the text is kept.
// codePage is never 65001 here (the codec handles UTF-8 itself).
std::string decodeCodePage(std::string_view bytes, int codePage);
std::string encodeCodePage(std::string_view utf8, int codePage);

enum class ReadStatus { Ok, Missing, Failed };
// The whole file. Missing: there is no such file (so a write may create it); Failed: it exists but could
// not be read, and must not be overwritten as if it were empty.
ReadStatus readWholeFile(const std::string& path, std::string& bytes);

bool fileExists(const std::string& path);

// Writes `bytes` to a temporary file in the same directory and then puts it in place of `path`, so that
// `path` is always either the old or the new file. The file's attributes (the hidden one above all) are
// kept. Fails without touching anything when `path` is read-only or the directory cannot be written.
bool replaceFile(const std::string& path, std::string_view bytes);

// Windows: the attributes become hidden alone (value 2). POSIX has no hidden or read-only attribute; the
// read-only attribute is modelled as a missing owner-write permission bit, and this restores that bit, so
// a file that was read-only can be written afterwards on both systems.
bool setHiddenOnly(const std::string& path);

// For tests and diagnostics: the attributes as this platform models them.
struct FileAttributes {
  bool readOnly = false;
  bool hidden = false;  // always false on POSIX
};
std::optional<FileAttributes> fileAttributes(const std::string& path);
bool setReadOnly(const std::string& path, bool readOnly);

}  // namespace plenvo::platform
