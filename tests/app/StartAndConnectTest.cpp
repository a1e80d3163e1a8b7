// The splash picture, and the connect road's choice of text
// emulation: each terminal type runs its emulation from its own starting
// colours, and "Avatar" runs Avatar while announcing ANSI-BBS.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/uAnsiParser.h"
#include "core/uAvatarParser.h"
#include "core/uPetsciiParser.h"
#include "core/uTerminalBuffer.h"
#include "app/screens/uSplashScreen.h"
#include "tests/app/AppFixture.h"
#include "tests/app/ScreenServicesFixture.h"

using namespace testsupport;

namespace {

class StartAndConnectTest : public AppFixture {};

bool SameColours(const TCell& a, const TCell& b) {
  return a.Fg.R == b.Fg.R && a.Fg.G == b.Fg.G && a.Fg.B == b.Fg.B && a.Bg.R == b.Bg.R && a.Bg.G == b.Bg.G &&
         a.Bg.B == b.Bg.B;
}

std::string Describe(const TCell& c) {
  return std::to_string(int(c.Ch)) + " fg " + std::to_string(c.Fg.R) + "," + std::to_string(c.Fg.G) + "," +
         std::to_string(c.Fg.B) + " bg " + std::to_string(c.Bg.R) + "," + std::to_string(c.Bg.G) + "," +
         std::to_string(c.Bg.B);
}

}  // namespace

using SplashScreenTest = ScreenUnitTest;

TEST_F(SplashScreenTest, TheBannerHasStraightSides) {
  TSplashScreen splash(Services);
  auto painted = PaintScreen(splash);
  // The rules above and below the name span the same columns, and the side
  // bars stand in one column on every row they reach.
  struct Rule {
    int Y;
    uint8_t Ch;
  } rules[] = {{1, 0xDC}, {8, 0xDF}};
  for (const Rule& r : rules) {
    const std::string row = painted->Row(r.Y);
    EXPECT_EQ(row.find_first_not_of(' '), 5u) << "row " << r.Y;
    EXPECT_EQ(row.find_last_not_of(' '), 74u) << "row " << r.Y;
    EXPECT_EQ(row.substr(5, 70), std::string(70, char(r.Ch))) << "row " << r.Y;
  }
  for (int y : {3, 4, 5, 6, 7, 10, 11, 12, 13}) {
    EXPECT_EQ(uint8_t(painted->Row(y)[2]), 0xBA) << "row " << y;
    EXPECT_EQ(uint8_t(painted->Row(y)[77]), 0xBA) << "row " << y;
  }
}

// The first thing a board shows appears as the emulation shows it on a
// screen of its own: in its starting colours, not the ANSI default ones.
TEST_F(StartAndConnectTest, EachTerminalTypeRunsItsEmulationFromItsOwnStartingColours) {
  struct Row {
    const char* TermType;
    uint16_t Cols, Rows;
    std::string Sent;
    std::function<std::unique_ptr<TTextEmulation>(TTerminalBuffer&)> Reference;  // null: the ANSI parser
  };
  auto avatar = [](TTerminalBuffer& b) { return std::make_unique<TAvatarParser>(b); };
  auto petscii = [](TTerminalBuffer& b) { return std::make_unique<TPetsciiParser>(b, TPetsciiParser::pmPetscii); };
  auto atascii = [](TTerminalBuffer& b) { return std::make_unique<TPetsciiParser>(b, TPetsciiParser::pmAtascii); };
  const std::string avatarBlue = "\x16\x01\x1f" "A";  // ^V ^A: attribute white on blue
  const Row rows[] = {
      {"ANSI-BBS", 80, 25, "A", nullptr},     {"Avatar", 80, 25, avatarBlue, avatar},
      {"aVaTaR", 80, 25, avatarBlue, avatar}, {"C64", 40, 25, "A", petscii},
      {"PETSCII (40 col)", 40, 25, "A", petscii}, {"ATASCII", 40, 24, "A", atascii},
      {"Atari", 40, 24, "A", atascii},
  };
  Start();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.TermType);
    LoopbackListener board;
    auto entry = LoopbackEntry(board, "Colour Board");
    entry->TermType = r.TermType;
    entry->Cols = r.Cols;
    entry->Rows = r.Rows;
    entry->UseRaw = true;  // the board's bytes reach the emulation as they are
    std::unique_ptr<LoopbackPeer> peer = CallEntry(board, entry);
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Write(r.Sent));
    ASSERT_TRUE(RunUntil([&] { return Probe().BytesIn() >= int64_t(r.Sent.size()) && Probe().Pending().empty(); }));

    TTerminalBuffer reference(App->CallScreen().FWidth, App->CallScreen().FHeight);
    if (r.Reference) {
      std::unique_ptr<TTextEmulation> emulation = r.Reference(reference);
      for (char c : r.Sent) emulation->Feed(uint8_t(c));
    } else {
      TAnsiParser ansi(&reference);
      ansi.Feed(reinterpret_cast<const uint8_t*>(r.Sent.data()), r.Sent.size());
    }
    const TCell got = App->CallScreen().GetCell(0, 0), want = reference.GetCell(0, 0);
    EXPECT_EQ(got.Ch, want.Ch);
    EXPECT_TRUE(SameColours(got, want)) << "shown " << Describe(got) << ", the emulation shows " << Describe(want);
    App->DisconnectCurrent();
  }
}

TEST_F(StartAndConnectTest, AvatarAnnouncesAnsiBbsToTheBoard) {
  Start();
  LoopbackListener board;
  auto entry = LoopbackEntry(board, "Avatar Board");
  entry->TermType = "Avatar";
  std::unique_ptr<LoopbackPeer> peer = CallEntry(board, entry);
  ASSERT_TRUE(peer);
  EXPECT_TRUE(Probe().AvatarActive());
  // RFC 1091: the board asks for the terminal type.
  const std::string ask = {char(255), char(253), char(24), char(255), char(250), char(24), char(1), char(255), char(240)};
  ASSERT_TRUE(peer->Write(ask));
  const std::string answer = {char(255), char(250), char(24), char(0)};
  std::string got;
  EXPECT_TRUE(RunUntil([&] {
    got += ToString(peer->ReadFor(5));
    return got.find(answer + "ANSI-BBS" + char(255) + char(240)) != std::string::npos;
  })) << "the board got: " << HexText(ToBytes(got));
}
