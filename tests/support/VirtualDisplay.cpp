#include "tests/support/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace testsupport {

VirtualDisplay::VirtualDisplay(const std::string& screen) {
  int fds[2];
  if (pipe(fds) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);  // -displayfd 3
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int rc = posix_spawnp(&FPid, "Xvfb", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    FPid = -1;
    close(fds[0]);
    return;
  }
  // The server writes its display number once it accepts connections.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (poll(&p, 1, 60000) > 0) {
    char buf[16];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, size_t(n));
    if (number.find('\n') != std::string::npos) break;
  }
  close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
  if (!number.empty()) FName = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
  if (FPid <= 0) return;
  kill(FPid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(FPid, &status, WNOHANG) == FPid) return;
    usleep(20000);
  }
  kill(FPid, SIGKILL);
  waitpid(FPid, &status, 0);
}

}  // namespace testsupport
