// Helpers of the end-to-end driver programs that work a program's windows from outside, as a user would:
// checks printed one a line, waiting with a time-out, window texts, finding windows of a process, list-view
// reads through memory of the other process, and pictures of the screen. Windows only; header-only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_codec.h"

namespace plenvo::e2e {

// Failed checks so far; a driver exits with 0 only when it is still 0.
inline int g_failures = 0;

inline void check(bool ok, const std::string& what) {
  if (!ok) ++g_failures;
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  std::fflush(stdout);
}

template <typename T>
void checkEqual(const T& actual, const T& expected, const std::string& what) {
  std::ostringstream text;
  text << what << " (got \"" << actual << "\", want \"" << expected << "\")";
  check(actual == expected, text.str());
}

// A window's text; gives up after 5 s when its thread does not answer.
inline std::string text(HWND hwnd) {
  wchar_t buffer[4096] = {};
  ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 5000, nullptr);
  return plenvo::wideToUtf8(buffer);
}

// Asks `find` every 50 ms until it returns a window or the time is up (then null).
inline HWND waitFor(const std::function<HWND()>& find, int timeoutMs = 20000) {
  for (int waited = 0; waited < timeoutMs; waited += 50) {
    if (HWND found = find()) return found;
    ::Sleep(50);
  }
  return nullptr;
}

// The first visible top-level window of process `pid` of a window class (and with a caption, when given).
inline HWND topWindowOf(DWORD pid, const wchar_t* cls, const std::wstring* caption = nullptr) {
  struct Search {
    DWORD pid;
    const wchar_t* cls;
    const std::wstring* caption;
    HWND found;
  } search{pid, cls, caption, nullptr};
  ::EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        wchar_t name[64] = {}, title[512] = {};
        ::GetClassNameW(hwnd, name, 64);
        if (s->caption != nullptr) ::GetWindowTextW(hwnd, title, 512);
        if (owner == s->pid && std::wstring(name) == s->cls && ::IsWindowVisible(hwnd) &&
            (s->caption == nullptr || *s->caption == title)) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The first descendant of `parent` of a window class (and with a text, when given).
inline HWND findDescendant(HWND parent, const wchar_t* cls, const wchar_t* text = nullptr) {
  struct Search {
    const wchar_t* cls;
    const wchar_t* text;
    HWND found;
  } search{cls, text, nullptr};
  ::EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {}, caption[256] = {};
        ::GetClassNameW(hwnd, name, 64);
        if (s->text != nullptr) ::GetWindowTextW(hwnd, caption, 256);
        if (::lstrcmpiW(name, s->cls) == 0 && (s->text == nullptr || std::wstring(caption) == s->text)) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A buffer in another process, for list-view messages that carry pointers.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, std::size_t size) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_ != nullptr) address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_ != nullptr) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_ != nullptr) ::CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  char* at(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
  void write(std::size_t offset, const void* data, std::size_t n) {
    ::WriteProcessMemory(process_, at(offset), data, n, nullptr);
  }
  void read(std::size_t offset, void* data, std::size_t n) const {
    ::ReadProcessMemory(process_, at(offset), data, n, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
};

// The text of a list-view cell of another process (up to 2047 characters).
inline std::string listCell(HWND list, int row, int column) {
  RemoteBuffer buffer(list, 8192);
  LVITEMW item{};
  item.iSubItem = column;
  item.cchTextMax = 2048;
  item.pszText = reinterpret_cast<wchar_t*>(buffer.at(1024));
  buffer.write(0, &item, sizeof item);
  ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.at(0)));
  std::vector<wchar_t> out(2048, L'\0');
  buffer.read(1024, out.data(), out.size() * sizeof(wchar_t));
  out.back() = L'\0';
  return plenvo::wideToUtf8(out.data());
}

// Saves an area of the screen as a 24-bit BMP file.
inline void saveScreenArea(int left, int top, int w, int h, const std::wstring& path) {
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, w, h, screen, left, top, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
  std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h));
  ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
}

}  // namespace plenvo::e2e
