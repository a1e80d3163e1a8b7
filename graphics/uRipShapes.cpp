// The drawing primitives of the RIP canvas: lines, rectangles, ellipses,
// arcs, polygons, Bezier curves and fills. Every shape is cut to the clip
// area (viewport and surface) before its loops run, so a shape far off the
// canvas costs no more than one that fits; the pixels that do show are the
// ones the whole shape would have drawn.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "graphics/uRipCanvas.h"

namespace {

using i128 = __int128;

i128 FloorDiv(i128 a, i128 b) {  // b > 0
  i128 q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}
i128 CeilDiv(i128 a, i128 b) { return -FloorDiv(-a, b); }  // b > 0

// Radii beyond this are drawn from the curve's equation over the visible
// rows and columns instead of by stepping along the whole outline.
constexpr int64_t kMaxSteppedRadius = 8192;
constexpr int64_t kMaxRadius = 0x7FFFFFFF;

int64_t Sign(int64_t v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

}  // namespace

// ---------------------------------------------------------------- lines

void TRipCanvas::StyledLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int color, uint16_t pattern) {
  // Always drawn from the upper end, so a pattern's phase does not depend on
  // the order the endpoints came in.
  if (y2 < y1) std::swap(x1, x2), std::swap(y1, y2);
  const int64_t dx = x2 > x1 ? x2 - x1 : x1 - x2, dy = y2 - y1;
  const bool xMajor = dx >= dy;
  const int64_t n = std::max(dx, dy);
  if (n == 0) {
    if (pattern & 1) PutPixel(x1, y1, color);
    return;
  }
  const int64_t majStart = xMajor ? x1 : y1, minStart = xMajor ? y1 : x1;
  const int64_t majStep = xMajor ? Sign(x2 - x1) : 1, minStep = xMajor ? 1 : Sign(x2 - x1);
  const int64_t m = xMajor ? dy : dx, h = n / 2;
  // Point i lies at major = majStart + i * majStep and minor = minStart +
  // floor((h + i * m) / n) * minStep; only the run of i that lands inside
  // the clip area is visited.
  const int64_t cx1 = std::max<int64_t>(FViewX1, 0), cx2 = std::min<int64_t>(FViewX2, kWidth - 1);
  const int64_t cy1 = std::max<int64_t>(FViewY1, 0), cy2 = std::min<int64_t>(FViewY2, kHeight - 1);
  if (cx1 > cx2 || cy1 > cy2) return;
  const int64_t majLo = xMajor ? cx1 : cy1, majHi = xMajor ? cx2 : cy2;
  const int64_t minLo = xMajor ? cy1 : cx1, minHi = xMajor ? cy2 : cx2;
  i128 lo = 0, hi = n;
  if (majStep > 0) {
    lo = std::max<i128>(lo, i128(majLo) - majStart);
    hi = std::min<i128>(hi, i128(majHi) - majStart);
  } else {
    lo = std::max<i128>(lo, i128(majStart) - majHi);
    hi = std::min<i128>(hi, i128(majStart) - majLo);
  }
  // The steps q = floor((h + i m) / n) the minor coordinate may take.
  i128 qLo, qHi;
  if (minStep >= 0) {
    qLo = i128(minLo) - minStart, qHi = i128(minHi) - minStart;
  } else {
    qLo = i128(minStart) - minHi, qHi = i128(minStart) - minLo;
  }
  if (m == 0) {
    if (qLo > 0 || qHi < 0) return;
  } else {
    lo = std::max<i128>(lo, CeilDiv(qLo * n - h, m));
    hi = std::min<i128>(hi, FloorDiv((qHi + 1) * n - h - 1, m));
  }
  for (i128 i = lo; i <= hi; ++i) {
    if (!((pattern >> int(i % 16)) & 1)) continue;
    const int64_t maj = majStart + int64_t(i) * majStep;
    const int64_t minor = minStart + int64_t(FloorDiv(h + i * m, n)) * minStep;
    if (xMajor)
      PutPixel(maj, minor, color);
    else
      PutPixel(minor, maj, color);
  }
}

void TRipCanvas::DrawLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  StyledLine(x1, y1, x2, y2, FColor, FLinePattern);
  if (FThickness != 3) return;
  const int64_t dx = x2 > x1 ? x2 - x1 : x1 - x2, dy = y2 > y1 ? y2 - y1 : y1 - y2;
  if (dy < dx) {
    StyledLine(x1, y1 - 1, x2, y2 - 1, FColor, FLinePattern);
    StyledLine(x1, y1 + 1, x2, y2 + 1, FColor, FLinePattern);
  } else {
    StyledLine(x1 - 1, y1, x2 - 1, y2, FColor, FLinePattern);
    StyledLine(x1 + 1, y1, x2 + 1, y2, FColor, FLinePattern);
  }
}

void TRipCanvas::Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  DrawLine(x1, y1, x2, y2);
  MoveTo(int32_t(x2), int32_t(y2));
}

void TRipCanvas::Rectangle(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  DrawLine(x1, y1, x2, y1);
  DrawLine(x2, y1, x2, y2);
  DrawLine(x2, y2, x1, y2);
  DrawLine(x1, y2, x1, y1);
}

// ---------------------------------------------------------------- fills

void TRipCanvas::PatternSpan(int y, int64_t x1, int64_t x2) {
  if (y < FViewY1 || y > FViewY2 || y < 0 || y >= kHeight) return;
  if (x1 > x2) std::swap(x1, x2);
  const int from = int(std::max<int64_t>({x1, FViewX1, 0}));
  const int to = int(std::min<int64_t>({x2, FViewX2, kWidth - 1}));
  if (from > to) return;
  const uint8_t bits = FFillPattern[y & 7];
  const uint32_t fill = platform::PackRGB(FPalette[FFillColor].R, FPalette[FFillColor].G, FPalette[FFillColor].B);
  const uint32_t back = platform::PackRGB(FPalette[0].R, FPalette[0].G, FPalette[0].B);
  const size_t row = size_t(y) * kWidth;
  uint32_t* px = FBits.Pixels() + row;
  for (int x = from; x <= to; ++x) {
    const bool set = (bits >> (7 - (x & 7))) & 1;
    px[x] = set ? fill : back;
    FIndex[row + x] = set ? FFillColor : 0;
    FDrawn[row + x] = 1;
  }
  FDirty = true;
}

void TRipCanvas::Bar(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  if (y1 > y2) std::swap(y1, y2);
  const int64_t from = std::max<int64_t>({y1, FViewY1, 0}), to = std::min<int64_t>({y2, FViewY2, kHeight - 1});
  for (int64_t y = from; y <= to; ++y) PatternSpan(int(y), x1, x2);
}

void TRipCanvas::FillRect(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int color) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const int64_t fromY = std::max<int64_t>({y1, FViewY1, 0}), toY = std::min<int64_t>({y2, FViewY2, kHeight - 1});
  const int64_t fromX = std::max<int64_t>({x1, FViewX1, 0}), toX = std::min<int64_t>({x2, FViewX2, kWidth - 1});
  for (int64_t y = fromY; y <= toY; ++y)
    for (int64_t x = fromX; x <= toX; ++x) PutPixel(x, y, color);
}

void TRipCanvas::EraseViewport() {
  if (FViewX1 <= FViewX2 && FViewY1 <= FViewY2) FillRect(FViewX1, FViewY1, FViewX2, FViewY2, 0);
}

// ---------------------------------------------------------------- ellipses

void TRipCanvas::Ellipse(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int color) {
  if (rx <= 0 || ry <= 0) {
    PutPixel(cx, cy, color);
    return;
  }
  rx = std::min(rx, kMaxRadius), ry = std::min(ry, kMaxRadius);
  const int64_t cx1 = std::max<int64_t>(FViewX1, 0), cx2 = std::min<int64_t>(FViewX2, kWidth - 1);
  const int64_t cy1 = std::max<int64_t>(FViewY1, 0), cy2 = std::min<int64_t>(FViewY2, kHeight - 1);
  if (cx + rx < cx1 || cx - rx > cx2 || cy + ry < cy1 || cy - ry > cy2) return;
  auto plot4 = [&](int64_t x, int64_t y) {
    PutPixel(cx + x, cy + y, color);
    PutPixel(cx - x, cy + y, color);
    PutPixel(cx + x, cy - y, color);
    PutPixel(cx - x, cy - y, color);
  };
  if (rx > kMaxSteppedRadius || ry > kMaxSteppedRadius) {
    // Far larger than the canvas: the outline's points on each visible row
    // and column, from the curve's equation.
    for (int64_t y = cy1; y <= cy2; ++y) {
      const long double d = (long double)(y - cy) / ry;
      if (d < -1 || d > 1) continue;
      const int64_t x = std::llround(rx * std::sqrt(1 - d * d));
      PutPixel(cx + x, y, color);
      PutPixel(cx - x, y, color);
    }
    for (int64_t x = cx1; x <= cx2; ++x) {
      const long double d = (long double)(x - cx) / rx;
      if (d < -1 || d > 1) continue;
      const int64_t y = std::llround(ry * std::sqrt(1 - d * d));
      PutPixel(x, cy + y, color);
      PutPixel(x, cy - y, color);
    }
    return;
  }
  // Midpoint method in two regions.
  const int64_t a = rx * rx, b = ry * ry;
  int64_t x = 0, y = ry;
  int64_t p = int64_t(std::nearbyint(double(b) - double(a) * double(ry) + double(a) / 4.0));
  int64_t dx = 0, dy = 2 * a * ry;
  while (dx < dy) {
    plot4(x, y);
    ++x;
    dx += 2 * b;
    if (p < 0) {
      p += dx + b;
    } else {
      --y;
      dy -= 2 * a;
      p += dx - dy + b;
    }
  }
  p = int64_t(std::nearbyint(double(b) * (x + 0.5) * (x + 0.5) + double(a) * double(y - 1) * double(y - 1) -
                             double(a) * double(b)));
  while (y >= 0) {
    plot4(x, y);
    --y;
    dy -= 2 * a;
    if (p > 0) {
      p += a - dy;
    } else {
      ++x;
      dx += 2 * b;
      p += dx - dy + a;
    }
  }
}

void TRipCanvas::Circle(int64_t x, int64_t y, int64_t r) { Ellipse(x, y, r, r * 7750 / 10000, FColor); }

void TRipCanvas::FillEllipse(int64_t cx, int64_t cy, int64_t rx, int64_t ry) {
  if (rx <= 0 || ry <= 0) return;
  rx = std::min(rx, kMaxRadius), ry = std::min(ry, kMaxRadius);
  // Every (dx, dy) with dx^2 ry^2 + dy^2 rx^2 <= rx^2 ry^2 is filled: on each
  // visible row that is one run |dx| <= d, found directly.
  const i128 rx2 = i128(rx) * rx, ry2 = i128(ry) * ry, limit = rx2 * ry2;
  const int64_t fromY = std::max<int64_t>({cy - ry, FViewY1, 0});
  const int64_t toY = std::min<int64_t>({cy + ry, FViewY2, kHeight - 1});
  for (int64_t y = fromY; y <= toY; ++y) {
    const int64_t dyv = y - cy;
    const i128 room = limit - i128(dyv) * dyv * rx2;  // what d^2 ry^2 may use
    if (room < 0) continue;
    int64_t d = int64_t(std::sqrt((long double)room / (long double)ry2));
    while (d > 0 && i128(d) * d * ry2 > room) --d;
    while (i128(d + 1) * (d + 1) * ry2 <= room) ++d;
    d = std::min(d, rx);
    PatternSpan(int(y), cx - d, cx + d);
  }
  Ellipse(cx, cy, rx, ry, FColor);
}

// ---------------------------------------------------------------- arcs

void TRipCanvas::ArcPoints(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int start, int end,
                           std::vector<TRipPoint>& out) const {
  if (end < start) end += (start - end + 359) / 360 * 360;  // while End < Start: End + 360
  if (end - start > 360) end = start + 360;
  const double span = (end - start) * std::numbers::pi / 180.0;
  const double lengthSteps = std::nearbyint(double(std::max(rx, ry)) * span);
  const int n = int(std::clamp(lengthSteps, 8.0, 4000.0));
  const double a0 = start * std::numbers::pi / 180.0;
  out.clear();
  out.reserve(size_t(n) + 1);
  for (int k = 0; k <= n; ++k) {
    const double angle = a0 + span * k / n;
    out.push_back({int32_t(cx + int64_t(std::nearbyint(std::cos(angle) * double(rx)))),
                   int32_t(cy - int64_t(std::nearbyint(std::sin(angle) * double(ry))))});
  }
}

void TRipCanvas::Arc(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int start, int end) {
  std::vector<TRipPoint> pts;
  ArcPoints(cx, cy, rx, ry, start, end, pts);
  const uint16_t saved = FLinePattern;
  FLinePattern = 0xFFFF;
  for (size_t k = 1; k < pts.size(); ++k) DrawLine(pts[k - 1].x, pts[k - 1].y, pts[k].x, pts[k].y);
  FLinePattern = saved;
}

void TRipCanvas::PieSlice(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int start, int end) {
  std::vector<TRipPoint> pts;
  ArcPoints(cx, cy, rx, ry, start, end, pts);
  pts.insert(pts.begin(), TRipPoint{int32_t(cx), int32_t(cy)});
  const uint16_t saved = FLinePattern;
  FLinePattern = 0xFFFF;
  FillPolygon(pts);
  FLinePattern = saved;
}

// ---------------------------------------------------------------- polygons

void TRipCanvas::DrawPolygon(const TRipPointArray& points) {
  if (points.size() < 2) return;
  for (size_t i = 0; i + 1 < points.size(); ++i)
    DrawLine(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y);
  DrawLine(points.back().x, points.back().y, points.front().x, points.front().y);
}

void TRipCanvas::Polyline(const TRipPointArray& points) {
  if (points.size() < 2) return;
  for (size_t i = 0; i + 1 < points.size(); ++i)
    DrawLine(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y);
}

void TRipCanvas::FillPolygon(const TRipPointArray& points) {
  if (points.size() < 2) return;
  DrawPolygon(points);
  if (points.size() < 3) return;
  int64_t minY = points[0].y, maxY = points[0].y;
  for (const TRipPoint& p : points) minY = std::min<int64_t>(minY, p.y), maxY = std::max<int64_t>(maxY, p.y);
  minY = std::max<int64_t>({minY, FViewY1, 0});
  maxY = std::min<int64_t>({maxY, FViewY2, kHeight - 1});
  const size_t n = points.size();
  std::vector<int64_t> xs;
  xs.reserve(n);
  for (int64_t y = minY; y <= maxY; ++y) {
    xs.clear();
    for (size_t i = 0; i < n; ++i) {
      const TRipPoint& a = points[i];
      const TRipPoint& b = points[(i + 1) % n];
      if ((a.y <= y && y < b.y) || (b.y <= y && y < a.y))
        xs.push_back((int64_t(b.x) - a.x) * (y - a.y) / (int64_t(b.y) - a.y) + a.x);
    }
    for (size_t i = 1; i < xs.size(); ++i)  // insertion sort: a handful of crossings per row
      for (size_t j = i; j > 0 && xs[j - 1] > xs[j]; --j) std::swap(xs[j - 1], xs[j]);
    for (size_t i = 0; i + 1 < xs.size(); i += 2) PatternSpan(int(y), xs[i], xs[i + 1]);
  }
}

// ---------------------------------------------------------------- Bezier

void TRipCanvas::Bezier(const TRipPointArray& points, int high, int segments) {
  if (high < 3 || points.size() < 4) return;
  const TRipPoint &p0 = points[0], &p1 = points[1], &p2 = points[2], &p3 = points[3];
  if (segments < 1) {
    auto len = [](const TRipPoint& a, const TRipPoint& b) { return std::hypot(double(b.x - a.x), double(b.y - a.y)); };
    segments = int((len(p0, p1) + len(p1, p2) + len(p2, p3)) / 10);
    segments = std::clamp(segments, 5, 500);
  }
  const double step = 1.0 / segments;
  int64_t px = p0.x, py = p0.y;
  for (double t = step; t < 1; t += step) {
    const double u = 1 - t;
    const double x = u * u * u * p0.x + 3 * t * u * u * p1.x + 3 * t * t * u * p2.x + t * t * t * p3.x;
    const double y = u * u * u * p0.y + 3 * t * u * u * p1.y + 3 * t * t * u * p2.y + t * t * t * p3.y;
    const int64_t nx = int64_t(std::floor(x)), ny = int64_t(std::floor(y));
    DrawLine(px, py, nx, ny);
    px = nx, py = ny;
  }
  DrawLine(px, py, p3.x, p3.y);
}

// ---------------------------------------------------------------- flood fills

void TRipCanvas::FloodFill(int x, int y, int border) { FloodFillSpans(x, y, FFillColor, border); }

void TRipCanvas::FloodFillSpans(int x, int y, int fillColor, int border) {
  if (!InClip(x, y) || GetPixel(x, y) == border) return;
  const uint8_t savedFill = FFillColor;
  FFillColor = uint8_t(fillColor & 15);
  std::vector<uint8_t> visited(kPixels, 0);
  const int cx1 = std::max(FViewX1, 0), cx2 = std::min(FViewX2, kWidth - 1);
  const int cy1 = std::max(FViewY1, 0), cy2 = std::min(FViewY2, kHeight - 1);
  auto inside = [&](int px, int py) {
    if (px < cx1 || px > cx2 || py < cy1 || py > cy2) return false;
    const size_t i = At(px, py);
    if (visited[i]) return false;
    return (FIndex[i] != kNoIndex ? FIndex[i] : GetPixel(px, py)) != border;
  };
  struct TSeed {
    int x, y;
  };
  std::vector<TSeed> stack;
  stack.reserve(4096);  // grows as needed: no part of the area is ever given up
  stack.push_back({x, y});
  while (!stack.empty()) {
    const TSeed s = stack.back();
    stack.pop_back();
    if (!inside(s.x, s.y)) continue;
    int left = s.x, right = s.x;
    while (inside(left - 1, s.y)) --left;
    while (inside(right + 1, s.y)) ++right;
    for (int i = left; i <= right; ++i) visited[At(i, s.y)] = 1;
    PatternSpan(s.y, left, right);
    for (int ny : {s.y - 1, s.y + 1}) {
      if (ny < 0 || ny >= kHeight) continue;
      bool inRun = false;
      for (int i = left; i <= right; ++i) {
        const bool in = inside(i, ny);
        if (in && !inRun) stack.push_back({i, ny});
        inRun = in;
      }
    }
  }
  FFillColor = savedFill;
}

void TRipCanvas::FillSameColor(int x, int y, int color) {
  if (color < 0 || color > 15) color = 15;  // as PutPixel paints it
  const uint8_t from = GetPixel(x, y);
  if (from == kNoIndex || from == color) return;
  // A growable stack: a large area is always filled whole.
  std::vector<TRipPoint> stack;
  stack.reserve(32768);
  stack.push_back({x, y});
  while (!stack.empty()) {
    const TRipPoint p = stack.back();
    stack.pop_back();
    if (GetPixel(p.x, p.y) != from) continue;
    PutPixel(p.x, p.y, color);
    stack.push_back({p.x + 1, p.y});
    stack.push_back({p.x - 1, p.y});
    stack.push_back({p.x, p.y + 1});
    stack.push_back({p.x, p.y - 1});
  }
}
