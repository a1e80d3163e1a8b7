// The wave-file player of the door sound cues: a PCM wave file is heard in
// the audio layer's capture, a new sound cuts the one playing short, and
// files that are missing, not waves or too large are refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/Audio.h"
#include "sound/uApcClip.h"
#include "sound/uWaveFilePlayer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WaveFile.h"

namespace {

using testsupport::TSoundRun;
using testsupport::TWave;

class WaveFilePlayerThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("KORVAN_AUDIO_CAPTURE");
    platform::SetAudioCaptureFile(Dir.File("mix.wav"));
  }
  void TearDown() override {
    Player.Stop();
    platform::AudioShutdown();
    platform::SetAudioCaptureFile("");
  }
  // A mono 16-bit wave of Ms milliseconds at full level, 22050 Hz.
  std::string WriteTone(const std::string& name, int ms) {
    std::vector<int16_t> samples(size_t(22050 * ms / 1000));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 20) % 2 ? 20000 : -20000;
    const std::vector<uint8_t> image = testsupport::WaveImage(22050, 1, 16, testsupport::SampleBytes(samples));
    testsupport::WriteWholeFile(Dir.File(name), std::string(image.begin(), image.end()));
    return Dir.File(name);
  }
  // The sound heard once the capture has gone quiet for a while after it.
  std::vector<TSoundRun> HeardAfterQuiet() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::vector<TSoundRun> runs;
    while (std::chrono::steady_clock::now() < until) {
      TWave wave;
      if (testsupport::ReadWave(Dir.File("mix.wav"), wave)) {
        runs = testsupport::SoundRuns(wave, 480, 4000);
        if (!runs.empty() && wave.Frames() > runs.back().End + 48000 / 2) return runs;
      }
      usleep(50000);
    }
    return runs;
  }

  testsupport::TempDir Dir;
  TWaveFilePlayer Player;
};

TEST_F(WaveFilePlayerThreadsTest, AWaveIsHeardAndANewOneCutsItShort) {
  const std::string longTone = WriteTone("long.wav", 3000), shortTone = WriteTone("short.wav", 200);
  ASSERT_TRUE(Player.Play(longTone));
  ASSERT_TRUE(Player.Play(shortTone));
  const std::vector<TSoundRun> runs = HeardAfterQuiet();
  ASSERT_FALSE(runs.empty());
  size_t heard = 0;
  for (const TSoundRun& r : runs) heard += r.Length();
  EXPECT_LT(heard, size_t(48000)) << "the three-second sound stopped when the next began";
  EXPECT_GT(heard, size_t(48 * 150)) << "the short sound played";
}

TEST_F(WaveFilePlayerThreadsTest, WhatIsNoWaveIsRefused) {
  testsupport::WriteWholeFile(Dir.File("text.wav"), "RIFF this is not a wave");
  const struct Row {
    const char* Name;
    std::string Path;
  } rows[] = {
      {"missing", Dir.File("none.wav")},
      {"not a wave", Dir.File("text.wav")},
      {"a folder", Dir.Path()},
  };
  for (const Row& r : rows) EXPECT_FALSE(Player.Play(r.Path)) << r.Name;
  // Larger than a clip may be: refused before it is read.
  const std::string huge = Dir.File("huge.wav");
  ASSERT_EQ(truncate(WriteTone("huge.wav", 10).c_str(), off_t(kMaxClipBytes) + 1), 0);
  EXPECT_FALSE(Player.Play(huge));
}

}  // namespace
