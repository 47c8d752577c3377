// A small fixed-size thread pool: queued tasks run in order on worker threads, each of
// which has COM initialised for itself. The statistics module is built on it so that the
// window's thread never waits for the statistics library.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class IThreadPool {
 public:
  virtual bool IsStopped() const = 0;
  virtual ~IThreadPool() = default;
};

// A unit of work. SetPool is called when the task is queued, Cancel when the pool stops
// while the task runs (the task may end early; the pool still waits for it).
class IThreadTask {
 public:
  virtual void SetPool(IThreadPool* pool) = 0;
  virtual void Cancel() = 0;
  virtual void Run() = 0;
  virtual ~IThreadTask() = default;
};

// A task around a callable without arguments or result; an empty callable throws
// std::bad_function_call when run.
class EasyTask0 : public IThreadTask {
 public:
  explicit EasyTask0(std::function<void()> fn) : fn_(std::move(fn)) {}
  void SetPool(IThreadPool* pool) override { pool_ = pool; }
  void Cancel() override {}
  void Run() override { fn_(); }
  IThreadPool* pool() const { return pool_; }

 private:
  IThreadPool* pool_ = nullptr;
  std::function<void()> fn_;
};

class ThreadPoolImpl : public IThreadPool {
 public:
  ThreadPoolImpl() = default;
  ThreadPoolImpl(const ThreadPoolImpl&) = delete;
  ThreadPoolImpl& operator=(const ThreadPoolImpl&) = delete;

  bool IsStopped() const override { return !running_; }
  ~ThreadPoolImpl() override { Stop(); }

  // Starts thread-count workers; nothing when already running.
  void Start();
  // Queues a task and wakes one worker. A task posted to a stopped pool waits for the next
  // Start.
  bool Post(std::shared_ptr<IThreadTask> task);
  // Cancels the running tasks, waits for them, drops the queued ones. Called from one of
  // the pool's own workers it throws std::system_error (resource_deadlock_would_occur) and
  // leaves the pool as it was.
  void Stop();

  // Number of workers to start; takes effect at the next Start.
  void SetThreadCount(int n) { thread_count_ = n < 1 ? 1 : n; }
  std::size_t WorkerCount() const { return threads_.size(); }

 private:
  void WorkerLoop(int index);
  std::shared_ptr<IThreadTask> TakeNext();
  bool CalledFromWorker() const;

  std::list<std::shared_ptr<IThreadTask>> running_tasks_;
  std::mutex running_lock_;
  std::list<std::shared_ptr<IThreadTask>> queue_;
  std::mutex queue_lock_;
  std::mutex wait_lock_;
  std::vector<std::thread> threads_;
  std::atomic<bool> running_{false};
  std::condition_variable wake_;
  int thread_count_ = 1;
  // Queue length as seen by the wake-up test, which runs under the wait lock only.
  std::atomic<std::size_t> queued_{0};
};
