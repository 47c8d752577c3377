// The installer window's rules: path placeholder, folder base name, free-space figures,
// progress animation and carousel.
#include <gtest/gtest.h>

#include "dlginstallrules.h"

using namespace dlginstall;

TEST(DlgInstallPlaceholder, FirstPairOfDollarSignsNamesTheGlobal) {
  std::wstring placeholder, name;
  ASSERT_TRUE(FindPlaceholder(L"$global_install_path$", &placeholder, &name));
  EXPECT_EQ(L"$global_install_path$", placeholder);
  EXPECT_EQ(L"global_install_path", name);

  ASSERT_TRUE(FindPlaceholder(L"x $a$ $b$", &placeholder, &name));
  EXPECT_EQ(L"a", name) << "only the first placeholder";
  ASSERT_TRUE(FindPlaceholder(L"$$", &placeholder, &name));
  EXPECT_EQ(L"", name);
  EXPECT_FALSE(FindPlaceholder(L"C:\\Program Files\\RuvanZip", &placeholder, &name));
  EXPECT_FALSE(FindPlaceholder(L"one $ only", &placeholder, &name));
}

TEST(DlgInstallPlaceholder, EveryOccurrenceIsReplaced) {
  EXPECT_EQ(L"C:\\A\\C:\\A", ReplaceAll(L"$p$\\$p$", L"$p$", L"C:\\A"));
  EXPECT_EQ(L"$p$$p$", ReplaceAll(L"$p$", L"$p$", L"$p$$p$")) << "a value containing the placeholder ends";
  EXPECT_EQ(L"abc", ReplaceAll(L"abc", L"", L"x"));
}

TEST(DlgInstallPlaceholder, SkinTextsShowTheConfiguredValues) {
  auto lookup = [](const std::wstring& name) {
    if (name == L"global_product_name") return std::wstring(L"Tidewater Notes");
    if (name == L"n") return std::wstring(L"$n$");
    return std::wstring();
  };
  EXPECT_EQ(L"Tidewater Notes 安装向导", ExpandPlaceholders(L"$global_product_name$ 安装向导", lookup));
  EXPECT_EQ(L"Tidewater Notes/Tidewater Notes", ExpandPlaceholders(L"$global_product_name$/$global_product_name$", lookup));
  // A price, an unset global and a lone sign stay; a pair that is no name does not hide the
  // placeholder after it; a value is not expanded again.
  EXPECT_EQ(L"$5 and Tidewater Notes", ExpandPlaceholders(L"$5 and $global_product_name$", lookup));
  EXPECT_EQ(L"$unset$ $", ExpandPlaceholders(L"$unset$ $", lookup));
  EXPECT_EQ(L"$n$!", ExpandPlaceholders(L"$n$!", lookup));
  EXPECT_EQ(L"$$", ExpandPlaceholders(L"$$", lookup));
}

TEST(DlgInstallFolder, BaseNameIsAppendedUnlessTheFolderEndsWithIt) {
  EXPECT_EQ(L"D:\\Apps\\RuvanZip", FolderWithBaseName(L"D:\\Apps", L"RuvanZip"));
  EXPECT_EQ(L"D:\\Apps\\RuvanZip", FolderWithBaseName(L"D:\\Apps\\RuvanZip", L"RuvanZip"));
  EXPECT_EQ(L"D:\\Apps\\ruvanzip\\RuvanZip", FolderWithBaseName(L"D:\\Apps\\ruvanzip", L"RuvanZip"))
      << "case-sensitive";
  EXPECT_EQ(L"D:\\RuvanZip", FolderWithBaseName(L"D:\\", L"RuvanZip")) << "no second backslash";
  EXPECT_EQ(L"D:/x/RuvanZip", FolderWithBaseName(L"D:/x/", L"RuvanZip"));
  EXPECT_EQ(L"D:/x/RuvanZip", FolderWithBaseName(L"D:/x/RuvanZip", L"RuvanZip"));
}

TEST(DlgInstallFolder, OneTrailingBackslashIsDropped) {
  EXPECT_EQ(L"C:\\A", WithoutTrailingBackslash(L"C:\\A\\"));
  EXPECT_EQ(L"C:\\A", WithoutTrailingBackslash(L"C:\\A"));
  EXPECT_EQ(L"C:", WithoutTrailingBackslash(L"C:\\"));
  EXPECT_EQ(L"", WithoutTrailingBackslash(L""));
}

TEST(DlgInstallSpace, NeedIsReadAsAnUnsignedDecimal) {
  EXPECT_EQ(347149043u, ParseNeededBytes(L"347149043"));
  EXPECT_EQ(12u, ParseNeededBytes(L"  12abc"));
  EXPECT_EQ(4611686018427387904ull, ParseNeededBytes(L"4611686018427387904"));
  EXPECT_EQ(0u, ParseNeededBytes(L""));
  EXPECT_EQ(0u, ParseNeededBytes(L"abc"));
  EXPECT_EQ(3u, ParseNeededBytes(L"3.47149e+08")) << "a number the script state wrote in exponent form";
}

TEST(DlgInstallSpace, MessageShowsTheNeedInMegabytes) {
  const std::wstring shipped = DiskSpaceMessage(347149043);
  EXPECT_EQ(L"\u78C1\u76D8\u5269\u4F59\u53EF\u7528\u7A7A\u95F4\u4E0D\u8DB3,\u5B89\u88C5\u7A0B\u5E8F\u9700\u8981"
            L"331.07MB\u7684\u7A7A\u95F4\u6765\u5B8C\u6210\u5B89\u88C5\uFF01",
            shipped);
  EXPECT_NE(std::wstring::npos, DiskSpaceMessage(4611686018427387904ull).find(L"4398046511104.00MB"));
  EXPECT_NE(std::wstring::npos, DiskSpaceMessage(0).find(L"0.00MB"));
}

TEST(DlgInstallProgress, AnimationClimbsByTwoAndStopsTwoBelowTheMaximum) {
  int value = 0, ticks = 0;
  for (int next; (next = NextProgressValue(value, 100)) != value; value = next) ++ticks;
  EXPECT_EQ(98, value);
  EXPECT_EQ(49, ticks) << "about 15 s at 300 ms";
  EXPECT_EQ(100, NextProgressValue(100, 100)) << "a full bar stays full";
  EXPECT_EQ(9, NextProgressValue(9, 10));
  EXPECT_EQ(7, NextProgressValue(5, 10));
}

TEST(DlgInstallProgress, LabelAndCarousel) {
  EXPECT_EQ(L"\u5B89\u88C5\u4E2D...  (42\uFF05)", ProgressLabel(42));
  EXPECT_EQ(1, NextCarouselIndex(0));
  EXPECT_EQ(2, NextCarouselIndex(1));
  EXPECT_EQ(0, NextCarouselIndex(2));
  EXPECT_EQ(L"Image/InstallBk2.png", CarouselImage(2));
}

TEST(DlgInstallProgress, ElapseEstimateFromThePayloadSize) {
  EXPECT_EQ(0u, ProgressElapse(0));
  EXPECT_EQ(3096u, ProgressElapse(1000000000));  // 1e9 * 0.000309651279221807 / 100 = 3096.5
  EXPECT_EQ(10u, ProgressElapse(3300000));
}
