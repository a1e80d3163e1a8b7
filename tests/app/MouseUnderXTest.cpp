// The real program under a virtual X server with real mouse and key input
// (xdotool) and the real X clipboard (xclip): a call placed from the quick
// dial box, a selection of box characters copied into the clipboard as
// UTF-8, clipboard text pasted into the call, a link opened through the
// desktop's opener with its text as one argument, mouse reports for a board
// that asks for them, and full screen and back under a window manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/uPhonebook.h"
#include "tests/app/AppFixture.h"
#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const std::string kEsc = "\x1b";

class MouseUnderXTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    ASSERT_EQ(system("command -v xclip >/dev/null"), 0) << "xclip (package xclip) is needed for this test";
  }

  std::string Clipboard() { return CommandOutput(X + "xclip -o -selection clipboard 2>/dev/null"); }

  // From the directory (left by a key once the splash shows) to the online
  // screen, where Alt+Q dials.
  std::unique_ptr<LoopbackPeer> QuickDial(LoopbackListener& board) {
    EXPECT_TRUE(KeyUntilLogged("space", 32)) << KeyAndCallLines(Log());
    EXPECT_TRUE(LogHas("Paint: screen mode 0", 30000)) << KeyAndCallLines(Log());
    Keys("Escape");
    EXPECT_TRUE(LogHas("Paint: screen mode 1", 30000)) << KeyAndCallLines(Log());
    Keys("alt+q");
    system((X + "xdotool type --delay 60 127.0.0.1:" + std::to_string(board.Port())).c_str());
    Keys("Return");
    return board.Accept(60000);
  }

  // What a board receives up to and including Last, and whatever follows
  // within a moment (Telnet commands left out).
  std::string ReceivedUpTo(LoopbackPeer& peer, const std::string& last) {
    Bytes got = peer.ReadUntil(last, 30000);
    const Bytes more = peer.ReadFor(300);
    got.insert(got.end(), more.begin(), more.end());
    return WithoutTelnetCommands(got);
  }
};

TEST_F(MouseUnderXTest, QuickDialCopyPasteAndLinksThroughTheRealDesktop) {
  WriteConfig();
  // An opener first on PATH that writes down the arguments it was given.
  fs::create_directory(Dir.File("bin"));
  ASSERT_TRUE(WriteWholeFile(Dir.File("bin/xdg-open"), "#!/bin/sh\n{ echo \"$#\"; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; "
                                                       "done; } > " + Dir.File("opened.txt") + "\n"));
  fs::permissions(Dir.File("bin/xdg-open"), fs::perms::owner_all);
  LoopbackListener board;
  Launch({}, {"PATH=" + Dir.File("bin") + ":" + std::getenv("PATH")});
  std::unique_ptr<LoopbackPeer> peer = QuickDial(board);
  ASSERT_TRUE(peer) << "the quick dial did not call the board\n" << KeyAndCallLines(Log());

  // A box of line characters and a link a shell would take for commands.
  const std::string url = "http://example.com/a?q=$(touch${IFS}pwned);'x'\"y\"&z=1";
  ASSERT_TRUE(peer->Write("\x1b[2J\x1b[H\xda\xc4\xc4\xbf BOX\r\n\xc0\xc4\xc4\xd9\r\n\r\nsee " + url + " now"));
  ASSERT_TRUE(LogHas("see http://example.com/a", 30000)) << KeyAndCallLines(Log());

  // A drag from the second cell of the top row to the second of the next
  // copies the box's characters as UTF-8.
  Mouse(CellPoint(1, 0) + " mousedown 1" + CellPoint(3, 0) + CellPoint(1, 1) + " mouseup 1");
  const std::string copied = "\xe2\x94\x80\xe2\x94\x80\xe2\x94\x90 BOX\r\n\xe2\x94\x94\xe2\x94\x80";
  EXPECT_TRUE(WaitFor([&] { return Clipboard() == copied; }, 30000)) << Clipboard() << "\n" << KeyAndCallLines(Log());

  // Clipboard text set by another program: the right button and Ctrl+V send
  // it with one CR per line end, in CP437.
  system(("printf 'one\\r\\ntwo\\nthr\\303\\251e \\342\\224\\200' | " + X + "xclip -i -selection clipboard").c_str());
  Mouse(CellPoint(40, 10) + " click 3");
  EXPECT_EQ(ReceivedUpTo(*peer, "\xc4"), "one\rtwo\rthr\x82" "e \xc4");
  Keys("ctrl+v");
  EXPECT_EQ(ReceivedUpTo(*peer, "\xc4"), "one\rtwo\rthr\x82" "e \xc4");

  // A click on the link hands it to the opener as one argument, untouched.
  Mouse(CellPoint(10, 3) + " click 1");
  EXPECT_TRUE(WaitFor([&] { return fs::exists(Dir.File("opened.txt")); }, 30000)) << KeyAndCallLines(Log());
  EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(Dir.File("opened.txt")) == "1\n[" + url + "]\n"; }, 10000))
      << ReadWholeFile(Dir.File("opened.txt"));
  EXPECT_FALSE(fs::exists(Dir.File("pwned"))) << "no shell ran the link's text";
}

TEST_F(MouseUnderXTest, RealClicksReachATrackingBoardAsReports) {
  WriteConfig("ScreenScale=2\nShowStatusBar=0\n");
  LoopbackListener board;
  {
    TPhonebook book(Dir.File("korvan.ini"));
    TPhonebookEntryPtr e = book.Add();
    e->Name = "Mouse Board";
    e->Host = "127.0.0.1";
    e->Port = board.Port();
    e->UseRaw = true;  // exactly the reports reach the board
    ASSERT_TRUE(book.SaveToFile());
  }
  Launch();
  ASSERT_TRUE(KeyUntilLogged("space", 32)) << KeyAndCallLines(Log());
  ASSERT_TRUE(LogHas("Paint: screen mode 0", 30000)) << KeyAndCallLines(Log());
  Keys("Return");
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());

  // 132 columns, so clicks land past column 95; normal tracking, SGR form.
  ASSERT_TRUE(peer->Write("\x1b[8;25;132t\x1b[?1000h\x1b[?1006h\x1b[2J\x1b[HSGR-ON"));
  ASSERT_TRUE(LogHas("Resize: BBS requested 132x25", 30000)) << KeyAndCallLines(Log());
  ASSERT_TRUE(LogHas("SGR-ON", 30000)) << KeyAndCallLines(Log());
  Mouse(CellPoint(120, 2, 132) + " click 1");
  EXPECT_EQ(ReceivedUpTo(*peer, "m"), kEsc + "[<0;121;3M" + kEsc + "[<0;121;3m");
  // The Ctrl held while clicking is in the report, however soon it is let go.
  Mouse(" keydown ctrl" + CellPoint(100, 4, 132) + " click 1 keyup ctrl");
  EXPECT_EQ(ReceivedUpTo(*peer, "m"), kEsc + "[<16;101;5M" + kEsc + "[<16;101;5m");
  Mouse(CellPoint(7, 1, 132) + " click 4");
  EXPECT_EQ(ReceivedUpTo(*peer, "M"), kEsc + "[<64;8;2M") << "the wheel";
  Mouse(CellPoint(9, 1, 132) + " click 3");
  EXPECT_EQ(ReceivedUpTo(*peer, "m"), kEsc + "[<2;10;2M" + kEsc + "[<2;10;2m") << "the right button";

  // Button-event tracking, classic form: a drag over three cells.
  ASSERT_TRUE(peer->Write("\x1b[?1006l\x1b[?1002h\x1b[2J\x1b[HCLASSIC-ON"));
  ASSERT_TRUE(LogHas("CLASSIC-ON", 30000)) << KeyAndCallLines(Log());
  Mouse(CellPoint(10, 3, 132) + " mousedown 1" + CellPoint(11, 3, 132) + CellPoint(12, 3, 132) +
        CellPoint(13, 3, 132) + " mouseup 1");
  const std::string row = "\x24";  // row 4, plus 1 and 32
  EXPECT_EQ(ReceivedUpTo(*peer, kEsc + "[M\x23"),
            kEsc + "[M\x20\x2b" + row + kEsc + "[M\x40\x2c" + row + kEsc + "[M\x40\x2d" + row + kEsc + "[M\x40\x2e" +
                row + kEsc + "[M\x23\x2e" + row);
}

TEST_F(MouseUnderXTest, FullScreenAndBackUnderAWindowManager) {
  ASSERT_EQ(system("command -v openbox >/dev/null && command -v xprop >/dev/null"), 0)
      << "openbox and xprop (packages openbox, x11-utils) are needed for this test";
  ChildProcess manager;
  ChildProcess::Options options;
  options.Env = {"DISPLAY=" + Screen.Name()};
  options.OutputFile = Dir.File("openbox.out");
  ASSERT_TRUE(manager.Start({"openbox"}, options));
  ASSERT_TRUE(WaitFor(
      [&] {
        return CommandOutput(X + "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") !=
               std::string::npos;
      },
      60000))
      << "the window manager did not start\n"
      << ReadWholeFile(Dir.File("openbox.out"));
  WriteConfig();
  Launch();
  ASSERT_TRUE(KeyUntilLogged("space", 32)) << KeyAndCallLines(Log());
  ASSERT_TRUE(LogHas("Paint: screen mode 0", 30000)) << KeyAndCallLines(Log());
  Geometry before;
  ASSERT_TRUE(WaitFor(
      [&] {
        before = WindowGeometry();
        return before.Width == 640 && before.Height == 400;
      },
      30000))
      << Text(before);

  Keys("alt+Return");
  Geometry now;
  EXPECT_TRUE(WaitFor([&] { return (now = WindowGeometry()) == Geometry{0, 0, 1920, 1200}; }, 30000)) << Text(now);
  Keys("alt+Return");
  EXPECT_TRUE(WaitFor([&] { return (now = WindowGeometry()) == before; }, 30000))
      << Text(now) << " after, " << Text(before) << " before";

  // The size steps resize the window in place.
  Keys("ctrl+Right");
  EXPECT_TRUE(WaitFor([&] { return (now = WindowGeometry()).Width == 960 && now.Height == 600; }, 30000)) << Text(now);
  Keys("ctrl+Left");
  EXPECT_TRUE(WaitFor([&] { return (now = WindowGeometry()) == before; }, 30000)) << Text(now);
  manager.Stop();
}

}  // namespace

// A script's input prompt takes a paste as the session does: the pasted
// line reaches the board in CP437, or as UTF-8 once the call is in UTF-8
// mode, and ends where the clipboard's first line ends.
TEST_F(MouseUnderXTest, AScriptPromptPastesTheClipboardAsTheSessionDoes) {
  WriteConfig("[ScriptKeys]\nShiftF1=ask\n");
  fs::create_directories(Dir.File("scripts"));
  ASSERT_TRUE(WriteWholeFile(Dir.File("scripts/ask.kvs"), "a = ask(\"Name?\", \"\")\nsend \"[\" + a + \"]\"\n"));
  LoopbackListener board;
  WriteBoard("Prompt Board", board.Port());
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  ASSERT_TRUE(peer->Write("\x1b[2J\x1b[HASK-READY"));
  ASSERT_TRUE(LogHas("ASK-READY", 30000)) << KeyAndCallLines(Log());
  system(("printf 'p\\303\\251\\nsecond line' | " + X + "xclip -i -selection clipboard").c_str());

  struct Row {
    const char* Name;
    const char* Before;  // keys before the script starts
    std::string Sent;
  };
  const Row rows[] = {{"a CP437 call", "", "[p\x82]"}, {"a call in UTF-8 mode", "alt+8", "[p\xc3\xa9]"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    if (*row.Before) Keys(row.Before);
    const size_t mark = LogMark();
    Keys("shift+F1");
    ASSERT_TRUE(LogHasSince(mark, "Paint: bottom line \"Name? _\"", 30000)) << KeyAndCallLines(LogSince(mark));
    Keys("ctrl+v Return");
    EXPECT_EQ(ReceivedUpTo(*peer, "]"), row.Sent);
  }
}

// With the status bar on, the board is told one row fewer: a click on the
// status row is not reported to it, and a script's rows() is that number.
TEST_F(MouseUnderXTest, TheStatusRowIsNotTheBoards) {
  WriteConfig("ShowStatusBar=1\n[ScriptKeys]\nShiftF2=rows\n");
  fs::create_directories(Dir.File("scripts"));
  ASSERT_TRUE(WriteWholeFile(Dir.File("scripts/rows.kvs"), "send \"rows=\" + str(rows()) + \";\"\n"));
  LoopbackListener board;
  WriteBoard("Mouse Board", board.Port());
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  ASSERT_TRUE(peer->Write("\x1b[?1000h\x1b[?1006h\x1b[2J\x1b[HTRACKING"));
  ASSERT_TRUE(LogHas("TRACKING", 30000)) << KeyAndCallLines(Log());
  Mouse(CellPoint(10, 24) + " click 1" + CellPoint(10, 23) + " click 1");
  EXPECT_EQ(ReceivedUpTo(*peer, "m"), kEsc + "[<0;11;24M" + kEsc + "[<0;11;24m") << "only the click on the board's row";
  Keys("shift+F2");
  EXPECT_EQ(ReceivedUpTo(*peer, ";"), "rows=24;");
}

// A link clicked where no browser can be started says so: whether there is
// no opener at all, or the opener finds no browser to hand the link to.
TEST_F(MouseUnderXTest, ALinkWithNoBrowserToOpenItSaysSo) {
  WriteConfig();
  fs::create_directory(Dir.File("bin"));  // the program's only PATH
  LoopbackListener board;
  WriteBoard("Link Board", board.Port());
  Launch({}, {"PATH=" + Dir.File("bin")});
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  ASSERT_TRUE(peer->Write("\x1b[2J\x1b[Hsee http://example.com/page now"));
  ASSERT_TRUE(LogHas("see http://example.com/page", 30000)) << KeyAndCallLines(Log());

  struct Row {
    const char* Name;
    const char* Opener;  // the opener's script; empty: none on PATH
    int Status;          // its exit status as the log gives it
  };
  const Row rows[] = {
      {"no opener", "", 127},
      // As xdg-open ends on a desktop with no browser it knows how to start.
      {"an opener that finds no browser", "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n",
       3},
  };
  const std::string shown = "Paint: bottom line \"Could not open the link - no web browser could be started (xdg-open).\"";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    if (*row.Opener) {
      ASSERT_TRUE(WriteWholeFile(Dir.File("bin/xdg-open"), row.Opener));
      fs::permissions(Dir.File("bin/xdg-open"), fs::perms::owner_all);
    }
    const size_t mark = LogMark();
    Mouse(CellPoint(10, 0) + " click 1");
    EXPECT_TRUE(LogHasSince(mark, shown, 30000)) << LinesWith(LogSince(mark), {"Link:", "Paint: bottom"});
    EXPECT_NE(LogSince(mark).find("Link: no browser took http://example.com/page (xdg-open ended with " +
                                  std::to_string(row.Status) + ")"),
              std::string::npos)
        << LinesWith(LogSince(mark), {"Link:"});
    // The text goes when its time is up, before the next click.
    const size_t gone = LogMark();
    EXPECT_TRUE(LogHasSince(gone, "Paint: bottom line", 30000)) << LinesWith(LogSince(mark), {"Paint: bottom"});
  }
}

// A clipboard text too large for one step of the X selection (its owner
// hands it over in pieces) is pasted whole; one over the paste limit is
// refused with a status text and sends nothing.
TEST_F(MouseUnderXTest, LargeClipboardTextsArePastedWholeOrRefused) {
  WriteConfig();
  LoopbackListener board;
  WriteBoard("Paste Board", board.Port());
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  ASSERT_TRUE(peer->Write("\x1b[2J\x1b[HPASTE-READY"));
  ASSERT_TRUE(LogHas("PASTE-READY", 30000)) << KeyAndCallLines(Log());

  // Printable text without line ends reaches the board byte for byte.
  auto text = [](size_t size) {
    std::string t(size, ' ');
    for (size_t i = 0; i < size; ++i) t[i] = char('!' + (i * 7 + i / 4093) % 94);
    return t;
  };
  const std::string eight = text(size_t(8) << 20);
  ASSERT_TRUE(WriteWholeFile(Dir.File("eight.txt"), eight));
  system((X + "xclip -i -selection clipboard " + Dir.File("eight.txt")).c_str());
  Keys("ctrl+v");
  const Bytes got = peer->ReadExactly(eight.size(), 120000);
  EXPECT_EQ(got.size(), eight.size()) << LinesWith(Log(), {"Paste:", "Paint: bottom"});
  EXPECT_TRUE(got.size() == eight.size() && std::equal(got.begin(), got.end(), eight.begin())) << "the text changed";

  const std::string over = text((size_t(64) << 20) + 1);
  ASSERT_TRUE(WriteWholeFile(Dir.File("over.txt"), over));
  system((X + "xclip -i -selection clipboard " + Dir.File("over.txt")).c_str());
  const size_t mark = LogMark();
  Keys("ctrl+v");
  EXPECT_TRUE(LogHasSince(mark, "Paint: bottom line \"Clipboard text not pasted - it is over 64 MB.\"", 120000))
      << LinesWith(LogSince(mark), {"Paste:", "Paint: bottom"});
  EXPECT_TRUE(peer->ReadFor(500).empty()) << "nothing of it reaches the board";
}
