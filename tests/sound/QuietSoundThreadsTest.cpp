// The sound threads that every call has sleep while nothing sounds: none of
// them wakes on a clock of its own, so a quiet call costs no wake-ups. Each
// still takes what comes at once and ends when its owner does.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "platform/Audio.h"
#include "sound/uAnsiMusic.h"
#include "sound/uApcAudio.h"
#include "sound/uDDOFXSound.h"
#include "sound/uIGSSound.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ThreadWakeups.h"

namespace {

// The door sound output around a mixer with nothing to play.
struct TQuietDoorSound {
  struct TSilent : TDDOFXMixSource {
    bool IsActive() override { return false; }
    void Mix(int16_t* out, int frames) override { std::fill(out, out + frames * 2, int16_t(0)); }
    void StopSamples() override {}
  } Mixer;
  TDDOFXSoundOut Out{&Mixer};
};

struct TQuietCase {
  const char* Name;
  // Makes the owner of the thread; it is destroyed at the end.
  std::function<std::shared_ptr<void>()> Make;
};

const TQuietCase kQuietCases[] = {
    {"ansi_music_player", [] { return std::shared_ptr<void>(std::make_shared<TAnsiMusicPlayer>()); }},
    {"apc_audio_decoder", [] { return std::shared_ptr<void>(std::make_shared<TApcAudioEngine>()); }},
    {"igs_sound_output", [] { return std::shared_ptr<void>(std::make_shared<TIGSSoundOut>()); }},
    {"door_sound_output", [] { return std::shared_ptr<void>(std::make_shared<TQuietDoorSound>()); }},
};

class QuietSoundThreadsTest : public ::testing::TestWithParam<TQuietCase> {
 protected:
  void SetUp() override {
    unsetenv("KORVAN_AUDIO_CAPTURE");
    platform::SetAudioCaptureFile(Dir.File("mix.wav"));
  }
  void TearDown() override {
    platform::AudioShutdown();
    platform::SetAudioCaptureFile("");
  }
  testsupport::TempDir Dir;
};

TEST_P(QuietSoundThreadsTest, SleepsWithoutWakingAndEndsAtOnce) {
  const std::set<std::string> before = testsupport::ThreadIds();
  std::shared_ptr<void> owner = GetParam().Make();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // into its wait
  const std::set<std::string> threads = testsupport::ThreadsSince(before);
  ASSERT_FALSE(threads.empty());
  const uint64_t switches = testsupport::VoluntarySwitches(threads);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_LE(testsupport::VoluntarySwitches(threads) - switches, 1u) << "a look every 200 ms would be 7 wake-ups";
  const auto start = std::chrono::steady_clock::now();
  owner.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "the end woke it";
}

INSTANTIATE_TEST_SUITE_P(Threads, QuietSoundThreadsTest, ::testing::ValuesIn(kQuietCases),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
