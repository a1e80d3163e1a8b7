#include "net/uComBridgeTcp.h"
#include "core/uErrnoText.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/uDebugLog.h"
#include "platform/Tick.h"

namespace {

constexpr int kAwaitPollMs = 200;


}  // namespace

std::shared_ptr<TComBridgeTcp> TComBridgeTcp::Create(uint16_t port) {
  std::shared_ptr<TComBridgeTcp> bridge(new TComBridgeTcp(port));
  if (!bridge->Start()) return nullptr;
  return bridge;
}

TComBridgeTcp::TComBridgeTcp(uint16_t port) : TDoorBridge("COMBRIDGETCP: "), FPort(port) {}

int TComBridgeTcp::Listen(std::string& status) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    status = "TCP bridge: socket() failed, error " + ErrnoText(errno);
    return -1;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(FPort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    status = "TCP bridge: bind() to 127.0.0.1:" + std::to_string(FPort) + " failed, error " + ErrnoText(errno) +
             " (port already in use?)";
    close(fd);
    return -1;
  }
  if (listen(fd, 1) != 0) {
    status = "TCP bridge: listen() failed, error " + ErrnoText(errno);
    close(fd);
    return -1;
  }
  return fd;
}

int TComBridgeTcp::AwaitClient(int listenFd, std::string& status) {
  const uint64_t until = platform::TickMs() + kAwaitClientMs;
  for (;;) {
    if (StopRequested()) {
      status = "TCP bridge: door program exited before DOSBox connected";
      return -1;
    }
    if (platform::TickMs() >= until) {
      status = "TCP bridge: no connection from DOSBox within " + std::to_string(kAwaitClientMs / 1000) +
               "s - is serial1=nullmodem server:127.0.0.1 port:" + std::to_string(FPort) +
               " transparent:1 in its conf?";
      return -1;
    }
    pollfd p{listenFd, POLLIN, 0};
    const int ready = poll(&p, 1, kAwaitPollMs);
    if (ready < 0 && errno != EINTR) {
      status = "TCP bridge: select() failed, error " + ErrnoText(errno);
      return -1;
    }
    if (ready <= 0) continue;
    const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) {
      status = "TCP bridge: accept() failed, error " + ErrnoText(errno);
      return -1;
    }
    // Serial bytes go out as they come: a door's keystroke echo must not
    // wait for more.
    const int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return client;
  }
}

void TComBridgeTcp::Bridge() {
  std::string status;
  const int listenFd = Listen(status);
  if (listenFd < 0) {
    ReportStatus(status);
    return;
  }
  ReportStatus("TCP bridge listening on 127.0.0.1:" + std::to_string(FPort) + " - waiting for DOSBox");
  const int client = AwaitClient(listenFd, status);
  if (client < 0) {
    close(listenFd);
    ReportStatus(status);
    return;
  }
  ReportStatus("Bridging live session to DOSBox over 127.0.0.1:" + std::to_string(FPort));
  const std::string reason = Pump(client, true);
  close(client);
  close(listenFd);
  if (!reason.empty()) LogLine("COMBRIDGETCP: TCP bridge: " + reason);
  ReportStatus("TCP bridge closed");
}
