// The script host: the process's one Lua 5.2 state, chunks from the resources, globals
// crossing between UTF-16 native text and UTF-8 script text, and the script events.
#pragma once
#include <windows.h>

#include <functional>
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

  // Recursive removal of a directory (or of the files a path or pattern matches), read-only
  // files included; the Ex form reports each file that cannot be deleted (defined with
  // the file primitives, primitives/removal.cpp). A drive or share root, a well-known
  // folder (or one holding such a folder) and the Windows folder are refused: false and a
  // debug line, nothing deleted.
  using DeleteFailure = std::function<void(const std::wstring& path, DWORD error)>;
  static bool DeleteDirectories(const std::wstring& path);
  static bool DeleteDirectoriesEx(const std::wstring& path, const DeleteFailure& onFailure);

 private:
  ZPKScriptEngine();
  ZPKScriptEngine(const ZPKScriptEngine&) = delete;
  ZPKScriptEngine& operator=(const ZPKScriptEngine&) = delete;

  lua_State* state_ = nullptr;
};
