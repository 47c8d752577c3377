// The archive types RuvanZip opens, registered for the current user.
#pragma once
#include <string>

namespace associations {

// .zip and .7z open with exe; the previous handler of each type is remembered so that
// Remove can give it back.
bool Register(const std::wstring& exe);
// Takes back only what Register wrote (another program's association is left alone).
bool Remove();

}  // namespace associations
