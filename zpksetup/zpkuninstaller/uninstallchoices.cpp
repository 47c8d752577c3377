#include "uninstallchoices.h"

void ApplyWindowChoices(const WindowChoices& choices, UninstallArgs& args) {
  args.clearUserData = choices.clearUserData;
  args.reason.reset();
  args.contact.reset();
  args.suggest.reset();
  std::wstring ids;
  for (const std::wstring& id : choices.reasonIds) {
    if (id.empty()) continue;
    if (!ids.empty()) ids += L',';
    ids += id;
  }
  if (ids.empty() && choices.contact.empty() && choices.suggest.empty()) return;
  if (!ids.empty()) args.reason = ids;
  args.contact = choices.contact;
  args.suggest = choices.suggest;
}

std::wstring FillProductName(std::wstring text, const std::wstring& product) {
  static const std::wstring kMark = L"$product$";
  for (size_t at = text.find(kMark); at != std::wstring::npos; at = text.find(kMark, at + product.size())) {
    text.replace(at, kMark.size(), product);
  }
  return text;
}

int NextProgressEstimate(int value) {
  if (value >= 90) return value;
  const int step = (90 - value + 9) / 10;  // at least 1
  return value + step;
}
