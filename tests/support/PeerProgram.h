// Runs a program that nobody here wrote (a peer or reference tool) with an
// argument vector, never through a shell, and collects its exit code and its
// output (stdout and stderr together). A program that cannot be started
// gives exit code 127 and says so in Output, so a test that needs a missing
// peer fails with a clear message.
#pragma once
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

struct PeerResult {
  int ExitCode = -1;
  std::string Output;
};

inline PeerResult RunPeer(const std::vector<std::string>& args) {
  PeerResult result;
  int fds[2];
  if (args.empty() || pipe(fds) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    result.ExitCode = 127;
    result.Output = "cannot start " + args[0] + " (is its package installed? see scripts/packages.txt)";
    return result;
  }
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) result.Output.append(buf, size_t(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}
