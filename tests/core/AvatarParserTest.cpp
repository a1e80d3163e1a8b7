// Avatar (AVT/0): attributes, cursor commands, repeat, clear, and the PC
// console controls BS, HT and BEL.
#include <gtest/gtest.h>

#include "core/uAvatarParser.h"
#include "core/uControlChars.h"
#include "tests/core/EmulationTestSupport.h"

using namespace emutest;

namespace {

constexpr TColorRGB kYellow{0xFF, 0xFF, 0x55};
constexpr TColorRGB kBlue{0x00, 0x00, 0xAA};
constexpr TColorRGB kGrey{0xAA, 0xAA, 0xAA};
constexpr TColorRGB kBlack{0, 0, 0};
constexpr TColorRGB kBrightWhite{0xFF, 0xFF, 0xFF};

std::unique_ptr<TTextEmulation> MakeAvatar(TTerminalBuffer& B, const TEmulationCase&) {
  return std::make_unique<TAvatarParser>(B);
}

// ^V ^H row column, both 1-based.
std::string Goto(int Row, int Col) { return Bytes({cc::SYN, cc::BS, Row, Col}); }
std::string Attr(int A) { return Bytes({cc::SYN, cc::SOH, A}); }
std::string Repeat(char Ch, int Count) { return Bytes({cc::EM, Ch, Count}); }

}  // namespace

TEST(AvatarParserTest, Table) {
  const std::vector<TEmulationCase> cases = {
      {.Name = "attribute 0x1E is yellow on blue",
       .Feeds = {Attr(0x1E) + "A"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'A', .Fg = kYellow, .Bg = kBlue, .Blink = false}}},
      {.Name = "attribute bit 7 is masked and clears blink",
       .Feeds = {Bytes({cc::SYN, cc::STX}) + Attr(0x9E) + "A"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'A', .Fg = kYellow, .Bg = kBlue, .Blink = false}}},
      {.Name = "^V ^B turns blink on",
       .Feeds = {Attr(0x0F) + Bytes({cc::SYN, cc::STX}) + "B"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'B', .Fg = kBrightWhite, .Blink = true}}},
      {.Name = "goto row 5 column 10",
       .Feeds = {Goto(5, 10) + "X"},
       .Cells = {{.Col = 9, .Row = 4, .Ch = 'X'}},
       .CursorX = 10, .CursorY = 4},
      {.Name = "goto split between the two position bytes",
       .Feeds = {Bytes({cc::SYN, cc::BS, 5}), Bytes({10}) + "X"},
       .Cells = {{.Col = 9, .Row = 4, .Ch = 'X'}}},
      {.Name = "goto past the screen clamps and the character is still written",
       .Feeds = {Goto(200, 200) + "Z"},
       .Cells = {{.Col = 79, .Row = 24, .Ch = 'Z'}}},
      {.Name = "cursor up, down, left and right",
       .Feeds = {Goto(10, 10) + Bytes({cc::SYN, cc::ETX, cc::SYN, cc::ENQ}) + "U" +
                 Bytes({cc::SYN, cc::EOT, cc::SYN, cc::EOT, cc::SYN, cc::ACK}) + "D"},
       .Cells = {{.Col = 8, .Row = 8, .Ch = 'U'}, {.Col = 10, .Row = 10, .Ch = 'D'}}},
      {.Name = "erase to end of line uses the pen's background",
       .Feeds = {"ABCDEF\r" + Bytes({cc::SYN, cc::ACK, cc::SYN, cc::ACK}) + Attr(0x1F) +
                 Bytes({cc::SYN, cc::BEL})},
       .Cells = {{.Col = 1, .Row = 0, .Ch = 'B', .Bg = kBlack},
                 {.Col = 2, .Row = 0, .Ch = ' ', .Bg = kBlue},
                 {.Col = 79, .Row = 0, .Ch = ' ', .Bg = kBlue}},
       .CursorX = 2},
      {.Name = "unknown ^V command is dropped",
       .Feeds = {Bytes({cc::SYN, 0x20}) + "A"},
       .Rows = {{0, "A"}}},
      {.Name = "repeat count 0 prints nothing", .Feeds = {Repeat('*', 0)}, .Rows = {{0, ""}}, .CursorX = 0},
      {.Name = "repeat count 3", .Feeds = {Repeat('*', 3)}, .Rows = {{0, "***"}}, .CursorX = 3},
      {.Name = "repeat split before the count",
       .Feeds = {Bytes({cc::EM, '*'}), Bytes({3}) + "!"},
       .Rows = {{0, "***!"}}},
      {.Name = "repeat count 255 runs over three rows",
       .Feeds = {Repeat('#', 255)},
       .Rows = {{0, std::string(80, '#')}, {2, std::string(80, '#')}, {3, std::string(15, '#')}},
       .CursorX = 15, .CursorY = 3},
      {.Name = "a repeated control prints its glyph and does not act",
       .Feeds = {"ABC" + Bytes({cc::EM, cc::BS, 2, cc::EM, cc::FF, 1, cc::EM, cc::LF, 1}) + "X"},
       .Rows = {{0, "ABC" + Bytes({cc::BS, cc::BS, cc::FF, cc::LF}) + "X"}}},
      {.Name = "ESC has no meaning and prints as a glyph",
       .Feeds = {Bytes({cc::ESC}) + "[2J"},
       .Rows = {{0, Bytes({cc::ESC}) + "[2J"}}},
      {.Name = "BS moves left", .Feeds = {"AB" + Bytes({cc::BS}) + "C"}, .Rows = {{0, "AC"}}, .CursorX = 2},
      {.Name = "BS at column 0 stays", .Feeds = {Bytes({cc::BS}) + "C"}, .Rows = {{0, "C"}}},
      {.Name = "BEL is not printed", .Feeds = {"A" + Bytes({cc::BEL}) + "B"}, .Rows = {{0, "AB"}}},
      {.Name = "TAB goes to the next stop of 8",
       .Feeds = {"A" + Bytes({cc::HT}) + "B" + Bytes({cc::HT, cc::HT}) + "C"},
       .Cells = {{.Col = 8, .Row = 0, .Ch = 'B'}, {.Col = 24, .Row = 0, .Ch = 'C'}}},
      {.Name = "TAB past the last stop stops on the last column",
       .Feeds = {Goto(1, 76) + Bytes({cc::HT}) + "X"},
       .Cells = {{.Col = 79, .Row = 0, .Ch = 'X'}}},
      {.Name = "form feed clears, resets the pen and homes",
       .Feeds = {Attr(0x4E) + Bytes({cc::SYN, cc::STX}) + "A" + Bytes({cc::FF}) + "B"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'B', .Fg = kGrey, .Bg = kBlack, .Blink = false},
                 {.Col = 1, .Row = 0, .Ch = ' '}},
       .CursorX = 1, .CursorY = 0},
      {.Name = "LF keeps the column, CR returns",
       .Feeds = {"AB\nC\r\nD"},
       .Cells = {{.Col = 2, .Row = 1, .Ch = 'C'}, {.Col = 0, .Row = 2, .Ch = 'D'}}},
      {.Name = "attribute right after goto",
       .Feeds = {Goto(2, 3) + Attr(0x1E) + "Q"},
       .Cells = {{.Col = 2, .Row = 1, .Ch = 'Q', .Fg = kYellow, .Bg = kBlue}}},
  };
  RunCases(80, 25, cases, MakeAvatar);
}

// A menu screen built from the AVT/0 command set as FSC-0025 documents it:
// clear, attribute, goto, repeat of a box-drawing character, erase to end of
// line over a coloured background.
TEST(AvatarParserTest, MenuScreen) {
  TTerminalBuffer b(80, 25);
  TAvatarParser p(b);
  const std::string screen = Bytes({cc::FF}) + Attr(0x1F) + Goto(1, 30) + "MAIN MENU" +
                             Goto(2, 1) + Bytes({cc::SYN, cc::SOH, 0x0B}) + Repeat(char(0xC4), 80) +
                             Goto(4, 3) + Attr(0x0E) + "[M]" + Attr(0x07) + " Messages" + Goto(5, 3) +
                             Attr(0x0E) + "[F]" + Attr(0x07) + " Files" + Goto(24, 1) + Attr(0x70) +
                             Bytes({cc::SYN, cc::BEL}) + "Command: ";
  FeedAll(p, screen);
  EXPECT_EQ(RawRow(b, 0), std::string(29, ' ') + "MAIN MENU");
  EXPECT_EQ(b.GetCell(29, 0).Bg, kBlue);
  EXPECT_EQ(RawRow(b, 1), std::string(80, char(0xC4)));
  EXPECT_EQ(b.GetCell(0, 1).Fg, (TColorRGB{0x55, 0xFF, 0xFF}));
  EXPECT_EQ(RawRow(b, 2), "");
  EXPECT_EQ(RawRow(b, 3), "  [M] Messages");
  EXPECT_EQ(b.GetCell(2, 3).Fg, kYellow);
  EXPECT_EQ(b.GetCell(6, 3).Fg, kGrey);
  EXPECT_EQ(RawRow(b, 4), "  [F] Files");
  EXPECT_EQ(RawRow(b, 23), "Command:");
  EXPECT_EQ(b.GetCell(79, 23).Bg, kGrey);  // the erased row carries the black-on-grey pen
  EXPECT_EQ(b.GetCell(0, 23).Fg, kBlack);
  EXPECT_EQ(b.CursorX, 9);
  EXPECT_EQ(b.CursorY, 23);
}

TEST(AvatarParserTest, ResetRestoresGroundStateAndPen) {
  TTerminalBuffer b(80, 25);
  TAvatarParser p(b);
  FeedAll(p, Attr(0x1E) + Bytes({cc::SYN, cc::BS, 5}));  // stopped inside a goto
  p.Reset();
  FeedAll(p, "A");
  EXPECT_EQ(b.GetCell(0, 0).Ch, 'A');
  EXPECT_EQ(b.GetCell(0, 0).Fg, kGrey);
  EXPECT_EQ(b.GetCell(0, 0).Bg, kBlack);
}
