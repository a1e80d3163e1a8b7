// Rewritten files are either the old file or the whole new one.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "core/uFileReplace.h"
#include "tests/support/ChildProcess.h"

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

TEST(FileReplaceTest, NewContentsReplaceTheOldFileAndNoTemporaryFileStays) {
  TempDir dir;
  const std::string path = dir.File("pins.txt");
  ASSERT_TRUE(WriteWholeFile(path, "old\n"));
  std::string error;
  ASSERT_TRUE(WriteFileReplacing(path, "new line\n", error)) << error;
  EXPECT_EQ(ReadWholeFile(path), "new line\n");
  struct stat st;
  EXPECT_NE(stat((path + ".tmp").c_str(), &st), 0);
}

TEST(FileReplaceTest, AFailedWriteIsReportedAndLeavesTheOldFileAsItWas) {
  TempDir dir;
  const std::string path = dir.File("pins.txt");
  ASSERT_TRUE(WriteWholeFile(path, "old\n"));
  // A folder where the temporary file belongs makes its creation fail.
  ASSERT_EQ(mkdir((path + ".tmp").c_str(), 0755), 0);
  std::string error;
  EXPECT_FALSE(WriteFileReplacing(path, "new\n", error));
  EXPECT_NE(error.find("pins.txt.tmp"), std::string::npos) << error;
  EXPECT_EQ(ReadWholeFile(path), "old\n");
}

namespace {
bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}
}  // namespace

TEST(FileReplaceTest, KeepsThePermissionBitsOfTheReplacedFile) {
  TempDir dir;
  const std::string path = dir.File("korvan.ini");
  ASSERT_TRUE(WriteWholeFile(path, "old"));
  chmod(path.c_str(), 0600);
  std::string error;
  ASSERT_TRUE(WriteFileReplacing(path, "new", error)) << error;
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// A file-size limit stops the write part-way, as a full disk would; unlike
// permission bits it binds root too.
TEST(FileReplaceTest, AWriteCutShortLeavesTheOldFileWhole) {
  TempDir dir;
  const std::string path = dir.File("korvan.ini");
  const std::string old = "[Entry0]\nName=Old board\n";
  ASSERT_TRUE(WriteWholeFile(path, old));
  std::string big(1 << 20, 'x');
  std::string error;
  bool ok;
  {
    testsupport::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.Active());
    ok = WriteFileReplacing(path, big, error);
  }
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  EXPECT_NE(error.find("errno"), std::string::npos) << error;
  EXPECT_EQ(ReadWholeFile(path), old);
  EXPECT_FALSE(Exists(path + ".tmp"));
}

// A leftover temporary name that links to another file is replaced, never
// written through.
TEST(FileReplaceTest, ALeftoverTemporaryLinkLeavesItsTargetAlone) {
  const std::pair<const char*, int (*)(const char*, const char*)> rows[] = {{"SymbolicLink", symlink},
                                                                             {"HardLink", link}};
  for (const auto& [name, makeLink] : rows) {
    TempDir dir;
    const std::string path = dir.File("korvan.ini"), other = dir.File("other.txt");
    ASSERT_TRUE(WriteWholeFile(path, "old"));
    ASSERT_TRUE(WriteWholeFile(other, "not ours"));
    ASSERT_EQ(makeLink(other.c_str(), (path + ".tmp").c_str()), 0) << name;
    std::string error;
    ASSERT_TRUE(WriteFileReplacing(path, "new", error)) << name << ": " << error;
    EXPECT_EQ(ReadWholeFile(other), "not ours") << name;
    EXPECT_EQ(ReadWholeFile(path), "new") << name;
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
  }
}

// The rename is the last step; a folder standing at the target makes it fail.
TEST(FileReplaceTest, AFailedRenameIsReportedAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("korvan.ini");
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  ASSERT_TRUE(WriteWholeFile(path + "/inside", "x"));
  std::string error;
  EXPECT_FALSE(WriteFileReplacing(path, "new", error));
  EXPECT_NE(error.find("cannot rename"), std::string::npos) << error;
  EXPECT_EQ(ReadWholeFile(path + "/inside"), "x");
  EXPECT_FALSE(Exists(path + ".tmp"));
}

TEST(FileReplaceTest, ReadingTellsAMissingFileFromAnUnreadableOne) {
  TempDir dir;
  std::string contents, error;
  EXPECT_EQ(ReadFileContents(dir.File("none.ini"), contents, error), TReadResult::Missing);
  EXPECT_TRUE(error.empty());
  ASSERT_EQ(mkdir(dir.File("folder.ini").c_str(), 0755), 0);
  EXPECT_EQ(ReadFileContents(dir.File("folder.ini"), contents, error), TReadResult::Failed);
  EXPECT_NE(error.find("folder.ini"), std::string::npos) << error;
  ASSERT_TRUE(WriteWholeFile(dir.File("a.ini"), std::string("a\0b", 3)));
  EXPECT_EQ(ReadFileContents(dir.File("a.ini"), contents, error), TReadResult::Ok);
  EXPECT_EQ(contents, std::string("a\0b", 3));
}

TEST(FileReplaceTest, ReadingStopsAtTheLimitAndKeepsNothing) {
  TempDir dir;
  std::string contents, error;
  // Past the first read's chunk, so the limit holds across reads.
  ASSERT_TRUE(WriteWholeFile(dir.File("big"), std::string(70001, 'x')));
  EXPECT_EQ(ReadFileContents(dir.File("big"), contents, error, 70001), TReadResult::Ok);
  EXPECT_EQ(contents.size(), 70001u);
  EXPECT_EQ(ReadFileContents(dir.File("big"), contents, error, 70000), TReadResult::Failed);
  EXPECT_TRUE(contents.empty());
  EXPECT_NE(error.find("File too large"), std::string::npos) << error;
}
