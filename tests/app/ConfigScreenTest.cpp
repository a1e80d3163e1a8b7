// The configuration screen: editing rows of every kind on all four pages and
// the settings file they reach (read back by Python's configparser), the
// commit rules, walking the rows and pages, the text limit, a save that
// cannot be written, the cells of each page at 80 x 25 and wider; and in
// the running program Alt+C, saving, and an F-key macro reaching a board.
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>

#include "app/screens/uConfigScreen.h"
#include "app/screens/uDirectoryScreen.h"
#include "app/uScreenText.h"
#include "app/uTermTypePresets.h"
#include "tests/app/ScreenFixture.h"
#include "tests/app/ScreenServicesFixture.h"

namespace vk = platform::vk;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

namespace {

// One settings file as configparser reads it: (section, key, value) in
// file order, keys as written.
struct TIniLine {
  std::string Section, Key, Value;
};

std::vector<TIniLine> ParsedByPython(const std::string& path) {
  const std::string script = path + ".py";
  EXPECT_TRUE(WriteWholeFile(script,
                             "import configparser,sys\n"
                             "p=configparser.RawConfigParser(strict=False)\n"
                             "p.optionxform=str\n"
                             "p.read(sys.argv[1])\n"
                             "for s in p.sections():\n"
                             "  for k,v in p[s].items(): print(s+'\\t'+k+'\\t'+v)\n"));
  const std::string out = testsupport::CommandOutput("python3 '" + script + "' '" + path + "'");
  std::vector<TIniLine> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    size_t a = line.find('\t'), b = line.find('\t', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    lines.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1)});
  }
  return lines;
}

class ConfigScreenTest : public ScreenUnitTest {
 protected:
  void SetUp() override { Services.Settings.Load(); }
  void Open() {
    Screen = std::make_shared<TConfigScreen>(Services);
    Screen->Enter();
  }
  void Key(uint16_t key, int times = 1, bool ctrl = false) {
    for (int i = 0; i < times; ++i) Screen->Key(KeyOf(key, false, ctrl));
  }
  void Type(const std::string& text) {
    for (unsigned char c : text) Screen->Char(c, c);
  }
  // Field made current and its text erased.
  void Clear(int field) {
    Screen->SelectConfigField(field);
    Key(vk::End);
    Key(vk::Back, int(Screen->Line().Text.size()));
  }
  TAppConfig& Settings() { return Services.Settings; }

  std::shared_ptr<TConfigScreen> Screen;
};

TEST_F(ConfigScreenTest, EditsOfEveryKindOnEveryPageReachTheFileAndNothingElseChanges) {
  const std::string path = Folder.File("korvan_config.ini");
  ASSERT_TRUE(WriteWholeFile(path,
                             "; the user's own note\n"
                             "[Config]\nZeta=first\nDefaultTermType=ANSI-BBS\nAlpha=second\n"
                             "[Extra]\nb=2\na=1\n"
                             "[FKeys]\nF2=keep me \n"));
  ASSERT_TRUE(Settings().Load());
  // A save without edits first, so every setting is in the file.
  Open();
  Key(vk::Escape);
  ASSERT_EQ(Services.Closed, 1);
  const std::vector<TIniLine> before = ParsedByPython(path);
  ASSERT_FALSE(before.empty());

  Open();
  Key(vk::Right);  // default terminal type: the next preset
  Key(vk::Down);
  Key(vk::Right);  // screen scale 2.5 -> 3
  Key(vk::Down);
  Clear(cfDownloadDir);
  Type("dl");
  Key(vk::Down, 4);
  Type("n");       // ANSI Music
  Key(vk::Down, 3);
  Key(vk::Back, 3);
  Type("250");     // ASCII upload delay
  Key(vk::Next);   // page 2, F1
  Type("hi^M\\x1b ");
  Key(vk::Return);  // F2 left as it is
  Key(vk::Next);   // page 3, .conf folder
  Type("  /srv/doors  ");
  Key(vk::Next);   // page 4, Shift+F1
  Type("  tw-trade  ");
  Key(vk::Escape);
  EXPECT_EQ(Services.Closed, 2);
  EXPECT_EQ(Services.Status, "Settings saved.");
  EXPECT_EQ(Services.FoldersApplied, 2);
  EXPECT_EQ(Services.ScaleApplied, 1);

  const std::vector<TIniLine> after = ParsedByPython(path);
  const std::string nextType =
      TermTypePresets[size_t(WrapStep(FindTermTypePreset("ANSI-BBS"), 1, int(TermTypePresets.size())))].Name;
  std::map<std::string, std::string> want = {
      {"Config/DefaultTermType", nextType}, {"Config/DownloadDir", "dl"},      {"Config/AnsiMusicEnabled", "0"},
      {"Config/AsciiLineDelayMs", "250"},   {"FKeys/F1", "hi^M\\x1b"},         {"ExternalDoors/WorkDir", "/srv/doors/"},
      {"ScriptKeys/ShiftF1", "tw-trade"}};
  std::map<std::string, std::string> changed;
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    // The same keys in the same order; only the edited values differ.
    ASSERT_EQ(after[i].Section + "/" + after[i].Key, before[i].Section + "/" + before[i].Key);
    if (after[i].Value != before[i].Value) changed[after[i].Section + "/" + after[i].Key] = after[i].Value;
  }
  ASSERT_TRUE(changed.count("Config/ScreenScale"));
  EXPECT_DOUBLE_EQ(std::stod(changed["Config/ScreenScale"]), 3.0);
  changed.erase("Config/ScreenScale");
  EXPECT_EQ(changed, want);
  // What the store does not know stays where the user put it.
  std::vector<std::string> order;
  for (const TIniLine& l : after)
    if (l.Section == "Extra" || l.Key == "Zeta" || l.Key == "Alpha" || l.Key == "DefaultTermType")
      order.push_back(l.Key + "=" + l.Value);
  EXPECT_EQ(order, (std::vector<std::string>{"Zeta=first", "DefaultTermType=" + nextType, "Alpha=second", "b=2",
                                             "a=1"}));
  EXPECT_EQ(ReadWholeFile(path).rfind("; the user's own note\n", 0), 0u);
  // configparser strips the blanks that end a value; the file keeps them.
  EXPECT_NE(ReadWholeFile(path).find("\nF1=hi^M\\x1b \n"), std::string::npos);
}

TEST_F(ConfigScreenTest, CommitRules) {
  struct Row {
    const char* Name;
    int Field;
    std::string Typed;
    std::function<bool(const TAppConfig&)> Stored;
  } rows[] = {
      {"delay that is no number keeps the old one", cfAsciiLineDelay, "abc",
       [](const TAppConfig& c) { return c.AsciiLineDelayMs == 100; }},
      {"negative delay stores 0", cfAsciiLineDelay, "-5", [](const TAppConfig& c) { return c.AsciiLineDelayMs == 0; }},
      {"delay beyond 32 bits keeps the old one", cfAsciiLineDelay, "99999999999",
       [](const TAppConfig& c) { return c.AsciiLineDelayMs == 100; }},
      {"blank archive name is the default", cfGuideArchiveName, "   ",
       [](const TAppConfig& c) { return c.GuideArchiveName == "ibbs%MMYY%.zip"; }},
      {"archive name trimmed", cfGuideArchiveName, " x%YY%.zip ",
       [](const TAppConfig& c) { return c.GuideArchiveName == "x%YY%.zip"; }},
      {"folders are not trimmed", cfCaptureDir, " cap ", [](const TAppConfig& c) { return c.CaptureDir == " cap "; }},
      {".conf folder trimmed with / added", cfExtDoorWorkDir, "  /srv/doors ",
       [](const TAppConfig& c) { return c.WorkDir == "/srv/doors/"; }},
      {".conf folder keeps its own /", cfExtDoorWorkDir, "doors/", [](const TAppConfig& c) { return c.WorkDir == "doors/"; }},
      {".conf folder empty stays empty", cfExtDoorWorkDir, "  ", [](const TAppConfig& c) { return c.WorkDir.empty(); }},
      {"macro keeps a trailing blank", cfFKey1 + 4, "go ", [](const TAppConfig& c) { return c.FKey[4] == "go "; }},
      {"door command as typed", cfExtDoorCmd1 + 7, " dosbox ", [](const TAppConfig& c) { return c.Command[7] == " dosbox "; }},
      {"script key trimmed", cfScriptKey10, " harbor ", [](const TAppConfig& c) { return c.ShiftF[9] == "harbor"; }},
      {"custom terminal type typed", cfTermType, "MyTerm", [](const TAppConfig& c) { return c.DefaultTermType == "MyTerm"; }},
  };
  for (const Row& r : rows) {
    Services.Settings = TAppConfig(Folder.File("korvan_config.ini"));
    Open();
    Clear(r.Field);
    Type(r.Typed);
    Screen->CommitConfigField();
    EXPECT_TRUE(r.Stored(Settings())) << r.Name;
  }
  // A Yes/No row edited with Backspace is no longer "Yes": stored as off.
  Open();
  Screen->SelectConfigField(cfAnsiMusic);
  Key(vk::Back);
  EXPECT_EQ(Screen->Line().Text, "Ye");
  Key(vk::Down);
  EXPECT_FALSE(Settings().AnsiMusicEnabled);
  // Space, Left and Y/N on a Yes/No row; other letters do nothing.
  Key(vk::Up);
  Type(" ");
  EXPECT_EQ(Screen->Line().Text, "Yes");
  Key(vk::Left);
  EXPECT_EQ(Screen->Line().Text, "No");
  Type("xY");
  EXPECT_EQ(Screen->Line().Text, "Yes");
}

TEST_F(ConfigScreenTest, WalkingRowsAndPages) {
  Open();
  EXPECT_EQ(Screen->Field(), cfTermType);
  EXPECT_EQ(Services.Status, kConfigStatus);
  struct Row {
    const char* Name;
    int From;
    uint16_t Key;
    int To;
  } rows[] = {
      {"Up on the first row stays", cfTermType, vk::Up, cfTermType},
      {"Enter on the delay reaches the first link", cfAsciiLineDelay, vk::Return, cfFKeyMacrosLink},
      {"Enter on the macro link opens page 2", cfFKeyMacrosLink, vk::Return, cfFKey1},
      {"Enter on the doors link opens page 3", cfExternalDoorsLink, vk::Return, cfExtDoorWorkDir},
      {"Enter on the scripts link opens page 4", cfScriptKeysLink, vk::Return, cfScriptKey1},
      {"Down on the last link crosses to page 2", cfScriptKeysLink, vk::Down, cfFKey1},
      {"Up on F1 crosses back to page 1", cfFKey1, vk::Up, cfScriptKeysLink},
      {"Down on Shift+F10 stays", cfScriptKey10, vk::Down, cfScriptKey10},
      {"Page Up on page 1 shows page 4", cfAnsiMusic, vk::Prior, cfScriptKey1},
      {"Page Down on page 1 shows page 2", cfTermType, vk::Next, cfFKey1},
      {"Page Down on page 2 shows page 3", cfFKey10, vk::Next, cfExtDoorWorkDir},
      {"Page Down on page 4 shows page 1", cfScriptKey1 + 2, vk::Next, cfTermType},
      {"Page Up on page 3 shows page 2", cfExtDoorCmd8, vk::Prior, cfFKey1},
      {"Page Up on page 2 shows page 1", cfFKey1 + 2, vk::Prior, cfTermType},
  };
  for (const Row& r : rows) {
    Screen->SelectConfigField(r.From);
    Key(r.Key);
    EXPECT_EQ(Screen->Field(), r.To) << r.Name;
  }
  EXPECT_EQ(Services.Closed, 0);
  // Enter on the last row saves and leaves.
  Screen->SelectConfigField(cfScriptKey10);
  Key(vk::Return);
  EXPECT_EQ(Services.Closed, 1);
  EXPECT_EQ(Services.Status, "Settings saved.");
  // Opening again starts on the first row whatever was shown last.
  Open();
  EXPECT_EQ(Screen->Field(), cfTermType);
}

TEST_F(ConfigScreenTest, TextLimitPasteAndTheScaleRow) {
  Open();
  Screen->SelectConfigField(cfFKey1);
  Services.Clipboard = std::string(300, 'a') + "\nsecond line";
  Key(vk::Letter('V'), 1, true);
  EXPECT_EQ(Screen->Line().Text, std::string(250, 'a'));
  Type("b");
  EXPECT_EQ(Screen->Line().Text.size(), 250u) << "typing stops at 250 characters";
  Key(vk::Back);
  Services.Clipboard = "bc\tdef";
  Screen->Mouse(TMouseEvent{TMouseKind::Down, button::Right, 0, 0, true, 10, 10});
  EXPECT_EQ(Screen->Line().Text, std::string(249, 'a') + "b") << "the paste fills only the room left";
  // Not on the choice rows.
  Screen->SelectConfigField(cfAnsiMusic);
  Services.Clipboard = "No";
  Key(vk::Letter('V'), 1, true);
  EXPECT_EQ(Screen->Line().Text, "Yes");
  // The scale row takes no typing; Left below 1x is full screen, at once.
  Settings().ScreenScale = 1.0;
  Screen->SelectConfigField(cfScreenScale);
  Type("2");
  EXPECT_EQ(Screen->Line().Text, "1x");
  Key(vk::Left);
  EXPECT_EQ(Screen->Line().Text, "Full Screen");
  EXPECT_TRUE(Settings().ScreenScaleFullScreen);
  EXPECT_EQ(Services.ScaleApplied, 1);
}

// Root passes permission bits by; with its file-system user changed to
// nobody this thread meets them like any user.
class AsNobody {
 public:
  AsNobody() : FWasRoot(geteuid() == 0) {
    if (FWasRoot) setfsuid(65534);
  }
  ~AsNobody() {
    if (FWasRoot) setfsuid(0);
  }

 private:
  bool FWasRoot;
};

TEST_F(ConfigScreenTest, ASaveIntoAReadOnlyFolderKeepsTheScreenAndTheOldFile) {
  const std::string path = Folder.File("korvan_config.ini");
  const std::string old = "[Config]\nAnsiMusicEnabled=1\n[Mine]\nkept=yes\n";
  ASSERT_TRUE(WriteWholeFile(path, old));
  ASSERT_TRUE(Settings().Load());
  Open();
  Screen->SelectConfigField(cfAnsiMusic);
  Type("n");
  ASSERT_EQ(chmod(Folder.Path().c_str(), 0555), 0);
  {
    AsNobody nobody;
    Key(vk::Escape);
  }
  chmod(Folder.Path().c_str(), 0755);
  EXPECT_EQ(Services.Closed, 0) << "the screen stays open";
  EXPECT_EQ(Services.Status.rfind("Settings not saved: ", 0), 0u) << Services.Status;
  EXPECT_NE(Services.Status.find("Permission denied"), std::string::npos) << Services.Status;
  EXPECT_EQ(ReadWholeFile(path), old);
  EXPECT_EQ(Services.FoldersApplied, 0);
  // Nothing typed was lost: with the folder writable again Esc saves it.
  EXPECT_FALSE(Settings().AnsiMusicEnabled);
  Key(vk::Escape);
  EXPECT_EQ(Services.Closed, 1);
  EXPECT_NE(ReadWholeFile(path).find("AnsiMusicEnabled=0"), std::string::npos);
  EXPECT_NE(ReadWholeFile(path).find("kept=yes"), std::string::npos);
}

// --- Cells -------------------------------------------------------------------

TEST_F(ConfigScreenTest, PageOneCells) {
  Settings().CaptureDir.clear();
  struct Size {
    int W, H, M;
  } sizes[] = {{80, 25, 38}, {132, 60, 64}};
  for (const Size& s : sizes) {
    SCOPED_TRACE(std::to_string(s.W) + "x" + std::to_string(s.H));
    Open();
    auto f = PaintScreen(*Screen, s.W, s.H);
    const int R = s.W - 3, M = s.M;
    EXPECT_NE(f->Row(0).find(" Configuration - Page 1 of 4 "), std::string::npos);
    EXPECT_COLOUR(f->Cell(0, 0).Fg, 0, 0, 170);
    EXPECT_EQ(f->Text(3, 2, 7), "GENERAL");
    EXPECT_COLOUR(f->Cell(3, 2).Fg, 255, 255, 85);
    EXPECT_EQ(f->Cell(2, 3).Ch, cp::SingleH);
    EXPECT_EQ(f->Cell(R, 3).Ch, cp::SingleH);
    EXPECT_COLOUR(f->Cell(2, 3).Fg, 0, 0, 85);
    EXPECT_EQ(f->Text(3, 6, 10), "FILE PATHS");
    EXPECT_EQ(f->Text(3, 13, 13), "COMPATIBILITY");
    EXPECT_EQ(f->Text(M + 3, 13, 13), "MORE SETTINGS");
    // Where each row lands: screen row, label column, last value column.
    struct Place {
      int Field, Y, X0, X1;
    } places[] = {{cfTermType, 4, 3, M - 1},        {cfScreenScale, 4, M + 3, R - 1},
                  {cfDownloadDir, 8, 3, R - 1},     {cfGuideArchiveName, 11, 3, R - 1},
                  {cfAnsiMusic, 15, 3, M - 1},      {cfAsciiLineDelay, 18, 3, M - 1},
                  {cfFKeyMacrosLink, 15, M + 3, R}, {cfScriptKeysLink, 17, M + 3, R}};
    for (const Place& p : places) {
      EXPECT_EQ(Screen->RowPlace(p.Field).Y, p.Y) << p.Field;
      EXPECT_EQ(Screen->RowPlace(p.Field).X0, p.X0) << p.Field;
      EXPECT_EQ(Screen->RowPlace(p.Field).X1, p.X1) << p.Field;
    }
    EXPECT_EQ(Screen->RowPlace(cfFKey1).Y, -1);
    // The current row: a bar one column wider than its texts on each side,
    // the label in cyan, the choice framed in white.
    EXPECT_EQ(f->Text(3, 4, 19), "Default Term Type: ");
    EXPECT_COLOUR(f->Cell(3, 4).Fg, 0, 170, 170);
    EXPECT_EQ(f->Text(22, 4, 12), "< ANSI-BBS >");
    EXPECT_COLOUR(f->Cell(22, 4).Fg, 255, 255, 255);
    EXPECT_COLOUR(f->Cell(2, 4).Bg, 0, 0, 170);
    EXPECT_COLOUR(f->Cell(M, 4).Bg, 0, 0, 170);
    EXPECT_COLOUR(f->Cell(M + 1, 4).Bg, 0, 0, 0);
    EXPECT_FALSE(f->Caret) << "a choice row has no caret";
    // Other rows: values in light grey, words for the program's folder and
    // an empty capture folder (a placeholder in dark grey).
    EXPECT_EQ(f->Text(M + 3, 4, 14), "Screen Scale: ");
    EXPECT_EQ(f->Text(M + 17, 4, 4), "2.5x");
    EXPECT_COLOUR(f->Cell(M + 17, 4).Fg, 170, 170, 170);
    EXPECT_EQ(f->Text(27, 8, 26), "(Current KORVAN Directory)");
    EXPECT_EQ(f->Text(27, 10, 28), "(same as Download Directory)");
    EXPECT_COLOUR(f->Cell(27, 10).Fg, 85, 85, 85);
    EXPECT_EQ(f->Text(3, 15, 25), "ANSI Music             : ");
    EXPECT_EQ(f->Text(28, 15, 3), "Yes");
    EXPECT_EQ(f->Cell(M + 1, 15).Ch, cp::SingleV);
    EXPECT_EQ(f->Cell(M + 1, 18).Ch, cp::SingleV);
    EXPECT_EQ(f->Text(M + 3, 16, 25), "-> External Door Programs");
    EXPECT_COLOUR(f->Cell(M + 3, 16).Fg, 0, 170, 170);
    // Help under the rows, the divider, the footer.
    EXPECT_EQ(f->Text(2, 20, 40), "Used for newly-created phonebook entries");
    EXPECT_COLOUR(f->Cell(2, 20).Fg, 85, 85, 85);
    EXPECT_EQ(f->Cell(1, s.H - 3).Ch, cp::TeeLeft);
    EXPECT_EQ(f->Cell(s.W - 2, s.H - 3).Ch, cp::TeeRight);
    EXPECT_NE(f->Row(s.H - 2).find(kConfigStatus), std::string::npos);
  }
  // 80 x 25: the value widths 16, 22, 50 and 10.
  Open();
  PaintScreen(*Screen);
  EXPECT_EQ(Screen->RowPlace(cfTermType).X1 - 22 + 1, 16);
  EXPECT_EQ(Screen->RowPlace(cfScreenScale).X1 - 55 + 1, 22);
  EXPECT_EQ(Screen->RowPlace(cfDownloadDir).X1 - 27 + 1, 50);
  EXPECT_EQ(Screen->RowPlace(cfAnsiMusic).X1 - 28 + 1, 10);
  // A current link row: a bar from M + 2 to R, white text.
  Screen->SelectConfigField(cfExternalDoorsLink);
  auto f = PaintScreen(*Screen);
  EXPECT_COLOUR(f->Cell(40, 16).Bg, 0, 0, 170);
  EXPECT_COLOUR(f->Cell(77, 16).Bg, 0, 0, 170);
  EXPECT_COLOUR(f->Cell(41, 16).Fg, 255, 255, 255);
  EXPECT_EQ(f->Text(2, 20, 76), PadText("Press Enter (or double-click) to open the external door programs page and", 76));
  EXPECT_EQ(f->Text(2, 21, 76), PadText("assign up to 8 local programs to Ctrl+F1..Ctrl+F8", 76));
  // A long folder path shows its first characters; the caret stays on
  // the last cell of the value while typing past it.
  Screen->SelectConfigField(cfDownloadDir);
  Key(vk::Back);
  Type(std::string(60, 'p') + "END");
  f = PaintScreen(*Screen);
  EXPECT_EQ(f->Text(27, 8, 50), std::string(50, 'p'));
  EXPECT_TRUE(f->Caret);
  EXPECT_EQ(f->CaretCol, 76);
  EXPECT_EQ(f->CaretRow, 8);
}

TEST_F(ConfigScreenTest, ListPageCells) {
  Settings().FKey[1] = "two";
  Open();
  struct Page {
    int Field, TitlePage, FirstY, LabelX, ValueX;
    const char *Heading, *Label, *Placeholder;
    int HelpRow;
  } pages[] = {
      {cfFKey1, 2, 4, 3, 8, "FUNCTION KEY MACROS", "F1 :", "(not assigned)", 15},
      {cfExtDoorWorkDir, 3, 4, 3, 27, "SHARED SETTINGS (apply to every slot below)", ".conf File Location   :",
       "(KORVAN's own directory)", 18},
      {cfScriptKey1, 4, 4, 3, 14, "SCRIPT HOTKEYS - run a script from the scripts folder", "Shift+F1 :", "(no script)", 15},
  };
  for (const Page& p : pages) {
    SCOPED_TRACE(p.Heading);
    // The placeholder shows on a row that is not current: select the next.
    Screen->SelectConfigField(p.Field + 1);
    auto f = PaintScreen(*Screen);
    EXPECT_NE(f->Row(0).find(" Configuration - Page " + std::to_string(p.TitlePage) + " of 4 "), std::string::npos);
    EXPECT_EQ(f->Text(3, 2, int(std::string(p.Heading).size())), p.Heading);
    EXPECT_EQ(f->Text(p.LabelX, p.FirstY, int(std::string(p.Label).size())), p.Label);
    EXPECT_EQ(f->Text(p.ValueX, p.FirstY, int(std::string(p.Placeholder).size())), p.Placeholder);
    EXPECT_COLOUR(f->Cell(p.ValueX, p.FirstY).Fg, 85, 85, 85);
    EXPECT_EQ(Screen->RowPlace(p.Field).X1, 76);
    EXPECT_COLOUR(f->Cell(2, p.FirstY + 1).Bg, 0, 0, 170);
    EXPECT_COLOUR(f->Cell(2, p.HelpRow).Fg, 85, 85, 85);
    EXPECT_NE(f->Row(p.HelpRow).find_first_not_of(' ', 2), std::string::npos);
    EXPECT_EQ(f->Row(p.HelpRow - 1).substr(2, 76), std::string(76, ' '));
  }
  // Page 2: every key on rows 4 to 13, a stored value in light grey, the
  // help of the current key (F2) over seven lines.
  Screen->SelectConfigField(cfFKey1);
  auto f = PaintScreen(*Screen);
  EXPECT_EQ(f->Text(3, 13, 4), "F10:");
  EXPECT_EQ(f->Text(8, 5, 3), "two");
  EXPECT_COLOUR(f->Cell(8, 5).Fg, 170, 170, 170);
  EXPECT_EQ(f->Text(2, 15, 40), "Text sent to the BBS when you press F1 w");
  EXPECT_NE(f->Row(21).find_first_not_of(' ', 2), std::string::npos);
  // Page 3: the doors under their own heading.
  Screen->SelectConfigField(cfExtDoorCmd1);
  f = PaintScreen(*Screen);
  EXPECT_EQ(f->Text(3, 7, 34), "DOOR PROGRAMS (Ctrl+F1 .. Ctrl+F8)");
  EXPECT_EQ(f->Text(3, 9, 8), "Ctrl+F1:");
  EXPECT_EQ(f->Text(3, 16, 8), "Ctrl+F8:");
  EXPECT_EQ(f->Text(3, 5, 23), "Serial Bridge COM Port:");
  EXPECT_EQ(f->Text(27, 5, 18), "(no serial bridge)");
  // A long macro scrolls so the character before the caret and the caret
  // cell stay in view.
  Screen->SelectConfigField(cfFKey1);
  Type(std::string(90, 'm') + "0123456789");
  f = PaintScreen(*Screen);
  EXPECT_EQ(f->CaretCol, 76);
  EXPECT_EQ(f->Text(66, 4, 11), "0123456789 ");
  Key(vk::Home);
  f = PaintScreen(*Screen);
  EXPECT_EQ(f->CaretCol, 8);
  EXPECT_EQ(f->Text(8, 4, 3), "mmm");
  // On a wider grid the values reach further and more help fits.
  f = PaintScreen(*Screen, 132, 60);
  EXPECT_EQ(Screen->RowPlace(cfFKey1 + 9).X1, 128);
  EXPECT_EQ(f->Text(8, 4, 100), std::string(90, 'm') + "0123456789");
}

TEST_F(ConfigScreenTest, ARowThatWouldReachTheDividerIsNotDrawnButStillReachedByKeys) {
  Open();
  Screen->SelectConfigField(cfFKey1);
  auto f = PaintScreen(*Screen, 80, 12);  // divider on row 9
  EXPECT_EQ(Screen->RowPlace(cfFKey1 + 4).Y, 8);
  EXPECT_EQ(Screen->RowPlace(cfFKey1 + 5).Y, -1);
  EXPECT_EQ(Screen->RowPlace(cfFKey10).Y, -1);
  EXPECT_EQ(f->Cell(1, 9).Ch, cp::TeeLeft);
  Screen->Mouse(TMouseEvent{TMouseKind::Down, button::Left, 0, 0, true, 10, 9});
  EXPECT_EQ(Screen->Field(), cfFKey1);
  Key(vk::Down, 9);
  EXPECT_EQ(Screen->Field(), cfFKey10);
}

TEST_F(ConfigScreenTest, MouseSelectsFlipsAndOpensPages) {
  Open();
  PaintScreen(*Screen);
  auto click = [&](int col, int row, bool twice) {
    Screen->Mouse(TMouseEvent{TMouseKind::Down, button::Left, 0, 0, true, col, row});
    if (twice) Screen->Mouse(TMouseEvent{TMouseKind::DoubleClick, button::Left, 0, 0, true, col, row});
  };
  click(30, 9, false);  // Upload Directory's value
  EXPECT_EQ(Screen->Field(), cfUploadDir);
  click(39, 9, false);  // beyond its last column: the frame's inside, nothing
  EXPECT_EQ(Screen->Field(), cfUploadDir);
  click(5, 16, true);   // double click on ATASCII Lenient CR/LF flips it
  EXPECT_EQ(Screen->Field(), cfAtasciiLenientCRLF);
  EXPECT_EQ(Screen->Line().Text, "Yes");
  click(50, 17, true);  // double click on the script-keys link opens page 4
  EXPECT_EQ(Screen->Field(), cfScriptKey1);
  Key(vk::Prior);
  EXPECT_TRUE(Settings().AtasciiLenientCRLF);
}

// --- In the running program ------------------------------------------------

class ConfigInTheProgramTest : public ScreenFixture {};

TEST_F(ConfigInTheProgramTest, AltCOpensItFromTheDirectoryAndEscSavesAndReturns) {
  Start();
  ASSERT_EQ(App->ScreenMode(), smDirectory);
  Key(vk::Letter('C'), false, false, true);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smConfig);
  Paint();
  EXPECT_NE(Row(0).find("Configuration - Page 1 of 4"), std::string::npos);
  Key(vk::Letter('C'), false, false, true);  // not opened twice
  Keys(vk::Down, 6);
  Type("n");
  Pump();
  Paint();
  EXPECT_EQ(Text(28, 15, 6), "< No >") << Row(15);
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->ScreenMode(), smDirectory);
  EXPECT_EQ(App->StatusText(), "Settings saved.");
  EXPECT_NE(ReadWholeFile(Folder.File("korvan_config.ini")).find("AnsiMusicEnabled=0"), std::string::npos)
      << ReadWholeFile(Folder.File("korvan_config.ini"));
  Paint();
  EXPECT_NE(Row(23).find("Settings saved."), std::string::npos);
}

TEST_F(ConfigInTheProgramTest, AnFKeyMacroWithControlCodesReachesTheBoardAsItsBytes) {
  testsupport::LoopbackListener board;
  WritePhonebook({"Board|127.0.0.1|" + std::to_string(board.Port()) + "|ANSI-BBS"});
  Start();
  Key(vk::Return);
  std::unique_ptr<testsupport::LoopbackPeer> peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  ASSERT_EQ(App->ScreenMode(), smOnline);
  // The macro set on page 2 and saved, then pressed on the online screen.
  Key(vk::Letter('C'), false, false, true);
  Key(vk::Next);
  Type("hi^M^[[A\\x7f\\\\\\e!");
  Key(vk::Escape);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smOnline);
  Key(vk::Fn(1));
  const std::string want = "hi\r\x1b[A\x7f\\\x1b!";
  std::string got = BoardReceives(*peer, want.size());
  EXPECT_NE(got.find(want), std::string::npos) << got;
  EXPECT_EQ(App->StatusText(), "Sent F1 macro");
}

}  // namespace
