// What the script value types take from <windows.h>, for their native fuzz build only:
// the comparison the string types use for ordering. The real one compares by locale;
// the fuzz target checks memory and block rules, not collation.
#pragma once
#include <cstring>

inline int lstrcmpA(const char* a, const char* b) { return std::strcmp(a, b); }
