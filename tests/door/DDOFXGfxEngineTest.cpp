// The door graphics engine's life cycle, page selection and palette, and
// the frame composer's colours, fade, shake and status line.
#include <cmath>

#include "tests/door/DDOFXGfxHarness.h"

using namespace ddofxgfxtest;

namespace {

class DDOFXGfxEngine : public ::testing::Test {
 protected:
  TGfxHarness H;
  void On() { H.Run("LIGMODE"); }
  uint8_t Pal(int index, int c) const { return H.Gfx->Palette[size_t(index * 3 + c)]; }
};

TEST_F(DDOFXGfxEngine, AFreshEngineHasNoTextCellUntilReset) {
  TDDOFXGfx gfx;
  EXPECT_EQ(gfx.CellWidth, 0);
  EXPECT_EQ(gfx.CellHeight, 0);
  EXPECT_FALSE(gfx.GraphicsMode());
  gfx.Reset();
  EXPECT_EQ(gfx.CellWidth, 8);
  EXPECT_EQ(gfx.CellHeight, 16);
}

TEST_F(DDOFXGfxEngine, ResetLeavesGraphicsAndRestoresPaletteButKeepsAssetFolderAndFontCache) {
  On();
  H.Run("2fMYDOOR");
  H.Run("fNOSUCH.F16");
  H.Run("2XT,0,15,7,0,A");  // looks the font up once: a remembered miss
  H.Run("2aSRGB,1,1,2,3");
  H.Run("1SCALE,4,8");
  ASSERT_EQ(H.Gfx->PackBase, "MYDOOR");
  H.Gfx->Reset();
  EXPECT_FALSE(H.Gfx->GraphicsMode());
  EXPECT_EQ(H.Gfx->PackBase, "");
  EXPECT_EQ(H.Gfx->FontName, "");
  EXPECT_EQ(H.Gfx->CellWidth, 8);
  EXPECT_EQ(H.Gfx->CellHeight, 16);
  EXPECT_EQ(Pal(1, 2), 42);
  EXPECT_EQ(H.Gfx->AssetDir, H.Assets.Path());
  EXPECT_EQ(H.Gfx->Fonts.count("NOSUCH.F16"), 1u);
}

TEST_F(DDOFXGfxEngine, LigmodeTwiceKeepsThePictureAndExitWhileOffStillClears) {
  On();
  H.Run("2C,9");
  H.Run("2aRECT,0,9,0,9");
  H.Run("2CPYWP2VP");
  ASSERT_EQ(H.PageAt(0, 5, 5), 9);
  On();
  EXPECT_EQ(H.PageAt(0, 5, 5), 9);
  H.Run("2GEXIT");
  EXPECT_FALSE(H.Gfx->GraphicsMode());
  // Off now: a second exit still forgets what was drawn meanwhile.
  H.Gfx->Pages[2][0] = 4;
  H.Gfx->Sprites.push_back(std::make_unique<TGfxSprite>());
  EXPECT_TRUE(H.Gfx->ExecCommand("2GEXIT"));
  EXPECT_EQ(H.PageAt(2, 0, 0), 0);
  EXPECT_TRUE(H.Gfx->Sprites.empty());
}

TEST_F(DDOFXGfxEngine, WhileOffOnlyTheModeAndNameWordsReachTheEngine) {
  EXPECT_FALSE(H.Gfx->ExecCommand("2C,5"));
  EXPECT_EQ(H.Gfx->Colour, 0);
  EXPECT_FALSE(H.Gfx->ExecCommand("2fPACK"));
  EXPECT_EQ(H.Gfx->PackBase, "PACK");
  EXPECT_FALSE(H.Gfx->ExecCommand("fFONT.F16 "));
  EXPECT_EQ(H.Gfx->FontName, "FONT.F16");
  const bool dirty = H.Gfx->Dirty;
  H.Gfx->Dirty = false;
  EXPECT_FALSE(H.Gfx->Tick(5000));
  H.Gfx->Dirty = dirty;
}

TEST_F(DDOFXGfxEngine, ATargetedGraphicsWindowTakesDrawingToVButNeverB) {
  On();
  TGfxGWin& w = H.Gfx->GraphicsWindows[2];
  w.Defined = true;
  w.Canvas.assign(size_t(ddofxgfx::kPageSize), 0);
  w.Mirror.assign(size_t(ddofxgfx::kPageSize), 0);
  H.Gfx->DrawWindow = 2;
  H.Gfx->DrawSprite(-1, 0, 0, 0, false, false, false);
  H.Gfx->PutPixel(0, 3, 4, 11);
  H.Gfx->PutPixel(2, 3, 4, 12);
  EXPECT_EQ(w.Canvas[size_t(4 * 640 + 3)], 11);
  EXPECT_EQ(w.Mirror[size_t(4 * 640 + 3)], 11);
  EXPECT_EQ(H.PageAt(0, 3, 4), 0);
  EXPECT_EQ(H.PageAt(3, 3, 4), 0);
  EXPECT_EQ(H.PageAt(2, 3, 4), 12);
  // A window number that is not defined leaves the pages in place.
  H.Gfx->DrawWindow = 3;
  H.Gfx->PutPixel(0, 3, 4, 13);
  EXPECT_EQ(H.PageAt(0, 3, 4), 13);
}

TEST_F(DDOFXGfxEngine, PaletteWords) {
  On();
  H.Run("2aSRGB,5,99,40,10");
  EXPECT_EQ(Pal(5, 0), 63);
  EXPECT_EQ(Pal(5, 1), 40);
  EXPECT_EQ(Pal(5, 2), 10);
  // A negative component stays within the 6 bits instead of wrapping.
  H.Run("2aSRGB,6,-1,-200,63");
  EXPECT_EQ(Pal(6, 0), 0);
  EXPECT_EQ(Pal(6, 1), 0);
  H.Run("2aSRGB,256,1,1,1");
  H.Run("2aSRGB,200,1,2,3");
  H.Run("2aSRGB,1,9,9,9");
  H.Run("2aSTOREPAL");
  H.Run("2aZEROPAL");
  EXPECT_EQ(Pal(15, 0), 0);
  H.Run("2aSRGB,200,1,2,3");
  H.Run("2aDEFPAL");
  EXPECT_EQ(Pal(1, 2), 42);  // 0..15 back to the defaults
  EXPECT_EQ(Pal(200, 2), 3);  // 16..255 kept
  H.Run("2aRESTOREPAL");
  EXPECT_EQ(Pal(1, 0), 9);
  H.Gfx->ResetPalette();
  EXPECT_EQ(Pal(200, 2), 0);
  EXPECT_EQ(Pal(14, 2), 21);
}

TEST_F(DDOFXGfxEngine, ComposerColoursRoundHalvesToEven) {
  On();
  H.Run("2aSRGB,20,32,0,1");
  H.Gfx->Pages[0][0] = 7;
  H.Gfx->Pages[0][1] = 15;
  H.Gfx->Pages[0][2] = 20;
  H.Compose();
  EXPECT_EQ(H.At(0, 0), 0xAAAAAAu);
  EXPECT_EQ(H.At(1, 0), 0xFFFFFFu);
  EXPECT_EQ(H.At(2, 0), (130u << 16) | 4u);  // 129.52 and 4.05
  EXPECT_FALSE(H.Gfx->Dirty);
}

TEST_F(DDOFXGfxEngine, FadeInRunsFromBlackToFullIn350Ms) {
  On();
  H.Gfx->Pages[0][0] = 15;
  H.Run("2aFPALOUT");
  EXPECT_EQ(H.PageAt(0, 0, 0), 0);
  H.Gfx->Pages[0][0] = 15;
  H.Compose("STATUS");
  EXPECT_EQ(H.At(0, 0), 0u);
  // The status line is drawn over the black picture all the same.
  EXPECT_EQ(H.At(639, 479), 0x0000AAu);
  H.Gfx->Now = H.NowMs;
  H.Run("2aFPALIN");
  ASSERT_EQ(H.Gfx->FadeStart, H.NowMs);
  H.Compose();
  EXPECT_EQ(H.At(0, 0), 0u);
  H.Gfx->Now = H.NowMs + 175;
  H.Compose();
  EXPECT_EQ(H.At(0, 0), 0x808080u);  // 127.5 to even
  EXPECT_TRUE(H.Advance(360));
  EXPECT_EQ(H.Gfx->FadeStart, 0u);
  H.Compose();
  EXPECT_EQ(H.At(0, 0), 0xFFFFFFu);
}

TEST_F(DDOFXGfxEngine, ShakeMovesAtMostSixAcrossAndFourDownWithABlackEdge) {
  On();
  std::fill(H.Gfx->Pages[0].begin(), H.Gfx->Pages[0].end(), uint8_t(15));
  H.Gfx->Now = H.NowMs;
  H.Run("2aSHAKE");
  EXPECT_EQ(H.Gfx->ShakeUntil, H.NowMs + 450);
  int maxDx = 0, maxDy = 0;
  for (uint64_t t = H.NowMs; t < H.NowMs + 450; t += 7) {
    H.Gfx->Now = t;
    H.Compose();
    const int dx = int(std::nearbyint(std::sin(double(t) / 18) * 6)), dy = int(std::nearbyint(std::cos(double(t) / 23) * 4));
    maxDx = std::max(maxDx, std::abs(dx));
    maxDy = std::max(maxDy, std::abs(dy));
    // The uncovered edge is black, the rest the picture.
    if (dx > 0) {
      EXPECT_EQ(H.At(dx - 1, 240), 0u);
    }
    if (dx < 0) {
      EXPECT_EQ(H.At(639 + dx + 1, 240), 0u);
    }
    if (dy > 0) {
      EXPECT_EQ(H.At(320, dy - 1), 0u);
    }
    EXPECT_EQ(H.At(320, 240), 0xFFFFFFu);
  }
  EXPECT_LE(maxDx, 6);
  EXPECT_LE(maxDy, 4);
  EXPECT_TRUE(H.Advance(480));
  EXPECT_EQ(H.Gfx->ShakeUntil, 0u);
}

TEST_F(DDOFXGfxEngine, StatusLineShowsEightyCharactersOnBlue) {
  On();
  H.Gfx->SetTextFont(BlockFont(2, 13).data());
  H.Compose(std::string(100, 'X'));
  EXPECT_EQ(H.At(0, 464), 0x0000AAu);       // glyph row 0 is blank
  EXPECT_EQ(H.At(0, 466), 0xFFFFFFu);       // row 2 has ink
  EXPECT_EQ(H.At(639, 470), 0xFFFFFFu);     // the 80th character
  EXPECT_EQ(H.At(0, 463), 0u);              // the picture above
  H.Compose("abc");
  EXPECT_EQ(H.At(23, 470), 0xFFFFFFu);
  EXPECT_EQ(H.At(24, 470), 0x0000AAu);
  EXPECT_EQ(H.At(639, 479), 0x0000AAu);
}

// The interpreter's answers: True consumed, False for the parser.
struct TWordCase {
  const char* Name;
  std::vector<std::string> Before;
  std::string Command;
  bool Result;
};

class DDOFXGfxWords : public ::testing::TestWithParam<TWordCase> {};

TEST_P(DDOFXGfxWords, Result) {
  TGfxHarness h;
  h.Run("LIGMODE");
  for (const std::string& c : GetParam().Before) h.Run(c);
  EXPECT_EQ(h.Gfx->ExecCommand(GetParam().Command), GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DDOFXGfxWords,
    ::testing::Values(TWordCase{"Empty", {}, "", false},
                      TWordCase{"PackBaseAlone", {}, "2f", false},
                      TWordCase{"FAloneIsUnknown", {}, "f", false},
                      TWordCase{"LigmodeWithAFieldIsUnknown", {}, "LIGMODE,1", false},
                      TWordCase{"PageCopy", {}, "2CPYWP2VP", true},
                      TWordCase{"PageCopyOneShortIsUnknown", {}, "2CPYWP2V", false},
                      TWordCase{"Unknown", {}, "2ZZZ,1", false},
                      TWordCase{"Reset", {}, "2RESET", false},
                      TWordCase{"AcceptedWithoutEffect", {}, "6DEFJOY,1,2", true},
                      TWordCase{"SpriteDraw", {}, "2sCV,10,100,BALL", true},
                      TWordCase{"FreeSprites", {}, "2sFF", true},
                      TWordCase{"FlicUnknownToTheRaycaster", {}, "5SFLIC,0", true},
                      TWordCase{"BitmapText", {}, "2XT,1,20,15,0,hello, world", true},
                      TWordCase{"Scale", {}, "1SCALE,4,8", true},
                      TWordCase{"OutOfRangeSlotIsStillConsumed", {}, "2PLAYA,9999", true}),
    [](const ::testing::TestParamInfo<TWordCase>& info) { return std::string(info.param.Name); });

}  // namespace

namespace {

TEST(DDOFXGfxBench, AScriptOnTheSimulatedClockEndsInAPngAndTheReplies) {
  TGfxHarness h;
  h.Play({"LIGMODE", "2C,12", "2aRECT,10,29,20,39", "2CPYWP2VP", "dLITERM", "+300"});
  h.Compose();
  testsupport::TempDir out;
  ASSERT_TRUE(h.WritePng(out.File("frame.png")));
  EXPECT_EQ(h.NowMs, 100300u);
  const std::string pixel =
      testsupport::CommandOutput("/usr/bin/convert '" + out.File("frame.png") + "' -format '%[pixel:p{15,25}]' info:");
  EXPECT_NE(pixel.find("255,85,85"), std::string::npos) << pixel;
  EXPECT_EQ(testsupport::ReadWholeFile(out.File("frame.png.reply")), "LITERM Ver. 2.00\xFF");
}

}  // namespace
