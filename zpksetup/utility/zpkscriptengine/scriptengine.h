// The script host: the process's one Lua 5.2 state, chunks from the resources, globals
// crossing between UTF-16 native text and UTF-8 script text, and the script events.
#pragma once
#include <windows.h>

#include <string>

struct lua_State;

class ZPKScriptEngine {
 public:
  static ZPKScriptEngine* Instance();
  virtual ~ZPKScriptEngine();

  lua_State* State() const { return state_; }

  bool DoResLua(const wchar_t* type, const wchar_t* name);
  bool DoBuffer(const char* data, size_t size, const char* chunkName);
  int ProtectedCall(int nargs, int nresults);
  void CallEvent(const char* name);

  std::wstring GetGlobalString(const char* name);
  int GetGlobalInteger(const char* name);
  bool GetGlobalBoolean(const char* name);
  void SetGlobalString(const char* name, const std::wstring& value);
  void SetGlobalNumber(const char* name, double value);
  void SetGlobalBoolean(const char* name, bool value);

 private:
  ZPKScriptEngine();
  ZPKScriptEngine(const ZPKScriptEngine&) = delete;
  ZPKScriptEngine& operator=(const ZPKScriptEngine&) = delete;

  lua_State* state_ = nullptr;
};
