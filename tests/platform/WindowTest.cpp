// The real program under a virtual X server: it opens a window titled
// "KORVAN" and closes cleanly when asked to end.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "platform/AppFolder.h"
#include "platform/Tick.h"
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
  testsupport::TempDir dir;
  testsupport::ChildProcess korvan;
  testsupport::ChildProcess::Options options;
  options.Env = {env, "ASAN_OPTIONS=detect_leaks=0", "SDL_AUDIODRIVER=dummy"};
  options.OutputFile = dir.File("korvan.out");
  ASSERT_TRUE(korvan.Start({platform::AppFolder() + "korvan"}, options));
  // The first run on a fresh machine, or a loaded one, starts the sanitized
  // program slowly: the window is looked for until a generous deadline, not
  // for a number of tries whose length depends on how slow each look is.
  bool seen = false;
  const uint64_t until = platform::TickMs() + 120000;
  while (!seen && platform::TickMs() < until) {
    seen = testsupport::CommandOutput("DISPLAY=" + display + " timeout 10 xwininfo -root -tree 2>/dev/null").find("\"KORVAN\"") != std::string::npos;
    if (!seen) usleep(50000);
  }
  EXPECT_TRUE(seen) << "no window titled KORVAN appeared\n" << testsupport::ReadWholeFile(dir.File("korvan.out"));
  kill(korvan.Pid(), SIGTERM);  // arrives as a close request
  // A loaded machine and the exit-time leak check take a while.
  EXPECT_EQ(korvan.Wait(60000), 0) << testsupport::ReadWholeFile(dir.File("korvan.out"));
}

TEST(WindowTest, TheProgramWithoutADisplaySaysSoAndEnds) {
  testsupport::TempDir dir;
  testsupport::ChildProcess korvan;
  testsupport::ChildProcess::Options options;
  options.Env = {"DISPLAY=", "WAYLAND_DISPLAY=", "ASAN_OPTIONS=detect_leaks=0", "SDL_AUDIODRIVER=dummy"};
  options.OutputFile = dir.File("korvan.out");
  ASSERT_TRUE(korvan.Start({platform::AppFolder() + "korvan"}, options));
  EXPECT_EQ(korvan.Wait(60000), 1) << "the program ran on without a window";
  EXPECT_NE(testsupport::ReadWholeFile(dir.File("korvan.out")).find("korvan: Window creation failed: no display"),
            std::string::npos)
      << testsupport::ReadWholeFile(dir.File("korvan.out"));
}
