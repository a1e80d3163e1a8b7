// Zmodem through the SSH transport to a real OpenSSH server running sz or rz
// (lrzsz) on its pty: every byte value, long runs of $FF included, must
// arrive byte-identical in both directions.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "net/uSSHClient.h"
#include "net/uZmodem.h"
#include "tests/net/SshTestServer.h"

using namespace kit;
namespace fs = std::filesystem;

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  for (size_t i = 0; i + 600 < n; i += 4096) s.replace(i, 300, 300, '\xFF');
  return s;
}

class ZmodemSshThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
    unsetenv("SSH_AUTH_SOCK");
    for (const char* p : {"sz", "rz"}) ASSERT_FALSE(FindProgram(p).empty()) << p << " is needed (package lrzsz)";
    fs::create_directories(Board);
    fs::create_directories(Recv);
    fs::permissions(Board, fs::perms::all);  // the board's user writes uploads here
  }
  void TearDown() override { WaitFinished(Client); }

  // The board runs Command in its folder instead of a shell.
  void StartBoard(const std::string& command) {
    std::string why = Server.Start(App.File(""), "ForceCommand cd " + Board + " && exec " + command + "\n");
    ASSERT_EQ(why, "") << why;
    Client = TSSHClient::Create("127.0.0.1", Server.Port, kSshUser, kSshPassword, "", 80, 24, false);
    ASSERT_NE(Client, nullptr);
    Client->OnData = [this](const uint8_t* data, int count) {
      uint8_t out[4];
      int n = 0;
      for (int i = 0; i < count; ++i) Engine.ProcessIncoming(data[i], out, n);
    };
    Client->OnDisconnected = [this](const std::string& m) { Ended = m; };
    Engine.OnSend = [this](const uint8_t* data, int count) { Client->SendBytes(data, count); };
    Engine.OnFileDone = [this](const std::string& name, bool ok) { Done.emplace_back(name, ok); };
  }

  // Serves the transport's calls and ticks the engine every 500 ms.
  bool Pump(const std::function<bool()>& done, uint64_t limitMs) {
    uint64_t until = platform::TickMs() + limitMs, nextTick = platform::TickMs() + 500;
    while (platform::TickMs() < until && !done()) {
      platform::CheckSynchronize(5);
      if (platform::TickMs() >= nextTick) {
        Engine.Tick();
        nextTick += 500;
      }
    }
    return done();
  }

  ScratchAppFolder App;
  std::string Board = App.File("board"), Recv = App.File("recv");
  TSshServer Server;
  std::shared_ptr<TSSHClient> Client;
  TZmodemEngine Engine{Recv};
  std::vector<std::pair<std::string, bool>> Done;
  std::string Ended;
};

}  // namespace

TEST_F(ZmodemSshThreads, DownloadThroughOpenSsh) {
  const std::string data = RandomBytes(1 << 20, 31);
  ASSERT_TRUE(WriteWholeFile(Board + "/down.bin", data));
  fs::permissions(Board + "/down.bin", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  StartBoard("sz -q down.bin");
  ASSERT_TRUE(Pump([&] { return !Done.empty() && Engine.State == 0; }, 60000)) << "ended: " << Ended;
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_EQ(Done[0], std::make_pair(std::string("down.bin"), true));
  EXPECT_TRUE(ReadWholeFile(Recv + "/down.bin") == data) << "the file differs";
}

TEST_F(ZmodemSshThreads, UploadThroughOpenSsh) {
  const std::string data = RandomBytes(1 << 20, 32);
  ASSERT_TRUE(WriteWholeFile(App.File("up.bin"), data));
  Engine.AddUploadFile(App.File("up.bin"));
  int ends = 0;
  Engine.OnSessionEnd = [&] { ++ends; };
  Engine.OnUploadRequested = [&] { Engine.SendToWaitingReceiver(); };
  StartBoard("rz -q");
  ASSERT_TRUE(Pump([&] { return ends == 1 && Engine.State == 0; }, 60000)) << "ended: " << Ended;
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_EQ(Done[0], std::make_pair(std::string("up.bin"), true));
  ASSERT_TRUE(Pump([&] { return ReadWholeFile(Board + "/up.bin").size() == data.size(); }, 10000));
  EXPECT_TRUE(ReadWholeFile(Board + "/up.bin") == data) << "the file differs";
}
