#include "platform/Surface.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <numeric>
#include <unordered_map>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

Rect Intersect(Rect a, Rect b) {
  Rect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
         std::min(a.Bottom, b.Bottom)};
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

Rect Union(Rect a, Rect b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return Rect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
              std::max(a.Bottom, b.Bottom)};
}

namespace {

uint64_t NextSurfaceId() {
  static std::atomic<uint64_t> nextId{1};
  return nextId++;
}

}  // namespace

Surface::Surface(const Surface& other)
    : FWidth(other.FWidth), FHeight(other.FHeight), FId(NextSurfaceId()),
      FPixels(other.FData, other.FData + size_t(other.FWidth) * size_t(other.FHeight)),
      FData(FPixels.data()) {}

Surface& Surface::operator=(const Surface& other) {
  if (this != &other) *this = Surface(other);
  return *this;
}

// A moved vector keeps its buffer, so the pixels stay where FData points.
Surface::Surface(Surface&& other) noexcept
    : FWidth(other.FWidth), FHeight(other.FHeight), FId(other.FId), FPixels(std::move(other.FPixels)),
      FData(other.FData) {
  other.FWidth = other.FHeight = 0;
  other.FPixels.clear();
  other.FData = nullptr;
}

Surface& Surface::operator=(Surface&& other) noexcept {
  if (this == &other) return *this;
  FWidth = other.FWidth;
  FHeight = other.FHeight;
  FId = other.FId;
  FPixels = std::move(other.FPixels);
  FData = other.FData;
  other.FWidth = other.FHeight = 0;
  other.FPixels.clear();
  other.FData = nullptr;
  return *this;
}

Surface Surface::Over(uint32_t* pixels, int width, int height) {
  Surface view;
  view.FId = NextSurfaceId();
  if (!pixels || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return view;
  view.FWidth = width;
  view.FHeight = height;
  view.FData = pixels;
  return view;
}

bool Surface::Resize(int width, int height) {
  FId = NextSurfaceId();
  if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide) {
    FWidth = FHeight = 0;
    FPixels.clear();
    FData = nullptr;
    return false;
  }
  FWidth = width;
  FHeight = height;
  FPixels.assign(size_t(width) * size_t(height), 0);
  FData = FPixels.data();
  return true;
}

void Surface::Fill(uint32_t color) { std::fill(FData, FData + size_t(FWidth) * size_t(FHeight), color); }

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
  StretchNearest(source, srcRect, dstRect, dstRect);
}

void Surface::StretchNearest(const Surface& source, Rect srcRect, Rect dstRect, Rect clip) {
  srcRect = Intersect(srcRect, Rect{0, 0, source.FWidth, source.FHeight});
  if (srcRect.Width() <= 0 || srcRect.Height() <= 0 || dstRect.Width() <= 0 || dstRect.Height() <= 0) return;
  clip = Intersect(Intersect(clip, dstRect), Rect{0, 0, FWidth, FHeight});
  if (IsEmpty(clip)) return;
  std::vector<int> columns(size_t(clip.Width()));
  for (int x = clip.Left; x < clip.Right; ++x)
    columns[size_t(x - clip.Left)] =
        srcRect.Left + int(int64_t(x - dstRect.Left) * srcRect.Width() / dstRect.Width());
  // Enlarging, consecutive rows show the same source row: it is sampled
  // once and copied.
  int last = -1;
  const uint32_t* lastRow = nullptr;
  for (int y = clip.Top; y < clip.Bottom; ++y) {
    int sy = srcRect.Top + int(int64_t(y - dstRect.Top) * srcRect.Height() / dstRect.Height());
    uint32_t* to = Row(y) + clip.Left;
    if (sy == last) {
      std::copy(lastRow, lastRow + columns.size(), to);
    } else {
      const uint32_t* from = source.Row(sy);
      for (size_t i = 0; i < columns.size(); ++i) to[i] = from[columns[i]];
    }
    last = sy;
    lastRow = to;
  }
}

// How the destination pixels of one axis share the source pixels: pixel i
// covers the source pixels Index[i x Taps + k] with the overlap lengths
// Weight[i x Taps + k]. With the source axis S long and the destination D
// long, lengths count in units of 1/D of a source pixel, so each pixel's
// weights add up to S exactly. Pixels covering fewer than Taps source pixels
// are padded with weight 0 on a pixel they already use. Every weight is a
// multiple of Unit, and Small holds them divided by it.
struct StretchPlan::Axis {
  int SrcLen = 0, DstLen = 0, Taps = 0;
  uint32_t Unit = 1;
  std::vector<int> Index;
  std::vector<uint32_t> Weight, Small;

  // False when the axis was already built for these lengths.
  bool Build(int srcLen, int dstLen) {
    if (srcLen == SrcLen && dstLen == DstLen) return false;
    SrcLen = srcLen;
    DstLen = dstLen;
    Taps = 1;
    for (int i = 0; i < dstLen; ++i) Taps = std::max(Taps, int(Span(i).size()));
    Index.assign(size_t(dstLen) * size_t(Taps), 0);
    Weight.assign(size_t(dstLen) * size_t(Taps), 0);
    Unit = uint32_t(srcLen);
    for (int i = 0; i < dstLen; ++i) {
      std::vector<std::pair<int, uint32_t>> span = Span(i);
      for (int k = 0; k < Taps; ++k) {
        size_t at = size_t(i) * size_t(Taps) + size_t(k);
        Index[at] = k < int(span.size()) ? span[size_t(k)].first : span.front().first;
        Weight[at] = k < int(span.size()) ? span[size_t(k)].second : 0;
        Unit = std::gcd(Unit, Weight[at]);
      }
    }
    Small.resize(Weight.size());
    for (size_t at = 0; at < Weight.size(); ++at) Small[at] = Weight[at] / Unit;
    return true;
  }
  std::vector<std::pair<int, uint32_t>> Span(int i) const {
    std::vector<std::pair<int, uint32_t>> out;
    int64_t lo = int64_t(i) * SrcLen, hi = int64_t(i + 1) * SrcLen;
    for (int64_t k = lo / DstLen; k * DstLen < hi && k < SrcLen; ++k)
      out.emplace_back(int(k), uint32_t(std::min(hi, (k + 1) * DstLen) - std::max(lo, k * DstLen)));
    if (out.empty()) out.emplace_back(std::min<int>(int(lo / DstLen), SrcLen - 1), 0);
    return out;
  }
};

namespace {

// The shape of a cell of two colours, stretched onto whole destination
// pixels: for each destination pixel of the cell, the weight its footprint
// gives to the source pixels of the cell's first colour, as an index into
// Levels; Even holds the one index of a row all of one level, else -1.
// Pairs, when the cell is an even number of pixels wide and has at most 16
// levels, holds each two neighbouring pixels' indexes as one, first x
// levels + second, so that a row is written two pixels at a time.
struct CellShape {
  std::vector<uint64_t> Levels;
  std::vector<uint8_t> Index;
  std::vector<int16_t> Even;
  std::vector<uint8_t> Pairs;
};

// Which source pixels of a cell have its first colour, one bit each.
constexpr int kMaxShapeBits = 512;
struct ShapeKey {
  std::array<uint64_t, kMaxShapeBits / 64> Bits{};
  bool operator==(const ShapeKey&) const = default;
};
struct ShapeHash {
  size_t operator()(const ShapeKey& k) const {
    uint64_t h = 0;
    for (uint64_t w : k.Bits) h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    return size_t(h ^ (h >> 29));
  }
};
// More shapes than a few fonts' worth are not a text screen's; the map
// starts again rather than grow.
constexpr size_t kMaxShapes = 4096;

}  // namespace

struct StretchPlan::Data {
  Axis Across, Down;
  // Cell shapes for one cell size at the axes' lengths.
  std::unordered_map<ShapeKey, CellShape, ShapeHash> Shapes;
  int ShapeW = 0, ShapeH = 0;
  // Enlarging: the rounded value of every channel sum in units of
  // Across.Unit x Down.Unit, when there are few enough of them.
  std::vector<uint8_t> Rounded;
  // Source rows resampled across, three channel planes each, in a ring
  // tagged by source row.
  std::vector<uint32_t> Ring;
  std::vector<int> RingRow;
  std::vector<uint32_t> Sum32;
  std::vector<uint64_t> Sum64;
};

StretchPlan::StretchPlan() : FData(std::make_unique<Data>()) {}
StretchPlan::~StretchPlan() = default;

namespace {

// The rounding of a channel sum, the same in every road: sums are whole
// numbers below 2^53, exact in a double, and scaling by the reciprocal of the
// total weight replaces a division per channel.
inline uint32_t RoundChannel(uint64_t sum, double scale) { return uint32_t(double(sum) * scale + 0.5); }

// The vertical blend and the conversion to bytes. Acc holds a channel sum:
// at most 255 x source width x source height.
template <typename Acc>
void BlendRows(const std::vector<const uint32_t*>& lines, const uint32_t* weights, int taps, size_t width,
               double scale, Acc* sum, uint32_t* to) {
  std::fill(sum, sum + width * 3, Acc(0));
  for (int k = 0; k < taps; ++k) {
    const Acc w = weights[k];
    if (w == 0) continue;
    const uint32_t* line = lines[size_t(k)];
    for (size_t i = 0; i < width * 3; ++i) sum[i] += Acc(line[i]) * w;
  }
  for (size_t i = 0; i < width; ++i)
    to[i] = (RoundChannel(sum[i], scale) << 16) | (RoundChannel(sum[width + i], scale) << 8) |
            RoundChannel(sum[2 * width + i], scale);
}

inline uint32_t Channel(uint32_t p, int shift) { return (p >> shift) & 0xFF; }

// One destination pixel over up to two source pixels across (A, B with
// weights WA, WB) in each of up to two source rows (weights VA, VB; the
// second row gives C, D). With Rounded, the weights are in the table's
// units and it rounds; else they are whole and Scale rounds.
inline uint32_t Blend4(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t wa, uint32_t wb, uint32_t va,
                       uint32_t vb, const uint8_t* rounded, double scale) {
  uint32_t out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    if (rounded) {
      const uint32_t top = Channel(a, shift) * wa + Channel(b, shift) * wb;
      const uint32_t bottom = Channel(c, shift) * wa + Channel(d, shift) * wb;
      out |= uint32_t(rounded[top * va + bottom * vb]) << shift;
    } else {
      const uint64_t top = Channel(a, shift) * uint64_t(wa) + Channel(b, shift) * uint64_t(wb);
      const uint64_t bottom = Channel(c, shift) * uint64_t(wa) + Channel(d, shift) * uint64_t(wb);
      out |= RoundChannel(top * va + bottom * vb, scale) << shift;
    }
  }
  return out;
}

// Enlarging, each destination pixel covers at most two source pixels each
// way, and where those are all one colour the exact mean is that colour
// (c x W / W rounds to c). Text is mostly such runs, so pixels are copied
// where the source is even and computed only where it changes, and a
// destination row that shows one source row alone is computed once and
// copied to the next row showing the same one.
struct Enlarger {
  const Surface& Source;
  Rect Src;
  // Across, for each destination column of the clip: Taps source columns
  // and their weights.
  const int* Index;
  const uint32_t* Weight;
  int Taps;
  size_t Width;
  int SpanLeft, SpanRight;  // source columns the clip reads
  const uint8_t* Rounded;
  double Scale;

  const uint32_t* SourceRow(int sy) const { return Source.Row(Src.Top + sy) + Src.Left; }

  // Destination pixels whose footprint lies within source row Sy alone.
  void SingleRow(int sy, uint32_t height, uint32_t* to) const {
    const uint32_t* from = SourceRow(sy);
    if (Taps == 1) {
      for (size_t i = 0; i < Width; ++i) to[i] = from[Index[i]] & 0xFFFFFF;
      return;
    }
    for (size_t i = 0; i < Width; ++i) {
      const uint32_t a = from[Index[2 * i]], b = from[Index[2 * i + 1]];
      to[i] = a == b ? a & 0xFFFFFF : Blend4(a, b, 0, 0, Weight[2 * i], Weight[2 * i + 1], height, 0, Rounded, Scale);
    }
  }

  bool SameRows(int r0, int r1) const {
    return std::equal(SourceRow(r0) + SpanLeft, SourceRow(r0) + SpanRight, SourceRow(r1) + SpanLeft);
  }

  // Destination pixels over source rows R0 (weight V0) and R1 (weight V1).
  void TwoRows(int r0, int r1, uint32_t v0, uint32_t v1, uint32_t* to) const {
    const uint32_t* top = SourceRow(r0);
    const uint32_t* bottom = SourceRow(r1);
    for (size_t i = 0; i < Width; ++i) {
      const int k0 = Index[Taps * i], k1 = Index[Taps * i + size_t(Taps - 1)];
      const uint32_t a = top[k0], b = top[k1], c = bottom[k0], d = bottom[k1];
      if (a == b && a == c && a == d) {
        to[i] = a & 0xFFFFFF;
        continue;
      }
      const uint32_t wa = Weight[Taps * i], wb = Taps == 2 ? Weight[2 * i + 1] : 0;
      to[i] = Blend4(a, b, c, d, wa, wb, v0, v1, Rounded, Scale);
    }
  }
};

}  // namespace

void Surface::StretchSmooth(const Surface& source, Rect srcRect, Rect dstRect) {
  StretchSmooth(source, srcRect, dstRect, dstRect, nullptr);
}

// Each destination pixel is the area-weighted mean of the source pixels its
// footprint covers: an exact box filter that smooths when enlarging by an
// uneven factor and averages when reducing. It runs in two passes: each
// source row the destination needs is first resampled across (once), then
// the resampled rows are blended down.
void Surface::StretchSmooth(const Surface& source, Rect srcRect, Rect dstRect, Rect clip, StretchPlan* plan) {
  srcRect = Intersect(srcRect, Rect{0, 0, source.FWidth, source.FHeight});
  if (srcRect.Width() <= 0 || srcRect.Height() <= 0 || dstRect.Width() <= 0 || dstRect.Height() <= 0) return;
  clip = Intersect(Intersect(clip, dstRect), Rect{0, 0, FWidth, FHeight});
  if (IsEmpty(clip)) return;
  StretchPlan local;
  StretchPlan::Data& d = *(plan ? plan : &local)->FData;
  const bool across = d.Across.Build(srcRect.Width(), dstRect.Width());
  const bool down = d.Down.Build(srcRect.Height(), dstRect.Height());
  const size_t width = size_t(clip.Width());
  const int x0 = clip.Left - dstRect.Left;
  const int taps = d.Across.Taps, downTaps = d.Down.Taps;
  const double scale = 1.0 / (double(srcRect.Width()) * double(srcRect.Height()));
  if (dstRect.Width() >= srcRect.Width() && dstRect.Height() >= srcRect.Height()) {
    // Channel sums in the table's units stay below 255 x (S / unit across) x
    // (S / unit down); a table of up to 64 KiB rounds them.
    const uint64_t sums = 255ull * (uint64_t(srcRect.Width()) / d.Across.Unit) *
                              (uint64_t(srcRect.Height()) / d.Down.Unit) + 1;
    const bool table = sums <= 65536;
    if (table && (across || down || d.Rounded.size() != sums)) {
      d.Rounded.resize(size_t(sums));
      const uint64_t unit = uint64_t(d.Across.Unit) * d.Down.Unit;
      for (uint64_t s = 0; s < sums; ++s) d.Rounded[size_t(s)] = uint8_t(RoundChannel(s * unit, scale));
    }
    const std::vector<uint32_t>& weights = table ? d.Across.Small : d.Across.Weight;
    const std::vector<uint32_t>& downWeights = table ? d.Down.Small : d.Down.Weight;
    const uint32_t height = table ? uint32_t(srcRect.Height()) / d.Down.Unit : uint32_t(srcRect.Height());
    const int* columns = d.Across.Index.data() + size_t(x0) * size_t(taps);
    Enlarger e{source, srcRect, columns, weights.data() + size_t(x0) * size_t(taps), taps, width,
               columns[0], columns[(width - 1) * size_t(taps) + size_t(taps - 1)] + 1,
               table ? d.Rounded.data() : nullptr, scale};
    // The destination row that holds source row Single alone, if any yet.
    int single = -1;
    const uint32_t* singleRow = nullptr;
    for (int y = clip.Top; y < clip.Bottom; ++y) {
      const size_t j = size_t(y - dstRect.Top);
      const int* index = d.Down.Index.data() + j * size_t(downTaps);
      const uint32_t* weight = downWeights.data() + j * size_t(downTaps);
      const int r0 = index[0], r1 = index[downTaps - 1];
      const bool twoRows = downTaps == 2 && weight[1] != 0 && r1 != r0;
      uint32_t* to = Row(y) + clip.Left;
      if (twoRows && !e.SameRows(r0, r1)) {
        e.TwoRows(r0, r1, weight[0], weight[1], to);
        continue;
      }
      if (single == r0) {
        std::copy(singleRow, singleRow + width, to);
      } else {
        e.SingleRow(r0, height, to);
        single = r0;
      }
      singleRow = to;
    }
    return;
  }
  const size_t ringSize = size_t(downTaps) + 1;
  d.Ring.resize(ringSize * width * 3);
  d.RingRow.assign(ringSize, -1);
  auto resampled = [&](int sy) -> const uint32_t* {
    const size_t slot = size_t(sy) % ringSize;
    uint32_t* out = d.Ring.data() + slot * width * 3;
    if (d.RingRow[slot] == sy) return out;
    d.RingRow[slot] = sy;
    const uint32_t* from = source.Row(srcRect.Top + sy) + srcRect.Left;
    const int* index = d.Across.Index.data() + size_t(x0) * size_t(taps);
    const uint32_t* weight = d.Across.Weight.data() + size_t(x0) * size_t(taps);
    for (size_t i = 0; i < width; ++i, index += taps, weight += taps) {
      uint32_t r = 0, g = 0, b = 0;
      for (int k = 0; k < taps; ++k) {
        const uint32_t p = from[index[k]], w = weight[k];
        r += ((p >> 16) & 0xFF) * w;
        g += ((p >> 8) & 0xFF) * w;
        b += (p & 0xFF) * w;
      }
      out[i] = r;
      out[width + i] = g;
      out[2 * width + i] = b;
    }
    return out;
  };
  const bool narrow = 255.0 * srcRect.Width() * srcRect.Height() < 4294967296.0;
  if (narrow)
    d.Sum32.resize(width * 3);
  else
    d.Sum64.resize(width * 3);
  std::vector<const uint32_t*> lines(static_cast<size_t>(downTaps));
  for (int y = clip.Top; y < clip.Bottom; ++y) {
    const size_t j = size_t(y - dstRect.Top);
    const int* index = d.Down.Index.data() + j * size_t(downTaps);
    const uint32_t* weight = d.Down.Weight.data() + j * size_t(downTaps);
    for (int k = 0; k < downTaps; ++k) lines[size_t(k)] = resampled(index[k]);
    uint32_t* to = Row(y) + clip.Left;
    if (narrow)
      BlendRows(lines, weight, downTaps, width, scale, d.Sum32.data(), to);
    else
      BlendRows(lines, weight, downTaps, width, scale, d.Sum64.data(), to);
  }
}

namespace {

// The destination pixels a stretch of source pixels From..To-1 of an axis
// Src long onto Dst pixels touches: exactly their own when the ends fall
// on whole destination pixels.
void DestRange(int from, int to, int src, int dst, int& first, int& last) {
  first = int(int64_t(from) * dst / src);
  last = int((int64_t(to) * dst + src - 1) / src);  // exclusive
}

}  // namespace

void Surface::StretchSmoothCells(const Surface& source, Rect srcRect, Rect dstRect, Rect cells, int cellW, int cellH,
                                 StretchPlan& plan) {
  srcRect = Intersect(srcRect, Rect{0, 0, source.FWidth, source.FHeight});
  cells = Intersect(cells, srcRect);
  if (IsEmpty(srcRect) || IsEmpty(dstRect) || IsEmpty(cells) || cellW <= 0 || cellH <= 0) return;
  const int sw = srcRect.Width(), sh = srcRect.Height(), dw = dstRect.Width(), dh = dstRect.Height();
  auto destOf = [&](Rect part) {
    Rect out;
    DestRange(part.Left - srcRect.Left, part.Right - srcRect.Left, sw, dw, out.Left, out.Right);
    DestRange(part.Top - srcRect.Top, part.Bottom - srcRect.Top, sh, dh, out.Top, out.Bottom);
    return Rect{dstRect.Left + out.Left, dstRect.Top + out.Top, dstRect.Left + out.Right, dstRect.Top + out.Bottom};
  };
  const bool onGrid = (cells.Left - srcRect.Left) % cellW == 0 && (cells.Right - srcRect.Left) % cellW == 0 &&
                      (cells.Top - srcRect.Top) % cellH == 0 && (cells.Bottom - srcRect.Top) % cellH == 0;
  const bool aligned = dw >= sw && dh >= sh && int64_t(cellW) * dw % sw == 0 && int64_t(cellH) * dh % sh == 0;
  if (!onGrid || !aligned || cellW > 64 || cellW * cellH > kMaxShapeBits) {
    StretchSmooth(source, srcRect, dstRect, destOf(cells), &plan);
    return;
  }
  StretchPlan::Data& d = *plan.FData;
  const bool rebuilt = d.Across.Build(sw, dw) | d.Down.Build(sh, dh);
  if (rebuilt || d.ShapeW != cellW || d.ShapeH != cellH) {
    d.Shapes.clear();
    d.ShapeW = cellW;
    d.ShapeH = cellH;
  }
  const int dcw = int(int64_t(cellW) * dw / sw), dch = int(int64_t(cellH) * dh / sh);
  const uint64_t total = uint64_t(sw) * uint64_t(sh);
  const double scale = 1.0 / (double(sw) * double(sh));
  const Rect bounds{0, 0, FWidth, FHeight};

  // What one cell of a row of cells shows: one colour, or a shape in two
  // colours through its palette, or (Shape and Fill both empty) anything
  // else, for the plain stretch.
  struct Look {
    const CellShape* Shape = nullptr;
    bool Fill = false;
    uint32_t Colour = 0;
    size_t Palette = 0;  // first entry in the row's palettes
    size_t PairTable = 0;  // first entry in the row's pair tables, with Shape->Pairs
  };
  std::vector<Look> looks;
  std::vector<uint32_t> palettes;
  std::vector<uint64_t> pairTables;

  // The shape of the cell at source (SX, SY), made on first sight; null
  // when it needs more levels than an index holds.
  auto shapeOf = [&](const ShapeKey& key, int sx, int sy) -> const CellShape* {
    auto found = d.Shapes.find(key);
    if (found != d.Shapes.end()) return &found->second;
    CellShape shape;
    shape.Index.resize(size_t(dcw) * size_t(dch));
    const int ox = int(int64_t(sx - srcRect.Left) * dw / sw), oy = int(int64_t(sy - srcRect.Top) * dh / sh);
    const int cx = sx - srcRect.Left, cy = sy - srcRect.Top;
    const size_t tx = size_t(d.Across.Taps), ty = size_t(d.Down.Taps);
    for (int y = 0; y < dch; ++y)
      for (int x = 0; x < dcw; ++x) {
        uint64_t weight = 0;
        for (size_t a = 0; a < ty; ++a) {
          const size_t at = size_t(oy + y) * ty + a;
          const int row = d.Down.Index[at] - cy;
          for (size_t b = 0; b < tx; ++b) {
            const size_t bt = size_t(ox + x) * tx + b;
            const int bit = row * cellW + d.Across.Index[bt] - cx;
            if (key.Bits[size_t(bit >> 6)] >> (bit & 63) & 1)
              weight += uint64_t(d.Down.Weight[at]) * d.Across.Weight[bt];
          }
        }
        auto level = std::find(shape.Levels.begin(), shape.Levels.end(), weight);
        if (level == shape.Levels.end()) {
          if (shape.Levels.size() == 256) return nullptr;
          level = shape.Levels.insert(level, weight);
        }
        shape.Index[size_t(y) * size_t(dcw) + size_t(x)] = uint8_t(level - shape.Levels.begin());
      }
    shape.Even.assign(size_t(dch), -1);
    for (int y = 0; y < dch; ++y) {
      const uint8_t* row = shape.Index.data() + size_t(y) * size_t(dcw);
      if (std::all_of(row, row + dcw, [&](uint8_t i) { return i == row[0]; })) shape.Even[size_t(y)] = row[0];
    }
    const size_t levels = shape.Levels.size();
    if (dcw % 2 == 0 && levels <= 16) {
      shape.Pairs.resize(shape.Index.size() / 2);
      for (size_t i = 0; i < shape.Pairs.size(); ++i)
        shape.Pairs[i] = uint8_t(shape.Index[2 * i] * levels + shape.Index[2 * i + 1]);
    }
    if (d.Shapes.size() >= kMaxShapes) d.Shapes.clear();
    return &d.Shapes.emplace(key, std::move(shape)).first->second;
  };

  // Sorts the cell at source (SX, SY) into one of the three looks. Each row
  // is read in two light passes: which pixels have the first colour, then,
  // when some do not, whether those all have one other colour.
  auto lookOf = [&](int sx, int sy) {
    Look look;
    ShapeKey key;
    const uint32_t c0 = source.Row(sy)[sx];
    uint32_t c1 = c0;
    bool two = false;
    const uint64_t full = cellW == 64 ? ~uint64_t(0) : (uint64_t(1) << cellW) - 1;
#if defined(__SSE2__)
    // Four pixels a compare where the cell is whole groups of four wide.
    const bool fours = cellW % 4 == 0;
    const __m128i first = _mm_set1_epi32(int(c0));
    __m128i second = first;
#endif
    for (int j = 0; j < cellH; ++j) {
      const uint32_t* p = source.Row(sy + j) + sx;
      uint64_t bits = 0;
#if defined(__SSE2__)
      if (fours) {
        for (int i = 0; i < cellW; i += 4) {
          const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
          bits |= uint64_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, first)))) << i;
        }
      } else
#endif
        for (int i = 0; i < cellW; ++i) bits |= uint64_t(p[i] == c0) << i;
      if (bits != full) {
        if (!two) {
          c1 = p[std::countr_one(bits)];
          two = true;
#if defined(__SSE2__)
          second = _mm_set1_epi32(int(c1));
#endif
        }
        bool foreign = false;
#if defined(__SSE2__)
        if (fours) {
          for (int i = 0; i < cellW; i += 4) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            foreign |= _mm_movemask_ps(_mm_castsi128_ps(
                           _mm_or_si128(_mm_cmpeq_epi32(v, first), _mm_cmpeq_epi32(v, second)))) != 0xF;
          }
        } else
#endif
          for (int i = 0; i < cellW; ++i) foreign |= (p[i] != c0) & (p[i] != c1);
        if (foreign) return look;
      }
      const int at = j * cellW, word = at >> 6, shift = at & 63;
      key.Bits[size_t(word)] |= bits << shift;
      if (shift + cellW > 64) key.Bits[size_t(word + 1)] |= bits >> (64 - shift);
    }
    if (!two) {
      look.Fill = true;
      look.Colour = c0 & 0xFFFFFF;
      return look;
    }
    look.Shape = shapeOf(key, sx, sy);
    if (!look.Shape) return look;
    look.Palette = palettes.size();
    for (uint64_t a : look.Shape->Levels) {
      uint32_t colour = 0;
      for (int shift = 16; shift >= 0; shift -= 8)
        colour |= RoundChannel(Channel(c0, shift) * a + Channel(c1, shift) * (total - a), scale) << shift;
      palettes.push_back(colour);
    }
    if (!look.Shape->Pairs.empty()) {
      // Two pixels in memory order: the first in the low half of the word.
      const size_t levels = look.Shape->Levels.size();
      const uint32_t* palette = palettes.data() + look.Palette;
      look.PairTable = pairTables.size();
      for (size_t a = 0; a < levels; ++a)
        for (size_t b = 0; b < levels; ++b) {
          const uint32_t two[2] = {palette[a], palette[b]};
          uint64_t word;
          std::memcpy(&word, two, sizeof word);
          pairTables.push_back(word);
        }
    }
    return look;
  };

  // A destination row over the same single source row as the row above
  // repeats it, whatever the cells show.
  std::vector<uint8_t> repeats(size_t(dch), 0);
  {
    const int oy = int(int64_t(cells.Top - srcRect.Top) * dh / sh);
    auto single = [&](int j) {
      const size_t at = size_t(j) * size_t(d.Down.Taps);
      return d.Down.Taps == 1 || d.Down.Weight[at + 1] == 0 ? d.Down.Index[at] : -1;
    };
    for (int y = 1; y < dch; ++y) repeats[size_t(y)] = single(oy + y) >= 0 && single(oy + y) == single(oy + y - 1);
  }

  const int cols = (cells.Right - cells.Left) / cellW;
  for (int sy = cells.Top; sy < cells.Bottom; sy += cellH) {
    const Rect rowBlock = destOf(Rect{cells.Left, sy, cells.Right, sy + cellH});
    const Rect shownRow = Intersect(rowBlock, bounds);
    if (IsEmpty(shownRow)) continue;
    // A row of cells cut by this surface's edge goes to the plain stretch.
    if (shownRow.Width() != rowBlock.Width() || shownRow.Height() != rowBlock.Height()) {
      StretchSmooth(source, srcRect, dstRect, rowBlock, &plan);
      continue;
    }
    looks.clear();
    palettes.clear();
    pairTables.clear();
    for (int c = 0; c < cols; ++c) looks.push_back(lookOf(cells.Left + c * cellW, sy));
    for (int y = 0; y < dch; ++y) {
      uint32_t* to = Row(rowBlock.Top + y) + rowBlock.Left;
      if (repeats[size_t(y)]) {
        const uint32_t* above = Row(rowBlock.Top + y - 1) + rowBlock.Left;
        std::copy(above, above + rowBlock.Width(), to);
        continue;
      }
      for (const Look& look : looks) {
        if (look.Fill) {
          std::fill(to, to + dcw, look.Colour);
        } else if (look.Shape) {
          const uint32_t* palette = palettes.data() + look.Palette;
          if (const int even = look.Shape->Even[size_t(y)]; even >= 0) {
            std::fill(to, to + dcw, palette[even]);
          } else if (!look.Shape->Pairs.empty()) {
            const uint8_t* pair = look.Shape->Pairs.data() + size_t(y) * size_t(dcw / 2);
            const uint64_t* table = pairTables.data() + look.PairTable;
            for (int x = 0; x < dcw / 2; ++x) std::memcpy(to + 2 * x, &table[pair[x]], sizeof(uint64_t));
          } else {
            const uint8_t* index = look.Shape->Index.data() + size_t(y) * size_t(dcw);
            for (int x = 0; x < dcw; ++x) to[x] = palette[index[x]];
          }
        }
        to += dcw;
      }
    }
    // Cells of more colours go to the plain stretch in runs along the row.
    for (int c = 0; c < cols;) {
      if (looks[size_t(c)].Fill || looks[size_t(c)].Shape) {
        ++c;
        continue;
      }
      int end = c;
      while (end < cols && !looks[size_t(end)].Fill && !looks[size_t(end)].Shape) ++end;
      StretchSmooth(source, srcRect, dstRect,
                    destOf(Rect{cells.Left + c * cellW, sy, cells.Left + end * cellW, sy + cellH}), &plan);
      c = end;
    }
  }
}

}  // namespace platform
