// Every message box the installer shows goes through here, so that tests can answer
// them without a person (the hook sees owner, text, caption and style, and returns the
// button as MessageBoxW would).
#pragma once
#include <windows.h>

int ZpkMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);

using MessageBoxHook = int (*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);
void SetMessageBoxHook(MessageBoxHook hook);
