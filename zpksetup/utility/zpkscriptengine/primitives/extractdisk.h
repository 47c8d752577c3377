// The Windows side of an extraction: entries of an archive become files and directories
// under a destination, with the script's callbacks deciding on files that cannot be
// created.
#pragma once
#include <7z/7zTypes.h>

#include <string>

class ScriptCallback;

// Runs the extraction of the archive read through `source` into `destination` (an
// existing directory). Either callback may be empty. Returns the result code (0 when
// everything was unpacked).
int ExtractToDirectory(ISeekInStreamPtr source, const std::wstring& destination,
                       ScriptCallback& onFile, ScriptCallback& onError);
