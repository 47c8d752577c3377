#include "scriptcallback.h"

#include "log/debugoutput.h"
#include "scriptargs.h"
#include "scriptengine.h"
#include "scripterror.h"
#include "textconv.h"

namespace {

// The host's protected call; a coroutine's own stack gets the same handler.
int ProtectedCall(lua_State* L, int nargs, int nresults) {
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  if (L == engine->State()) return engine->ProtectedCall(nargs, nresults);
  int base = lua_gettop(L) - nargs;
  lua_pushcfunction(L, ScriptErrorHandler);
  lua_insert(L, base);
  int status = lua_pcall(L, nargs, nresults, base);
  lua_remove(L, base);
  return status;
}

}  // namespace

ScriptCallback::~ScriptCallback() {
  if (ref_ != LUA_NOREF) luaL_unref(L_, LUA_REGISTRYINDEX, ref_);
}

bool ScriptCallback::Take(lua_State* L, int index) {
  if (ref_ != LUA_NOREF || lua_type(L, index) != LUA_TFUNCTION) return false;
  L_ = L;
  lua_pushvalue(L, index);
  ref_ = luaL_ref(L, LUA_REGISTRYINDEX);
  return true;
}

bool ScriptCallback::Call(const std::wstring& path, lua_Integer* result) {
  return Invoke(path, nullptr, result);
}

bool ScriptCallback::Call(const std::wstring& path, DWORD code, lua_Integer* result) {
  return Invoke(path, &code, result);
}

bool ScriptCallback::Invoke(const std::wstring& path, const DWORD* code, lua_Integer* result) {
  if (ref_ == LUA_NOREF) return false;
  const int top = lua_gettop(L_);
  lua_rawgeti(L_, LUA_REGISTRYINDEX, ref_);
  scriptargs::PushText(L_, path);
  if (code) lua_pushnumber(L_, static_cast<lua_Number>(*code));
  const int status = ProtectedCall(L_, code ? 2 : 1, 1);
  if (status != LUA_OK) {
    const char* text = lua_tostring(L_, -1);
    qd::Output(L"%ls\r\n", Utf8ToUtf16(text ? text : "").c_str());
    lua_settop(L_, top);
    return false;
  }
  if (result) *result = lua_tointeger(L_, -1);
  lua_settop(L_, top);
  return true;
}
