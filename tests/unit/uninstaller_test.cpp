#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "uninstallargs.h"

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
