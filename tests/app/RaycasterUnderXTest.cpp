// A door's 3D maze in the real program under a virtual X server: a loopback
// board switches door graphics on and shows the raycaster's view, which
// appears in the window in the maze's brick colour; the board walks the
// camera, reads its position back, and an object keyed to "k" answers a
// real key press (xdotool) with its text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"

using namespace testsupport;

namespace {

std::string Cmd(const std::string& text) { return "\x1d{" + text + "}"; }

class RaycasterUnderXTest : public EndToEndTest {
 protected:
  // The picture's pixels, for telling two screenshots apart.
  static std::string Pixels(const std::string& shot) {
    return CommandOutput("/usr/bin/convert '" + shot + "' -depth 8 rgb:- | md5sum");
  }
  // The door's next answer: its text up to the 0xFF that ends it (answers
  // that arrived together are kept for the next call).
  std::string Answer(LoopbackPeer& peer) {
    if (FPending.find('\xFF') == std::string::npos) FPending += ToString(peer.ReadUntil(std::string(1, '\xFF'), 30000));
    const size_t end = FPending.find('\xFF');
    if (end == std::string::npos) return "(no answer) " + FPending;
    const std::string answer = FPending.substr(0, end);
    FPending.erase(0, end + 1);
    return answer;
  }
  std::string FPending;
};

}  // namespace

TEST_F(RaycasterUnderXTest, TheMazeIsDrawnWalkedAndAnswersAKey) {
  ASSERT_EQ(system("test -x /usr/bin/convert && test -x /usr/bin/import && test -x /usr/bin/identify"), 0)
      << "ImageMagick (imagemagick) is needed for this test";
  WriteConfig();
  LoopbackListener board;
  WriteBoard("Maze Board", board.Port());
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());

  // The default world seen from its first room, in the top-left 320 x 160
  // of the 640 x 480 picture: bricks of colour 6 (42, 21, 0 of 63).
  ASSERT_TRUE(peer->Write(Cmd("LIGMODE") + Cmd("5DANIM,0,159,1") + Cmd("5GETYPOS")));
  EXPECT_EQ(Answer(*peer), "5");
  const std::string shot = Dir.File("shot.png");
  TDoorPicture pic;
  TBox brick;
  const bool shown = WaitFor(
      [&] {
        pic = DoorShot(shot);
        brick = BoxOf(shot, "#a85400");
        const int slack = 3 + pic.PW / 320;
        return pic.PW > 0 && brick.W > pic.PW / 8 && brick.X >= pic.Left - slack &&
               brick.X + brick.W <= pic.Left + pic.PW / 2 + slack && brick.Y >= pic.Top - slack &&
               brick.Y + brick.H <= pic.Top + pic.PH / 3 + slack;
      },
      60000);
  EXPECT_TRUE(shown) << "bricks " << brick.W << "x" << brick.H << " at " << brick.X << "," << brick.Y
                     << " in a picture of " << pic.PW << "x" << pic.PH << " at " << pic.Left << "," << pic.Top << "\n"
                     << LinesWith(Log(), {"DDOFX"});
  const std::string before = Pixels(shot);

  // Two cells along the room; the view changes.
  ASSERT_TRUE(peer->Write(Cmd("5VM,1,64") + Cmd("5GETYPOS") + Cmd("5GETANGL")));
  EXPECT_EQ(Answer(*peer), "7");
  EXPECT_EQ(Answer(*peer), "180,SOUTH");
  EXPECT_TRUE(WaitFor([&] { return DoorShot(shot).PW > 0 && Pixels(shot) != before; }, 30000))
      << "the picture did not change after the move";

  // An object in the camera's cell answers the key "k" with its text.
  ASSERT_TRUE(peer->Write(Cmd("5MAPPRO,1,1,0,107,0,0,9,0,5,7,KEYHIT^M,") + Cmd("5GETXPOS")));
  EXPECT_EQ(Answer(*peer), "5");
  std::string got;
  const bool answered = WaitFor(
      [&] {
        Focus();
        Keys("k");
        got += ToString(peer->ReadFor(500));
        return got.find("KEYHIT\r") != std::string::npos;
      },
      60000);
  EXPECT_TRUE(answered) << HexText(ToBytes(got)) << "\n" << LinesWith(Log(), {"Key:", "DDOFX"});
}
