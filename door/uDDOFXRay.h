// The door's first-person maze view. The graphics engine owns one, hands it
// every command that begins with "5", ticks it and passes it keys; it reaches
// the engine only through the five callbacks below. It owns the maze (seven
// layers of 244 x 64 cells), its textures and objects, the camera, the cast
// 320 x 160 view, the 2D map and demo playback; it draws only into the two
// page buffers the engine hands it.
//
// Cells are addressed from 1: column x 1..244, row y 1..64. The camera's
// cell coordinates are u = PosX / 32 - 4 and v = PosY / 32 - 19; Angle runs
// 0..511 for one turn, 0 looking towards increasing rows.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ddofxray {
constexpr int kMapW = 244, kMapH = 64, kCells = kMapW * kMapH;
constexpr int kTexSets = 5, kTexNumbers = 23, kTexSide = 32, kTexPixels = kTexSide * kTexSide;
enum TTexSet { tsFloorCeiling = 0, tsLowWall = 1, tsHighWall = 2, tsLowObject = 3, tsHighObject = 4 };
constexpr int kObjectLayers = 3;
constexpr int kProfiles = 3600;
constexpr int kChainLimit = 64;  // objects followed along one cell's chain
constexpr int kViewW = 320, kViewH = 160;
constexpr int kPageW = 640, kPageH = 480;
// Hits kept for one view column (panels and billboards): a door that puts
// billboards in every cell cannot make a cast take unbounded memory.
constexpr size_t kMaxColumnHits = 4096;
constexpr double kTan30 = 0.5773503;
constexpr double kProjection = 277.1281144220415;  // 160 times the square root of 3
}  // namespace ddofxray

struct TRayTexture {
  bool Defined = false;
  std::array<uint8_t, ddofxray::kTexPixels> Pixels{};  // 32 rows of 32
};

struct TRayTexAnim {
  bool Defined = false, Playing = false;
  int32_t Mode = 0;  // 1 loop, 2 once, 3 back and forth
  int32_t FirstSprite = 0, LastSprite = 0;
  int32_t Rate = 0;  // frames per second
  int32_t Offset = 0, Step = 0;
  int64_t NextAt = 0;  // 0: not started
};

struct TRayProfile {
  bool Active = false, KeyTriggered = false;
  int32_t KeyHigh = 0, KeyLow = 0;
  int32_t Extra1 = 0, Extra2 = 0;
  int32_t Facing = 9;  // compass octant 1..8, 9 any
  int32_t Next = 0;    // next object of the same cell
  std::string SendText, Macro;
};

struct TRayHit {
  float Distance = 0, U = 0;
  uint8_t Texture = 0;
};

struct TRayRec {
  int16_t X = 0, Y = 0, Angle = 0;
};

class TDDOFXRay {
 public:
  // What the raycaster asks of the engine: a sprite's index by name (-1 when
  // unknown), a sprite's size and pixels by index, a named asset (from the
  // door's "M" pack or a loose file), a reply for the door, a gadget to fire.
  struct TCallbacks {
    std::function<int(const std::string&)> SpriteIndexByName;
    std::function<bool(int, int&, int&, const uint8_t*&)> SpritePixels;
    std::function<bool(const std::string&, bool, std::string&)> ReadAsset;
    std::function<void(const std::string&)> ForwardReply;
    std::function<void(const std::string&, const std::string&)> FireGadget;
  };

  explicit TDDOFXRay(TCallbacks callbacks);

  void Reset();
  // Page0 and Page3 are the engine's selected 640 x 480 pages (a graphics
  // window's canvases while one is targeted). True when the command was one
  // of the raycaster's.
  bool ExecCommand(const std::string& command, uint8_t* page0, uint8_t* page3);
  // True when the picture changed.
  bool Tick(uint8_t* page0, uint8_t* page3, uint64_t nowMs);
  // The view is cast again at the next tick.
  void MarkRedraw() { NeedsRedraw = true; }
  void KeyPress(int hkey, int lkey);

  // --- The world ------------------------------------------------------------
  static bool InMap(int x, int y) { return x >= 1 && x <= ddofxray::kMapW && y >= 1 && y <= ddofxray::kMapH; }
  static bool Inner(int x, int y) { return x >= 2 && x <= ddofxray::kMapW - 1 && y >= 2 && y <= ddofxray::kMapH - 1; }
  static int Cell(int x, int y) { return ddofxray::kMapH * (x - 1) + (y - 1); }
  void ClearMap(int texture);
  void LoadMap(const std::string& bytes);
  // The deepest room's cell comes back in Column, Row.
  void CreateMaze(int wall, int floor, int ceiling, bool seedGiven, uint32_t seed, int& column, int& row);
  void DefaultTextures();
  void TextureFromSprite(int set, int number, int sprite);
  bool AnimateTextures(int64_t now);
  void Walk(int distance, bool marker);
  void AfterMove(bool marker);
  void FireCellTriggers(bool walkIn, int keyHigh, int keyLow);
  void DeleteProfile(int n);
  // The texture set of a name ("FLCL", "LOWALL", "HIWALL" for walls,
  // "LOOBJ", "HIOBJ" for objects); -1 otherwise.
  static int LayerByName(const std::string& name, bool objects);
  int Heading() const;
  int CompassOctant() const;
  static const char* OctantName(int octant);
  double U() const { return PosX / 32 - 4; }
  double V() const { return PosY / 32 - 19; }
  void CameraCell(int& x, int& y) const;
  bool CellBlocked(int x, int y);

  // --- The view -------------------------------------------------------------
  void RenderView();
  void BlitView();
  void DrawMap();
  void DrawMapCell(int x, int y);
  void UpdateMapMarker();
  void LoadDemo(const std::string& bytes);

  bool Visible = false;
  bool NeedsRedraw = false;

  std::vector<uint8_t> WallKind, WallTexture, FloorTexture, CeilingTexture;
  std::array<std::vector<uint8_t>, ddofxray::kObjectLayers> ObjectLayers;
  int32_t CurrentObjectLayer = 1;
  std::array<std::array<TRayTexture, ddofxray::kTexNumbers>, ddofxray::kTexSets> Textures{};
  std::array<std::array<TRayTexAnim, ddofxray::kTexNumbers>, ddofxray::kTexSets> TexAnims{};
  std::vector<TRayProfile> Profiles;  // 1..kProfiles, [0] unused
  std::vector<uint16_t> CellChains;
  double PosX = 0, PosY = 0;
  int32_t Angle = 0;
  int32_t LastTriggerX = 0, LastTriggerY = 0;
  struct TBillboardCell {
    int Layer, X, Y;
  };
  std::vector<TBillboardCell> BillboardCells;
  bool BillboardsDirty = true;

  std::vector<uint8_t> View;  // kViewW x kViewH palette indices
  std::array<float, ddofxray::kViewW> Depth{};
  std::vector<std::vector<TRayHit>> ColumnHits;
  int32_t ViewX = 0, ViewBottom = 159, ViewWidth = 320, ViewHeight = 160;
  bool MapShown = false;
  int32_t MapOriginX = 0, MapOriginY = 0;
  uint8_t MapWallColour = 0, MapFloorColour = 0;
  int32_t MarkerX = 0, MarkerY = 0;
  std::vector<TRayRec> Demo;
  size_t DemoPos = 0;
  int64_t NextDemoAt = 0;
  int64_t NextPollAt = 0;
  int64_t Now = 0;

 private:
  bool Command(const std::string& name, const std::string& text, const std::string& rest);
  bool BoxBlocked(double u, double v);
  void PutMapPixel(int x, int y, uint8_t colour);
  void PaintColumn(int column, double distance, int texture, int texColumn, bool objects);
  void CollectPanels(int column, int x, int y, double rx, double ry);
  void AddHit(int column, double distance, double u, int texture);

  TCallbacks FCallbacks;
  uint8_t* FPage0 = nullptr;
  uint8_t* FPage3 = nullptr;
  int FBumpX = 0, FBumpY = 0;  // the first reporting object met in a move
  int FTriggerDepth = 0;       // cell triggers running inside one another
};
