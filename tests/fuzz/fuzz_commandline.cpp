// The installer's command-line parser on any UTF-16 text: no crash, and what it stores
// keeps the promises the start-up relies on (keys without '/' or spaces, values trimmed,
// one outer quote pair removed at most).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "commandlineargs.h"

namespace {

bool Trimmable(wchar_t c) { return c == L' ' || (c >= 0 && c <= 0x1D); }

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two bytes a unit, as GetCommandLineW hands it over (lone surrogates included).
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  const CommandLineArgs args(text);
  Require(args.Text() == text);
  for (const auto& [key, value] : args.Arguments()) {
    Require(key.find(L'/') == std::wstring::npos && key.find(L' ') == std::wstring::npos);
    Require(value.find(L'/') == std::wstring::npos);
    Require(value.size() <= text.size());
    // Trimmed at both ends, unless the blanks were inside a removed quote pair.
    if (!value.empty() && (Trimmable(value.front()) || Trimmable(value.back())))
      Require(text.find(L'"') != std::wstring::npos);
    std::wstring found = L"stale";
    Require(args.Find(key, found) && found == value);
  }
  std::wstring value = L"stale";
  if (!args.Find(L"InstallSlience", value)) Require(value.empty());
  return 0;
}
