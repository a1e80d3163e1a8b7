// A virtual X server (Xvfb) for tests of the real program. The server picks
// a free display number itself and reports it, so tests running at the same
// time never share or collide on a display.
#pragma once
#include <sys/types.h>

#include <string>

namespace testsupport {

class VirtualDisplay {
 public:
  // Starts Xvfb with a screen of the given size; Ok() tells whether it runs.
  explicit VirtualDisplay(const std::string& screen = "1024x768x24");
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool Ok() const { return !FName.empty(); }
  const std::string& Name() const { return FName; }  // ":N"
  std::string Env() const { return "DISPLAY=" + FName; }

  // Whether the server process still runs, and what it has written to its
  // standard error: for failure messages when a client cannot reach it.
  bool Alive();
  std::string ServerOutput() const;
  // Stops the server and starts a new one of the same size (a new number).
  bool Restart();

 private:
  void Start();
  void Stop();

  std::string FScreen;
  std::string FOutputPath;  // the server's standard error
  pid_t FPid = -1;
  std::string FName;
};

}  // namespace testsupport
