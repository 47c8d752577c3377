// Layout arithmetic of the skin engine's containers, driven through markup as the skin
// itself is.
#include <gtest/gtest.h>

#include "markupbuilder.h"
#include "markupvalues.h"
#include "skin_fakecontext.h"
#include "uicontainer.h"
#include "uicontrols.h"

using namespace skin;

namespace {

struct Laid {
  FakeContext ctx;
  std::unique_ptr<CControlUI> root;
  CControlUI* operator[](const wchar_t* name) { return root->FindControl(name); }
  Rect pos(const wchar_t* name) {
    CControlUI* c = root->FindControl(name);
    EXPECT_NE(c, nullptr) << "no control " << ToUtf8(name);
    return c ? c->GetPos() : Rect{};
  }
};

std::unique_ptr<Laid> Lay(const std::string& body, Rect rc, int scale = 100) {
  auto l = std::make_unique<Laid>();
  l->ctx.scale = scale;
  std::wstring error;
  l->root = BuildMarkupText("<Window>" + body + "</Window>", nullptr, nullptr, nullptr, &error);
  EXPECT_TRUE(l->root) << ToUtf8(error);
  if (l->root) {
    l->root->SetManager(&l->ctx, nullptr);
    l->root->SetPos(rc, false);
  }
  return l;
}

::testing::AssertionResult Is(const Rect& r, int l, int t, int rr, int b) {
  if (r == Rect{l, t, rr, b}) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "rect is " << r.left << "," << r.top << "," << r.right << ","
                                       << r.bottom << " not " << l << "," << t << "," << rr << "," << b;
}

}  // namespace

TEST(HorizontalLayout, SpacerTakesWhatFixedButtonsAndPaddingsLeave) {
  auto l = Lay(R"(<HorizontalLayout>
      <Control name="gap"/>
      <Button name="min" width="24" height="24" padding="0,0,0,0"/>
      <Button name="close" width="24" height="24" padding="2,0,10,0"/>
    </HorizontalLayout>)", {0, 0, 600, 66});
  EXPECT_TRUE(Is(l->pos(L"gap"), 0, 0, 540, 66));
  EXPECT_TRUE(Is(l->pos(L"min"), 540, 0, 564, 24));
  EXPECT_TRUE(Is(l->pos(L"close"), 566, 0, 590, 24));
}

TEST(HorizontalLayout, AdjustablesShareAndLastTakesTheLeftover) {
  const char* xml = R"(<HorizontalLayout %s><Control name="a"/><Control name="b"/></HorizontalLayout>)";
  char buf[256];
  snprintf(buf, sizeof buf, xml, "");
  auto plain = Lay(buf, {0, 0, 101, 10});
  EXPECT_EQ(plain->pos(L"a").Width(), 50);
  EXPECT_EQ(plain->pos(L"b").Width(), 51);
  EXPECT_EQ(plain->pos(L"b").left, 50);
  snprintf(buf, sizeof buf, xml, "ExpandBalance=\"true\"");
  auto balanced = Lay(buf, {0, 0, 101, 10});
  EXPECT_EQ(balanced->pos(L"a").Width(), 51);
  EXPECT_EQ(balanced->pos(L"b").Width(), 50);

  // Three sharing 100 with balance: 34, 33, and the last whatever is left (33).
  auto three = Lay(R"(<HorizontalLayout ExpandBalance="true"><Control name="a"/><Control name="b"/><Control name="c"/></HorizontalLayout>)",
                   {0, 0, 100, 10});
  EXPECT_EQ(three->pos(L"a").Width(), 34);
  EXPECT_EQ(three->pos(L"b").Width(), 33);
  EXPECT_EQ(three->pos(L"c").Width(), 33);
  EXPECT_EQ(three->pos(L"c").right, 100);
}

TEST(HorizontalLayout, ChildPaddingMinMaxAndOverflow) {
  auto l = Lay(R"(<HorizontalLayout childpadding="5">
      <Control name="a" width="30"/>
      <Control name="b" maxwidth="20"/>
      <Control name="c" minwidth="40" width="10"/>
    </HorizontalLayout>)", {10, 0, 210, 50});
  EXPECT_TRUE(Is(l->pos(L"a"), 10, 0, 40, 50));
  // b is the only adjustable, limited by its maximum.
  EXPECT_TRUE(Is(l->pos(L"b"), 45, 0, 65, 50));
  // c's fixed width is below its minimum: clamped up.
  EXPECT_TRUE(Is(l->pos(L"c"), 70, 0, 110, 50));

  // Not enough room: the adjustable gets 0, never a negative width.
  auto tight = Lay(R"(<HorizontalLayout><Control name="a" width="80"/><Control name="b"/><Control name="c" width="80"/></HorizontalLayout>)",
                   {0, 0, 100, 10});
  EXPECT_EQ(tight->pos(L"b").Width(), 0);
  EXPECT_EQ(tight->pos(L"c").left, 80);
}

TEST(HorizontalLayout, VerticalPlacementOfChildren) {
  auto top = Lay(R"(<HorizontalLayout><Control name="a" width="10" height="20" padding="0,3,0,0"/></HorizontalLayout>)", {0, 0, 100, 50});
  EXPECT_TRUE(Is(top->pos(L"a"), 0, 3, 10, 23));
  auto mid = Lay(R"(<HorizontalLayout childvalign="vcenter"><Control name="a" width="10" height="20" padding="0,3,0,0"/></HorizontalLayout>)", {0, 0, 100, 50});
  EXPECT_TRUE(Is(mid->pos(L"a"), 0, 15, 10, 35));
  auto bottom = Lay(R"(<HorizontalLayout childvalign="bottom"><Control name="a" width="10" height="20" padding="0,0,0,4"/></HorizontalLayout>)", {0, 0, 100, 50});
  EXPECT_TRUE(Is(bottom->pos(L"a"), 0, 26, 10, 46));
  // Without a height the child fills the height less its vertical paddings.
  auto fill = Lay(R"(<HorizontalLayout inset="0,5,0,5"><Control name="a" width="10" padding="0,2,0,3"/></HorizontalLayout>)", {0, 0, 100, 50});
  EXPECT_TRUE(Is(fill->pos(L"a"), 0, 7, 10, 42));
}

TEST(VerticalLayout, SharesHeightAndAlignsChildren) {
  auto l = Lay(R"(<VerticalLayout childalign="center" childpadding="4">
      <Control name="a" height="20" width="100"/>
      <Control name="b"/>
      <Control name="c" height="30" width="50" floatalign="right" padding="0,0,6,0"/>
      <Control name="d"/>
    </VerticalLayout>)", {0, 0, 300, 201});
  EXPECT_TRUE(Is(l->pos(L"a"), 100, 0, 200, 20));
  // 201 - 20 - 30 - 3*4 = 139 shared by b and d: 69 and the last 70.
  EXPECT_TRUE(Is(l->pos(L"b"), 0, 24, 300, 93));
  // The child's own alignment wins over the layout's.
  EXPECT_TRUE(Is(l->pos(L"c"), 244, 97, 294, 127));
  EXPECT_TRUE(Is(l->pos(L"d"), 0, 131, 300, 201));

  // Alignment values other than exactly centre or right place at the left edge.
  auto both = Lay(R"(<VerticalLayout><Control name="a" width="50" height="10" floatalign="center,vcenter" padding="7,0,0,0"/></VerticalLayout>)",
                  {0, 0, 300, 100});
  EXPECT_TRUE(Is(both->pos(L"a"), 7, 0, 57, 10));
}

TEST(CentringHints, UseTheParentsWholeRectangle) {
  auto l = Lay(R"(<VerticalLayout inset="40,0,0,0" childalign="right">
      <Control name="h" width="100" height="10" horzpaddingcenter="true" padding="30,0,0,0"/>
    </VerticalLayout>)", {0, 0, 400, 300});
  EXPECT_TRUE(Is(l->pos(L"h"), 150, 0, 250, 10));
  auto v = Lay(R"(<HorizontalLayout><Control name="v" width="20" height="40" vertpaddingcenter="true"/></HorizontalLayout>)",
               {10, 10, 110, 111});
  EXPECT_TRUE(Is(v->pos(L"v"), 10, 40, 30, 80));
}

TEST(FloatRule, AlignmentFlagsAndFixedPositions) {
  auto l = Lay(R"(<HorizontalLayout>
      <Control name="edit" width="500" height="34"/>
    </HorizontalLayout>)", {0, 0, 600, 34});
  auto parent = Lay(R"(<Container inset="3,3,3,3">
      <Button name="btn" float="true" floatalign="right,vcenter" width="38" height="34"/>
      <Control name="p" float="true" pos="10,5,40,25"/>
      <Control name="neg" float="true" pos="-1,-1,30,20"/>
      <Control name="c" float="true" floatalign="center bottom" width="100" height="10"/>
    </Container>)", {100, 200, 600, 234});
  EXPECT_TRUE(Is(parent->pos(L"btn"), 100 + 462, 200, 600, 234));
  EXPECT_TRUE(Is(parent->pos(L"p"), 110, 205, 140, 225));
  // A negative left takes right as x, a negative top takes bottom as y.
  EXPECT_TRUE(Is(parent->pos(L"neg"), 130, 220, 161, 241));
  EXPECT_TRUE(Is(parent->pos(L"c"), 300, 224, 400, 234));

  // Relative position fractions of the parent's size.
  CControlUI* p = parent->root->FindControl(L"p");
  p->SetRelativePos(0.5f, 0.5f, 0.5f, 0.5f);
  ControlCast<CContainerUI>(parent->root.get())->SetFloatPos(1);
  EXPECT_TRUE(Is(p->GetPos(), 100 + 250 + 10, 200 + 17 + 5, 100 + 250 + 30 + 10, 200 + 17 + 20 + 5));
}

TEST(Scaling, SizesPaddingsAndInsetsFollowTheScale) {
  const char* xml = R"(<VerticalLayout childpadding="10" inset="4,4,4,4" %s>
      <Control name="a" height="38" padding="0,17,0,0"/>
      <Control name="b" height="10"/>
      <Control name="f" float="true" pos="10,10,30,20"/>
    </VerticalLayout>)";
  char buf[512];
  snprintf(buf, sizeof buf, xml, "");
  auto l = Lay(buf, {0, 0, 900, 690}, 150);
  EXPECT_EQ(l->pos(L"a").Height(), 57);
  EXPECT_EQ(l->pos(L"a").top, 6 + 26);           // inset 4 -> 6, padding 17 -> 26 (25.5 rounded)
  EXPECT_EQ(l->pos(L"b").top, 32 + 57 + 10);     // child padding unscaled
  EXPECT_TRUE(Is(l->pos(L"f"), 15, 15, 45, 30));  // floating position and size scaled
  snprintf(buf, sizeof buf, xml, "DpiChildPadding=\"true\" DPIInset=\"false\"");
  auto s = Lay(buf, {0, 0, 900, 690}, 150);
  EXPECT_EQ(s->pos(L"a").top, 4 + 26);
  EXPECT_EQ(s->pos(L"b").top, 30 + 57 + 15);
  // A padding that does not follow the scale.
  auto raw = Lay(R"(<VerticalLayout><Control name="a" height="10" padding="0,17,0,0" DPIPadding="false"/></VerticalLayout>)", {0, 0, 100, 100}, 150);
  EXPECT_EQ(raw->pos(L"a").top, 17);
  // 175 %: 24 * 1.75 = 42, 17 * 1.75 = 29.75 -> 30.
  auto s175 = Lay(R"(<HorizontalLayout><Control name="a" width="24" padding="17,0,0,0"/></HorizontalLayout>)", {0, 0, 1000, 100}, 175);
  EXPECT_TRUE(Is(s175->pos(L"a"), 30, 0, 72, 100));
}

TEST(TabLayout, PlacesOnlyTheSelectedPage) {
  auto l = Lay(R"(<TabLayout name="tab" inset="10,10,10,10">
      <VerticalLayout name="p0"><Control name="c0" height="20"/></VerticalLayout>
      <VerticalLayout name="p1" padding="5,5,5,5"><Control name="c1" height="20"/></VerticalLayout>
    </TabLayout>)", {0, 0, 200, 100}, 150);
  // Inset read unscaled, the page's padding scaled.
  EXPECT_TRUE(Is(l->pos(L"p0"), 10, 10, 190, 90));
  EXPECT_TRUE(Is(l->pos(L"p1"), 0, 0, 0, 0));
  EXPECT_FALSE(l->root->FindControl(L"c1")->IsVisible());
  auto* tab = ControlCast<CTabLayoutUI>(l->root.get());
  ASSERT_TRUE(tab->SelectItem(1));
  EXPECT_TRUE(Is(l->pos(L"p1"), 18, 18, 182, 82));
  EXPECT_TRUE(Is(l->pos(L"c1"), 18, 18, 182, 48));
  EXPECT_TRUE(l->root->FindControl(L"c1")->IsVisible());
  EXPECT_FALSE(l->root->FindControl(L"c0")->IsVisible());
  ASSERT_EQ(l->ctx.notes.size(), 1u);
  EXPECT_EQ(l->ctx.notes[0].type, L"tabselect");
  EXPECT_FALSE(tab->SelectItem(2));
  EXPECT_TRUE(tab->SelectItem(0, false));
  EXPECT_EQ(l->ctx.notes.size(), 1u);
}

TEST(PlainContainer, ChildrenFillTheContentAreaWithinTheirLimits) {
  auto l = Lay(R"(<Container inset="5,5,5,5"><Control name="a" maxwidth="50" minheight="200"/><Control name="b"/></Container>)",
               {0, 0, 100, 100});
  EXPECT_TRUE(Is(l->pos(L"a"), 5, 5, 55, 205));
  EXPECT_TRUE(Is(l->pos(L"b"), 5, 5, 95, 95));
}

TEST(AutoCalcWidth, LabelsMeasureAndLayoutsSumChildren) {
  auto l = Lay(R"(<VerticalLayout>
      <HorizontalLayout name="row" height="20">
        <Label name="lab" text="abcd" autocalcwidth="true" textpadding="3,0,2,0"/>
        <Control width="10"/>
      </HorizontalLayout>
      <HorizontalLayout name="sum" height="20" autocalcwidth="true" horzpaddingcenter="true">
        <Control width="10"/><Control width="15"/><Control width="5" float="true"/>
      </HorizontalLayout>
    </VerticalLayout>)", {0, 0, 300, 300});
  // 4 characters at 7 pixels plus the text padding.
  EXPECT_EQ(l->pos(L"lab").Width(), 33);
  EXPECT_EQ(l->pos(L"sum").Width(), 25);
  EXPECT_EQ(l->pos(L"sum").left, 150 - 12);
  // Changing the text asks for a new layout and a new measurement.
  int before = l->ctx.updates;
  l->root->FindControl(L"lab")->SetText(L"ab");
  EXPECT_GT(l->ctx.updates, before);
  l->root->SetPos({0, 0, 300, 300}, false);
  EXPECT_EQ(l->pos(L"lab").Width(), 19);
}
