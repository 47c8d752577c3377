// The start-up check of the embedded payload (payloadcheck.h) against this program's own
// resources, with its report: a message box in the windowed run, a debug-output line in
// the silent run (where nobody may be there to answer a box).
#pragma once
#include <windows.h>

#include <string>

#include "exitcodes.h"

#include "payloadcheck.h"

// The payload's state, logged with its size and the time the check took. Safe on any
// thread: the windowed run checks beside its window, so that the ~0.6 s the hash takes for
// 90 MiB under Wine is not on the path to the first paint.
PayloadState CheckEmbeddedPayload(HMODULE module);
// The damage reported: a debug-output line, and a box owned by `owner` unless silent.
void ReportDamagedPayload(PayloadState state, bool silent, const std::wstring& caption, HWND owner);
// Both at once: true when the payload is intact or there is none. `caption` titles the box.
bool VerifyEmbeddedPayload(HMODULE module, bool silent, const std::wstring& caption);
