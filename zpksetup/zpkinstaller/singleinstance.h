// One installer per product: a named mutex marks the running instance.
#pragma once
#include <windows.h>

#include <string>

// Class name of the installer window, looked up to bring a running instance forward.
extern const wchar_t kInstallerWindowClass[];

// Creates (or opens) the instance mutex named name + appId (appId omitted when 0). When
// another instance already made it, brings that instance's window forward and returns
// the handle; otherwise returns null. A mutex this process created stays open until
// the process ends: that open handle is what marks the running instance.
HANDLE CreateAppInstance(const std::wstring& name, int appId);
