// The login recorder: the steps it writes from prompts and typed keys, the
// credentials it never writes, string literals that read back as the same
// bytes, and a saved text that always parses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/uScriptRecorder.h"
#include "tests/data/ScriptTestHost.h"

namespace {

// The recorded steps: the lines of the text between the function expect's
// "end" and the closing print line.
std::string Steps(TScriptRecorder& recorder) {
  const std::string text = recorder.BuildScriptText("rec");
  const size_t from = text.find("\r\nend\r\n") + 7;
  const size_t to = text.rfind("\r\n\r\nprint ");
  if (to == std::string::npos || to < from) return "";  // no step between them
  std::string steps = text.substr(from, to - from);
  for (size_t at; (at = steps.find("\r\n")) != std::string::npos;) steps.replace(at, 2, "|");
  return steps;
}

struct Event {
  bool Board;  // received text, else typed keys
  std::string Bytes;
};

struct RecorderRow {
  const char* Name;
  std::vector<Event> Events;
  std::string Steps;
};

class RecorderTable : public ::testing::TestWithParam<RecorderRow> {};

TEST_P(RecorderTable, WritesTheSteps) {
  TScriptRecorder recorder;
  recorder.SetEntry("Harbor BBS", "Bob", "S3cret");
  for (const Event& e : GetParam().Events) {
    if (e.Board)
      recorder.Feed(reinterpret_cast<const uint8_t*>(e.Bytes.data()), int32_t(e.Bytes.size()));
    else
      recorder.KeysTyped(e.Bytes);
  }
  EXPECT_EQ(Steps(recorder), GetParam().Steps);
}

const std::string kPassLine = "sendln password()           // phonebook entry's password";
const std::string kUserLine = "sendln username()           // phonebook entry's username";

INSTANTIATE_TEST_SUITE_P(
    Rows, RecorderTable,
    ::testing::Values(
        RecorderRow{"NameAtAPrompt", {{true, "Welcome\r\nEnter your name: "}, {false, "Joe\r"}},
                    "|expect \"Enter your name:\"|sendln \"Joe\""},
        RecorderRow{"CredentialsNeverWritten",
                    {{true, "\x1b[1mlogin: "}, {false, "bOB\r\n"}, {true, "Password: "}, {false, "S3cret\r"}},
                    "|expect \"login:\"|" + kUserLine + "||expect \"Password:\"|" + kPassLine},
        RecorderRow{"HandTypedPassword",
                    {{true, "PASSWORD: "}, {false, "other\r"}},
                    "|expect \"PASSWORD:\"|// (typed by hand - put it in the phonebook entry's Password field and use "
                    "password() instead)|sendln \"other\""},
        RecorderRow{"PromptAfterTheLastDigit", {{true, "Time left 15 min. Command? "}, {false, "G\r"}},
                    "|expect \"min. Command?\"|sendln \"G\""},
        RecorderRow{"LineEndingInADigit", {{true, "Select 1-3"}, {false, "2\r"}}, "|expect \"Select 1-3\"|sendln \"2\""},
        RecorderRow{"LongLineKeepsItsLast40",
                    {{true, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ>"}, {false, "q\r"}},
                    "|expect \"nopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ>\"|sendln \"q\""},
        RecorderRow{"MenuLetterAnsweredByTheBoard",
                    {{true, "Main menu: "}, {false, "M"}, {true, "\x1b[2JMessage area> "}, {false, "R\r"}},
                    "|expect \"Main menu:\"|send \"M\"||expect \"Message area>\"|sendln \"R\""},
        RecorderRow{"EchoAndMaskDoNotSplitAStep",
                    {{true, "Name: "}, {false, "a"}, {true, "a"}, {false, "b"}, {true, "b"}, {true, "\r\nPw: "},
                     {false, "x"}, {true, "*"}, {false, "y"}, {true, "*"}, {false, "\r"}},
                    "|expect \"Name:\"|send \"ab\"||expect \"Pw:\"|sendln \"xy\""},
        RecorderRow{"BackspaceEditsOrIsRecorded", {{true, "Go: "}, {false, "\bab\x7f" "c\r"}},
                    "|expect \"Go:\"|sendln \"\\bac\""},
        RecorderRow{"EchoOfThePreviousStepIsNoPrompt", {{true, "Name: "}, {false, "Joe\r"}, {true, "Joe"}, {false, "\r"}},
                    "|expect \"Name:\"|sendln \"Joe\"||sendln \"\""},
        RecorderRow{"NothingTyped", {{true, "login: "}}, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ScriptRecorder, ReceivedBeforeTheEntryIsBoundIsForgotten) {
  TScriptRecorder recorder;
  const std::string early = "Early prompt: ";
  recorder.Feed(reinterpret_cast<const uint8_t*>(early.data()), int32_t(early.size()));
  recorder.SetEntry("Board", "", "");
  recorder.KeysTyped("x\r");
  EXPECT_EQ(Steps(recorder), "|sendln \"x\"");
}

TEST(ScriptRecorder, StringLiteralsReadBackAsTheSameBytes) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += char(b);
  scripttest::TRecordingHost host;
  EXPECT_EQ(scripttest::RunScript("send " + QuoteScriptString(all) + "\n", &host), "");
  ASSERT_EQ(host.Sent.size(), 1u);
  EXPECT_EQ(host.Sent[0], all);
  EXPECT_EQ(QuoteScriptString("a\"b\\c^d\x01\x7f\xe9"), "\"a\\\"b\\\\c\\^d\\x01\\x7F\xe9\"");
}

TEST(ScriptRecorder, TheSavedTextParsesWhateverWasTypedOrNamed) {
  TScriptRecorder recorder;
  recorder.SetEntry("Odd\r\nboard \"name\"", "", "");
  std::string board = "Enter \"quoted\" \\ prompt: ";
  recorder.Feed(reinterpret_cast<const uint8_t*>(board.data()), int32_t(board.size()));
  recorder.KeysTyped(std::string("\x1b[A\"\\^\x01\xff", 8) + "\r");
  recorder.KeysTyped("open");
  const std::string text = recorder.BuildScriptText("odd \"name\" \\");
  EXPECT_EQ(recorder.StepCount(), 2);
  scripttest::TRecordingHost host;
  host.WaitResult = 1;
  EXPECT_EQ(scripttest::RunScript(text, &host), "odd \"name\" \\ done\n") << text;
  EXPECT_EQ(host.Sent, (std::vector<std::string>{std::string("\x1b[A\"\\^\x01\xff\r", 9), "open"}));
  ASSERT_EQ(host.Waits.size(), 1u);
  EXPECT_EQ(host.Waits[0].Patterns, std::vector<std::string>{"Enter \"quoted\" \\ prompt:"});
  EXPECT_EQ(host.Waits[0].TimeoutMs, 30000);
}

TEST(ScriptRecorder, ARecordingWithoutKeysKeepsTheFrame) {
  TScriptRecorder recorder;
  const std::string text = recorder.BuildScriptText("empty");
  EXPECT_EQ(recorder.StepCount(), 0);
  EXPECT_EQ(text.find("// empty.kvs - recorded by KORVAN "), 0u);
  EXPECT_EQ(text.find("// Board:"), std::string::npos);
  EXPECT_NE(text.find("\r\nfunction expect(p)\r\n  if waitfor(p, 30) = 0 then\r\n    print \"empty: never saw \" + p\r\n"
                      "    exit\r\n  end\r\nend\r\n\r\nprint \"empty done\"\r\n"),
            std::string::npos)
      << text;
  scripttest::TRecordingHost host;
  EXPECT_EQ(scripttest::RunScript(text, &host), "empty done\n");
}

}  // namespace
