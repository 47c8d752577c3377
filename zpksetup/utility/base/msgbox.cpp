#include "msgbox.h"

#include <atomic>

namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
}

int ZpkMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
  if (MessageBoxHook hook = g_hook.load()) return hook(owner, text, caption, style);
  return MessageBoxW(owner, text, caption, style);
}

void SetMessageBoxHook(MessageBoxHook hook) { g_hook.store(hook); }
