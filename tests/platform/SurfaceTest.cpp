#include <gtest/gtest.h>

#include "platform/Surface.h"

using namespace platform;

TEST(SurfaceTest, CopyAndFillAreClippedOnEverySide) {
  Surface src(3, 3), dst(4, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) src.SetPixel(x, y, uint32_t(10 * y + x + 1));
  dst.Copy(src, Rect{0, 0, 3, 3}, 2, -1);  // hangs over the right and top edges
  EXPECT_EQ(dst.Pixel(2, 0), 11u);
  EXPECT_EQ(dst.Pixel(3, 1), 22u);
  EXPECT_EQ(dst.Pixel(1, 0), 0u);
  dst.FillRect(Rect{-5, 3, 100, 100}, 9);
  EXPECT_EQ(dst.Pixel(0, 3), 9u);
  EXPECT_EQ(dst.Pixel(3, 2), 0u);
}

TEST(SurfaceTest, NearestStretchRepeatsPixelsAndSmoothStretchAverages) {
  Surface src(2, 1), big(4, 2), small(1, 1);
  src.SetPixel(0, 0, PackRGB(0, 0, 0));
  src.SetPixel(1, 0, PackRGB(200, 100, 50));
  big.StretchNearest(src, Rect{0, 0, 2, 1}, Rect{0, 0, 4, 2});
  EXPECT_EQ(big.Pixel(1, 1), PackRGB(0, 0, 0));
  EXPECT_EQ(big.Pixel(2, 0), PackRGB(200, 100, 50));
  small.StretchSmooth(src, Rect{0, 0, 2, 1}, Rect{0, 0, 1, 1});
  EXPECT_EQ(small.Pixel(0, 0), PackRGB(100, 50, 25));
}

TEST(SurfaceTest, SmoothStretchBlendsWhenEnlargingUnevenly) {
  Surface src(2, 1), dst(3, 1);
  src.SetPixel(0, 0, PackRGB(0, 0, 0));
  src.SetPixel(1, 0, PackRGB(200, 100, 50));
  dst.StretchSmooth(src, Rect{0, 0, 2, 1}, Rect{0, 0, 3, 1});
  EXPECT_EQ(dst.Pixel(0, 0), PackRGB(0, 0, 0));
  EXPECT_EQ(dst.Pixel(1, 0), PackRGB(100, 50, 25));  // half of each source pixel
  EXPECT_EQ(dst.Pixel(2, 0), PackRGB(200, 100, 50));
}

TEST(SurfaceTest, OversizedRequestsAreRefused) {
  Surface s;
  EXPECT_FALSE(s.Resize(Surface::kMaxSide + 1, 10));
  EXPECT_TRUE(s.Empty());
  EXPECT_FALSE(s.Resize(-1, 10));
}

namespace {

// The box filter from first principles: each destination pixel is the mean
// of the source area its footprint covers, rounded to the nearest byte.
uint32_t BoxPixel(const Surface& src, int sw, int sh, int dw, int dh, int x, int y) {
  double sum[3] = {0, 0, 0};
  for (int sy = int(int64_t(y) * sh / dh); sy < sh && int64_t(sy) * dh < int64_t(y + 1) * sh; ++sy) {
    int64_t oy = std::min<int64_t>(int64_t(y + 1) * sh, int64_t(sy + 1) * dh) -
                 std::max<int64_t>(int64_t(y) * sh, int64_t(sy) * dh);
    if (oy <= 0) continue;
    for (int sx = int(int64_t(x) * sw / dw); sx < sw && int64_t(sx) * dw < int64_t(x + 1) * sw; ++sx) {
      int64_t ox = std::min<int64_t>(int64_t(x + 1) * sw, int64_t(sx + 1) * dw) -
                   std::max<int64_t>(int64_t(x) * sw, int64_t(sx) * dw);
      if (ox <= 0) continue;
      uint32_t p = src.Pixel(sx, sy);
      for (int c = 0; c < 3; ++c) sum[c] += double((p >> (16 - 8 * c)) & 0xFF) * double(ox * oy);
    }
  }
  const double scale = 1.0 / (double(sw) * double(sh));
  return PackRGB(uint8_t(sum[0] * scale + 0.5), uint8_t(sum[1] * scale + 0.5), uint8_t(sum[2] * scale + 0.5));
}

}  // namespace

// The window stretches the picture by uneven factors, in parts: every part
// must give each pixel exactly what the whole stretch gives it. Pictures of
// random pixels and pictures like text (runs of a few colours, repeated
// rows) both, since enlarging copies even stretches of the source.
TEST(SurfaceTest, SmoothStretchMatchesTheBoxFilterWholeAndInParts) {
  struct Case {
    const char* Name;
    int SrcW, SrcH, DstW, DstH;
  } cases[] = {
      {"enlarge by 2.5", 16, 10, 40, 25},
      {"enlarge by 1.25", 16, 8, 20, 10},
      {"enlarge by 2 across and 3 down", 8, 6, 16, 18},
      {"enlarge by a factor of no small units", 61, 37, 127, 83},
      {"uneven both ways", 7, 5, 23, 11},
      {"enlarge across, reduce down", 9, 12, 20, 5},
      {"reduce by half", 20, 12, 10, 6},
      {"reduce unevenly", 19, 13, 7, 5},
  };
  for (const Case& c : cases)
    for (bool text : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (text ? ", text" : ", random pixels"));
      Surface src(c.SrcW, c.SrcH);
      uint32_t seed = 12345;
      const uint32_t ink[3] = {PackRGB(170, 0, 0), PackRGB(255, 255, 85), PackRGB(0, 0, 170)};
      for (int y = 0; y < c.SrcH; ++y)
        for (int x = 0; x < c.SrcW; ++x) {
          seed = seed * 1103515245u + 12345u;
          if (!text)
            src.SetPixel(x, y, seed & 0xFFFFFF);
          else if (y % 3 == 2)  // a row like the one above, or but for its last pixel
            src.SetPixel(x, y, y % 6 == 5 && x == c.SrcW - 1 ? PackRGB(85, 255, 85) : src.Pixel(x, y - 1));
          else
            src.SetPixel(x, y, (seed >> 16) % 4 == 0 ? ink[(seed >> 20) % 3] : ink[2]);
        }
      // Drawn at an offset inside a larger surface.
      const Rect dst{3, 2, 3 + c.DstW, 2 + c.DstH};
      Surface whole(c.DstW + 6, c.DstH + 4);
      whole.StretchSmooth(src, Rect{0, 0, c.SrcW, c.SrcH}, dst);
      for (int y = 0; y < c.DstH; ++y)
        for (int x = 0; x < c.DstW; ++x)
          ASSERT_EQ(whole.Pixel(dst.Left + x, dst.Top + y), BoxPixel(src, c.SrcW, c.SrcH, c.DstW, c.DstH, x, y))
              << x << "," << y;
      EXPECT_EQ(whole.Pixel(0, 0), 0u);
      // In parts, through one reused plan: a band, a corner, a single pixel.
      StretchPlan plan;
      Surface parts(c.DstW + 6, c.DstH + 4);
      parts.Fill(0x123456);
      const Rect pieces[] = {{0, dst.Top + 1, 100, dst.Top + 3},
                             {dst.Left + 2, 0, dst.Left + 5, 100},
                             {dst.Left + 1, dst.Top, dst.Left + 2, dst.Top + 1}};
      Rect done{};
      for (const Rect& piece : pieces) {
        parts.StretchSmooth(src, Rect{0, 0, c.SrcW, c.SrcH}, dst, piece, &plan);
        done = Union(done, Intersect(piece, dst));
      }
      for (int y = 0; y < parts.Height(); ++y)
        for (int x = 0; x < parts.Width(); ++x) {
          bool inside = false;
          for (const Rect& piece : pieces) {
            Rect in = Intersect(piece, dst);
            inside |= x >= in.Left && x < in.Right && y >= in.Top && y < in.Bottom;
          }
          ASSERT_EQ(parts.Pixel(x, y), inside ? whole.Pixel(x, y) : 0x123456u) << x << "," << y;
        }
    }
}

// A text screen stretched cell by cell must show what the plain stretch
// shows: cells of one colour, of two (glyphs) and of more (pictures over
// cells), on grids whose lines fall on whole window pixels and on grids
// whose lines do not, and with one plan kept across sizes as a window
// keeps it across resizes. Twins: every cell shows one glyph or a twin of
// it that differs in a single pixel, which a shape must not be taken for.
TEST(SurfaceTest, CellStretchMatchesThePlainStretch) {
  struct Case {
    const char* Name;
    int CellW, CellH, Cols, Rows, DstW, DstH;
    bool Twins;
  } cases[] = {
      {"text at 2.5", 8, 16, 6, 3, 120, 120, false},
      {"double-size cells at 1.25", 16, 32, 4, 2, 80, 80, false},
      {"text at 1.5 across, 2 down", 8, 8, 5, 4, 60, 64, false},
      {"twin glyphs 12 wide at 2", 12, 8, 4, 2, 96, 32, true},
      {"grid off the window's pixels", 8, 16, 5, 3, 97, 113, false},
      {"reduced", 8, 16, 4, 2, 20, 20, false},
      {"cells 6 wide at 2.5 across, an odd 15 pixels", 6, 8, 4, 2, 60, 32, false},
  };
  StretchPlan kept;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const int sw = c.CellW * c.Cols, sh = c.CellH * c.Rows;
    Surface src(sw, sh);
    uint32_t seed = 99;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    const uint32_t colours[4] = {PackRGB(0, 0, 170), PackRGB(255, 255, 85), PackRGB(170, 0, 0), 0};
    for (int row = 0; row < c.Rows; ++row)
      for (int col = 0; col < c.Cols; ++col) {
        const int kind = c.Twins ? 1 : int(next() >> 16) % 3;  // one colour, a glyph, a picture
        const uint32_t fg = colours[(next() >> 16) % 4], bg = c.Twins ? colours[3] : colours[(next() >> 16) % 4];
        for (int y = 0; y < c.CellH; ++y)
          for (int x = 0; x < c.CellW; ++x) {
            const uint32_t bits = next() >> 16;
            bool ink = bits % 3 == 0;
            if (c.Twins) ink = (x + y) % 3 == 0 || (col % 2 == 1 && x == 6 && y == 5);  // bit 66 of the cell
            const uint32_t p = kind == 0 ? bg : kind == 1 ? (ink ? fg : bg) : bits * 2654435761u & 0xFFFFFF;
            src.SetPixel(col * c.CellW + x, row * c.CellH + y, p);
          }
      }
    const Rect from{0, 0, sw, sh};
    const Rect to{2, 3, 2 + c.DstW, 3 + c.DstH};
    Surface want(c.DstW + 4, c.DstH + 6);
    want.StretchSmooth(src, from, to);
    // Whole, then again over a surface already drawn (the shapes are known
    // now), then one row of cells and a single cell into a blank surface.
    for (int pass = 0; pass < 2; ++pass) {
      Surface got(c.DstW + 4, c.DstH + 6);
      got.StretchSmoothCells(src, from, to, from, c.CellW, c.CellH, kept);
      ASSERT_TRUE(std::equal(got.Pixels(), got.Pixels() + got.Width() * got.Height(), want.Pixels())) << pass;
    }
    Surface part(c.DstW + 4, c.DstH + 6), cut(c.DstW + 4, c.DstH + 6);
    part.Fill(0x123456);
    part.StretchSmoothCells(src, from, to, Rect{0, c.CellH, sw, 2 * c.CellH}, c.CellW, c.CellH, kept);
    part.StretchSmoothCells(src, from, to, Rect{c.CellW, 0, 2 * c.CellW, c.CellH}, c.CellW, c.CellH, kept);
    cut.StretchSmooth(src, from, to);  // the cells' own pixels, and what lies beyond them unchanged
    for (int y = 0; y < part.Height(); ++y)
      for (int x = 0; x < part.Width(); ++x)
        if (part.Pixel(x, y) != 0x123456u) {
          ASSERT_EQ(part.Pixel(x, y), cut.Pixel(x, y)) << x << "," << y;
        }
    // Cells cut by the surface's edge.
    Surface small(c.DstW / 2, c.DstH / 2);
    Surface smallWant(c.DstW / 2, c.DstH / 2);
    small.StretchSmoothCells(src, from, to, from, c.CellW, c.CellH, kept);
    smallWant.StretchSmooth(src, from, to);
    ASSERT_TRUE(std::equal(small.Pixels(), small.Pixels() + small.Width() * small.Height(), smallWant.Pixels()));
  }
}
