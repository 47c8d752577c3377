// Where a point of a borderless skinned window falls for the window manager: a resize
// band along an edge or a corner (`sizebox`, the bands' widths per side, measured inside
// `sizeboxinset`, the margin kept for the drop shadow or a transparent border), the
// caption band that drags the window (`caption`: insets from the left, top and right and
// the band's bottom), or plain client area. All values already scaled to the window's DPI.
#pragma once
#include "uitypes.h"

namespace skin {

enum class FrameZone { Client, Caption, Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };

// `resizable` is false for a maximised window, which has no resize bands.
FrameZone FrameHitTest(const Rect& client, const Rect& sizeBox, const Rect& sizeBoxInset, const Rect& caption,
                       bool resizable, Point pt);

}  // namespace skin
