// What a door asks about its files: answers from the asset list (files in
// the asset folder, zip entries, received files), the font folder, the
// ALWAYSDENY.TXT switch, and names that try to leave the asset folder.
#include <sys/stat.h>

#include <cstdlib>

#include "tests/door/DDOFXTestSupport.h"

namespace {

using namespace ddofxtest;

const std::string kFF = "\xFF";

class DDOFXAssets : public DDOFXBench {
 protected:
  void Make(const std::string& path, size_t size, const std::string& when) {
    ASSERT_TRUE(testsupport::WriteWholeFile(path, std::string(size, 'z')));
    ASSERT_EQ(system(("touch -d '" + when + "' '" + path + "'").c_str()), 0);
  }
};

TEST_F(DDOFXAssets, FilesInTheFolderAnswerSizeAndTime) {
  Make(Assets.File("SONG.MOD"), 1234, "2024-03-05 14:07:08");
  Make(Assets.File("pic.pcx"), 10, "2023-12-31 23:59:58");
  struct Row {
    const char* command;
    std::string answer;
  };
  const Row rows[] = {
      {"dmSONG.MOD", "1234,2024,3,5,14,7,8"},
      {"dtsong.mod", "1234,2024,3,5,14,7,8"},
      {"drPIC.PCX", "10,2023,12,31,23,59,58"},
      {"dmNONE.MOD", "NO"},
      {"dm SONG.MOD", "NO"},  // the name is not trimmed
      {"dRESOURCE,1,SONG.MOD", "YES"},
      {"dRESOURCE,1,SONG.MOD,9", "YES"},
      {"dRESOURCE,SONG.MOD", "NO"},
      {"dRESOURCE,1,NONE", "NO"},
  };
  for (const Row& r : rows) {
    Run(r.command);
    EXPECT_EQ(TakeSent(), r.answer + kFF) << r.command;
  }
  // Once found, a file keeps its figures after it is gone.
  ASSERT_EQ(remove(Assets.File("SONG.MOD").c_str()), 0);
  Run("dmSONG.MOD");
  EXPECT_EQ(TakeSent(), "1234,2024,3,5,14,7,8" + kFF);
}

TEST_F(DDOFXAssets, FontQueriesAlsoSearchTheFontFolder) {
  Make(Parser->FontDir() + "DOOR.F16", 4096, "2020-01-02 03:04:06");
  Run("dmDOOR.F16");
  Run("dfdoor.f16");
  EXPECT_EQ(TakeSent(), "NO" + kFF + "4096,2020,1,2,3,4,6" + kFF);
}

TEST_F(DDOFXAssets, ZipEntriesAndReceivedFilesJoinTheList) {
  Parser->AddAssetFromZipEntry("MAP.DAT", 0x5865, 0x70E4, 777);
  Make(Program.File("GOT.TXT"), 5, "2022-06-07 08:09:10");
  Parser->AddAssetFromFile(Program.File("GOT.TXT"));
  Run("dmmap.dat");
  Run("dmGOT.TXT");
  EXPECT_EQ(TakeSent(), "777,2024,3,5,14,7,8" + kFF + "5,2022,6,7,8,9,10" + kFF);
  Parser->Reset();
  Run("dRESOURCE,0,MAP.DAT");
  EXPECT_EQ(TakeSent(), "YES" + kFF) << "a reconnect keeps the list";
}

TEST_F(DDOFXAssets, AlwaysDenyIsReadOnceAndAnswersNo) {
  Make(Assets.File("SONG.MOD"), 3, "2024-03-05 14:07:08");
  ASSERT_TRUE(testsupport::WriteWholeFile(Program.File("ALWAYSDENY.TXT"), ""));
  for (const char* c : {"dmSONG.MOD", "dtSONG.MOD", "drSONG.MOD", "dfSONG.MOD", "dRESOURCE,1,SONG.MOD"}) {
    Run(c);
    EXPECT_EQ(TakeSent(), "NO" + kFF) << c;
  }
  EXPECT_EQ(LogCount("DDOFX: ALWAYSDENY.TXT present - every dm/dt/dr/df/dRESOURCE query will answer NO this session"),
            1u);
  ASSERT_EQ(remove(Program.File("ALWAYSDENY.TXT").c_str()), 0);
  Run("dmSONG.MOD");
  EXPECT_EQ(TakeSent(), "NO" + kFF) << "decided once per run";
}

TEST_F(DDOFXAssets, NamesThatLeaveTheFolderAreRefused) {
  // The asset folder is a sub-folder; a file waits beside it where "../"
  // would lead.
  const std::string outer = Assets.Path();
  const std::string door = outer + "door/";
  Parser->SetAssetDir(door);
  ASSERT_TRUE(testsupport::WriteWholeFile(outer + "x", "outside"));
  ASSERT_TRUE(testsupport::WriteWholeFile(outer + "xM", ddofxtest::MakePack({{"S", "\x1d{dVCARD}"}})));
  ASSERT_TRUE(testsupport::WriteWholeFile(door + "b", "inside"));
  for (const std::string name : {"../x", "/etc/passwd", "a\\b", "..", "C:x", "door/b"}) {
    for (const std::string query : {"dm", "dt", "dr", "df"}) {
      Run(query + name);
      EXPECT_EQ(TakeSent(), "NO" + kFF) << query << name;
    }
    Run("dRESOURCE,1," + name);
    EXPECT_EQ(TakeSent(), "NO" + kFF) << "dRESOURCE " << name;
    Run("~IFVAR,RESOURCE|" + name + "|S,=,0,(dVCARD)");
    Run("2STORES," + name);
    EXPECT_FALSE(Parser->Knows(name + ".RAW"));
    EXPECT_FALSE(Parser->Knows("x")) << name;
    EXPECT_FALSE(Parser->Knows("passwd")) << name;
  }
  EXPECT_EQ(TakeSent(), "");
  EXPECT_GE(LogCount("DDOFX: refused file name \"../x\" in {dm../x}: path separator"), 1u);
  // A pack name that would lead out of the folder is not kept.
  Run("2f../x");
  EXPECT_EQ(Parser->PackBase(), "");
  EXPECT_EQ(LogCount("DDOFX: refused resource pack name \"../x\": path separator"), 1u);
  Run("*S");
  EXPECT_EQ(TakeSent(), "") << "the outside pack's script did not run";
  EXPECT_EQ(testsupport::ReadWholeFile(outer + "x"), "outside");
  EXPECT_EQ(testsupport::ReadWholeFile(door + "b"), "inside");
}

TEST_F(DDOFXAssets, PackResourceQueryInAComparison) {
  ASSERT_TRUE(testsupport::WriteWholeFile(Assets.File("doorm"), MakePack({{"INTRO", "x"}})));
  Run("~IFVAR,RESOURCE|DOORM|intro,=,0,(dVCARD)");
  Run("~IFVAR,RESOURCE|DOORM|OTHER,=,-1,(dACARD)");
  EXPECT_EQ(TakeSent(), "S" + kFF + "SB 16" + kFF);
}

}  // namespace
