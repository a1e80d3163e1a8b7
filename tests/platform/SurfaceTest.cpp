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
