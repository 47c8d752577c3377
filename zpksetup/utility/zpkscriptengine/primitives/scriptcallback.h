// A script function that a primitive calls back while it runs (per extracted file, per
// failure): held as a registry reference of the script state for the primitive's
// duration and called through the host's message handler, so an error inside it ends
// the process like any script error.
#pragma once
#include <windows.h>

#include <lua/lua.hpp>

#include <string>

class ScriptCallback {
 public:
  ScriptCallback() = default;
  ~ScriptCallback();
  ScriptCallback(const ScriptCallback&) = delete;
  ScriptCallback& operator=(const ScriptCallback&) = delete;

  // Takes the value at `index` when it is a function; returns whether it did.
  bool Take(lua_State* L, int index);
  explicit operator bool() const { return ref_ != LUA_NOREF; }

  // Calls f(path) or f(path, code) with one result expected. `result` receives that
  // result as an integer (anything that is not a number reads as 0). False when the
  // call failed without passing the handler (for example out of memory); its error
  // text has then been written as a debug-output line.
  bool Call(const std::wstring& path, lua_Integer* result = nullptr);
  bool Call(const std::wstring& path, DWORD code, lua_Integer* result = nullptr);

 private:
  bool Invoke(const std::wstring& path, const DWORD* code, lua_Integer* result);

  lua_State* L_ = nullptr;
  int ref_ = LUA_NOREF;
};
