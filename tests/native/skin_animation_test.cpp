// The animated picture control's frames and timer, the foreground image and the label
// measurement cache across scales, against the window stand-in.
#include <gtest/gtest.h>

#include "markupbuilder.h"
#include "skin_fakecontext.h"
#include "uianimation.h"
#include "uicontainer.h"
#include "uicontrols.h"

using namespace skin;

namespace {

struct RecordingRenderer : IRenderer {
  struct Image { std::wstring attribute; Rect control, clip; int frame; };
  std::vector<Image> images;
  void FillRect(const Rect&, Color) override {}
  void DrawImage(const std::wstring& a, const Rect& c, const Rect& clip) override { images.push_back({a, c, clip, 0}); }
  void DrawImageFrame(const std::wstring& a, const Rect& c, const Rect& clip, int frame) override {
    images.push_back({a, c, clip, frame});
  }
  void DrawText(const std::wstring&, const Rect&, int, Color, unsigned) override {}
  void PushClip(const Rect&) override {}
  void PopClip() override {}
};

void Tick(CControlUI* c, unsigned id) {
  UIEvent e;
  e.type = EventType::Timer;
  e.key = id;
  c->Event(e);
}

const char* kPages = R"(<Window>
  <TabLayout name="tab">
    <VerticalLayout name="p0">
      <GifAnim name="anim" bkimage="Image/spin.gif" height="40"/>
      <GifAnim name="still" bkimage="Image/flat.gif" height="40"/>
      <GifAnim name="paused" bkimage="Image/spin.gif" autoplay="false" height="40"/>
    </VerticalLayout>
    <VerticalLayout name="p1"/>
  </TabLayout>
</Window>)";

struct Pages {
  FakeContext ctx;
  std::unique_ptr<CControlUI> root;
  CTabLayoutUI* tab = nullptr;
  CGifAnimUI* anim = nullptr;
  CGifAnimUI* still = nullptr;
  CGifAnimUI* paused = nullptr;
  Pages() {
    ctx.frameDelays[L"Image/spin.gif"] = {300, 250, 100};
    std::wstring error;
    root = BuildMarkupText(kPages, nullptr, nullptr, nullptr, &error);
    if (!root) return;
    root->SetManager(&ctx, nullptr);
    root->SetPos({0, 0, 200, 200});
    tab = ControlCast<CTabLayoutUI>(root->FindControl(L"tab"));
    anim = ControlCast<CGifAnimUI>(root->FindControl(L"anim"));
    still = ControlCast<CGifAnimUI>(root->FindControl(L"still"));
    paused = ControlCast<CGifAnimUI>(root->FindControl(L"paused"));
  }
  int Paint() {
    RecordingRenderer r;
    root->DoPaint(r, root->GetPos());
    for (auto& i : r.images) {
      if (i.attribute == L"Image/spin.gif" && i.control == anim->GetPos()) return i.frame;
    }
    return -1;  // not drawn
  }
};

}  // namespace

TEST(GifAnim, FramesAdvanceByTheirOwnDelaysAndWrap) {
  Pages p;
  ASSERT_TRUE(p.anim && p.still && p.paused && p.tab);
  EXPECT_EQ(p.anim->GetFrameCount(), 3);
  EXPECT_FALSE(p.anim->IsTimerRunning());  // nothing runs before the first paint
  EXPECT_EQ(p.Paint(), 0);
  ASSERT_TRUE(p.ctx.IsRunning(p.anim, CGifAnimUI::kFrameTimer));
  EXPECT_EQ(p.ctx.elapses.back(), 300u);
  int before = p.ctx.invalidations;
  Tick(p.anim, CGifAnimUI::kFrameTimer);
  EXPECT_EQ(p.anim->GetFrame(), 1);
  EXPECT_GT(p.ctx.invalidations, before);
  EXPECT_EQ(p.ctx.elapses.back(), 250u);
  EXPECT_EQ(p.Paint(), 1);
  Tick(p.anim, CGifAnimUI::kFrameTimer);
  EXPECT_EQ(p.ctx.elapses.back(), 100u);
  Tick(p.anim, CGifAnimUI::kFrameTimer);
  EXPECT_EQ(p.anim->GetFrame(), 0);
  EXPECT_EQ(p.ctx.elapses.back(), 300u);
  // The frame timer is the control's own business: the window never sees it.
  for (auto& n : p.ctx.notes) EXPECT_NE(n.type, L"timer");
  // A still picture and a control without autoplay never start a timer.
  EXPECT_FALSE(p.ctx.IsRunning(p.still, CGifAnimUI::kFrameTimer));
  EXPECT_EQ(p.still->GetFrameCount(), 1);
  EXPECT_FALSE(p.ctx.IsRunning(p.paused, CGifAnimUI::kFrameTimer));
  p.paused->Play();
  EXPECT_TRUE(p.ctx.IsRunning(p.paused, CGifAnimUI::kFrameTimer));
  p.paused->Stop();
  EXPECT_FALSE(p.ctx.IsRunning(p.paused, CGifAnimUI::kFrameTimer));
}

TEST(GifAnim, StopsWhileHiddenAndGoesOnWhenShownAgain) {
  Pages p;
  ASSERT_TRUE(p.anim && p.tab);
  p.Paint();
  Tick(p.anim, CGifAnimUI::kFrameTimer);
  ASSERT_EQ(p.anim->GetFrame(), 1);
  // Its page is switched away: the next tick finds it hidden, keeps the frame and stops.
  p.tab->SelectItem(1, false);
  Tick(p.anim, CGifAnimUI::kFrameTimer);
  EXPECT_EQ(p.anim->GetFrame(), 1);
  EXPECT_FALSE(p.ctx.IsRunning(p.anim, CGifAnimUI::kFrameTimer));
  EXPECT_EQ(p.Paint(), -1);  // a hidden page is not painted and starts nothing
  EXPECT_FALSE(p.ctx.IsRunning(p.anim, CGifAnimUI::kFrameTimer));
  // Shown again: the first paint restarts it where it stopped.
  p.tab->SelectItem(0, false);
  EXPECT_EQ(p.Paint(), 1);
  EXPECT_TRUE(p.ctx.IsRunning(p.anim, CGifAnimUI::kFrameTimer));
  EXPECT_EQ(p.ctx.elapses.back(), 250u);
  // Hiding the control itself stops the timer at once.
  p.anim->SetVisible(false);
  EXPECT_FALSE(p.ctx.IsRunning(p.anim, CGifAnimUI::kFrameTimer));
  // A new picture starts from its first frame.
  p.anim->SetVisible(true);
  p.anim->SetBkImage(L"Image/flat.gif");
  EXPECT_EQ(p.anim->GetFrame(), 0);
  EXPECT_EQ(p.anim->GetFrameCount(), 1);
}

TEST(Painting, ForeImageOverEveryControlButTheProgressFill) {
  FakeContext ctx;
  CControlUI c;
  c.SetManager(&ctx, nullptr);
  c.SetAttribute(L"bkimage", L"Image/back.png");
  c.SetAttribute(L"foreimage", L"Image/front.png");
  c.SetPos({0, 0, 50, 20});
  RecordingRenderer r;
  c.DoPaint(r, c.GetPos());
  ASSERT_EQ(r.images.size(), 2u);
  EXPECT_EQ(r.images[0].attribute, L"Image/back.png");
  EXPECT_EQ(r.images[1].attribute, L"Image/front.png");

  CProgressUI bar;
  bar.SetManager(&ctx, nullptr);
  bar.SetAttribute(L"foreimage", L"Image/fill.svg");
  bar.SetPos({0, 0, 100, 8});
  bar.SetValue(30);
  RecordingRenderer rb;
  bar.DoPaint(rb, bar.GetPos());
  ASSERT_EQ(rb.images.size(), 1u);  // the fill once, clipped to the filled part
  EXPECT_EQ(rb.images[0].clip, (Rect{0, 0, 30, 8}));
}

TEST(Label, MeasuredWidthFollowsAScaleChange) {
  FakeContext ctx;
  CLabelUI label;
  label.SetManager(&ctx, nullptr);
  label.SetAttribute(L"autocalcwidth", L"true");
  label.SetAttribute(L"textpadding", L"10,0,10,0");
  label.SetText(L"abcd");
  EXPECT_EQ(label.EstimateSize({300, 20}).cx, 4 * 7 + 20);
  ctx.scale = 150;  // the same available size, but the paddings (and fonts) grew
  EXPECT_EQ(label.EstimateSize({300, 20}).cx, 4 * 7 + 30);
}
