// The rules for folders never to install into nor empty: roots, well-known folders and
// the folders holding them, the Windows tree; paths in their many spellings.
#include <gtest/gtest.h>

#include "folderrules.h"

using folderrules::Canonical;
using folderrules::Judge;
using folderrules::ParentFolder;
using folderrules::Verdict;

namespace {

folderrules::WellKnown Machine() {
  folderrules::WellKnown known;
  for (const wchar_t* f : {L"C:\\PROGRAM FILES", L"C:\\PROGRAMDATA", L"C:\\USERS", L"C:\\USERS\\ANNA",
                           L"C:\\USERS\\ANNA\\DOCUMENTS", L"C:\\USERS\\ANNA\\APPDATA\\ROAMING", L"D:\\DATA\\DESKTOP"})
    known.folders.push_back(Canonical(f));
  known.systemTrees.push_back(Canonical(L"C:\\WINDOWS"));
  return known;
}

Verdict On(const std::wstring& path) { return Judge(Canonical(path), Machine()); }

TEST(FolderRules, CanonicalSpellings) {
  EXPECT_EQ(Canonical(L"C:"), L"C:\\");
  EXPECT_EQ(Canonical(L"C:\\"), L"C:\\");
  EXPECT_EQ(Canonical(L"C://"), L"C:\\");
  EXPECT_EQ(Canonical(L"C:/Program Files//App\\\\"), L"C:\\Program Files\\App");
  EXPECT_EQ(Canonical(L"\\\\?\\C:\\x\\"), L"C:\\x");
  EXPECT_EQ(Canonical(L"\\\\?\\UNC\\server\\share\\"), L"\\\\server\\share");
  EXPECT_EQ(Canonical(L"//server/share/dir/"), L"\\\\server\\share\\dir");
}

// A shortcut's working folder and the folder dialog's start come from here: "C:" alone
// would mean the drive's current folder, not its root.
TEST(FolderRules, ParentFolderKeepsADriveRoot) {
  EXPECT_EQ(ParentFolder(L"C:\\App\\app.exe"), L"C:\\App");
  EXPECT_EQ(ParentFolder(L"C:\\app.exe"), L"C:\\");
  EXPECT_EQ(ParentFolder(L"C:\\"), L"C:\\");
  EXPECT_EQ(ParentFolder(L"\\\\server\\share\\a.txt"), L"\\\\server\\share");
  EXPECT_EQ(ParentFolder(L"app.exe"), L"");
}

TEST(FolderRules, RootsAreRefused) {
  for (const wchar_t* p : {L"C:", L"C:\\", L"d:/", L"\\\\?\\E:\\"}) EXPECT_EQ(On(p), Verdict::kDriveRoot) << p;
  for (const wchar_t* p : {L"\\\\server\\share", L"\\\\server\\share\\", L"\\\\server", L"\\\\?\\UNC\\srv\\s"})
    EXPECT_EQ(On(p), Verdict::kShareRoot) << p;
  EXPECT_EQ(On(L"\\\\server\\share\\Product"), Verdict::kAllowed);
  EXPECT_EQ(On(L"D:\\Product"), Verdict::kAllowed);
}

TEST(FolderRules, WellKnownFoldersAndTheirParentsAreRefused) {
  for (const wchar_t* p : {L"C:\\PROGRAM FILES", L"C:\\PROGRAM FILES\\", L"C:\\USERS", L"C:\\USERS\\ANNA",
                           L"C:\\USERS\\ANNA\\APPDATA", L"C:\\USERS\\ANNA\\DOCUMENTS\\", L"D:\\DATA"})
    EXPECT_EQ(On(p), Verdict::kWellKnownFolder) << p;
  for (const wchar_t* p : {L"C:\\PROGRAM FILES\\PRODUCT", L"C:\\USERS\\ANNA\\DOCUMENTS\\PRODUCT",
                           L"C:\\USERS\\ANNA\\APPDATA\\ROAMING\\PRODUCT", L"C:\\PROGRAM FILESX", L"C:\\USERS2",
                           L"D:\\DATA\\DESKTOPS"})
    EXPECT_EQ(On(p), Verdict::kAllowed) << p;
}

TEST(FolderRules, TheWindowsTreeIsRefusedThroughout) {
  for (const wchar_t* p : {L"C:\\WINDOWS", L"C:\\WINDOWS\\SYSTEM32", L"C:\\WINDOWS\\TEMP\\PRODUCT"})
    EXPECT_EQ(On(p), Verdict::kSystemFolder) << p;
  EXPECT_EQ(On(L"C:\\WINDOWSAPPS"), Verdict::kAllowed);
}

TEST(FolderRules, PathsThatAreNotFullAreRefused) {
  for (const wchar_t* p : {L"", L"Product", L"\\Product", L"C:Product"}) EXPECT_EQ(On(p), Verdict::kNotAbsolute) << p;
}

}  // namespace
