// The import driver and what the import screen asks of it: which reader
// takes a file that several could read, the program's own files refused,
// files no reader knows (garbage, empty, 50 MB) leaving the phonebook as it
// was, and the append, sort, save and selection after an import.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "data/uBinaryPhonebooks.h"
#include "data/uPhonebookImport.h"
#include "data/uSyncTermList.h"
#include "tests/support/ChildProcess.h"

using testsupport::ReadWholeFile;
using testsupport::ScratchAppFolder;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

const char* kNotRecognised = "Not a recognized phonebook format, or it had no entries.";

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// A phonebook saved with two boards, as the directory holds it.
TPhonebook SavedBook(const std::string& path) {
  TPhonebook book(path);
  book.Add()->Name = "Zed Board";
  book.Add()->Name = "Mid Board";
  EXPECT_TRUE(book.SaveToFile()) << book.LastError();
  return book;
}

std::string NetRunnerText(const std::string& name, const std::string& address) {
  std::string data(48 + 362, '\0');
  data[0] = 20;
  data.replace(1, 20, "NetRunner Phone Book");
  data[48] = char(name.size());
  data.replace(49, name.size(), name);
  data[48 + 41] = char(address.size());
  data.replace(48 + 42, address.size(), address);
  return data;
}

// A board name and address that also form a sectioned list once the file is
// read as text lines.
// Lines end at CR, LF or CR LF, mixed in one text; a break at the very end
// opens no further line, and a lone CR or LF makes an empty line.
TEST(ImportLinesTest, EveryLineBreakEndsALine) {
  struct {
    std::string Text;
    std::vector<std::string> Lines;
  } rows[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\ntwo\rthree\nfour", {"one", "two", "three", "four"}},
      {"a\n\r\nb\r\r\n", {"a", "", "b", ""}},
      {"\n\r", {"", ""}},
      {std::string("x\0y\rz\n", 6), {std::string("x\0y", 3), "z"}},
  };
  for (const auto& r : rows) {
    TImportLines lines(r.Text);
    std::vector<std::string> got;
    std::string_view line;
    while (lines.Next(line)) got.emplace_back(line);
    EXPECT_EQ(got, r.Lines) << r.Text;
    EXPECT_EQ(lines.Number(), int32_t(r.Lines.size()));
  }
}

// A sectioned list is still found after the formats before it when its
// keys are written in any case and with blanks.
TEST(ImportOrderTest, SectionedListKeysInAnyCase) {
  struct {
    std::string Text;
    int32_t Count;
  } rows[] = {
      {"[One]\n  ADDRESS = one.example\n", 1},
      {"[Local]\nconnectiontype=Shell\n", 1},
      {"[One]\nHost=one.example\n", 0},
  };
  for (const auto& r : rows) {
    TPhonebook book("unused.ini");
    std::string source;
    EXPECT_EQ(ImportFromData(book, r.Text, source), r.Count) << r.Text;
    EXPECT_EQ(source, r.Count ? "SyncTERM" : "") << r.Text;
  }
}

TEST(ImportOrderTest, NetRunnerComesFirst) {
  const std::string data = NetRunnerText("\n[Sync]\n", "\nAddress=sync.example\n");
  TPhonebook asList("unused.ini");
  ASSERT_EQ(ImportSyncTermData(asList, data), 1);
  TPhonebook book("unused.ini");
  std::string source;
  EXPECT_EQ(ImportFromData(book, data, source), 1);
  EXPECT_EQ(source, "NetRunner");
  EXPECT_EQ(book.GetEntry(0)->Notes, "Imported from NetRunner phonebook");
}

// mTelnet knows its files by their size alone (a multiple of 197 bytes), so
// it comes after every reader that knows its format by a mark.
TEST(ImportOrderTest, FilesOfTheMTelnetSizeGoToTheReaderThatKnowsThem) {
  auto padded = [](std::string text) {
    text.resize(394, ' ');
    return text;
  };
  const std::string qodem = padded("[entry]\nname=Q\naddress=q.example\n#");
  const std::string reg = padded(
      "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\P]\r\n"
      "\"HostName\"=\"p.example\"\r\n");
  for (const auto& [data, expected] : {std::pair{qodem, "Qodem"}, std::pair{reg, "PuTTY"}}) {
    TPhonebook asMTelnet("unused.ini");
    ASSERT_EQ(ImportMTelnetData(asMTelnet, data), 2);
    TPhonebook book("unused.ini");
    std::string source;
    EXPECT_EQ(ImportFromData(book, data, source), 1) << expected;
    EXPECT_EQ(source, expected);
  }
}

class ImportIntoPhonebookTest : public ::testing::Test {
 protected:
  TempDir Dir;
  std::string BookPath = Dir.File("korvan.ini");
};

TEST_F(ImportIntoPhonebookTest, AppendsSortsSavesAndTellsTheFirstNewEntry) {
  TPhonebook book = SavedBook(BookPath);
  std::string list;
  for (int n : {7, 3, 12, 1, 9, 5, 11, 2, 8, 4, 10, 6})
    list += "[Board " + std::string(n < 10 ? "0" : "") + std::to_string(n) + "]\nAddress=b" + std::to_string(n) + "\n";
  ASSERT_TRUE(WriteWholeFile(Dir.File("syncterm.lst"), list));

  TImportOutcome outcome = ImportIntoPhonebook(book, Dir.File("syncterm.lst"));
  EXPECT_EQ(outcome.Count, 12);
  EXPECT_EQ(outcome.Source, "SyncTERM");
  EXPECT_EQ(outcome.Message, "Imported 12 entries from SyncTERM phonebook.");
  EXPECT_TRUE(outcome.Saved);
  ASSERT_EQ(outcome.FirstNewIndex, 6);  // "Board 07", the list's first board, at its sorted place
  EXPECT_EQ(book.GetEntry(outcome.FirstNewIndex)->Name, "Board 07");
  EXPECT_FALSE(Exists(BookPath + ".tmp"));

  TPhonebook back(BookPath);
  ASSERT_TRUE(back.LoadFromFile());
  ASSERT_EQ(back.Count(), 14);
  EXPECT_EQ(back.GetEntry(0)->Name, "Board 01");
  EXPECT_EQ(back.GetEntry(11)->Name, "Board 12");
  EXPECT_EQ(back.GetEntry(12)->Name, "Mid Board");
  EXPECT_EQ(back.GetEntry(13)->Name, "Zed Board");
  EXPECT_EQ(back.GetEntry(6)->Host, "b7");
}

TEST_F(ImportIntoPhonebookTest, OneEntryIsReportedInTheSingular) {
  TPhonebook book = SavedBook(BookPath);
  ASSERT_TRUE(WriteWholeFile(Dir.File("phonebook"), "[entry]\nname=Alpha\naddress=a.example\n"));
  TImportOutcome outcome = ImportIntoPhonebook(book, Dir.File("phonebook"));
  EXPECT_EQ(outcome.Message, "Imported 1 entry from Qodem phonebook.");
  EXPECT_EQ(outcome.FirstNewIndex, 0);
}

TEST_F(ImportIntoPhonebookTest, AFailedSaveIsReportedAndTheEntriesStay) {
  TPhonebook book(Dir.File("gone/korvan.ini"));
  ASSERT_TRUE(WriteWholeFile(Dir.File("x.lst"), "[Only]\nAddress=o.example\n"));
  TImportOutcome outcome = ImportIntoPhonebook(book, Dir.File("x.lst"));
  EXPECT_EQ(outcome.Count, 1);
  EXPECT_FALSE(outcome.Saved);
  EXPECT_EQ(outcome.Message.rfind("Imported 1 entry from SyncTERM phonebook. Phonebook not saved: ", 0), 0u)
      << outcome.Message;
  EXPECT_EQ(book.Count(), 1);  // saved with the next save that succeeds
}

// The program's own phonebooks and settings are refused whatever the path
// looks like, instead of being read as a foreign format.
TEST(ImportRefusalTest, OwnFilesAreRefused) {
  ScratchAppFolder app;
  TPhonebook book = SavedBook(app.File("korvan.ini"));
  const std::string saved = ReadWholeFile(app.File("korvan.ini"));
  ASSERT_TRUE(WriteWholeFile(app.File("bbsguide.ini"), "[Entry0]\nName=Listed\n"));
  ASSERT_TRUE(WriteWholeFile(app.File("korvan_config.ini"), "[Config]\nDefaultTermType=ANSI-BBS\n"));
  ASSERT_EQ(symlink(app.File("korvan.ini").c_str(), app.File("link.ini").c_str()), 0);
  const std::pair<std::string, std::string> rows[] = {
      {app.File("korvan.ini"), "Phonebook not imported: korvan.ini is KORVAN's own phonebook."},
      {app.Path() + "./korvan.ini", "Phonebook not imported: korvan.ini is KORVAN's own phonebook."},
      {app.File("link.ini"), "Phonebook not imported: link.ini is KORVAN's own phonebook."},
      {app.File("bbsguide.ini"), "Phonebook not imported: bbsguide.ini is KORVAN's own phonebook."},
      {app.File("korvan_config.ini"), "Phonebook not imported: korvan_config.ini is KORVAN's settings file."},
  };
  for (const auto& [path, message] : rows) {
    TImportOutcome outcome = ImportIntoPhonebook(book, path);
    EXPECT_EQ(outcome.Count, 0);
    EXPECT_EQ(outcome.Message, message);
    EXPECT_EQ(book.Count(), 2);
  }
  EXPECT_EQ(ReadWholeFile(app.File("korvan.ini")), saved);
}

// Deterministic noise: every byte value, line breaks among them.
std::string Noise(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    c = char(seed >> 24);
  }
  return out;
}

// Files no reader knows, some behind a format's mark: the clear text, no
// entry, and the phonebook neither changed nor saved.
TEST_F(ImportIntoPhonebookTest, FilesNoReaderKnowsLeaveThePhonebookAsItWas) {
  TPhonebook book = SavedBook(BookPath);
  const std::string saved = ReadWholeFile(BookPath);
  struct stat before {};
  ASSERT_EQ(stat(BookPath.c_str(), &before), 0);
  const std::string noise = Noise(1000, 1);
  const std::pair<const char*, std::string> rows[] = {
      {"empty", ""},
      {"garbage", noise},
      {"plain text", "Just some notes.\nNothing = phonebook here.\n"},
      {"IcyTerm mark", "[[addresses]]\n" + noise},
      {"Qodem mark", "[entry]\n" + noise},
      {"MagiTerm marks", "[ Board ]\naddress =\n" + noise},
      {"PuTTY mark", "Windows Registry Editor Version 5.00\n" + noise},
      {"NetRunner header alone", NetRunnerText("", "")},
      {"50 MB of noise", Noise(50 * 1000 * 1000, 2)},
  };
  for (const auto& [name, data] : rows) {
    ASSERT_TRUE(WriteWholeFile(Dir.File("file"), data)) << name;
    TImportOutcome outcome = ImportIntoPhonebook(book, Dir.File("file"));
    EXPECT_EQ(outcome.Count, 0) << name;
    EXPECT_EQ(outcome.Message, kNotRecognised) << name;
    EXPECT_FALSE(outcome.Saved) << name;
    EXPECT_EQ(book.Count(), 2) << name;
  }
  struct stat after {};
  ASSERT_EQ(stat(BookPath.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // never rewritten
  EXPECT_EQ(ReadWholeFile(BookPath), saved);
}

TEST_F(ImportIntoPhonebookTest, UnreadableMissingAndOversizedFiles) {
  TPhonebook book = SavedBook(BookPath);
  ASSERT_EQ(mkdir(Dir.File("folder").c_str(), 0755), 0);
  TImportOutcome outcome = ImportIntoPhonebook(book, Dir.File("folder"));
  EXPECT_EQ(outcome.Message.rfind("Phonebook not imported: cannot read " + Dir.File("folder"), 0), 0u)
      << outcome.Message;

  EXPECT_EQ(ImportIntoPhonebook(book, Dir.File("missing")).Message, kNotRecognised);

  // Refused before it is read whole; sparse, so it costs no disk.
  const std::string big = Dir.File("big.lst");
  ASSERT_TRUE(WriteWholeFile(big, "[Board]\nAddress=b.example\n"));
  ASSERT_EQ(truncate(big.c_str(), off_t(kMaxImportFileBytes) + 1), 0);
  outcome = ImportIntoPhonebook(book, big);
  EXPECT_EQ(outcome.Count, 0);
  EXPECT_NE(outcome.Message.find("File too large"), std::string::npos) << outcome.Message;
  EXPECT_EQ(book.Count(), 2);
}

}  // namespace
