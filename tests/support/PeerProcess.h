// A real peer program (lrzsz's sx/rx/sb/rb/sz/rz and the like) run by a test
// with its standard input and output on one end of a socket pair, and a pump
// that moves bytes both ways without blocking either side.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class PeerProcess {
 public:
  PeerProcess() = default;
  ~PeerProcess();  // kills and reaps a peer that still runs
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  // Starts argv (argv[0] looked up in PATH) in folder cwd; its standard
  // error goes to stderrPath ("" for /dev/null). False with *error set when
  // it cannot be started.
  bool Start(const std::vector<std::string>& argv, const std::string& cwd,
             const std::string& stderrPath, std::string* error);

  // Queue bytes for the peer; they are written by Pump.
  void Send(const uint8_t* data, int count);
  // Waits at most timeoutMs for traffic: writes what is queued, hands what
  // the peer sent to onData. Returns false once the peer closed its output.
  bool Pump(int timeoutMs, const std::function<void(const uint8_t*, int)>& onData);
  // Stop sending to the peer and close our end (the peer sees end of input).
  void CloseLink();

  // Waits up to timeoutMs for the peer to end; true with its exit status.
  bool Wait(int timeoutMs, int* exitStatus);
  void Kill();
  bool Running() const { return FPid > 0; }

 private:
  pid_t FPid = -1;
  int FFd = -1;
  std::vector<uint8_t> FOut;
  size_t FOutPos = 0;
};

}  // namespace testsupport
