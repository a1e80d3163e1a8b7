// The real program under a virtual X server, driven with real key and mouse
// input (xdotool) and watched through its debug log, its window title and
// the files it writes: calling a board from the directory, the timers that
// run with nobody touching anything, the Alt commands and keypad keys during
// a call, and the one window it makes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "data/uPhonebook.h"
#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"
#include "tests/support/TopLevelWindows.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

std::vector<std::string> PngsIn(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& item : fs::recursive_directory_iterator(folder, ec))
    if (item.path().extension() == ".png") found.push_back(item.path().string());
  return found;
}

TEST_F(EndToEndTest, CallABoardFromTheDirectoryUnderX) {
  WriteConfig();
  LoopbackListener board;
  {
    TPhonebook book(Dir.File("korvan.ini"));
    book.Add()->Name = "Nowhere";
    TPhonebookEntryPtr e = book.Add();
    e->Name = "Loopback Board";
    e->Host = "127.0.0.1";
    e->Port = board.Port();
    ASSERT_TRUE(book.SaveToFile());
  }
  Launch();

  // Splash to directory by a key, then a click on the second row (the
  // loopback board) once the directory is painted.
  ASSERT_TRUE(KeyUntilLogged("space", 32)) << "no key reached the program";
  ASSERT_TRUE(LogHas("Paint: screen mode 0", 30000)) << KeyAndCallLines(Log());
  std::string geometry = CommandOutput(X + "xdotool getwindowgeometry " + Window);
  int w = 0, h = 0;
  ASSERT_EQ(std::sscanf(geometry.c_str() + geometry.find("Geometry: ") + 10, "%dx%d", &w, &h), 2) << geometry;
  const int cx = w * 10 / 80, cy = h * 13 / 50;  // column 10, the middle of row 6
  system((X + "xdotool mousemove --window " + Window + " " + std::to_string(cx) + " " + std::to_string(cy) +
          " click 1")
             .c_str());
  // Enter calls the selected board (the click came first, so it is that row).
  Keys("Return");
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  EXPECT_FALSE(peer->ReadUntil("\xff", 30000).empty()) << "the client's Telnet negotiation reaches the board";

  ASSERT_TRUE(peer->Write("\x1b[2J\x1b[HHELLO FROM THE LOOPBACK BOARD\r\n"));
  EXPECT_TRUE(LogHas("HELLO FROM THE LOOPBACK BOARD", 30000)) << "the online screen never painted the board's text";
  Keys("alt+p");
  EXPECT_TRUE(WaitFor([&] { return !PngsIn(Dir.Path()).empty(); }, 30000)) << "no screenshot saved\n"
                                                                          << KeyAndCallLines(Log());
  for (const std::string& png : PngsIn(Dir.Path())) EXPECT_GT(fs::file_size(png), 1000u) << png;

  Keys("alt+h");
  EXPECT_TRUE(peer->WaitClosed(30000)) << "Alt+H did not hang up";
  Keys("alt+d");
  EXPECT_TRUE(LogHas("Key: WM_KEYDOWN vk=68 ", 30000)) << KeyAndCallLines(Log());
}

// Nobody touches the program except for the one Enter that places a call:
// the splash leaves by its own time, the dial animation plays, a download
// paced at a simulated 9600 bps finishes, a status message the board caused
// expires and the call clock in the title runs.
TEST_F(EndToEndTest, TimersRunWhileNothingElseHappens) {
  ASSERT_EQ(system("command -v sz >/dev/null && command -v socat >/dev/null"), 0)
      << "sz (lrzsz) and socat are needed for this test";
  WriteConfig("DownloadDir=downloads\n");
  TempDir boardFiles;
  std::string data(3000, '\0');
  std::mt19937 rng(16);
  for (char& c : data) c = char(rng());
  ASSERT_TRUE(WriteWholeFile(boardFiles.File("paced.dat"), data));
  // The board sends the file, then asks for another screen size (which the
  // program reports on its status line for a few seconds), then waits.
  ASSERT_TRUE(WriteWholeFile(boardFiles.File("board.sh"), "#!/bin/sh\nsz -q " + boardFiles.File("paced.dat") +
                                                              "\nprintf '\\033[8;24;100t'\nexec sleep 300\n"));
  fs::permissions(boardFiles.File("board.sh"), fs::perms::owner_all);
  const uint16_t port = FreeLoopbackPort();
  ChildProcess board;
  ASSERT_TRUE(board.Start({"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                           "EXEC:" + boardFiles.File("board.sh")}));
  ASSERT_TRUE(WaitForPort(port));
  {
    TPhonebook book(Dir.File("korvan.ini"));
    TPhonebookEntryPtr e = book.Add();
    e->Name = "Paced Board";
    e->Host = "127.0.0.1";
    e->Port = port;
    e->UseRaw = true;  // the file's bytes straight, as a raw TCP board sends them
    e->SimBaudRate = 9600;
    ASSERT_TRUE(book.SaveToFile());
  }
  Launch();

  // No input: the splash gives way to the directory by its own timer.
  ASSERT_TRUE(LogHas("Paint: screen mode 6", 60000)) << KeyAndCallLines(Log());
  ASSERT_TRUE(LogHas("Paint: screen mode 0", 30000)) << "the splash stayed up\n" << KeyAndCallLines(Log());
  EXPECT_EQ(Log().find("Key: WM_"), std::string::npos) << "the splash left without a key";

  // One Enter calls the selected board; the dial animation and the paced
  // download run on timers alone.
  ASSERT_TRUE(KeyUntilLogged("Return", 13)) << KeyAndCallLines(Log());
  const size_t keysSoFar = LinesWith(Log(), {"Key: WM_"}).size();
  ASSERT_TRUE(WaitFor([&] { return ReadWholeFile(Dir.File("downloads/paced.dat")) == data; }, 120000))
      << "the paced download did not finish\n"
      << KeyAndCallLines(Log());

  const std::string resized = "Paint: bottom line \"Screen size 100x24 (set by the BBS)\"";
  ASSERT_TRUE(LogHas(resized, 30000)) << KeyAndCallLines(Log());
  EXPECT_TRUE(WaitFor(
      [&] {
        const std::string log = Log();
        const size_t at = log.find(resized);
        return log.find("Paint: bottom line \"Paced Board", at) != std::string::npos;
      },
      30000))
      << "the status message never gave way to the status bar\n"
      << KeyAndCallLines(Log());
  const std::string title = Title();
  EXPECT_NE(title.find("KORVAN - Paced Board - 00:"), std::string::npos) << title;
  EXPECT_TRUE(WaitFor([&] { return Title() != title; }, 10000)) << "the call clock in the title stood still at " << title;
  EXPECT_EQ(LinesWith(Log(), {"Key: WM_"}).size(), keysSoFar) << "no key after the Enter";
}

// Real X key events: Alt commands are the program's own and never reach the
// board or a field; the keypad with NumLock off sends the cursor keys.
TEST_F(EndToEndTest, AltCommandsReachNoBoardAndNoFieldAndTheKeypadNavigates) {
  WriteConfig();
  LoopbackListener board;
  {
    TPhonebook book(Dir.File("korvan.ini"));
    TPhonebookEntryPtr e = book.Add();
    e->Name = "Loopback Board";
    e->Host = "127.0.0.1";
    e->Port = board.Port();
    e->UseRaw = true;  // only the typed bytes reach the board
    ASSERT_TRUE(book.SaveToFile());
  }
  Launch();
  ASSERT_TRUE(LogHas("Paint: screen mode 0", 60000)) << KeyAndCallLines(Log());

  // Alt+E opens the editor on the entry, Esc saves it and goes back: the
  // name stays as it was.
  ASSERT_TRUE(KeyUntilLogged("alt+e", 69)) << KeyAndCallLines(Log());
  ASSERT_TRUE(LogHas("Paint: screen mode 2", 30000)) << KeyAndCallLines(Log());
  const size_t editorAt = Log().find("Paint: screen mode 2");
  Keys("Escape");
  ASSERT_TRUE(WaitFor([&] { return Log().find("Paint: screen mode 0", editorAt) != std::string::npos; }, 30000))
      << KeyAndCallLines(Log());
  {
    TPhonebook saved(Dir.File("korvan.ini"));
    ASSERT_TRUE(saved.LoadFromFile());
    ASSERT_EQ(saved.Count(), 1);
    EXPECT_EQ(saved.GetEntry(0)->Name, "Loopback Board");
  }

  Keys("Return");
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  // After each chord a plain "x" is typed: what reaches the board up to it
  // is what the chord sent, plus the x.
  auto sentBy = [&](const std::string& keys) {
    Keys(keys + " x");
    return ToString(peer->ReadUntil("x", 30000));
  };
  ASSERT_EQ(sentBy("a"), "ax") << "typed letters reach the board";
  for (const char* chord : {"alt+g", "alt+p", "alt+n", "alt+shift+n", "alt+m", "alt+b", "alt+8", "alt+v", "alt+l",
                            "alt+q", "alt+g"})
    EXPECT_EQ(sentBy(chord), "x") << chord;
  // The chords were taken as commands: a capture, a screenshot and an export
  // were written.
  EXPECT_TRUE(WaitFor([&] { return !PngsIn(Dir.Path()).empty(); }, 10000)) << KeyAndCallLines(Log());
  EXPECT_NE(LinesWith(Log(), {"vk=71 "}), "") << "Alt+G reached the program";

  const std::string esc = "\x1b";
  struct Pad {
    const char* Key;
    std::string Bytes;
  };
  const Pad pads[] = {{"KP_Up", esc + "[A"},   {"KP_Down", esc + "[B"}, {"KP_Left", esc + "[D"},
                      {"KP_Right", esc + "[C"}, {"KP_Home", esc + "[H"}, {"KP_End", esc + "[K"},
                      {"KP_Prior", esc + "[V"}, {"KP_Next", esc + "[U"}, {"KP_Insert", esc + "[@"},
                      {"KP_Delete", "\x7f"}};
  for (const Pad& p : pads) EXPECT_EQ(sentBy(p.Key), p.Bytes + "x") << p.Key << " with NumLock off";

  Keys("alt+h");
  EXPECT_TRUE(peer->WaitClosed(30000)) << "Alt+H did not hang up";
}

// The window is made once, with what its renderer needs, and stays: no
// window of the program's is destroyed and made again while it runs.
TEST_F(EndToEndTest, TheWindowIsMadeOnceAndStays) {
  TopLevelWindows windows(Screen.Name());
  ASSERT_TRUE(windows.Ok());
  WriteConfig();
  Launch();
  ASSERT_TRUE(LogHas("Paint: screen mode 0", 60000)) << KeyAndCallLines(Log());
  int made = 0, shown = 0, destroyed = 0;
  for (const TopLevelWindows::Window& w : windows.Seen()) {
    if (w.Width != 640 || w.Height != 400) continue;  // the client size at scale 1
    ++made;
    shown += w.Mapped;
    destroyed += w.Destroyed;
  }
  EXPECT_EQ(made, 1);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(destroyed, 0);
}

}  // namespace
