// Drawing commands through the parser, probed pixel by pixel on the canvas.
#include "RipTestSupport.h"

namespace {

struct DrawCase {
  const char* Name;
  std::string Bytes;
  std::vector<Probe> Probes;
};

class RipDrawTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(RipDrawTest, DrawsThePixelsOfTheCommand) {
  RipRig rig;
  rig.Feed(GetParam().Bytes);
  ExpectProbes(rig, GetParam().Probes);
}

constexpr int W = 15;  // the drawing colour at start

INSTANTIATE_TEST_SUITE_P(
    Lines, RipDrawTest,
    ::testing::Values(
        DrawCase{"line covers both ends and the pixels between",
                 "!|L00000A0A\r\n",
                 {{0, 0, W}, {5, 5, W}, {10, 10, W}, {11, 11, kUndrawn}, {5, 6, kUndrawn}}},
        DrawCase{"dotted line starts its dots at its upper end",
                 "!|=01000001|L0A0K0000\r\n",
                 {{0, 0, kUndrawn}, {1, 2, W}, {2, 3, W}, {2, 4, kUndrawn}}},
        DrawCase{"thick line adds a row above and below", "!|=00000003|L000A140A\r",
                 {{20, 9, W}, {20, 10, W}, {20, 11, W}, {20, 12, kUndrawn}}},
        DrawCase{"rectangle is an outline", "!|R0A0A0K0K\r",
                 {{10, 10, W}, {20, 10, W}, {15, 20, W}, {10, 15, W}, {15, 15, kUndrawn}}},
        DrawCase{"viewport clips a line", "!|v0A0A0K0K|L00000U0U\r",
                 {{5, 5, kUndrawn}, {15, 15, W}, {25, 25, kUndrawn}}},
        DrawCase{"Bezier of four equal points is one point", "!|Z0A0A0A0A0A0A0A0A00\r",
                 {{10, 10, W}, {11, 10, kUndrawn}, {9, 10, kUndrawn}, {10, 11, kUndrawn}}},
        DrawCase{"Bezier runs from its first to its last point", "!|Z000014001400141400\r",
                 {{0, 0, W}, {40, 40, W}, {0, 40, kUndrawn}}},
        DrawCase{"polygon outline is closed", "!|P0300000K00000K\r",
                 {{10, 0, W}, {0, 10, W}, {10, 10, W}, {5, 5, kUndrawn}}},
        DrawCase{"polyline stays open", "!|l0300000K00000K\r", {{10, 0, W}, {10, 10, W}, {0, 10, kUndrawn}}},
        DrawCase{"polygon of one point draws nothing", "!|P010A0A\r", {{10, 10, kUndrawn}}}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Curves, RipDrawTest,
    ::testing::Values(
        DrawCase{"circle of radius 0 is one pixel", "!|C0A0A00\r",
                 {{10, 10, W}, {11, 10, kUndrawn}, {10, 11, kUndrawn}}},
        DrawCase{"circle is squeezed to the EGA aspect", "!|C323214\r",
                 {{150, 110, W}, {70, 110, W}, {110, 79, W}, {110, 141, W}, {110, 78, kUndrawn}, {110, 110, kUndrawn}}},
        DrawCase{"filled ellipse: pattern inside, outline in the drawing colour", "!|S0102|c0E|o32320K0A\r",
                 {{110, 110, 2}, {110, 100, 14}, {130, 110, 14}, {131, 110, kUndrawn}, {110, 99, kUndrawn}}},
        DrawCase{"filled ellipse of no size draws nothing", "!|o0A0A0000\r", {{10, 10, kUndrawn}}},
        DrawCase{"arc from 0 to 0 degrees is one point", "!|A0A0A00000A\r",
                 {{20, 10, W}, {10, 10, kUndrawn}, {0, 10, kUndrawn}}},
        DrawCase{"arc turns counter-clockwise from the x axis", "!|O3232002I0K0K\r",
                 {{130, 110, W}, {110, 90, W}, {90, 110, kUndrawn}, {110, 130, kUndrawn}}},
        DrawCase{"arc whose end is below its start goes round", "!|O32322I000K0K\r",
                 {{110, 90, W}, {90, 110, W}, {110, 130, W}, {130, 110, W}}},
        DrawCase{"pie slice fills its sector", "!|S0102|i3232002I0K0K\r",
                 {{118, 102, 2}, {102, 118, kUndrawn}, {102, 102, kUndrawn}}}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Fills, RipDrawTest,
    ::testing::Values(
        DrawCase{"bar paints a pattern's clear bits black", "!|S0204|B00000F0F\r",
                 {{0, 0, 4}, {0, 2, 0}, {15, 4, 4}, {15, 15, 0}, {16, 0, kUndrawn}}},
        DrawCase{"fill style beyond the table changes nothing", "!|S0C0F|B00000505\r", {{0, 0, 0}, {5, 5, 0}}},
        DrawCase{"fill colour keeps its low four bits", "!|S0B1F|B00000707\r", {{0, 0, 3}, {1, 0, 0}, {2, 2, 3}}},
        DrawCase{"user fill pattern", "!|s730073007300730005|B00000303\r", {{0, 0, 5}, {3, 0, 5}, {0, 1, 0}}},
        DrawCase{"filled polygon", "!|S0102|p0300000K00000K\r", {{5, 5, 2}, {15, 15, kUndrawn}}},
        DrawCase{"filled polygon of two points is its outline alone", "!|S0102|p0200000K0K\r",
                 {{10, 10, W}, {10, 5, kUndrawn}}},
        DrawCase{"flood fill paints its pattern up to the border", "!|R0A0A0U0U|S0904|F0F0F0F\r",
                 {{11, 11, 4}, {12, 11, 0}, {27, 29, 4}, {10, 10, W}, {5, 5, kUndrawn}, {31, 31, kUndrawn}}},
        DrawCase{"flood fill started on the border does nothing", "!|R0A0A0U0U|S0104|F0A0A0F\r",
                 {{11, 11, kUndrawn}}},
        DrawCase{"flood fill outside the viewport does nothing", "!|v0A0A0U0U|S0104|F05050F\r",
                 {{5, 5, kUndrawn}, {15, 15, kUndrawn}}},
        DrawCase{"erase fills the viewport with colour 0", "!|S0104|B00000U0U|v0A0A0K0K|E\r",
                 {{5, 5, 4}, {15, 15, 0}, {25, 25, 4}}}),
    RowName());

// SkyPix fields reach 2147483647: shapes far beyond the canvas clip to it.
INSTANTIATE_TEST_SUITE_P(
    FarAndEmpty, RipDrawTest,
    ::testing::Values(
        DrawCase{"horizontal line out to the 32-bit limit",
                 ESC "[8;0;100!" ESC "[2;2147483647;100!", {{0, 100, W}, {639, 100, W}, {0, 101, kUndrawn}}},
        DrawCase{"steep line out to the 32-bit limit", ESC "[8;320;0!" ESC "[2;321;2147483647!",
                 {{320, 0, W}, {320, 349, W}, {321, 349, kUndrawn}}},
        DrawCase{"filled ellipse far larger than the canvas covers it",
                 ESC "[15;4!" ESC "[13;320;175;2147483647;2147483647!", {{0, 0, 4}, {639, 349, 4}, {320, 175, 4}}},
        DrawCase{"ellipse outline far larger than the canvas crosses it", ESC "[5;0;0;1000000000;175!",
                 {{100, 175, W}, {100, 174, kUndrawn}}},
        DrawCase{"rectangle wholly off the canvas", ESC "[4;2000000000;10;2147483647;20!", {{639, 15, kUndrawn}}},
        DrawCase{"rectangle of one pixel", ESC "[4;10;10;10;10!", {{10, 10, W}, {11, 10, kUndrawn}}},
        DrawCase{"rectangle with its corners swapped draws nothing", ESC "[4;10;10;5;20!",
                 {{7, 15, kUndrawn}, {10, 10, kUndrawn}}}),
    RowName());

TEST(RipDrawMends, SameColourFillReachesEveryPixelOfALargeArea) {
  RipRig rig;
  // A comb of walls makes the fill wind back and forth across the whole
  // screen, far more than a fixed 32768-point stack can follow.
  std::string bytes = ESC "[15;2!";
  for (int x = 4; x < 640; x += 8)
    bytes += ESC "[8;" + std::to_string(x) + ";" + std::to_string(x % 16 == 4 ? 0 : 349) + "!" ESC "[2;" +
             std::to_string(x) + ";" + std::to_string(x % 16 == 4 ? 345 : 4) + "!";
  bytes += ESC "[15;4!" ESC "[3;1;0;0!";
  rig.Feed(bytes);
  int unfilled = 0;
  for (int y = 0; y < TRipCanvas::kHeight; ++y)
    for (int x = 0; x < TRipCanvas::kWidth; ++x)
      if (rig.Pixel(x, y) != 2 && rig.Pixel(x, y) != 4) ++unfilled;
  EXPECT_EQ(unfilled, 0);
}

TEST(RipDrawMends, FloodFillOfTheWholeScreenLeavesNoGap) {
  RipRig rig;
  rig.Feed("!|S0106|F000001\r");
  for (int y = 0; y < TRipCanvas::kHeight; y += 7)
    for (int x = 0; x < TRipCanvas::kWidth; x += 5) ASSERT_EQ(rig.Pixel(x, y), 6) << "at " << x << "," << y;
}

}  // namespace
