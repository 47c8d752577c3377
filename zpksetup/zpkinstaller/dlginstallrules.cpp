#include "dlginstallrules.h"

#include <cwchar>

namespace dlginstall {

bool FindPlaceholder(const std::wstring& text, std::wstring* placeholder, std::wstring* name) {
  const size_t first = text.find(L'$');
  if (first == std::wstring::npos) return false;
  const size_t second = text.find(L'$', first + 1);
  if (second == std::wstring::npos) return false;
  *placeholder = text.substr(first, second - first + 1);
  *name = text.substr(first + 1, second - first - 1);
  return true;
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

namespace {

bool IsIdentifier(const std::wstring& name) {
  if (name.empty() || (name[0] >= L'0' && name[0] <= L'9')) return false;
  for (wchar_t c : name) {
    const bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::wstring ExpandPlaceholders(const std::wstring& text, const GlobalLookup& lookup) {
  std::wstring out;
  size_t at = 0;
  for (size_t first = text.find(L'$'); first != std::wstring::npos; first = text.find(L'$', at)) {
    const size_t second = text.find(L'$', first + 1);
    if (second == std::wstring::npos) break;
    const std::wstring name = text.substr(first + 1, second - first - 1);
    const std::wstring value = IsIdentifier(name) ? lookup(name) : std::wstring();
    if (value.empty()) {  // not a placeholder: keep this "$", the next one may open one
      out.append(text, at, first + 1 - at);
      at = first + 1;
      continue;
    }
    out.append(text, at, first - at);
    out += value;
    at = second + 1;
  }
  out.append(text, at, std::wstring::npos);
  return out;
}

std::wstring FolderWithBaseName(const std::wstring& chosen, const std::wstring& baseName) {
  const size_t cut = chosen.find_last_of(L"\\/");
  const std::wstring last = cut == std::wstring::npos ? chosen : chosen.substr(cut + 1);
  if (last == baseName) return chosen;
  std::wstring path = chosen;
  if (path.empty() || (path.back() != L'\\' && path.back() != L'/')) path += L'\\';
  return path + baseName;
}

std::wstring WithoutTrailingBackslash(const std::wstring& path) {
  if (!path.empty() && path.back() == L'\\') return path.substr(0, path.size() - 1);
  return path;
}

uint64_t ParseNeededBytes(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t' || text[i] == L'\n' || text[i] == L'\r')) ++i;
  if (i < text.size() && text[i] == L'+') ++i;
  uint64_t value = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + static_cast<uint64_t>(text[i] - L'0');  // wraps like the C library's reader
    any = true;
  }
  return any ? value : 0;
}

std::wstring DiskSpaceMessage(uint64_t needBytes) {
  const float mb = static_cast<float>(needBytes) / 1024 / 1024;
  wchar_t figure[64];
  swprintf(figure, 64, L"%0.2f", static_cast<double>(mb));
  // 磁盘剩余可用空间不足,安装程序需要%0.2fMB的空间来完成安装！
  return std::wstring(L"\u78C1\u76D8\u5269\u4F59\u53EF\u7528\u7A7A\u95F4\u4E0D\u8DB3,"
                      L"\u5B89\u88C5\u7A0B\u5E8F\u9700\u8981") +
         figure + L"MB\u7684\u7A7A\u95F4\u6765\u5B8C\u6210\u5B89\u88C5\uFF01";
}

std::wstring ProgressLabel(int value) {
  // 安装中...  (%d％)
  return L"\u5B89\u88C5\u4E2D...  (" + std::to_wstring(value) + L"\uFF05)";
}

int NextProgressValue(int value, int maxValue) { return value + 2 < maxValue ? value + 2 : value; }

int NextCarouselIndex(intptr_t tag) { return static_cast<int>((tag + 1) % 3); }

std::wstring CarouselImage(int index) { return L"Image/InstallBk" + std::to_wstring(index) + L".png"; }

uint32_t ProgressElapse(uint64_t payloadBytes) {
  return static_cast<uint32_t>(static_cast<double>(payloadBytes) * 0.000309651279221807 / 100);
}

}  // namespace dlginstall
