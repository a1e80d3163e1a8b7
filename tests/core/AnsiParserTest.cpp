// The ANSI-BBS emulation byte by byte: text, controls, cursor and edit
// sequences, replies, music, strings and VT mode. Each row feeds its pieces
// separately (a piece boundary is a split write) into a fresh 80x25 screen.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "core/uControlChars.h"
#include "core/uDebugLog.h"
#include "tests/support/ChildProcess.h"
#include "tests/core/AnsiTestSupport.h"

namespace {

struct ScreenCase {
  const char* Name;
  std::vector<std::string> Pieces;
  std::vector<std::string> Screen;  // rows from the top; trailing blank rows omitted
  int X = -1, Y = -1;               // cursor afterwards (-1: not checked)
  std::string Reply = "";
  bool Vt = false;
  int Reserved = 0;  // status rows kept at the bottom
  int Height = 25;
};

// Test names from the rows' names.
struct RowName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (const char* p = info.param.Name; *p; ++p) name += std::isalnum(uint8_t(*p)) ? *p : '_';
    return name + "_" + std::to_string(info.index);
  }
};

void PrintTo(const ScreenCase& c, std::ostream* os) { *os << c.Name; }

class AnsiScreenTest : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(AnsiScreenTest, Bytes) {
  const ScreenCase& c = GetParam();
  TAnsiTerm t(80, c.Height);
  t.Parser.VtMode = c.Vt;
  t.Buf.SetReservedRows(c.Reserved);
  for (const std::string& piece : c.Pieces) t.Feed(piece);
  EXPECT_EQ(t.Screen(), c.Screen);
  if (c.X >= 0) EXPECT_EQ(t.Buf.CursorX, c.X) << "cursor column";
  if (c.Y >= 0) EXPECT_EQ(t.Buf.CursorY, c.Y) << "cursor row";
  EXPECT_EQ(t.Replies, c.Reply);
}

// Every cell with its colours and attributes, the cursor and the pen: what
// two ways of feeding the same bytes must agree on.
std::string State(const TAnsiTerm& t) {
  std::string out;
  for (int r = 0; r < t.Buf.FHeight; ++r)
    for (int c = 0; c < t.Buf.FWidth; ++c) {
      const TCell cell = t.Buf.GetCell(c, r);
      out += char(cell.Ch);
      out += {char(cell.Fg.R), char(cell.Fg.G), char(cell.Fg.B), char(cell.Bg.R), char(cell.Bg.G), char(cell.Bg.B)};
      out += char(cell.Bold | cell.Blink << 1 | cell.Underline << 2 | cell.Reverse << 3);
    }
  out += std::to_string(t.Buf.CursorX) + "," + std::to_string(t.Buf.CursorY) + "," +
         std::to_string(t.Buf.LastColumnFlag) + "," + std::to_string(t.Buf.ScrollPending) + "," +
         std::to_string(t.Buf.ScrollbackCount) + "," + std::to_string(t.Parser.State);
  TTextAttributes pen;
  t.Buf.SaveAttributes(pen);
  out += std::to_string(pen.FgIndex) + "," + std::to_string(pen.BgIndex) + "," + std::to_string(pen.Bold);
  out += "|" + t.Replies;
  for (const std::string& m : t.Music) out += "|music " + m;
  for (const std::string& a : t.Apc) out += "|apc " + a;
  return out;
}

// The bytes cut into pieces of Size (0: one byte at a time through
// ProcessChar, as the other filters hand them on).
void FeedInPieces(TAnsiTerm& t, const std::string& bytes, size_t size) {
  if (size == 0) return t.FeedBytes(bytes);
  for (size_t at = 0; at < bytes.size(); at += size) t.Feed(bytes.substr(at, size));
}

// However the bytes arrive, whole or cut anywhere, the screen comes out the
// same, cell for cell.
TEST_P(AnsiScreenTest, AnyCutGivesTheSameCells) {
  const ScreenCase& c = GetParam();
  std::string all;
  for (const std::string& piece : c.Pieces) all += piece;
  TAnsiTerm whole(80, c.Height);
  whole.Parser.VtMode = c.Vt;
  whole.Buf.SetReservedRows(c.Reserved);
  whole.Feed(all);
  for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(7), size_t(17)}) {
    TAnsiTerm cut(80, c.Height);
    cut.Parser.VtMode = c.Vt;
    cut.Buf.SetReservedRows(c.Reserved);
    FeedInPieces(cut, all, size);
    EXPECT_EQ(State(cut), State(whole)) << "pieces of " << size;
  }
}

const std::string k100 = std::string(100, 'z');
const std::string k80 = std::string(80, 'z');

// Blank rows above the given ones.
std::vector<std::string> Below(int blank, std::vector<std::string> rows) {
  rows.insert(rows.begin(), size_t(blank), std::string());
  return rows;
}

INSTANTIATE_TEST_SUITE_P(
    Text, AnsiScreenTest,
    ::testing::Values(
        ScreenCase{"plain text and CR LF", {"Hello\r\nWorld"}, {"Hello", "World"}, 5, 1},
        ScreenCase{"LF keeps the column", {"ab\ncd"}, {"ab", "  cd"}, 4, 1},
        ScreenCase{"BS steps left, NUL and BEL print nothing", {std::string("ab\bc\0d" BEL "e", 8)}, {"acde"}, 4, 0},
        ScreenCase{"TAB stops every 8 columns", {"a\tb\tc"}, {"a       b       c"}, 17, 0},
        ScreenCase{"TAB after a wrap at the bottom lands on the new line",
                   {ESC "[25;1H" + std::string(80, 'w') + "\tx"}, Below(23, {std::string(80, 'w'), "        x"}), 9, 24},
        ScreenCase{"TAB past the last stop goes to the last column", {ESC "[75G\tx"}, {std::string(79, ' ') + "x"}},
        ScreenCase{"FF clears", {"junk\fok"}, {"ok"}, 2, 0},
        ScreenCase{"low controls and high bytes are glyphs", {"\x01\x1f\x7f\xb0\xe3"}, {"\x01\x1f\x7f \xcf\x80"}},
        ScreenCase{"SO outside VT mode is glyph 14", {"a" SO "b"}, {"a" SO "b"}},
        ScreenCase{"Main Menu is printed, the music capture abandoned", {"Main Menu"}, {"Main Menu"}, 9, 0},
        ScreenCase{"M at a line end", {"xM\r\nM"}, {"xM", "M"}, 1, 1},
        ScreenCase{"REP repeats the last printed character", {"xM" ESC "[3b" ESC "[6n"}, {"xMxxx"}, 5, 0,
                   ESC "[1;6R"},
        ScreenCase{"REP with 0 repeats once", {"q" ESC "[0b"}, {"qq"}, 2, 0},
        ScreenCase{"REP count is capped", {"r" ESC "[2147483647b" ESC "[H" ESC "[2Jok"}, {"ok"}},
        ScreenCase{"wrap at the last column", {std::string(81, 'w')}, {std::string(80, 'w'), "w"}, 1, 1}), RowName());

INSTANTIATE_TEST_SUITE_P(
    Cursor, AnsiScreenTest,
    ::testing::Values(
        ScreenCase{"CUP 0;0 homes and the next character is written", {ESC "[5;5H" ESC "[0;0HX"}, {"X"}, 1, 0},
        ScreenCase{"CUP without parameters homes", {"abc" ESC "[HX"}, {"Xbc"}, 1, 0},
        ScreenCase{"CUP row and column", {ESC "[3;7Hx"}, {"", "", "      x"}, 7, 2},
        ScreenCase{"HVP split across writes", {ESC "[3", ";7", "fx"}, {"", "", "      x"}, 7, 2},
        ScreenCase{"CUP past the edges clamps, keeps the next character", {ESC "[99;999Hz"},
                   Below(24, {std::string(79, ' ') + "z"}),
                   0, 24},
        ScreenCase{"CUU CUD CUF CUB with 0 move one", {ESC "[5;5H" ESC "[0A" ESC "[0C" ESC "[0B" ESC "[0D"}, {}, 4, 4},
        ScreenCase{"CUB 255 from column 10 stops at 0", {ESC "[11G" ESC "[255Dk"}, {"k"}, 1, 0},
        ScreenCase{"CNL on the last row, next character kept", {ESC "[25;9H" ESC "[Ex"},
                   Below(24, {"x"}),
                   1, 24},
        ScreenCase{"CPL", {ESC "[5;9H" ESC "[2F"}, {}, 0, 2},
        ScreenCase{"CHA and HPA", {ESC "[10G" "a" ESC "[3`b"}, {"  b      a"}, 3, 0},
        ScreenCase{"VPA keeps the column", {ESC "[1;4H" ESC "[3dv"}, {"", "", "   v"}, 4, 2},
        ScreenCase{"HPR and VPR", {ESC "[2a" ESC "[2e"}, {}, 2, 2},
        ScreenCase{"save and restore the cursor", {ESC "[4;4H" ESC "[s" ESC "[H" ESC "[uq"}, {"", "", "", "   q"}, 4, 3},
        ScreenCase{"CHT and CBT", {ESC "[2I" "a" ESC "[2Zb"}, {"        b       a"}, 9, 0},
        ScreenCase{"TBC clears a stop", {ESC "[9G" ESC "[g" ESC "[1G\tx"}, {std::string(16, ' ') + "x"}},
        ScreenCase{"TBC 3 clears every stop", {ESC "[3g\tx"}, {std::string(79, ' ') + "x"}},
        ScreenCase{"a huge parameter counts as omitted", {ESC "[99999999999999999999Cx"}, {" x"}},
        ScreenCase{"parameters beyond 16 are ignored", {ESC "[1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;5;5Hx"},
                   {" x"}},
        ScreenCase{"an ESC inside a sequence starts a new one", {ESC "[12" ESC "[2;5HX"}, {"", "    X"}},
        ScreenCase{"a control inside a sequence abandons it", {ESC "[5;5H" ESC "[1\rX"}, {"", "", "", "", "    X"}},
        ScreenCase{"sub-parameters are read to the final and dropped", {ESC "[38:2:255:0:0mX"}, {"X"}, 1, 0},
        ScreenCase{"intermediates are read to the final and dropped", {ESC "[1$pX" ESC "[2 qY"}, {"XY"}, 2, 0},
        ScreenCase{"the RIPscrip query and SkyPix commands end at their bang",
                   {ESC "[!A" ESC "[0!B" ESC "[10;8!" "C", ESC "[1;5;5", "!D"}, {"ABCD"}, 4, 0}), RowName());

INSTANTIATE_TEST_SUITE_P(
    Edit, AnsiScreenTest,
    ::testing::Values(
        ScreenCase{"EL to end", {"abcdef" ESC "[3G" ESC "[K"}, {"ab"}},
        ScreenCase{"EL to start", {"abcdef" ESC "[3G" ESC "[1K"}, {"   def"}},
        ScreenCase{"EL whole row", {"abcdef" ESC "[2K"}, {}, 6, 0},
        ScreenCase{"ED to end", {"ab\r\ncd\r\nef" ESC "[2;2H" ESC "[J"}, {"ab", "c"}},
        ScreenCase{"ED to start", {"ab\r\ncd\r\nef" ESC "[2;1H" ESC "[1J"}, {"", " d", "ef"}},
        ScreenCase{"ED 2 clears and homes", {"ab" ESC "[2J"}, {}, 0, 0},
        ScreenCase{"ICH", {"abcdef" ESC "[2G" ESC "[2@"}, {"a  bcdef"}, 1, 0},
        ScreenCase{"DCH", {"abcdef" ESC "[2G" ESC "[2P"}, {"adef"}, 1, 0},
        ScreenCase{"ECH", {"abcdef" ESC "[2G" ESC "[3X"}, {"a   ef"}, 1, 0},
        ScreenCase{"ICH beyond the row is cut", {"abc" ESC "[78G" ESC "[999@x"}, {"abc" + std::string(74, ' ') + "x"}},
        ScreenCase{"IL", {"1\r\n2\r\n3" ESC "[2;1H" ESC "[L"}, {"1", "", "2", "3"}},
        ScreenCase{"DL two", {"1\r\n2\r\n3\r\n4" ESC "[2;1H" ESC "[2M"}, {"1", "4"}},
        ScreenCase{"DL 0 deletes one", {"1\r\n2\r\n3" ESC "[1;1H" ESC "[0M"}, {"2", "3"}},
        ScreenCase{"IL outside the region does nothing", {ESC "[3;5r" "1\r\n2" ESC "[1;1H" ESC "[L"}, {"1", "2"}},
        ScreenCase{"DECSTBM homes and scrolls inside the region",
                   {"top" ESC "[2;3r" ESC "[2;1H" "a\r\nb\r\nc"}, {"top", "b", "c"}, 1, 2},
        ScreenCase{"DECSTBM with equal rows is ignored", {ESC "[5;5r" ESC "[3;1H"}, {}, 0, 2},
        ScreenCase{"DECSTBM bottom 0 is the default", {"ab" ESC "[24;0r" "x"}, {"xb"}},
        ScreenCase{"LF below the region moves down, the region stays",
                   {"top" ESC "[1;2r" ESC "[4;1H" "a\r\nb"}, {"top", "", "", "a", "b"}, 1, 4, "", false, 0, 6},
        ScreenCase{"LF on the last row below the region does not scroll",
                   {"top" ESC "[1;2r" ESC "[6;1H" "a\n\nb"}, {"top", "", "", "", "", "ab"}, 2, 5, "", false, 0, 6},
        ScreenCase{"EL after a wrap at the bottom keeps the full row",
                   {ESC "[25;1H" + std::string(80, 'w') + ESC "[K\r\ny"}, Below(22, {std::string(80, 'w'), "", "y"}),
                   1, 24},
        ScreenCase{"IL after a wrap at the bottom keeps the full row",
                   {ESC "[25;1H" + std::string(80, 'w') + ESC "[Ly"}, Below(23, {std::string(80, 'w'), "y"}), 1, 24},
        ScreenCase{"VT mode CSI M deletes a line", {"1\r\n2" ESC "[1;1H" ESC "[M"}, {"2"}, 0, 0, "", true}), RowName());

INSTANTIATE_TEST_SUITE_P(
    Replies, AnsiScreenTest,
    ::testing::Values(
        ScreenCase{"DA", {ESC "[c"}, {}, 0, 0, ESC "[?1;2;4c"},
        ScreenCase{"DA with another private marker", {ESC "[>c"}, {}, 0, 0, ESC "[?1;2;4c"},
        ScreenCase{"SyncTERM DA", {ESC "[<c"}, {}, 0, 0, ESC "[<4c"},
        ScreenCase{"status", {ESC "[5n"}, {}, 0, 0, ESC "[0n"},
        ScreenCase{"cursor report with a private marker", {ESC "[3;9H" ESC "[?6n"}, {}, 8, 2, ESC "[3;9R"},
        ScreenCase{"cell size", {ESC "[=3n"}, {}, 0, 0, ESC "[=3;16;8n"},
        ScreenCase{"audio channel without a listener", {ESC "[=7;2n"}, {}, 0, 0, ESC "[=7n"},
        ScreenCase{"other = queries act as DSR", {ESC "[=5n"}, {}, 0, 0, ESC "[0n"},
        ScreenCase{"text area in pixels", {ESC "[14t"}, {}, 0, 0, ESC "[4;400;640t"},
        ScreenCase{"cell in pixels", {ESC "[16t"}, {}, 0, 0, ESC "[6;16;8t"},
        ScreenCase{"text area in cells", {ESC "[18t"}, {}, 0, 0, ESC "[8;25;80t"},
        ScreenCase{"graphics geometry", {ESC "[?2;1S"}, {}, 0, 0, ESC "[?2;0;640;400S"},
        ScreenCase{"scroll up is not done", {"a" ESC "[S"}, {"a"}},
        ScreenCase{"colour window op sends nothing", {ESC "[1;2;3;4t"}, {}, 0, 0, ""},
        ScreenCase{"unknown reports send nothing", {ESC "[7n" ESC "[99t" ESC "[?2;2S"}, {}, 0, 0, ""},
        ScreenCase{"reply split across writes", {ESC "[", "6", "n"}, {}, 0, 0, ESC "[1;1R"},
        // A reserved status row is not the board's.
        ScreenCase{"status row: CUP stops above it", {ESC "[99;1Hx"},
                   Below(24, {"x"}),
                   1, 24, "", false, 1, 26},
        ScreenCase{"status row: CUD stops above it", {ESC "[24;1H" ESC "[9B" ESC "[6n"}, {}, 0, 24, ESC "[25;1R",
                   false, 1, 26},
        ScreenCase{"status row: size reports leave it out", {ESC "[18t" ESC "[14t"}, {}, 0, 0,
                   ESC "[8;25;80t" ESC "[4;400;640t", false, 1, 26},
        ScreenCase{"status row: LF at the bottom scrolls above it",
                   {"top" ESC "[25;1H" "x\n\ny"}, Below(22, {"x", "", " y"}), 2, 24, "", false, 1, 26}), RowName());

INSTANTIATE_TEST_SUITE_P(
    Strings, AnsiScreenTest,
    ::testing::Values(
        ScreenCase{"OSC ended by BEL does not swallow what follows", {ESC "]0;title" BEL "after"}, {"after"}},
        ScreenCase{"OSC ended by ST", {ESC "]0;title" ESC "\\after"}, {"after"}},
        ScreenCase{"OSC split before its ST", {ESC "]2;x" ESC, "\\ok"}, {"ok"}},
        ScreenCase{"DCS is not ended by BEL", {ESC "Pq#0" BEL "hidden" ESC "\\shown"}, {"shown"}},
        ScreenCase{"PM skipped", {ESC "^private" ESC "\\ok"}, {"ok"}},
        ScreenCase{"APC leaves no trace", {ESC "_" + k100 + ESC "\\ok"}, {"ok"}},
        ScreenCase{"unknown ESC finals swallow one byte", {ESC "Dx" ESC "7y" ESC "(0z"}, {"xy0z"}},
        ScreenCase{"ESC ESC", {ESC ESC "ab"}, {"ab"}}), RowName());

INSTANTIATE_TEST_SUITE_P(
    VtMode, AnsiScreenTest,
    ::testing::Values(
        ScreenCase{"DEC graphics in G0", {ESC "(0fg" ESC "(Bf"}, {"\xc2\xb0\xc2\xb1" "f"}, 3, 0, "", true},
        ScreenCase{"SO shifts to G1", {ESC ")0a" SO "f" SI "f"}, {"a\xc2\xb0" "f"}, 3, 0, "", true},
        ScreenCase{"REP repeats the mapped character", {ESC "(0{" ESC "[2b"}, {"\xcf\x80\xcf\x80\xcf\x80"}, 3, 0, "", true},
        ScreenCase{"DEC save and restore", {ESC "[3;3H" ESC "7" ESC "[H" ESC "8x"}, {"", "", "  x"}, 3, 2, "", true},
        ScreenCase{"no music in VT mode", {"MAKE" SO "it"}, {"MAKEit"}, 6, 0, "", true},
        // A VT100 holds the wrap after the last column until the next
        // character: a full row and CR LF is one row, not two.
        ScreenCase{"full rows with CR LF are not double-spaced", {k80 + "\r\n" + k80 + "\r\nx"}, {k80, k80, "x"}, 1, 2,
                   "", true},
        ScreenCase{"the held wrap happens with the next character", {k80, "y"}, {k80, "y"}, 1, 1, "", true},
        ScreenCase{"the bottom-right cell then CUP does not scroll", {"top" ESC "[25;1H" + k80 + ESC "[1;1HX"},
                   Below(0, {"Xop", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
                             "", "", k80}),
                   1, 0, "", true},
        ScreenCase{"the bottom-right cell then a character scrolls", {"top" ESC "[25;1H" + k80 + "q"},
                   Below(23, {k80, "q"}), 1, 24, "", true},
        ScreenCase{"BS from the held wrap steps back one column", {k80 + "\by"}, {std::string(78, 'z') + "yz"}, 79, 0, "",
                   true},
        ScreenCase{"EL keeps the held wrap", {k80 + ESC "[Ky"}, {std::string(79, 'z'), "y"}, 1, 1, "", true},
        ScreenCase{"CUP forgets the held wrap", {k80 + ESC "[1;80Hy"}, {std::string(79, 'z') + "y"}, 79, 0, "", true},
        ScreenCase{"TAB at the last column keeps the held wrap", {k80 + "\ty"}, {k80, "y"}, 1, 1, "", true},
        ScreenCase{"REP holds the wrap too", {"a" ESC "[79b" "\r\nb"}, {std::string(80, 'a'), "b"}, 1, 1, "", true},
        ScreenCase{"IND moves down and keeps the column", {"ab" ESC "Dc"}, {"ab", "  c"}, 3, 1, "", true},
        ScreenCase{"IND at the bottom scrolls", {"1\r\n2\r\n3\r\n4" ESC "D"}, {"2", "3", "4"}, 1, 3, "", true, 0, 4},
        ScreenCase{"NEL starts the next line", {"ab" ESC, "Ec"}, {"ab", "c"}, 1, 1, "", true},
        ScreenCase{"RI moves up", {ESC "[3;2H" ESC "Mx"}, {"", " x"}, 2, 1, "", true},
        ScreenCase{"RI on the top margin scrolls the region down",
                   {"1\r\n2\r\n3\r\n4" ESC "[2;3r" ESC "[2;1H" ESC, "Mz"}, {"1", "z", "2", "4"}, 1, 1, "", true},
        ScreenCase{"RI on row 0 above the region stays", {"1\r\n2\r\n3" ESC "[2;3r" ESC "[1;1H" ESC "Mz"}, {"z", "2", "3"},
                   1, 0, "", true},
        ScreenCase{"a line feed at the bottom scrolls at once", {"top" ESC "[4;1Hx\n"}, {"", "", "x"}, 1, 3, "", true,
                   0, 4},
        ScreenCase{"status row: the held wrap scrolls the board above it", {"top" ESC "[99;1H" + k80 + "q"},
                   Below(23, {k80, "q"}), 1, 24, "", true, 1, 26},
        // Outside VT mode the wrap stays immediate and IND, NEL, RI are not
        // sequences (ANSI art is drawn for that).
        ScreenCase{"ANSI-BBS: full rows with CR LF leave a blank row", {k80 + "\r\nx"}, {k80, "", "x"}, 1, 2},
        ScreenCase{"ANSI-BBS: ESC D, ESC E, ESC M are dropped", {"a" ESC "Db" ESC "Ec" ESC "Md"}, {"abcd"}, 4, 0}),
    RowName());

// ---------------------------------------------------------------- colours

struct ColourCase {
  const char* Name;
  std::string In;
  TColorRGB Fg, Bg;
  bool Bold = false;
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.Name; }

class AnsiColourTest : public ::testing::TestWithParam<ColourCase> {};

TEST_P(AnsiColourTest, CellWritten) {
  const ColourCase& c = GetParam();
  TAnsiTerm t;
  t.Feed(c.In + "X");
  const TCell cell = t.Buf.GetCell(0, 0);
  EXPECT_EQ(cell.Ch, 'X');
  EXPECT_EQ(cell.Fg, c.Fg);
  EXPECT_EQ(cell.Bg, c.Bg);
  EXPECT_EQ(cell.Bold, c.Bold);
}

constexpr TColorRGB kGrey = {0xAA, 0xAA, 0xAA};
constexpr TColorRGB kBlack = {0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Sgr, AnsiColourTest,
    ::testing::Values(
        ColourCase{"bold red, then bold off", ESC "[1;31m" ESC "[22m", {0xAA, 0, 0}, kBlack},
        ColourCase{"bright red stays without bold", ESC "[91m" ESC "[22m", {0xFF, 0, 0}, kBlack},
        ColourCase{"bold brightens", ESC "[1;34m", {0, 0, 0xFF}, kBlack, true},
        ColourCase{"256 colours then bold", ESC "[38;5;196;1m", {0xFF, 0, 0}, kBlack, true},
        ColourCase{"256 colours background", ESC "[48;5;21m", kGrey, {0, 0, 0xFF}},
        ColourCase{"direct colour", ESC "[38;2;10;20;30m", {10, 20, 30}, kBlack},
        ColourCase{"direct colour takes the low 8 bits", ESC "[38;2;300;20;30m", {0x2C, 0x14, 0x1E}, kBlack},
        ColourCase{"direct background then more", ESC "[48;2;1;2;3;1;32m", {0, 0xFF, 0}, {1, 2, 3}, true},
        ColourCase{"omitted direct components are 0", ESC "[38;2;;7m", {0, 7, 0}, kBlack},
        ColourCase{"unknown colour mode", ESC "[38;9;1m", {0xFF, 0xFF, 0xFF}, kBlack, true},
        ColourCase{"iCE colours: blink brightens the background", ESC "[5;44m", kGrey, {0, 0, 0xFF}},
        ColourCase{"bright background is direct", ESC "[101;5m", kGrey, {0xFF, 0, 0}},
        ColourCase{"39 and 49 restore defaults", ESC "[33;45m" ESC "[39;49m", kGrey, kBlack},
        ColourCase{"empty parameter resets", ESC "[1;31m" ESC "[;32m", {0, 0xAA, 0}, kBlack},
        ColourCase{"bare SGR resets", ESC "[31m" ESC "[m", kGrey, kBlack},
        ColourCase{"colour window op sets a direct foreground", ESC "[1;2;3;4t", {2, 3, 4}, kBlack},
        ColourCase{"colour window op background", ESC "[0;9;8;7t", kGrey, {9, 8, 7}},
        ColourCase{"SGR with a private marker still applies", ESC "[?32m", {0, 0xAA, 0}, kBlack},
        ColourCase{"SGR split inside a parameter", ESC "[3" "1m", {0xAA, 0, 0}, kBlack}), RowName());

TEST(AnsiParserTest, EraseColours) {
  TAnsiTerm t;
  t.Feed(ESC "[44;1;4m" "abc" ESC "[1G" ESC "[K");
  EXPECT_EQ(t.Buf.GetCell(1, 0).Bg, (TColorRGB{0, 0, 0xAA}));
  EXPECT_FALSE(t.Buf.GetCell(1, 0).Underline);
  t.Feed("abc" ESC "[2K");
  EXPECT_EQ(t.Buf.GetCell(1, 0), DefaultCell()) << "EL 2 blanks grey on black";
}

// ---------------------------------------------------------------- events

TEST(AnsiParserTest, EchoedMusicIsErasedWhenItEnds) {
  TAnsiTerm t;
  t.Feed("ab\r\n  MFT120O4CDE");
  EXPECT_EQ(t.Row(1), "  MFT120O4CDE");
  t.Feed(SO);
  EXPECT_EQ(t.Music, std::vector<std::string>{"FT120O4CDE"});
  EXPECT_EQ(t.Row(1), "");
  EXPECT_EQ(t.Buf.CursorX, 2);
  EXPECT_EQ(t.Buf.CursorY, 1);
}

TEST(AnsiParserTest, SilentMusic) {
  TAnsiTerm t;
  t.Feed(ESC "[MFT120CDE" SO "x");
  EXPECT_EQ(t.Music, std::vector<std::string>{"FT120CDE"});
  EXPECT_EQ(t.Screen(), std::vector<std::string>{"x"});

  // Abandoned by CR: what was collected is lost, the CR still acts.
  TAnsiTerm u;
  u.Feed("ab" ESC "[MCDE\rz");
  EXPECT_TRUE(u.Music.empty());
  EXPECT_EQ(u.Screen(), std::vector<std::string>{"zb"});

  // Capped at 255 characters: the 256th byte is printed.
  TAnsiTerm v;
  v.Feed(ESC "[M" + std::string(255, 'C') + "!" SO);
  EXPECT_TRUE(v.Music.empty());
  EXPECT_EQ(v.Row(0), "!" SO);
}

TEST(AnsiParserTest, MusicWithoutListenerIsDropped) {
  TTerminalBuffer b(80, 25);
  TAnsiParser p(&b);
  const std::string in = ESC "[MCDE" SO "ok";
  p.Feed(reinterpret_cast<const uint8_t*>(in.data()), in.size());
  EXPECT_EQ(b.GetRowText(0).substr(0, 3), "ok ");
}

TEST(AnsiParserTest, ApcStrings) {
  struct Case {
    const char* Name;
    std::vector<std::string> Pieces;
    std::vector<std::string> Delivered;
  };
  const std::string bulk = "SyncTERM:C;S;file;" + std::string(82, 'A');
  const std::string fits = std::string(48, 'q');
  const Case cases[] = {
      {"short", {ESC "_hello" ESC "\\"}, {"hello"}},
      {"exactly 48", {ESC "_" + fits + ESC "\\"}, {fits}},
      {"over 48 is dropped whole", {ESC "_" + k100 + ESC "\\"}, {}},
      {"bulk form keeps everything", {ESC "_" + bulk + ESC "\\"}, {bulk}},
      {"bulk split everywhere", {ESC "_Sync", "TERM:C;", bulk.substr(11), ESC, "\\"}, {bulk}},
      {"empty raises nothing", {ESC "_" ESC "\\"}, {}},
      {"ESC and the next byte are not stored", {ESC "_ab" ESC "xcd" ESC "\\"}, {"abcd"}},
      {"bulk prefix is case-sensitive", {ESC "_synCTERM:C;" + k100 + ESC "\\"}, {}},
  };
  for (const Case& c : cases) {
    TAnsiTerm t;
    for (const std::string& p : c.Pieces) t.Feed(p);
    t.Feed("ok");
    EXPECT_EQ(t.Apc, c.Delivered) << c.Name;
    EXPECT_EQ(t.Row(0), "ok") << c.Name;
  }
}

TEST(AnsiParserTest, BulkApcOverTheLimitIsDroppedQuickly) {
  TAnsiTerm t;
  t.Feed(ESC "_SyncTERM:C;");
  const std::string chunk(1 << 20, 'B');
  for (int i = 0; i < 7; ++i) t.Feed(chunk);
  t.Feed(ESC "\\ok");
  EXPECT_TRUE(t.Apc.empty());
  EXPECT_EQ(t.Row(0), "ok");
  EXPECT_LE(t.Parser.ApcBulk.capacity(), 0u) << "the buffer is released";
}

TEST(AnsiParserTest, ResizeFontAndAudioEvents) {
  TAnsiTerm t;
  t.Feed(ESC "[8;40;100t" ESC "[8t" ESC "[0;5 D" ESC "[ D");
  EXPECT_EQ(t.Resizes, (std::vector<std::pair<int, int>>{{40, 100}, {0, 0}}));
  EXPECT_EQ(t.Fonts, (std::vector<std::pair<int, int>>{{0, 5}, {0, 0}}));
  EXPECT_EQ(t.Replies, "");

  int asked = -1;
  t.Parser.OnQueryAudioChannel = [&](int ch) {
    asked = ch;
    return ch == 2;
  };
  t.Parser.OnGetCellSize = [](int& w, int& h) { w = 9, h = 14; };
  t.Feed(ESC "[=7;2n" ESC "[=7;3n" ESC "[=7n" ESC "[=3n" ESC "[16t");
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(t.Replies, ESC "[=7;2;1n" ESC "[=7;3;0n" ESC "[=7n" ESC "[=3;14;9n" ESC "[6;14;9t");
}

TEST(AnsiParserTest, NoReplyWithoutListener) {
  TTerminalBuffer b(80, 25);
  TAnsiParser p(&b);
  const std::string in = ESC "[6n" ESC "[c" ESC "[14t" "x";
  p.Feed(reinterpret_cast<const uint8_t*>(in.data()), in.size());
  EXPECT_EQ(b.GetCell(0, 0).Ch, 'x');
}

TEST(AnsiParserTest, AnnounceSixelOff) {
  TAnsiTerm t;
  t.Parser.AnnounceSixel = false;
  t.Feed(ESC "[c" ESC "[<c");
  EXPECT_EQ(t.Replies, ESC "[?1;2c" ESC "[<c");
}

TEST(AnsiParserTest, PrivateModes) {
  TAnsiTerm t;
  t.Feed(ESC "[?1000h");
  EXPECT_EQ(t.Parser.MouseMode, 2);
  t.Feed(ESC "[?9;1006h");
  EXPECT_EQ(t.Parser.MouseMode, 1);
  EXPECT_TRUE(t.Parser.SgrMouse);
  t.Feed(ESC "[?1003h" ESC "[?1006l");
  EXPECT_EQ(t.Parser.MouseMode, 4);
  EXPECT_FALSE(t.Parser.SgrMouse);
  t.Feed(ESC "[?1002l");
  EXPECT_EQ(t.Parser.MouseMode, 0);

  t.Feed(ESC "[?25l");
  EXPECT_FALSE(t.Buf.CursorVisible);
  t.Feed(ESC "[?s" ESC "[?25h" ESC "[?u");
  EXPECT_FALSE(t.Buf.CursorVisible) << "CSI ? u restores what CSI ? s saved";
  t.Feed(ESC "[25h");
  EXPECT_FALSE(t.Buf.CursorVisible) << "without ? it is not a private mode";

  t.Feed("main" ESC "[?1049h" "alt");
  EXPECT_TRUE(t.Buf.InAltScreen);
  EXPECT_EQ(t.Row(0), "alt");
  t.Feed(ESC "[?1049l");
  EXPECT_EQ(t.Row(0), "main");
  EXPECT_EQ(t.Buf.CursorX, 4);

  t.Feed(ESC "[?3h");
  EXPECT_EQ(t.Buf.FWidth, 132);
  t.Feed(ESC "[100G\tx");
  EXPECT_EQ(t.Buf.GetCell(104, 0).Ch, 'x') << "the new columns have tab stops";
  t.Feed(ESC "[?3l");
  EXPECT_EQ(t.Buf.FWidth, 80);
}

TEST(AnsiParserTest, ResetLeavesTheAlternateScreenAndKeepsVtMode) {
  TAnsiTerm t;
  t.Parser.VtMode = true;
  t.Feed("main" ESC "[?47h" ESC "(0" ESC "[?1000h" ESC "[3g");
  t.Parser.Reset();
  EXPECT_FALSE(t.Buf.InAltScreen);
  EXPECT_EQ(t.Row(0), "main");
  EXPECT_TRUE(t.Parser.VtMode);
  EXPECT_EQ(t.Parser.MouseMode, 0);
  t.Feed("\r\nq\tx");
  EXPECT_EQ(t.Row(1), "q       x") << "ASCII again, tab stops rebuilt";
}

TEST(AnsiParserTest, ProcessCharMatchesFeed) {
  const std::string in = "Mo" ESC "[1;33mHello" ESC "[2;5H" ESC "[MCDE" SO "M" ESC "]0;t" BEL "world\r\n" ESC "[3b";
  TAnsiTerm a, b;
  a.Feed(in);
  b.FeedBytes(in);
  EXPECT_EQ(a.Screen(), b.Screen());
  EXPECT_EQ(a.Buf.CursorX, b.Buf.CursorX);
  EXPECT_EQ(a.Music, b.Music);
}

// Art as boards draw it: a colour every few cells, runs longer and shorter
// than sixteen bytes, escapes at every offset, cursor moves, the music "M",
// plain control glyphs, wraps at the right edge and scrolling.
TEST(AnsiParserTest, ArtCutAnywhereGivesTheSameCells) {
  std::string art = ESC "[0m" ESC "[2J" ESC "[H";
  for (int line = 0; line < 60; ++line) {
    for (int i = 0; i < 14; ++i) {
      art += ESC "[" + std::to_string(i % 2) + ";" + std::to_string(30 + (line + i) % 8) + ";" +
             std::to_string(40 + i % 8) + "m";
      art += std::string(size_t((line * 7 + i * 3) % 23), char(0xB0 + i % 4));
      if (i % 5 == 0) art += ESC "[" + std::to_string(1 + i % 4) + "C";
      if (i % 6 == 1) art += "\x01" "Mx" "\x02";
    }
    art += line % 3 ? "\r\n" : "\n";
  }
  art += ESC "[MFT120L4CP4C" SO "MCDE" SO ESC "_SyncTERM:Q;libsndfile" ESC "\\";
  art += ESC "[5;70H" + std::string(30, 'w') + ESC "[1;5;33;44mend" ESC;
  for (bool vt : {false, true}) {
    TAnsiTerm whole;
    whole.Parser.VtMode = vt;
    whole.Feed(art);
    EXPECT_EQ(whole.Music.size(), vt ? 0u : 2u);
    EXPECT_EQ(whole.Apc, std::vector<std::string>{"SyncTERM:Q;libsndfile"});
    for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(5), size_t(16), size_t(64), size_t(4096)}) {
      TAnsiTerm cut;
      cut.Parser.VtMode = vt;
      FeedInPieces(cut, art, size);
      EXPECT_EQ(State(cut), State(whole)) << (vt ? "VT mode, " : "") << "pieces of " << size;
    }
  }
}

TEST(AnsiParserTest, DecGraphicsTable) {
  const std::string from = "`afgjklmnopqrstuvwxyz{}~A|";
  const uint8_t to[] = {4,   177, 248, 241, 217, 191, 218, 192, 197, 196, 196, 196, 196,
                        196, 195, 180, 193, 194, 179, 243, 242, 227, 156, 250, 'A', '|'};
  for (size_t i = 0; i < from.size(); ++i) EXPECT_EQ(DecGraphicsToCp437(uint8_t(from[i])), to[i]) << from[i];
}

TEST(AnsiParserTest, HugeCountsReturnQuickly) {
  TAnsiTerm t;
  const auto start = std::chrono::steady_clock::now();
  t.Feed("x" ESC "[2147483647b" ESC "[2147483647@" ESC "[2147483647L" ESC "[2147483647I" ESC
         "[2147483647Z" ESC "[2147483647X" ESC "[2147483647;2147483647H" ESC "[2147483647A");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(t.Buf.CursorY, 0);
}

}  // namespace

namespace {

// With the debug log on, writing, line feeds, moves and CUP leave their
// lines (moves and line feeds thinned to the first and every 500th call).
TEST(AnsiParserTest, DebugLogLines) {
  testsupport::TempDir dir;
  const std::string path = dir.File("korvan_debug.log");
  LogEnabled = true;
  LogOpen(path);
  {
    TAnsiTerm t;
    t.Feed("A\n" ESC "[0;0H");
    for (int i = 0; i < 498; ++i) t.Buf.MoveCursor(1, 1);
    t.Buf.MoveCursorBy(-5, 3);
  }
  LogClose();
  LogEnabled = false;
  std::vector<std::string> lines;
  std::istringstream in(testsupport::ReadWholeFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 13 && line[2] == ':') lines.push_back(line.substr(13));
  }
  const std::vector<std::string> want = {
      "PutChar: ch=A (0x41) at (0,0) Dirty-before=True",
      "TTerminalBuffer.NewLine: CursorX=1 CursorY=1 Margins=(0,0,79,24) [call #1]",
      "AnsiParser: CUP H requested row=0 col=0 -> MoveCursor(0,0)",
      "TTerminalBuffer.MoveCursor: requested (0,0) -> actual CursorX=0 CursorY=0 (FWidth=80 FHeight=25) [call #1]",
      "TTerminalBuffer.MoveCursor: requested (-4,4) -> actual CursorX=0 CursorY=4 (FWidth=80 FHeight=25) "
      "[call #500]",
  };
  EXPECT_EQ(lines, want);
}

}  // namespace
