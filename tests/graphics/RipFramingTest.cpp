// How the parser takes RIPscrip lines and host queries out of a stream, and
// what it hands on to the text emulation.
#include <gtest/gtest.h>

#include "RipTestSupport.h"

namespace {

struct FrameCase {
  const char* Name;
  std::vector<std::string> Pieces;  // fed one after the other
  std::string Text;                 // what reaches the text emulation
  int Color;                        // drawing colour afterwards
};

class RipFramingTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(RipFramingTest, SplitsGraphicsFromText) {
  RipRig rig;
  std::string text;
  for (const std::string& piece : GetParam().Pieces) text += rig.Feed(piece);
  EXPECT_EQ(text, GetParam().Text);
  EXPECT_EQ(rig.Canvas.GetColor(), GetParam().Color);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RipFramingTest,
    ::testing::Values(
        FrameCase{"a bang not at a line start is text", {"x!|c01"}, "x!|c01", 15},
        FrameCase{"a line after CR runs its command", {"\r!|c01\r"}, "\r", 1},
        FrameCase{"the stream's first bytes are a line start", {"!|c01\r\nok"}, "ok", 1},
        FrameCase{"several commands share a line, the LF after CR is dropped", {"!|L00000A0A|c03\r\n"}, "", 3},
        FrameCase{"a bang without a bar is output with the next byte", {"!x"}, "!x", 15},
        FrameCase{"a line may end at LF alone", {"!|c02\nA"}, "A", 2},
        FrameCase{"after NUL and VT a line may start", {std::string("\0!|c01\r", 7), "\v!|c02\r"},
                  std::string("\0\v", 2), 2},
        FrameCase{"a backslash joins the next line", {"!|c0\\\r\n", "5\r"}, "", 5},
        FrameCase{"a line split across feeds", {"!", "|", "c0", "6", "\r", "\n", "z"}, "z", 6},
        FrameCase{"level 2 and higher commands are ignored", {"!|2C00|c04\r"}, "", 4},
        FrameCase{"a two-digit level is read by its first digit", {"!|12Z|c04\r"}, "", 4},
        FrameCase{"an over-long command is dropped with the rest of its line",
                  {"!|T" + std::string(70000, 'x') + "|c01\r\n", "!|c02\r\nafter"}, "after", 2}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Queries, RipFramingTest,
    ::testing::Values(FrameCase{"the query bytes go on to the terminal", {ESC "[!x"}, ESC "[!x", 15},
                      FrameCase{"a query cut across feeds", {ESC, "[", "0", "!"}, ESC "[0!", 15},
                      FrameCase{"an over-long query is dropped", {ESC "[" + std::string(400, '9') + "!"},
                                ESC "[" + std::string(400, '9') + "!", 15},
                      FrameCase{"an ESC inside a query starts the next one and swallows nothing",
                                {ESC "[15", ESC "[15;4!ok"}, ESC "[15" ESC "[15;4!ok", 4}),
    RowName());

TEST(RipFraming, VersionQueryIsAnswered) {
  RipRig rig;
  rig.Feed(ESC "[!" "text" ESC "[0!");
  EXPECT_EQ(rig.Replies, (std::vector<std::string>{"RIPSCRIP015410", "RIPSCRIP015410"}));
}

TEST(RipFraming, QueryParametersAreCappedAt300Characters) {
  // The same command with leading zeros, once at the cap and once past it.
  RipRig atCap, pastCap;
  atCap.Feed(ESC "[" + std::string(296, '0') + "15;4!");
  pastCap.Feed(ESC "[" + std::string(297, '0') + "15;4!");
  EXPECT_EQ(atCap.Canvas.GetColor(), 4);
  EXPECT_EQ(pastCap.Canvas.GetColor(), 15);
}

TEST(RipFraming, HostSwitchesRipDisplayOffAndOn) {
  RipRig rig;
  rig.Feed(ESC "[1!");
  EXPECT_TRUE(rig.Parser.RipDisabledByHost);
  rig.Feed(ESC "[2!");
  EXPECT_FALSE(rig.Parser.RipDisabledByHost);
  rig.Feed(ESC "[1!");
  rig.Parser.Reset();
  EXPECT_FALSE(rig.Parser.RipDisabledByHost);
}

TEST(RipFraming, EscapedBarsStayInTextCommands) {
  // "\|" is a bar inside the text; "\\|" is a backslash and then a new command.
  for (const auto& [line, text] : {std::pair<std::string, std::string>{"!|Ta\\|b|X0101\r", "a|b"},
                                   {"!|Ta\\\\|X0101\r", "a\\"}}) {
    RipRig rig, reference;
    rig.Feed(line);
    reference.Canvas.OutTextXY(0, 0, text);
    reference.Canvas.PutPixel(1, 1, 15);
    EXPECT_TRUE(std::equal(rig.Canvas.Bits(), rig.Canvas.Bits() + TRipCanvas::kPixels, reference.Canvas.Bits()))
        << line;
    EXPECT_EQ(rig.Pixel(1, 1), 15) << line;
  }
}

TEST(RipFraming, MegaNums) {
  struct Row {
    std::string Text;
    int Digits, Value;
    size_t End;
  };
  for (const Row& r : {Row{"Z", 2, 35, 1}, Row{"z1", 2, 1261, 2}, Row{"-5", 2, 5, 2}, Row{".5", 2, 0, 0},
                       Row{"ZZZZ", 4, 1679615, 4}, Row{"10A", 2, 36, 2}, Row{"", 2, 0, 0}}) {
    size_t pos = 0;
    EXPECT_EQ(TRipParser::ReadMegaNum(pos, r.Text, r.Digits), r.Value) << r.Text;
    EXPECT_EQ(pos, r.End) << r.Text;
  }
}

TEST(RipFraming, ResetReturnsToALineStartAndTheEgaPalette) {
  RipRig rig;
  rig.Feed("x" ESC "[1;1;1!" "!|c0");
  EXPECT_NE(rig.Canvas.PaletteEntry(1), TRipCanvas::kEgaPalette[1]);
  rig.Parser.Reset();
  EXPECT_EQ(rig.Canvas.PaletteEntry(1), TRipCanvas::kEgaPalette[1]);
  EXPECT_EQ(rig.Feed("!|c01\r"), "");
  EXPECT_EQ(rig.Canvas.GetColor(), 1);
}

}  // namespace
