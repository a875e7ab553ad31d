// A picture box for the tools window: shows PNG, JPEG, GIF or BMP bytes (decoded with GDI+), scaled down to
// fit and centred, with the hand pointer; a left-button press is reported to the parent.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

namespace plenvo {

// Sent to the parent as WM_COMMAND (MAKEWPARAM(id, kPicturePressed), hwnd) on a left-button press.
inline constexpr WORD kPicturePressed = 0x0F02;
// Answered also to other processes: MAKELRESULT(width, height) of the picture shown, 0 when none.
inline constexpr UINT kPictureGetSize = WM_APP + 0x50;

class PictureBox {
 public:
  static std::unique_ptr<PictureBox> create(HWND parent, int id, RECT place);
  ~PictureBox();

  HWND hwnd() const { return hwnd_; }
  // Bytes it cannot decode, and empty bytes, clear the box.
  void show(std::string_view bytes);

 private:
  PictureBox() = default;
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void paint(HDC dc);
  void clear();

  HWND hwnd_ = nullptr;
  void* image_ = nullptr;  // GpImage*
  UINT width_ = 0, height_ = 0;
};

// GDI+ for the lifetime of the program, started on first use.
bool ensureGdiplus();

}  // namespace plenvo
