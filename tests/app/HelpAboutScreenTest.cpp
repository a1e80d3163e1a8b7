// The help screen (its key order, the two balanced columns, the cells at
// 80 x 25 and wider, scrolling and closing), the about box, the splash
// picture, the quick-connect list (a long list scrolls with its selection),
// and in the running program the hotkeys that open them.
#include <gtest/gtest.h>

#include <map>

#include "app/screens/uAboutScreen.h"
#include "app/screens/uHelpScreen.h"
#include "app/screens/uQuickConnectScreen.h"
#include "app/screens/uSplashScreen.h"
#include "app/uScreenText.h"
#include "tests/app/ScreenFixture.h"
#include "tests/app/ScreenServicesFixture.h"

namespace vk = platform::vk;

namespace {

const std::string kUp(1, char(24)), kDown(1, char(25)), kRight(1, char(26)), kLeft(1, char(27));

TEST(HelpKeysTest, KeyOrder) {
  struct Row {
    std::string A, B;
    bool Before;
  } rows[] = {
      {"F1-F10", "F12", true},   // the minus sign sorts before a digit
      {"Alt+B", "Alt+8", true},  // letters before digits
      {"Alt+8", "Alt+" + kUp, true},  // digits before arrows and punctuation
      {"Alt+c", "Alt+D", true},  // letters compared upper-cased
      {"Alt", "Alt+C", true},    // a prefix first
      {"Alt+C", "Alt+c", false}, // equal keys are not before each other
      {"Alt+c", "Alt+C", false},
      {"Ctrl+F11", "Ctrl+" + kLeft + "/" + kRight, true},
      {"Ctrl+" + kLeft, "F11", true},
  };
  for (const Row& r : rows) EXPECT_EQ(CompareHelpKeys(r.A, r.B), r.Before) << r.A << " vs " << r.B;
}

TEST(HelpKeysTest, SectionsSortedAndBalancedInTwoColumns) {
  std::map<std::string, std::vector<std::string>> keys;
  std::vector<std::string> sections;
  std::map<std::string, int> column;
  for (const THelpItem& it : HelpItems()) {
    if (keys[it.Section].empty()) sections.push_back(it.Section);
    keys[it.Section].push_back(it.Key);
    column[it.Section] = it.Column;
  }
  EXPECT_EQ(sections, (std::vector<std::string>{"NAVIGATION", "PHONEBOOK", "SESSION", "SCRIPTS", "FILE TRANSFERS",
                                                "WINDOW & APP", "CLIPBOARD"}));
  EXPECT_EQ(keys["NAVIGATION"],
            (std::vector<std::string>{"Esc", "Home/End", "PgUp/PgDn", kUp + " " + kDown + " " + kLeft + " " + kRight}));
  EXPECT_EQ(keys["PHONEBOOK"], (std::vector<std::string>{"Alt+C", "Alt+D", "Alt+E", "Alt+I", "Alt+Q",
                                                         "Alt+" + kUp + "/" + kDown, "Del", "Enter", "Ins"}));
  EXPECT_EQ(keys["SESSION"],
            (std::vector<std::string>{"Alt+B", "Alt+G", "Alt+H", "Alt+J", "Alt+L", "Alt+M", "Alt+N", "Alt+P", "Alt+T",
                                      "Alt+V", "Alt+W", "Alt+8", "F1-F10", "F12", "Scroll Lock"}));
  EXPECT_EQ(keys["WINDOW & APP"], (std::vector<std::string>{"Alt+Enter", "Alt+F", "Alt+R", "Alt+S", "Ctrl+F11",
                                                            "Ctrl+" + kLeft + "/" + kRight, "F11", "Shift+F12"}));
  for (const char* s : {"NAVIGATION", "SESSION", "CLIPBOARD"}) EXPECT_EQ(column[s], 0) << s;
  for (const char* s : {"PHONEBOOK", "SCRIPTS", "FILE TRANSFERS", "WINDOW & APP"}) EXPECT_EQ(column[s], 1) << s;
}

class HelpScreenTest : public ScreenUnitTest {
 protected:
  void SetUp() override {
    Help = std::make_shared<THelpScreen>(Services);
    Help->Enter();
  }
  std::shared_ptr<THelpScreen> Help;
};

TEST_F(HelpScreenTest, CellsOnEightyByTwentyFive) {
  EXPECT_EQ(Services.Status, kHelpStatus);
  auto f = PaintScreen(*Help);
  EXPECT_NE(f->Row(0).find(" KORVAN Help - Keyboard Commands "), std::string::npos);
  EXPECT_COLOUR(f->Cell(0, 0).Fg, 0, 0, 170);
  // Left column: L = 2 to S - 1 = 38; keys at 3, descriptions at 3 + 11 + 2.
  EXPECT_EQ(f->Text(2, 2, 12), " NAVIGATION ");
  EXPECT_COLOUR(f->Cell(3, 2).Fg, 255, 255, 85);
  EXPECT_EQ(f->Cell(14, 2).Ch, cp::SingleH);
  EXPECT_EQ(f->Cell(38, 2).Ch, cp::SingleH);
  EXPECT_COLOUR(f->Cell(38, 2).Fg, 0, 0, 85);
  EXPECT_EQ(f->Text(3, 3, 3), "Esc");
  EXPECT_COLOUR(f->Cell(3, 3).Fg, 0, 170, 170);
  EXPECT_EQ(f->Text(16, 3, 23), PadText("Back / cancel screen", 23));
  EXPECT_COLOUR(f->Cell(16, 3).Fg, 170, 170, 170);
  EXPECT_EQ(f->Text(2, 7, 9), " SESSION ");
  EXPECT_EQ(f->Text(3, 8, 5), "Alt+B");
  // Right column: S + 1 = 40 to R = 77; keys at 41, descriptions at 41 + 12 + 2.
  EXPECT_EQ(f->Text(40, 2, 11), " PHONEBOOK ");
  EXPECT_EQ(f->Text(41, 3, 5), "Alt+C");
  EXPECT_EQ(f->Text(55, 3, 23), PadText("Configuration screen", 23));
  EXPECT_EQ(f->Text(40, 12, 9), " SCRIPTS ");
  EXPECT_EQ(f->Text(41, 15, 12), "Shift+F1-F10");
  // The separator runs down the whole list (it is longer than the screen),
  // a down mark shows more below, and the footer holds the status.
  EXPECT_EQ(f->Cell(39, 2).Ch, cp::SingleV);
  EXPECT_EQ(f->Cell(39, 21).Ch, cp::SingleV);
  EXPECT_EQ(f->Cell(1, 22).Ch, cp::TeeLeft);
  EXPECT_EQ(f->Text(75, 22, 3), " " + kDown + " ");
  EXPECT_COLOUR(f->Cell(76, 22).Fg, 85, 85, 85);
  EXPECT_EQ(f->Cell(76, 1).Ch, ' ') << "no up mark at the top";
  EXPECT_NE(f->Row(23).find(kHelpStatus), std::string::npos);
}

TEST_F(HelpScreenTest, ScrollingStaysWithinTheListAndOtherKeysClose) {
  PaintScreen(*Help);
  struct Row {
    uint16_t Key;
    int Scroll;
  } rows[] = {{vk::Up, 0}, {vk::Down, 1}, {vk::End, 8}, {vk::Down, 8}, {vk::Prior, 0},
              {vk::Next, 8}, {vk::Home, 0}, {vk::Next, 8}, {vk::Up, 7}};
  for (const Row& r : rows) {
    Help->Key(KeyOf(r.Key));
    EXPECT_EQ(Help->Scroll(), r.Scroll) << r.Key;
  }
  auto f = PaintScreen(*Help);
  EXPECT_EQ(f->Text(75, 1, 3), " " + kUp + " ");
  EXPECT_EQ(f->Text(75, 22, 3), " " + kDown + " ");
  Help->Key(KeyOf(vk::End));
  f = PaintScreen(*Help);
  // Column 1's last row on the last list row, nothing below.
  EXPECT_EQ(f->Text(41, 21, 9), "Shift+F12");
  EXPECT_EQ(f->Cell(76, 22).Ch, cp::SingleH);
  EXPECT_EQ(Services.Closed, 0);
  Help->Key(KeyOf(vk::Shift));
  EXPECT_EQ(Services.Closed, 0) << "a modifier alone is no key";
  Help->Key(KeyOf(vk::Letter('Q')));
  EXPECT_EQ(Services.Closed, 1);
  Help->Mouse(TMouseEvent{TMouseKind::Down, button::Left, 0, 0, true, 5, 5});
  EXPECT_EQ(Services.Closed, 2);
}

TEST_F(HelpScreenTest, AWiderGridShowsTheWholeList) {
  auto f = PaintScreen(*Help, 132, 60);
  // S = 2 + (129 - 2) / 2 = 65; the separator stops after the 28 rows used.
  EXPECT_EQ(f->Cell(65, 2).Ch, cp::SingleV);
  EXPECT_EQ(f->Cell(65, 29).Ch, cp::SingleV);
  EXPECT_EQ(f->Cell(65, 30).Ch, ' ');
  EXPECT_EQ(f->Text(66, 2, 11), " PHONEBOOK ");
  EXPECT_EQ(f->Cell(127, 57).Ch, cp::SingleH) << "no down mark";
  Help->Key(KeyOf(vk::End));
  EXPECT_EQ(Help->Scroll(), 0);
}

TEST_F(ScreenUnitTest, AboutBox) {
  TAboutScreen about(Services);
  about.Enter();
  EXPECT_EQ(Services.Status, "Press any key to continue");
  auto f = PaintScreen(about);
  // 31 columns wide at column 24 (the half-cell side bars one column
  // further out), five rows high at row 10.
  EXPECT_EQ(f->PopupRow(9), std::string(80, ' '));
  EXPECT_EQ(f->PopupRow(10).find_first_not_of(' '), 23u);
  EXPECT_EQ(f->PopupRow(10).find_last_not_of(' '), 55u);
  EXPECT_EQ(f->PopupRow(11).substr(25, 29), CenterText("KORVAN", 29));
  EXPECT_EQ(f->PopupRow(15), std::string(80, ' '));
  EXPECT_NE(f->PopupRow(11).find("KORVAN"), std::string::npos);
  EXPECT_NE(f->PopupRow(12).find("v1.00 (Linux)"), std::string::npos);
  EXPECT_NE(f->PopupRow(13).find("Press any key to continue"), std::string::npos);
  const size_t name = f->PopupRow(11).find("KORVAN");
  EXPECT_COLOUR(f->Popups.At(int(name), 11)->Cell.Fg, 255, 255, 85);
  EXPECT_COLOUR(f->Popups.At(int(name), 11)->Cell.Bg, 0, 0, 170);
  EXPECT_EQ(f->Row(12), std::string(80, ' ')) << "the screen under it is blank";
  // With a font that lacks the line characters the frame is plain ASCII.
  auto ascii = PaintScreen(about, 80, 25, false);
  EXPECT_EQ(ascii->PopupRow(10).substr(24, 1), "+");
  EXPECT_EQ(f->PopupRow(10).substr(24, 1) == "+", false);
  about.Key(KeyOf(vk::Control));
  EXPECT_EQ(Services.Closed, 0);
  about.Key(KeyOf(vk::Escape));
  EXPECT_EQ(Services.Closed, 1);
}

TEST_F(ScreenUnitTest, SplashPictureIsWrittenThroughTheAnsiParser) {
  const std::string art(SplashArt());
  EXPECT_EQ(art.size(), 1578u);
  EXPECT_EQ(art.rfind("\x1b[0m\x1b[2J", 0), 0u);
  EXPECT_EQ(art.substr(art.size() - 6), "\r\n\x1b[0m");
  TSplashScreen splash(Services);
  auto f = PaintScreen(splash);
  EXPECT_EQ(f->Text(21, 10, 37), "a terminal for bulletin board systems");
  EXPECT_EQ(f->Cell(5, 3).Ch, cp::FullBlock);
  EXPECT_FALSE(f->Grid->CursorVisible);
}

class QuickConnectTest : public ScreenUnitTest {
 protected:
  std::shared_ptr<TQuickConnectScreen> Make(int count) {
    std::vector<TQuickListRow> rows;
    for (int i = 1; i <= count; ++i)
      rows.push_back({"Board " + std::to_string(i), "bbs" + std::to_string(i) + ".example", 2300 + i});
    return std::make_shared<TQuickConnectScreen>(Services, Folder.File("boards.lst"), rows);
  }
  // The screen row that shows the selection (white on blue), or -1.
  static int SelectedRow(const TPaintedFrame& f) {
    for (int y = 0; y < f.Grid->FHeight; ++y)
      if (SameColour(f.Cell(2, y).Bg, TColorRGB{0, 0, 170})) return y;
    return -1;
  }
};

TEST_F(QuickConnectTest, ThirtyBoardsScrollSoTheSelectionIsAlwaysVisible) {
  auto screen = Make(30);
  auto f = PaintScreen(*screen);
  EXPECT_NE(f->Row(0).find(" KORVAN Quick Connect - boards.lst "), std::string::npos);
  // Rows 1 to 19 on screen rows 3 to 21, the seventh as the Part shows it.
  EXPECT_EQ(f->Text(2, 3, 12), " [01] Board ");
  EXPECT_EQ(f->Text(2, 21, 12), " [19] Board ");
  EXPECT_EQ(f->Text(2, 9, 76), PadText(PadText(" [07] Board 7", 60) + "bbs7.example:2307", 76));
  EXPECT_COLOUR(f->Cell(2, 9).Fg, 170, 170, 170);
  EXPECT_EQ(SelectedRow(*f), 3);
  EXPECT_COLOUR(f->Cell(2, 3).Fg, 255, 255, 255);
  EXPECT_EQ(f->Cell(1, 22).Ch, cp::TeeLeft);
  EXPECT_EQ(f->Text(2, 23, 77), "Up/Down+Enter or type a number to connect (ANSI-BBS only) - Esc for phonebook");
  // Every board can be reached, and is on screen when selected.
  for (int i = 2; i <= 30; ++i) {
    screen->Key(KeyOf(vk::Down));
    f = PaintScreen(*screen);
    const int y = SelectedRow(*f);
    ASSERT_GE(y, 3) << i;
    ASSERT_LE(y, 21) << i;
    char number[8];
    std::snprintf(number, sizeof number, " [%.2d] ", i);
    EXPECT_EQ(f->Text(2, y, 6), number) << i;
  }
  EXPECT_EQ(f->Text(2, 21, 6), " [30] ");
  screen->Key(KeyOf(vk::Down));
  EXPECT_EQ(screen->Selected(), 29);
  screen->Key(KeyOf(vk::Home));
  f = PaintScreen(*screen);
  EXPECT_EQ(SelectedRow(*f), 3);
  EXPECT_EQ(f->Text(2, 3, 6), " [01] ");
  screen->Key(KeyOf(vk::End));
  screen->Key(KeyOf(vk::Return));
  ASSERT_EQ(Services.Calls.size(), 1u);
  EXPECT_EQ(Services.Calls[0]->Host, "bbs30.example");
  EXPECT_EQ(Services.Calls[0]->Port, 2330);
}

TEST_F(QuickConnectTest, TypedNumbersEscAndAnEmptyList) {
  auto screen = Make(30);
  screen->Char('2', '2');
  EXPECT_EQ(screen->Selected(), 1);
  screen->Char('5', '5');
  EXPECT_EQ(screen->Selected(), 24) << "two digits name row 25";
  screen->Char('7', '7');
  EXPECT_EQ(screen->Selected(), 6) << "257 names no row: the 7 starts anew";
  screen->Char('0', '0');
  EXPECT_EQ(screen->Selected(), 6) << "70 names no row, nor does 0";
  screen->Key(KeyOf(vk::Escape));
  EXPECT_EQ(Services.Shown, std::vector<TScreenMode>{smDirectory});
  auto empty = Make(0);
  auto f = PaintScreen(*empty);
  EXPECT_EQ(f->Text(3, 3, 47), "(list file has no usable [Name]/S=host entries)");
  EXPECT_COLOUR(f->Cell(3, 3).Fg, 170, 170, 0);
  empty->Key(KeyOf(vk::Return));
  EXPECT_TRUE(Services.Calls.empty());
}

// --- In the running program ------------------------------------------------

class HelpAboutInTheProgramTest : public ScreenFixture {};

TEST_F(HelpAboutInTheProgramTest, HotkeysOpenThemOverTheScreenShownAndTheyReturnToIt) {
  Start();
  Key(vk::Letter('Z'), false, false, true);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smHelp);
  Paint();
  EXPECT_NE(Row(0).find("KORVAN Help - Keyboard Commands"), std::string::npos);
  // The configuration opened from help goes back to help.
  Key(vk::Letter('C'), false, false, true);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smConfig);
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->ScreenMode(), smHelp);
  Key(vk::Letter('Z'), false, false, true);  // not opened twice
  Key(vk::OemPlus, false, false, true);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smAbout);
  Paint();
  EXPECT_NE(PopupRow(12).find("v1.00 (Linux)"), std::string::npos);
  Key(vk::Space);
  Pump();
  EXPECT_EQ(App->ScreenMode(), smHelp);
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->ScreenMode(), smDirectory);
}

}  // namespace
