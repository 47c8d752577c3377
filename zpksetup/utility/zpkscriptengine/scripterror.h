// What happens when a script fails: the message handler of every protected call the
// host makes, the call-stack text, and the error box that ends the process.
#pragma once
#include <string>

struct lua_State;

// The message handler (never returns with the default presenter).
int ScriptErrorHandler(lua_State* L);

// Appends the "      <call stack>" block for level and every deeper level.
void AppendCallStack(lua_State* L, int level, std::string& text);

// The box's text: error value, call stack, then the request to report the error.
std::wstring BuildScriptErrorText(lua_State* L);

// Shows the text and ends the process. The default shows the error box and exits with
// code 0; the script runner prints to standard error instead. A presenter that returns
// (unit tests only) makes the protected call fail with the text as its error value.
using ScriptErrorPresenter = void (*)(const std::wstring& text);
void SetScriptErrorPresenter(ScriptErrorPresenter presenter);

extern const wchar_t kScriptErrorCaption[];
extern const wchar_t kScriptErrorRequest[];
