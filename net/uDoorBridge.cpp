#include "net/uDoorBridge.h"
#include "core/uErrnoText.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/uDebugLog.h"

namespace {

constexpr size_t kReadSize = 4096;
// How long one pass waits for the door side when nothing else happens.
constexpr int kPassMs = 15;


}  // namespace

TDoorBridge::TDoorBridge(std::string logPrefix) : FLogPrefix(std::move(logPrefix)) {
  FPending.reserve(kReadSize);
  FReadBuf.resize(kReadSize);
}

TDoorBridge::~TDoorBridge() {
  // Nobody frees a bridge whose thread still runs, but a stop request and a
  // wait here keep a mistake from leaving the thread on a freed object.
  FStop = true;
  WaitFor();
}

void TDoorBridge::Write(const uint8_t* data, int count) {
  if (count <= 0) return;
  std::lock_guard<std::mutex> lock(FSendLock);
  FPending.insert(FPending.end(), data, data + count);
}

void TDoorBridge::ReportStatus(const std::string& text) {
  platform::Synchronize([this, &text] {
    const TWireTextEvent event = OnStatus;
    if (event) event(text);
  });
  LogLine(FLogPrefix + text);
}

bool TDoorBridge::FlushPending(int fd, bool socket, std::string& reason) {
  if (FOutHead >= FOut.size()) {
    FOut.clear();
    FOutHead = 0;
    std::lock_guard<std::mutex> lock(FSendLock);
    FOut.swap(FPending);
  }
  while (FOutHead < FOut.size()) {
    const uint8_t* data = FOut.data() + FOutHead;
    const size_t count = FOut.size() - FOutHead;
    const ssize_t n = socket ? send(fd, data, count, MSG_NOSIGNAL | MSG_DONTWAIT) : write(fd, data, count);
    if (n > 0) {
      FOutHead += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;  // the rest waits for the next pass
    reason = "write error " + ErrnoText(n < 0 ? errno : EIO);
    FOut.clear();
    FOutHead = 0;
    return false;
  }
  return true;
}

std::string TDoorBridge::Pump(int fd, bool socket) {
  std::string reason;
  while (!StopRequested()) {
    if (!FlushPending(fd, socket, reason)) LogLine(FLogPrefix + reason);
    pollfd p{fd, short(POLLIN | (FOutHead < FOut.size() ? POLLOUT : 0)), 0};
    const int ready = poll(&p, 1, kPassMs);
    if (ready <= 0) continue;  // nothing yet, or a signal: next pass
    if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const ssize_t n = socket ? recv(fd, FReadBuf.data(), FReadBuf.size(), MSG_DONTWAIT)
                             : read(fd, FReadBuf.data(), FReadBuf.size());
    if (n > 0) {
      const int count = int(n);
      // The buffer is reused only after the handler has returned.
      platform::Synchronize([this, count] {
        const TWireDataEvent event = OnData;
        if (event) event(FReadBuf.data(), count);
      });
      continue;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n == 0 && !socket && !(p.revents & POLLHUP)) continue;  // a terminal with nothing to give
    return n == 0 ? "the far end closed" : "read error " + ErrnoText(errno);
  }
  return "";
}
