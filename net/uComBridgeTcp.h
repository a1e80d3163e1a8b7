// The loopback door bridge: listens on 127.0.0.1 for the null-modem serial
// port of a DOS emulator (DOSBox's "serial1=nullmodem server:127.0.0.1
// port:N transparent:1", which sends the serial bytes alone, without its
// control-line messages), waits for it to dial, and relays between that
// connection and the live call until stopped.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "net/uDoorBridge.h"

class TComBridgeTcp : public TDoorBridge {
 public:
  // How long the emulator may take to dial.
  static constexpr uint32_t kAwaitClientMs = 90000;

  // Creates the bridge and starts its thread; null when no thread could start.
  static std::shared_ptr<TComBridgeTcp> Create(uint16_t port);

 protected:
  void Bridge() override;

 private:
  explicit TComBridgeTcp(uint16_t port);
  // The listening socket, or -1 with the status text set.
  int Listen(std::string& status);
  // The accepted emulator connection, or -1 with the status text set.
  int AwaitClient(int listenFd, std::string& status);

  const uint16_t FPort;
};
