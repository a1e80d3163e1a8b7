// The local shell transport: runs the entry's command, or the user's shell,
// on a pseudo terminal and relays its byte stream like a board's. The child
// announces itself as a "vt100"; keys go to the pty's input, size changes to
// the pty (the kernel tells the program with SIGWINCH).
#pragma once
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/uWireTransport.h"

// The command line split into words: blanks separate them, double quotes
// group blanks into one word. No shell is involved.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

class TShellClient : public TWireTransport {
 public:
  // Creates the transport and starts its thread; null when no thread could be
  // started. An empty command starts $SHELL, else /bin/sh.
  static std::shared_ptr<TShellClient> Create(const std::string& command, uint16_t cols, uint16_t rows);
  ~TShellClient() override;

  void SendBytes(const uint8_t* data, int count) override;
  void SendString(const std::string& s) override;
  void Disconnect() override;
  void SetWindowSize(uint16_t cols, uint16_t rows) override;
  size_t SendBacklog() override;

 protected:
  void Execute() override;

 private:
  TShellClient(const std::string& command, uint16_t cols, uint16_t rows);

  // Transport thread only.
  bool StartProcess();
  void ReceiveLoop();
  bool ReadOutput(int waitMs);  // false: the pty is closed or failed
  void Drain();
  void Flush();
  void ApplyPendingResize();
  void Release();

  const std::string FCommand;
  std::atomic<uint16_t> FCols, FRows;
  std::atomic<bool> FResizePending{false};
  std::atomic<bool> FStop{false};
  int FMaster = -1;  // our side of the pty
  pid_t FChild = -1;
  bool FExited = false;  // FChild was reaped

  std::mutex FSendLock;  // guards FSendBuf only
  std::vector<uint8_t> FSendBuf;
  TSendQueue FWriteQueue;  // transport thread: taken from FSendBuf, not yet written
  std::vector<uint8_t> FRecvBuf;
};
