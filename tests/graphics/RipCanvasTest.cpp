// The canvas itself: viewport, palette, pixel planes, scrolling, mouse
// regions and the text cells painted over the picture.
#include <gtest/gtest.h>

#include "RipTestSupport.h"
#include "core/uFontRenderer.h"

namespace {

TEST(RipCanvas, Viewport) {
  struct Row {
    const char* Name;
    int X1, Y1, X2, Y2;
    platform::Rect Expected;
  };
  for (const Row& r : {Row{"all zero empties it", 0, 0, 0, 0, {0, 0, 0, 0}},
                       Row{"x1 must be strictly left of x2", 5, 5, 5, 100, {0, 0, 640, 350}},
                       Row{"the far corner is cut to the surface", 10, 10, 900, 900, {10, 10, 640, 350}}}) {
    TRipCanvas c;
    c.SetViewport(r.X1, r.Y1, r.X2, r.Y2);
    const platform::Rect v = c.Viewport();
    EXPECT_EQ(v.Left, r.Expected.Left) << r.Name;
    EXPECT_EQ(v.Top, r.Expected.Top) << r.Name;
    EXPECT_EQ(v.Right, r.Expected.Right) << r.Name;
    EXPECT_EQ(v.Bottom, r.Expected.Bottom) << r.Name;
  }
  TRipCanvas c;
  c.SetViewport(0, 0, 0, 0);
  c.PutPixel(0, 0, 4);
  c.Bar(0, 0, 639, 349);
  EXPECT_EQ(c.DrawnPixelCount(), 0) << "an empty viewport lets nothing be drawn";
}

TEST(RipCanvas, ColoursAndPalette) {
  TRipCanvas c;
  c.PutPixel(1, 1, 200);
  EXPECT_EQ(c.IndexAt(1, 1), 15) << "a colour above 15 draws 15";

  c.PutPixel(2, 2, 1);
  c.PutRGB(3, 3, true, {0, 0, 170});  // the colour of entry 1, without its index
  c.PutRGB(4, 4, false, {10, 20, 30});
  c.SetPaletteEntry(1, 63);
  EXPECT_EQ(c.PixelAt(2, 2), 0xFFFFFFu) << "pixels drawn in colour 1 follow the palette";
  EXPECT_EQ(c.PixelAt(4, 4), platform::PackRGB(10, 20, 30)) << "true-colour pixels keep their colour";
  EXPECT_EQ(c.PaletteEntry(6), (TRipPaletteEntry{170, 85, 0})) << "EGA value 20 is brown";
  EXPECT_EQ(TRipCanvas::EgaColorToRgb(20), (TRipPaletteEntry{170, 85, 0}));

  c.ResetPaletteAndStyles();
  EXPECT_EQ(c.PixelAt(2, 2), platform::PackRGB(0, 0, 170)) << "a palette reset recolours the picture";
}

TEST(RipCanvas, GetPixelTakesTheFirstMatchingEntry) {
  RipRig rig;
  rig.Feed("!|a0904\r");  // entry 9 becomes red, like entry 4
  rig.Canvas.PutRGB(5, 5, false, {170, 0, 0});
  EXPECT_EQ(rig.Canvas.GetPixel(5, 5), 4);
  EXPECT_EQ(rig.Canvas.GetPixel(-1, 5), TRipCanvas::kNoIndex);
}

TEST(RipCanvas, ScrollUpMovesOnlyItsBand) {
  TRipCanvas c;
  for (int y = 0; y < TRipCanvas::kHeight; ++y) c.PutPixel(y % 640, y, 1 + y % 14);
  c.ScrollUp(20, 262);
  EXPECT_EQ(c.IndexAt(100, 80), 1 + 100 % 14) << "row 100 moved up to row 80";
  EXPECT_FALSE(c.AnyDrawnIn(0, 242, 639, 261)) << "the band's last 20 rows are cleared";
  for (int y = 262; y < TRipCanvas::kHeight; ++y) EXPECT_EQ(c.IndexAt(y % 640, y), 1 + y % 14) << y;
}

TEST(RipCanvas, MouseRegionsHitTheLatestAndIncludeTheirEdges) {
  TRipCanvas c;
  c.AddHotspot(30, 30, 10, 10, "first");  // corners swapped on the way in
  c.AddHotspot(20, 20, 40, 40, "second");
  std::string text;
  ASSERT_TRUE(c.HitTest(25, 25, text));
  EXPECT_EQ(text, "second");
  ASSERT_TRUE(c.HitTest(10, 10, text));
  EXPECT_EQ(text, "first");
  ASSERT_TRUE(c.HitTest(40, 40, text)) << "the right and bottom edges belong to the region";
  EXPECT_FALSE(c.HitTest(41, 40, text));
  EXPECT_EQ(text, "");
  c.Clear();
  EXPECT_EQ(c.HotspotCount(), 0);
}

TEST(RipCanvas, TextCellsNeverCoverGraphics) {
  TRipCanvas c;
  c.PutPixel(3, 3, 4);
  c.DrawTerminalGlyph(0, 0, 8, 14, 0xDB, {255, 255, 255}, {0, 0, 170}, nullptr, false, false, false);
  EXPECT_EQ(c.PixelAt(0, 0), 0u) << "a cell over one drawn pixel is not painted at all";
  c.DrawTerminalGlyph(8, 0, 8, 14, 0xDB, {255, 255, 255}, {0, 0, 170}, nullptr, false, false, false);
  EXPECT_EQ(c.PixelAt(8, 5), 0xFFFFFFu);
  c.DrawTerminalGlyph(8, 0, 8, 14, ' ', {255, 255, 255}, {0, 0, 170}, nullptr, false, false, false);
  EXPECT_EQ(c.PixelAt(8, 5), platform::PackRGB(0, 0, 170)) << "text over text is repainted";
}

TEST(RipCanvas, GlyphWidthsScaleAndCrop) {
  TRipCanvas wide, narrow;
  // "H" has its two strokes in columns 0 and 5 of the 8 x 14 glyph.
  wide.DrawTerminalGlyph(0, 0, 16, 14, 'H', {255, 255, 255}, {0, 0, 0}, nullptr, false, false, false);
  narrow.DrawTerminalGlyph(0, 0, 6, 14, 'H', {255, 255, 255}, {0, 0, 0}, nullptr, false, false, false);
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(wide.PixelAt(2 * c, 6), wide.PixelAt(2 * c + 1, 6)) << "column " << c << " doubled";
  }
  EXPECT_EQ(wide.PixelAt(0, 6), 0xFFFFFFu);
  EXPECT_EQ(narrow.PixelAt(0, 6), 0xFFFFFFu);
  EXPECT_EQ(narrow.PixelAt(6, 6), 0u) << "a six-pixel cell ends after six columns";
}

TEST(RipCanvas, GlyphUnderlineHiddenAndTransparent) {
  TRipCanvas c;
  c.PutRGB(20, 5, false, {1, 2, 3});
  c.DrawTerminalGlyph(16, 0, 8, 14, 'A', {255, 255, 255}, {0, 0, 170}, nullptr, true, true, true);
  EXPECT_EQ(c.PixelAt(20, 5), platform::PackRGB(1, 2, 3)) << "hidden and transparent leaves the picture";
  EXPECT_EQ(c.PixelAt(16, 13), 0xFFFFFFu) << "the underline shows even when hidden";
  TBitmapFont font;  // not 8 or 14 rows high: sampled from the terminal font
  c.DrawTerminalGlyph(32, 0, 8, 16, 0xDB, {255, 255, 255}, {0, 0, 0}, &font, false, false, false);
  EXPECT_EQ(c.PixelAt(35, 8), 0xFFFFFFu);
}

TEST(RipCanvas, PatternsAndLineStyles) {
  TRipCanvas c;
  c.SetLineStyle(4, 0x14BFF, 1);
  EXPECT_EQ(c.LinePattern(), 0x4BFF) << "a user pattern keeps its low 16 bits";
  c.SetLineStyle(0, 0, 3);
  EXPECT_EQ(c.Thickness(), 3);
  c.SetLineStyle(9, 0, 2);
  EXPECT_EQ(c.LinePattern(), 0xFFFF);
  EXPECT_EQ(c.Thickness(), 1);
  RipRig rig;
  rig.Feed("!|=040F0F01\r");
  EXPECT_EQ(rig.Canvas.LinePattern(), 19455);
}

TEST(RipCanvas, ImagesCopyAndCombine) {
  RipRig rig;
  rig.Feed("!|S0104|B00000303|1C000003030|1P0A000400\r");  // copy a red square, paste it inverted
  EXPECT_EQ(rig.Canvas.ClipboardWidth(), 4);
  EXPECT_EQ(rig.Canvas.PixelAt(10, 0), platform::PackRGB(85, 255, 255)) << "mode 4 inverts";
  EXPECT_EQ(rig.Canvas.IndexAt(10, 0), 11);
  rig.Feed("!|1P0A0A0200\r");  // OR over black: a copy
  EXPECT_EQ(rig.Canvas.IndexAt(12, 12), 4);
  rig.Feed("!|1CZZ0AZZ0A0|1P14140000\r");  // an area right of the surface empties the clipboard
  EXPECT_EQ(rig.Canvas.ClipboardWidth(), 0);
  EXPECT_FALSE(rig.Canvas.DrawnAt(40, 40));
  rig.Feed("!|1C000003030|1PHP000000\r");  // would end right of the viewport: not drawn at all
  EXPECT_FALSE(rig.Canvas.DrawnAt(637, 0));
}

}  // namespace
