// The APC audio engine on its decode thread, heard through the audio layer's
// capture: stored, loaded and queued clips play with the gains they were
// queued with, channels report busy exactly while they have sound queued,
// a flush forgets everything, and every refusal has its log line.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "sound/uApcAudio.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"
#include "tests/support/WaveFile.h"

using testsupport::TWave;

namespace {

// A 16-bit clip of one constant level per channel.
std::vector<uint8_t> LevelClip(int rate, int channels, std::vector<int16_t> levels, double seconds) {
  std::vector<int16_t> s;
  for (int f = 0; f < int(rate * seconds); ++f) s.insert(s.end(), levels.begin(), levels.end());
  return testsupport::WaveImage(rate, channels, 16, testsupport::SampleBytes(s));
}

bool WaitFor(const std::function<bool()>& done, int ms = 120000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done())
    if (std::chrono::steady_clock::now() > until) return false;
    else std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return true;
}

class ApcAudioThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("KORVAN_AUDIO_CAPTURE");
    platform::SetAudioCaptureFile(Dir.File("mix.wav"));
    LogEnabled = true;
    LogOpen(App.File("debug.log"));
  }
  void TearDown() override {
    Engine.reset();
    platform::AudioShutdown();
    platform::SetAudioCaptureFile("");
    LogClose();
    LogEnabled = false;
  }
  void Send(const std::string& s) { Engine->HandleApc(s); }
  void Store(const std::string& name, const std::vector<uint8_t>& clip) {
    Send("SyncTERM:C;S;" + name + ";" + testsupport::Base64Clip(clip));
  }
  // What the engine logged, once every command sent so far has run.
  std::string LogAfterCommands() {
    auto updates = [&] {
      const std::string log = LogText();
      size_t n = 0;
      for (size_t at = log.find("ApcAudio: Update received"); at != std::string::npos;
           at = log.find("ApcAudio: Update received", at + 1))
        ++n;
      return n;
    };
    const size_t before = updates();
    Send("SyncTERM:A;Update");
    // The log is read anew each look: a slower pace leaves the engine the CPU.
    EXPECT_TRUE(WaitFor([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return updates() > before;
    }));
    return LogText();
  }
  std::string LogText() {
    LogFlushPending();
    return testsupport::ReadWholeFile(App.File("debug.log"));
  }
  TWave Capture() {
    Engine.reset();
    platform::AudioShutdown();
    TWave wave;
    EXPECT_TRUE(testsupport::ReadWave(Dir.File("mix.wav"), wave));
    return wave;
  }
  std::vector<testsupport::TSoundRun> Runs(const TWave& wave) { return testsupport::SoundRuns(wave, 200); }

  testsupport::ScratchAppFolder App;
  testsupport::TempDir Dir;
  std::unique_ptr<TApcAudioEngine> Engine = std::make_unique<TApcAudioEngine>();
};

}  // namespace

TEST_F(ApcAudioThreadsTest, QueuedClipsPlayWithTheirGainsAndChannelsReportBusyOnlyWhilePlaying) {
  // In the mix format, so what is heard is the clip's samples exactly.
  Store("tone", LevelClip(48000, 2, {16000, -16000}, 0.4));
  Send("SyncTERM:A;Load;S=1;tone");
  EXPECT_FALSE(Engine->ChannelBusy(3));
  Send("SyncTERM:A;Queue;C=3;S=1;VL=-6dB");
  ASSERT_TRUE(WaitFor([&] { return Engine->ChannelBusy(3); })) << LogText();
  EXPECT_FALSE(Engine->ChannelBusy(2));
  EXPECT_FALSE(Engine->ChannelBusy(16));
  EXPECT_FALSE(Engine->ChannelBusy(-1));
  // Once the clip has played the channel is no longer busy, without any
  // further command: a board polling for the end does not wait forever.
  ASSERT_TRUE(WaitFor([&] { return !Engine->ChannelBusy(3); }));
  {
    TWave sofar;
    ASSERT_TRUE(testsupport::ReadWave(Dir.File("mix.wav"), sofar));
    auto runs = Runs(sofar);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Length(), 19200u) << "not busy before the whole clip was mixed";
  }
  // A clip of silence first keeps what follows apart from the first clip.
  Store("hush", LevelClip(48000, 2, {0, 0}, 0.1));
  Send("SyncTERM:A;Load;S=9;hush");
  Send("SyncTERM:A;Queue;C=3;S=9");
  Send("SyncTERM:A;Queue;C=3;S=1");
  Send("SyncTERM:A;Queue;C=3;S=1;VR=+6;VL=-96");
  ASSERT_TRUE(WaitFor([&] { return Engine->ChannelBusy(3); }));
  ASSERT_TRUE(WaitFor([&] { return !Engine->ChannelBusy(3); }));

  TWave wave = Capture();
  auto runs = Runs(wave);
  ASSERT_EQ(runs.size(), 2u);
  auto at = [&](size_t frame, int channel) { return wave.Samples[2 * frame + size_t(channel)]; };
  // -6 dB on the left only: 16000 x 0.501187 = 8018.99.
  EXPECT_EQ(at(runs[0].Start, 0), 8019);
  EXPECT_EQ(at(runs[0].End - 1, 1), -16000);
  // Two queues of one format on one channel follow each other without a gap.
  ASSERT_EQ(runs[1].Length(), 38400u);
  EXPECT_EQ(at(runs[1].Start, 0), 16000);
  EXPECT_EQ(at(runs[1].Start + 19199, 1), -16000);
  EXPECT_EQ(at(runs[1].Start + 19200, 0), 0);  // 16000 x 10^(-96/20) = 0.25
  EXPECT_EQ(at(runs[1].End - 1, 1), -31924);  // -16000 x 10^(6/20)
}

TEST_F(ApcAudioThreadsTest, AMonoClipUsesTheLeftGainAndAnotherFormatCutsTheChannelShort) {
  Store("long", LevelClip(48000, 2, {5000, 5000}, 5.0));
  Store("mono", LevelClip(22050, 1, {12000}, 0.3));
  Send("SyncTERM:A;Load;S=0;long");
  Send("SyncTERM:A;Load;S=1;mono");
  Send("SyncTERM:A;Queue;C=0;S=0");
  ASSERT_TRUE(WaitFor([&] { return Engine->ChannelBusy(0); }));
  Send("SyncTERM:A;Queue;C=0;S=1;VL=-6.0206;VR=20");
  ASSERT_TRUE(WaitFor([&] { return !Engine->ChannelBusy(0); }));

  TWave wave = Capture();
  auto runs = Runs(wave);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_LT(runs[0].Length(), size_t(48000 * 2)) << "the five-second clip was cut off";
  // The mono clip's 0.3 s at half its level, in both channels.
  const size_t middle = runs[0].End - 48000 * 15 / 100;
  for (int c = 0; c < 2; ++c) EXPECT_NEAR(wave.Samples[2 * middle + size_t(c)], 6000, 60);
}

TEST_F(ApcAudioThreadsTest, OggClipsPlayAndAStoreUnderAKnownNameLeavesLoadedSlotsAlone) {
  const std::string wav = Dir.File("clip.wav"), ogg = Dir.File("clip.ogg");
  ASSERT_EQ(RunPeer({"sox", "-n", "-b", "16", "-c", "2", "-r", "48000", wav, "synth", "0.5", "sine", "440"}).ExitCode, 0);
  PeerResult enc = RunPeer({"oggenc", "-Q", "-o", ogg, wav});
  ASSERT_EQ(enc.ExitCode, 0) << enc.Output;
  const std::string oggBytes = testsupport::ReadWholeFile(ogg);
  Store("a", std::vector<uint8_t>(oggBytes.begin(), oggBytes.end()));
  Send("SyncTERM:A;Load;S=2;a");
  Store("a", LevelClip(48000, 2, {2000, 2000}, 0.2));
  Send("SyncTERM:A;Queue;C=5;S=2");  // still the Ogg clip
  ASSERT_TRUE(WaitFor([&] { return Engine->ChannelBusy(5); }));
  ASSERT_TRUE(WaitFor([&] { return !Engine->ChannelBusy(5); }));
  Store("hush", LevelClip(48000, 2, {0, 0}, 0.1));
  Send("SyncTERM:A;Load;S=9;hush");
  Send("SyncTERM:A;Load;S=2;a");
  Send("SyncTERM:A;Queue;C=5;S=9");
  Send("SyncTERM:A;Queue;C=5;S=2");  // now the new one
  ASSERT_TRUE(WaitFor([&] { return Engine->ChannelBusy(5); }));
  ASSERT_TRUE(WaitFor([&] { return !Engine->ChannelBusy(5); }));
  const std::string log = LogText();
  EXPECT_NE(log.find("ApcAudio: Store \"a\" ok - 48000 Hz, 2 ch, 96000 decoded bytes"), std::string::npos) << log;
  EXPECT_NE(log.find("ApcAudio: Store \"a\" ok - 48000 Hz, 2 ch, 38400 decoded bytes"), std::string::npos) << log;

  TWave wave = Capture();
  auto runs = Runs(wave);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_NEAR(double(runs[0].Length()), 24000, 200);
  EXPECT_NEAR(testsupport::CrossingFrequency(wave, 0, runs[0].Start, runs[0].End), 440, 3);
  EXPECT_EQ(runs[1].Length(), 9600u);
  EXPECT_EQ(wave.Samples[2 * runs[1].Start], 2000);
}

TEST_F(ApcAudioThreadsTest, EveryRefusalHasItsLogLine) {
  Store("bell", LevelClip(8000, 1, {1000}, 0.01));
  Send("SyncTERM:A;Load;S=4;bell");
  const std::pair<std::string, std::string> rows[] = {
      {"SyncTERM:A;queue;C=1;S=4", "ApcAudio: unrecognized A; verb \"queue\" - ignored"},
      {"SyncTERM:A;Queue;S=4", "ApcAudio: Queue - invalid/missing C=<chan>, ignored"},
      {"SyncTERM:A;Queue;C=1;S=9", "ApcAudio: Queue C=1 S=9 - slot empty/never Loaded, ignored"},
      {"SyncTERM:A;Load;S=64;bell", "ApcAudio: Load - implausible slot number, ignored"},
      {"SyncTERM:A;Load;S=5", "ApcAudio: Load command missing S=<slot> - ignored"},
      {"SyncTERM:A;Load;S=5;nothing",
       "ApcAudio: Load \"nothing\" into S=5 - name not in cache (Store never arrived, or its decode failed)"},
      {"SyncTERM:C;S;x", "ApcAudio: Store command missing name/payload separator - ignored"},
      {"SyncTERM:C;S;x;!!!!", "ApcAudio: Store \"x\" - base64 decode failed, ignored"},
      {"SyncTERM:C;S;x;AAAAAAAA", "ApcAudio: Store \"x\" - clip decode failed (6 raw bytes), ignored"},
      {"SyncTERM:C;Q;x", "ApcAudio: unrecognized C; command - ignored"},
      {"SyncTERM:A;Update",
       "ApcAudio: Update received - no live per-buffer gain control in this engine, next Queue on that channel will "
       "use its own VL/VR instead (see comment)"},
  };
  for (const auto& [command, line] : rows) Send(command);
  // Strings of other kinds never reach the decode thread.
  Send("SyncTERM:Q;libsndfile");
  Send("syncterm:A;Queue;C=1;S=4");
  std::string log = LogAfterCommands();
  for (const auto& [command, line] : rows) EXPECT_NE(log.find(line), std::string::npos) << command << "\n" << log;
  EXPECT_EQ(log.find("syncterm"), std::string::npos);
  EXPECT_EQ(log.find("unrecognized A; verb \"libsndfile\""), std::string::npos);

  // After the end-of-call flush a slot loaded before is empty.
  EXPECT_TRUE(Engine->Flush());
  Send("SyncTERM:A;Queue;C=1;S=4");
  log = LogAfterCommands();
  EXPECT_NE(log.find("ApcAudio: Queue C=1 S=4 - slot empty/never Loaded, ignored"), std::string::npos) << log;
  EXPECT_FALSE(Engine->ChannelBusy(1));
}

TEST_F(ApcAudioThreadsTest, AFlushThatTimedOutCannotMakeTheNextOneReturnEarly) {
  Store("long", LevelClip(48000, 2, {3000, 3000}, 20.0));
  Send("SyncTERM:A;Load;S=0;long");
  // A flush that gives up at once: its reset runs later.
  EXPECT_FALSE(Engine->Flush(0));
  Store("long", LevelClip(48000, 2, {3000, 3000}, 20.0));
  Send("SyncTERM:A;Load;S=0;long");
  Send("SyncTERM:A;Queue;C=7;S=0");
  ASSERT_TRUE(WaitFor([&] { return Engine->ChannelBusy(7); }));
  // The late reset of the first flush has long run; this flush still waits
  // for its own, which closes the channel.
  EXPECT_TRUE(Engine->Flush());
  EXPECT_FALSE(Engine->ChannelBusy(7));
  TWave wave = Capture();
  for (const auto& run : Runs(wave)) EXPECT_LT(run.Length(), size_t(48000 * 10)) << "the flush ended the sound";
}

TEST_F(ApcAudioThreadsTest, TheClipCacheIsBoundedInBytesAndNames) {
  // 8-bit clips of 4 MiB decode to 8 MiB each: eight fill the cache.
  const std::vector<uint8_t> big = testsupport::WaveImage(8000, 1, 8, std::vector<uint8_t>(4 << 20, 200));
  const std::string payload = testsupport::Base64Clip(big);
  for (int i = 0; i < 9; ++i) Send("SyncTERM:C;S;big" + std::to_string(i) + ";" + payload);
  std::string log = LogAfterCommands();
  for (int i = 0; i < 8; ++i)
    EXPECT_NE(log.find("ApcAudio: Store \"big" + std::to_string(i) + "\" ok - 8000 Hz, 1 ch, 8388608 decoded bytes"),
              std::string::npos)
        << i;
  EXPECT_NE(log.find("ApcAudio: Store \"big8\" refused - clips hold 67108864 of 67108864 bytes"), std::string::npos)
      << log;
  // Replacing a stored name frees what it held.
  Send("SyncTERM:C;S;big0;" + payload);
  log = LogAfterCommands();
  EXPECT_EQ(log.find("ApcAudio: Store \"big0\" refused"), std::string::npos);
  // A slot keeps a replaced clip alive, so it still counts.
  Send("SyncTERM:A;Load;S=0;big1");
  Send("SyncTERM:C;S;big1;" + payload);
  log = LogAfterCommands();
  EXPECT_NE(log.find("ApcAudio: Store \"big1\" refused - clips hold 67108864 of 67108864 bytes"), std::string::npos);
  EXPECT_TRUE(Engine->Flush());

  const std::string tiny = testsupport::Base64Clip(LevelClip(8000, 1, {1}, 0.001));
  for (size_t i = 0; i <= kApcMaxNames; ++i) Send("SyncTERM:C;S;n" + std::to_string(i) + ";" + tiny);
  log = LogAfterCommands();
  EXPECT_NE(log.find("ApcAudio: Store \"n4096\" refused - 4096 clip names are already stored"), std::string::npos);
  EXPECT_EQ(log.find("ApcAudio: Store \"n4095\" refused"), std::string::npos);
}

TEST_F(ApcAudioThreadsTest, FormatsOnOfferAndAClipTheOutputCannotTake) {
  EXPECT_TRUE(TApcAudioEngine::FormatSupported(1, 2));
  EXPECT_TRUE(TApcAudioEngine::FormatSupported(32, 96));
  EXPECT_FALSE(TApcAudioEngine::FormatSupported(1, 3));
  EXPECT_FALSE(TApcAudioEngine::FormatSupported(32, 2));
  EXPECT_FALSE(TApcAudioEngine::FormatSupported(-1, -1));
  // Twelve channels pass the WAV parser; the output refuses them.
  Store("wide", LevelClip(8000, 12, std::vector<int16_t>(12, 100), 0.1));
  Send("SyncTERM:A;Load;S=3;wide");
  Send("SyncTERM:A;Queue;C=2;S=3");
  const std::string log = LogAfterCommands();
  EXPECT_NE(log.find("ApcAudio: opening the audio output failed for channel 2 (rate=8000 channels=12)"),
            std::string::npos)
      << log;
  EXPECT_FALSE(Engine->ChannelBusy(2));
}
