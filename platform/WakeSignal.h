// A sleep another thread can cut short: a worker waits for a time, or with
// no limit, until it is woken or told to stop. A wake-up given while the
// worker is busy ends its next wait at once, so none is lost.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class WakeSignal {
 public:
  // Any thread: ends the current wait, or the next one.
  void Wake() {
    std::lock_guard<std::mutex> hold(FLock);
    FWoken = true;
    FSignal.notify_all();
  }

  // Waits up to Ms, or with no limit for 0, until woken or Stop() holds.
  // Whoever makes Stop() hold calls Wake() after it.
  template <typename Stop>
  void Wait(uint32_t ms, Stop stop) {
    std::unique_lock<std::mutex> hold(FLock);
    if (ms == 0)
      FSignal.wait(hold, [&] { return FWoken || stop(); });
    else
      FSignal.wait_for(hold, std::chrono::milliseconds(ms), [&] { return FWoken || stop(); });
    FWoken = false;
  }

  // Waits Ms; only Stop() ends it early. Wake-ups meanwhile are dropped.
  template <typename Stop>
  void Pause(uint32_t ms, Stop stop) {
    std::unique_lock<std::mutex> hold(FLock);
    FSignal.wait_for(hold, std::chrono::milliseconds(ms), [&] { return stop(); });
    FWoken = false;
  }

 private:
  std::mutex FLock;
  std::condition_variable FSignal;
  bool FWoken = false;
};

}  // namespace platform
