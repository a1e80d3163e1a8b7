#include "platform/Sync.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {
namespace {

struct PendingCall {
  std::function<void()> Call;
  bool Waited = false;  // a Synchronize caller waits on Done
  bool Done = false;
  bool Ran = false;
  bool Held = false;  // HoldCaller: not done when the call returns
};

struct CallQueue {
  std::mutex Lock;
  std::condition_variable Changed;  // new call, finished call, notify
  std::deque<std::shared_ptr<PendingCall>> Calls;
  std::function<void()> WakeHook;
  bool Released = false;
  uint64_t NotifyCount = 0;
  std::thread::id InterfaceThread = std::this_thread::get_id();
  std::deque<std::shared_ptr<PendingCall>> HeldCalls;
};

// The call CheckSynchronize is running on the interface thread (calls nest
// when one pumps the loop).
thread_local PendingCall* Running = nullptr;

// Marks a call done, as having run; the lock is held. The caller wakes the
// worker (notify) once the lock is released.
void FinishLocked(PendingCall& pending) {
  pending.Done = true;
  pending.Ran = true;
}

CallQueue& Q() {
  static CallQueue* queue = new CallQueue;  // outlives every thread, never destroyed
  return *queue;
}

// The queue is made while the program starts, on its main thread, so the
// main thread is the interface thread until SetInterfaceThread names another.
// Made on first use instead, a worker that reports before the main thread has
// touched the queue would become the interface thread and run its own calls.
[[maybe_unused]] const bool kQueueMadeOnMainThread = (Q(), true);

void Ring() {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> hold(Q().Lock);
    hook = Q().WakeHook;
  }
  if (hook) hook();
}

}  // namespace

void SetInterfaceThread() {
  std::lock_guard<std::mutex> hold(Q().Lock);
  Q().InterfaceThread = std::this_thread::get_id();
}

bool IsInterfaceThread() {
  std::lock_guard<std::mutex> hold(Q().Lock);
  return Q().InterfaceThread == std::this_thread::get_id();
}

bool Synchronize(std::function<void()> call) {
  if (IsInterfaceThread()) {
    call();
    return true;
  }
  auto pending = std::make_shared<PendingCall>();
  pending->Call = std::move(call);
  pending->Waited = true;
  {
    std::lock_guard<std::mutex> hold(Q().Lock);
    if (Q().Released) return false;
    Q().Calls.push_back(pending);
  }
  Q().Changed.notify_all();
  Ring();
  std::unique_lock<std::mutex> hold(Q().Lock);
  Q().Changed.wait(hold, [&] { return pending->Done; });
  return pending->Ran;
}

void Queue(std::function<void()> call) {
  auto pending = std::make_shared<PendingCall>();
  pending->Call = std::move(call);
  {
    std::lock_guard<std::mutex> hold(Q().Lock);
    if (Q().Released) return;
    Q().Calls.push_back(pending);
  }
  Q().Changed.notify_all();
  Ring();
}

bool CheckSynchronize(uint32_t timeoutMs) {
  std::deque<std::shared_ptr<PendingCall>> batch;
  {
    std::unique_lock<std::mutex> hold(Q().Lock);
    if (Q().Calls.empty() && timeoutMs > 0) {
      uint64_t seen = Q().NotifyCount;
      Q().Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                           [&] { return !Q().Calls.empty() || Q().NotifyCount != seen; });
    }
    batch.swap(Q().Calls);
  }
  for (auto& pending : batch) {
    // A call that throws must not leave its waiting worker blocked; the
    // exception is swallowed here because no caller up the interface stack
    // could say which worker it belongs to.
    PendingCall* outer = Running;
    Running = pending.get();
    bool ran = false;
    try {
      pending->Call();
      ran = true;
    } catch (...) {
    }
    Running = outer;
    {
      std::lock_guard<std::mutex> hold(Q().Lock);
      if (pending->Held && ran && !Q().Released) {
        Q().HeldCalls.push_back(pending);
        continue;
      }
      pending->Held = false;
      pending->Ran = pending->Ran || ran;
      pending->Done = true;
    }
    if (pending->Waited) Q().Changed.notify_all();
  }
  return !batch.empty();
}

void NotifySynchronize() {
  {
    std::lock_guard<std::mutex> hold(Q().Lock);
    ++Q().NotifyCount;
  }
  Q().Changed.notify_all();
}

void ReleaseCaller() {
  PendingCall* pending = Running;
  if (!pending || !pending->Waited) return;
  {
    std::lock_guard<std::mutex> hold(Q().Lock);
    if (pending->Done) return;
    pending->Held = false;
    FinishLocked(*pending);
  }
  Q().Changed.notify_all();
}

void HoldCaller() {
  PendingCall* pending = Running;
  if (!pending || !pending->Waited) return;
  std::lock_guard<std::mutex> hold(Q().Lock);
  if (!pending->Done && !Q().Released) pending->Held = true;
}

void ReleaseHeldCallers() {
  {
    std::lock_guard<std::mutex> hold(Q().Lock);
    if (Q().HeldCalls.empty()) return;
    for (auto& pending : Q().HeldCalls) {
      pending->Held = false;
      FinishLocked(*pending);
    }
    Q().HeldCalls.clear();
  }
  Q().Changed.notify_all();
}

void SetWakeHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> hold(Q().Lock);
  Q().WakeHook = std::move(hook);
}

void ReleaseSynchronize() {
  {
    std::lock_guard<std::mutex> hold(Q().Lock);
    Q().Released = true;
    for (auto& pending : Q().Calls) pending->Done = true;  // Ran stays false
    Q().Calls.clear();
    for (auto& pending : Q().HeldCalls) FinishLocked(*pending);
    Q().HeldCalls.clear();
  }
  Q().Changed.notify_all();
}

void ResetSynchronize() {
  std::lock_guard<std::mutex> hold(Q().Lock);
  Q().Released = false;
}

}  // namespace platform
