// The door sound output on its thread: it opens an output while the mixer
// plays, keeps twelve buffers queued, warns at most every 5 s when it falls
// behind, closes 1.5 s after the sound ended, and with the debug log on
// saves what it played (60 s at most) as DDOFXSND.WAV. Most cases run on an
// output that plays every buffer at once and a clock that advances by each
// buffer's length, so minutes of sound take a moment.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "platform/Tick.h"
#include "sound/uDDOFXSound.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WaveFile.h"

namespace {

constexpr int64_t kSecond = 44100;

bool WaitFor(const std::function<bool()>& done, int ms = 60000) {
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

// A mixer that plays Frames frames of a counting pattern (Base plus the
// frame number, on both sides), then silence.
class TFakeMixer : public TDDOFXMixSource {
 public:
  explicit TFakeMixer(int64_t frames, int16_t base = 1) : FLeft(frames), FBase(base) {}
  bool IsActive() override { return FLeft.load() > 0; }
  void Mix(int16_t* out, int frames) override {
    for (int f = 0; f < frames; ++f) {
      int16_t v = 0;
      if (FLeft.load() > 0) {
        v = int16_t(FBase + int16_t(FCounter++ & 0x3FFF));
        --FLeft;
      }
      out[f * 2] = out[f * 2 + 1] = v;
    }
  }
  void StopSamples() override {
    ++Stops;
    FLeft = 0;
  }
  void Play(int64_t frames) { FLeft = frames; }
  std::atomic<int> Stops{0};

 private:
  std::atomic<int64_t> FLeft;
  int16_t FBase;
  uint32_t FCounter = 0;
};

// An output that plays each buffer as soon as it is queued, advancing the
// shared clock by the buffer's length; Backlog buffers always stay pending.
class TInstantOutput : public TDDOFXWaveOutput {
 public:
  TInstantOutput(std::function<void()> onPlayed, std::atomic<uint64_t>& clock, std::vector<uint8_t>& played,
                 std::mutex& lock, size_t backlog, std::atomic<int>* closes = nullptr)
      : FOnPlayed(std::move(onPlayed)), FClock(clock), FPlayed(played), FLock(lock), FBacklog(backlog),
        FCloses(closes) {}
  // The output closes by letting its stream go, after the capture is handed on.
  ~TInstantOutput() override {
    if (FCloses) ++*FCloses;
  }
  size_t Pending() const override { return FBacklog; }
  void Queue(std::vector<uint8_t> data) override {
    {
      std::lock_guard<std::mutex> hold(FLock);
      FPlayed.insert(FPlayed.end(), data.begin(), data.end());
    }
    FSub += 1024 * 1000;
    FClock += FSub / 44100;
    FSub %= 44100;
    FOnPlayed();
  }

 private:
  std::function<void()> FOnPlayed;
  std::atomic<uint64_t>& FClock;
  std::vector<uint8_t>& FPlayed;
  std::mutex& FLock;
  size_t FBacklog;
  std::atomic<int>* FCloses;
  uint64_t FSub = 0;
};

class DDOFXSoundThreadsTest : public ::testing::Test {
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
  TDDOFXSoundOut::TOpener Instant(size_t backlog = 0) {
    return [this, backlog](std::function<void()> onPlayed) -> std::unique_ptr<TDDOFXWaveOutput> {
      ++Opens;
      return std::make_unique<TInstantOutput>(std::move(onPlayed), Clock, Played, PlayedLock, backlog, &Closes);
    };
  }
  TDDOFXSoundOut::TClock SimulatedClock() {
    return [this] { return Clock.load(); };
  }
  std::vector<uint8_t> PlayedBytes() {
    std::lock_guard<std::mutex> hold(PlayedLock);
    return Played;
  }
  // Starts the output around Mixer with the capture file set before the
  // first open.
  void Start(TDDOFXMixSource& mixer, TDDOFXSoundOut::TOpener opener, TDDOFXSoundOut::TClock clock) {
    Out = std::make_unique<TDDOFXSoundOut>(&mixer, std::move(opener), std::move(clock));
    Out->SetCaptureFile(Dir.File("door/DDOFXSND.WAV"));
  }

  testsupport::TempDir Dir;
  std::unique_ptr<TDDOFXSoundOut> Out;
  std::atomic<uint64_t> Clock{1000000};
  std::atomic<int> Opens{0};
  // Outputs closed: counted once a close is over, which the opened flag
  // cannot tell apart from an open that has not been marked yet.
  std::atomic<int> Closes{0};
  std::mutex PlayedLock;
  std::vector<uint8_t> Played;
};

// The header a 44100 Hz 16-bit stereo WAV file has, written out byte by byte.
std::vector<uint8_t> ExpectedHeader(uint32_t data) {
  auto le = [](std::vector<uint8_t>& v, uint32_t x, int n) {
    for (int i = 0; i < n; ++i) v.push_back(uint8_t(x >> (8 * i)));
  };
  std::vector<uint8_t> h;
  for (char c : std::string("RIFF")) h.push_back(uint8_t(c));
  le(h, data + 36, 4);
  for (char c : std::string("WAVEfmt ")) h.push_back(uint8_t(c));
  le(h, 16, 4);
  le(h, 1, 2);
  le(h, 2, 2);
  le(h, 44100, 4);
  le(h, 176400, 4);
  le(h, 4, 2);
  le(h, 16, 2);
  for (char c : std::string("data")) h.push_back(uint8_t(c));
  le(h, data, 4);
  return h;
}

TEST_F(DDOFXSoundThreadsTest, NinetySecondsRecordTheFirstSixty) {
  TFakeMixer mixer(0);
  Start(mixer, Instant(), SimulatedClock());
  mixer.Play(90 * kSecond);
  Out->Wake();
  ASSERT_TRUE(WaitFor([&] { return Opens.load() == 1 && Closes.load() == 1; })) << "the output closes after the sound";
  Out->WaitForWriters();
  const std::string path = Dir.File("door/DDOFXSND.WAV");
  const std::string file = testsupport::ReadWholeFile(path);
  ASSERT_EQ(10584044u, file.size());
  const std::vector<uint8_t> header = ExpectedHeader(10584000);
  EXPECT_EQ(0, std::memcmp(file.data(), header.data(), header.size()));
  const std::vector<uint8_t> played = PlayedBytes();
  ASSERT_GE(played.size(), 90u * 176400);
  EXPECT_EQ(0, std::memcmp(file.data() + 44, played.data(), 10584000)) << "the first 60 s as played";

  const std::string soxi = testsupport::FindProgram("soxi");
  ASSERT_FALSE(soxi.empty()) << "soxi (package sox) is missing";
  const std::string info = testsupport::CommandOutput("'" + soxi + "' '" + path + "' 2>&1");
  EXPECT_NE(std::string::npos, info.find("Channels       : 2")) << info;
  EXPECT_NE(std::string::npos, info.find("Sample Rate    : 44100")) << info;
  EXPECT_NE(std::string::npos, info.find("Precision      : 16-bit")) << info;
  EXPECT_NE(std::string::npos, info.find("= 2646000 samples")) << info;

  const std::string log = Log();
  EXPECT_EQ(1u, CountOf(log, "DDOFXSound: recording output to " + path));
  // Every refill of this output finds all twelve buffers played: warned
  // about once every 5 s of the 91.5 s, never on the first refill.
  const size_t warnings = CountOf(log, "DDOFXSound: output underrun (audio thread was late)");
  EXPECT_GE(warnings, 15u);
  EXPECT_LE(warnings, 19u);
}

TEST_F(DDOFXSoundThreadsTest, CaptureHoldsExactlyWhatWasPlayedUntilTheClose) {
  TFakeMixer mixer(0);
  Start(mixer, Instant(), SimulatedClock());
  const uint64_t opened = Clock.load();
  mixer.Play(3 * kSecond);
  Out->Wake();
  ASSERT_TRUE(WaitFor([&] { return Opens.load() == 1 && Closes.load() == 1; }));
  Out->WaitForWriters();
  const std::vector<uint8_t> played = PlayedBytes();
  // Closed 1.5 s (within a refill of twelve buffers) after the sound ended.
  const double seconds = double(played.size()) / 176400;
  EXPECT_GT(seconds, 3 + 1.5);
  EXPECT_LT(seconds, 3 + 1.5 + 12 * 1024.0 / 44100 + 0.1);
  EXPECT_NEAR(double(Clock.load() - opened) / 1000, seconds, 0.01);
  const std::string file = testsupport::ReadWholeFile(Dir.File("door/DDOFXSND.WAV"));
  ASSERT_EQ(44 + played.size(), file.size());
  EXPECT_EQ(0, std::memcmp(file.data() + 44, played.data(), played.size()));
  const std::vector<uint8_t> header = ExpectedHeader(uint32_t(played.size()));
  EXPECT_EQ(0, std::memcmp(file.data(), header.data(), 44));

  // The next sound opens the output again and its capture replaces the file.
  mixer.Play(kSecond);
  Out->Wake();
  ASSERT_TRUE(WaitFor([&] { return Opens.load() == 2 && Closes.load() == 2; }));
  Out->WaitForWriters();
  EXPECT_EQ(44 + PlayedBytes().size() - played.size(), testsupport::ReadWholeFile(Dir.File("door/DDOFXSND.WAV")).size());
}

TEST_F(DDOFXSoundThreadsTest, NoCaptureWithTheDebugLogOff) {
  LogEnabled = false;
  TFakeMixer mixer(0);
  Start(mixer, Instant(), SimulatedClock());
  mixer.Play(2 * kSecond);
  Out->Wake();
  ASSERT_TRUE(WaitFor([&] { return Opens.load() == 1 && Closes.load() == 1; }));
  Out->WaitForWriters();
  EXPECT_FALSE(std::filesystem::exists(Dir.File("door/DDOFXSND.WAV")));
  EXPECT_GE(PlayedBytes().size(), 2u * 176400);
}

TEST_F(DDOFXSoundThreadsTest, NearlyDryWarningsComeAtMostEveryFiveSeconds) {
  // An output that never has more than one buffer left.
  TFakeMixer mixer(0);
  Start(mixer, Instant(1), SimulatedClock());
  mixer.Play(21 * kSecond);
  Out->Wake();
  ASSERT_TRUE(WaitFor([&] { return Opens.load() == 1 && Closes.load() == 1; }));
  const std::string log = Log();
  const size_t warnings = CountOf(log, "DDOFXSound: output nearly ran dry (1 of 12 buffers left)");
  EXPECT_GE(warnings, 3u);
  EXPECT_LE(warnings, 5u);
  EXPECT_EQ(0u, CountOf(log, "underrun"));
}

TEST_F(DDOFXSoundThreadsTest, MissingOutputStopsTheEffectsAndRetries) {
  TFakeMixer mixer(0);
  std::atomic<int> tries{0};
  Start(mixer,
        [&](std::function<void()>) -> std::unique_ptr<TDDOFXWaveOutput> {
          ++tries;
          return nullptr;
        },
        nullptr);
  const uint64_t start = platform::TickMs();
  for (int i = 0; i < 3; ++i) {
    mixer.Play(10 * kSecond);
    Out->Wake();
    ASSERT_TRUE(WaitFor([&] { return tries.load() > i; }));
  }
  const uint64_t elapsed = platform::TickMs() - start;
  EXPECT_GE(elapsed, 1900u) << "one try a second however often sounds start";
  EXPECT_GE(mixer.Stops.load(), 3);
  EXPECT_EQ(size_t(tries.load()), CountOf(Log(), "DDOFXSound: waveOutOpen failed"));
  EXPECT_FALSE(std::filesystem::exists(Dir.File("door/DDOFXSND.WAV")));
}

TEST_F(DDOFXSoundThreadsTest, TwoCapturesClosingTogetherLeaveOneWholeFile) {
  TFakeMixer a(0, 1000), b(0, 20000);
  std::atomic<uint64_t> clockB{1000000};
  std::mutex lockB;
  std::vector<uint8_t> playedB;
  std::atomic<int> closesB{0};
  Start(a, Instant(), SimulatedClock());
  TDDOFXSoundOut other(
      &b,
      [&](std::function<void()> onPlayed) -> std::unique_ptr<TDDOFXWaveOutput> {
        return std::make_unique<TInstantOutput>(std::move(onPlayed), clockB, playedB, lockB, 0, &closesB);
      },
      [&] { return clockB.load(); });
  other.SetCaptureFile(Dir.File("door/DDOFXSND.WAV"));
  a.Play(61 * kSecond);
  b.Play(61 * kSecond);
  Out->Wake();
  other.Wake();
  ASSERT_TRUE(WaitFor([&] { return Opens.load() == 1 && Closes.load() == 1 && closesB.load() == 1; }));
  Out->WaitForWriters();
  other.WaitForWriters();
  const std::string file = testsupport::ReadWholeFile(Dir.File("door/DDOFXSND.WAV"));
  ASSERT_EQ(10584044u, file.size());
  const std::vector<uint8_t> fromA = PlayedBytes();
  const bool isA = std::memcmp(file.data() + 44, fromA.data(), 10584000) == 0;
  const bool isB = std::memcmp(file.data() + 44, playedB.data(), 10584000) == 0;
  EXPECT_TRUE(isA != isB) << "the file is one capture, whole";
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(Dir.File("door"))) names.push_back(e.path().filename());
  EXPECT_EQ(std::vector<std::string>{"DDOFXSND.WAV"}, names);
}

TEST_F(DDOFXSoundThreadsTest, PlaysThroughTheAudioLayer) {
  // The real stream of the audio layer (its null sink plays at a device's
  // pace): a second of sound is captured whole, followed by the silence
  // until the output closed.
  TFakeMixer mixer(0);
  Start(mixer, nullptr, nullptr);
  mixer.Play(kSecond);
  Out->Wake();
  ASSERT_TRUE(WaitFor([&] { return Out->IsOpen(); }));
  ASSERT_TRUE(WaitFor([&] { return !Out->IsOpen(); }, 30000));
  Out->WaitForWriters();
  testsupport::TWave wave;
  ASSERT_TRUE(testsupport::ReadWave(Dir.File("door/DDOFXSND.WAV"), wave));
  EXPECT_EQ(44100, wave.Rate);
  EXPECT_EQ(2, wave.Channels);
  ASSERT_GE(wave.Frames(), size_t(kSecond));
  EXPECT_EQ(0u, wave.Data.size() % 4096);
  for (size_t f = 0; f < size_t(kSecond); ++f) ASSERT_EQ(int16_t(1 + (f & 0x3FFF)), wave.Samples[f * 2]) << f;
  for (size_t f = size_t(kSecond); f < wave.Frames(); ++f) ASSERT_EQ(0, wave.Samples[f * 2]) << f;
  EXPECT_GT(double(wave.Frames()) / 44100, 1 + 1.4);
}

}  // namespace
