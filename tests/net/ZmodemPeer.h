// Runs one lrzsz program (sz or rz) on a TCP loopback connection and pumps
// bytes between it and a TZmodemEngine the way the application does: every
// received byte through ProcessIncoming, Tick every 500 ms, OnSend written
// back. Shared by the interop tests and the benchmark.
#pragma once
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/uZmodem.h"
#include "platform/Tick.h"

extern char** environ;

namespace zmpeer {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

inline bool ProgramExists(const std::string& name) {
  for (const char* dir : {"/usr/bin/", "/bin/", "/usr/local/bin/"})
    if (::access((std::string(dir) + name).c_str(), X_OK) == 0) return true;
  return false;
}

// Two ends of one TCP connection on 127.0.0.1.
inline void LoopbackPair(int& a, int& b) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("loopback listener failed");
  a = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(a, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("connect failed");
  b = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  ::close(listener);
  if (b < 0) throw std::runtime_error("accept failed");
  const int one = 1;
  ::setsockopt(a, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ::setsockopt(b, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Starts argv in dir with stdin and stdout on fd; stderr to errPath.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& dir, int fd,
                   const std::string& errPath) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fd, 0);
  posix_spawn_file_actions_adddup2(&fa, fd, 1);
  posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  std::vector<char*> args;
  for (const std::string& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

// An engine wired to a peer program. Run() pumps until the program has ended
// and the engine is idle again, or the time limit passes.
class TPeerSession {
 public:
  TPeerSession(TZmodemEngine& engine, const std::vector<std::string>& argv, const std::string& dir,
               const std::string& errPath)
      : FEngine(engine) {
    ::signal(SIGPIPE, SIG_IGN);
    int peerEnd = -1;
    LoopbackPair(FFd, peerEnd);
    FPid = Spawn(argv, dir, peerEnd, errPath);
    ::close(peerEnd);
    ::fcntl(FFd, F_SETFL, ::fcntl(FFd, F_GETFL) | O_NONBLOCK);
    FEngine.OnSend = [this](const uint8_t* data, int count) {
      const size_t start = FPending.size();
      FPending.insert(FPending.end(), data, data + count);
      if (TamperOut) TamperOut(FPending.data() + start, size_t(count));
    };
  }
  ~TPeerSession() {
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
    if (FFd >= 0) ::close(FFd);
  }

  // Called after every received chunk; return false to stop pumping early.
  std::function<bool()> AfterChunk;
  // A line fault: may change bytes of each chunk received from the program
  // (TamperIn, before the engine sees it) or sent to it (TamperOut).
  std::function<void(uint8_t* data, size_t count)> TamperIn, TamperOut;
  std::string Screen;   // what the engine passed on to the screen
  int ExitCode = -1;    // the program's exit status, -1 while running or killed
  bool TimedOut = false;

  // Pumps until the program ended and the engine is idle, or limitMs passed.
  void Run(uint64_t limitMs) {
    const uint64_t start = platform::TickMs();
    uint64_t nextTick = start + 500;
    std::vector<uint8_t> in(64 * 1024);
    uint8_t out[4];
    bool peerOpen = true;
    while (true) {
      const uint64_t now = platform::TickMs();
      if (now - start > limitMs) {
        TimedOut = true;
        return;
      }
      if (now >= nextTick) {
        FEngine.Tick();
        nextTick = now + 500;
      }
      Flush();
      if (!peerOpen) {
        // The program closed its end: done once it has exited.
        if (FPid > 0) Reap(false);
        if (FPid <= 0) return;
        ::usleep(2000);
        continue;
      }
      // Read first; wait only when nothing is there (one call per chunk
      // while data flows, as a transport's receive loop does).
      const ssize_t n = ::read(FFd, in.data(), in.size());
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        peerOpen = false;
        FPending.clear();
        continue;
      }
      if (n < 0) {
        pollfd p{FFd, short(POLLIN | (FPending.empty() ? 0 : POLLOUT)), 0};
        ::poll(&p, 1, 20);
        continue;
      }
      if (TamperIn) TamperIn(in.data(), size_t(n));
      for (ssize_t i = 0; i < n; ++i) {
        int count = 0;
        FEngine.ProcessIncoming(in[size_t(i)], out, count);
        if (count > 0) Screen.append(reinterpret_cast<char*>(out), size_t(count));
      }
      if (AfterChunk && !AfterChunk()) return;
    }
  }

  // Waits for the program to end (up to limitMs) while still pumping sends.
  bool WaitExit(uint64_t limitMs) {
    const uint64_t start = platform::TickMs();
    while (FPid > 0 && platform::TickMs() - start < limitMs) {
      Flush();
      uint8_t sink[4096];
      while (::read(FFd, sink, sizeof sink) > 0) {
      }
      Reap(false);
      ::usleep(5000);
    }
    return FPid <= 0;
  }

 private:
  void Flush() {
    while (!FPending.empty()) {
      const ssize_t n = ::write(FFd, FPending.data(), FPending.size());
      if (n <= 0) return;
      FPending.erase(FPending.begin(), FPending.begin() + n);
    }
  }
  void Reap(bool wait) {
    int status = 0;
    if (::waitpid(FPid, &status, wait ? 0 : WNOHANG) == FPid) {
      ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      FPid = -1;
    }
  }

  TZmodemEngine& FEngine;
  int FFd = -1;
  pid_t FPid = -1;
  std::vector<uint8_t> FPending;
};

}  // namespace zmpeer
