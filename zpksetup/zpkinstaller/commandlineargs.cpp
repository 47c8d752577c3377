#include "commandlineargs.h"

namespace {

// Space and the control units up to U+001D count as blanks; U+001E and U+001F do not.
bool IsBlank(wchar_t c) { return c == L' ' || static_cast<unsigned long>(c) <= 0x1D; }

std::wstring Trim(const std::wstring& text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && IsBlank(text[begin])) ++begin;
  return text.substr(begin, end - begin);
}

// Only one outer pair of double quotes is removed.
std::wstring Unquote(const std::wstring& text) {
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
    return text.substr(1, text.size() - 2);
  return text;
}

}  // namespace

CommandLineArgs::CommandLineArgs(const std::wstring& text) : text_(text) {
  size_t pos = 0;
  while (pos < text_.size()) {
    size_t begin = text_.find_first_not_of(L'/', pos);
    if (begin == std::wstring::npos) break;
    size_t end = text_.find(L'/', begin);
    if (end == std::wstring::npos) end = text_.size();
    AddPiece(text_.substr(begin, end - begin));
    pos = end;
  }
}

CommandLineArgs::~CommandLineArgs() = default;

void CommandLineArgs::AddPiece(const std::wstring& piece) {
  const size_t space = piece.find(L' ');
  const std::wstring key = piece.substr(0, space);
  const std::wstring raw = space == std::wstring::npos ? std::wstring() : piece.substr(space);
  arguments_[key] = Unquote(Trim(raw));
}

bool CommandLineArgs::Find(const std::wstring& key, std::wstring& value) const {
  value.clear();
  auto it = arguments_.find(key);
  if (it == arguments_.end()) return false;
  value = it->second;
  return true;
}
