// The raycaster's world: map layers and their defaults, the text map, the
// maze generator, textures and their animation, walking with collisions,
// and the objects that fire the door's texts when walked into or faced.
#include "door/uDDOFXRay.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "door/uDDOFXText.h"

using namespace ddofxray;

namespace {

constexpr double kBodyRadius = 0.28;  // the camera keeps this far from a blocked cell
constexpr char kBumpReport = 21;      // NAK: the camera ran into a reporting object

constexpr int kMazeRoomsX = 30, kMazeRoomsY = 8;
constexpr int kMaxTriggerDepth = 8;

int Clamp(int v, int lo, int hi) { return std::max(lo, std::min(hi, v)); }

}  // namespace

TDDOFXRay::TDDOFXRay(TCallbacks callbacks) : FCallbacks(std::move(callbacks)) {
  WallKind.assign(kCells, 0);
  WallTexture.assign(kCells, 0);
  FloorTexture.assign(kCells, 0);
  CeilingTexture.assign(kCells, 0);
  for (auto& layer : ObjectLayers) layer.assign(kCells, 0);
  Profiles.resize(kProfiles + 1);
  CellChains.assign(kCells, 0);
  View.assign(size_t(kViewW * kViewH), 0);
  ColumnHits.resize(kViewW);
  Reset();
}

void TDDOFXRay::Reset() {
  Visible = false;
  ViewX = 0;
  ViewBottom = 159;
  ViewWidth = kViewW;
  ViewHeight = kViewH;
  CurrentObjectLayer = 1;
  MapShown = false;
  MarkerX = MarkerY = 0;
  Demo.clear();
  DemoPos = 0;
  NextDemoAt = 0;
  NextPollAt = 0;
  for (TRayProfile& p : Profiles) p = TRayProfile();
  std::fill(CellChains.begin(), CellChains.end(), 0);
  for (auto& set : TexAnims) set.fill(TRayTexAnim());
  DefaultTextures();
  int column = 0, row = 0;
  CreateMaze(1, 1, 2, true, 10000, column, row);
  PosX = 304;
  PosY = 784;
  Angle = 0;
  LastTriggerX = LastTriggerY = 0;
  NeedsRedraw = true;
}

void TDDOFXRay::DefaultTextures() {
  for (int n = 0; n < kTexNumbers; ++n) {
    TRayTexture& floor = Textures[tsFloorCeiling][size_t(n)];
    TRayTexture& low = Textures[tsLowWall][size_t(n)];
    TRayTexture& high = Textures[tsHighWall][size_t(n)];
    for (int row = 0; row < kTexSide; ++row)
      for (int col = 0; col < kTexSide; ++col) {
        const size_t at = size_t(row * kTexSide + col);
        floor.Pixels[at] = ((col / 8) ^ (row / 8)) & 1 ? 7 : 8;
        const bool mortar =
            row % 8 == 0 || ((row / 8) % 2 == 0 ? col % 16 == 0 : col % 16 == 8);
        low.Pixels[at] = high.Pixels[at] = mortar ? 8 : 6;
      }
    floor.Defined = low.Defined = high.Defined = true;
    Textures[tsLowObject][size_t(n)] = TRayTexture();
    Textures[tsHighObject][size_t(n)] = TRayTexture();
  }
}

// --- Map layers --------------------------------------------------------------

void TDDOFXRay::ClearMap(int texture) {
  const uint8_t n = uint8_t(Clamp(texture, 1, kTexNumbers));
  for (int x = 1; x <= kMapW; ++x)
    for (int y = 1; y <= kMapH; ++y) {
      const int c = Cell(x, y);
      const bool border = !Inner(x, y);
      WallKind[size_t(c)] = border ? 1 : 0;
      WallTexture[size_t(c)] = border ? 1 : 0;
      FloorTexture[size_t(c)] = CeilingTexture[size_t(c)] = border ? 0 : n;
    }
  for (auto& layer : ObjectLayers) std::fill(layer.begin(), layer.end(), 0);
  BillboardsDirty = true;
  NeedsRedraw = true;
}

void TDDOFXRay::LoadMap(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= bytes.size() && lines.size() <= 140) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == bytes.size()) break;
    start = end + 1;
  }
  for (int block = 0; block < 2; ++block)
    for (int i = 0; i <= 61; ++i) {
      const size_t lineNo = size_t((block == 0 ? 9 : 79) + i);
      if (lineNo >= lines.size()) break;
      const std::string& line = lines[lineNo];
      const int y = i + 2;
      // The text is mirrored: position 5 (from 1) is column 243.
      for (int p = 5; p <= std::min<int>(int(line.size()), 246); ++p) {
        const char ch = line[size_t(p - 1)];
        const size_t c = size_t(Cell(248 - p, y));
        if (block == 0) {
          if (ch >= '1' && ch <= '8') {
            if (WallKind[c] == 0) WallKind[c] = 1;
            WallTexture[c] = uint8_t(ch - '0');
            FloorTexture[c] = CeilingTexture[c] = 0;
          } else if (ch >= 'a' && ch <= 'w') {
            WallKind[c] = WallTexture[c] = 0;
            FloorTexture[c] = uint8_t(ch - 96);
            if (CeilingTexture[c] == 0) CeilingTexture[c] = FloorTexture[c];
          }
        } else {
          static const std::string kKinds = "#-|0";
          const size_t kind = kKinds.find(ch);
          if (kind != std::string::npos) {
            WallKind[c] = uint8_t(kind + 1);
            if (WallTexture[c] == 0) WallTexture[c] = 1;
            FloorTexture[c] = CeilingTexture[c] = 0;
          } else if (ch >= 'a' && ch <= 'w' && WallKind[c] == 0) {
            CeilingTexture[c] = uint8_t(ch - 96);
          }
        }
      }
    }
  NeedsRedraw = true;
}

void TDDOFXRay::CreateMaze(int wall, int floor, int ceiling, bool seedGiven, uint32_t seed, int& column, int& row) {
  wall = Clamp(wall, 1, 8);
  floor = Clamp(floor, 1, kTexNumbers);
  ceiling = Clamp(ceiling, 1, kTexNumbers);
  if (!seedGiven) seed = std::random_device{}() & 0x7FFFFFFF;
  std::fill(WallKind.begin(), WallKind.end(), 1);
  std::fill(WallTexture.begin(), WallTexture.end(), uint8_t(wall));
  std::fill(FloorTexture.begin(), FloorTexture.end(), uint8_t(floor));
  std::fill(CeilingTexture.begin(), CeilingTexture.end(), uint8_t(ceiling));
  for (auto& layer : ObjectLayers) std::fill(layer.begin(), layer.end(), 0);
  BillboardsDirty = true;

  // A 4 x 4 square of open cells whose top-left cell is (Left, Top).
  auto carve = [this](int left, int top) {
    for (int x = left; x < left + 4; ++x)
      for (int y = top; y < top + 4; ++y)
        if (InMap(x, y)) WallKind[size_t(Cell(x, y))] = 0;
  };
  auto next = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 16) % uint32_t(n));
  };
  std::vector<bool> visited(size_t(kMazeRoomsX * kMazeRoomsY), false);
  std::vector<std::pair<int, int>> stack = {{0, 0}};
  visited[0] = true;
  carve(5, 5);
  size_t deepest = 0;
  column = 5;
  row = 5;
  while (!stack.empty()) {
    const auto [rx, ry] = stack.back();
    static const int kSteps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    int choices[4], count = 0;
    for (int d = 0; d < 4; ++d) {
      const int nx = rx + kSteps[d][0], ny = ry + kSteps[d][1];
      if (nx >= 0 && nx < kMazeRoomsX && ny >= 0 && ny < kMazeRoomsY && !visited[size_t(ny * kMazeRoomsX + nx)])
        choices[count++] = d;
    }
    if (count == 0) {
      stack.pop_back();
      continue;
    }
    const int d = choices[next(count)];
    const int nx = rx + kSteps[d][0], ny = ry + kSteps[d][1];
    carve(8 * rx + 5 + 4 * kSteps[d][0], 8 * ry + 5 + 4 * kSteps[d][1]);
    carve(8 * nx + 5, 8 * ny + 5);
    visited[size_t(ny * kMazeRoomsX + nx)] = true;
    stack.push_back({nx, ny});
    if (stack.size() > deepest) {
      deepest = stack.size();
      column = 8 * nx + 6;
      row = 8 * ny + 6;
    }
  }
  for (int x = 1; x <= kMapW; ++x)
    for (int y = 1; y <= kMapH; ++y) {
      const size_t c = size_t(Cell(x, y));
      if (!Inner(x, y)) WallKind[c] = 1;
      if (WallKind[c] == 0) WallTexture[c] = 0;
    }
  NeedsRedraw = true;
}

// --- Textures ------------------------------------------------------------------

int TDDOFXRay::LayerByName(const std::string& name, bool objects) {
  static const char* const kNames[kTexSets] = {"FLCL", "LOWALL", "HIWALL", "LOOBJ", "HIOBJ"};
  const std::string wanted = ddofxtext::Upper(ddofxtext::Trim(name));
  for (int set = 0; set < kTexSets; ++set)
    if (wanted == kNames[set]) return (set >= tsLowObject) == objects ? set : -1;
  return -1;
}

void TDDOFXRay::TextureFromSprite(int set, int number, int sprite) {
  if (set < 0 || set >= kTexSets || number < 1 || number > kTexNumbers || sprite < 0 || !FCallbacks.SpritePixels)
    return;
  TRayTexture& texture = Textures[size_t(set)][size_t(number - 1)];
  texture.Pixels.fill(0);
  int w = 0, h = 0;
  const uint8_t* pixels = nullptr;
  if (FCallbacks.SpritePixels(sprite, w, h, pixels) && w > 0 && h > 0 && pixels) {
    // Only the top-left 32 x 32 of a larger sprite is used.
    for (int row = 0; row < std::min(h, kTexSide); ++row)
      for (int col = 0; col < std::min(w, kTexSide); ++col)
        texture.Pixels[size_t(row * kTexSide + col)] = pixels[size_t(row) * size_t(w) + size_t(col)];
    texture.Defined = true;
  } else {
    // A missing object sprite is a transparent texture; a missing wall
    // sprite leaves the wall to its plain colour.
    texture.Defined = set >= tsLowObject;
  }
  NeedsRedraw = true;
}

bool TDDOFXRay::AnimateTextures(int64_t now) {
  bool changed = false;
  for (int set = 0; set < kTexSets; ++set)
    for (int n = 0; n < kTexNumbers; ++n) {
      TRayTexAnim& a = TexAnims[size_t(set)][size_t(n)];
      if (!a.Defined || !a.Playing || a.Mode == 0) continue;
      if (a.NextAt == 0) a.NextAt = now;
      if (now < a.NextAt) continue;
      a.NextAt = now + 1000 / Clamp(a.Rate, 1, 100);
      const int64_t frames = int64_t(a.LastSprite) - a.FirstSprite + 1;
      if (frames <= 0) continue;
      if (a.Mode == 1) {
        a.Offset = int32_t((a.Offset + 1) % frames);
      } else if (a.Mode == 2) {
        if (a.Offset < frames - 1) ++a.Offset;
        else a.Playing = false;
      } else if (a.Mode == 3) {
        if (a.Step == 0) a.Step = 1;
        if (a.Offset + a.Step < 0 || a.Offset + a.Step > frames - 1) a.Step = -a.Step;
        a.Offset = int32_t(std::clamp<int64_t>(a.Offset + a.Step, 0, frames - 1));
      }
      TextureFromSprite(set, n + 1, a.FirstSprite + a.Offset);
      changed = true;
    }
  return changed;
}

// --- The camera ----------------------------------------------------------------

int TDDOFXRay::Heading() const {
  const int h = ((int(std::nearbyint((92160.0 - 360.0 * Angle) / 512.0)) % 360) + 360) % 360;
  return h == 0 ? 360 : h;
}

int TDDOFXRay::CompassOctant() const { return int(std::nearbyint(Heading() / 45.0)) % 8 + 1; }

const char* TDDOFXRay::OctantName(int octant) {
  static const char* const kNames[8] = {"NORTH", "NORTH EAST", "EAST", "SOUTH EAST",
                                        "SOUTH", "SOUTH WEST", "WEST", "NORTH WEST"};
  return octant >= 1 && octant <= 8 ? kNames[octant - 1] : "";
}

void TDDOFXRay::CameraCell(int& x, int& y) const {
  x = int(std::floor(U()));
  y = int(std::floor(V()));
}

bool TDDOFXRay::CellBlocked(int x, int y) {
  if (!Inner(x, y)) return true;
  const size_t c = size_t(Cell(x, y));
  if (WallKind[c] != 0) return true;
  bool blocked = false;
  for (const auto& layer : ObjectLayers) {
    const uint8_t b = layer[c];
    const int kind = (b >> 4) & 3;
    if ((b & 15) == 0 || (kind != 1 && kind != 2)) continue;
    blocked = true;
    if (kind == 2 && FBumpX == 0) {
      FBumpX = x;
      FBumpY = y;
    }
  }
  return blocked;
}

bool TDDOFXRay::BoxBlocked(double u, double v) {
  bool blocked = false;
  for (int x = int(std::floor(u - kBodyRadius)); x <= int(std::floor(u + kBodyRadius)); ++x)
    for (int y = int(std::floor(v - kBodyRadius)); y <= int(std::floor(v + kBodyRadius)); ++y)
      if (CellBlocked(x, y)) blocked = true;
  return blocked;
}

void TDDOFXRay::Walk(int distance, bool marker) {
  if (distance == 0) return;
  const double a = Angle * M_PI / 256;
  const double dx = -std::sin(a) * distance, dy = std::cos(a) * distance;
  FBumpX = FBumpY = 0;
  const double oldX = PosX, oldY = PosY;
  // Each axis on its own: a blocked one does not move, so the camera slides
  // along walls.
  if (!BoxBlocked((PosX + dx) / 32 - 4, V())) PosX += dx;
  if (!BoxBlocked(U(), (PosY + dy) / 32 - 19)) PosY += dy;
  if (PosX != oldX || PosY != oldY) {
    NeedsRedraw = true;
    AfterMove(marker);
  }
  if (FBumpX != 0 && Visible) {
    Visible = false;
    if (FCallbacks.ForwardReply)
      FCallbacks.ForwardReply(std::string(1, kBumpReport) + std::to_string(FBumpX) + "," + std::to_string(FBumpY));
  }
}

void TDDOFXRay::AfterMove(bool marker) {
  if (marker) UpdateMapMarker();
  int x = 0, y = 0;
  CameraCell(x, y);
  if (x == LastTriggerX && y == LastTriggerY) return;
  LastTriggerX = x;
  LastTriggerY = y;
  FireCellTriggers(true, -1, -1);
}

// --- Objects ---------------------------------------------------------------------

void TDDOFXRay::FireCellTriggers(bool walkIn, int keyHigh, int keyLow) {
  int x = 0, y = 0;
  CameraCell(x, y);
  if (!InMap(x, y)) return;
  // An object's macro may move the camera onto another object whose macro
  // moves it back: the nesting is cut rather than the stack overflowing.
  if (FTriggerDepth >= kMaxTriggerDepth) return;
  ++FTriggerDepth;
  std::vector<bool> seen(size_t(kProfiles + 1), false);
  int n = CellChains[size_t(Cell(x, y))];
  for (int followed = 0; followed < kChainLimit && n >= 1 && n <= kProfiles && !seen[size_t(n)]; ++followed) {
    seen[size_t(n)] = true;
    const TRayProfile& p = Profiles[size_t(n)];
    if (!p.Active) break;
    bool fires = false;
    if (!p.KeyTriggered) {
      fires = walkIn;
    } else if (p.Facing == 9 || p.Facing == CompassOctant()) {
      if (p.KeyHigh >= 0 || p.KeyLow >= 0) {
        // A zero part matches any key; the pair 0, 0 matches none.
        fires = !(p.KeyHigh == 0 && p.KeyLow == 0) && (p.KeyHigh == 0 || p.KeyHigh == keyHigh) &&
                (p.KeyLow == 0 || p.KeyLow == keyLow);
      } else {
        // A pair negative in both parts asks for a zero pair and zero
        // extras at once: such an object never fires.
        fires = p.KeyHigh == 0 && p.KeyLow == 0 && p.Extra1 == 0 && p.Extra2 == 0;
      }
    }
    const int next = p.Next;
    if (fires && FCallbacks.FireGadget) FCallbacks.FireGadget(p.SendText, p.Macro);
    n = next;
  }
  --FTriggerDepth;
}

void TDDOFXRay::KeyPress(int hkey, int lkey) {
  if (Visible) FireCellTriggers(false, hkey, lkey);
}

void TDDOFXRay::DeleteProfile(int n) {
  if (n < 0 || n > kProfiles) return;
  if (n == 0) {
    for (TRayProfile& p : Profiles) p = TRayProfile();
    std::fill(CellChains.begin(), CellChains.end(), 0);
    return;
  }
  for (uint16_t& head : CellChains)
    if (head == n) head = 0;
  for (TRayProfile& p : Profiles)
    if (p.Next == n) p.Next = 0;
  Profiles[size_t(n)] = TRayProfile();
}
