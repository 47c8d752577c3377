#include "folderrules.h"

namespace folderrules {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool HasDrive(const std::wstring& p) { return p.size() >= 2 && IsLetter(p[0]) && p[1] == L':'; }

bool IsUnc(const std::wstring& p) { return p.size() > 2 && p[0] == L'\\' && p[1] == L'\\'; }

// The number of components after "\\": 1 for "\\server", 2 for "\\server\share".
size_t UncDepth(const std::wstring& p) {
  size_t depth = 0;
  for (size_t i = 2; i < p.size(); ++i)
    if (p[i] == L'\\') ++depth;
  return depth + 1;
}

// `path` is `folder` itself or lies inside it.
bool IsSameOrBelow(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty() || path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || folder.back() == L'\\' || path[folder.size()] == L'\\';
}

}  // namespace

std::wstring Canonical(const std::wstring& fullPath) {
  std::wstring p = fullPath;
  if (p.compare(0, 8, L"\\\\?\\UNC\\") == 0) p = L"\\\\" + p.substr(8);
  else if (p.compare(0, 4, L"\\\\?\\") == 0) p = p.substr(4);
  const bool unc = p.size() > 1 && IsSeparator(p[0]) && IsSeparator(p[1]);
  std::wstring out = unc ? L"\\\\" : L"";
  for (size_t i = out.size(); i < p.size(); ++i) {
    const wchar_t c = IsSeparator(p[i]) ? L'\\' : p[i];
    if (c == L'\\' && !out.empty() && out.back() == L'\\') continue;  // "a\\b" is "a\b"
    out += c;
  }
  if (out.size() == 2 && HasDrive(out)) out += L'\\';
  const size_t keep = unc ? 2 : HasDrive(out) ? 3 : 1;  // "\\", "C:\" and "\" stay whole
  while (out.size() > keep && out.back() == L'\\') out.pop_back();
  return out;
}

Verdict Judge(const std::wstring& path, const WellKnown& known) {
  if (!HasDrive(path) && !IsUnc(path)) return Verdict::kNotAbsolute;
  if (HasDrive(path) && path.size() <= 3) return Verdict::kDriveRoot;
  if (HasDrive(path) && path[2] != L'\\') return Verdict::kNotAbsolute;  // "C:x" is relative to C:'s folder
  if (IsUnc(path) && UncDepth(path) <= 2) return Verdict::kShareRoot;
  for (const std::wstring& tree : known.systemTrees)
    if (IsSameOrBelow(path, tree)) return Verdict::kSystemFolder;
  for (const std::wstring& folder : known.folders)
    if (IsSameOrBelow(folder, path)) return Verdict::kWellKnownFolder;
  return Verdict::kAllowed;
}

const wchar_t* Describe(Verdict verdict) {
  switch (verdict) {
    case Verdict::kAllowed: return L"an ordinary folder";
    case Verdict::kDriveRoot: return L"a drive root";
    case Verdict::kShareRoot: return L"a network share root";
    case Verdict::kWellKnownFolder: return L"a system or user folder";
    case Verdict::kSystemFolder: return L"inside the Windows folder";
    case Verdict::kNotAbsolute: return L"not an absolute path";
  }
  return L"";
}

std::wstring ParentFolder(const std::wstring& path) {
  const size_t cut = path.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return std::wstring();
  const bool driveRoot = cut == 2 && path[1] == L':';
  return path.substr(0, driveRoot || cut == 0 ? cut + 1 : cut);
}

}  // namespace folderrules
