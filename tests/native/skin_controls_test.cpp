// Controls' behaviour without a window: the edit model, options, buttons, progress,
// markup building and its failures, the archive reader on damaged input.
#include <gtest/gtest.h>

#include "editbuffer.h"
#include "markupbuilder.h"
#include "markupvalues.h"
#include "skin_fakecontext.h"
#include "skinarchive.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uiedit.h"

using namespace skin;

TEST(EditBuffer, TypingSelectionAndDeletion) {
  EditBuffer b(10);
  EXPECT_TRUE(b.Insert(L"C:\\Apps"));
  EXPECT_EQ(b.Caret(), 7u);
  b.MoveLeft(true, false);
  b.MoveLeft(true, false);
  EXPECT_EQ(b.SelectedText(), L"ps");
  EXPECT_TRUE(b.Insert(L"X"));
  EXPECT_EQ(b.Text(), L"C:\\ApX");
  // Line breaks and control characters never enter a single-line box.
  EXPECT_TRUE(b.Insert(L"a\r\nb\tc"));
  EXPECT_EQ(b.Text(), L"C:\\ApXabc");
  // The maximum length cuts what is inserted.
  EXPECT_TRUE(b.Insert(L"12345"));
  EXPECT_EQ(b.Text(), L"C:\\ApXabc1");
  EXPECT_FALSE(b.Insert(L"z"));
  b.Home(false);
  EXPECT_FALSE(b.Backspace());
  EXPECT_TRUE(b.Delete());
  EXPECT_EQ(b.Text(), L":\\ApXabc1");
  b.End(true);
  EXPECT_EQ(b.SelectedText(), L":\\ApXabc1");
  EXPECT_TRUE(b.Backspace());
  EXPECT_EQ(b.Text(), L"");
  b.SetText(L"one two");
  b.MoveLeft(false, true);
  EXPECT_EQ(b.Caret(), 4u);
  b.SelectAll();
  b.MoveRight(false, false);  // collapses the selection at its end
  EXPECT_FALSE(b.HasSelection());
  EXPECT_EQ(b.Caret(), 7u);
  b.SetCaret(99, false);
  EXPECT_EQ(b.Caret(), 7u);
}

TEST(RichEdit, KeysClipboardAndImeThroughEvents) {
  FakeContext ctx;
  CRichEditUI edit;
  edit.SetManager(&ctx, nullptr);
  edit.SetAttribute(L"textpadding", L"10,0,10,0");
  edit.SetAttribute(L"text", L"$global_install_path$");
  edit.SetPos({0, 0, 200, 34}, false);
  edit.SetFocus();
  EXPECT_TRUE(edit.IsFocused());
  ASSERT_EQ(ctx.timers.size(), 1u);
  EXPECT_EQ(ctx.timers[0].second, CRichEditUI::kCaretTimer);

  UIEvent e;
  e.type = EventType::KeyDown;
  e.key = kKeyA;
  e.ctrl = true;
  edit.Event(e);
  e.key = kKeyX;
  edit.Event(e);
  EXPECT_EQ(ctx.clipboard, L"$global_install_path$");
  EXPECT_EQ(edit.GetText(), L"");
  ctx.clipboard = L"D:\\Apps";
  e.key = kKeyV;
  edit.Event(e);
  UIEvent ch;
  ch.type = EventType::Char;
  ch.key = L'\\';
  edit.Event(ch);
  UIEvent ime;
  ime.type = EventType::ImeResult;
  ime.text = L"\u8F6F\u4EF6";
  edit.Event(ime);
  EXPECT_EQ(edit.GetText(), L"D:\\Apps\\\u8F6F\u4EF6");
  int changes = 0;
  for (auto& n : ctx.notes) changes += n.type == L"textchanged";
  EXPECT_EQ(changes, 4);
  // The caret's blink timer is the edit's own business, never a "timer" notification.
  UIEvent t;
  t.type = EventType::Timer;
  t.key = CRichEditUI::kCaretTimer;
  edit.Event(t);
  for (auto& n : ctx.notes) EXPECT_NE(n.type, L"timer");
  // A click places the caret by the text's measured width (7 pixels a character).
  UIEvent click;
  click.type = EventType::ButtonDown;
  click.pt = {10 + 7 * 3, 10};
  edit.Event(click);
  EXPECT_EQ(edit.Buffer().Caret(), 3u);
}

TEST(Option, SelectionNotifiesAndGroupsAreExclusive) {
  FakeContext ctx;
  std::wstring error;
  auto root = BuildMarkupText(R"(<Window><HorizontalLayout>
      <Option name="chk" selected="true"/>
      <Option name="r1" group="g" selected="true"/><Option name="r2" group="g"/>
    </HorizontalLayout></Window>)", nullptr, nullptr, nullptr, &error);
  ASSERT_TRUE(root);
  root->SetManager(&ctx, nullptr);
  root->SetPos({0, 0, 300, 20}, false);
  auto* chk = ControlCast<COptionUI>(root->FindControl(L"chk"));
  auto* r1 = ControlCast<COptionUI>(root->FindControl(L"r1"));
  auto* r2 = ControlCast<COptionUI>(root->FindControl(L"r2"));
  ASSERT_TRUE(chk && r1 && r2);
  EXPECT_TRUE(chk->IsSelected());
  UIEvent down, up;
  down.type = EventType::ButtonDown;
  up.type = EventType::ButtonUp;
  down.pt = up.pt = {chk->GetPos().left + 1, 5};
  chk->Event(down);
  chk->Event(up);
  EXPECT_FALSE(chk->IsSelected());
  ASSERT_EQ(ctx.notes.size(), 2u);
  EXPECT_EQ(ctx.notes[0].type, L"click");
  EXPECT_EQ(ctx.notes[1].type, L"selectchanged");
  r2->Selected(true);
  EXPECT_FALSE(r1->IsSelected());
  // Selecting without notification.
  ctx.notes.clear();
  chk->Selected(true, false);
  EXPECT_TRUE(ctx.notes.empty());
  // A disabled option ignores clicks.
  chk->SetEnabled(false);
  chk->Event(down);
  chk->Event(up);
  EXPECT_TRUE(chk->IsSelected());
  // A press released outside the control is no click.
  chk->SetEnabled(true);
  up.pt = {-5, -5};
  chk->Event(down);
  chk->Event(up);
  EXPECT_TRUE(chk->IsSelected());
}

TEST(Progress, ValueStaysWithinItsRange) {
  CProgressUI p;
  EXPECT_EQ(p.GetMaxValue(), 100);
  p.SetValue(150);
  EXPECT_EQ(p.GetValue(), 100);
  p.SetValue(-3);
  EXPECT_EQ(p.GetValue(), 0);
  p.SetPos({10, 0, 510, 10}, false);
  p.SetValue(40);
  EXPECT_EQ(p.FilledRect(), (Rect{10, 0, 210, 10}));
  p.SetAttribute(L"max", L"200");
  EXPECT_EQ(p.FilledRect(), (Rect{10, 0, 110, 10}));
}

TEST(Timers, ControlTimersBecomeTimerNotifications) {
  FakeContext ctx;
  CVerticalLayoutUI page;
  page.SetManager(&ctx, nullptr);
  EXPECT_TRUE(page.SetTimer(1989, 2000));
  UIEvent t;
  t.type = EventType::Timer;
  t.key = 1989;
  page.Event(t);
  ASSERT_EQ(ctx.notes.size(), 1u);
  EXPECT_EQ(ctx.notes[0].type, L"timer");
  EXPECT_EQ(ctx.notes[0].wParam, 1989u);
  EXPECT_EQ(ctx.notes[0].sender, &page);
}

TEST(MarkupBuilder, WindowSettingsFontsIncludesAndLookups) {
  std::map<std::wstring, std::string> files = {
      {L"font.xml", R"(<?xml version="1.0" encoding="utf-8"?><Window><Font id="0" name="微软雅黑" size="12" default="true"/><Font id="1000" name="微软雅黑" size="14" bold="true" shared="true"/></Window>)"},
  };
  FileReader read = [&](const std::wstring& p, std::string* out) {
    auto it = files.find(p);
    if (it == files.end()) return false;
    *out = it->second;
    return true;
  };
  WindowSpec w;
  std::wstring error;
  auto root = BuildMarkupText(R"(<Window size="600,460" caption="0,0,0,66" bktrans="true" showshadow="true" autodpi="true" normaltab="false" outlinetext="true" tooltipbkcolor="#FFFFFFFF">
      <Include source="font.xml"/>
      <VerticalLayout name="root"><Label name="l" text="安装" userdata="x" Tag="2000" unknownattr="1"/><Mystery/></VerticalLayout>
    </Window>)", read, nullptr, &w, &error);
  ASSERT_TRUE(root) << ToUtf8(error);
  EXPECT_EQ(w.size, (Size{600, 460}));
  EXPECT_EQ(w.caption.bottom, 66);
  EXPECT_TRUE(w.layered && w.showShadow && w.autoDpi);
  EXPECT_FALSE(w.normalTab);
  EXPECT_EQ(w.tooltipBkColor, 0xFFFFFFFFu);
  ASSERT_EQ(w.fonts.size(), 2u);
  EXPECT_EQ(w.fonts[0].name, L"\u5FAE\u8F6F\u96C5\u9ED1");
  EXPECT_TRUE(w.fonts[0].isDefault);
  EXPECT_TRUE(w.fonts[1].bold && w.fonts[1].shared);
  EXPECT_EQ(w.fonts[1].size, 14);
  auto* label = ControlCast<CLabelUI>(root->FindControl(L"l"));
  ASSERT_TRUE(label);
  EXPECT_EQ(label->GetText(), L"\u5B89\u88C5");
  EXPECT_EQ(label->GetUserData(), L"x");
  EXPECT_EQ(label->GetTag(), 2000);
  EXPECT_EQ(ControlCast<CButtonUI>(root->FindControl(L"l")), nullptr);
  EXPECT_EQ(ControlCast<CContainerUI>(root.get())->GetCount(), 1);  // unknown element skipped
}

TEST(MarkupBuilder, BrokenMarkupFailsWithAReason) {
  FileReader none = [](const std::wstring&, std::string*) { return false; };
  std::wstring error;
  EXPECT_FALSE(BuildMarkupText("<Window><VerticalLayout></Window>", none, nullptr, nullptr, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(BuildMarkupText("<Dialog><VerticalLayout/></Dialog>", none, nullptr, nullptr, &error));
  EXPECT_NE(error.find(L"Window"), std::wstring::npos);
  error.clear();
  EXPECT_FALSE(BuildMarkupText("<Window size=\"1,1\"/>", none, nullptr, nullptr, &error));
  error.clear();
  EXPECT_FALSE(BuildMarkup(L"Layout/Layout.xml", none, nullptr, nullptr, &error));
  EXPECT_NE(error.find(L"Layout/Layout.xml"), std::wstring::npos);
  error.clear();
  EXPECT_FALSE(BuildMarkupText("", none, nullptr, nullptr, &error));
  // An include that includes itself stops at the nesting limit instead of recursing.
  FileReader self = [](const std::wstring&, std::string* out) {
    *out = "<Window><Include source=\"loop.xml\"/></Window>";
    return true;
  };
  error.clear();
  auto r = BuildMarkupText("<Window><Include source=\"loop.xml\"/><Control/></Window>", self, nullptr, nullptr, &error);
  EXPECT_TRUE(r);
  EXPECT_NE(error.find(L"nested"), std::wstring::npos);
  // Deeply nested elements do not exhaust the stack.
  std::string deep = "<Window>";
  for (int i = 0; i < 20000; ++i) deep += "<Container>";
  for (int i = 0; i < 20000; ++i) deep += "</Container>";
  deep += "</Window>";
  error.clear();
  auto d = BuildMarkupText(deep, none, nullptr, nullptr, &error);
  EXPECT_TRUE(d);
}

TEST(SkinArchive, RejectsDamagedInputWithoutCrashing) {
  CSkinArchive a;
  EXPECT_FALSE(a.Open(nullptr, 0));
  std::string junk(5000, 'x');
  EXPECT_FALSE(a.Open(junk.data(), junk.size()));
  // An end-of-central-directory record pointing far outside the data.
  std::string eocd = "PK\x05\x06";
  eocd += std::string(6, '\0');
  eocd += "\x01\x00\x01\x00";       // one entry
  eocd += "\xff\xff\x00\x00";       // directory size
  eocd += "\xff\xff\xff\x00";       // directory offset
  eocd += "\x00\x00";
  std::string bad = std::string(100, '\0') + std::string(eocd.data(), 22);
  if (a.Open(bad.data(), bad.size())) {
    std::string out;
    EXPECT_FALSE(a.Read(L"anything", &out));
  }
  EXPECT_FALSE(a.Exists(L"Layout/Layout.xml"));
  std::string out;
  EXPECT_FALSE(a.Read(L"Layout/Layout.xml", &out));
}
