// Login steps: how each line reads (the odd rules included), and the steps
// running against a real raw call to a loopback board, fed received text and
// ticked as the application does.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "data/uLoginScript.h"
#include "net/uTelnetClient.h"
#include "platform/Sync.h"
#include "tests/support/Loopback.h"
#include "tests/support/Serve.h"
#include "tests/support/TransportRecorder.h"

using testsupport::LoopbackListener;
using testsupport::LoopbackPeer;
using testsupport::ToString;

namespace {

struct TStepRow {
  const char* Name;
  const char* Line;
  bool Valid;
  int32_t Kind;
  std::string Text;
  int32_t Ms;
};

class LoginStepLines : public ::testing::TestWithParam<TStepRow> {};

TEST_P(LoginStepLines, ReadAsTheRulesSay) {
  const TStepRow& row = GetParam();
  TLoginScriptLine step;
  ASSERT_EQ(ParseLoginStep(row.Line, step), row.Valid);
  if (!row.Valid) return;
  EXPECT_EQ(step.Kind, row.Kind);
  EXPECT_EQ(step.Text, row.Text);
  if (row.Kind == lsPause) {
    EXPECT_EQ(step.Ms, row.Ms);
  }
}

const TStepRow kStepLines[] = {
    {"QuotedSend", "SEND \"user\\r\"", true, lsSend, "user\r", 0},
    {"VerbIgnoresCase", "  send \"pass\\r\"  ", true, lsSend, "pass\r", 0},
    {"QuotedWaitfor", "WaitFor \"login:\"", true, lsWaitFor, "login:", 0},
    {"TextBetweenTheFirstTwoQuotes", "WAITFOR   x \"a b\" y \"c\"", true, lsWaitFor, "a b", 0},
    {"BackslashDoesNotProtectAQuote", "SEND \"say \\\"hi\\\"\"", true, lsSend, "say \\", 0},
    {"QuotesWithoutAnOpeningOne", "SEND say \\\"hi\\\"", true, lsSend, "hi\\", 0},
    {"OneQuoteTakesTheWholeArgument", "SEND \"only one", true, lsSend, "\"only one", 0},
    {"NoQuotesTakesTheWholeArgument", "SEND no quotes\\there", true, lsSend, "no quotes\there", 0},
    {"Escapes", "SEND \"\\r\\n\\t\\\\\\q\\\"", true, lsSend, "\r\n\t\\q\\", 0},
    {"VerbAloneSendsNothing", "SEND", true, lsSend, "", 0},
    {"EmptyQuotes", "WAITFOR \"\"", true, lsWaitFor, "", 0},
    {"PauseNumber", "PAUSE 2000", true, lsPause, "", 2000},
    {"PauseNegative", "pause -1", true, lsPause, "", -1},
    {"PauseNotANumber", "PAUSE abc", true, lsPause, "", 500},
    {"PauseAlone", "PAUSE", true, lsPause, "", 500},
    {"PauseTooLarge", "PAUSE 99999999999", true, lsPause, "", 500},
    {"PauseWithFraction", "PAUSE 1.5", true, lsPause, "", 500},
    {"TabDoesNotEndTheVerb", "SEND\t\"x\"", false, 0, "", 0},
    {"UnknownVerb", "TYPE \"x\"", false, 0, "", 0},
    {"VerbWithSuffix", "SENDLN \"x\"", false, 0, "", 0},
    {"Comment", "  # SEND \"x\"", false, 0, "", 0},
    {"Blank", " \t ", false, 0, "", 0},
};

INSTANTIATE_TEST_SUITE_P(Table, LoginStepLines, ::testing::ValuesIn(kStepLines),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(LoginScriptLoad, KeepsTheValidStepsInOrder) {
  TLoginScript steps(nullptr);
  steps.LoadFromLines({"# log in", "WAITFOR \"login:\"", "bogus", "", "SEND \"me\\r\"", "PAUSE"});
  ASSERT_EQ(steps.Steps().size(), 3u);
  EXPECT_EQ(steps.Steps()[0].Kind, lsWaitFor);
  EXPECT_EQ(steps.Steps()[1].Text, "me\r");
  EXPECT_EQ(steps.Steps()[2].Ms, 500);
}

// A raw call to a loopback board: the steps send through it, the test feeds
// what the board "sent" and ticks the steps as the application would.
class LoginScriptRun : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
    Transport = TTelnetClient::CreateRaw("127.0.0.1", Board.Port());
    Log = testsupport::RecordTransport(*Transport);
    ASSERT_TRUE(testsupport::ServeUntil([&] {
      if (!Peer) Peer = Board.Accept(5);
      return Peer && Log->WasConnected();
    }));
  }
  void TearDown() override {
    std::weak_ptr<TTelnetClient> weak = Transport;
    Transport->Disconnect();
    Transport.reset();
    testsupport::ServeUntil([&] { return weak.expired(); });
  }

  std::unique_ptr<TLoginScript> Steps(const std::vector<std::string>& lines) {
    auto steps = std::make_unique<TLoginScript>(Transport);
    steps->LoadFromLines(lines);
    return steps;
  }
  // What the board receives: at least Count bytes, or what came in the time.
  std::string BoardGets(size_t count, int ms = 5000) { return ToString(Peer->ReadExactly(count, ms)); }
  // Nothing more reaches the board for a while.
  std::string BoardGetsMeanwhile() { return ToString(Peer->ReadFor(300)); }

  LoopbackListener Board;
  std::shared_ptr<TTelnetClient> Transport;
  std::shared_ptr<testsupport::TransportLog> Log;
  std::unique_ptr<LoopbackPeer> Peer;
};

TEST_F(LoginScriptRun, ConsecutiveSendsGoOutAtOnceWhenStarted) {
  auto steps = Steps({"SEND \"user\\r\"", "SEND \"pass\\r\""});
  steps->Start();
  EXPECT_FALSE(steps->Running()) << "passing the last step ends the run";
  EXPECT_EQ(BoardGets(10), "user\rpass\r");
}

TEST_F(LoginScriptRun, WaitforMatchesAcrossChunksAndOnlyInItsCase) {
  auto steps = Steps({"WAITFOR \"login:\"", "SEND \"me\\r\"", "WAITFOR \"word:\"", "SEND \"pw\\r\""});
  steps->Feed("early login: before the start is not seen");
  steps->Start();
  steps->Feed("Welcome\r\nLOGIN: ");
  steps->Feed("\x1b[1;31mlog");
  EXPECT_EQ(BoardGetsMeanwhile(), "");
  steps->Feed("in: ");
  EXPECT_EQ(BoardGets(3), "me\r");
  // The text that matched is gone: a second "login:" step would not see it.
  steps->Feed("Pass");
  steps->Feed("word: ");
  EXPECT_EQ(BoardGets(3), "pw\r");
  EXPECT_FALSE(steps->Running());
}

TEST_F(LoginScriptRun, EmptyWaitforNeverCompletes) {
  auto steps = Steps({"WAITFOR \"\"", "SEND \"after\""});
  steps->Start();
  steps->Feed("anything at all");
  steps->Feed("");
  steps->Tick();
  EXPECT_EQ(BoardGetsMeanwhile(), "");
  EXPECT_TRUE(steps->Running());
}

TEST_F(LoginScriptRun, SendAloneSendsNothingAndGoesOn) {
  auto steps = Steps({"SEND", "SEND \"x\""});
  steps->Start();
  EXPECT_EQ(BoardGets(1), "x");
  EXPECT_EQ(BoardGetsMeanwhile(), "");
}

TEST_F(LoginScriptRun, PausesEndOnATickAtOrAfterTheirTime) {
  auto steps = Steps({"SEND \"a\"", "PAUSE -1", "SEND \"b\"", "PAUSE 600000", "SEND \"c\""});
  steps->Start();
  EXPECT_EQ(BoardGets(1), "a");
  EXPECT_EQ(BoardGetsMeanwhile(), "") << "a pause waits for the timer, whatever its length";
  steps->Tick();
  EXPECT_EQ(BoardGets(1), "b");
  steps->Tick();
  steps->Feed("text while pausing");
  EXPECT_EQ(BoardGetsMeanwhile(), "");
  EXPECT_TRUE(steps->Running());
}

TEST_F(LoginScriptRun, AMatchDuringAPauseEndsIt) {
  auto steps = Steps({"PAUSE 600000", "WAITFOR \"ready\"", "SEND \"go\""});
  steps->Start();
  steps->Feed("rea");
  steps->Feed("dy");
  EXPECT_EQ(BoardGets(2), "go");
  EXPECT_FALSE(steps->Running());
}

TEST_F(LoginScriptRun, OnlyTheLast4096ReceivedBytesAreSearched) {
  auto steps = Steps({"WAITFOR \"login:\"", "SEND \"1\"", "WAITFOR \"login:\"", "SEND \"2\""});
  steps->Start();
  // "login:" fits exactly into the last 4096 bytes: found.
  steps->Feed("log");
  steps->Feed("in:" + std::string(4090, '.'));
  EXPECT_EQ(BoardGets(1), "1");
  // One byte more and its start has been cut off: lost.
  steps->Feed("log");
  steps->Feed("in:" + std::string(4091, '.'));
  EXPECT_EQ(BoardGetsMeanwhile(), "");
  steps->Feed("login:");
  EXPECT_EQ(BoardGets(1), "2");
}

TEST_F(LoginScriptRun, LinesWithoutAStepNeverStart) {
  auto steps = Steps({"# only a comment", "TYPE \"x\"", "SEND\t\"y\""});
  steps->Start();
  EXPECT_FALSE(steps->Running());
  steps->Feed("x");
  steps->Tick();
  EXPECT_EQ(BoardGetsMeanwhile(), "");
}

TEST(LoginScriptWithoutCall, StepsRunWithNothingToSendThrough) {
  platform::SetInterfaceThread();
  platform::ResetSynchronize();
  std::shared_ptr<TTelnetClient> gone = TTelnetClient::CreateRaw("127.0.0.1", testsupport::ClosedLoopbackPort());
  TLoginScript steps(gone);
  gone->Disconnect();
  std::weak_ptr<TTelnetClient> weak = gone;
  gone.reset();
  testsupport::ServeUntil([&] { return weak.expired(); });
  steps.LoadFromLines({"SEND \"x\"", "WAITFOR \"y\"", "SEND \"z\""});
  steps.Start();
  steps.Feed("y");
  EXPECT_FALSE(steps.Running());
}

}  // namespace
