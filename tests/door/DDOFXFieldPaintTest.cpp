// Text fields stamped into pages or drawn live into the frame, clicks on
// them, and the paused background.
#include "tests/door/DDOFXWidgetSupport.h"

using namespace ddofxgfxtest;

namespace {

class DDOFXFieldPaint : public ::testing::Test {
 protected:
  TGfxHarness H;
  void SetUp() override {
    H.Gfx->SetTextFont(BlockFont(2, 13).data());
    H.Run("LIGMODE");
    H.Advance(30);
  }
  TDDOFXFieldView Field(int x, int y, int width, const std::string& text, bool focused = false) {
    TDDOFXFieldView f;
    f.Defined = true;
    f.Focused = focused;
    f.X = x;
    f.Y = y;
    f.Width = width;
    f.Bg = 1;
    f.FocusBg = 4;
    f.Fg = 14;
    f.Text = text;
    return f;
  }
};

TEST_F(DDOFXFieldPaint, ANewFieldGoesToTheWorkPageClippedToTheScreen) {
  H.Gfx->SetField(1, Field(10, 10, 4, "ab"));
  // The bar covers rows 0..10 (not 18 rows above the top) and 5 cells.
  EXPECT_EQ(H.PageAt(1, 30, 0), 1);
  EXPECT_EQ(H.PageAt(1, 10, 10), 1);
  EXPECT_EQ(H.PageAt(1, 10, 11), 0);
  EXPECT_EQ(H.PageAt(1, 49, 5), 1);
  EXPECT_EQ(H.PageAt(1, 50, 5), 0);
  EXPECT_EQ(H.PageAt(1, 9, 5), 0);
  // Glyph rows 2..13 from row Y - 16: ink on rows 0..7 only here.
  EXPECT_EQ(H.PageAt(1, 12, 0), 14);
  EXPECT_EQ(H.PageAt(1, 20, 5), 14);
  EXPECT_EQ(H.PageAt(1, 28, 5), 1) << "past the text";
  EXPECT_EQ(H.PageAt(0, 12, 5), 0);
  // Far off the screen: nothing, and no time spent.
  H.Gfx->SetField(2, Field(-2147483647, 2147483647, 2147483647, std::string(1000, 'x')));
  H.Gfx->SetField(3, Field(2147483000, -5, 2147483647, std::string(1000, 'x'), true));
  H.Compose();
}

TEST_F(DDOFXFieldPaint, AStampedFieldChangesOnScreenOnlyWhenDrawn) {
  H.Gfx->SetField(1, Field(100, 100, 4, "a"));
  H.Gfx->DrawField(1);
  EXPECT_EQ(H.PageAt(0, 110, 95), 1);
  H.Gfx->SetField(1, Field(100, 100, 4, "ab"));
  EXPECT_EQ(H.PageAt(0, 110, 95), 1) << "same place, new text: not painted yet";
  EXPECT_EQ(H.PageAt(1, 110, 95), 1);
  H.Gfx->DrawField(1);
  EXPECT_EQ(H.PageAt(0, 110, 95), 14);
}

TEST_F(DDOFXFieldPaint, TheFocusedFieldIsDrawnLiveWithItsCursorAndStampedWhenItLosesFocus) {
  H.Gfx->SetField(1, Field(100, 100, 4, "ab", true));
  EXPECT_EQ(H.PageAt(0, 100, 95), 0);
  EXPECT_EQ(H.PageAt(1, 100, 95), 0);
  H.Compose();
  EXPECT_EQ(H.At(101, 95), Rgb(*H.Gfx, 14));
  EXPECT_EQ(H.At(120, 95), Rgb(*H.Gfx, 4)) << "focused background";
  EXPECT_EQ(H.At(116, 99), Rgb(*H.Gfx, 14)) << "cursor line after the text";
  EXPECT_EQ(H.At(123, 99), Rgb(*H.Gfx, 14));
  EXPECT_EQ(H.At(124, 99), Rgb(*H.Gfx, 4));
  H.Gfx->SetField(1, Field(100, 100, 2, "ab", true));
  H.Compose();
  EXPECT_EQ(H.At(116, 99), Rgb(*H.Gfx, 4)) << "a full field has no cursor";
  H.Gfx->SetField(1, Field(100, 100, 2, "ab", false));
  EXPECT_EQ(H.PageAt(0, 101, 95), 14) << "its last look stays on the screen";
  EXPECT_EQ(H.PageAt(0, 120, 95), 1);
  H.Gfx->ClearFields();
  H.Compose();
  EXPECT_EQ(H.At(101, 95), Rgb(*H.Gfx, 14));
}

TEST_F(DDOFXFieldPaint, AClickOnAFieldReachesTheFieldCallback) {
  std::vector<int> clicked;
  H.Gfx->OnFieldClick = [&](int n) { clicked.push_back(n); };
  H.Gfx->SetField(7, Field(100, 100, 4, ""));
  H.Gfx->MouseDown(100 + 4 * 8 + 7, 83, 1);
  H.Gfx->MouseDown(100 + 4 * 8 + 8, 83, 1);
  H.Gfx->MouseDown(120, 82, 1);
  H.Gfx->MouseDown(120, 90, 2);
  EXPECT_EQ(clicked, std::vector<int>{7});
  EXPECT_TRUE(H.Gfx->IsOverHotspot(120, 90));
}

class DDOFXPause : public DDOFXFieldPaint {};

TEST_F(DDOFXPause, PausingStampsTheAnimationsAndResumingTakesThemOutAgain) {
  SolidSprite(H, "BALL", 10, 10, 9);
  H.Run("2ANIM,1,100,100,0,BALL,BALL,0,0,0,0,10");
  H.Run("2PLAYA,1");
  H.Run("~PAUSEBAK");
  ASSERT_TRUE(H.Gfx->BackgroundPaused());
  EXPECT_EQ(H.PageAt(0, 105, 95), 9);
  EXPECT_EQ(H.PageAt(3, 105, 95), 0);
  H.Run("~PAUSEBAK");
  EXPECT_EQ(H.Gfx->PausedRects.size(), 1u) << "a second pause stamps nothing more";
  H.Gfx->Anims[1].X = 300;  // it moves meanwhile
  H.Compose();
  EXPECT_EQ(H.At(305, 95), Rgb(*H.Gfx, 0)) << "paused animations are not drawn";
  H.Run("~UNPAUSEBAK");
  EXPECT_FALSE(H.Gfx->BackgroundPaused());
  EXPECT_EQ(H.PageAt(0, 105, 95), 0);
  H.Compose();
  EXPECT_EQ(H.At(105, 95), Rgb(*H.Gfx, 0)) << "no stamped frame left behind";
  EXPECT_EQ(H.At(305, 95), Rgb(*H.Gfx, 9));
  // Resuming without a pause changes nothing.
  H.Gfx->Pages[0][0] = 3;
  H.Run("~UNPAUSEBAK");
  EXPECT_EQ(H.PageAt(0, 0, 0), 3);
}

}  // namespace
