// BGI stroke fonts written by the test from the .CHR layout, and RIPscrip
// text in them and in the built-in 8x8 font.
#include <gtest/gtest.h>

#include "RipTestSupport.h"
#include "graphics/uBGIFont.h"

namespace {

struct Stroke {
  int Op;  // 2 move, 3 draw, 0 end
  int X, Y;
};

uint8_t Coord(int v, int top) { return uint8_t((top << 7) | (v & 0x7F)); }

// A .CHR file: header block, "+" at 128, the character table, widths and strokes.
std::vector<uint8_t> ChrFile(uint8_t first, const std::vector<std::pair<int, std::vector<Stroke>>>& glyphs,
                             int8_t cap, int8_t base, int8_t desc) {
  const size_t n = glyphs.size();
  std::vector<uint8_t> d(144, 0);
  d[0] = 'P', d[1] = 'K', d[2] = 8, d[3] = 8;
  d[128] = '+';
  d[129] = uint8_t(n & 255), d[130] = uint8_t(n >> 8);
  d[132] = first;
  d[136] = uint8_t(cap), d[137] = uint8_t(base), d[138] = uint8_t(desc);
  std::vector<uint8_t> strokes, offsets, widths;
  for (const auto& [width, list] : glyphs) {
    offsets.push_back(uint8_t(strokes.size() & 255)), offsets.push_back(uint8_t(strokes.size() >> 8));
    widths.push_back(uint8_t(width));
    for (const Stroke& s : list) {
      strokes.push_back(Coord(s.X, s.Op >> 1));
      strokes.push_back(Coord(s.Y, s.Op & 1));
    }
    strokes.push_back(0), strokes.push_back(0);
  }
  d.insert(d.end(), offsets.begin(), offsets.end());
  d.insert(d.end(), widths.begin(), widths.end());
  d.insert(d.end(), strokes.begin(), strokes.end());
  return d;
}

// One glyph "A": an L from the baseline up ten units and five along.
std::vector<uint8_t> LFont() { return ChrFile('A', {{6, {{2, 0, 0}, {3, 0, 10}, {3, 5, 10}}}}, 10, 0, -3); }

TEST(BGIFont, RendersAtItsSizeOnItsBaseline) {
  TBGIStrokeFont font;
  ASSERT_TRUE(font.LoadFromBytes(LFont()));
  struct Row {
    int Size;
    std::vector<Probe> Probes;
  };
  // Size 4 is scale 1: baseline at Y + (10 - -3) = 23. Size 7 is scale 2: 36.
  for (const Row& r : {Row{4, {{10, 23, 15}, {10, 18, 15}, {10, 13, 15}, {15, 13, 15}, {10, 24, kUndrawn},
                                {16, 13, kUndrawn}, {10, 12, kUndrawn}}},
                       Row{7, {{10, 36, 15}, {10, 16, 15}, {20, 16, 15}, {21, 16, kUndrawn}, {10, 37, kUndrawn}}}}) {
    RipRig rig;
    rig.Canvas.SetFontSlot(4, &font);
    rig.Feed("!|Y0400" + Mega(r.Size) + "00|@0A0AA\r");
    ExpectProbes(rig, r.Probes);
    EXPECT_EQ(rig.Canvas.PenX(), 10 + 6 * (r.Size == 4 ? 1 : 2)) << "the pen moves by the scaled width";
  }
}

TEST(BGIFont, CharactersOutsideTheFontAdvanceByEightUnits) {
  TBGIStrokeFont font;
  ASSERT_TRUE(font.LoadFromBytes(LFont()));
  RipRig rig;
  rig.Canvas.SetFontSlot(4, &font);
  rig.Feed("!|Y04000700|@0000zA\r");
  EXPECT_EQ(rig.Canvas.PenX(), 16 + 12);
  EXPECT_EQ(rig.Pixel(16, 26), 15) << "the A starts after the unknown z";
}

TEST(BGIFont, StrokePairsDecode) {
  // 0xC5,0x7F moves to (-59,-1); 0xC5,0xFF draws there; 0x05,0x85 is skipped; 0x05,0x05 ends.
  std::vector<uint8_t> d = ChrFile('A', {{8, {}}}, 10, 0, -3);
  d.resize(d.size() - 2);
  for (uint8_t b : {0xC5, 0x7F, 0xC5, 0xFF, 0x05, 0x85, 0xC1, 0xC1, 0x05, 0x05, 0xC2, 0xC2}) d.push_back(b);
  TBGIStrokeFont font;
  ASSERT_TRUE(font.LoadFromBytes(d));
  const auto& s = font.Glyphs[0].Strokes;
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].Kind, 0);
  EXPECT_EQ(s[0].X, -59);
  EXPECT_EQ(s[0].Y, -1);
  EXPECT_EQ(s[1].Kind, 1);
  EXPECT_EQ(s[1].X, -59);
  EXPECT_EQ(s[2].X, 65 - 128);
}

TEST(BGIFont, DamagedFilesLoadAsInvalid) {
  const std::vector<uint8_t> good = LFont();
  std::vector<uint8_t> noPlus = good, tooMany = good, noChars = good, shortTable = good;
  const std::vector<uint8_t> truncated(good.begin(), good.begin() + 100);
  noPlus[128] = '*';
  tooMany[129] = uint8_t(300 & 255), tooMany[130] = uint8_t(300 >> 8);
  noChars[129] = 0;
  shortTable[129] = 200;
  for (const auto& d : {noPlus, tooMany, noChars, shortTable, truncated}) {
    TBGIStrokeFont font;
    EXPECT_FALSE(font.LoadFromBytes(d));
    EXPECT_FALSE(font.Valid);
  }
  TBGIStrokeFont missing;
  EXPECT_FALSE(missing.LoadFromFile("/nonexistent/TRIP.CHR"));
}

TEST(BGIFont, InvalidSlotFallsBackToTheBitmapFont) {
  TBGIStrokeFont invalid;
  RipRig withInvalid, plain;
  withInvalid.Canvas.SetFontSlot(3, &invalid);
  withInvalid.Feed("!|Y03000200|@0000Hi\r");
  plain.Feed("!|Y00000200|@0000Hi\r");
  EXPECT_TRUE(std::equal(plain.Canvas.Bits(), plain.Canvas.Bits() + TRipCanvas::kPixels, withInvalid.Canvas.Bits()));
  EXPECT_EQ(plain.Canvas.TextWidth("abc"), 48) << "font 0 at size 2";
}

TEST(RipText, FontCommandKeepsOutOfRangeValues) {
  RipRig rig;
  rig.Feed("!|Y03000500\r");
  rig.Feed("!|Y03000000|Y03000B00\r");
  EXPECT_EQ(rig.Canvas.FontSize(), 5) << "sizes 0 and 11 leave the size";
  rig.Feed("!|Y0B000200\r");
  EXPECT_EQ(rig.Canvas.FontNum(), 3) << "font 11 leaves the font";
  EXPECT_EQ(rig.Canvas.FontSize(), 2) << "while a valid size in the same command applies";
}

TEST(RipText, BackslashEscapesAreRemoved) {
  EXPECT_EQ(TRipCanvas::UnescapeText("a\\!b\\\\c\\d"), "a!b\\c\\d");
  RipRig rig;
  rig.Feed("!|m0A00|Ta\\!b\\\\c\\d\r");
  EXPECT_EQ(rig.Canvas.PenX(), 10 + 7 * 8);
}

TEST(RipText, BitmapTextIsScaledByWholePixels) {
  RipRig rig;
  rig.Feed("!|Y00000300|@0000\xdb\r");  // a full block at size 3 is 24 x 24
  ExpectProbes(rig, {{0, 0, 15}, {23, 23, 15}, {24, 0, kUndrawn}, {0, 24, kUndrawn}});
}

}  // namespace
