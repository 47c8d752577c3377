#include "threadpool/threadpool.h"

#include <algorithm>
#include <system_error>

#include "threadpool/workerapartment.h"

void ThreadPoolImpl::Start() {
  if (running_) return;
  running_ = true;
  for (int i = 0; i < thread_count_; ++i)
    threads_.emplace_back(&ThreadPoolImpl::WorkerLoop, this, i);
}

bool ThreadPoolImpl::Post(std::shared_ptr<IThreadTask> task) {
  {
    std::lock_guard<std::mutex> g(queue_lock_);
    task->SetPool(this);
    queue_.push_back(std::move(task));
    ++queued_;
  }
  // Taking the wait lock orders this wake-up after a worker's test of the queue.
  { std::lock_guard<std::mutex> g(wait_lock_); }
  wake_.notify_one();
  return true;
}

bool ThreadPoolImpl::CalledFromWorker() const {
  const auto self = std::this_thread::get_id();
  return std::any_of(threads_.begin(), threads_.end(),
                     [&](const std::thread& t) { return t.get_id() == self; });
}

void ThreadPoolImpl::Stop() {
  if (!running_) return;
  // Joining itself would never return; refuse before anything is changed, so the owner can
  // still stop the pool properly.
  if (CalledFromWorker())
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
  {
    std::lock_guard<std::mutex> g(wait_lock_);
    running_ = false;
  }
  wake_.notify_all();
  {
    std::lock_guard<std::mutex> g(running_lock_);
    for (auto& task : running_tasks_) task->Cancel();
  }
  for (auto& t : threads_) t.join();
  {
    std::lock_guard<std::mutex> g(queue_lock_);
    queue_.clear();
    queued_ = 0;
  }
  threads_.clear();
}

std::shared_ptr<IThreadTask> ThreadPoolImpl::TakeNext() {
  std::lock_guard<std::mutex> g(queue_lock_);
  if (queue_.empty()) return nullptr;
  auto task = std::move(queue_.front());
  queue_.pop_front();
  --queued_;
  return task;
}

void ThreadPoolImpl::WorkerLoop(int /*index*/) {
  WorkerApartment apartment;
  while (running_) {
    {
      std::unique_lock<std::mutex> lk(wait_lock_);
      wake_.wait(lk, [this] { return !running_ || queued_ > 0; });
    }
    if (!running_) break;
    auto task = TakeNext();
    if (!task) continue;  // another worker was quicker
    {
      std::lock_guard<std::mutex> g(running_lock_);
      running_tasks_.push_back(task);
    }
    task->Run();
    {
      std::lock_guard<std::mutex> g(running_lock_);
      auto it = std::find(running_tasks_.begin(), running_tasks_.end(), task);
      if (it != running_tasks_.end()) running_tasks_.erase(it);
    }
  }
}
