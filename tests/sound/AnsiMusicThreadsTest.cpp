// The music player's thread, heard through the audio layer's capture: each
// tone lasts what its tempo, length and articulation say, at its table
// frequency, notes follow each other on time, StopAll cuts the tune and
// drops what waits, and a 65th waiting string is lost.
#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Audio.h"
#include "sound/uAnsiMusic.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"
#include "tests/support/WaveFile.h"

using testsupport::TSoundRun;
using testsupport::TWave;

namespace {

constexpr double kFramesPerMs = 48.0;

class AnsiMusicThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("KORVAN_AUDIO_CAPTURE");
    Capture("mix.wav");
    Player = std::make_unique<TAnsiMusicPlayer>();
  }
  void TearDown() override {
    Player.reset();
    platform::AudioShutdown();
    platform::SetAudioCaptureFile("");
  }
  // A fresh capture file.
  void Capture(const std::string& name) {
    File = Dir.File(name);
    platform::SetAudioCaptureFile(File);
  }
  TWave SoFar() {
    TWave wave;
    testsupport::ReadWave(File, wave);
    return wave;
  }
  // The tones heard so far: stretches beyond half the tone's level, so the
  // resampler's ringing around a square wave's edges neither starts a tone
  // early nor splits one.
  static std::vector<TSoundRun> Tones(const TWave& wave) { return testsupport::SoundRuns(wave, 40, 8000); }
  // Waits until Count tones have been heard and the capture has gone on
  // beyond the last for Quiet milliseconds.
  TWave WaitForTones(size_t count, int quietMs = 200) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    TWave wave;
    while (std::chrono::steady_clock::now() < until) {
      wave = SoFar();
      auto tones = Tones(wave);
      if (tones.size() >= count && wave.Frames() > tones.back().End + size_t(quietMs * kFramesPerMs)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return wave;
  }

  testsupport::TempDir Dir;
  std::string File;
  std::unique_ptr<TAnsiMusicPlayer> Player;
};

}  // namespace

TEST_F(AnsiMusicThreadsTest, TonesLastAndSoundAsTempoLengthAndArticulationSay) {
  struct Row {
    const char* Music;  // the same note twice
    int Hz;
    int ToneMs, QuietMs;  // the tone, and the silence until the next
  };
  const Row rows[] = {
      {"T120L4CC", 1048, 437, 62},      // normal: 7/8 tone
      {"T200L8MSAA", 1760, 112, 37},    // staccato: 3/4 tone
      {"T60O3G.G.", 784, 1312, 187},    // dotted at tempo 60
      {"O2MLL4EP4E", 330, 500, 500},    // legato, a pause between
      {"T255L32O6BB", 7904, 25, 3},     // short and high
  };
  // Lengths become whole samples at 22050 Hz, then frames at 48000 Hz.
  auto frames = [](int ms) { return double(int64_t(ms) * 22050 / 1000) * 48000 / 22050; };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Music);
    Capture(std::string(row.Music) + ".wav");
    Player->Enqueue(row.Music);
    TWave wave = WaitForTones(2);
    auto tones = Tones(wave);
    ASSERT_EQ(tones.size(), 2u);
    for (const TSoundRun& tone : tones) {
      // The resampler's ringing adds a few frames at each edge.
      EXPECT_NEAR(double(tone.Length()), frames(row.ToneMs), 16);
      if (row.Hz < 5000) {
        EXPECT_NEAR(testsupport::CrossingFrequency(wave, 0, tone.Start, tone.End), row.Hz, row.Hz / 200.0);
      }
    }
    // The second note starts one whole note after the first, to the frame.
    EXPECT_NEAR(double(tones[1].Start - tones[0].Start), frames(row.ToneMs) + frames(row.QuietMs), 4);
  }
}

TEST_F(AnsiMusicThreadsTest, SoxHearsTheFrequencyOfATone) {
  Player->Enqueue("MLT60L2O4A");  // 1760 Hz for two seconds
  TWave wave = WaitForTones(1);
  auto tones = Tones(wave);
  ASSERT_EQ(tones.size(), 1u);
  platform::AudioShutdown();
  // sox's power spectrum of the middle second: the strongest band, refined
  // by its neighbours' power.
  PeerResult stat = RunPeer({"sox", File, "-n", "trim", std::to_string(double(tones[0].Start) / 48000 + 0.5), "1",
                             "remix", "1", "stat", "-freq"});
  ASSERT_EQ(stat.ExitCode, 0) << stat.Output;
  std::map<double, double> power;
  std::istringstream lines(stat.Output);
  for (std::string line; std::getline(lines, line);) {
    double hz, p;
    if (std::sscanf(line.c_str(), "%lf %lf", &hz, &p) == 2 && line.find(':') == std::string::npos) power[hz] += p;
  }
  ASSERT_GT(power.size(), 100u) << stat.Output.substr(0, 500);
  auto peak = std::max_element(power.begin(), power.end(), [](auto& a, auto& b) { return a.second < b.second; });
  double sum = 0, weighted = 0;
  for (auto it = std::prev(peak); it != std::next(std::next(peak)); ++it) sum += it->second, weighted += it->first * it->second;
  EXPECT_NEAR(weighted / sum, 1760, 6);
}

TEST_F(AnsiMusicThreadsTest, StopAllCutsTheTuneAndDropsWhatWaits) {
  Player->Enqueue("MLT32L1CCCC");  // four notes of 7.5 s
  Player->Enqueue("L4C");
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Tones(SoFar()).empty() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  Player->StopAll();
  Player->Enqueue("P4MLT255L64O6C");  // after a pause, a short high marker of 15 ms
  TWave wave = WaitForTones(2);
  auto tones = Tones(wave);
  ASSERT_EQ(tones.size(), 2u) << "the waiting L4C was dropped";
  EXPECT_LT(tones[0].Length(), size_t(2 * 48000)) << "the 7.5 s note was cut";
  EXPECT_NEAR(double(tones[1].Length()), 330 * 48000.0 / 22050, 16);
}

TEST_F(AnsiMusicThreadsTest, ASixtyFifthStringWaitingIsLost) {
  Player->Enqueue("MLT60L1CP4");  // four seconds, playing while the rest wait
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Tones(SoFar()).empty() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  for (int i = 0; i < 65; ++i) Player->Enqueue("MST255L64O6C");  // 11 ms tones 4 ms apart
  TWave wave = WaitForTones(65, 500);
  EXPECT_EQ(Tones(wave).size(), 65u) << "the first string and 64 of the 65 that waited";
}
