// The borderless window's frame zones: resize bands from `sizebox` inside `sizeboxinset`,
// the caption band, and the shipped skin's settings (no resize bands at all).
#include <gtest/gtest.h>

#include "framehittest.h"

using namespace skin;

TEST(FrameHitTest, ResizeBandsCornersAndInset) {
  const Rect client{0, 0, 600, 460};
  const Rect box{4, 4, 4, 4};
  const Rect none{};
  const Rect caption{0, 0, 0, 66};
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {0, 0}), FrameZone::TopLeft);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {599, 2}), FrameZone::TopRight);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {2, 459}), FrameZone::BottomLeft);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {599, 459}), FrameZone::BottomRight);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {300, 3}), FrameZone::Top);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {300, 456}), FrameZone::Bottom);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {3, 200}), FrameZone::Left);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {596, 200}), FrameZone::Right);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {4, 200}), FrameZone::Client);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {300, 4}), FrameZone::Caption);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, true, {300, 66}), FrameZone::Client);
  // A maximised window has no resize bands: its edges are caption or client.
  EXPECT_EQ(FrameHitTest(client, box, none, caption, false, {0, 0}), FrameZone::Caption);
  EXPECT_EQ(FrameHitTest(client, box, none, caption, false, {0, 200}), FrameZone::Client);
  // The bands start inside the inset; the inset margin itself is not a band.
  const Rect inset{10, 10, 10, 10};
  EXPECT_EQ(FrameHitTest(client, box, inset, caption, true, {5, 200}), FrameZone::Client);
  EXPECT_EQ(FrameHitTest(client, box, inset, caption, true, {12, 200}), FrameZone::Left);
  EXPECT_EQ(FrameHitTest(client, box, inset, caption, true, {14, 200}), FrameZone::Client);
  EXPECT_EQ(FrameHitTest(client, box, inset, caption, true, {589, 449}), FrameZone::BottomRight);
}

TEST(FrameHitTest, ShippedSettingsHaveOnlyTheCaptionBand) {
  const Rect client{0, 0, 900, 690};  // 150 %
  const Rect caption{0, 0, 0, 99};     // 66 at 150 %
  for (Point p : {Point{0, 0}, Point{899, 0}, Point{0, 689}, Point{899, 689}, Point{450, 98}}) {
    FrameZone z = FrameHitTest(client, Rect{}, Rect{}, caption, true, p);
    EXPECT_TRUE(z == FrameZone::Caption || z == FrameZone::Client) << p.x << "," << p.y;
  }
  EXPECT_EQ(FrameHitTest(client, Rect{}, Rect{}, caption, true, {450, 98}), FrameZone::Caption);
  EXPECT_EQ(FrameHitTest(client, Rect{}, Rect{}, caption, true, {450, 99}), FrameZone::Client);
  // Caption insets from the left and right leave the ends to the client.
  const Rect inner{40, 0, 40, 30};
  EXPECT_EQ(FrameHitTest(client, Rect{}, Rect{}, inner, true, {39, 10}), FrameZone::Client);
  EXPECT_EQ(FrameHitTest(client, Rect{}, Rect{}, inner, true, {40, 10}), FrameZone::Caption);
  EXPECT_EQ(FrameHitTest(client, Rect{}, Rect{}, inner, true, {860, 10}), FrameZone::Client);
}
