// RIPscrip and SkyPix through the whole program, headless, with a board on
// loopback: the version query answered with its exact bytes, button and
// mouse-region clicks sending their texts (inclusive edges, control codes,
// a board that tracks the mouse, a double click), the text window that
// resizes or hides the text grid, SkyPix moving the cursor in pixels and
// giving the grid back, and the painted frame: graphics, icons and scenes
// from the icons folder, text cells that leave graphics alone, the bottom
// line over the picture, and the text grid while the board has RIP off.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/screens/uScreen.h"
#include "platform/Surface.h"
#include "tests/app/AppFixture.h"
#include "tests/support/RipBytes.h"

using namespace testsupport;

namespace {

const std::string kEsc = "\x1b";
constexpr uint32_t kRed = platform::PackRGB(170, 0, 0);
constexpr uint32_t kGreen = platform::PackRGB(0, 170, 0);
constexpr uint32_t kYellow = platform::PackRGB(255, 255, 85);
constexpr uint32_t kBarBlue = platform::PackRGB(0, 0, 170);
constexpr uint32_t kBlack = 0;

// A button style 20 x 10 pixels, label centred, bevelled.
std::string ButtonStyle() {
  return "1B" + Mega(20) + Mega(10) + Mega(2) + Mega(512, 4) + Mega(1) + Mega(15) + Mega(0) + Mega(15) + Mega(8) +
         Mega(7) + Mega(0) + Mega(0) + Mega(14) + Mega(0) + "000000";
}

// A mouse region with Text over (X0, Y0)-(X1, Y1).
std::string Region(int x0, int y0, int x1, int y1, const std::string& text) {
  return "1M00" + Mega(x0) + Mega(y0) + Mega(x1) + Mega(y1) + "00" + "00000" + text;
}

class RipModeTest : public AppFixture {
 protected:
  void CallRipBoard(int cols = 80, int rows = 25) {
    Start();
    auto entry = LoopbackEntry(Board, "RIP Board");
    entry->UseRaw = true;  // only what the program sends reaches the board
    entry->UseRIP = true;
    entry->Cols = cols;
    entry->Rows = rows;
    Peer = CallEntry(Board, entry);
    ASSERT_TRUE(Peer);
    Peer->ReadFor(100);
  }

  // Bytes from the board, taken in by the program before this returns.
  void Receive(const std::string& bytes) {
    const int64_t before = Probe().BytesIn();
    ASSERT_TRUE(Peer->Write(bytes));
    ASSERT_TRUE(RunUntil([&] {
      return Probe().BytesIn() >= before + int64_t(bytes.size()) && Probe().Pending().empty();
    }));
  }

  // Everything the board got within a short while.
  std::string BoardGot(uint32_t ms = 400) {
    std::string got;
    RunUntil([&] {
      got += ToString(Peer->ReadFor(5));
      return false;
    }, ms);
    return got;
  }
  static std::string ToString(const Bytes& b) { return std::string(b.begin(), b.end()); }

  // The window pixel that shows canvas pixel (X, Y): the picture fills the window.
  int WindowX(int x) const { return (x * App->Window().ClientWidth() + 639) / 640; }
  int WindowY(int y) const { return (y * App->Window().ClientHeight() + 349) / 350; }

  void Click(int x, int y, bool shift = false, platform::EventKind kind = platform::EventKind::MouseDown) {
    platform::Event down = platform::Event::Mouse(kind, WindowX(x), WindowY(y), button::Left);
    down.Shift = shift;
    App->Window().Post(down);
    platform::Event up = platform::Event::Mouse(platform::EventKind::MouseUp, WindowX(x), WindowY(y), button::Left);
    up.Shift = shift;
    App->Window().Post(up);
  }

  // One frame painted; the colour it shows at canvas pixel (X, Y).
  uint32_t Shown(int x, int y) {
    App->PaintFrame();
    return App->Window().BackBuffer().Pixel(WindowX(x), WindowY(y));
  }
  bool ShownAnywhereIn(int x0, int y0, int x1, int y1, uint32_t colour) {
    App->PaintFrame();
    const platform::Surface& s = App->Window().BackBuffer();
    for (int y = WindowY(y0); y < WindowY(y1 + 1); ++y)
      for (int x = WindowX(x0); x < WindowX(x1 + 1); ++x)
        if (s.Pixel(x, y) == colour) return true;
    return false;
  }

  int LogCount(const std::string& text) const {
    const std::string log = ReadWholeFile(Folder.File("korvan_debug.log"));
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  LoopbackListener Board;
  std::unique_ptr<LoopbackPeer> Peer;
};

TEST_F(RipModeTest, TheVersionQueryIsAnsweredWithItsExactBytes) {
  CallRipBoard();
  struct Case {
    const char* Name;
    std::string Bytes;
    std::string Reply;  // what the board gets, exactly
    std::string Text;   // text that must reach the screen after it
  };
  const Case cases[] = {
      {"the bare query", kEsc + "[!", "RIPSCRIP015410", ""},
      {"the query with 0", kEsc + "[0!", "RIPSCRIP015410", ""},
      {"an ESC inside a query starts the next one and swallows nothing", kEsc + "[12" + kEsc + "[0!AFTER",
       "RIPSCRIP015410", "AFTER"},
      {"an ESC straight after ESC leaves no query behind", kEsc + kEsc + "[0!TAIL", "", "TAIL"},
      {"RIP switched off and on again is not a query", kEsc + "[1!" + kEsc + "[2!NEXT", "", "NEXT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Receive(kEsc + "[2J" + kEsc + "[H" + c.Bytes);
    EXPECT_EQ(BoardGot(), c.Reply);
    if (!c.Text.empty()) EXPECT_TRUE(CallScreenHas(c.Text)) << CallScreenText();
  }
}

TEST_F(RipModeTest, AClickInAButtonOrMouseRegionSendsItsText) {
  CallRipBoard();
  // A button at (100, 50) whose region ends at (119, 59); regions with a
  // text and with a control code; an overlapping region added last wins.
  Receive("!|*|" + ButtonStyle() + "|1U" + Mega(100) + Mega(50) + Mega(0) + Mega(0) + "0000<>Quit<>Q|" +
          Region(200, 100, 210, 110, "files") + "|" + Region(300, 100, 310, 110, "^c") + "|" +
          Region(205, 105, 230, 120, "mail") + "\r\n");
  struct Case {
    const char* Name;
    int X, Y;
    std::string Sent;
  };
  const Case cases[] = {
      {"the button's top-left corner", 100, 50, "Q"},
      {"the button's region, bottom-right, inclusive", 119, 59, "Q"},
      {"the button face past its region", 120, 59, ""},
      {"a region's corner", 200, 100, "files"},
      {"the overlap goes to the region added last", 210, 110, "mail"},
      {"a region's right edge, inclusive", 230, 120, "mail"},
      {"one pixel right of it", 231, 120, ""},
      {"one pixel below it", 230, 121, ""},
      {"^c sends the control code", 310, 110, "\x03"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Click(c.X, c.Y);
    EXPECT_EQ(BoardGot(), c.Sent);
  }

  // The second press of a double click sends nothing more.
  Click(100, 50);
  Click(100, 50, false, platform::EventKind::MouseDouble);
  EXPECT_EQ(BoardGot(), "Q");

  // A board that asked for mouse reports gets a report; with Shift held the
  // click is the region's.
  Receive(kEsc + "[?1000h");
  Click(100, 50);
  const std::string report = BoardGot();
  EXPECT_EQ(report.substr(0, 3), kEsc + "[M") << report;
  Click(100, 50, true);
  EXPECT_EQ(BoardGot(), "Q");
  Receive(kEsc + "[?1000l");

  // With RIP switched off by the board the regions rest.
  Receive(kEsc + "[1!");
  Click(100, 50);
  EXPECT_EQ(BoardGot(), "");
  Receive(kEsc + "[2!");
  Click(100, 50);
  EXPECT_EQ(BoardGot(), "Q");
}

TEST_F(RipModeTest, TheTextWindowResizesOrHidesTheGrid) {
  CallRipBoard(80, 30);
  const TTerminalBuffer& grid = App->CallScreen();
  // The end of a SkyPix page with no text window before it leaves the grid
  // (and the SkyPix colours, which RIP's reset command puts back to EGA).
  Receive(kEsc + "[99!");
  EXPECT_EQ(grid.FHeight, 30);
  // A window of no size hides the text; the next typed key shows it again
  // over an empty picture.
  Receive("\r\n!|*|S0104|B00000A0A|w0000000000\r\nHIDDEN");
  EXPECT_FALSE(CallScreenHas("HIDDEN"));
  EXPECT_EQ(Shown(5, 5), kRed);
  Type("x");
  EXPECT_EQ(BoardGot(), "x");
  EXPECT_EQ(Shown(5, 5), kBlack) << "the picture is cleared";
  Receive("SHOWN");
  EXPECT_TRUE(CallScreenHas("SHOWN")) << CallScreenText();

  // Size 1 (7 x 8 cells) makes the grid 91 x 43 once; a second window of
  // the same size only moves the margins and the cursor.
  Receive("\r\n!|w0000" + Mega(90) + Mega(42) + "01\r\n");
  EXPECT_EQ(grid.FWidth, 91);
  EXPECT_EQ(grid.FHeight, 43);
  EXPECT_EQ(grid.CursorX, 0);
  Receive("!|w0505" + Mega(60) + Mega(20) + "01\r\nIN");
  RunUntil([&] { return LogCount("RipTextWindow: after SetMargins") >= 2; }, 2000);
  EXPECT_EQ(LogCount("RipTextWindow: RESIZING"), 1);
  EXPECT_EQ(Row(5).substr(5, 2), "IN");

  // The end of a SkyPix page gives back 80 x 25; a second end, with no text
  // window since, leaves the grid alone.
  Receive(kEsc + "[99!");
  EXPECT_EQ(grid.FWidth, 80);
  EXPECT_EQ(grid.FHeight, 25);
  Receive(kEsc + "[8;30t");  // a board's resize is refused in RIP
  Receive(kEsc + "[99!");
  EXPECT_EQ(grid.FHeight, 25);
}

TEST_F(RipModeTest, SkyPixMovesTheTextCursorInPixels) {
  CallRipBoard();
  const TTerminalBuffer& grid = App->CallScreen();
  // A text position at the canvas's far corner: column 79, and the last row
  // the board may write.
  Receive(kEsc + "[19;639;349!Z");
  EXPECT_EQ(grid.GetCell(79, grid.VisibleRows() - 1).Ch, 'Z') << CallScreenText();
  // The page's end moves the cursor below what was drawn when the cursor is
  // above it: row (300 + 8) div 14 = 22; drawing above the cursor leaves it.
  Receive(kEsc + "[2J" + kEsc + "[11H" + kEsc + "[15;4!" + kEsc + "[4;0;0;50;100!" + kEsc + "[99!A");
  EXPECT_EQ(grid.GetCell(0, 10).Ch, 'A') << CallScreenText();
  Receive(kEsc + "[2J" + kEsc + "[11H" + kEsc + "[4;0;0;50;300!" + kEsc + "[99!B");
  EXPECT_EQ(grid.GetCell(0, 22).Ch, 'B') << CallScreenText();
  // Positions at the far end of 32 bits land on the grid's edges.
  Receive(kEsc + "[2J" + kEsc + "[19;2147483647;2147483647!W");
  EXPECT_EQ(grid.GetCell(79, grid.VisibleRows() - 1).Ch, 'W') << CallScreenText();
}

TEST_F(RipModeTest, SkyPixFontTextStartsAtTheCursorAndTheCursorFollowsIt) {
  // A program folder with a SkyPix font: TOPAZ 8, solid 8 x 8 blocks.
  std::filesystem::remove(Folder.File("fonts"));
  std::filesystem::create_directories(Folder.File("fonts/skypix"));
  std::filesystem::create_symlink(std::string(KORVAN_BINARY_DIR) + "/fonts/IBM_VGA_8x16.F16",
                                  Folder.File("fonts/IBM_VGA_8x16.F16"));
  WriteWholeFile(Folder.File("fonts/skypix/TOPAZ_08.SPF"), SpfBytes(8, 32, 6, 96));
  CallRipBoard();
  const TTerminalBuffer& grid = App->CallScreen();
  // From the cursor at (2, 2), pixel (16, 28), two glyphs are drawn on the
  // picture, not on the grid; the page's end puts the cursor behind them:
  // pixel (32, 28), cell (4, 2).
  Receive(kEsc + "[2J" + kEsc + "[3;3H" + kEsc + "[10;8!TOPAZ!AB" + kEsc + "[99!Z");
  EXPECT_EQ(Row(2).substr(2, 3), "  Z") << CallScreenText();
  EXPECT_EQ(Shown(20, 32), platform::PackRGB(187, 0, 136)) << "colour 15 of the SkyPix palette";
  EXPECT_EQ(Shown(31, 32), platform::PackRGB(187, 0, 136));
}

TEST_F(RipModeTest, ThePictureFillsTheWindowWithTextAndOverlaysOverIt) {
  std::filesystem::create_directories(Folder.File("icons"));
  WriteWholeFile(Folder.File("icons/logo.icn"), IconBytes(4, 2, [](int, int) { return 14; }));
  WriteWholeFile(Folder.File("icons/Scene.rip"), "!|S0102|B" + Mega(400) + Mega(50) + Mega(420) + Mega(60) + "\r\n");
  CallRipBoard();
  // A red bar, an icon and a scene named in upper case, found whatever their case.
  Receive("!|S0104|B00000A0A|1I" + Mega(300) + Mega(200) + "00000LOGO|1R00000000SCENE\r\n");
  EXPECT_EQ(Shown(5, 5), kRed);
  EXPECT_EQ(Shown(303, 201), kYellow) << "the icon";
  EXPECT_EQ(Shown(410, 55), kGreen) << "the scene";
  // Text over graphics leaves them; text elsewhere shows in its colour.
  Receive(kEsc + "[1;1HX" + kEsc + "[6;41H" + kEsc + "[1;33mX");
  EXPECT_EQ(Shown(1, 1), kRed);
  EXPECT_TRUE(ShownAnywhereIn(320, 70, 327, 83, platform::PackRGB(255, 255, 0))) << "the yellow X in cell (40, 5)";

  // The status bar is drawn over the picture and leaves nothing on it.
  Receive("\r\n!|S0104|B0000" + Mega(639) + Mega(349) + "\r\n");
  EXPECT_EQ(Shown(5, 345), kBarBlue);
  Probe().StatusBar() = false;
  Probe().StatusUntil() = 0;
  EXPECT_EQ(Shown(5, 345), kRed);

  // With RIP off the text grid is shown instead.
  Receive(kEsc + "[1!");
  EXPECT_NE(Shown(100, 100), kRed);
  Receive(kEsc + "[2!");
  EXPECT_EQ(Shown(100, 100), kRed);
}

}  // namespace
