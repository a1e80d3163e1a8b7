// Receive throughput of the Telnet transport over loopback: a board thread
// sends a fixed amount as fast as the socket takes it, the main thread plays
// the interface thread and counts what OnData delivers. Raw mode (no Telnet
// processing) is the baseline; Telnet mode on plain text and on text full of
// doubled IAC bytes and CR NUL pairs shows what the receive machine costs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "net/uTelnetClient.h"
#include "platform/Sync.h"

namespace {

constexpr size_t kStreamBytes = 64u << 20;

struct TResult {
  double Seconds;
  size_t Delivered;
};

TResult Measure(bool raw, const std::string& unit) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listener, 1);
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  const uint16_t port = ntohs(a.sin_port);

  std::string block;
  while (block.size() < 65536) block += unit;
  std::thread board([&] {
    int fd = accept(listener, nullptr, nullptr);
    for (size_t sent = 0; sent < kStreamBytes;) {
      ssize_t n = send(fd, block.data(), block.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += size_t(n);
    }
    // An orderly end: stop sending, then read what the client sent until it
    // closes, so no unread byte turns the close into a reset that would
    // throw away data the client has not read yet.
    shutdown(fd, SHUT_WR);
    char sink[4096];
    while (recv(fd, sink, sizeof sink, 0) > 0) {
    }
    close(fd);
  });

  size_t delivered = 0;
  bool ended = false;
  auto client = raw ? TTelnetClient::CreateRaw("127.0.0.1", port)
                    : TTelnetClient::Create("127.0.0.1", port, "ansi", 80, 25, false, false, "", "", "");
  client->OnData = [&](const uint8_t*, int count) { delivered += size_t(count); };
  client->OnDisconnected = [&](const std::string&) { ended = true; };
  const auto t0 = std::chrono::steady_clock::now();
  while (!ended) platform::CheckSynchronize(5);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  board.join();
  close(listener);
  return {s, delivered};
}

}  // namespace

int main() {
  platform::SetInterfaceThread();
  const std::string text = "The quick brown fox jumps over the lazy dog. 0123456789 ABCDEFGHIJ\r\n";
  std::string dense;  // every fourth byte is a doubled IAC or a CR NUL pair
  for (int i = 0; i < 16; ++i) dense += std::string("ab\xFF\xFF", 4) + std::string("cd\r\0", 4);

  const TResult base = Measure(true, text);
  std::printf("%-28s %8.1f MiB/s  (%zu bytes delivered)\n", "raw, plain text", kStreamBytes / 1048576.0 / base.Seconds,
              base.Delivered);
  struct {
    const char* Name;
    const std::string& Unit;
  } rows[] = {{"telnet, plain text", text}, {"telnet, IAC and CR NUL dense", dense}};
  for (const auto& row : rows) {
    const TResult r = Measure(false, row.Unit);
    std::printf("%-28s %8.1f MiB/s  (%zu bytes delivered)  %.2fx the raw time\n", row.Name,
                kStreamBytes / 1048576.0 / r.Seconds, r.Delivered, r.Seconds / base.Seconds);
  }
  return 0;
}
