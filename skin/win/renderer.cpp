#include "renderer.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>

#include "dpi.h"

namespace skin {

namespace {

Gdiplus::Rect ToGp(const Rect& r) { return Gdiplus::Rect(r.left, r.top, r.Width(), r.Height()); }

void SetupFormat(Gdiplus::StringFormat& fmt, unsigned style) {
  fmt.SetAlignment((style & kTextCenter) ? Gdiplus::StringAlignmentCenter
                   : (style & kTextRight) ? Gdiplus::StringAlignmentFar : Gdiplus::StringAlignmentNear);
  fmt.SetLineAlignment((style & kTextVCenter) ? Gdiplus::StringAlignmentCenter
                       : (style & kTextBottom) ? Gdiplus::StringAlignmentFar : Gdiplus::StringAlignmentNear);
  INT flags = Gdiplus::StringFormatFlagsMeasureTrailingSpaces;
  if (style & kTextSingleLine) flags |= Gdiplus::StringFormatFlagsNoWrap;
  fmt.SetFormatFlags(flags);
  fmt.SetTrimming((style & kTextEndEllipsis) ? Gdiplus::StringTrimmingEllipsisCharacter : Gdiplus::StringTrimmingNone);
  fmt.SetHotkeyPrefix(Gdiplus::HotkeyPrefixNone);
}

CResourceCache::Font* FontOf(const DrawingContext& dc, int font) {
  return dc.cache.GetFont(font, dc.settings.fonts, dc.scale);
}

}  // namespace

void CGdiplusRenderer::FillRect(const Rect& rc, Color color) {
  Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
  m_g.FillRectangle(&brush, ToGp(rc));
}

void CGdiplusRenderer::DrawImage(const std::wstring& attribute, const Rect& control, const Rect& clip) {
  DrawImageFrame(attribute, control, clip, 0);
}

void CGdiplusRenderer::DrawImageFrame(const std::wstring& attribute, const Rect& control, const Rect& clip,
                                      int frame) {
  ImageSpec image;
  ImageLocation loc;
  CResourceCache::Image* img = m_dc.cache.ForAttribute(attribute, m_dc.scale, &image, &loc);
  if (!img) return;
  if (frame < 0 || frame >= static_cast<int>(img->bitmaps.size())) frame = 0;
  Rect src, dst;
  if (!ComputeDrawRects(image, loc, m_dc.scale, {img->pixels.width, img->pixels.height}, control, &src, &dst)) return;
  Gdiplus::GraphicsState state = m_g.Save();
  if (!clip.IsEmpty()) m_g.IntersectClip(ToGp(clip));
  const bool exact = src.Width() == dst.Width() && src.Height() == dst.Height();
  m_g.SetInterpolationMode(exact ? Gdiplus::InterpolationModeNearestNeighbor
                                 : Gdiplus::InterpolationModeHighQualityBicubic);
  m_g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  Gdiplus::ImageAttributes attrs;
  attrs.SetWrapMode(Gdiplus::WrapModeTileFlipXY);  // no blurred seams at the edges when stretching
  m_g.DrawImage(img->bitmaps[static_cast<size_t>(frame)].get(), ToGp(dst), src.left, src.top, src.Width(),
                src.Height(), Gdiplus::UnitPixel, &attrs);
  m_g.Restore(state);
}

void CGdiplusRenderer::DrawText(const std::wstring& text, const Rect& rc, int font, Color color, unsigned style) {
  CResourceCache::Font* f = FontOf(m_dc, font);
  if (!f || !f->font || text.empty() || rc.IsEmpty()) return;
  Gdiplus::StringFormat fmt(Gdiplus::StringFormat::GenericTypographic());
  SetupFormat(fmt, style);
  Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
  m_g.SetTextRenderingHint(
      static_cast<Gdiplus::TextRenderingHint>(m_dc.settings.gdiplusText ? m_dc.settings.textRenderingHint : 0));
  Gdiplus::RectF box(static_cast<Gdiplus::REAL>(rc.left), static_cast<Gdiplus::REAL>(rc.top),
                     static_cast<Gdiplus::REAL>(rc.Width()), static_cast<Gdiplus::REAL>(rc.Height()));
  m_g.DrawString(text.c_str(), static_cast<INT>(text.size()), f->font.get(), box, &fmt, &brush);
}

void CGdiplusRenderer::PushClip(const Rect& rc) {
  m_states.push_back(m_g.Save());
  m_g.IntersectClip(ToGp(rc));
}

void CGdiplusRenderer::PopClip() {
  if (m_states.empty()) return;
  m_g.Restore(m_states.back());
  m_states.pop_back();
}

Size MeasureText(const DrawingContext& dc, const std::wstring& text, int font, int width, unsigned style) {
  CResourceCache::Font* f = FontOf(dc, font);
  if (!f || !f->font) return {};
  HDC screen = GetDC(nullptr);
  Size out;
  {
    Gdiplus::Graphics g(screen);
    g.SetTextRenderingHint(static_cast<Gdiplus::TextRenderingHint>(dc.settings.textRenderingHint));
    Gdiplus::StringFormat fmt(Gdiplus::StringFormat::GenericTypographic());
    SetupFormat(fmt, style & ~(kTextCenter | kTextRight | kTextVCenter | kTextBottom));
    Gdiplus::RectF box;
    Gdiplus::RectF layout(0, 0, static_cast<Gdiplus::REAL>(width > 0 ? width : 9999), 9999);
    // Empty text still has a line height: measured with one letter.
    const std::wstring measured = text.empty() ? L"M" : text;
    g.MeasureString(measured.c_str(), static_cast<INT>(measured.size()), f->font.get(), layout, &fmt, &box);
    out = {text.empty() ? 0 : static_cast<int>(box.Width + 0.99f), static_cast<int>(box.Height + 0.99f)};
  }
  ReleaseDC(nullptr, screen);
  if (width > 0) out.cx = std::min(out.cx, width);
  return out;
}

CBackBuffer::~CBackBuffer() { Release(); }

void CBackBuffer::Release() {
  if (m_memDC) {
    SelectObject(m_memDC, m_oldBitmap);
    DeleteDC(m_memDC);
    m_memDC = nullptr;
  }
  if (m_dib) DeleteObject(m_dib);
  m_dib = nullptr;
  m_bits = nullptr;
  m_size = {0, 0};
}

bool CBackBuffer::Ensure(int width, int height) {
  if (m_dib && m_size.cx == width && m_size.cy == height) return true;
  Release();
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  m_dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &m_bits, nullptr, 0);
  if (!m_dib) return false;
  m_memDC = CreateCompatibleDC(nullptr);
  m_oldBitmap = SelectObject(m_memDC, m_dib);
  m_size = {width, height};
  return true;
}

// Cuts the four corners' alpha along a quarter circle (premultiplied: every channel).
void CBackBuffer::RoundCorners(int scale) {
  const int w = m_size.cx, h = m_size.cy, radius = ScaleValue(6, scale);
  uint8_t* px = static_cast<uint8_t*>(m_bits);
  for (int y = 0; y < radius && y < h; ++y) {
    for (int x = 0; x < radius && x < w; ++x) {
      const double dx = radius - x - 0.5, dy = radius - y - 0.5;
      const double d = std::sqrt(dx * dx + dy * dy) - radius;
      if (d <= -1) continue;
      const double keep = d >= 0 ? 0.0 : -d;
      const int xs[2] = {x, w - 1 - x}, ys[2] = {y, h - 1 - y};
      for (int yi : ys) {
        for (int xi : xs) {
          uint8_t* p = px + (static_cast<size_t>(yi) * w + xi) * 4;
          for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(p[c] * keep);
        }
      }
    }
  }
}

void CBackBuffer::Present(HWND hwnd, bool layered, int scale,
                          const std::function<void(Gdiplus::Graphics&, int, int)>& paint) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0 || !Ensure(w, h)) return;
  {
    // GDI+ draws straight into the DIB's bits as premultiplied ARGB, which is what a
    // layered window takes.
    Gdiplus::Bitmap surface(w, h, w * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(m_bits));
    Gdiplus::Graphics g(&surface);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    paint(g, w, h);
  }
  if (!layered) {
    HDC dc = GetDC(hwnd);
    BitBlt(dc, 0, 0, w, h, m_memDC, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, dc);
    return;
  }
  RoundCorners(scale);
  RECT wr;
  GetWindowRect(hwnd, &wr);
  POINT dst{wr.left, wr.top}, src{0, 0};
  SIZE size{w, h};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  HDC screen = GetDC(nullptr);
  UpdateLayeredWindow(hwnd, screen, &dst, &size, m_memDC, &src, 0, &blend, ULW_ALPHA);
  ReleaseDC(nullptr, screen);
}

}  // namespace skin
