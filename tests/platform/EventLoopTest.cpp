// The headless event loop: event order, timers by id, the wake-up of queued
// calls, and the presented frame.
#include <gtest/gtest.h>

#include <climits>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/Keys.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

using namespace platform;

namespace {

EventLoop::Options Headless() {
  EventLoop::Options o;
  o.Headless = true;
  return o;
}

}  // namespace

// A loaded machine wakes the loop late, so the ticks are counted against
// the time that really passed: never more often than the period, and the
// killed timer stays silent while the other one fires on for longer than
// its period.
TEST(EventLoopTest, TimersFireByIdAtTheirIntervalAndStopWhenKilled) {
  ResetSynchronize();
  EventLoop loop(Headless());
  std::vector<std::pair<int, uint64_t>> ticks;
  const uint64_t start = TickMs();
  loop.SetTimer(1, 50);
  loop.SetTimer(7, 120);
  int onesAfterKill = 0;
  bool killed = false;
  auto handler = [&](const Event& e) {
    if (e.Kind != EventKind::Timer) return;
    ticks.push_back({e.TimerId, TickMs() - start});
    if (e.TimerId == 1 && killed) ++onesAfterKill;
    if (e.TimerId == 7) {
      loop.KillTimer(7);
      killed = true;
    }
  };
  // Four ticks of the 50 ms timer after the kill span more than 120 ms.
  loop.RunUntil(handler, [&] { return onesAfterKill >= 4; }, 20000);
  const uint64_t elapsed = TickMs() - start;
  ASSERT_GE(onesAfterKill, 4) << "the 50 ms timer stopped firing";
  int ones = 0, sevens = 0;
  for (auto& [id, at] : ticks) {
    if (id == 1) ++ones;
    if (id == 7) {
      ++sevens;
      EXPECT_GE(at, 120u);
    }
  }
  EXPECT_EQ(sevens, 1) << "a killed timer must not fire again";
  EXPECT_LE(uint64_t(ones), elapsed / 50) << ones << " ticks in " << elapsed << " ms";
  ASSERT_FALSE(ticks.empty());
  EXPECT_GE(ticks.front().second, 50u);
}

// The program's own loop runs with no time limit and nothing else arriving:
// its timers must still fire. A watchdog ends a loop that waits forever, so
// the fault shows as a failure instead of a hang.
TEST(EventLoopThreads, TimersFireInALoopWithoutTimeLimitWhenNothingElseArrives) {
  EventLoop loop(Headless());
  std::mutex lock;
  std::condition_variable finished;
  bool over = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> hold(lock);
    if (!finished.wait_for(hold, std::chrono::seconds(20), [&] { return over; })) {
      Event quit;
      quit.Kind = EventKind::Quit;
      loop.Post(quit);
    }
  });
  int ticks = 0;
  loop.SetTimer(3, 40);
  bool done = loop.RunUntil([&](const Event& e) { ticks += e.Kind == EventKind::Timer; }, [&] { return ticks >= 3; },
                            UINT32_MAX);
  {
    std::lock_guard<std::mutex> hold(lock);
    over = true;
  }
  finished.notify_all();
  watchdog.join();
  EXPECT_TRUE(done) << "timer ticks seen: " << ticks;
}

TEST(EventLoopTest, SettingATimerAgainReplacesIt) {
  EventLoop loop(Headless());
  int fired = 0;
  loop.SetTimer(3, 30);
  loop.SetTimer(3, 1000);
  loop.RunUntil([&](const Event& e) { fired += e.Kind == EventKind::Timer; }, [] { return false; }, 200);
  EXPECT_EQ(fired, 0);
  EXPECT_TRUE(loop.HasTimer(3));
}

TEST(EventLoopTest, ALateTimerFiresOnce) {
  EventLoop loop(Headless());
  loop.SetTimer(2, 10);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // ten periods missed
  int fired = 0;
  loop.PumpMessages(true);
  loop.RunUntil([&](const Event& e) { fired += e.Kind == EventKind::Timer; }, [] { return false; }, 1);
  loop.PumpMessages(true);
  EXPECT_LE(fired, 1);
}

TEST(EventLoopTest, InputComesBeforeOneCoalescedPaint) {
  EventLoop loop(Headless());
  std::vector<EventKind> kinds;
  loop.Invalidate();
  loop.Post(Event::Key(vk::Letter('A')));
  loop.Post(Event::Character('a'));
  loop.Post(Event::Mouse(EventKind::MouseDown, 3, 4, 1));
  loop.Invalidate();
  loop.RunUntil([&](const Event& e) { kinds.push_back(e.Kind); }, [&] { return kinds.size() >= 4; }, 500);
  ASSERT_EQ(kinds.size(), 4u);
  EXPECT_EQ(kinds[0], EventKind::KeyDown);
  EXPECT_EQ(kinds[1], EventKind::Char);
  EXPECT_EQ(kinds[2], EventKind::MouseDown);
  EXPECT_EQ(kinds[3], EventKind::Paint);
}

TEST(EventLoopTest, AQueuedCallFromAWorkerWakesABlockedLoop) {
  ResetSynchronize();
  EventLoop loop(Headless());
  bool ran = false;
  std::thread worker([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Queue([] {});
  });
  uint64_t start = TickMs();
  int wakes = 0;
  loop.RunUntil(
      [&](const Event& e) {
        if (e.Kind == EventKind::Wake) {
          ++wakes;
          ran = CheckSynchronize(0);
        }
      },
      [&] { return ran; }, 5000);
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_EQ(wakes, 1);
  EXPECT_LT(TickMs() - start, 1000u);
}

TEST(EventLoopTest, PresentedFrameCanBeReadBack) {
  EventLoop loop(Headless());
  Surface frame(4, 2);
  frame.Fill(PackRGB(1, 2, 3));
  frame.SetPixel(3, 1, PackRGB(255, 0, 0));
  loop.Present(frame);
  ASSERT_EQ(loop.PresentedFrame().Width(), 4);
  EXPECT_EQ(loop.PresentedFrame().Pixel(0, 0), PackRGB(1, 2, 3));
  EXPECT_EQ(loop.PresentedFrame().Pixel(3, 1), PackRGB(255, 0, 0));
  EXPECT_EQ(loop.Title(), "KORVAN");
}

TEST(EventLoopTest, QuitEndsRun) {
  EventLoop loop(Headless());
  loop.Post(Event::Key(vk::Escape));
  int code = loop.Run([&](const Event& e) {
    if (e.Kind == EventKind::KeyDown) loop.PostQuit(7);
  });
  EXPECT_EQ(code, 7);
}

TEST(KeysTest, ScanCodesFollowThePcKeyboard) {
  struct Row {
    uint16_t Key;
    uint16_t Scan;
  };
  const Row rows[] = {{vk::Escape, 0x01}, {vk::Letter('A'), 0x1E}, {vk::Letter('Q'), 0x10},
                      {vk::Letter('Z'), 0x2C}, {vk::Digit(1), 0x02}, {vk::Digit(0), 0x0B},
                      {vk::Return, 0x1C},  {vk::Fn(1), 0x3B},       {vk::Fn(10), 0x44},
                      {vk::Fn(12), 0x58},  {vk::Up, 0x48},          {vk::Delete, 0x53}};
  for (const Row& r : rows) EXPECT_EQ(ScanCodeForVirtualKey(r.Key), r.Scan) << "vk " << r.Key;
}

// However often the window is invalidated, it is painted at most once per
// refresh period, and the last change is still painted.
TEST(EventLoopTest, PaintsArePacedToTheRefreshAndTheLastChangeIsPainted) {
  EventLoop loop(Headless());
  ASSERT_GE(loop.FrameMs(), 5u);
  int paints = 0, invalidations = 0;
  bool paintedLast = false;
  loop.SetTimer(1, 1);
  const uint64_t start = TickMs();
  loop.RunUntil(
      [&](const Event& e) {
        if (e.Kind == EventKind::Paint) {
          ++paints;
          paintedLast = true;
        }
        if (e.Kind == EventKind::Timer && invalidations < 300) {
          ++invalidations;
          paintedLast = false;
          loop.Invalidate();
        }
      },
      [&] { return invalidations >= 300 && paintedLast; }, 20000);
  const uint64_t elapsed = TickMs() - start;
  EXPECT_TRUE(paintedLast);
  EXPECT_LE(uint64_t(paints), elapsed / loop.FrameMs() + 1) << paints << " paints in " << elapsed << " ms";
  EXPECT_LT(paints, invalidations);
}

// Idle, the loop sleeps until its next timer: a 200 ms timer over a second
// wakes it a handful of times, not at a fixed short interval.
TEST(EventLoopTest, AnIdleLoopSleepsUntilItsNextTimer) {
  EventLoop loop(Headless());
  int ticks = 0;
  loop.SetTimer(1, 200);
  loop.RunUntil([&](const Event& e) { ticks += e.Kind == EventKind::Timer; }, [&] { return ticks >= 5; }, 20000, 0);
  EXPECT_EQ(ticks, 5);
  // One sleep per tick, plus the first paint's and a few early wake-ups.
  EXPECT_LE(loop.Sleeps(), 10u);
}
