// Music level bars: lengths from levels, the gentle fall, colour cycles,
// directions, and bars that belong to a graphics window.
#include "tests/door/DDOFXWidgetSupport.h"

using namespace ddofxgfxtest;

namespace {

class DDOFXLevelBars : public ::testing::Test {
 protected:
  TGfxHarness H;
  int Levels[16] = {};
  void SetUp() override {
    H.Run("LIGMODE");
    // A fixed feed of channel levels; -1 for channels the music lacks.
    H.Gfx->OnMusicLevel = [this](int channel) { return channel < 16 ? Levels[channel] : -1; };
    H.Advance(30);
  }
  // Lit pixels of an upward bar at (X, Y) in colour C.
  int Height(int x, int y, int colour) {
    H.Compose();
    int n = 0;
    while (y - n >= 0 && H.At(x, y - n) == Rgb(*H.Gfx, colour)) ++n;
    return n;
  }
};

TEST_F(DDOFXLevelBars, TheLengthFollowsTheLevel) {
  H.Run("7DEFBAR,1,100,200,10,4,12");
  H.Run("7MUSBAR,1");
  const struct {
    int level, pixels;
  } cases[] = {{20, 20}, {1, 1}, {40, 40}, {90, 40}, {0, 0}};
  for (const auto& c : cases) {
    Levels[0] = c.level;
    H.Gfx->MusicBars[1].Level = 0;
    H.Advance(60);
    EXPECT_EQ(Height(101, 200, 12), c.pixels) << "level " << c.level;
  }
  EXPECT_EQ(H.At(104, 200), Rgb(*H.Gfx, 0)) << "4 pixels thick";
  Levels[0] = -1;
  H.Advance(60);
  EXPECT_EQ(H.Gfx->MusicBars[1].Level, -1);
  EXPECT_EQ(Height(101, 200, 12), 0);
  // Off, nothing is drawn or polled.
  Levels[0] = 40;
  H.Run("7MUSBAR,0");
  H.Advance(60);
  EXPECT_EQ(Height(101, 200, 12), 0);
  EXPECT_EQ(H.Gfx->MusicBars[1].Level, 0);
}

TEST_F(DDOFXLevelBars, ALevelFallsByFourPerPoll) {
  H.Run("7DEFBAR,1,100,200,10,4,12");
  H.Run("7MUSBAR,1");
  Levels[0] = 40;
  H.Advance(60);
  ASSERT_EQ(H.Gfx->MusicBars[1].Level, 40);
  Levels[0] = 0;
  std::vector<int> seen;
  for (int i = 0; i < 11; ++i) {
    H.Gfx->NextBarPoll = 0;
    H.Gfx->UpdateMusicBars();
    seen.push_back(H.Gfx->MusicBars[1].Level);
  }
  EXPECT_EQ(seen, (std::vector<int>{36, 32, 28, 24, 20, 16, 12, 8, 4, 0, 0}));
  // Polls come at most every 40 ms.
  H.Gfx->NextBarPoll = H.Gfx->Now + 40;
  EXPECT_FALSE(H.Gfx->UpdateMusicBars());
  // 7CLRBAR empties the bars but keeps them.
  Levels[0] = 40;
  H.Advance(60);
  H.Run("7CLRBAR");
  EXPECT_EQ(H.Gfx->MusicBars[1].Level, 0);
  EXPECT_TRUE(H.Gfx->MusicBars[1].Defined);
}

TEST_F(DDOFXLevelBars, ColourCycles) {
  const struct {
    const char* define;
    std::vector<int> colours;
  } cases[] = {
      {"7DEFBAR,1,0,0,1,1,10,1,10,12,0", {11, 12, 11, 10, 11, 12}},
      {"7DEFBAR,1,0,0,1,1,10,1,10,12,1", {11, 12, 10, 11, 12, 10}},
      {"7DEFBAR,1,0,0,1,1,99,1,12,10,1", {11, 10, 12, 11}},
      {"7DEFBAR,1,0,0,1,1,99,1,12,10,0", {11, 10, 11, 12, 11}},
  };
  for (const auto& c : cases) {
    H.Run("7MUSBAR,0");
    H.Gfx->MusicBars[1] = TGfxMusicBar{};
    H.Run(c.define);
    H.Run("7MUSBAR,1");
    std::vector<int> seen;
    for (size_t i = 0; i < c.colours.size(); ++i) {
      H.Gfx->NextBarPoll = 0;
      H.Gfx->UpdateMusicBars();
      seen.push_back(H.Gfx->MusicBars[1].CurrentColour);
    }
    EXPECT_EQ(seen, c.colours) << c.define;
  }
}

TEST_F(DDOFXLevelBars, DirectionsAndClipping) {
  Levels[0] = Levels[1] = Levels[2] = Levels[3] = Levels[4] = 40;
  H.Run("7DEFBAR,1,100,100,5,3,9,0,0,0,0,2");  // down
  H.Run("7DEFBAR,2,200,100,5,3,10,0,0,0,0,3");  // right
  H.Run("7DEFBAR,3,400,100,5,3,11,0,0,0,0,4");  // left
  H.Run("7DEFBAR,4,600,5,2147483647,-7,12");    // up, off the top and far too long
  H.Run("7DEFBAR,17,0,0,5");
  H.Run("7MUSBAR,1");
  H.Advance(60);
  H.Compose();
  const struct {
    int x, y, colour;
  } probes[] = {{100, 100, 9},  {102, 119, 9},  {100, 120, 0}, {103, 100, 0}, {200, 100, 10}, {219, 98, 10},
                {220, 100, 0}, {200, 97, 0},   {400, 100, 11}, {381, 98, 11}, {380, 100, 0},  {600, 0, 12},
                {600, 5, 12},  {600, 6, 0}};
  for (const auto& p : probes) EXPECT_EQ(H.At(p.x, p.y), Rgb(*H.Gfx, p.colour)) << p.x << "," << p.y;
  ASSERT_TRUE(H.WritePng(H.Program.File("bars.png")));
}

TEST_F(DDOFXLevelBars, AWindowsBarIsDrawnOnlyInItsClientAreaScrolledWithIt) {
  H.Run("2GWIN,1,100,299,100,199,640,480,0,1");
  H.Run("2ALERTGWIN,1");
  H.Run("7DEFBAR,1,10,30,10,4,12");
  H.Run("2CALMGWIN");
  H.Run("7MUSBAR,1");
  Levels[0] = 40;
  H.Advance(60);
  // Canvas (11, 30) is at the screen's (123, 150); the bar reaches up to
  // canvas row -9, cut at the client's top row 120.
  EXPECT_EQ(Height(123, 150, 12), 31);
  EXPECT_EQ(H.At(11, 30), Rgb(*H.Gfx, 0)) << "not on the screen itself";
  H.Run("2CHVGPR,1,0,10");
  EXPECT_EQ(Height(123, 140, 12), 21);
}

}  // namespace
