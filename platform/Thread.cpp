#include "platform/Thread.h"

#include "platform/Sync.h"

namespace platform {

Thread::Thread(size_t stackSize) : FStackSize(stackSize) {}

Thread::~Thread() {
  // Owners end their threads before destruction; this join is only a safety
  // net so a forgotten thread cannot outlive the object it runs on.
  if (FStarted && !FFreeOnTerminate && !FJoined && !pthread_equal(FHandle, pthread_self())) {
    pthread_join(FHandle, nullptr);
  }
}

bool Thread::Start() {
  if (FStarted) return false;
  if (FFreeOnTerminate) FKeepAlive = shared_from_this();
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  if (FStackSize > 0) pthread_attr_setstacksize(&attr, FStackSize);
  if (FFreeOnTerminate) pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  int rc = pthread_create(&FHandle, &attr, &Thread::Entry, this);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    FKeepAlive.reset();
    return false;
  }
  FStarted = true;
  return true;
}

void* Thread::Entry(void* self) {
  static_cast<Thread*>(self)->Run();
  return nullptr;
}

void Thread::Run() {
  // Take over the self reference first: it is released when this frame ends,
  // after the last touch of any member.
  std::shared_ptr<Thread> keep = std::move(FKeepAlive);
  try {
    Execute();
  } catch (...) {
    // A body must not take the process down; its failure is its own to report.
  }
  if (OnTerminate) Synchronize(OnTerminate);
  FFinished.store(true);
  NotifySynchronize();
}

void Thread::WaitFor() {
  if (!FStarted || FFreeOnTerminate || FJoined) return;
  if (IsInterfaceThread()) {
    // A worker held after its call (HoldCaller) could otherwise never end.
    while (!FFinished.load()) {
      ReleaseHeldCallers();
      CheckSynchronize(20);
    }
  }
  pthread_join(FHandle, nullptr);
  FJoined = true;
}

}  // namespace platform
