// The entry editor: on its own (the layout of its three groups, help and
// warning lines, every kind of field, the commit rules, the phonebook file
// after leaving it) and in the running program (opened from the directory,
// a paste from the clipboard, a phonebook that cannot be saved).
#include <gtest/gtest.h>

#include <filesystem>

#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uEntryEditor.h"
#include "app/uScreenText.h"
#include "tests/app/ScreenFixture.h"
#include "tests/app/ScreenServicesFixture.h"

namespace vk = platform::vk;

namespace {

class EditorScreenTest : public ScreenUnitTest {
 protected:
  // Opens the editor on entry Index as the directory does.
  void Open(int index = 0) {
    Editor = std::make_shared<TEntryEditorScreen>(Services, Services.Book->GetEntry(index));
    Editor->Enter();
  }
  void Key(uint16_t key, int times = 1, bool ctrl = false) {
    for (int i = 0; i < times; ++i) Editor->Key(KeyOf(key, false, ctrl));
  }
  void Type(const std::string& text) {
    for (unsigned char c : text) Editor->Char(c, c);
  }
  // Field made current and its text replaced: erased with Backspace, the
  // new text pasted (so any text reaches any row).
  void Retype(int field, const std::string& text) {
    Editor->BeginEditField(field);
    Key(vk::End);
    Key(vk::Back, int(Editor->Line().Text.size()));
    Services.Clipboard = text;
    Key(vk::Letter('V'), 1, true);
  }
  void Click(int col, int row, bool twice = false) {
    Editor->Mouse(TMouseEvent{TMouseKind::Down, 1, 0, 0, true, col, row});
    if (twice) Editor->Mouse(TMouseEvent{TMouseKind::DoubleClick, 1, 0, 0, true, col, row});
  }
  TPhonebookEntry& Entry() { return *Editor->Entry(); }

  std::shared_ptr<TEntryEditorScreen> Editor;
};

TEST_F(EditorScreenTest, LayoutOnEightyByTwentyFive) {
  Fill({"Harbor|harbor.example|23|ANSI-BBS"});
  Open();
  EXPECT_EQ(Services.Status, kEditorStatus);
  auto f = PaintScreen(*Editor);
  EXPECT_NE(f->Row(0).find(" Edit Phonebook Entry "), std::string::npos);
  EXPECT_EQ(f->Text(2, 1, 12), " CONNECTION ");
  EXPECT_COLOUR(f->Cell(2, 1).Fg, 255, 255, 85);
  EXPECT_COLOUR(f->Cell(20, 1).Fg, 0, 0, 85);
  struct Place {
    int Field, LabelX, ValueX, ValueW, Y;
    const char* Label;
  } places[] = {{efName, 3, 9, 30, 2, "Name:"},          {efPort, 3, 9, 30, 4, "Port:"},
                {efTermType, 41, 54, 23, 2, "Term Type  :"}, {efFontName, 41, 54, 23, 4, "Font       :"},
                {efUseSixel, 3, 19, 19, 7, "Sixel"},     {efScript, 3, 19, 19, 15, "Script"},
                {efProtocol, 41, 57, 20, 7, "Protocol"}, {efShellCommand, 41, 57, 20, 15, "Shell Command :"}};
  for (const Place& p : places) {
    EXPECT_EQ(Editor->RowPlace(p.Field).Y, p.Y) << p.Label;
    EXPECT_EQ(Editor->RowPlace(p.Field).X0, p.LabelX) << p.Label;
    EXPECT_EQ(Editor->RowPlace(p.Field).X1, p.ValueX + p.ValueW - 1) << p.Label;
    EXPECT_EQ(f->Text(p.LabelX, p.Y, int(std::string(p.Label).size())), p.Label);
  }
  EXPECT_EQ(f->Text(2, 6, 17), " DISPLAY & LOGIN ");
  EXPECT_EQ(f->Text(40, 6, 10), " SECURITY ");
  EXPECT_EQ(f->Cell(39, 7).Ch, cp::SingleV);
  EXPECT_EQ(f->Cell(39, 15).Ch, cp::SingleV);
  // The current row: a bar from the label column - 1 to the value area + 1.
  EXPECT_EQ(f->Text(9, 2, 30), PadText("Harbor", 30));
  EXPECT_COLOUR(f->Cell(2, 2).Bg, 0, 0, 170);
  EXPECT_COLOUR(f->Cell(39, 2).Bg, 0, 0, 170);
  EXPECT_COLOUR(f->Cell(40, 2).Bg, 0, 0, 0);
  EXPECT_COLOUR(f->Cell(3, 2).Fg, 0, 170, 170);
  EXPECT_COLOUR(f->Cell(9, 2).Fg, 255, 255, 255);
  EXPECT_TRUE(f->Caret);
  EXPECT_EQ(f->CaretCol, 9 + 6);
  EXPECT_EQ(f->CaretRow, 2);
  // Other rows light grey on black; defaults marked.
  EXPECT_EQ(f->Text(54, 2, 23), PadText("ANSI-BBS (DEFAULT)", 23));
  EXPECT_COLOUR(f->Cell(54, 2).Fg, 170, 170, 170);
  EXPECT_EQ(f->Text(19, 7, 19), PadText("Yes", 19));
  // Help on rows 17 and 18, connection info on 21, footer on 23.
  // Cut at the last blank within the width.
  EXPECT_EQ(f->Text(2, 17, 76),
            PadText("Label shown in the phonebook list - purely cosmetic, never sent anywhere;", 76));
  EXPECT_EQ(f->Text(2, 18, 76), PadText("doesn't need to match the host", 76));
  EXPECT_COLOUR(f->Cell(2, 17).Fg, 85, 85, 85);
  EXPECT_NE(f->Row(21).find("Last Connected: Never    Times Connected: 0"), std::string::npos);
  EXPECT_NE(f->Row(23).find(kEditorStatus), std::string::npos);
  EXPECT_EQ(f->Cell(1, 22).Ch, cp::TeeLeft);
  // A choice row shows no caret.
  Key(vk::Down, 3);
  EXPECT_FALSE(PaintScreen(*Editor)->Caret);
}

TEST_F(EditorScreenTest, EveryKindOfFieldEditedAndSavedExactly) {
  Fill({"Old|old.example|23|ANSI-BBS", "Other|other.example|23|ANSI-BBS"});
  ASSERT_TRUE(Services.Book->SaveToFile());
  Open();
  // Name: End, Backspace x3, type.
  Key(vk::End);
  Key(vk::Back, 3);
  Type("Harbor");
  Key(vk::Return);
  // Host: Home, Delete x3 ("old"), type in front.
  Key(vk::Home);
  Key(vk::Delete, 3);
  Type("new");
  Key(vk::Return);
  // Port: letters are not taken.
  Key(vk::Back, 2);
  Type("x2y3z2w3");
  EXPECT_EQ(Editor->Line().Text, "2323");
  Key(vk::Return);
  Key(vk::Right);  // Term Type: ANSI-BBS -> Amiga (Topaz), sets the font at once
  Key(vk::Return);
  Key(vk::Left);  // Screen Size: 80x25 -> 132x60
  Key(vk::Return);
  Key(vk::Return);  // Font stays as the term type set it
  Key(vk::Left);    // Sixel Yes -> No
  Key(vk::Return);
  Type("y");  // iTerm2 -> Yes
  Key(vk::Return);
  Type(" ");  // ICE Colors No -> Yes
  Key(vk::Return);
  Key(vk::Return);  // UTF-8 untouched
  Type("n");        // IEMSI stays No
  Key(vk::Return);
  Key(vk::Right, 3);  // Sim. Baud: Off -> 1200 bps
  Key(vk::Return);
  Type("sysop");
  Key(vk::Return);
  Type("secret");
  EXPECT_EQ(PaintScreen(*Editor)->Text(19, 14, 6), "******") << "one star per typed character while current";
  Key(vk::Fn(2));
  EXPECT_EQ(PaintScreen(*Editor)->Text(19, 14, 6), "secret") << "F2 shows it";
  Key(vk::Return);
  Type("  harbor  ");
  Key(vk::Return);
  Key(vk::Right);  // Protocol: Telnet -> SSH, port 2323 is not a default and stays
  Key(vk::Return);
  Type("/home/u/.ssh/id");
  Key(vk::Return);
  EXPECT_EQ(PaintScreen(*Editor)->Text(19, 14, 8), "********") << "eight stars when another row is current";
  Key(vk::Escape);
  EXPECT_EQ(Services.Shown, std::vector<TScreenMode>{smDirectory});
  EXPECT_EQ(Services.Status, kDirectoryStatus);
  EXPECT_TRUE(Services.EditEnded);

  TPhonebook saved = Saved();
  const TPhonebookEntry& e = *saved.GetEntry(0);
  EXPECT_EQ(e.Name, "Harbor");
  EXPECT_EQ(e.Host, "new.example");
  EXPECT_EQ(e.Port, 2323);
  EXPECT_EQ(e.TermType, "Amiga (Topaz)");
  EXPECT_EQ(e.FontName, "AMIGA_TOPAZ_PLUS_8x16");
  EXPECT_EQ(e.Cols, 132);
  EXPECT_EQ(e.Rows, 60);
  EXPECT_FALSE(e.UseSixel);
  EXPECT_TRUE(e.UseITerm2Images);
  EXPECT_TRUE(e.IceColors);
  EXPECT_FALSE(e.UseUTF8);
  EXPECT_FALSE(e.UseIEMSI);
  EXPECT_EQ(e.SimBaudRate, 1200);
  EXPECT_EQ(e.Username, "sysop");
  EXPECT_EQ(e.Password, "secret");
  EXPECT_EQ(e.KVScript, "harbor");
  EXPECT_TRUE(e.UseSSH);
  EXPECT_EQ(e.SSHKeyFile, "/home/u/.ssh/id");
  EXPECT_FALSE(e.SSHTrustNewKey);
  EXPECT_EQ(saved.GetEntry(1)->Name, "Other");
  EXPECT_EQ(saved.GetEntry(1)->Host, "other.example");
}

TEST_F(EditorScreenTest, CommitRules) {
  Fill({"Board|b.example|23|ANSI-BBS"});
  Open();
  TPhonebookEntry& e = Entry();
  struct Row {
    const char* Name;
    int Field;
    std::string Text;
    std::function<bool()> Holds;
  } rows[] = {
      {"empty port is 23", efPort, "", [&] { return e.Port == 23; }},
      {"port", efPort, "2323", [&] { return e.Port == 2323; }},
      {"port beyond 16 bits is refused", efPort, "70000", [&] { return e.Port == 2323; }},
      {"size 100X30", efScreenSize, "100X30", [&] { return e.Cols == 100 && e.Rows == 30; }},
      {"size 100x0 ignored", efScreenSize, "100x0", [&] { return e.Cols == 100 && e.Rows == 30; }},
      {"size wide ignored", efScreenSize, "wide", [&] { return e.Cols == 100 && e.Rows == 30; }},
      {"size beyond 16 bits ignored", efScreenSize, "70000x30", [&] { return e.Cols == 100; }},
      {"rate 1200", efSimBaud, "1200", [&] { return e.SimBaudRate == 1200; }},
      {"rate with bps ignored", efSimBaud, "2400 bps", [&] { return e.SimBaudRate == 1200; }},
      {"rate beyond 32 bits ignored", efSimBaud, "9999999999", [&] { return e.SimBaudRate == 1200; }},
      {"rate off", efSimBaud, " off ", [&] { return e.SimBaudRate == 0; }},
      {"yes any case", efUseUTF8, "YES", [&] { return e.UseUTF8; }},
      {"no", efUseUTF8, "nope", [&] { return !e.UseUTF8; }},
      {"protocol rlogin", efProtocol, "rlogin", [&] { return e.UseRLogin && !e.UseSSH; }},
      {"protocol telnet", efProtocol, "Telnet", [&] { return !e.UseRLogin && !e.UseSSH && !e.UseShell; }},
      {"script trimmed", efScript, " x ", [&] { return e.KVScript == "x"; }},
  };
  for (const Row& r : rows) {
    Retype(r.Field, r.Text);
    Editor->CommitEditField();
    EXPECT_TRUE(r.Holds()) << r.Name;
  }
  EXPECT_EQ(Services.Status, "Port 70000 is out of range (0-65535) - not changed.");
}

TEST_F(EditorScreenTest, WarningsJumpsAndClicks) {
  Fill({"Board|   |23|ANSI-BBS"});
  Open();
  Key(vk::End);
  Key(vk::Right);  // at the end of Name: on to Term Type
  EXPECT_EQ(Editor->Field(), efTermType);
  EXPECT_EQ(Editor->Line().Text, "ANSI-BBS");
  Retype(efHost, "   ");
  auto f = PaintScreen(*Editor);
  EXPECT_EQ(TrimText(f->Text(2, 17, 76)), "Host is empty - this entry won't be able to connect until one is set");
  EXPECT_COLOUR(f->Cell(2, 17).Fg, 255, 0, 0);
  Key(vk::Left);  // in the middle of the text only the caret moves
  Key(vk::Right);
  EXPECT_EQ(Editor->Field(), efHost);
  Key(vk::Right);  // at the end of Host: on to Screen Size
  EXPECT_EQ(Editor->Field(), efScreenSize);
  Retype(efPort, "0");
  f = PaintScreen(*Editor);
  EXPECT_EQ(TrimText(f->Text(2, 17, 76)), "Port is 0 - this entry won't be able to connect until a real port is set");
  // A click on the Protocol row's value makes it current (after committing the port).
  Click(60, 7);
  EXPECT_EQ(Editor->Field(), efProtocol);
  EXPECT_EQ(Entry().Port, 0);
  EXPECT_EQ(PaintScreen(*Editor)->Text(57, 7, 20), PadText("< Telnet >", 20));
  // A double click on a Yes/No row flips it.
  Click(20, 8, true);
  EXPECT_EQ(Editor->Field(), efUseITerm2Images);
  EXPECT_EQ(Editor->Line().Text, "Yes");
  // Help of the font row names the font; of Term Type the preset.
  Retype(efTermType, "C64");
  EXPECT_NE(PaintScreen(*Editor)->Row(17).find("Commodore 64 PETSCII, 40-column"), std::string::npos);
  Retype(efFontName, "ATASCII_8x16");
  EXPECT_NE(PaintScreen(*Editor)->Row(17).find("ATASCII (Atari 8-bit)"), std::string::npos);
  // Enter on the last row leaves and saves.
  Retype(efShellCommand, "/bin/bash");
  Key(vk::Return);
  EXPECT_EQ(Services.Shown, std::vector<TScreenMode>{smDirectory});
  EXPECT_EQ(Saved().GetEntry(0)->ShellCommand, "/bin/bash");
}

TEST_F(EditorScreenTest, AnEntryNoLongerListedGivesWayToTheDirectory) {
  Fill({"Board|b.example|23|ANSI-BBS"});
  Open();
  Services.Book->Delete(0);
  EXPECT_TRUE(Editor->Key(KeyOf(vk::Letter('A'))));
  EXPECT_EQ(Services.Shown, std::vector<TScreenMode>{smDirectory});
  EXPECT_EQ(Services.Status, kDirectoryStatus);
  PaintScreen(*Editor);
  EXPECT_EQ(Services.Shown.size(), 2u) << "a paint gives way too";
}

TEST_F(EditorScreenTest, PasteTakesTheFirstLineAsCp437) {
  Fill({"Board|b.example|23|ANSI-BBS"});
  Open();
  Services.Clipboard = "Caf\xC3\xA9 \x01" "board\r\nsecond line";
  Key(vk::End);
  Key(vk::Letter('V'), 1, true);
  EXPECT_EQ(Editor->Line().Text, "BoardCaf\x82 board") << "e-acute is CP437 130, the control code is dropped";
  EXPECT_EQ(Editor->Line().Caret, int(Editor->Line().Text.size()));
  Editor->Mouse(TMouseEvent{TMouseKind::Down, button::Right, 0, 0, false});  // the right button pastes too
  EXPECT_EQ(Editor->Line().Text, "BoardCaf\x82 boardCaf\x82 board");
}

TEST(EditorTextTest, LastCallAge) {
  const double now = NowDateTime();
  struct Row {
    double Days;
    const char* Want;
  } rows[] = {{0, "Never"}, {10.0 / 86400, "just now"}, {90.0 / 86400, "1 min ago"}, {2.5 / 24, "2 hr ago"},
              {25.0 / 24, "1 day ago"}, {49.0 / 24, "2 days ago"}};
  for (const Row& r : rows) EXPECT_EQ(LastCallAgeText(r.Days == 0 ? 0 : now - r.Days), r.Want) << r.Want;
  EXPECT_EQ(LastCallAgeText(now + 1), "just now") << "a date in the future counts as now";
  EXPECT_EQ(FontDisplayName("ATASCII_8x16"), "ATASCII (Atari 8-bit)");
  EXPECT_EQ(FontDisplayName("AMIGA_TOPAZ_PLUS_8x16"), "AMIGA TOPAZ PLUS 8x16");
}

// The editor in the running program.
class EditorInTheProgramTest : public ScreenFixture {};

TEST_F(EditorInTheProgramTest, AltEOpensItCtrlVPastesAndEscSaves) {
  WritePhonebook({"Board|b.example|23|ANSI-BBS"});
  Start();
  Key(vk::Letter('E'), false, false, true);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smEditor);
  App->Window().SetClipboardText("Caf\xC3\xA9");
  Key(vk::End);
  Key(vk::Letter('V'), false, true, false);
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->ScreenMode(), smDirectory);
  TPhonebook book(Folder.File("korvan.ini"));
  ASSERT_TRUE(book.LoadFromFile());
  EXPECT_EQ(book.GetEntry(0)->Name, "BoardCaf\x82");
}

TEST_F(EditorInTheProgramTest, APhonebookThatCannotBeSavedIsReported) {
  // A phonebook path that is a folder can be neither read nor written.
  std::filesystem::create_directory(Folder.File("korvan.ini"));
  Start();
  Key(vk::Insert);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smEditor);
  Type("Kept in memory");
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->ScreenMode(), smDirectory);
  EXPECT_EQ(App->StatusText().rfind("Phonebook not saved: ", 0), 0u) << App->StatusText();
  EXPECT_TRUE(std::filesystem::is_directory(Folder.File("korvan.ini")));
  Paint();
  EXPECT_NE(Row(23).find("Phonebook not saved"), std::string::npos);
}

}  // namespace
