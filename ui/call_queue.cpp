#include "ui/call_queue.h"

namespace ui {

void CallQueue::Synchronize(std::function<void()> fn) {
  if (OnUiThread()) {
    fn();
    return;
  }
  auto call = std::make_shared<Call>();
  call->fn = std::move(fn);
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
  }
  if (wake) wake();
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return call->done; });
}

int CallQueue::Drain(const ErrorReport& report) {
  int ran = 0;
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard lock(mutex_);
      if (calls_.empty()) break;
      call = calls_.front();
      calls_.pop_front();
    }
    // The worker goes on however the call ends.
    struct Release {
      CallQueue& q;
      Call& call;
      ~Release() {
        {
          std::lock_guard lock(q.mutex_);
          call.done = true;
        }
        q.done_.notify_all();
      }
    } release{*this, *call};
    ++ran;
    RunReported(call->fn, report);
  }
  return ran;
}

bool CallQueue::Empty() {
  std::lock_guard lock(mutex_);
  return calls_.empty();
}

}  // namespace ui
