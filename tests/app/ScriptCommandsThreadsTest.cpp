// Scripts run by the whole program against real calls: a script key that
// logs into a real login prompt, the same key stopping its script, a logon
// script that ends with its call and reaches nothing of the next one, the
// input prompt a script opens, and the status texts of scripts that cannot
// run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "data/uConfig.h"
#include "data/uScript.h"
#include "net/uSendQueue.h"
#include "app/uScreenText.h"
#include "tests/app/ScreenFixture.h"
#include "tests/app/LoginPeer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"
#include "platform/Tick.h"

using namespace testsupport;
namespace vk = platform::vk;

namespace {

class ScriptCommandsThreads : public ScreenFixture {
 protected:
  void WriteScript(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(Folder.Path() + "scripts");
    ASSERT_TRUE(WriteWholeFile(Folder.Path() + "scripts/" + name, text));
  }
  void ScriptKey(int n) { Key(vk::Fn(n), true); }
  // The script keys work on the online screen after a call, too.
  void ShowOnlineWithoutCall() { App->ShowScreen(smOnline); }
};

TEST_F(ScriptCommandsThreads, AScriptKeyLogsIntoARealLoginPrompt) {
  ASSERT_FALSE(FindProgram("socat").empty()) << "socat is missing (scripts/packages.txt)";
  ASSERT_EQ(access("/bin/login", X_OK), 0) << "/bin/login is missing";
  if (geteuid() != 0) GTEST_SKIP() << "logging into /bin/login needs a throwaway account, which only root can create";
  TThrowawayAccount account;
  ASSERT_EQ(account.Create(), "");
  ChildProcess socat;
  ChildProcess::Options options;
  options.OutputFile = Folder.File("socat.log");
  // A script's WAITFOR sees only what arrives after it starts, so the board
  // holds its prompt until the script key has been pressed.
  const std::string go = Folder.File("go");
  const uint16_t port = StartSocat(socat, {}, LoginAddress(go), options);
  ASSERT_NE(port, 0) << ReadWholeFile(options.OutputFile);

  WriteScript("Login.KVS",
              "// login - answers the login prompt from the entry\r\n"
              "if waitfor(\"login: \", 30) = 0 then\r\n"
              "  print \"no login prompt\"\r\n"
              "  exit\r\n"
              "end\r\n"
              "sendln username()\r\n"
              "waitfor \"Password: \", 30\r\n"
              "sendln password()\r\n"
              "waitfor \"$ \", 30\r\n"
              "sendln \"echo KORVAN-$((6*7))\"\r\n");
  Start();
  App->Config().ShiftF[2] = " ..\\other\\login ";  // found in the scripts folder, ignoring case
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = "login board";
  entry->Host = "127.0.0.1";
  entry->Port = port;
  entry->UseRaw = true;
  entry->Username = account.Name;
  entry->Password = account.Password;
  App->ConnectToEntry(entry, false);
  ASSERT_TRUE(RunUntil([&] { return App->CallConnected(); }));
  ScriptKey(3);
  EXPECT_TRUE(StatusIs("Script Login.KVS running  (Alt+O to stop)", 5000)) << App->StatusText();
  ASSERT_TRUE(WriteWholeFile(go, ""));
  EXPECT_TRUE(RunUntil([&] { return CallScreenHas("KORVAN-42"); }, 60000))
      << "the shell never answered:\n"
      << CallScreenText() << "\nsocat:\n"
      << ReadWholeFile(options.OutputFile);
  EXPECT_TRUE(StatusIs("Script Login.KVS finished")) << App->StatusText();
  App->DisconnectCurrent();
  socat.Stop();
}

TEST_F(ScriptCommandsThreads, TheSameKeyStopsItsScriptAtOnce) {
  WriteScript("wait.kvs", "print \"waiting a minute\"\ndelay 60000\n");
  Start();
  App->Config().ShiftF[0] = "wait";
  ShowOnlineWithoutCall();
  ScriptKey(1);
  ASSERT_TRUE(StatusIs("waiting a minute"));
  const uint64_t pressed = platform::TickMs();
  ScriptKey(1);
  ASSERT_TRUE(StatusIs("Stopping script wait.kvs...", 2000)) << App->StatusText();
  ASSERT_TRUE(StatusIs("Script wait.kvs stopped", 5000)) << App->StatusText();
  // Reaped by the next 500 ms tick.
  EXPECT_LT(platform::TickMs() - pressed, 2000u);
}

TEST_F(ScriptCommandsThreads, ALogonScriptEndsWithItsCallAndNothingReachesTheNext) {
  LoopbackListener first, second;
  // Sends all the time, so any act after its call would be seen.
  WriteScript("chatty.kvs", "while 1\n  send \"tick \"\n  delay 20\nend\n");
  Start();
  auto entry = LoopbackEntry(first, "chatty board");
  entry->UseRaw = true;
  entry->KVScript = "chatty";
  auto peer = CallEntry(first, entry);
  ASSERT_TRUE(peer);
  std::string got;
  ASSERT_TRUE(RunUntil([&] {
    got += ToString(peer->ReadFor(5));
    return got.find("tick tick") != std::string::npos;
  }));
  EXPECT_EQ(App->StatusText().find("Script chatty.kvs running"), 0u);
  // The next call is opened at once, while the stopped script may still
  // be waiting for its last callback.
  App->DisconnectCurrent();
  auto plain = LoopbackEntry(second, "quiet board");
  plain->UseRaw = true;
  auto peer2 = CallEntry(second, plain);
  ASSERT_TRUE(peer2);
  ASSERT_TRUE(RunUntil([&] { return !Probe().ScriptRunning(); }, 5000));
  EXPECT_EQ(ToString(peer2->ReadFor(700)), "");
}

TEST_F(ScriptCommandsThreads, AHangUpDuringWaitforEndsItWithNoMatch) {
  LoopbackListener board;
  WriteScript("hangup.kvs", "n = waitfor(\"never\", 60)\nprint \"waitfor gave \" + str(n)\ndelay 60000\n");
  Start();
  auto entry = LoopbackEntry(board, "board");
  entry->UseRaw = true;
  auto peer = CallEntry(board, entry);
  ASSERT_TRUE(peer);
  App->Config().ShiftF[4] = "hangup";
  ScriptKey(5);
  ASSERT_TRUE(StatusIs("Script hangup.kvs running  (Alt+O to stop)", 5000));
  peer.reset();  // the board hangs up
  const uint64_t dropped = platform::TickMs();
  ASSERT_TRUE(StatusIs("waitfor gave 0", 10000)) << App->StatusText();
  EXPECT_LT(platform::TickMs() - dropped, 3000u);
}

TEST_F(ScriptCommandsThreads, TheInputPromptAnswersTheTextOrTheDefault) {
  struct Row {
    const char* Name;
    uint16_t EndKey;
    const char* Answer;
  };
  const Row rows[] = {{"Enter answers the edited text", vk::Return, "Bobby"},
                      {"Esc answers the default", vk::Escape, "Bob"}};
  LoopbackListener board;
  WriteScript("ask.kvs", "a = ask(\"Your name?\", \"Bob\")\nsend \"[\" + a + \"]\"\n");
  Start();
  auto entry = LoopbackEntry(board, "board");
  entry->UseRaw = true;
  auto peer = CallEntry(board, entry);
  ASSERT_TRUE(peer);
  App->Config().ShiftF[1] = "ask";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScriptKey(2);
    const int bottom = App->CallScreen().FHeight - 1;
    ASSERT_TRUE(RunUntil([&] {
      App->PaintFrame();
      return PopupRow(bottom) == PadText(" Your name? Bob_", 80);
    })) << PopupRow(bottom);
    Type("by");
    Key(vk::Left);
    ASSERT_TRUE(RunUntil([&] {
      App->PaintFrame();
      return PopupRow(bottom) == PadText(" Your name? Bobb_y", 80);
    })) << PopupRow(bottom);
    Key(row.EndKey);
    std::string got;
    ASSERT_TRUE(RunUntil([&] {
      got += ToString(peer->ReadFor(5));
      return got.find(']') != std::string::npos;
    }));
    EXPECT_EQ(got, std::string("[") + row.Answer + "]");
    ASSERT_TRUE(StatusIs("Script ask.kvs finished"));
  }
}

TEST_F(ScriptCommandsThreads, AScriptThatOutgrowsItsStringsEndsAtTheLineThatDidIt) {
  WriteScript("grow.kvs", "s = \"x\"\nfor i = 1 to 25\n  s = s + s\nend\nprint \"grew to \" + str(len(s))\n");
  WriteScript("huge.kvs", "// " + std::string(kMaxTextLength, 'x'));
  Start();
  ShowOnlineWithoutCall();
  App->Config().ShiftF[0] = "grow";
  App->Config().ShiftF[1] = "huge";
  ScriptKey(1);
  EXPECT_TRUE(StatusIs("grow.kvs line 3: string longer than 16 MiB", 10000)) << App->StatusText();
  ScriptKey(2);
  EXPECT_TRUE(StatusIs("Could not load huge.kvs: script file larger than 16 MiB", 10000)) << App->StatusText();
}

// A script sending a megabyte at a time to a board that reads nothing.
const char* const kFloodScript =
    "s = \"x\"\nfor i = 1 to 20\n  s = s + s\nend\nfor i = 1 to 40\n  send \"[\" + str(i) + \"]\" + s\nend\n";

class ScriptSendsHeldBack : public ScriptCommandsThreads {
 protected:
  // Starts the flood against a raw board and waits until the call's queue
  // has reached the mark where senders wait.
  void StartFlood() {
    WriteScript("flood.kvs", kFloodScript);
    Start();
    auto entry = LoopbackEntry(Board, "board");
    entry->UseRaw = true;
    Peer = CallEntry(Board, entry);
    ASSERT_TRUE(Peer);
    App->Config().ShiftF[0] = "flood";
    ScriptKey(1);
    ASSERT_TRUE(RunUntil([&] { return Probe().SendBacklog() >= TSendQueue::kHoldBackBytes; }, 60000))
        << Probe().SendBacklog();
  }
  LoopbackListener Board;
  std::unique_ptr<LoopbackPeer> Peer;
};

TEST_F(ScriptSendsHeldBack, UntilTheBoardReadsAndThenEverythingArrivesInOrder) {
  StartFlood();
  // Two seconds more: the script waits, the queue does not grow past the
  // mark by more than the one send that reached it.
  const uint64_t full = platform::TickMs();
  size_t most = 0;
  RunUntil([&] {
    most = std::max(most, Probe().SendBacklog());
    return platform::TickMs() - full > 2000;
  }, 10000);
  EXPECT_LT(most, TSendQueue::kHoldBackBytes + (size_t(2) << 20));
  EXPECT_EQ(App->StatusText(), "Script flood.kvs running  (Alt+O to stop)");

  std::string expected;
  for (int i = 1; i <= 40; ++i) expected += "[" + std::to_string(i) + "]" + std::string(size_t(1) << 20, 'x');
  std::string got;
  EXPECT_TRUE(RunUntil([&] {
    got += ToString(Peer->ReadFor(5));
    return got.size() >= expected.size();
  }, 180000)) << got.size();
  EXPECT_TRUE(got == expected) << "bytes were lost or reordered on the way";
  EXPECT_TRUE(StatusIs("Script flood.kvs finished", 10000)) << App->StatusText();
}

TEST_F(ScriptSendsHeldBack, AStopEndsTheWaitAtOnce) {
  StartFlood();
  const uint64_t pressed = platform::TickMs();
  ScriptKey(1);
  ASSERT_TRUE(StatusIs("Script flood.kvs stopped", 5000)) << App->StatusText();
  EXPECT_LT(platform::TickMs() - pressed, 2000u);
  EXPECT_LT(Probe().SendBacklog(), TSendQueue::kHoldBackBytes + (size_t(2) << 20));
}

TEST_F(ScriptCommandsThreads, ScriptsThatCannotRunSayWhy) {
  WriteScript("bad.kvs", "print 1\nif then\n");
  Start();
  ShowOnlineWithoutCall();
  App->Config().ShiftF[0] = "bad";
  App->Config().ShiftF[1] = "";
  App->Config().ShiftF[2] = "gone";
  const struct {
    int Key;
    std::string Status;
  } rows[] = {
      {2, "Shift+F2 has no script - set one on Alt+C page 4"},
      {3, "Script not found: scripts/gone.kvs"},
  };
  for (const auto& row : rows) {
    ScriptKey(row.Key);
    EXPECT_TRUE(StatusIs(row.Status, 3000)) << App->StatusText();
  }
  ScriptKey(1);
  ASSERT_TRUE(RunUntil([&] { return App->StatusText().rfind("bad.kvs line 2: ", 0) == 0; }, 3000)) << App->StatusText();
}

}  // namespace
