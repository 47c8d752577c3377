#include "uitypes.h"

#include <algorithm>

namespace skin {

Rect Union(const Rect& a, const Rect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

Rect Intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.IsEmpty()) return {};
  return r;
}

int ScaleValue(int value, int scale) {
  if (scale == 100) return value;
  int64_t p = static_cast<int64_t>(value) * scale;
  if (p >= 0) return static_cast<int>((p + 50) / 100);
  return -static_cast<int>((-p + 50) / 100);
}

}  // namespace skin
