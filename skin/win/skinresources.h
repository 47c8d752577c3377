// What every engine window of the process shares: the skin archive the program hands
// over once, and the list of live paint managers (a DPI change reaches them all).
#pragma once
#include <vector>

#include "skinarchive.h"

namespace skin {

class CPaintManagerUI;

namespace skinresources {

CSkinArchive& Archive();
std::vector<CPaintManagerUI*>& Managers();

}  // namespace skinresources
}  // namespace skin
