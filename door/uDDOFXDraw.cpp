// Pixels, lines, filled rectangles, scrolls and page and rectangle copies on
// the engine's pages. Everything goes through the page selection (so it may
// land in a graphics window's canvas), mirrors what it writes to page 0 onto
// page 3, and clips in 64-bit arithmetic before any loop runs, so door
// coordinates far off the page cost nothing.
#include <algorithm>
#include <cstring>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

bool OnPage(int64_t x, int64_t y) { return x >= 0 && x < kWidth && y >= 0 && y < kHeight; }

}  // namespace

void TDDOFXGfx::PutPixel(int page, int64_t x, int64_t y, uint8_t colour) {
  if (!OnPage(x, y)) return;
  const size_t at = size_t(y * kWidth + x);
  Page(page)[at] = colour;
  if (page == 0) Page(3)[at] = colour;
}

void TDDOFXGfx::DrawLine(int page, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t colour) {
  // Bresenham over all octants, both ends drawn. The major axis moves on
  // every step; after i steps the minor axis has moved
  // floor((2 i minor + major) / (2 major)) times, which is exactly where the
  // step-by-step walk puts it. So only the steps whose major coordinate lies
  // on the page are visited, however far away the ends are.
  const int64_t dx = x2 > x1 ? x2 - x1 : x1 - x2, dy = y2 > y1 ? y2 - y1 : y1 - y2;
  const int64_t sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  const bool xMajor = dx >= dy;
  const int64_t major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
  const int64_t start = xMajor ? x1 : y1, step = xMajor ? sx : sy;
  const int64_t limit = xMajor ? kWidth : kHeight;
  // Steps i in [first, last] put the major coordinate start + step * i inside 0..limit-1.
  int64_t first, last;
  if (step > 0) {
    first = std::max<int64_t>(0, -start);
    last = std::min<int64_t>(major, limit - 1 - start);
  } else {
    first = std::max<int64_t>(0, start - (limit - 1));
    last = std::min<int64_t>(major, start);
  }
  for (int64_t i = first; i <= last; ++i) {
    const int64_t moves =
        major == 0 ? 0 : int64_t((__int128(2) * i * minor + major) / (__int128(2) * major));
    const int64_t a = start + step * i;
    const int64_t b = xMajor ? y1 + sy * moves : x1 + sx * moves;
    if (xMajor)
      PutPixel(page, a, b, colour);
    else
      PutPixel(page, b, a, colour);
  }
  Dirty = true;
}

void TDDOFXGfx::FillRect(int page, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t colour) {
  const int64_t left = std::max<int64_t>(std::min(x1, x2), 0), right = std::min<int64_t>(std::max(x1, x2), kWidth - 1);
  const int64_t top = std::max<int64_t>(std::min(y1, y2), 0), bottom = std::min<int64_t>(std::max(y1, y2), kHeight - 1);
  if (left <= right && top <= bottom) {
    uint8_t* target = Page(page);
    uint8_t* mirror = page == 0 ? Page(3) : nullptr;
    for (int64_t y = top; y <= bottom; ++y) {
      std::memset(target + y * kWidth + left, colour, size_t(right - left + 1));
      if (mirror) std::memset(mirror + y * kWidth + left, colour, size_t(right - left + 1));
    }
  }
  Dirty = true;
}

void TDDOFXGfx::ScrollRect(int page, int64_t x1, int64_t x2, int64_t y1, int64_t y2, int64_t amount, bool wrap) {
  const int64_t left = std::max<int64_t>(std::min(x1, x2), 0), top = std::max<int64_t>(std::min(y1, y2), 0);
  const int64_t width = std::min<int64_t>(std::max(x1, x2), kWidth - 1) - left + 1;
  const int64_t height = std::min<int64_t>(std::max(y1, y2), kHeight - 1) - top + 1;
  if (width <= 0 || height <= 0 || amount == 0) return;
  uint8_t* p = Page(page);
  std::vector<uint8_t> saved(size_t(width * height));
  for (int64_t r = 0; r < height; ++r)
    std::memcpy(saved.data() + r * width, p + (top + r) * kWidth + left, size_t(width));
  for (int64_t i = 0; i < height; ++i) {
    int64_t source = i - (amount % height);
    if (wrap) source = ((source % height) + height) % height;
    // Without wrap a shift of the whole height or more empties every row.
    if (!wrap && (amount >= height || amount <= -height)) source = -1;
    uint8_t* row = p + (top + i) * kWidth + left;
    if (source >= 0 && source < height)
      std::memcpy(row, saved.data() + source * width, size_t(width));
    else
      std::memset(row, Colour, size_t(width));
  }
}

void TDDOFXGfx::CopyPage(int source, int target) {
  if (source == target) return;
  uint8_t* from = Page(source);
  uint8_t* to = Page(target);
  if (from != to) std::memcpy(to, from, kPageSize);
  if (target == 0) {
    uint8_t* mirror = Page(3);
    if (mirror != from) std::memcpy(mirror, from, kPageSize);
    if (!WindowTargeted()) {
      ChangedTextWindow = -1;
      ++PageVersion;
    }
  }
  Dirty = true;
}

void TDDOFXGfx::CopyRect(int source, int target, bool transparent, const TParams& params) {
  const int64_t x1 = std::max<int64_t>(IntParam(params, 0, 0), 0), x2 = std::min<int64_t>(IntParam(params, 1, 0), kWidth - 1);
  const int64_t y1 = std::max<int64_t>(IntParam(params, 2, 0), 0), y2 = std::min<int64_t>(IntParam(params, 3, 0), kHeight - 1);
  const int64_t tx = IntParam(params, 4, 0), ty = IntParam(params, 5, 0);
  const int64_t width = x2 - x1 + 1, height = y2 - y1 + 1;
  if (width <= 0 || height <= 0) return;
  const uint8_t* from = Page(source);
  std::vector<uint8_t> saved(size_t(width * height));
  for (int64_t r = 0; r < height; ++r)
    std::memcpy(saved.data() + r * width, from + (y1 + r) * kWidth + x1, size_t(width));
  uint8_t* to = Page(target);
  uint8_t* mirror = target == 0 ? Page(3) : nullptr;
  const int64_t top = ty - height + 1;
  // Only the rows and columns that land on the page are visited.
  const int64_t r0 = std::max<int64_t>(0, -top), r1 = std::min<int64_t>(height, kHeight - top);
  const int64_t c0 = std::max<int64_t>(0, -tx), c1 = std::min<int64_t>(width, kWidth - tx);
  for (int64_t r = r0; r < r1; ++r)
    for (int64_t c = c0; c < c1; ++c) {
      const uint8_t v = saved[size_t(r * width + c)];
      if (transparent && TransparentColours[v]) continue;
      const size_t at = size_t((top + r) * kWidth + tx + c);
      to[at] = v;
      if (mirror) mirror[at] = v;
    }
  Dirty = true;
}
