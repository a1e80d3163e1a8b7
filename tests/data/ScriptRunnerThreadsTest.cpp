// The script runner on its own thread: the escape stripper, WAITFOR's match
// rules over the receive window and its bound, stops that end every wait at
// once, a call that drops during WAITFOR, the results, and a stopped
// script's callbacks that never act. Also the scripts folder and names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/uScriptRunner.h"
#include "platform/AppFolder.h"
#include "platform/Sync.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"

using namespace testsupport;

namespace {

struct StripRow {
  const char* Name;
  std::vector<std::string> Chunks;
  std::string Kept;
};

class EscapeStripperTable : public ::testing::TestWithParam<StripRow> {};

TEST_P(EscapeStripperTable, KeepsOnlyText) {
  TEscapeStripper stripper;
  std::string kept;
  for (const std::string& chunk : GetParam().Chunks)
    for (char c : chunk)
      if (stripper.Keep(uint8_t(c))) kept += c;
  EXPECT_EQ(kept, GetParam().Kept);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EscapeStripperTable,
    ::testing::Values(StripRow{"Colours", {"\x1b[1;31mlogin:"}, "login:"},
                      StripRow{"OscEndedByBel", {"\x1b]0;title\x07"}, ""},
                      StripRow{"OscEndedByStringTerminator", {"\x1b]0;title\x1b\\after"}, "after"},
                      StripRow{"ApcAndDcs", {"\x1b_apc\x07\x1bPdcs\x1b\\ok"}, "ok"},
                      StripRow{"SplitAcrossChunks", {"ab\x1b[", "1;3", "1mcd"}, "abcd"},
                      StripRow{"IntermediateSwallowsOneMore", {"\x1b(Bx"}, "x"},
                      StripRow{"EscInsideSequenceStartsAnother", {"\x1b[12\x1b[0my"}, "y"},
                      StripRow{"NulDroppedBelKept", {std::string("a\0b\x07", 4)}, "ab\x07"}),
    [](const auto& info) { return std::string(info.param.Name); });

class ScriptRunnerThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
    platform::CheckSynchronize(0);
    Events.OnPrint = [this](const std::string& text) { Printed.push_back(text); };
    Events.OnGetState = [this] { return State; };
    Events.OnSend = [this](const std::string& text) { Sent += text; };
    Events.OnAsk = [this](const std::string& prompt, const std::string&) { Asked.push_back(prompt); };
  }
  void TearDown() override {
    Runner.reset();
    platform::CheckSynchronize(0);
  }

  TScriptRunner& Run(const std::string& source) {
    auto script = std::make_unique<TScript>();
    script->Parse(source, "test");
    Runner = std::make_unique<TScriptRunner>(std::move(script), "Board", Events, "/scripts/test.kvs");
    return *Runner;
  }
  // Serves the script's callbacks until Done holds; false after the limit.
  bool Serve(const std::function<bool()>& done, uint32_t ms = 20000) {
    const uint64_t until = platform::TickMs() + ms;
    while (!done() && platform::TickMs() < until) platform::CheckSynchronize(5);
    return done();
  }
  bool ServeToEnd(uint32_t ms = 20000) {
    return Serve([&] { return Runner->Done(); }, ms);
  }
  void Feed(const std::string& bytes) { Runner->Feed(reinterpret_cast<const uint8_t*>(bytes.data()), int32_t(bytes.size())); }

  TScriptRunnerEvents Events;
  int32_t State = 2;
  std::vector<std::string> Printed, Asked;
  std::string Sent;
  std::unique_ptr<TScriptRunner> Runner;
};

TEST_F(ScriptRunnerThreads, EarliestMatchWinsIgnoringCaseAndTheRestStaysForLaterWaits) {
  Run("ask(\"ready\")\n"
      "print waitfor(\"login:\", \"password:\", 5)\n"
      "print lastline()\n"
      "print waitfor(\"LOGIN:\", 0)\n"
      "print waitfor(\"password\", 0)\n"
      "print scriptdir + \"|\" + bbsname\n");
  ASSERT_TRUE(Serve([&] { return !Asked.empty(); }));
  Feed("Welcome\r\nEnter \x1b[1mPassword:\x1b[0m now\r\nthen Login: ");
  Runner->Answer("");
  ASSERT_TRUE(ServeToEnd());
  EXPECT_EQ(Runner->ResultText(), "");
  EXPECT_EQ(Printed, (std::vector<std::string>{"2", "Enter Password: now", "1", "0", "/scripts/|Board"}));
}

TEST_F(ScriptRunnerThreads, WaitforWithoutMatchEndsAtItsTimeoutWakingEveryHalfSecond) {
  int stateAsks = 0;
  Events.OnGetState = [&] {
    ++stateAsks;
    return 2;
  };
  Run("t = tick()\nprint waitfor(\"never\", 0)\nprint waitfor(\"never\", 2)\nprint tick() - t\n");
  ASSERT_TRUE(ServeToEnd());
  ASSERT_EQ(Printed.size(), 3u);
  EXPECT_EQ(Printed[0], "0");
  EXPECT_EQ(Printed[1], "0");
  EXPECT_GE(std::stoll(Printed[2]), 1950);
  // One look per wake: the first wait looks once, the second about five times.
  EXPECT_GE(stateAsks, 1 + 4);
  EXPECT_LE(stateAsks, 1 + 8);
}

struct WindowRow {
  const char* Name;
  size_t After;  // bytes after "late"
  const char* Seen;
};

class ScriptRunnerWindowThreads : public ScriptRunnerThreads, public ::testing::WithParamInterface<WindowRow> {};

TEST_P(ScriptRunnerWindowThreads, WindowKeepsTheLast64KiBOfA50MBFlood) {
  Run("ask(\"ready\")\nprint waitfor(\"early\", 0)\nprint waitfor(\"late\", 0)\n");
  ASSERT_TRUE(Serve([&] { return !Asked.empty(); }));
  Feed("early");
  const std::string chunk(65536, 'x');
  for (int i = 0; i < 50 * 16; ++i) Feed(chunk);  // 50 MiB
  Feed("late" + std::string(GetParam().After, 'y'));
  Runner->Answer("");
  ASSERT_TRUE(ServeToEnd());
  EXPECT_EQ(Printed, (std::vector<std::string>{"0", GetParam().Seen}));
}

INSTANTIATE_TEST_SUITE_P(Rows, ScriptRunnerWindowThreads,
                         ::testing::Values(WindowRow{"EndsExactlyAtTheBound", TScriptRunner::kWindowSize - 4, "1"},
                                           WindowRow{"OneByteBeyondIsCut", TScriptRunner::kWindowSize - 3, "0"}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct StopRow {
  const char* Name;
  const char* Wait;
  int32_t State;  // of the call meanwhile
};

class ScriptRunnerStopThreads : public ScriptRunnerThreads, public ::testing::WithParamInterface<StopRow> {};

TEST_P(ScriptRunnerStopThreads, StopEndsTheWaitAtOnce) {
  State = GetParam().State;
  Events.OnDial = [](const std::string&) { return true; };
  Run(std::string("print \"waiting\"\n") + GetParam().Wait + "\nprint \"after\"\n");
  ASSERT_TRUE(Serve([&] { return !Printed.empty(); }));
  platform::CheckSynchronize(100);  // the script is in its wait now
  const uint64_t stopped = platform::TickMs();
  Runner->Stop();
  ASSERT_TRUE(ServeToEnd());
  EXPECT_LT(platform::TickMs() - stopped, 1000u);
  EXPECT_EQ(Runner->ResultText(), "stopped");
  EXPECT_EQ(Printed, std::vector<std::string>{"waiting"});
}

INSTANTIATE_TEST_SUITE_P(Rows, ScriptRunnerStopThreads,
                         ::testing::Values(StopRow{"Delay60s", "delay 60000", 2},
                                           StopRow{"WaitforWithoutLimit", "waitfor \"never\"", 2},
                                           StopRow{"Ask", "ask \"Name?\", \"Bob\"", 2},
                                           StopRow{"DialThatNeverConnects", "connect \"slow board\"", 1}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ScriptRunnerThreads, ACallThatDropsEndsWaitforWithNoMatch) {
  Events.OnDial = [](const std::string&) { return true; };
  Run("print \"waiting\"\nprint waitfor(\"never\", 60)\n");
  ASSERT_TRUE(Serve([&] { return !Printed.empty(); }));
  const uint64_t dropped = platform::TickMs();
  State = 0;
  ASSERT_TRUE(ServeToEnd());
  EXPECT_LT(platform::TickMs() - dropped, 1500u);
  EXPECT_EQ(Runner->ResultText(), "");
  EXPECT_EQ(Printed, (std::vector<std::string>{"waiting", "0"}));
}

TEST_F(ScriptRunnerThreads, NothingOfAStoppedScriptActs) {
  int dials = 0, hangups = 0;
  Events.OnDial = [&](const std::string&) { return ++dials, false; };
  Events.OnHangup = [&] { ++hangups; };
  // A script that never waits: only the stop check ends it.
  Run("while 1\n  send \"x\"\nend\n");
  ASSERT_TRUE(Serve([&] { return Sent.size() >= 20; }));
  Runner->Stop();
  const size_t atStop = Sent.size();
  ASSERT_TRUE(ServeToEnd());
  EXPECT_EQ(Sent.size(), atStop);
  EXPECT_EQ(Runner->ResultText(), "stopped");
  EXPECT_EQ(dials + hangups, 0);
}

TEST_F(ScriptRunnerThreads, ResultsOfAScriptsEnd) {
  struct Row {
    const char* Source;
    std::string Result;
    int32_t Line;
  };
  const Row rows[] = {
      {"print 1\n", "", 0},
      {"x = 1\ny = 0\nprint x / y\n", "error: division by zero", 3},
      {"print connect(\"nobody\")\n", "", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Source);
    Run(row.Source);
    ASSERT_TRUE(ServeToEnd(5000));
    EXPECT_EQ(Runner->ResultText(), row.Result);
    EXPECT_EQ(Runner->ErrorLine(), row.Line);
  }
}

TEST_F(ScriptRunnerThreads, AnEmptyEventRecordIsASilentDisconnectedCall) {
  Events = {};
  auto script = std::make_unique<TScript>();
  script->Parse("if waitfor(\"x\") = 0 and connect(\"b\") = 0 and ask(\"q\", \"d\") = \"d\" then\n  hangup\nend\n", "t");
  Runner = std::make_unique<TScriptRunner>(std::move(script), "", Events, "t.kvs");
  ASSERT_TRUE(ServeToEnd(5000));
  EXPECT_EQ(Runner->ResultText(), "");
}

TEST(ScriptNames, SanitizeScriptName) {
  EXPECT_EQ(SanitizeScriptName("  My Board/BBS: Main  "), "My Board_BBS_ Main");
  EXPECT_EQ(SanitizeScriptName("a\"b*c<d>e?f\\g|h\ti"), "a_b_c_d_e_f_g_h_i");
  EXPECT_EQ(SanitizeScriptName("   "), "");
}

TEST(ScriptNames, OnlyANewScriptsFolderGetsTheExample) {
  ScratchAppFolder folder;
  const std::string scripts = ScriptsFolder();
  EXPECT_EQ(scripts, folder.Path() + "scripts/");
  ASSERT_TRUE(std::filesystem::exists(scripts + "example.kvs"));
  EXPECT_NO_THROW(LoadScriptFile(scripts + "example.kvs"));
  std::filesystem::remove(scripts + "example.kvs");
  ScriptsFolder();
  EXPECT_FALSE(std::filesystem::exists(scripts + "example.kvs"));
}

TEST(ScriptNames, LoadScriptFileReportsUnreadableAndBadFiles) {
  ScratchAppFolder folder;
  EXPECT_THROW(LoadScriptFile(folder.File("missing.kvs")), std::runtime_error);
  WriteWholeFile(folder.File("bad.kvs"), "print 1\rif then\n");
  try {
    LoadScriptFile(folder.File("bad.kvs"));
    FAIL() << "a bad script parsed";
  } catch (const EScriptError& e) {
    EXPECT_EQ(e.Line, 2);  // a lone CR ends a line too
  }
  // A script's text may be as long as its strings, and no longer.
  std::string longest = "// " + std::string(kMaxTextLength - 3, 'x');
  WriteWholeFile(folder.File("longest.kvs"), longest);
  EXPECT_NO_THROW(LoadScriptFile(folder.File("longest.kvs")));
  WriteWholeFile(folder.File("huge.kvs"), longest + "x");
  try {
    LoadScriptFile(folder.File("huge.kvs"));
    FAIL() << "a script over the limit loaded";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "script file larger than 16 MiB");
  }
}

}  // namespace
