// The markup's value syntax, DPI snapping and the choice of images by scale.
#include <gtest/gtest.h>

#include <set>

#include "dpi.h"
#include "imageresolve.h"
#include "markupvalues.h"

using namespace skin;

TEST(Colour, HashAndHexPrefixGiveTheSameArgb) {
  EXPECT_EQ(ParseColor(L"#FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseColor(L"0xffffffff"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseColor(L"#FF8B8989"), 0xFF8B8989u);
  EXPECT_EQ(ParseColor(L"0xFF8B8989"), 0xFF8B8989u);
  EXPECT_EQ(ParseColor(L"#ff8b8989"), 0xFF8B8989u);
  EXPECT_EQ(ParseColor(L""), 0u);
  EXPECT_EQ(ParseColor(L"#"), 0u);
  // The first character that is no base-36 digit ends the colour.
  EXPECT_EQ(ParseColor(L"#FF00 junk"), 0xFF00u);
  // Letters past f count by their base-36 value: z is 35.
  EXPECT_EQ(ParseColor(L"#1z"), 1u * 16 + 35);
  // Accumulation wraps in 32 bits: only the last eight hex digits stay.
  EXPECT_EQ(ParseColor(L"#12FF000000"), 0xFF000000u);
}

TEST(MarkupValues, BooleansRectanglesSizesAndAlignment) {
  EXPECT_TRUE(ParseBool(L"true"));
  EXPECT_FALSE(ParseBool(L"false"));
  EXPECT_FALSE(ParseBool(L"TRUE1"));
  EXPECT_EQ(ParseRect(L"0,0,0,66"), (Rect{0, 0, 0, 66}));
  EXPECT_EQ(ParseRect(L"-1,2, 3 ,4"), (Rect{-1, 2, 3, 4}));
  EXPECT_EQ(ParseRect(L"5,6"), (Rect{5, 6, 0, 0}));
  EXPECT_EQ(ParseRect(L"garbage"), (Rect{}));
  EXPECT_EQ(ParseSize(L"600,460"), (Size{600, 460}));
  EXPECT_EQ(ParseFloatAlign(L"right,vcenter"), 2u | 4u);
  EXPECT_EQ(ParseFloatAlign(L"center bottom"), 1u | 8u);
  EXPECT_EQ(ParseFloatAlign(L"left,top"), 0u);
  EXPECT_EQ(ParseFloatAlign(L"right,nullptr,bottom"), 8u);
  EXPECT_EQ(ParseFloatAlign(L"sideways"), 0u);
}

TEST(MarkupValues, Utf8RoundTrip) {
  const char* text = "\xE5\xAE\x89\xE8\xA3\x85\xE4\xB8\xAD...  (50\xEF\xBC\x85) \xF0\x9F\x98\x80";
  std::wstring w = FromUtf8(text);
  EXPECT_EQ(w.substr(0, 3), L"\u5B89\u88C5\u4E2D");
  EXPECT_EQ(ToUtf8(w), text);
  // Broken sequences become replacement characters instead of running past the end.
  EXPECT_EQ(FromUtf8("a\xE5\xAE"), std::wstring(L"a\uFFFD"));
  EXPECT_EQ(FromUtf8(nullptr), L"");
}

TEST(Dpi, SnapsToTheScaleSteps) {
  EXPECT_EQ(SnapDpi(72), 72);
  EXPECT_EQ(SnapDpi(95), 95);
  EXPECT_EQ(SnapDpi(96), 96);
  EXPECT_EQ(SnapDpi(110), 96);
  EXPECT_EQ(SnapDpi(119), 96);
  EXPECT_EQ(SnapDpi(120), 120);
  EXPECT_EQ(SnapDpi(143), 120);
  EXPECT_EQ(SnapDpi(144), 144);
  EXPECT_EQ(SnapDpi(167), 144);
  EXPECT_EQ(SnapDpi(168), 168);
  EXPECT_EQ(SnapDpi(191), 168);
  EXPECT_EQ(SnapDpi(192), 192);
  EXPECT_EQ(SnapDpi(200), 192);
  EXPECT_EQ(SnapDpi(480), 192);
  EXPECT_EQ(ScaleForDpi(SnapDpi(110)), 100);
  EXPECT_EQ(ScaleForDpi(SnapDpi(200)), 200);
  EXPECT_EQ(ScaleForDpi(120), 125);
  EXPECT_EQ(ScaleForDpi(144), 150);
  EXPECT_EQ(ScaleForDpi(168), 175);
  EXPECT_EQ(ScaleValue(17, 150), 26);
  EXPECT_EQ(ScaleValue(-17, 150), -26);
  EXPECT_EQ(ScaleValue(38, 150), 57);
  EXPECT_EQ(ScaleValue(14, 125), 18);
}

namespace {
const std::set<std::wstring> kArchive = {
    L"Image/BkViewInit.png", L"Image/BkViewInit@150.png", L"Image/CheckLicence.svg",
    L"Image/QuickMark.jpg"};
bool InArchive(const std::wstring& p) { return kArchive.count(p) != 0; }
}  // namespace

TEST(ImageResolution, ScaledPngVariantsWhenTheyExist) {
  ImageLocation at150 = ResolveImagePath(L"Image/BkViewInit.png", 150, InArchive);
  EXPECT_EQ(at150.path, L"Image/BkViewInit@150.png");
  EXPECT_TRUE(at150.scaled);
  EXPECT_FALSE(at150.svg);
  ImageLocation at125 = ResolveImagePath(L"Image/BkViewInit.png", 125, InArchive);
  EXPECT_EQ(at125.path, L"Image/BkViewInit.png");
  EXPECT_FALSE(at125.scaled);
  ImageLocation at100 = ResolveImagePath(L"Image/BkViewInit.png", 100, InArchive);
  EXPECT_EQ(at100.path, L"Image/BkViewInit.png");
  EXPECT_FALSE(at100.scaled);
  // No variant of the JPEG: the path as written, not marked scaled.
  EXPECT_EQ(ResolveImagePath(L"Image/QuickMark.jpg", 200, InArchive).path, L"Image/QuickMark.jpg");
  // Every dot takes the scale mark.
  std::wstring seen;
  ResolveImagePath(L"a.b.png", 175, [&](const std::wstring& p) { seen = p; return false; });
  EXPECT_EQ(seen, L"a@175.b@175.png");
}

TEST(ImageResolution, SvgIsRenderedAtTheScale) {
  ImageLocation l = ResolveImagePath(L"Image/CheckLicence.svg", 150, InArchive);
  EXPECT_EQ(l.path, L"Image/CheckLicence.svg");
  EXPECT_TRUE(l.svg);
  EXPECT_TRUE(l.scaled);
  EXPECT_EQ(l.renderScale, 150);
  ImageLocation plain = ResolveImagePath(L"Image/CheckLicence.svg", 100, InArchive);
  EXPECT_EQ(plain.renderScale, 100);
  EXPECT_FALSE(plain.scaled);
  ImageLocation upper = ResolveImagePath(L"Image/X.SVG", 200, nullptr);
  EXPECT_EQ(upper.path, L"Image/X.SVG");
  EXPECT_EQ(upper.renderScale, 200);
}

TEST(ImageResolution, SourceAndDestAtEachScale) {
  const std::wstring attr = L"file='Image/CheckLicence.svg' source='0,0,14,14' source125='0,0,18,18' dest='1,2,15,16'";
  Size picture{84 * 3 / 2, 21};  // the six-state strip rendered at 150 %
  Rect src, dst;
  ImageSpec s150 = ParseImageSpec(attr, 150);
  ImageLocation l150 = ResolveImagePath(s150.file, 150, InArchive);
  ASSERT_TRUE(ComputeDrawRects(s150, l150, 150, picture, {100, 100, 130, 130}, &src, &dst));
  EXPECT_EQ(src, (Rect{0, 0, 21, 21}));
  EXPECT_EQ(dst, (Rect{102, 103, 123, 124}));

  ImageSpec s125 = ParseImageSpec(attr, 125);
  ImageLocation l125 = ResolveImagePath(s125.file, 125, InArchive);
  ASSERT_TRUE(ComputeDrawRects(s125, l125, 125, {105, 18}, {0, 0, 30, 30}, &src, &dst));
  EXPECT_EQ(src, (Rect{0, 0, 18, 18}));  // as written
  EXPECT_EQ(dst, (Rect{1, 3, 19, 20}));  // dest always scaled

  // Without source and dest: the whole picture into the whole control.
  ImageSpec bare = ParseImageSpec(L"Image/BkViewInit.png", 150);
  EXPECT_EQ(bare.file, L"Image/BkViewInit.png");
  ImageLocation lb = ResolveImagePath(bare.file, 150, InArchive);
  ASSERT_TRUE(ComputeDrawRects(bare, lb, 150, {900, 690}, {0, 0, 900, 690}, &src, &dst));
  EXPECT_EQ(src, (Rect{0, 0, 900, 690}));

  // A PNG without a variant keeps its source unscaled.
  ImageSpec jpg = ParseImageSpec(L"file='Image/QuickMark.jpg' source='0,0,50,50'", 150);
  ImageLocation lj = ResolveImagePath(jpg.file, 150, InArchive);
  ASSERT_TRUE(ComputeDrawRects(jpg, lj, 150, {100, 100}, {0, 0, 75, 75}, &src, &dst));
  EXPECT_EQ(src, (Rect{0, 0, 50, 50}));

  // A source outside the picture is cut to it; nothing left draws nothing.
  ImageSpec off = ParseImageSpec(L"file='x.png' source='200,0,300,10'", 100);
  EXPECT_FALSE(ComputeDrawRects(off, ResolveImagePath(off.file, 100, nullptr), 100, {100, 100}, {0, 0, 10, 10}, &src, &dst));
}

TEST(ImageResolution, MalformedAttributesDoNotThrow) {
  ImageSpec a = ParseImageSpec(L"file='unterminated", 100);
  EXPECT_TRUE(a.file.empty());
  ImageSpec b = ParseImageSpec(L"file = 'a.png'  source='1,2,3,4' bogus='x'", 100);
  EXPECT_EQ(b.file, L"a.png");
  EXPECT_TRUE(b.hasSource);
  ImageSpec c = ParseImageSpec(L"", 100);
  EXPECT_TRUE(c.file.empty());
  EXPECT_EQ(ResolveImagePath(L"", 150, InArchive).path, L"");
}
