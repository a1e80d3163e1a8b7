// Helpers for the transport tests: run a peer program, record a transport's
// events while the test serves the interface thread, scratch folders.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "net/uWireTransport.h"
#include "platform/AppFolder.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

namespace kit {

// Serves queued calls on this (the interface) thread until Done or the limit.
inline bool ServeUntil(const std::function<bool()>& done, uint32_t ms = 20000) {
  uint64_t until = platform::TickMs() + ms;
  while (!done() && platform::TickMs() < until) platform::CheckSynchronize(5);
  return done();
}

// Starts argv with stdout and stderr going to LogPath (or /dev/null); the
// child gets its own process group so it can be ended with everything it
// started.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& logPath = "/dev/null") {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// Runs argv to its end with Input on its standard input; returns its exit
// code (-1 when it could not run) and its output.
inline int Run(const std::vector<std::string>& argv, std::string* output = nullptr, const std::string& input = "") {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(in[1]);
    close(out[0]);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (!input.empty()) {
    ssize_t ignored = write(in[1], input.data(), input.size());
    (void)ignored;
  }
  close(in[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void Stop(pid_t& pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  pid = -1;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A scratch folder that stands in for the program's folder: the pin files
// are written there, and its dll/ points at the build's optional libraries.
class TScratchAppFolder {
 public:
  TScratchAppFolder() {
    std::string real = platform::AppFolder() + "dll";
    char dir[] = "/tmp/korvan_net_XXXXXX";
    if (mkdtemp(dir)) Path = dir;
    chmod(Path.c_str(), 0755);  // peers running as another user read files here
    symlink(real.c_str(), (Path + "/dll").c_str());
    platform::SetAppFolder(Path);
  }
  ~TScratchAppFolder() {
    platform::SetAppFolder("");
    Run({"rm", "-rf", Path});
  }
  std::string Path;
};

// Records what a transport raises, in order.
struct TTransportProbe {
  std::string Data;
  std::vector<std::string> Events;  // "connected: ...", "status: ...", "disconnected: ..."
  std::vector<std::string> Statuses;
  std::string ConnectedText, DisconnectedText;
  bool Connected = false, Ended = false, RemoteClosedAtEnd = false;
  size_t DataAtEnd = 0;

  void Attach(TWireTransport& t) {
    t.OnData = [this](const uint8_t* d, int n) {
      EXPECT_GT(n, 0);
      Data.append(reinterpret_cast<const char*>(d), static_cast<size_t>(n));
    };
    t.OnStatus = [this](const std::string& m) {
      Statuses.push_back(m);
      Events.push_back("status: " + m);
    };
    t.OnConnected = [this](const std::string& m) {
      Connected = true;
      ConnectedText = m;
      Events.push_back("connected: " + m);
    };
    t.OnDisconnected = [this, &t](const std::string& m) {
      EXPECT_FALSE(Ended) << "a second end: " << m;
      Ended = true;
      DisconnectedText = m;
      RemoteClosedAtEnd = t.RemoteClosed;
      DataAtEnd = Data.size();
      Events.push_back("disconnected: " + m);
    };
  }
  bool WaitFor(const std::string& text, uint32_t ms = 20000) {
    return ServeUntil([&] { return Data.find(text) != std::string::npos || Ended; }, ms) &&
           Data.find(text) != std::string::npos;
  }
  bool WaitEnd(uint32_t ms = 20000) {
    return ServeUntil([&] { return Ended; }, ms);
  }
};

// Waits until the transport's thread has ended, so nothing outlives the test.
inline void WaitFinished(const std::shared_ptr<platform::Thread>& t) {
  if (t) ServeUntil([&] { return t->Finished(); }, 30000);
}

}  // namespace kit
