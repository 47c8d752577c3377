#include "singleinstance.h"

#include "log/debugoutput.h"
#include "startupdecisions.h"

const wchar_t kInstallerWindowClass[] = L"CDlgInstall";

HANDLE CreateAppInstance(const std::wstring& name, int appId) {
  const std::wstring objectName = InstanceObjectName(name, appId);
  qd::Output(L" szObjectName = %ls ", objectName.c_str());

  // A null DACL: installers started by other users (or elevated) must see the same marker.
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, TRUE};

  HANDLE mutex = CreateMutexW(&attributes, FALSE, objectName.c_str());
  if (!mutex) return nullptr;  // counts as no other instance
  if (GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;  // ours: kept open on purpose

  if (HWND window = FindWindowW(kInstallerWindowClass, nullptr)) SwitchToThisWindow(window, TRUE);
  return mutex;
}
