// The temporary folder, where the install and uninstall logs go.
#pragma once
#include <string>

// %TEMP% as the system answers it, with a trailing backslash; empty when it cannot be
// found or is not an absolute path, so that no caller ever falls back to a name relative
// to whatever the current folder is.
std::wstring TemporaryFolder();
