// Drawing with GDI+: the controls' IRenderer over a GDI+ surface, text measured the same
// way it is drawn, and a window's back buffer, shown on a layered window (per-pixel alpha,
// rounded corners) or copied to a plain one.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "markupbuilder.h"
#include "resourcecache.h"
#include "uicontext.h"

namespace Gdiplus {
class Graphics;
}  // namespace Gdiplus

namespace skin {

// What a window draws with: its cache, its skin settings and its scale.
struct DrawingContext {
  CResourceCache& cache;
  const WindowSpec& settings;
  int scale;
};

class CGdiplusRenderer : public IRenderer {
 public:
  CGdiplusRenderer(Gdiplus::Graphics& g, const DrawingContext& dc) : m_g(g), m_dc(dc) {}
  void FillRect(const Rect& rc, Color color) override;
  void DrawImage(const std::wstring& attribute, const Rect& control, const Rect& clip) override;
  void DrawImageFrame(const std::wstring& attribute, const Rect& control, const Rect& clip, int frame) override;
  void DrawText(const std::wstring& text, const Rect& rc, int font, Color color, unsigned style) override;
  void PushClip(const Rect& rc) override;
  void PopClip() override;

 private:
  Gdiplus::Graphics& m_g;
  DrawingContext m_dc;
  std::vector<unsigned> m_states;  // Gdiplus::GraphicsState values
};

// The size `text` takes in `font` within `width` (0: unlimited).
Size MeasureText(const DrawingContext& dc, const std::wstring& text, int font, int width, unsigned style);

// A top-down 32-bit DIB shared by GDI and GDI+, kept from paint to paint.
class CBackBuffer {
 public:
  CBackBuffer() = default;
  ~CBackBuffer();
  CBackBuffer(const CBackBuffer&) = delete;
  CBackBuffer& operator=(const CBackBuffer&) = delete;

  // Draws through `paint` into a buffer of the window's client size and shows it.
  void Present(HWND hwnd, bool layered, int scale, const std::function<void(Gdiplus::Graphics&, int, int)>& paint);

 private:
  bool Ensure(int width, int height);
  void Release();
  void RoundCorners(int scale);

  HDC m_memDC = nullptr;
  HBITMAP m_dib = nullptr;
  HGDIOBJ m_oldBitmap = nullptr;
  void* m_bits = nullptr;
  SIZE m_size{0, 0};
};

}  // namespace skin
