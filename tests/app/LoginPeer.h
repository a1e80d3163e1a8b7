// A real login prompt for tests: socat listening on loopback and running
// /bin/login on a pseudo terminal, and a local account that exists only for
// one test. Also socat started on a free port, its readiness read from its
// own log.
#pragma once
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"

namespace testsupport {

// Runs a system tool to its end with Input on its standard input; its exit
// status, or -1.
inline int RunTool(const std::vector<std::string>& argv, const std::string& input = "") {
  ChildProcess tool;
  ChildProcess::Options options;
  options.StdinPipe = true;
  if (!tool.Start(argv, options)) return -1;
  tool.WriteStdin(input);
  tool.CloseStdin();
  return tool.Wait(30000);
}

// A local account that exists only for one test: created with a password,
// removed with its home folder at the end. Account tools lock the password
// files; the same lock as the SSH tests' account keeps parallel tests from
// colliding in them.
class TThrowawayAccount {
 public:
  std::string Create() {
    Name = "kvlogin" + std::to_string(getpid());
    TLock lock;
    if (RunTool({"useradd", "-m", "-s", "/bin/sh", Name}) != 0) return "useradd " + Name + " failed";
    FCreated = true;
    if (RunTool({"chpasswd"}, Name + ":" + Password + "\n") != 0) return "chpasswd failed";
    return "";
  }
  ~TThrowawayAccount() {
    if (!FCreated) return;
    TLock lock;
    RunTool({"userdel", "-f", "-r", Name});
  }

  std::string Name;
  const std::string Password = "Kv-Login-Pw7";

 private:
  struct TLock {
    int Fd = open("/tmp/korvan_ssh_user.lock", O_RDWR | O_CREAT, 0600);
    TLock() { flock(Fd, LOCK_EX); }
    ~TLock() {
      flock(Fd, LOCK_UN);
      close(Fd);
    }
  };
  bool FCreated = false;
};

// socat's address for /bin/login on a pseudo terminal of its own. With
// HoldUntil, login starts only once that file exists: a test that must act
// before the first prompt (a script whose WAITFOR sees only what arrives
// after it starts) creates the file when it is ready.
inline std::string LoginAddress(const std::string& holdUntil = "") {
  const std::string login =
      holdUntil.empty() ? "EXEC:/bin/login"
                        : "SYSTEM:until test -e " + holdUntil + "; do sleep 0.05; done; exec /bin/login";
  return login + ",pty,setsid,ctty,stderr";
}

// Starts socat listening on a free loopback port with the given second
// address; the port, or 0. Readiness is read from socat's own log line, not
// probed: socat serves the first connection only.
inline uint16_t StartSocat(ChildProcess& socat, const std::vector<std::string>& before, const std::string& second,
                    const ChildProcess::Options& options) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const uint16_t port = FreeLoopbackPort();
    std::vector<std::string> argv = {"socat", "-d", "-d"};
    argv.insert(argv.end(), before.begin(), before.end());
    argv.push_back("TCP-LISTEN:" + std::to_string(port) + ",reuseaddr,bind=127.0.0.1");
    argv.push_back(second);
    if (!socat.Start(argv, options)) return 0;
    const std::string listening = "listening on AF=2 127.0.0.1:" + std::to_string(port);
    const uint64_t until = platform::TickMs() + 10000;
    while (socat.Running() && platform::TickMs() < until) {
      if (ReadWholeFile(options.OutputFile).find(listening) != std::string::npos) return port;
      usleep(10000);
    }
    socat.Stop();  // another program took the port meanwhile
  }
  return 0;
}

}  // namespace testsupport
