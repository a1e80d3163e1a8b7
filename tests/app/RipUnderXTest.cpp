// A RIPscrip and SkyPix board in the real program under a virtual X server,
// with real mouse clicks (xdotool) and a board on loopback: the version
// query's reply, a menu whose bars, icon and scene (files of the icons
// folder named in another case) appear in a screenshot, a button and a
// mouse region answering clicks with their texts up to their inclusive
// edges, and a SkyPix page drawn in its own colours after which the text
// goes on below the drawing on the 80 x 25 grid.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "data/uPhonebook.h"
#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"
#include "tests/support/RipBytes.h"

using namespace testsupport;

namespace {

const std::string kEsc = "\x1b";

class RipUnderXTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    ASSERT_EQ(system("test -x /usr/bin/convert && test -x /usr/bin/import"), 0)
        << "ImageMagick (imagemagick) is needed for this test";
  }

  // A screenshot of the window; its size is the window's client size.
  void Shoot() {
    system((X + "import -window " + Window + " '" + Shot() + "' 2>/dev/null").c_str());
    std::sscanf(CommandOutput("/usr/bin/identify -format '%w %h' '" + Shot() + "' 2>/dev/null").c_str(), "%d %d",
                &Width, &Height);
  }
  std::string Shot() const { return Dir.File("shot.png"); }

  // The window pixel showing canvas pixel (X, Y): the picture fills the window.
  int WindowX(int x) const { return (x * Width + 639) / 640; }
  int WindowY(int y) const { return (y * Height + 349) / 350; }

  // The colour the last screenshot shows at canvas pixel (X, Y), as RRGGBB.
  std::string ColourAt(int x, int y) const {
    return CommandOutput("/usr/bin/convert '" + Shot() + "' -crop 1x1+" + std::to_string(WindowX(x)) + "+" +
                         std::to_string(WindowY(y)) + " +repage -depth 8 -format '%[hex:p{0,0}]' info: 2>/dev/null");
  }
  // Whether Colour (#RRGGBB) shows anywhere in the canvas rectangle.
  bool ColourIn(int x0, int y0, int x1, int y1, const std::string& colour) const {
    const int wx = WindowX(x0), wy = WindowY(y0);
    const std::string histogram = CommandOutput(
        "/usr/bin/convert '" + Shot() + "' -crop " + std::to_string(WindowX(x1 + 1) - wx) + "x" +
        std::to_string(WindowY(y1 + 1) - wy) + "+" + std::to_string(wx) + "+" + std::to_string(wy) +
        " +repage -depth 8 -format %c histogram:info:- 2>/dev/null");
    return histogram.find(colour) != std::string::npos;
  }

  // A left click with the real pointer on canvas pixel (X, Y).
  void Click(int x, int y) {
    system((X + "xdotool mousemove --window " + Window + " " + std::to_string(WindowX(x)) + " " +
            std::to_string(WindowY(y)) + " click 1")
               .c_str());
  }

  int Width = 640, Height = 400;
};

TEST_F(RipUnderXTest, ARipMenuDrawsAndAnswersClicksAndASkyPixPageHandsTextBackToTheGrid) {
  // The icons folder holds an icon and a scene; the board names them in upper case.
  std::filesystem::create_directories(Dir.File("icons"));
  WriteWholeFile(Dir.File("icons/Logo.icn"), IconBytes(8, 4, [](int, int) { return 14; }));
  WriteWholeFile(Dir.File("icons/menu.rip"), "!|S0102|B" + Mega(400) + Mega(50) + Mega(420) + Mega(60) + "\r\n");
  WriteConfig();
  LoopbackListener board;
  {
    TPhonebook book(Dir.File("korvan.ini"));
    TPhonebookEntryPtr e = book.Add();
    e->Name = "RIP Board";
    e->Host = "127.0.0.1";
    e->Port = board.Port();
    e->UseRaw = true;  // only what the program sends reaches the board
    e->UseRIP = true;
    ASSERT_TRUE(book.SaveToFile());
  }
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());

  // The version query gets exactly its reply.
  ASSERT_TRUE(peer->Write(kEsc + "[!"));
  const Bytes reply = peer->ReadUntil("RIPSCRIP015410", 30000);
  EXPECT_EQ(std::string(reply.begin(), reply.end()), "RIPSCRIP015410");

  // The menu: a red bar, a button whose region is (100,50)-(119,59), a mouse
  // region (200,100)-(210,110), the icon at (300,200) and the scene.
  const std::string style = "1B" + Mega(20) + Mega(10) + Mega(2) + Mega(512, 4) + Mega(1) + Mega(15) + Mega(0) +
                            Mega(15) + Mega(8) + Mega(7) + Mega(0) + Mega(0) + Mega(14) + Mega(0) + "000000";
  ASSERT_TRUE(peer->Write("\r\n!|*|S0104|B00002R19|" + style + "|1U" + Mega(100) + Mega(50) + "00000000<>Quit<>Q|1M00" +
                          Mega(200) + Mega(100) + Mega(210) + Mega(110) + "0000000files|1I" + Mega(300) + Mega(200) +
                          "00000LOGO|1R00000000MENU\r\n"));
  ASSERT_TRUE(WaitFor(
      [&] {
        Shoot();
        return ColourAt(50, 20) == "AA0000" && ColourAt(304, 201) == "FFFF55" && ColourAt(410, 55) == "00AA00";
      },
      30000))
      << "bar " << ColourAt(50, 20) << ", icon " << ColourAt(304, 201) << ", scene " << ColourAt(410, 55) << "\n"
      << LinesWith(Log(), {"RIP", "Paint:"});
  EXPECT_EQ(ColourAt(303, 204), "000000") << "the icon is 4 rows high";

  // Clicks: the button, a region's far corner, and one pixel past it.
  Focus();
  Click(119, 59);
  Bytes sent = peer->ReadUntil("Q", 30000);
  EXPECT_EQ(std::string(sent.begin(), sent.end()), "Q") << LinesWith(Log(), {"HandleMouseDown", "Mouse:"});
  Click(210, 110);
  sent = peer->ReadUntil("files", 30000);
  EXPECT_EQ(std::string(sent.begin(), sent.end()), "files") << LinesWith(Log(), {"HandleMouseDown", "Mouse:"});
  usleep(1200000);  // not the second press of a double click
  Click(211, 110);
  sent = peer->ReadFor(1500);
  EXPECT_EQ(std::string(sent.begin(), sent.end()), "") << "past the region's right edge";

  // A SkyPix page after a RIP text window of 8 x 8 cells (80 x 43): a
  // rectangle in SkyPix colour 4 down to row 95, the page's end, then text.
  // The grid is 80 x 25 again, and the text starts on row (95 + 8) div 14 = 7.
  const size_t mark = LogMark();
  ASSERT_TRUE(peer->Write("\r\n!|w0000" + Mega(79) + Mega(42) + "00\r\n" + kEsc + "[2J" + kEsc + "[15;4!" + kEsc +
                          "[4;0;0;100;95!" + kEsc + "[99!SKY"));
  EXPECT_TRUE(LogHasSince(mark, "SkyPix End (cmd 99): restored text grid to 80x25", 30000))
      << LinesWith(LogSince(mark), {"SkyPix", "RipTextWindow"});
  ASSERT_TRUE(WaitFor(
      [&] {
        Shoot();
        return ColourAt(50, 50) == "00FF11" && ColourIn(0, 98, 23, 111, "#AAAAAA");
      },
      30000))
      << "rectangle " << ColourAt(50, 50) << "\n"
      << LinesWith(LogSince(mark), {"SkyPix", "GotoXYPixels"});
  EXPECT_FALSE(ColourIn(0, 84, 23, 97, "#AAAAAA")) << "nothing on row 6";
  EXPECT_EQ(ColourAt(50, 96), "000000") << "the rectangle ends at row 95";
}

}  // namespace
