#include "workerthread.h"

#include <process.h>

#include <memory>

namespace skin {
namespace {

struct Job {
  HWND window;
  UINT doneMessage;
  std::function<void()> work;
};

unsigned __stdcall RunJob(void* param) {
  std::unique_ptr<Job> job(static_cast<Job*>(param));
  job->work();
  PostMessageW(job->window, job->doneMessage, 0, 0);
  return 0;
}

}  // namespace

bool CWorkerThread::Start(HWND window, UINT doneMessage, std::function<void()> work) {
  Wait();
  auto job = std::make_unique<Job>(Job{window, doneMessage, std::move(work)});
  m_thread.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunJob, job.get(), 0, nullptr)));
  if (!m_thread) return false;
  job.release();  // the thread owns it now
  return true;
}

void CWorkerThread::Wait() {
  if (!m_thread) return;
  WaitForSingleObject(m_thread.get(), INFINITE);
  m_thread.reset();
}

}  // namespace skin
