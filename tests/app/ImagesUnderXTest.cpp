// Pictures a board sends, seen in the real program's window under a virtual
// X server: a Sixel picture, an iTerm2 PNG, and APC PPM and JPEG XL pictures
// drawn at pixel positions, each found in a screenshot of the window at its
// place and size, and the text after each landing where the cursor was left.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "data/uPhonebook.h"
#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"

using namespace testsupport;

namespace {

std::string Base64(const std::string& path) { return CommandOutput("base64 -w0 '" + path + "'"); }

TEST_F(EndToEndTest, PicturesFromABoardAppearAtTheirPlaceUnderX) {
  ASSERT_EQ(system("test -x /usr/bin/convert && test -x /usr/bin/import && command -v img2sixel >/dev/null"), 0)
      << "ImageMagick (imagemagick) and img2sixel (libsixel-bin) are needed for this test";
  WriteConfig();
  LoopbackListener board;
  {
    TPhonebook book(Dir.File("korvan.ini"));
    TPhonebookEntryPtr e = book.Add();
    e->Name = "Picture Board";
    e->Host = "127.0.0.1";
    e->Port = board.Port();
    e->UseITerm2Images = true;
    ASSERT_TRUE(book.SaveToFile());
  }
  // The board's pictures: red 64 x 32 as Sixel, green 48 x 32 as an iTerm2
  // PNG, blue 40 x 20 as an APC PPM.
  ASSERT_EQ(system(("/usr/bin/convert -size 64x32 xc:red PNG24:'" + Dir.File("red.png") +
                    "' && img2sixel -I -d none '" + Dir.File("red.png") + "' > '" + Dir.File("red.six") + "'")
                       .c_str()),
            0);
  ASSERT_EQ(system(("/usr/bin/convert -size 48x32 xc:'#00ff00' PNG24:'" + Dir.File("green.png") + "'").c_str()), 0);
  ASSERT_EQ(system(("/usr/bin/convert -size 40x20 xc:blue -depth 8 '" + Dir.File("blue.ppm") + "'").c_str()), 0);
  // And magenta 24 x 24 as JPEG XL, drawn inline.
  ASSERT_EQ(system(("/usr/bin/convert -size 24x24 xc:magenta PNG24:'" + Dir.File("magenta.png") + "' && cjxl -d 0 '" +
                    Dir.File("magenta.png") + "' '" + Dir.File("magenta.jxl") + "' >/dev/null 2>&1")
                       .c_str()),
            0)
      << "cjxl (libjxl-tools) is needed for this test";

  Launch();
  ASSERT_TRUE(KeyUntilLogged("space", 32)) << "no key reached the program";
  ASSERT_TRUE(LogHas("Paint: screen mode 0", 30000)) << KeyAndCallLines(Log());
  Keys("Return");
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  EXPECT_FALSE(peer->ReadUntil("\xff", 30000).empty());

  // The text after each picture starts below it: the Sixel picture at row 1
  // is two rows high, so the cursor is at row 3; the iTerm2 picture at row 4
  // leaves it at row 6; an APC picture leaves the cursor where it is.
  const std::string esc = "\x1b";
  ASSERT_TRUE(peer->Write(esc + "[2J" + esc + "[HSIXEL:\r\n" + ReadWholeFile(Dir.File("red.six")) + "AFTER-SIXEL"));
  EXPECT_TRUE(LogHas("cursor=(11,3), row3=\"AFTER-SIXEL", 30000)) << LinesWith(Log(), {"RenderBuffer", "SIXEL"});
  ASSERT_TRUE(
      peer->Write("\r\n" + esc + "]1337;File=inline=1:" + Base64(Dir.File("green.png")) + "\x07" + "AFTER-ITERM"));
  EXPECT_TRUE(LogHas("cursor=(11,6), row6=\"AFTER-ITERM", 30000)) << LinesWith(Log(), {"RenderBuffer", "ITERM2"});
  ASSERT_TRUE(peer->Write("\r\n" + esc + "_SyncTERM:C;S;blue.ppm;" + Base64(Dir.File("blue.ppm")) + esc + "\\" + esc +
                          "_SyncTERM:C;DrawPPM;DX=400;DY=16;blue.ppm" + esc + "\\" + "DONE"));
  EXPECT_TRUE(LogHas("cursor=(4,7), row7=\"DONE", 30000)) << LinesWith(Log(), {"RenderBuffer", "APC"});
  // The JPEG XL library in the dll folder: the board asks, then draws.
  ASSERT_TRUE(peer->Write(esc + "_SyncTERM:Q;JXL" + esc + "\\"));
  EXPECT_FALSE(peer->ReadUntil("\x1b[=1;1-n", 30000).empty()) << "JPEG XL not announced\n" << LinesWith(Log(), {"JXL"});
  ASSERT_TRUE(
      peer->Write(esc + "_SyncTERM:C;DrawJXLBlob;DX=500;DY=100;" + Base64(Dir.File("magenta.jxl")) + esc + "\\"));

  // The screenshot: every picture at its place, in the screen's own scale.
  const std::string shot = Dir.File("shot.png");
  TBox red, green, blue, magenta;
  ASSERT_TRUE(WaitFor(
      [&] {
        system((X + "import -window " + Window + " '" + shot + "' 2>/dev/null").c_str());
        red = BoxOf(shot, "#ff0000");
        green = BoxOf(shot, "#00ff00");
        blue = BoxOf(shot, "#0000ff");
        magenta = BoxOf(shot, "#ff00ff");
        return red.H > 8 && green.H > 8 && blue.H > 8 && magenta.H > 8;
      },
      30000))
      << "not every picture is on the screen";
  const double scale = red.H / 32.0;  // window pixels per screen pixel
  auto near = [&](int got, double want) { return std::abs(got - want) <= 2 + scale; };
  EXPECT_TRUE(near(red.W, 64 * scale)) << red.W << " " << scale;
  EXPECT_TRUE(near(green.X, red.X)) << "both start at column 0";
  EXPECT_TRUE(near(green.Y, red.Y + 3 * 16 * scale)) << green.Y << " vs " << red.Y;
  EXPECT_TRUE(near(green.W, 48 * scale) && near(green.H, 32 * scale)) << green.W << "x" << green.H;
  EXPECT_TRUE(near(blue.X, red.X + 400 * scale)) << blue.X;
  EXPECT_TRUE(near(blue.Y, red.Y)) << "row 1 and DY=16 are the same line: " << blue.Y << " vs " << red.Y;
  EXPECT_TRUE(near(blue.W, 40 * scale) && near(blue.H, 20 * scale)) << blue.W << "x" << blue.H;
  EXPECT_TRUE(near(magenta.X, red.X + 500 * scale) && near(magenta.Y, red.Y - 16 * scale + 100 * scale))
      << magenta.X << "," << magenta.Y;
  EXPECT_TRUE(near(magenta.W, 24 * scale) && near(magenta.H, 24 * scale)) << magenta.W << "x" << magenta.H;
}

}  // namespace
