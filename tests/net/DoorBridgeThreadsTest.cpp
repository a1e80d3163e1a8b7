// The door bridges against real far ends: a socat pseudo-terminal pair
// standing in for the serial null-modem (the bridge on one end, the door's
// side read and written by the test on the other), and a loopback client
// standing in for a DOS emulator's null-modem dialing the TCP bridge.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>

#include "net/uComBridge.h"
#include "net/uComBridgeTcp.h"
#include "net/uTelnetClient.h"
#include "platform/Sync.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"
#include "tests/support/Serve.h"

using testsupport::Bytes;

namespace {

Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = uint8_t(rng());
  return b;
}

bool HasText(const std::vector<std::string>& texts, const std::string& part) {
  for (const std::string& t : texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += t + "\n";
  return out;
}

class DoorBridgeThreads : public ::testing::Test {
 public:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
  }
  // Wires a bridge's events to the test's records.
  template <class Bridge>
  void Wire(Bridge& bridge) {
    bridge.OnData = [this](const uint8_t* data, int count) { FromDoor.insert(FromDoor.end(), data, data + count); };
    bridge.OnStatus = [this](const std::string& text) { Status.push_back(text); };
  }
  template <class Bridge>
  void End(const std::shared_ptr<Bridge>& bridge) {
    bridge->Stop();
    bridge->WaitFor();
  }

  Bytes FromDoor;
  std::vector<std::string> Status;
};

TEST_F(DoorBridgeThreads, SerialPairCarriesAMegabyteBothWays) {
  ASSERT_FALSE(testsupport::FindProgram("socat").empty()) << "socat is needed (package socat)";
  testsupport::TempDir dir;
  const std::string near = dir.File("A"), far = dir.File("B");
  testsupport::ChildProcess pair;
  ASSERT_TRUE(pair.Start({"socat", "pty,raw,echo=0,link=" + near, "pty,raw,echo=0,link=" + far}));
  const uint64_t ready = platform::TickMs() + 10000;
  while (!(std::filesystem::exists(near) && std::filesystem::exists(far)) && platform::TickMs() < ready) usleep(20000);
  ASSERT_TRUE(std::filesystem::exists(near) && std::filesystem::exists(far)) << "socat made no pty pair";

  const int door = open(far.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(door, 0);
  termios tio{};
  tcgetattr(door, &tio);
  cfmakeraw(&tio);
  tcsetattr(door, TCSANOW, &tio);

  auto bridge = TComBridge::Create(near);
  ASSERT_TRUE(bridge);
  Wire(*bridge);
  const Bytes toDoor = RandomBytes(1 << 20, 7), fromDoor = RandomBytes(1 << 20, 8);
  // The board's bytes are queued at once, in pieces as a call delivers them.
  for (size_t at = 0; at < toDoor.size(); at += 3000)
    bridge->Write(toDoor.data() + at, int(std::min<size_t>(3000, toDoor.size() - at)));

  Bytes atDoor;
  size_t sent = 0;
  const uint64_t until = platform::TickMs() + 60000;
  uint8_t buf[8192];
  while ((atDoor.size() < toDoor.size() || FromDoor.size() < fromDoor.size()) && platform::TickMs() < until) {
    platform::CheckSynchronize(1);
    if (sent < fromDoor.size()) {
      const ssize_t n = write(door, fromDoor.data() + sent, std::min<size_t>(4096, fromDoor.size() - sent));
      if (n > 0) sent += size_t(n);
    }
    const ssize_t got = read(door, buf, sizeof buf);
    if (got > 0) atDoor.insert(atDoor.end(), buf, buf + got);
  }
  close(door);
  End(bridge);
  EXPECT_TRUE(HasText(Status, "Bridging live session to " + near)) << Joined(Status);
  EXPECT_TRUE(HasText(Status, near + " bridge closed")) << Joined(Status);
  ASSERT_EQ(atDoor.size(), toDoor.size());
  EXPECT_TRUE(atDoor == toDoor) << "bytes from the board arrived changed at the door";
  ASSERT_EQ(FromDoor.size(), fromDoor.size());
  EXPECT_TRUE(FromDoor == fromDoor) << "bytes from the door arrived changed";
}

TEST_F(DoorBridgeThreads, MissingSerialDeviceSaysSoOnce) {
  auto bridge = TComBridge::Create("/dev/korvan-no-such-port");
  ASSERT_TRUE(bridge);
  Wire(*bridge);
  ASSERT_TRUE(testsupport::ServeUntil([&] { return bridge->Finished(); }));
  End(bridge);
  ASSERT_EQ(Status.size(), 1u) << Joined(Status);
  EXPECT_EQ(Status[0].rfind("Could not open /dev/korvan-no-such-port (error 2 ", 0), 0u) << Status[0];
  EXPECT_NE(Status[0].find("is this its port (not the DOS program's own end)?"), std::string::npos) << Status[0];
}

TEST(ComDevicePath, NamesTheDevice) {
  const struct {
    const char* name;
    const char* path;
  } rows[] = {
      {"COM1", "/dev/ttyS0"}, {"com5", "/dev/ttyS4"},         {"COM12", "/dev/ttyS11"},
      {"COM0", "COM0"},       {"/dev/pts/7", "/dev/pts/7"}, {"COMX", "COMX"},
  };
  for (const auto& r : rows) EXPECT_EQ(ComDevicePath(r.name), r.path) << r.name;
}

// Reads from a connected socket whatever comes within Ms.
Bytes ReadSocket(int fd, size_t want, int ms) {
  Bytes got;
  const uint64_t until = platform::TickMs() + uint64_t(ms);
  while (got.size() < want && platform::TickMs() < until) {
    platform::CheckSynchronize(1);
    uint8_t buf[4096];
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) got.insert(got.end(), buf, buf + n);
    if (n == 0) break;
  }
  return got;
}

int ConnectLoopback(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST_F(DoorBridgeThreads, EmulatorDialsInAndBytesFlowBothWays) {
  const uint16_t port = testsupport::FreeLoopbackPort();
  auto bridge = TComBridgeTcp::Create(port);
  ASSERT_TRUE(bridge);
  Wire(*bridge);
  // The board speaks before the emulator has dialed: its bytes wait.
  const Bytes early = {'H', 'i', 0xFF, 0x00, 0xFF, 0xFF, '\r', '\n'};
  bridge->Write(early.data(), int(early.size()));
  ASSERT_TRUE(testsupport::ServeUntil([&] { return HasText(Status, "waiting for DOSBox"); }));
  EXPECT_EQ(Status[0], "TCP bridge listening on 127.0.0.1:" + std::to_string(port) + " - waiting for DOSBox");

  const int emulator = ConnectLoopback(port);
  ASSERT_GE(emulator, 0);
  EXPECT_EQ(ReadSocket(emulator, early.size(), 10000), early);
  EXPECT_TRUE(HasText(Status, "Bridging live session to DOSBox over 127.0.0.1:" + std::to_string(port)));

  const Bytes later = RandomBytes(200000, 3);
  bridge->Write(later.data(), int(later.size()));
  EXPECT_TRUE(ReadSocket(emulator, later.size(), 20000) == later);

  const Bytes keys = {0xFF, 0xFF, 'x', 0x00, 0xFF};
  ASSERT_EQ(send(emulator, keys.data(), keys.size(), 0), ssize_t(keys.size()));
  ASSERT_TRUE(testsupport::ServeUntil([&] { return FromDoor.size() >= keys.size(); }));
  EXPECT_EQ(FromDoor, keys);

  // The emulator hanging up ends the bridge by itself.
  close(emulator);
  ASSERT_TRUE(testsupport::ServeUntil([&] { return bridge->Finished(); }));
  End(bridge);
  EXPECT_EQ(Status.back(), "TCP bridge closed");
}

// The byte a flooding board sends at stream offset At: a long cycle, so a
// lost, doubled or reordered stretch shows.
uint8_t FloodByte(uint64_t at) { return uint8_t(at * 131 + (at >> 13)); }

// A board flooding a call whose bytes go to a door program over the TCP
// bridge, with the door side a loopback socket the test reads or leaves
// unread. The test thread serves the interface thread, writes the board's
// side without blocking and reads the door's.
class DoorFlood {
 public:
  explicit DoorFlood(DoorBridgeThreads& fixture) {
    fixture.Status.clear();
    const uint16_t port = testsupport::FreeLoopbackPort();
    Bridge = TComBridgeTcp::Create(port);
    if (!Bridge) return;
    fixture.Wire(*Bridge);
    // The door dials once the bridge listens.
    if (!testsupport::ServeUntil([&] { return HasText(fixture.Status, "waiting for DOSBox"); })) return;
    Door = ConnectLoopback(port);
    if (Door < 0) return;
    fcntl(Door, F_SETFL, O_NONBLOCK);

    Transport = TTelnetClient::CreateRaw("127.0.0.1", Board.Port());
    std::weak_ptr<TWireTransport> weak = Transport;
    Transport->OnData = [this, weak](const uint8_t* data, int count) {
      Delivered += uint64_t(count);
      Bridge->Write(data, count, weak.lock());
    };
    Peer = Board.Accept();
    if (!Peer) return;
    fcntl(Peer->Fd(), F_SETFL, O_NONBLOCK);
    Ready = testsupport::ServeUntil([&] { return Transport->Connected.load(); });
  }
  ~DoorFlood() {
    if (Door >= 0) close(Door);
    if (Transport) Transport->HangUp();
    if (Bridge) {
      Bridge->Stop();
      Bridge->WaitFor();
    }
  }

  // One pass: serves the interface thread and lets the board write what its
  // socket takes now, up to Limit bytes in all; true when some was written.
  bool FloodPass(uint64_t limit) {
    platform::CheckSynchronize(1);
    uint8_t chunk[65536];
    if (Written >= limit) return false;
    const size_t count = size_t(std::min<uint64_t>(sizeof chunk, limit - Written));
    for (size_t i = 0; i < count; ++i) chunk[i] = FloodByte(Written + i);
    const ssize_t n = send(Peer->Fd(), chunk, count, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) return false;
    Written += uint64_t(n);
    return true;
  }
  // Floods a door that reads nothing until the board's writes have made no
  // progress for two seconds; records the most the bridge had waiting. False
  // at once when the bridge's queue runs past twice its high mark.
  bool FloodUntilBlocked() {
    const uint64_t until = platform::TickMs() + 180000;
    uint64_t lastProgress = platform::TickMs();
    while (platform::TickMs() < until) {
      if (FloodPass(UINT64_MAX)) lastProgress = platform::TickMs();
      MostWaiting = std::max(MostWaiting, Bridge->Waiting());
      if (MostWaiting > 2 * TDoorBridge::kHoldBytes) return false;
      if (platform::TickMs() - lastProgress >= 2000) return true;
    }
    return false;
  }
  // The door reads what has come, checking each byte against the board's
  // stream; false at the first byte that differs.
  bool DoorReads() {
    uint8_t buf[65536];
    const ssize_t n = recv(Door, buf, sizeof buf, MSG_DONTWAIT);
    for (ssize_t i = 0; i < n; ++i, ++AtDoor)
      if (buf[i] != FloodByte(AtDoor)) return false;
    return true;
  }
  // The door reads until Total bytes have come, while the board writes up
  // to Limit; false at the first byte that differs or when time runs out.
  bool DoorReadsAll(uint64_t total, uint64_t limit) {
    const uint64_t until = platform::TickMs() + 180000;
    while (AtDoor < total && platform::TickMs() < until) {
      FloodPass(limit);
      if (!DoorReads()) return false;
    }
    return AtDoor == total;
  }

  bool Ready = false;
  std::shared_ptr<TComBridgeTcp> Bridge;
  int Door = -1;
  testsupport::LoopbackListener Board;
  std::shared_ptr<TTelnetClient> Transport;
  std::unique_ptr<testsupport::LoopbackPeer> Peer;
  uint64_t Written = 0, Delivered = 0, AtDoor = 0;  // by the board, to the bridge, at the door
  size_t MostWaiting = 0;
};

TEST_F(DoorBridgeThreads, ADoorThatDoesNotReadHoldsTheBoardBackAndLaterGetsEveryByteInOrder) {
  DoorFlood flood(*this);
  ASSERT_TRUE(flood.Ready);
  ASSERT_TRUE(flood.FloodUntilBlocked()) << flood.Written << " bytes written, " << flood.MostWaiting << " waited";
  // The board's writes block with the bridge's queue at its high mark: the
  // rest waits in the sockets, for the board's own flow control.
  EXPECT_GE(flood.Bridge->Waiting(), TDoorBridge::kHoldBytes);
  EXPECT_LE(flood.MostWaiting, TDoorBridge::kHoldBytes + 64 * 1024);
  EXPECT_TRUE(flood.Transport->HoldReceive.load());

  // The door starts reading: every byte arrives, in order, while the board
  // writes on, and the board is let go once the queue has drained.
  const uint64_t total = flood.Written + 8 * 1024 * 1024;
  EXPECT_TRUE(flood.DoorReadsAll(total, total)) << "the door had " << flood.AtDoor << " of " << total << " bytes";
  EXPECT_EQ(flood.Bridge->Waiting(), 0u);
  EXPECT_FALSE(flood.Transport->HoldReceive.load());
  EXPECT_EQ(flood.Peer->ReadFor(100).size(), 0u) << "the door wrote nothing to the board";
}

TEST_F(DoorBridgeThreads, AHeldBoardIsLetGoWhenTheDoorSideEndsOrTheCallHangsUp) {
  enum class TEnd { DoorCloses, BridgeStops, CallHangsUp };
  const struct {
    const char* Name;
    TEnd How;
  } rows[] = {{"the door program closes its line", TEnd::DoorCloses},
              {"the door program exits and its bridge is stopped", TEnd::BridgeStops},
              {"the call hangs up", TEnd::CallHangsUp}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Name);
    DoorFlood flood(*this);
    ASSERT_TRUE(flood.Ready);
    ASSERT_TRUE(flood.FloodUntilBlocked());
    ASSERT_TRUE(flood.Transport->HoldReceive.load());
    const uint64_t blockedAt = flood.Written;
    if (r.How == TEnd::CallHangsUp) {
      // The transport ends although it was held, and the bridge keeps
      // nothing of it; what it delivered still reaches the door, in order.
      std::weak_ptr<TWireTransport> weak = flood.Transport;
      flood.Transport->HangUp();
      flood.Transport.reset();
      ASSERT_TRUE(testsupport::ServeUntil([&] { return weak.expired(); }, 20000));
      EXPECT_TRUE(flood.DoorReadsAll(flood.Delivered, 0))
          << "the door had " << flood.AtDoor << " of " << flood.Delivered << " bytes";
      EXPECT_EQ(flood.Bridge->Waiting(), 0u);
      continue;
    }
    if (r.How == TEnd::DoorCloses) {
      close(flood.Door);
      flood.Door = -1;
      ASSERT_TRUE(testsupport::ServeUntil([&] { return flood.Bridge->Finished(); }, 20000));
    } else {
      End(flood.Bridge);
    }
    // The door side is gone: the board is read again, what it sends is
    // dropped, and nothing is kept for a door that will never read it.
    EXPECT_FALSE(flood.Transport->HoldReceive.load());
    const uint64_t target = blockedAt + 4 * 1024 * 1024;
    EXPECT_TRUE(testsupport::ServeUntil([&] { return !flood.FloodPass(target) && flood.Written >= target; }, 60000))
        << flood.Written - blockedAt << " more bytes written";
    EXPECT_EQ(flood.Bridge->Waiting(), 0u);
  }
}

TEST_F(DoorBridgeThreads, TcpSetUpFailuresAreReported) {
  // The port is taken.
  testsupport::LoopbackListener taken;
  auto busy = TComBridgeTcp::Create(taken.Port());
  ASSERT_TRUE(busy);
  Wire(*busy);
  ASSERT_TRUE(testsupport::ServeUntil([&] { return busy->Finished(); }));
  End(busy);
  ASSERT_EQ(Status.size(), 1u) << Joined(Status);
  EXPECT_EQ(Status[0].rfind("TCP bridge: bind() to 127.0.0.1:" + std::to_string(taken.Port()) + " failed, error ", 0), 0u);
  EXPECT_NE(Status[0].find(" (port already in use?)"), std::string::npos) << Status[0];

  // The door program ends before the emulator dialed.
  Status.clear();
  auto waiting = TComBridgeTcp::Create(testsupport::FreeLoopbackPort());
  ASSERT_TRUE(waiting);
  Wire(*waiting);
  ASSERT_TRUE(testsupport::ServeUntil([&] { return !Status.empty(); }));
  End(waiting);
  EXPECT_EQ(Status.back(), "TCP bridge: door program exited before DOSBox connected") << Joined(Status);
}

}  // namespace
