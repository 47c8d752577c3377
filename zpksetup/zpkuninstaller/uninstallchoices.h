// What the uninstaller window collected, turned into the same choices the command line
// gives (/reason=, /contact=, /suggest=, /clearuserdata). Portable: no Windows calls.
#pragma once
#include <string>
#include <vector>

#include "uninstallargs.h"

struct WindowChoices {
  std::vector<std::wstring> reasonIds;  // userdata of the ticked reasons, in layout order
  std::wstring contact, suggest;
  bool clearUserData = false;
};

// Ids are joined with commas; an untouched form (no reason, empty texts) leaves the
// feedback unset so that no reason report is sent. Texts are passed on as typed: the
// script strips whitespace and the reason document escapes them.
void ApplyWindowChoices(const WindowChoices& choices, UninstallArgs& args);

// The layout's texts name the product as "$product$".
std::wstring FillProductName(std::wstring text, const std::wstring& product);

// The progress bar's estimate while the removal runs: slows down as it nears 90 % and
// stops there; the end of the work fills it.
int NextProgressEstimate(int value);
