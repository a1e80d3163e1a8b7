// VT52 with the Atari ST additions: cursor addressing, erasing, line edits,
// colours, reverse video, save and restore, and the strings ncurses' terminfo
// sends for the vt52 and Atari ST (st52) terminals.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/uControlChars.h"
#include "core/uVT52Parser.h"
#include "tests/core/EmulationTestSupport.h"

using namespace emutest;

namespace {

std::unique_ptr<TTextEmulation> MakeVT52(TTerminalBuffer& B, const TEmulationCase&) {
  return std::make_unique<TVT52Parser>(B);
}

std::string Esc(const std::string& Rest) { return Bytes({cc::ESC}) + Rest; }
std::string Cup(int Row, int Col) { return Esc("Y") + Bytes({Row + 32, Col + 32}); }

// Three numbered rows "0000...", "1111...", "2222..." across the screen.
const std::string kThreeRows = std::string(80, '0') + std::string(80, '1') + std::string(80, '2');

}  // namespace

TEST(VT52ParserTest, Table) {
  const std::vector<TEmulationCase> cases = {
      {.Name = "ESC Y 0x20 0x20 homes", .Feeds = {"ab" + Cup(0, 0) + "X"}, .Rows = {{0, "Xb"}}},
      {.Name = "ESC Y 0x38 0x40 is column 32 row 24",
       .Feeds = {Esc("Y") + Bytes({0x38, 0x40}) + "X"},
       .Cells = {{.Col = 32, .Row = 24, .Ch = 'X'}}},
      {.Name = "ESC Y split between row and column",
       .Feeds = {Esc("Y%"), "*X"},
       .Cells = {{.Col = 10, .Row = 5, .Ch = 'X'}}},
      {.Name = "ESC Y past the grid clamps and still writes",
       .Feeds = {Esc("Y") + Bytes({0xFF, 0xFF}) + "Z"},
       .Cells = {{.Col = 79, .Row = 24, .Ch = 'Z'}}},
      {.Name = "ESC Y below the bias clamps to the top left",
       .Feeds = {Cup(3, 3) + Esc("Y") + Bytes({0x00, 0x05}) + "Z"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'Z'}}},
      {.Name = "cursor keys A B C D",
       .Feeds = {Cup(5, 5) + Esc("A") + Esc("D") + "u" + Esc("B") + Esc("B") + Esc("C") + "d"},
       .Cells = {{.Col = 4, .Row = 4, .Ch = 'u'}, {.Col = 6, .Row = 6, .Ch = 'd'}}},
      {.Name = "ESC b 0x31 is the ANSI-order red",
       .Feeds = {Esc("b1") + "r"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'r', .Fg = TColorRGB{0xAA, 0, 0}}}},
      {.Name = "ESC b 9 is bright red, ESC c 4 a blue background",
       .Feeds = {Esc("b9") + Esc("c4") + "r"},
       .Cells = {{.Col = 0, .Row = 0, .Fg = TColorRGB{0xFF, 0, 0}, .Bg = TColorRGB{0, 0, 0xAA}}}},
      {.Name = "ESC p and ESC q switch reverse video",
       .Feeds = {Esc("p") + "R" + Esc("q") + "n"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'R', .Reverse = true}, {.Col = 1, .Row = 0, .Ch = 'n', .Reverse = false}}},
      {.Name = "TAB past the last stop stops on the last column and writes there",
       .Feeds = {Cup(0, 75) + Bytes({cc::HT}) + "X"},
       .Cells = {{.Col = 79, .Row = 0, .Ch = 'X'}}},
      {.Name = "TAB to the next multiple of 8",
       .Feeds = {"abc" + Bytes({cc::HT}) + "X"},
       .Cells = {{.Col = 8, .Row = 0, .Ch = 'X'}}},
      {.Name = "BS moves left, BEL and NUL do nothing",
       .Feeds = {"ab" + Bytes({cc::BS, cc::BEL, cc::NUL}) + "X"},
       .Rows = {{0, "aX"}}},
      {.Name = "LF and VT move down, CR returns",
       .Feeds = {"a\nb" + Bytes({cc::VT}) + "c\rd"},
       .Rows = {{0, "a"}, {1, " b"}, {2, "d c"}}},
      {.Name = "FF clears and homes", .Feeds = {"abc\n" + Bytes({cc::FF}) + "X"}, .Rows = {{0, "X"}, {1, ""}}},
      {.Name = "ESC E clears and homes", .Feeds = {kThreeRows + Esc("E") + "X"}, .Rows = {{0, "X"}, {2, ""}}},
      {.Name = "ESC K erases to the end of the line",
       .Feeds = {kThreeRows + Cup(1, 10) + Esc("K")},
       .Rows = {{0, std::string(80, '0')}, {1, std::string(10, '1')}, {2, std::string(80, '2')}}},
      {.Name = "ESC J erases to the end of the screen",
       .Feeds = {kThreeRows + Cup(1, 10) + Esc("J")},
       .Rows = {{0, std::string(80, '0')}, {1, std::string(10, '1')}, {2, ""}}},
      {.Name = "ESC d erases to the start of the screen",
       .Feeds = {kThreeRows + Cup(1, 10) + Esc("d")},
       .Rows = {{0, ""}, {1, std::string(11, ' ') + std::string(69, '1')}, {2, std::string(80, '2')}}},
      {.Name = "ESC o erases to the start of the line",
       .Feeds = {kThreeRows + Cup(1, 10) + Esc("o")},
       .Rows = {{0, std::string(80, '0')}, {1, std::string(11, ' ') + std::string(69, '1')}}},
      {.Name = "ESC l erases the whole line",
       .Feeds = {kThreeRows + Cup(1, 10) + Esc("l")},
       .Rows = {{0, std::string(80, '0')}, {1, ""}, {2, std::string(80, '2')}},
       .CursorX = 10, .CursorY = 1},
      {.Name = "ESC I on the top row scrolls down",
       .Feeds = {kThreeRows + Cup(0, 4) + Esc("I")},
       .Rows = {{0, ""}, {1, std::string(80, '0')}, {3, std::string(80, '2')}},
       .CursorX = 4, .CursorY = 0},
      {.Name = "ESC I below the top row moves up",
       .Feeds = {Cup(3, 4) + Esc("I") + "X"},
       .Cells = {{.Col = 4, .Row = 2, .Ch = 'X'}}},
      {.Name = "ESC L inserts a line at the cursor row",
       .Feeds = {kThreeRows + Cup(1, 0) + Esc("L")},
       .Rows = {{0, std::string(80, '0')}, {1, ""}, {2, std::string(80, '1')}}},
      {.Name = "ESC M deletes the cursor row",
       .Feeds = {kThreeRows + Cup(0, 0) + Esc("M")},
       .Rows = {{0, std::string(80, '1')}, {1, std::string(80, '2')}, {2, ""}}},
      {.Name = "ESC j saves, ESC k restores",
       .Feeds = {Cup(4, 7) + Esc("j") + Cup(20, 20) + Esc("k") + "X"},
       .Cells = {{.Col = 7, .Row = 4, .Ch = 'X'}}},
      {.Name = "ESC k without a saved position stays", .Feeds = {Cup(4, 7) + Esc("k") + "X"},
       .Cells = {{.Col = 7, .Row = 4, .Ch = 'X'}}},
      {.Name = "ESC f hides the cursor", .Feeds = {Esc("f")}, .CursorVisible = false},
      {.Name = "ESC f then ESC e shows it", .Feeds = {Esc("f") + Esc("e")}, .CursorVisible = true},
      {.Name = "unknown ESC Z is dropped, the next byte prints", .Feeds = {Esc("Z") + "X"}, .Rows = {{0, "X"}}},
      {.Name = "bytes 128..255 print as CP437", .Feeds = {Bytes({0xC9, 0xCD, 0xBB})}, .Rows = {{0, Bytes({0xC9, 0xCD, 0xBB})}}},
  };
  RunCases(80, 25, cases, MakeVT52);
}

namespace {

// What tput prints for a capability of a terminal type from ncurses'
// terminfo database.
std::string Tput(const std::string& Term, const std::string& Args) {
  std::string out;
  const std::string cmd = "tput -T " + Term + " " + Args + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[256];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  if (status != 0) out.clear();
  return out;
}

}  // namespace

// The DEC VT52 entry: cup, clear, el, ed, ri as a curses program sends them.
TEST(VT52ParserTest, TerminfoVT52Strings) {
  const std::string clear = Tput("vt52", "clear");
  const std::string cup = Tput("vt52", "cup 5 10");
  ASSERT_FALSE(clear.empty() || cup.empty()) << "tput or the vt52 terminfo entry (ncurses-bin, ncurses-term) is missing";
  TTerminalBuffer b(80, 24);
  TVT52Parser p(b);
  FeedAll(p, kThreeRows);
  FeedAll(p, clear);
  EXPECT_EQ(RawRow(b, 0), "");
  EXPECT_EQ(RawRow(b, 2), "");
  EXPECT_EQ(b.CursorX, 0);
  EXPECT_EQ(b.CursorY, 0);

  FeedAll(p, cup + "hello");
  EXPECT_EQ(RawRow(b, 5), std::string(10, ' ') + "hello");
  FeedAll(p, Tput("vt52", "cup 5 12") + Tput("vt52", "el"));
  EXPECT_EQ(RawRow(b, 5), std::string(10, ' ') + "he");

  FeedAll(p, Tput("vt52", "cup 7 0") + "seven" + Tput("vt52", "cup 6 0") + Tput("vt52", "ed"));
  EXPECT_EQ(RawRow(b, 5), std::string(10, ' ') + "he");
  EXPECT_EQ(RawRow(b, 7), "");

  FeedAll(p, Tput("vt52", "cup 0 0") + Tput("vt52", "ri") + "top");
  EXPECT_EQ(RawRow(b, 0), "top");
  EXPECT_EQ(RawRow(b, 6), std::string(10, ' ') + "he");  // everything moved down one row
}

// The Atari ST entry adds clear-and-home, line insert and delete, erase to
// the start of the line, reverse video, save and restore, cursor visibility.
TEST(VT52ParserTest, TerminfoAtariStStrings) {
  const std::string init = Tput("st52", "init");
  const std::string clear = Tput("st52", "clear");
  ASSERT_FALSE(clear.empty()) << "tput or the st52 terminfo entry (ncurses-term) is missing";
  TTerminalBuffer b(80, 24);
  TVT52Parser p(b);
  FeedAll(p, kThreeRows + init + clear);
  EXPECT_EQ(RawRow(b, 1), "");
  EXPECT_TRUE(b.CursorVisible);

  FeedAll(p, "line0\r\nline1\r\nline2");
  FeedAll(p, Tput("st52", "cup 1 0") + Tput("st52", "il1"));
  EXPECT_EQ(RawRow(b, 1), "");
  EXPECT_EQ(RawRow(b, 2), "line1");
  FeedAll(p, Tput("st52", "dl1"));
  EXPECT_EQ(RawRow(b, 1), "line1");
  EXPECT_EQ(RawRow(b, 2), "line2");

  FeedAll(p, Tput("st52", "cup 0 2") + Tput("st52", "el1"));
  EXPECT_EQ(RawRow(b, 0), "   e0");

  FeedAll(p, Tput("st52", "cup 3 5") + Tput("st52", "sc") + Tput("st52", "cup 20 0") + Tput("st52", "rc") +
                 Tput("st52", "rev") + "R" + Tput("st52", "sgr0") + "n");
  EXPECT_EQ(b.GetCell(5, 3).Ch, 'R');
  EXPECT_TRUE(b.GetCell(5, 3).Reverse);
  EXPECT_FALSE(b.GetCell(6, 3).Reverse);

  FeedAll(p, Tput("st52", "civis"));
  EXPECT_FALSE(b.CursorVisible);
  FeedAll(p, Tput("st52", "cnorm"));
  EXPECT_TRUE(b.CursorVisible);
}

TEST(VT52ParserTest, ResetLeavesThePen) {
  TTerminalBuffer b(80, 25);
  TVT52Parser p(b);
  FeedAll(p, Esc("b9") + Esc("j") + Esc("Y"));  // stopped inside ESC Y
  p.Reset();
  FeedAll(p, Cup(9, 9) + Esc("k") + "X");  // the saved position is gone
  EXPECT_EQ(b.GetCell(9, 9).Ch, 'X');
  EXPECT_EQ(b.GetCell(9, 9).Fg, (TColorRGB{0xFF, 0, 0}));
}
