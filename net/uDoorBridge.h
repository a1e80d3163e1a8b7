// What the two door bridges share: a thread that pumps bytes between the
// live call and a local door program's serial line (a serial device or the
// loopback socket a DOS emulator's null-modem dials). Bytes from the board
// are queued by Write on any thread and written by the bridge thread;
// partial writes are completed, and a door that reads slowly holds the rest
// back instead of losing it. Bytes from the door reach OnData on the
// interface thread, and each read waits until the handler returned, so a
// slow call holds the door back in the same way.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/uWireTransport.h"
#include "platform/Thread.h"

class TDoorBridge : public platform::Thread {
 public:
  ~TDoorBridge() override;

  // Any thread: queue bytes for the door program.
  void Write(const uint8_t* data, int count);
  // Asks the bridge to end; returns at once. The owner then waits for the
  // thread (WaitFor serves its last reports) and frees it.
  void Stop() { FStop = true; }

  // Assigned by the creator on the interface thread right after creation.
  TWireDataEvent OnData;
  TWireTextEvent OnStatus;

 protected:
  explicit TDoorBridge(std::string logPrefix);

  bool StopRequested() const { return FStop.load() || Terminated(); }
  // Bridge thread: hands Text to OnStatus and writes it to the log.
  void ReportStatus(const std::string& text);
  // Bridge thread: relays between the queue and OnData and the door side on
  // Fd until a stop request, a read failure or the door side's end; the
  // reason the relay ended (empty after a stop request).
  std::string Pump(int fd, bool socket);

 private:
  // Bridge thread: takes what Write queued and writes as much of it as Fd
  // takes now; false after a write failure (the rest is then dropped).
  bool FlushPending(int fd, bool socket, std::string& reason);

  const std::string FLogPrefix;
  std::atomic<bool> FStop{false};
  std::mutex FSendLock;           // guards FPending only
  std::vector<uint8_t> FPending;  // queued by Write
  std::vector<uint8_t> FOut;      // bridge thread: taken from FPending, not yet written
  size_t FOutHead = 0;
  std::vector<uint8_t> FReadBuf;
};
