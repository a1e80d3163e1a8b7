// The renderer, pixel for pixel: small screens drawn through each glyph path,
// blink and cursor phases, sprites (clipped at the edges), the reduction and
// the aspect-kept presentation with its inverse ClientToCell, and that a
// frame draws only the cells that changed.
#include <gtest/gtest.h>

#include <cmath>

#include "core/uBuiltinGlyphs.h"
#include "core/uFontRenderer.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr TColorRGB kRed{0xAA, 0, 0}, kBlue{0, 0, 0xAA}, kWhite{0xFF, 0xFF, 0xFF}, kBlack{0, 0, 0};

uint32_t Pack(TColorRGB c) { return platform::PackRGB(c.R, c.G, c.B); }

bool VgaBit(uint8_t ch, int x, int y) { return (kVga8x16Glyphs[ch * 16 + y] >> (7 - x)) & 1; }

// What one cell must look like at block size S with the built-in 8 x 16
// glyphs, computed from the glyph bytes directly.
std::vector<uint32_t> ExpectedCell(const TCell& cell, int s, bool cursor = false) {
  TColorRGB fg = cell.Reverse ? cell.Bg : cell.Fg, bg = cell.Reverse ? cell.Fg : cell.Bg;
  std::vector<uint32_t> px(size_t(8 * s) * size_t(16 * s));
  for (int y = 0; y < 16 * s; ++y)
    for (int x = 0; x < 8 * s; ++x) {
      int gy = y / s, gx = x / s;
      bool ink = VgaBit(cell.Ch, gx, gy) || (cell.Underline && gy == 15);
      uint32_t c = ink ? Pack(fg) : Pack(bg);
      if (cursor && gy >= 14) c = Pack(cell.Fg);
      px[size_t(y) * size_t(8 * s) + size_t(x)] = c;
    }
  return px;
}

// Compares one cell of the render bitmap with Expected; reports the first
// differing pixel.
::testing::AssertionResult CellIs(const TFontRenderer& r, int col, int row, const std::vector<uint32_t>& expected,
                                  int s) {
  const platform::Surface& bmp = r.RenderBitmap();
  for (int y = 0; y < 16 * s; ++y)
    for (int x = 0; x < 8 * s; ++x) {
      uint32_t got = bmp.Pixel(col * 8 * s + x, row * 16 * s + y);
      uint32_t want = expected[size_t(y) * size_t(8 * s) + size_t(x)];
      if (got != want)
        return ::testing::AssertionFailure() << "cell " << col << "," << row << " pixel " << x << "," << y
                                             << ": got " << std::hex << got << " want " << want;
    }
  return ::testing::AssertionSuccess();
}

class FontRendererTest : public ::testing::Test {
 protected:
  // These tests read the render bitmap at its full scale: the reference
  // road, which the direct road is compared with below.
  FontRendererTest() : Buffer(4, 2), Renderer(&Font) { Renderer.SetReferencePath(true); }
  void Frame(bool blinkOn = true, bool spritesDirty = false) {
    Target.Resize(Renderer.PixelWidth(), Renderer.PixelHeight());
    Renderer.RenderBuffer(Buffer, Target, 0, 0, Target.Width(), Target.Height(), blinkOn, spritesDirty, false);
  }
  // Loads the VGA glyphs as T_8x16.F16 with one companion file beside them.
  bool LoadVgaWithCompanion(const std::string& companion, const std::vector<uint8_t>& bytes) {
    testsupport::TempDir dir;
    return testsupport::WriteWholeFile(dir.File("T_8x16.F16"), std::string(kVga8x16Glyphs, kVga8x16Glyphs + 4096)) &&
           testsupport::WriteWholeFile(dir.File(companion), std::string(bytes.begin(), bytes.end())) &&
           Font.LoadFromFile(dir.File("T_8x16.F16"));
  }
  TBitmapFont Font;
  TTerminalBuffer Buffer;
  TFontRenderer Renderer;
  platform::Surface Target;
};

TEST_F(FontRendererTest, CellsPixelExact) {
  struct Row {
    const char* Name;
    TCell Cell;
    bool BlinkOn;
    TCell Shown;  // what must appear
  } rows[] = {
      {"plain", {'A', kWhite, kBlue}, true, {'A', kWhite, kBlue}},
      {"bold is already in the colour", {'B', kRed, kBlack, true}, true, {'B', kRed, kBlack}},
      {"underline", {'g', kWhite, kRed, false, false, true}, true, {'g', kWhite, kRed, false, false, true}},
      {"underlined space", {' ', kWhite, kRed, false, false, true}, true, {' ', kWhite, kRed, false, false, true}},
      {"reverse", {'R', kWhite, kBlue, false, false, false, true}, true, {'R', kBlue, kWhite}},
      {"underlined reversed space",
       {' ', kWhite, kBlue, false, false, true, true},
       true,
       {' ', kBlue, kWhite, false, false, true}},
      {"blink on phase", {'K', kWhite, kRed, false, true}, true, {'K', kWhite, kRed}},
      {"blink off phase", {'K', kWhite, kRed, false, true}, false, {' ', kWhite, kRed}},
      {"block", {0xDB, kRed, kBlue}, true, {0xDB, kRed, kBlue}},
      {"shade", {0xB1, kWhite, kBlack}, true, {0xB1, kWhite, kBlack}},
  };
  Buffer.SetCursorVisible(false);
  for (int s : {1, 2}) {
    Renderer.SetScale(float(s));
    Renderer.SetAntiAliasGlyphs(false);
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(r.Name) + " at scale " + std::to_string(s));
      Buffer.SetCell(2, 1, r.Cell);
      Frame(r.BlinkOn);
      EXPECT_TRUE(CellIs(Renderer, 2, 1, ExpectedCell(r.Shown, s), s));
      EXPECT_TRUE(CellIs(Renderer, 0, 0, ExpectedCell(DefaultCell(), s), s));
    }
  }
  // Scale 4 with 8 x 16 glyphs on 80 x 25 is 2560 x 1600; with 8 x 8, 2560 x 800.
  Renderer.SetGridSize(80, 25);
  Renderer.SetScale(4);
  EXPECT_EQ(Renderer.PixelWidth(), 2560);
  EXPECT_EQ(Renderer.PixelHeight(), 1600);
  Font.LoadFromMemory(8, 8, kVga8x8Glyphs, sizeof kVga8x8Glyphs);
  EXPECT_EQ(Renderer.PixelHeight(), 800);
  Renderer.SetScale(0.5f);
  EXPECT_EQ(Renderer.Scale(), 1.0f);
}

TEST_F(FontRendererTest, CursorShowsOnlyInTheOnPhaseAndNotScrolledBack) {
  Renderer.SetAntiAliasGlyphs(false);
  TCell cell{'X', kWhite, kBlue, false, false, false, true};  // reversed: the bar still takes Fg
  Buffer.SetCell(1, 0, cell);
  Buffer.GotoXY(1, 0);
  Frame(true);
  EXPECT_TRUE(CellIs(Renderer, 1, 0, ExpectedCell(cell, 1, true), 1));
  Buffer.Dirty = true;
  Frame(false);
  EXPECT_TRUE(CellIs(Renderer, 1, 0, ExpectedCell(cell, 1), 1));
  // Scrolled back: no cursor (the view shows an older row there).
  Buffer.PushScrollback(TCellRow(4, cell));
  Buffer.SetScrollbackView(1);
  Frame(true);
  EXPECT_TRUE(CellIs(Renderer, 1, 0, ExpectedCell(cell, 1), 1));
}

TEST_F(FontRendererTest, OnlyChangedCellsAreDrawn) {
  Buffer.SetCursorVisible(false);
  Frame();
  EXPECT_EQ(Renderer.CellsDrawn(), 8u);
  // Nothing dirty: only presented.
  Frame();
  EXPECT_EQ(Renderer.CellsDrawn(), 8u);
  // Dirty but unchanged: nothing drawn.
  Buffer.Dirty = true;
  Frame();
  EXPECT_EQ(Renderer.CellsDrawn(), 8u);
  // One changed cell: one drawn; a change of colour alone counts.
  Buffer.WriteCharAt(3, 1, 'Z');
  Frame();
  EXPECT_EQ(Renderer.CellsDrawn(), 9u);
  TCell c = Buffer.GetCell(3, 1);
  c.Fg = kRed;
  Buffer.SetCell(3, 1, c);
  Frame();
  EXPECT_EQ(Renderer.CellsDrawn(), 10u);
  // The cursor cell is drawn again on the next frame (its bar must go).
  Buffer.SetCursorVisible(true);
  Frame();
  Buffer.Dirty = true;
  Frame(false);
  EXPECT_EQ(Renderer.CellsDrawn(), 11u);
  // A cell drawn from outside the buffer is redrawn from it next time.
  Buffer.SetCursorVisible(false);
  Frame();
  uint64_t before = Renderer.CellsDrawn();
  Renderer.DrawCell(0, 0, TCell{'Q', kRed, kRed});
  Buffer.Dirty = true;
  Frame();
  EXPECT_EQ(Renderer.CellsDrawn(), before + 2);
  EXPECT_TRUE(CellIs(Renderer, 0, 0, ExpectedCell(DefaultCell(), 1), 1));
  // Invalidate redraws everything.
  Renderer.Invalidate();
  Buffer.Dirty = true;
  Frame();
  EXPECT_EQ(Renderer.CellsDrawn(), before + 2 + 8);
}

TEST_F(FontRendererTest, OutsideDrawsAreIgnored) {
  TFontRenderer fresh(&Font);
  fresh.MarkCellDirty(0, 0);  // before the first frame: nothing to mark
  fresh.DrawCell(0, 0, TCell{});
  EXPECT_EQ(fresh.CellsDrawn(), 0u);
  Frame();
  uint64_t n = Renderer.CellsDrawn();
  Renderer.DrawCellUiFont(4, 0, TCell{});  // column 4 of a 4-column grid
  Renderer.DrawCell(-1, 0, TCell{});
  Renderer.DrawCursor(0, 2, kRed);
  EXPECT_EQ(Renderer.CellsDrawn(), n);
}

TEST_F(FontRendererTest, OversizedGridIsRefusedNotAllocated) {
  TTerminalBuffer huge(1000, 1000);
  for (float scale : {4.0f, 1.0f}) {
    TFontRenderer r(&Font);
    r.SetScale(scale);
    platform::Surface target(64, 64);
    target.Fill(0x123456);
    huge.Dirty = true;
    r.RenderBuffer(huge, target, 0, 0, 64, 64, true, false, false);
    EXPECT_TRUE(r.RenderBitmap().Empty());
    EXPECT_TRUE(r.DisplayBitmap().Empty());
    EXPECT_EQ(r.CellsDrawn(), 0u);
    r.DrawCell(0, 0, TCell{});
    EXPECT_EQ(r.CellsDrawn(), 0u);
  }
}

TEST_F(FontRendererTest, UpscaledCompanionAndUiFont) {
  // A companion whose 'A' is a 16 x 32 checkerboard of single pixels: at
  // scale 4 each shows as a 2 x 2 block, without it as the 8 x 16 glyph in
  // 4 x 4 blocks.
  std::vector<uint8_t> f32(16384, 0);
  for (int y = 0; y < 32; ++y) f32['A' * 64 + y * 2] = f32['A' * 64 + y * 2 + 1] = (y % 2) ? 0x55 : 0xAA;
  ASSERT_TRUE(LoadVgaWithCompanion("T_16x32.F32", f32));
  ASSERT_TRUE(Font.Has2x());
  Renderer.SetAntiAliasGlyphs(false);
  Renderer.SetScale(4);
  Buffer.SetCursorVisible(false);
  TCell a{'A', kWhite, kBlack};
  Buffer.SetCell(0, 0, a);
  Frame();
  EXPECT_EQ(Renderer.DoubleFontFactor(), 2);
  const platform::Surface& bmp = Renderer.RenderBitmap();
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 32; ++x)
      ASSERT_EQ(bmp.Pixel(x, y), ((x / 2 + y / 2) % 2 == 0) ? Pack(kWhite) : Pack(kBlack)) << x << "," << y;
  // The display bitmap keeps the double-size detail: 2 x 8 x 4 by 2 x 16 x 2.
  EXPECT_EQ(Renderer.DisplayBitmap().Width(), 64);
  EXPECT_EQ(Renderer.DisplayBitmap().Height(), 64);
  EXPECT_EQ(Renderer.DisplayBitmap().Pixel(1, 0), Pack(kBlack));
  Renderer.SetUpscaledFont(false);
  Buffer.Dirty = true;
  Frame();
  EXPECT_TRUE(CellIs(Renderer, 0, 0, ExpectedCell(a, 4), 4));

  // The text-screen font keeps its own glyphs whatever the terminal font is.
  TBitmapFont ui;
  Font.LoadFromMemory(8, 16, f32.data(), 4096);  // a terminal font of blanks
  Renderer.SetUiFont(&ui);
  Renderer.Invalidate();
  Frame();
  Renderer.DrawCellUiFont(1, 0, TCell{'A', kWhite, kBlack, false, false, true});
  EXPECT_TRUE(CellIs(Renderer, 1, 0, ExpectedCell(TCell{'A', kWhite, kBlack, false, false, true}, 4), 4));
}

TEST_F(FontRendererTest, CoveragePathBlendsInLinearLight) {
  // An anti-aliased companion of uniform coverage 128 at scale 2: every
  // pixel is white over black at half linear intensity.
  std::vector<uint8_t> aa = {'F', '1', '6', 'G', 16, 0, 32, 0};
  aa.resize(8 + 256 * 16 * 32, 128);
  ASSERT_TRUE(LoadVgaWithCompanion("T_16x32_AA.f16g", aa));
  ASSERT_TRUE(Font.HasAa());
  Renderer.SetAntiAliasGlyphs(true);
  Renderer.SetScale(2);
  Buffer.SetCursorVisible(false);
  Buffer.SetCell(0, 0, TCell{'A', kWhite, kBlack});
  Frame();
  auto srgb = [](double linear) { return int(std::lround(std::pow(linear, 1 / 2.2) * 255)); };
  int half = srgb(std::lround(128 / 255.0 * 4096) / 4096.0);
  EXPECT_EQ(half, 186);
  EXPECT_EQ(Renderer.RenderBitmap().Pixel(3, 5), platform::PackRGB(uint8_t(half), uint8_t(half), uint8_t(half)));
  // The full-quality reduction averages in linear light too.
  uint8_t back = LinearToByte(ToLinear[half]);
  EXPECT_NEAR(back, half, 1);
  EXPECT_EQ(Renderer.DisplayBitmap().Pixel(1, 2), platform::PackRGB(back, back, back));
  // The underline row is solid.
  Buffer.SetCell(1, 0, TCell{' ', kWhite, kBlack, false, false, true});
  Frame();
  EXPECT_EQ(Renderer.RenderBitmap().Pixel(16 + 3, 31), Pack(kWhite));
  EXPECT_EQ(Renderer.RenderBitmap().Pixel(16 + 3, 29), platform::PackRGB(uint8_t(half), uint8_t(half), uint8_t(half)));
}

TEST_F(FontRendererTest, SpritesReplaceEvictAndClipAtEdges) {
  std::vector<TColorRGB> px(9, kRed);
  std::vector<uint8_t> mask(9, 1);
  Renderer.AddImageSprite(0, 0, 3, 3, px, mask);
  Renderer.AddImageSprite(0, 0, 2, 2, px, mask);  // same place: replaces
  ASSERT_EQ(Renderer.Sprites().size(), 1u);
  EXPECT_EQ(Renderer.Sprites()[0].W, 2);
  Renderer.AddImageSprite(5, 5, 3, 3, px, std::vector<uint8_t>(8, 1));  // short mask: ignored
  Renderer.AddImageSprite(5, 5, 0, 3, px, mask);
  EXPECT_EQ(Renderer.Sprites().size(), 1u);
  for (int i = 1; i <= 64; ++i) Renderer.AddImageSprite(i, 0, 1, 1, px, std::vector<uint8_t>(1, 0));
  ASSERT_EQ(Renderer.Sprites().size(), 64u);  // all-zero masks still count
  EXPECT_EQ(Renderer.Sprites()[0].X, 1);      // the first one was evicted
  Renderer.ClearSprites();
  EXPECT_FALSE(Renderer.HasSprites());
  // Far outside, and too large: nothing drawn, nothing allocated.
  Renderer.AddImageSprite(1 << 30, -(1 << 30), 3, 3, px, mask);
  Renderer.AddImageSprite(0, 0, 100000, 100000, px, mask);
  EXPECT_EQ(Renderer.Sprites().size(), 1u);

  // A picture over the right edge at scale 2 is cut there: the next pixel
  // row keeps its cells.
  Renderer.ClearSprites();
  Renderer.SetScale(2);
  Buffer.SetCursorVisible(false);
  Renderer.AddImageSprite(31, 4, 3, 3, px, mask);  // grid is 32 pixels wide
  Frame(true, true);
  const platform::Surface& bmp = Renderer.RenderBitmap();
  for (int y = 8; y < 14; ++y) {
    EXPECT_EQ(bmp.Pixel(62, y), Pack(kRed));
    EXPECT_EQ(bmp.Pixel(63, y), Pack(kRed));
    EXPECT_EQ(bmp.Pixel(0, y + 2), Pack(kBlack)) << "wrapped onto the next row at y " << y + 2;
    EXPECT_EQ(bmp.Pixel(61, y), Pack(kBlack));
  }
  // Sprites stay on top of redrawn cells, and cells under a removed one
  // come back.
  Buffer.WriteCharAt(3, 0, 0xDB);
  Frame();
  EXPECT_EQ(bmp.Pixel(63, 8), Pack(kRed));
  Renderer.ClearSprites();
  Buffer.Dirty = true;
  Frame();
  EXPECT_EQ(bmp.Pixel(63, 8), Pack(AnsiPalette[7]));
}

TEST_F(FontRendererTest, PresentKeepsAspectWithBars) {
  TTerminalBuffer screen(80, 25);
  // Alternate columns of white and black cells make stretching visible.
  for (int c = 0; c < 80; c += 2)
    for (int r = 0; r < 25; ++r) screen.SetCell(c, r, TCell{0xDB, kWhite, kBlack});
  TFontRenderer r(&Font);
  r.SetScale(4);
  r.SetAntiAliasGlyphs(false);
  r.SetSmoothScaling(true);
  struct Row {
    int W, H;
    int OffX, OffY, FitW, FitH;
    bool Smooth;
  } rows[] = {
      {1920, 1080, 96, 0, 1728, 1080, true},
      {1280, 800, 0, 0, 1280, 800, false},
      {640, 600, 0, 100, 640, 400, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.W) + "x" + std::to_string(row.H));
    platform::Surface target(row.W, row.H);
    target.Fill(0x123456);
    screen.Dirty = true;
    r.RenderBuffer(screen, target, 0, 0, row.W, row.H, true, false, false);
    EXPECT_EQ(r.DisplayBitmap().Width(), 640);
    EXPECT_EQ(r.LastPresentSmooth(), row.Smooth);
    if (row.OffX > 0) {
      EXPECT_EQ(target.Pixel(0, 0), 0u);
      EXPECT_EQ(target.Pixel(row.OffX - 1, row.H - 1), 0u);
      EXPECT_EQ(target.Pixel(row.OffX + row.FitW, 0), 0u);
      EXPECT_EQ(target.Pixel(row.W - 1, row.H - 1), 0u);
      EXPECT_EQ(target.Pixel(row.OffX, 0), Pack(kWhite));
    }
    if (row.OffY > 0) {
      EXPECT_EQ(target.Pixel(0, row.OffY - 1), 0u);
      EXPECT_EQ(target.Pixel(0, row.OffY + row.FitH), 0u);
      EXPECT_EQ(target.Pixel(0, row.OffY), Pack(kWhite));
    }
    // Nearest stretching shows only the two colours; smooth mixes them at
    // the cell edges that fall between target pixels.
    bool mixed = false;
    for (int x = row.OffX; x < row.OffX + row.FitW; ++x) {
      uint32_t p = target.Pixel(x, row.OffY + row.FitH / 2);
      mixed |= p != Pack(kWhite) && p != Pack(kBlack);
    }
    EXPECT_EQ(mixed, row.Smooth);
  }
  // Fill stretches over the whole rectangle.
  platform::Surface target(1000, 300);
  r.Present(target, 0, 0, 1000, 300, true);
  EXPECT_EQ(target.Pixel(0, 0), Pack(kWhite));
  EXPECT_EQ(target.Pixel(999, 299), Pack(kBlack));
}

TEST_F(FontRendererTest, ClientToCell) {
  TFontRenderer r(&Font);  // 80 x 25 at scale 1: 640 x 400, 16:10
  struct Row {
    int X, Y, Left, Top, W, H;
    bool Result;
    int Col, Row;
  } rows[] = {
      {0, 0, 0, 0, 1920, 1080, false, 0, 0},          // on the left bar
      {1919, 1079, 0, 0, 1920, 1080, false, 79, 24},  // on the right bar
      {96, 0, 0, 0, 1920, 1080, true, 0, 0},
      {96 + 1727, 1079, 0, 0, 1920, 1080, true, 79, 24},
      {96 + 480, 43 * 3 + 1, 0, 0, 1920, 1080, true, 22, 3},
      {100 + 8 * 5, 50 + 16 * 7, 100, 50, 640, 400, true, 5, 7},
      {10, 10, 0, 0, 0, 400, false, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.X) + "," + std::to_string(row.Y));
    int col = -1, rr = -1;
    EXPECT_EQ(r.ClientToCell(row.X, row.Y, row.Left, row.Top, row.W, row.H, col, rr), row.Result);
    EXPECT_EQ(col, row.Col);
    EXPECT_EQ(rr, row.Row);
  }
}

}  // namespace
