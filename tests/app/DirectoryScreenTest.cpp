// The dialing directory painted headless and driven with keys and clicks:
// frame, banner, header, list colours and scrolling, footer, the empty
// list, selection, entry moves and deletes, and the call it starts.
#include <gtest/gtest.h>

#include "app/uScreenText.h"
#include "data/uConfig.h"
#include "net/uWireTransport.h"
#include "tests/app/ScreenFixture.h"
#include "tests/support/Loopback.h"

namespace vk = platform::vk;

namespace {

class DirectoryScreenTest : public ScreenFixture {};

TEST_F(DirectoryScreenTest, AnEmptyPhonebookShowsTheHintAndTheFooter) {
  WritePhonebook({});
  Start();
  ASSERT_EQ(App->FMode, smDirectory);
  Paint();
  EXPECT_EQ(Text(4, 6, 51), "(directory is empty - press Ins to add a BBS entry)");
  EXPECT_COLOUR(Cell(4, 6).Fg, 170, 170, 0);
  EXPECT_EQ(Text(2, 3, 72), PadText("Name", 33) + PadText("Host", 27) + PadText("Port", 8) + "Term");
  EXPECT_COLOUR(Cell(2, 3).Fg, 0, 0, 255);
  EXPECT_EQ(Cell(1, 4).Ch, cp::TeeLeft);
  EXPECT_EQ(Cell(78, 22).Ch, cp::TeeRight);
  const std::string status = "Enter: Connect  Alt+E: Edit  Alt+C: Config  Alt+Z: Help  Alt+X: Exit";
  EXPECT_EQ(Text(2, 23, 76), PadText(std::string((76 - status.size()) / 2, ' ') + status, 76));
  EXPECT_COLOUR(Cell(10, 23).Fg, 85, 85, 85);
  EXPECT_EQ(App->FDirListRow, 5);
  EXPECT_EQ(App->FDirListRows, 17);
  int index = 0;
  EXPECT_FALSE(App->DirectoryRowAt(5, index));
  EXPECT_EQ(index, -1);
}

TEST_F(DirectoryScreenTest, BannerOnEightyColumnsAndTheTitleBelowThat) {
  WritePhonebook({"Alpha|a.example|23|ANSI-BBS"});
  Start();
  Paint();
  EXPECT_EQ(Cell(0, 0).Ch, cp::DoubleTL);
  EXPECT_EQ(Row(0).find("KORVAN Dialing Directory"), std::string::npos) << "the banner covers the title";
  bool blocks = false;
  for (int x = 0; x < 80; ++x) blocks |= Cell(x, 1).Ch == cp::FullBlock;
  EXPECT_TRUE(blocks);
  EXPECT_EQ(Cell(0, 1).Ch, cp::DoubleV);

  App->FBuffer->Resize(79, 25);
  Paint();
  EXPECT_NE(Row(0).find(" KORVAN Dialing Directory "), std::string::npos);
  EXPECT_COLOUR(Cell(int(Row(0).find("KORVAN")), 0).Fg, 0, 0, 170);
  EXPECT_EQ(Cell(0, 1).Ch, cp::DoubleV);
}

TEST_F(DirectoryScreenTest, RowsColumnsAndFamilyColours) {
  WritePhonebook({"A name of exactly forty characters long!|host.example|2323|Amiga (Topaz)",
                  "Second|b.example|23|PETSCII (40 col)", "Third|c.example|23|C64", "Fourth|d.example|23|VT100",
                  "Fifth|e.example|23|SkyPix", "Sixth|f.example|23|ATARI", "Seventh|g.example|23|RIP",
                  "Eighth|h.example|23|ASCII (no color)", "Ninth|i.example|23|Avatar"});
  Start();
  App->FDirectoryRow = 8;
  Paint();
  // Row 5: entry 0, even, on black.
  EXPECT_EQ(Text(2, 5, 33), std::string("A name of exactly forty characte") + " ");
  EXPECT_EQ(Text(35, 5, 27), PadText("host.example", 27));
  EXPECT_EQ(Text(62, 5, 8), PadText("2323", 8));
  EXPECT_EQ(Text(70, 5, 8), "Amiga   ");
  EXPECT_COLOUR(Cell(2, 5).Fg, 0, 230, 230);
  EXPECT_COLOUR(Cell(35, 5).Fg, 170, 170, 170);
  EXPECT_COLOUR(Cell(62, 5).Fg, 85, 85, 85);
  EXPECT_COLOUR(Cell(2, 5).Bg, 0, 0, 0);
  // Odd rows carry the dim bar across.
  EXPECT_COLOUR(Cell(2, 6).Bg, 16, 16, 16);
  EXPECT_COLOUR(Cell(77, 6).Bg, 16, 16, 16);
  struct Family {
    int Row;
    const char* Shown;
    TColorRGB Colour;
  } families[] = {{5, "Amiga", {255, 0, 255}},   {6, "PETSCII", {0, 170, 170}}, {7, "C64", {0, 170, 170}},
                  {8, "VT100", {125, 125, 125}}, {9, "SkyPix", {255, 85, 85}},  {10, "ATARI", {0, 255, 0}},
                  {11, "RIP", {255, 255, 85}},   {12, "ASCII", {255, 255, 255}}};
  for (const Family& f : families) {
    EXPECT_EQ(TrimText(Text(70, f.Row, 8)), f.Shown) << f.Row;
    EXPECT_TRUE(SameColour(Cell(70, f.Row).Fg, f.Colour)) << f.Shown;
  }
  // The selected row: white on face blue from column 2 to W-3.
  EXPECT_EQ(TrimText(Text(2, 13, 10)), "Ninth");
  EXPECT_COLOUR(Cell(2, 13).Fg, 255, 255, 255);
  EXPECT_COLOUR(Cell(70, 13).Fg, 255, 255, 255);
  EXPECT_COLOUR(Cell(77, 13).Bg, 0, 0, 170);
  EXPECT_COLOUR(Cell(78, 13).Bg, 0, 0, 0);
}

TEST_F(DirectoryScreenTest, ALongListScrollsWithTheSelectionAndKeys) {
  std::vector<std::string> rows;
  for (int i = 0; i < 30; ++i) rows.push_back("Board " + std::to_string(100 + i) + "|h" + std::to_string(i) + "|23");
  WritePhonebook(rows);
  Start();
  Paint();
  EXPECT_EQ(TrimText(Text(2, 21, 33)), "Board 116") << "17 lines, rows 5 to 21";
  EXPECT_EQ(Cell(2, 22).Ch, cp::SingleH);

  struct Step {
    const char* Name;
    uint16_t Key;
    int Times;
    int WantIndex, WantTop;
  } steps[] = {{"down past the last line", vk::Down, 17, 17, 1},
               {"page down", vk::Next, 1, 27, 11},
               {"end", vk::End, 1, 29, 13},
               {"down at the end stays", vk::Down, 1, 29, 13},
               {"page up", vk::Prior, 1, 19, 13},
               {"up above the first line", vk::Up, 7, 12, 12},
               {"home", vk::Home, 1, 0, 0}};
  for (const Step& s : steps) {
    Keys(s.Key, s.Times);
    Pump();
    Paint();
    EXPECT_EQ(App->FDirectoryRow, s.WantIndex) << s.Name;
    EXPECT_EQ(App->FDirTop, s.WantTop) << s.Name;
    EXPECT_COLOUR(Cell(2, 5 + s.WantIndex - s.WantTop).Bg, 0, 0, 170) << s.Name;
  }
  int index = -1;
  EXPECT_TRUE(App->DirectoryRowAt(21, index));
  EXPECT_EQ(index, 16);
}

TEST_F(DirectoryScreenTest, LetterJumpsDeleteMoveAndInsert) {
  WritePhonebook({"Alpha|a|23", "Bravo|b|23", "Beta|c|23"});
  Start();
  Paint();
  const char* want[] = {"Bravo", "Beta", "Bravo"};
  for (const char* name : want) {
    Key(vk::Letter('B'));
    Pump();
    EXPECT_EQ(App->FPhonebook->GetEntry(App->FDirectoryRow)->Name, name);
  }
  // Alt+Down moves Bravo below Beta and saves at once.
  Key(vk::Down, false, false, true);
  Pump();
  EXPECT_EQ(App->FDirectoryRow, 2);
  TPhonebook saved(Folder.File("korvan.ini"));
  ASSERT_TRUE(saved.LoadFromFile());
  EXPECT_EQ(saved.GetEntry(2)->Name, "Bravo");
  // Del removes the selection and clamps it.
  Key(vk::Delete);
  Pump();
  EXPECT_EQ(App->FPhonebook->Count(), 2);
  EXPECT_EQ(App->FDirectoryRow, 1);
  Key(vk::Delete);
  Key(vk::Delete);
  Key(vk::Delete);
  Pump();
  EXPECT_EQ(App->FPhonebook->Count(), 0);
  EXPECT_EQ(App->FDirectoryRow, -1);
  Key(vk::Next);
  Pump();
  EXPECT_EQ(App->FDirectoryRow, -1);
  // Ins adds an entry of the default type and opens the editor on it.
  App->FConfig->DefaultTermType = "RIP";
  Key(vk::Insert);
  Pump();
  EXPECT_EQ(App->FMode, smEditor);
  ASSERT_EQ(App->FPhonebook->Count(), 1);
  EXPECT_EQ(App->FPhonebook->GetEntry(0)->TermType, "RIP");
  EXPECT_EQ(App->FDirectoryRow, 0);
}

TEST_F(DirectoryScreenTest, ClickSelectsAndDoubleClickCallsTheBoard) {
  testsupport::LoopbackListener board;
  WritePhonebook({"First|127.0.0.1|1", "Loopback|127.0.0.1|" + std::to_string(board.Port())});
  Start();
  Paint();
  ClickCell(10, 6);
  Pump();
  EXPECT_EQ(App->FDirectoryRow, 1);
  ClickCell(10, 12);  // below the last entry: no change
  Pump();
  EXPECT_EQ(App->FDirectoryRow, 1);
  ClickCell(10, 6, true);
  std::unique_ptr<testsupport::LoopbackPeer> peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  EXPECT_EQ(App->FMode, smOnline);
  EXPECT_EQ(App->FEntry->Name, "Loopback");
}

TEST_F(DirectoryScreenTest, TheDirectoryDuringACallLeavesTheCallsScreenAndPictures) {
  testsupport::LoopbackListener board;
  WritePhonebook({"Loopback|127.0.0.1|" + std::to_string(board.Port())});
  Start();
  Key(vk::Return);
  std::unique_ptr<testsupport::LoopbackPeer> peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  peer->Write("WELCOME TO THE BOARD");
  ASSERT_TRUE(RunUntil([&] { return App->FBuffer->GetRowText(0).find("WELCOME") != std::string::npos; }));
  App->FRenderer->AddImageSprite(0, 0, 2, 2, std::vector<TColorRGB>(4, TColorRGB{255, 0, 0}),
                                 std::vector<uint8_t>(4, 1));
  int clears = 0;
  auto old = App->FBuffer->OnCleared;
  App->FBuffer->OnCleared = [&](TTerminalBuffer* b) {
    ++clears;
    old(b);
  };
  Key(vk::Letter('D'), false, false, true);
  Pump();
  ASSERT_EQ(App->FMode, smDirectory);
  Paint();
  EXPECT_EQ(Text(2, 5, 8), "Loopback");
  EXPECT_EQ(clears, 0);
  EXPECT_NE(App->FBuffer->GetRowText(0).find("WELCOME"), std::string::npos);
  EXPECT_TRUE(App->FRenderer->HasSprites());
  // Text arriving meanwhile is there when the user goes back.
  peer->Write("\r\nMORE");
  ASSERT_TRUE(RunUntil([&] { return App->FBuffer->GetRowText(1).find("MORE") != std::string::npos; }));
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->FMode, smOnline);
  EXPECT_NE(App->FBuffer->GetRowText(1).find("MORE"), std::string::npos);
  EXPECT_NE(App->FBuffer->GetRowText(0).find("WELCOME"), std::string::npos);
}

}  // namespace
