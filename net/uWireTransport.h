// The live connection to a board, whatever its protocol: a worker thread that
// connects, reports, receives and tears down, and frees itself when its body
// ends. The interface thread only sends, asks it to stop and changes the
// window size; every report reaches the interface thread through a waiting
// Synchronize, so every handler runs there, in the order raised.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/uSendQueue.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

// Received payload: only the first Count bytes are valid, and only during
// the call. Also used by the transfer engines and the door bridges.
using TWireDataEvent = std::function<void(const uint8_t* data, int count)>;
// One message text: status, connected, disconnected.
using TWireTextEvent = std::function<void(const std::string& msg)>;

class TWireTransport : public platform::Thread {
 public:
  TWireTransport() : platform::Thread(kTransportStackSize) { SetFreeOnTerminate(true); }

  // Queue bytes for sending; never blocks on the network.
  virtual void SendBytes(const uint8_t* data, int count) = 0;
  virtual void SendString(const std::string& s) = 0;
  // Ask for the end of the call; returns at once.
  virtual void Disconnect() = 0;
  // Any thread: bytes handed to SendBytes that have not left yet.
  virtual size_t SendBacklog() = 0;
  // Any thread: whether a producer of outgoing bytes is to wait before it
  // hands over more (SendBytes itself never waits).
  bool SendHeldBack() { return SendBacklog() >= TSendQueue::kHoldBackBytes; }
  // The terminal size changed; each protocol tells the far end its own way.
  virtual void SetWindowSize(uint16_t cols, uint16_t rows) = 0;

  // Interface thread: end the call and hear nothing more of it. The four
  // events are emptied before the stop request, so no data, status or
  // connected report of this call can reach whatever call comes next.
  void HangUp() {
    OnData = nullptr;
    OnStatus = nullptr;
    OnConnected = nullptr;
    OnDisconnected = nullptr;
    Disconnect();
  }

  std::atomic<bool> Connected{false};
  std::atomic<int64_t> BytesSent{0};  // payload handed to SendBytes, before escaping
  std::atomic<bool> RemoteClosed{false};
  // How long queued bytes may wait with none of them leaving before the
  // call is ended as one the far end has stopped reading.
  std::atomic<uint32_t> SendStallMs{TSendQueue::kStallMs};
  // Set by whoever takes the received bytes while it cannot take more (a
  // door program's bridge that is full): the far end is then not read, so
  // its own flow control holds it back, while sending goes on.
  std::atomic<bool> HoldReceive{false};

  // Assigned by the creator on the interface thread right after creation,
  // and read only there.
  TWireDataEvent OnData;
  TWireTextEvent OnStatus;
  TWireTextEvent OnConnected;
  TWireTextEvent OnDisconnected;

 protected:
  enum class TReportKind { rkStatus = 0, rkConnected = 1, rkDisconnected = 2 };

  // Transport thread: hand one report to the interface thread and wait until
  // its handler has run. An empty event is skipped. The disconnected report
  // is the last one: whatever a body raises after it is dropped, so a second
  // one can never reach the application.
  void Report(TReportKind kind, const std::string& text) {
    if (FEndReported) return;
    if (kind == TReportKind::rkDisconnected) FEndReported = true;
    platform::Synchronize([this, kind, &text] {
      // A copy: the handler may empty or replace the field (HangUp) while it runs.
      const TWireTextEvent event = kind == TReportKind::rkConnected      ? OnConnected
                                    : kind == TReportKind::rkDisconnected ? OnDisconnected
                                                                          : OnStatus;
      if (event) event(text);
    });
  }

  // Transport thread: hand received bytes to OnData; the buffer may be reused
  // as soon as this returns. Nothing is raised for a count of 0.
  void DeliverData(const uint8_t* data, int count) {
    if (count <= 0 || FEndReported) return;
    platform::Synchronize([this, data, count] {
      const TWireDataEvent event = OnData;
      if (event) event(data, count);
    });
  }

  // Transport thread: whether the disconnected report has been raised.
  bool EndReported() const { return FEndReported; }

  // Transport threads that move queued bytes out of the lock's reach keep
  // their count here, for SendBacklog.
  std::atomic<size_t> FWriteQueued{0};

 private:
  bool FEndReported = false;  // transport thread only
};

using TWireTransportPtr = std::shared_ptr<TWireTransport>;
