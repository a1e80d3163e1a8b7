// Text windows: the "1" words, the byte feed with its ANSI sequences, and
// the painted grid inside its frame.
#include <algorithm>
#include <chrono>

#include "tests/door/DDOFXWidgetSupport.h"

using namespace ddofxgfxtest;

namespace {

// A font whose space is empty and every other glyph a solid block, so a
// cell shows its foreground for a character and its background for a space.
std::vector<uint8_t> SpaceAndBlocks() {
  std::vector<uint8_t> glyphs = BlockFont();
  std::fill(glyphs.begin() + ' ' * 16, glyphs.begin() + ' ' * 16 + 16, uint8_t(0));
  return glyphs;
}

class DDOFXTextWindow : public ::testing::Test {
 protected:
  TGfxHarness H;
  void SetUp() override {
    H.Gfx->SetTextFont(SpaceAndBlocks().data());
    H.Gfx->Reset();
    H.Run("LIGMODE");
  }
  // Door output outside brace commands.
  void Feed(const std::string& text) {
    for (char c : text) H.Parser->FilterByte(uint8_t(c));
  }
  const TGfxWindow& W(int n) const { return H.Gfx->TextWindows[size_t(n)]; }
  const TGfxCell& Cell(int n, int row, int col) const {
    return W(n).Cells[size_t(row * ddofxgfx::kTextWindowCols + col)];
  }
};

TEST_F(DDOFXTextWindow, AnsiColoursShowInsideTheFrame) {
  // Cells 2..12 x 2..6 with a frame in colour 15.
  H.Run("1OPEN,1,2,12,2,6,15,14,Y,N,N,N,,Top,");
  Feed("\x1b[31;44mX\x1b[0m\x1b[42m \x1b[1;33mY");
  H.Compose();
  EXPECT_EQ(H.At(8, 16), Rgb(*H.Gfx, 15)) << "corner";
  EXPECT_EQ(H.At(84, 16), Rgb(*H.Gfx, 15)) << "top edge";
  EXPECT_EQ(H.At(44, 16), Rgb(*H.Gfx, 14)) << "title";
  EXPECT_EQ(H.At(8, 60), Rgb(*H.Gfx, 15)) << "left edge";
  EXPECT_EQ(H.At(16 + 3, 32 + 5), Rgb(*H.Gfx, 4)) << "red X";
  EXPECT_EQ(H.At(24 + 3, 32 + 5), Rgb(*H.Gfx, 2)) << "green space";
  EXPECT_EQ(H.At(32 + 3, 32 + 5), Rgb(*H.Gfx, 14)) << "bold yellow Y";
  EXPECT_EQ(H.At(40 + 3, 32 + 5), Rgb(*H.Gfx, 0)) << "blank cell";
  EXPECT_EQ(H.At(100, 100), Rgb(*H.Gfx, 0)) << "outside the window";
  ASSERT_TRUE(H.WritePng(H.Program.File("textwindow.png")));
  // Closing takes it off the screen again.
  H.Run("1CLOSE");
  H.Compose();
  EXPECT_EQ(H.At(16 + 3, 32 + 5), Rgb(*H.Gfx, 0));
  EXPECT_EQ(H.At(8, 16), Rgb(*H.Gfx, 0));
  EXPECT_FALSE(H.Gfx->TextWindowActive());
}

TEST_F(DDOFXTextWindow, ByteFeedCases) {
  struct Case {
    const char* name;
    std::string setup, feed;
    int row, col;
    uint8_t ch, fg, bg;
    int cursorRow, cursorCol;
  } cases[] = {
      {"bold yellow on blue", "", "\x1b[1;33;44mX", 0, 0, 'X', 14, 1, 0, 1},
      {"reverse per cell", "", "\x1b[33;44m\x1b[7mX", 0, 0, 'X', 1, 6, 0, 1},
      {"bold has no effect in reverse", "", "\x1b[1;7;33;44mX", 0, 0, 'X', 1, 6, 0, 1},
      {"81st character wraps", "", std::string(80, 'a') + "b", 1, 0, 'b', 7, 0, 1, 1},
      {"wrap at 40 columns", "1SETC,40", std::string(40, 'a') + "b", 1, 0, 'b', 7, 0, 1, 1},
      {"tab stops short of the wrap", "", std::string(77, 'a') + "\tb", 0, 79, 'b', 7, 0, 0, 80},
      {"cursor position and back", "", "\x1b[3;5HQ\x1b[2DR", 2, 3, 'R', 7, 0, 2, 4},
      {"position clamps to the grid", "", "\x1b[500;500HZ", 99, 79, 'Z', 7, 0, 99, 80},
      {"save and restore", "", "\x1b[s\x1b[10;10H\x1b[uS", 0, 0, 'S', 7, 0, 0, 1},
      {"erase to end of line", "", "abc\r\x1b[44m\x1b[K", 0, 2, ' ', 7, 1, 0, 0},
      {"ESC [ 1 J does nothing", "", "abc\x1b[1J", 0, 1, 'b', 7, 0, 0, 3},
      {"ESC [ 2 J clears", "", "abc\x1b[2J", 0, 1, ' ', 7, 0, 0, 0},
      {"an overlong sequence is dropped", "", "\x1b[" + std::string(41, '1') + "mX", 0, 0, 'm', 7, 0, 0, 2},
      {"a private marker is skipped", "", "\x1b[?31mX", 0, 0, 'X', 4, 0, 0, 1},
      {"unknown finals are ignored", "", "\x1b[5zX", 0, 0, 'X', 7, 0, 0, 1},
      {"ESC without [ drops the next byte", "", "\x1b" "AX", 0, 0, 'X', 7, 0, 0, 1},
      {"backspace, bell and NUL", "", std::string("ab\x08\x07\0c", 6), 0, 1, 'c', 7, 0, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    H.Run("1SETC,80");
    H.Run("1OPEN,1,1,80,1,30");
    if (!c.setup.empty()) H.Run(c.setup);
    Feed(c.feed);
    const TGfxCell& cell = Cell(1, c.row, c.col);
    EXPECT_EQ(cell.Ch, c.ch);
    EXPECT_EQ(cell.Fg, c.fg);
    EXPECT_EQ(cell.Bg, c.bg);
    EXPECT_EQ(W(1).CursorRow, c.cursorRow);
    EXPECT_EQ(W(1).CursorCol, c.cursorCol);
  }
}

TEST_F(DDOFXTextWindow, ALineFeedOnTheLastRowScrollsTheGrid) {
  H.Run("1OPEN,1,1,20,1,10,15,15,N,N,N,Y");
  Feed("top\r\n");
  Feed("\x1b[100;1Hlast\n");
  EXPECT_EQ(Cell(1, 0, 0).Ch, ' ') << "row 0 is gone";
  EXPECT_EQ(Cell(1, 98, 0).Ch, 'l');
  EXPECT_EQ(Cell(1, 99, 0).Ch, ' ');
  EXPECT_EQ(W(1).CursorRow, 99);
  // The view follows the cursor row down: it is the last visible row.
  EXPECT_EQ(W(1).ViewRow, 91);
  Feed("\x0c");
  EXPECT_EQ(W(1).ViewRow, 1);
  EXPECT_EQ(Cell(1, 98, 0).Ch, ' ');
}

TEST_F(DDOFXTextWindow, ViewLimitsTitlesAndContentSize) {
  H.Run("1OPEN,1,1,10,1,5,15,14,Y,N,N,N,,ABCDEFGHIJKLMNOPQRST,");
  EXPECT_EQ(TDDOFXGfx::TextWindowWidth(W(1)), 8);
  EXPECT_EQ(TDDOFXGfx::TextWindowHeight(W(1)), 3);
  H.Run("1POS,100,0");
  EXPECT_EQ(W(1).ViewCol, 73);
  H.Run("1POSR,-200,200");
  EXPECT_EQ(W(1).ViewCol, 1);
  EXPECT_EQ(W(1).ViewRow, 98);
  Feed("\x1b[5;1H");
  H.Run("1GOTOC");
  EXPECT_EQ(W(1).ViewRow, 3) << "cursor row 5 is the last of three visible";
  // The title is cut to the 8 inner cells: columns 2..9 of row 1, the
  // corners stay.
  H.Compose();
  EXPECT_EQ(H.At(0, 0), Rgb(*H.Gfx, 15));
  for (int c = 2; c <= 9; ++c) EXPECT_EQ(H.At((c - 1) * 8 + 2, 2), Rgb(*H.Gfx, 14)) << c;
  EXPECT_EQ(H.At(9 * 8 + 2, 2), Rgb(*H.Gfx, 15));
}

TEST_F(DDOFXTextWindow, AHiddenWindowTakesTextAndShowsItWhenUnhidden) {
  H.Run("1OPEN,1,1,10,1,5");
  H.Run("1HIDE");
  EXPECT_TRUE(H.Gfx->TextWindowActive());
  Feed("\x1b[32mHI");
  H.Compose();
  EXPECT_EQ(H.At(3, 5), Rgb(*H.Gfx, 0));
  H.Run("1UNHIDE");
  H.Compose();
  EXPECT_EQ(H.At(3, 5), Rgb(*H.Gfx, 2));
  EXPECT_EQ(H.At(11, 5), Rgb(*H.Gfx, 2));
}

TEST_F(DDOFXTextWindow, CloseSwapAndWinPickTheCurrentWindow) {
  H.Run("1OPEN,2,1,10,1,5");
  H.Run("1OPEN,9,20,30,1,5");
  H.Run("1OPEN,4,40,50,1,5");
  EXPECT_EQ(H.Gfx->CurrentTextWindow, 4);
  H.Run("1CLOSE");
  EXPECT_EQ(H.Gfx->CurrentTextWindow, 2) << "the nearest defined one below";
  H.Run("1CLOSE");
  EXPECT_EQ(H.Gfx->CurrentTextWindow, 9) << "wrapping round from 1 to 10";
  H.Run("1SWAP,9,3");
  EXPECT_EQ(H.Gfx->CurrentTextWindow, 3);
  EXPECT_TRUE(W(3).Defined);
  EXPECT_FALSE(W(9).Defined);
  H.Run("1WIN,9");
  EXPECT_EQ(H.Gfx->CurrentTextWindow, 3) << "an undefined window cannot become current";
  H.Run("1CLOSE");
  EXPECT_EQ(H.Gfx->CurrentTextWindow, 0);
  H.Run("1HIDE");
  H.Run("1POS,5,5");
  Feed("text");  // no window: the bytes go to the terminal
  H.Run("1OPEN,11,1,10,1,5");
  H.Run("1OPEN,0,1,10,1,5");
  EXPECT_EQ(H.Gfx->CurrentTextWindow, 0);
}

TEST_F(DDOFXTextWindow, ChangeKeepsTheGridAndTheEscapeState) {
  H.Run("1OPEN,1,1,10,1,5");
  Feed("ab\x1b[3");
  H.Run("1CHANGE,20,40,2,8,15,15,Y");
  EXPECT_EQ(W(1).Left, 20);
  EXPECT_TRUE(W(1).Border);
  Feed("2mc");
  EXPECT_EQ(Cell(1, 0, 0).Ch, 'a');
  EXPECT_EQ(Cell(1, 0, 2).Ch, 'c');
  EXPECT_EQ(Cell(1, 0, 2).Fg, 2);
}

TEST_F(DDOFXTextWindow, HugeRectanglesPaintOnlyWhatIsOnThePage) {
  const auto start = std::chrono::steady_clock::now();
  H.Run("1OPEN,1,-2147483648,2147483647,-2147483648,2147483647,15,15,Y,N,Y,Y,,T,B");
  Feed("\x1b[1;33mline\r\n");
  H.Run("1POSR,2147483647,-2147483648");
  H.Run("1OPEN,2,2147483000,2147483647,1,5,15,15,Y");
  Feed("x");
  H.Run("1OPEN,3,5,-5,7,-7,15,15,N");
  Feed("y");
  H.Run("1SCALE,1,1");
  H.Compose();
  H.Run("1SCALE,8,16");
  H.Compose();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(DDOFXTextWindow, AFloodOfHostileBytesStaysInsideTheGrid) {
  H.Run("1OPEN,1,1,80,1,30,15,15,Y,N,Y,Y");
  uint32_t seed = 12345;
  std::string flood;
  for (int i = 0; i < (1 << 20); ++i) {
    seed = seed * 1103515245u + 12345u;
    const uint8_t b = uint8_t(seed >> 16);
    // Mostly escapes, digits and separators, so sequences really run.
    static const std::string alphabet = "\x1b[;0123456789mHJKABCDsu?=\r\n\t\x08\x0c";
    flood += (b & 1) ? char(b) : alphabet[(b >> 1) % alphabet.size()];
  }
  std::replace(flood.begin(), flood.end(), char(0x1d), 'x');  // no door commands
  Feed(flood);
  const TGfxWindow& w = W(1);
  EXPECT_EQ(w.Cells.size(), size_t(ddofxgfx::kTextWindowCols * ddofxgfx::kTextWindowRows));
  EXPECT_GE(w.CursorRow, 0);
  EXPECT_LT(w.CursorRow, 100);
  EXPECT_GE(w.CursorCol, 0);
  EXPECT_LE(w.CursorCol, 80);
  EXPECT_LE(w.EscParams.size(), 40u);
  EXPECT_GE(w.ViewRow, 1);
  EXPECT_LE(w.ViewRow, 101 - 28);
  H.Compose();
}

}  // namespace
