// The voice speaks on its worker thread: what it says is measured in the WAV
// file it writes in place of the sound card, with soxi (sox) as the judge.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/uDebugLog.h"
#include "platform/AppFolder.h"
#include "sound/uSapiSpeech.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"

namespace {

using testsupport::TempDir;

// The number of samples soxi finds in a WAV file.
long SoxSamples(const std::string& wav) {
  PeerResult r = RunPeer({"soxi", "-s", wav});
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  return r.ExitCode == 0 ? std::stol(r.Output) : -1;
}

bool WaitUntilQuiet() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (IsSpeaking())
    if (std::chrono::steady_clock::now() > until) return false;
    else std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return true;
}

class SpeechThreadsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ShutdownSpeech();
    SetSpeechWaveFile("");
    SetSpeechObserver(nullptr);
    platform::SetAppFolder("");
  }

  // Speaks the texts (each with its purge flag) into a fresh WAV file and
  // returns the number of samples written once the voice fell quiet.
  long Speak(const std::vector<std::pair<std::string, bool>>& texts) {
    const std::string wav = Dir.File("speech" + std::to_string(++Files) + ".wav");
    SetSpeechWaveFile(wav);
    EXPECT_TRUE(InitSpeech());
    for (const auto& [text, purge] : texts) SpeakText(text, purge);
    EXPECT_TRUE(WaitUntilQuiet());
    ShutdownSpeech();
    return SoxSamples(wav);
  }

  TempDir Dir;
  int Files = 0;
};

}  // namespace

TEST_F(SpeechThreadsTest, SoundGrowsWithTheTextAndAnEmptyTextSaysNothing) {
  const long empty = Speak({{"", false}});
  const long word = Speak({{"Welcome", false}});
  const long line = Speak({{"Welcome to the board. Enter your name or NEW to apply.", false}});
  EXPECT_EQ(empty, 0);
  EXPECT_GT(word, 2205) << "a word lasts more than a tenth of a second";
  EXPECT_GT(line, 3 * word);
  // An empty text with purge set does not reach the voice either.
  EXPECT_EQ(Speak({{"", true}}), 0);
}

TEST_F(SpeechThreadsTest, QueuedTextsFollowEachOtherAndPurgeCutsOff) {
  const std::string first = "First line of the menu.", second = "Second line, with a few more words.";
  const long one = Speak({{first, false}}), two = Speak({{second, false}});
  const long both = Speak({{first, false}, {second, false}});
  EXPECT_GE(both, (one + two) * 95 / 100) << "the second text waits for the first";

  // A long text is cut off by a purge as soon as sound arrives, and the text
  // that came with the purge is still said.
  std::string longText;
  for (int i = 0; i < 400; ++i) longText += "This sentence is read aloud to fill a long stretch of sound. ";
  const std::string wav = Dir.File("purged.wav");
  SetSpeechWaveFile(wav);
  ASSERT_TRUE(InitSpeech());
  SpeakText(longText, false);
  struct stat st {};
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((stat(wav.c_str(), &st) != 0 || st.st_size <= 44) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GT(st.st_size, 44) << "the long text never started";
  SpeakText(second, true);
  ASSERT_TRUE(WaitUntilQuiet());
  ShutdownSpeech();
  // The whole text would last over twenty minutes (400 sentences).
  const long purged = SoxSamples(wav);
  EXPECT_LT(purged, 22050L * 300);
  EXPECT_GE(purged, two * 95 / 100);

  // A purge alone stops everything: nothing is left to say.
  ASSERT_TRUE(InitSpeech());
  SpeakText(longText, false);
  SpeakText(longText, false);
  PurgeSpeechQueue();
  EXPECT_TRUE(WaitUntilQuiet());
}

TEST_F(SpeechThreadsTest, WithoutTheLibraryEveryCallDoesNothing) {
  TempDir app;
  ASSERT_EQ(mkdir(app.File("dll").c_str(), 0755), 0);
  platform::SetAppFolder(app.Path());
  LogEnabled = true;
  LogOpen(app.File("debug.log"));
  std::vector<std::string> seen;
  SetSpeechObserver([&](const std::string& text, bool) { seen.push_back(text); });

  EXPECT_FALSE(InitSpeech());
  SpeakText("Hello", true);
  PurgeSpeechQueue();
  EXPECT_FALSE(IsSpeaking());
  ShutdownSpeech();
  EXPECT_FALSE(InitSpeech()) << "a later try looks again and still finds nothing";
  LogClose();
  LogEnabled = false;

  EXPECT_TRUE(seen.empty());
  const std::string log = testsupport::ReadWholeFile(app.File("debug.log"));
  EXPECT_NE(log.find("Accessibility: espeak-ng init failed - " + app.Path() +
                     "dll/libespeak-ng.so.1 cannot be loaded (screen-reader mode will announce nothing;"),
            std::string::npos)
      << log;
}

TEST_F(SpeechThreadsTest, SoundStillPlayingCountsAsSpeakingUntilPurged) {
  // SDL's dummy device plays at the pace of a real one, without a sound card.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(InitSpeech());
  std::string longText;
  for (int i = 0; i < 100; ++i) longText += "A sentence that takes a few seconds to say. ";
  SpeakText(longText, false);
  // Made far faster than it plays: the voice is still busy well after the
  // first sound was made.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(IsSpeaking());
  PurgeSpeechQueue();
  const auto purged = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitUntilQuiet());
  EXPECT_LT(std::chrono::steady_clock::now() - purged, std::chrono::seconds(10)) << "the text would last minutes";
  unsetenv("SDL_AUDIODRIVER");
}
