// Work that runs beside a window's message loop: a thread of its own that posts a message
// to the window once the work has returned. The owner waits for the thread before it
// goes away.
#pragma once
#include <windows.h>

#include <functional>

#include "handles.h"

namespace skin {

class CWorkerThread {
 public:
  CWorkerThread() = default;
  ~CWorkerThread() { Wait(); }
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Runs work, then posts doneMessage to window. False when the thread cannot start:
  // nothing runs and nothing will be posted.
  bool Start(HWND window, UINT doneMessage, std::function<void()> work);
  // Until the thread has ended; at once when none was started.
  void Wait();

 private:
  UniqueKernelHandle m_thread;
};

}  // namespace skin
