// A 32-bit pixel buffer (0x00RRGGBB, rows top-down, no padding) with the few
// operations the renderers and the window need: fill, copy and stretch.
#pragma once
#include <cstddef>
#include <cstdint>
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

  // Sizes outside 0..kMaxSide give an empty surface and false.
  bool Resize(int width, int height);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }

  uint32_t* Row(int y) { return FPixels.data() + size_t(y) * size_t(FWidth); }
  const uint32_t* Row(int y) const { return FPixels.data() + size_t(y) * size_t(FWidth); }
  uint32_t* Pixels() { return FPixels.data(); }
  const uint32_t* Pixels() const { return FPixels.data(); }
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

 private:
  int FWidth = 0, FHeight = 0;
  std::vector<uint32_t> FPixels;
};

}  // namespace platform
