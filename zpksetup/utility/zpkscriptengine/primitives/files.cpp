#include "files.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "latebound.h"
#include "log/debugoutput.h"
#include "msgbox.h"
#include "pathlinks.h"
#include "protectedfolders.h"
#include "scriptargs.h"
#include "scriptcallback.h"
#include "scriptengine.h"

namespace {

using scriptargs::PushBoolean;

// SHFileOperationW flag sets.
constexpr FILEOP_FLAGS kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;  // 0x0214
constexpr FILEOP_FLAGS kQuietNoErrorUi = kQuiet | FOF_NOERRORUI;                         // 0x0614
constexpr FILEOP_FLAGS kSilentDelete = FOF_SILENT | FOF_NOCONFIRMATION;                  // 0x0014

bool Exists(const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; }

// Paths handed to the shell are lists ending in two NULs (one path each here).
int ShellOperation(UINT func, const std::wstring& from, const std::wstring* to, FILEOP_FLAGS flags) {
  std::wstring fromList = from;
  fromList.push_back(L'\0');
  std::wstring toList = to ? *to : std::wstring();
  toList.push_back(L'\0');
  SHFILEOPSTRUCTW op = {};
  op.hwnd = nullptr;
  op.wFunc = func;
  op.pFrom = fromList.c_str();
  op.pTo = to ? toList.c_str() : nullptr;
  op.fFlags = flags;
  return SHFileOperationW(&op);
}

// A path argument; when its expansion does not fit, the missing-path line and false.
bool ReadPath(lua_State* L, int index, const wchar_t* primitive, std::wstring& out) {
  if (scriptargs::Path(L, index, out)) return true;
  scriptargs::ReportMissing(primitive, scriptargs::Text(L, index));
  return false;
}

// Copy and move: the source must exist, the shell does the work.
int ShellTransfer(lua_State* L, const wchar_t* primitive, UINT func, FILEOP_FLAGS flags,
                  const wchar_t* verb) {
  std::wstring from, to;
  if (!scriptargs::ExistingPath(L, 1, primitive, from)) return PushBoolean(L, false);
  if (!ReadPath(L, 2, primitive, to)) return PushBoolean(L, false);
  if (!WritableWithoutLinks(to, primitive)) return PushBoolean(L, false);
  int rc = ShellOperation(func, from, &to, flags);
  if (rc == 0) {
    qd::Output(L"%ls %ls to %ls !", verb, from.c_str(), to.c_str());
    return PushBoolean(L, true);
  }
  qd::Output(L"%ls %ls to %ls failed!", verb, from.c_str(), to.c_str());
  qd::Output(L"SHFileOperation error code : %#x\r\n", rc);
  return PushBoolean(L, false);
}

// A folder that must never be emptied, with a debug line naming what it is.
bool RefusesRemoval(const std::wstring& path, const wchar_t* primitive) {
  return RefuseProtectedFolder(path, primitive, L"nothing deleted");
}

bool IsFolder(const std::wstring& path) { return PathIsDirectoryW(path.c_str()) != FALSE; }

int DeleteRecursive(lua_State* L, const wchar_t* primitive, ScriptCallback* onFailure) {
  std::wstring path;
  if (!ReadPath(L, 1, primitive, path)) return PushBoolean(L, false);
  if (!Exists(path)) return PushBoolean(L, true);
  ZPKScriptEngine::DeleteFailure report;
  if (onFailure && *onFailure)
    report = [onFailure](const std::wstring& file, DWORD error) { onFailure->Call(file, error); };
  if (IsFolder(path)) {
    qd::OutputText(L"PathIsDirectoryW");
    const bool removed = onFailure ? ZPKScriptEngine::DeleteDirectoriesEx(path, report)
                                   : ZPKScriptEngine::DeleteDirectories(path);
    if (!removed) return PushBoolean(L, false);
  } else {
    qd::OutputText(L"Path is file!");
    if (!DeleteFileW(path.c_str())) {
      DWORD error = GetLastError();
      if (report) report(path, error);
    }
  }
  return 0;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

}  // namespace

int Lua_CreateDirectory(lua_State* L) {
  const wchar_t kName[] = L"Lua_CreateDirectory";
  std::wstring path;
  if (!ReadPath(L, 1, kName, path)) return PushBoolean(L, false);
  if (Exists(path)) return PushBoolean(L, true);
  latebound::ShellCreateDirectory(path);
  if (!Exists(path)) {
    scriptargs::ReportMissing(kName, path);
    return PushBoolean(L, false);
  }
  qd::Output(L"Create Directory %ls!\r\n", path.c_str());
  return PushBoolean(L, true);
}

int Lua_CopyFile(lua_State* L) { return ShellTransfer(L, L"Lua_CopyFile", FO_COPY, kQuiet, L"Copy"); }

int Lua_MoveFile(lua_State* L) {
  return ShellTransfer(L, L"Lua_MoveFile", FO_MOVE, kQuietNoErrorUi, L"Move");
}

int Lua_RenameFile(lua_State* L) {
  const wchar_t kName[] = L"Lua_RenameFile";
  std::wstring from, to;
  if (!scriptargs::ExistingPath(L, 1, kName, from)) return PushBoolean(L, false);
  if (!ReadPath(L, 2, kName, to)) return PushBoolean(L, false);
  if (!WritableWithoutLinks(to, kName)) return PushBoolean(L, false);
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    qd::Output(L"MoveFile %ls to %ls failed!", from.c_str(), to.c_str());
    return PushBoolean(L, false);
  }
  qd::Output(L"MoveFile %ls to %ls !", from.c_str(), to.c_str());
  return PushBoolean(L, true);
}

int Lua_DeleteFile(lua_State* L) {
  std::wstring path;
  if (!ReadPath(L, 1, L"Lua_DeleteFile", path)) return PushBoolean(L, false);
  // The shell deletes a folder with everything in it.
  if (Exists(path) && IsFolder(path) && RefusesRemoval(path, L"Lua_DeleteFile")) return PushBoolean(L, false);
  for (;;) {  // Retry runs the whole deletion again
    if (!Exists(path)) return PushBoolean(L, true);
    int rc = ShellOperation(FO_DELETE, path, nullptr, kSilentDelete);
    if (rc == 0) return PushBoolean(L, true);
    const std::wstring text = L"无法删除\"" + path +
                              L"\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！";
    int choice = ZpkMessageBox(nullptr, text.c_str(), L"提示", MB_ICONQUESTION | MB_ABORTRETRYIGNORE);
    if (choice == IDABORT) ExitProcess(0);
    if (choice == IDRETRY) continue;
    qd::Output(L"Delete %ls failed!\r\n", path.c_str());
    qd::Output(L"SHFileOperation error code : %#x\r\n", rc);
    return PushBoolean(L, choice == IDIGNORE);
  }
}

int Lua_DeleteFileEx(lua_State* L) {
  std::wstring path;
  if (!ReadPath(L, 1, L"Lua_DeleteFileEx", path)) return PushBoolean(L, false);
  if (!Exists(path)) return PushBoolean(L, true);
  if (IsFolder(path) && RefusesRemoval(path, L"Lua_DeleteFileEx")) return PushBoolean(L, false);
  return PushBoolean(L, ShellOperation(FO_DELETE, path, nullptr, kQuietNoErrorUi) == 0);
}

int Lua_DelFileRecursive(lua_State* L) {
  qd::OutputText(L"Lua_DelFileRecursive");
  return DeleteRecursive(L, L"Lua_DelFileRecursive", nullptr);
}

int Lua_DelFileRecursiveEx(lua_State* L) {
  qd::OutputText(L"Lua_DelFileRecursiveEx");
  ScriptCallback onFailure;
  const int last = lua_gettop(L);
  if (last > 0) onFailure.Take(L, last);
  return DeleteRecursive(L, L"Lua_DelFileRecursiveEx", &onFailure);
}

int Lua_DeleteFileAfterReboot(lua_State* L) {
  std::wstring path;
  if (!ReadPath(L, 1, L"Lua_DeleteFileAfterReboot", path)) return PushBoolean(L, false);
  if (!Exists(path)) return PushBoolean(L, true);
  if (IsFolder(path) && RefusesRemoval(path, L"Lua_DeleteFileAfterReboot")) return PushBoolean(L, false);
  return PushBoolean(L, MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE);
}

int Lua_GetTempFileName(lua_State* L) {
  std::wstring dir;
  if (!ReadPath(L, 1, L"Lua_GetTempFileName", dir)) {
    lua_pushnil(L);
    return 1;
  }
  // The new file is created inside `dir`: never through a link.
  if (IsReparsePoint(dir)) {
    ReportLink(L"Lua_GetTempFileName", dir);
    lua_pushnil(L);
    return 1;
  }
  const std::wstring prefix = scriptargs::Text(L, 2);
  wchar_t name[MAX_PATH] = {};
  if (GetTempFileNameW(dir.c_str(), prefix.c_str(), 0, name) == 0) {
    lua_pushnil(L);
    return 1;
  }
  return scriptargs::PushText(L, name);
}

int Lua_GetTempPath(lua_State* L) {
  wchar_t temp[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH, temp) == 0) {
    qd::OutputText(L"GetTempPath Failed!");
    return scriptargs::PushText(L, L"");
  }
  wchar_t local[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, local, CSIDL_LOCAL_APPDATA, FALSE)) {
    qd::OutputText(L"Get Local AppData Failed!");
    // Still a usable folder in the same form: the temporary directory.
    return scriptargs::PushText(L, WithoutTrailingSeparator(temp));
  }
  return scriptargs::PushText(L, local);
}

int Lua_ExpandEnv(lua_State* L) {
  const int last = lua_gettop(L);
  if (last == 0) return scriptargs::PushText(L, L"");
  return scriptargs::PushText(L, scriptargs::Expand(scriptargs::Text(L, last)));
}

int Lua_PathFileExists(lua_State* L) { return PushBoolean(L, Exists(scriptargs::Text(L, 1))); }

int Lua_PathYetAnotherMakeUniqueName(lua_State* L) {
  const std::wstring path = scriptargs::Text(L, 1);
  wchar_t unique[MAX_PATH + 1] = {};
  // The output holds MAX_PATH units: a longer template cannot give a usable name.
  if (path.size() >= MAX_PATH || !latebound::ShellMakeUniqueName(unique, path))
    return scriptargs::PushText(L, L"");
  return scriptargs::PushText(L, unique);
}
