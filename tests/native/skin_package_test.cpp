// The sample's skin and the product-neutral default skin, built from their sources and laid
// out at each scale: the controls the installer window looks up exist with their types,
// and the geometry the markup asks for comes out (caption buttons, path box, pages); the
// neutral skin names no product of its own.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "markupbuilder.h"
#include "markupvalues.h"
#include "skin_fakecontext.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uiedit.h"

#ifndef SKIN_SOURCE_DIR
#error "SKIN_SOURCE_DIR names resources/skin"
#endif
#ifndef NEUTRAL_SKIN_SOURCE_DIR
#error "NEUTRAL_SKIN_SOURCE_DIR names resources/neutralskin"
#endif

using namespace skin;

namespace {

bool ReadFrom(const char* dir, const std::wstring& path, std::string* out) {
  std::ifstream f(std::string(dir) + "/" + ToUtf8(path), std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  *out = s.str();
  return true;
}

bool ReadSkinFile(const std::wstring& path, std::string* out) { return ReadFrom(SKIN_SOURCE_DIR, path, out); }

// The neutral skin is staged over the sample's fonts and sprites.
bool ReadNeutralSkinFile(const std::wstring& path, std::string* out) {
  return ReadFrom(NEUTRAL_SKIN_SOURCE_DIR, path, out) || ReadSkinFile(path, out);
}

struct Skin {
  FakeContext ctx;
  WindowSpec window;
  std::unique_ptr<CControlUI> root;
  explicit Skin(int scale, const FileReader& read = ReadSkinFile) {
    ctx.scale = scale;
    std::wstring error;
    root = BuildMarkup(L"Layout/Layout.xml", read, nullptr, &window, &error);
    EXPECT_TRUE(root) << ToUtf8(error);
    if (!root) return;
    root->SetManager(&ctx, nullptr);
    int w = ScaleValue(window.size.cx, scale), h = ScaleValue(window.size.cy, scale);
    root->SetPos({0, 0, w, h}, false);
  }
  template <typename T>
  T* Get(const wchar_t* name) {
    T* c = root ? ControlCast<T>(root->FindControl(name)) : nullptr;
    EXPECT_NE(c, nullptr) << ToUtf8(name);
    return c;
  }
};

}  // namespace

TEST(SkinPackage, WindowSettingsAndFonts) {
  Skin s(100);
  EXPECT_EQ(s.window.size, (Size{600, 460}));
  EXPECT_EQ(s.window.minInfo, (Size{600, 460}));
  EXPECT_EQ(s.window.caption, (Rect{0, 0, 0, 66}));
  EXPECT_TRUE(s.window.layered && s.window.showShadow && s.window.gdiplusText && s.window.autoDpi);
  EXPECT_FALSE(s.window.normalTab);
  EXPECT_EQ(s.window.textRenderingHint, 5);
  EXPECT_EQ(s.window.tooltipTextColor, 0xFF8B8989u);
  std::set<int> ids;
  int defaults = 0;
  for (const FontSpec& f : s.window.fonts) {
    ids.insert(f.id);
    defaults += f.isDefault;
    EXPECT_EQ(f.name, L"\u5FAE\u8F6F\u96C5\u9ED1");
    EXPECT_GE(f.size, 10);
    EXPECT_LE(f.size, 26);
    if (f.isDefault) {
      EXPECT_EQ(f.size, 12);
    }
  }
  EXPECT_EQ(defaults, 1);
  for (int id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 15, 16, 17, 18, 1000, 1001}) EXPECT_TRUE(ids.count(id)) << id;
}

TEST(SkinPackage, ControlsTheWindowLooksUp) {
  Skin s(100);
  auto* tab = s.Get<CTabLayoutUI>(L"TabMain");
  ASSERT_TRUE(tab);
  EXPECT_EQ(tab->GetCount(), 3);
  auto* init = s.Get<CVerticalLayoutUI>(L"VertInitView");
  auto* install = s.Get<CVerticalLayoutUI>(L"VertInstallView");
  s.Get<CVerticalLayoutUI>(L"VertCompleteView");
  s.Get<CHorizontalLayoutUI>(L"HorizCaptionBtn");
  ASSERT_TRUE(init && install);
  EXPECT_EQ(install->GetTag(), 2000);
  EXPECT_EQ(install->GetBkImage(), L"Image/InstallBk0.png");
  auto* path = ControlCast<CRichEditUI>(init->FindControl(L"EditInstallPath"));
  ASSERT_TRUE(path);
  EXPECT_EQ(path->GetText(), L"$global_install_path$");
  EXPECT_EQ(path->GetUserData(), L"InstallPath");
  auto* licence = ControlCast<COptionUI>(init->FindControl(L"CheckLicence"));
  ASSERT_TRUE(licence);
  EXPECT_TRUE(licence->IsSelected());
  // Every option of the options page names its global.
  auto options = ControlCast<CContainerUI>(init)->FindAll<COptionUI>();
  std::set<std::wstring> globals;
  for (COptionUI* o : options) globals.insert(o->GetUserData());
  EXPECT_EQ(globals, (std::set<std::wstring>{L"LicenceChk", L"FileAssoChk", L"StartMenuShortcutChk"}));
  EXPECT_TRUE(ControlCast<CButtonUI>(init->FindControl(L"BtnInstall")));
  EXPECT_TRUE(ControlCast<CButtonUI>(init->FindControl(L"BtnSelectPath")));
  EXPECT_TRUE(ControlCast<CButtonUI>(init->FindControl(L"BtnLicenceLink")));
  EXPECT_TRUE(ControlCast<CProgressUI>(install->FindControl(L"ProgressInstall")));
  EXPECT_TRUE(ControlCast<CLabelUI>(install->FindControl(L"LabelInstallValue")));
  EXPECT_TRUE(ControlCast<CButtonUI>(s.root->FindControl(L"BtnStart")));
  EXPECT_TRUE(ControlCast<CButtonUI>(s.root->FindControl(L"BtnClose")));
  EXPECT_TRUE(ControlCast<CButtonUI>(s.root->FindControl(L"BtnMin")));
  // Not in this edition's skin.
  EXPECT_EQ(s.root->FindControl(L"CheckDesktopLaunch"), nullptr);
  EXPECT_EQ(s.root->FindControl(L"CheckAutoStartup"), nullptr);
  EXPECT_EQ(s.root->FindControl(L"InstallSearchServer"), nullptr);
  EXPECT_FALSE(s.root->FindControl(L"LabelPartnerLogo")->IsVisible());
}

TEST(SkinPackage, GeometryAtEachScale) {
  for (int scale : {100, 125, 150, 175, 200}) {
    SCOPED_TRACE(scale);
    Skin s(scale);
    auto px = [&](int v) { return ScaleValue(v, scale); };
    const int w = px(600);
    // Caption buttons: 24 wide, the close button 10 from the right edge, 2 apart.
    Rect close = s.Get<CControlUI>(L"BtnClose")->GetPos();
    Rect min = s.Get<CControlUI>(L"BtnMin")->GetPos();
    EXPECT_EQ(close.right, w - px(10));
    EXPECT_EQ(close.Width(), px(24));
    EXPECT_EQ(close.Height(), px(24));
    EXPECT_EQ(close.top, px(10));
    EXPECT_EQ(min.right, close.left - px(2));
    EXPECT_EQ(min.Width(), px(24));
    // Path box: 500 x 34 centred; the folder button inside its right end.
    Rect path = s.Get<CControlUI>(L"EditInstallPath")->GetPos();
    EXPECT_EQ(path.Width(), px(500));
    EXPECT_EQ(path.Height(), px(34));
    EXPECT_EQ(path.left, w / 2 - px(500) / 2);
    EXPECT_EQ(path.top, px(306));
    Rect folder = s.Get<CControlUI>(L"BtnSelectPath")->GetPos();
    EXPECT_EQ(folder.right, path.right);
    EXPECT_EQ(folder.Width(), px(38));
    EXPECT_EQ(folder.top, path.top);
    // Install button centred under it.
    Rect install = s.Get<CControlUI>(L"BtnInstall")->GetPos();
    EXPECT_EQ(install.Width(), px(216));
    EXPECT_EQ(install.top, path.bottom + px(22));
    EXPECT_EQ(install.left, w / 2 - px(216) / 2);
    // The options row stays inside the window.
    Rect last = s.Get<CControlUI>(L"StartMenuShortcutChk")->GetPos();
    EXPECT_LE(last.right, path.right);
    EXPECT_LT(s.Get<CControlUI>(L"BtnLicenceLink")->GetPos().right, s.Get<CControlUI>(L"FileAssoChk")->GetPos().left);
    // The first page fills the window.
    EXPECT_EQ(s.Get<CControlUI>(L"VertInitView")->GetPos(), (Rect{0, 0, w, px(460)}));
  }
}

TEST(SkinPackage, ProgressAndCompletionPagesAfterSwitching) {
  Skin s(150);
  auto* tab = s.Get<CTabLayoutUI>(L"TabMain");
  ASSERT_TRUE(tab);
  ASSERT_TRUE(tab->SelectItem(1));
  Rect bar = s.Get<CControlUI>(L"ProgressInstall")->GetPos();
  EXPECT_EQ(bar.Width(), 750);
  EXPECT_EQ(bar.Height(), 12);
  EXPECT_EQ(bar.left, 75);
  EXPECT_TRUE(s.root->FindControl(L"ProgressInstall")->IsVisible());
  EXPECT_FALSE(s.root->FindControl(L"BtnInstall")->IsVisible());
  ASSERT_TRUE(tab->SelectItem(2, false));
  EXPECT_EQ(s.Get<CControlUI>(L"BtnStart")->GetPos(), (Rect{519, 500, 843, 572}));
  EXPECT_EQ(s.Get<CControlUI>(L"PicQuickMark")->GetPos(), (Rect{75, 459, 225, 609}));
}

TEST(SkinPackage, NeutralSkinShowsTheConfiguredProduct) {
  for (int scale : {100, 150}) {
    SCOPED_TRACE(scale);
    Skin s(scale, ReadNeutralSkinFile);
    auto px = [&](int v) { return ScaleValue(v, scale); };
    auto* tab = s.Get<CTabLayoutUI>(L"TabMain");
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->GetCount(), 3);
    auto* init = s.Get<CVerticalLayoutUI>(L"VertInitView");
    auto* install = s.Get<CVerticalLayoutUI>(L"VertInstallView");
    ASSERT_TRUE(init && install);
    EXPECT_EQ(install->GetTag(), 2000);
    EXPECT_EQ(install->GetBkImage(), L"Image/InstallBk0.png");
    s.Get<CVerticalLayoutUI>(L"VertCompleteView");
    s.Get<CHorizontalLayoutUI>(L"HorizCaptionBtn");
    auto* path = s.Get<CRichEditUI>(L"EditInstallPath");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->GetText(), L"$global_install_path$");
    EXPECT_EQ(path->GetUserData(), L"InstallPath");
    EXPECT_EQ(path->GetPos().top, px(306));
    ASSERT_TRUE(s.Get<COptionUI>(L"CheckLicence"));
    EXPECT_TRUE(s.Get<COptionUI>(L"CheckLicence")->IsSelected());
    s.Get<CButtonUI>(L"BtnInstall");
    s.Get<CButtonUI>(L"BtnSelectPath");
    s.Get<CButtonUI>(L"BtnLicenceLink");
    s.Get<CProgressUI>(L"ProgressInstall");
    s.Get<CLabelUI>(L"LabelInstallValue");
    s.Get<CButtonUI>(L"BtnStart");
    s.Get<CButtonUI>(L"BtnClose");
    s.Get<CButtonUI>(L"BtnMin");
    // No association option: the scripts associate only what the configuration names.
    std::set<std::wstring> globals;
    for (COptionUI* o : ControlCast<CContainerUI>(init)->FindAll<COptionUI>()) globals.insert(o->GetUserData());
    EXPECT_EQ(globals, (std::set<std::wstring>{L"LicenceChk", L"StartMenuShortcutChk"}));
    // The product comes from the configuration, drawn as text; the logo is the program icon.
    EXPECT_EQ(s.Get<CLabelUI>(L"LabelCaption")->GetText(), L"$global_product_name$ \u5B89\u88C5\u5411\u5BFC");
    EXPECT_EQ(s.Get<CLabelUI>(L"LabelTitle")->GetText(), L"$global_product_name$");
    for (const wchar_t* logo : {L"LogoInit", L"LogoInstall", L"IconProduct"}) {
      EXPECT_EQ(s.Get<CControlUI>(logo)->GetBkImage(), L"Image/ProgramIcon.ico") << ToUtf8(logo);
    }
    Rect title = s.Get<CControlUI>(L"LabelTitle")->GetPos();
    EXPECT_EQ(title.Width(), px(560));
    EXPECT_LT(title.bottom, path->GetPos().top);
    std::vector<CControlUI*> all = ControlCast<CContainerUI>(s.root.get())->FindAll<CControlUI>();
    for (CControlUI* c : all) {
      EXPECT_EQ(c->GetText().find(L"Ruvan"), std::wstring::npos) << ToUtf8(c->GetName());
      EXPECT_EQ(c->GetBkImage().find(L"Icon.svg"), std::wstring::npos) << ToUtf8(c->GetName());
    }
  }
}
