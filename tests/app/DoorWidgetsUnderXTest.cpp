// A door's push button in the real program under a virtual X server: the
// test is the door on a loopback board, puts up graphics mode with a button,
// and a real mouse click (xdotool) on the button sends its text back.
#include <gtest/gtest.h>

#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"

using namespace testsupport;

namespace {

const std::string kGS = "\x1d";

class DoorWidgetsUnderXTest : public EndToEndTest {
 protected:
  std::string Command(const std::string& text) { return kGS + "{" + text + "}"; }
  // Where the door picture's pixel (PX, PY) lies in the window: the 640 x
  // 480 picture is fitted into the client area with black bars.
  std::string PicturePoint(int px, int py) {
    const Geometry g = WindowGeometry();
    double fitW = g.Width, fitH = g.Height;
    if (g.Width * 3 > g.Height * 4)
      fitW = g.Height * 4.0 / 3.0;
    else
      fitH = g.Width * 3.0 / 4.0;
    const double left = (g.Width - fitW) / 2, top = (g.Height - fitH) / 2;
    const int x = int(left + (px + 0.5) * fitW / 640), y = int(top + (py + 0.5) * fitH / 480);
    return " mousemove --window " + Window + " " + std::to_string(x) + " " + std::to_string(y);
  }
};

TEST_F(DoorWidgetsUnderXTest, AClickOnADoorButtonSendsItsText) {
  WriteConfig();
  LoopbackListener board;
  WriteBoard("Door Board", board.Port());
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> door = board.Accept(120000);
  ASSERT_TRUE(door) << KeyAndCallLines(Log());
  // A 200 x 100 button of colour 12 at 220..419 x 240..339 and a region
  // for the right button elsewhere.
  ASSERT_TRUE(door->Write(Command("LIGMODE") + Command("2C,12") + Command("2aRECT,0,199,0,99") +
                          Command("2S,0,199,0,99,BTN") + Command("2aERASE") +
                          Command("5CPUSHB,1,BTN,BTN,220,339,0,0,0,1,CLICKED^M,") +
                          Command("3MREGN,1,0,100,0,100,2,RIGHT^M,") + Command("2CPYWP2VP")));
  ASSERT_TRUE(LogHas("graphics mode on", 60000)) << LinesWith(Log(), {"DDOFX"});
  std::string got;
  WaitFor(
      [&] {
        Focus();
        Mouse(PicturePoint(320, 290) + " click 1");
        got += ToString(door->ReadFor(1500));
        return got.find("CLICKED\r") != std::string::npos;
      },
      60000);
  EXPECT_NE(got.find("CLICKED\r"), std::string::npos) << got << "\n" << LinesWith(Log(), {"DDOFX", "Mouse"});
  // The right button reaches the door's right-button region only.
  door->ReadFor(1000);  // the other clicks' texts
  Mouse(PicturePoint(50, 50) + " click 1");
  Mouse(PicturePoint(50, 50) + " click 3");
  got = ToString(door->ReadUntil("\r", 20000));
  EXPECT_EQ(got, "RIGHT\r");
}

}  // namespace
