// A 32-bit pixel buffer (0x00RRGGBB, rows top-down, no padding) with the few
// operations the renderers and the window need: fill, copy and stretch.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

struct Rect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // Right and Bottom exclusive
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};

constexpr uint32_t PackRGB(uint8_t r, uint8_t g, uint8_t b) {
  return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

class Surface {
 public:
  static constexpr int kMaxSide = 16384;  // refuse larger requests outright

  Surface() = default;
  Surface(int width, int height) { Resize(width, height); }
  // Copies own their pixels, also copies of a view.
  Surface(const Surface& other);
  Surface& operator=(const Surface& other);
  Surface(Surface&& other) noexcept;
  Surface& operator=(Surface&& other) noexcept;

  // A view of Width x Height pixels that someone else owns (a window's own
  // image), rows without padding; they must outlive the view, which leaves
  // them to their owner.
  static Surface Over(uint32_t* pixels, int width, int height);
  bool IsView() const { return FData && FPixels.empty(); }

  // Sizes outside 0..kMaxSide give an empty surface and false. A view gets
  // pixels of its own.
  bool Resize(int width, int height);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  // Changes whenever Resize gives the surface new pixels, so a painter that
  // keeps what it drew can tell a new surface from the one it drew into.
  uint64_t Id() const { return FId; }

  uint32_t* Row(int y) { return FData + size_t(y) * size_t(FWidth); }
  const uint32_t* Row(int y) const { return FData + size_t(y) * size_t(FWidth); }
  uint32_t* Pixels() { return FData; }
  const uint32_t* Pixels() const { return FData; }
  uint32_t Pixel(int x, int y) const { return Row(y)[x]; }
  void SetPixel(int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < FWidth && y < FHeight) Row(y)[x] = c;
  }

  void Fill(uint32_t color);
  void FillRect(Rect r, uint32_t color);  // clipped

  // Copies Source's rectangle SrcRect to (X, Y), clipped on both sides.
  void Copy(const Surface& source, Rect srcRect, int x, int y);

  // Scales Source's rectangle SrcRect into DstRect (clipped to this surface).
  // Nearest keeps hard pixel edges; Smooth averages the covered source area.
  void StretchNearest(const Surface& source, Rect srcRect, Rect dstRect);
  void StretchSmooth(const Surface& source, Rect srcRect, Rect dstRect);
  // The same, writing only the destination pixels inside Clip: each gets the
  // value the whole stretch gives it, so a changed part of a picture can be
  // stretched again alone. Plan, when given, keeps the sharing of source
  // pixels and the scratch rows from one call to the next.
  void StretchNearest(const Surface& source, Rect srcRect, Rect dstRect, Rect clip);
  void StretchSmooth(const Surface& source, Rect srcRect, Rect dstRect, Rect clip, class StretchPlan* plan = nullptr);
  // StretchSmooth of the destination pixels that show Cells, a block of
  // whole cells of a grid of CellW x CellH source pixels laid from SrcRect's
  // corner. When the grid lines fall on whole destination pixels, a cell of
  // one or two colours (a text cell) is drawn from a map of its shape kept
  // in Plan, since a text screen's cells repeat a few hundred shapes; other
  // cells take the plain stretch. The pixels are the same either way.
  void StretchSmoothCells(const Surface& source, Rect srcRect, Rect dstRect, Rect cells, int cellW, int cellH,
                          StretchPlan& plan);

 private:
  int FWidth = 0, FHeight = 0;
  uint64_t FId = 0;
  std::vector<uint32_t> FPixels;  // empty for a view
  uint32_t* FData = nullptr;      // FPixels' pixels, or a view's
};

// What a smooth stretch between two fixed sizes can reuse: which source
// pixels each destination pixel covers and by how much, per axis, and the
// scratch rows. A window shows the same sizes frame after frame.
class StretchPlan {
 public:
  StretchPlan();
  ~StretchPlan();
  StretchPlan(const StretchPlan&) = delete;
  StretchPlan& operator=(const StretchPlan&) = delete;

 private:
  friend class Surface;
  struct Axis;
  struct Data;
  std::unique_ptr<Data> FData;
};

// Smallest rectangle holding both; an empty one does not count.
Rect Union(Rect a, Rect b);
Rect Intersect(Rect a, Rect b);
inline bool IsEmpty(Rect r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

}  // namespace platform
