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

// One destination pixel's share of a source axis: the source pixels it
// overlaps, each with the length of the overlap. With the source axis S long
// and the destination D long, lengths are counted in units of 1/D of a
// source pixel, so every destination pixel's weights add up to S exactly.
struct AxisSpan {
  int First = 0;
  std::vector<uint32_t> Weights;
};

static std::vector<AxisSpan> AxisSpans(int srcLen, int dstLen, int from, int to) {
  std::vector<AxisSpan> spans;
  spans.reserve(size_t(to - from));
  for (int i = from; i < to; ++i) {
    int64_t lo = int64_t(i) * srcLen, hi = int64_t(i + 1) * srcLen;  // in 1/dstLen units
    AxisSpan span;
    span.First = int(lo / dstLen);
    for (int64_t k = span.First; k * dstLen < hi && k < srcLen; ++k) {
      int64_t a = std::max(lo, k * dstLen), b = std::min(hi, (k + 1) * dstLen);
      span.Weights.push_back(uint32_t(b - a));
    }
    spans.push_back(std::move(span));
  }
  return spans;
}

void Surface::StretchSmooth(const Surface& source, Rect srcRect, Rect dstRect) {
  srcRect = Intersect(srcRect, Rect{0, 0, source.FWidth, source.FHeight});
  if (srcRect.Width() <= 0 || srcRect.Height() <= 0 || dstRect.Width() <= 0 || dstRect.Height() <= 0) return;
  Rect clip = Intersect(dstRect, Rect{0, 0, FWidth, FHeight});
  if (clip.Width() <= 0 || clip.Height() <= 0) return;
  // Each destination pixel is the area-weighted mean of the source pixels
  // its footprint covers: an exact box filter, smoothing when enlarging by an
  // uneven factor and averaging when reducing.
  std::vector<AxisSpan> cols = AxisSpans(srcRect.Width(), dstRect.Width(), clip.Left - dstRect.Left,
                                         clip.Right - dstRect.Left);
  std::vector<AxisSpan> rows = AxisSpans(srcRect.Height(), dstRect.Height(), clip.Top - dstRect.Top,
                                         clip.Bottom - dstRect.Top);
  const uint64_t total = uint64_t(srcRect.Width()) * uint64_t(srcRect.Height());
  for (int y = clip.Top; y < clip.Bottom; ++y) {
    const AxisSpan& vy = rows[size_t(y - clip.Top)];
    uint32_t* to = Row(y);
    for (int x = clip.Left; x < clip.Right; ++x) {
      const AxisSpan& vx = cols[size_t(x - clip.Left)];
      uint64_t r = 0, g = 0, b = 0;
      for (size_t j = 0; j < vy.Weights.size(); ++j) {
        const uint32_t* from = source.Row(srcRect.Top + vy.First + int(j)) + srcRect.Left + vx.First;
        uint64_t rr = 0, gg = 0, bb = 0;
        for (size_t i = 0; i < vx.Weights.size(); ++i) {
          uint32_t c = from[i], w = vx.Weights[i];
          rr += uint64_t((c >> 16) & 0xFF) * w;
          gg += uint64_t((c >> 8) & 0xFF) * w;
          bb += uint64_t(c & 0xFF) * w;
        }
        r += rr * vy.Weights[j];
        g += gg * vy.Weights[j];
        b += bb * vy.Weights[j];
      }
      to[x] = PackRGB(uint8_t((r + total / 2) / total), uint8_t((g + total / 2) / total),
                      uint8_t((b + total / 2) / total));
    }
  }
}

}  // namespace platform
