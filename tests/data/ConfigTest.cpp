// The settings store: file text in, settings out (with the load rules), a
// save that keeps what the store does not know, the path helpers and the
// function-key macro decoder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "data/uConfig.h"
#include "data/uIniFile.h"
#include "platform/AppFolder.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"


using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

class ConfigTest : public ::testing::Test {
 protected:
  // A store loaded from the given file text.
  TAppConfig Loaded(const std::string& text) {
    WriteWholeFile(Path, text);
    TAppConfig config(Path);
    EXPECT_TRUE(config.Load()) << config.LastError();
    return config;
  }
  TempDir Dir;
  std::string Path = Dir.File("korvan_config.ini");
};

TDateTime Today() { return std::floor(NowDateTime()); }

TEST_F(ConfigTest, NoFileKeepsDefaultsAndTheMomentOfCreation) {
  TAppConfig config(Path);
  TDateTime created = config.LastPhonebookBackup;
  EXPECT_TRUE(config.Load());
  EXPECT_EQ(config.LastPhonebookBackup, created);
  EXPECT_NEAR(created, NowDateTime(), 1.0 / 24);
  EXPECT_EQ(config.DownloadDir, ".");
  EXPECT_EQ(config.DDOFXDir, "doors/ddofx");
  EXPECT_EQ(config.ScreenScale, 2.5);
  EXPECT_EQ(config.VideoStartDelayMs, 2500);
  EXPECT_TRUE(config.ShowStatusBar);
}

TEST_F(ConfigTest, NegativeDelayBecomesZeroAndTheRestStaysDefault) {
  TAppConfig config = Loaded("[Config]\nAsciiLineDelayMs=-5\n");
  EXPECT_EQ(config.AsciiLineDelayMs, 0);
  EXPECT_EQ(config.DefaultTermType, "ANSI-BBS");
  EXPECT_EQ(config.GuideArchiveName, "ibbs%MMYY%.zip");
  EXPECT_TRUE(config.Zmodem8K);
  EXPECT_TRUE(config.ApcAudioEnabled);
  EXPECT_EQ(config.ScreenScale, 2.5);
  // With a file, a missing backup date reads as 91 days ago, so a backup is due.
  EXPECT_EQ(config.LastPhonebookBackup, Today() - 91);
}

TEST_F(ConfigTest, LoadRules) {
  TAppConfig config = Loaded(
      "[Config]\nGuideArchiveName=   \nDownloadDir=dl\\boards\nCaptureDir=\\captures\n"
      "[Debug]\nVideoStartDelayMs=-1\nDoorFramePaceMs=-20\nRawLog=1\n"
      "[ExternalDoors]\nWorkDir=doors\\work\nCommand10=dosbox %HOST%\n"
      "[FKeys]\nF1=abc\\r\n[ScriptKeys]\nShiftF10=login.kvs\n[Transfers]\nDDOFXDir=d\\x\nZmodem8K=0\n");
  EXPECT_EQ(config.GuideArchiveName, "ibbs%MMYY%.zip");
  EXPECT_EQ(config.DownloadDir, "dl/boards");
  EXPECT_EQ(config.CaptureDir, "/captures");
  EXPECT_EQ(config.WorkDir, "doors/work");
  EXPECT_EQ(config.DDOFXDir, "d/x");
  EXPECT_EQ(config.VideoStartDelayMs, 0);
  EXPECT_EQ(config.DoorFramePaceMs, 0);
  EXPECT_TRUE(config.RawLog);
  EXPECT_FALSE(config.Zmodem8K);
  EXPECT_EQ(config.Command[9], "dosbox %HOST%");
  EXPECT_EQ(config.FKey[0], "abc\\r");  // decoded only when sent
  EXPECT_EQ(config.ShiftF[9], "login.kvs");
}

TEST_F(ConfigTest, ScreenScaleSnapsToHalfStepsWithin1To3) {
  const std::pair<const char*, double> rows[] = {
      {"1.2", 1.0}, {"1.3", 1.5}, {"1.25", 1.0}, {"1.75", 2.0}, {"0.4", 1.0},
      {"7", 3.0},   {"1,5", 1.5}, {"2", 2.0},    {"abc", 2.5}, {"nan", 2.5}, {"-3", 1.0},
  };
  for (const auto& [text, expected] : rows)
    EXPECT_EQ(Loaded(std::string("[Config]\nScreenScale=") + text + "\n").ScreenScale, expected) << text;
}

TEST_F(ConfigTest, BackupDate) {
  TDateTime may1;
  ASSERT_TRUE(TryEncodeDate(2024, 5, 1, may1));
  const std::pair<const char*, TDateTime> rows[] = {
      {"2024-05-01", may1},
      {"2024-02-30", -1},   // no such day: now
      {"2024/05/01", -1},   // wrong separators: now
      {"2024-5-1", -1},     // not ten characters: now
      {"2024-ab-01", -1},   // month read as 0: now
  };
  for (const auto& [text, expected] : rows) {
    TDateTime value = Loaded(std::string("[Config]\nLastPhonebookBackup=") + text + "\n").LastPhonebookBackup;
    if (expected >= 0) EXPECT_EQ(value, expected) << text;
    else EXPECT_NEAR(value, NowDateTime(), 1.0 / 86400 * 5) << text;
  }
}

TEST_F(ConfigTest, EverySettingSurvivesSaveAndLoad) {
  TAppConfig config(Path);
  config.DefaultTermType = "VT100";
  config.DownloadDir = "/home/me/dl";
  config.UploadDir = "up";
  config.RawLog = true;
  config.Zmodem8K = false;
  config.DDOFXDir = "ddofx";
  config.DDOFXDeleteZips = false;
  config.VideoStartDelayMs = 10;
  config.ApcAudioEnabled = false;
  config.DoorFramePaceMs = 7;
  config.AnsiMusicEnabled = false;
  config.AtasciiLenientCRLF = true;
  config.PetsciiLenientLetters = true;
  config.SkyPixHideFontNames = true;
  config.UpscaledFont = false;
  config.SmoothScaling = false;
  config.AsciiLineDelayMs = 0;
  config.GuideArchiveName = "https://example.invalid/list%MMYY%.zip";
  config.ScreenScale = 1.5;
  config.ScreenScaleFullScreen = true;
  ASSERT_TRUE(TryEncodeDate(2023, 12, 24, config.LastPhonebookBackup));
  config.CaptureDir = "cap";
  for (size_t i = 0; i < 10; ++i) {
    config.Command[i] = "door" + std::to_string(i) + " %PORT%";
    config.FKey[i] = "^M" + std::to_string(i);
    config.ShiftF[i] = "script" + std::to_string(i);
  }
  config.WorkDir = "work";
  config.ComPort = "TCP:2323";
  config.ScreenReaderMode = true;
  config.ShowStatusBar = false;
  config.PromptOnlyMode = true;
  config.UseGuidePhonebook = true;
  ASSERT_TRUE(config.Save()) << config.LastError();

  TAppConfig back(Path);
  ASSERT_TRUE(back.Load());
  EXPECT_EQ(back.DefaultTermType, config.DefaultTermType);
  EXPECT_EQ(back.DownloadDir, config.DownloadDir);
  EXPECT_EQ(back.UploadDir, config.UploadDir);
  EXPECT_EQ(back.RawLog, config.RawLog);
  EXPECT_EQ(back.Zmodem8K, config.Zmodem8K);
  EXPECT_EQ(back.DDOFXDir, config.DDOFXDir);
  EXPECT_EQ(back.DDOFXDeleteZips, config.DDOFXDeleteZips);
  EXPECT_EQ(back.VideoStartDelayMs, config.VideoStartDelayMs);
  EXPECT_EQ(back.ApcAudioEnabled, config.ApcAudioEnabled);
  EXPECT_EQ(back.DoorFramePaceMs, config.DoorFramePaceMs);
  EXPECT_EQ(back.AnsiMusicEnabled, config.AnsiMusicEnabled);
  EXPECT_EQ(back.AtasciiLenientCRLF, config.AtasciiLenientCRLF);
  EXPECT_EQ(back.PetsciiLenientLetters, config.PetsciiLenientLetters);
  EXPECT_EQ(back.SkyPixHideFontNames, config.SkyPixHideFontNames);
  EXPECT_EQ(back.UpscaledFont, config.UpscaledFont);
  EXPECT_EQ(back.SmoothScaling, config.SmoothScaling);
  EXPECT_EQ(back.AsciiLineDelayMs, config.AsciiLineDelayMs);
  EXPECT_EQ(back.GuideArchiveName, config.GuideArchiveName);
  EXPECT_EQ(back.ScreenScale, config.ScreenScale);
  EXPECT_EQ(back.ScreenScaleFullScreen, config.ScreenScaleFullScreen);
  EXPECT_EQ(back.LastPhonebookBackup, config.LastPhonebookBackup);
  EXPECT_EQ(back.CaptureDir, config.CaptureDir);
  EXPECT_EQ(back.Command, config.Command);
  EXPECT_EQ(back.WorkDir, config.WorkDir);
  EXPECT_EQ(back.ComPort, config.ComPort);
  EXPECT_EQ(back.ScreenReaderMode, config.ScreenReaderMode);
  EXPECT_EQ(back.ShowStatusBar, config.ShowStatusBar);
  EXPECT_EQ(back.PromptOnlyMode, config.PromptOnlyMode);
  EXPECT_EQ(back.UseGuidePhonebook, config.UseGuidePhonebook);
  EXPECT_EQ(back.FKey, config.FKey);
  EXPECT_EQ(back.ShiftF, config.ShiftF);
}

TEST_F(ConfigTest, FreshFileHoldsSectionsInSaveOrder) {
  TAppConfig config(Path);
  ASSERT_TRUE(config.Save());
  TIniFile ini;
  std::string error;
  ASSERT_EQ(ini.LoadFromFile(Path, error), TReadResult::Ok);
  EXPECT_EQ(ini.SectionNames(),
            (std::vector<std::string>{"Config", "ExternalDoors", "FKeys", "ScriptKeys", "Debug", "Transfers"}));
  EXPECT_EQ(ini.ReadString("Config", "ScreenScale", ""), "2.5");
  EXPECT_EQ(ini.ReadString("Config", "LastPhonebookBackup", "").size(), 10u);
  EXPECT_EQ(ini.ReadString("Config", "AnsiMusicEnabled", ""), "1");
}

TEST_F(ConfigTest, FreshFileText) {
  TAppConfig config(Path);
  ASSERT_TRUE(TryEncodeDate(2024, 5, 1, config.LastPhonebookBackup));
  config.LastPhonebookBackup += 0.75;  // the time of day is not stored
  config.Command[0] = "dosbox -c \"serial1 nullmodem\"";
  config.FKey[9] = "bye\\r";
  ASSERT_TRUE(config.Save());
  EXPECT_EQ(ReadWholeFile(Path),
            "[Config]\nDefaultTermType=ANSI-BBS\nDownloadDir=.\nUploadDir=.\nAnsiMusicEnabled=1\n"
            "AtasciiLenientCRLF=0\nPetsciiLenientLetters=0\nSkyPixHideFontNames=0\nUpscaledFont=1\n"
            "SmoothScaling=1\nAsciiLineDelayMs=100\nGuideArchiveName=ibbs%MMYY%.zip\nScreenScale=2.5\n"
            "ScreenScaleFullScreen=0\nLastPhonebookBackup=2024-05-01\nCaptureDir=\nScreenReaderMode=0\n"
            "ShowStatusBar=1\nUseGuidePhonebook=0\nPromptOnlyMode=0\n"
            "\n[ExternalDoors]\nWorkDir=\nComPort=\nCommand1=dosbox -c \"serial1 nullmodem\"\nCommand2=\n"
            "Command3=\nCommand4=\nCommand5=\nCommand6=\nCommand7=\nCommand8=\nCommand9=\nCommand10=\n"
            "\n[FKeys]\nF1=\nF2=\nF3=\nF4=\nF5=\nF6=\nF7=\nF8=\nF9=\nF10=bye\\r\n"
            "\n[ScriptKeys]\nShiftF1=\nShiftF2=\nShiftF3=\nShiftF4=\nShiftF5=\nShiftF6=\nShiftF7=\n"
            "ShiftF8=\nShiftF9=\nShiftF10=\n"
            "\n[Debug]\nRawLog=0\nVideoStartDelayMs=2500\nApcAudioEnabled=1\nDoorFramePaceMs=0\n"
            "\n[Transfers]\nZmodem8K=1\nDDOFXDir=doors/ddofx\nDDOFXDeleteZips=1\n");
}

TEST_F(ConfigTest, SaveKeepsWhatTheStoreDoesNotKnow) {
  TAppConfig config = Loaded(
      "; my notes\n[Config]\nFutureSetting=42\nShowStatusBar=1\n\n[Plugins]\nName=extra\n");
  config.ShowStatusBar = false;
  ASSERT_TRUE(config.Save()) << config.LastError();
  std::string text = ReadWholeFile(Path);
  EXPECT_EQ(text.rfind("; my notes\n[Config]\nFutureSetting=42\nShowStatusBar=0\n", 0), 0u) << text;
  TIniFile ini;
  ini.Parse(text);
  EXPECT_EQ(ini.ReadString("Plugins", "Name", ""), "extra");
  EXPECT_EQ(ini.SectionNames().at(1), "Plugins");
}

// Settings saved as UTF-16 by a Windows editor, or with CR-only line ends,
// read as the same settings; a save writes them back as 8-bit text with what
// the store does not know still in place.
TEST_F(ConfigTest, Utf16AndCrOnlyFilesRead) {
  const std::string text = "; mine\r\n[Config]\r\nDownloadDir=/srv/in\r\nFuture=1\r\n[FKeys]\r\nF1=hello\r\n";
  std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF", crOnly;
  for (char c : text) {
    utf16le += {c, '\0'};
    utf16be += {'\0', c};
    if (c != '\n') crOnly += c;
  }
  for (const std::string* file : {&utf16le, &utf16be, &crOnly}) {
    TAppConfig config = Loaded(*file);
    EXPECT_EQ(config.DownloadDir, "/srv/in");
    EXPECT_EQ(config.FKey[0], "hello");
    ASSERT_TRUE(config.Save()) << config.LastError();
    const std::string saved = ReadWholeFile(Path);
    EXPECT_EQ(saved.rfind("; mine\n[Config]\nDownloadDir=/srv/in\nFuture=1\n", 0), 0u) << saved;
    TAppConfig back(Path);
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(back.FKey[0], "hello");
  }
}

// crudini edits the file we wrote; the edit reads back, and our next save
// keeps what crudini added.
TEST_F(ConfigTest, FileEditedByCrudini) {
  TAppConfig config(Path);
  ASSERT_TRUE(config.Save());
  for (const auto& [section, key, value] : {std::array<const char*, 3>{"Config", "ScreenScale", "1,5"},
                                            std::array<const char*, 3>{"FKeys", "F2", "^[[A"},
                                            std::array<const char*, 3>{"Extra", "Kept", "yes"}}) {
    PeerResult run = RunPeer({"crudini", "--set", Path, section, key, value});
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
  }
  TAppConfig back(Path);
  ASSERT_TRUE(back.Load());
  EXPECT_EQ(back.ScreenScale, 1.5);
  EXPECT_EQ(back.FKey[1], "^[[A");
  EXPECT_EQ(DecodeKeyMacro(back.FKey[1]), "\x1b[A");
  back.RawLog = true;
  ASSERT_TRUE(back.Save());
  TIniFile ini;
  ini.Parse(ReadWholeFile(Path));
  EXPECT_EQ(ini.ReadString("Extra", "Kept", ""), "yes");
  EXPECT_EQ(ini.ReadString("Debug", "RawLog", ""), "1");
}

TEST_F(ConfigTest, UnreadableFileIsReportedAndNotWrittenOver) {
  ASSERT_EQ(mkdir(Path.c_str(), 0755), 0);
  WriteWholeFile(Path + "/inside", "x");
  TAppConfig config(Path);
  EXPECT_FALSE(config.Load());
  EXPECT_NE(config.LastError().find("korvan_config.ini"), std::string::npos);
  EXPECT_EQ(config.ScreenScale, 2.5);
  EXPECT_FALSE(config.Save());
  EXPECT_NE(config.LastError().find("not saved"), std::string::npos) << config.LastError();
  EXPECT_EQ(ReadWholeFile(Path + "/inside"), "x");
}

TEST_F(ConfigTest, FailedWriteIsReportedAndKeepsTheOldFile) {
  const std::string old = "[Config]\nShowStatusBar=1\n";
  WriteWholeFile(Path, old);
  ASSERT_EQ(mkdir((Path + ".tmp").c_str(), 0755), 0);
  WriteWholeFile(Path + ".tmp/inside", "x");
  TAppConfig config(Path);
  config.ShowStatusBar = false;
  EXPECT_FALSE(config.Save());
  EXPECT_FALSE(config.LastError().empty());
  EXPECT_EQ(ReadWholeFile(Path), old);
}

struct PathRow {
  const char* Path;
  bool Absolute;
  const char* Resolved;  // against base "/prog/"; "~" stands for the home folder
};

TEST(PathTest, AbsoluteAndResolved) {
  setenv("HOME", "/home/tester", 1);
  const PathRow rows[] = {
      {"/temp", true, "/temp"},
      {"\\temp", true, "/temp"},
      {"~/dl", true, "/home/tester/dl"},
      {"~\\dl", true, "/home/tester/dl"},
      {"scripts\\", false, "/prog/scripts/"},
      {"temp\\x", false, "/prog/temp/x"},
      {".", false, "/prog/."},
      {"C:x", false, "/prog/C:x"},
      {"~x", false, "/prog/~x"},
      {"", false, "/prog/"},
  };
  for (const PathRow& row : rows) {
    EXPECT_EQ(IsAbsolutePath(row.Path), row.Absolute) << row.Path;
    EXPECT_EQ(ResolvePath("/prog/", row.Path), row.Resolved) << row.Path;
  }
  platform::SetAppFolder("/opt/korvan");
  EXPECT_EQ(ResolvePath("scripts\\login.kvs"), "/opt/korvan/scripts/login.kvs");
  platform::SetAppFolder("");
}

struct MacroRow {
  const char* Name;
  std::string Text;
  std::string Bytes;
};

TEST(DecodeKeyMacroTest, Rows) {
  const MacroRow rows[] = {
      {"EscapeR", "abc\\r", "abc\r"},
      {"HexEscape", "\\x1B[A", "\x1b[A"},
      {"HexUpperX", "\\X0d", "\r"},
      {"HexNotDigits", "\\xZ1", "\\xZ1"},
      {"HexTooShort", "\\x1", "\\x1"},
      {"CaretUpper", "^M", "\r"},
      {"CaretLower", "^m", "\r"},
      {"CaretAt", "^@", std::string(1, '\0')},
      {"CaretBracket", "^[", "\x1b"},
      {"CaretDigit", "^1", "^1"},
      {"UnknownEscape", "\\q", "\\q"},
      {"TrailingBackslash", "ab\\", "ab\\"},
      {"TrailingCaret", "ab^", "ab^"},
      {"AllNamedEscapes", "\\n\\t\\b\\e\\\\\\^", "\n\t\b\x1b\\^"},
      {"HighByteKept", "\xB0", "\xB0"},
  };
  for (const MacroRow& row : rows) EXPECT_EQ(DecodeKeyMacro(row.Text), row.Bytes) << row.Name;
  EXPECT_EQ(HexDigitValue('f'), 15);
  EXPECT_EQ(HexDigitValue('G'), -1);
}

}  // namespace
