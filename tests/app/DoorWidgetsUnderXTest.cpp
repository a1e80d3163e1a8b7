// A door's gadgets in the real program under a virtual X server: the test
// is the door on a loopback board and puts up graphics mode with a button;
// a real mouse click (xdotool) on it sends its text back, as do a right
// click on a right-button region and the button's hot key typed; a real
// drag of a graphics window's title band moves the window.
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

TEST_F(DoorWidgetsUnderXTest, ButtonClicksHotKeysAndATitleBandDragReachTheDoor) {
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
  // A button's hot key typed on the keyboard is consumed by the button.
  ASSERT_TRUE(door->Write(Command("5CPUSHB,2,BTN,BTN,0,479,0,122,0,1,HOTKEY^M,")));
  got.clear();
  WaitFor(
      [&] {
        Focus();
        Keys("z");
        got += ToString(door->ReadFor(1500));
        return got.find("HOTKEY\r") != std::string::npos;
      },
      60000);
  EXPECT_NE(got.find("HOTKEY\r"), std::string::npos) << got;
  EXPECT_EQ(got.find('z'), std::string::npos) << "the key itself does not go to the door: " << got;
  door->ReadFor(1000);
  // A graphics window dragged by its title band with the real mouse moves,
  // held inside the screen.
  ASSERT_TRUE(door->Write(Command("2GWIN,1,100,299,300,399,640,480,0,1,0,0,0,0,0,0,0,0,0,Drag me")));
  door->ReadFor(1000);
  Mouse(PicturePoint(150, 310) + " mousedown 1" + PicturePoint(300, 200) + " sleep 0.3" + PicturePoint(600, 20) +
        " sleep 0.3" + PicturePoint(620, 10) + " sleep 0.3 mouseup 1");
  ASSERT_TRUE(door->Write(Command("2SGWIN?,1")));
  got = ToString(door->ReadUntil("\xFF", 20000));
  EXPECT_EQ(got, "440,639,0,99,0,0\xFF") << LinesWith(Log(), {"DDOFX", "Mouse"});
}

}  // namespace
