// Names from outside: only plain file names pass.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "core/uPlainFileName.h"
#include "tests/support/ChildProcess.h"

namespace {

struct Row {
  const char* label;
  std::string name;
  bool plain;
};

TEST(PlainFileName, Table) {
  const Row rows[] = {
      {"simple", "report.txt", true},
      {"dots inside", "a..b.tar.gz", true},
      {"leading dot", ".profile", true},
      {"high CP437 bytes", "caf\x82.txt", true},
      {"empty", "", false},
      {"dot", ".", false},
      {"dot dot", "..", false},
      {"slash", "dir/file", false},
      {"absolute", "/etc/passwd", false},
      {"parent path", "../x", false},
      {"backslash", "..\\x", false},
      {"drive", "C:evil.exe", false},
      {"newline", "a\nb", false},
      {"escape", "a\x1b[2Jb", false},
      {"delete", "a\x7f", false},
  };
  for (const Row& r : rows) {
    std::string why;
    EXPECT_EQ(IsPlainFileName(r.name, &why), r.plain) << r.label;
    EXPECT_EQ(why.empty(), r.plain) << r.label;
  }
}

// A folder as a door fills it: mixed-case names, a sub-folder, and a file
// beside the folder that no look-up may reach.
class PeerFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = Outer.File("assets/");
    mkdir(Folder.c_str(), 0755);
    mkdir((Folder + "Sub").c_str(), 0755);
    for (const char* name : {"song.mod", "Song.MOD", "b.pcx", "A.PCX", "zeta", "Sub/inner.txt"})
      std::ofstream(Folder + name) << name;
    std::ofstream(Outer.File("secret.txt")) << "outside";
  }
  testsupport::TempDir Outer;
  std::string Folder;
};

TEST_F(PeerFolderTest, ListingIsSortedWithoutRegardToCaseAndHoldsOnlyFiles) {
  const std::vector<std::string> want = {"A.PCX", "b.pcx", "Song.MOD", "song.mod", "zeta"};
  EXPECT_EQ(ListPlainFiles(Folder), want);
  EXPECT_EQ(ListPlainFiles(Folder.substr(0, Folder.size() - 1)), want) << "without the trailing slash";
  EXPECT_TRUE(ListPlainFiles(Outer.File("missing/")).empty());
}

TEST_F(PeerFolderTest, LookUpByPlainNameOnly) {
  struct LookUp {
    const char* label;
    std::string name;
    std::string found;  // file name in the folder, "" for none
    bool refused;
  };
  const LookUp rows[] = {
      {"exact name wins over other cases", "song.mod", "song.mod", false},
      {"other case, first of the sorted listing", "SONG.mod", "Song.MOD", false},
      {"upper-case query finds lower-case file", "B.PCX", "b.pcx", false},
      {"absent", "none.pcx", "", false},
      {"a folder is no file", "sub", "", false},
      {"parent path", "../secret.txt", "", true},
      {"absolute path", "/etc/passwd", "", true},
      {"backslash", "a\\b", "", true},
      {"into a sub-folder", "Sub/inner.txt", "", true},
      {"drive prefix", "C:SONG.MOD", "", true},
      {"colon inside", "song.mod:x", "", true},
      {"parent itself", "..", "", true},
      {"empty", "", "", true},
  };
  for (const LookUp& r : rows) {
    std::string why;
    const std::string path = FindPlainFile(Folder, r.name, &why);
    EXPECT_EQ(path, r.found.empty() ? "" : Folder + r.found) << r.label;
    EXPECT_EQ(!why.empty(), r.refused) << r.label << ": " << why;
  }
}

TEST_F(PeerFolderTest, PathsThroughSubFoldersIgnoreCaseAndStayInside) {
  mkdir((Folder + "SUB").c_str(), 0755);
  std::ofstream(Folder + "SUB/other.txt") << "upper";
  struct LookUp {
    const char* label;
    std::string path;
    std::string found;  // path in the folder, "" for none
    bool refused;
  };
  const LookUp rows[] = {
      {"exact folder and file", "Sub/inner.txt", "Sub/inner.txt", false},
      {"folder and file in another case", "sub/OTHER.TXT", "SUB/other.txt", false},
      {"the first folder of the listing wins", "sUB/inner.txt", "", false},
      {"only a file", "zeta", "zeta", false},
      {"a file is no folder", "zeta/x", "", false},
      {"parent on the way", "Sub/../../secret.txt", "", true},
      {"parent first", "../secret.txt", "", true},
      {"empty part", "Sub//inner.txt", "", true},
      {"drive in a part", "C:/inner.txt", "", true},
  };
  for (const LookUp& r : rows) {
    std::string why;
    const std::string path = FindPlainPath(Folder, r.path, &why);
    EXPECT_EQ(path, r.found.empty() ? "" : Folder + r.found) << r.label;
    EXPECT_EQ(!why.empty(), r.refused) << r.label << ": " << why;
  }
}

TEST_F(PeerFolderTest, FileInfoIsSizeAndLocalWriteTime) {
  const std::string path = Folder + "zeta";
  ASSERT_EQ(system(("touch -d '2024-03-05 14:07:08' '" + path + "'").c_str()), 0);
  TPlainFileInfo info;
  ASSERT_TRUE(ReadPlainFileInfo(path, info));
  EXPECT_EQ(info.Size, 4);
  EXPECT_EQ(std::vector<int>({info.Year, info.Month, info.Day, info.Hour, info.Minute, info.Second}),
            std::vector<int>({2024, 3, 5, 14, 7, 8}));
  EXPECT_FALSE(ReadPlainFileInfo(Folder + "Sub", info)) << "a folder";
  EXPECT_FALSE(ReadPlainFileInfo(Folder + "gone", info));
}

}  // namespace
