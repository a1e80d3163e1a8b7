// Plain ASCII: controls, swallowed CSI sequences and the CP437 fold.
#include <gtest/gtest.h>

#include "core/uAsciiParser.h"
#include "core/uControlChars.h"
#include "tests/core/EmulationTestSupport.h"

using namespace emutest;

namespace {

std::unique_ptr<TTextEmulation> MakeAscii(TTerminalBuffer& B, const TEmulationCase&) {
  return std::make_unique<TAsciiParser>(B);
}

std::string Esc(const std::string& Rest) { return Bytes({cc::ESC}) + Rest; }

}  // namespace

TEST(AsciiParserTest, Table) {
  const std::vector<TEmulationCase> cases = {
      {.Name = "text in grey on black",
       .Feeds = {"Hi"},
       .Cells = {{.Col = 0, .Row = 0, .Ch = 'H', .Fg = AnsiPalette[7], .Bg = AnsiPalette[0]}}},
      {.Name = "SGR sequence prints nothing", .Feeds = {Esc("[1;31m") + "ok"},
       .Cells = {{.Col = 0, .Row = 0, .Fg = AnsiPalette[7]}}, .Rows = {{0, "ok"}}},
      {.Name = "ESC X is dropped, the next byte prints", .Feeds = {Esc("X") + "Y"}, .Rows = {{0, "Y"}}},
      {.Name = "CSI split across two feeds", .Feeds = {"a" + Esc("[2"), "Jb"}, .Rows = {{0, "ab"}}},
      {.Name = "CSI with 5000 parameter bytes is swallowed whole",
       .Feeds = {Esc("[") + Times(2500, "1;") + "m" + "ok"},
       .Rows = {{0, "ok"}}, .CursorX = 2},
      {.Name = "CSI with intermediate bytes ends at its final byte",
       .Feeds = {Esc("[0 q") + "ok"}, .Rows = {{0, "ok"}}},
      {.Name = "box corner 201 folds to +", .Feeds = {Bytes({201, 187, 200, 188})}, .Rows = {{0, "++++"}}},
      {.Name = "shades and blocks fold to #", .Feeds = {Bytes({176, 177, 178, 219, 220, 223})}, .Rows = {{0, "######"}}},
      {.Name = "lines fold to | and -", .Feeds = {Bytes({179, 186, 196, 205})}, .Rows = {{0, "||--"}}},
      {.Name = "bullets fold to *, 255 to a space", .Feeds = {Bytes({248, 254, 255, 'x'})}, .Rows = {{0, "** x"}}},
      {.Name = "letters and half blocks fold to .", .Feeds = {Bytes({130, 221, 222, 224, 253})}, .Rows = {{0, "....."}}},
      {.Name = "BS moves left", .Feeds = {"ab" + Bytes({cc::BS}) + "X"}, .Rows = {{0, "aX"}}},
      {.Name = "BEL, other controls and DEL are dropped",
       .Feeds = {"a" + Bytes({cc::BEL, cc::NUL, cc::SO, cc::DEL, cc::VT}) + "b"},
       .Rows = {{0, "ab"}}},
      {.Name = "TAB to the next stop", .Feeds = {"a" + Bytes({cc::HT}) + "b"}, .Cells = {{.Col = 8, .Row = 0, .Ch = 'b'}}},
      {.Name = "TAB at column 75 stops on the last column",
       .Feeds = {std::string(75, ' ') + Bytes({cc::HT}) + "X"},
       .Cells = {{.Col = 79, .Row = 0, .Ch = 'X'}}},
      {.Name = "CR LF", .Feeds = {"ab\r\ncd"}, .Rows = {{0, "ab"}, {1, "cd"}}},
      {.Name = "FF clears and homes", .Feeds = {"ab\r\ncd" + Bytes({cc::FF}) + "X"}, .Rows = {{0, "X"}, {1, ""}}},
  };
  RunCases(80, 25, cases, MakeAscii);
}

TEST(AsciiParserTest, CreateSetsThePenResetKeepsIt) {
  TTerminalBuffer b(80, 25);
  b.SetFgRGB(TColorRGB{1, 2, 3});
  b.SetBgRGB(TColorRGB{4, 5, 6});
  TAsciiParser p(b);
  FeedAll(p, Esc("["));
  p.Reset();
  FeedAll(p, "m");  // no longer inside a sequence
  EXPECT_EQ(RawRow(b, 0), "m");
  EXPECT_EQ(b.GetCell(0, 0).Fg, AnsiPalette[7]);
  EXPECT_EQ(b.GetCell(0, 0).Bg, AnsiPalette[0]);
}
