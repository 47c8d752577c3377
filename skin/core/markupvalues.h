// The markup's value syntax: booleans, integers, rectangles, sizes, colours, float
// alignment words; and the UTF-8 <-> wide text conversion the markup needs.
#pragma once
#include <string>

#include "uitypes.h"

namespace skin {

std::wstring FromUtf8(const char* text);
std::string ToUtf8(const std::wstring& text);

bool ParseBool(const std::wstring& value);          // exactly "true"
int ParseInt(const std::wstring& value);            // leading decimal integer, else 0
Rect ParseRect(const std::wstring& value);          // "l,t,r,b"; missing fields are 0
Size ParseSize(const std::wstring& value);          // "cx,cy"
// Optional '#', then base-36 digits accumulated as value * 16 + digit in 32 bits; the
// first other character ends it. "#AARRGGBB" and "0xAARRGGBB" give the same ARGB.
Color ParseColor(const std::wstring& value);

// Float alignment flags: "left" 0, "center" 1, "right" 2, "top" 0, "vcenter" 4,
// "bottom" 8, words separated by commas or blanks; "nullptr" clears what came before.
enum FloatAlign : unsigned { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2,
                             kAlignTop = 0, kAlignVCenter = 4, kAlignBottom = 8 };
unsigned ParseFloatAlign(const std::wstring& value);
// Text alignment words for the child alignment of layouts ("left"/"center"/"right",
// "top"/"vcenter"/"bottom"): the same flag values.
unsigned ParseAlignWord(const std::wstring& value);

}  // namespace skin
