#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "ui/error_report.h"

namespace ui {

// Calls handed from worker threads to the user-interface thread. The worker
// waits until its call has run; the user-interface thread runs the queue
// whenever it processes messages.
class CallQueue {
 public:
  CallQueue() : uiThread_(std::this_thread::get_id()) {}

  // Called (on the worker) after a call was queued, so a host can wake its
  // message loop.
  std::function<void()> wake;

  void Synchronize(std::function<void()> fn);
  // Runs every queued call; returns how many ran. A call that throws still
  // releases its worker; the exception goes to `report` (or propagates).
  int Drain(const ErrorReport& report = {});
  bool Empty();
  bool OnUiThread() const { return std::this_thread::get_id() == uiThread_; }

 private:
  struct Call {
    std::function<void()> fn;
    bool done = false;
  };
  std::mutex mutex_;
  std::condition_variable done_;
  std::deque<std::shared_ptr<Call>> calls_;
  std::thread::id uiThread_;
};

}  // namespace ui
