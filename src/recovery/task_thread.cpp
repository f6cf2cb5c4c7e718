#include "recovery/task_thread.h"

#include <utility>

namespace slicery {

TaskThread::TaskThread() : thread_([this] { Loop(); }) {}

TaskThread::~TaskThread() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void TaskThread::Start(std::function<void()> task) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    task_ = std::move(task);
    busy_ = true;
  }
  changed_.notify_all();
}

void TaskThread::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
}

void TaskThread::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    std::function<void()> task = std::move(task_);
    lock.unlock();
    task();
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace slicery
