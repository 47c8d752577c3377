#include "imageresolve.h"

#include <algorithm>
#include <cwctype>
#include <map>

#include "markupvalues.h"

namespace skin {

// key='value' pairs separated by blanks; a value without any quote is a bare path.
static std::map<std::wstring, std::wstring> SplitPairs(const std::wstring& value) {
  std::map<std::wstring, std::wstring> pairs;
  if (value.find(L'\'') == std::wstring::npos) {
    pairs[L"file"] = value;
    return pairs;
  }
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && std::iswspace(value[i])) ++i;
    size_t eq = value.find(L'=', i);
    if (eq == std::wstring::npos) break;
    std::wstring key = value.substr(i, eq - i);
    while (!key.empty() && std::iswspace(key.back())) key.pop_back();
    size_t open = eq + 1;
    while (open < value.size() && std::iswspace(value[open])) ++open;
    if (open >= value.size() || value[open] != L'\'') break;
    size_t close = value.find(L'\'', open + 1);
    if (close == std::wstring::npos) break;
    pairs[key] = value.substr(open + 1, close - open - 1);
    i = close + 1;
  }
  return pairs;
}

ImageSpec ParseImageSpec(const std::wstring& value, int scale) {
  ImageSpec image;
  const std::wstring scaleText = std::to_wstring(scale);
  for (const auto& kv : SplitPairs(value)) {  // std::map: alphabetical order
    const std::wstring& key = kv.first;
    if (key == L"file") {
      image.file = kv.second;
    } else if (key == L"source") {
      image.hasSource = true;
      image.sourceAsWritten = false;
      image.source = ParseRect(kv.second);
    } else if (key == L"source" + scaleText) {
      image.hasSource = true;
      image.sourceAsWritten = true;
      image.source = ParseRect(kv.second);
    } else if (key == L"dest") {
      image.hasDest = true;
      image.destAsWritten = false;
      image.dest = ParseRect(kv.second);
    } else if (key == L"dest" + scaleText) {
      image.hasDest = true;
      image.destAsWritten = true;
      image.dest = ParseRect(kv.second);
    }
  }
  return image;
}

static bool EndsWithNoCase(const std::wstring& s, const std::wstring& suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (static_cast<wchar_t>(std::towlower(s[s.size() - suffix.size() + i])) != suffix[i]) return false;
  }
  return true;
}

ImageLocation ResolveImagePath(const std::wstring& file, int scale, const EntryExists& exists) {
  ImageLocation loc;
  loc.path = file;
  if (scale != 100 && !file.empty()) {
    std::wstring candidate;
    const std::wstring mark = L"@" + std::to_wstring(scale) + L".";
    for (wchar_t c : file) {
      if (c == L'.') candidate += mark;
      else candidate.push_back(c);
    }
    if (EndsWithNoCase(candidate, L".svg") || (exists && exists(candidate))) {
      loc.path = candidate;
      loc.scaled = true;
    }
  }
  loc.svg = EndsWithNoCase(loc.path, L".svg");
  if (loc.svg) {
    // "name@150.svg" is "name.svg" rendered at 1.5.
    size_t dot = loc.path.size() - 4;
    size_t at = loc.path.rfind(L'@', dot);
    if (at != std::wstring::npos && at + 1 < dot) {
      bool digits = true;
      for (size_t i = at + 1; i < dot; ++i) digits = digits && std::iswdigit(loc.path[i]);
      int s = digits ? ParseInt(loc.path.substr(at + 1, dot - at - 1)) : 0;
      if (s > 0 && s <= 1000) {
        loc.renderScale = s;
        loc.path = loc.path.substr(0, at) + loc.path.substr(dot);
      }
    }
  }
  return loc;
}

static Rect ScaleRect(const Rect& r, int scale) {
  return {ScaleValue(r.left, scale), ScaleValue(r.top, scale), ScaleValue(r.right, scale),
          ScaleValue(r.bottom, scale)};
}

bool ComputeDrawRects(const ImageSpec& image, const ImageLocation& loc, int scale, Size picture,
                      const Rect& control, Rect* source, Rect* dest) {
  Rect src{0, 0, picture.cx, picture.cy};
  if (image.hasSource) {
    src = image.source;
    if (loc.scaled && !image.sourceAsWritten) src = ScaleRect(src, scale);
    src = Intersect(src, Rect{0, 0, picture.cx, picture.cy});
  }
  Rect dst = control;
  if (image.hasDest) {
    Rect d = image.destAsWritten ? image.dest : ScaleRect(image.dest, scale);
    dst = {control.left + d.left, control.top + d.top, control.left + d.right, control.top + d.bottom};
  }
  if (src.IsEmpty() || dst.IsEmpty()) return false;
  *source = src;
  *dest = dst;
  return true;
}

}  // namespace skin
