// The serial door bridge: opens the near end of a null-modem pair (a serial
// device, or one end of a pseudo-terminal pair) whose far end the door
// program uses, sets it raw at 115200 baud, 8 data bits, no parity, 1 stop
// bit, and relays between it and the live call until stopped.
#pragma once
#include <memory>
#include <string>

#include "net/uDoorBridge.h"

// The device a port name means: "COMn" is the n-th serial port
// (/dev/ttyS(n-1)); anything else is a device path used as given.
std::string ComDevicePath(const std::string& portName);

class TComBridge : public TDoorBridge {
 public:
  // Creates the bridge and starts its thread; null when no thread could start.
  static std::shared_ptr<TComBridge> Create(const std::string& portName);

 protected:
  void Bridge() override;

 private:
  explicit TComBridge(const std::string& portName);
  // The open device, or -1 with the status text set.
  int OpenPort(std::string& status);

  const std::string FPortName;  // the device path
};
