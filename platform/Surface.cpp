#include "platform/Surface.h"

#include <algorithm>

namespace platform {
namespace {

Rect Intersect(Rect a, Rect b) {
  Rect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
         std::min(a.Bottom, b.Bottom)};
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

}  // namespace

bool Surface::Resize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide) {
    FWidth = FHeight = 0;
    FPixels.clear();
    return false;
  }
  FWidth = width;
  FHeight = height;
  FPixels.assign(size_t(width) * size_t(height), 0);
  return true;
}

void Surface::Fill(uint32_t color) { std::fill(FPixels.begin(), FPixels.end(), color); }

void Surface::FillRect(Rect r, uint32_t color) {
  r = Intersect(r, Rect{0, 0, FWidth, FHeight});
  for (int y = r.Top; y < r.Bottom; ++y) std::fill(Row(y) + r.Left, Row(y) + r.Right, color);
}

void Surface::Copy(const Surface& source, Rect srcRect, int x, int y) {
  srcRect = Intersect(srcRect, Rect{0, 0, source.FWidth, source.FHeight});
  Rect dst = Intersect(Rect{x, y, x + srcRect.Width(), y + srcRect.Height()}, Rect{0, 0, FWidth, FHeight});
  int sx = srcRect.Left + (dst.Left - x), sy = srcRect.Top + (dst.Top - y);
  for (int row = 0; row < dst.Height(); ++row) {
    const uint32_t* from = source.Row(sy + row) + sx;
    std::copy(from, from + dst.Width(), Row(dst.Top + row) + dst.Left);
  }
}

void Surface::StretchNearest(const Surface& source, Rect srcRect, Rect dstRect) {
  srcRect = Intersect(srcRect, Rect{0, 0, source.FWidth, source.FHeight});
  if (srcRect.Width() <= 0 || srcRect.Height() <= 0 || dstRect.Width() <= 0 || dstRect.Height() <= 0) return;
  Rect clip = Intersect(dstRect, Rect{0, 0, FWidth, FHeight});
  std::vector<int> columns(size_t(clip.Width()));
  for (int x = clip.Left; x < clip.Right; ++x)
    columns[size_t(x - clip.Left)] =
        srcRect.Left + int(int64_t(x - dstRect.Left) * srcRect.Width() / dstRect.Width());
  for (int y = clip.Top; y < clip.Bottom; ++y) {
    int sy = srcRect.Top + int(int64_t(y - dstRect.Top) * srcRect.Height() / dstRect.Height());
    const uint32_t* from = source.Row(sy);
    uint32_t* to = Row(y) + clip.Left;
    for (size_t i = 0; i < columns.size(); ++i) to[i] = from[columns[i]];
  }
}

void Surface::StretchSmooth(const Surface& source, Rect srcRect, Rect dstRect) {
  srcRect = Intersect(srcRect, Rect{0, 0, source.FWidth, source.FHeight});
  if (srcRect.Width() <= 0 || srcRect.Height() <= 0 || dstRect.Width() <= 0 || dstRect.Height() <= 0) return;
  Rect clip = Intersect(dstRect, Rect{0, 0, FWidth, FHeight});
  // Each destination pixel averages the source pixels whose centres fall in
  // its footprint (at least the nearest one), which is exact for whole-number
  // reductions and close to a box filter elsewhere.
  for (int y = clip.Top; y < clip.Bottom; ++y) {
    int64_t y0 = int64_t(y - dstRect.Top) * srcRect.Height() / dstRect.Height();
    int64_t y1 = int64_t(y - dstRect.Top + 1) * srcRect.Height() / dstRect.Height();
    if (y1 <= y0) y1 = y0 + 1;
    for (int x = clip.Left; x < clip.Right; ++x) {
      int64_t x0 = int64_t(x - dstRect.Left) * srcRect.Width() / dstRect.Width();
      int64_t x1 = int64_t(x - dstRect.Left + 1) * srcRect.Width() / dstRect.Width();
      if (x1 <= x0) x1 = x0 + 1;
      uint64_t r = 0, g = 0, b = 0, n = 0;
      for (int64_t sy = y0; sy < y1; ++sy) {
        const uint32_t* from = source.Row(srcRect.Top + int(sy)) + srcRect.Left;
        for (int64_t sx = x0; sx < x1; ++sx) {
          uint32_t c = from[sx];
          r += (c >> 16) & 0xFF;
          g += (c >> 8) & 0xFF;
          b += c & 0xFF;
          ++n;
        }
      }
      Row(y)[x] = PackRGB(uint8_t((r + n / 2) / n), uint8_t((g + n / 2) / n), uint8_t((b + n / 2) / n));
    }
  }
}

}  // namespace platform
