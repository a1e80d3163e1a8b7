// Zmodem through the Telnet transport to a real telnet server (inetutils
// telnetd, running sz or rz instead of a login): the server doubles every
// $FF it sends, the transport undoes it, and files must still arrive
// byte-identical in both directions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "net/uTelnetClient.h"
#include "net/uZmodem.h"
#include "platform/Sync.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"
#include "tests/support/Serve.h"

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::TempDir;

namespace {

std::string RandomText(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  // Long runs of $FF (IAC) and CR NUL / CR LF pairs, the bytes Telnet treats
  // specially.
  for (size_t i = 0; i + 600 < n; i += 4096) {
    s.replace(i, 300, 300, '\xFF');
    s.replace(i + 300, 4, "\r\0\r\n", 4);
  }
  return s;
}

class ZmodemTelnet : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
    for (const char* p : {"telnetd", "socat", "sz", "rz"})
      ASSERT_FALSE(testsupport::FindProgram(p).empty())
          << p << " is needed (packages inetutils-telnetd, socat, lrzsz)";
    fs::create_directories(Dir.Path() + "send");
    fs::create_directories(Dir.Path() + "recv");
    fs::create_directories(Dir.Path() + "board");
  }
  void TearDown() override {
    if (!Client) return;
    // Hang up and serve the transport's last events while this fixture
    // still exists, until the transport has freed itself.
    Client->Disconnect();
    std::weak_ptr<TTelnetClient> weak = Client;
    Client.reset();
    EXPECT_TRUE(testsupport::ServeUntil([&] { return weak.expired(); }, 10000));
  }

  // telnetd on a loopback port, serving one call with the given command
  // (through a small script, as its login program) in the board's folder.
  void StartBoard(const std::string& command) {
    const std::string script = Dir.File("board.sh");
    testsupport::WriteWholeFile(script, "#!/bin/sh\ncd '" + Dir.Path() + "board' && exec " + command + "\n");
    fs::permissions(script, fs::perms::owner_all);
    const uint16_t port = testsupport::FreeLoopbackPort();
    ASSERT_TRUE(Server.Start({"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                              "EXEC:" + testsupport::FindProgram("telnetd") + " -h -E " + script + ",nofork"}));
    ASSERT_TRUE(testsupport::WaitForPort(port));
    Client = TTelnetClient::Create("127.0.0.1", port, "ansi", 80, 25, false, false, "", "", "");
    Client->OnData = [this](const uint8_t* data, int count) {
      uint8_t out[4];
      int n = 0;
      for (int i = 0; i < count; ++i) Engine->ProcessIncoming(data[i], out, n);
    };
    Client->OnDisconnected = [this](const std::string&) { Disconnected = true; };
    Engine->OnSend = [this](const uint8_t* data, int count) {
      if (Client) Client->SendBytes(data, count);
    };
    Engine->OnFileDone = [this](const std::string& name, bool ok) { Done.emplace_back(name, ok); };
  }

  // Serves the transport's calls and ticks the engine until done() holds.
  bool Pump(const std::function<bool()>& done, uint64_t limitMs) {
    const uint64_t until = platform::TickMs() + limitMs;
    uint64_t nextTick = platform::TickMs() + 500;
    while (platform::TickMs() < until) {
      platform::CheckSynchronize(5);
      if (platform::TickMs() >= nextTick) {
        Engine->Tick();
        nextTick += 500;
      }
      if (done()) return true;
    }
    return false;
  }

  TempDir Dir;
  ChildProcess Server;
  std::shared_ptr<TTelnetClient> Client;
  std::unique_ptr<TZmodemEngine> Engine = std::make_unique<TZmodemEngine>(Dir.Path() + "recv");
  std::vector<std::pair<std::string, bool>> Done;
  bool Disconnected = false;
};

TEST_F(ZmodemTelnet, DownloadThroughTelnetd) {
  const std::string data = RandomText(1 << 20, 21);
  ASSERT_TRUE(testsupport::WriteWholeFile(Dir.Path() + "board/down.bin", data));
  StartBoard("sz -q down.bin");
  ASSERT_TRUE(Pump([&] { return !Done.empty() && Engine->State == 0; }, 60000)) << "the transfer did not end";
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_EQ(Done[0], std::make_pair(std::string("down.bin"), true));
  EXPECT_TRUE(testsupport::ReadWholeFile(Dir.Path() + "recv/down.bin") == data) << "the file differs";
}

TEST_F(ZmodemTelnet, UploadThroughTelnetd) {
  const std::string data = RandomText(1 << 20, 22);
  ASSERT_TRUE(testsupport::WriteWholeFile(Dir.Path() + "send/up.bin", data));
  Engine->AddUploadFile(Dir.Path() + "send/up.bin");
  int ends = 0;
  Engine->OnSessionEnd = [&] { ++ends; };
  // The board's rz announces itself; the upload answers it.
  Engine->OnUploadRequested = [&] { Engine->SendToWaitingReceiver(); };
  StartBoard("rz -q");
  ASSERT_TRUE(Pump([&] { return ends == 1 && Engine->State == 0; }, 60000)) << "the transfer did not end";
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_EQ(Done[0], std::make_pair(std::string("up.bin"), true));
  EXPECT_TRUE(testsupport::ReadWholeFile(Dir.Path() + "board/up.bin") == data) << "the file differs";
}

}  // namespace
