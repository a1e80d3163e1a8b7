// Animations on the engine tick, motion paths with halves-to-even rounding,
// frame sounds, sprite sequences, and how the composer draws animations.
#include "tests/door/DDOFXGfxHarness.h"

using namespace ddofxgfxtest;

namespace {

class DDOFXGfxAnim : public ::testing::Test {
 protected:
  DDOFXGfxAnim() {
    H.Run("LIGMODE");
    // Sprites F0, F1, F2: 2 x 2 squares of colours 1, 2, 3; a wide one, W.
    for (int k = 0; k < 3; ++k) {
      H.Gfx->FillRect(1, 0, 0, 1, 1, uint8_t(k + 1));
      H.Run("2S,0,1,0,1,F" + std::to_string(k));
    }
    H.Gfx->FillRect(1, 0, 0, 3, 1, 4);
    H.Gfx->PutPixel(1, 0, 0, 0);
    H.Gfx->PutPixel(1, 3, 1, 5);
    H.Run("2S,0,3,0,1,W");
    H.Gfx->FillRect(1, 0, 0, 639, 479, 0);
  }
  TGfxAnim& A(int n) { return H.Gfx->Anims[size_t(n)]; }
  // Steps animation N on ticks until it has made Count steps; its frame
  // offsets after each.
  std::vector<int> Frames(int n, int count) {
    std::vector<int> seen;
    for (int guard = 0; guard < 1000 && int(seen.size()) < count; ++guard) {
      const uint64_t due = A(n).NextDue;
      H.Advance(kTickMs);
      if (A(n).NextDue != due && due != 0) seen.push_back(A(n).FrameOffset);
    }
    return seen;
  }
  TGfxHarness H;
};

TEST_F(DDOFXGfxAnim, StepsEveryIntervalFromTheFirstTickAndNeverBurstAfterAStall) {
  H.Run("2ANIM,1,10,10,1,F0,F2,0,0,0,0,20");
  H.Run("2PLAYA,1");
  H.Gfx->Tick(H.NowMs);  // the tick that schedules it
  const uint64_t start = H.NowMs;
  EXPECT_EQ(A(1).NextDue, start + 50);
  std::vector<uint64_t> steps;
  for (int k = 0; k < 12; ++k) {
    const int before = A(1).FrameOffset;
    H.Advance(kTickMs);
    if (A(1).FrameOffset != before) steps.push_back(H.NowMs - start);
  }
  EXPECT_EQ(steps, (std::vector<uint64_t>{60, 120, 150, 210, 270, 300, 360}));
  // A one-second stall: one step, then on schedule from now.
  const int before = A(1).FrameOffset;
  H.NowMs += 1000;
  H.Gfx->Tick(H.NowMs);
  EXPECT_EQ(A(1).FrameOffset, (before + 1) % 3);
  EXPECT_EQ(A(1).NextDue, H.NowMs + 50);
}

struct TFrameCase {
  const char* Name;
  int Mode;
  std::vector<int> Offsets;
};

class DDOFXGfxFrameModes : public DDOFXGfxAnim, public ::testing::WithParamInterface<TFrameCase> {};

TEST_P(DDOFXGfxFrameModes, Offsets) {
  H.Run("2ANIM,1,10,10," + std::to_string(GetParam().Mode) + ",F0,F2,0,0,0,0,100");
  H.Run("2PLAYA,1");
  if (GetParam().Mode == 0) {
    H.Advance(300);
    EXPECT_EQ(A(1).FrameOffset, 0);
    return;
  }
  EXPECT_EQ(Frames(1, int(GetParam().Offsets.size())), GetParam().Offsets);
}

INSTANTIATE_TEST_SUITE_P(Table, DDOFXGfxFrameModes,
                         ::testing::Values(TFrameCase{"Loop", 1, {1, 2, 0, 1}}, TFrameCase{"LoopToo", 4, {1, 2, 0}},
                                           TFrameCase{"Once", 2, {1, 2, 2, 2}},
                                           TFrameCase{"BackAndForth", 3, {1, 2, 1, 0, 1, 2}},
                                           TFrameCase{"Still", 0, {}}),
                         [](const ::testing::TestParamInfo<TFrameCase>& info) { return std::string(info.param.Name); });

TEST_F(DDOFXGfxAnim, MotionBackAndForthOverTwoPaths) {
  H.Run("2MOTION,1,0,0,30,0,10,0,20,0,4");
  H.Run("2MOTION,2,30,0,30,30,30,10,30,20,3");
  H.Run("2ANIM,1,0,0,0,F0,F0,1,2,3,0,100");
  H.Run("2PLAYA,1");
  std::vector<std::pair<int, int>> walk;
  for (int k = 0; k < 12; ++k) {
    H.Gfx->StepAnimation(1);
    walk.push_back({A(1).PathIndex, A(1).PathStep});
  }
  // At either end the turn takes one step in place.
  EXPECT_EQ(walk, (std::vector<std::pair<int, int>>{
                      {1, 1}, {1, 2}, {1, 3}, {2, 0}, {2, 1}, {2, 2}, {2, 2}, {2, 1}, {2, 0}, {1, 3}, {1, 2}, {1, 1}}));
  H.Gfx->StepAnimation(1);
  EXPECT_EQ(std::make_pair(A(1).PathIndex, A(1).PathStep), std::make_pair(1, 0));
  H.Gfx->StepAnimation(1);
  EXPECT_EQ(std::make_pair(A(1).PathIndex, A(1).PathStep), std::make_pair(1, 0));
  H.Gfx->StepAnimation(1);
  EXPECT_EQ(std::make_pair(A(1).PathIndex, A(1).PathStep), std::make_pair(1, 1)) << "forward again";
  int x = 0, y = 0;
  H.Gfx->AnimPosition(1, x, y);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 0);
}

TEST_F(DDOFXGfxAnim, MotionThatStopsAndOneStepPaths) {
  H.Run("2MOTION,1,0,0,100,50,0,0,100,50,1");  // one step: at the end at once
  H.Run("2ANIM,2,5,5,0,F0,F0,1,1,2,0,100");
  int x = 0, y = 0;
  H.Gfx->AnimPosition(2, x, y);
  EXPECT_EQ(std::make_pair(x, y), std::make_pair(100, 50));
  H.Run("2MOTION,3,0,0,20,0,0,0,20,0,3");
  H.Run("2ANIM,3,5,5,0,F0,F0,3,3,2,0,100");
  for (int k = 0; k < 5; ++k) H.Gfx->StepAnimation(3);
  EXPECT_TRUE(A(3).PathDone);
  EXPECT_EQ(A(3).PathStep, 2);
  H.Gfx->AnimPosition(3, x, y);
  EXPECT_EQ(x, 20);
  H.Run("2MOTION,0");
  H.Gfx->AnimPosition(3, x, y);
  EXPECT_EQ(std::make_pair(x, y), std::make_pair(5, 5)) << "paths erased: its own position";
}

struct TRoundCase {
  int X3, Want;
};

class DDOFXGfxMotionRounding : public ::testing::TestWithParam<TRoundCase> {};

TEST_P(DDOFXGfxMotionRounding, HalvesToEven) {
  // Halfway along a curve whose only non-zero point is the end, x is X3 / 8.
  TDDOFXGfx gfx;
  gfx.Motions[1] = {true, 0, 0, GetParam().X3, GetParam().X3, 0, 0, 0, 0, 3};
  int x = 0, y = 0;
  gfx.MotionPoint(1, 1, x, y);
  EXPECT_EQ(x, GetParam().Want);
  EXPECT_EQ(y, GetParam().Want);
}

INSTANTIATE_TEST_SUITE_P(Table, DDOFXGfxMotionRounding,
                         ::testing::Values(TRoundCase{4, 0}, TRoundCase{12, 2}, TRoundCase{20, 2}, TRoundCase{28, 4},
                                           TRoundCase{-4, 0}, TRoundCase{-12, -2}, TRoundCase{13, 2}, TRoundCase{11, 1}));

TEST_F(DDOFXGfxAnim, FrameSoundsPlayOnTheirFrameAndAtTheStart) {
  H.Run("2ANIMSOUND,1,1,7,11025,1");
  H.Run("2ANIMSOUND,1,19,8");  // rate 8500 and frame 1 by default
  H.Run("2ANIMSOUND,1,20,9,1,1");  // no slot 20
  H.Run("2ANIM,1,10,10,1,F0,F1,0,0,0,0,100,1");
  H.Run("2ANIMSOUND,1,1,7,11025,1");  // the definition zeroed them; set again
  H.Run("2ANIMSOUND,1,2,5,22050,2");
  H.Run("2PLAYA,1");
  EXPECT_EQ(H.Bites, (std::vector<std::pair<int, int>>{{7, 11025}}));
  H.Bites.clear();
  Frames(1, 2);
  EXPECT_EQ(H.Bites, (std::vector<std::pair<int, int>>{{5, 22050}, {7, 11025}}));
  H.Run("2ANIM,2,10,10,1,F0,F1,0,0,0,0,100,0");  // sounds off
  H.Run("2ANIMSOUND,2,1,7,11025,1");
  H.Bites.clear();
  H.Run("2PLAYA,2");
  EXPECT_TRUE(H.Bites.empty());
}

TEST_F(DDOFXGfxAnim, StopAllForgetsTheDefinitionsAndMissingFramesAreLogged) {
  H.Run("2ANIM,1,10,10,1,F0,F2");
  H.Run("2PLAYA,1");
  H.Run("2STOPA,0");
  EXPECT_TRUE(H.Gfx->PlayList.empty());
  H.Run("2PLAYA,1");
  EXPECT_FALSE(A(1).Playing);
  H.Run("2ANIM,4,0,0,1,NOPE,F2");
  EXPECT_TRUE(H.Logged("2ANIM 4: frames not found NOPE..F2"));
  H.Run("2ANIM,5,0,0,1,F2,F0");
  EXPECT_FALSE(A(5).Defined);
  H.Run("2ANIM,401,0,0,1,F0,F2");
  H.Run("2ANIM,-1,0,0,1,F0,F2");
  H.Run("2PLAYA,-5");
  H.Run("2STOPA,401");
  EXPECT_TRUE(H.Gfx->PlayList.empty());
}

TEST_F(DDOFXGfxAnim, ComposerDrawsPlayingScreenAnimationsInPlayOrderWithoutTouchingPageZero) {
  H.Run("2ANIM,1,100,100,0,F0,F0,0,0,0,0");  // opaque
  H.Run("2ANIM,2,101,101,0,F1,F1,0,0,0,1");  // transparent, on top
  H.Run("2ANIM,3,-1,5,0,F2,F2,0,0,0,0");     // opaque partly off: not drawn
  H.Run("2ANIM,4,-1,5,0,F2,F2,0,0,0,1");     // clipped: its right column
  H.Run("2ANIM,5,200,50,0,W,W,0,0,0,2");     // mirrored
  H.Run("2ANIM,6,300,50,0,F0,F0,0,0,0,0");
  for (int n : {1, 2, 3, 4, 5, 6}) H.Run("2PLAYA," + std::to_string(n));
  H.Gfx->Anims[6].Owner = 1;  // a graphics window's: drawn there, not here
  H.Compose();
  const auto& page = H.Gfx->Pages[0];
  EXPECT_TRUE(std::all_of(page.begin(), page.end(), [](uint8_t v) { return v == 0; })) << "page 0 untouched";
  const uint32_t c1 = 0x0000AA, c2 = 0x00AA00, c3 = 0x00AAAA, c4 = 0xAA0000, c5 = 0xAA00AA;
  EXPECT_EQ(H.At(100, 99), c1);
  EXPECT_EQ(H.At(101, 100), c2) << "the later one on top";
  EXPECT_EQ(H.At(0, 4), c3);
  EXPECT_EQ(H.At(0, 5), c3);
  EXPECT_EQ(H.At(200, 49), c4) << "mirrored: the right column's colour first";
  EXPECT_EQ(H.At(203, 49), 0u) << "transparent 0";
  EXPECT_EQ(H.At(200, 50), c5);
  EXPECT_EQ(H.At(300, 50), 0u);
  H.Gfx->FBackgroundPaused = true;
  H.Compose();
  EXPECT_EQ(H.At(100, 99), 0u) << "no animation while the background is paused";
}

TEST_F(DDOFXGfxAnim, FlyMovesAndSwapsFrames) {
  H.Run("2ANIM,1,10,10,1,F0,F1,0,0,0,0");
  H.Run("2AFLY,1,50,60,F2,F2");
  EXPECT_EQ(A(1).X, 50);
  EXPECT_EQ(A(1).FirstSprite, H.Gfx->FindSprite("F2"));
  EXPECT_EQ(A(1).DrawMode, 0);
  H.Run("2AFLY,1,51,61,NOPE,F2,2");
  EXPECT_EQ(A(1).FirstSprite, H.Gfx->FindSprite("F2"));
  EXPECT_EQ(A(1).DrawMode, 2);
}

TEST_F(DDOFXGfxAnim, PausedBackgroundHoldsAnimationsAndFlicsWhileFadesAndShakesEnd) {
  H.Run("2ANIM,1,10,10,1,F0,F2,0,0,0,0,100");
  H.Run("2PLAYA,1");
  H.Run("2aFPALOUT");
  H.Gfx->Now = H.NowMs;
  H.Run("2aFPALIN");
  H.Run("2aSHAKE");
  H.Gfx->FBackgroundPaused = true;
  H.Advance(600);
  EXPECT_EQ(A(1).FrameOffset, 0);
  EXPECT_EQ(H.Gfx->FadeStart, 0u);
  EXPECT_EQ(H.Gfx->ShakeUntil, 0u);
}

TEST_F(DDOFXGfxAnim, SpriteSequencesRestoreTheirBackgroundAndStep) {
  H.Gfx->FillRect(2, 0, 0, 639, 479, 8);  // the background page
  H.Run("2SSA,2,100,100,1,F0,F2,2,1");
  H.Run("2SS,200,100,0,W,2");
  EXPECT_EQ(H.Gfx->SequenceCount, 3);
  H.Run("2DSS");
  EXPECT_EQ(H.PageAt(0, 100, 100), 2) << "first step: offset 1";
  EXPECT_EQ(H.PageAt(0, 99, 101), 8) << "the margin came from B";
  EXPECT_EQ(H.PageAt(3, 100, 100), 2);
  EXPECT_EQ(H.PageAt(0, 200, 99), 4) << "mirrored single sprite";
  std::vector<int> steps;
  for (int k = 0; k < 4; ++k) {
    H.Run("2DSS");
    steps.push_back(H.PageAt(0, 100, 100));
  }
  EXPECT_EQ(steps, (std::vector<int>{3, 2, 1, 2})) << "back and forth";
  H.Run("2CSS");
  EXPECT_EQ(H.Gfx->SequenceCount, 2);
  H.Run("2SSA,3000,0,0,0,NONE,F0");
  EXPECT_EQ(H.Gfx->SequenceCount, 3000);
  H.Run("2SSA,3001,0,0,0,F0,F0");
  H.Run("2ACSS");
  EXPECT_EQ(H.Gfx->SequenceCount, 0);
  const std::vector<uint8_t> before = H.Gfx->Pages[0];
  H.Gfx->Dirty = false;
  H.Run("2DSS");
  EXPECT_TRUE(H.Gfx->Dirty);
  EXPECT_EQ(H.Gfx->Pages[0], before);
  for (int k = 0; k < 3005; ++k) H.Gfx->ExecCommand("2SS,1,1,0,F0");
  EXPECT_EQ(H.Gfx->SequenceCount, 3000);
}

TEST_F(DDOFXGfxAnim, FreedSpritesLeaveAnimationsDrawingNothing) {
  H.Run("2ANIM,1,100,100,0,F0,F0,0,0,0,0");
  H.Run("2PLAYA,1");
  H.Run("2SS,50,50,0,F0");
  H.Run("2sFF");
  H.Compose();
  H.Run("2DSS");
  EXPECT_EQ(H.At(100, 100), 0u);
  EXPECT_EQ(H.PageAt(0, 50, 50), 0);
}

}  // namespace
