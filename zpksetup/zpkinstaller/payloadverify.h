// The start-up check of the embedded payload (payloadcheck.h) against this program's own
// resources, with its report: a message box in the windowed run, a debug-output line in
// the silent run (where nobody may be there to answer a box).
#pragma once
#include <windows.h>

#include <string>

#include "exitcodes.h"

// True when the payload is intact or there is none; otherwise reports the damage and
// returns false. `caption` titles the message box.
bool VerifyEmbeddedPayload(HMODULE module, bool silent, const std::wstring& caption);
