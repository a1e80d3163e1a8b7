// The IGS sound output on its thread: it opens the audio layer's stream as
// soon as a sound starts, keeps it open while sound plays and for 1.5 s of
// silence after it (a sound within that time plays on the same stream),
// then closes it; without an output every start is stopped again and the
// failure is logged about once a second, however often sounds start.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "platform/Tick.h"
#include "sound/uIGSSound.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WaveFile.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  const uint64_t until = platform::TickMs() + uint64_t(ms);
  while (!done())
    if (platform::TickMs() > until)
      return false;
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return true;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class IGSSoundThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("KORVAN_AUDIO_CAPTURE");
    platform::SetAudioCaptureFile(Dir.File("mix.wav"));
    LogEnabled = true;
    LogOpen(Dir.File("debug.log"));
  }
  void TearDown() override {
    Out.reset();
    platform::AudioShutdown();
    platform::SetAudioCaptureFile("");
    LogClose();
    LogEnabled = false;
  }
  std::string Log() {
    LogFlushPending();
    return testsupport::ReadWholeFile(Dir.File("debug.log"));
  }
  // The stream of the audio layer, each open noted with its time.
  TIGSSoundOut::TOpener CountingOpener(bool fails = false) {
    return [this, fails]() -> std::unique_ptr<platform::AudioStream> {
      {
        std::lock_guard<std::mutex> hold(OpenLock);
        Opens.push_back(platform::TickMs());
      }
      if (fails) return nullptr;
      return platform::OpenAudioStream({int(TIGSSoundOut::kRate), 1, platform::SampleType::S16}, nullptr);
    };
  }
  std::vector<uint64_t> OpenTimes() {
    std::lock_guard<std::mutex> hold(OpenLock);
    return Opens;
  }
  void Play(int effect) {
    Out->FSynth.PlayEffect(effect);
    Out->Wake();
  }

  testsupport::TempDir Dir;
  std::mutex OpenLock;
  std::vector<uint64_t> Opens;
  std::unique_ptr<TIGSSoundOut> Out;
};

}  // namespace

TEST_F(IGSSoundThreadsTest, AStartWhileClosedOpensTheOutputAtOnce) {
  Out = std::make_unique<TIGSSoundOut>(CountingOpener());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // into its wait for activity
  EXPECT_FALSE(Out->IsOpen());
  const uint64_t started = platform::TickMs();
  Play(1);
  ASSERT_TRUE(WaitFor([&] { return Out->IsOpen(); }));
  ASSERT_EQ(OpenTimes().size(), 1u);
  EXPECT_LT(OpenTimes()[0] - started, 400u) << "the start woke the thread";
  EXPECT_NE(Log().find("IGSSound: output opened"), std::string::npos);
}

TEST_F(IGSSoundThreadsTest, TheOutputStaysOpenForASoundWithinTheIdleTimeThenCloses) {
  Out = std::make_unique<TIGSSoundOut>(CountingOpener());
  Out->FSynth.SetRepeatCount(1);
  Play(3);  // one burst: 40 ms, then its release
  ASSERT_TRUE(WaitFor([&] { return Out->IsOpen(); }));
  ASSERT_TRUE(WaitFor([&] { return !Out->FSynth.IsActive(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_TRUE(Out->IsOpen()) << "closed before 1.5 s of silence";
  Play(3);
  ASSERT_TRUE(WaitFor([&] { return !Out->FSynth.IsActive(); }));
  const uint64_t silent = platform::TickMs();
  ASSERT_TRUE(WaitFor([&] { return !Out->IsOpen(); }));
  const uint64_t closed = platform::TickMs();
  EXPECT_GE(closed - silent, uint64_t(TIGSSoundOut::kIdleCloseMs));
  EXPECT_LT(closed - silent, uint64_t(TIGSSoundOut::kIdleCloseMs) + 500);
  EXPECT_EQ(OpenTimes().size(), 1u) << "the second sound played on the open stream";
  const std::string log = Log();
  EXPECT_EQ(CountOf(log, "IGSSound: output opened"), 1u) << log;
  EXPECT_EQ(CountOf(log, "IGSSound: output closed"), 1u) << log;

  // Both bursts were heard whole, the second as long as the first.
  Out.reset();
  platform::AudioShutdown();
  testsupport::TWave wave;
  ASSERT_TRUE(testsupport::ReadWave(Dir.File("mix.wav"), wave));
  const auto runs = testsupport::SoundRuns(wave, 2400, 2000);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_GT(runs[0].Length(), size_t(0.040 * 48000)) << "its 40 ms and its release";
  EXPECT_NEAR(double(runs[1].Length()), double(runs[0].Length()), 480);
}

TEST_F(IGSSoundThreadsTest, WithoutAnOutputStartsAreStoppedAndTheFailureLoggedAboutOnceASecond) {
  Out = std::make_unique<TIGSSoundOut>(CountingOpener(true));
  // A board that starts a long sound every 50 ms for three seconds.
  const uint64_t start = platform::TickMs();
  while (platform::TickMs() - start < 3000) {
    Play(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::vector<uint64_t> opens = OpenTimes();
  ASSERT_GE(opens.size(), 2u);
  EXPECT_LE(opens.size(), 4u);
  for (size_t i = 1; i < opens.size(); ++i)
    EXPECT_GE(opens[i] - opens[i - 1], uint64_t(TIGSSoundOut::kRetryWaitMs) - 20) << "attempt " << i;
  // The last start is stopped at the next attempt at the latest.
  EXPECT_TRUE(WaitFor([&] { return !Out->FSynth.IsActive(); }, int(TIGSSoundOut::kRetryWaitMs) + 2000));
  EXPECT_FALSE(Out->IsOpen());
  EXPECT_EQ(CountOf(Log(), "IGSSound: waveOutOpen failed"), OpenTimes().size());
}

TEST_F(IGSSoundThreadsTest, AFloodOfStartsWhileItPlays) {
  Out = std::make_unique<TIGSSoundOut>(CountingOpener());
  for (int i = 0; i < 4000; ++i) {
    Out->FSynth.PlayEffect(i % 20);
    Out->FSynth.PlayNote(i % 20, i % 4, 20 + i % 100, i % 17);
    if (i % 9 == 0) Out->FSynth.KeyOffAll();
    if (i % 97 == 0) Out->FSynth.StopAll();
    Out->Wake();
    if (i % 400 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(WaitFor([&] { return Out->IsOpen(); }));
  Out->FSynth.StopAll();
  EXPECT_TRUE(WaitFor([&] { return !Out->IsOpen(); }, 10000));
}
