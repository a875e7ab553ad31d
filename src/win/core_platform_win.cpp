// Windows side of the core's platform calls: code pages through MultiByteToWideChar/WideCharToMultiByte,
// files through the W functions only (paths converted from UTF-8), attributes as Windows keeps them.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/text_codec.h"

namespace plenvo::platform {

namespace {

constexpr wchar_t kReplacementChar = 0xFFFD;

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (valid()) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool close() {
    const bool ok = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

bool isDoubleByteCodePage(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// Strict conversion of one run; false when it holds anything the code page does not define.
bool decodeStrict(std::string_view bytes, int codePage, std::wstring& out) {
  if (bytes.empty()) return true;
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), size,
                                         nullptr, 0);
  if (length <= 0) return false;
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(length));
  return MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), size,
                             out.data() + start, length) == length;
}

}  // namespace

std::string decodeCodePage(std::string_view bytes, int codePage) {
  std::wstring wide;
  if (decodeStrict(bytes, codePage, wide)) return wideToUtf8(wide);
  // Something in it is undefined (or the code page is unknown): go character by character, so only the
  // bad character is replaced and the rest of the text is kept.
  wide.clear();
  const bool dbcs = isDoubleByteCodePage(codePage);
  for (std::size_t at = 0; at < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t width = 1;
    if (dbcs && lead >= 0x81 && lead <= 0xFE && at + 1 < bytes.size()) {
      const auto trail = static_cast<unsigned char>(bytes[at + 1]);
      if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) width = 2;
    }
    if (lead < 0x80) {
      wide += static_cast<wchar_t>(lead);
    } else if (!decodeStrict(bytes.substr(at, width), codePage, wide)) {
      wide += kReplacementChar;
    }
    at += width;
  }
  return wideToUtf8(wide);
}

std::string encodeCodePage(std::string_view utf8, int codePage) {
  // No ANSI code page holds a character beyond the BMP; each becomes one '?', not one per UTF-16 unit.
  std::wstring wide;
  for (wchar_t c : utf8ToWide(utf8)) {
    if (c >= 0xDC00 && c <= 0xDFFF) continue;
    wide += c >= 0xD800 && c <= 0xDBFF ? L'?' : c;
  }
  const int size = static_cast<int>(wide.size());
  const char defaultChar[] = "?";
  const int length = WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                         nullptr, 0, defaultChar, nullptr);
  if (length > 0) {
    std::string out(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data(),
                            length, defaultChar, nullptr) == length) {
      return out;
    }
  }
  // Unknown code page: ASCII stays, everything else is '?'.
  std::string out;
  for (wchar_t c : wide) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

ReadStatus readWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  FileHandle file(CreateFileW(utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadStatus::Missing
                                                                           : ReadStatus::Failed;
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return ReadStatus::Failed;
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  return ReadStatus::Ok;
}

bool fileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool replaceFile(const std::string& path, std::string_view bytes) {
  const std::wstring target = utf8ToWide(path);
  DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
  } else {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    attributes = FILE_ATTRIBUTE_NORMAL;
  }
  // Only the attributes a file may be created with; the temporary file carries them into place.
  const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  std::wstring temporary;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(attempt) + L".tmp";
    handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         kept ? kept : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  FileHandle file(handle);
  if (!file.valid()) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    ok = WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  ok = FlushFileBuffers(file.get()) && ok;
  ok = file.close() && ok;
  ok = ok && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

bool setHiddenOnly(const std::string& path) {
  return SetFileAttributesW(utf8ToWide(path).c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
}

std::optional<FileAttributes> fileAttributes(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(utf8ToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  FileAttributes result;
  result.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  result.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
  return result;
}

bool setReadOnly(const std::string& path, bool readOnly) {
  const std::wstring wide = utf8ToWide(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  attributes = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY) : (attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  return SetFileAttributesW(wide.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

}  // namespace plenvo::platform
