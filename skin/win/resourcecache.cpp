#include "resourcecache.h"

#include <objidl.h>
#include <gdiplus.h>

#include "dpi.h"
#include "skinresources.h"

namespace skin {

CResourceCache::Image::~Image() = default;

CResourceCache::Font::~Font() {
  font.reset();
  if (hfont) DeleteObject(hfont);
}

void CResourceCache::Reset() {
  m_images.clear();
  m_fonts.clear();
}

namespace {

const FontSpec& ChooseFont(int id, const std::vector<FontSpec>& table, const FontSpec& fallback) {
  const FontSpec* chosen = nullptr;
  for (const FontSpec& f : table)
    if (f.id == id) chosen = &f;
  if (!chosen) {
    for (const FontSpec& f : table)
      if (f.isDefault) chosen = &f;
  }
  return chosen ? *chosen : fallback;
}

}  // namespace

CResourceCache::Font* CResourceCache::GetFont(int id, const std::vector<FontSpec>& table, int scale) {
  auto it = m_fonts.find(id);
  if (it != m_fonts.end()) return it->second.get();
  FontSpec fallback;
  fallback.name = L"Tahoma";
  const FontSpec& chosen = ChooseFont(id, table, fallback);
  auto cached = std::make_unique<Font>();
  LOGFONTW lf{};
  lf.lfHeight = -ScaleValue(chosen.size, scale);
  lf.lfWeight = chosen.bold ? FW_BOLD : FW_NORMAL;
  lf.lfUnderline = chosen.underline;
  lf.lfItalic = chosen.italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(lf.lfFaceName, chosen.name.c_str(), LF_FACESIZE - 1);
  cached->hfont = CreateFontIndirectW(&lf);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, cached->hfont);
  // GDI applies the system's font substitutes (a face name that is only an alias);
  // GDI+ looks families up by their real names, so it gets the face GDI chose.
  wchar_t face[LF_FACESIZE] = {};
  if (GetTextFaceW(dc, LF_FACESIZE, face) > 0) wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  cached->font.reset(new Gdiplus::Font(dc, &lf));
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  if (cached->font->GetLastStatus() != Gdiplus::Ok) {
    cached->font.reset(new Gdiplus::Font(L"Tahoma", static_cast<Gdiplus::REAL>(-lf.lfHeight),
                                         chosen.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular,
                                         Gdiplus::UnitPixel));
  }
  Font* raw = cached.get();
  m_fonts[id] = std::move(cached);
  return raw;
}

CResourceCache::Image* CResourceCache::GetImage(const std::wstring& path, bool svg, int renderScale) {
  const std::wstring key = path + L"|" + std::to_wstring(renderScale);
  auto it = m_images.find(key);
  if (it != m_images.end()) return it->second->bitmaps.empty() ? nullptr : it->second.get();
  auto img = std::make_unique<Image>();
  std::string bytes;
  if (skinresources::Archive().Read(path, &bytes) && DecodeImage(bytes, svg, renderScale, &img->pixels)) {
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
  Image* raw = img->bitmaps.empty() ? nullptr : img.get();
  m_images[key] = std::move(img);
  return raw;
}

CResourceCache::Image* CResourceCache::ForAttribute(const std::wstring& attribute, int scale, ImageSpec* image,
                                                    ImageLocation* loc) {
  *image = ParseImageSpec(attribute, scale);
  if (image->file.empty()) return nullptr;
  *loc = ResolveImagePath(image->file, scale, [](const std::wstring& p) { return skinresources::Archive().Exists(p); });
  return GetImage(loc->path, loc->svg, loc->renderScale);
}

}  // namespace skin
