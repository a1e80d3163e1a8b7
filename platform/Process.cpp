#include "platform/Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace platform {

namespace {

uint32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return uint32_t(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return uint32_t(128 + WTERMSIG(status));
  return 0;
}

}  // namespace

pid_t StartProgram(const std::vector<std::string>& args, const std::string& folder, int& error) {
  error = 0;
  if (args.empty() || args[0].empty()) {
    error = ENOENT;
    return -1;
  }
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // Sockets, ports and pipes of the call stay ours: nothing past the
  // standard three reaches the program.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  // The program starts with default signal handling and nothing blocked,
  // whatever this process changed for itself.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    error = rc;
    return -1;
  }
  return pid;
}

bool ProgramEnded(pid_t pid, uint32_t& exitCode) {
  int status = 0;
  pid_t got;
  do got = waitpid(pid, &status, WNOHANG);
  while (got < 0 && errno == EINTR);
  if (got == 0) return false;
  exitCode = got == pid ? ExitCodeOf(status) : uint32_t(-1);  // -1: it cannot be waited for (already gone)
  return true;
}

uint32_t WaitForProgram(pid_t pid) {
  int status = 0;
  pid_t got;
  do got = waitpid(pid, &status, 0);
  while (got < 0 && errno == EINTR);
  return got == pid ? ExitCodeOf(status) : uint32_t(-1);
}

}  // namespace platform
