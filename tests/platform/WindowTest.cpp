// The real program under a virtual X server: it opens a window titled
// "KORVAN" and closes cleanly when asked to end.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/AppFolder.h"
#include "platform/Tick.h"
#include "tests/support/VirtualDisplay.h"

extern char** environ;

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> envText(extraEnv);
  for (char** e = environ; *e; ++e) envText.push_back(*e);
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  return pid;
}

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

int WaitExit(pid_t pid, uint32_t ms) {
  uint64_t until = platform::TickMs() + ms;
  int status = 0;
  while (platform::TickMs() < until) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usleep(20000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

}  // namespace

TEST(WindowTest, TheProgramOpensAWindowTitledKorvanUnderXAndClosesCleanly) {
  ASSERT_EQ(system("command -v Xvfb >/dev/null && command -v xwininfo >/dev/null"), 0)
      << "Xvfb and xwininfo (packages xvfb, x11-utils) are needed for this test";
  testsupport::VirtualDisplay screen;
  ASSERT_TRUE(screen.Ok()) << "Xvfb did not start";
  const std::string display = screen.Name();
  const std::string env = screen.Env();

  // The leak check stays off for this one process: the system's GL driver
  // that the window system loads leaks a block whose frames cannot be named
  // for a suppression. The headless application tests run the same code
  // with the leak check on.
  pid_t korvan = Spawn({platform::AppFolder() + "korvan"}, {env, "ASAN_OPTIONS=detect_leaks=0", "SDL_AUDIODRIVER=dummy"});
  ASSERT_GT(korvan, 0);
  bool seen = false;
  for (int i = 0; i < 600 && !seen; ++i) {
    seen = Capture("DISPLAY=" + display + " xwininfo -root -tree 2>/dev/null").find("\"KORVAN\"") != std::string::npos;
    if (!seen) usleep(50000);
  }
  EXPECT_TRUE(seen) << "no window titled KORVAN appeared";
  kill(korvan, SIGTERM);  // arrives as a close request
  EXPECT_EQ(WaitExit(korvan, 60000), 0);  // a loaded machine and the exit-time leak check take a while
}
