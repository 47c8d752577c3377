#include "scriptengine.h"

#include <lua/lua.hpp>

#include <cstring>
#include <stdexcept>

#include "log/debugoutput.h"
#include "resource/moduleresource.h"
#include "scriptapi.h"
#include "scripterror.h"
#include "textconv.h"

ZPKScriptEngine* ZPKScriptEngine::Instance() {
  static ZPKScriptEngine engine;
  return &engine;
}

ZPKScriptEngine::ZPKScriptEngine() {
  lua_State* L = luaL_newstate();
  if (!L) throw std::runtime_error("E_FAIL: no script state");
  state_ = L;
  luaL_openlibs(L);
  RegisterScriptApi(L);
}

ZPKScriptEngine::~ZPKScriptEngine() {
  if (state_) {
    lua_close(state_);
    state_ = nullptr;
  }
}

bool ZPKScriptEngine::DoResLua(const wchar_t* type, const wchar_t* name) {
  qvbase::ResourceBytes chunk;
  switch (qvbase::ReadModuleResource(nullptr, name, type, &chunk)) {
    case qvbase::ResourceResult::kOk:
      break;
    case qvbase::ResourceResult::kNotLocked:
      QD_ERROR_TRACE(L"LockResource failed.");
      return false;
    case qvbase::ResourceResult::kEmpty:
      qd::OutputText(L"ResSize == 0\r\n");
      return false;
    default:
      qd::Output(L"LoadResource failed. Type : %ls ID : %ls\r\n", type, name);
      QD_ERROR_TRACE(L"");
      return false;
  }
  const std::string chunkName = Utf16ToAnsi(name);
  return DoBuffer(reinterpret_cast<const char*>(chunk.data), chunk.size, chunkName.c_str());
}

bool ZPKScriptEngine::DoBuffer(const char* data, size_t size, const char* chunkName) {
  lua_State* L = state_;
  if (luaL_loadbuffer(L, data, size, chunkName) != LUA_OK) {
    std::wstring message = Utf8ToUtf16(lua_tolstring(L, -1, nullptr));
    lua_pop(L, 1);
    qd::Output(L"%ls\r\n", message.c_str());
    qd::OutputText(L"luaL_loadbuffer failed!\r\n");
    return false;
  }
  int base = lua_gettop(L);
  lua_pushcfunction(L, ScriptErrorHandler);
  lua_insert(L, base);
  int status = lua_pcall(L, 0, 0, base);
  lua_remove(L, base);
  if (status != LUA_OK) lua_pop(L, 1);  // only when the handler itself could not run
  return status == LUA_OK;
}

int ZPKScriptEngine::ProtectedCall(int nargs, int nresults) {
  lua_State* L = state_;
  int base = lua_gettop(L) - nargs;
  lua_pushcfunction(L, ScriptErrorHandler);
  lua_insert(L, base);
  int status = lua_pcall(L, nargs, nresults, base);
  lua_remove(L, base);
  return status;
}

void ZPKScriptEngine::CallEvent(const char* name) {
  lua_State* L = state_;
  lua_getglobal(L, name);
  if (lua_type(L, -1) != LUA_TFUNCTION) {
    lua_pop(L, 1);
    return;
  }
  if (ProtectedCall(0, 0) != LUA_OK) lua_pop(L, 1);
}

std::wstring ZPKScriptEngine::GetGlobalString(const char* name) {
  lua_getglobal(state_, name);
  size_t len = 0;
  const char* text = lua_tolstring(state_, -1, &len);
  std::wstring value = text ? Utf8ToUtf16(text, len) : std::wstring();
  lua_pop(state_, 1);
  return value;
}

int ZPKScriptEngine::GetGlobalInteger(const char* name) {
  lua_getglobal(state_, name);
  int value = static_cast<int>(lua_tointeger(state_, -1));
  lua_pop(state_, 1);
  return value;
}

bool ZPKScriptEngine::GetGlobalBoolean(const char* name) {
  lua_getglobal(state_, name);
  bool value = lua_toboolean(state_, -1) != 0;
  lua_pop(state_, 1);
  return value;
}

void ZPKScriptEngine::SetGlobalString(const char* name, const std::wstring& value) {
  lua_pushstring(state_, Utf16ToUtf8(value).c_str());
  lua_setglobal(state_, name);
}

void ZPKScriptEngine::SetGlobalNumber(const char* name, double value) {
  lua_pushnumber(state_, value);
  lua_setglobal(state_, name);
}

void ZPKScriptEngine::SetGlobalBoolean(const char* name, bool value) {
  lua_pushboolean(state_, value ? 1 : 0);
  lua_setglobal(state_, name);
}
