// Door graphics commands a hostile door may send: coordinates and counts at
// the ends of 32 bits, negative sizes, names with folder parts, floods. The
// engine must stay inside its buffers (the sanitizers watch), take no
// memory for sizes it was not given data for, and read nothing outside its
// asset folder.
#include <chrono>

#include "tests/door/DDOFXGfxHarness.h"

using namespace ddofxgfxtest;

namespace {

TEST(DDOFXGfxHostile, CommandsAtTheLimitsStayBoundedInTimeAndPlace) {
  TGfxHarness h;
  testsupport::TempDir outside;
  testsupport::WriteWholeFile(outside.File("SECRET.FLC"), std::string(4000, '\x11'));
  h.Run("LIGMODE");
  const std::string big = "2147483647", small = "-2147483648";
  const std::vector<std::string> commands = {
      "2S," + small + "," + big + "," + small + "," + big + ",HUGE",
      "2S,0,639,0,479,PAGE",
      "2sCV," + big + "," + small + ",PAGE",
      "2sPV," + small + "," + big + ",PAGE",
      "2ANIM,1," + big + "," + small + ",3,PAGE,PAGE,1,256,3,2," + big + ",1",
      "2MOTION,1," + small + "," + small + "," + big + "," + big + "," + small + "," + big + "," + big + "," + small +
          "," + big,
      "2PLAYA,1",
      "2SSA,3000," + big + "," + small + "," + big + ",PAGE,PAGE,2,2",
      "2DSS",
      "2aSCROLL,0,639,0,479," + small + ",0,V",
      "2aSCROLL,0,639,0,479," + big + ",1,H",
      "1SCALE," + big + "," + small,
      "2XT,0,479,15,1," + std::string(480, 'W'),
      "2v../" + outside.Path() + "SECRET.FLC",
      "2v" + std::string(600, 'A'),
      "5OFLIC,1,0,0,0,0,100,1," + outside.Path() + "SECRET.FLC",
      "5OFLIC,2,0,0,0,0,100,1,../SECRET.FLC",
      "f../../etc/passwd",
      "2XT,0,20,1,1,x",
      "2ANIMSOUND," + big + "," + big,
      "2CCOL," + small + ",1",
      "2CCOL,256,1",
      "2AFLY,1," + big + "," + big + ",PAGE,PAGE," + small,
  };
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < 3; ++round)
    for (const std::string& c : commands) {
      h.Run(c);
      h.Advance(30);
    }
  h.Compose("status");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 60.0) << "a loaded machine under the sanitizers still finishes far below this";
  EXPECT_FALSE(h.Gfx->Flics[1].Open);
  EXPECT_FALSE(h.Gfx->Flics[2].Open);
  EXPECT_TRUE(h.Logged("refused asset name"));
  EXPECT_EQ(h.Gfx->Sprites[size_t(h.Gfx->FindSprite("HUGE"))]->Width, 0);
  EXPECT_EQ(h.Gfx->CellWidth, 8);
  EXPECT_EQ(h.Gfx->CellHeight, 1);
}

TEST(DDOFXGfxHostile, AFloodOfSpritesIsRefusedPastTheMemoryAndCountLimits) {
  TGfxHarness h;
  h.Run("LIGMODE");
  // Every definition is a new name of 64000 pixels: past the limit they
  // stay empty, and redefining an old name still works.
  const int fits = int(ddofxgfx::kMaxSpriteBytes / 64000);
  for (int k = 0; k < fits + 50; ++k) h.Gfx->ExecCommand("2S,0,319,0,199,S" + std::to_string(k));
  size_t pixels = 0;
  for (const auto& s : h.Gfx->Sprites) pixels += s->Pixels.size();
  EXPECT_LE(pixels, ddofxgfx::kMaxSpriteBytes);
  EXPECT_EQ(pixels, size_t(fits) * 64000u);
  EXPECT_TRUE(h.Logged("sprite memory full, S" + std::to_string(fits) + " left empty"));
  h.Gfx->ExecCommand("2S,0,9,0,9,S0");
  h.Gfx->ExecCommand("2S,0,319,0,199,S" + std::to_string(fits + 1));
  EXPECT_EQ(h.Gfx->Sprites[size_t(h.Gfx->FindSprite("S" + std::to_string(fits + 1)))]->Pixels.size(), 64000u);
  h.Run("2sFF");
  EXPECT_TRUE(h.Gfx->Sprites.empty());
  EXPECT_EQ(h.Gfx->SpriteBytes, 0u);
  // Names alone are limited too.
  for (size_t k = 0; k < ddofxgfx::kMaxSprites + 10; ++k) h.Gfx->ExecCommand("2S,0,0,0,0,N" + std::to_string(k));
  EXPECT_EQ(h.Gfx->Sprites.size(), ddofxgfx::kMaxSprites);
  EXPECT_TRUE(h.Logged("too many sprites, not defined: N65536"));
}

}  // namespace
