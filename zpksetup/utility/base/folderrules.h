// Which folders an installer must never install into nor empty, as pure rules over
// path strings: drive and share roots, the machine's well-known folders and every folder
// that holds one, and everything in the Windows folder. The Windows side
// (protectedfolders.h) finds the well-known folders and folds case; these rules take
// paths already folded, so they are tested natively.
#pragma once
#include <string>
#include <vector>

namespace folderrules {

enum class Verdict { kAllowed, kDriveRoot, kShareRoot, kWellKnownFolder, kSystemFolder, kNotAbsolute };

// A full path in the form the rules compare: '\' separators, "\\?\" and "\\?\UNC\"
// prefixes dropped, no repeated or trailing separators (a drive root stays "C:\").
std::wstring Canonical(const std::wstring& fullPath);

// `folders`: the well-known folders, refused with every folder above them (a profile
// holds Documents); `systemTrees`: folders refused with everything below them (the
// Windows folder). All three arguments canonical and folded alike.
struct WellKnown {
  std::vector<std::wstring> folders;
  std::vector<std::wstring> systemTrees;
};
Verdict Judge(const std::wstring& canonicalPath, const WellKnown& known);

// The folder holding path: everything before its last separator, a drive root keeping its
// own ("C:\a" gives "C:\"); empty when path has no separator.
std::wstring ParentFolder(const std::wstring& path);

// What a verdict means, for debug lines and the log.
const wchar_t* Describe(Verdict verdict);

}  // namespace folderrules
