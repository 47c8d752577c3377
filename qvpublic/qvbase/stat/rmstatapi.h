// The interface of the statistics library "rmstat.dll": its 20 exports, bound by name in
// this order, all __stdcall. Shared by the library and by its native caller.
#pragma once
#include <windows.h>

enum StatExport {
  kStatInit,          // BOOL ()                          true when the library is ready
  kStatProxy,         // void (const char* host, int port)
  kStatDispatchAddr,  // void (const char* host, int port)
  kStatOnlineAddr,    // void (const char* host, int port)
  kStatActionAddr,    // void (const char* host, int port)
  kStatInstallAddr,   // void (const char* host, int port)
  kStatLoginoutAddr,  // void (const char* host, int port)
  kStatUnionId,       // void (unsigned short unionId)
  kStatAppId,         // void (unsigned char appId)
  kStatLevel,         // void (int level)
  kStatVersion,       // void (const char* dottedVersion)
  kStatVersionEx,     // void (int major, int minor, int build, int revision)
  kStatOnline,        // void ()
  kStatOffline,       // void ()
  kStatAction,        // void (int id)
  kStatMutilAction,   // void (const int* ids, int count, BOOL flag)
  kStatInstall,       // int (int kind)                   1 new, 3 over a union id, 2 uninstall
  kStatClose,         // void (int waitMs)
  kStatAppInstall,    // int (int kind)
  kStatHttpPost,      // int (const char* url, const char* body, int length, BOOL json)
  kStatExportCount
};

inline const char* StatExportName(int i) {
  static const char* const kNames[kStatExportCount] = {
      "stat_init",        "stat_proxy",      "stat_dispatch_addr", "stat_online_addr",
      "stat_action_addr", "stat_install_addr", "stat_loginout_addr", "stat_unionid",
      "stat_appid",       "stat_level",      "stat_version",       "stat_version_ex",
      "stat_online",      "stat_offline",    "stat_action",        "stat_mutilaction",
      "stat_install",     "stat_close",      "stat_app_install",   "stat_http_post"};
  return i >= 0 && i < kStatExportCount ? kNames[i] : nullptr;
}

typedef BOOL(WINAPI* StatInitFn)();
typedef void(WINAPI* StatAddrFn)(const char* host, int port);
typedef void(WINAPI* StatUnionIdFn)(unsigned short unionId);
typedef void(WINAPI* StatAppIdFn)(unsigned char appId);
typedef void(WINAPI* StatIntFn)(int value);
typedef void(WINAPI* StatTextFn)(const char* text);
typedef void(WINAPI* StatVersionExFn)(int major, int minor, int build, int revision);
typedef void(WINAPI* StatVoidFn)();
typedef void(WINAPI* StatMultiActionFn)(const int* ids, int count, BOOL flag);
typedef int(WINAPI* StatInstallFn)(int kind);
typedef int(WINAPI* StatHttpPostFn)(const char* url, const char* body, int length, BOOL json);
