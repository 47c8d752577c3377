// Starts a program of the test suite and waits for its end, optionally as its debugger so
// that its debug-output lines are seen (Wine hands them over in the ANSI code page).
//
// A debugger receives a child's lines only when the child knows it is being debugged.
// Where 32-bit Windows programs run through qemu, a 32-bit child under a debugger still
// finds IsDebuggerPresent false (seen with Wine 8.0 and the qemu route), so its
// OutputDebugString hands each line to a DBWIN_BUFFER monitor instead. The capture is
// therefore both: the debugger and such a monitor, each line taken from whichever
// receives it.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

// The system's debug-output monitor protocol: a shared 4 KiB buffer (process id, then the
// text) and two events, one per side. Lines of the watched process go to the sink.
class DbwinMonitor {
 public:
  using Sink = std::function<void(const std::string& line)>;
  explicit DbwinMonitor(Sink sink) : sink_(std::move(sink)) {
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
    bufferReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    dataReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    view_ = mapping_ ? static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 4096)) : nullptr;
    if (view_ && bufferReady_ && dataReady_) thread_ = std::thread([this] { Run(); });
  }
  ~DbwinMonitor() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (view_) UnmapViewOfFile(view_);
    for (HANDLE h : {mapping_, bufferReady_, dataReady_})
      if (h) CloseHandle(h);
  }
  void Watch(DWORD pid) { pid_ = pid; }

 private:
  void Run() {
    for (;;) {
      SetEvent(bufferReady_);
      // After the stop, one more short wait takes a line written just before the end.
      const DWORD wait = WaitForSingleObject(dataReady_, stop_ ? 200 : 50);
      if (wait != WAIT_OBJECT_0) {
        if (stop_) return;
        continue;
      }
      DWORD pid = 0;
      memcpy(&pid, view_, sizeof pid);
      if (pid == pid_) sink_(TrimLineEnd(std::string(view_ + sizeof pid, strnlen(view_ + sizeof pid, 4096 - sizeof pid))));
    }
  }

  Sink sink_;
  HANDLE mapping_ = nullptr, bufferReady_ = nullptr, dataReady_ = nullptr;
  const char* view_ = nullptr;
  std::atomic<DWORD> pid_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

inline void Debug(const PROCESS_INFORMATION& pi, DWORD timeoutMs, ProcessRun& run, std::mutex* linesMutex) {
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
      case OUTPUT_DEBUG_STRING_EVENT: {
        const std::string line = ReadDebugString(pi.hProcess, ev.u.DebugString);
        std::lock_guard<std::mutex> lock(*linesMutex);
        run.debugLines.push_back(line);
        break;
      }
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
  std::mutex linesMutex;
  std::unique_ptr<processrun_detail::DbwinMonitor> monitor;
  if (captureDebugOutput) {
    monitor.reset(new processrun_detail::DbwinMonitor([&run, &linesMutex](const std::string& line) {
      std::lock_guard<std::mutex> lock(linesMutex);
      run.debugLines.push_back(line);
    }));
  }
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &si, &pi))
    return run;
  run.started = true;
  if (captureDebugOutput) {
    monitor->Watch(pi.dwProcessId);
    processrun_detail::Debug(pi, timeoutMs, run, &linesMutex);
    monitor.reset();  // takes what the child wrote last
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
