// The audio layer's mixer, heard through its capture file: what a stream
// queues comes out in order (bit for bit in the mix format, converted
// otherwise), streams add up, each buffer gets its notice when it has been
// mixed, a reset cuts a blocking play short, and a pull stream is asked for
// samples only while it is open.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/Audio.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WaveFile.h"

using namespace platform;
using testsupport::TWave;

namespace {

std::vector<uint8_t> Tone(const AudioFormat& f, double hz, double seconds, double level) {
  const size_t frames = size_t(f.Rate * seconds);
  std::vector<uint8_t> out;
  for (size_t i = 0; i < frames; ++i) {
    const double v = level * std::sin(2 * M_PI * hz * double(i) / f.Rate);
    for (int c = 0; c < f.Channels; ++c) {
      if (f.Type == SampleType::U8) {
        out.push_back(uint8_t(128 + std::lround(v * 127)));
      } else {
        const int16_t s = int16_t(std::lround(v * 32767));
        out.push_back(uint8_t(s));
        out.push_back(uint8_t(s >> 8));
      }
    }
  }
  return out;
}

// Stereo 16-bit frames of one constant value per channel.
std::vector<uint8_t> Level(int16_t left, int16_t right, size_t frames) {
  std::vector<int16_t> s;
  for (size_t i = 0; i < frames; ++i) s.insert(s.end(), {left, right});
  return testsupport::SampleBytes(s);
}

const AudioFormat kMix{kMixRate, kMixChannels, SampleType::S16};

class AudioThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("KORVAN_AUDIO_CAPTURE");
    SetAudioCaptureFile(Dir.File("mix.wav"));
    SetAudioLog([this](const std::string& line) {
      std::lock_guard<std::mutex> hold(LogLock);
      Log += line + "\n";
    });
  }
  void TearDown() override {
    AudioShutdown();
    SetAudioCaptureFile("");
    SetAudioLog(nullptr);
  }
  // Everything mixed so far; the output closes first.
  TWave Capture() {
    AudioShutdown();
    TWave wave;
    EXPECT_TRUE(testsupport::ReadWave(Dir.File("mix.wav"), wave));
    EXPECT_EQ(wave.Rate, kMixRate);
    EXPECT_EQ(wave.Channels, kMixChannels);
    return wave;
  }
  std::string LogText() {
    std::lock_guard<std::mutex> hold(LogLock);
    return Log;
  }

  testsupport::TempDir Dir;
  std::mutex LogLock;
  std::string Log;
};

}  // namespace

TEST_F(AudioThreadsTest, BuffersInTheMixFormatPlayBitForBitInOrderWithANoticeEach) {
  std::mutex lock;
  std::vector<std::pair<uint64_t, bool>> notices;
  auto stream = OpenAudioStream(kMix, [&](uint64_t tag, bool played) {
    std::lock_guard<std::mutex> hold(lock);
    notices.push_back({tag, played});
  });
  ASSERT_TRUE(stream);
  // Three buffers of odd sizes, no sample 0, so the capture shows where they start.
  std::vector<int16_t> all;
  const size_t sizes[] = {4800, 2401, 961};
  for (int b = 0; b < 3; ++b) {
    std::vector<int16_t> s;
    for (size_t i = 0; i < sizes[b]; ++i) s.insert(s.end(), {int16_t(1000 + b * 7000 + i % 3000), int16_t(-1 - int(i % 20000))});
    all.insert(all.end(), s.begin(), s.end());
    ASSERT_TRUE(stream->Queue(testsupport::SampleBytes(s), 10 + b));
  }
  EXPECT_EQ(stream->Pending(), 3u);
  ASSERT_TRUE(stream->WaitPending(0, 20000));
  stream.reset();

  TWave wave = Capture();
  auto runs = testsupport::SoundRuns(wave, 0);
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].Length(), all.size() / 2);
  EXPECT_TRUE(std::equal(all.begin(), all.end(), wave.Samples.begin() + long(runs[0].Start * 2)));
  std::lock_guard<std::mutex> hold(lock);
  EXPECT_EQ(notices, (std::vector<std::pair<uint64_t, bool>>{{10, true}, {11, true}, {12, true}}));
}

TEST_F(AudioThreadsTest, OtherFormatsAreConvertedAndTheLastBufferPlaysToItsEnd) {
  struct Row {
    const char* Name;
    AudioFormat Format;
  };
  const Row rows[] = {
      {"8-bit mono 22050 Hz", {22050, 1, SampleType::U8}},
      {"16-bit mono 11025 Hz", {11025, 1, SampleType::S16}},
      {"16-bit stereo 44100 Hz", {44100, 2, SampleType::S16}},
      {"16-bit stereo 96000 Hz", {96000, 2, SampleType::S16}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    SetAudioCaptureFile(Dir.File("mix.wav"));
    auto stream = OpenAudioStream(row.Format, nullptr);
    ASSERT_TRUE(stream);
    // Two buffers of 0.15 s each: one tone of 0.3 s.
    auto tone = Tone(row.Format, 440, 0.3, 0.5);
    std::vector<uint8_t> first(tone.begin(), tone.begin() + long(tone.size() / 2 / row.Format.FrameBytes() * row.Format.FrameBytes()));
    std::vector<uint8_t> second(tone.begin() + long(first.size()), tone.end());
    ASSERT_TRUE(stream->Queue(first));
    ASSERT_TRUE(stream->Play(second)) << "the blocking play returns once the buffer has played";
    EXPECT_EQ(stream->Pending(), 0u);
    stream.reset();
    TWave wave = Capture();
    auto runs = testsupport::SoundRuns(wave, 100);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NEAR(double(runs[0].Length()), 0.3 * kMixRate, 0.01 * kMixRate);
    for (int c = 0; c < 2; ++c) {
      EXPECT_NEAR(testsupport::CrossingFrequency(wave, c, runs[0].Start, runs[0].End), 440, 4);
      EXPECT_GT(testsupport::PeakLevel(wave, c, runs[0].Start, runs[0].End), 8000);
    }
  }
}

TEST_F(AudioThreadsTest, StreamsAddUpAndTheSumIsLimited) {
  auto a = OpenAudioStream(kMix, nullptr);
  std::atomic<int> pulls{0};
  // A pull stream of a constant level, alongside a queued one.
  auto b = OpenPullAudioStream(kMix, [&](uint8_t* data, size_t bytes) {
    ++pulls;
    auto level = Level(12000, -12000, bytes / 4);
    std::copy(level.begin(), level.end(), data);
    return bytes;
  });
  ASSERT_TRUE(a && b);
  // The pull stream is heard alone first.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (pulls.load() == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(a->Play(Level(10000, -30000, kMixRate / 5)));
  b.reset();
  const int pullsAtClose = pulls.load();
  // Once the pull stream is closed it is never asked again: a later play
  // runs many mixer turns.
  ASSERT_TRUE(a->Play(Level(500, 500, kMixRate / 10)));
  EXPECT_EQ(pulls.load(), pullsAtClose);
  a.reset();

  TWave wave = Capture();
  size_t both = 0, alone = 0, queuedOnly = 0;
  for (size_t f = 0; f < wave.Frames(); ++f) {
    const int16_t l = wave.Samples[2 * f], r = wave.Samples[2 * f + 1];
    if (l == 22000 && r == -32768) ++both;
    if (l == 12000 && r == -12000) ++alone;
    if (l == 500 && r == 500) ++queuedOnly;
  }
  EXPECT_GT(both, size_t(kMixRate / 5 - 2 * kMixRate / 100)) << "the sum of 10000 and 12000, and a limited -42000";
  EXPECT_GT(alone, 0u);
  EXPECT_EQ(queuedOnly, size_t(kMixRate / 10));
}

TEST_F(AudioThreadsTest, AResetFromAnotherThreadCutsABlockingPlayShort) {
  std::mutex lock;
  std::vector<bool> played;
  auto stream = OpenAudioStream(kMix, [&](uint64_t, bool p) {
    std::lock_guard<std::mutex> hold(lock);
    played.push_back(p);
  });
  ASSERT_TRUE(stream);
  std::atomic<int> result{-1};
  std::thread player([&] { result = stream->Play(Level(7000, 7000, kMixRate * 30)) ? 1 : 0; });
  // Sound is being mixed: the first buffer of 30 s is under way.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < until) {
    TWave wave;
    if (testsupport::ReadWave(Dir.File("mix.wav"), wave) && !testsupport::SoundRuns(wave, 0).empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto cut = std::chrono::steady_clock::now();
  stream->Reset();
  player.join();
  EXPECT_LT(std::chrono::steady_clock::now() - cut, std::chrono::seconds(10));
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(stream->Pending(), 0u);
  // After a reset the stream plays again, from the start of what comes next.
  EXPECT_TRUE(stream->Play(Level(3000, 3000, 480)));
  stream.reset();
  std::lock_guard<std::mutex> hold(lock);
  EXPECT_EQ(played, (std::vector<bool>{false, true}));
  TWave wave = Capture();
  auto runs = testsupport::SoundRuns(wave, 0);
  ASSERT_FALSE(runs.empty());
  EXPECT_LT(runs[0].Length(), size_t(kMixRate * 20));
  EXPECT_EQ(wave.Samples[2 * (runs.back().End - 1)], 3000);
}

TEST_F(AudioThreadsTest, AFormatTheMixerCannotTakeIsRefusedWithItsReason) {
  const AudioFormat bad[] = {{999, 2, SampleType::S16}, {400000, 1, SampleType::S16},
                             {22050, 0, SampleType::U8}, {22050, 3, SampleType::S16}};
  for (const AudioFormat& f : bad) {
    std::string error;
    EXPECT_FALSE(OpenAudioStream(f, nullptr, &error));
    EXPECT_NE(error.find("unsupported format (" + std::to_string(f.Rate) + " Hz, " + std::to_string(f.Channels)),
              std::string::npos)
        << error;
  }
  auto stream = OpenAudioStream({22050, 1, SampleType::S16}, nullptr);
  ASSERT_TRUE(stream);
  EXPECT_FALSE(stream->Queue({1})) << "less than a frame is nothing";
  EXPECT_FALSE(stream->Play({}));
}

TEST_F(AudioThreadsTest, WithoutASoundDeviceStreamsPlayToNowhereAtTheirPace) {
  SetAudioCaptureFile("");
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  auto stream = OpenAudioStream(kMix, nullptr);
  ASSERT_TRUE(stream);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(stream->Play(Level(1000, 1000, kMixRate / 2)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
  EXPECT_FALSE(AudioDeviceIsReal());
  stream.reset();
  unsetenv("SDL_AUDIODRIVER");
  EXPECT_NE(LogText().find("Audio: no sound device ("), std::string::npos) << LogText();
}

TEST_F(AudioThreadsTest, AForgottenSoundPlaysOnceOnItsOwn) {
  auto tone = Tone({22050, 1, SampleType::U8}, 880, 0.1, 0.3);
  ASSERT_TRUE(PlayAndForget({22050, 1, SampleType::U8}, tone));
  // Something else that is waited for: by its end the beep has long played.
  auto stream = OpenAudioStream(kMix, nullptr);
  ASSERT_TRUE(stream->Play(Level(0, 0, kMixRate / 2)));
  stream.reset();
  TWave wave = Capture();
  auto runs = testsupport::SoundRuns(wave, 100);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NEAR(double(runs[0].Length()), 0.1 * kMixRate, 0.01 * kMixRate);
}
