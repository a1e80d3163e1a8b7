// The real program under a virtual X server: it opens a window titled
// "KORVAN" and closes cleanly when asked to end.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "platform/AppFolder.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/VirtualDisplay.h"

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
  testsupport::ChildProcess korvan;
  testsupport::ChildProcess::Options options;
  options.Env = {env, "ASAN_OPTIONS=detect_leaks=0", "SDL_AUDIODRIVER=dummy"};
  ASSERT_TRUE(korvan.Start({platform::AppFolder() + "korvan"}, options));
  bool seen = false;
  for (int i = 0; i < 600 && !seen; ++i) {
    seen = testsupport::CommandOutput("DISPLAY=" + display + " xwininfo -root -tree 2>/dev/null").find("\"KORVAN\"") != std::string::npos;
    if (!seen) usleep(50000);
  }
  EXPECT_TRUE(seen) << "no window titled KORVAN appeared";
  kill(korvan.Pid(), SIGTERM);  // arrives as a close request
  EXPECT_EQ(korvan.Wait(60000), 0);  // a loaded machine and the exit-time leak check take a while
}
