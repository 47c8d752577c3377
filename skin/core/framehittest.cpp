#include "framehittest.h"

namespace skin {

FrameZone FrameHitTest(const Rect& client, const Rect& sizeBox, const Rect& sizeBoxInset, const Rect& caption,
                       bool resizable, Point pt) {
  if (resizable) {
    Rect frame{client.left + sizeBoxInset.left, client.top + sizeBoxInset.top, client.right - sizeBoxInset.right,
               client.bottom - sizeBoxInset.bottom};
    if (frame.Contains(pt)) {
      bool left = pt.x < frame.left + sizeBox.left;
      bool right = pt.x >= frame.right - sizeBox.right;
      if (pt.y < frame.top + sizeBox.top) {
        return left ? FrameZone::TopLeft : right ? FrameZone::TopRight : FrameZone::Top;
      }
      if (pt.y >= frame.bottom - sizeBox.bottom) {
        return left ? FrameZone::BottomLeft : right ? FrameZone::BottomRight : FrameZone::Bottom;
      }
      if (left) return FrameZone::Left;
      if (right) return FrameZone::Right;
    }
  }
  if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right && pt.y >= client.top + caption.top &&
      pt.y < client.top + caption.bottom) {
    return FrameZone::Caption;
  }
  return FrameZone::Client;
}

}  // namespace skin
