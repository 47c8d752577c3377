// Geometry and small value types shared by the whole skin engine; portable, so that the
// layout arithmetic can be tested on any host.
#pragma once
#include <cstdint>
#include <string>

namespace skin {

struct Size {
  int cx = 0;
  int cy = 0;
  bool operator==(const Size& o) const { return cx == o.cx && cy == o.cy; }
};

struct Point {
  int x = 0;
  int y = 0;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  void Offset(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const Rect& o) const { return !(*this == o); }
};

Rect Union(const Rect& a, const Rect& b);
Rect Intersect(const Rect& a, const Rect& b);  // empty (all zero) when they do not meet

// value * scale / 100 rounded to nearest, halves away from zero (as MulDiv does).
int ScaleValue(int value, int scale);

// 32-bit ARGB colour.
using Color = uint32_t;

}  // namespace skin
