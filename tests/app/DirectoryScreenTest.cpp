// The dialing directory: on its own (frame, banner, header, list colours and
// scrolling, footer, the empty list, selection, entry moves and deletes, the
// questions over it) and in the running program (a click calls the board,
// the call's screen survives a visit to the directory, a list emptied with
// Del is empty at the next start, a phonebook read only in part is kept and
// reported).
#include <gtest/gtest.h>

#include <filesystem>

#include "app/screens/uDirectoryScreen.h"
#include "app/uScreenText.h"
#include "data/uConfig.h"
#include "data/uDateTime.h"
#include "net/uWireTransport.h"
#include "tests/app/ScreenFixture.h"
#include "tests/app/ScreenServicesFixture.h"
#include "tests/support/Loopback.h"

namespace vk = platform::vk;

namespace {

class DirectoryScreenTest : public ScreenUnitTest {
 protected:
  void Press(uint16_t key, int times = 1, bool alt = false) {
    for (int i = 0; i < times; ++i) Dir.Key(KeyOf(key, false, false, alt));
  }
  TDirectoryScreen Dir{Services};
};

TEST_F(DirectoryScreenTest, AnEmptyPhonebookShowsTheHintAndTheFooter) {
  Services.Status = kDirectoryStatus;
  auto f = PaintScreen(Dir);
  EXPECT_EQ(f->Text(4, 6, 51), "(directory is empty - press Ins to add a BBS entry)");
  EXPECT_COLOUR(f->Cell(4, 6).Fg, 170, 170, 0);
  EXPECT_EQ(f->Text(2, 3, 72), PadText("Name", 33) + PadText("Host", 27) + PadText("Port", 8) + "Term");
  EXPECT_COLOUR(f->Cell(2, 3).Fg, 0, 0, 255);
  EXPECT_EQ(f->Cell(1, 4).Ch, cp::TeeLeft);
  EXPECT_EQ(f->Cell(78, 22).Ch, cp::TeeRight);
  const std::string status = kDirectoryStatus;
  EXPECT_EQ(f->Text(2, 23, 76), PadText(std::string((76 - status.size()) / 2, ' ') + status, 76));
  EXPECT_COLOUR(f->Cell(10, 23).Fg, 85, 85, 85);
  int index = 0;
  EXPECT_FALSE(Dir.RowAt(5, index));
  EXPECT_EQ(index, -1);
  EXPECT_TRUE(f->Popups.Empty());
}

TEST_F(DirectoryScreenTest, BannerOnEightyColumnsAndTheTitleBelowThat) {
  Fill({"Alpha|a.example|23|ANSI-BBS"});
  auto f = PaintScreen(Dir);
  EXPECT_EQ(f->Cell(0, 0).Ch, cp::DoubleTL);
  EXPECT_EQ(f->Row(0).find("KORVAN Dialing Directory"), std::string::npos) << "the banner covers the title";
  bool blocks = false;
  for (int x = 0; x < 80; ++x) blocks |= f->Cell(x, 1).Ch == cp::FullBlock;
  EXPECT_TRUE(blocks);
  EXPECT_EQ(f->Cell(0, 1).Ch, cp::DoubleV);

  f = PaintScreen(Dir, 79, 25);
  EXPECT_NE(f->Row(0).find(" KORVAN Dialing Directory "), std::string::npos);
  EXPECT_COLOUR(f->Cell(int(f->Row(0).find("KORVAN")), 0).Fg, 0, 0, 170);
  EXPECT_EQ(f->Cell(0, 1).Ch, cp::DoubleV);
  Services.ShowGuide = true;
  f = PaintScreen(Dir, 79, 25);
  EXPECT_NE(f->Row(0).find(" KORVAN Dialing Directory - Telnet BBS Guide (F11) "), std::string::npos);
}

TEST_F(DirectoryScreenTest, RowsColumnsAndFamilyColours) {
  Fill({"A name of exactly forty characters long!|host.example|2323|Amiga (Topaz)",
        "Second|b.example|23|PETSCII (40 col)", "Third|c.example|23|C64", "Fourth|d.example|23|VT100",
        "Fifth|e.example|23|SkyPix", "Sixth|f.example|23|ATARI", "Seventh|g.example|23|RIP",
        "Eighth|h.example|23|ASCII (no color)", "Ninth|i.example|23|Avatar"});
  Press(vk::End);
  auto f = PaintScreen(Dir);
  // Row 5: entry 0, even, on black.
  EXPECT_EQ(f->Text(2, 5, 33), std::string("A name of exactly forty characte") + " ");
  EXPECT_EQ(f->Text(35, 5, 27), PadText("host.example", 27));
  EXPECT_EQ(f->Text(62, 5, 8), PadText("2323", 8));
  EXPECT_EQ(f->Text(70, 5, 8), "Amiga   ");
  EXPECT_COLOUR(f->Cell(2, 5).Fg, 0, 230, 230);
  EXPECT_COLOUR(f->Cell(35, 5).Fg, 170, 170, 170);
  EXPECT_COLOUR(f->Cell(62, 5).Fg, 85, 85, 85);
  EXPECT_COLOUR(f->Cell(2, 5).Bg, 0, 0, 0);
  // Odd rows carry the dim bar across.
  EXPECT_COLOUR(f->Cell(2, 6).Bg, 16, 16, 16);
  EXPECT_COLOUR(f->Cell(77, 6).Bg, 16, 16, 16);
  struct Family {
    int Row;
    const char* Shown;
    TColorRGB Colour;
  } families[] = {{5, "Amiga", {255, 0, 255}},   {6, "PETSCII", {0, 170, 170}}, {7, "C64", {0, 170, 170}},
                  {8, "VT100", {125, 125, 125}}, {9, "SkyPix", {255, 85, 85}},  {10, "ATARI", {0, 255, 0}},
                  {11, "RIP", {255, 255, 85}},   {12, "ASCII", {255, 255, 255}}};
  for (const Family& fam : families) {
    EXPECT_EQ(TrimText(f->Text(70, fam.Row, 8)), fam.Shown) << fam.Row;
    EXPECT_TRUE(SameColour(f->Cell(70, fam.Row).Fg, fam.Colour)) << fam.Shown;
  }
  // The selected row: white on face blue from column 2 to W-3.
  EXPECT_EQ(TrimText(f->Text(2, 13, 10)), "Ninth");
  EXPECT_COLOUR(f->Cell(2, 13).Fg, 255, 255, 255);
  EXPECT_COLOUR(f->Cell(70, 13).Fg, 255, 255, 255);
  EXPECT_COLOUR(f->Cell(77, 13).Bg, 0, 0, 170);
  EXPECT_COLOUR(f->Cell(78, 13).Bg, 0, 0, 0);
}

TEST_F(DirectoryScreenTest, ALongListScrollsWithTheSelectionAndKeys) {
  std::vector<std::string> rows;
  for (int i = 0; i < 30; ++i) rows.push_back("Board " + std::to_string(100 + i) + "|h" + std::to_string(i) + "|23");
  Fill(rows);
  auto f = PaintScreen(Dir);
  EXPECT_EQ(TrimText(f->Text(2, 21, 33)), "Board 116") << "17 lines, rows 5 to 21";
  EXPECT_EQ(f->Cell(2, 22).Ch, cp::SingleH);

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
    Press(s.Key, s.Times);
    f = PaintScreen(Dir);
    EXPECT_EQ(Dir.Selected(), s.WantIndex) << s.Name;
    EXPECT_EQ(Dir.TopIndex(), s.WantTop) << s.Name;
    EXPECT_COLOUR(f->Cell(2, 5 + s.WantIndex - s.WantTop).Bg, 0, 0, 170) << s.Name;
  }
  int index = -1;
  EXPECT_TRUE(Dir.RowAt(21, index));
  EXPECT_EQ(index, 16);
  EXPECT_FALSE(Dir.RowAt(22, index)) << "the rule below the list";
}

TEST_F(DirectoryScreenTest, LetterJumpsDeleteMoveAndInsert) {
  Fill({"Alpha|a|23", "Bravo|b|23", "Beta|c|23"});
  const char* want[] = {"Bravo", "Beta", "Bravo"};
  for (const char* name : want) {
    Press(vk::Letter('B'));
    EXPECT_EQ(Services.Book->GetEntry(Dir.Selected())->Name, name);
  }
  // Alt+Down moves Bravo below Beta and saves at once.
  Press(vk::Down, 1, true);
  EXPECT_EQ(Dir.Selected(), 2);
  EXPECT_EQ(Saved().GetEntry(2)->Name, "Bravo");
  // Del removes the selection and clamps it.
  Press(vk::Delete);
  EXPECT_EQ(Services.Book->Count(), 2);
  EXPECT_EQ(Dir.Selected(), 1);
  Press(vk::Delete, 3);
  EXPECT_EQ(Services.Book->Count(), 0);
  EXPECT_EQ(Dir.Selected(), -1);
  Press(vk::Next);
  EXPECT_EQ(Dir.Selected(), -1);
  // Ins adds an entry of the default type and opens the editor on it.
  Services.Settings.DefaultTermType = "RIP";
  Press(vk::Insert);
  ASSERT_EQ(Services.Opened.size(), 1u);
  EXPECT_EQ(Services.Opened[0]->Mode(), smEditor);
  ASSERT_EQ(Services.Book->Count(), 1);
  EXPECT_EQ(Services.Book->GetEntry(0)->TermType, "RIP");
  EXPECT_EQ(Services.Editing, Services.Book->GetEntry(0));
  EXPECT_EQ(Dir.Selected(), 0);
  // Alt+E opens the editor on the selection; with no entry selected it does not.
  Press(vk::Letter('E'), 1, true);
  EXPECT_EQ(Services.Opened.size(), 2u);
  Press(vk::Delete);
  EXPECT_FALSE(Dir.Key(KeyOf(vk::Letter('E'), false, false, true)));
  EXPECT_EQ(Services.Opened.size(), 2u);
}

TEST_F(DirectoryScreenTest, EnterAndMouseCallTheSelectedBoardAndEscGoesOnline) {
  Fill({"First|one|23", "Second|two|23"});
  PaintScreen(Dir);
  struct Row {
    const char* Name;
    TMouseEvent Mouse;
    int WantSelected;
    size_t WantCalls;
  } rows[] = {
      {"click on the second row", {TMouseKind::Down, 1, 0, 0, true, 10, 6}, 1, 0},
      {"click below the last entry", {TMouseKind::Down, 1, 0, 0, true, 10, 12}, 1, 0},
      {"wheel up", {TMouseKind::Wheel, 0, 0, 0, false, -1, -1, true}, 0, 0},
      {"wheel down past the end", {TMouseKind::Wheel, 0, 0, 0, false, -1, -1, false}, 1, 0},
      {"double click calls", {TMouseKind::DoubleClick, 1, 0, 0, true, 10, 5}, 0, 1},
  };
  for (const Row& r : rows) {
    Dir.Mouse(r.Mouse);
    if (r.Mouse.Kind == TMouseKind::Wheel) Dir.Mouse(r.Mouse);
    EXPECT_EQ(Dir.Selected(), r.WantSelected) << r.Name;
    EXPECT_EQ(Services.Calls.size(), r.WantCalls) << r.Name;
  }
  EXPECT_EQ(Services.Calls.back()->Name, "First");
  Press(vk::Down);
  Press(vk::Return);
  ASSERT_EQ(Services.Calls.size(), 2u);
  EXPECT_EQ(Services.Calls.back()->Name, "Second");
  Press(vk::Escape);
  EXPECT_EQ(Services.Shown, std::vector<TScreenMode>{smOnline});
}

TEST_F(DirectoryScreenTest, TheUpdateQuestionComesBeforeTheBackupReminder) {
  Fill({"Board|b|23"});
  Services.PopupState.BackupDue = true;
  auto f = PaintScreen(Dir);
  EXPECT_NE(f->PopupRow(11).find("PHONEBOOK BACKUP"), std::string::npos);
  EXPECT_NE(f->PopupRow(10).find(char(cp::SingleTL)), std::string::npos);
  // With a non-CP437 font the frame is plain ASCII.
  f = PaintScreen(Dir, 80, 25, false);
  EXPECT_NE(f->PopupRow(10).find("+-"), std::string::npos);
  EXPECT_NE(f->PopupRow(11).find(':'), std::string::npos);
  Services.PopupState.GuidePrompt = true;
  f = PaintScreen(Dir);
  EXPECT_NE(f->PopupText().find("TELNET BBS GUIDE UPDATE"), std::string::npos);
  EXPECT_EQ(f->PopupText().find("PHONEBOOK BACKUP"), std::string::npos) << "at most one question";
}

// The directory in the running program.
class DirectoryInTheProgramTest : public ScreenFixture {};

TEST_F(DirectoryInTheProgramTest, ClickSelectsAndDoubleClickCallsTheBoard) {
  testsupport::LoopbackListener board;
  WritePhonebook({"First|127.0.0.1|1", "Loopback|127.0.0.1|" + std::to_string(board.Port())});
  Start();
  Paint();
  ClickCell(10, 6);
  Pump();
  EXPECT_EQ(App->Directory().Selected(), 1);
  ClickCell(10, 12);  // below the last entry: no change
  Pump();
  EXPECT_EQ(App->Directory().Selected(), 1);
  ClickCell(10, 6, true);
  std::unique_ptr<testsupport::LoopbackPeer> peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  EXPECT_EQ(App->ScreenMode(), smOnline);
  EXPECT_EQ(App->CallEntry()->Name, "Loopback");
}

TEST_F(DirectoryInTheProgramTest, AltKeysReachTheDirectoryAndGoNoFurther) {
  WritePhonebook({"Alpha|a|23", "Bravo|b|23"});
  Start();
  Key(vk::Down, false, false, true);  // Alt+Down moves Alpha below Bravo and saves
  Key(vk::Letter('Q'), false, false, true);  // no row: nothing happens
  Pump();
  TPhonebook saved(Folder.File("korvan.ini"));
  ASSERT_TRUE(saved.LoadFromFile());
  EXPECT_EQ(saved.GetEntry(1)->Name, "Alpha");
  EXPECT_EQ(App->Directory().Selected(), 1);
  EXPECT_EQ(App->ScreenMode(), smDirectory);
}

TEST_F(DirectoryInTheProgramTest, TheDirectoryDuringACallLeavesTheCallsScreenAndPictures) {
  testsupport::LoopbackListener board;
  WritePhonebook({"Loopback|127.0.0.1|" + std::to_string(board.Port())});
  Start();
  Key(vk::Return);
  std::unique_ptr<testsupport::LoopbackPeer> peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  peer->Write("WELCOME TO THE BOARD");
  ASSERT_TRUE(RunUntil([&] { return App->CallScreen().GetRowText(0).find("WELCOME") != std::string::npos; }));
  Probe().Renderer().AddImageSprite(0, 0, 2, 2, std::vector<TColorRGB>(4, TColorRGB{255, 0, 0}),
                                 std::vector<uint8_t>(4, 1));
  int clears = 0;
  auto old = Probe().Buffer().OnCleared;
  Probe().Buffer().OnCleared = [&](TTerminalBuffer* b) {
    ++clears;
    old(b);
  };
  Key(vk::Letter('D'), false, false, true);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smDirectory);
  Paint();
  EXPECT_EQ(Text(2, 5, 8), "Loopback");
  EXPECT_EQ(clears, 0);
  EXPECT_NE(App->CallScreen().GetRowText(0).find("WELCOME"), std::string::npos);
  EXPECT_TRUE(Probe().Renderer().HasSprites());
  // Text arriving meanwhile is there when the user goes back.
  peer->Write("\r\nMORE");
  ASSERT_TRUE(RunUntil([&] { return App->CallScreen().GetRowText(1).find("MORE") != std::string::npos; }));
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->ScreenMode(), smOnline);
  EXPECT_NE(App->CallScreen().GetRowText(1).find("MORE"), std::string::npos);
  EXPECT_NE(App->CallScreen().GetRowText(0).find("WELCOME"), std::string::npos);
}

// Del can empty either list; the next start finds it empty, not as it was.
TEST_F(DirectoryInTheProgramTest, AListEmptiedWithDelIsEmptyAtTheNextStart) {
  for (bool guide : {false, true}) {
    SCOPED_TRACE(guide ? "the board list" : "the user's phonebook");
    testsupport::WriteWholeFile(Folder.File("korvan_config.ini"),
                                "[Config]\nLastPhonebookBackup=" + FormatIsoDate(NowDateTime()) +
                                    "\nUseGuidePhonebook=" + (guide ? "1" : "0") + "\n");
    WritePhonebook({"Alpha|a|23", "Bravo|b|23", "Charlie|c|23"});
    TPhonebook list(Folder.File("bbsguide.ini"));
    for (const char* name : {"Delta", "Echo", "Foxtrot"}) list.Add()->Name = name;
    ASSERT_TRUE(list.SaveToFile());

    Start();
    TPhonebook* shown = App->ActivePhonebook();
    ASSERT_EQ(shown->Count(), 3);
    Keys(vk::Delete, 3);
    ASSERT_TRUE(RunUntil([&] { return shown->Count() == 0; }));
    App.reset();

    Start();
    EXPECT_EQ(App->ActivePhonebook()->Count(), 0);
    TPhonebook other(Folder.File(guide ? "korvan.ini" : "bbsguide.ini"));
    ASSERT_TRUE(other.LoadFromFile());
    EXPECT_EQ(other.Count(), 3);
    App.reset();
  }
}

// A phonebook a Windows editor saved as UTF-16 is read, kept as it was
// beside itself before anything saves over it, and the user hears of it
// once.
TEST_F(DirectoryInTheProgramTest, APartlyReadablePhonebookIsKeptAndReportedOnce) {
  std::string original = "\xFF\xFE";
  for (char c : std::string("[Entry0]\r\nName=Alpha\r\nPassword=pw\r\n")) original += {c, '\0'};
  testsupport::WriteWholeFile(Folder.File("korvan.ini"), original);
  const std::string copy = PhonebookBackupName("phonebook", "_original");
  Start();
  Paint();
  EXPECT_NE(Row(23).find("Phonebook repaired - original kept: " + copy), std::string::npos) << Row(23);
  ASSERT_EQ(App->ActivePhonebook()->Count(), 1);
  EXPECT_EQ(App->ActivePhonebook()->GetEntry(0)->Password, "pw");
  EXPECT_EQ(testsupport::ReadWholeFile(Folder.File(copy)), original);
  App.reset();
  EXPECT_EQ(testsupport::ReadWholeFile(Folder.File(copy)), original);
  EXPECT_NE(testsupport::ReadWholeFile(Folder.File("korvan.ini")).find("\nPassword=pw\n"), std::string::npos);

  Start();
  Paint();
  EXPECT_EQ(Row(23).find("repaired"), std::string::npos) << Row(23);
  EXPECT_EQ(App->ActivePhonebook()->GetEntry(0)->Name, "Alpha");
  EXPECT_FALSE(std::filesystem::exists(Folder.File(PhonebookBackupName("phonebook", "_original_2"))));
}

}  // namespace
