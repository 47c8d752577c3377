// wintool.exe: what the window tests need from inside Windows.
//   wintool qd OUTFILE PROGRAM [ARGS...]  runs PROGRAM as its debugger; every debug-output
//                                         line is appended to OUTFILE at once; exit code:
//                                         the program's
//   wintool box CAPTION BUTTON MS         (CAPTION may be hex:UTF-8) waits up to MS for a message box with exactly this
//                                         caption, prints its text (UTF-8) and presses
//                                         BUTTON (1 OK, 2 Cancel); exit 1 when none came
//   wintool rect CLASS                    "left top right bottom" of the visible window of
//                                         that class; exit 1 when there is none
//   wintool sysclose CLASS                the system's close command (as Alt+F4 gives it)
#include <windows.h>

#include <cstdio>
#include <string>

#include "processrun.h"

namespace {

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// "hex:" followed by the UTF-8 bytes in hexadecimal, so that any caption survives the
// command line; other text is taken as it is.
std::wstring Arg(const wchar_t* text) {
  std::wstring s = text;
  if (s.compare(0, 4, L"hex:") != 0) return s;
  std::string bytes;
  for (size_t i = 4; i + 1 < s.size(); i += 2) bytes += static_cast<char>(wcstol(s.substr(i, 2).c_str(), nullptr, 16));
  int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
  return out;
}

std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

void AppendLine(const std::wstring& path, const std::string& line) {
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD n = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CloseHandle(f);
}

int RunDebugged(const std::wstring& out, int argc, wchar_t** argv) {
  std::wstring cmd = Quote(argv[0]);
  for (int i = 1; i < argc; ++i) cmd += L" " + std::wstring(argv[i]);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  // A 32-bit child's lines may reach only the monitor (processrun.h says why).
  std::mutex fileMutex;
  processrun_detail::DbwinMonitor monitor([&out, &fileMutex](const std::string& line) {
    std::lock_guard<std::mutex> lock(fileMutex);
    AppendLine(out, line);
  });
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                      &pi)) {
    return 255;
  }
  monitor.Watch(pi.dwProcessId);
  DWORD exitCode = 255;
  for (bool ended = false; !ended;) {
    DEBUG_EVENT ev = {};
    if (!WaitForDebugEvent(&ev, INFINITE)) break;
    DWORD status = DBG_CONTINUE;
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const DWORD code = ev.u.Exception.ExceptionRecord.ExceptionCode;
        if (code != EXCEPTION_BREAKPOINT && code != 0x4000001F) status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      }
      case OUTPUT_DEBUG_STRING_EVENT: {
        const std::string line = processrun_detail::ReadDebugString(pi.hProcess, ev.u.DebugString);
        std::lock_guard<std::mutex> lock(fileMutex);
        AppendLine(out, line);
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        exitCode = ev.u.ExitProcess.dwExitCode;
        ended = true;
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(exitCode);
}

std::wstring BoxText(HWND box) {
  wchar_t text[2048] = {};
  if (GetDlgItemTextW(box, 0xFFFF, text, 2048) > 0) return text;
  // Otherwise the longest static text of the box.
  std::wstring best;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") != 0) continue;
    GetWindowTextW(child, text, 2048);
    if (wcslen(text) > best.size()) best = text;
  }
  return best;
}

int AnswerBox(const std::wstring& caption, int button, int ms) {
  for (int waited = 0; waited <= ms; waited += 100) {
    HWND box = FindWindowW(L"#32770", caption.c_str());
    if (box && IsWindowVisible(box)) {
      Sleep(300);  // let it finish showing: the screenshot and the answer see the whole box
      printf("%s\n", Utf8(BoxText(box)).c_str());
      fflush(stdout);
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
      return 0;
    }
    Sleep(100);
  }
  return 1;
}

HWND VisibleWindow(const wchar_t* cls) {
  HWND w = FindWindowW(cls, nullptr);
  return w && IsWindowVisible(w) ? w : nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring cmd = argv[1];
  if (cmd == L"qd" && argc >= 4) return RunDebugged(argv[2], argc - 3, argv + 3);
  if (cmd == L"box" && argc >= 5) return AnswerBox(Arg(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
  if (cmd == L"rect") {
    HWND w = VisibleWindow(argv[2]);
    RECT rc;
    if (!w || !GetWindowRect(w, &rc)) return 1;
    printf("%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
    return 0;
  }
  if (cmd == L"sysclose") {
    HWND w = VisibleWindow(argv[2]);
    if (!w) return 1;
    PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  }
  return 2;
}
