// The door's mouse: regions (held ones repeat), hover fields and the door
// pointers they switch to, the hand pointer, gadget hot keys, collision
// regions, and pointer files.
#include "tests/door/DDOFXWidgetSupport.h"

using namespace ddofxgfxtest;

namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// A 68-byte pointer: hot spot, 16 AND words, 16 XOR words.
std::string SmallPointer(uint16_t hotX, uint16_t hotY) {
  std::string d(68, '\0');
  d[0] = char(hotX & 0xFF);
  d[1] = char(hotX >> 8);
  d[2] = char(hotY & 0xFF);
  d[3] = char(hotY >> 8);
  for (int r = 0; r < 16; ++r) {
    d[size_t(4 + r * 2)] = char(0xFF);  // AND 0x00FF: the left half clear, the right half set
    d[size_t(5 + r * 2)] = 0;
    d[size_t(36 + r * 2)] = 0;  // XOR 0x8000: only the leftmost pixel lit
    d[size_t(37 + r * 2)] = char(0x80);
  }
  return d;
}

class DDOFXMouse : public ::testing::Test {
 protected:
  TGfxHarness H;
  void SetUp() override {
    H.Run("LIGMODE");
    H.Advance(30);
  }
  void Click(int x, int y, int button = 1) {
    H.Gfx->MouseDown(x, y, button);
    H.Gfx->MouseUp();
  }
};

TEST_F(DDOFXMouse, OverlappingRegionsAllFireInNumberOrder) {
  H.Run("3MREGN,7,0,100,0,100,1,seven,");
  H.Run("3MREGN,3,50,150,50,150,1,three,");
  H.Run("3MREGN,4,50,150,50,150,2,right,");
  H.Run("3MREGN,5,60,50,0,100,1,empty,");  // x1 > x2: never active
  Click(75, 75);
  EXPECT_EQ(H.Sent, "threeseven");
  H.Sent.clear();
  Click(75, 75, 2);
  EXPECT_EQ(H.Sent, "right");
  H.Sent.clear();
  Click(100, 100);  // edges are inside
  EXPECT_EQ(H.Sent, "threeseven");
  H.Sent.clear();
  H.Run("3MREGN,0");
  EXPECT_FALSE(H.Gfx->MouseDown(75, 75, 1));
  EXPECT_EQ(H.Sent, "");
}

TEST_F(DDOFXMouse, AHeldRegionRepeatsUntilTheButtonIsReleased) {
  H.Run("3MREG,1,0,100,0,100,1,x,");
  H.Gfx->MouseDown(10, 10, 1);
  EXPECT_EQ(H.Sent, "x");
  H.Advance(390);
  EXPECT_EQ(H.Sent, "x") << "the first repeat comes after 400 ms";
  H.Advance(30);
  EXPECT_EQ(H.Sent, "xx");
  H.Advance(360);
  EXPECT_EQ(Count(H.Sent, "x"), 5u) << "then every 120 ms";
  H.Gfx->MouseUp();
  H.Advance(1000);
  EXPECT_EQ(Count(H.Sent, "x"), 5u);
  // A region made with 3MREGN does not repeat.
  H.Sent.clear();
  H.Run("3MREGN,1,0,100,0,100,1,y,");
  H.Gfx->MouseDown(10, 10, 1);
  H.Advance(1000);
  EXPECT_EQ(H.Sent, "y");
}

TEST_F(DDOFXMouse, PressesWhileFadedOutOrOutsideGraphicsDoNothing) {
  H.Run("3MREG,1,0,100,0,100,1,x,");
  H.Run("2aFPALOUT");
  EXPECT_FALSE(H.Gfx->MouseDown(10, 10, 1));
  EXPECT_FALSE(H.Gfx->IsOverHotspot(10, 10));
  H.Run("2aFPALIN");
  H.Run("2GEXIT");
  EXPECT_FALSE(H.Gfx->MouseDown(10, 10, 1));
  EXPECT_EQ(H.Sent, "");
}

TEST_F(DDOFXMouse, TheHandShowsOverActionsButNotOverAWholeScreenRegion) {
  H.Run("3MREGN,1,0,639,0,479,1,anywhere,");
  H.Run("3MREGN,2,200,300,200,300,1,,");  // no action
  EXPECT_FALSE(H.Gfx->IsOverHotspot(10, 10));
  EXPECT_FALSE(H.Gfx->IsOverHotspot(250, 250));
  Click(10, 10);
  EXPECT_EQ(H.Sent, "anywhere");
  H.Run("3MREGN,3,200,300,200,300,1,,mac");
  EXPECT_TRUE(H.Gfx->IsOverHotspot(250, 250));
  EXPECT_FALSE(H.Gfx->IsOverHotspot(301, 250));
}

TEST_F(DDOFXMouse, HoverFieldsFireOnEntryAndTheLaterOneWins) {
  H.Run("3MFLD,1,0,100,0,100,0,0,one,");
  H.Run("3MFLD,2,50,150,50,150,0,0,two,");
  EXPECT_TRUE(H.Gfx->MouseMove(75, 75, true));
  EXPECT_EQ(H.Sent, "two");
  H.Gfx->MouseMove(76, 76, true);
  H.Gfx->MouseMove(300, 300, true);  // leaving all fields changes nothing
  H.Gfx->MouseMove(75, 75, true);
  EXPECT_EQ(H.Sent, "two") << "re-entering the same field does not fire";
  H.Run("3MFFRSH");
  H.Gfx->MouseMove(75, 75, true);
  EXPECT_EQ(H.Sent, "twotwo");
  H.Run("3MFSWP,1,2");
  H.Gfx->MouseMove(74, 74, true);
  EXPECT_EQ(H.Sent, "twotwoone");
  H.Gfx->MouseMove(10, 10, true);
  EXPECT_EQ(H.Sent, "twotwoone");
  H.Run("3MFLD,0");
  H.Gfx->MouseMove(140, 140, true);
  EXPECT_EQ(H.Sent, "twotwoone");
}

TEST_F(DDOFXMouse, PointerFilesOfBothSizes) {
  H.AddAsset("small.ptr", SmallPointer(3, 40));
  std::string full(516, '\0');
  full[0] = 2;
  for (int i = 0; i < 256; ++i) {
    full[size_t(4 + i)] = char(i == 0 ? 0x0F : 0xFF);
    full[size_t(260 + i)] = char(i == 0 ? 9 : 0);
  }
  H.AddAsset("PACK.M", MakePack({{"FULL.PTR", full}}));
  H.AddAsset("short.ptr", std::string(67, '\x01'));
  H.Run("3MPL,1, small.ptr ");
  H.Run("3MPL,2,full.ptr");
  H.Run("3MPL,3,short.ptr");
  H.Run("3MPL,4,missing.ptr");
  H.Run("3MPL,5,../small.ptr");
  H.Run("3MPL,101,small.ptr");
  const TGfxPointer& small = H.Gfx->Pointers[1];
  ASSERT_TRUE(small.Loaded);
  EXPECT_EQ(small.HotX, 3);
  EXPECT_EQ(small.HotY, 15) << "the hot spot is capped";
  EXPECT_EQ(small.Mask[0], 0);
  EXPECT_EQ(small.Mask[8], 255);
  EXPECT_EQ(small.Colours[0], 15);
  EXPECT_EQ(small.Colours[1], 0);
  const TGfxPointer& fromPack = H.Gfx->Pointers[2];
  ASSERT_TRUE(fromPack.Loaded);
  EXPECT_EQ(fromPack.Mask[0], 0x0F);
  EXPECT_EQ(fromPack.Colours[0], 9);
  EXPECT_FALSE(H.Gfx->Pointers[3].Loaded);
  EXPECT_FALSE(H.Gfx->Pointers[4].Loaded);
  EXPECT_FALSE(H.Gfx->Pointers[5].Loaded);
  H.Run("3SMP,3");
  EXPECT_EQ(H.Gfx->CurrentPointer, 0);
  EXPECT_FALSE(H.Gfx->HasCustomPointer());
  // A hover field switches to pointer 1, which the composer draws at the
  // mouse: its hot spot (3, 15) lands on the mouse position.
  H.Run("2C,5");
  H.Run("2aFILL");
  H.Run("2CPYWP2VP");
  H.Run("3MFLD,1,0,200,0,200,1,0,,m");
  H.Gfx->MouseMove(100, 100, true);
  ASSERT_EQ(H.Gfx->CurrentPointer, 1);
  EXPECT_TRUE(H.Gfx->HasCustomPointer());
  EXPECT_TRUE(H.Gfx->MouseMove(101, 100, true)) << "a door pointer repaints as the mouse moves";
  H.Compose();
  EXPECT_EQ(H.At(101 - 3, 100 - 15), Rgb(*H.Gfx, 15)) << "(0 AND 5) XOR 15";
  EXPECT_EQ(H.At(101 - 3 + 1, 100 - 15), Rgb(*H.Gfx, 0)) << "(0 AND 5) XOR 0";
  EXPECT_EQ(H.At(101 - 3 + 8, 100 - 15), Rgb(*H.Gfx, 5)) << "(255 AND 5) XOR 0";
  H.Gfx->MouseMove(0, 0, false);
  H.Compose();
  EXPECT_EQ(H.At(101 - 3, 100 - 15), Rgb(*H.Gfx, 5));
  H.Run("3SMP,0");
  EXPECT_FALSE(H.Gfx->HasCustomPointer());
}

TEST_F(DDOFXMouse, HotKeysPressButtonsAndClickToggles) {
  SolidSprite(H, "FACE", 10, 10, 9);
  H.Run("5CPUSHB,1,FACE,FACE,10,19,0,98,0,1,bee,");          // 'b', consumed
  H.Run("5CPUSHB,2,FACE,FACE,30,19,59,0,1,1,f1,");           // F1 (extended), passed on
  H.Run("5CCHKBOX,1,FACE,FACE,FACE,50,19,0,1,0,0,0,99,0,c,");  // 'c'
  struct Case {
    int high, low;
    bool taken, pass;
    const char* sent;
  } cases[] = {
      {48, 98, true, false, "bee"}, {59, 0, true, true, "f1"}, {59, 5, false, true, ""}, {0, 0, false, true, ""},
      {0, 99, true, false, ""},
  };
  for (const Case& c : cases) {
    H.Sent.clear();
    bool pass = true;
    EXPECT_EQ(H.Parser->KeyPress(c.high, c.low, pass), c.taken) << c.high << "," << c.low;
    EXPECT_EQ(pass, c.pass) << c.high << "," << c.low;
    EXPECT_EQ(H.Sent, c.sent) << c.high << "," << c.low;
    H.Advance(300);
  }
  EXPECT_TRUE(H.Gfx->CheckBoxes[1].Checked);
  // A window's close key comes first.
  H.Run("2GWIN,1,300,500,300,400");
  H.Run("2DCGWIN,1,0,98,1,closed,");
  H.Sent.clear();
  bool pass = false;
  EXPECT_TRUE(H.Gfx->HotKey(0, 98, pass));
  EXPECT_TRUE(pass);
  EXPECT_EQ(H.Sent, "closed");
}

TEST_F(DDOFXMouse, CollisionRegionsFireForAnAnimationInsideThem) {
  SolidSprite(H, "BALL", 10, 10, 9);
  SolidSprite(H, "BALL2", 10, 10, 10);
  // Ball covers 100..109 x 91..100, changing frames every 10 ms.
  H.Run("2ANIM,1,100,100,1,BALL,BALL2,0,0,0,1,100");
  H.Run("2PLAYA,1");
  H.Run("2COLL,1,105,200,95,200,0,4,0,hit,");
  H.Run("2COLL,2,105,200,95,200,1,0,1,once,");
  H.Run("2COLL,3,109,200,0,200,0,0,0,edge,");  // touches only the frame's last column
  H.Run("2COLL,4,0,200,0,200,0,0,2,other,");   // another animation's
  H.Advance(1200);
  const size_t hits = Count(H.Sent, "hit");
  EXPECT_GE(hits, 8u);
  EXPECT_LE(hits, 12u) << "at most one firing per 100 ms";
  EXPECT_EQ(Count(H.Sent, "once"), 1u);
  EXPECT_EQ(Count(H.Sent, "edge"), 0u);
  EXPECT_EQ(Count(H.Sent, "other"), 0u);
  EXPECT_EQ(H.Parser->Variable(4).Value, "1") << "the register gets the animation number";
  // Paused, nothing collides.
  H.Run("~PAUSEBAK");
  H.Sent.clear();
  H.Advance(500);
  EXPECT_EQ(H.Sent, "");
}

}  // namespace
