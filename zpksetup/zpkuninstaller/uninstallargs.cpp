#include "uninstallargs.h"

#include <cwctype>

namespace {

bool TakeValue(const std::wstring& arg, const wchar_t* key, std::wstring& value) {
  const std::wstring k = key;
  if (arg.compare(0, k.size(), k) != 0) return false;
  value = arg.substr(k.size());
  return true;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (towlower(a[i]) != towlower(b[i])) return false;
  }
  return i == a.size() && !b[i];
}

// Quoted for CommandLineToArgvW: backslashes before a quote are doubled.
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

UninstallArgs ParseUninstallArgs(const std::vector<std::wstring>& args) {
  UninstallArgs out;
  for (const std::wstring& arg : args) {
    std::wstring value;
    if (EqualsNoCase(arg, L"/S")) {
      out.silent = true;
    } else if (EqualsNoCase(arg, L"/clearuserdata")) {
      out.clearUserData = true;
    } else if (TakeValue(arg, L"/reason=", value)) {
      out.reason = value;
    } else if (TakeValue(arg, L"/contact=", value)) {
      out.contact = value;
    } else if (TakeValue(arg, L"/suggest=", value)) {
      out.suggest = value;
    } else if (TakeValue(arg, L"/_dir=", value)) {
      out.installDir = value;
    } else if (TakeValue(arg, L"/_origin=", value)) {
      out.origin = value;
    }
  }
  return out;
}

std::wstring CopyCommandLine(const UninstallArgs& args) {
  std::wstring line;
  auto add = [&line](const std::wstring& arg) {
    if (!line.empty()) line += L' ';
    line += Quote(arg);
  };
  if (args.silent) add(L"/S");
  if (args.clearUserData) add(L"/clearuserdata");
  if (args.reason) add(L"/reason=" + *args.reason);
  if (args.contact) add(L"/contact=" + *args.contact);
  if (args.suggest) add(L"/suggest=" + *args.suggest);
  add(L"/_dir=" + args.installDir);
  add(L"/_origin=" + args.origin);
  return line;
}
