#include "tests/support/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace testsupport {

VirtualDisplay::VirtualDisplay(const std::string& screen) : FScreen(screen) {
  char path[] = "/tmp/korvan-xvfb-XXXXXX";
  int fd = mkstemp(path);
  if (fd >= 0) {
    close(fd);
    FOutputPath = path;
  }
  Start();
}

void VirtualDisplay::Start() {
  FName.clear();
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string program = FindProgram("Xvfb");
  const std::string output = FOutputPath.empty() ? "/dev/null" : FOutputPath;
  std::vector<std::string> args = {"Xvfb", "-displayfd", "3", "-screen", "0", FScreen, "-nolisten", "tcp"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  // The server ends with the test process, whatever ends that: a server left
  // behind would keep the test runner's output pipe open and hold the run.
  // Only calls that are safe after fork in a threaded process run in the
  // child.
  FPid = program.empty() ? -1 : fork();
  if (FPid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (fds[1] != 3 && dup2(fds[1], 3) != 3) _exit(127);
    const int out = open(output.c_str(), O_WRONLY | O_APPEND);
    const int null = open("/dev/null", O_RDWR);
    if (out < 0 || null < 0) _exit(127);
    dup2(null, 0);
    dup2(null, 1);
    dup2(out, 2);
    close_range(4, ~0U, 0);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (FPid < 0) {
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
  Stop();
  if (!FOutputPath.empty()) unlink(FOutputPath.c_str());
}

void VirtualDisplay::Stop() {
  if (FPid <= 0) return;
  const pid_t pid = FPid;
  FPid = -1;
  FName.clear();
  kill(pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return;
    usleep(20000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
}

bool VirtualDisplay::Alive() {
  if (FPid <= 0) return false;
  int status = 0;
  if (waitpid(FPid, &status, WNOHANG) != FPid) return true;
  FPid = -1;
  return false;
}

std::string VirtualDisplay::ServerOutput() const {
  std::ifstream f(FOutputPath);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool VirtualDisplay::Restart() {
  Stop();
  Start();
  return Ok();
}

}  // namespace testsupport
