// Names from outside: only plain file names pass.
#include <gtest/gtest.h>

#include "core/uPlainFileName.h"

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

}  // namespace
