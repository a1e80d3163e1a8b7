#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/Tick.h"

namespace testsupport {
namespace {

sockaddr_in LoopbackAddr(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// Milliseconds left until Until, at least 0.
int Left(uint64_t until) {
  uint64_t now = platform::TickMs();
  return now >= until ? 0 : int(until - now);
}

}  // namespace

std::string HexText(const Bytes& b) {
  std::string s;
  char h[4];
  for (uint8_t c : b) {
    std::snprintf(h, sizeof h, "%02X ", c);
    s += h;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

LoopbackPeer::~LoopbackPeer() { Close(); }

void LoopbackPeer::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void LoopbackPeer::Abort() {
  if (FFd < 0) return;
  linger l{1, 0};
  setsockopt(FFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

bool LoopbackPeer::Write(const Bytes& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::send(FFd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

Bytes LoopbackPeer::ReadWhile(int timeoutMs, size_t limit, const std::function<bool(const Bytes&)>& more) {
  Bytes out;
  uint64_t until = platform::TickMs() + uint64_t(timeoutMs);
  while (out.size() < limit && more(out)) {
    pollfd p{FFd, POLLIN, 0};
    if (poll(&p, 1, Left(until)) <= 0) break;
    uint8_t buf[4096];
    ssize_t n = ::recv(FFd, buf, std::min(sizeof buf, limit - out.size()), 0);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

Bytes LoopbackPeer::ReadExactly(size_t count, int timeoutMs) {
  return ReadWhile(timeoutMs, count, [](const Bytes&) { return true; });
}

Bytes LoopbackPeer::ReadUntil(const Bytes& pattern, int timeoutMs) {
  return ReadWhile(timeoutMs, SIZE_MAX, [&](const Bytes& out) {
    return std::search(out.begin(), out.end(), pattern.begin(), pattern.end()) == out.end();
  });
}

Bytes LoopbackPeer::ReadFor(int ms) {
  return ReadWhile(ms, SIZE_MAX, [](const Bytes&) { return true; });
}

bool LoopbackPeer::WaitClosed(int timeoutMs) {
  uint64_t until = platform::TickMs() + uint64_t(timeoutMs);
  for (;;) {
    pollfd p{FFd, POLLIN, 0};
    if (poll(&p, 1, Left(until)) <= 0) return false;
    uint8_t buf[4096];
    if (::recv(FFd, buf, sizeof buf, 0) <= 0) return true;
  }
}

LoopbackListener::LoopbackListener() {
  FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(FFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = LoopbackAddr(0);
  if (::bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(FFd, 16) != 0) {
    Close();
    return;
  }
  socklen_t len = sizeof a;
  getsockname(FFd, reinterpret_cast<sockaddr*>(&a), &len);
  FPort = ntohs(a.sin_port);
}

LoopbackListener::~LoopbackListener() { Close(); }

void LoopbackListener::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

std::unique_ptr<LoopbackPeer> LoopbackListener::Accept(int timeoutMs) {
  if (FFd < 0) return nullptr;
  pollfd p{FFd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return nullptr;
  int fd = ::accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return std::make_unique<LoopbackPeer>(fd);
}

StalledListener::StalledListener() {
  FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = LoopbackAddr(0);
  if (::bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(FFd, 0) != 0) return;
  socklen_t len = sizeof a;
  getsockname(FFd, reinterpret_cast<sockaddr*>(&a), &len);
  FPort = ntohs(a.sin_port);
  // Fill the accept queue (a backlog of 0 still holds one connection).
  for (int i = 0; i < 2; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in to = LoopbackAddr(FPort);
    ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    FFillers.push_back(fd);
    usleep(50000);
  }
}

StalledListener::~StalledListener() {
  for (int fd : FFillers) ::close(fd);
  if (FFd >= 0) ::close(FFd);
}

uint16_t FreeLoopbackPort() {
  LoopbackListener l;
  return l.Port();
}

uint16_t ClosedLoopbackPort() { return FreeLoopbackPort(); }

bool WaitForPort(uint16_t port, int timeoutMs) {
  // Looks for a listening socket in the kernel's table instead of connecting,
  // so a server that takes one connection only does not lose it to the probe.
  char want[16];
  std::snprintf(want, sizeof want, ":%04X", unsigned(port));
  uint64_t until = platform::TickMs() + uint64_t(timeoutMs);
  do {
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
      FILE* f = std::fopen(table, "r");
      if (!f) continue;
      char line[512];
      bool found = false;
      while (!found && std::fgets(line, sizeof line, f)) {
        char local[64], remote[64], state[8];
        if (std::sscanf(line, "%*d: %63s %63s %7s", local, remote, state) != 3) continue;
        std::string l = local;
        found = l.size() > 5 && l.compare(l.size() - 5, 5, want) == 0 && std::string(state) == "0A";
      }
      std::fclose(f);
      if (found) return true;
    }
    usleep(20000);
  } while (Left(until) > 0);
  return false;
}

}  // namespace testsupport
