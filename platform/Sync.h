// Calls handed from worker threads to the interface thread. A worker either
// waits until its call has run there (Synchronize) or leaves it queued (Queue).
// Calls run in the order they were raised, only inside CheckSynchronize on the
// interface thread; each new call rings the wake-up hook so a blocked event
// loop notices it.
#pragma once
#include <cstdint>
#include <functional>

namespace platform {

// Marks the calling thread as the interface thread. The event loop does this
// when it is created; tests without a loop call it themselves. Until then the
// program's main thread is the interface thread.
void SetInterfaceThread();
bool IsInterfaceThread();

// Runs Call on the interface thread and waits for it to finish. On the
// interface thread itself the call runs at once. Returns false, without having
// run the call, when shutdown released it (see ReleaseSynchronize).
bool Synchronize(std::function<void()> call);

// Queues Call for the interface thread and returns at once.
void Queue(std::function<void()> call);

// Interface thread: runs every call queued so far, in order. When nothing is
// queued, waits up to TimeoutMs for a call (or a Notify) first. Returns true
// when at least one call ran.
bool CheckSynchronize(uint32_t timeoutMs = 0);

// Interface thread, inside a call that Synchronize is running: the waiting
// worker goes on at once, while the rest of the call still runs (the call
// must no longer use anything of the worker's). Elsewhere it does nothing.
void ReleaseCaller();

// Interface thread, inside a call that Synchronize is running: the worker
// stays waiting after the call has returned, until ReleaseHeldCallers. A
// held worker is also released when the interface thread waits for a worker
// thread to end, and at shutdown.
void HoldCaller();
void ReleaseHeldCallers();

// Wakes a CheckSynchronize that is waiting, without queueing a call; thread
// ends use it so a waiting interface thread looks again at once.
void NotifySynchronize();

// Set by the event loop: called (from any thread) whenever a call is queued.
void SetWakeHook(std::function<void()> hook);

// Shutdown: every pending and every later Synchronize returns false without
// running, and queued calls are dropped, so no worker blocks forever on an
// interface thread that no longer serves calls. ResetSynchronize undoes it.
void ReleaseSynchronize();
void ResetSynchronize();

}  // namespace platform
