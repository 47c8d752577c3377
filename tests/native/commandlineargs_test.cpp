// The installer's command-line parser (portable: runs natively and under Wine).
#include "commandlineargs.h"

#include <gtest/gtest.h>

namespace {

std::wstring Value(const CommandLineArgs& args, const std::wstring& key) {
  std::wstring value = L"untouched";
  EXPECT_TRUE(args.Find(key, value)) << "key missing";
  return value;
}

bool Has(const CommandLineArgs& args, const std::wstring& key) {
  std::wstring value = L"untouched";
  const bool found = args.Find(key, value);
  if (!found) {
    EXPECT_EQ(L"", value) << "the output is cleared on a miss";
  }
  return found;
}

TEST(CommandLineArgs, SplitsAtSlashesIntoKeysAndValues) {
  const CommandLineArgs args(L"\"C:\\Setup\\setup.exe\" /InstallListenWnd 1234 /InstallSlience true");
  EXPECT_EQ(L"1234", Value(args, L"InstallListenWnd"));
  EXPECT_EQ(L"true", Value(args, L"InstallSlience"));
  EXPECT_EQ(3u, args.Arguments().size()) << "the program path is a piece of its own";
  EXPECT_EQ(L"\"C:\\Setup\\setup.exe\" /InstallListenWnd 1234 /InstallSlience true", args.Text());
}

TEST(CommandLineArgs, EmptyOrOnlySlashesGivesNoEntries) {
  for (const wchar_t* text : {L"", L"/", L"////"}) {
    const CommandLineArgs args(text);
    EXPECT_TRUE(args.Arguments().empty()) << text;
    EXPECT_FALSE(Has(args, L""));
  }
}

TEST(CommandLineArgs, RunsOfSlashesAndEndSlashesMakeNoEmptyPieces) {
  const CommandLineArgs args(L"//a 1///b 2/");
  EXPECT_EQ(2u, args.Arguments().size());
  EXPECT_EQ(L"1", Value(args, L"a"));
  EXPECT_EQ(L"2", Value(args, L"b"));
}

TEST(CommandLineArgs, ValueIsTrimmedOfSpacesAndControlUnits) {
  EXPECT_EQ(L"true", Value(CommandLineArgs(L"x /InstallSlience  true\t"), L"InstallSlience"));
  EXPECT_EQ(L"v", Value(CommandLineArgs(L"/k \r\n\x01v\x1D\x0B "), L"k"));
  // U+001E and U+001F are not blanks.
  EXPECT_EQ(L"\x1Ev\x1F", Value(CommandLineArgs(L"/k \x1Ev\x1F"), L"k"));
}

TEST(CommandLineArgs, KeyEndsAtTheFirstSpaceAndIsNotTrimmed) {
  const CommandLineArgs args(L"/key two words here/\tkey x");
  EXPECT_EQ(L"two words here", Value(args, L"key"));
  EXPECT_EQ(L"x", Value(args, L"\tkey")) << "a tab is part of the key";
}

TEST(CommandLineArgs, KeysAreCaseSensitive) {
  const CommandLineArgs args(L"setup.exe /installslience true");
  EXPECT_FALSE(Has(args, L"InstallSlience"));
  EXPECT_TRUE(Has(args, L"installslience"));
}

TEST(CommandLineArgs, OneOuterPairOfQuotesIsRemoved) {
  EXPECT_EQ(L"1234", Value(CommandLineArgs(L"/InstallListenWnd \"1234\""), L"InstallListenWnd"));
  EXPECT_EQ(L"\"1234", Value(CommandLineArgs(L"/InstallListenWnd \"1234"), L"InstallListenWnd"));
  EXPECT_EQ(L"1234\"", Value(CommandLineArgs(L"/k 1234\""), L"k"));
  EXPECT_EQ(L"\"x\"", Value(CommandLineArgs(L"/k \"\"x\"\""), L"k")) << "only the outer pair";
  EXPECT_EQ(L"", Value(CommandLineArgs(L"/k \"\""), L"k"));
  EXPECT_EQ(L"\"", Value(CommandLineArgs(L"/k \""), L"k")) << "one quote is no pair";
  EXPECT_EQ(L"a b", Value(CommandLineArgs(L"/k  \"a b\"  "), L"k")) << "trimmed before unquoting";
}

TEST(CommandLineArgs, SlashInsideAValueEndsIt) {
  const CommandLineArgs args(L"/url http://host.example/path/InstallSlience true");
  EXPECT_EQ(L"http:", Value(args, L"url"));
  EXPECT_TRUE(Has(args, L"host.example"));
  EXPECT_TRUE(Has(args, L"path"));
  EXPECT_EQ(L"true", Value(args, L"InstallSlience"));
}

TEST(CommandLineArgs, LaterValueOfARepeatedKeyWins) {
  const CommandLineArgs args(L"/InstallSlience true /InstallSlience false");
  EXPECT_EQ(L"false", Value(args, L"InstallSlience"));
  EXPECT_EQ(1u, args.Arguments().size());
}

TEST(CommandLineArgs, KeyWithoutValueIsPresentAndEmpty) {
  const CommandLineArgs args(L"setup.exe /InstallSlience");
  EXPECT_EQ(L"", Value(args, L"InstallSlience"));
  EXPECT_EQ(L"", Value(CommandLineArgs(L"/InstallSlience   "), L"InstallSlience"));
}

TEST(CommandLineArgs, SpaceAfterTheSlashMakesAnEmptyKey) {
  const CommandLineArgs args(L"setup.exe / InstallSlience true");
  EXPECT_FALSE(Has(args, L"InstallSlience"));
  EXPECT_EQ(L"InstallSlience true", Value(args, L""));
}

TEST(CommandLineArgs, QuotedProgramPathWithSpacesEndsAtItsFirstSpace) {
  const CommandLineArgs args(L"\"C:\\Program Files\\My Setup\\setup.exe\" /InstallSlience true");
  EXPECT_EQ(L"Files\\My Setup\\setup.exe\"", Value(args, L"\"C:\\Program"));
  EXPECT_EQ(L"true", Value(args, L"InstallSlience"));
}

}  // namespace
