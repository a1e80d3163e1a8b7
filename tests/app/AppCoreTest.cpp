// The whole application driven headless: start-up and shutdown, the receive
// pipeline fed by a real Telnet call on loopback, replies to the board's
// queries, the board's resize request, and the end of a call.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uQuickConnectScreen.h"
#include "app/uApp.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uWireTransport.h"
#include "net/uXYmodem.h"
#include "platform/AppFolder.h"
#include "platform/Keys.h"
#include "platform/Tick.h"
#include "tests/app/AppFixture.h"

using namespace testsupport;

using AppCoreTest = AppFixture;
namespace vk = platform::vk;


TEST_F(AppCoreTest, StartsWithTheDefaultPhonebookAndShutsDownInOrder) {
  Start();
  EXPECT_EQ(App->Window().Title(), "KORVAN");
  EXPECT_EQ(App->Window().ClientWidth(), 1600);  // 640 x the default scale of 2.5
  EXPECT_EQ(App->Window().ClientHeight(), 1000);
  EXPECT_EQ(App->ScreenMode(), smSplash);
  ASSERT_EQ(App->ActivePhonebook()->Count(), 1);
  EXPECT_TRUE(std::filesystem::exists(Folder.File("korvan.ini"))) << "the default board is saved at once";
  // The splash gives way to the directory after its timer (a generous
  // bound: a loaded machine runs the timer late).
  EXPECT_TRUE(RunUntil([&] { return App->ScreenMode() == smDirectory; }));
  App.reset();
  std::string log = ReadWholeFile(Folder.File("korvan_debug.log"));
  const char* order[] = {"--- log opened", "Exit: TApplication.Destroy starting", "Exit: after DisconnectCurrent",
                         "Exit: after FPhonebook.Save", "Exit: before FMusicPlayer.Free",
                         "Exit: after FMusicPlayer.Free", "Exit: Destroy finished, closing log", "--- log closed"};
  size_t at = 0;
  for (const char* line : order) {
    size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
    at = found;
  }
}

// The half-second tick paints a program screen again only when its picture
// changed: an idle directory costs no frame, while a change nothing
// announced (a background job's result setting the status) is shown by the
// next tick.
TEST_F(AppCoreTest, TheTickRepaintsTheDirectoryOnlyWhenItChanged) {
  Start();
  ASSERT_TRUE(RunUntil([&] { return App->ScreenMode() == smDirectory; }));
  RunUntil([] { return false; }, 300);
  const uint64_t frames = App->Window().FramesPresented();
  const uint64_t start = platform::TickMs();
  RunUntil([] { return false; }, 1300);
  ASSERT_GE(platform::TickMs() - start, 1000u);
  EXPECT_EQ(App->Window().FramesPresented(), frames) << "an unchanged directory was painted again";

  platform::Queue([this] { App->SetStatusText("Board list updated"); });
  auto footerShows = [&] {
    const TTerminalBuffer& grid = App->LastFrameGrid();
    std::string footer;
    for (int x = 0; x < grid.FWidth; ++x) footer += char(grid.GetCell(x, grid.FHeight - 2).Ch);
    return footer.find("Board list updated") != std::string::npos;
  };
  ASSERT_TRUE(RunUntil([&] { return App->Window().FramesPresented() > frames && footerShows(); }, 5000));
}

// The debug log writes to disk at most every 200 ms; a line followed by a
// quiet spell (nothing repaints an idle directory) still reaches the file.
TEST_F(AppCoreTest, ALogLineBeforeAQuietSpellReachesTheFile) {
  Start();
  ASSERT_TRUE(RunUntil([&] { return App->ScreenMode() == smDirectory; }));
  RunUntil([] { return false; }, 300);
  LogLine("a line that is written out at once");
  LogLine("a line held back by the pacing");
  EXPECT_TRUE(RunUntil([&] {
    return ReadWholeFile(Folder.File("korvan_debug.log")).find("a line held back by the pacing") != std::string::npos;
  }, 5000));
}

TEST_F(AppCoreTest, AnEmptyPhonebookFileStaysEmpty) {
  WriteWholeFile(Folder.File("korvan.ini"), "");
  Start();
  EXPECT_EQ(App->ActivePhonebook()->Count(), 0);
}

TEST_F(AppCoreTest, ABoardsScreenRepliesAndResizeGoThroughTheRealCall) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  EXPECT_EQ(App->ScreenMode(), smOnline);
  peer->ReadFor(200);  // the client's Telnet offers
  peer->Write(Bytes{255, 253, 31});  // DO NAWS: the client reports its size from now on
  peer->Write(std::string("\x1b[2J\x1b[HxM\x1b[3b\x1b[6n"));
  Bytes reply;
  ASSERT_TRUE(RunUntil([&] {
    Bytes more = peer->ReadFor(5);
    reply.insert(reply.end(), more.begin(), more.end());
    return WithoutTelnetCommands(reply).find("\x1b[1;6R") != std::string::npos;
  })) << HexText(reply);
  EXPECT_EQ(Row(0).substr(0, 6), "xMxxx ");

  // The board asks for 132 x 50: with the status bar the buffer gets the
  // extra row, margins end above it, and the status line says so.
  peer->Write(std::string("\x1b[8;50;132t"));
  ASSERT_TRUE(RunUntil([&] { return App->CallScreen().FWidth == 132; }));
  EXPECT_EQ(App->CallScreen().FHeight, 51);
  EXPECT_EQ(App->CallScreen().MarginY1, 49);
  EXPECT_EQ(App->StatusText(), "Screen size 132x50 (set by the BBS)");
  EXPECT_EQ(Probe().MainFont().Height(), 8) << "40 rows or more use the 8x8 font";
  // NAWS follows: IAC SB NAWS 0 132 0 50 IAC SE.
  const Bytes naws = {255, 250, 31, 0, 132, 0, 50, 255, 240};
  EXPECT_FALSE(peer->ReadUntil(naws, 3000).empty());

  // Back to 80 x 25: the entry's font returns.
  peer->Write(std::string("\x1b[8;25;80t"));
  ASSERT_TRUE(RunUntil([&] { return App->CallScreen().FWidth == 80; }));
  EXPECT_EQ(Probe().MainFont().Height(), 16);
}

TEST_F(AppCoreTest, TheOnlineScreenIsPaintedFromTheBoardsBytes) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  peer->Write(std::string("\x1b[2J\x1b[H\x1b[1;37;44mHELLO"));
  ASSERT_TRUE(RunUntil([&] { return Row(0).rfind("HELLO", 0) == 0; }));
  App->Window().Invalidate();
  RunUntil([] { return false; }, 100);
  const platform::Surface& frame = App->Window().PresentedFrame();
  ASSERT_EQ(frame.Width(), 1600);
  ASSERT_EQ(frame.Height(), 1000);
  // The first cell's background is blue somewhere near its corner, and the
  // letters put white pixels in the first five cells.
  const int cellW = 1600 / 80, cellH = 1000 / 25;
  EXPECT_EQ(frame.Pixel(1, 1), platform::PackRGB(0, 0, 0xAA));
  int white = 0;
  for (int y = 0; y < cellH; ++y)
    for (int x = 0; x < cellW * 5; ++x) white += frame.Pixel(x, y) == platform::PackRGB(255, 255, 255);
  EXPECT_GT(white, 100);
}

TEST_F(AppCoreTest, KeysBecomeTheBytesOfTheKeyTable) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  peer->ReadFor(200);
  struct Row {
    const char* Name;
    uint16_t Key;
    bool Ctrl;
    std::string Bytes;
  };
  const Row rows[] = {
      {"Backspace", vk::Back, false, "\x08"},         {"Tab", vk::Tab, false, "\x09"},
      {"Enter", vk::Return, false, "\x0d"},           {"Esc once connected", vk::Escape, false, "\x1b"},
      {"Up", vk::Up, false, "\x1b[A"},                {"Down", vk::Down, false, "\x1b[B"},
      {"Right", vk::Right, false, "\x1b[C"},          {"Left", vk::Left, false, "\x1b[D"},
      {"Home", vk::Home, false, "\x1b[H"},            {"End", vk::End, false, "\x1b[K"},
      {"PgUp", vk::Prior, false, "\x1b[V"},           {"PgDn", vk::Next, false, "\x1b[U"},
      {"Ins", vk::Insert, false, "\x1b[@"},           {"Del", vk::Delete, false, "\x7f"},
      {"Ctrl+A", vk::Letter('A'), true, "\x01"},      {"Ctrl+Z", vk::Letter('Z'), true, "\x1a"},
  };
  for (const Row& r : rows) {
    Key(r.Key, false, r.Ctrl);
    EXPECT_EQ(BoardReceives(*peer, r.Bytes.size()), r.Bytes) << r.Name;
  }
  // Typed characters; Alt combinations never reach the board.
  Key(vk::Letter('Q'), false, false, true);
  Type("hi");
  EXPECT_EQ(BoardReceives(*peer, 2), "hi");
}

TEST_F(AppCoreTest, RenegadeBoardsGetTheirPageKeysAfterDetection) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  peer->ReadFor(200);
  // The name may arrive split across reads; the last 512 characters count.
  peer->Write(std::string("Welcome to {rene"));
  RunUntil([] { return false; }, 100);
  peer->Write(std::string("gade, v1}\r\n"));
  ASSERT_TRUE(RunUntil([&] {
    return ReadWholeFile(Folder.File("korvan_debug.log")).find("Keys: Renegade BBS detected") != std::string::npos;
  }));
  Key(vk::Prior);
  EXPECT_EQ(BoardReceives(*peer, 3), "\x1b[r");
}

TEST_F(AppCoreTest, AResetWithNoRecentKeyOffersARedialAndYCallsAgain) {
  LoopbackListener board;
  auto peer = CallBoard(board, {"/K"});
  ASSERT_TRUE(peer);
  peer->Abort();  // the line drops, not an orderly close
  ASSERT_TRUE(RunUntil([&] { return App->Popups().Redial.Open; }, 15000))
      << "status: " << App->StatusText() << " | ended: " << App->Popups().Terminated.Reason << " | call " << (App->CallOpen() ? "up" : "gone");
  EXPECT_FALSE(App->CallOpen());
  Type("y");
  std::unique_ptr<LoopbackPeer> again;
  EXPECT_TRUE(RunUntil([&] {
    if (!again) again = board.Accept(10);
    return again != nullptr;
  }));
  EXPECT_FALSE(App->Popups().Redial.Open);
}

TEST_F(AppCoreTest, AnOrderlyCloseShowsTheTerminatedPopupWithoutRedial) {
  LoopbackListener board;
  auto peer = CallBoard(board, {"/K"});
  ASSERT_TRUE(peer);
  peer->ReadFor(200);  // unread data would turn the close into a reset
  peer->Write(std::string("bye"));
  RunUntil([] { return false; }, 100);
  const uint64_t closed = platform::TickMs();
  peer->Close();
  ASSERT_TRUE(RunUntil([&] { return !App->CallOpen(); }));
  EXPECT_FALSE(App->Popups().Redial.Open);
  // The banner's expiry, read against the time span in which the call
  // ended: a call that connected shows its summary for 5 s.
  EXPECT_GE(App->Popups().Terminated.Until, closed + 5000);
  EXPECT_LE(App->Popups().Terminated.Until, platform::TickMs() + 5000);
  EXPECT_EQ(App->Popups().Terminated.Summary.rfind("Online 00:0", 0), 0u) << App->Popups().Terminated.Summary;
}

TEST_F(AppCoreTest, ACommandLineCallWithW0QuitsWhenItEnds) {
  LoopbackListener board;
  auto peer = CallBoard(board, {"/W0"});
  ASSERT_TRUE(peer);
  peer->Close();
  EXPECT_TRUE(RunUntil([&] { return !App->Running(); }));
}

TEST_F(AppCoreTest, ClosingDuringACallDisconnectsBeforeThePhonebookIsSaved) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  App->Window().Post([] {
    platform::Event e;
    e.Kind = platform::EventKind::Close;
    return e;
  }());
  RunUntil([&] { return !App->Running(); });
  App.reset();
  // The transport reports its end to the interface thread before it lets go
  // of the socket; serve that report as the loop would.
  bool closed = false;
  for (int i = 0; i < 100 && !closed; ++i) {
    platform::CheckSynchronize(20);
    closed = peer->WaitClosed(30);
  }
  EXPECT_TRUE(closed) << "the board sees the call end";
  std::string log = ReadWholeFile(Folder.File("korvan_debug.log"));
  size_t disconnect = log.find("Exit: after DisconnectCurrent");
  size_t saved = log.find("Exit: after FPhonebook.Save");
  ASSERT_NE(disconnect, std::string::npos);
  ASSERT_NE(saved, std::string::npos);
  EXPECT_LT(disconnect, saved);
}

TEST_F(AppCoreTest, ALateDisconnectOfAReplacedCallIsIgnored) {
  LoopbackListener first, second;
  auto peer = CallBoard(first, {"/K"});
  ASSERT_TRUE(peer);
  auto entry = LoopbackEntry(second, "second");
  auto peer2 = CallEntry(second, entry);
  ASSERT_TRUE(peer2);
  // The first call's data must not reach the second call's screen.
  peer->Write(std::string("OLD CALL"));
  peer2->Write(std::string("\x1b[2J\x1b[HNEW"));
  ASSERT_TRUE(RunUntil([&] { return Row(0).rfind("NEW", 0) == 0; }));
  RunUntil([] { return false; }, 300);
  EXPECT_EQ(Row(0).find("OLD"), std::string::npos);
  EXPECT_TRUE(App->CallOpen()) << "the second call stays up";
  EXPECT_EQ(App->CallEntry(), entry);
}

TEST(AppTextTest, SummaryTitleAndByteSizes) {
  EXPECT_EQ(FormatByteSize(1023), "1023 bytes");
  EXPECT_EQ(FormatByteSize(-5), "-5 bytes");
  EXPECT_EQ(FormatByteSize(1600), "2 KB");
  EXPECT_EQ(FormatByteSize(5242880), "5.0 MB");
  EXPECT_EQ(FormatByteSize(2500000), "2.4 MB");
  EXPECT_EQ(TruncateWithDots(std::string(45, 'a') + "", 28), "..." + std::string(25, 'a'));
  EXPECT_EQ(TruncateWithDots("abcdef", 3), "def");
  EXPECT_EQ(TruncateWithDots("0123456789", 28), "0123456789");
  std::string user, pass, host;
  EXPECT_TRUE(SplitUserPassHost("bob:secret@bbs.example", user, pass, host));
  EXPECT_EQ(user + "|" + pass + "|" + host, "bob|secret|bbs.example");
  EXPECT_TRUE(SplitUserPassHost("bob@bbs", user, pass, host));
  EXPECT_EQ(pass, "");
  EXPECT_FALSE(SplitUserPassHost("bbs", user, pass, host));
}

TEST_F(AppCoreTest, ModemSpeedSimulationPacesWithoutBankingIdleTime) {
  Start();
  TAppProbe p = Probe();
  // The budget is the time since the last look at the rate, with the
  // fraction of a byte carried on. The time is read around each step, so a
  // slow machine's extra milliseconds are counted as the program counts them.
  struct Row {
    double BytesPerSec;
    uint32_t AgoMs;
  };
  const Row rows[] = {{240, 500} /* 2400 bps */, {30, 50} /* 300 bps: one byte and a half */};
  for (const Row& r : rows) {
    p.SimBytesPerSec() = r.BytesPerSec;
    p.BudgetCarry() = 0;
    const uint64_t from = platform::TickMs();
    p.BudgetTick() = uint32_t(from - r.AgoMs);
    const int32_t budget = p.BaudBudget();
    const uint64_t spent = platform::TickMs() - from;
    const double least = r.AgoMs * r.BytesPerSec / 1000, most = (r.AgoMs + spent) * r.BytesPerSec / 1000;
    EXPECT_GE(budget + p.BudgetCarry(), least - 1e-9) << r.BytesPerSec;
    EXPECT_LE(budget + p.BudgetCarry(), most + 1e-9) << r.BytesPerSec;
    EXPECT_GE(p.BudgetCarry(), 0.0);
    EXPECT_LT(p.BudgetCarry(), 1.0) << "only the fraction is carried";
  }
  // Ten idle seconds do not bank a 2400-byte burst: a burst arriving after
  // them shows at most half a second's worth at once, plus what the time
  // spent drawing it earns.
  p.SimBytesPerSec() = 240;
  p.BudgetTick() = uint32_t(platform::TickMs() - 10000);
  p.BudgetCarry() = 0;
  p.RunningFlag() = true;
  const std::string burst(2400, 'x');
  const uint64_t from = platform::TickMs();
  p.OnTelnetData(burst);
  const uint64_t spent = platform::TickMs() - from;
  p.RunningFlag() = false;
  EXPECT_LE(burst.size() - p.Pending().size(), 120u + size_t(spent * 240 / 1000) + 1) << spent << " ms";
}

TEST_F(AppCoreTest, ModemSpeedSimulationKeepsItsRateWhileABacklogWaits) {
  Start();
  TAppProbe p = Probe();
  p.SimBytesPerSec() = 240;  // 2400 bps
  p.BudgetCarry() = 0;
  // A timer tick that comes late still pays out all the time that passed,
  // so late ticks do not slow the simulated modem down.
  p.BudgetTick() = uint32_t(platform::TickMs() - 750);
  EXPECT_GE(p.BaudBudget(), 179);
}

TEST_F(AppCoreTest, AHeldStarReachesTheScreenOnceAfterTheReplayTimer) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  peer->Write(std::string("\x1b[2J\x1b[Hrate *"));
  ASSERT_TRUE(RunUntil([&] { return Row(0).rfind("rate", 0) == 0; }));
  // The "*" could start a Zmodem header, so it waits about 60 ms.
  ASSERT_TRUE(RunUntil([&] { return Row(0).rfind("rate *", 0) == 0; }, 10000));
  RunUntil([] { return false; }, 200);
  EXPECT_EQ(Row(0).substr(0, 8), "rate *  ");
}

TEST_F(AppCoreTest, SyncTermCapabilityQueriesAreAnswered) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  peer->ReadFor(200);
  struct Row {
    const char* Query;
    const char* Reply;  // "" for no answer
  };
  const Row rows[] = {
      {"SyncTERM:Q;libsndfile", "\x1b[=7;100;1n"},
      {"SyncTERM:Q;JXL", "\x1b[=1;1-n"},  // libjxl is in the build's dll folder
      {"SyncTERM:Q;libsndfileFormat;1;2", "\x1b[=1;1-n"},
      {"SyncTERM:Q;libsndfileFormat;32;96", "\x1b[=1;1-n"},
      {"SyncTERM:Q;libsndfileFormat;1;3", "\x1b[=1;0-n"},
      {"SyncTERM:Q;libsndfileFormat;x;2", "\x1b[=1;0-n"},
      {"SyncTERM:Q;libsndfileFormat;12", ""},
  };
  for (const Row& r : rows) {
    peer->Write("\x1b_" + std::string(r.Query) + "\x1b\\");
    std::string got;
    RunUntil([&] {
      got += WithoutTelnetCommands(peer->ReadFor(5));
      return !got.empty() && got.back() == 'n';
    }, std::string(r.Reply).empty() ? 400 : 3000);
    EXPECT_EQ(got, r.Reply) << r.Query;
  }
}

TEST_F(AppCoreTest, TitleShowsTheCallAndItsTime) {
  LoopbackListener board;
  Start({"/S127.0.0.1:" + std::to_string(board.Port())});
  Probe().UpdateWindowTitle();
  EXPECT_EQ(App->Window().Title(), "KORVAN - 127.0.0.1 - connecting");
  std::unique_ptr<LoopbackPeer> peer;
  ASSERT_TRUE(RunUntil([&] {
    if (!peer) peer = board.Accept(10);
    return peer && App->CallConnected();
  }));
  Probe().ConnectTick() = platform::TickMs() - 3725 * 1000;
  Probe().UpdateWindowTitle();
  EXPECT_EQ(App->Window().Title(), "KORVAN - 127.0.0.1 - 01:02:05");
  Probe().BytesIn() = 2500000;
  Probe().FilesDown() = 1;
  EXPECT_EQ(Probe().OnlineStatusText(3725).substr(0, 30), "Online 01:02:05   In 2.4 MB   ");
  EXPECT_NE(Probe().OnlineStatusText(3725).find("   Files: 1 down, 0 up"), std::string::npos);
}

TEST_F(AppCoreTest, HangingUpWhileTheBoardFloodsLeaksNothingIntoTheNextCall) {
  LoopbackListener first, second;
  Start();
  auto entry = App->ActivePhonebook()->GetEntry(0);
  entry->Host = "127.0.0.1";
  entry->Port = first.Port();
  auto peer = CallEntry(first, entry);
  ASSERT_TRUE(peer);
  // The live call's entry is deleted from the phonebook: the call keeps it.
  App->ActivePhonebook()->Delete(0);
  std::string flood(64 * 1024, 'X');
  for (int i = 0; i < 8; ++i) peer->Write(flood);
  RunUntil([] { return false; }, 50);
  Key(platform::vk::Letter('H'), false, false, true);  // Alt+H while bytes are still queued
  ASSERT_TRUE(RunUntil([&] { return !App->CallOpen(); }));
  EXPECT_TRUE(Probe().Pending().empty());
  auto peer2 = CallEntry(second, LoopbackEntry(second, ""));
  ASSERT_TRUE(peer2);
  peer2->Write(std::string("\x1b[2J\x1b[Hsecond"));
  ASSERT_TRUE(RunUntil([&] { return Row(0).rfind("second", 0) == 0; }));
  RunUntil([] { return false; }, 300);
  for (int y = 0; y < App->CallScreen().FHeight; ++y) EXPECT_EQ(Row(y).find("XXXX"), std::string::npos) << "row " << y;
}

TEST_F(AppCoreTest, AFloodIsReadAheadOnlyAsFarAsTheDrainAllows) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  // 2 MB of coloured text, then a last screen: the transport reads on while
  // the screen drains what it has, but never far ahead of it.
  std::string text;
  for (int i = 0; text.size() < (2u << 20); ++i)
    text += "\x1b[" + std::to_string(31 + i % 7) + "mline " + std::to_string(i) + " of the flood\r\n";
  text += "\x1b[2J\x1b[Hthe last screen";
  const uint64_t framesBefore = App->Window().FramesPresented();
  const uint64_t start = platform::TickMs();
  std::thread writer([&] { peer->Write(text); });
  const bool shown = RunUntil([&] { return Row(0).rfind("the last screen", 0) == 0; }, 120000);
  writer.join();
  ASSERT_TRUE(shown) << Row(0);
  // The picture kept up meanwhile: frames were shown all through the flood,
  // not only at its end. At least one in ten display refreshes: a frame costs
  // several milliseconds of CPU in a sanitized build, so on a machine busy
  // with other work the rate falls well below the display's, yet a program
  // that paints only when the flood ends shows one or two frames.
  const uint64_t refreshes = (platform::TickMs() - start) / App->Window().FrameMs();
  EXPECT_GE(App->Window().FramesPresented() - framesBefore, refreshes / 10) << refreshes << " refreshes";
  // The queue's storage never shrinks: it shows the most that ever waited.
  EXPECT_LE(Probe().Pending().capacity(), size_t(256 * 1024));
  EXPECT_EQ(Probe().BytesIn(), int64_t(text.size()));
}

TEST(AppPlacementTest, TheWindowIsCentredAndKeptNearTheTop) {
  struct Row {
    const char* Name;
    platform::Rect Work;
    int W, H, X, Y;
  };
  const Row rows[] = {
      {"a sixteenth caps the top gap", {0, 0, 1600, 1000}, 1000, 900, 300, 50},
      {"small window centred", {0, 0, 1600, 1000}, 800, 600, 400, 62},
      {"offset work area", {100, 30, 1700, 1030}, 1000, 960, 400, 50},
      {"larger than the work area", {0, 0, 800, 600}, 1000, 900, 0, 0},
  };
  for (const Row& r : rows) {
    int x = -1, y = -1;
    PlaceMainWindow(r.Work, r.W, r.H, x, y);
    EXPECT_EQ(x, r.X) << r.Name;
    EXPECT_EQ(y, r.Y) << r.Name;
  }
}

TEST_F(AppCoreTest, TheEndOfACallEndsARunningXYmodemTransfer) {
  LoopbackListener board;
  auto peer = CallBoard(board, {"/K"});
  ASSERT_TRUE(peer);
  Probe().XYmodem().StartReceive(1, "");
  ASSERT_NE(Probe().XYmodem().Mode, TXYmodemEngine::xmIdle);
  App->DisconnectCurrent();
  EXPECT_EQ(Probe().XYmodem().Mode, TXYmodemEngine::xmIdle);
}

TEST_F(AppCoreTest, EscOnTheEmptyOnlineScreenGoesToTheDirectoryAndStaysThere) {
  Start();
  App->ShowScreen(smOnline);  // a call has ended: the online screen stays, empty
  Key(vk::Escape);
  RunUntil([] { return false; }, 200);
  EXPECT_EQ(App->ScreenMode(), smDirectory) << "the directory must not take the same Esc back to the online screen";
  EXPECT_EQ(App->StatusText(), kDirectoryStatus);
}

TEST_F(AppCoreTest, UTF8ModeSendsTypedCharactersAsTyped) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  peer->ReadFor(200);
  Key(vk::Digit(8), false, false, true);  // Alt+8: UTF-8 mode on for this call
  ASSERT_TRUE(RunUntil([&] { return App->StatusText() == "UTF-8 mode: ON (Alt+8 to toggle)"; }));
  struct Row {
    const char* Name;
    uint32_t CodePoint;
    std::string Bytes;
  };
  const Row rows[] = {
      {"e acute", 0xE9, "\xc3\xa9"},
      {"euro sign, not in CP437", 0x20AC, "\xe2\x82\xac"},
      {"plain letter", 'a', "a"},
  };
  for (const Row& r : rows) {
    App->Window().Post(platform::Event::Character(r.CodePoint));
    EXPECT_EQ(BoardReceives(*peer, r.Bytes.size()), r.Bytes) << r.Name;
  }
}

TEST_F(AppCoreTest, ADialStillPlayingDoesNotReplaceACallOpenedMeanwhile) {
  LoopbackListener first, second;
  Start();
  auto dialled = LoopbackEntry(first, "slow modem");
  dialled->SimBaudRate = 2400;
  App->ConnectToEntry(dialled, false);
  ASSERT_GT(Probe().DialStage(), 0);
  // The user goes to the directory and calls another board before the dial ends.
  auto other = LoopbackEntry(second, "other");
  auto peer = CallEntry(second, other);
  ASSERT_TRUE(peer);
  peer->Write(std::string("\x1b[2J\x1b[Hboard two"));
  ASSERT_TRUE(RunUntil([&] { return Row(0).rfind("board two", 0) == 0; }));
  for (int stage = 0; stage < 10; ++stage) {  // every stage of the old dial falls due
    Probe().DialDue() = 0;
    Probe().DialTick();
  }
  EXPECT_EQ(App->CallEntry(), other);
  EXPECT_TRUE(App->CallOpen());
  for (int y = 0; y < App->CallScreen().FHeight; ++y) EXPECT_EQ(Row(y).find("Resolving"), std::string::npos) << y;
  EXPECT_EQ(first.Accept(300), nullptr) << "the old dial must not call its board";
}

TEST_F(AppCoreTest, CtrlLeftAndRightStepTheWindowSizeAndReachTheBoardOnlyInDoorwayMode) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  peer->ReadFor(200);
  App->Config().ScreenScale = 2.5;
  App->Config().ScreenScaleFullScreen = false;
  struct Row {
    const char* Name;
    uint16_t Key;
    double Scale;
    bool Full;
    const char* Status;
  };
  const Row rows[] = {
      {"2.5 up to 3", vk::Right, 3.0, false, "Screen size: 3x (Ctrl+Left/Right)"},
      {"3 up to full screen", vk::Right, 3.0, true, "Screen size: Full Screen (Ctrl+Left/Right)"},
      {"full screen stays", vk::Right, 3.0, true, "Screen size: Full Screen (Ctrl+Left/Right)"},
      {"full screen back to 3", vk::Left, 3.0, false, "Screen size: 3x (Ctrl+Left/Right)"},
      {"3 down to 2.5", vk::Left, 2.5, false, "Screen size: 2.5x (Ctrl+Left/Right)"},
  };
  for (const Row& r : rows) {
    Key(r.Key, false, true);
    RunUntil([] { return false; }, 100);
    EXPECT_EQ(App->Config().ScreenScale, r.Scale) << r.Name;
    EXPECT_EQ(App->Config().ScreenScaleFullScreen, r.Full) << r.Name;
    EXPECT_EQ(App->Window().FullScreen(), r.Full) << r.Name;
    EXPECT_EQ(App->StatusText(), r.Status) << r.Name;
  }
  EXPECT_EQ(App->Window().ClientWidth(), 1600);
  EXPECT_EQ(WithoutTelnetCommands(peer->ReadFor(200)), "") << "the window keys are not sent to the board";
  Key(vk::Letter('W'), false, false, true);  // doorway mode: the keys go to the board
  Key(vk::Left, false, true);
  EXPECT_EQ(BoardReceives(*peer, 3), "\x1b[D");
}

TEST_F(AppCoreTest, OnlyAWindowTheUserSizedSnapsToTheScreensProportions) {
  Start();
  RunUntil([] { return false; }, 100);  // a first paint sizes the renderer's picture
  struct Row {
    const char* Name;
    bool Maximized;
    int Width, Height, WantedHeight;
  };
  const Row rows[] = {
      {"dragged to 1000 wide", false, 1000, 700, 625},
      {"641 wide", false, 641, 500, 401},
      {"maximised keeps its size", true, 1000, 700, 700},
  };
  for (const Row& r : rows) {
    App->Window().SetMaximized(r.Maximized);
    App->Window().SetClientSize(r.Width, r.Height);
    platform::Event e;
    e.Kind = platform::EventKind::Size;
    App->Window().Post(e);
    RunUntil([] { return false; }, 100);
    EXPECT_EQ(App->Window().ClientWidth(), r.Width) << r.Name;
    EXPECT_EQ(App->Window().ClientHeight(), r.WantedHeight) << r.Name;
  }
}

TEST_F(AppCoreTest, DoorwayModeKeepsTheLocalHotkeysFromRunning) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  Key(vk::Letter('W'), false, false, true);
  ASSERT_TRUE(RunUntil([&] { return App->StatusText().rfind("DOORWAY MODE ON", 0) == 0; }));
  EXPECT_EQ(App->StatusText(), "DOORWAY MODE ON - local hotkeys suppressed. Alt+W to exit.");
  for (char letter : {'D', 'H', 'X'}) Key(vk::Letter(letter), false, false, true);
  RunUntil([] { return false; }, 200);
  EXPECT_EQ(App->ScreenMode(), smOnline);
  EXPECT_TRUE(App->CallOpen()) << "Alt+H does not hang up in doorway mode";
  EXPECT_TRUE(App->Running()) << "Alt+X does not quit in doorway mode";
  Key(vk::Letter('W'), false, false, true);
  Key(vk::Letter('D'), false, false, true);
  EXPECT_TRUE(RunUntil([&] { return App->ScreenMode() == smDirectory; }));
  EXPECT_EQ(App->StatusText(), kDirectoryStatus);
}

TEST_F(AppCoreTest, LocalCtrlCommandsReachTheBoardOnlyInDoorwayMode) {
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  peer->ReadFor(200);
  struct Row {
    const char* Name;
    uint16_t Key;
    bool Shift;
  };
  // Ctrl+V before Ctrl+Shift+C: the clipboard is still empty, so the paste
  // sends nothing either.
  const Row rows[] = {{"Ctrl+O", vk::Letter('O'), false},
                      {"Ctrl+V", vk::Letter('V'), false},
                      {"Ctrl+Shift+C", vk::Letter('C'), true}};
  for (const Row& r : rows) Key(r.Key, r.Shift, true);
  RunUntil([] { return false; }, 200);
  EXPECT_EQ(WithoutTelnetCommands(peer->ReadFor(200)), "") << "local commands are not sent";
  Key(vk::Letter('W'), false, false, true);  // doorway mode
  for (const Row& r : rows) Key(r.Key, r.Shift, true);
  Key(vk::Letter('C'), false, true);  // Ctrl+C without a selection
  EXPECT_EQ(BoardReceives(*peer, 4), "\x0f\x16\x03\x03");
}

TEST_F(AppCoreTest, TheQuickConnectListKeepsNinetyNineUsableRowsWithUsablePorts) {
  std::string text = "[blank]\nS=  \nP=2323\n[far]\nS=bbs.example\nP=70000\n[near]\nS= bbs.near \nP=2323\n";
  for (int i = 0; i < 120; ++i) text += "[board" + std::to_string(i) + "]\nS=host" + std::to_string(i) + "\n";
  WriteWholeFile(Folder.File("list.ini"), text);
  const std::vector<TQuickListRow> list = LoadQuickConnectList(Folder.File("list.ini"));
  ASSERT_EQ(list.size(), 99u);
  EXPECT_EQ(list[0].Name, "far");
  EXPECT_EQ(list[0].Port, 23) << "a port beyond 65535 is not wrapped into another one";
  EXPECT_EQ(list[1].Host, "bbs.near");
  EXPECT_EQ(list[1].Port, 2323);
  EXPECT_EQ(list[2].Port, 23);
  EXPECT_TRUE(LoadQuickConnectList(Folder.File("missing.ini")).empty());
  Start({"/Mlist.ini"});
  EXPECT_EQ(App->ScreenMode(), smQuickConnect);
}

TEST_F(AppCoreTest, TheTitleAndTheCancelledBannerDoNotShowTheSshPassword) {
  LoopbackListener board;  // accepts, but never starts the SSH handshake
  Start();
  Probe().StatusBar() = true;
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = "ssh board";
  entry->Host = "bob:secret@127.0.0.1";
  entry->Port = board.Port();
  entry->UseSSH = true;
  App->ConnectToEntry(entry, false);
  std::unique_ptr<LoopbackPeer> peer;
  ASSERT_TRUE(RunUntil([&] {
    if (!peer) peer = board.Accept(10);
    return peer != nullptr;
  }));
  ASSERT_TRUE(App->CallOpen());
  ASSERT_FALSE(App->CallConnected());
  entry->Name = "";
  Probe().UpdateWindowTitle();
  EXPECT_EQ(App->Window().Title(), "KORVAN - 127.0.0.1 - connecting");
  App->WndProc(platform::Event::Key(vk::Escape));  // checked before the call's own end report
  EXPECT_FALSE(App->CallOpen());
  EXPECT_EQ(App->StatusText(), "Cancelled connecting to 127.0.0.1.");
  EXPECT_EQ(App->Popups().Terminated.Reason.find("secret"), std::string::npos) << App->Popups().Terminated.Reason;
}

TEST_F(AppCoreTest, ARefusedCallOffersARedialOnlyWithoutARecentKey) {
  Start();
  struct Row {
    const char* Name;
    bool KeyJustTyped;
  };
  const Row rows[] = {{"no key typed", false}, {"a key typed just before", true}};
  for (const Row& r : rows) {
    // The user keeps typing while the call is made. A loaded machine may
    // still be slow to handle the refusal; what the program decided is
    // checked against the time since the last key that it logged, and a
    // try on which that time says nothing about this row is made again.
    bool shown = false;
    for (int attempt = 0; attempt < 5 && !shown; ++attempt) {
      Probe().Popups().Redial.Open = false;
      Probe().LastKeyTick() = 0;
      auto entry = std::make_shared<TPhonebookEntry>();
      entry->Name = "nobody home";
      entry->Host = "127.0.0.1";
      entry->Port = FreeLoopbackPort();
      const uint64_t before = platform::TickMs();
      App->ConnectToEntry(entry, false);
      ASSERT_TRUE(RunUntil([&] {
        if (r.KeyJustTyped) Probe().LastKeyTick() = platform::TickMs();
        return !App->CallOpen();
      })) << r.Name;
      // The log holds a line in its buffer until a later line comes 200 ms
      // on, or until it is closed: closed and opened again, it has them all.
      LogClose();
      LogOpen(Folder.File("korvan_debug.log"));
      const std::string log = ReadWholeFile(Folder.File("korvan_debug.log"));
      const size_t at = log.rfind("msSinceInput=");
      ASSERT_NE(at, std::string::npos) << "the decision is logged";
      const long long since = std::atoll(log.c_str() + at + 13);
      if (r.KeyJustTyped && since >= 3000) continue;  // the key was no longer recent
      EXPECT_EQ(App->Popups().Redial.Open, !r.KeyJustTyped) << r.Name << ", " << since << " ms since the last key";
      if (!r.KeyJustTyped) {
        EXPECT_EQ(App->Popups().Redial.Entry, entry) << r.Name;
      } else {
        // Set when the call ended, which lies between Before and now.
        EXPECT_GE(App->Popups().Terminated.Until, before + 500) << r.Name;
        EXPECT_LE(App->Popups().Terminated.Until, platform::TickMs() + 500) << r.Name << ": no summary, so the short banner";
      }
      shown = true;
    }
    EXPECT_TRUE(shown) << r.Name << ": every try took over 3 s from a key to the refusal";
  }
}

// Bytes that no stage of the receive chain acts on reach the emulation in
// runs; the bytes a stage watches for ("*" and CAN for the Zmodem detector)
// pass one at a time between them. However the board's bytes are cut into
// reads, the screen must be what the emulation alone makes of them.
TEST_F(AppCoreTest, TheReceiveChainShowsWhatTheEmulationAloneShows) {
  Start();
  struct Row {
    const char* Name;
    std::string Bytes;
  } rows[] = {
      {"art", "\x1b[0m\x1b[2J\x1b[H\x1b[1;33;44mHello\x1b[0m \xdb\xdb\xb1\r\n\x1b[31mred\x1b[5;10Hthere\x1b[K"},
      {"stars in text", "\x1b[0m\x1b[2J\x1b[H5 * 3 = 15 ** bold ***\r\nrate *A* end"},
      {"CAN in text", "\x1b[0m\x1b[2J\x1b[Ha\x18" "b\x18\x18" "c\r\nd\x18"},
      {"a star before an escape", "\x1b[0m\x1b[2J\x1b[Hx*\x1b[32mgreen*\x1b[0m."},
  };
  for (const Row& r : rows)
    for (size_t piece : {r.Bytes.size(), size_t(1), size_t(3), size_t(7)}) {
      SCOPED_TRACE(std::string(r.Name) + ", reads of " + std::to_string(piece));
      for (size_t at = 0; at < r.Bytes.size(); at += piece) Probe().ProcessIncoming(r.Bytes.substr(at, piece));
      const TTerminalBuffer& got = App->CallScreen();
      TTerminalBuffer want(got.FWidth, got.FHeight);
      TAnsiParser alone(&want);
      alone.Feed(reinterpret_cast<const uint8_t*>(r.Bytes.data()), r.Bytes.size());
      for (int y = 0; y < got.FHeight; ++y)
        for (int x = 0; x < got.FWidth; ++x)
          ASSERT_EQ(got.GetCell(x, y), want.GetCell(x, y)) << x << "," << y;
      EXPECT_EQ(got.CursorX, want.CursorX);
      EXPECT_EQ(got.CursorY, want.CursorY);
    }
}
