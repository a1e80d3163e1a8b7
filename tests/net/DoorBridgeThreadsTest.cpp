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
#include <random>

#include "net/uComBridge.h"
#include "net/uComBridgeTcp.h"
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
 protected:
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
