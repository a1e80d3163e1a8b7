// IGS commands, one row each: the bytes a board sends, then registers read
// back from the canvas, the replies, the cursor and the text passed on.
#include <gtest/gtest.h>

#include <optional>

#include "IGSTestSupport.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using igstest::TIGSRig;

struct TProbe {
  int X, Y, Register;
};

struct TCommandCase {
  std::string Name;
  std::vector<std::string> Feeds;  // more than one: a split write
  std::vector<TProbe> Probes;
  std::string Replies;
  std::string Text;
  int CursorX = -1, CursorY = -1;
  std::vector<int> Switches;
  int Resolution = -1;
  bool Shown = true;  // a command ran, so the canvas is to be shown
};

void PrintTo(const TCommandCase& c, std::ostream* os) { *os << c.Name; }

// In resolution 0 colour number 2 selects register 1 (red under preset 0);
// the default drawing register is 15 (black) on a white register 0.
const TCommandCase kCases[] = {
    {"FilledBoxChainedAfterColour", {"G#C>2,2:Z>10,10,20,20:"}, {{10, 10, 1}, {20, 20, 1}, {21, 20, 0}, {15, 9, 0}}},
    {"BoxCornersInAnyOrder", {"G#Z>20,20,10,10:"}, {{10, 10, 15}, {20, 20, 15}, {9, 15, 0}}},
    {"BoxAtThe32BitLimitsFillsTheCanvas",
     {"G#Z>-2147483648,-2147483648,2147483647,2147483647:"},
     {{0, 0, 15}, {319, 199, 15}}},
    {"OverlongDigitsSaturate", {"G#Z>-99999999999999999999999999999,0,999999999999999999999999999999999,3:"},
     {{0, 0, 15}, {319, 3, 15}, {0, 4, 0}}},
    {"SplitWriteAcrossTheParameters", {"G#Z>5,5,", "8,8:"}, {{5, 5, 15}, {8, 8, 15}, {9, 9, 0}}},
    {"LineMovesThePenForD", {"G#L>0,0,10,0:D>10,10:"}, {{0, 0, 15}, {10, 0, 15}, {10, 5, 15}, {10, 10, 15}, {11, 5, 0}}},
    {"LineTypeTwoPattern", {"G#T>2,2,0:L>0,5,31,5:"}, {{11, 5, 15}, {12, 5, 0}, {15, 5, 0}, {16, 5, 15}}},
    {"LineTypeOutOfRangeIsSolid", {"G#T>2,9,0:L>0,5,31,5:"}, {{12, 5, 15}, {15, 5, 15}}},
    {"CheckerPatternFill", {"G#A>2,4,0:Z>0,0,15,7:"}, {{0, 0, 15}, {1, 0, 0}, {0, 1, 0}, {1, 1, 15}}},
    {"PatternIndexOutOfRangeKeepsSolid", {"G#A>2,25,0:Z>0,0,15,7:"}, {{1, 0, 15}, {0, 1, 15}}},
    {"HollowTransparentBoxDrawsOnlyItsOutline",
     {"G#C>2,2:Z>0,0,50,50:C>2,1:H>1:B>10,10,20,20:"},
     {{15, 15, 1}, {10, 15, 15}, {15, 10, 15}, {20, 20, 15}}},
    {"BoxOutlineInTheFillColour", {"G#A>0,1,1:C>2,2:B>10,10,20,20:"}, {{10, 10, 1}, {20, 15, 1}, {15, 15, 0}}},
    {"RoundedBoxCutsItsCorners", {"G#U>10,10,100,60:"}, {{10, 10, 0}, {100, 60, 0}, {55, 35, 15}, {10, 35, 15}}},
    {"BoxWithTheRoundedFlag", {"G#B>10,10,100,60,1:"}, {{10, 10, 0}, {55, 35, 15}}},
    {"CircleSpansItsAspectCorrectedRadius",
     {"G#O>160,100,100:"},
     {{160, 100, 15}, {61, 100, 15}, {59, 100, 0}, {259, 100, 15}, {261, 100, 0}, {160, 12, 15}, {160, 10, 0},
      {160, 8, 0}}},
    {"CircleOutlineFillsItsTopRow", {"G#A>1,1,1:O>160,100,100:"}, {{160, 10, 15}, {160, 9, 0}}},
    {"EllipseWithoutAspect", {"G#Q>160,100,50,20:"}, {{160, 100, 15}, {160, 85, 15}, {160, 78, 0}, {208, 100, 15}}},
    {"PieUpRight", {"G#V>160,100,50,0,90:"}, {{175, 90, 15}, {145, 90, 0}, {175, 110, 0}}},
    {"EllipticalPie", {"G#Y>160,100,50,50,180,270:"}, {{145, 110, 15}, {175, 110, 0}, {145, 90, 0}}},
    {"ArcIsAnOpenPolyline", {"G#J>160,100,50,30,0,90:"}, {{210, 100, 15}, {160, 70, 15}, {160, 100, 0}, {110, 100, 0}}},
    {"CircularArc", {"G#K>160,100,40,90,180:"}, {{160, 60, 15}, {120, 100, 15}, {200, 100, 0}}},
    {"FilledTriangle", {"G#f>3,10,10,50,10,30,40:"}, {{30, 20, 15}, {10, 40, 0}, {49, 11, 15}}},
    {"PolygonOfOneRowFillsNothing", {"G#f>3,10,10,50,10,30,10:"}, {{30, 10, 0}}},
    {"PolylineLeavesThePenAtItsEnd", {"G#z>3,0,0,10,0,10,10:D>0,10:"}, {{5, 0, 15}, {10, 5, 15}, {5, 10, 15}, {5, 5, 0}}},
    {"SquareMarkerOfSizeTwo",
     {"G#T>1,4,2:P>50,50:"},
     {{42, 44, 15}, {58, 56, 15}, {50, 44, 15}, {50, 50, 0}, {59, 50, 0}, {42, 43, 0}}},
    {"PlusMarker", {"G#T>1,2,1:P>50,50:"}, {{50, 47, 15}, {50, 53, 15}, {46, 50, 15}, {54, 50, 15}, {51, 51, 0}}},
    {"FloodFillStopsAtTheLine",
     {"G#L>0,50,319,50:C>2,2:F>5,5:"},
     {{5, 5, 1}, {319, 49, 1}, {5, 50, 15}, {5, 51, 0}}},
    {"FloodFillOnTheFillColourDoesNothing", {"G#C>2,0:A>2,4,0:F>5,5:"}, {{5, 5, 0}, {6, 5, 0}}},
    {"XorWritingMode", {"G#Z>0,0,10,10:M>3:Z>5,5,15,15:"}, {{2, 2, 15}, {7, 7, 0}, {12, 12, 15}}},
    {"ReverseTransparentWritesOnlyClearBits", {"G#Z>0,0,15,0:M>4:A>2,4,0:C>2,2:Z>0,0,15,0:"}, {{0, 0, 15}, {1, 0, 0}}},
    {"GraphicTextAtHeightNine",
     // 8x8 "|" (0x7C): a bar in columns 3 and 4 of rows 0..6; glyph row 6 is the baseline, on y.
     {"G#W>10,20,|@"},
     {{13, 14, 15}, {14, 20, 15}, {13, 21, 0}, {12, 16, 0}, {13, 13, 0}}},
    {"GraphicTextAfterAnAt", {"G#W>10,20@|@"}, {{13, 14, 15}, {14, 20, 15}}},
    {"BlockSaveAndPaste",
     {"G#Z>0,0,9,9:G>1,3,0,0,9,9:G>2,3,100,100:"},
     {{100, 100, 15}, {109, 109, 15}, {110, 110, 0}, {99, 100, 0}}},
    {"BlockCopyWithLogicFifteen", {"G#G>0,15,0,0,4,4,50,50:"}, {{50, 50, 15}, {54, 54, 15}, {55, 55, 0}}},
    {"BlockXorTwiceRestores",
     {"G#Z>0,0,3,3:G>1,3,0,0,7,7:C>2,2:Z>20,20,27,27:G>2,6,20,20:G>2,6,20,20:"},
     {{20, 20, 1}, {27, 27, 1}}},
    {"BlockOfNegativeCornerKeepsTheSavedOne",
     {"G#Z>0,0,3,3:G>1,3,0,0,3,3:G>1,3,-1,0,9,9:G>2,3,50,50:"},
     {{50, 50, 15}, {53, 53, 15}, {54, 54, 0}}},
    {"NoSavedBlockPastesNothing", {"G#G>1,3,-1,0,9,9:G>2,15,50,50:"}, {{50, 50, 0}}},
    {"PasteAtANegativeTargetSkipsSourceColumns",
     {"G#Z>2,0,2,9:G>1,3,0,0,9,9:s>3:G>2,3,-2,30:"},
     {{0, 30, 15}, {0, 39, 15}, {1, 30, 0}, {0, 29, 0}, {0, 40, 0}}},
    {"UserFillPattern",
     {"G#X>7,0,X-X-X-X-X-X-X-X-XXXXXXXXXXXXXXXX:A>4,0,0:Z>0,0,15,3:"},
     {{0, 0, 15}, {1, 0, 0}, {1, 1, 15}, {0, 2, 15}, {1, 2, 0}}},
    {"PenFromTheXCommand", {"G#X>10,40,40:D>40,50:"}, {{40, 45, 15}}},
    {"InquiryVersion", {"G#?>0:"}, {}, "2.19"},
    {"InquiryResolution", {"G#R>1:?>3:"}, {}, "1:", "", -1, -1, {1}, 1},
    {"ResolutionSevenSelectsZero", {"G#R>7:"}, {}, "", "", -1, -1, {0}, 0},
    {"TooFewParametersDrawNothing", {"G#L>1,2,3:"}, {{1, 2, 0}}},
    {"UnknownLetterEndsTheCommands", {"G#Z>0,0,1,1:xAB"}, {{0, 0, 15}}, "", "AB"},
    {"AbandonedCommandDropsTheByte", {"G#Z>0,0,5,5ab"}, {{0, 0, 0}}, "", "b", -1, -1, {}, -1, false},
    {"CursorToColumnAndRow", {"G#p>5,3:"}, {}, "", "", 5, 3},
    {"CursorMovesByColumns", {"G#p>10,10:m>-3,0:"}, {}, "", "", 7, 10},
    {"CursorMovesDownByDirection", {"G#p>10,10:m>1,4:"}, {}, "", "", 10, 14},
    {"CursorMovesLeftByDirection", {"G#p>10,10:m>2,4:"}, {}, "", "", 6, 10},
    {"CursorMovesRightByDirection", {"G#p>10,10:m>7,4:"}, {}, "", "", 14, 10},
    {"CursorMovesByARowCountAlone", {"G#p>10,10:m>0,-2:"}, {}, "", "", 10, 8},
    {"CursorMoveAtThe32BitLimit", {"G#p>10,10:m>2,-2147483648:"}, {}, "", "", 79, 10},
};

class IGSCommandTest : public ::testing::TestWithParam<TCommandCase> {};

TEST_P(IGSCommandTest, Runs) {
  const TCommandCase& c = GetParam();
  TIGSRig rig;
  for (const std::string& f : c.Feeds) rig.Feed(f);
  rig.Replay();
  EXPECT_EQ(rig.Parser.FGraphicsShown, c.Shown);
  for (const TProbe& p : c.Probes) EXPECT_EQ(rig.Pixel(p.X, p.Y), p.Register) << "at " << p.X << "," << p.Y;
  EXPECT_EQ(rig.Replies, c.Replies);
  EXPECT_EQ(rig.Text, c.Text);
  if (c.CursorX >= 0) {
    EXPECT_EQ(rig.Buffer.CursorX, c.CursorX);
  }
  if (c.CursorY >= 0) {
    EXPECT_EQ(rig.Buffer.CursorY, c.CursorY);
  }
  EXPECT_EQ(rig.Switches, c.Switches);
  if (c.Resolution >= 0) {
    EXPECT_EQ(rig.Parser.Canvas().Resolution(), c.Resolution);
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, IGSCommandTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.Name; });

// ---------------------------------------------------------------- palette

struct TRgb {
  int R, G, B;
};

TRgb Register(const TIGSRig& rig, int reg) {
  uint8_t r, g, b;
  rig.Parser.Canvas().RegisterColor(reg, r, g, b);
  return {r, g, b};
}

TEST(IGSPaletteTest, PresetsAndRegisters) {
  struct TRow {
    std::string Feed;
    int Register;
    TRgb Rgb;
  } rows[] = {
      {"", 0, {238, 238, 238}},
      {"", 15, {0, 0, 0}},
      {"G#S>2,7,0,0:", 1, {238, 0, 0}},
      {"G#S>2,1,2,3:", 1, {34, 68, 102}},
      {"G#S>2,9,10,11:", 1, {34, 68, 102}},  // levels are taken AND 7
      {"G#S>16,1,1,1:", 13, {238, 102, 238}},  // colour out of range: ignored
      {"G#S>2,0,0,7:I>1:", 1, {238, 0, 0}},
      {"G#I>3:", 7, {170, 136, 204}},
      {"G#R>0,2:", 7, {170, 136, 204}},
      {"G#R>1:", 1, {238, 0, 0}},
      {"G#R>1:", 3, {0, 0, 0}},
      {"G#R>1:", 4, {0, 0, 0}},
      {"G#R>2:", 1, {0, 0, 0}},
      {"G#R>1:I>3:", 7, {0, 0, 0}},  // "I" works only in resolution 0
      {"G#R>1:S>1,7,7,0:", 3, {238, 238, 0}},
  };
  for (const TRow& row : rows) {
    TIGSRig rig;
    rig.Feed(row.Feed);
    const TRgb got = Register(rig, row.Register);
    EXPECT_EQ(got.R, row.Rgb.R) << row.Feed << " register " << row.Register;
    EXPECT_EQ(got.G, row.Rgb.G) << row.Feed << " register " << row.Register;
    EXPECT_EQ(got.B, row.Rgb.B) << row.Feed << " register " << row.Register;
  }
}

TEST(IGSPaletteTest, ColourOneIsBlackOnAFreshWhiteCanvas) {
  TIGSRig rig;
  rig.Feed("G#C>2,1:Z>0,0,3,3:");
  EXPECT_EQ(rig.Pixel(0, 0), 15);
  EXPECT_EQ(rig.Pixel(4, 4), 0);
  uint8_t r, g, b;
  rig.Parser.TextColor(r, g, b);
  EXPECT_EQ(r + g + b, 0);
  rig.Feed("G#R>2:");
  rig.Parser.TextColor(r, g, b);  // register 1 of preset 3
  EXPECT_EQ(r + g + b, 0);
}

TEST(IGSPaletteTest, RenderScaledMapsRegistersNearest) {
  TIGSRig rig;
  rig.Feed("G#C>2,2:Z>0,0,0,0:");
  std::vector<uint32_t> out(640 * 350);
  rig.Parser.RenderScaled(out.data(), 640, 350);
  EXPECT_EQ(out[0], 0xEE0000u);        // canvas (0,0) red, doubled
  EXPECT_EQ(out[1], 0xEE0000u);
  EXPECT_EQ(out[2], 0xEEEEEEu);
  EXPECT_EQ(out[640], 0xEE0000u);      // row 1 still shows source row 0
  EXPECT_EQ(out[640 * 2], 0xEEEEEEu);  // 200 x 2 div 350 = 1
}

// ---------------------------------------------------------------- screen

TEST(IGSScreenTest, ClearsAndReverse) {
  TIGSRig rig;
  rig.Buffer.WriteCharAt(0, 0, 'A');
  rig.Buffer.WriteCharAt(79, 24, 'Z');
  rig.Feed("G#Z>0,0,9,9:p>5,5:s>0:");
  EXPECT_EQ(rig.Pixel(0, 0), 0);
  EXPECT_EQ(rig.Buffer.GetCell(0, 0).Ch, ' ');
  EXPECT_EQ(rig.Buffer.CursorX, 0);
  EXPECT_EQ(rig.Buffer.CursorY, 0);

  TIGSRig keep;
  keep.Feed("G#Z>0,0,9,9:p>5,5:s>3:");
  EXPECT_EQ(keep.Pixel(0, 0), 0);
  EXPECT_EQ(keep.Buffer.CursorX, 5);

  TIGSRig part;
  part.Buffer.WriteCharAt(0, 0, 'A');
  part.Buffer.WriteCharAt(20, 10, 'B');
  part.Feed("G#p>10,10:s>2:");
  EXPECT_EQ(part.Buffer.GetCell(0, 0).Ch, 'A');
  EXPECT_EQ(part.Buffer.GetCell(20, 10).Ch, ' ');
  part.Buffer.WriteCharAt(20, 10, 'B');
  part.Feed("G#s>1:");
  EXPECT_EQ(part.Buffer.GetCell(0, 0).Ch, ' ');

  TIGSRig five;
  five.Feed("G#R>1:S>1,0,0,7:v>1:Z>0,0,5,5:p>3,3:s>5:");
  EXPECT_EQ(five.Pixel(0, 0), 0);
  EXPECT_EQ(Register(five, 1).B, 0);  // preset 2 again
  EXPECT_EQ(Register(five, 1).R, 238);
  EXPECT_FALSE(five.Buffer.Reverse);
  EXPECT_EQ(five.Buffer.CursorX, 0);

  TIGSRig cursor;
  cursor.Feed("G#k>0:v>1:");
  EXPECT_FALSE(cursor.Buffer.CursorVisible);
  EXPECT_TRUE(cursor.Buffer.Reverse);
  cursor.Feed("G#k>1:k>2:v>0:");
  EXPECT_TRUE(cursor.Buffer.CursorVisible);
  EXPECT_FALSE(cursor.Buffer.Reverse);

  TIGSRig line;
  line.Buffer.WriteCharAt(3, 2, 'A');
  line.Buffer.WriteCharAt(9, 2, 'B');
  line.Feed("G#p>5,2:l:");
  EXPECT_EQ(line.Buffer.GetCell(3, 2).Ch, 'A');
  EXPECT_EQ(line.Buffer.GetCell(9, 2).Ch, ' ');
}

TEST(IGSScreenTest, WithoutABufferOnlyTheCanvasChanges) {
  TIGSParser parser(nullptr);
  std::vector<uint8_t> out;
  for (char c : std::string("G#Z>0,0,3,3:p>5,5:s>0:k>0:m>1,1:l:v>1:")) parser.FeedByte(uint8_t(c), out);
  EXPECT_EQ(parser.Canvas().PixelAt(0, 0), 0);
  EXPECT_TRUE(parser.FGraphicsShown);
}

// ---------------------------------------------------------------- zones

TEST(IGSZoneTest, NewestZoneWinsAndTextIsCut) {
  TIGSRig rig;
  rig.Feed("G#X>4,1,10,10,50,50,0,first:X>4,2,40,40,60,60,3,second:");
  std::string text;
  ASSERT_TRUE(rig.Parser.MouseZoneAt(45, 45, text));
  EXPECT_EQ(text, "sec");
  ASSERT_TRUE(rig.Parser.MouseZoneAt(10, 50, text));  // borders belong to the zone
  EXPECT_EQ(text, "first");
  EXPECT_FALSE(rig.Parser.MouseZoneAt(61, 61, text));
  EXPECT_EQ(text, "");

  rig.Feed("G#R>1:");  // a resolution change keeps them
  EXPECT_TRUE(rig.Parser.MouseZoneAt(45, 45, text));
  rig.Feed("G#X>4,9999:");
  EXPECT_FALSE(rig.Parser.MouseZoneAt(45, 45, text));
}

TEST(IGSZoneTest, ZoneTextEndsAtLineEndAndKeepsCarets) {
  TIGSRig rig;
  rig.Feed("G#X>4,5,0,0,9,9,0,^M menu\nafter");
  std::string text;
  ASSERT_TRUE(rig.Parser.MouseZoneAt(3, 3, text));
  EXPECT_EQ(text, "^M menu");
  EXPECT_EQ(rig.Text, "after");
}

TEST(IGSZoneTest, FloodOfZonesKeepsTheNewest) {
  TIGSRig rig;
  std::string feed = "G#";
  for (size_t i = 0; i < TIGSParser::kMaxZones + 10; ++i)
    feed += "X>4," + std::to_string(i % 9000) + ",0,0,9,9,0,z" + std::to_string(i) + ":";
  rig.Feed(feed);
  std::string text;
  ASSERT_TRUE(rig.Parser.MouseZoneAt(1, 1, text));
  EXPECT_EQ(text, "z" + std::to_string(TIGSParser::kMaxZones + 9));
}

// ---------------------------------------------------------------- random

TEST(IGSRandomTest, ParametersFromTheTwoRanges) {
  TIGSRig rig;
  // "r" picks from 0..199 until "X" 2 sets 50..52; "R" from 100..101.
  rig.Feed("G#X>2,50,52:X>2,100,0,101:");
  for (int i = 0; i < 40; ++i) rig.Feed("G#P>r,R:");
  int inRange = 0;
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 200; ++y)
      if (rig.Pixel(x, y) == 15) {
        EXPECT_TRUE(x >= 50 && x <= 52 && y >= 100 && y <= 101) << x << "," << y;
        ++inRange;
      }
  EXPECT_GT(inRange, 1);
}

}  // namespace
