// The real program under a virtual X server, driven with real key and mouse
// input (xdotool): from the splash to the directory, a click on a board that
// listens on loopback, Enter to call it, the board's text on the online
// screen (seen in the painter's log and saved by the screenshot key), hang
// up and back to the directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "data/uDateTime.h"
#include "data/uPhonebook.h"
#include "platform/Tick.h"
#include "tests/support/VirtualDisplay.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

bool WaitFor(const std::function<bool()>& done, uint32_t ms) {
  const uint64_t until = platform::TickMs() + ms;
  while (platform::TickMs() < until) {
    if (done()) return true;
    usleep(50000);
  }
  return done();
}

std::vector<std::string> PngsIn(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& item : fs::recursive_directory_iterator(folder, ec))
    if (item.path().extension() == ".png") found.push_back(item.path().string());
  return found;
}

// The log lines of keys and calls, for failure messages.
std::string KeyAndCallLines(const std::string& log) {
  std::string out;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    if (line.find("Key:") != std::string::npos || line.find("Telnet") != std::string::npos) out += line + "\n";
    at = end + 1;
  }
  return out;
}

TEST(EndToEndTest, CallABoardFromTheDirectoryUnderX) {
  ASSERT_EQ(system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null"), 0)
      << "Xvfb and xdotool (packages xvfb, xdotool) are needed for this test";
  TempDir dir;
  // The program reads and writes beside its executable: a copy of it with
  // the build's fonts and libraries next to it.
  fs::copy_file(std::string(KORVAN_BINARY_DIR) + "/korvan", dir.File("korvan"));
  fs::create_directory_symlink(std::string(KORVAN_BINARY_DIR) + "/fonts", dir.File("fonts"));
  fs::create_directory_symlink(std::string(KORVAN_BINARY_DIR) + "/dll", dir.File("dll"));
  WriteWholeFile(dir.File("korvan_config.ini"), "[Config]\nLastPhonebookBackup=" + FormatIsoDate(NowDateTime()) +
                                                    "\nScreenScale=1\n[Debug]\nRawLog=1\n");
  LoopbackListener board;
  {
    TPhonebook book(dir.File("korvan.ini"));
    book.Add()->Name = "Nowhere";
    TPhonebookEntryPtr e = book.Add();
    e->Name = "Loopback Board";
    e->Host = "127.0.0.1";
    e->Port = board.Port();
    ASSERT_TRUE(book.SaveToFile());
  }

  VirtualDisplay screen("1920x1200x24");
  ASSERT_TRUE(screen.Ok()) << "Xvfb did not start";
  const std::string display = screen.Name();
  const std::string x = "DISPLAY=" + display + " ";

  ChildProcess korvan;
  ChildProcess::Options options;
  // No slow unwinding on malloc here: it deadlocks inside the software GL
  // driver's code generator, which registers its frames while holding the
  // unwinder's lock.
  options.Env = {"DISPLAY=" + display, "SDL_AUDIODRIVER=dummy",
                 std::string("LSAN_OPTIONS=suppressions=") + KORVAN_SOURCE_DIR + "/tests/lsan.supp"};
  options.WorkingDir = dir.Path();
  options.OutputFile = dir.File("korvan.out");
  ASSERT_TRUE(korvan.Start({dir.File("korvan")}, options));
  std::string window;
  ASSERT_TRUE(WaitFor(
      [&] {
        window = CommandOutput(x + "xdotool search --name '^KORVAN$' 2>/dev/null");
        window = window.substr(0, window.find('\n'));
        return !window.empty();
      },
      60000))  // a loaded machine starts the sanitized program slowly
      << "no window titled KORVAN appeared";
  system((x + "xdotool windowfocus --sync " + window + " 2>/dev/null").c_str());
  const std::string log = dir.File("korvan_debug.log");
  auto send = [&](const std::string& keys) { system((x + "xdotool key --delay 60 " + keys).c_str()); };
  // Alt held down over the letter, as a hand does it.
  auto sendAlt = [&](const std::string& letter) {
    system((x + "xdotool keydown Alt_L sleep 0.2 key " + letter + " sleep 0.2 keyup Alt_L").c_str());
  };

  // Splash to directory (a key sent before the window takes input is lost,
  // so it is sent again until the program logs it), then a click on the
  // second row (the loopback board).
  ASSERT_TRUE(WaitFor(
      [&] {
        send("space");
        return ReadWholeFile(log).find("Key: WM_KEYDOWN vk=32") != std::string::npos;
      },
      30000))
      << "no key reached the program";
  usleep(1000000);
  std::string geometry = CommandOutput(x + "xdotool getwindowgeometry " + window);
  int w = 0, h = 0;
  ASSERT_EQ(std::sscanf(geometry.c_str() + geometry.find("Geometry: ") + 10, "%dx%d", &w, &h), 2) << geometry;
  const int cx = w * 10 / 80, cy = h * 13 / 50;  // column 10, the middle of row 6
  system((x + "xdotool mousemove --window " + window + " " + std::to_string(cx) + " " + std::to_string(cy) +
          " click 1")
             .c_str());
  usleep(300000);
  // Enter calls the selected board; sent again while the program is still
  // busy painting and the call has not come.
  std::unique_ptr<LoopbackPeer> peer;
  for (int i = 0; i < 4 && !peer; ++i) {
    if (ReadWholeFile(log).find("Key: WM_KEYDOWN vk=13") == std::string::npos) send("Return");
    peer = board.Accept(4000);
  }
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(ReadWholeFile(log));
  EXPECT_FALSE(peer->ReadFor(3000).empty()) << "the client's first bytes (Telnet negotiation) reach the board";

  ASSERT_TRUE(peer->Write("\x1b[2J\x1b[HHELLO FROM THE LOOPBACK BOARD\r\n"));
  EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(log).find("HELLO FROM THE LOOPBACK BOARD") != std::string::npos; },
                      5000))
      << "the online screen never painted the board's text";
  // Under load the program can take a modifier late; an Alt command is
  // given again until its effect is seen (a lost Alt sends the letter to
  // the board, which does no harm here).
  EXPECT_TRUE(WaitFor(
      [&] {
        sendAlt("p");
        return WaitFor([&] { return !PngsIn(dir.Path()).empty(); }, 3000);
      },
      12000))
      << "no screenshot saved\n"
      << KeyAndCallLines(ReadWholeFile(log));
  for (const std::string& png : PngsIn(dir.Path())) EXPECT_GT(fs::file_size(png), 1000u) << png;

  EXPECT_TRUE(WaitFor(
      [&] {
        sendAlt("h");
        return peer->WaitClosed(3000);
      },
      12000))
      << "Alt+H did not hang up";
  sendAlt("d");
  usleep(300000);
  EXPECT_TRUE(korvan.Running()) << ReadWholeFile(dir.File("korvan.out"));
  korvan.Stop();
}

}  // namespace
