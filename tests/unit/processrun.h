// Starts a program of the test suite and waits for its end, optionally as its debugger so
// that its debug-output lines are seen (Wine hands them over in the ANSI code page).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct ProcessRun {
  bool started = false;
  bool finished = false;  // false when it had to be ended after the timeout
  DWORD exitCode = 0xFFFFFFFF;
  std::vector<std::string> debugLines;  // without the trailing CR LF

  bool HasLine(const std::string& line) const {
    for (const auto& l : debugLines)
      if (l == line) return true;
    return false;
  }
  // A debug-output line of this project: "qd " and the text.
  bool HasQdLine(const std::string& text) const { return HasLine("qd " + text); }
  bool HasLineStartingWith(const std::string& prefix) const {
    for (const auto& l : debugLines)
      if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }
};

namespace processrun_detail {

inline std::string TrimLineEnd(std::string s) {
  while (!s.empty() && (s.back() == '\0' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

inline std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  SIZE_T read = 0;
  if (info.fUnicode) {
    std::wstring text(info.nDebugStringLength, L'\0');
    ReadProcessMemory(process, info.lpDebugStringData, &text[0], text.size() * sizeof(wchar_t), &read);
    text.resize(read / sizeof(wchar_t));
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], bytes,
                        nullptr, nullptr);
    return TrimLineEnd(out);
  }
  std::string text(info.nDebugStringLength, '\0');
  ReadProcessMemory(process, info.lpDebugStringData, &text[0], text.size(), &read);
  text.resize(read);
  return TrimLineEnd(text);
}

inline void Debug(const PROCESS_INFORMATION& pi, DWORD timeoutMs, ProcessRun& run) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  bool ended = false;
  while (!ended) {
    DEBUG_EVENT ev = {};
    if (!WaitForDebugEvent(&ev, 500)) {
      if (GetTickCount64() > deadline) TerminateProcess(pi.hProcess, 0xDEAD);
      continue;
    }
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
        if (code != EXCEPTION_BREAKPOINT && code != 0x4000001F /* WOW64 breakpoint */)
          status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      }
      case OUTPUT_DEBUG_STRING_EVENT:
        run.debugLines.push_back(ReadDebugString(pi.hProcess, ev.u.DebugString));
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        run.exitCode = ev.u.ExitProcess.dwExitCode;
        run.finished = run.exitCode != 0xDEAD;
        ended = true;
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
}

}  // namespace processrun_detail

// Runs commandLine (program path first, quoted) to its end.
inline ProcessRun RunProcess(const std::wstring& commandLine, bool captureDebugOutput,
                             DWORD timeoutMs = 60000) {
  ProcessRun run;
  std::wstring cmd = commandLine;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const DWORD flags = captureDebugOutput ? DEBUG_ONLY_THIS_PROCESS : 0;
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &si, &pi))
    return run;
  run.started = true;
  if (captureDebugOutput) {
    processrun_detail::Debug(pi, timeoutMs, run);
  } else if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    run.finished = true;
  } else {
    TerminateProcess(pi.hProcess, 0xDEAD);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

// Starts commandLine without waiting; the caller owns the returned process handle.
inline HANDLE StartProcess(const std::wstring& commandLine) {
  std::wstring cmd = commandLine;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}
