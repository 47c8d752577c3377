// Lua_HttpPost(url, body) -> boolean: one JSON POST, true when the transfer completed
// (whatever the HTTP status).
#pragma once
#include <lua/lua.hpp>

#include "http/chttpclient.h"

int Lua_HttpPost(lua_State* L);

namespace httppost {
// Test seam: the resolvers the primitive's clients ask (nullptr: the shipped ones).
void SetResolversForTest(const CHttpClient::Resolvers* resolvers);
}  // namespace httppost
