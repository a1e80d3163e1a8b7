// The KVScript interpreter: golden scripts with their exact output, every
// run-time error with its line, the built-ins that reach the host, stop
// requests, and the limits on nesting that keep a script off the end of its
// thread's stack.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>

#include "data/uScript.h"
#include "platform/Thread.h"
#include "platform/Tick.h"
#include "tests/data/ScriptTestHost.h"
#include "tests/support/ChildProcess.h"

using scripttest::RunScript;
using scripttest::TRecordingHost;

namespace {

const std::string kGoldenDir = std::string(KORVAN_SOURCE_DIR) + "/tests/data/golden/";

// Every script in the golden folder, run against the file of the same name
// holding its expected output.
std::vector<std::string> GoldenScripts() {
  std::vector<std::string> names;
  for (const auto& file : std::filesystem::directory_iterator(kGoldenDir))
    if (file.path().extension() == ".kvs") names.push_back(file.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ScriptGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptGolden, PrintsItsExpectedOutput) {
  const std::string base = kGoldenDir + GetParam();
  const std::string source = testsupport::ReadWholeFile(base + ".kvs");
  ASSERT_FALSE(source.empty()) << base;
  TRecordingHost host;
  EXPECT_EQ(RunScript(source, &host), testsupport::ReadWholeFile(base + ".out"));
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptGolden, ::testing::ValuesIn(GoldenScripts()),
                         [](const auto& info) { return info.param; });

struct TRunRow {
  const char* Name;
  std::string Source;
  std::string Expected;  // output, then "error <line>: <message>" when it fails
};

class ScriptRuns : public ::testing::TestWithParam<TRunRow> {};

TEST_P(ScriptRuns, EndAsTheRulesSay) {
  TRecordingHost host;
  EXPECT_EQ(RunScript(GetParam().Source, &host), GetParam().Expected);
}

std::string Recursion(int calls) {
  // f(n) calls itself n - 1 more times; the call on line 3 is the one that
  // goes one level too deep.
  return "function f(n)\n  if n <= 1 then return 1 end\n  return f(n - 1) + 1\nend\nprint f(" +
         std::to_string(calls) + ")";
}

// Four lines that leave s holding 2 to the power Rounds bytes, so a row's
// own statements start on line 5.
std::string Doubled(int rounds) {
  return "s = \"x\"\nfor i = 1 to " + std::to_string(rounds) + "\n s = s + s\nend\n";
}

const TRunRow kRuns[] = {
    {"UnknownVariable", "x = 1\nprint y", "error 2: y is not a variable - put text in quotes: \"y\""},
    {"BareWordMeantAsText", "waitfor Login", "error 1: login is not a variable - put text in quotes: \"login\""},
    {"LocalGoneAfterReturn", "function f()\n fresh = 3\nend\nf()\nprint fresh",
     "error 5: fresh is not a variable - put text in quotes: \"fresh\""},
    {"CallerLocalsUnseen", "function outer()\n var secret = 1\n return inner()\nend\nfunction inner()\n return secret\n"
                           "end\nprint outer()",
     "error 6: secret is not a variable - put text in quotes: \"secret\""},
    {"ForStepZero", "print 1\n\nfor i = 1 to 5 step 0\nend", "1\nerror 3: FOR step is 0"},
    {"ForStepZeroFromAText", "for i = 1 to 5 step \"x\"\nend", "error 1: FOR step is 0"},
    {"DivisionByZeroAtTheOperator", "x = 5\ny = x\n / 0", "error 3: division by zero"},
    {"RemainderByZero", "print 5 % (2 - 2)", "error 1: division by zero"},
    {"DivisionByAText", "print 5 / \"zero\"", "error 1: division by zero"},
    {"TooManyArguments", "function f(a)\nend\nf(1,\n 2)", "error 3: f() takes 1 argument(s), got 2"},
    {"TooFewArguments", "function pair(a, b) end\nprint pair(1)", "error 2: pair() takes 2 argument(s), got 1"},
    {"UnknownFunction", "\nfoo(1)", "error 2: unknown function \"foo\""},
    {"UnknownFunctionEvaluatesItsArgumentsFirst", "foo(print(\"arg\"), bar)",
     "arg\nerror 1: bar is not a variable - put text in quotes: \"bar\""},
    {"BuiltinNeedsArguments", "print 1\nx = left(\"abc\")", "1\nerror 2: left() needs 2 argument(s)"},
    {"WaitforNeedsAPattern", "waitfor", "error 1: waitfor() needs 1 argument(s)"},
    {"AliasNamedInTheError", "pause", "error 1: pause() needs 1 argument(s)"},
    {"ExtraArgumentsIgnored", "print len(\"abc\", 1, 2), chr(65, \"x\")", "3A\n"},
    {"UserFunctionBeforeBuiltin", "function len(s)\n return 99\nend\nprint len(\"abc\")", "99\n"},
    {"RecursionTwoHundredDeep", Recursion(200), "200\n"},
    {"RecursionOneMore", Recursion(201), "error 3: functions nested too deeply"},
    {"ReturnAtTopLevelEnds", "print 1\nreturn 5\nprint 2", "1\n"},
    {"BreakOutsideALoopEnds", "print 1\nif 1 then break end\nprint 2", "1\n"},
    {"ContinueOutsideALoopEnds", "print 1\ncontinue\nprint 2", "1\n"},
    {"ExitInsideALoop", "for i = 1 to 5\n print i\n if i = 2 then exit end\nend\nprint \"after\"", "1\n2\n"},
    {"ExitInsideNestedCalls", "function a()\n b()\n print \"a goes on to its end\"\nend\nfunction b()\n exit\nend\n"
                              "a()\nprint \"not reached\"",
     ""},
    {"StringsGrowTo16MiBAndNoFurther", Doubled(24) + "print len(s)\nprint len(s + \"\")\nx = 1 + s",
     "16777216\n16777216\nerror 7: string longer than 16 MiB"},
    {"DoublingInALoopStopsAtTheLimit", Doubled(25) + "print \"not reached\"", "error 3: string longer than 16 MiB"},
    {"AnOperatorOnItsOwnLine", Doubled(24) + "x = s\n +\n \"y\"", "error 6: string longer than 16 MiB"},
    {"ReplaceUpToTheLimit", Doubled(22) + "print len(replace(s, \"x\", \"abcd\"))\nx = replace(s, \"x\", \"abcde\")",
     "16777216\nerror 6: string longer than 16 MiB"},
    {"ReplaceInALoop", Doubled(1) + "for j = 1 to 25\n s = replace(s, \"x\", \"xx\")\nend\nprint \"not reached\"",
     "error 6: string longer than 16 MiB"},
    {"PrintJoinsUpToTheLimit", Doubled(22) + "print len(s + s + s + s)\nprint s, s, s, s, 1",
     "16777216\nerror 6: string longer than 16 MiB"},
    {"SendJoinsUpToTheLimit", Doubled(22) + "send s, s, s, s\nsendln s, s, s, s", "error 6: string longer than 16 MiB"},
};

INSTANTIATE_TEST_SUITE_P(Table, ScriptRuns, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ScriptRecursion, EveryLevelPrintsUpToTheLimit) {
  TRecordingHost host;
  std::string out = RunScript("function f(n)\n print n\n f(n + 1)\nend\nf(1)", &host);
  std::string expected;
  for (int i = 1; i <= 200; ++i) expected += std::to_string(i) + "\n";
  EXPECT_EQ(out, expected + "error 3: functions nested too deeply");
}

TEST(ScriptWithoutHost, EveryBuiltinCallFails) {
  for (const char* source : {"print 1", "\nx = len(\"a\")", "nosuch(1)"}) {
    std::string out = RunScript(source, nullptr);
    EXPECT_NE(out.find(": no host"), std::string::npos) << source << " -> " << out;
  }
  EXPECT_EQ(RunScript("\nx = len(\"a\")", nullptr), "error 2: no host");
  EXPECT_EQ(RunScript("x = 1 + 2", nullptr), "") << "a script without calls runs without a host";
}

TEST(ScriptHostCalls, SendAndSendlnJoinTheirArguments) {
  TRecordingHost host;
  EXPECT_EQ(RunScript("send \"user\", 1, \"x\"\nsendln \"pass\"\nsendln\nsend", &host), "");
  EXPECT_EQ(host.Sent, (std::vector<std::string>{"user1x", "pass\r", "\r", ""}));
}

TEST(ScriptHostCalls, WaitforReadsATimeoutOnlyFromATrailingInteger) {
  TRecordingHost host;
  host.WaitResult = 2;
  const std::string out = RunScript(
      "print waitfor(\"a\", 30)\n"
      "wait \"a\", \"30\"\n"
      "waitfor 30\n"
      "waitfor(\"a\", \"b\", 0)\n"
      "waitfor(\"a\", -2)\n"
      "waitfor(\"a\", 3000000)\n"
      "waitfor(\"a\", 9223372036854775807)\n"
      "waitfor(\"a\", -9223372036854775807)\n"
      "waitfor(\"a\", 5 + 5)\n",
      &host);
  EXPECT_EQ(out, "2\n");
  using W = TRecordingHost::TWait;
  const std::vector<W> expected = {
      {{"a"}, 30000},       {{"a", "30"}, -1},      {{"30"}, -1},     {{"a", "b"}, 0},        {{"a"}, -2000},
      {{"a"}, INT32_MAX},   {{"a"}, INT32_MAX},     {{"a"}, INT32_MIN}, {{"a"}, 10000},
  };
  ASSERT_EQ(host.Waits.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(host.Waits[i].Patterns, expected[i].Patterns) << i;
    EXPECT_EQ(host.Waits[i].TimeoutMs, expected[i].TimeoutMs) << i;
  }
}

TEST(ScriptHostCalls, DelaysTakeLowBitsOrClampedSeconds) {
  TRecordingHost host;
  EXPECT_EQ(RunScript("delay 1500\npause(\"250\")\ndelay 4294967297\nsleep 2\nsleep 5000000\nsleep -1", &host), "");
  EXPECT_EQ(host.Delays, (std::vector<int32_t>{1500, 250, 1, 2000, INT32_MAX, -1000}));
}

TEST(ScriptHostCalls, ScreenCallAndUser) {
  TRecordingHost host;
  const std::string out = RunScript(
      "print getline(2), \"|\", getline(9), \"|\", getline(4294967298)\n"
      "print screen()\n"
      "print rows(), \" \", cols(), \" \", cursorx(), \" \", cursory()\n"
      "print connected(), entry(), \" \", username(), \" \", password(), \" \", lastline()\n"
      "print connect(\"Some Board\"), dial(\"Other\")\n"
      "hangup\nbeep\nclear\n"
      "print input(), \"|\", ask(\"Name?\", \"bob\")\n"
      "message \"via alias\"\n",
      &host);
  EXPECT_EQ(out,
            "second row||second row\n"
            "first row\nsecond row\nthird row\n"
            "3 80 5 2\n"
            "1Test Board sysop secret last line\n"
            "11\n"
            "typed answer|typed answer\n"
            "via alias\n");
  EXPECT_EQ(host.Dials, (std::vector<std::string>{"Some Board", "Other"}));
  EXPECT_EQ(host.Hangups, 1);
  EXPECT_EQ(host.Beeps, 1);
  EXPECT_EQ(host.Clears, 1);
  ASSERT_EQ(host.Asks.size(), 2u);
  EXPECT_EQ(host.Asks[0], (std::pair<std::string, std::string>{"?", ""}));
  EXPECT_EQ(host.Asks[1], (std::pair<std::string, std::string>{"Name?", "bob"}));

  host.Screen.clear();
  host.Connected = false;
  host.DialResult = false;
  host.Output.clear();
  EXPECT_EQ(RunScript("print \"[\", screen(), \"]\", connected(), dial(\"x\")", &host), "[]00\n");
}

TEST(ScriptHostCalls, RandomStaysInItsRange) {
  TRecordingHost host;
  const std::string out = RunScript(
      "print random(0), random(-5), random(1), random(4294967296), random(4294967297)\n"
      "for i = 1 to 10000\n"
      "  r = random(10)\n"
      "  if r < 0 or r > 9 then print \"out of range \", r end\n"
      "  send r\n"
      "end\n",
      &host);
  EXPECT_EQ(out, "00000\n");
  int counts[10] = {};
  for (const std::string& s : host.Sent) ++counts[std::stoi(s)];
  for (int c : counts) EXPECT_GT(c, 800) << "each of ten values about 1000 times in 10000 draws";
}

TEST(ScriptHostCalls, ClockAndName) {
  TRecordingHost host;
  const uint64_t before = platform::TickMs();
  const std::string out =
      RunScript("print time()\nprint date()\nprint dow(), \" \", hour(), \" \", minute()\nprint tick()\n"
                "print scriptname()",
                &host, "logon");
  const uint64_t after = platform::TickMs();
  std::smatch m;
  ASSERT_TRUE(std::regex_match(out, m,
                               std::regex("([0-2][0-9]):([0-5][0-9]):[0-5][0-9]\n[0-9]{4}-[01][0-9]-[0-3][0-9]\n"
                                          "([1-7]) ([0-9]+) ([0-9]+)\n([0-9]+)\nlogon\n")))
      << out;
  EXPECT_LE(std::stoi(m[4]), 23);
  EXPECT_LE(std::stoi(m[5]), 59);
  const uint64_t tick = std::stoull(m[6]);
  EXPECT_GE(tick, before);
  EXPECT_LE(tick, after);
}

TEST(ScriptGlobals, SetBeforeTheRunAreVisible) {
  TScript script;
  script.Parse("print bbsname, \" in \", scriptdir", "t");
  script.SetGlobal("BBSName", "The Board");
  script.SetGlobal("scriptdir", "/scripts/");
  TRecordingHost host;
  script.Run(&host);
  EXPECT_EQ(host.Output, "The Board in /scripts/\n");
}

// A stop request is noticed before the next statement and at the end of a
// loop round (these loops have empty bodies, so nothing else would notice).
TEST(ScriptStop, IsNoticedBeforeStatementsAndAfterLoopRounds) {
  struct TCase {
    const char* Source;
    int Checks;  // stop checks after the first print until the stop is seen
  } cases[] = {
      {"print 1\nprint 2\nprint 3", 1},
      {"print 1\nwhile 1\nend", 3},
      {"print 1\nrepeat\nuntil 0", 3},
      {"print 1\nfor i = 1 to 1000000000\nend", 3},
  };
  for (const TCase& c : cases) {
    TRecordingHost host;
    int checks = 0;
    host.StopWhen = [&] { return !host.Output.empty() && ++checks >= c.Checks; };
    TScript script;
    script.Parse(c.Source, "t");
    try {
      script.Run(&host);
      ADD_FAILURE() << "no stop: " << c.Source;
    } catch (const EScriptAbort& e) {
      EXPECT_STREQ(e.what(), "script stopped");
    }
    EXPECT_EQ(host.Output, "1\n") << c.Source;
    EXPECT_EQ(checks, c.Checks) << c.Source;
  }
}

// A wait the host ends because of a stop does not let the statement go on.
TEST(ScriptStop, WaitingBuiltinsCheckRightAfterTheyReturn) {
  for (const char* call : {"waitfor(\"x\")", "wait(\"x\", 5)", "delay(10)", "pause(10)", "sleep(1)", "ask(\"q\")",
                           "input()"}) {
    TRecordingHost host;
    host.StopWhen = [&] { return !host.Waits.empty() || !host.Delays.empty() || !host.Asks.empty(); };
    TScript script;
    script.Parse(std::string("x = ") + call + " + print(\"went on\")", "t");
    EXPECT_THROW(script.Run(&host), EScriptAbort) << call;
    EXPECT_EQ(host.Output, "") << call;
  }
}

TEST(ScriptStop, DialDoesNotCheck) {
  TRecordingHost host;
  host.StopWhen = [&] { return !host.Dials.empty(); };
  TScript script;
  script.Parse("x = dial(\"b\") + print(\"statement goes on\")\nprint \"next\"", "t");
  EXPECT_THROW(script.Run(&host), EScriptAbort);
  EXPECT_EQ(host.Output, "statement goes on\n");
}

// The runner gives a script a thread with a 4 MiB stack. The deepest trees the
// parser accepts, calling each other as deeply as the evaluation limit lets
// them, must end in an error text there, not in a stack overflow.
class TScriptThread : public platform::Thread {
 public:
  explicit TScriptThread(std::string source) : platform::Thread(4 * 1024 * 1024), FSource(std::move(source)) {}
  std::string Result;

 protected:
  void Execute() override {
    TRecordingHost host;
    Result = RunScript(FSource, &host);
  }

 private:
  std::string FSource;
};

std::string RunOnScriptThread(const std::string& source) {
  auto thread = std::make_shared<TScriptThread>(source);
  EXPECT_TRUE(thread->Start());
  thread->WaitFor();
  return thread->Result;
}

TEST(ScriptNesting, DeepTreesCallingEachOtherEndInTheErrorText) {
  const int terms = kMaxTreeHeight - 10;
  // The recursive call sits at the bottom of a left-leaning chain of nearly
  // the greatest height the parser accepts.
  std::string chain = "f(n + 1)";
  for (int i = 0; i < terms; ++i) chain += " + 1";
  const std::string source = "function f(n)\n  print n  return " + chain + "\nend\nf(1)";
  const std::string out = RunOnScriptThread(source);
  const std::string tail = std::string("error 2: ") + kNestingError;
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out.substr(0, 200);
  EXPECT_EQ(out.substr(0, 2), "1\n");

  // Nested blocks the same way.
  std::string blocks;
  for (int i = 0; i < kMaxTreeHeight / 2 - 10; ++i) blocks += "if 1 then ";
  blocks += "f()";
  for (int i = 0; i < kMaxTreeHeight / 2 - 10; ++i) blocks += " end";
  const std::string out2 = RunOnScriptThread("function f()\n" + blocks + "\nend\nf()");
  EXPECT_EQ(out2, std::string("error 2: ") + kNestingError);
}

TEST(ScriptNesting, TheDeepestAcceptedTreeRunsOnTheScriptThread) {
  std::string chain = "1";
  for (int i = 0; i < kMaxTreeHeight - 5; ++i) chain += " + 1";
  std::string minus;
  for (int i = 0; i < kMaxTreeHeight - 5; ++i) minus += "- ";
  minus += "1";
  EXPECT_EQ(RunOnScriptThread("print " + chain + "\nprint " + minus),
            std::to_string(kMaxTreeHeight - 4) + "\n" + ((kMaxTreeHeight - 5) % 2 ? "-1" : "1") + "\n");
}

}  // namespace
