// Test helpers for talking to code under test over real loopback sockets: a
// listener on 127.0.0.1 with a free port, and the accepted peer with reads
// and writes that time out instead of hanging a test.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline std::string ToString(const Bytes& b) { return std::string(b.begin(), b.end()); }
// "FF FB 03" for failure messages.
std::string HexText(const Bytes& b);

// One accepted (or connected) TCP socket, closed when destroyed.
class LoopbackPeer {
 public:
  explicit LoopbackPeer(int fd) : FFd(fd) {}
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  int Fd() const { return FFd; }
  bool Write(const Bytes& data);
  bool Write(const std::string& data) { return Write(ToBytes(data)); }
  // Exactly Count bytes, or fewer when the time runs out or the far end closes.
  Bytes ReadExactly(size_t count, int timeoutMs = 5000);
  // Everything that arrives until Pattern has been seen (included) or the time
  // runs out.
  Bytes ReadUntil(const Bytes& pattern, int timeoutMs = 5000);
  Bytes ReadUntil(const std::string& pattern, int timeoutMs = 5000) { return ReadUntil(ToBytes(pattern), timeoutMs); }
  // Everything that arrives within the time (for "nothing more came" checks).
  Bytes ReadFor(int ms);
  // True when the far end has closed (end of stream or reset) within the time;
  // data arriving meanwhile is discarded.
  bool WaitClosed(int timeoutMs = 5000);
  // Closes with a reset instead of an orderly end of stream.
  void Abort();
  void Close();

 private:
  // Reads while More(what came so far) holds, up to Limit bytes, until the
  // time runs out or the stream ends.
  Bytes ReadWhile(int timeoutMs, size_t limit, const std::function<bool(const Bytes&)>& more);

  int FFd;
};

// A TCP listener on 127.0.0.1 with a port chosen by the system.
class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  uint16_t Port() const { return FPort; }
  // Null when nobody connected within the time.
  std::unique_ptr<LoopbackPeer> Accept(int timeoutMs = 5000);
  void Close();

 private:
  int FFd = -1;
  uint16_t FPort = 0;
};

// A listener whose accept queue is full and which never accepts: a new
// connect to it stays in progress (the kernel drops its SYNs), as with a
// host that does not answer.
class StalledListener {
 public:
  StalledListener();
  ~StalledListener();
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;
  uint16_t Port() const { return FPort; }

 private:
  int FFd = -1;
  uint16_t FPort = 0;
  std::vector<int> FFillers;
};

// A port that was free a moment ago (for servers that must be told a port).
uint16_t FreeLoopbackPort();
// True once something accepts connections on 127.0.0.1:Port.
bool WaitForPort(uint16_t port, int timeoutMs = 5000);
// A loopback port on which nothing listens (connects are refused).
uint16_t ClosedLoopbackPort();

}  // namespace testsupport
