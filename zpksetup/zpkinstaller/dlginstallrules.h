// The installer window's rules that need no window: the path placeholder, the folder
// picker's base-name rule, the free-space check's figures, the progress animation and the
// statistics choices. Portable, so they are tested with the host compiler.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace dlginstall {

// The first "$name$" in text: the placeholder with both signs and the name between them.
// False when text has no two "$".
bool FindPlaceholder(const std::wstring& text, std::wstring* placeholder, std::wstring* name);
// text with every occurrence of from replaced by to (from must not be empty).
std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);

// text with every "$name$" whose name is a script identifier replaced by its value, when
// lookup gives one that is not empty; any other "$" stays as written. So a skin's texts
// can show the configured product ("$global_product_name$ 安装向导").
using GlobalLookup = std::function<std::wstring(const std::wstring& name)>;
std::wstring ExpandPlaceholders(const std::wstring& text, const GlobalLookup& lookup);

// The folder picker's result: the chosen folder itself when its last component equals
// baseName (case-sensitive), else the folder joined with baseName.
std::wstring FolderWithBaseName(const std::wstring& chosen, const std::wstring& baseName);
// The path without one trailing backslash.
std::wstring WithoutTrailingBackslash(const std::wstring& path);

// The configured need in bytes: a decimal number after optional blanks; 0 when none.
uint64_t ParseNeededBytes(const std::wstring& text);
// The lack-of-space message with the need in MB (computed in single precision).
std::wstring DiskSpaceMessage(uint64_t needBytes);

// The progress label for a bar value.
std::wstring ProgressLabel(int value);
// One animation step: 2 more while the result stays below maxValue; so the animation
// stops at maxValue - 2 and only the worker's signal fills the bar.
int NextProgressValue(int value, int maxValue);
// The carousel's next picture index and its image path.
int NextCarouselIndex(intptr_t tag);
std::wstring CarouselImage(int index);
// The estimate of the installation's length the scripts get, from the payload's size.
uint32_t ProgressElapse(uint64_t payloadBytes);

// Statistics actions for the two optional options.
constexpr int kActionDesktopLaunchOn = 25103;
constexpr int kActionDesktopLaunchOff = 25104;
constexpr int kActionAutoStartOn = 25105;
constexpr int kActionAutoStartOff = 25106;

}  // namespace dlginstall
