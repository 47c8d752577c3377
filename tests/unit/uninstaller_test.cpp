#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "uninstallargs.h"
#include "uninstallchoices.h"

namespace {

// What the copy receives after the command line went through the system's splitter.
std::vector<std::wstring> RoundTrip(const std::wstring& line) {
  std::wstring full = L"Uninstall.exe " + line;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(full.c_str(), &argc);
  std::vector<std::wstring> out;
  for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
  LocalFree(argv);
  return out;
}

}  // namespace

TEST(UninstallArgs, SwitchesAndValues) {
  UninstallArgs a = ParseUninstallArgs({L"/s", L"/reason=1,3", L"/contact=qq 123", L"/CLEARUSERDATA",
                                        L"/unknown", L"/_dir=C:\\P F\\R"});
  EXPECT_TRUE(a.silent);
  EXPECT_TRUE(a.clearUserData);
  ASSERT_TRUE(a.reason.has_value());
  EXPECT_EQ(*a.reason, L"1,3");
  EXPECT_EQ(*a.contact, L"qq 123");
  EXPECT_FALSE(a.suggest.has_value());
  EXPECT_EQ(a.installDir, L"C:\\P F\\R");
  EXPECT_TRUE(ParseUninstallArgs({}).installDir.empty());
  EXPECT_FALSE(ParseUninstallArgs({}).silent);
}

TEST(UninstallArgs, CopyReceivesExactlyTheSameChoices) {
  UninstallArgs a;
  a.silent = true;
  a.reason = L"2";
  a.contact = L"say \"hi\" \\ back\\";
  a.suggest = L"更快一点 please";
  a.installDir = L"C:\\Program Files (x86)\\RuvanZip\\";
  a.origin = L"C:\\Program Files (x86)\\RuvanZip\\Uninstall.exe";
  UninstallArgs b = ParseUninstallArgs(RoundTrip(CopyCommandLine(a)));
  EXPECT_EQ(b.silent, a.silent);
  EXPECT_EQ(b.clearUserData, a.clearUserData);
  EXPECT_EQ(b.reason, a.reason);
  EXPECT_EQ(b.contact, a.contact);
  EXPECT_EQ(b.suggest, a.suggest);
  EXPECT_EQ(b.installDir, a.installDir);
  EXPECT_EQ(b.origin, a.origin);
}

// The window's form becomes the same choices the switches give.
TEST(WindowChoices, FeedTheSameArgumentsAsTheSwitches) {
  UninstallArgs args = ParseUninstallArgs({L"/reason=9", L"/contact=old"});
  WindowChoices form;
  form.reasonIds = {L"1", L"", L"3"};
  form.contact = L"me \"x\"";
  form.clearUserData = true;
  ApplyWindowChoices(form, args);
  EXPECT_EQ(args.reason, std::optional<std::wstring>(L"1,3"));
  EXPECT_EQ(args.contact, std::optional<std::wstring>(L"me \"x\""));
  EXPECT_EQ(args.suggest, std::optional<std::wstring>(L""));
  EXPECT_TRUE(args.clearUserData);

  // Only a suggestion: a report without reason ids.
  form = WindowChoices();
  form.suggest = L"faster";
  ApplyWindowChoices(form, args);
  EXPECT_FALSE(args.reason.has_value());
  EXPECT_EQ(args.contact, std::optional<std::wstring>(L""));
  EXPECT_EQ(args.suggest, std::optional<std::wstring>(L"faster"));
  EXPECT_FALSE(args.clearUserData);

  // An untouched form sends no feedback at all, whatever the command line said.
  ApplyWindowChoices(WindowChoices(), args);
  EXPECT_FALSE(args.reason || args.contact || args.suggest);
}

TEST(WindowChoices, ProductNameAndProgressEstimate) {
  EXPECT_EQ(FillProductName(L"卸载 $product$，$product$!", L"Ruvan$product$"), L"卸载 Ruvan$product$，Ruvan$product$!");
  EXPECT_EQ(FillProductName(L"no mark", L"X"), L"no mark");
  int value = 0, steps = 0;
  for (int last = -1; value != last && steps < 1000; ++steps) {
    last = value;
    value = NextProgressEstimate(value);
    EXPECT_GE(value, last);
  }
  EXPECT_EQ(value, 90);  // reaches the cap, stays below the end
  EXPECT_LT(steps, 60);
  EXPECT_EQ(NextProgressEstimate(100), 100);
}
