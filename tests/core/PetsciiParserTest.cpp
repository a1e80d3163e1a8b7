// PETSCII at 40 and 80 columns and ATASCII: colour codes, reverse, cursor
// moves, delete and insert, the character-set event and the lenient modes.
#include <gtest/gtest.h>

#include "core/uControlChars.h"
#include "core/uPetsciiParser.h"
#include "tests/core/EmulationTestSupport.h"

using namespace emutest;

namespace {

constexpr TColorRGB kC64Red{0x81, 0x33, 0x38};
constexpr TColorRGB kBlack{0, 0, 0};

enum : int { LenientLetters = 1, LenientCRLF = 2 };

// PETSCII codes.
enum : uint8_t {
  White = 5, Stop = 7, Lower = 14, Down = 17, RevOn = 18, Home = 19, Del = 20, Red = 28, Right = 29,
  Green = 30, Orange = 129, ShiftReturn = 141, Upper = 142, Up = 145, RevOff = 146, Clear = 147,
  Inst = 148, DarkGrey = 151, Left = 157, LightGrey = 155,
};
// ATASCII codes.
enum : uint8_t {
  AEsc = 27, AUp = 28, ADown = 29, ALeft = 30, ARight = 31, AClear = 125, ABack = 126, ATab = 127,
  AEol = 155, ADelLine = 156, AInsLine = 157, AClearTab = 158, ASetTab = 159, ABell = 253,
  ADelChar = 254, AInsChar = 255,
};

std::unique_ptr<TTextEmulation> Make(TTerminalBuffer& B, const TEmulationCase& C, int32_t Mode) {
  auto p = std::make_unique<TPetsciiParser>(B, Mode);
  p->LenientLetters = (C.Flags & LenientLetters) != 0;
  p->LenientCRLF = (C.Flags & LenientCRLF) != 0;
  return p;
}
std::unique_ptr<TTextEmulation> MakePetscii(TTerminalBuffer& B, const TEmulationCase& C) {
  return Make(B, C, TPetsciiParser::pmPetscii);
}
std::unique_ptr<TTextEmulation> MakeAtascii(TTerminalBuffer& B, const TEmulationCase& C) {
  return Make(B, C, TPetsciiParser::pmAtascii);
}

}  // namespace

TEST(PetsciiParserTest, Table40Columns) {
  const std::vector<TEmulationCase> cases = {
      {.Name = "starts light grey on black",
       .Feeds = {"A"},
       .Cells = {{.Col = 0, .Row = 0, .Fg = C64Palette[15], .Bg = kBlack}}},
      {.Name = "red", .Feeds = {Bytes({Red}) + "A"}, .Cells = {{.Col = 0, .Row = 0, .Ch = 'A', .Fg = kC64Red, .Bg = kBlack}}},
      {.Name = "reverse red, then return ends the reverse on a new line",
       .Feeds = {Bytes({Red, RevOn}) + "A" + Bytes({cc::CR}) + "B"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'A', .Fg = kBlack, .Bg = kC64Red},
                 {.Col = 0, .Row = 1, .Ch = 'B', .Fg = kC64Red, .Bg = kBlack}}},
      {.Name = "shifted return keeps the reverse",
       .Feeds = {Bytes({RevOn, ShiftReturn}) + "B"},
       .Cells = {{.Col = 0, .Row = 1, .Ch = 'B', .Bg = C64Palette[15]}}},
      {.Name = "reverse off", .Feeds = {Bytes({Orange, RevOn, RevOff}) + "o"},
       .Cells = {{.Col = 0, .Row = 0, .Fg = C64Palette[8], .Bg = kBlack}}},
      {.Name = "LF and BEL do nothing", .Feeds = {"A" + Bytes({cc::LF, Stop}) + "B"}, .Rows = {{0, "AB"}}},
      {.Name = "cursor down keeps the column", .Feeds = {"AB" + Bytes({Down}) + "C"}, .Cells = {{.Col = 2, .Row = 1, .Ch = 'C'}}},
      {.Name = "cursor down on the last row scrolls",
       .Feeds = {"T" + Times(25, Bytes({Down})) + "X"},
       .Cells = {{.Col = 1, .Row = 24, .Ch = 'X'}}, .Rows = {{0, ""}, {23, ""}}},
      {.Name = "cursor up stops at the top", .Feeds = {Bytes({Up}) + "A"}, .Rows = {{0, "A"}}},
      {.Name = "cursor right off the bottom-right cell scrolls at once",
       .Feeds = {"T" + Bytes({Home}) + Times(999, Bytes({Right})), Bytes({Right})},
       .Rows = {{0, ""}}, .CursorX = 0, .CursorY = 24},
      {.Name = "1000 cursor rights wrap from row to row",
       .Feeds = {Times(1000, Bytes({Right})) + "Z"},
       .Cells = {{.Col = 0, .Row = 24, .Ch = 'Z'}}},
      {.Name = "cursor left runs onto the row above",
       .Feeds = {Bytes({Down, Left}) + "L" + Bytes({Home, Left}) + "H"},
       .Cells = {{.Col = 39, .Row = 0, .Ch = 'L'}, {.Col = 0, .Row = 0, .Ch = 'H'}}},
      {.Name = "DEL deletes left of the cursor", .Feeds = {"ABC" + Bytes({Del})}, .Rows = {{0, "AB"}}, .CursorX = 2},
      {.Name = "DEL at a row start deletes from the row above's first column",
       .Feeds = {"ABC" + Bytes({ShiftReturn, Del})},
       .Rows = {{0, "BC"}}, .CursorX = 0, .CursorY = 0},
      {.Name = "DEL at the top left does nothing", .Feeds = {"ABC" + Bytes({Home, Del})}, .Rows = {{0, "ABC"}}},
      {.Name = "INST opens a blank at the cursor",
       .Feeds = {"ABC" + Bytes({Left, Left, Inst})},
       .Rows = {{0, "A BC"}}, .CursorX = 1},
      {.Name = "home and clear",
       .Feeds = {"ABC" + Bytes({Home}) + "x" + Bytes({Down, Clear}) + "y"},
       .Rows = {{0, "y"}, {1, ""}}},
      {.Name = "lenient letters show ASCII lower case as capitals",
       .Feeds = {Bytes({'a', 'z', 0xC1, 0xDE})},
       .Rows = {{0, "AZA^"}}, .Flags = LenientLetters},
      {.Name = "lenient letters stay lower case in the lower-case set",
       .Feeds = {Bytes({Lower, 'a', 0xC1})},
       .Rows = {{0, Bytes({'a', 0xC1})}}, .Flags = LenientLetters},
      {.Name = "without lenient letters the bytes are kept", .Feeds = {Bytes({'a', 0xC1})}, .Rows = {{0, Bytes({'a', 0xC1})}}},
      {.Name = "colour code split from the text", .Feeds = {Bytes({Green}), "g"},
       .Cells = {{.Col = 0, .Row = 0, .Fg = C64Palette[5]}}},
  };
  RunCases(40, 25, cases, MakePetscii);
}

TEST(PetsciiParserTest, Table80Columns) {
  const std::vector<TEmulationCase> cases = {
      {.Name = "dark grey is ANSI cyan", .Feeds = {Bytes({DarkGrey}) + "A"},
       .Cells = {{.Col = 0, .Row = 0, .Fg = TColorRGB{0x00, 0xAA, 0xAA}, .Bg = kBlack}}},
      {.Name = "white is bright white", .Feeds = {Bytes({White}) + "A"}, .Cells = {{.Col = 0, .Row = 0, .Fg = AnsiPalette[15]}}},
      {.Name = "light grey is grey, reversed", .Feeds = {Bytes({LightGrey, RevOn}) + "A"},
       .Cells = {{.Col = 0, .Row = 0, .Fg = kBlack, .Bg = AnsiPalette[7]}}},
  };
  RunCases(80, 25, cases, MakePetscii);
}

TEST(PetsciiParserTest, CharsetEvents) {
  TTerminalBuffer b(40, 25);
  TPetsciiParser p(b, TPetsciiParser::pmPetscii);
  std::vector<bool> seen;
  p.OnCharsetChange = [&](bool LowerCase) { seen.push_back(LowerCase); };
  FeedAll(p, Bytes({Lower}) + "x" + Bytes({Upper, Upper}));
  EXPECT_EQ(seen, (std::vector<bool>{true, false, false}));
  EXPECT_FALSE(p.IsLowerCase());
  p.OnCharsetChange = nullptr;  // nobody listening is fine
  FeedAll(p, Bytes({Lower}));
  EXPECT_TRUE(p.IsLowerCase());
  p.Reset();
  EXPECT_FALSE(p.IsLowerCase());
}

TEST(PetsciiParserTest, AtasciiTable) {
  const std::vector<TEmulationCase> cases = {
      {.Name = "light blue on dark blue",
       .Feeds = {"A"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'A', .Fg = AtasciiForeground, .Bg = AtasciiBackground}}},
      {.Name = "ESC then 0x01 prints screen code 65", .Feeds = {Bytes({AEsc, 0x01})}, .Rows = {{0, "A"}}},
      {.Name = "ESC split from its byte", .Feeds = {Bytes({AEsc}), Bytes({0x01})}, .Rows = {{0, "A"}}},
      {.Name = "ESC then EOL still ends the line", .Feeds = {"a" + Bytes({AEsc, AEol}) + "b"},
       .Rows = {{0, "a"}, {1, "b"}}},
      {.Name = "ESC then a cursor code prints its glyph", .Feeds = {Bytes({AEsc, AUp})}, .Rows = {{0, Bytes({92})}}},
      {.Name = "tab stops every 8", .Feeds = {Bytes({ATab}) + "t"}, .Cells = {{.Col = 8, .Row = 0, .Ch = 't'}}},
      {.Name = "tab at column 35 of 40 starts a new line",
       .Feeds = {std::string(35, 'x') + Bytes({ATab}) + "t"},
       .Cells = {{.Col = 0, .Row = 1, .Ch = 't'}}},
      {.Name = "a cleared stop is skipped, a set one used",
       .Feeds = {Bytes({ATab, AClearTab, ALeft, ALeft, ALeft, ALeft, ALeft, ALeft, ALeft, ALeft, ATab}) + "a" +
                 Bytes({ALeft, ALeft, ALeft, ASetTab, ALeft, ALeft, ALeft, ALeft, ALeft, ALeft, ALeft, ALeft, ALeft,
                        ALeft, ALeft, ALeft, ALeft, ATab}) + "b"},
       .Cells = {{.Col = 16, .Row = 0, .Ch = 'a'}, {.Col = 14, .Row = 0, .Ch = 'b'}}},
      {.Name = "up from row 0 wraps to the last row", .Feeds = {"ab" + Bytes({AUp}) + "u"},
       .Cells = {{.Col = 2, .Row = 23, .Ch = 'u'}}},
      {.Name = "down from the last row wraps to row 0", .Feeds = {Bytes({AUp, ADown}) + "d"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'd'}}},
      {.Name = "left from column 0 wraps to the last column", .Feeds = {Bytes({ALeft}) + "l"},
       .Cells = {{.Col = 39, .Row = 0, .Ch = 'l'}}},
      {.Name = "500 rights wrap within the row and never scroll",
       .Feeds = {Times(500, Bytes({ARight})) + "r"},
       .Cells = {{.Col = 20, .Row = 0, .Ch = 'r'}}},
      {.Name = "clear", .Feeds = {"abc" + Bytes({AEol, AClear}) + "z"}, .Rows = {{0, "z"}, {1, ""}}},
      {.Name = "backspace blanks the cell to the left",
       .Feeds = {"ab" + Bytes({ABack})},
       .Cells = {{.Col = 1, .Row = 0, .Ch = ' ', .Bg = AtasciiBackground}},
       .Rows = {{0, "a"}}, .CursorX = 1},
      {.Name = "backspace at column 0 does nothing", .Feeds = {Bytes({ABack}) + "x"}, .Rows = {{0, "x"}}},
      {.Name = "delete line pulls the rows below up",
       .Feeds = {"r0" + Bytes({AEol}) + "r1" + Bytes({AEol}) + "r2" + Bytes({AUp, ADelLine})},
       .Cells = {{.Col = 0, .Row = 23, .Ch = ' ', .Bg = AtasciiBackground}},
       .Rows = {{0, "r0"}, {1, "r2"}, {2, ""}}, .CursorX = 0, .CursorY = 1},
      {.Name = "insert line pushes the rows down",
       .Feeds = {"r0" + Bytes({AEol}) + "r1" + Bytes({AUp, AInsLine})},
       .Rows = {{0, ""}, {1, "r0"}, {2, "r1"}}, .CursorX = 0, .CursorY = 0},
      {.Name = "delete and insert character",
       .Feeds = {"abcd" + Bytes({ALeft, ALeft, ALeft, ADelChar, ARight, AInsChar})},
       .Rows = {{0, "ac d"}}},
      {.Name = "bell is ignored", .Feeds = {"a" + Bytes({ABell}) + "b"}, .Rows = {{0, "ab"}}},
      {.Name = "CR and LF print as glyphs", .Feeds = {"a\r\nb"}, .Rows = {{0, "a\r\nb"}}},
      {.Name = "lenient CR and LF act", .Feeds = {"a\r\nb"}, .Rows = {{0, "a"}, {1, "b"}}, .Flags = LenientCRLF},
      {.Name = "inverse characters print unchanged", .Feeds = {Bytes({0xC1, 0x80})}, .Rows = {{0, Bytes({0xC1, 0x80})}}},
  };
  RunCases(40, 24, cases, MakeAtascii);
}

TEST(PetsciiParserTest, ScreenCodes) {
  const std::pair<int, int> rows[] = {{0, 64},    {31, 95},   {32, 0},    {95, 63},   {96, 96},  {127, 127},
                                      {128, 192}, {159, 223}, {160, 128}, {223, 191}, {224, 224}, {255, 255}};
  for (const auto& [in, out] : rows) EXPECT_EQ(AtasciiScreenCode(uint8_t(in)), out) << in;
}
