// The door raycaster: its default world, maze and text maps, the cast view
// probed at pixels whose colour the geometry decides, walking with
// collisions and bump reports, objects firing on walk-in, facing and keys,
// texture animation and demo playback on a simulated clock, the 2D map, and
// the commands' replies. Most tests drive the raycaster on its own with
// sprites and assets of their own; the default world is also drawn by the
// whole engine and written as a PNG.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "door/uDDOFXRay.h"
#include "tests/door/DDOFXGfxHarness.h"

namespace {

using namespace ddofxray;

struct Sprite {
  std::string Name;
  int W = 0, H = 0;
  std::vector<uint8_t> Pixels;
};

class RayBench : public ::testing::Test {
 protected:
  RayBench() {
    TDDOFXRay::TCallbacks calls;
    calls.SpriteIndexByName = [this](const std::string& name) {
      for (size_t i = 0; i < Sprites.size(); ++i)
        if (Sprites[i].Name == name) return int(i);
      return -1;
    };
    calls.SpritePixels = [this](int index, int& w, int& h, const uint8_t*& pixels) {
      w = h = 0;
      pixels = nullptr;
      if (index < 0 || size_t(index) >= Sprites.size() || Sprites[size_t(index)].W <= 0) return false;
      w = Sprites[size_t(index)].W;
      h = Sprites[size_t(index)].H;
      pixels = Sprites[size_t(index)].Pixels.data();
      return true;
    };
    calls.ReadAsset = [this](const std::string& name, bool fromPack, std::string& data) {
      const auto it = Assets.find((fromPack ? "pack:" : "file:") + name);
      if (it == Assets.end()) return false;
      data = it->second;
      return true;
    };
    calls.ForwardReply = [this](const std::string& text) { Replies.push_back(text); };
    calls.FireGadget = [this](const std::string& send, const std::string& macro) { Fired.push_back(send + "|" + macro); };
    Ray = std::make_unique<TDDOFXRay>(std::move(calls));
  }

  void Solid(const std::string& name, uint8_t colour, int w = 32, int h = 32) {
    Sprites.push_back({name, w, h, std::vector<uint8_t>(size_t(w * h), colour)});
  }
  bool Run(const std::string& command) { return Ray->ExecCommand(command, Page0.data(), Page3.data()); }
  bool Tick() { return Ray->Tick(Page0.data(), Page3.data(), Now); }
  std::string Reply(const std::string& command) {
    Replies.clear();
    EXPECT_TRUE(Run(command)) << command;
    return Replies.empty() ? "(none)" : Replies.back();
  }
  uint8_t ViewAt(int x, int y) const { return Ray->View[size_t(y * kViewW + x)]; }
  uint8_t PageAt(const std::vector<uint8_t>& page, int x, int y) const { return page[size_t(y * kPageW + x)]; }
  // An empty map of solid-coloured textures with the camera in cell
  // (10, 10) looking towards increasing rows.
  void EmptyWorld() {
    Solid("FLOOR", 3);
    Solid("ROOF", 4);
    Solid("HIGH", 5);
    Solid("LOW", 6);
    for (const char* c : {"5CLSMAP,1", "5CTEXTURE,FLCL,1,FLOOR", "5CTEXTURE,FLCL,2,ROOF", "5CTEXTURE,HIWALL,1,HIGH",
                          "5CTEXTURE,LOWALL,1,LOW", "5SETXPOS,10", "5SETYPOS,10", "5SETANGL,180"})
      EXPECT_TRUE(Run(c)) << c;
    // Ceilings of texture 2, floors of texture 1.
    for (int x = 2; x <= 243; ++x)
      for (int y = 2; y <= 63; ++y) Ray->CeilingTexture[size_t(TDDOFXRay::Cell(x, y))] = 2;
  }

  std::vector<Sprite> Sprites;
  std::map<std::string, std::string> Assets;
  std::vector<std::string> Replies, Fired;
  std::vector<uint8_t> Page0 = std::vector<uint8_t>(size_t(kPageW * kPageH), 0);
  std::vector<uint8_t> Page3 = std::vector<uint8_t>(size_t(kPageW * kPageH), 0);
  uint64_t Now = 50000;
  std::unique_ptr<TDDOFXRay> Ray;
};

TEST_F(RayBench, TheDefaultWorldIsTheSeededMazeWithTheCameraInItsFirstRoom) {
  int x = 0, y = 0;
  Ray->CameraCell(x, y);
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 5);
  for (int cx = 5; cx <= 8; ++cx)
    for (int cy = 5; cy <= 8; ++cy) EXPECT_EQ(Ray->WallKind[size_t(TDDOFXRay::Cell(cx, cy))], 0) << cx << "," << cy;
  for (int cx = 1; cx <= kMapW; ++cx)
    for (int cy : {1, kMapH}) EXPECT_NE(Ray->WallKind[size_t(TDDOFXRay::Cell(cx, cy))], 0) << "border " << cx << "," << cy;
  for (int cy = 1; cy <= kMapH; ++cy)
    for (int cx : {1, kMapW}) EXPECT_NE(Ray->WallKind[size_t(TDDOFXRay::Cell(cx, cy))], 0) << "border " << cx << "," << cy;

  const std::vector<uint8_t> walls = Ray->WallKind;
  const std::string deepest = Reply("5CMAZE,1,1,2,10000");
  EXPECT_EQ(Ray->WallKind, walls) << "seed 10000 with textures 1, 1, 2 is the default world";
  EXPECT_EQ(Reply("5CMAZE,1,1,2,10000"), deepest) << "the same seed, the same maze";
  EXPECT_NE((Reply("5CMAZE,1,1,2,77"), Ray->WallKind), walls) << "another seed, another maze";

  const struct Query {
    std::string Command, Answer;
  } rows[] = {
      {"5GETMAP,1,1", "1,1,0,0,0,0"},
      {"5GETMAP,0,5", "0,0,0,0,0,0"},
      {"5GETMAP,6,6", "0,0,1,2,0,0"},  // floor and ceiling of the last maze
      {"5GETXPOS", "5"},
      {"5GETYPOS", "5"},
      {"5GETANGL", "180,SOUTH"},
  };
  for (const Query& q : rows) EXPECT_EQ(Reply(q.Command), q.Answer) << q.Command;
  EXPECT_FALSE(Run("5GETXPOS,1")) << "the queries take no parameters";
  EXPECT_FALSE(Run("5NOSUCH"));
  EXPECT_FALSE(Run("5"));
}

TEST_F(RayBench, CompassAndAngles) {
  const struct Row {
    std::string Set;
    int Angle;
    std::string Answer;
  } rows[] = {
      {"5SETANGL,90", 128, "90,EAST"},
      {"5SETANGL,0", 256, "360,NORTH"},
      {"5SETANGL,180", 0, "180,SOUTH"},
      {"5SETANGL,-90", 384, "270,WEST"},
      {"5SETANGL,45", 192, "45,NORTH EAST"},
  };
  for (const Row& r : rows) {
    Run(r.Set);
    EXPECT_EQ(Ray->Angle, r.Angle) << r.Set;
    EXPECT_EQ(Reply("5GETANGL"), r.Answer) << r.Set;
  }
  Ray->Angle = 32;
  EXPECT_EQ(Ray->Heading(), 158) << "157.5 rounds to the even neighbour";
  Run("5VD,-64");
  EXPECT_EQ(Ray->Angle, 96);
  Run("5VD,100");
  EXPECT_EQ(Ray->Angle, (96 - 100) & 511);
}

TEST_F(RayBench, AWallAheadIsTwoTexturesHighBetweenCeilingAndFloor) {
  EmptyWorld();
  // A wall across row 20: 9.5 cells ahead of the camera's middle.
  for (int x = 2; x <= 243; ++x) Run("5CHMAP,1," + std::to_string(x) + ",20,1");
  Run("5DANIM,0,159,1");
  ASSERT_TRUE(Tick());
  const double s = kProjection / 9.5;
  const int top = int(std::floor(80 - s)), bottom = int(std::ceil(80 + s)) - 1;
  for (int c : {150, 160, 170}) {
    EXPECT_EQ(ViewAt(c, top - 1), 4) << "ceiling above the wall, column " << c;
    EXPECT_EQ(ViewAt(c, top + 1), 5) << "upper half of the wall";
    EXPECT_EQ(ViewAt(c, 79), 5);
    EXPECT_EQ(ViewAt(c, 80), 6) << "lower half of the wall";
    EXPECT_EQ(ViewAt(c, bottom - 1), 6);
    EXPECT_EQ(ViewAt(c, bottom + 1), 3) << "floor below the wall";
  }
  EXPECT_EQ(PageAt(Page0, 160, 80), 6) << "the view lands on page 0 at its place";
  EXPECT_EQ(PageAt(Page3, 160, 80), 6) << "and on page 3";
  EXPECT_FALSE(Tick()) << "nothing changed: nothing cast";

  // Right in front of a wall one cell away the whole column is wall.
  Run("5SETYPOS,19");
  ASSERT_TRUE(Tick());
  EXPECT_EQ(ViewAt(160, 0), 5);
  EXPECT_EQ(ViewAt(160, 159), 6);

  // An undefined wall texture is colour 7.
  Ray->TextureFromSprite(tsHighWall, 2, 99);
  Ray->TextureFromSprite(tsLowWall, 2, 99);
  Run("5CHMAP,1,10,20,2");
  ASSERT_TRUE(Tick());
  EXPECT_EQ(ViewAt(160, 10), 7);
}

TEST_F(RayBench, TheViewIsScaledOntoThePage) {
  EmptyWorld();
  for (int x = 2; x <= 243; ++x) Run("5CHMAP,1," + std::to_string(x) + ",14,1");
  Run("5DSCALE,640,480");
  Run("5DANIM,0,479,1");
  ASSERT_TRUE(Tick());
  for (int i : {0, 50, 79, 80, 120, 159})
    for (int j : {0, 100, 319}) {
      const uint8_t want = ViewAt(j, i);
      for (int dy = 0; dy < 3; ++dy)
        for (int dx = 0; dx < 2; ++dx)
          ASSERT_EQ(PageAt(Page0, 2 * j + dx, 3 * i + dy), want) << "view " << j << "," << i;
    }
  // A view placed partly off the page draws only what is on it.
  std::fill(Page0.begin(), Page0.end(), 99);
  Run("5DSCALE,320,160");
  Run("5DANIM,500,100,1");
  ASSERT_TRUE(Tick());
  EXPECT_EQ(PageAt(Page0, 499, 50), 99);
  EXPECT_EQ(PageAt(Page0, 500, 0), ViewAt(0, 59));
  EXPECT_EQ(PageAt(Page0, 639, 100), ViewAt(139, 159));
  EXPECT_EQ(PageAt(Page0, 500, 101), 99);
}

TEST_F(RayBench, ObjectsArePanelsOrBillboardsInFrontOfTheWall) {
  EmptyWorld();
  for (int x = 2; x <= 243; ++x) Run("5CHMAP,1," + std::to_string(x) + ",20,1");
  Solid("OBJHI", 9);
  Solid("OBJLO", 10);
  Sprites.push_back({"HOLE", 32, 32, std::vector<uint8_t>(1024, 0)});
  Run("5COBJECT,HIOBJ,8,OBJHI");
  Run("5COBJECT,LOOBJ,8,OBJLO");
  Run("5DANIM,0,159,1");
  // 72: a panel across cell (10, 14) at its middle row; it blocks nothing.
  Run("5CHOBJ,1,10,14,0,8");
  ASSERT_TRUE(Tick());
  const double s = kProjection / 4.0;  // from v = 10.5 to the panel at 14.5
  EXPECT_EQ(ViewAt(160, int(80 - s) + 2), 9);
  EXPECT_EQ(ViewAt(160, int(80 + s) - 2), 10);
  EXPECT_EQ(ViewAt(160, 80 - 40), 9) << "the panel hides the wall behind it";
  // The same object as a billboard (shape 3, byte 200) is as wide as a cell.
  Run("5CHOBJ,1,10,14,0,0");
  Run("5CHOBJ,3,10,14,0,8");
  EXPECT_EQ(Ray->ObjectLayers[0][size_t(TDDOFXRay::Cell(10, 14))], 200);
  ASSERT_TRUE(Tick());
  const double half = 0.5 / 4.0 / kTan30 * 160;
  EXPECT_EQ(ViewAt(160, 60), 9);
  EXPECT_EQ(ViewAt(int(160 + half) - 2, 60), 9);
  EXPECT_EQ(ViewAt(int(160 + half) + 2, 60), 5) << "the wall beside the billboard";
  for (int i = 0; i < 200; ++i) Run("5VM,0,8");
  int x = 0, y = 0;
  Ray->CameraCell(x, y);
  EXPECT_GE(y, 15) << "a billboard of kind 0 lets the camera through";
  // A transparent object texture shows what is behind it.
  Run("5SETYPOS,10");
  Run("5COBJECT,HIOBJ,8,HOLE");
  ASSERT_TRUE(Tick());
  EXPECT_EQ(ViewAt(160, 60), 5);
}

TEST_F(RayBench, WalkingSlidesAlongWallsAndABumpIsReportedOnce) {
  EmptyWorld();
  Run("5DANIM,0,159,1");
  // Diagonally (heading 135: towards increasing rows and decreasing
  // columns) into the wall of column 5.
  for (int y = 2; y <= 63; ++y) Run("5CHMAP,1,5," + std::to_string(y) + ",1");
  Run("5SETANGL,135");
  const double v0 = Ray->V();
  for (int i = 0; i < 300; ++i) EXPECT_TRUE(Run("5VM,0,4"));
  EXPECT_GE(Ray->U(), 6 + 0.28 - 1e-9) << "never closer than 0.28 cell to the wall";
  EXPECT_LT(Ray->U(), 6.28 + 0.09) << "one step of the walk from it";
  EXPECT_GT(Ray->V(), v0 + 10) << "kept sliding along the wall";
  EXPECT_TRUE(Replies.empty());

  // A reporting object (kind 2) ahead: the view stops and the door hears
  // the cell once.
  Run("5SETXPOS,10");
  Run("5SETYPOS,10");
  Run("5SETANGL,180");
  Run("5CHOBJ,1,10,13,2,4");
  for (int i = 0; i < 40; ++i) Run("5VM,0,8");
  EXPECT_EQ(Replies, std::vector<std::string>{"\x15" "10,13"});
  EXPECT_FALSE(Ray->Visible);
  EXPECT_LE(Ray->V(), 13 - 0.28 + 1e-9);
  Run("5VM,0,8");
  EXPECT_EQ(Replies.size(), 1u) << "no second report while the view is off";
  // Kind 1 blocks without a report, kind 3 passes.
  Run("5DANIM,0,159,1");
  Run("5CHOBJ,1,10,13,1,4");
  Replies.clear();
  Run("5VM,0,32");
  EXPECT_TRUE(Replies.empty());
  EXPECT_TRUE(Ray->Visible);
  Run("5CHOBJ,1,10,13,3,4");
  for (int i = 0; i < 8; ++i) Run("5VM,0,32");
  EXPECT_GT(Ray->V(), 14);
}

TEST_F(RayBench, ObjectsFireOnWalkInFacingAndKeys) {
  EmptyWorld();
  // 1: a walk-in object in (10, 12); 5 links to itself; 6 faces east and
  // answers any key; 7 answers the low key 13 whatever the high key.
  Run("5MAPPRO,1,0,0,0,0,0,9,0,10,12,hello^M,(M1)");
  Run("5MAPPRO,5,0,0,0,0,0,9,5,10,14,five,");
  Run("5MAPPRO,6,1,0,-1,0,0,3,7,10,16,east,");
  Run("5MAPPRO,7,1,0,13,0,0,9,0,,,thirteen,");
  Run("5MAPPRO,8,1,-1,-1,0,0,9,0,10,18,never,");
  Run("5DANIM,0,159,1");
  auto walkTo = [&](int row) {
    while (Ray->V() < row + 0.5) Run("5VM,0,8");
  };
  walkTo(12);
  EXPECT_EQ(Fired, std::vector<std::string>{"hello\r|(M1)"});
  Fired.clear();
  walkTo(14);
  EXPECT_EQ(Fired, std::vector<std::string>{"five|"}) << "a chain that loops fires each object once";
  Fired.clear();
  walkTo(16);
  EXPECT_TRUE(Fired.empty()) << "a key object does not fire on a walk-in while facing south";
  Run("5SETANGL,90");
  Now += 300;
  Tick();
  EXPECT_EQ(Fired, std::vector<std::string>{"east|"}) << "the poll reaches an object keyed -1, -1 facing east";
  Fired.clear();
  Ray->KeyPress(99, 13);
  EXPECT_EQ(Fired, std::vector<std::string>{"thirteen|"}) << "0, 13: any high key";
  Fired.clear();
  Ray->KeyPress(99, 12);
  EXPECT_EQ(Fired, std::vector<std::string>{}) << "nothing matches 0, -1 or 0, 13";
  Run("5SETANGL,180");
  Ray->KeyPress(0, -1);
  EXPECT_TRUE(Fired.empty()) << "object 6 answers only while facing east";
  Ray->KeyPress(0, 13);
  EXPECT_EQ(Fired, std::vector<std::string>{"thirteen|"}) << "the chain goes on past an object that did not fire";
  Fired.clear();
  walkTo(18);
  Now += 300;
  Tick();
  Ray->KeyPress(-1, -1);
  EXPECT_TRUE(Fired.empty()) << "a pair negative in both parts never fires";

  // Deleting a profile cuts the links to it.
  Run("5DELMAPPRO,7");
  EXPECT_EQ(Ray->Profiles[6].Next, 0);
  EXPECT_FALSE(Ray->Profiles[7].Active);
  Run("5FILPRO,1");
  Fired.clear();
  Run("5VM,0,8");
  EXPECT_EQ(Fired, std::vector<std::string>{"hello\r|(M1)"}) << "every cell leads to object 1";
  Run("5DELMAPPRO,0");
  EXPECT_EQ(Ray->CellChains[size_t(TDDOFXRay::Cell(10, 12))], 0);
}

TEST_F(RayBench, ATextMapIsReadMirroredFromItsFixedLines) {
  std::string map;
  for (int i = 0; i < 9; ++i) map += "header\r\n";
  std::string row2(250, ' ');
  row2[4] = '3';    // position 5: column 243
  row2[245] = 'c';  // position 246: column 2
  row2[246] = '7';  // past position 246: ignored
  map += row2 + "\r\n" + std::string(4, ' ') + "b\r\n";
  for (int i = 11; i < 79; ++i) map += "\n";
  map += std::string(4, ' ') + "|\n" + std::string(4, ' ') + "d";
  Assets["pack:MAZE.TXT"] = map;
  Run("5CLSMAP,1");
  EXPECT_TRUE(Run("5LOADMAP,MAZE.TXT"));
  EXPECT_EQ(Reply("5GETMAP,243,2"), "3,3,0,0,0,0") << "the first block's digit, then the second block's kind";
  EXPECT_EQ(Reply("5GETMAP,2,2"), "0,0,3,1,0,0") << "a ceiling already set stays";
  EXPECT_EQ(Reply("5GETMAP,243,3"), "0,0,2,4,0,0") << "a floor letter, then the ceiling of the second block";
  EXPECT_EQ(Reply("5GETMAP,242,2"), "0,0,1,1,0,0") << "blanks leave cells as they were";
  Assets["file:LOOSE.TXT"] = std::string(9, '\n') + "    5";
  Run("5LOADMAP,LOOSE.TXT");
  EXPECT_EQ(Reply("5GETMAP,243,2"), "3,5,0,0,0,0") << "from the asset folder when the pack lacks it";
  Run("5LOADMAP,MISSING");
  EXPECT_EQ(Reply("5GETMAP,243,2"), "3,5,0,0,0,0");
}

TEST_F(RayBench, TexturesAnimateOnTheClock) {
  Solid("F1", 1);
  Solid("F2", 2);
  Solid("F3", 3);
  Run("5VANIM,1,4,3,F1,F3,10");
  auto shown = [&] { return int(Ray->Textures[1][3].Pixels[0]); };
  EXPECT_EQ(shown(), 1) << "a defined animation shows its first sprite at once";
  Run("5PLAYV,1,4");
  std::vector<int> frames;
  for (int i = 0; i < 6; ++i) {
    Tick();
    frames.push_back(shown());
    Now += 100;
  }
  EXPECT_EQ(frames, (std::vector<int>{2, 3, 2, 1, 2, 3})) << "back and forth at ten frames a second";
  Run("5STOPV,1,4");
  Tick();
  EXPECT_EQ(shown(), 3);
  Run("5VANIM,1,5,1,F3,F1,10");
  EXPECT_FALSE(Ray->TexAnims[1][4].Defined) << "a last sprite before the first";
  Run("5COBJECT,LOOBJ,3,NOSUCH");
  EXPECT_FALSE(Ray->Textures[3][2].Defined) << "an unknown sprite changes nothing";
  Ray->TextureFromSprite(3, 3, 99);
  EXPECT_TRUE(Ray->Textures[3][2].Defined) << "a missing object sprite is a transparent texture";
  Ray->TextureFromSprite(1, 3, 99);
  EXPECT_FALSE(Ray->Textures[1][2].Defined) << "a missing wall sprite is none";
}

TEST_F(RayBench, ADemoPlaysOnTheClockAndHoldsTheDoorsMoves) {
  auto rec = [](int16_t x, int16_t y, int16_t a) {
    std::string r;
    for (int16_t v : {x, y, a}) r += std::string{char(v & 0xFF), char((v >> 8) & 0xFF)};
    return r;
  };
  Assets["file:WALK.DMO"] = rec(336, 784, 128) + rec(336, 816, 600) + "X";  // 13 bytes
  Run("5DPLY,WALK.DMO");
  ASSERT_EQ(Ray->Demo.size(), 2u);
  const double x0 = Ray->PosX;
  Run("5VM,0,32");
  Run("5VD,64");
  EXPECT_EQ(Ray->PosX, x0) << "moves wait while a demo is pending";
  EXPECT_EQ(Ray->Angle, 0);
  Tick();
  EXPECT_EQ(Ray->PosX, 336);
  EXPECT_EQ(Ray->Angle, 128);
  Now += 39;
  Tick();
  EXPECT_EQ(Ray->PosY, 784) << "the second record comes 40 ms later";
  Now += 1;
  Tick();
  EXPECT_EQ(Ray->PosY, 816);
  EXPECT_EQ(Ray->Angle, 600 & 511);
  EXPECT_TRUE(Ray->Demo.empty()) << "released after its last record";
  Run("5VD,64");
  EXPECT_EQ(Ray->Angle, (600 - 64) & 511);
  Assets["pack:LAG.DMO"] = rec(304, 784, 0) + rec(304, 800, 0) + rec(304, 816, 0);
  Run("5DPLYR,LAG.DMO");
  Tick();
  Now += 500;
  Tick();
  EXPECT_TRUE(Ray->Demo.empty()) << "a lagging demo catches up in one tick";
}

TEST_F(RayBench, TheMapIsDrawnMirroredWithAMarker) {
  EmptyWorld();
  Run("5CHMAP,1,12,10,1");
  const int ox = 100, oy = 300;
  auto mapPixel = [&](int x, int y) { return PageAt(Page0, ox + 244 - x, oy + y - 1); };
  Run("52DMAP,100,300,15,1");
  EXPECT_EQ(mapPixel(1, 1), 15);
  EXPECT_EQ(mapPixel(12, 10), 15);
  EXPECT_EQ(mapPixel(11, 10), 1);
  EXPECT_EQ(mapPixel(10, 10), 1 ^ 15) << "the camera's cell is marked";
  EXPECT_EQ(PageAt(Page3, ox + 234, oy + 9), 1 ^ 15);
  Run("5SETANGL,180");
  Run("5VM,1,32");
  EXPECT_EQ(mapPixel(10, 10), 1) << "the old cell repainted";
  EXPECT_EQ(mapPixel(10, 11), 1 ^ 15);
  Run("5CHMAP,5,12,10,3");
  EXPECT_EQ(mapPixel(12, 10), 1) << "a changed cell is redrawn";
  Run("52DMMAP,20,20,9,1");
  EXPECT_EQ(mapPixel(20, 20), 9);
  EXPECT_EQ(mapPixel(21, 21), 9) << "within radius squared plus radius";
  EXPECT_EQ(mapPixel(22, 20), 1);
  Run("52DMAP,-200,470,15,1");  // mostly off the page: only what is on it
  EXPECT_TRUE(Run("52DMMAP,100,30,9,100000"));
}

TEST_F(RayBench, ResetRestoresTheDefaultWorld) {
  EmptyWorld();
  Run("5DANIM,0,159,1");
  Run("5MAPPRO,3,0,0,0,0,0,9,0,10,10,x,");
  Run("52DMAP,0,0,1,2");
  Ray->Reset();
  EXPECT_FALSE(Ray->Visible);
  EXPECT_FALSE(Ray->MapShown);
  EXPECT_FALSE(Ray->Profiles[3].Active);
  EXPECT_EQ(Ray->PosX, 304);
  EXPECT_EQ(Reply("5GETMAP,6,6"), "0,0,1,2,0,0");
  EXPECT_EQ(Ray->Textures[0][0].Pixels[0], 8) << "checkerboard";
  EXPECT_EQ(Ray->Textures[0][0].Pixels[8], 7);
  EXPECT_EQ(Ray->Textures[1][0].Pixels[0], 8) << "mortar";
  EXPECT_EQ(Ray->Textures[1][0].Pixels[32 + 1], 6) << "brick";
  EXPECT_EQ(Ray->Textures[1][0].Pixels[9 * 32 + 8], 8) << "the next course's joints are offset";
  EXPECT_EQ(Ray->Textures[1][0].Pixels[9 * 32 + 0], 6);
}

// The whole engine: door commands switch the view on; the default world
// is drawn into the composed frame, written as a PNG, and probed.
TEST(RayEngineTest, TheDefaultWorldIsDrawnByTheEngine) {
  ddofxgfxtest::TGfxHarness h;
  h.Play({"LIGMODE", "5DANIM,0,159,1", "+60"});
  const std::string png = std::string(KORVAN_BINARY_DIR) + "/ray_default_world.png";
  ASSERT_TRUE(h.WritePng(png));
  // From the first room, looking towards increasing rows: the view's middle
  // column meets the maze's wall as the map says.
  TDDOFXRay& ray = *h.Gfx->Ray;
  int wall = 6;
  while (ray.WallKind[size_t(TDDOFXRay::Cell(5, wall))] == 0) ++wall;
  const double s = kProjection / (wall - 5.5);
  const int top = std::max(0, int(std::floor(80 - s))), bottom = std::min(159, int(std::ceil(80 + s)) - 1);
  for (int y : {top, 80, bottom}) {
    const uint8_t p = h.PageAt(0, 160, y);
    EXPECT_TRUE(p == 6 || p == 8) << "brick or mortar at row " << y << ": " << int(p);
  }
  if (top > 0) EXPECT_TRUE(h.PageAt(0, 160, 0) == 7 || h.PageAt(0, 160, 0) == 8) << "ceiling";
  if (bottom < 159) EXPECT_TRUE(h.PageAt(0, 160, 159) == 7 || h.PageAt(0, 160, 159) == 8) << "floor";

  // A bump into a reporting object reaches the door as a reply.
  h.Play({"5CHOBJ,1,5,7,2,3"});
  for (int i = 0; i < 20; ++i) h.Run("5VM,0,8");
  EXPECT_NE(h.Sent.find("\x15" "5,7"), std::string::npos);
  h.Sent.clear();
  h.Run("5GETANGL");
  EXPECT_NE(h.Sent.find("180,SOUTH"), std::string::npos) << h.Sent;
}

}  // namespace
