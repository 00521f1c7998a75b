#include "win32/app_icon.h"

#include <utility>

namespace torvane {
namespace {

constexpr COLORREF kClear = RGB(255, 0, 255);  // no colour of the icon's own

POINT at(double x, double y, double scale) {
  return POINT{static_cast<LONG>(x * scale + 0.5), static_cast<LONG>(y * scale + 0.5)};
}

void drawOnGrid(HDC dc, int size) {
  const double s = size / 32.0;  // drawn on a 32 x 32 grid
  RECT all{0, 0, size, size};
  HBRUSH clear = ::CreateSolidBrush(kClear);
  ::FillRect(dc, &all, clear);
  ::DeleteObject(clear);

  HPEN rim = ::CreatePen(PS_SOLID, static_cast<int>(1.5 * s + 0.5), RGB(0xC8, 0xD6, 0xE8));
  HBRUSH navy = ::CreateSolidBrush(RGB(0x1F, 0x3A, 0x6B));
  HGDIOBJ oldPen = ::SelectObject(dc, rim);
  HGDIOBJ oldBrush = ::SelectObject(dc, navy);
  const POINT a = at(1.5, 1.5, s), b = at(27.5, 27.5, s);
  ::Ellipse(dc, a.x, a.y, b.x, b.y);

  LOGBRUSH white{BS_SOLID, RGB(255, 255, 255), 0};
  HPEN blade =
      ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT, static_cast<DWORD>(3.2 * s + 0.5), &white, 0, nullptr);
  ::SelectObject(dc, blade);
  for (const auto& [from, to] :
       {std::pair{at(14.5, 5.5, s), at(14.5, 23.5, s)}, std::pair{at(5.5, 14.5, s), at(23.5, 14.5, s)}}) {
    ::MoveToEx(dc, from.x, from.y, nullptr);
    ::LineTo(dc, to.x, to.y);
  }

  HBRUSH hub = ::CreateSolidBrush(RGB(0xF2, 0xA9, 0x00));
  ::SelectObject(dc, ::GetStockObject(NULL_PEN));
  ::SelectObject(dc, hub);
  const POINT h1 = at(11.5, 11.5, s), h2 = at(17.5, 17.5, s);
  ::Ellipse(dc, h1.x, h1.y, h2.x, h2.y);

  HPEN edge = ::CreatePen(PS_SOLID, 1, RGB(0x0B, 0x4D, 0x1E));
  HBRUSH green = ::CreateSolidBrush(RGB(0x2E, 0xB8, 0x4B));
  ::SelectObject(dc, edge);
  ::SelectObject(dc, green);
  const POINT arrow[] = {at(22, 16, s), at(28, 16, s),   at(28, 23, s), at(31.5, 23, s),
                         at(25, 31, s), at(18.5, 23, s), at(22, 23, s)};
  ::Polygon(dc, arrow, 7);

  ::SelectObject(dc, oldPen);
  ::SelectObject(dc, oldBrush);
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(rim), static_cast<HGDIOBJ>(navy), static_cast<HGDIOBJ>(blade),
                         static_cast<HGDIOBJ>(hub), static_cast<HGDIOBJ>(edge), static_cast<HGDIOBJ>(green)}) {
    ::DeleteObject(object);
  }
}

}  // namespace

HICON drawAppIcon(int size) {
  HDC screen = ::GetDC(nullptr);
  HDC colourDc = ::CreateCompatibleDC(screen);
  HDC maskDc = ::CreateCompatibleDC(screen);
  HBITMAP colour = ::CreateCompatibleBitmap(screen, size, size);
  HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
  ::ReleaseDC(nullptr, screen);
  HGDIOBJ oldColour = ::SelectObject(colourDc, colour);
  HGDIOBJ oldMask = ::SelectObject(maskDc, mask);
  drawOnGrid(colourDc, size);
  // The mask is set where the icon is clear; the colour there must be black.
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const bool clear = ::GetPixel(colourDc, x, y) == kClear;
      ::SetPixel(maskDc, x, y, clear ? RGB(255, 255, 255) : RGB(0, 0, 0));
      if (clear) ::SetPixel(colourDc, x, y, RGB(0, 0, 0));
    }
  }
  ::SelectObject(colourDc, oldColour);
  ::SelectObject(maskDc, oldMask);
  ::DeleteDC(colourDc);
  ::DeleteDC(maskDc);
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = ::CreateIconIndirect(&info);
  ::DeleteObject(colour);
  ::DeleteObject(mask);
  return icon;
}

}  // namespace torvane
