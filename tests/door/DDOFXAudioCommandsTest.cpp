// The door's audio commands on the interpreter: music and its controls,
// themes, sound-bite libraries, multi-part samples, raw sound files and the
// phoneme speech file, with every file the door names found, read, written
// or deleted only inside the asset folder.
#include <chrono>
#include <filesystem>

#include "tests/door/DDOFXTestSupport.h"
#include "tests/door/TrackerFiles.h"

using namespace ddofxtest;
using namespace trackertest;

namespace {

std::string Module() {
  TPattern p = EmptyPattern(4);
  TCell c;
  c.Period = 428;
  c.Sample = 1;
  At(p, 4, 0, 0) = c;
  TSampleSpec s;
  s.Data = Sine(32, 16);
  s.LoopLength = int(s.Data.size());
  return MakeMod("M.K.", 4, {s}, {0, 0, 0}, {p});
}

std::string Bytes(char c, size_t n) { return std::string(n, c); }

class DDOFXAudioCommandsTest : public DDOFXBench {
 protected:
  DDOFXAudioCommandsTest() {
    Parser->OnSoundWake = [this] { ++Wakes; };
  }
  void PutAsset(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(testsupport::WriteWholeFile(Assets.File(name), bytes));
  }
  TDDOFXAudio& Audio() { return Parser->Audio; }
  // The data of the sound voice V plays (its chunks joined) and its step.
  std::string Playing(int v = 0) {
    std::string all;
    for (const TSfxChunk& c : Audio().Voice(v).Chunks) all += *c;
    return Audio().Voice(v).Active ? all : std::string();
  }
  double Rate(int v = 0) { return Audio().Voice(v).Step * 44100; }
  void Mix(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    Audio().Mix(out.data(), frames);
  }

  int Wakes = 0;
};

// ---------------------------------------------------------------------------
// Music

TEST_F(DDOFXAudioCommandsTest, MusicStartsOnceAndStops) {
  PutAsset("Tune.MOD", Module());
  Run("mtune.mod");
  EXPECT_TRUE(Audio().Playing());
  EXPECT_EQ("TUNE.MOD", Parser->MusicName());
  EXPECT_EQ(1, Wakes);
  EXPECT_EQ(1u, LogCount("DDOFX: music tune.mod (" + std::to_string(Module().size()) + " bytes)"));
  Mix(882 * 20);
  const TModPosition before = Audio().Position();
  // The same name while it plays goes on without a restart.
  Run("m TUNE.MOD ");
  EXPECT_EQ(before.Row, Audio().Position().Row);
  EXPECT_EQ(1, Wakes);
  Run("dGETMUSIC");
  EXPECT_EQ("TUNE.MOD\xFF", TakeSent());
  Run("mnone");
  EXPECT_FALSE(Audio().Playing());
  Run("dGETMUSIC");
  EXPECT_EQ("NONE\xFF", TakeSent());
  // Stopped, the same name starts again.
  Run("mtune.mod");
  EXPECT_TRUE(Audio().Playing());
  Run("m0");
  EXPECT_FALSE(Audio().Playing());
}

TEST_F(DDOFXAudioCommandsTest, MusicFailuresAreLogged) {
  PutAsset("song.cmf", "CTMF" + Bytes('x', 300));
  Run("mmissing.mod");
  EXPECT_EQ(1u, LogCount("DDOFX: LOAD MUSIC {mmissing.mod} - file not found in \"" + Assets.Path() + "\""));
  Run("msong.cmf");
  EXPECT_EQ(1u, LogCount("DDOFX: LOAD MUSIC {msong.cmf} - not a MOD/S3M (CMF is not supported)"));
  EXPECT_EQ("", Parser->MusicName());
  EXPECT_EQ(0, Wakes);
}

TEST_F(DDOFXAudioCommandsTest, MusicRightAfterLeavingGraphicsModeIsNotPlayed) {
  PutAsset("a.mod", Module());
  PutAsset("b.mod", Module());
  Engine->Graphics = true;
  Run("ma.mod");
  Engine->Graphics = false;
  Run("2GEXIT");
  EXPECT_FALSE(Audio().Playing()) << "music started in graphics mode ends with it";
  NowMs += 4999;
  Run("mb.mod");
  EXPECT_FALSE(Audio().Playing());
  EXPECT_EQ(1u, LogCount("DDOFX: LOAD MUSIC {mb.mod} right after the door left graphics mode - not played"));
  NowMs += 1;
  Run("mb.mod");
  EXPECT_TRUE(Audio().Playing());
  // Started with graphics mode off, it outlives the next exit.
  Run("2GEXIT");
  EXPECT_TRUE(Audio().Playing());
}

TEST_F(DDOFXAudioCommandsTest, MusicControls) {
  PutAsset("a.mod", Module());
  Run("ma.mod");
  struct Row {
    const char* Command;
    int Volume;
  };
  for (const Row& row : {Row{"MSVOL,30", 30}, Row{"MMVOL,-10", 20}, Row{"MMVOL, 7 ", 27}, Row{"MSVOL,loud", 64},
                         Row{"MMVOL,x", 64}, Row{"MSVOL,-3", 0}, Row{"MMVOL,2147483647", 64},
                         Row{"MMVOL,-2147483648", 0}, Row{"MSVOL,99", 64}}) {
    Run(row.Command);
    EXPECT_EQ(row.Volume, Audio().GetVolume()) << row.Command;
  }
  Run("MGVOL");
  EXPECT_EQ("64\xFF", TakeSent());
  Run("MICMF");
  EXPECT_EQ("N\xFF", TakeSent());

  Run("MMPAT,1");
  EXPECT_EQ(1, Audio().Position().Order);
  Run("MMPAT,5");
  EXPECT_EQ(2, Audio().Position().Order);
  Run("MMPAT,back");
  EXPECT_EQ(1, Audio().Position().Order);

  const int wakes = Wakes;
  Run("MMPR");
  EXPECT_TRUE(Audio().Paused());
  EXPECT_EQ(wakes + 1, Wakes);
  Run("MMPR");
  EXPECT_FALSE(Audio().Paused());
}

TEST_F(DDOFXAudioCommandsTest, MusicLevelsReachTheEngine) {
  PutAsset("a.mod", Module());
  EXPECT_EQ(-1, Engine->OnMusicLevel(0));
  Run("ma.mod");
  Mix(882);
  EXPECT_EQ(64, Engine->OnMusicLevel(0));
  EXPECT_EQ(0, Engine->OnMusicLevel(3));
  EXPECT_EQ(-1, Engine->OnMusicLevel(4));
}

// ---------------------------------------------------------------------------
// Themes, bites, samples

TEST_F(DDOFXAudioCommandsTest, ThemeSamplesStopAtTheFirstGap) {
  PutAsset("THEME.PAK", MakePack({{"SAM1.SAM", "one"}, {"SAM2.SAM", "two"}, {"SAM3.SAM", "three"}, {"SAM5.SAM", "five"}}));
  Run("ttheme.pak");
  EXPECT_EQ(3u, Parser->ThemeSamples().size());
  EXPECT_EQ(1u, LogCount("DDOFX: theme theme.pak - 3 samples"));
  Run("dGETTHEME");
  EXPECT_EQ("THEME.PAK\xFF", TakeSent());
  Run("p4");
  EXPECT_EQ("", Playing());
  Run("p 2");
  EXPECT_EQ("two", Playing());
  EXPECT_DOUBLE_EQ(8500, Rate());
  Run("P3,22050");
  EXPECT_EQ("three", Playing(1));
  EXPECT_DOUBLE_EQ(22050, Rate(1));
  Run("tmissing.pak");
  EXPECT_EQ(1u, LogCount("DDOFX: LOAD BBS THEME {tmissing.pak} - file not found in \"" + Assets.Path() + "\""));
  EXPECT_EQ("THEME.PAK", Parser->ThemeName());
  Run("tNONE");
  EXPECT_EQ("", Parser->ThemeName());
  EXPECT_TRUE(Parser->ThemeSamples().empty());
}

TEST_F(DDOFXAudioCommandsTest, SoundBiteLibraries) {
  PutAsset("BITES.LIB", MakePack({{"SAM1.SAM", "b1"}, {"SAM2.SAM", "b2"}, {"SAM3.SAM", "b3"}, {"SAM7.SAM", "b7"}}));
  PutAsset("T.PAK", MakePack({{"SAM1.SAM", "t1"}, {"SAM2.SAM", "t2"}}));
  Run("tbLOAD");
  EXPECT_EQ(1u, LogCount("DDOFX: sound bites {tbLOAD} - no library file \"\""));
  Run("tT.PAK");
  Run("tbload");
  ASSERT_EQ(2u, Parser->Bites().size());
  EXPECT_EQ("t1", *Parser->Bites()[0]);
  Run("tb,bites.lib");
  Run("tbLOAD");
  ASSERT_EQ(3u, Parser->Bites().size());
  EXPECT_EQ("b3", *Parser->Bites()[2]);
  Run("tb7");
  ASSERT_EQ(4u, Parser->Bites().size());
  EXPECT_EQ("b7", *Parser->Bites()[3]);
  Run("tb9");
  EXPECT_EQ(4u, Parser->Bites().size());

  struct Row {
    const char* Command;
    const char* Data;
    double Rate;
  };
  for (const Row& row : {Row{"pb2", "b2", 8500}, Row{"PB2,500", "b2", 8500}, Row{"PB 4 , 200000", "b7", 96000},
                         Row{"PB3,11025", "b3", 11025}, Row{"PB1", "b1", 8500}, Row{"PBx,11025", "", 0},
                         Row{"pb5", "", 0}}) {
    Audio().StopSamples();
    Run(row.Command);
    EXPECT_EQ(row.Data, Playing()) << row.Command;
    if (row.Rate > 0) {
      EXPECT_DOUBLE_EQ(row.Rate, Rate()) << row.Command;
    }
  }
  // Animation frames ask for bites through the engine.
  Audio().StopSamples();
  Engine->OnPlayBite(4, 300000);
  EXPECT_EQ("b7", Playing());
  EXPECT_DOUBLE_EQ(96000, Rate());
  // With the sound switched off nothing starts.
  Audio().StopSamples();
  Audio().FEnabled = false;
  Run("pb1");
  EXPECT_EQ("", Playing());
  Audio().FEnabled = true;
  Run("tbUNLOAD");
  EXPECT_TRUE(Parser->Bites().empty());
  Run("tbLOAD");
  Run("2GEXIT");
  EXPECT_TRUE(Parser->Bites().empty()) << "leaving graphics mode forgets the bites and their library";
  Run("tbLOAD");
  EXPECT_EQ("t1", *Parser->Bites()[0]) << "the theme is the library again";
}

TEST_F(DDOFXAudioCommandsTest, MultiPartSamples) {
  PutAsset("T.PAK", MakePack({{"PARTA", "aa"}, {"PARTB", "bb"}, {"PARTC", "cc"}, {"DRUM1.SAM", "d1"},
                              {"DRUM2.SAM", "d2"}}));
  Run("tT.PAK");
  Run("6DEFBSND,4,3");
  Run("6ADDBSND,4,PARTA");
  Run("6ADDBSND,4,PARTB");
  Run("6PLAYBS,4");
  EXPECT_EQ("", Playing()) << "two of three parts";
  Run("6ADDBSND,4,PARTC");
  Run("6ADDBSND,4,PARTA");
  EXPECT_EQ(3u, Parser->BigSample(4).Parts.size());
  Run("6PLAYBS,4");
  EXPECT_EQ("aabbcc", Playing());
  EXPECT_DOUBLE_EQ(8000, Rate());
  EXPECT_EQ(4, Audio().Voice(0).Id);
  Run("6CHECKBS,4");
  EXPECT_EQ("1\xFF", TakeSent());
  Mix(44100);
  Run("6CHECKBS,4");
  EXPECT_EQ("0\xFF", TakeSent());
  for (const char* c : {"6CHECKBS,151", "6CHECKBS,9", "6CHECKBS", "6CHECKBS,x"}) {
    Run(c);
    EXPECT_EQ("N/A\xFF", TakeSent()) << c;
  }
  // Rates: the default, too low, and (held like every door rate) too high.
  struct Row {
    const char* Command;
    double Rate;
  };
  for (const Row& row : {Row{"6PLAYBS,4,11025", 11025}, Row{"6PLAYBS,4,500", 8000}, Row{"6PLAYBS,4,x", 8000},
                         Row{"6PLAYBS,4,5000000", 96000}}) {
    Audio().StopSamples();
    Run(row.Command);
    EXPECT_DOUBLE_EQ(row.Rate, Rate()) << row.Command;
  }
  Run("6LBSOUND,5,DRUM");
  EXPECT_EQ(2, Parser->BigSample(5).Count);
  Run("6LBSOUND,6,NOPE");
  EXPECT_EQ(1u, LogCount("DDOFX: {6LBSOUND,6,NOPE} - no parts in theme \"T.PAK\""));
  Run("6UNLOADBS,5");
  EXPECT_TRUE(Parser->BigSample(5).Parts.empty());
  Run("6ADDBSND,0");
  EXPECT_TRUE(Parser->BigSample(4).Parts.empty());
}

TEST_F(DDOFXAudioCommandsTest, RawSoundFiles) {
  PutAsset("Zap.Raw", "zap!");
  Run("MPREAL,zap.raw");
  EXPECT_EQ("zap!", Playing());
  EXPECT_DOUBLE_EQ(8000, Rate());
  Run("MPREAL, ZAP.RAW , 16000");
  EXPECT_EQ("zap!", Playing(1));
  EXPECT_DOUBLE_EQ(16000, Rate(1));
  Run("MPREAL,zap.raw,10");
  EXPECT_DOUBLE_EQ(8500, Rate(2));
  Run("MPREAL,gone.raw");
  EXPECT_EQ(1u, LogCount("DDOFX: MPREAL gone.raw - file not found"));
}

TEST_F(DDOFXAudioCommandsTest, PhonemeSpeechFile) {
  PutAsset("SPEECH.LIB", MakePack({{"H.SND", "hh"}, {"E.SND", "ee"}, {"L.SND", "ll"}, {"O.SND", "oo"},
                                   {"PAUSE.SND", "12345678"}}));
  Run("MTALK,speech.lib,OUT.SND,H-e- l -o-x-p2,1");
  EXPECT_EQ("hheelloo1234", testsupport::ReadWholeFile(Assets.File("OUT.SND")));
  Run("MTALK,speech.lib,out.snd,p4-o,0");
  EXPECT_EQ("hheelloo123412oo", testsupport::ReadWholeFile(Assets.File("OUT.SND")));
  Run("MTALK,speech.lib,out.snd,o");
  EXPECT_EQ("oo", testsupport::ReadWholeFile(Assets.File("OUT.SND")));
  Run("MTALK,speech.lib,out.snd,,3");
  EXPECT_FALSE(std::filesystem::exists(Assets.File("OUT.SND")));
  Run("MTALK,nolib.lib,out.snd,h");
  EXPECT_EQ(1u, LogCount("DDOFX: MTALK - phoneme file \"nolib.lib\" not found"));
  EXPECT_FALSE(std::filesystem::exists(Assets.File("out.snd")));
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(Assets.Path())) left.push_back(e.path().filename());
  EXPECT_EQ(std::vector<std::string>{"SPEECH.LIB"}, left) << "no temporary file is left behind";
}

TEST_F(DDOFXAudioCommandsTest, NoNameReachesOutsideTheAssetFolder) {
  testsupport::TempDir outside;
  const std::string victim = outside.File("victim.snd");
  const std::string mod = Module();
  const std::string lib = MakePack({{"H.SND", "hh"}, {"SAM1.SAM", "s1"}});
  ASSERT_TRUE(testsupport::WriteWholeFile(victim, mod));
  ASSERT_TRUE(testsupport::WriteWholeFile(outside.File("lib.pak"), lib));
  PutAsset("SPEECH.LIB", lib);
  const std::string up = "../" + std::filesystem::path(outside.Path()).parent_path().filename().string() + "/";
  for (const std::string& prefix : {up, outside.Path(), std::string("sub/"), std::string("C:")}) {
    SCOPED_TRACE(prefix);
    for (const std::string& command :
         {"m" + prefix + "victim.snd", "t" + prefix + "lib.pak", "MPREAL," + prefix + "victim.snd",
          "MTALK," + prefix + "lib.pak,out.snd,h,1", "MTALK,speech.lib," + prefix + "victim.snd,h,1",
          "MTALK,speech.lib," + prefix + "victim.snd,h,0", "MTALK,speech.lib," + prefix + "victim.snd,,3"}) {
      Run(command);
      EXPECT_EQ(mod, testsupport::ReadWholeFile(victim)) << command;
    }
    Run("tb," + prefix + "lib.pak");
    Run("tbLOAD");
    EXPECT_TRUE(Parser->Bites().empty());
  }
  EXPECT_FALSE(Audio().Playing());
  EXPECT_EQ("", Playing());
  EXPECT_EQ("", Parser->ThemeName());
  EXPECT_GT(LogCount("refused"), 0u);
}

TEST_F(DDOFXAudioCommandsTest, OverlappingPackEntriesAreHeldToTheTableLimit) {
  // One 12 MiB pack whose hundred entries all name the same bytes: a theme
  // loads what fits in 64 MiB and says so; the bites likewise.
  const size_t big = 12u << 20;
  std::string pack(101 * 24, '\0');
  for (int i = 0; i < 100; ++i) {
    const std::string name = "SAM" + std::to_string(i + 1) + ".SAM";
    pack.replace(size_t(i) * 24, name.size(), name);
    PutLe32(pack, size_t(i) * 24 + 12, uint32_t(101 * 24));
    PutLe32(pack, size_t(i) * 24 + 16, uint32_t(big));
  }
  pack.append(big, '\x11');
  PutAsset("HUGE.PAK", pack);
  Run("thuge.pak");
  EXPECT_EQ(5u, Parser->ThemeSamples().size());
  EXPECT_EQ(1u, LogCount("DDOFX: {thuge.pak} - SAM6.SAM and later sounds not loaded, more than 64 MiB of samples"));
  Run("tbLOAD");
  EXPECT_EQ(5u, Parser->Bites().size());
  // Starting a large bite over and over copies nothing.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20000; ++i) Run("pb1");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ("N/A", Audio().SampleStatus(0));
}

TEST_F(DDOFXAudioCommandsTest, SpeechFileIsHeldTo64MiB) {
  // Six 13 MiB phonemes: four fit, the rest is cut with a log line.
  PutAsset("BIG.LIB", MakePack({{"A.SND", std::string(13u << 20, 'a')}}));
  Run("MTALK,big.lib,OUT.SND,a-a-a-a-a-a,1");
  EXPECT_EQ(uintmax_t(52u << 20), std::filesystem::file_size(Assets.File("OUT.SND")));
  EXPECT_EQ(1u, LogCount("DDOFX: MTALK - speech longer than 64 MiB, cut at \"a\""));
}

TEST_F(DDOFXAudioCommandsTest, ConnectionResetForgetsAllAudio) {
  PutAsset("a.mod", Module());
  PutAsset("T.PAK", MakePack({{"SAM1.SAM", "t1"}, {"P1.SAM", "p"}}));
  Run("ma.mod");
  Run("tT.PAK");
  Run("tbLOAD");
  Run("6LBSOUND,3,P");
  Run("p1");
  Parser->StopAudio();
  EXPECT_FALSE(Audio().Playing());
  EXPECT_FALSE(Audio().IsActive());
  EXPECT_EQ("", Parser->MusicName());
  EXPECT_EQ("", Parser->ThemeName());
  EXPECT_TRUE(Parser->ThemeSamples().empty());
  EXPECT_TRUE(Parser->Bites().empty());
  EXPECT_TRUE(Parser->BigSample(3).Parts.empty());
  Run("tbLOAD");
  EXPECT_TRUE(Parser->Bites().empty()) << "the theme is gone with the rest";
}

}  // namespace
