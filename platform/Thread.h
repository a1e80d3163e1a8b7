// A worker thread with the life cycle the transports and players rely on: a
// settable stack size, a stop flag the body polls, an end call run on the
// interface thread, and optionally freeing itself when its body returns.
#pragma once
#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

namespace platform {

class Thread : public std::enable_shared_from_this<Thread> {
 public:
  static constexpr size_t kTransportStackSize = 4 * 1024 * 1024;

  explicit Thread(size_t stackSize = 0);
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the body once. A free-on-terminate thread must be owned by a
  // shared_ptr: it keeps one reference itself until its body and OnTerminate
  // are done, so nothing it still touches can be freed under it.
  bool Start();

  // Asks the body to stop; the body polls Terminated().
  void Terminate() { FTerminated.store(true); }
  bool Terminated() const { return FTerminated.load(); }
  bool Finished() const { return FFinished.load(); }

  void SetFreeOnTerminate(bool value) { FFreeOnTerminate = value; }
  bool FreeOnTerminate() const { return FFreeOnTerminate; }

  // Runs on the interface thread (through Synchronize) after Execute returns.
  std::function<void()> OnTerminate;

  // Waits until the body has ended. On the interface thread it keeps running
  // queued calls meanwhile, so a worker waiting in Synchronize can finish.
  // Not for free-on-terminate threads, which nobody waits for.
  void WaitFor();

 protected:
  virtual void Execute() = 0;

 private:
  static void* Entry(void* self);
  void Run();

  size_t FStackSize;
  pthread_t FHandle{};
  bool FStarted = false;
  bool FJoined = false;
  bool FFreeOnTerminate = false;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::shared_ptr<Thread> FKeepAlive;
};

}  // namespace platform
