// Image attributes: their key='value' syntax and the choice of the picture, its part and
// its target rectangle at a DPI scale.
#pragma once
#include <functional>
#include <string>

#include "uitypes.h"

namespace skin {

// What one image attribute asks for at one scale. Keys are applied in alphabetical
// order, so `source<scale>` (taken as written) replaces `source` at that scale.
struct ImageSpec {
  std::wstring file;
  bool hasSource = false;
  bool sourceAsWritten = false;  // from source<scale>: not multiplied by the scale
  Rect source;
  bool hasDest = false;
  bool destAsWritten = false;    // from dest<scale>
  Rect dest;
};
ImageSpec ParseImageSpec(const std::wstring& value, int scale);

// Where the picture comes from in the archive.
struct ImageLocation {
  std::wstring path;       // entry to load
  bool scaled = false;     // a per-scale candidate was chosen
  bool svg = false;
  int renderScale = 100;   // an SVG is rendered at renderScale/100 of its own size
};
using EntryExists = std::function<bool(const std::wstring&)>;
// At a scale other than 100 each "." of the path becomes "@<scale>."; that candidate is
// used when it names an SVG or exists, otherwise the path as written.
ImageLocation ResolveImagePath(const std::wstring& file, int scale, const EntryExists& exists);

// The part of a picture of `picture` size to draw and where, for a control at `control`.
// False when there is nothing to draw (an empty part or target).
bool ComputeDrawRects(const ImageSpec& image, const ImageLocation& loc, int scale, Size picture,
                      const Rect& control, Rect* source, Rect* dest);

}  // namespace skin
