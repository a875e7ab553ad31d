// The picture box: GDI+ decodes the bytes from a memory stream; painting scales with the aspect kept.
#include "ui/tools/win/picture_box.h"

#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <algorithm>

namespace plenvo {

namespace {

constexpr wchar_t kClassName[] = L"PlenvoPicture";

Gdiplus::GpImage* asImage(void* image) { return static_cast<Gdiplus::GpImage*>(image); }

}  // namespace

bool ensureGdiplus() {
  static const bool started = [] {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  return started;
}

std::unique_ptr<PictureBox> PictureBox::create(HWND parent, int id, RECT place) {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &PictureBox::windowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_HAND);
    wc.lpszClassName = kClassName;
    return ::RegisterClassExW(&wc) != 0;
  }();
  if (!registered) return nullptr;
  std::unique_ptr<PictureBox> box(new PictureBox());
  HWND hwnd = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                box.get());
  if (hwnd == nullptr) return nullptr;
  return box;
}

PictureBox::~PictureBox() {
  clear();
  if (hwnd_ != nullptr) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
}

void PictureBox::clear() {
  if (image_ != nullptr) Gdiplus::DllExports::GdipDisposeImage(asImage(image_));
  image_ = nullptr;
  width_ = height_ = 0;
}

void PictureBox::show(std::string_view bytes) {
  clear();
  if (!bytes.empty() && ensureGdiplus()) {
    IStream* stream = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (stream != nullptr) {
      Gdiplus::GpBitmap* bitmap = nullptr;
      if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok && bitmap != nullptr) {
        // Copy out of the stream so the bytes need not outlive this call.
        Gdiplus::GpBitmap* copy = nullptr;
        UINT w = 0, h = 0;
        Gdiplus::DllExports::GdipGetImageWidth(bitmap, &w);
        Gdiplus::DllExports::GdipGetImageHeight(bitmap, &h);
        if (w > 0 && h > 0 &&
            Gdiplus::DllExports::GdipCloneBitmapAreaI(0, 0, static_cast<INT>(w), static_cast<INT>(h),
                                                      PixelFormat32bppARGB, bitmap, &copy) == Gdiplus::Ok) {
          image_ = copy;
          width_ = w;
          height_ = h;
        }
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
      }
      stream->Release();
    }
  }
  if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT CALLBACK PictureBox::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* box = static_cast<PictureBox*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    box->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box));
  }
  auto* box = reinterpret_cast<PictureBox*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (box == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd, &ps);
      box->paint(dc);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
      ::SendMessageW(::GetParent(hwnd), WM_COMMAND,
                     MAKEWPARAM(static_cast<WORD>(::GetDlgCtrlID(hwnd)), kPicturePressed),
                     reinterpret_cast<LPARAM>(hwnd));
      return 0;
    case kPictureGetSize:
      return MAKELRESULT(std::min<UINT>(box->width_, 0xFFFF), std::min<UINT>(box->height_, 0xFFFF));
    case WM_NCDESTROY:
      box->hwnd_ = nullptr;
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void PictureBox::paint(HDC dc) {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
  if (image_ == nullptr) return;
  const double boxW = client.right, boxH = client.bottom;
  const double scale = std::min({1.0, boxW / width_, boxH / height_});
  const int w = std::max(1, static_cast<int>(width_ * scale));
  const int h = std::max(1, static_cast<int>(height_ * scale));
  Gdiplus::GpGraphics* graphics = nullptr;
  if (Gdiplus::DllExports::GdipCreateFromHDC(dc, &graphics) != Gdiplus::Ok) return;
  Gdiplus::DllExports::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
  Gdiplus::DllExports::GdipDrawImageRectI(graphics, asImage(image_), (client.right - w) / 2,
                                          (client.bottom - h) / 2, w, h);
  Gdiplus::DllExports::GdipDeleteGraphics(graphics);
}

}  // namespace plenvo
