#include "platform/OpenUrl.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <vector>

extern char** environ;

namespace platform {

bool OpenUrlInBrowser(const std::string& url, std::function<void(int status)> ended) {
  std::string program = "xdg-open";
  std::vector<char*> argv = {program.data(), const_cast<char*>(url.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  // The opener hands the link on and ends; its end is collected so it leaves
  // no zombie behind, without holding up the caller, and its status tells
  // whether a browser took the link.
  std::thread([pid, ended = std::move(ended)] {
    int status = 0;
    pid_t got;
    while ((got = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (!ended) return;
    ended(got == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }).detach();
  return true;
}

}  // namespace platform
