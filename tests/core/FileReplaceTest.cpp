// Rewritten files are either the old file or the whole new one.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
