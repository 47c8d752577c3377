#include "paintmanager.h"

#include <imm.h>
#include <objidl.h>
#include <windowsx.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>

#include "dpi.h"
#include "imagedecoder.h"
#include "imageresolve.h"

namespace skin {

namespace {

CSkinArchive& TheArchive() {
  static CSkinArchive archive;
  return archive;
}

std::vector<CPaintManagerUI*>& Managers() {
  static std::vector<CPaintManagerUI*> managers;
  return managers;
}

// The window timer of the tooltip delay (per-control timers count up from 0x1000).
constexpr UINT_PTR kToolTipTimer = 0x0FFE;
constexpr UINT kToolTipDelay = 500;

UINT RepaintMessage() {
  static UINT msg = RegisterWindowMessageW(L"ZpkSkinRepaint");
  return msg;
}

void EnsureGdiplus() {
  static ULONG_PTR token = 0;
  if (token) return;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
}

Gdiplus::Rect ToGp(const Rect& r) { return Gdiplus::Rect(r.left, r.top, r.Width(), r.Height()); }

// Paints controls onto a GDI+ surface through the manager's caches.
class Renderer : public IRenderer {
 public:
  Renderer(Gdiplus::Graphics& g, CPaintManagerUI& pm) : m_g(g), m_pm(pm) {}
  void FillRect(const Rect& rc, Color color) override {
    Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
    m_g.FillRectangle(&brush, ToGp(rc));
  }
  void DrawImage(const std::wstring& attribute, const Rect& control, const Rect& clip) override {
    m_pm.DrawImageAttribute(m_g, attribute, control, clip, 0);
  }
  void DrawImageFrame(const std::wstring& attribute, const Rect& control, const Rect& clip, int frame) override {
    m_pm.DrawImageAttribute(m_g, attribute, control, clip, frame);
  }
  void DrawText(const std::wstring& text, const Rect& rc, int font, Color color, unsigned style) override {
    m_pm.DrawTextAt(m_g, text, rc, font, color, style);
  }
  void PushClip(const Rect& rc) override {
    m_states.push_back(m_g.Save());
    m_g.IntersectClip(ToGp(rc));
  }
  void PopClip() override {
    if (m_states.empty()) return;
    m_g.Restore(m_states.back());
    m_states.pop_back();
  }

 private:
  Gdiplus::Graphics& m_g;
  CPaintManagerUI& m_pm;
  std::vector<Gdiplus::GraphicsState> m_states;
};

}  // namespace

struct CPaintManagerUI::CachedImage {
  DecodedImage pixels;
  // One bitmap over each frame of `pixels`; empty when decoding failed.
  std::vector<std::unique_ptr<Gdiplus::Bitmap>> bitmaps;
};

struct CPaintManagerUI::CachedFont {
  HFONT hfont = nullptr;
  std::unique_ptr<Gdiplus::Font> font;
  ~CachedFont() {
    font.reset();
    if (hfont) DeleteObject(hfont);
  }
};

// ---- process-wide ----

bool CPaintManagerUI::SetResourceZip(const void* data, size_t size) { return TheArchive().Open(data, size); }
CSkinArchive& CPaintManagerUI::Archive() { return TheArchive(); }
bool CPaintManagerUI::ReadSkinFile(const std::wstring& path, std::string* bytes) { return TheArchive().Read(path, bytes); }

void CPaintManagerUI::SetAllDPI(int dpi) {
  for (CPaintManagerUI* pm : Managers()) pm->SetDPI(dpi);
}

void CPaintManagerUI::MessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

HINSTANCE CPaintManagerUI::GetInstance() { return GetModuleHandleW(nullptr); }

// ---- window ----

CPaintManagerUI::CPaintManagerUI() { Managers().push_back(this); }

CPaintManagerUI::~CPaintManagerUI() {
  auto& all = Managers();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
  // Controls tell the manager when they go; nothing must be left pointing at them.
  m_root.reset();
  m_images.clear();
  m_fonts.clear();
  if (m_memDC) {
    SelectObject(m_memDC, m_oldBitmap);
    DeleteDC(m_memDC);
  }
  if (m_dib) DeleteObject(m_dib);
}

void CPaintManagerUI::Init(HWND hwnd) {
  EnsureGdiplus();
  m_hwnd = hwnd;
}

void CPaintManagerUI::AttachDialog(std::unique_ptr<CControlUI> root, const WindowSpec& image) {
  m_root = std::move(root);
  m_spec = image;
  m_fonts.clear();
  if (m_root) m_root->SetManager(this, nullptr);
  NeedUpdate();
}

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
  return m_root ? m_root->FindControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const std::wstring& name) const {
  return parent ? parent->FindControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControlAt(POINT pt) const {
  return m_root ? m_root->FindControlAt({pt.x, pt.y}) : nullptr;
}

void CPaintManagerUI::AddNotifier(INotifyUI* n) {
  if (std::find(m_notifiers.begin(), m_notifiers.end(), n) == m_notifiers.end()) m_notifiers.push_back(n);
}
void CPaintManagerUI::RemoveNotifier(INotifyUI* n) {
  m_notifiers.erase(std::remove(m_notifiers.begin(), m_notifiers.end(), n), m_notifiers.end());
}
void CPaintManagerUI::AddMessageFilter(IMessageFilterUI* f) {
  if (std::find(m_filters.begin(), m_filters.end(), f) == m_filters.end()) m_filters.push_back(f);
}
void CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* f) {
  m_filters.erase(std::remove(m_filters.begin(), m_filters.end(), f), m_filters.end());
}

SIZE CPaintManagerUI::GetInitSize() const {
  return {ScaleValue(m_spec.size.cx, m_scale), ScaleValue(m_spec.size.cy, m_scale)};
}

RECT CPaintManagerUI::GetCaptionRect() const {
  return {ScaleValue(m_spec.caption.left, m_scale), ScaleValue(m_spec.caption.top, m_scale),
          ScaleValue(m_spec.caption.right, m_scale), ScaleValue(m_spec.caption.bottom, m_scale)};
}

void CPaintManagerUI::SetDPI(int dpi) {
  if (dpi <= 0) return;
  int scale = ScaleForDpi(dpi);
  if (scale == m_scale && dpi == m_dpi) return;
  m_dpi = dpi;
  m_scale = scale;
  ResetCaches();
  NeedUpdate();
  if (m_root) SendNotify(m_root.get(), L"dpichanged", static_cast<uintptr_t>(dpi));
}

void CPaintManagerUI::ResetCaches() {
  m_images.clear();
  m_fonts.clear();
}

void CPaintManagerUI::UpdateLayout() {
  if (!m_needUpdate || !m_root || !m_hwnd) return;
  m_needUpdate = false;
  RECT rc;
  GetClientRect(m_hwnd, &rc);
  m_root->SetPos({rc.left, rc.top, rc.right, rc.bottom}, false);
}

// ---- IUIContext ----

void CPaintManagerUI::Invalidate(const Rect&) { ScheduleRepaint(); }

void CPaintManagerUI::NeedUpdate() {
  m_needUpdate = true;
  ScheduleRepaint();
}

void CPaintManagerUI::ScheduleRepaint() {
  if (!m_hwnd || m_repaintPending) return;
  m_repaintPending = true;
  if (m_spec.layered) PostMessageW(m_hwnd, RepaintMessage(), 0, 0);
  else InvalidateRect(m_hwnd, nullptr, FALSE);
}

void CPaintManagerUI::SendNotify(CControlUI* sender, const std::wstring& type, uintptr_t wParam, intptr_t lParam) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.dwTimestamp = GetTickCount();
  GetCursorPos(&msg.ptMouse);
  if (m_hwnd) ScreenToClient(m_hwnd, &msg.ptMouse);
  // A handler may add or remove notifiers: walk a copy.
  std::vector<INotifyUI*> notifiers = m_notifiers;
  for (INotifyUI* n : notifiers) n->Notify(msg);
}

bool CPaintManagerUI::SetTimer(CControlUI* control, unsigned id, unsigned elapse) {
  if (!m_hwnd || !control) return false;
  for (auto& t : m_timers) {
    if (t.second.control == control && t.second.id == id) {
      return ::SetTimer(m_hwnd, t.first, elapse, nullptr) != 0;
    }
  }
  UINT_PTR key = m_nextTimer++;
  if (!::SetTimer(m_hwnd, key, elapse, nullptr)) return false;
  m_timers[key] = {control, id};
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, unsigned id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->second.control == control && it->second.id == id) {
      if (m_hwnd) ::KillTimer(m_hwnd, it->first);
      m_timers.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_focus) return;
  if (m_hwnd && control && ::GetFocus() != m_hwnd) ::SetFocus(m_hwnd);
  CControlUI* old = m_focus;
  m_focus = control;
  if (old) {
    UIEvent e;
    e.type = EventType::KillFocus;
    old->Event(e);
  }
  if (control) {
    UIEvent e;
    e.type = EventType::SetFocus;
    control->Event(e);
    SendNotify(control, L"setfocus");
  }
}

void CPaintManagerUI::ControlRemoved(CControlUI* control) {
  if (m_focus == control) m_focus = nullptr;
  if (m_hover == control) m_hover = nullptr;
  if (m_pushed == control) m_pushed = nullptr;
  if (m_tooltipFor == control) HideToolTip();
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->second.control == control) {
      if (m_hwnd) ::KillTimer(m_hwnd, it->first);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

std::wstring CPaintManagerUI::GetClipboardText() {
  std::wstring text;
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(m_hwnd)) return text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const wchar_t* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      text = std::wstring(p, wcsnlen(p, GlobalSize(h) / sizeof(wchar_t)));
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return text;
}

void CPaintManagerUI::SetClipboardText(const std::wstring& text) {
  if (!OpenClipboard(m_hwnd)) return;
  EmptyClipboard();
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* p = GlobalLock(h)) {
      memcpy(p, text.c_str(), bytes);
      GlobalUnlock(h);
      if (!SetClipboardData(CF_UNICODETEXT, h)) GlobalFree(h);
    } else {
      GlobalFree(h);
    }
  }
  CloseClipboard();
}

void CPaintManagerUI::SetImePosition(const Point& caret, int height) {
  m_imePos = caret;
  m_imeHeight = height;
  if (!m_hwnd) return;
  if (HIMC imc = ImmGetContext(m_hwnd)) {
    COMPOSITIONFORM cf{};
    cf.dwStyle = CFS_POINT;
    cf.ptCurrentPos = {caret.x, caret.y};
    ImmSetCompositionWindow(imc, &cf);
    ImmReleaseContext(m_hwnd, imc);
  }
}

// ---- fonts and text ----

CPaintManagerUI::CachedFont* CPaintManagerUI::GetFont(int id) {
  auto it = m_fonts.find(id);
  if (it != m_fonts.end()) return it->second.get();
  const FontSpec* image = nullptr;
  for (const FontSpec& f : m_spec.fonts) {
    if (f.id == id) image = &f;
  }
  if (!image) {
    for (const FontSpec& f : m_spec.fonts) {
      if (f.isDefault) image = &f;
    }
  }
  FontSpec fallback;
  fallback.name = L"Tahoma";
  if (!image) image = &fallback;
  auto cached = std::make_unique<CachedFont>();
  LOGFONTW lf{};
  lf.lfHeight = -ScaleValue(image->size, m_scale);
  lf.lfWeight = image->bold ? FW_BOLD : FW_NORMAL;
  lf.lfUnderline = image->underline;
  lf.lfItalic = image->italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(lf.lfFaceName, image->name.c_str(), LF_FACESIZE - 1);
  cached->hfont = CreateFontIndirectW(&lf);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, cached->hfont);
  // GDI applies the system's font substitutes (a face name that is only an alias);
  // GDI+ looks families up by their real names, so it gets the face GDI chose.
  wchar_t face[LF_FACESIZE] = {};
  if (GetTextFaceW(dc, LF_FACESIZE, face) > 0) {
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  }
  cached->font.reset(new Gdiplus::Font(dc, &lf));
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  if (cached->font->GetLastStatus() != Gdiplus::Ok) {
    cached->font.reset(new Gdiplus::Font(L"Tahoma", static_cast<Gdiplus::REAL>(-lf.lfHeight),
                                         image->bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular, Gdiplus::UnitPixel));
  }
  CachedFont* raw = cached.get();
  m_fonts[id] = std::move(cached);
  return raw;
}

static void SetupFormat(Gdiplus::StringFormat& fmt, unsigned style) {
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

Size CPaintManagerUI::MeasureText(const std::wstring& text, int font, int width, unsigned style) {
  CachedFont* f = GetFont(font);
  if (!f || !f->font) return {};
  HDC dc = GetDC(nullptr);
  Size out;
  {
    Gdiplus::Graphics g(dc);
    g.SetTextRenderingHint(static_cast<Gdiplus::TextRenderingHint>(m_spec.textRenderingHint));
    Gdiplus::StringFormat fmt(Gdiplus::StringFormat::GenericTypographic());
    SetupFormat(fmt, style & ~(kTextCenter | kTextRight | kTextVCenter | kTextBottom));
    Gdiplus::RectF box;
    Gdiplus::RectF layout(0, 0, static_cast<Gdiplus::REAL>(width > 0 ? width : 9999), 9999);
    if (text.empty()) {
      g.MeasureString(L"M", 1, f->font.get(), layout, &fmt, &box);
      out = {0, static_cast<int>(box.Height + 0.99f)};
    } else {
      g.MeasureString(text.c_str(), static_cast<INT>(text.size()), f->font.get(), layout, &fmt, &box);
      out = {static_cast<int>(box.Width + 0.99f), static_cast<int>(box.Height + 0.99f)};
    }
  }
  ReleaseDC(nullptr, dc);
  if (width > 0) out.cx = std::min(out.cx, width);
  return out;
}

void CPaintManagerUI::DrawTextAt(Gdiplus::Graphics& g, const std::wstring& text, const Rect& rc, int font, Color color,
                                 unsigned style) {
  CachedFont* f = GetFont(font);
  if (!f || !f->font || text.empty() || rc.IsEmpty()) return;
  Gdiplus::StringFormat fmt(Gdiplus::StringFormat::GenericTypographic());
  SetupFormat(fmt, style);
  Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
  g.SetTextRenderingHint(static_cast<Gdiplus::TextRenderingHint>(m_spec.gdiplusText ? m_spec.textRenderingHint : 0));
  Gdiplus::RectF box(static_cast<Gdiplus::REAL>(rc.left), static_cast<Gdiplus::REAL>(rc.top),
                     static_cast<Gdiplus::REAL>(rc.Width()), static_cast<Gdiplus::REAL>(rc.Height()));
  g.DrawString(text.c_str(), static_cast<INT>(text.size()), f->font.get(), box, &fmt, &brush);
}

// ---- images ----

CPaintManagerUI::CachedImage* CPaintManagerUI::GetImage(const std::wstring& path, bool svg, int renderScale) {
  std::wstring key = path + L"|" + std::to_wstring(renderScale);
  auto it = m_images.find(key);
  if (it != m_images.end()) return it->second->bitmaps.empty() ? nullptr : it->second.get();
  auto img = std::make_unique<CachedImage>();
  std::string bytes;
  // A missing or undecodable picture is remembered as such and draws nothing.
  if (TheArchive().Read(path, &bytes) && DecodeImage(bytes, svg, renderScale, &img->pixels)) {
    for (std::vector<uint8_t>& frame : img->pixels.frames) {
      std::unique_ptr<Gdiplus::Bitmap> bitmap(new Gdiplus::Bitmap(
          img->pixels.width, img->pixels.height, img->pixels.width * 4, PixelFormat32bppPARGB, frame.data()));
      if (bitmap->GetLastStatus() != Gdiplus::Ok) {
        img->bitmaps.clear();
        break;
      }
      img->bitmaps.push_back(std::move(bitmap));
    }
  }
  CachedImage* raw = img->bitmaps.empty() ? nullptr : img.get();
  m_images[key] = std::move(img);
  return raw;
}

CPaintManagerUI::CachedImage* CPaintManagerUI::GetImageForAttribute(const std::wstring& attribute, ImageSpec* image,
                                                                    ImageLocation* loc) {
  *image = ParseImageSpec(attribute, m_scale);
  if (image->file.empty()) return nullptr;
  *loc = ResolveImagePath(image->file, m_scale, [](const std::wstring& p) { return TheArchive().Exists(p); });
  return GetImage(loc->path, loc->svg, loc->renderScale);
}

std::vector<int> CPaintManagerUI::ImageFrameDelays(const std::wstring& attribute) {
  ImageSpec image;
  ImageLocation loc;
  CachedImage* img = GetImageForAttribute(attribute, &image, &loc);
  if (!img || !img->pixels.IsAnimated()) return {};
  return img->pixels.delays;
}

void CPaintManagerUI::DrawImageAttribute(Gdiplus::Graphics& g, const std::wstring& attribute, const Rect& control,
                                         const Rect& clip, int frame) {
  ImageSpec image;
  ImageLocation loc;
  CachedImage* img = GetImageForAttribute(attribute, &image, &loc);
  if (!img) return;
  if (frame < 0 || frame >= static_cast<int>(img->bitmaps.size())) frame = 0;
  Rect src, dst;
  if (!ComputeDrawRects(image, loc, m_scale, {img->pixels.width, img->pixels.height}, control, &src, &dst)) return;
  Gdiplus::GraphicsState state = g.Save();
  if (!clip.IsEmpty()) g.IntersectClip(ToGp(clip));
  bool exact = src.Width() == dst.Width() && src.Height() == dst.Height();
  g.SetInterpolationMode(exact ? Gdiplus::InterpolationModeNearestNeighbor : Gdiplus::InterpolationModeHighQualityBicubic);
  g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  Gdiplus::ImageAttributes attrs;
  attrs.SetWrapMode(Gdiplus::WrapModeTileFlipXY);  // no blurred seams at the edges when stretching
  g.DrawImage(img->bitmaps[static_cast<size_t>(frame)].get(), ToGp(dst), src.left, src.top, src.Width(), src.Height(), Gdiplus::UnitPixel, &attrs);
  g.Restore(state);
}

// ---- painting ----

void CPaintManagerUI::RenderTo(Gdiplus::Graphics& g, int width, int height) {
  g.Clear(Gdiplus::Color(0, 0, 0, 0));
  if (!m_root) return;
  Renderer r(g, *this);
  m_root->DoPaint(r, {0, 0, width, height});
}

void CPaintManagerUI::Paint() {
  m_repaintPending = false;
  if (!m_hwnd || IsIconic(m_hwnd)) return;
  UpdateLayout();
  RECT rc;
  GetClientRect(m_hwnd, &rc);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return;
  if (!m_dib || m_dibSize.cx != w || m_dibSize.cy != h) {
    if (m_memDC) {
      SelectObject(m_memDC, m_oldBitmap);
      DeleteDC(m_memDC);
      m_memDC = nullptr;
    }
    if (m_dib) DeleteObject(m_dib);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    m_dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &m_bits, nullptr, 0);
    if (!m_dib) return;
    m_memDC = CreateCompatibleDC(nullptr);
    m_oldBitmap = SelectObject(m_memDC, m_dib);
    m_dibSize = {w, h};
  }
  {
    // GDI+ draws straight into the DIB's bits as premultiplied ARGB, which is what a
    // layered window takes.
    Gdiplus::Bitmap surface(w, h, w * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(m_bits));
    Gdiplus::Graphics g(&surface);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    RenderTo(g, w, h);
  }
  if (m_spec.layered) {
    // Rounded corners: cut the four corner pixels' alpha along a quarter circle.
    int radius = ScaleValue(6, m_scale);
    uint8_t* px = static_cast<uint8_t*>(m_bits);
    for (int y = 0; y < radius && y < h; ++y) {
      for (int x = 0; x < radius && x < w; ++x) {
        double dx = radius - x - 0.5, dy = radius - y - 0.5;
        double d = std::sqrt(dx * dx + dy * dy) - radius;
        if (d <= -1) continue;
        double keep = d >= 0 ? 0.0 : -d;
        const int xs[2] = {x, w - 1 - x}, ys[2] = {y, h - 1 - y};
        for (int yi : ys) {
          for (int xi : xs) {
            uint8_t* p = px + (static_cast<size_t>(yi) * w + xi) * 4;
            for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(p[c] * keep);
          }
        }
      }
    }
    RECT wr;
    GetWindowRect(m_hwnd, &wr);
    POINT dst{wr.left, wr.top}, src{0, 0};
    SIZE size{w, h};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    HDC screen = GetDC(nullptr);
    UpdateLayeredWindow(m_hwnd, screen, &dst, &size, m_memDC, &src, 0, &blend, ULW_ALPHA);
    ReleaseDC(nullptr, screen);
  } else {
    HDC dc = GetDC(m_hwnd);
    BitBlt(dc, 0, 0, w, h, m_memDC, 0, 0, SRCCOPY);
    ReleaseDC(m_hwnd, dc);
  }
}

// ---- input ----

UIEvent CPaintManagerUI::MakeEvent(EventType type, POINT pt) const {
  UIEvent e;
  e.type = type;
  e.pt = {pt.x, pt.y};
  e.shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  e.ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  return e;
}

void CPaintManagerUI::ShowToolTip() {
  if (m_hwnd) ::KillTimer(m_hwnd, kToolTipTimer);
  CControlUI* c = m_hover;
  if (!c || !c->IsVisible() || c->GetToolTip().empty() || !IsWindowVisible(m_hwnd) || IsIconic(m_hwnd)) return;
  POINT at;
  GetCursorPos(&at);
  at.y += ScaleValue(20, m_scale);  // below the arrow cursor
  CachedFont* font = GetFont(-1);
  m_tooltip.Show(m_hwnd, c->GetToolTip(), at, m_spec.tooltipBkColor, m_spec.tooltipTextColor,
                 font ? font->hfont : nullptr, m_scale);
  m_tooltipFor = c;
}

void CPaintManagerUI::HideToolTip() {
  if (m_hwnd) ::KillTimer(m_hwnd, kToolTipTimer);
  m_tooltip.Hide();
  m_tooltipFor = nullptr;
}

void CPaintManagerUI::SetHover(CControlUI* control, POINT pt) {
  if (control == m_hover) return;
  HideToolTip();
  if (control && !control->GetToolTip().empty() && m_hwnd) ::SetTimer(m_hwnd, kToolTipTimer, kToolTipDelay, nullptr);
  if (m_hover) {
    UIEvent e = MakeEvent(EventType::MouseLeave, pt);
    m_hover->Event(e);
  }
  m_hover = control;
  if (m_hover) {
    UIEvent e = MakeEvent(EventType::MouseEnter, pt);
    m_hover->Event(e);
  }
}

void CPaintManagerUI::CycleTab(bool backwards) {
  auto* box = ControlCast<CContainerUI>(m_root.get());
  std::vector<CControlUI*> stops;
  auto consider = [&](CControlUI* c) {
    bool allowed = m_spec.normalTab ? c->IsFocusable() : c->IsTabStop();
    if (allowed && c->IsVisible() && c->IsEnabled()) stops.push_back(c);
  };
  if (m_root) consider(m_root.get());
  if (box) CContainerUI::CollectAll(box, consider);
  if (stops.empty()) return;
  auto it = std::find(stops.begin(), stops.end(), m_focus);
  size_t i;
  if (it == stops.end()) i = backwards ? stops.size() - 1 : 0;
  else {
    size_t cur = static_cast<size_t>(it - stops.begin());
    i = backwards ? (cur + stops.size() - 1) % stops.size() : (cur + 1) % stops.size();
  }
  SetFocus(stops[i]);
}

bool CPaintManagerUI::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  for (IMessageFilterUI* f : std::vector<IMessageFilterUI*>(m_filters)) {
    bool handled = false;
    LRESULT r = f->MessageHandler(msg, wParam, lParam, handled);
    if (handled) {
      result = r;
      return true;
    }
  }
  if (msg == RepaintMessage()) {
    Paint();
    result = 0;
    return true;
  }
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(m_hwnd, &ps);
      EndPaint(m_hwnd, &ps);
      Paint();
      result = 0;
      return true;
    }
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) NeedUpdate();
      return false;
    case WM_SHOWWINDOW:
      if (wParam) ScheduleRepaint();
      return false;
    case WM_TIMER: {
      if (wParam == kToolTipTimer) {
        ShowToolTip();
        result = 0;
        return true;
      }
      auto it = m_timers.find(wParam);
      if (it == m_timers.end()) return false;
      TimerInfo info = it->second;
      UIEvent e;
      e.type = EventType::Timer;
      e.key = info.id;
      info.control->Event(e);
      result = 0;
      return true;
    }
    case WM_MOUSEMOVE: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (!m_mouseTracking) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hwnd, 0};
        TrackMouseEvent(&tme);
        m_mouseTracking = true;
      }
      CControlUI* c = FindControlAt(pt);
      if (!m_pushed) SetHover(c, pt);
      if (CControlUI* target = m_pushed ? m_pushed : c) {
        UIEvent e = MakeEvent(EventType::MouseMove, pt);
        target->Event(e);
      }
      return false;
    }
    case WM_MOUSELEAVE:
      m_mouseTracking = false;
      if (!m_pushed) SetHover(nullptr, {-1, -1});
      return false;
    case WM_RBUTTONDOWN:
      HideToolTip();
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      HideToolTip();
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      CControlUI* c = FindControlAt(pt);
      if (!c || !c->IsEnabled()) return false;
      SetCapture(m_hwnd);
      m_pushed = c;
      if (c->IsFocusable()) SetFocus(c);
      UIEvent e = MakeEvent(msg == WM_LBUTTONDOWN ? EventType::ButtonDown : EventType::DoubleClick, pt);
      c->Event(e);
      result = 0;
      return true;
    }
    case WM_LBUTTONUP: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      // Taken before releasing the capture: that sends WM_CAPTURECHANGED at once.
      CControlUI* c = m_pushed;
      m_pushed = nullptr;
      if (GetCapture() == m_hwnd) ReleaseCapture();
      if (!c) return false;
      UIEvent e = MakeEvent(EventType::ButtonUp, pt);
      c->Event(e);
      SetHover(FindControlAt(pt), pt);
      result = 0;
      return true;
    }
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != m_hwnd && m_pushed) {
        UIEvent e = MakeEvent(EventType::ButtonUp, {-1, -1});
        CControlUI* c = m_pushed;
        m_pushed = nullptr;
        if (m_spec.killFocusSendButtonUp) c->Event(e);
      }
      return false;
    case WM_KEYDOWN: {
      HideToolTip();
      if (wParam == VK_TAB) {
        CycleTab((GetKeyState(VK_SHIFT) & 0x8000) != 0);
        result = 0;
        return true;
      }
      if (!m_focus) return false;
      UIEvent e = MakeEvent(EventType::KeyDown, {0, 0});
      e.key = static_cast<unsigned>(wParam);
      m_focus->Event(e);
      result = 0;
      return true;
    }
    case WM_CHAR: {
      if (!m_focus || wParam == VK_TAB) return false;
      UIEvent e = MakeEvent(EventType::Char, {0, 0});
      e.key = static_cast<unsigned>(wParam);
      m_focus->Event(e);
      result = 0;
      return true;
    }
    case WM_IME_STARTCOMPOSITION:
      SetImePosition(m_imePos, m_imeHeight);
      return false;
    case WM_IME_COMPOSITION: {
      if (!(lParam & GCS_RESULTSTR) || !m_focus) return false;
      HIMC imc = ImmGetContext(m_hwnd);
      if (!imc) return false;
      LONG bytes = ImmGetCompositionStringW(imc, GCS_RESULTSTR, nullptr, 0);
      std::wstring text;
      if (bytes > 0) {
        text.resize(static_cast<size_t>(bytes) / sizeof(wchar_t));
        ImmGetCompositionStringW(imc, GCS_RESULTSTR, &text[0], static_cast<DWORD>(bytes));
      }
      ImmReleaseContext(m_hwnd, imc);
      UIEvent e = MakeEvent(EventType::ImeResult, {0, 0});
      e.text = text;
      m_focus->Event(e);
      // The result went in here: no WM_IME_CHAR/WM_CHAR copies of it.
      result = 0;
      return true;
    }
    case WM_SETCURSOR: {
      if (LOWORD(lParam) != HTCLIENT) return false;
      POINT pt;
      GetCursorPos(&pt);
      ScreenToClient(m_hwnd, &pt);
      CControlUI* c = FindControlAt(pt);
      if (c && c->GetClass() == L"RichEditUI" && c->IsEnabled()) {
        SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
        result = TRUE;
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

}  // namespace skin
