// Symbolic links, junctions and mount points (reparse points) make a write land
// somewhere other than its path says. An installer runs elevated: it never creates or
// replaces a file through one that lies at or below a folder it writes into, since a
// less privileged user may have planted it there. A link found on the way makes the
// write fail with a debug line; the link itself is left as it is.
#pragma once
#include <string>

// True when `path` exists and is a reparse point.
bool IsReparsePoint(const std::wstring& path);

// True when a file may be created or replaced at `target`: neither the target (when it
// exists) nor the folder it goes into is a reparse point. Otherwise writes the debug
// line "Fun:<primitive>, Description:<link> is a link, nothing written through it!".
bool WritableWithoutLinks(const std::wstring& target, const wchar_t* primitive);

// The debug line for a refused link.
void ReportLink(const wchar_t* primitive, const std::wstring& link);
