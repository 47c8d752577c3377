// The thread pool's life cycle and its edge cases. Portable: also built natively.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "threadpool/threadpool.h"
#ifdef _WIN32
#include <objbase.h>
#endif

namespace {

using namespace std::chrono_literals;

// A one-shot signal with a generous deadline, so a broken pool fails instead of hanging.
class Gate {
 public:
  void Open() {
    { std::lock_guard<std::mutex> g(mu_); open_ = true; }
    cv_.notify_all();
  }
  bool Wait(std::chrono::milliseconds limit = 20s) {
    std::unique_lock<std::mutex> lk(mu_);
    return cv_.wait_for(lk, limit, [&] { return open_; });
  }
  bool IsOpen() {
    std::lock_guard<std::mutex> g(mu_);
    return open_;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool open_ = false;
};

// A task that blocks until cancelled (or released), recording what happened to it.
class BlockingTask : public IThreadTask {
 public:
  void SetPool(IThreadPool* pool) override { pool_ = pool; }
  void Cancel() override {
    cancelled = true;
    release.Open();
  }
  void Run() override {
    started.Open();
    release.Wait();
    std::this_thread::sleep_for(50ms);  // finishing takes a while after Cancel
    finished = true;
  }
  IThreadPool* pool_ = nullptr;
  Gate started, release;
  std::atomic<bool> cancelled{false}, finished{false};
};

std::shared_ptr<EasyTask0> Task(std::function<void()> fn) {
  return std::make_shared<EasyTask0>(std::move(fn));
}

TEST(ThreadPool, RunsPostedTasksInOrderOnOneWorker) {
  ThreadPoolImpl pool;
  EXPECT_TRUE(pool.IsStopped());
  pool.Start();
  EXPECT_FALSE(pool.IsStopped());
  std::vector<int> order;
  Gate done;
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(pool.Post(Task([&order, i] { order.push_back(i); })));
  pool.Post(Task([&] { done.Open(); }));
  ASSERT_TRUE(done.Wait());
  pool.Stop();
  EXPECT_TRUE(pool.IsStopped());
  std::vector<int> want;
  for (int i = 0; i < 20; ++i) want.push_back(i);
  EXPECT_EQ(order, want);
}

TEST(ThreadPool, PostSetsThePoolOnTheTask) {
  ThreadPoolImpl pool;
  auto t = Task([] {});
  EXPECT_EQ(t->pool(), nullptr);
  pool.Post(t);
  EXPECT_EQ(t->pool(), &pool);
}

// A task running at Stop is cancelled and allowed to finish before Stop returns; a task
// still queued behind it is dropped without running.
TEST(ThreadPool, StopCancelsAndWaitsForTheRunningTaskAndDropsQueuedOnes) {
  ThreadPoolImpl pool;
  pool.Start();
  auto running = std::make_shared<BlockingTask>();
  pool.Post(running);
  ASSERT_TRUE(running->started.Wait());
  std::atomic<bool> queuedRan{false};
  auto queued = Task([&] { queuedRan = true; });
  pool.Post(queued);

  pool.Stop();
  EXPECT_TRUE(running->cancelled);
  EXPECT_TRUE(running->finished) << "Stop returned before the running task ended";
  EXPECT_FALSE(queuedRan);
  EXPECT_EQ(queued.use_count(), 1) << "the pool still holds the dropped task";
  EXPECT_EQ(running.use_count(), 1) << "the pool still holds the finished task";
  EXPECT_EQ(pool.WorkerCount(), 0u);
}

TEST(ThreadPool, StartTwiceStartsTheWorkersOnce) {
  ThreadPoolImpl pool;
  pool.SetThreadCount(2);
  pool.Start();
  pool.Start();
  EXPECT_EQ(pool.WorkerCount(), 2u);
  pool.Stop();
  EXPECT_EQ(pool.WorkerCount(), 0u);
}

TEST(ThreadPool, StopOfANeverStartedPoolDoesNothingAndKeepsItsQueue) {
  ThreadPoolImpl pool;
  std::atomic<int> ran{0};
  pool.Post(Task([&] { ++ran; }));
  pool.Stop();
  pool.Stop();
  EXPECT_TRUE(pool.IsStopped());
  EXPECT_EQ(ran, 0);
  // The task posted to the stopped pool runs once the pool starts.
  Gate done;
  pool.Post(Task([&] { done.Open(); }));
  pool.Start();
  ASSERT_TRUE(done.Wait());
  pool.Stop();
  EXPECT_EQ(ran, 1);
}

TEST(ThreadPool, RestartsAfterStop) {
  ThreadPoolImpl pool;
  for (int round = 0; round < 3; ++round) {
    pool.Start();
    Gate done;
    pool.Post(Task([&] { done.Open(); }));
    ASSERT_TRUE(done.Wait()) << "round " << round;
    pool.Stop();
  }
}

TEST(ThreadPool, StopFromATaskRaisesResourceDeadlockAndLeavesThePoolUsable) {
  ThreadPoolImpl pool;
  pool.Start();
  std::error_code raised;
  Gate done;
  pool.Post(Task([&] {
    try {
      pool.Stop();
    } catch (const std::system_error& e) {
      raised = e.code();
    }
    done.Open();
  }));
  ASSERT_TRUE(done.Wait());
  EXPECT_EQ(raised, std::make_error_code(std::errc::resource_deadlock_would_occur));
  EXPECT_FALSE(pool.IsStopped());
  Gate again;
  pool.Post(Task([&] { again.Open(); }));
  EXPECT_TRUE(again.Wait());
  pool.Stop();
  EXPECT_TRUE(pool.IsStopped());
}

TEST(ThreadPool, EmptyCallableRaisesBadFunctionCall) {
  EasyTask0 empty{std::function<void()>()};
  EXPECT_THROW(empty.Run(), std::bad_function_call);
}

// With several workers, tasks run side by side: three tasks wait for each other.
TEST(ThreadPool, SeveralWorkersRunTasksInParallel) {
  ThreadPoolImpl pool;
  pool.SetThreadCount(3);
  pool.Start();
  std::mutex mu;
  std::condition_variable cv;
  int arrived = 0, met = 0, left = 0;
  for (int i = 0; i < 3; ++i) {
    pool.Post(Task([&] {
      std::unique_lock<std::mutex> lk(mu);
      ++arrived;
      cv.notify_all();
      if (cv.wait_for(lk, 20s, [&] { return arrived == 3; })) ++met;
      ++left;
      cv.notify_all();
    }));
  }
  {
    std::unique_lock<std::mutex> lk(mu);
    cv.wait_for(lk, 60s, [&] { return left == 3; });
  }
  pool.Stop();
  EXPECT_EQ(met, 3) << "the tasks did not run at the same time";
}

TEST(ThreadPool, DestructorStopsAndJoins) {
  auto task = std::make_shared<BlockingTask>();
  {
    ThreadPoolImpl pool;
    pool.Start();
    pool.Post(task);
    ASSERT_TRUE(task->started.Wait());
  }
  EXPECT_TRUE(task->cancelled);
  EXPECT_TRUE(task->finished);
}

#ifdef _WIN32
TEST(ThreadPool, WorkersHaveComInitialised) {
  ThreadPoolImpl pool;
  pool.Start();
  HRESULT hr = E_FAIL;
  Gate done;
  pool.Post(Task([&] {
    hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    done.Open();
  }));
  ASSERT_TRUE(done.Wait());
  pool.Stop();
  EXPECT_EQ(hr, S_FALSE) << "COM was not initialised on the worker";
}
#endif

}  // namespace
