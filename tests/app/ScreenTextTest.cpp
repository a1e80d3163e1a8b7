// Text fitting, the toolkit's drawing operations, the terminal-type lookups
// and the steppers of the entry editor.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/screens/uCellGrid.h"
#include "app/screens/uPopupLayer.h"
#include "app/screens/uEditLine.h"
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

TEST(CellGridTest, TextStopsAtTheLastColumnAndThePenIsKept) {
  TTerminalBuffer b(80, 25);
  TCellGrid g(b);
  b.SetFgRGB(TColorRGB{1, 2, 3});
  TTextAttributes before;
  b.SaveAttributes(before);
  g.DrawTextAt(77, 0, "abcdef", scr::White, scr::FaceBlue);
  EXPECT_EQ(b.GetCell(77, 0).Ch, 'a');
  EXPECT_EQ(b.GetCell(79, 0).Ch, 'c');
  EXPECT_EQ(b.GetCell(0, 1).Ch, ' ') << "nothing wraps to the next row";
  EXPECT_COLOUR(b.GetCell(78, 0).Bg, 0, 0, 170);
  TTextAttributes after;
  b.SaveAttributes(after);
  EXPECT_EQ(before, after);
  EXPECT_EQ(b.CursorX, 0) << "the toolkit never moves the cursor";
}

TEST(CellGridTest, FramedBoxTitleLongerThanTheBoxStartsLeftOfIt) {
  TTerminalBuffer b(80, 25);
  TCellGrid g(b);
  g.DrawFramedBox(10, 5, 15, 8, scr::FaceBlue, scr::Black, "A LONG TITLE", false, scr::White);
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

TEST(CellGridTest, ClearStartsABlackPictureWithoutScrollbackAndFooterCentres) {
  TTerminalBuffer b(40, 10);
  TCellGrid g(b);
  g.DrawTextAt(0, 0, "old picture", scr::White, scr::FaceBlue);
  const int scrollback = b.ScrollbackCount;
  g.Clear();
  EXPECT_EQ(b.ScrollbackCount, scrollback);
  EXPECT_FALSE(b.CursorVisible);
  EXPECT_EQ(b.GetRowText(0), std::string(40, ' '));
  EXPECT_COLOUR(b.GetCell(39, 9).Bg, 0, 0, 0);
  g.FillRect(5, 5, 4, 5, scr::White);  // an empty rectangle draws nothing
  EXPECT_COLOUR(b.GetCell(5, 5).Bg, 0, 0, 0);
  // Footer: 36 columns from column 2 on row 8, a long text cut with the mark.
  g.DrawFooter("hello");
  EXPECT_EQ(b.GetRowText(8).substr(2, 36), PadText(std::string(15, ' ') + "hello", 36));
  EXPECT_COLOUR(b.GetCell(17, 8).Fg, 85, 85, 85);
  g.DrawFooter(std::string(50, 'x'));
  EXPECT_EQ(b.GetRowText(8).substr(2, 36), std::string(35, 'x') + char(cp::Overflow));
}

TEST(PopupLayerTest, FramesSkipCellsOffTheGridAndTheAsciiSetReplacesBoxCharacters) {
  TPopupLayer layer;
  layer.Reset(10, 4);
  EXPECT_TRUE(layer.Empty());
  layer.DrawFrame(-2, 1, 20, 3, scr::FaceBlue, scr::BevelBlue, false, false);
  EXPECT_FALSE(layer.Empty());
  EXPECT_EQ(layer.At(0, 1)->Cell.Ch, cp::SingleH);
  EXPECT_EQ(layer.At(0, 3)->Cell.Ch, cp::SingleH);
  EXPECT_COLOUR(layer.At(0, 3)->Cell.Fg, 0, 0, 255) << "the bottom line is in the bevel colour";
  EXPECT_EQ(layer.At(0, 0), nullptr);
  layer.Reset(10, 4);
  layer.DrawFrame(2, 0, 4, 3, scr::FaceBlue, scr::BevelBlue, true, true);
  EXPECT_EQ(layer.At(2, 0)->Cell.Ch, '+');
  EXPECT_EQ(layer.At(3, 0)->Cell.Ch, '-');
  EXPECT_EQ(layer.At(2, 1)->Cell.Ch, '|');
  EXPECT_EQ(layer.At(1, 1)->Cell.Ch, ':');
  EXPECT_EQ(layer.At(8, 1)->Cell.Ch, ':');
  EXPECT_TRUE(layer.At(8, 1)->UiFont);
  layer.PutCentred(2, 4, 1, "ab", scr::White, scr::FaceBlue);
  EXPECT_EQ(layer.At(4, 1)->Cell.Ch, 'a');
}

TEST(SteppersTest, EditorSteppers) {
  TPhonebookEntry e;
  TEditLine line;
  struct Row {
    const char* Name;
    std::function<void()> Act;
    std::string WantText;
  } rows[] = {
      {"type right from custom", [&] { line.Set("VT100"); CycleTermType(e, line, +1); }, "Amiga (Topaz)"},
      {"type left from custom", [&] { line.Set("VT100"); CycleTermType(e, line, -1); }, "Viewdata"},
      {"size right from odd", [&] { e.Cols = 100; e.Rows = 30; CycleEntryScreenSize(e, line, +1); }, "80x25"},
      {"size left from odd", [&] { e.Cols = 100; e.Rows = 30; CycleEntryScreenSize(e, line, -1); }, "132x60"},
      {"size wraps", [&] { e.Cols = 132; e.Rows = 60; CycleEntryScreenSize(e, line, +1); }, "80x25"},
      {"baud wraps to off", [&] { e.SimBaudRate = 115200; CycleSimBaud(e, line, +1); }, "Off"},
      {"baud left from off", [&] { e.SimBaudRate = 0; CycleSimBaud(e, line, -1); }, "115200 bps"},
      {"font right unknown", [&] { line.Set("NOPE"); CycleFont({"IBM_VGA_8x16", "TOPAZ"}, line, +1); }, "IBM_VGA_8x16"},
      {"font wraps", [&] { line.Set("topaz"); CycleFont({"IBM_VGA_8x16", "TOPAZ"}, line, +1); }, "IBM_VGA_8x16"},
  };
  for (Row& r : rows) {
    line.Caret = 0;
    r.Act();
    EXPECT_EQ(line.Text, r.WantText) << r.Name;
    EXPECT_EQ(line.Caret, int(r.WantText.size())) << r.Name;
  }
  EXPECT_EQ(e.SimBaudRate, 115200) << "the stepper stores the rate at once";

  line.Set("Custom");
  CycleTermType(e, line, -1);  // Viewdata: 40x24
  EXPECT_EQ(e.Cols, 40);
  EXPECT_EQ(e.Rows, 24);
  line.Set("RIP");
  CycleTermType(e, line, +1);  // SkyPix is in the RIP family
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
    line.Set(p.From);
    CycleProtocol(e, line, +1);
    EXPECT_EQ(line.Text, p.Want) << p.Name;
    EXPECT_EQ(e.Port, p.WantPort) << p.Name;
  }
  EXPECT_TRUE(e.UseTelnetS);
  EXPECT_FALSE(e.UseSSH);
}

TEST(SteppersTest, FontListPutsTheStandardFontFirstAndAnEmptyFolderChangesNothing) {
  const std::vector<std::string> fonts = FontStemsIn(std::string(KORVAN_BINARY_DIR) + "/fonts");
  ASSERT_FALSE(fonts.empty()) << "the build's fonts folder has .F16 files";
  EXPECT_EQ(fonts[0], "IBM_VGA_8x16");
  EXPECT_TRUE(std::is_sorted(fonts.begin() + 1, fonts.end(), [](const std::string& a, const std::string& b) {
    return UpperText(a) < UpperText(b);
  }));
  testsupport::TempDir empty;
  EXPECT_TRUE(FontStemsIn(empty.Path()).empty());
  TEditLine line;
  line.Set("Whatever");
  CycleFont({}, line, +1);
  EXPECT_EQ(line.Text, "Whatever");
}

TEST(SteppersTest, ScreenScaleStepsThroughFullScreen) {
  testsupport::TempDir folder;
  TAppConfig config(folder.File("korvan_config.ini"));
  config.ScreenScale = 2.5;
  config.ScreenScaleFullScreen = false;
  TEditLine line;
  const char* forward[] = {"3x", "Full Screen", "1x", "1.5x"};
  for (const char* want : forward) {
    CycleScreenScale(config, line, +1);
    EXPECT_EQ(line.Text, want);
  }
  const char* backward[] = {"1x", "Full Screen", "3x"};
  for (const char* want : backward) {
    CycleScreenScale(config, line, -1);
    EXPECT_EQ(line.Text, want);
  }
  line.Set("VT100");
  CycleDefaultTermType(line, -1);
  EXPECT_EQ(line.Text, "Viewdata");
}

class WindowScaleTest : public ScreenFixture {};

TEST_F(WindowScaleTest, TheWindowTakesTheScaleTheSettingsSay) {
  Start();
  App->Config().ScreenScale = 1.5;
  App->Config().ScreenScaleFullScreen = false;
  App->ApplyScreenScale();
  EXPECT_EQ(App->Window().ClientWidth(), 960);
  EXPECT_EQ(App->Window().ClientHeight(), 600);
  App->Config().ScreenScaleFullScreen = true;
  App->ApplyScreenScale();
  EXPECT_TRUE(App->Window().FullScreen());
}

TEST(EditLineTest, EditsAtTheCaret) {
  TEditLine line;
  line.Set("abc");
  EXPECT_EQ(line.Caret, 3);
  EXPECT_FALSE(line.Right());
  line.Home();
  EXPECT_FALSE(line.Left());
  line.Delete();
  line.Insert("xy");
  EXPECT_EQ(line.Text, "xybc");
  EXPECT_EQ(line.Caret, 2);
  line.Backspace();
  line.End();
  line.Backspace();
  EXPECT_EQ(line.Text, "xb");
  line.Home();
  line.Backspace();
  EXPECT_EQ(line.Text, "xb") << "nothing before the caret";
}

}  // namespace
