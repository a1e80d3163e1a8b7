// Door packs: the directory walk finds the first entry of a name, ignores
// case, and ends on broken directories without reading outside the file.
#include "door/uDDOFXPack.h"
#include "tests/door/DDOFXTestSupport.h"

namespace {

using namespace ddofxtest;

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

struct PackRow {
  const char* label;
  std::string pack;
  std::string wanted;
  bool found;
  std::string data;
};

TEST(DDOFXPack, FindTable) {
  const std::string two = MakePack({{"A.PCX", "first"}, {"B.PCX", "bee"}, {"A.PCX", "second"}});
  // A link from the first slot to a directory block at the end.
  std::string linked = MakePack({{"X", "xx"}, {"Y", "yy"}});
  linked[0] = char(0xFF);
  Put32(linked, 12, uint32_t(linked.size()));
  linked += MakePack({{"FAR.TXT", ""}}).substr(0, 48);
  Put32(linked, linked.size() - 48 + 12, 72);
  Put32(linked, linked.size() - 48 + 16, 2);
  std::string backward = linked;
  Put32(backward, 12, 0);
  std::string overrun = MakePack({{"BIG", "12345"}, {"BIG", "ok"}});
  Put32(overrun, 16, 1000);
  const PackRow rows[] = {
      {"first of two equal names", two, "A.PCX", true, "first"},
      {"case ignored", two, "b.pcx", true, "bee"},
      {"absent", two, "C.PCX", false, ""},
      {"13 characters never match", MakePack({{"ABCDEFGHIJKL", "z"}}), "ABCDEFGHIJKLM", false, ""},
      {"12 characters match", MakePack({{"ABCDEFGHIJKL", "z"}}), "abcdefghijkl", true, "z"},
      {"empty first name holds nothing", std::string(48, '\0'), "A", false, ""},
      {"shorter than one entry", std::string("A.PCX\0\0\0", 8), "A.PCX", false, ""},
      {"a forward link is followed", linked, "FAR.TXT", true, "xx"},
      {"a backward link ends the walk", backward, "FAR.TXT", false, ""},
      {"data past the end ends the search", overrun, "BIG", false, ""},
  };
  for (const PackRow& r : rows) {
    std::string data = "junk";
    EXPECT_EQ(ddofxpack::ExtractPackEntry(r.pack, r.wanted, data), r.found) << r.label;
    EXPECT_EQ(data, r.data) << r.label;
  }
}

TEST(DDOFXPack, FilesAreReadAndListedInDirectoryOrder) {
  testsupport::TempDir dir;
  ASSERT_TRUE(testsupport::WriteWholeFile(dir.File("P"), MakePack({{"ONE", "1"}, {"TWO", "22"}})));
  std::string data;
  EXPECT_TRUE(ddofxpack::LoadPackEntry(dir.File("P"), "two", data));
  EXPECT_EQ(data, "22");
  EXPECT_FALSE(ddofxpack::LoadPackEntry(dir.File("missing"), "ONE", data));
  std::vector<std::string> names{"stale"};
  ddofxpack::ListPackEntries(dir.File("P"), names);
  EXPECT_EQ(names, (std::vector<std::string>{"ONE", "TWO"}));
}

TEST(DDOFXPack, ALinkLoopEnds) {
  // Two blocks that link to each other: links only move forward, so the
  // second link is refused.
  std::string pack(96, '\0');
  pack[0] = char(0xFF);
  Put32(pack, 12, 48);
  pack[48] = char(0xFF);
  Put32(pack, 48 + 12, 0);
  std::string data;
  EXPECT_FALSE(ddofxpack::ExtractPackEntry(pack, "A", data));
}

}  // namespace
