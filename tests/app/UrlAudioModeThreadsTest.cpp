// The application's control of the URL audio player, with real players
// against loopback listeners that take the request and never answer (a
// stream that stays in its header wait until stopped): one player at a time,
// the hand-over to the next link only after the old thread has ended, the
// late end of a replaced player ignored, statuses shown and links the player
// gives back opened in the browser, and the automatic start of a link on a
// screen with pictures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/modes/uUrlAudioMode.h"
#include "core/uDebugLog.h"
#include "tests/app/AppFixture.h"
#include "data/uPhonebook.h"
#include "platform/Audio.h"
#include "platform/Sync.h"
#include "tests/app/FakeCallServices.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"
#include "tests/support/Serve.h"

using testsupport::FakeCall;

namespace {

class UrlAudioModeThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
    platform::SetAudioCaptureFile(Dir.File("mix.wav"));
    LogEnabled = true;
    LogOpen(Dir.File("debug.log"));
  }
  void TearDown() override {
    Mode.reset();  // stops a running player and gives it time to end
    testsupport::ServeFor(100);
    platform::AudioShutdown();
    platform::SetAudioCaptureFile("");
    LogClose();
    LogEnabled = false;
  }

  std::string Log() {
    LogFlushPending();
    return testsupport::ReadWholeFile(Dir.File("debug.log"));
  }
  // Where Text first stands in the log at or after From; npos when not there.
  size_t At(const std::string& text, size_t from = 0) { return Log().find(text, from); }
  bool Logged(const std::string& text, uint32_t ms = 10000) {
    return testsupport::ServeUntil([&] { return At(text) != std::string::npos; }, ms);
  }
  // The same, while the interface thread serves nothing: a worker's queued
  // calls and its end notice wait.
  bool LoggedWithoutServing(const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
      if (At(text) != std::string::npos) return true;
      usleep(10000);
    }
    return false;
  }
  static std::string Url(const testsupport::LoopbackListener& listener, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(listener.Port()) + path;
  }

  testsupport::TempDir Dir;
  FakeCall Call;
  std::unique_ptr<TUrlAudioMode> Mode = std::make_unique<TUrlAudioMode>(Call);
};

}  // namespace

TEST_F(UrlAudioModeThreadsTest, AnotherLinkStartsOnlyAfterTheRunningStreamHasEnded) {
  testsupport::LoopbackListener a, b;
  const std::string urlA = Url(a, "/a"), urlB = Url(b, "/b");
  EXPECT_TRUE(Mode->LinkClicked(urlA)) << "the mode takes every plain link click";
  EXPECT_TRUE(Call.TimerOn) << "the stop is polled for while a player runs";
  testsupport::ServeFor(300);  // A has sent its request and waits for an answer

  Mode->LinkClicked(urlB);
  EXPECT_NE(At("UrlAudio: HandleUrlClick called, AUrl=" + urlB + ", FAudioPlayer=non-nil"), std::string::npos);
  EXPECT_NE(At("UrlAudio: StopAudioPlayer called, FAudioPlayer=non-nil"), std::string::npos);
  EXPECT_EQ(At("UrlAudio: StartAudioPlayer called, AUrl=" + urlB), std::string::npos)
      << "B waits for A's thread to end";
  ASSERT_TRUE(Logged("UrlAudio: StartAudioPlayer called, AUrl=" + urlB)) << Log();
  const size_t aEnded = At("UrlAudio: DoTerminate running");
  const size_t finished = At("UrlAudio: FinishAudioPlayerStop running");
  ASSERT_NE(aEnded, std::string::npos);
  EXPECT_LT(aEnded, finished);
  EXPECT_LT(finished, At("UrlAudio: StartAudioPlayer called, AUrl=" + urlB));
  EXPECT_NE(Log().find("FPendingRequested=True", finished), std::string::npos);
  // Shown for A, for the click on B, and for B's start.
  EXPECT_EQ(Call.Statuses, std::vector<std::string>(3, "Connecting to audio stream..."));

  // A second click on the running stream stops it, and nothing follows.
  testsupport::ServeFor(300);
  const size_t mark = Log().size();
  Mode->LinkClicked(urlB);
  ASSERT_TRUE(testsupport::ServeUntil([&] { return At("UrlAudio: FinishAudioPlayerStop running", mark) != std::string::npos; }))
      << Log().substr(mark);
  const std::string after = Log().substr(mark);
  EXPECT_NE(after.find("FPendingRequested=False"), std::string::npos) << after;
  EXPECT_EQ(after.find("StartAudioPlayer"), std::string::npos) << after;
  Mode->TimerTick();
  EXPECT_FALSE(Call.TimerOn) << "no player, no auto-play: the poll timer ends";
  EXPECT_TRUE(Call.Opened.empty());
}

TEST_F(UrlAudioModeThreadsTest, TheLateEndOfAReplacedPlayerChangesNothingAndItsLinkGoesToTheBrowser) {
  // The https link is given back at once; its status and end notice wait
  // while the interface thread is busy, and a click on another link sees
  // the stop confirmed first and starts that stream.
  testsupport::LoopbackListener b;
  const std::string secure = "https://radio.example/live", urlB = Url(b, "/b");
  Mode->LinkClicked(secure);
  ASSERT_TRUE(LoggedWithoutServing("UrlAudio: DoTerminate running")) << Log();
  Mode->LinkClicked(urlB);
  EXPECT_NE(At("UrlAudio: PollAudioPlayerStopped saw IsStopConfirmed=True"), std::string::npos) << Log();
  EXPECT_NE(At("UrlAudio: StartAudioPlayer called, AUrl=" + urlB), std::string::npos) << Log();

  // Now the old player's status and end arrive.
  ASSERT_TRUE(Logged("UrlAudio: OnAudioPlayerTerminated called")) << Log();
  testsupport::ServeFor(100);
  EXPECT_EQ(Call.Opened, std::vector<std::string>{secure}) << "the browser gets the link the player gave back";
  EXPECT_EQ(Call.Statuses.back(), "Not a plain HTTP URL - opening in browser instead");
  const std::string log = Log();
  const size_t late = log.find("UrlAudio: OnAudioPlayerTerminated called");
  EXPECT_EQ(log.find("UrlAudio: FinishAudioPlayerStop", late), std::string::npos) << "the running stream B is kept";
  // B still runs: a click on it stops it.
  Mode->LinkClicked(urlB);
  EXPECT_NE(Log().find("UrlAudio: StopAudioPlayer called, FAudioPlayer=non-nil", late), std::string::npos);
}

TEST_F(UrlAudioModeThreadsTest, AClearedScreenOrANewCallStopsTheStream) {
  // Without a player only the log line is written.
  Mode->Cleared();
  EXPECT_NE(At("UrlAudio: StopAudioPlayer called, FAudioPlayer=nil"), std::string::npos);
  testsupport::LoopbackListener a;
  Mode->LinkClicked(Url(a, "/a"));
  testsupport::ServeFor(300);
  Mode->Cleared();
  EXPECT_TRUE(Logged("UrlAudio: FinishAudioPlayerStop running")) << Log();
  const size_t mark = Log().size();
  Mode->LinkClicked(Url(a, "/a"));
  testsupport::ServeFor(300);
  TPhonebookEntry entry;
  Mode->Open(entry);
  EXPECT_TRUE(testsupport::ServeUntil([&] { return At("UrlAudio: FinishAudioPlayerStop running", mark) != std::string::npos; }))
      << Log().substr(mark);
}

namespace {

// The whole program (headless) with a board on loopback.
class UrlAudioAutoPlayThreadsTest : public testsupport::AppFixture {
 protected:
  std::string Log() const { return testsupport::ReadWholeFile(Folder.File("korvan_debug.log")); }
  size_t Count(const std::string& text) const {
    const std::string log = Log();
    size_t n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
  // The time of day, in ms, of the log line that holds Text.
  long LineTime(const std::string& text) const {
    const std::string log = Log();
    const size_t at = log.find(text);
    if (at == std::string::npos) return -1;
    const size_t line = log.rfind('\n', at) + 1;
    int h = 0, m = 0, s = 0, ms = 0;
    if (std::sscanf(log.c_str() + line, "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
    return ((h * 60L + m) * 60 + s) * 1000 + ms;
  }
  // The board sends Bytes and a marker, and the program has shown the marker.
  void BoardShows(testsupport::LoopbackPeer& peer, const std::string& bytes) {
    const std::string mark = "<" + std::to_string(++Marks) + ">";
    ASSERT_TRUE(peer.Write(bytes + mark));
    ASSERT_TRUE(RunUntil([&] { return CallScreenHas(mark); })) << CallScreenText();
  }
  int Marks = 0;
};

// A red 8 x 12 Sixel picture.
const std::string kPicture = "\x1bPq#0;2;100;0;0#0!8~-!8~\x1b\\";

}  // namespace

TEST_F(UrlAudioAutoPlayThreadsTest, ALinkOnAScreenWithAPictureStartsTwoSecondsLaterOncePerScreen) {
  testsupport::LoopbackListener board, stream;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  const std::string url = "http://127.0.0.1:" + std::to_string(stream.Port()) + "/live";
  const std::string scheduling = "UrlAudio: CheckAutoPlayAudioUrl scheduling " + url + " (+2000ms)";

  // A link without a picture on the screen is only a link.
  BoardShows(*peer, "\x1b[2J\x1b[Hhttps://secure.example/ then http://second.example/\r\nlisten: " + url + "\r\n");
  RunUntil([] { return false; }, 300);
  EXPECT_EQ(Count("CheckAutoPlayAudioUrl"), 0u);

  // With a picture shown, the next text schedules the link (the first row's
  // first link is an https one, and only the first link of a row counts),
  // and it starts two seconds later.
  BoardShows(*peer, kPicture + "\r\ntext");
  ASSERT_TRUE(RunUntil([&] { return Count(scheduling) == 1; })) << Log();
  BoardShows(*peer, "\r\nmore text, the same link");
  const std::string autoStart = "UrlAudio: PollPendingAutoPlay auto-starting " + url;
  ASSERT_TRUE(RunUntil([&] { return Count(autoStart) == 1; }, 10000)) << Log();
  EXPECT_EQ(Count(scheduling), 1u) << "a link that stays on the screen is scheduled once";
  const long delay = LineTime(autoStart) - LineTime(scheduling);
  EXPECT_GE(delay, 2000);
  EXPECT_LT(delay, 3000);
  EXPECT_TRUE(RunUntil([&] { return Count("UrlAudio: StartAudioPlayer called, AUrl=" + url) == 1; })) << Log();
  // The picture that follows waits for the stream's sound.
  BoardShows(*peer, kPicture);
  EXPECT_TRUE(RunUntil([&] {
    return Count("SIXEL: FinishImage dropped a decoded frame - still inside VideoStartDelayMs hold (2500ms)") == 1;
  })) << Log();

  // A cleared screen stops the stream; the same screen again schedules it again.
  BoardShows(*peer, "\x1b[2J\x1b[H");
  EXPECT_TRUE(RunUntil([&] { return Count("UrlAudio: FinishAudioPlayerStop running") == 1; })) << Log();
  BoardShows(*peer, kPicture + "\r\n" + url + "\r\n");
  EXPECT_TRUE(RunUntil([&] { return Count(scheduling) == 2; })) << Log();
}
