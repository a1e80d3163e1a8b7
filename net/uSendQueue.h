// Bytes waiting to leave for the far end of a call, in the order given.
// A board that never reads must not make this grow without end: a queue
// past its limits tells the transport to stop reading from the board (so
// nothing the board sends can make us queue more answers), a reply that is
// still waiting is not queued a second time, and a queue that stays stuck is
// noticed so the call can be ended. It is not locked itself: its owner
// guards it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class TSendQueue {
 public:
  // Past this many waiting bytes the far end is read only while some of
  // them have left within kReadGraceMs: an echoing board is still heard
  // while a long paste goes out, one that takes nothing is not.
  static constexpr size_t kReadPauseBytes = size_t(1) << 20;
  static constexpr uint32_t kReadGraceMs = 500;
  // Past this many the far end is not read at all until the queue shrinks.
  static constexpr size_t kReadStopBytes = size_t(16) << 20;
  // Past this many waiting bytes whoever produces them is held back (a
  // caller relayed to the board, a script sending, a door program's
  // bridge) until the far end has taken some, so memory stays bounded
  // however long the far end does not read.
  static constexpr size_t kHoldBackBytes = size_t(16) << 20;
  // Bytes waiting this long with none of them leaving: the far end has
  // stopped reading.
  static constexpr uint32_t kStallMs = 60000;

  bool Empty() const { return FHead == FBytes.size(); }
  size_t Size() const { return FBytes.size() - FHead; }
  const uint8_t* Data() const { return FBytes.data() + FHead; }

  void Append(const uint8_t* data, size_t count);
  // Appends a reply about Topic (a Telnet option, say), unless the last
  // reply about it is this same one and still waits wholly unsent: then
  // nothing is appended and the answer is false.
  bool AppendReply(const uint8_t* data, size_t count, uint8_t topic);
  // The first Count bytes have been written.
  void Consume(size_t count);
  void Clear();

  // Whether the transport may read from the far end now.
  bool MayRead(uint64_t now) const {
    return Size() < kReadPauseBytes || (Size() < kReadStopBytes && now - FWaitSince < kReadGraceMs);
  }
  // Bytes have been waiting, with none of them leaving, for LimitMs or more.
  bool Stalled(uint64_t now, uint32_t limitMs) const { return !Empty() && now - FWaitSince >= limitMs; }
  // Milliseconds from Now until Stalled(LimitMs) holds; 0 once it does.
  uint64_t StallsIn(uint64_t now, uint32_t limitMs) const {
    const uint64_t waited = now - FWaitSince;
    return waited >= limitMs ? 0 : limitMs - waited;
  }

 private:
  struct TReply {
    uint64_t Start = 0;  // queue position of its first byte
    size_t Length = 0;   // 0: none queued yet
  };

  std::vector<uint8_t> FBytes;
  size_t FHead = 0;          // FBytes before this have left
  uint64_t FLeft = 0;        // bytes that have left since the start
  uint64_t FWaitSince = 0;   // when the front last moved, or bytes began to wait
  std::array<TReply, 256> FLastReply{};  // the newest reply about each topic
};
