#include "PeerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace testsupport {

PeerProcess::~PeerProcess() {
  Kill();
  if (FFd >= 0) close(FFd);
}

bool PeerProcess::Start(const std::vector<std::string>& argv, const std::string& cwd,
                        const std::string& stderrPath, std::string* error) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) {
    *error = std::string("socketpair: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
  posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, stderrPath.empty() ? "/dev/null" : stderrPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addclose(&actions, sv[0]);
  posix_spawn_file_actions_addclose(&actions, sv[1]);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int rc = posix_spawnp(&FPid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(sv[1]);
  if (rc != 0) {
    close(sv[0]);
    FPid = -1;
    *error = "cannot start " + argv[0] + ": " + std::strerror(rc);
    return false;
  }
  FFd = sv[0];
  fcntl(FFd, F_SETFL, fcntl(FFd, F_GETFL) | O_NONBLOCK);
  return true;
}

void PeerProcess::Send(const uint8_t* data, int count) {
  if (count > 0) FOut.insert(FOut.end(), data, data + count);
}

bool PeerProcess::Pump(int timeoutMs, const std::function<void(const uint8_t*, int)>& onData) {
  if (FFd < 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return false;
  }
  pollfd p{FFd, static_cast<short>(POLLIN | (FOutPos < FOut.size() ? POLLOUT : 0)), 0};
  if (poll(&p, 1, timeoutMs) <= 0) return true;
  if (p.revents & POLLOUT) {
    ssize_t n = send(FFd, FOut.data() + FOutPos, FOut.size() - FOutPos, MSG_NOSIGNAL);
    if (n > 0) FOutPos += static_cast<size_t>(n);
    if (FOutPos == FOut.size()) {
      FOut.clear();
      FOutPos = 0;
    }
  }
  if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
    uint8_t buf[16384];
    ssize_t n = read(FFd, buf, sizeof buf);
    if (n > 0) {
      onData(buf, static_cast<int>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      return false;
    }
  }
  return true;
}

void PeerProcess::CloseLink() {
  if (FFd >= 0) close(FFd);
  FFd = -1;
  FOut.clear();
  FOutPos = 0;
}

bool PeerProcess::Wait(int timeoutMs, int* exitStatus) {
  if (FPid <= 0) return false;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    int status = 0;
    pid_t r = waitpid(FPid, &status, WNOHANG);
    if (r == FPid) {
      FPid = -1;
      *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void PeerProcess::Kill() {
  if (FPid <= 0) return;
  kill(FPid, SIGKILL);
  int status = 0;
  waitpid(FPid, &status, 0);
  FPid = -1;
}

}  // namespace testsupport
