// The fonts and decoded pictures of one window at its current scale: made on first use
// and kept until the scale or the skin's font table changes. A picture that is missing
// or cannot be decoded is remembered as such and draws nothing.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imagedecoder.h"
#include "imageresolve.h"
#include "markupbuilder.h"

namespace Gdiplus {
class Bitmap;
class Font;
}  // namespace Gdiplus

namespace skin {

class CResourceCache {
 public:
  struct Image {
    DecodedImage pixels;
    // One bitmap over each frame of `pixels`; empty when decoding failed.
    std::vector<std::unique_ptr<Gdiplus::Bitmap>> bitmaps;
    ~Image();
  };
  struct Font {
    HFONT hfont = nullptr;
    std::unique_ptr<Gdiplus::Font> font;
    ~Font();
  };

  CResourceCache() = default;
  CResourceCache(const CResourceCache&) = delete;
  CResourceCache& operator=(const CResourceCache&) = delete;

  void Reset();
  // Font `id` of the table (else its default font, else Tahoma) at `scale`.
  Font* GetFont(int id, const std::vector<FontSpec>& table, int scale);
  // An image attribute value resolved at `scale`: the picture, its description and where it was
  // found; null when there is none.
  Image* ForAttribute(const std::wstring& attribute, int scale, ImageSpec* image, ImageLocation* loc);

 private:
  Image* GetImage(const std::wstring& path, bool svg, int renderScale);

  std::map<std::wstring, std::unique_ptr<Image>> m_images;
  std::map<int, std::unique_ptr<Font>> m_fonts;
};

}  // namespace skin
