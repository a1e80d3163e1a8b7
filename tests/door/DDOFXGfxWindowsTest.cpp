// Graphics windows: creation and its clamps, the title buttons and scroll
// bars, queries, maximise and restore, dragging and resizing by the mouse,
// the painted frame, and gadgets inside a window's canvas.
#include "tests/door/DDOFXWidgetSupport.h"

using namespace ddofxgfxtest;

namespace {

const std::string kReplyEnd = "\xFF";

class DDOFXGfxWindows : public ::testing::Test {
 protected:
  TGfxHarness H;
  void SetUp() override {
    H.Run("LIGMODE");
    H.Advance(30);
  }
  const TGfxGWin& W(int n) const { return H.Gfx->GraphicsWindows[size_t(n)]; }
  std::string Rect(int n) const {
    return std::to_string(W(n).X1) + ".." + std::to_string(W(n).X2) + " x " + std::to_string(W(n).Y1) + ".." +
           std::to_string(W(n).Y2);
  }
  std::string Reply(const std::string& query) {
    H.Sent.clear();
    H.Run(query);
    return H.Sent;
  }
  // A framed, active window 100..399 x 100..299 titled Hello.
  void Standard(const std::string& flags = "0,0,0,0,0,0,0") {
    H.Run("2GWIN,1,100,399,100,299,640,480,0,1,0," + flags + ",0,Hello");
  }
};

TEST_F(DDOFXGfxWindows, CreationClampsAndOrdersTheRectangle) {
  const struct {
    const char* command;
    const char* rect;
    bool frameless;
  } cases[] = {
      {"2GWIN,1,300,100,250,50", "100..300 x 50..250", false},
      {"2GWIN,1,630,639,470,479", "630..639 x 470..479", false},
      {"2GWIN,1,630,631,470,471", "630..639 x 470..479", false},
      {"2GWIN,1,10,11,10,11", "10..50 x 10..50", false},
      {"2GWIN,1,10,11,10,11,640,480,0,0,0,0,0,0,0,0,0,0,0,1", "10..11 x 10..11", true},
      {"2GWIN,1,-2147483648,2147483647,-5,99999999999", "0..639 x 0..40", false},
  };
  for (const auto& c : cases) {
    H.Run(c.command);
    EXPECT_EQ(Rect(1), c.rect) << c.command;
    EXPECT_EQ(W(1).Frameless, c.frameless) << c.command;
  }
  EXPECT_EQ(W(1).Title, "");
  H.Run("2GWIN,2,10,11,10,11,640,480,0,0,0,0,0,0,0,0,0,0,0,1");
  EXPECT_EQ(W(2).Title, "1") << "a frameless window titled 1";
  H.Run("2GWIN,3,0,100,0,100,640,480,0,0,0,0,0,0,0,0,0,0,0," + std::string(80, 'T'));
  EXPECT_EQ(W(3).Title.size(), 60u);
  H.Run("2GWIN,11,0,100,0,100");
  EXPECT_EQ(Reply("2VGWIN?,11"), "-1" + kReplyEnd);
  H.Run("2GWIN,0");
  EXPECT_FALSE(W(1).Defined);
  EXPECT_FALSE(W(3).Defined);
}

TEST_F(DDOFXGfxWindows, TitleButtonsAndScrollBars) {
  Standard();
  EXPECT_EQ(H.Gfx->TitleButtonX(1, 2), 379);
  EXPECT_EQ(H.Gfx->TitleButtonX(1, 5), 361);
  EXPECT_EQ(H.Gfx->TitleButtonX(1, 4), 343);
  EXPECT_EQ(H.Gfx->TitleButtonX(1, 3), -1) << "no icon, no minimise button";
  H.Run("2GWIN,1,100,399,100,299,640,480,5,1,0,0,0,1,0,0,0,0,0,Hello");
  EXPECT_EQ(H.Gfx->TitleButtonX(1, 5), -1);
  EXPECT_EQ(H.Gfx->TitleButtonX(1, 4), 399 - 38);
  EXPECT_EQ(H.Gfx->TitleButtonX(1, 3), 399 - 56);
  // A narrow window places only the buttons that fit.
  H.Run("2GWIN,2,100,140,100,200,640,480,5");
  EXPECT_EQ(H.Gfx->TitleButtonX(2, 2), 120);
  EXPECT_EQ(H.Gfx->TitleButtonX(2, 5), -1) << "102 would be left of 104";
  EXPECT_EQ(H.Gfx->TitleButtonX(2, 4), -1);
  EXPECT_EQ(H.Gfx->TitleButtonX(2, 3), -1);
  // 300 wide with 200 of content: no horizontal bar, no scrolling.
  H.Run("2GWIN,3,0,299,0,400,200,480");
  EXPECT_FALSE(H.Gfx->NeedsScrollBar(3, false));
  EXPECT_TRUE(H.Gfx->NeedsScrollBar(3, true));
  H.Run("2CHVGPR,3,50,500");
  EXPECT_EQ(W(3).ScrollX, 0);
  EXPECT_EQ(W(3).ScrollY, 480 - 367);
  H.Run("2CHVGP,3,0,10");
  EXPECT_EQ(W(3).ScrollY, 10);
  H.Run("2CHVGP,3,0,400");  // beyond the content: the old position stays
  EXPECT_EQ(W(3).ScrollY, 10);
  EXPECT_EQ(Reply("2SGWIN?,3"), "0,299,0,400,0,10" + kReplyEnd);
}

TEST_F(DDOFXGfxWindows, QueriesAndTheirErrorAnswers) {
  Standard();
  H.Run("2GWIN,2,0,100,0,100,640,480,0,0,1");
  const struct {
    const char* query;
    const char* answer;
  } cases[] = {
      {"2FGWIN", "1"},          {"2HGWIN?,2", "Y"},  {"2HGWIN?,1", "N"},   {"2HGWIN?,3", "-2"},
      {"2HGWIN?,0", "-1"},      {"2AGWIN?,1", "Y"},  {"2AGWIN?,2", "N"},   {"2AGWIN?,11", "-1"},
      {"2VGWIN?,1", "Y"},       {"2VGWIN?,4", "N"},  {"2VGWIN?,0", "-1"},  {"2SGWIN?,5", "-2"},
      {"2SGWIN?,1", "100,399,100,299,0,0"},
  };
  for (const auto& c : cases) EXPECT_EQ(Reply(c.query), c.answer + kReplyEnd) << c.query;
  // Commands that need a window say nothing when it is missing.
  EXPECT_EQ(Reply("2DCGWIN,7,0,0,0,x"), "");
  EXPECT_EQ(Reply("2CHGWIN,7,1,2,3,4"), "");
  H.Run("2AGWIN,7");
  EXPECT_EQ(H.Gfx->ActiveWindow, 1);
  H.Run("2AGWIN,0");
  EXPECT_EQ(H.Gfx->ActiveWindow, 0);
}

TEST_F(DDOFXGfxWindows, MaximiseRestoreAndHome) {
  Standard();
  H.Run("2CHGWIN,1,50,250,60,200,0,0,0,0,0,0,0,0,Moved");
  EXPECT_EQ(Rect(1), "50..250 x 60..200");
  EXPECT_EQ(W(1).Title, "Moved");
  H.Run("2ZGWIN,1");
  EXPECT_EQ(Rect(1), "0..639 x 0..479");
  EXPECT_TRUE(W(1).Maximised);
  H.Run("2ZGWIN,1");
  EXPECT_EQ(Rect(1), "50..250 x 60..200") << "back to the rectangle before maximising";
  H.Run("2RGWIN");  // no parameter: repaint only
  EXPECT_EQ(Rect(1), "50..250 x 60..200");
  H.Run("2RGWIN,1");
  EXPECT_EQ(Rect(1), "100..399 x 100..299") << "home is the creation rectangle";
  // Maximising a small content fits the frame round it.
  H.Run("2GWIN,2,10,100,10,100,200,100");
  H.Run("2ZGWIN,2");
  EXPECT_EQ(Rect(2), "0..223 x 0..133");
  H.Run("2GWIN,3,10,100,10,100,200,100,0,0,0,0,0,0,0,0,0,0,0,1");
  H.Run("2ZGWIN,3");
  EXPECT_EQ(Rect(3), "0..199 x 0..99");
  // The mouse reaches the same buttons: maximise, then home.
  H.Run("2AGWIN,1");
  H.Gfx->MouseDown(H.Gfx->TitleButtonX(1, 5) + 5, W(1).Y1 + 8, 1);
  EXPECT_EQ(Rect(1), "0..639 x 0..479");
  H.Gfx->MouseDown(H.Gfx->TitleButtonX(1, 4) + 5, W(1).Y1 + 8, 1);
  EXPECT_EQ(Rect(1), "100..399 x 100..299");
}

TEST_F(DDOFXGfxWindows, DraggingTheTitleBandMovesTheWindowClampedToTheScreen) {
  Standard();
  H.Gfx->MouseDown(150, 110, 1);
  ASSERT_TRUE(H.Gfx->IsDraggingWindow());
  EXPECT_TRUE(H.Gfx->MouseMove(200, 130, true));
  EXPECT_EQ(Rect(1), "150..449 x 120..319");
  H.Gfx->MouseMove(639, 479, true);
  EXPECT_EQ(Rect(1), "340..639 x 280..479");
  H.Gfx->MouseMove(0, 0, true);
  EXPECT_EQ(Rect(1), "0..299 x 0..199");
  H.Gfx->MouseMove(300, 300, false);  // outside the picture: no move
  EXPECT_EQ(Rect(1), "0..299 x 0..199");
  H.Gfx->MouseUp();
  EXPECT_FALSE(H.Gfx->IsDraggingWindow());
  H.Gfx->MouseMove(400, 400, true);
  EXPECT_EQ(Rect(1), "0..299 x 0..199");
  H.Compose();
  EXPECT_EQ(H.At(0, 0), Rgb(*H.Gfx, 15)) << "the frame moved along";
  EXPECT_EQ(H.At(150, 10), Rgb(*H.Gfx, 4)) << "the active title bar";
  EXPECT_EQ(H.At(350, 150), Rgb(*H.Gfx, 0));
  ASSERT_TRUE(H.WritePng(H.Program.File("dragged.png")));
}

TEST_F(DDOFXGfxWindows, FixedWindowsDoNotDragAndResizingHasLimits) {
  Standard("1,0,0,0,0,0,0");
  H.Run("2AGWIN,0");
  H.Gfx->MouseDown(150, 110, 1);
  EXPECT_EQ(H.Gfx->ActiveWindow, 1) << "the press still activates it";
  EXPECT_FALSE(H.Gfx->IsDraggingWindow());
  // The grip: narrower than 61 pixels is not possible...
  H.Gfx->MouseDown(396, 296, 1);
  ASSERT_TRUE(H.Gfx->IsDraggingWindow());
  H.Gfx->MouseMove(10, 10, true);
  EXPECT_EQ(Rect(1), "100..160 x 100..160");
  // ...nor wider than the content and the frame, nor past the screen.
  H.Gfx->MouseMove(639, 479, true);
  EXPECT_EQ(Rect(1), "100..639 x 100..479");
  H.Gfx->MouseUp();
  H.Run("2GWIN,2,0,99,0,99,50,40,0,1");
  H.Gfx->MouseDown(96, 96, 1);
  H.Gfx->MouseMove(300, 300, true);
  EXPECT_EQ(Rect(2), "0..73 x 0..73");
  H.Gfx->MouseUp();
  // No grip when resizing is off.
  H.Run("2GWIN,3,300,399,300,399,640,480,0,1,0,0,1");
  H.Gfx->MouseDown(396, 396, 1);
  EXPECT_FALSE(H.Gfx->IsDraggingWindow());
}

TEST_F(DDOFXGfxWindows, TheFrameAndClientArePainted) {
  Standard();
  H.Run("2GWIN,2,300,500,50,150,640,480,0,0");
  H.Run("2ALERTGWIN,1");
  H.Run("2C,2");
  H.Run("2aRECT,0,639,0,479");
  H.Run("2C,9");
  H.Run("2aRECT,0,9,0,9");
  H.Run("2CALMGWIN");
  H.Compose();
  const struct {
    int x, y, colour;
    const char* what;
  } probes[] = {
      {100, 100, 15, "top-left light edge"}, {399, 200, 0, "right black edge"}, {398, 200, 8, "shadow inside it"},
      {105, 200, 7, "frame face"},           {111, 200, 8, "bevel round the client"},
      {150, 110, 4, "active title bar"},     {112, 120, 9, "canvas origin at the client corner"},
      {200, 200, 2, "canvas"},               {420, 60, 1, "the other window's title bar"},
      {50, 50, 0, "the screen"},
  };
  for (const auto& p : probes) EXPECT_EQ(H.At(p.x, p.y), Rgb(*H.Gfx, p.colour)) << p.what;
  ASSERT_TRUE(H.WritePng(H.Program.File("windows.png")));
  // The canvas scrolls under the client area.
  H.Run("2CHVGP,1,5,5");
  H.Compose();
  EXPECT_EQ(H.At(112, 120), Rgb(*H.Gfx, 9));
  EXPECT_EQ(H.At(117, 125), Rgb(*H.Gfx, 2));
}

TEST_F(DDOFXGfxWindows, GadgetsInsideAWindowAnswerInItsCanvasCoordinates) {
  Standard();
  SolidSprite(H, "KEY", 20, 10, 12);
  H.Run("2ALERTGWIN,1");
  H.Run("5CPUSHB,1,KEY,KEY,10,30,0,0,0,1,win");
  H.Run("3MREGN,2,0,50,40,60,1,region");
  H.Run("2CALMGWIN");
  H.Run("3MREGN,3,0,50,40,60,1,screen");
  H.Run("2CPYWP2VP");
  // The button is drawn into the canvas, not onto the screen's pages.
  EXPECT_EQ(H.PageAt(1, 15, 25), 0);
  EXPECT_EQ(W(1).Canvas[size_t(25 * 640 + 15)], 12);
  // Canvas (15, 25) is at the screen's (127, 145).
  H.Gfx->MouseDown(127, 145, 1);
  EXPECT_EQ(H.Sent, "win");
  H.Sent.clear();
  H.Gfx->MouseDown(122, 170, 1);
  EXPECT_EQ(H.Sent, "region");
  H.Sent.clear();
  H.Gfx->MouseDown(10, 50, 1);
  EXPECT_EQ(H.Sent, "screen");
  EXPECT_TRUE(H.Gfx->IsOverHotspot(127, 145));
  EXPECT_FALSE(H.Gfx->IsOverHotspot(150, 110)) << "the title band is never a hot spot";
  // The close box fires the close action; closing the active window leaves
  // none active.
  H.Run("2DCGWIN,1,0,0,0,bye^M,");
  EXPECT_TRUE(H.Gfx->IsOverHotspot(384, 108));
  H.Sent.clear();
  H.Gfx->MouseDown(384, 108, 1);
  EXPECT_EQ(H.Sent, "bye\r");
  H.Run("2CGWIN,1");
  EXPECT_EQ(H.Gfx->ActiveWindow, 0);
  H.Sent.clear();
  H.Gfx->MouseDown(127, 145, 1);
  EXPECT_EQ(H.Sent, "");
}

}  // namespace
