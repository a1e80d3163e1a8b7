// The entry editor painted headless and driven with keys and clicks: the
// layout of its three groups, help and warning lines, every kind of field,
// the commit rules, and the phonebook file after leaving it.
#include <gtest/gtest.h>

#include "app/uScreenText.h"
#include "tests/app/ScreenFixture.h"

namespace vk = platform::vk;

namespace {

class EditorScreenTest : public ScreenFixture {
 protected:
  // Opens the editor on the first entry with Alt+E.
  void OpenEditor() {
    Key(vk::Letter('E'), false, false, true);
    Pump();
    ASSERT_EQ(App->FMode, smEditor);
  }
  void GoToField(int field) {
    Keys(vk::Down, field - App->FEditField);
    Pump();
    ASSERT_EQ(App->FEditField, field);
  }
  TPhonebookEntry Saved(int index = 0) {
    TPhonebook book(Folder.File("korvan.ini"));
    EXPECT_TRUE(book.LoadFromFile());
    EXPECT_GT(book.Count(), index);
    return *book.GetEntry(index);
  }
};

TEST_F(EditorScreenTest, LayoutOnEightyByTwentyFive) {
  WritePhonebook({"Harbor|harbor.example|23|ANSI-BBS"});
  Start();
  OpenEditor();
  Paint();
  EXPECT_NE(Row(0).find(" Edit Phonebook Entry "), std::string::npos);
  EXPECT_EQ(Text(2, 1, 12), " CONNECTION ");
  EXPECT_COLOUR(Cell(2, 1).Fg, 255, 255, 85);
  EXPECT_COLOUR(Cell(20, 1).Fg, 0, 0, 85);
  struct Place {
    int Field, LabelX, ValueX, ValueW, Y;
    const char* Label;
  } places[] = {{efName, 3, 9, 30, 2, "Name:"},          {efPort, 3, 9, 30, 4, "Port:"},
                {efTermType, 41, 54, 23, 2, "Term Type  :"}, {efFontName, 41, 54, 23, 4, "Font       :"},
                {efUseSixel, 3, 19, 19, 7, "Sixel"},     {efScript, 3, 19, 19, 15, "Script"},
                {efProtocol, 41, 57, 20, 7, "Protocol"}, {efShellCommand, 41, 57, 20, 15, "Shell Command :"}};
  for (const Place& p : places) {
    EXPECT_EQ(App->FEditRowY[size_t(p.Field)], p.Y) << p.Label;
    EXPECT_EQ(App->FEditRowX0[size_t(p.Field)], p.LabelX) << p.Label;
    EXPECT_EQ(App->FEditRowX1[size_t(p.Field)], p.ValueX + p.ValueW - 1) << p.Label;
    EXPECT_EQ(Text(p.LabelX, p.Y, int(std::string(p.Label).size())), p.Label);
  }
  EXPECT_EQ(Text(2, 6, 17), " DISPLAY & LOGIN ");
  EXPECT_EQ(Text(40, 6, 10), " SECURITY ");
  EXPECT_EQ(Cell(39, 7).Ch, cp::SingleV);
  EXPECT_EQ(Cell(39, 15).Ch, cp::SingleV);
  // The current row: a bar from the label column - 1 to the value area + 1.
  EXPECT_EQ(Text(9, 2, 30), PadText("Harbor", 30));
  EXPECT_COLOUR(Cell(2, 2).Bg, 0, 0, 170);
  EXPECT_COLOUR(Cell(39, 2).Bg, 0, 0, 170);
  EXPECT_COLOUR(Cell(40, 2).Bg, 0, 0, 0);
  EXPECT_COLOUR(Cell(3, 2).Fg, 0, 170, 170);
  EXPECT_COLOUR(Cell(9, 2).Fg, 255, 255, 255);
  EXPECT_EQ(App->FEditorCaretX, 9 + 6);
  EXPECT_EQ(App->FEditorCaretY, 2);
  // Other rows light grey on black; defaults marked.
  EXPECT_EQ(Text(54, 2, 23), PadText("ANSI-BBS (DEFAULT)", 23));
  EXPECT_COLOUR(Cell(54, 2).Fg, 170, 170, 170);
  EXPECT_EQ(Text(19, 7, 19), PadText("Yes", 19));
  // Help on rows 17 and 18, connection info on 21, footer on 23.
  // Cut at the last blank within the width.
  EXPECT_EQ(Text(2, 17, 76), PadText("Label shown in the phonebook list - purely cosmetic, never sent anywhere;", 76));
  EXPECT_EQ(Text(2, 18, 76), PadText("doesn't need to match the host", 76));
  EXPECT_COLOUR(Cell(2, 17).Fg, 85, 85, 85);
  EXPECT_NE(Row(21).find("Last Connected: Never    Times Connected: 0"), std::string::npos);
  EXPECT_NE(Row(23).find("Up/Dn: field   Enter: next   Left/Right: move/toggle   Esc: save & back"),
            std::string::npos);
  EXPECT_EQ(Cell(1, 22).Ch, cp::TeeLeft);
}

TEST_F(EditorScreenTest, EveryKindOfFieldEditedAndSavedExactly) {
  WritePhonebook({"Old|old.example|23|ANSI-BBS", "Other|other.example|23|ANSI-BBS"});
  Start();
  OpenEditor();
  // Name: End, Backspace x3, type.
  Key(vk::End);
  Keys(vk::Back, 3);
  Type("Harbor");
  Key(vk::Return);
  // Host: Home, Delete x3 ("old"), type in front.
  Key(vk::Home);
  Keys(vk::Delete, 3);
  Type("new");
  Key(vk::Return);
  // Port: letters are not taken.
  Keys(vk::Back, 2);
  Type("x2y3z2w3");
  Pump();
  EXPECT_EQ(App->FEditText, "2323");
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
  Keys(vk::Right, 3);  // Sim. Baud: Off -> 1200 bps
  Key(vk::Return);
  Type("sysop");
  Key(vk::Return);
  Type("secret");
  Pump();
  Paint();
  EXPECT_EQ(Text(19, 14, 6), "******") << "one star per typed character while current";
  Key(vk::Fn(2));
  Pump();
  Paint();
  EXPECT_EQ(Text(19, 14, 6), "secret") << "F2 shows it";
  Key(vk::Return);
  Type("  harbor  ");
  Key(vk::Return);
  Key(vk::Right);  // Protocol: Telnet -> SSH, port 2323 is not a default and stays
  Key(vk::Return);
  Type("/home/u/.ssh/id");
  Key(vk::Return);
  Pump();
  Paint();
  EXPECT_EQ(Text(19, 14, 8), "********") << "eight stars when another row is current";
  Key(vk::Escape);
  Pump();
  ASSERT_EQ(App->FMode, smDirectory);

  TPhonebookEntry e = Saved();
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
  TPhonebookEntry other = Saved(1);
  EXPECT_EQ(other.Name, "Other");
  EXPECT_EQ(other.Host, "other.example");
}

TEST_F(EditorScreenTest, CommitRules) {
  WritePhonebook({"Board|b.example|23|ANSI-BBS"});
  Start();
  OpenEditor();
  TPhonebookEntry& e = *App->EditorEntry();
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
    App->FEditField = r.Field;
    App->SetEditText(r.Text);
    App->CommitEditField(e);
    EXPECT_TRUE(r.Holds()) << r.Name;
  }
}

TEST_F(EditorScreenTest, WarningsJumpsAndClicks) {
  WritePhonebook({"Board|   |23|ANSI-BBS"});
  Start();
  OpenEditor();
  Key(vk::End);
  Key(vk::Right);  // at the end of Name: on to Term Type
  Pump();
  EXPECT_EQ(App->FEditField, efTermType);
  EXPECT_EQ(App->FEditText, "ANSI-BBS");
  App->BeginEditField(*App->EditorEntry(), efHost);
  App->SetEditText("   ");
  Paint();
  EXPECT_EQ(TrimText(Text(2, 17, 76)), "Host is empty - this entry won't be able to connect until one is set");
  EXPECT_COLOUR(Cell(2, 17).Fg, 255, 0, 0);
  Key(vk::Left);  // in the middle of the text only the caret moves
  Key(vk::Right);
  Pump();
  EXPECT_EQ(App->FEditField, efHost);
  Key(vk::Return);
  Keys(vk::Back, 2);
  Type("0");
  Pump();
  Paint();
  EXPECT_EQ(TrimText(Text(2, 17, 76)), "Port is 0 - this entry won't be able to connect until a real port is set");
  // A click on the Protocol row's value makes it current (after committing the port).
  ClickCell(60, 7);
  Pump();
  EXPECT_EQ(App->FEditField, efProtocol);
  EXPECT_EQ(App->EditorEntry()->Port, 0);
  Paint();
  EXPECT_EQ(Text(57, 7, 20), PadText("< Telnet >", 20));
  // A double click on a Yes/No row flips it.
  ClickCell(20, 8, true);
  Pump();
  EXPECT_EQ(App->FEditField, efUseITerm2Images);
  EXPECT_EQ(App->FEditText, "Yes");
  // Help of the font row names the font; of Term Type the preset.
  App->BeginEditField(*App->EditorEntry(), efTermType);
  App->SetEditText("C64");
  Paint();
  EXPECT_NE(Row(17).find("Commodore 64 PETSCII, 40-column"), std::string::npos);
  // Enter on the last row leaves and saves.
  App->BeginEditField(*App->EditorEntry(), efShellCommand);
  Type("/bin/bash");
  Key(vk::Return);
  Pump();
  EXPECT_EQ(App->FMode, smDirectory);
  EXPECT_EQ(Saved().ShellCommand, "/bin/bash");
}

TEST(EditorTextTest, LastCallAge) {
  const double now = NowDateTime();
  struct Row {
    double Days;
    const char* Want;
  } rows[] = {{0, "Never"}, {10.0 / 86400, "just now"}, {90.0 / 86400, "1 min ago"}, {2.5 / 24, "2 hr ago"},
              {25.0 / 24, "1 day ago"}, {49.0 / 24, "2 days ago"}};
  for (const Row& r : rows)
    EXPECT_EQ(TApplication::LastCallAgeText(r.Days == 0 ? 0 : now - r.Days), r.Want) << r.Want;
  EXPECT_EQ(TApplication::LastCallAgeText(now + 1), "just now") << "a date in the future counts as now";
  EXPECT_EQ(TApplication::FontDisplayName("ATASCII_8x16"), "ATASCII (Atari 8-bit)");
  EXPECT_EQ(TApplication::FontDisplayName("AMIGA_TOPAZ_PLUS_8x16"), "AMIGA TOPAZ PLUS 8x16");
}

}  // namespace

namespace {

TEST_F(EditorScreenTest, PasteTakesTheFirstLineAsCp437) {
  WritePhonebook({"Board|b.example|23|ANSI-BBS"});
  Start();
  OpenEditor();
  App->FWindow->SetClipboardText("Caf\xC3\xA9 \x01" "board\r\nsecond line");
  Key(vk::End);
  Key(vk::Letter('V'), false, true, false);
  Pump();
  EXPECT_EQ(App->FEditText, "BoardCaf\x82 board") << "e-acute is CP437 130, the control code is dropped";
  EXPECT_EQ(App->FEditCaret, int(App->FEditText.size()));
}

TEST_F(EditorScreenTest, APhonebookThatCannotBeSavedIsReported) {
  // A phonebook path that is a folder can be neither read nor written.
  std::filesystem::create_directory(Folder.File("korvan.ini"));
  Start();
  Key(vk::Insert);
  Pump();
  ASSERT_EQ(App->FMode, smEditor);
  Type("Kept in memory");
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->FMode, smDirectory);
  EXPECT_EQ(App->FStatus.rfind("Phonebook not saved: ", 0), 0u) << App->FStatus;
  EXPECT_TRUE(std::filesystem::is_directory(Folder.File("korvan.ini")));
  Paint();
  EXPECT_NE(Row(23).find("Phonebook not saved"), std::string::npos);
}

}  // namespace
