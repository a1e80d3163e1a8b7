// Calls handed from workers to the interface thread: order, waiting, and the
// shutdown that must never leave a worker blocked.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/Tick.h"

using namespace platform;

namespace {

class SyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetInterfaceThread();
    ResetSynchronize();
    CheckSynchronize(0);
  }
  void TearDown() override { ResetSynchronize(); }
};

class FnThread : public Thread {
 public:
  explicit FnThread(std::function<void(FnThread&)> body, size_t stack = 0) : Thread(stack), FBody(std::move(body)) {}
  ~FnThread() override { WaitFor(); }

 protected:
  void Execute() override { FBody(*this); }

 private:
  std::function<void(FnThread&)> FBody;
};

// Runs queued calls until Done or a time limit.
bool ServeUntil(const std::function<bool()>& done, uint32_t ms = 10000) {
  uint64_t until = TickMs() + ms;
  while (!done() && TickMs() < until) CheckSynchronize(5);
  return done();
}

}  // namespace

TEST_F(SyncTest, CallsFromSeveralWorkersArriveOnTheInterfaceThreadInOrderPerWorker) {
  constexpr int kWorkers = 4, kCalls = 500;
  const std::thread::id ui = std::this_thread::get_id();
  std::map<int, std::vector<int>> seen;  // touched on the interface thread only
  std::atomic<int> wrongThread{0};
  std::vector<std::unique_ptr<FnThread>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.push_back(std::make_unique<FnThread>([&, w](FnThread&) {
      for (int i = 0; i < kCalls; ++i) {
        auto call = [&, w, i] {
          if (std::this_thread::get_id() != ui) ++wrongThread;
          seen[w].push_back(i);
        };
        // Mix waiting and queued calls: the order raised must hold across both.
        if (i % 3 == 0)
          Synchronize(call);
        else
          Queue(call);
      }
    }));
    workers.back()->Start();
  }
  ASSERT_TRUE(ServeUntil([&] {
    size_t total = 0;
    for (auto& [w, v] : seen) total += v.size();
    return total == kWorkers * kCalls;
  }));
  for (auto& w : workers) w->WaitFor();
  EXPECT_EQ(wrongThread.load(), 0);
  for (int w = 0; w < kWorkers; ++w) {
    ASSERT_EQ(seen[w].size(), size_t(kCalls));
    for (int i = 0; i < kCalls; ++i) ASSERT_EQ(seen[w][size_t(i)], i) << "worker " << w;
  }
}

TEST_F(SyncTest, SynchronizeWaitsUntilTheCallHasRun) {
  std::atomic<bool> ran{false}, returned{false};
  FnThread worker([&](FnThread&) {
    Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran.load());
    returned = true;
  });
  worker.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned.load()) << "the worker must wait for the interface thread";
  ASSERT_TRUE(ServeUntil([&] { return returned.load(); }));
}

TEST_F(SyncTest, OnTheInterfaceThreadSynchronizeRunsAtOnce) {
  bool ran = false;
  EXPECT_TRUE(Synchronize([&] { ran = true; }));
  EXPECT_TRUE(ran);
}

// A fresh program in which no thread has been named the interface thread
// and the main thread has not yet touched the calls: a worker that asks and
// synchronizes first still waits for the main thread, instead of running its
// own call on its own thread. Returns whether that held.
bool MainThreadServesBeforeAnyIsNamed() {
  std::atomic<bool> asked{false}, workerIsInterface{true}, ranOnWorker{true}, returned{false};
  std::thread worker([&] {
    workerIsInterface = IsInterfaceThread();
    asked = true;
    const std::thread::id self = std::this_thread::get_id();
    Synchronize([&] { ranOnWorker = std::this_thread::get_id() == self; });
    returned = true;
  });
  while (!asked) std::this_thread::yield();
  const uint64_t until = TickMs() + 10000;
  while (!returned && TickMs() < until) CheckSynchronize(5);
  worker.join();
  return IsInterfaceThread() && !workerIsInterface && !ranOnWorker;
}

TEST(SyncDeathTest, BeforeAnyThreadIsNamedTheMainThreadServesTheCalls) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(_exit(MainThreadServesBeforeAnyIsNamed() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_F(SyncTest, WaitingForAWorkerThatWaitsOnTheInterfaceThreadDoesNotDeadlock) {
  int value = 0;
  FnThread worker([&](FnThread&) {
    for (int i = 0; i < 10; ++i) Synchronize([&] { ++value; });
  });
  worker.Start();
  worker.WaitFor();  // keeps serving the worker's calls while it waits
  EXPECT_EQ(value, 10);
}

TEST_F(SyncTest, ACallCanLetItsWorkerGoOnEarlyOrHoldItAfterReturning) {
  // Released inside the call: the worker goes on while the call still runs.
  std::atomic<bool> workerOn{false}, callEnded{false};
  FnThread early([&](FnThread&) {
    EXPECT_TRUE(Synchronize([&] {
      ReleaseCaller();
      const uint64_t until = TickMs() + 5000;
      while (!workerOn.load() && TickMs() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      callEnded = true;
    }));
    workerOn = true;
  });
  early.Start();
  ASSERT_TRUE(ServeUntil([&] { return callEnded.load(); }));
  EXPECT_TRUE(workerOn.load()) << "the worker was still waiting for the whole call";
  early.WaitFor();

  // Held: the worker waits past the call's end until the release, and the
  // calls queued behind it still run meanwhile.
  std::atomic<int> stage{0};
  std::atomic<bool> returned{false};
  FnThread held([&](FnThread&) {
    EXPECT_TRUE(Synchronize([&] {
      HoldCaller();
      stage = 1;
    }));
    returned = true;
  });
  held.Start();
  ASSERT_TRUE(ServeUntil([&] { return stage.load() == 1; }));
  Queue([&] { stage = 2; });
  ASSERT_TRUE(ServeUntil([&] { return stage.load() == 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned.load()) << "a held worker went on before its release";
  ReleaseHeldCallers();
  ASSERT_TRUE(ServeUntil([&] { return returned.load(); }));
  held.WaitFor();

  // A held worker is let go when the interface thread waits for it to end.
  FnThread joined([&](FnThread&) { Synchronize([] { HoldCaller(); }); });
  joined.Start();
  joined.WaitFor();  // would never return if the hold were kept
}

TEST_F(SyncTest, ShutdownReleasesAWorkerBlockedInAWaitingCall) {
  std::atomic<int> result{-1};
  FnThread worker([&](FnThread&) { result = Synchronize([] {}) ? 1 : 0; });
  worker.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ReleaseSynchronize();
  // Joins without serving: only the release can end the worker's wait.
  uint64_t until = TickMs() + 5000;
  while (result.load() < 0 && TickMs() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(result.load(), 0) << "a released call reports that it did not run";
  worker.WaitFor();
}

TEST_F(SyncTest, ThreadHasStopFlagStackSizeAndEndCallOnTheInterfaceThread) {
  const std::thread::id ui = std::this_thread::get_id();
  std::atomic<size_t> stack{0};
  bool endedOnUi = false;
  FnThread worker(
      [&](FnThread& self) {
        pthread_attr_t attr;
        pthread_getattr_np(pthread_self(), &attr);
        size_t size = 0;
        pthread_attr_getstacksize(&attr, &size);
        pthread_attr_destroy(&attr);
        stack = size;
        while (!self.Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      },
      Thread::kTransportStackSize);
  worker.OnTerminate = [&] { endedOnUi = std::this_thread::get_id() == ui; };
  worker.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(worker.Finished());
  worker.Terminate();
  worker.WaitFor();
  EXPECT_TRUE(worker.Finished());
  EXPECT_TRUE(endedOnUi);
  EXPECT_GE(stack.load(), Thread::kTransportStackSize);
}

TEST_F(SyncTest, AFreeOnTerminateThreadFreesItselfWhenItsBodyEnds) {
  struct Probe : Thread {
    std::atomic<bool>* Freed;
    explicit Probe(std::atomic<bool>* freed) : Freed(freed) {}
    ~Probe() override { *Freed = true; }
    void Execute() override { Synchronize([] {}); }
  };
  std::atomic<bool> freed{false};
  {
    auto probe = std::make_shared<Probe>(&freed);
    probe->SetFreeOnTerminate(true);
    ASSERT_TRUE(probe->Start());
  }  // the creator lets go at once, as the application does with a transport
  ASSERT_TRUE(ServeUntil([&] { return freed.load(); }));
}
