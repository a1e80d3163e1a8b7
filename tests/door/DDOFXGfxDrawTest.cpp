// Page drawing primitives, sprites, door fonts and bitmap text, probed pixel
// by pixel on the engine's pages.
#include <random>
#include <set>

#include "tests/door/DDOFXGfxHarness.h"

using namespace ddofxgfxtest;

namespace {

using TPoints = std::set<std::pair<int, int>>;

class DDOFXGfxDraw : public ::testing::Test {
 protected:
  DDOFXGfxDraw() { H.Run("LIGMODE"); }
  // Every pixel of a page that is not 0.
  TPoints Inked(int page) const {
    TPoints points;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x)
        if (H.PageAt(page, x, y) != 0) points.insert({x, y});
    return points;
  }
  TGfxHarness H;
};

// The line walk as written: one step at a time, every point visited.
TPoints WalkLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  TPoints points;
  const int64_t dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
  const int64_t sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  int64_t err = dx + dy, x = x1, y = y1;
  for (;;) {
    if (x >= 0 && x < 640 && y >= 0 && y < 480) points.insert({int(x), int(y)});
    if (x == x2 && y == y2) break;
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  return points;
}

TEST_F(DDOFXGfxDraw, LineSetsTheBresenhamPixelsWithBothEnds) {
  H.Run("2C,3");
  H.Run("2aM,0,0");
  H.Run("2aDRAW,5,2");
  EXPECT_EQ(Inked(1), (TPoints{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}));
  EXPECT_EQ(H.Gfx->PenX, 5);
  H.Gfx->Pages[1].assign(size_t(ddofxgfx::kPageSize), 0);
  H.Run("2aM,7,9");
  H.Run("2aDRAW,7,9");
  EXPECT_EQ(Inked(1), (TPoints{{7, 9}}));
}

TEST_F(DDOFXGfxDraw, LinesWithEndsFarOffThePageDrawWhatTheWalkWouldDraw) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> near(-900, 1500);
  for (int i = 0; i < 300; ++i) {
    const int x1 = near(random), y1 = near(random), x2 = near(random), y2 = near(random);
    H.Gfx->Pages[1].assign(size_t(ddofxgfx::kPageSize), 0);
    H.Gfx->DrawLine(1, x1, y1, x2, y2, 1);
    ASSERT_EQ(Inked(1), WalkLine(x1, y1, x2, y2)) << x1 << "," << y1 << " to " << x2 << "," << y2;
  }
}

TEST_F(DDOFXGfxDraw, HugeCoordinatesCostNothing) {
  // Ends at the far ends of 32 bits: the walk itself would be four billion
  // steps; only the part across the page is visited.
  H.Run("2C,2");
  H.Run("2aM,-2147483648,-2147483648");
  H.Run("2aDRAW,2147483647,2147483647");
  EXPECT_EQ(H.PageAt(1, 0, 0), 2);
  EXPECT_EQ(H.PageAt(1, 479, 479), 2);
  H.Run("2aRECT,-2147483648,2147483647,-2147483648,2147483647");
  EXPECT_EQ(H.PageAt(1, 639, 479), 2);
  H.Run("2aSCROLL,-2147483648,2147483647,-2147483648,2147483647,2147483647,1,V");
  H.Run("2CUTBP2VP,-2147483648,2147483647,-2147483648,2147483647,2147483647,-2147483648");
  H.Run("2CUTBP2VP,0,639,0,479,-2147483648,2147483647");
  H.Run("2aDRWBOX,-2147483648,2147483647,-2147483648,2147483647");
  H.Run("2XT,2147483647,-2147483648,1,2,TEXT");
  H.Run("2XT,-2147483648,2147483647,1,2,TEXT");
  H.Run("2sPV,-2147483648,2147483647,NONE");
  H.Run("2aP,99999999999999999999,3");
  EXPECT_EQ(H.PageAt(1, 0, 3), 2);  // a number too long for 32 bits is 0
}

TEST_F(DDOFXGfxDraw, FilledRectanglesOrderTheirCornersAndMirrorPageZero) {
  H.Run("2C,4");
  H.Run("2aRECT,5,2,8,6");
  EXPECT_EQ(Inked(1), [] {
    TPoints p;
    for (int x = 2; x <= 5; ++x)
      for (int y = 6; y <= 8; ++y) p.insert({x, y});
    return p;
  }());
  H.Gfx->FillRect(0, 630, 470, 700, 500, 6);
  EXPECT_EQ(H.PageAt(0, 639, 479), 6);
  EXPECT_EQ(H.PageAt(3, 639, 479), 6);
  EXPECT_EQ(H.PageAt(3, 629, 479), 0);
}

TEST_F(DDOFXGfxDraw, BoxOutline) {
  H.Run("2C,1");
  H.Run("2aDRWBOX,10,13,20,22");
  TPoints want;
  for (int x = 10; x <= 13; ++x) want.insert({x, 20}), want.insert({x, 22});
  for (int y = 20; y <= 22; ++y) want.insert({10, y}), want.insert({13, y});
  EXPECT_EQ(Inked(1), want);
}

struct TScrollCase {
  const char* Name;
  std::string Command;
  std::vector<int> Rows;  // colour of rows 0..9 afterwards (rows start as 1..10)
};

class DDOFXGfxScroll : public ::testing::TestWithParam<TScrollCase> {};

TEST_P(DDOFXGfxScroll, Rows) {
  TGfxHarness h;
  h.Run("LIGMODE");
  h.Run("2C,99");
  for (int r = 0; r < 10; ++r) h.Gfx->FillRect(0, 0, 100 + r, 3, 100 + r, uint8_t(r + 1));
  h.Run(GetParam().Command);
  for (int r = 0; r < 10; ++r) {
    EXPECT_EQ(h.PageAt(0, 2, 100 + r), GetParam().Rows[size_t(r)]) << "row " << r;
    EXPECT_EQ(h.PageAt(3, 2, 100 + r), GetParam().Rows[size_t(r)]) << "mirror row " << r;
  }
  EXPECT_EQ(h.PageAt(0, 4, 100), 0) << "outside the rectangle";
}

INSTANTIATE_TEST_SUITE_P(
    Table, DDOFXGfxScroll,
    ::testing::Values(TScrollCase{"DownByThreeWraps", "2aSCROLL,0,3,100,109,3", {8, 9, 10, 1, 2, 3, 4, 5, 6, 7}},
                      TScrollCase{"DownByThreeFills", "2aSCROLL,0,3,100,109,3,1,v", {99, 99, 99, 1, 2, 3, 4, 5, 6, 7}},
                      TScrollCase{"UpByTwoWraps", "2aSCROLL,3,0,109,100,-2,0,V", {3, 4, 5, 6, 7, 8, 9, 10, 1, 2}},
                      TScrollCase{"MoreThanTheHeightWithoutWrap", "2aSCROLL,0,3,100,109,25,1",
                                  {99, 99, 99, 99, 99, 99, 99, 99, 99, 99}},
                      TScrollCase{"OtherPageUntouched", "2aSCROLL,0,3,100,109,3,0,B", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
                      TScrollCase{"ZeroAmount", "2aSCROLL,0,3,100,109,0", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}),
    [](const ::testing::TestParamInfo<TScrollCase>& info) { return std::string(info.param.Name); });

TEST_F(DDOFXGfxDraw, RectangleCopiesClipSkipFlaggedColoursAndKeepOverlapsWhole) {
  H.Gfx->FillRect(2, 0, 0, 3, 3, 5);
  H.Gfx->PutPixel(2, 1, 1, 0);
  H.Gfx->FillRect(0, 0, 0, 20, 20, 9);
  H.Run("2CCOL,0,1");
  H.Run("2CUTBP2VPT,0,3,0,3,10,13");  // bottom-left at (10, 13)
  EXPECT_EQ(H.PageAt(0, 10, 10), 5);
  EXPECT_EQ(H.PageAt(0, 11, 11), 9) << "colour 0 flagged transparent";
  EXPECT_EQ(H.PageAt(3, 13, 13), 5);
  H.Run("2CUTBP2VP,0,3,0,3,10,13");  // nine characters: every pixel
  EXPECT_EQ(H.PageAt(0, 11, 11), 0);
  H.Run("2CUTBP2VP,3,0,0,3,30,30");  // x1 > x2 copies nothing
  EXPECT_EQ(H.PageAt(0, 30, 30), 0);
  // Overlapping copy inside one page moves the block whole.
  H.Gfx->FillRect(1, 0, 0, 639, 479, 0);
  for (int x = 0; x < 8; ++x) H.Gfx->PutPixel(1, x, 50, uint8_t(x + 1));
  H.Run("2CUTWP2WP,0,7,50,50,2,50");
  for (int x = 0; x < 8; ++x) EXPECT_EQ(H.PageAt(1, x + 2, 50), x + 1);
  H.Run("2CCOL,0,3");
  EXPECT_EQ(H.Gfx->TransparentColours[200], 1);
  H.Run("2CCOL,0,4");
  EXPECT_EQ(H.Gfx->TransparentColours[0], 0);
}

TEST_F(DDOFXGfxDraw, PageCopies) {
  H.Gfx->FillRect(1, 0, 0, 639, 479, 7);
  H.Gfx->Dirty = false;
  H.Run("2CPYWP2WP");
  EXPECT_FALSE(H.Gfx->Dirty) << "a page onto itself is nothing at all";
  const uint32_t version = H.Gfx->PageVersion;
  H.Run("2CPYWP2VP");
  EXPECT_EQ(H.PageAt(0, 639, 479), 7);
  EXPECT_EQ(H.PageAt(3, 0, 0), 7);
  EXPECT_EQ(H.Gfx->PageVersion, version + 1);
  EXPECT_EQ(H.Gfx->ChangedTextWindow, -1);
  H.Run("2C,3");
  H.Run("2aFILL");
  EXPECT_EQ(H.PageAt(1, 5, 5), 3);
  EXPECT_EQ(H.PageAt(0, 5, 5), 7) << "W is not mirrored";
  H.Run("2aERASE");
  EXPECT_EQ(H.PageAt(1, 5, 5), 0);
}

// --- Sprites -----------------------------------------------------------------

TEST_F(DDOFXGfxDraw, SpriteRectanglesOutsideTheLimitsGiveEmptySpritesOfThatName) {
  H.Run("2S,10,10,0,5,THIN");
  H.Run("2S,0,319,0,200,WIDE");  // 320 x 201 is more than 64000 pixels
  H.Run("2S,630,640,0,5,OFF");
  H.Run("2S,5,4,0,5,BACKWARDS");
  for (const char* name : {"THIN", "WIDE", "OFF", "BACKWARDS"}) {
    const int index = H.Gfx->FindSprite(name);
    ASSERT_GE(index, 0) << name;
    EXPECT_EQ(H.Gfx->Sprites[size_t(index)]->Width, 0) << name;
    EXPECT_TRUE(H.Gfx->Sprites[size_t(index)]->Pixels.empty()) << name;
  }
  H.Run("2S,0,319,0,199,FITS");
  EXPECT_EQ(H.Gfx->Sprites[size_t(H.Gfx->FindSprite("fits"))]->Pixels.size(), 64000u);
}

TEST_F(DDOFXGfxDraw, RedefiningASpriteKeepsItsIndex) {
  H.Gfx->FillRect(1, 0, 0, 1, 1, 5);
  H.Run("2S,0,1,0,1, ball ");
  const int index = H.Gfx->FindSprite("BALL");
  H.Run("2S,0,2,0,1,other");
  H.Gfx->FillRect(1, 0, 0, 1, 1, 6);
  H.Run("2S,0,1,0,1,Ball");
  EXPECT_EQ(H.Gfx->FindSprite("ball"), index);
  EXPECT_EQ(H.Gfx->Sprites[size_t(index)]->Pixels[0], 6);
  EXPECT_EQ(H.Gfx->Sprites.size(), 2u);
}

TEST_F(DDOFXGfxDraw, SpriteDrawModesAnchorBottomLeft) {
  // A 3 x 2 sprite: top row 1 0 2, bottom row 3 4 5.
  const uint8_t pixels[2][3] = {{1, 0, 2}, {3, 4, 5}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) H.Gfx->PutPixel(1, x, y, pixels[y][x]);
  H.Run("2S,0,2,0,1,S");
  H.Gfx->FillRect(1, 0, 0, 639, 479, 9);
  H.Run("2sPV,100,50,S");  // opaque on V
  EXPECT_EQ(H.PageAt(0, 100, 49), 1);
  EXPECT_EQ(H.PageAt(0, 101, 49), 0);
  EXPECT_EQ(H.PageAt(0, 102, 50), 5);
  EXPECT_EQ(H.PageAt(3, 102, 50), 5);
  H.Run("2sD,100,50,S");  // transparent on W
  EXPECT_EQ(H.PageAt(1, 101, 49), 9);
  EXPECT_EQ(H.PageAt(1, 100, 50), 3);
  H.Run("2sR,200,50,S");  // mirrored
  EXPECT_EQ(H.PageAt(1, 200, 49), 2);
  EXPECT_EQ(H.PageAt(1, 202, 50), 3);
  H.Run("2sFV,300,50,S");  // mirrored and clipped, on V
  EXPECT_EQ(H.PageAt(0, 300, 50), 5);
  H.Run("2sI,S");
  H.Run("2sPV,400,50,S");
  EXPECT_EQ(H.PageAt(0, 400, 49), 3) << "upside down";
  H.Run("2sFF");
  EXPECT_EQ(H.Gfx->FindSprite("S"), -1);
  EXPECT_TRUE(H.Gfx->Sprites.empty());
}

TEST_F(DDOFXGfxDraw, ASpritePartlyOffThePageDrawsOnlyWhenClipped) {
  H.Gfx->FillRect(1, 0, 0, 3, 19, 7);
  H.Run("2S,0,3,0,19,TALL");
  H.Gfx->FillRect(1, 0, 0, 639, 479, 0);
  H.Run("2sD,50,10,TALL");
  EXPECT_TRUE(Inked(1).empty());
  H.Run("2sC,50,10,TALL");
  EXPECT_EQ(Inked(1).size(), 4u * 11u);
  EXPECT_EQ(H.PageAt(1, 50, 0), 7);
  EXPECT_EQ(H.PageAt(1, 53, 10), 7);
  H.Run("2sC,638,479,TALL");
  EXPECT_EQ(H.PageAt(1, 639, 479), 7);
}

// --- Fonts and bitmap text ----------------------------------------------------

TEST_F(DDOFXGfxDraw, GlyphsAreCopiedOneToOneInTheDefaultCell) {
  std::vector<uint8_t> font(4096, 0);
  font['A' * 16 + 3] = 0x81;
  font['A' * 16 + 12] = 0x40;
  H.Gfx->SetTextFont(font.data());
  H.Run("2XT,10,30,14,1,AA");  // cells at (10, 15) and (18, 15)
  EXPECT_EQ(H.PageAt(0, 10, 18), 14);
  EXPECT_EQ(H.PageAt(0, 17, 18), 14);
  EXPECT_EQ(H.PageAt(0, 11, 18), 1);
  EXPECT_EQ(H.PageAt(0, 11, 27), 14);
  EXPECT_EQ(H.PageAt(0, 18, 18), 14);
  EXPECT_EQ(H.PageAt(0, 10, 14), 0) << "above the cell";
  EXPECT_EQ(H.PageAt(3, 11, 27), 14);
  H.Run("2XTWP,10,30,14,8,A");  // background 8: transparent
  EXPECT_EQ(H.PageAt(1, 11, 18), 0);
  EXPECT_EQ(H.PageAt(1, 10, 18), 14);
  H.Run("2XTBP,0,15,2,-1,hello, world");  // the text keeps its comma
  EXPECT_EQ(H.Gfx->Pages[2][0], 0);
}

struct TGlyphCase {
  const char* Name;
  int InkTop, InkBottom, W, H;
  std::vector<std::string> Cell;  // '#' ink, '.' background
};

class DDOFXGfxGlyph : public ::testing::TestWithParam<TGlyphCase> {};

TEST_P(DDOFXGfxGlyph, Cell) {
  const TGlyphCase& c = GetParam();
  TDDOFXGfx gfx;
  // Every glyph: rows InkTop..InkBottom hold the columns pattern 1100 0011.
  std::vector<uint8_t> font(4096, 0);
  for (int ch = 0; ch < 256; ++ch)
    for (int r = c.InkTop; r <= c.InkBottom; ++r) font[size_t(ch * 16 + r)] = 0xC3;
  gfx.SetTextFont(font.data());
  std::vector<uint8_t> page(size_t(ddofxgfx::kPageSize), 0);
  gfx.DrawGlyph(page.data(), gfx.TextFont.data(), c.W, c.H, 0, 0, 'x', 1, 2);
  for (int y = 0; y < c.H; ++y) {
    std::string row;
    for (int x = 0; x < c.W; ++x) row += page[size_t(y * 640 + x)] == 1 ? '#' : '.';
    EXPECT_EQ(row, c.Cell[size_t(y)]) << "row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DDOFXGfxGlyph,
    ::testing::Values(
        // Ink over rows 2..13 does not fit 8 rows either way: rows are ORed
        // in pairs and columns too.
        TGlyphCase{"SqueezedBothWays", 2, 13, 4, 8, {"....", "#..#", "#..#", "#..#", "#..#", "#..#", "#..#", "...."}},
        // Ink in rows 8..15 only: the blank top rows are dropped.
        TGlyphCase{"TopRowsDropped", 8, 15, 8, 8, {"##....##", "##....##", "##....##", "##....##", "##....##",
                                                    "##....##", "##....##", "##....##"}},
        // Ink in rows 0..3 fits the first 4 rows: kept one to one.
        TGlyphCase{"FitsTheKeptRows", 0, 3, 8, 4, {"##....##", "##....##", "##....##", "##....##"}},
        TGlyphCase{"WiderCellLeavesTheRestBlank", 0, 15, 10, 1, {"##....##.."}}),
    [](const ::testing::TestParamInfo<TGlyphCase>& info) { return std::string(info.param.Name); });

TEST_F(DDOFXGfxDraw, NamedFontsAreLoadedOnceAndAMissIsLoggedOnce) {
  std::vector<uint8_t> glyphs = BlockFont(4, 4);
  testsupport::WriteWholeFile(H.Fonts.File("THIN.F16"), std::string(glyphs.begin(), glyphs.end()));
  H.Run("fthin.f16");
  H.Run("2XT,0,15,3,0,A");
  EXPECT_EQ(H.PageAt(0, 0, 4), 3);
  EXPECT_EQ(H.PageAt(0, 0, 5), 0);
  std::remove(H.Fonts.File("THIN.F16").c_str());
  H.Run("fTHIN.F16");
  H.Run("2XT,8,15,3,0,A");
  EXPECT_EQ(H.PageAt(0, 8, 4), 3) << "the cached font, not the file";
  H.Run("fMISSING.F16");
  H.Run("2XT,0,31,5,0,A");
  H.Run("2XT,0,31,5,0,B");
  EXPECT_EQ(H.LogCount("font not found, using default: MISSING.F16"), 1u);
  // A font from the door's "M" pack, and one from the asset folder.
  std::vector<uint8_t> packed = BlockFont(9, 9);
  H.AddAsset("DOORM", MakePack({{"PACKED.F16", std::string(packed.begin(), packed.end())}}));
  H.Run("fPACKED.F16");
  H.Run("2XT,0,47,6,0,A");
  EXPECT_EQ(H.PageAt(0, 0, 32 + 9), 6);
  std::vector<uint8_t> loose = BlockFont(11, 11);
  H.AddAsset("loose.f16", std::string(loose.begin(), loose.end()));
  H.Run("fLOOSE.F16");
  H.Run("2XT,0,63,6,0,A");
  EXPECT_EQ(H.PageAt(0, 0, 48 + 11), 6);
  // A name with a folder part is never looked up outside the folders.
  H.Run("f../THIN.F16");
  H.Run("2XT,0,79,6,0,A");
  EXPECT_TRUE(H.Logged("font not found, using default: ../THIN.F16"));
}

}  // namespace
