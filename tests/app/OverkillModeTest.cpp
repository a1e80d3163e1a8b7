// The Overkill Ansiterm client in a call: a loopback board sends a game's
// banner (also right after a full block that starts a false match) and its
// commands, the board reads the client's handshake, the art the test
// installed in the program's "ooii" folder is drawn through the ANSI
// emulation, and a command that never ends does not hide the board's text.
// Under a virtual X server the real program draws the art in its window.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/app/AppFixture.h"
#include "tests/app/ProgramUnderX.h"

using namespace testsupport;

namespace {

constexpr char kOpen = char(0xAB);

std::string Title(const std::string& text) {
  std::string s;
  for (char c : text) s += std::string("\xDB\x08") + c;
  return s;
}

const std::string kBanner1 = Title("[LOOP GAME]") + "\r\n\r\nUse the Ansiterm? (y/N) ";
const std::string kBanner2 = Title("[LOOP GAME]") + "\x1b[2J\x1b[1;30mScanning...";
const std::string kArt = "\x1b[0;1;31m" + std::string(40, '\xDB') + "\x1b[0m\r\nMENU FROM THE ART FILE";

void InstallGame(const std::string& root) {
  std::filesystem::create_directories(root + "ooii/art/cmenus");
  WriteWholeFile(root + "ooii/banner1.bin", kBanner1);
  WriteWholeFile(root + "ooii/banner2.bin", kBanner2);
  WriteWholeFile(root + "ooii/art/cmenus/m3_0.bin", kArt);
}

using OverkillModeTest = AppFixture;

TEST_F(OverkillModeTest, ABoardOfTheGameIsAnsweredAndItsScreensDrawn) {
  InstallGame(Folder.Path());
  LoopbackListener board;
  std::unique_ptr<LoopbackPeer> peer = CallBoard(board);
  ASSERT_TRUE(peer);

  // The banner right after a full block that starts a false match.
  ASSERT_TRUE(peer->Write("Welcome\r\n\xDB" + kBanner1 + kOpen + "?_2|"));
  const std::string handshake = BoardReceives(*peer, 3);
  EXPECT_NE(handshake.find("\xAF" "2|"), std::string::npos) << HexText(ToBytes(handshake));
  EXPECT_TRUE(RunUntil([&] { return CallScreenHas("Use the Ansiterm?"); })) << CallScreenText();

  ASSERT_TRUE(peer->Write(std::string(1, kOpen) + "A|"));
  EXPECT_TRUE(RunUntil([&] { return CallScreenHas("MENU FROM THE ART FILE"); })) << CallScreenText();
  EXPECT_EQ(Row(0), std::string(40, '\xDB') + std::string(40, ' '));
  EXPECT_FALSE(CallScreenHas("Use the Ansiterm?")) << "the screen was cleared first";
  EXPECT_FALSE(CallScreenHas("A|"));

  // A stray command opener with no "|": given up after its bound.
  ASSERT_TRUE(peer->Write(std::string(1, kOpen) + std::string(5000, 'y') + "\r\nLATER TEXT"));
  EXPECT_TRUE(RunUntil([&] { return CallScreenHas("LATER TEXT"); })) << CallScreenText();

  // The end item hands the stream back: commands are text again until the
  // next banner.
  ASSERT_TRUE(peer->Write(std::string(1, kOpen) + "\\|" + "\x1b[2J\x1b[HBack to text " + kOpen + "A|"));
  EXPECT_TRUE(RunUntil([&] { return CallScreenHas("Back to text \xAB" "A|"); })) << CallScreenText();
  ASSERT_TRUE(peer->Write(kBanner2 + kOpen + "?_1|"));
  EXPECT_NE(BoardReceives(*peer, 3).find("\xAF" "1|"), std::string::npos);
}

TEST_F(OverkillModeTest, AHalfCommandOfOneCallHidesNothingOfTheNext) {
  InstallGame(Folder.Path());
  LoopbackListener first, second;
  Start();
  auto peer = CallEntry(first, LoopbackEntry(first, "game"));
  ASSERT_TRUE(peer);
  ASSERT_TRUE(peer->Write(kBanner1 + kOpen + "?_1|" + kOpen + "Ab_"));
  ASSERT_NE(BoardReceives(*peer, 3).find("\xAF" "1|"), std::string::npos);
  Key(platform::vk::Letter('H'), false, false, true);  // Alt+H with the command still open
  ASSERT_TRUE(RunUntil([&] { return !App->CallOpen(); }));
  auto peer2 = CallEntry(second, LoopbackEntry(second, "other"));
  ASSERT_TRUE(peer2);
  // The same game on the next board: its text after the banner shows.
  peer2->Write(kBanner2 + "\x1b[2J\x1b[Hsecond board");
  EXPECT_TRUE(RunUntil([&] { return Row(0).rfind("second board", 0) == 0; })) << CallScreenText();
}

class OverkillUnderXTest : public EndToEndTest {};

TEST_F(OverkillUnderXTest, TheGamesArtIsDrawnInTheWindow) {
  ASSERT_EQ(system("test -x /usr/bin/convert && test -x /usr/bin/import"), 0)
      << "ImageMagick (imagemagick) is needed for this test";
  WriteConfig();
  InstallGame(Dir.Path());
  LoopbackListener board;
  WriteBoard("Overkill Board", board.Port());
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());

  ASSERT_TRUE(peer->Write(kBanner1 + kOpen + "?_2|"));
  EXPECT_EQ(ToString(peer->ReadUntil("|", 30000)), "\xAF" "2|");
  ASSERT_TRUE(peer->Write(std::string(1, kOpen) + "A|"));
  ASSERT_TRUE(LogHas("OOII: PlayArtAsset fed", 30000)) << LinesWith(Log(), {"OOII"});

  // The art's 40 bright red blocks fill the left half of the first row.
  const std::string shot = Dir.File("shot.png");
  TBox red;
  const bool shown = WaitFor(
      [&] {
        system((X + "import -window " + Window + " '" + shot + "' 2>/dev/null").c_str());
        red = BoxOf(shot, "#ff0000");
        return red.W > 0 && red.X <= 2 && red.H > 8;
      },
      30000);
  const Geometry g = WindowGeometry();
  EXPECT_TRUE(shown) << red.W << "x" << red.H << " at " << red.X << "," << red.Y;
  EXPECT_NEAR(red.W, g.Width / 2, g.Width / 40) << "40 of 80 columns";
  EXPECT_LT(red.Y, g.Height / 20) << "on the first row";
}

}  // namespace
