// Push buttons, radio buttons, check boxes and icons: their faces on the
// pages, presses and releases, groups, firing and the send-text escapes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/door/DDOFXWidgetSupport.h"
#include "tests/support/Loopback.h"

using namespace ddofxgfxtest;

namespace {

class DDOFXButtons : public ::testing::Test {
 protected:
  TGfxHarness H;
  void SetUp() override {
    H.Run("LIGMODE");
    H.Advance(30);  // the engine's clock starts with its first tick
    SolidSprite(H, "UP", 20, 10, 9);
    SolidSprite(H, "DOWN", 20, 10, 12);
  }
  void Show() { H.Run("2CPYWP2VP"); }
};

TEST_F(DDOFXButtons, PushButtonDrawsOnTheWorkPageShowsItsDownFaceAndFiresOnClick) {
  H.Run("5CPUSHB,1,UP,DOWN,100,59,0,0,0,1,hello^M,");
  EXPECT_EQ(H.PageAt(1, 100, 50), 9);
  EXPECT_EQ(H.PageAt(0, 100, 50), 0);
  Show();
  EXPECT_TRUE(H.Gfx->MouseDown(110, 55, 1));
  H.Gfx->MouseUp();
  EXPECT_EQ(H.Sent, "hello\r");
  EXPECT_EQ(H.PageAt(0, 110, 55), 12);
  EXPECT_EQ(H.PageAt(3, 110, 55), 9) << "the mirror keeps the up face";
  H.Compose();
  EXPECT_EQ(H.At(110, 55), Rgb(*H.Gfx, 12));
  H.Advance(150);
  EXPECT_EQ(H.PageAt(0, 110, 55), 12);
  H.Advance(60);
  EXPECT_EQ(H.PageAt(0, 110, 55), 9);
  EXPECT_EQ(H.At(110, 55), Rgb(*H.Gfx, 9));
  ASSERT_TRUE(H.WritePng(H.Program.File("pushbutton.png")));
}

TEST_F(DDOFXButtons, ButtonPressesByMouseButtonAndMissingDownFace) {
  struct Case {
    const char* define;
    int button;
    bool fires;
    int downColour;
  } cases[] = {
      {"5CPUSHB,1,UP,NOSUCH,100,59,0,0,0,1,a", 1, true, 9},  // no down face: the up face stays, it still fires
      {"5CPUSHB,1,UP,DOWN,100,59,0,0,0,2,a", 1, false, 9},   // a right-button button ignores the left one
      {"5CPUSHB,1,UP,DOWN,100,59,0,0,0,2,a", 2, true, 12},
      {"5CPUSHB,1,UP,DOWN,100,59,0,0,0,,a", 1, true, 12},    // the mouse button defaults to the left one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.define);
    H.Run("5CPUSHB,0");
    H.Sent.clear();
    H.Run(c.define);
    Show();
    H.Gfx->MouseDown(119, 50, c.button);
    H.Gfx->MouseUp();
    EXPECT_EQ(H.Sent, c.fires ? "a" : "");
    EXPECT_EQ(H.PageAt(0, 119, 50), c.downColour);
    H.Advance(300);
  }
}

TEST_F(DDOFXButtons, NumberZeroUndefinesEveryButtonAndDrawsNothing) {
  H.Run("5CPUSHB,1,UP,DOWN,100,59,0,0,0,1,a");
  H.Run("5CPUSHB,300,UP,DOWN,200,59,0,0,0,1,b");
  H.Run("2C,0");
  H.Run("2aERASE");
  H.Run("5CPUSHB,0,UP,DOWN,300,59");
  EXPECT_EQ(H.PageAt(1, 300, 55), 0);
  Show();
  EXPECT_FALSE(H.Gfx->MouseDown(110, 55, 1));
  EXPECT_FALSE(H.Gfx->MouseDown(210, 55, 1));
  EXPECT_EQ(H.Sent, "");
  // Numbers outside 1..300 are ignored.
  H.Run("5CPUSHB,301,UP,DOWN,100,59,0,0,0,1,a");
  H.Run("5CPUSHB,-1,UP,DOWN,100,59,0,0,0,1,a");
  EXPECT_FALSE(H.Gfx->MouseDown(110, 55, 1));
}

TEST_F(DDOFXButtons, AScreenButtonDoesNotRepaintOverAReplacedPage) {
  H.Run("5CPUSHB,1,UP,DOWN,100,59,0,0,0,1,a");
  Show();
  H.Gfx->MouseDown(110, 55, 1);
  H.Gfx->MouseUp();
  H.Run("2C,5");
  H.Run("2aFILL");
  Show();  // the door puts a new picture up within the 170 ms
  H.Advance(300);
  EXPECT_EQ(H.PageAt(0, 110, 55), 5);
  EXPECT_EQ(H.Gfx->PressedButton, 0);
}

TEST_F(DDOFXButtons, SendTextEscapes) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"A^mB~C", "A\rB,C"}, {"^1", "^1"}, {"x^", "x^"}, {"^[", "\x1b"},
      {"~~", ",,"},         {"^^", "\x1e"},
  };
  for (const auto& c : cases) EXPECT_EQ(TDDOFXGfx::UnescapeSendText(c.in), c.out) << c.in;
  EXPECT_EQ(TDDOFXGfx::UnescapeSendText("^_^@"), std::string("\x1f\0", 2));
}

class DDOFXToggles : public DDOFXButtons {
 protected:
  void SetUp() override {
    DDOFXButtons::SetUp();
    // A ring face: an outline of colour 15 round an inside of colour 1.
    SolidSprite(H, "RING", 12, 12, 1, 15);
    SolidSprite(H, "GREYRING", 12, 12, 8, 7);
    SolidSprite(H, "ON", 12, 12, 10);
    SolidSprite(H, "OFF", 12, 12, 11);
  }
  // The radio's inside pixel on page 0.
  int Mark(int x) const { return H.PageAt(0, x + 5, 95); }
};

TEST_F(DDOFXToggles, RadioGroupChecksOneAndPaintsTheMark) {
  H.Run("5CRBUTTON,1,5,5,14,4,RING,GREYRING,100,100,1,1,3,0,0,0,0,one");
  H.Run("5CRBUTTON,2,5,5,14,4,RING,GREYRING,200,100,0,1,3,0,0,0,0,two");
  EXPECT_EQ(H.PageAt(1, 105, 95), 14);
  EXPECT_EQ(H.PageAt(1, 205, 95), 4);
  EXPECT_EQ(H.PageAt(1, 200, 89), 15) << "the fill stops at the ring";
  Show();
  H.Gfx->MouseDown(205, 95, 1);
  EXPECT_TRUE(H.Gfx->RadioButtons[2].Checked);
  EXPECT_FALSE(H.Gfx->RadioButtons[1].Checked);
  EXPECT_EQ(Mark(200), 14);
  EXPECT_EQ(Mark(100), 4);
  EXPECT_EQ(H.PageAt(3, 205, 95), 14) << "page 0 marks go to the mirror too";
  // Clicking the checked member changes nothing; clicking is never firing.
  H.Gfx->MouseDown(205, 95, 1);
  EXPECT_TRUE(H.Gfx->RadioButtons[2].Checked);
  EXPECT_EQ(H.Sent, "");
  // A right click does not reach a radio button.
  H.Gfx->MouseDown(105, 95, 2);
  EXPECT_FALSE(H.Gfx->RadioButtons[1].Checked);
  H.Compose();
  EXPECT_EQ(H.At(205, 95), Rgb(*H.Gfx, 14));
  EXPECT_EQ(H.At(105, 95), Rgb(*H.Gfx, 4));
}

TEST_F(DDOFXToggles, FiringAGroupSendsTheCheckedMembersOnly) {
  H.Run("5CRBUTTON,2,5,5,14,4,RING,,100,100,0,1,3,0,0,0,0,two");
  H.Run("5CRBUTTON,5,5,5,14,4,RING,,200,100,1,1,3,0,0,0,0,five");
  H.Run("5CRBUTTON,7,5,5,14,4,RING,,300,100,1,1,0,9,0,0,0,seven");
  H.Run("5CRBUTTON,8,5,5,14,4,RING,,400,100,1,1,0,9,0,0,0,eight,");
  H.Run("5EXRBTN,2");
  EXPECT_EQ(H.Sent, "five");
  H.Sent.clear();
  H.Run("5EXRBTN,7");
  EXPECT_EQ(H.Sent, "seveneight");
  H.Sent.clear();
  H.Run("5EXRBTN,9");  // not defined
  H.Run("5EXCBOX,5");  // the other table
  EXPECT_EQ(H.Sent, "");
}

TEST_F(DDOFXToggles, AMarkSeedOutsideTheFaceChangesNoPixel) {
  H.Run("2C,3");
  H.Run("2aFILL");
  H.Run("5CRBUTTON,1,30,5,14,4,RING,,100,100,1");
  // The seed (130, 95) is outside the face; the fill is bounded by the face.
  EXPECT_EQ(H.PageAt(1, 130, 95), 3);
  EXPECT_EQ(H.PageAt(1, 105, 95), 1);
  H.Run("5CRBUTTON,2,5,-5,14,4,RING,,200,100,1");  // seed below the face, on the page
  EXPECT_EQ(H.PageAt(1, 205, 105), 3);
}

TEST_F(DDOFXToggles, CheckBoxFacesFollowCheckedAndEnabled) {
  H.Run("5CCHKBOX,4,ON,OFF,GREYRING,100,100,0,1,0,0,0,0,0,box");
  EXPECT_EQ(H.PageAt(1, 105, 95), 11);
  Show();
  H.Gfx->MouseDown(105, 95, 1);
  EXPECT_EQ(H.PageAt(0, 105, 95), 10);
  H.Gfx->MouseDown(105, 95, 1);
  EXPECT_EQ(H.PageAt(0, 105, 95), 11);
  H.Run("5DECBOX,4,0");
  EXPECT_EQ(H.PageAt(0, 105, 95), 8);
  H.Gfx->MouseDown(105, 95, 1);
  EXPECT_FALSE(H.Gfx->CheckBoxes[4].Checked) << "a disabled box does not toggle";
  H.Run("5DECBOX,4,1");
  H.Gfx->MouseDown(105, 95, 1);
  H.Run("5EXCBOX,4");
  EXPECT_EQ(H.Sent, "box");
  // No disabled face given: the checked face stands in.
  H.Run("5CCHKBOX,5,ON,OFF,NOSUCH,200,100,0,0");
  EXPECT_EQ(H.PageAt(1, 205, 95), 10);
}

TEST_F(DDOFXToggles, IconsOpenOnClickAndCloseAgain) {
  H.Run("2ANIM,7,0,0,1,ON,OFF,0,0,0,1,5");
  H.Run("2ICON,3,300,200,,7");
  H.Run("2ICONO,3,opened,");
  H.Run("2ICONC,3,closed~now,");
  H.Run("2ICOND,3,action,");
  ASSERT_TRUE(H.Gfx->Anims[7].Playing);
  EXPECT_EQ(H.Gfx->Anims[7].X, 300);
  H.Compose();
  EXPECT_EQ(H.At(305, 195), Rgb(*H.Gfx, 10));
  EXPECT_TRUE(H.Gfx->IsOverHotspot(305, 195));
  H.Gfx->MouseDown(305, 195, 1);
  EXPECT_EQ(H.Sent, "opened");
  EXPECT_FALSE(H.Gfx->Anims[7].Playing);
  EXPECT_FALSE(H.Gfx->IsOverHotspot(305, 195)) << "an open icon is not clickable";
  H.Run("2OICON,3");  // already open: nothing
  EXPECT_EQ(H.Sent, "opened");
  H.Run("2CICON,3");
  H.Run("2CICON,3");  // closing a closed icon fires again
  EXPECT_EQ(H.Sent, "openedclosed,nowclosed,now");
  EXPECT_TRUE(H.Gfx->Anims[7].Playing);
  H.Run("2DICON,3");
  EXPECT_EQ(H.Sent, "openedclosed,nowclosed,nowaction");
  H.Run("2KICON,3");
  H.Run("2DICON,3");
  EXPECT_FALSE(H.Gfx->MouseDown(305, 195, 1));
  EXPECT_EQ(H.Sent, "openedclosed,nowclosed,nowaction");
  // An icon needs a defined animation.
  H.Run("2ICON,4,10,10,,8");
  EXPECT_FALSE(H.Gfx->Icons[4].Active);
}

// The door simulator: the far end of a loopback socket that receives what
// the terminal sends for the door.
TEST_F(DDOFXButtons, AClickedButtonsTextReachesTheDoorOverTheSocket) {
  testsupport::LoopbackListener listener;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(listener.Port());
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  auto door = listener.Accept();
  ASSERT_TRUE(door);
  H.Parser->Sender = [fd](const std::string& text) { ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size())); };
  H.Run("5CPUSHB,2,UP,DOWN,100,59,0,0,0,1,BUY^M,");
  Show();
  H.Gfx->MouseDown(101, 58, 1);
  H.Gfx->MouseUp();
  EXPECT_EQ(testsupport::ToString(door->ReadUntil("\r")), "BUY\r");
  close(fd);
}

}  // namespace
