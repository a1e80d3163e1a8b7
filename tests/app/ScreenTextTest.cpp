// Text fitting, the toolkit's drawing operations, the terminal-type lookups
// and the steppers of the entry editor.
#include <gtest/gtest.h>

#include "app/uScreenText.h"
#include "app/uTermTypePresets.h"
#include "data/uConfig.h"
#include "tests/app/ScreenFixture.h"

namespace {

const std::string kMark(1, char(26));

TEST(ScreenTextTest, FittingFunctions) {
  struct Row {
    const char* Name;
    std::string Got, Want;
  } rows[] = {
      {"pad short", PadText("abc", 5), "abc  "},
      {"pad long cuts", PadText("abcdef", 4), "abcd"},
      {"pad zero", PadText("abc", 0), ""},
      {"ellipsize long", EllipsizeText("0123456789", 6), "01234" + kMark},
      {"ellipsize width 1", EllipsizeText("0123456789", 1), "0"},
      {"ellipsize fits", EllipsizeText("0123456789", 10), "0123456789"},
      {"ellipsize width 0", EllipsizeText("abc", 0), ""},
      {"centre", CenterText("ab", 7), "  ab   "},
      {"centre too long", CenterText("abcdef", 3), "abcdef"},
      {"group", GroupThousands(1234567), "1,234,567"},
      {"group small", GroupThousands(999), "999"},
      {"group negative", GroupThousands(-1234567), "-1,234,567"},
      {"group 12345", GroupThousands(12345), "12,345"},
      {"tail fits", KeepTailText("abc", 5), "abc"},
      {"tail cut", KeepTailText("abcdefghij", 6), "...hij"},
      {"tail tiny", KeepTailText("abcdefghij", 3), "abc"},
      {"scale whole", ScaleText(2.0), "2x"},
      {"scale half", ScaleText(1.5), "1.5x"},
      {"baud off", SimBaudText(0), "Off"},
      {"baud", SimBaudText(2400), "2400 bps"},
  };
  for (const Row& r : rows) EXPECT_EQ(r.Got, r.Want) << r.Name;
}

TEST(ScreenTextTest, WrapText) {
  struct Row {
    const char* Name;
    std::string Text;
    int Width;
    TDynStringArray Want;
  } rows[] = {
      {"empty", "", 10, {""}},
      {"blanks only", "    ", 10, {""}},
      {"long word", std::string(25, 'w'), 10, {std::string(10, 'w'), std::string(10, 'w'), std::string(5, 'w')}},
      {"double blank", "a  b", 10, {"a b"}},
      {"width 0 wraps at 1", "ab c", 0, {"a", "b", "c"}},
      {"words fill lines", "one two three four", 9, {"one two", "three", "four"}},
      {"long word after text", "ab " + std::string(12, 'x'), 10, {"ab", std::string(10, 'x'), "xx"}},
  };
  for (const Row& r : rows) EXPECT_EQ(WrapText(r.Text, r.Width), r.Want) << r.Name;
}

TEST(ScreenTextTest, TermTypeLookups) {
  EXPECT_EQ(CanonicalTermTypeOf("c64"), "PETSCII");
  EXPECT_EQ(CanonicalTermTypeOf("SkyPix"), "RIP");
  EXPECT_EQ(CanonicalTermTypeOf("VT100"), "VT100");
  EXPECT_EQ(TermTypeDescription("VT100"), "Custom/unrecognized terminal type string");
  EXPECT_EQ(TermTypeDescription("ansi-bbs"), "Standard ANSI/CP437 BBS terminal, 80x25");
  EXPECT_EQ(TermTypePresets.size(), 16u);
  EXPECT_STREQ(TermTypePresets[15].Name, "Viewdata");
}

class ToolkitTest : public ScreenFixture {};

TEST_F(ToolkitTest, TextStopsAtTheLastColumnAndThePenIsKept) {
  Start();
  TTerminalBuffer& b = *App->FBuffer;
  b.SetFgRGB(TColorRGB{1, 2, 3});
  TTextAttributes before;
  b.SaveAttributes(before);
  App->DrawTextAt(77, 0, "abcdef", scr::White, scr::FaceBlue);
  EXPECT_EQ(b.GetCell(77, 0).Ch, 'a');
  EXPECT_EQ(b.GetCell(79, 0).Ch, 'c');
  EXPECT_EQ(b.GetCell(0, 1).Ch, ' ') << "nothing wraps to the next row";
  EXPECT_COLOUR(b.GetCell(78, 0).Bg, 0, 0, 170);
  TTextAttributes after;
  b.SaveAttributes(after);
  EXPECT_EQ(before, after);
}

TEST_F(ToolkitTest, FramedBoxTitleLongerThanTheBoxStartsLeftOfIt) {
  Start();
  TTerminalBuffer& b = *App->FBuffer;
  App->DrawFramedBox(10, 5, 15, 8, scr::FaceBlue, scr::Black, "A LONG TITLE", false, scr::White);
  // " A LONG TITLE " is 14 wide; the box 6: it starts at 10 + (6 - 14) / 2 = 6.
  EXPECT_EQ(b.GetCell(6, 5).Ch, ' ');
  EXPECT_EQ(b.GetCell(7, 5).Ch, 'A');
  EXPECT_COLOUR(b.GetCell(7, 5).Fg, 255, 255, 255);
  EXPECT_EQ(b.GetCell(10, 8).Ch, cp::SingleBL);
  EXPECT_EQ(b.GetCell(15, 6).Ch, cp::SingleV);
  EXPECT_EQ(b.GetCell(12, 8).Ch, cp::SingleH);
  EXPECT_COLOUR(b.GetCell(12, 7).Bg, 0, 0, 0);
  // The rule leaves its colours as the pen.
  EXPECT_COLOUR(b.Fg, 0, 0, 170);
}

TEST_F(ToolkitTest, EditorSteppers) {
  Start();
  TPhonebookEntry e;
  struct Row {
    const char* Name;
    std::function<void()> Act;
    std::string WantText;
  } rows[] = {
      {"type right from custom", [&] { App->SetEditText("VT100"); App->CycleTermType(e, +1); }, "Amiga (Topaz)"},
      {"type left from custom", [&] { App->SetEditText("VT100"); App->CycleTermType(e, -1); }, "Viewdata"},
      {"size right from odd", [&] { e.Cols = 100; e.Rows = 30; App->CycleEntryScreenSize(e, +1); }, "80x25"},
      {"size left from odd", [&] { e.Cols = 100; e.Rows = 30; App->CycleEntryScreenSize(e, -1); }, "132x60"},
      {"size wraps", [&] { e.Cols = 132; e.Rows = 60; App->CycleEntryScreenSize(e, +1); }, "80x25"},
      {"baud wraps to off", [&] { e.SimBaudRate = 115200; App->CycleSimBaud(e, +1); }, "Off"},
      {"baud left from off", [&] { e.SimBaudRate = 0; App->CycleSimBaud(e, -1); }, "115200 bps"},
      {"font right unknown", [&] { App->SetEditText("NOPE"); App->CycleFont(e, +1); }, "IBM_VGA_8x16"},
  };
  for (Row& r : rows) {
    r.Act();
    EXPECT_EQ(App->FEditText, r.WantText) << r.Name;
    EXPECT_EQ(App->FEditCaret, int(r.WantText.size())) << r.Name;
  }
  EXPECT_EQ(e.SimBaudRate, 115200) << "the stepper stores the rate at once";

  App->SetEditText("Custom");
  App->CycleTermType(e, -1);  // Viewdata: 40x24
  EXPECT_EQ(e.Cols, 40);
  EXPECT_EQ(e.Rows, 24);
  App->SetEditText("RIP");
  App->CycleTermType(e, +1);  // SkyPix is in the RIP family
  EXPECT_TRUE(e.UseRIP);

  struct Proto {
    const char* Name;
    const char* From;
    uint16_t Port;
    uint16_t WantPort;
    const char* Want;
  } protos[] = {{"telnet to ssh", "Telnet", 23, 22, "SSH"},
                {"odd port kept", "Telnet", 2323, 2323, "SSH"},
                {"rlogin to raw keeps 513", "RLogin", 513, 513, "Raw"},
                {"ssh to telnets", "SSH", 22, 992, "TelnetS"}};
  for (const Proto& p : protos) {
    e.Port = p.Port;
    App->SetEditText(p.From);
    App->CycleProtocol(e, +1);
    EXPECT_EQ(App->FEditText, p.Want) << p.Name;
    EXPECT_EQ(e.Port, p.WantPort) << p.Name;
  }
  EXPECT_TRUE(e.UseTelnetS);
  EXPECT_FALSE(e.UseSSH);
}

TEST_F(ToolkitTest, FontListPutsTheStandardFontFirstAndAnEmptyFolderChangesNothing) {
  Start();
  App->BuildFontList();
  ASSERT_FALSE(App->FFontList.empty()) << "the build's fonts folder has .F16 files";
  EXPECT_EQ(App->FFontList[0], "IBM_VGA_8x16");
  App->FFontList.clear();
  std::filesystem::remove(Folder.File("fonts"));
  TPhonebookEntry e;
  App->SetEditText("Whatever");
  App->CycleFont(e, +1);
  EXPECT_EQ(App->FEditText, "Whatever");
}

}  // namespace

namespace {

TEST_F(ToolkitTest, ScreenScaleStepsThroughFullScreen) {
  Start();
  App->FConfig->ScreenScale = 2.5;
  App->FConfig->ScreenScaleFullScreen = false;
  const char* forward[] = {"3x", "Full Screen", "1x", "1.5x"};
  for (const char* want : forward) {
    App->CycleScreenScale(+1);
    EXPECT_EQ(App->FConfigText, want);
  }
  EXPECT_EQ(App->FWindow->ClientWidth(), 960);
  EXPECT_EQ(App->FWindow->ClientHeight(), 600);
  const char* backward[] = {"1x", "Full Screen", "3x"};
  for (const char* want : backward) {
    App->CycleScreenScale(-1);
    EXPECT_EQ(App->FConfigText, want);
  }
  App->FConfigText = "VT100";
  App->CycleDefaultTermType(-1);
  EXPECT_EQ(App->FConfigText, "Viewdata");
}

}  // namespace
