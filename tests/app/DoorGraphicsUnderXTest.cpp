// A door drawing with the ZUD-O/D graphics commands in the real program
// under a virtual X server: a loopback board switches graphics on, draws a
// box, cuts a sprite and sets it moving along a motion path; screenshots
// show the box at its place in the 4:3 picture and the sprite in two places
// as time goes by; after the door leaves graphics the picture is gone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"

using namespace testsupport;

namespace {

std::string Cmd(const std::string& text) { return "\x1d{" + text + "}"; }

class DoorGraphicsUnderXTest : public EndToEndTest {
 protected:
  static bool Near(int a, int b, int slack) { return std::abs(a - b) <= slack; }
};

}  // namespace

TEST_F(DoorGraphicsUnderXTest, ADoorsPictureAndMovingSpriteReachTheWindow) {
  ASSERT_EQ(system("test -x /usr/bin/convert && test -x /usr/bin/import && test -x /usr/bin/identify"), 0)
      << "ImageMagick (imagemagick) is needed for this test";
  WriteConfig();
  LoopbackListener board;
  WriteBoard("Door Board", board.Port());
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());

  // Light red (colour 12) box at x 100..299, y 100..199 of the 640 x 480 page.
  ASSERT_TRUE(peer->Write("Welcome to the door\r\n" + Cmd("LIGMODE") + Cmd("2C,12") + Cmd("2aRECT,100,299,100,199") +
                          Cmd("2CPYWP2VP")));
  const std::string shot = Dir.File("shot.png");
  TDoorPicture pic;
  TBox red;
  const bool boxShown = WaitFor(
      [&] {
        pic = DoorShot(shot);
        red = BoxOf(shot, "#ff5555");
        const int slack = 2 + pic.PW / 320;
        return pic.PW > 0 && Near(red.X, pic.Left + 100 * pic.PW / 640, slack) &&
               Near(red.Y, pic.Top + 100 * pic.PH / 480, slack) && Near(red.W, 200 * pic.PW / 640, slack) &&
               Near(red.H, 100 * pic.PH / 480, slack);
      },
      60000);
  EXPECT_TRUE(boxShown) << red.W << "x" << red.H << " at " << red.X << "," << red.Y << " in a picture of " << pic.PW
                        << "x" << pic.PH << " at " << pic.Left << "," << pic.Top << "\n"
                        << LinesWith(Log(), {"DDOFX"});

  // A light green (colour 10) 20 x 20 sprite travelling along y 300 from
  // x 0 to 600 at 10 steps a second, over and over.
  ASSERT_TRUE(peer->Write(Cmd("2C,10") + Cmd("2aRECT,0,19,0,19") + Cmd("2S,0,19,0,19,BALL") +
                          Cmd("2MOTION,1,0,300,600,300,200,300,400,300,40") +
                          Cmd("2ANIM,1,0,0,0,BALL,BALL,1,1,1,0,10") + Cmd("2PLAYA,1")));
  int firstX = -1;
  TBox green;
  const bool moved = WaitFor(
      [&] {
        pic = DoorShot(shot);
        green = BoxOf(shot, "#55ff55");
        if (green.W <= 1 || !Near(green.Y + green.H, pic.Top + 301 * pic.PH / 480, 3 + pic.PH / 240)) return false;
        if (firstX < 0) firstX = green.X;
        return std::abs(green.X - firstX) > pic.PW / 64;
      },
      60000);
  EXPECT_TRUE(moved) << "the sprite at " << green.X << "," << green.Y << " size " << green.W << "x" << green.H
                     << ", first seen at x " << firstX;

  // Back to text: the picture goes and the door's box with it.
  ASSERT_TRUE(peer->Write(Cmd("2GEXIT") + "Bye\r\n"));
  EXPECT_TRUE(WaitFor(
      [&] {
        DoorShot(shot);
        // With no pixel of the colour left the trimmed picture is 1 x 1.
        return BoxOf(shot, "#ff5555").W <= 1;
      },
      60000));
}
