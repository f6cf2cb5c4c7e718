// One thread beside the caller's, kept for a whole pass over a file, that
// runs one task at a time: what the pass reads next, while the caller works
// on what it read before. Made once per pass, not once per read.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace slicery {

class TaskThread {
 public:
  TaskThread();
  // Waits for the task running, if any, then ends the thread.
  ~TaskThread();
  TaskThread(const TaskThread&) = delete;
  TaskThread& operator=(const TaskThread&) = delete;

  // Runs `task` on the thread, once the task before it has ended.
  void Start(std::function<void()> task);
  // Returns once the task started last has ended: what it wrote is then the
  // caller's to read.
  void Wait();

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> task_;
  bool busy_ = false;  // a task is given and has not ended
  bool stop_ = false;
  std::thread thread_;  // last: started once the rest is made
};

}  // namespace slicery
