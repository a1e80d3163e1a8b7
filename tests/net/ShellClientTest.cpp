// The local shell transport with real programs on a real pty: output up to
// the program's last byte before the end, the pty size, input of any length,
// and hang-up ending everything the program started.
#include <gtest/gtest.h>

#include <cerrno>

#include "net/uShellClient.h"
#include "tests/net/TransportTestKit.h"

using namespace kit;

namespace {

class ShellClientThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
  }
  void TearDown() override { WaitFinished(Client); }

  void Start(const std::string& command, uint16_t cols = 80, uint16_t rows = 24) {
    Client = TShellClient::Create(command, cols, rows);
    ASSERT_NE(Client, nullptr);
    Log = RecordTransport(*Client);
  }

  ScratchAppFolder Scratch;
  std::shared_ptr<TShellClient> Client;
  std::shared_ptr<TransportLog> Log;
};

// Gone, or a zombie nobody has reaped yet.
bool ProcessGone(pid_t pid) {
  if (kill(pid, 0) != 0) return errno == ESRCH;
  std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z';
}

}  // namespace

TEST_F(ShellClientThreads, ColoursAndTheLastOutputArriveBeforeTheEnd) {
  // The interface thread is busy while the program writes its last words and
  // ends: they are in the pty when the transport sees the program gone, and
  // must still be shown before the end is reported.
  Start("sh -c \"printf 'first '; sleep 0.3; printf '\\033[1;31mred\\033[0m last words'\"");
  ASSERT_TRUE(ServeUntil([&] { return Log->WasConnected(); }));
  usleep(1000 * 1000);
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_EQ(Log->Sequence(), "connected,data,disconnected");
  EXPECT_EQ(EventText(*Log, TransportLog::Kind::Connected), "Local shell started");
  EXPECT_EQ(Log->DisconnectText(), "Local shell session ended");
  EXPECT_TRUE(Client->RemoteClosed);
  EXPECT_EQ(Log->Data, "first \x1b[1;31mred\x1b[0m last words");
}

TEST_F(ShellClientThreads, ThePtyHasTheGivenSizeAndFollowsResizes) {
  Start("sh -c \"stty size; echo term=$TERM; while read x; do stty size; done\"", 91, 27);
  ASSERT_TRUE(WaitForData(*Log, "27 91")) << Log->Data;
  EXPECT_TRUE(WaitForData(*Log, "term=vt100"));
  Client->SetWindowSize(132, 43);
  Client->SendString("\r");
  EXPECT_TRUE(WaitForData(*Log, "43 132")) << Log->Data;
  Client->SetWindowSize(40, 10);
  Client->SendString("\r");
  EXPECT_TRUE(WaitForData(*Log, "10 40")) << Log->Data;
  Client->Disconnect();
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_EQ(Log->DisconnectText(), "Local shell session ended");
  EXPECT_FALSE(Client->RemoteClosed);
}

TEST_F(ShellClientThreads, LongInputIsWrittenWholeWhileTheProgramReadsSlowly) {
  // Far more than a pty takes at once: every byte must reach the program.
  std::string blob;
  for (int i = 0; i < 200000; ++i) blob += static_cast<char>((i * 7 + i / 251) & 0xFF);
  WriteWholeFile(Scratch.File("blob.bin"), blob);
  Start("sh -c \"stty raw -echo; echo ready; head -c " + std::to_string(blob.size()) + " | cmp - " + Scratch.File("blob.bin") +
        " && echo SAME\"");
  ASSERT_TRUE(WaitForData(*Log, "ready"));
  Client->SendBytes(reinterpret_cast<const uint8_t*>(blob.data()), static_cast<int>(blob.size()));
  ASSERT_TRUE(WaitEnd(*Log, 30000));
  EXPECT_NE(Log->Data.find("SAME"), std::string::npos) << Log->Data;
  EXPECT_EQ(Client->BytesSent, static_cast<int64_t>(blob.size()));
}

TEST_F(ShellClientThreads, ALongPasteToAProgramThatEchoesItComesBackWhole) {
  // More than the queue holds before it stops reading freely: the program
  // can only take more once its echo has been read.
  std::string blob;
  for (int i = 0; i < 4 * 1024 * 1024; ++i) blob += static_cast<char>('a' + i % 26);
  Start("sh -c \"stty raw -echo; echo ready; head -c " + std::to_string(blob.size()) + "\"");
  ASSERT_TRUE(WaitForData(*Log, "ready\n"));
  const size_t start = Log->Data.find("ready\n") + 6;
  Client->SendBytes(reinterpret_cast<const uint8_t*>(blob.data()), static_cast<int>(blob.size()));
  ASSERT_TRUE(WaitEnd(*Log, 60000));
  EXPECT_TRUE(Log->Data.compare(start, std::string::npos, blob) == 0)
      << "came back " << Log->Data.size() - start << " of " << blob.size() << " bytes";
}

TEST_F(ShellClientThreads, HangingUpEndsTheProgramAndWhatItStarted) {
  std::string pids = Scratch.File("pids");
  Start("sh -c \"sleep 300 & echo $! $$ > " + pids + "; echo ready; wait\"");
  ASSERT_TRUE(WaitForData(*Log, "ready"));
  pid_t child = 0, shell = 0;
  std::istringstream(ReadWholeFile(pids)) >> child >> shell;
  ASSERT_GT(child, 0);
  ASSERT_GT(shell, 0);
  Client->Disconnect();
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_EQ(Log->DisconnectText(), "Local shell session ended");
  EXPECT_FALSE(Client->RemoteClosed);
  EXPECT_TRUE(ServeUntil([&] { return ProcessGone(child) && ProcessGone(shell); }, 5000));
}

TEST_F(ShellClientThreads, AProgramThatEndsWhileAHelperKeepsWritingStillEndsTheCall) {
  // The program leaves a helper behind that ignores the hang-up and writes
  // to the terminal without pause: showing what is left must not go on for
  // ever, and a hang-up must still be heard.
  std::string pidFile = Scratch.File("helper.pid"), helperScript = Scratch.File("helper");
  WriteWholeFile(helperScript, "#!/bin/sh\ntrap '' HUP\necho $$ > " + pidFile +
                                   "\nwhile :; do echo spam; sleep 0.01; done\n");
  chmod(helperScript.c_str(), 0755);
  Start("sh -c \"" + helperScript + " & sleep 0.2; echo bye\"");
  bool ended = WaitEnd(*Log, 8000);
  if (!ended) Client->Disconnect();
  bool endedAfterHangUp = ended || WaitEnd(*Log, 3000);
  pid_t helper = 0;
  std::istringstream(ReadWholeFile(pidFile)) >> helper;
  if (helper > 0) kill(helper, SIGKILL);
  ASSERT_TRUE(ended) << (endedAfterHangUp ? "ended only after a hang-up" : "did not end even after a hang-up");
  EXPECT_EQ(Log->DisconnectText(), "Local shell session ended");
  EXPECT_TRUE(Client->RemoteClosed);
  EXPECT_NE(Log->Data.find("bye"), std::string::npos) << Log->Data;
}

TEST_F(ShellClientThreads, AnEmptyCommandRunsTheUsersShellAndExitEndsTheCall) {
  std::string script = Scratch.File("myshell");
  WriteWholeFile(script, "#!/bin/sh\necho \"my-shell-$TERM\"\nexec /bin/sh\n");
  chmod(script.c_str(), 0755);
  const char* saved = getenv("SHELL");
  std::string savedShell = saved ? saved : "";
  setenv("SHELL", script.c_str(), 1);
  Start("");
  ASSERT_TRUE(WaitForData(*Log, "my-shell-vt100"));
  Client->SendString("exit\r");
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_EQ(Log->DisconnectText(), "Local shell session ended");
  EXPECT_TRUE(Client->RemoteClosed);
  WaitFinished(Client);

  // Without SHELL the shell is /bin/sh.
  unsetenv("SHELL");
  auto plain = TShellClient::Create("", 80, 24);
  auto log = RecordTransport(*plain);
  plain->SendString("echo \"shell=$0\"; exit\r");
  ASSERT_TRUE(WaitEnd(*log));
  EXPECT_NE(log->Data.find("shell=/bin/sh"), std::string::npos) << log->Data;
  WaitFinished(plain);
  if (saved) setenv("SHELL", savedShell.c_str(), 1);
}

TEST_F(ShellClientThreads, ACommandThatCannotStartEndsWithItsTextAndNeverConnects) {
  Start("/no/such/program --flag");
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_FALSE(Log->WasConnected());
  EXPECT_EQ(Log->DisconnectText(),
            "Local shell failed: could not start \"/no/such/program --flag\" (error 2: No such file or directory)");
}

TEST(SplitCommandLineTest, BlanksSeparateAndQuotesGroup) {
  struct Row {
    const char* Line;
    std::vector<std::string> Words;
  };
  const std::vector<Row> rows = {
      {"", {}},
      {"   ", {}},
      {"bash", {"bash"}},
      {"  ls   -l\t/tmp ", {"ls", "-l", "/tmp"}},
      {"sh -c \"echo a  b\"", {"sh", "-c", "echo a  b"}},
      {"a\"b c\"d", {"ab cd"}},
      {"x \"\" y", {"x", "", "y"}},
      {"unclosed \"quote here", {"unclosed", "quote here"}},
  };
  for (const Row& row : rows) EXPECT_EQ(SplitCommandLine(row.Line), row.Words) << "[" << row.Line << "]";
}
