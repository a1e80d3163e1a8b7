// What the two door bridges share: a thread that pumps bytes between the
// live call and a local door program's serial line (a serial device or the
// loopback socket a DOS emulator's null-modem dials). Bytes from the board
// are queued by Write on any thread and written by the bridge thread;
// partial writes are completed, and a door that reads slowly holds the rest
// back instead of losing it. Bytes from the door reach OnData on the
// interface thread, and each read waits until the handler returned, so a
// slow call holds the door back in the same way. A door that does not read
// holds the board back too: past kHoldBytes waiting for the door, the
// transport the bytes came from stops reading the board until the door has
// taken all but kResumeBytes, so the board's own flow control holds it and
// memory stays bounded. Once the door side is gone (or never came), whatever
// is still written is dropped and the board is no longer held.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/uWireTransport.h"
#include "platform/Thread.h"

class TDoorBridge : public platform::Thread {
 public:
  // Waiting bytes at which the board's transport is held, and at which it is
  // let go again.
  static constexpr size_t kHoldBytes = TSendQueue::kHoldBackBytes;
  static constexpr size_t kResumeBytes = kHoldBytes / 2;

  ~TDoorBridge() override;

  // Any thread: queue bytes for the door program. Source, when given, is the
  // transport they came from, the one held while too much waits.
  void Write(const uint8_t* data, int count, const std::shared_ptr<TWireTransport>& source = nullptr);
  // Any thread: bytes queued for the door program that it has not taken yet.
  size_t Waiting();
  // Asks the bridge to end; returns at once. The owner then waits for the
  // thread (WaitFor serves its last reports) and frees it.
  void Stop() { FStop = true; }

  // Assigned by the creator on the interface thread right after creation.
  TWireDataEvent OnData;
  TWireTextEvent OnStatus;

 protected:
  explicit TDoorBridge(std::string logPrefix);

  // Bridge thread: opens the door side, relays until it ends, and reports.
  virtual void Bridge() = 0;
  bool StopRequested() const { return FStop.load() || Terminated(); }
  // Bridge thread: hands Text to OnStatus and writes it to the log.
  void ReportStatus(const std::string& text);
  // Bridge thread: relays between the queue and OnData and the door side on
  // Fd until a stop request, a read failure or the door side's end; the
  // reason the relay ended (empty after a stop request).
  std::string Pump(int fd, bool socket);

 private:
  void Execute() final;
  // Bridge thread: takes what Write queued and writes as much of it as Fd
  // takes now; false after a write failure (the rest is then dropped).
  bool FlushPending(int fd, bool socket, std::string& reason);
  // Bridge thread: Count queued bytes have been written or dropped; lets
  // the held transport go once few enough wait. Takes FSendLock.
  void Taken(size_t count);
  // FSendLock held: lets the held transport read again.
  void ReleaseHoldLocked();

  const std::string FLogPrefix;
  std::atomic<bool> FStop{false};
  std::mutex FSendLock;           // guards FPending, FWaiting, FClosed and FHeld
  std::vector<uint8_t> FPending;  // queued by Write
  size_t FWaiting = 0;            // FPending plus what FOut has not written yet
  bool FClosed = false;           // the door side has ended: Write drops its bytes
  std::weak_ptr<TWireTransport> FHeld;  // the transport held back, if any
  std::vector<uint8_t> FOut;      // bridge thread: taken from FPending, not yet written
  size_t FOutHead = 0;
  std::vector<uint8_t> FReadBuf;
};
