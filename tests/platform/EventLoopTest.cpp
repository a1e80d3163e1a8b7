// The headless event loop: event order, timers by id, the wake-up of queued
// calls, and the presented frame.
#include <gtest/gtest.h>

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

TEST(EventLoopTest, TimersFireByIdAtTheirIntervalAndStopWhenKilled) {
  ResetSynchronize();
  EventLoop loop(Headless());
  std::vector<std::pair<int, uint64_t>> ticks;
  const uint64_t start = TickMs();
  loop.SetTimer(1, 50);
  loop.SetTimer(7, 120);
  auto handler = [&](const Event& e) {
    if (e.Kind != EventKind::Timer) return;
    ticks.push_back({e.TimerId, TickMs() - start});
    if (e.TimerId == 7) loop.KillTimer(7);
  };
  loop.RunUntil(handler, [] { return false; }, 420);
  int ones = 0, sevens = 0;
  for (auto& [id, at] : ticks) {
    if (id == 1) ++ones;
    if (id == 7) {
      ++sevens;
      EXPECT_GE(at, 120u);
    }
  }
  EXPECT_EQ(sevens, 1) << "a killed timer must not fire again";
  EXPECT_GE(ones, 5);
  EXPECT_LE(ones, 9);
  ASSERT_FALSE(ticks.empty());
  EXPECT_GE(ticks.front().second, 50u);
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
