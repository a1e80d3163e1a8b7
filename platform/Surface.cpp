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

// How destination pixels share one source axis: pixel i overlaps the source
// pixels First[i] .. First[i] + Count[i] - 1, with the overlap lengths in
// Weights from Start[i]. With the source axis S long and the destination D
// long, lengths are counted in units of 1/D of a source pixel, so every
// destination pixel's weights add up to S exactly.
struct AxisSpans {
  std::vector<int> First, Start, Count;
  std::vector<uint32_t> Weights;
};

static AxisSpans MakeSpans(int srcLen, int dstLen, int from, int to) {
  AxisSpans spans;
  for (int i = from; i < to; ++i) {
    int64_t lo = int64_t(i) * srcLen, hi = int64_t(i + 1) * srcLen;
    int first = int(lo / dstLen);
    spans.First.push_back(first);
    spans.Start.push_back(int(spans.Weights.size()));
    int count = 0;
    for (int64_t k = first; k * dstLen < hi && k < srcLen; ++k, ++count)
      spans.Weights.push_back(uint32_t(std::min(hi, (k + 1) * dstLen) - std::max(lo, k * dstLen)));
    spans.Count.push_back(count);
  }
  return spans;
}

void Surface::StretchSmooth(const Surface& source, Rect srcRect, Rect dstRect) {
  srcRect = Intersect(srcRect, Rect{0, 0, source.FWidth, source.FHeight});
  if (srcRect.Width() <= 0 || srcRect.Height() <= 0 || dstRect.Width() <= 0 || dstRect.Height() <= 0) return;
  Rect clip = Intersect(dstRect, Rect{0, 0, FWidth, FHeight});
  if (clip.Width() <= 0 || clip.Height() <= 0) return;
  // Each destination pixel is the area-weighted mean of the source pixels
  // its footprint covers: an exact box filter that smooths when enlarging by
  // an uneven factor and averages when reducing. It runs in two passes: each
  // source row the destination needs is first resampled across (once), then
  // the resampled rows are blended down.
  const AxisSpans cols = MakeSpans(srcRect.Width(), dstRect.Width(), clip.Left - dstRect.Left,
                                   clip.Right - dstRect.Left);
  const AxisSpans rows = MakeSpans(srcRect.Height(), dstRect.Height(), clip.Top - dstRect.Top,
                                   clip.Bottom - dstRect.Top);
  const size_t width = size_t(clip.Width());
  // Resampled rows, three channels each; a channel sum is at most
  // 255 x source width, well inside 32 bits.
  std::vector<std::vector<uint32_t>> across(size_t(srcRect.Height()));
  auto resampled = [&](int sy) -> const std::vector<uint32_t>& {
    std::vector<uint32_t>& out = across[size_t(sy)];
    if (!out.empty()) return out;
    out.resize(width * 3);
    const uint32_t* from = source.Row(srcRect.Top + sy) + srcRect.Left;
    for (size_t i = 0; i < width; ++i) {
      uint32_t r = 0, g = 0, b = 0;
      const uint32_t* w = cols.Weights.data() + cols.Start[i];
      const uint32_t* p = from + cols.First[i];
      for (int k = 0; k < cols.Count[i]; ++k) {
        r += ((p[k] >> 16) & 0xFF) * w[k];
        g += ((p[k] >> 8) & 0xFF) * w[k];
        b += (p[k] & 0xFF) * w[k];
      }
      out[i * 3] = r;
      out[i * 3 + 1] = g;
      out[i * 3 + 2] = b;
    }
    return out;
  };
  // Sums are whole numbers below 2^53, exact in a double; scaling by the
  // reciprocal of the total weight replaces a division per channel.
  const double scale = 1.0 / (double(srcRect.Width()) * double(srcRect.Height()));
  auto channel = [scale](double v) { return uint8_t(v * scale + 0.5); };
  std::vector<double> sum(width * 3);
  int released = 0;
  for (int y = clip.Top; y < clip.Bottom; ++y) {
    const size_t j = size_t(y - clip.Top);
    std::fill(sum.begin(), sum.end(), 0);
    for (int k = 0; k < rows.Count[j]; ++k) {
      const std::vector<uint32_t>& line = resampled(rows.First[j] + k);
      const double w = rows.Weights[size_t(rows.Start[j] + k)];
      for (size_t i = 0; i < width * 3; ++i) sum[i] += line[i] * w;
    }
    // Rows above this span are never needed again.
    for (; released < rows.First[j]; ++released) std::vector<uint32_t>().swap(across[size_t(released)]);
    uint32_t* to = Row(y) + clip.Left;
    for (size_t i = 0; i < width; ++i)
      to[i] = PackRGB(channel(sum[i * 3]), channel(sum[i * 3 + 1]), channel(sum[i * 3 + 2]));
  }
}

}  // namespace platform
