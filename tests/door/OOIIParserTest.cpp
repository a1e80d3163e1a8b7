// The Overkill Ansiterm client on a bench: a screen and ANSI parser of its
// own, the game's files written by the test into a program folder and a door
// folder, and bytes fed the way the call feeds them (plain runs in one piece,
// the rest byte by byte). Banner matching, every command item, art and
// sound look-ups, the handshake, colours, and hostile input.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uTerminalBuffer.h"
#include "door/uOOIIParser.h"
#include "tests/support/ChildProcess.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

constexpr char kOpen = char(0xAB);

// A door title drawn the way the game draws it: every character behind a
// full block and a backspace.
std::string Title(const std::string& text) {
  std::string s;
  for (char c : text) s += std::string("\xDB\x08") + c;
  return s;
}

const std::string kBanner1 = Title("[TEST GAME]") + "\r\n\r\n\x1b[1;33mAnsiterm installed? (y/N) ";
const std::string kBanner2 = Title("[TEST GAME]") + "\x1b[2J\x1b[1;30mScanning for the Ansiterm...";

std::string Cmd(const std::string& body) { return kOpen + body + "|"; }

class OOIIBench : public ::testing::Test {
 protected:
  OOIIBench() {
    LogEnabled = true;
    LogOpen(LogDir.File("debug.log"));
    Parser = std::make_unique<TOOIIParser>(&Ansi, nullptr);
    Parser->ProgramFolder = Program.Path();
    Parser->PlayWave = [this](const std::string& path) { Played.push_back(path); };
    Parser->Random = [this](int n) { return Pick % n; };
    Parser->Weekday = [this] { return Day; };
    Install(Program, "ooii/banner1.bin", kBanner1);
    Install(Program, "ooii/banner2.bin", kBanner2);
  }
  ~OOIIBench() override {
    Parser.reset();
    LogClose();
    LogEnabled = false;
  }

  static void Install(const TempDir& root, const std::string& rel, const std::string& data) {
    const std::string path = root.File(rel);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(WriteWholeFile(path, data));
  }
  // Reads the game's files as a new call does.
  void Connect(const std::string& baseDir = "") { Parser->Connected(nullptr, baseDir); }

  // Feeds Bytes as the call does; returns what reached the terminal.
  std::string Feed(const std::string& bytes) {
    std::string passed;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
      if (const size_t run = Parser->PlainRun(data + i, bytes.size() - i)) {
        passed.append(bytes, i, run);
        for (size_t k = 0; k < run; ++k) Ansi.ProcessChar(data[i + k]);
        i += run;
        continue;
      }
      if (!Parser->FilterByte(data[i])) {
        passed += char(data[i]);
        Ansi.ProcessChar(data[i]);
      }
      ++i;
    }
    return passed;
  }
  std::string Row(int y) const {
    std::string s;
    for (int x = 0; x < Buffer.FWidth; ++x) s += char(Buffer.GetCell(x, y).Ch);
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
  std::string Screen() const {
    std::string s;
    for (int y = 0; y < Buffer.FHeight; ++y) s += Row(y) + "\n";
    return s;
  }
  std::string Log() {
    LogFlushPending();
    return ReadWholeFile(LogDir.File("debug.log"));
  }
  // The text colour this terminal gives the SGR sequence.
  static TColorRGB Sgr(const std::string& seq) {
    TTerminalBuffer buffer{80, 25};
    TAnsiParser ansi{&buffer};
    for (char c : seq + "X") ansi.ProcessChar(uint8_t(c));
    return buffer.GetCell(0, 0).Fg;
  }

  TempDir LogDir, Program, Door;
  TTerminalBuffer Buffer{80, 25};
  TAnsiParser Ansi{&Buffer};
  std::unique_ptr<TOOIIParser> Parser;
  std::vector<std::string> Played;
  int Pick = 0;
  int Day = 0;
};

TEST_F(OOIIBench, BannersAreFoundInTheStreamAndPassThrough) {
  const size_t shared = [] {
    size_t k = 0;
    while (kBanner1[k] == kBanner2[k]) ++k;
    return k;
  }();
  const std::string half = kBanner1.substr(0, 12);
  const struct Row {
    const char* Name;
    std::string Stream;
    int Mode;
  } rows[] = {
      {"banner 1", "Hello\r\n" + kBanner1, 1},
      {"banner 2", kBanner2 + "more", 2},
      {"right after a full block that starts a false match", "\xDB" + kBanner1, 1},
      {"right after a broken partial match", half + "x" + kBanner2, 2},
      {"starting inside a partial match", kBanner1.substr(0, 6) + kBanner1, 1},
      {"split by the broken byte itself", kBanner1.substr(0, 20) + "\xDB" + kBanner1, 1},
      {"a half banner is no banner", half + "\r\nplain text", 0},
      {"a mix of the two banners is neither", kBanner1.substr(0, shared + 1) + kBanner2.substr(shared + 1), 0},
      {"plain text", "Welcome to the board\r\n", 0},
  };
  for (const Row& r : rows) {
    Parser = std::make_unique<TOOIIParser>(&Ansi, nullptr);
    Parser->ProgramFolder = Program.Path();
    Connect();
    EXPECT_EQ(Feed(r.Stream), r.Stream) << r.Name << ": banner bytes are never taken";
    EXPECT_EQ(Parser->FOOIIMode, r.Mode) << r.Name;
  }
}

TEST_F(OOIIBench, WithoutTheGameFilesNothingIsWatched) {
  std::filesystem::remove_all(Program.File("ooii"));
  Connect();
  const std::string stream = kBanner1 + Cmd("A");
  const auto* data = reinterpret_cast<const uint8_t*>(stream.data());
  EXPECT_EQ(Parser->PlainRun(data, stream.size()), stream.size()) << "the hot path takes everything at once";
  EXPECT_EQ(Feed(stream), stream);
  EXPECT_EQ(Parser->FOOIIMode, 0);
  EXPECT_NE(Log().find("OOII: asset MISSING - tried: " + Program.File("ooii/banner1.bin")), std::string::npos);
}

TEST_F(OOIIBench, PlainRunStopsWhereTheClientActs) {
  Connect();
  const struct Row {
    const char* Name;
    std::string Before, Data;
    size_t Run;
  } rows[] = {
      {"text up to a full block", "", "abc\xDB\x08z", 3},
      {"inside a partial banner match", "\xDB", "\x08[", 0},
      {"after the banner, up to a command", kBanner1, "text" + Cmd("A"), 4},
      {"inside a command", kBanner1 + kOpen, "Ab|", 0},
  };
  for (const Row& r : rows) {
    Connect();
    Feed(r.Before);
    EXPECT_EQ(Parser->PlainRun(reinterpret_cast<const uint8_t*>(r.Data.data()), r.Data.size()), r.Run) << r.Name;
  }
}

TEST_F(OOIIBench, MenuLettersDrawTheirArtFromTheFirstFolderThatHasIt) {
  const struct Art {
    char Letter;
    const char* File;  // empty: nothing drawn
  } rows[] = {
      {'A', "cmenus/m1_0"}, {'B', "cmenus/m1_1"}, {'C', "cmenus/m1_3"}, {'D', "cmenus/m1_2"},
      {'E', "cmenus/m1_4"}, {'F', "bmenus/m1_0"}, {'G', "bmenus/m1_1"}, {'H', "bmenus/m1_3"},
      {'I', "bmenus/m1_5"}, {'J', "bmenus/m1_2"}, {'K', "bmenus/m1_4"}, {'L', ""},
  };
  for (const Art& a : rows)
    if (*a.File) Install(Program, std::string("ooii/art/") + a.File + ".bin", std::string("\x1b[1;32mART ") + a.File);
  // Names are looked up whatever their case; the door folder comes first.
  Install(Program, "OOII/Art/CMenus/M1_0.BIN", "must not win over the exact name");
  Install(Door, "ooii/ART/cmenus/m1_1.bin", "DOOR COPY");
  Connect(Door.Path());
  Feed(kBanner1);
  for (const Art& a : rows) {
    Feed("noise");
    EXPECT_EQ(Feed(Cmd(std::string(1, a.Letter))), "") << a.Letter << ": nothing of a command reaches the terminal";
    const std::string want = a.Letter == 'B' ? "DOOR COPY" : *a.File ? std::string("ART ") + a.File : "";
    EXPECT_EQ(Row(0), want) << a.Letter << "\n" << Screen();
    EXPECT_EQ(Buffer.CursorY, 0) << a.Letter;
  }
  EXPECT_NE(Log().find("OOII: PlayArtAsset fed"), std::string::npos);
}

TEST_F(OOIIBench, LogonArtIsPickedAtRandomAndTheModeNamesTheFile) {
  Install(Program, "ooii/art/logons/m2_7.bin", "LOGON SEVEN");
  Connect();
  Pick = 7;
  Feed(kBanner2 + Cmd("0"));
  EXPECT_EQ(Row(0), "LOGON SEVEN") << Screen();
}

TEST_F(OOIIBench, HandshakeSetsTheModeAndAnswers) {
  const struct Row {
    const char* Field;
    int Mode;
    const char* Reply;
  } rows[] = {{"_1", 2, "\xAF" "1|"}, {"_2", 3, "\xAF" "2|"}, {"_7", 3, "\xAF" "2|"}, {"_x", 2, "\xAF" "1|"},
              {"", 2, "\xAF" "1|"},    {"_-5", 2, "\xAF" "1|"},  {"2", 3, "\xAF" "2|"}};
  for (const Row& r : rows) {
    std::string sent;
    Parser->Connected([&sent](const std::string& text) { sent += text; }, "");
    Feed(kBanner1);
    EXPECT_EQ(Feed(Cmd(std::string("?") + r.Field)), "") << r.Field;
    EXPECT_EQ(Parser->FOOIIMode, r.Mode) << "field \"" << r.Field << "\"";
    EXPECT_EQ(sent, r.Reply) << "field \"" << r.Field << "\"";
  }
  Connect();
  Feed(kBanner2 + Cmd("?_2"));
  EXPECT_EQ(Parser->FOOIIMode, 3) << "without a sender the mode still changes";
}

TEST_F(OOIIBench, TheEndItemReturnsToBannerWatchingAndBarsPassOutsideCommands) {
  Install(Program, "ooii/art/cmenus/m1_0.bin", "MENU");
  Connect();
  Feed(kBanner1);
  EXPECT_EQ(Feed("a|b"), "a|b") << "a bar outside a command is text";
  EXPECT_EQ(Feed(std::string(1, kOpen) + "Z" + kOpen + "A|"), "") << "a second 0xAB is part of the command";
  EXPECT_EQ(Row(0), "MENU") << "its items still run";
  EXPECT_EQ(Feed(Cmd("\\") + "Door text" + Cmd("A")), "Door text" + Cmd("A"));
  EXPECT_EQ(Parser->FOOIIMode, 0);
}

TEST_F(OOIIBench, ACommandThatNeverEndsIsDroppedAndLaterTextShows) {
  Connect();
  Feed(kBanner1);
  const std::string stray = std::string(1, kOpen) + std::string(kMaxOOIICommandBytes + 10, 'y');
  const std::string passed = Feed(stray + "\r\nLATER TEXT");
  EXPECT_EQ(passed, std::string(kMaxOOIICommandBytes + 10 - (kMaxOOIICommandBytes - 1), 'y') + "\r\nLATER TEXT");
  EXPECT_NE(Screen().find("LATER TEXT"), std::string::npos) << Screen();
  EXPECT_NE(Log().find("OOII: command dropped after 4096 bytes"), std::string::npos);
  EXPECT_EQ(Parser->FOOIIMode, 1) << "still the door's client";
}

TEST_F(OOIIBench, AttributesWriteOnlyWhatChanged) {
  // A second terminal gets the sequences written out; both must end with
  // the same pen.
  TTerminalBuffer refBuffer{80, 25};
  TAnsiParser ref{&refBuffer};
  Connect();
  const struct Row {
    uint8_t Attr;
    std::string Seq;
  } rows[] = {
      {0x1F, "\x1b[1;44m"},       // intensity on, blue background, grey kept
      {0x1F, ""},                 // the same again: nothing written
      {0x14, "\x1b[22;31m"},      // red (PC 4 is ANSI 1), intensity off
      {0x8C, "\x1b[5;1;40m"},     // blinking bright red on black
      {0x07, "\x1b[25;22;37m"},
      {0x63, "\x1b[36;43m"},      // cyan (PC 3 is ANSI 6) on brown (PC 6 is ANSI 3)
  };
  for (const Row& r : rows) {
    Parser->SetAttr(r.Attr);
    Parser->WriteText("X");
    for (char c : r.Seq + "X") ref.ProcessChar(uint8_t(c));
    EXPECT_TRUE(Buffer.GetCell(Buffer.CursorX - 1, 0) == refBuffer.GetCell(refBuffer.CursorX - 1, 0)) << int(r.Attr);
    EXPECT_EQ(Buffer.CursorX, refBuffer.CursorX) << int(r.Attr) << ": no other byte was printed";
    EXPECT_EQ(Parser->FAttr, r.Attr);
  }
  // The terminal's colours may change behind its back (a clear screen, an
  // art file): the remembered attribute does not, as the door expects.
  Parser->ClearScreen();
  EXPECT_EQ(Parser->FAttr, 0x63);
}

const char* const kScreens = R"(; test texts of a made-up game
[bar]
attr 6
line The bar is full of smoke.
attr 010
line A stranger waves.

[location a]
clear
fields 2
title Town Square
attr 7
line You have %1 hit points and %2 crystals.
option W Walk north
option Q Quit to the \x22street\x22
item 1 Sword
item 10 Long bow
line
itemtight 2 Axe

[stats]
attr %1
at 1 2
text \xC9\xCD\xCD\xBB
at 5 3
attr 11
text Strength
attr 3
text \xE9

[monitor frame]
at 1 1
line MONITOR FRAME

[monitor lower]
at 1 9
text ----LOWER----

[monitor values]
at 40 4
text HP:%1 AC:%7
at 40 5
hunger 8

[terrain]
cell 1 ..
cell 2 ^^^
cell4 2 ~~~
cell 3 TT
hidden 3
unseen ??
colour . 2
colour ^ 0x84
day 1 SUN
day 2 MON
day 3 TUE
day 4 WED
day 5 THU
day 6 FRI
day 9 SAT
desc 2 Rolling hills
desc 2 stretch to the east.
desc 3 Dense forest.
blank 20
bogus line

[hunger]
word Sated
word Fine
word Peckish
word Hungry
word Starving

[cues]
cue 1 door
cue 3 first second
cue 5 yes no
cue P ../../escape
)";

TEST_F(OOIIBench, BarAndLocationScreensComeFromTheGameTexts) {
  Install(Program, "ooii/screens.txt", kScreens);
  Connect();
  Feed(kBanner1 + "\x1b[2J\x1b[H");
  EXPECT_EQ(Feed(Cmd("1")), "");
  EXPECT_EQ(Row(0), "The bar is full of smoke.");
  EXPECT_EQ(Buffer.GetCell(0, 1).Fg, Sgr("\x1b[1;32m")) << "attribute 10, a leading zero and all";
  Feed(Cmd("a_25_7") + Cmd("2w"));  // "2" and "w" draw nothing
  EXPECT_EQ(Row(0), "Town Square");
  EXPECT_EQ(Row(1), "~~~~~~~~~~~");
  EXPECT_EQ(Row(2), "You have 25 hit points and 7 crystals.");
  EXPECT_EQ(Row(3), "-[W]  Walk north");
  EXPECT_EQ(Row(4), "-[Q]  Quit to the \"street\"");
  EXPECT_EQ(Row(5), "-[1]  - Sword          -[10]  - Long bow");
  EXPECT_EQ(Row(6), "-[2] - Axe");
  EXPECT_EQ(Buffer.GetCell(2, 3).Fg, Sgr("\x1b[1;34m")) << "the key in attribute 9";
  EXPECT_EQ(Buffer.GetCell(6, 3).Fg, Sgr("\x1b[36m")) << "the label in attribute 3";
}

TEST_F(OOIIBench, StatisticsAndMonitorPanels) {
  Install(Program, "ooii/screens.txt", kScreens);
  Connect();
  Feed(kBanner1);
  Feed(Cmd("!_12"));
  EXPECT_EQ(Row(1), "\xC9\xCD\xCD\xBB");
  EXPECT_EQ(Buffer.GetCell(0, 1).Fg, Sgr("\x1b[1;31m")) << "the frame in the door's attribute 12";
  EXPECT_EQ(Row(2), "    Strength\xE9");
  EXPECT_EQ(Buffer.CursorX, 0);
  EXPECT_EQ(Buffer.CursorY, 22) << "the cursor ends on row 23";

  Feed(Cmd("#F") + Cmd("#T"));
  EXPECT_EQ(Row(0), "MONITOR FRAME");
  EXPECT_EQ(Row(8), "----LOWER----");

  Day = 6;
  Feed(Cmd("#MxF_1_2_3_30_99_1_1_1_1"));
  EXPECT_EQ(Row(3).substr(4), ".. ^^^??") << "a two-character cell gets a blank; a hidden cell shows unseen";
  EXPECT_EQ(Row(4).substr(4, 6), "SAT   ") << "code 30 follows the day; an unknown code draws nothing";
  EXPECT_EQ(Buffer.GetCell(4, 3).Fg, Sgr("\x1b[32m"));
  EXPECT_TRUE(Buffer.GetCell(7, 3).Blink) << "colour 0x84 blinks";
  EXPECT_EQ(Buffer.GetCell(4, 4).Fg, Sgr("\x1b[1;34m")) << "Saturday's attribute 9";
  Feed(Cmd("#MAT_1_2_3_1_1_1_1_1_1"));
  EXPECT_EQ(Row(3).substr(4), ".. ~~~TT") << "variant A and visible cells";

  Feed(Cmd("#O_40_2_3_4_5_6_17_3"));
  EXPECT_EQ(Row(3).substr(39), "HP:40 AC:17");
  EXPECT_EQ(Row(4).substr(39), "Hungry");
  EXPECT_EQ(Buffer.GetCell(39, 4).Fg, Sgr("\x1b[1;31m")) << "hunger level 3 in attribute 12";
  Feed(Cmd("#O_1_2_3_4_5_6_7_4"));
  EXPECT_TRUE(Buffer.GetCell(39, 4).Blink) << "level 4 blinks";

  Feed(Cmd("#D_2"));
  EXPECT_EQ(Row(9).substr(2), "Rolling hills");
  EXPECT_EQ(Row(10).substr(2), "stretch to the east.");
  Feed(Cmd("#D_3"));
  EXPECT_EQ(Row(9).substr(2), "Dense forest.");
  EXPECT_EQ(Row(10), "") << "a one-line description blanks the second row";
  Feed(Cmd("#D_2") + Cmd("#P"));
  EXPECT_EQ(Row(9) + Row(10), "");
  Feed(Cmd("#D_2") + Cmd("#D_16"));
  EXPECT_EQ(Row(9) + Row(10), "") << "codes outside 2..15 only blank";
}

TEST_F(OOIIBench, SoundCuesPlayTheGamesWaveFiles) {
  Install(Program, "ooii/screens.txt", kScreens);
  for (const char* name : {"door", "first", "second", "yes", "no"})
    Install(Program, std::string("ooii/sounds/") + name + ".wav", "RIFF");
  Install(Door, "ooii/Sounds/DOOR.WAV", "RIFF");
  Connect(Door.Path());
  Feed(kBanner1);
  const struct Row {
    std::string Cue;
    int Pick;
    std::vector<std::string> Played;
  } rows[] = {
      {"1", 0, {Door.File("ooii/Sounds/DOOR.WAV")}},
      {"3", 0, {Program.File("ooii/sounds/first.wav"), Program.File("ooii/sounds/second.wav")}},
      {"5", 1, {Program.File("ooii/sounds/no.wav")}},
      {"5", 0, {Program.File("ooii/sounds/yes.wav")}},
      {"a", 0, {}},   // not a cue character
      {"Q", 0, {}},   // a cue without a sound in the texts
      {"P", 0, {}},   // a name that leaves the folder is refused
  };
  for (const Row& r : rows) {
    Played.clear();
    Pick = r.Pick;
    EXPECT_EQ(Feed(Cmd("$" + r.Cue + "$")), "") << r.Cue;
    EXPECT_EQ(Played, r.Played) << r.Cue;
  }
  EXPECT_NE(Log().find("OOII: PlaySound FOUND - " + Door.File("ooii/Sounds/DOOR.WAV")), std::string::npos);
  EXPECT_NE(Log().find("OOII: asset MISSING - tried: " + Door.File("ooii/sounds/../../escape.wav")), std::string::npos);
}

TEST_F(OOIIBench, OversizedOrBrokenGameFilesAreRefused) {
  Install(Program, "ooii/banner2.bin", std::string(kMaxOOIIBannerBytes + 1, '\xDB'));
  Install(Program, "ooii/screens.txt", std::string(kMaxOOIIScreensBytes + 1, 'x'));
  Connect();
  EXPECT_TRUE(Parser->Data.Banner2.empty());
  EXPECT_TRUE(Parser->Data.Screens.empty());
  EXPECT_NE(Log().find("ooii/banner2.bin refused"), std::string::npos);

  // A huge art file is not read; a field that never ends keeps its first
  // characters only.
  Install(Program, "ooii/art/cmenus/m1_0.bin", std::string(kMaxOOIIArtBytes + 1, 'A'));
  Install(Program, "ooii/screens.txt", "[location b]\nfields 1\nline <%1>\n\n[bar]\nnonsense verb\nat x y\n");
  Connect();
  Feed(kBanner1 + Cmd("A"));
  EXPECT_EQ(Row(0), "");
  Feed(Cmd("b_" + std::string(1000, 'n')));
  EXPECT_EQ(Row(0) + Row(1) + Row(2) + Row(3).substr(0, 16),
            "<" + std::string(kMaxOOIIFieldChars, 'n') + ">") << Screen();
  EXPECT_TRUE(Parser->Data.Screens["bar"].empty());
  EXPECT_NE(Log().find("screens.txt line 6 skipped: unknown verb"), std::string::npos);
  EXPECT_NE(Log().find("screens.txt line 7 skipped"), std::string::npos);
}

}  // namespace
