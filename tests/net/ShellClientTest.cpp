// The local shell transport with real programs on a real pty: output up to
// the program's last byte before the end, the pty size, input of any length,
// and hang-up ending everything the program started.
#include <gtest/gtest.h>

#include <cerrno>

#include "net/uShellClient.h"
#include "tests/net/TransportTestKit.h"

using namespace kit;

namespace {

class ShellClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
  }
  void TearDown() override { WaitFinished(Client); }

  void Start(const std::string& command, uint16_t cols = 80, uint16_t rows = 24) {
    Client = TShellClient::Create(command, cols, rows);
    ASSERT_NE(Client, nullptr);
    Probe.Attach(*Client);
  }

  TScratchAppFolder Scratch;
  std::shared_ptr<TShellClient> Client;
  TTransportProbe Probe;
};

// Gone, or a zombie nobody has reaped yet.
bool ProcessGone(pid_t pid) {
  if (kill(pid, 0) != 0) return errno == ESRCH;
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z';
}

}  // namespace

TEST_F(ShellClientTest, ColoursAndTheLastOutputArriveBeforeTheEnd) {
  // A burst of output right before the program ends must all be shown.
  Start("sh -c \"seq 1 20000; printf '\\033[1;31mred\\033[0m last words'\"");
  ASSERT_TRUE(Probe.WaitEnd());
  EXPECT_EQ(Probe.Events.front(), "connected: Local shell started");
  EXPECT_EQ(Probe.DisconnectedText, "Local shell session ended");
  EXPECT_TRUE(Probe.RemoteClosedAtEnd);
  EXPECT_EQ(Probe.DataAtEnd, Probe.Data.size());
  EXPECT_NE(Probe.Data.find("19999\r\n20000\r\n"), std::string::npos);
  const std::string tail = "\x1b[1;31mred\x1b[0m last words";
  ASSERT_GE(Probe.Data.size(), tail.size());
  EXPECT_EQ(Probe.Data.substr(Probe.Data.size() - tail.size()), tail);
}

TEST_F(ShellClientTest, ThePtyHasTheGivenSizeAndFollowsResizes) {
  Start("sh -c \"stty size; echo term=$TERM; while read x; do stty size; done\"", 91, 27);
  ASSERT_TRUE(Probe.WaitFor("27 91")) << Probe.Data;
  EXPECT_TRUE(Probe.WaitFor("term=vt100"));
  Client->SetWindowSize(132, 43);
  Client->SendString("\r");
  EXPECT_TRUE(Probe.WaitFor("43 132")) << Probe.Data;
  Client->SetWindowSize(40, 10);
  Client->SendString("\r");
  EXPECT_TRUE(Probe.WaitFor("10 40")) << Probe.Data;
  Client->Disconnect();
  ASSERT_TRUE(Probe.WaitEnd());
  EXPECT_EQ(Probe.DisconnectedText, "Local shell session ended");
  EXPECT_FALSE(Probe.RemoteClosedAtEnd);
}

TEST_F(ShellClientTest, LongInputIsWrittenWholeWhileTheProgramReadsSlowly) {
  // Far more than a pty takes at once: every byte must reach the program.
  std::string blob;
  for (int i = 0; i < 200000; ++i) blob += static_cast<char>((i * 7 + i / 251) & 0xFF);
  WriteFile(Scratch.Path + "/blob.bin", blob);
  Start("sh -c \"stty raw -echo; echo ready; head -c " + std::to_string(blob.size()) + " | cmp - " + Scratch.Path +
        "/blob.bin && echo SAME\"");
  ASSERT_TRUE(Probe.WaitFor("ready"));
  Client->SendBytes(reinterpret_cast<const uint8_t*>(blob.data()), static_cast<int>(blob.size()));
  ASSERT_TRUE(Probe.WaitEnd(30000));
  EXPECT_NE(Probe.Data.find("SAME"), std::string::npos) << Probe.Data;
  EXPECT_EQ(Client->BytesSent, static_cast<int64_t>(blob.size()));
}

TEST_F(ShellClientTest, HangingUpEndsTheProgramAndWhatItStarted) {
  std::string pids = Scratch.Path + "/pids";
  Start("sh -c \"sleep 300 & echo $! $$ > " + pids + "; echo ready; wait\"");
  ASSERT_TRUE(Probe.WaitFor("ready"));
  pid_t child = 0, shell = 0;
  std::istringstream(ReadFile(pids)) >> child >> shell;
  ASSERT_GT(child, 0);
  ASSERT_GT(shell, 0);
  Client->Disconnect();
  ASSERT_TRUE(Probe.WaitEnd());
  EXPECT_EQ(Probe.DisconnectedText, "Local shell session ended");
  EXPECT_FALSE(Probe.RemoteClosedAtEnd);
  EXPECT_TRUE(ServeUntil([&] { return ProcessGone(child) && ProcessGone(shell); }, 5000));
}

TEST_F(ShellClientTest, AnEmptyCommandRunsTheUsersShellAndExitEndsTheCall) {
  std::string script = Scratch.Path + "/myshell";
  WriteFile(script, "#!/bin/sh\necho \"my-shell-$TERM\"\nexec /bin/sh\n");
  chmod(script.c_str(), 0755);
  const char* saved = getenv("SHELL");
  std::string savedShell = saved ? saved : "";
  setenv("SHELL", script.c_str(), 1);
  Start("");
  ASSERT_TRUE(Probe.WaitFor("my-shell-vt100"));
  Client->SendString("exit\r");
  ASSERT_TRUE(Probe.WaitEnd());
  EXPECT_EQ(Probe.DisconnectedText, "Local shell session ended");
  EXPECT_TRUE(Probe.RemoteClosedAtEnd);
  WaitFinished(Client);

  // Without SHELL the shell is /bin/sh.
  unsetenv("SHELL");
  TTransportProbe probe;
  auto plain = TShellClient::Create("", 80, 24);
  probe.Attach(*plain);
  plain->SendString("echo \"shell=$0\"; exit\r");
  ASSERT_TRUE(probe.WaitEnd());
  EXPECT_NE(probe.Data.find("shell=/bin/sh"), std::string::npos) << probe.Data;
  WaitFinished(plain);
  if (saved) setenv("SHELL", savedShell.c_str(), 1);
}

TEST_F(ShellClientTest, ACommandThatCannotStartEndsWithItsTextAndNeverConnects) {
  Start("/no/such/program --flag");
  ASSERT_TRUE(Probe.WaitEnd());
  EXPECT_FALSE(Probe.Connected);
  EXPECT_EQ(Probe.DisconnectedText,
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
