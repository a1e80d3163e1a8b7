// What waits to be sent to a board stays bounded: a board that floods
// requests and never reads cannot make the program's memory grow, and its
// call ends with a text saying why; a long paste to a board that reads
// slowly still arrives whole and in order, with the board's echo heard
// meanwhile. Real loopback boards, the transport's own threads.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "TelnetFixture.h"

using namespace telnettest;

namespace {

constexpr uint32_t kTestStallMs = 2000;

// The process's resident memory in KiB, from /proc/self/status.
long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "VmRSS:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// A board that never reads: once called, it sends its pattern again and
// again, as fast as the call takes it, until it has sent Cap bytes, the call
// is gone or the test ends.
class DeafBoard {
 public:
  DeafBoard(const Bytes& pattern, uint64_t cap) : FPattern(pattern), FCap(cap), FThread([this] { Run(); }) {}
  ~DeafBoard() {
    FStop = true;
    FThread.join();
  }
  uint16_t Port() const { return FListener.Port(); }
  uint64_t Sent() const { return FSent.load(); }

 private:
  void Run() {
    std::unique_ptr<testsupport::LoopbackPeer> peer;
    while (!FStop && !peer) peer = FListener.Accept(50);
    if (!peer) return;
    const int fd = peer->Fd();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    Bytes chunk;
    while (chunk.size() < 65536) chunk.insert(chunk.end(), FPattern.begin(), FPattern.end());
    size_t offset = 0;  // where in the chunk the next send starts, so requests stay whole
    while (!FStop && FSent < FCap) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 20) < 0) break;
      if (p.revents & (POLLERR | POLLHUP)) break;
      if (!(p.revents & POLLOUT)) continue;
      ssize_t n = send(fd, chunk.data() + offset, chunk.size() - offset, MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
      if (n <= 0) continue;
      FSent += uint64_t(n);
      offset = (offset + size_t(n)) % chunk.size();
    }
    while (!FStop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  const Bytes FPattern;
  const uint64_t FCap;
  testsupport::LoopbackListener FListener;
  std::atomic<bool> FStop{false};
  std::atomic<uint64_t> FSent{0};
  std::thread FThread;
};

class SendQueueThreads : public TelnetFixture {};

}  // namespace

TEST_F(SendQueueThreads, ABoardThatFloodsRequestsAndNeverReadsIsCutOffWithMemoryBounded) {
  const Bytes doNaws = {0xFF, 0xFD, 0x1F}, dontNaws = {0xFF, 0xFE, 0x1F};
  const Bytes ttypeSend = {0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0};
  const Bytes doRefused = {0xFF, 0xFD, 0x05}, willRefused = {0xFF, 0xFB, 0xC8};
  const Bytes doBinary = {0xFF, 0xFD, 0x00}, dontBinary = {0xFF, 0xFE, 0x00};
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  struct TCase {
    const char* Name;
    Bytes Pattern;
  };
  const TCase cases[] = {
      // Each asks for the same answer every time: it is queued once.
      {"the same requests over and over", join({doNaws, ttypeSend, doRefused, willRefused})},
      // Every answer differs from the one before it about the same option,
      // so the queue grows until the board is no longer read.
      {"an option switched on and off", join({doNaws, dontNaws, doBinary, dontBinary})},
  };
  constexpr uint64_t kCap = uint64_t(256) << 20;
  constexpr long kAllowedGrowthKb = 48 * 1024;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    DeafBoard board(c.Pattern, kCap);
    const long before = ResidentKb();
    ASSERT_GT(before, 0);
    TCall call(DialTelnet(board.Port()));
    call.Client->SendStallMs = kTestStallMs;
    ASSERT_TRUE(call.WaitConnected());
    long peak = before;
    const uint64_t start = platform::TickMs();
    testsupport::ServeUntil(
        [&] {
          peak = std::max(peak, ResidentKb());
          return call.Log->Disconnected();
        },
        120000);
    ASSERT_TRUE(call.Log->Disconnected()) << "sent " << board.Sent() << " bytes, memory grew by "
                                          << (peak - before) << " KiB";
    EXPECT_EQ(call.Log->DisconnectText(), "Disconnected - the BBS stopped reading (nothing could be sent for 2 s)");
    EXPECT_GE(platform::TickMs() - start, kTestStallMs);
    EXPECT_GT(board.Sent(), uint64_t(2) << 20);
    EXPECT_LT(peak - before, kAllowedGrowthKb) << "after " << board.Sent() << " bytes of requests";
    EXPECT_TRUE(call.WaitFreed());
  }
}

TEST_F(SendQueueThreads, ALongPasteToABoardThatReadsSlowlyArrivesWholeWhileItsEchoIsHeard) {
  testsupport::LoopbackListener listener;
  TCall call(DialTelnet(listener.Port()));
  call.Client->SendStallMs = kTestStallMs;
  auto peer = listener.Accept();
  ASSERT_NE(peer, nullptr);
  ASSERT_TRUE(call.WaitConnected());
  ASSERT_EQ(ReadServing(*peer, kOffers.size()), kOffers);

  // Longer than any limit of the queue; no CR or IAC, so it leaves unchanged.
  Bytes paste(size_t(20) << 20);
  for (size_t i = 0; i < paste.size(); ++i) paste[i] = i % 61 == 60 ? '\n' : uint8_t('a' + (i * 7) % 26);
  call.Client->SendBytes(paste.data(), int(paste.size()));

  // The board takes 16 KiB at a time with a pause between, and echoes a
  // line for every 512 KiB it has taken.
  Bytes got;
  got.reserve(paste.size());
  std::atomic<bool> done{false};
  std::atomic<size_t> taken{0};
  int echoes = 0;
  std::thread board([&] {
    const uint64_t until = platform::TickMs() + 150000;
    size_t echoedAt = 0;
    std::vector<uint8_t> buf(16384);
    while (got.size() < paste.size() && platform::TickMs() < until) {
      pollfd p{peer->Fd(), POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      ssize_t n = recv(peer->Fd(), buf.data(), buf.size(), 0);
      if (n <= 0) break;
      got.insert(got.end(), buf.begin(), buf.begin() + n);
      taken = got.size();
      if (got.size() - echoedAt >= 512 * 1024) {
        echoedAt = got.size();
        const std::string line = "echo " + std::to_string(++echoes) + "\n";
        send(peer->Fd(), line.data(), line.size(), MSG_NOSIGNAL);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done = true;
  });
  size_t takenAtFirstEcho = 0;
  testsupport::ServeUntil(
      [&] {
        if (takenAtFirstEcho == 0 && call.Log->Data.find("echo 1\n") != std::string::npos)
          takenAtFirstEcho = taken.load();
        return done.load();
      },
      160000);
  board.join();

  ASSERT_EQ(got.size(), paste.size());
  EXPECT_TRUE(got == paste) << "the paste arrived changed or out of order";
  const std::string last = "echo " + std::to_string(echoes) + "\n";
  EXPECT_TRUE(testsupport::ServeUntil([&] { return call.Log->Data.find(last) != std::string::npos; }, 10000));
  EXPECT_GE(echoes, 30);
  // Heard while most of the paste still waited, not once it had gone.
  EXPECT_GT(takenAtFirstEcho, 0u);
  EXPECT_LT(takenAtFirstEcho, paste.size() / 2);
  EXPECT_FALSE(call.Log->Disconnected()) << call.Log->DisconnectText();
  EXPECT_EQ(call.Client->BytesSent.load(), int64_t(paste.size()));
}

TEST_F(SendQueueThreads, AnswersQueuedBehindAPasteAreSentOnceEachInTheOrderAsked) {
  testsupport::LoopbackListener listener;
  TCall call(DialTelnet(listener.Port(), "ansi", 80, 25));
  auto peer = listener.Accept();
  ASSERT_NE(peer, nullptr);
  ASSERT_TRUE(call.WaitConnected());

  // The board reads nothing until the paste has backed up behind the
  // network, then asks for NAWS, refuses it, asks again, and asks twice.
  Bytes paste(size_t(12) << 20, 'p');
  call.Client->SendBytes(paste.data(), int(paste.size()));
  testsupport::ServeFor(300);
  ASSERT_TRUE(peer->Write(Bytes{0xFF, 0xFD, 0x1F, 0xFF, 0xFE, 0x1F, 0xFF, 0xFD, 0x1F, 0xFF, 0xFD, 0x1F}));
  testsupport::ServeFor(300);

  // WILL NAWS and the size; WONT NAWS; WILL NAWS and the size again. The
  // last request's size is the one still waiting: it goes once.
  const Bytes size = {0xFF, 0xFA, 0x1F, 0x00, 0x50, 0x00, 0x19, 0xFF, 0xF0};
  Bytes expected = kOffers;
  expected.insert(expected.end(), paste.begin(), paste.end());
  for (const Bytes& part : {Bytes{0xFF, 0xFB, 0x1F}, size, Bytes{0xFF, 0xFC, 0x1F}, Bytes{0xFF, 0xFB, 0x1F}, size})
    expected.insert(expected.end(), part.begin(), part.end());
  Bytes got = ReadServing(*peer, expected.size(), 60000);
  Bytes more = ReadAllServing(*peer, 300);
  got.insert(got.end(), more.begin(), more.end());
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + std::ptrdiff_t(kOffers.size() + paste.size()), expected.begin()));
  EXPECT_EQ(testsupport::HexText(Bytes(got.end() - 30, got.end())),
            testsupport::HexText(Bytes(expected.end() - 30, expected.end())));
}
