// Shared pieces of the Telnet transport tests: the test thread plays the
// interface thread, a loopback listener plays the board.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/uTelnetClient.h"
#include "platform/Sync.h"
#include "platform/Tick.h"
#include "tests/support/Loopback.h"
#include "tests/support/Serve.h"
#include "tests/support/TransportRecorder.h"

namespace telnettest {

using testsupport::Bytes;
using testsupport::ToBytes;

// The client's opening offers: WILL SGA, DO SGA, WILL BINARY, DO BINARY,
// DO ECHO, WILL TTYPE.
inline const Bytes kOffers = {0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x00,
                              0xFF, 0xFD, 0x00, 0xFF, 0xFD, 0x01, 0xFF, 0xFB, 0x18};

// One call: the client, its recorded events, and a weak reference that
// shows when the transport has freed itself.
struct TCall {
  std::shared_ptr<TTelnetClient> Client;
  std::shared_ptr<testsupport::TransportLog> Log;
  std::weak_ptr<TTelnetClient> Weak;

  explicit TCall(std::shared_ptr<TTelnetClient> client)
      : Client(std::move(client)), Log(testsupport::RecordTransport(*Client)), Weak(Client) {}
  // No transport thread outlives its test: it is asked to stop and waited for.
  ~TCall() {
    if (Client) Client->Disconnect();
    WaitFreed();
  }
  TCall(const TCall&) = delete;
  TCall& operator=(const TCall&) = delete;

  bool WaitConnected(uint32_t ms = 10000) {
    return testsupport::ServeUntil([&] { return Log->WasConnected() || Log->Disconnected(); }, ms) &&
           Log->WasConnected();
  }
  bool WaitDisconnected(uint32_t ms = 10000) {
    return testsupport::ServeUntil([&] { return Log->Disconnected(); }, ms);
  }
  // Lets go of the client as the application does and waits until its
  // thread has ended and freed it.
  bool WaitFreed(uint32_t ms = 10000) {
    Client.reset();
    return testsupport::ServeUntil([&] { return Weak.expired(); }, ms);
  }
};

// A plain Telnet call to a loopback board.
inline std::shared_ptr<TTelnetClient> DialTelnet(uint16_t port, const std::string& termType = "ansi",
                                                 uint16_t cols = 80, uint16_t rows = 25) {
  return TTelnetClient::Create("127.0.0.1", port, termType, cols, rows, false, false, "", "", "");
}

class TelnetFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
    platform::CheckSynchronize(0);
  }

  // Reads from the board's side while serving the client's calls, so a
  // client waiting to hand over data can go on sending replies.
  static Bytes ReadServing(testsupport::LoopbackPeer& peer, size_t count, uint32_t ms = 5000) {
    Bytes got;
    uint64_t until = platform::TickMs() + ms;
    while (got.size() < count && platform::TickMs() < until) {
      Bytes part = peer.ReadExactly(count - got.size(), 5);
      got.insert(got.end(), part.begin(), part.end());
      platform::CheckSynchronize(1);
    }
    return got;
  }
  // Everything the board receives within the time, serving meanwhile.
  static Bytes ReadAllServing(testsupport::LoopbackPeer& peer, uint32_t ms) {
    Bytes got;
    uint64_t until = platform::TickMs() + ms;
    while (platform::TickMs() < until) {
      Bytes part = peer.ReadFor(5);
      got.insert(got.end(), part.begin(), part.end());
      platform::CheckSynchronize(1);
    }
    return got;
  }
};

}  // namespace telnettest
