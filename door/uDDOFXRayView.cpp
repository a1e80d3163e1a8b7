// The raycaster's picture: the 320 x 160 first-person view cast from the
// map (textured floors, ceilings, walls two textures high, panels and
// billboards), copied scaled into the engine's pages, the overhead 2D map
// with its marker, demo playback and the tick that drives them.
#include <algorithm>
#include <cmath>

#include "door/uDDOFXRay.h"

using namespace ddofxray;

namespace {

double Frac(double x) { return x - std::floor(x); }
int Mod32(int v) { return ((v % kTexSide) + kTexSide) % kTexSide; }
// Truncates towards the int range, so far-off values clip instead of overflowing.
int FloorInt(double v) { return int(std::clamp(std::floor(v), -1e9, 1e9)); }
int CeilInt(double v) { return int(std::clamp(std::ceil(v), -1e9, 1e9)); }

constexpr int kHorizon = 80;
constexpr int kMaxSteps = 401;
constexpr uint8_t kUndefinedWall = 7;
constexpr int64_t kDemoStepMs = 40;
constexpr int64_t kPollMs = 250;

}  // namespace

void TDDOFXRay::AddHit(int column, double distance, double u, int texture) {
  std::vector<TRayHit>& hits = ColumnHits[size_t(column)];
  if (hits.size() < kMaxColumnHits) hits.push_back({float(distance), float(u), uint8_t(texture)});
}

void TDDOFXRay::CollectPanels(int column, int x, int y, double rx, double ry) {
  const double u = U(), v = V();
  const size_t c = size_t(Cell(x, y));
  for (const auto& layer : ObjectLayers) {
    const uint8_t b = layer[c];
    if ((b & 15) == 0 || b <= 63) continue;
    const int shape = b >> 6;
    if (shape == 1 && std::fabs(ry) > 1e-9) {
      // A panel across the cell at y + 0.5.
      const double t = (y + 0.5 - v) / ry;
      if (t > 0.05 && FloorInt(u + t * rx) == x) AddHit(column, t, 1 - Frac(u + t * rx), b & 15);
    } else if (shape == 2 && std::fabs(rx) > 1e-9) {
      // A panel across the cell at x + 0.5.
      const double t = (x + 0.5 - u) / rx;
      if (t > 0.05 && FloorInt(v + t * ry) == y) AddHit(column, t, Frac(v + t * ry), b & 15);
    }
  }
}

// One column of a wall or object at Distance: two textures high, the upper
// half from the high set, the lower from the low one.
void TDDOFXRay::PaintColumn(int column, double distance, int texture, int texColumn, bool objects) {
  const double s = kProjection / distance;
  const int top = std::max(0, FloorInt(kHorizon - s));
  const int bottom = std::min(kViewH - 1, CeilInt(kHorizon + s) - 1);
  const int n = texture - 1;
  const TRayTexture& high = Textures[objects ? tsHighObject : tsHighWall][size_t(n)];
  const TRayTexture& low = Textures[objects ? tsLowObject : tsLowWall][size_t(n)];
  for (int y = top; y <= bottom; ++y) {
    const int t = std::clamp(FloorInt((y + 0.5 - (kHorizon - s)) / (2 * s) * 64), 0, 63);
    const TRayTexture& tex = t < 32 ? high : low;
    const int row = t < 32 ? t : t - 32;
    uint8_t& out = View[size_t(y * kViewW + column)];
    if (!tex.Defined) {
      if (!objects) out = kUndefinedWall;
      continue;
    }
    const uint8_t pixel = tex.Pixels[size_t(row * kTexSide + texColumn)];
    if (objects && pixel == 0) continue;  // transparent
    out = pixel;
  }
}

void TDDOFXRay::RenderView() {
  for (auto& hits : ColumnHits) hits.clear();
  const double a = Angle * M_PI / 256;
  const double dx = -std::sin(a), dy = std::cos(a);
  const double px = std::cos(a), py = std::sin(a);
  const double u = U(), v = V();
  double k[kViewW];
  for (int c = 0; c < kViewW; ++c) k[c] = ((c + 0.5) * 2 / kViewW - 1) * kTan30;

  // Floor and ceiling.
  for (int r = 0; r < kViewH; ++r) {
    const bool floor = r >= kHorizon;
    const double t = kProjection / (floor ? r - 79.5 : 79.5 - r);
    const std::vector<uint8_t>& layer = floor ? FloorTexture : CeilingTexture;
    uint8_t* out = &View[size_t(r * kViewW)];
    for (int c = 0; c < kViewW; ++c) {
      const double wx = u + t * (dx + k[c] * px), wy = v + t * (dy + k[c] * py);
      const int x = FloorInt(wx), y = FloorInt(wy);
      uint8_t pixel = 0;
      if (InMap(x, y)) {
        const int n = layer[size_t(Cell(x, y))];
        if (n >= 1 && n <= kTexNumbers && Textures[tsFloorCeiling][size_t(n - 1)].Defined)
          pixel = Textures[tsFloorCeiling][size_t(n - 1)]
                      .Pixels[size_t(Mod32(FloorInt(Frac(wy) * 32)) * kTexSide + Mod32(FloorInt((1 - Frac(wx)) * 32)))];
      }
      out[c] = pixel;
    }
  }

  // Walls, by stepping each column's ray from cell to cell.
  for (int c = 0; c < kViewW; ++c) {
    const double rx = dx + k[c] * px, ry = dy + k[c] * py;
    int x = FloorInt(u), y = FloorInt(v);
    const int stepX = rx >= 0 ? 1 : -1, stepY = ry >= 0 ? 1 : -1;
    const double deltaX = std::fabs(rx) < 1e-9 ? 1e30 : std::fabs(1 / rx);
    const double deltaY = std::fabs(ry) < 1e-9 ? 1e30 : std::fabs(1 / ry);
    double sideX = rx >= 0 ? (x + 1 - u) * deltaX : (u - x) * deltaX;
    double sideY = ry >= 0 ? (y + 1 - v) * deltaY : (v - y) * deltaY;
    bool hit = false, xStep = false;
    for (int step = 0; step < kMaxSteps; ++step) {
      if (InMap(x, y)) CollectPanels(c, x, y, rx, ry);
      if (sideX < sideY) {
        sideX += deltaX;
        x += stepX;
        xStep = true;
      } else {
        sideY += deltaY;
        y += stepY;
        xStep = false;
      }
      if (!InMap(x, y) || WallKind[size_t(Cell(x, y))] != 0) {
        hit = true;
        break;
      }
    }
    const double distance = hit ? std::max(xStep ? sideX - deltaX : sideY - deltaY, 1e-4) : 1e30;
    Depth[size_t(c)] = float(distance);
    double w = xStep ? Frac(v + distance * ry) : Frac(u + distance * rx);
    if ((xStep && rx > 0) || (!xStep && ry < 0)) w = 1 - w;
    int texture = InMap(x, y) ? std::min<int>(WallTexture[size_t(Cell(x, y))], 8) : 1;
    if (texture == 0) texture = 1;
    PaintColumn(c, distance, texture, Mod32(FloorInt(w * 32)), false);
  }

  // Billboards: objects that always face the camera.
  if (BillboardsDirty) {
    BillboardCells.clear();
    for (int l = 0; l < kObjectLayers; ++l)
      for (int x = 1; x <= kMapW; ++x)
        for (int y = 1; y <= kMapH; ++y)
          if (ObjectLayers[size_t(l)][size_t(Cell(x, y))] > 191) BillboardCells.push_back({l, x, y});
    BillboardsDirty = false;
  }
  for (const TBillboardCell& b : BillboardCells) {
    const uint8_t byte = ObjectLayers[size_t(b.Layer)][size_t(Cell(b.X, b.Y))];
    if ((byte & 15) == 0 || byte <= 191) continue;
    const double ox = b.X + 0.5 - u, oy = b.Y + 0.5 - v;
    const double depth = dx * ox + dy * oy;
    if (depth < 0.1) continue;
    const double centre = ((px * ox + py * oy) / depth / kTan30 + 1) * 160;
    const double half = 0.5 / depth / kTan30 * 160;
    const int first = std::max(0, FloorInt(centre - half)), last = std::min(kViewW - 1, CeilInt(centre + half) - 1);
    for (int c = first; c <= last; ++c) {
      const double q = (c + 0.5 - (centre - half)) / (2 * half);
      if (q >= 0 && q < 1) AddHit(c, depth, q, byte & 15);
    }
  }

  // Objects, farthest first, where they stand before the wall.
  for (int c = 0; c < kViewW; ++c) {
    std::vector<TRayHit>& hits = ColumnHits[size_t(c)];
    std::stable_sort(hits.begin(), hits.end(), [](const TRayHit& a, const TRayHit& b) { return a.Distance > b.Distance; });
    for (const TRayHit& h : hits)
      if (h.Distance < Depth[size_t(c)]) PaintColumn(c, h.Distance, h.Texture, Mod32(FloorInt(h.U * 32)), true);
  }
}

void TDDOFXRay::BlitView() {
  if (!FPage0) return;
  for (int i = 0; i < ViewHeight; ++i) {
    const int y = ViewBottom - ViewHeight + 1 + i;
    if (y < 0 || y >= kPageH) continue;
    const uint8_t* source = &View[size_t(i * kViewH / ViewHeight * kViewW)];
    for (int j = 0; j < ViewWidth; ++j) {
      const int x = ViewX + j;
      if (x < 0 || x >= kPageW) continue;
      const uint8_t pixel = source[j * kViewW / ViewWidth];
      FPage0[size_t(y * kPageW + x)] = pixel;
      if (FPage3) FPage3[size_t(y * kPageW + x)] = pixel;
    }
  }
}

// --- The 2D map ----------------------------------------------------------------

void TDDOFXRay::PutMapPixel(int x, int y, uint8_t colour) {
  // Mirrored left to right, like the text map it came from.
  const int64_t px = int64_t(MapOriginX) + kMapW - x, py = int64_t(MapOriginY) + y - 1;
  if (px < 0 || px >= kPageW || py < 0 || py >= kPageH) return;
  const size_t at = size_t(py * kPageW + px);
  if (FPage0) FPage0[at] = colour;
  if (FPage3) FPage3[at] = colour;
}

void TDDOFXRay::DrawMapCell(int x, int y) {
  if (!InMap(x, y)) return;
  PutMapPixel(x, y, WallKind[size_t(Cell(x, y))] != 0 ? MapWallColour : MapFloorColour);
}

void TDDOFXRay::DrawMap() {
  for (int x = 1; x <= kMapW; ++x)
    for (int y = 1; y <= kMapH; ++y) DrawMapCell(x, y);
  MarkerX = 0;
  MapShown = true;
  UpdateMapMarker();
}

void TDDOFXRay::UpdateMapMarker() {
  if (!MapShown || (!FPage0 && !FPage3)) return;
  int x = 0, y = 0;
  CameraCell(x, y);
  if (x == MarkerX && y == MarkerY) return;
  if (MarkerX != 0) DrawMapCell(MarkerX, MarkerY);
  MarkerX = x;
  MarkerY = y;
  if (!InMap(x, y)) return;
  const int64_t px = int64_t(MapOriginX) + kMapW - x, py = int64_t(MapOriginY) + y - 1;
  if (px < 0 || px >= kPageW || py < 0 || py >= kPageH) return;
  const size_t at = size_t(py * kPageW + px);
  if (FPage0) FPage0[at] ^= 15;
  if (FPage3) FPage3[at] ^= 15;
}

// --- Demo playback and the tick ------------------------------------------------

void TDDOFXRay::LoadDemo(const std::string& bytes) {
  Demo.clear();
  for (size_t at = 0; at + 6 <= bytes.size(); at += 6) {
    auto word = [&](size_t i) {
      return int16_t(uint16_t(uint8_t(bytes[at + i])) | uint16_t(uint8_t(bytes[at + i + 1])) << 8);
    };
    Demo.push_back({word(0), word(2), word(4)});
  }
  DemoPos = 0;
  NextDemoAt = 0;
}

bool TDDOFXRay::Tick(uint8_t* page0, uint8_t* page3, uint64_t nowMs) {
  Now = int64_t(nowMs);
  FPage0 = page0;
  FPage3 = page3;
  if (AnimateTextures(Now)) NeedsRedraw = true;
  if (DemoPos < Demo.size()) {
    if (NextDemoAt == 0) NextDemoAt = Now;
    while (DemoPos < Demo.size() && Now >= NextDemoAt) {
      const TRayRec& r = Demo[DemoPos++];
      PosX = r.X;
      PosY = r.Y;
      Angle = r.Angle & 511;
      NextDemoAt += kDemoStepMs;
      NeedsRedraw = true;
      AfterMove(true);
      if (NextDemoAt == 0) break;  // an object's macro started another demo
    }
    if (DemoPos >= Demo.size()) {
      Demo.clear();
      DemoPos = 0;
    }
  }
  if (Visible && Now >= NextPollAt) {
    NextPollAt = Now + kPollMs;
    FireCellTriggers(false, -1, -1);
  }
  if (!Visible || !NeedsRedraw) return false;
  RenderView();
  BlitView();
  NeedsRedraw = false;
  return true;
}
