// Cross-thread paths of the Telnet transport (run under ThreadSanitizer too):
// the interface thread sends, resizes and hangs up while the board floods
// data, at every moment of a call's life; nothing may race, leak, hang or
// arrive after the end.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <set>
#include <thread>

#include "TelnetFixture.h"
#include "TlsPeer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ThreadWakeups.h"

using namespace telnettest;

namespace {

// A board that accepts calls one after another, asks for NAWS, and then
// sends data as fast as the client takes it while reading whatever comes.
class FloodBoard {
 public:
  FloodBoard() : FThread([this] { Run(); }) {}
  ~FloodBoard() {
    FStop = true;
    FThread.join();
  }
  uint16_t Port() const { return FListener.Port(); }
  uint64_t Received() const { return FReceived.load(); }

 private:
  void Run() {
    while (!FStop) {
      auto peer = FListener.Accept(50);
      if (!peer) continue;
      fcntl(peer->Fd(), F_SETFL, fcntl(peer->Fd(), F_GETFL) | O_NONBLOCK);
      const uint8_t doNaws[] = {0xFF, 0xFD, 0x1F};
      send(peer->Fd(), doNaws, sizeof doNaws, MSG_NOSIGNAL);
      std::string chunk(4096, 'x');
      for (size_t i = 0; i < chunk.size(); i += 64) chunk[i] = '\n';
      while (!FStop) {
        pollfd p{peer->Fd(), POLLIN | POLLOUT, 0};
        if (poll(&p, 1, 20) < 0) break;
        if (p.revents & (POLLERR | POLLHUP)) break;
        if (p.revents & POLLIN) {
          char buf[4096];
          ssize_t n = recv(peer->Fd(), buf, sizeof buf, 0);
          if (n <= 0) break;
          FReceived += uint64_t(n);
        }
        if ((p.revents & POLLOUT) && send(peer->Fd(), chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0 &&
            errno != EAGAIN)
          break;
      }
    }
  }

  testsupport::LoopbackListener FListener;
  std::atomic<bool> FStop{false};
  std::atomic<uint64_t> FReceived{0};
  std::thread FThread;
};

// Plays the user for a while: keys and window sizes while data flows.
void TypeAndResize(TTelnetClient& client, uint32_t ms) {
  uint64_t until = platform::TickMs() + ms;
  uint16_t cols = 80;
  while (platform::TickMs() < until) {
    client.SendString("key\r\xFF");
    client.SetWindowSize(cols, 25);
    cols = cols == 80 ? 132 : 80;
    platform::CheckSynchronize(2);
  }
}

class TelnetThreads : public TelnetFixture {};

}  // namespace

TEST_F(TelnetThreads, DisconnectWhileDataFlowsEndsWithOneLastDisconnected) {
  FloodBoard board;
  TCall call(DialTelnet(board.Port()));
  ASSERT_TRUE(call.WaitConnected());
  TypeAndResize(*call.Client, 400);
  EXPECT_GT(call.Log->Data.size(), 10000u);
  EXPECT_GT(board.Received(), 0u);
  call.Client->Disconnect();
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_TRUE(call.WaitFreed());
  testsupport::ServeFor(100);
  EXPECT_EQ(call.Log->DisconnectedCount, 1);
  EXPECT_EQ(call.Log->EventsAfterDisconnect, 0);
  EXPECT_EQ(call.Log->OffThreadEvents, 0);
  EXPECT_EQ(call.Log->EmptyDataChunks, 0);
}

TEST_F(TelnetThreads, AHangUpAtAnyMomentFreesTheTransportAndSilencesIt) {
  FloodBoard board;
  for (uint32_t delay : {0u, 1u, 3u, 10u, 30u, 100u}) {
    SCOPED_TRACE("hang up after " + std::to_string(delay) + " ms");
    TCall call(DialTelnet(board.Port()));
    TypeAndResize(*call.Client, delay);
    size_t before = call.Log->Events.size();
    call.Client->HangUp();
    EXPECT_TRUE(call.WaitFreed(5000));
    EXPECT_EQ(call.Log->Events.size(), before);
    EXPECT_LE(call.Log->DisconnectedCount, 1);
  }
}

TEST_F(TelnetThreads, TelnetSDroppedAtAnyMomentEndsCleanly) {
  ASSERT_FALSE(testsupport::FindProgram("openssl").empty()) << "the openssl program is needed (package openssl)";
  testsupport::ScratchAppFolder app;
  testsupport::TempDir dir;
  TlsServer server(dir, MakeCert(dir, "board"));
  const uint16_t port = server.Port();
  for (uint32_t delay : {0u, 2u, 5u, 20u, 60u, 300u}) {
    SCOPED_TRACE("disconnect after " + std::to_string(delay) + " ms");
    TCall call(TTelnetClient::Create("127.0.0.1", port, "ansi", 80, 25, true, false, "", "", ""));
    server.Send(std::string(2000, 'y') + "\n");
    TypeAndResize(*call.Client, delay);
    call.Client->Disconnect();
    EXPECT_TRUE(call.WaitFreed(5000));
    testsupport::ServeFor(20);
    EXPECT_LE(call.Log->DisconnectedCount, 1);
    EXPECT_EQ(call.Log->EventsAfterDisconnect, 0);
    EXPECT_EQ(call.Log->OffThreadEvents, 0);
    if (call.Log->WasConnected()) {
      EXPECT_EQ(call.Log->DisconnectedCount, 1) << call.Log->Sequence();
    }
  }
}

// A call with nothing to say or send costs no wake-ups: its thread waits for
// the board or a wake-up alone. It still hears the board, sends what is
// typed and hangs up at once.
TEST_F(TelnetThreads, AnIdleCallWaitsWithoutWakingAndStillAnswersAtOnce) {
  testsupport::LoopbackListener board;
  const std::set<std::string> before = testsupport::ThreadIds();
  TCall call(TTelnetClient::CreateRaw("127.0.0.1", board.Port()));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(call.WaitConnected());
  const std::set<std::string> transport = testsupport::ThreadsSince(before);
  ASSERT_FALSE(transport.empty());

  const uint64_t switches = testsupport::VoluntarySwitches(transport);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_LE(testsupport::VoluntarySwitches(transport) - switches, 2u)
      << "a time-out of 50 ms would wake it about 30 times";

  peer->Write("board");
  EXPECT_TRUE(testsupport::ServeUntil([&] { return call.Log->Data == "board"; }, 5000));
  call.Client->SendString("typed");
  EXPECT_EQ(ReadServing(*peer, 5), testsupport::ToBytes("typed"));
  const uint64_t start = platform::TickMs();
  call.Client->Disconnect();
  EXPECT_TRUE(call.WaitDisconnected(5000));
  EXPECT_LT(platform::TickMs() - start, 5000u);
}
