#include "net/uDoorBridge.h"
#include "core/uErrnoText.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/uDebugLog.h"

namespace {

constexpr size_t kReadSize = 4096;
// How long one pass waits for the door side when nothing else happens.
constexpr int kPassMs = 15;
// A written block larger than this is freed rather than kept for reuse.
constexpr size_t kKeptCapacity = 256 * 1024;


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

void TDoorBridge::Write(const uint8_t* data, int count, const std::shared_ptr<TWireTransport>& source) {
  if (count <= 0) return;
  std::lock_guard<std::mutex> lock(FSendLock);
  if (FClosed) return;  // no door side will ever take them
  FPending.insert(FPending.end(), data, data + count);
  FWaiting += size_t(count);
  if (FWaiting < kHoldBytes || !source) return;
  // The bytes now come from this transport: an earlier one held (a call
  // that has ended) is let go, and this one stops reading the board.
  if (FHeld.lock() != source) ReleaseHoldLocked();
  source->HoldReceive = true;
  FHeld = source;
}

size_t TDoorBridge::Waiting() {
  std::lock_guard<std::mutex> lock(FSendLock);
  return FWaiting;
}

void TDoorBridge::ReleaseHoldLocked() {
  if (std::shared_ptr<TWireTransport> held = FHeld.lock()) held->HoldReceive = false;
  FHeld.reset();
}

void TDoorBridge::Taken(size_t count) {
  std::lock_guard<std::mutex> lock(FSendLock);
  FWaiting -= std::min(count, FWaiting);
  if (FWaiting <= kResumeBytes) ReleaseHoldLocked();
}

void TDoorBridge::Execute() {
  Bridge();
  // The door side is gone: what waits for it is dropped, nothing more is
  // kept, and the board is read again.
  std::lock_guard<std::mutex> lock(FSendLock);
  FClosed = true;
  std::vector<uint8_t>().swap(FPending);
  std::vector<uint8_t>().swap(FOut);
  FOutHead = 0;
  FWaiting = 0;
  ReleaseHoldLocked();
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
    // A large written block is not kept: a door that was slow once does not
    // hold its peak in memory for the rest of the run.
    if (FOut.capacity() > kKeptCapacity) std::vector<uint8_t>().swap(FOut);
    FOut.clear();
    FOutHead = 0;
    std::lock_guard<std::mutex> lock(FSendLock);
    FOut.swap(FPending);
  }
  const size_t before = FOutHead;
  bool ok = true;
  while (FOutHead < FOut.size()) {
    const uint8_t* data = FOut.data() + FOutHead;
    const size_t count = FOut.size() - FOutHead;
    const ssize_t n = socket ? send(fd, data, count, MSG_NOSIGNAL | MSG_DONTWAIT) : write(fd, data, count);
    if (n > 0) {
      FOutHead += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;  // the rest waits for the next pass
    reason = "write error " + ErrnoText(n < 0 ? errno : EIO);
    FOutHead = FOut.size();  // dropped
    ok = false;
    break;
  }
  if (FOutHead > before) Taken(FOutHead - before);
  return ok;
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
