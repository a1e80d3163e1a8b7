// The door audio engine shared by two threads: the door sound thread mixes
// it while the interface thread loads and stops modules, starts and stops
// effects, steps, pauses, sets the volume and reads the levels, as a door
// does. Run under ThreadSanitizer this shows the engine's lock and its
// atomically read volume and switch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "door/uDDOFXAudio.h"
#include "platform/Tick.h"
#include "sound/uDDOFXSound.h"
#include "tests/door/TrackerFiles.h"

using namespace trackertest;

namespace {

// Plays every buffer at once and counts them.
class TCountingOutput : public TDDOFXWaveOutput {
 public:
  TCountingOutput(std::function<void()> onPlayed, std::atomic<int64_t>& buffers)
      : FOnPlayed(std::move(onPlayed)), FBuffers(buffers) {}
  size_t Pending() const override { return 0; }
  void Queue(std::vector<uint8_t>) override {
    ++FBuffers;
    FOnPlayed();
  }

 private:
  std::function<void()> FOnPlayed;
  std::atomic<int64_t>& FBuffers;
};

}  // namespace

TEST(DDOFXAudioThreadsTest, InterfaceThreadDrivesTheEngineWhileItIsMixed) {
  TSampleSpec s;
  s.Data = Sine(32, 16);
  s.LoopLength = int(s.Data.size());
  TPattern p = EmptyPattern(4);
  for (int row = 0; row < 64; row += 2) {
    TCell& c = At(p, 4, row, row % 4);
    c.Period = 428 - row;
    c.Sample = 1;
    c.Effect = 0xA;
    c.Param = 0x01;
  }
  const std::string mod = MakeMod("M.K.", 4, {s}, {0, 0}, {p});
  TPattern q = EmptyPattern(8);
  TCell note;
  note.Note = 0x40;
  note.Sample = 1;
  At(q, 8, 0, 7) = note;
  const std::string s3m = MakeS3m(8, {s}, {0}, {q});

  TDDOFXAudio audio;
  std::atomic<int64_t> buffers{0};
  std::atomic<uint64_t> clock{1000000};
  TDDOFXSoundOut out(
      &audio,
      [&](std::function<void()> onPlayed) -> std::unique_ptr<TDDOFXWaveOutput> {
        return std::make_unique<TCountingOutput>(std::move(onPlayed), buffers);
      },
      [&] { return clock.fetch_add(23); });

  auto bite = std::make_shared<const std::string>(std::string(4000, '\x22'));
  const uint64_t until = platform::TickMs() + 1500;
  int round = 0;
  while (platform::TickMs() < until) {
    ++round;
    ASSERT_TRUE(audio.LoadMusic(round % 2 ? mod : s3m, round % 2 ? "a.mod" : "b.s3m"));
    out.Wake();
    audio.PlaySample({bite, bite}, round % 150 + 1, 8000 + round);
    audio.SetVolume(round % 65);
    EXPECT_LE(audio.GetVolume(), 64);
    for (int c = 0; c < 8; ++c) {
      const int level = audio.ChannelLevel(c);
      EXPECT_TRUE(level >= 0 && level <= 64) << level;
    }
    audio.StepPattern(round % 3 - 1);
    if (round % 5 == 0) audio.TogglePause();
    if (round % 7 == 0) audio.StopSamples();
    if (round % 11 == 0) audio.FEnabled = !audio.FEnabled.load();
    EXPECT_NE("", audio.SampleStatus(round % 152));
    if (round % 13 == 0) audio.StopMusic();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  audio.FEnabled = true;
  const int64_t before = buffers.load();
  ASSERT_TRUE(audio.LoadMusic(mod, "a.mod"));
  out.Wake();
  const uint64_t wait = platform::TickMs() + 20000;
  while (buffers.load() < before + 100 && platform::TickMs() < wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_GE(buffers.load(), before + 100) << "the sound thread kept mixing";
  EXPECT_GT(round, 10);
}
