// A call on its own, without the application or a window: a host that
// records what the call tells it, the real screen, ANSI emulation and mode
// table, and a board on loopback. A call that has ended stops draining at
// once, reports of a transport it has let go reach no call, the emulation's
// answers go through the call that owns the screen now, and the screen size
// comes from the board, the entry or the buffer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/screens/uTransferPrompts.h"
#include "core/uAnsiParser.h"
#include "core/uTerminalBuffer.h"
#include "data/uPhonebook.h"
#include "net/uTelnetClient.h"
#include "platform/Sync.h"
#include "tests/app/FakeCallServices.h"
#include "tests/support/Loopback.h"
#include "tests/support/Serve.h"

namespace {

// The program as a call sees it: a running loop whose pump may end the
// call, and a record of the transport's reports.
class RecordingHost : public TCallHost {
 public:
  std::shared_ptr<TCall> Call;
  bool EndCallOnPump = false;
  int Pumps = 0, Connected = 0;
  std::vector<std::string> Ended;  // "live: text" or "late: text"

  bool LoopRunning() const override { return true; }
  void PumpMessages() override {
    ++Pumps;
    if (EndCallOnPump && Call) Call->End();
  }
  void ShowFrameNow() override {}
  void Invalidate() override {}
  void PicturePlaced() override {}
  void StartTimer(TCallTimer, uint32_t) override {}
  void StopTimer(TCallTimer) override {}
  bool TimerRunning(TCallTimer) const override { return false; }
  const TAppConfig* Settings() const override { return nullptr; }
  void ShowStatus(const std::string&, uint32_t) override {}
  void SetStatusText(const std::string&) override {}
  void ShowToast(const std::string&, const std::string&, uint32_t) override {}
  void SpeakStatus(const std::string&) override {}
  void Received(const uint8_t*, int) override {}
  void ReceivedChunk(const uint8_t*, int) override {}
  void RecordTypedText(const std::string&) override {}
  void ResizeRequest(int, int) override {}
  bool StatusBarShown() const override { return StatusBar; }
  bool LoadTerminalFont(const std::string&) override { return false; }
  void FontCellSize(int& width, int& height) const override { width = 8, height = 16; }
  void ScreenCleared() override {}
  void TransferFolders(std::string& download, std::string& door) const override { download = door = ""; }
  bool IsProgramPath(const std::string&) const override { return false; }
  TTransferPrompts& TransferPrompts() override { return Prompts; }
  void UploadWanted() override {}
  void CallStatus(const std::string&) override {}
  void CallConnected() override { ++Connected; }
  void CallDisconnected(const std::string& text, bool live) override {
    Ended.push_back(std::string(live ? "live: " : "late: ") + text);
  }

  TTransferPrompts Prompts;
  bool StatusBar = false;
};

class CallTest : public ::testing::Test {
 protected:
  CallTest() { platform::SetInterfaceThread(); }
  std::shared_ptr<TCall> MakeCall(std::shared_ptr<TPhonebookEntry> entry = nullptr) {
    Host.Call = std::make_shared<TCall>(Host, TCallParts{Buffer, Parser, Modes}, std::move(entry),
                                        std::weak_ptr<int>(Life), std::vector<std::string>());
    return Host.Call;
  }
  std::string ScreenText() const {
    std::string text;
    for (int y = 0; y < Buffer.FHeight; ++y)
      for (int x = 0; x < Buffer.FWidth; ++x) text += char(Buffer.GetCell(x, y).Ch);
    return text;
  }

  RecordingHost Host;
  TTerminalBuffer Buffer{80, 25};
  TAnsiParser Parser{&Buffer};
  testsupport::FakeCall ModeServices;
  TCallModes Modes{ModeServices, {}};
  std::shared_ptr<int> Life = std::make_shared<int>(0);
};

// Lines of one letter: the first drained chunk holds only A lines, the rest
// of the backlog only B lines.
std::string Backlog() {
  std::string text;
  while (text.size() < 2048) text += std::string(30, 'A') + "\r\n";
  text.resize(2048);
  while (text.size() < 16 * 1024) text += std::string(30, 'B') + "\r\n";
  return text;
}

TEST_F(CallTest, ACallEndedWhileItsDrainLetsEventsThroughStopsAtOnce) {
  struct Row {
    const char* Name;
    bool Ended;
  };
  for (const Row& r : {Row{"the call goes on", false}, Row{"the reset took the call", true}}) {
    SCOPED_TRACE(r.Name);
    Buffer.ClearScreen(false);
    std::shared_ptr<TCall> call = MakeCall();
    Host.EndCallOnPump = r.Ended;
    const std::string text = Backlog();
    call->OnTelnetData(reinterpret_cast<const uint8_t*>(text.data()), int(text.size()));
    EXPECT_GT(Host.Pumps, 0) << "events get through between chunks";
    EXPECT_EQ(call->Ended(), r.Ended);
    EXPECT_EQ(call->RxWaiting(), 0u);
    EXPECT_EQ(ScreenText().find('B') != std::string::npos, !r.Ended)
        << "an ended call's backlog never reaches the screen";
    if (r.Ended) EXPECT_NE(ScreenText().find('A'), std::string::npos) << "the chunk drained before the end is shown";
    Host.Pumps = 0;
  }
}

TEST_F(CallTest, ReportsOfATransportTheCallLetGoReachNoCall) {
  testsupport::LoopbackListener board;
  std::shared_ptr<TCall> call = MakeCall();
  std::shared_ptr<TWireTransport> transport = TTelnetClient::CreateRaw("127.0.0.1", board.Port());
  call->AttachTransport(transport);
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(testsupport::ServeUntil([&] { return Host.Connected == 1; }));
  EXPECT_NE(call->ConnectTick(), 0u);
  peer->Write("hello");
  ASSERT_TRUE(testsupport::ServeUntil([&] { return ScreenText().rfind("hello", 0) == 0; }));
  EXPECT_EQ(call->Counts().BytesIn, 5);

  call->Disconnect();
  EXPECT_EQ(call->Transport(), nullptr);
  // A report the transport queued before it stopped: its data is dropped.
  const std::string late = "\r\nlate";
  transport->OnData(reinterpret_cast<const uint8_t*>(late.data()), int(late.size()));
  EXPECT_EQ(ScreenText().find("late"), std::string::npos);
  EXPECT_EQ(call->Counts().BytesIn, 5);
  // Its end is told as the end of a call already over.
  transport->OnDisconnected("Disconnected");
  EXPECT_EQ(Host.Ended, (std::vector<std::string>{"late: Disconnected"}));
  // The transport's own end report, served only now, is told as late too.
  ASSERT_TRUE(testsupport::ServeUntil([&] { return Host.Ended.size() == 2; }));
  EXPECT_EQ(Host.Ended[1].rfind("late: ", 0), 0u) << Host.Ended[1];
  EXPECT_EQ(ScreenText().find("late"), std::string::npos);
  // Once the program is gone, nothing is told at all.
  Life.reset();
  transport->OnDisconnected("Disconnected");
  EXPECT_EQ(Host.Ended.size(), 2u);
}

TEST_F(CallTest, TheEmulationAnswersTheBoardThroughTheCallThatOwnsTheScreen) {
  testsupport::LoopbackListener board;
  std::shared_ptr<TCall> first = MakeCall();
  first->AttachTransport(TTelnetClient::CreateRaw("127.0.0.1", board.Port()));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(testsupport::ServeUntil([&] { return Host.Connected == 1; }));
  const std::string query = "\x1b[6n";
  // The "c" after the query shows on screen once the query has been read.
  peer->Write("ab" + query + "c");
  ASSERT_TRUE(testsupport::ServeUntil([&] { return ScreenText().rfind("abc", 0) == 0; }));
  const testsupport::Bytes answer = peer->ReadUntil("R");
  EXPECT_EQ(std::string(answer.begin(), answer.end()), "\x1b[1;3R") << "the cursor's place goes back to the board";

  // The next call takes the screen: what the emulation answers now is that
  // call's, and the first call's board hears nothing of it.
  std::shared_ptr<TCall> second = MakeCall();
  second->ProcessIncoming(reinterpret_cast<const uint8_t*>(query.data()), int(query.size()), false);
  EXPECT_TRUE(peer->ReadFor(300).empty()) << "an answer reached a call that no longer owns the screen";

  // A call thrown away takes no events of the screen or the emulation.
  Host.Call.reset();
  second.reset();
  Parser.Feed(reinterpret_cast<const uint8_t*>(query.data()), query.size());
  Buffer.ClearScreen(false);
  EXPECT_TRUE(peer->ReadFor(300).empty());
}

TEST_F(CallTest, TheScreenSizeIsTheBoardsRequestElseTheEntrysElseTheBuffers) {
  struct Row {
    const char* Name;
    bool Entry, BoardAsked, StatusBar;
    int Cols, Rows, TextRows;
  };
  for (const Row& r : {Row{"no entry: the buffer as it is", false, false, false, 80, 25, 25},
                       Row{"the entry's size", true, false, false, 132, 50, 50},
                       Row{"the board's request over the entry's", true, true, false, 100, 40, 40},
                       Row{"the status bar takes a row from the board", true, false, true, 132, 50, 49}}) {
    SCOPED_TRACE(r.Name);
    auto entry = std::make_shared<TPhonebookEntry>();
    entry->Cols = 132;
    entry->Rows = 50;
    std::shared_ptr<TCall> call = MakeCall(r.Entry ? entry : nullptr);
    if (r.BoardAsked) call->SetBoardSize(100, 40);
    Host.StatusBar = r.StatusBar;
    EXPECT_EQ(call->TermCols(), r.Cols);
    EXPECT_EQ(call->TermRows(), r.Rows);
    EXPECT_EQ(call->TextRows(call->TermRows()), r.TextRows);
  }
  Host.StatusBar = true;
  EXPECT_EQ(MakeCall()->TextRows(1), 1) << "a one-row screen keeps its row under the status bar";
}

}  // namespace
