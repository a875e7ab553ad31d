// The system seams of the main window: the program's folder, file sizes and times, folder listing, the
// carried part-frame drawing, and the shell's "open" of a web address.
#include "ui/main/win/main_window_win.h"

#include <shellapi.h>

#include "core/text_codec.h"
#include "ui/main/win/main_resources_win.h"
#include "win/unique_handle.h"

namespace plenvo {

std::string WinMainSystem::programDirectory() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L'\\');
  return wideToUtf8(slash == std::wstring::npos ? path : path.substr(0, slash));
}

bool WinMainSystem::fileExists(const std::string& path) const {
  const DWORD attributes = GetFileAttributesW(utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<FileInfo> WinMainSystem::fileInfo(const std::string& path) const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(utf8ToWide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  FileInfo info;
  info.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  FILETIME local{};
  SYSTEMTIME time{};
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time))
    return std::nullopt;
  info.lastWrite = LocalTime{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
  return info;
}

std::vector<FileEntry> WinMainSystem::listFolder(const std::string& pattern) const {
  std::vector<FileEntry> entries;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(utf8ToWide(pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back(FileEntry{wideToUtf8(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

bool WinMainSystem::writePartFrame(const std::string& path) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_PART_FRAME), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!resource) return false;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const DWORD size = SizeofResource(nullptr, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || size == 0) return false;
  const std::wstring wide = utf8ToWide(path);
  // CREATE_NEW: a file that appeared meanwhile is never overwritten.
  win::unique_hfile file(
      CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
  file.reset();
  if (!ok) DeleteFileW(wide.c_str());  // never leave a truncated drawing behind
  return ok;
}

void WinMainSystem::openWebAddress(const std::string& address) {
  ShellExecuteW(nullptr, L"open", utf8ToWide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace plenvo
